#include "settings/DataDirectoryRules.h"

#include "app/TextFormats.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace datadir {

namespace {

constexpr QDir::Filters kEveryEntry = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

QString overlapRefusal(const QString& from, const QString& to) {
    if (sameDirectory(from, to))
        return QStringLiteral("新目录与当前数据目录是同一个目录");
    if (isInside(to, from))
        return QStringLiteral("新目录不能位于当前数据目录之内");
    if (isInside(from, to))
        return QStringLiteral("新目录不能包含当前数据目录");
    return QString();
}

} // namespace

qint64 directoryUsage(const QString& directory) {
    qint64 total = 0;
    QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isFile() && !info.isSymLink())
            total += info.size();
    }
    return total;
}

QString usageText(qint64 bytes) {
    return fmt::clientBytes(double(bytes));
}

QString cleanAbsolute(const QString& path) {
    if (path.trimmed().isEmpty())
        return QString();
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString resolvedPath(const QString& path) {
    QString existing = cleanAbsolute(path);
    if (existing.isEmpty())
        return QString();
    QStringList missing;
    while (!QFileInfo::exists(existing) && QFileInfo(existing).path() != existing) {
        missing.prepend(QFileInfo(existing).fileName());
        existing = QFileInfo(existing).path();
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    QString resolved = canonical.isEmpty() ? existing : canonical;
    for (const QString& name : missing)
        resolved = QDir(resolved).filePath(name);
    return QDir::cleanPath(resolved);
}

bool sameDirectory(const QString& a, const QString& b) {
    return !a.isEmpty() && resolvedPath(a) == resolvedPath(b);
}

bool isInside(const QString& candidate, const QString& directory) {
    const QString inner = resolvedPath(candidate);
    QString outer = resolvedPath(directory);
    if (inner.isEmpty() || outer.isEmpty())
        return false;
    if (!outer.endsWith(QLatin1Char('/')))
        outer += QLatin1Char('/');
    return inner.startsWith(outer);
}

QString migrationQuestion(const QString& newPath) {
    return QStringLiteral("迁移时请确保浏览器环境未运行。\n\n确定把数据目录迁移到：\n") + newPath +
           QStringLiteral(" ?");
}

MigrationResult copyDataDirectory(const QString& from, const QString& to) {
    MigrationResult result;
    const QDir source(from);
    if (!source.exists()) {
        result.ok = true;
        return result;
    }
    result.error = overlapRefusal(from, to);
    if (!result.error.isEmpty())
        return result;
    const QDir target(to);
    if (!QDir().mkpath(to)) {
        result.error = QStringLiteral("无法创建目录: ") + to;
        return result;
    }
    // Symbolic links are copied as what they point at; directories behind links are not descended into,
    // so a link loop cannot make the walk endless.
    QDirIterator it(from, kEveryEntry, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString sourcePath = it.next();
        const QFileInfo info = it.fileInfo();
        const QString targetPath = target.filePath(source.relativeFilePath(sourcePath));
        // A link inside the target may lead back into the source: writing there would replace the
        // very files being copied.
        if (sameDirectory(targetPath, from) || isInside(targetPath, from)) {
            result.error = QStringLiteral("目标中的链接指向当前数据目录: ") + targetPath;
            return result;
        }
        if (info.isDir()) {
            if (!QDir().mkpath(targetPath)) {
                result.error = QStringLiteral("无法创建目录: ") + targetPath;
                return result;
            }
            continue;
        }
        QDir().mkpath(QFileInfo(targetPath).absolutePath());
        if (QFileInfo::exists(targetPath) || QFileInfo(targetPath).isSymLink())
            QFile::remove(targetPath);
        if (!QFile::copy(sourcePath, targetPath)) {
            result.error = QStringLiteral("无法复制文件: ") + sourcePath;
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace datadir
