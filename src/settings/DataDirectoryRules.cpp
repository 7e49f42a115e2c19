#include "settings/DataDirectoryRules.h"

#include "app/TextFormats.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace datadir {

namespace {

constexpr QDir::Filters kEveryEntry = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

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

bool sameDirectory(const QString& a, const QString& b) {
    return !a.isEmpty() && cleanAbsolute(a) == cleanAbsolute(b);
}

bool isInside(const QString& candidate, const QString& directory) {
    const QString inner = cleanAbsolute(candidate);
    QString outer = cleanAbsolute(directory);
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
    if (isInside(to, from)) {
        result.error = QStringLiteral("新目录不能位于当前数据目录之内");
        return result;
    }
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
