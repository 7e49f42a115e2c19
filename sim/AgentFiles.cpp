#include "AgentService.h"
#include "SimUtil.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace sim::detail {
namespace {

const QStringList kVideoExtensions = {QStringLiteral("mp4"), QStringLiteral("mov"),  QStringLiteral("mkv"),
                                      QStringLiteral("flv"), QStringLiteral("webm"), QStringLiteral("avi"),
                                      QStringLiteral("ts"),  QStringLiteral("m4v")};
const QStringList kAudioExtensions = {QStringLiteral("mp3"),  QStringLiteral("wav"),  QStringLiteral("aac"),
                                      QStringLiteral("m4a"),  QStringLiteral("flac"), QStringLiteral("ogg"),
                                      QStringLiteral("opus"), QStringLiteral("wma"),  QStringLiteral("aiff"),
                                      QStringLiteral("aif"),  QStringLiteral("amr")};
constexpr qint64 kMinChunk = 64 * 1024;
constexpr qint64 kMaxChunk = 64 * 1024 * 1024;
constexpr qint64 kDefaultChunk = 4 * 1024 * 1024;

QString baseName(const QString& path) {
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

qint64 numberOf(const QJsonValue& value) {
    if (value.isString())
        return value.toString().trimmed().toLongLong();
    return value.isDouble() ? qint64(value.toDouble()) : 0;
}

QJsonObject folderJson(const QString& path) {
    const QFileInfoList files = QDir(path).entryInfoList(QDir::Files);
    qint64 size = 0;
    for (const QFileInfo& file : files)
        size += file.size();
    const QFileInfo info(path);
    return {{QStringLiteral("name"), info.fileName()},
            {QStringLiteral("fileCount"), int(files.size())},
            {QStringLiteral("size"), double(size)},
            {QStringLiteral("updated"), info.lastModified().toSecsSinceEpoch()}};
}

bool allZero(const std::string& bytes) {
    static const char zeros[64 * 1024] = {};
    for (size_t at = 0; at < bytes.size(); at += sizeof zeros) {
        const size_t length = std::min(sizeof zeros, bytes.size() - at);
        if (std::memcmp(bytes.data() + at, zeros, length) != 0)
            return false;
    }
    return true;
}

// The headers go out, the body never does: the client sees the connection close mid-reply.
void dropConnection(Call& c) {
    c.dropHandled = true;
    c.res.status = 200;
    c.res.set_content_provider(1024, "application/json",
                               [](size_t, size_t, httplib::DataSink&) { return false; });
}

QString requestName(const Call& c, const char* param, const char* member, const char* alternative) {
    QString name = c.param(param);
    if (name.isEmpty())
        name = textOf(c.body, member);
    if (name.isEmpty() && alternative)
        name = textOf(c.body, alternative);
    return name.trimmed();
}

} // namespace

QStringList AgentService::roomsUsingLocked(const QString& video, const QString& folder) const {
    QStringList names;
    for (const auto& room : liveRooms_) {
        const QString mode = textOf(room.fields, "streamMode");
        const QString videoPath = textOf(room.fields, "videoPath");
        const bool usesVideo = !video.isEmpty() && mode != QLatin1String("pull_stream_to_rtmp") &&
                               !videoPath.isEmpty() &&
                               (videoPath == video || baseName(videoPath) == baseName(video));
        const bool usesFolder = !folder.isEmpty() && mode == QLatin1String("video_random_audio_to_rtmp") &&
                                textOf(room.fields, "audioFolder") == folder;
        if (usesVideo || usesFolder)
            names.append(textOf(room.fields, "name"));
    }
    return names;
}

QJsonObject AgentService::uploadJsonLocked(const Upload& upload) const {
    QJsonArray received;
    qint64 bytes = 0;
    for (const qint64 index : upload.received) {
        received.append(double(index));
        bytes += std::min(upload.chunkSize, upload.size - index * upload.chunkSize);
    }
    return {{QStringLiteral("uploadId"), upload.id},
            {QStringLiteral("mediaKind"), upload.kind},
            {QStringLiteral("fileName"), upload.fileName},
            {QStringLiteral("audioFolder"), upload.folder},
            {QStringLiteral("size"), double(upload.size)},
            {QStringLiteral("chunkSize"), double(upload.chunkSize)},
            {QStringLiteral("totalChunks"), double(upload.totalChunks)},
            {QStringLiteral("uploadedBytes"), double(bytes)},
            {QStringLiteral("received"), received}};
}

void AgentService::installFileRoutes() {
    host_.route("GET", "/files/videos", [this](Call& c) {
        QJsonArray files;
        QStringList paths;
        QDirIterator it(videoDir(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            paths.append(it.next());
        paths.sort();
        const QDir root(videoDir());
        for (const QString& path : paths) {
            const QFileInfo info(path);
            files.append(QJsonObject{{QStringLiteral("name"), info.fileName()},
                                     {QStringLiteral("relative"), root.relativeFilePath(path)},
                                     {QStringLiteral("size"), double(info.size())},
                                     {QStringLiteral("updated"), info.lastModified().toSecsSinceEpoch()}});
        }
        const int synthetic = [this] {
            std::lock_guard lock(mutex_);
            return syntheticVideos_;
        }();
        for (int i = 0; i < synthetic; ++i) {
            const QString name = QStringLiteral("clip-%1.mp4").arg(i, 6, 10, QLatin1Char('0'));
            files.append(QJsonObject{{QStringLiteral("name"), name},
                                     {QStringLiteral("relative"), QStringLiteral("batch/") + name},
                                     {QStringLiteral("size"), double(1048576 + i)},
                                     {QStringLiteral("updated"), 1700000000 + i}});
        }
        sendJson(c, 200, {{QStringLiteral("files"), files}});
    });
    host_.route("GET", "/files/audio-folders", [this](Call& c) {
        QJsonArray folders;
        QDir root(audioDir());
        for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            folders.append(folderJson(root.filePath(name)));
        const int synthetic = [this] {
            std::lock_guard lock(mutex_);
            return syntheticFolders_;
        }();
        for (int i = 0; i < synthetic; ++i) {
            folders.append(QJsonObject{
                {QStringLiteral("name"), QStringLiteral("music-%1").arg(i, 6, 10, QLatin1Char('0'))},
                {QStringLiteral("fileCount"), i % 50},
                {QStringLiteral("updated"), 1700000000 + i}});
        }
        sendJson(c, 200, {{QStringLiteral("folders"), folders}});
    });
    host_.route("POST", "/files/audio-folders", [this](Call& c) {
        const QString name = textOf(c.body, "name").trimmed();
        if (!isPlainName(name))
            return sendError(c, 400, QStringLiteral("目录名无效"));
        const QString path = audioDir() + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            return sendError(c, 409, QStringLiteral("音频目录已存在: ") + name);
        if (!QDir().mkpath(path))
            return sendError(c, 500, QStringLiteral("无法创建音频目录"));
        sendJson(c, 201, {{QStringLiteral("ok"), true}, {QStringLiteral("folder"), folderJson(path)}});
    });
    auto folderAction = [this](Call& c, bool removeFolder) {
        const QString name = requestName(c, "folder", "folder", "name");
        if (!isPlainName(name))
            return sendError(c, 400, QStringLiteral("目录名无效"));
        const QString path = audioDir() + QLatin1Char('/') + name;
        std::lock_guard lock(mutex_);
        if (!QFileInfo(path).isDir())
            return sendError(c, 404, QStringLiteral("音频目录不存在: ") + name);
        const QStringList rooms = roomsUsingLocked(QString(), name);
        if (!rooms.isEmpty())
            return sendJson(c, 409,
                            {{QStringLiteral("error"), QStringLiteral("音频目录正在被直播房间使用")},
                             {QStringLiteral("rooms"), QJsonArray::fromStringList(rooms)}});
        if (removeFolder) {
            QDir(path).removeRecursively();
        } else {
            for (const QFileInfo& file : QDir(path).entryInfoList(QDir::Files | QDir::Hidden))
                QFile::remove(file.absoluteFilePath());
        }
        sendJson(c, 200, {{QStringLiteral("ok"), true}, {QStringLiteral("folder"), name}});
    };
    host_.route("POST", "/files/audio-folders/clear", [folderAction](Call& c) { folderAction(c, false); });
    host_.route("DELETE", "/files/audio-folders", [folderAction](Call& c) { folderAction(c, true); });
    host_.route("DELETE", "/files/videos", [this](Call& c) {
        const QString file = requestName(c, "file", "file", "relative");
        if (file.isEmpty() || file.contains(QLatin1String("..")))
            return sendError(c, 400, QStringLiteral("文件名无效"));
        QString found;
        if (QFileInfo(videoDir() + QLatin1Char('/') + file).isFile()) {
            found = videoDir() + QLatin1Char('/') + file;
        } else {
            QDirIterator it(videoDir(), QDir::Files, QDirIterator::Subdirectories);
            while (found.isEmpty() && it.hasNext()) {
                const QString path = it.next();
                if (QFileInfo(path).fileName() == baseName(file))
                    found = path;
            }
        }
        if (found.isEmpty())
            return sendError(c, 404, QStringLiteral("视频文件不存在: ") + file);
        std::lock_guard lock(mutex_);
        const QStringList rooms = roomsUsingLocked(QDir(videoDir()).relativeFilePath(found), QString());
        if (!rooms.isEmpty())
            return sendJson(c, 409,
                            {{QStringLiteral("error"), QStringLiteral("视频文件正在被直播房间使用")},
                             {QStringLiteral("rooms"), QJsonArray::fromStringList(rooms)}});
        if (!QFile::remove(found))
            return sendError(c, 500, QStringLiteral("无法删除视频文件"));
        sendJson(c, 200, {{QStringLiteral("ok"), true}, {QStringLiteral("file"), baseName(found)}});
    });
}

void AgentService::setUploadFaults(int failPercent, int dropPercent) {
    std::lock_guard lock(mutex_);
    chunkFailPercent_ = std::clamp(failPercent, 0, 100);
    chunkDropPercent_ = std::clamp(dropPercent, 0, 100);
}

void AgentService::setSparseUploads(bool on) {
    std::lock_guard lock(mutex_);
    sparseUploads_ = on;
}

void AgentService::setSyntheticLists(int videos, int folders, int bridges) {
    std::lock_guard lock(mutex_);
    syntheticVideos_ = std::max(0, videos);
    syntheticFolders_ = std::max(0, folders);
    syntheticBridges_ = std::max(0, bridges);
}

void AgentService::installUploadRoutes() {
    host_.route("POST", "/files/upload/start", [this](Call& c) {
        const QString kind =
            textOf(c.body, "mediaKind").isEmpty() ? QStringLiteral("video") : textOf(c.body, "mediaKind");
        const QString fileName = textOf(c.body, "fileName").trimmed();
        const QString folder = textOf(c.body, "audioFolder").trimmed();
        const qint64 size = numberOf(c.body.value(QStringLiteral("size")));
        qint64 chunk = numberOf(c.body.value(QStringLiteral("chunkSize")));
        const bool overwrite = c.body.value(QStringLiteral("overwrite")).toBool();
        if (kind != QLatin1String("video") && kind != QLatin1String("audio"))
            return sendError(c, 400, QStringLiteral("mediaKind 无效"));
        if (!isPlainName(fileName))
            return sendError(c, 400, QStringLiteral("文件名无效"));
        const QString suffix = QFileInfo(fileName).suffix().toLower();
        if (!(kind == QLatin1String("video") ? kVideoExtensions : kAudioExtensions).contains(suffix))
            return sendError(c, 400, QStringLiteral("不支持的文件类型: ") + fileName);
        if (size <= 0)
            return sendError(c, 400, QStringLiteral("文件大小无效"));
        if (kind == QLatin1String("audio") && !isPlainName(folder))
            return sendError(c, 400, QStringLiteral("请选择音频目录"));
        const QString target = kind == QLatin1String("video")
                                   ? videoDir() + QLatin1Char('/') + fileName
                                   : audioDir() + QLatin1Char('/') + folder + QLatin1Char('/') + fileName;
        if (QFileInfo::exists(target) && !overwrite)
            return sendError(c, 409, QStringLiteral("文件已存在: ") + fileName);
        std::lock_guard lock(mutex_);
        chunk = forcedChunkSize_ > 0 ? forcedChunkSize_
                                     : (chunk <= 0 ? kDefaultChunk : std::clamp(chunk, kMinChunk, kMaxChunk));
        // The same file announced again resumes its unfinished session.
        for (auto& [id, upload] : uploads_) {
            if (upload.kind == kind && upload.fileName == fileName && upload.folder == folder &&
                upload.size == size && upload.chunkSize == chunk) {
                upload.overwrite = overwrite;
                return sendJson(c, 200, uploadJsonLocked(upload));
            }
        }
        Upload upload{randomToken(20), kind, fileName, kind == QLatin1String("audio") ? folder : QString(),
                      QString(),       size, chunk,    (size + chunk - 1) / chunk,
                      overwrite,       {}};
        upload.tempPath = uploadDir() + QLatin1Char('/') + upload.id + QStringLiteral(".part");
        QFile temp(upload.tempPath);
        if (!temp.open(QIODevice::WriteOnly) || !temp.resize(size))
            return sendError(c, 500, QStringLiteral("无法创建上传临时文件"));
        uploads_[upload.id] = upload;
        sendJson(c, 200, uploadJsonLocked(upload));
    });
    host_.route("POST", "/files/upload/chunk", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const auto it = uploads_.find(c.param("uploadId"));
        if (it == uploads_.end())
            return sendError(c, 404, QStringLiteral("上传任务不存在"));
        Upload& upload = it->second;
        bool ok = false;
        const qint64 index = c.param("index").toLongLong(&ok);
        if (!ok || index < 0 || index >= upload.totalChunks)
            return sendError(c, 400, QStringLiteral("分片序号无效"));
        const qint64 expected = std::min(upload.chunkSize, upload.size - index * upload.chunkSize);
        if (qint64(c.req.body.size()) != expected)
            return sendError(c, 400,
                             QStringLiteral("分片大小不正确: 收到 %1 字节，应为 %2 字节")
                                 .arg(c.req.body.size())
                                 .arg(expected));
        const int dice = QRandomGenerator::global()->bounded(100);
        if (dice < chunkFailPercent_)
            return sendError(c, 500, QStringLiteral("simulated chunk failure"));
        if (!(sparseUploads_ && allZero(c.req.body))) {
            QFile temp(upload.tempPath);
            if (!temp.open(QIODevice::ReadWrite) || !temp.seek(index * upload.chunkSize) ||
                temp.write(c.req.body.data(), expected) != expected)
                return sendError(c, 500, QStringLiteral("写入分片失败"));
        }
        upload.received.insert(index);
        if (dice < chunkFailPercent_ + chunkDropPercent_)
            return dropConnection(c);
        sendJson(c, 200, uploadJsonLocked(upload));
    });
    host_.route("POST", "/files/upload/finish", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const auto it = uploads_.find(textOf(c.body, "uploadId"));
        if (it == uploads_.end())
            return sendError(c, 404, QStringLiteral("上传任务不存在"));
        const Upload upload = it->second;
        const qint64 missing = upload.totalChunks - qint64(upload.received.size());
        if (missing > 0)
            return sendError(c, 409, QStringLiteral("还有 %1 个分片未上传").arg(missing));
        if (QFileInfo(upload.tempPath).size() != upload.size)
            return sendError(c, 409, QStringLiteral("文件大小校验失败"));
        const QString dir = upload.kind == QLatin1String("video")
                                ? videoDir()
                                : audioDir() + QLatin1Char('/') + upload.folder;
        const QString target = dir + QLatin1Char('/') + upload.fileName;
        if (QFileInfo::exists(target)) {
            if (!upload.overwrite)
                return sendError(c, 409, QStringLiteral("文件已存在: ") + upload.fileName);
            QFile::remove(target);
        }
        QDir().mkpath(dir);
        if (!QFile::rename(upload.tempPath, target))
            return sendError(c, 500, QStringLiteral("无法保存文件"));
        uploads_.erase(it);
        sendJson(c, 200,
                 {{QStringLiteral("ok"), true},
                  {QStringLiteral("fileName"), upload.fileName},
                  {QStringLiteral("relative"), upload.kind == QLatin1String("video")
                                                   ? upload.fileName
                                                   : upload.folder + QLatin1Char('/') + upload.fileName},
                  {QStringLiteral("size"), double(upload.size)}});
    });
    host_.route("POST", "/files/upload/cancel", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const auto it = uploads_.find(textOf(c.body, "uploadId"));
        if (it == uploads_.end())
            return sendError(c, 404, QStringLiteral("上传任务不存在"));
        QFile::remove(it->second.tempPath);
        uploads_.erase(it);
        sendJson(c, 200, {{QStringLiteral("ok"), true}});
    });
    host_.route("GET", "/files/upload/status", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const auto it = uploads_.find(c.param("uploadId"));
        if (it == uploads_.end())
            return sendError(c, 404, QStringLiteral("上传任务不存在"));
        sendJson(c, 200, uploadJsonLocked(it->second));
    });
}

} // namespace sim::detail
