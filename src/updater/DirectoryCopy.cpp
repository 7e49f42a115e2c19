#include "updater/DirectoryCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace updater {
namespace {

constexpr QDir::Filters kAllEntries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

bool copyLink(const QString& source, const QString& destination) {
    std::error_code ec;
    const auto linkTarget = std::filesystem::read_symlink(fsPath(source), ec);
    if (ec)
        return false;
    std::filesystem::remove(fsPath(destination), ec);
    std::filesystem::create_symlink(linkTarget, fsPath(destination), ec);
    return !ec;
}

bool copyFile(const QString& source, const QString& destination) {
    QFile::remove(destination);
    return QFile::copy(source, destination);
}

} // namespace

bool copyDirectory(const QString& source, const QString& destination, QString* error) {
    const QDir sourceDir(source);
    if (!sourceDir.exists()) {
        *error = QStringLiteral("源目录不存在: ") + source;
        return false;
    }
    QDir().mkpath(destination);
    const QFileInfoList entries = sourceDir.entryInfoList(kAllEntries, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        const QString from = entry.filePath();
        const QString to = destination + QLatin1Char('/') + entry.fileName();
        if (entry.isSymLink()) {
            if (!copyLink(from, to)) {
                *error = QStringLiteral("复制失败: ") + from + QStringLiteral(" -> ") + to;
                return false;
            }
        } else if (entry.isDir()) {
            if (!copyDirectory(from, to, error))
                return false;
        } else if (!copyFile(from, to)) {
            *error = QStringLiteral("复制失败: ") + from + QStringLiteral(" -> ") + to;
            return false;
        }
    }
    return true;
}

void removeDirectoryEntries(const QString& directory) {
    const QFileInfoList entries = QDir(directory).entryInfoList(kAllEntries, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            removeTree(entry.filePath());
        else
            QFile::remove(entry.filePath());
    }
}

bool removeTree(const QString& directory) {
    // std::filesystem::remove_all removes links without following them.
    std::error_code ec;
    std::filesystem::remove_all(fsPath(directory), ec);
    return !ec;
}

} // namespace updater
