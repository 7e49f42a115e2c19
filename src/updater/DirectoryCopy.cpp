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
#ifdef Q_OS_WIN
    // The narrow form would go through the ANSI code page and lose every character outside it.
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool copyLink(const QString& source, const QString& destination) {
    std::error_code ec;
    const auto linkTarget = std::filesystem::read_symlink(fsPath(source), ec);
    if (ec)
        return false;
    std::filesystem::remove(fsPath(destination), ec);
#ifdef Q_OS_WIN
    // Windows links know whether they point to a directory; a file link to one would not open.
    if (QFileInfo(source).isDir()) {
        std::filesystem::create_directory_symlink(linkTarget, fsPath(destination), ec);
        return !ec;
    }
#endif
    std::filesystem::create_symlink(linkTarget, fsPath(destination), ec);
    return !ec;
}

// Mode and modification time of source onto destination. A directory gets them after its entries are
// in place: writing into it changes its time, and a read-only mode would stop the writes.
bool copyAttributes(const std::filesystem::path& source, const std::filesystem::path& destination) {
    std::error_code ec;
    const auto status = std::filesystem::status(source, ec);
    if (ec)
        return false;
    const auto modified = std::filesystem::last_write_time(source, ec);
    if (ec)
        return false;
    std::filesystem::last_write_time(destination, modified, ec);
    if (ec)
        return false;
    std::filesystem::permissions(destination, status.permissions(), std::filesystem::perm_options::replace,
                                 ec);
    return !ec;
}

bool copyFile(const std::filesystem::path& source, const std::filesystem::path& destination) {
    std::error_code ec;
    std::filesystem::remove(destination, ec);
    return std::filesystem::copy_file(source, destination, ec) && copyAttributes(source, destination);
}

QString copyFailure(const QString& from, const QString& to) {
    return QStringLiteral("复制失败: ") + from + QStringLiteral(" -> ") + to;
}

bool copyTree(const QString& source, const QString& destination, QString* error, const CopyLog& log) {
    const QFileInfoList entries = QDir(source).entryInfoList(kAllEntries, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        const QString from = entry.filePath();
        const QString to = destination + QLatin1Char('/') + entry.fileName();
        std::error_code ec;
        const auto type = std::filesystem::symlink_status(fsPath(from), ec).type();
        bool copied = true;
        if (type == std::filesystem::file_type::symlink) {
            copied = copyLink(from, to);
        } else if (type == std::filesystem::file_type::directory) {
            QDir().mkpath(to);
            if (!copyTree(from, to, error, log))
                return false;
            copied = copyAttributes(fsPath(from), fsPath(to));
        } else if (type == std::filesystem::file_type::regular) {
            copied = copyFile(fsPath(from), fsPath(to));
        } else {
            if (log)
                log(QStringLiteral("跳过特殊文件: ") + from);
            continue;
        }
        if (!copied) {
            *error = copyFailure(from, to);
            return false;
        }
    }
    return true;
}

} // namespace

bool copyDirectory(const QString& source, const QString& destination, QString* error, RootAttributes root,
                   const CopyLog& log) {
    if (!QFileInfo(source).isDir()) {
        *error = QStringLiteral("源目录不存在: ") + source;
        return false;
    }
    QDir().mkpath(destination);
    if (!copyTree(source, destination, error, log))
        return false;
    if (root == RootAttributes::Copy && !copyAttributes(fsPath(source), fsPath(destination))) {
        *error = copyFailure(source, destination);
        return false;
    }
    return true;
}

bool copyRootAttributes(const QString& source, const QString& destination) {
    return copyAttributes(fsPath(source), fsPath(destination));
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
