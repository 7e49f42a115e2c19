#include "files/UploadRules.h"

#include "app/TextFormats.h"
#include "net/RequestResult.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <cmath>

namespace files {
namespace {

constexpr qint64 kGiB = qint64(1) << 30;
constexpr qint64 kMiB = qint64(1) << 20;

const QStringList kVideoSuffixes = {QStringLiteral("mp4"), QStringLiteral("mov"),  QStringLiteral("mkv"),
                                    QStringLiteral("flv"), QStringLiteral("webm"), QStringLiteral("avi"),
                                    QStringLiteral("ts"),  QStringLiteral("m4v")};
const QStringList kAudioSuffixes = {QStringLiteral("mp3"),  QStringLiteral("wav"),  QStringLiteral("aac"),
                                    QStringLiteral("m4a"),  QStringLiteral("flac"), QStringLiteral("ogg"),
                                    QStringLiteral("opus"), QStringLiteral("wma"),  QStringLiteral("aiff"),
                                    QStringLiteral("aif"),  QStringLiteral("amr")};

// The suffix after the last dot of the file name, lower-cased; empty without a dot.
QString suffixOf(const QString& path) {
    const QString name = baseName(path);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

QString filterOf(const QString& label, const QStringList& suffixes) {
    QStringList patterns;
    for (const QString& suffix : suffixes)
        patterns << QStringLiteral("*.") + suffix;
    return QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' ')));
}

bool isUsableAudio(const QFileInfo& info) {
    return info.exists() && info.isFile() && info.size() > 0 && isAudioFile(info.fileName());
}

} // namespace

qint64 chunkSizeFor(qint64 fileSize) {
    if (fileSize < kGiB)
        return 4 * kMiB;
    if (fileSize < 10 * kGiB)
        return 8 * kMiB;
    return 16 * kMiB;
}

qint64 chunkCountFor(qint64 fileSize, qint64 chunkSize) {
    if (fileSize <= 0 || chunkSize <= 0)
        return 0;
    return fileSize / chunkSize + (fileSize % chunkSize != 0 ? 1 : 0); // no sum that could overflow
}

qint64 chunkLength(qint64 index, qint64 fileSize, qint64 chunkSize) {
    if (index < 0 || chunkSize <= 0 || index >= chunkCountFor(fileSize, chunkSize))
        return 0;
    return std::min(chunkSize, fileSize - index * chunkSize);
}

qint64 coveredBytes(const std::set<qint64>& indices, qint64 fileSize, qint64 chunkSize) {
    qint64 bytes = 0;
    for (const qint64 index : indices)
        bytes += chunkLength(index, fileSize, chunkSize);
    return bytes;
}

bool isVideoFile(const QString& path) {
    return kVideoSuffixes.contains(suffixOf(path));
}

bool isAudioFile(const QString& path) {
    return kAudioSuffixes.contains(suffixOf(path));
}

QString videoFileFilter() {
    return filterOf(QStringLiteral("视频文件"), kVideoSuffixes);
}

QString audioFileFilter() {
    return filterOf(QStringLiteral("音频文件"), kAudioSuffixes);
}

QString baseName(const QString& path) {
    QString text = path;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
}

QString normalisedUploadName(const QString& text) {
    return baseName(text.trimmed()).trimmed();
}

QString chunkFailureText(const QString& networkError, const QByteArray& body, const QJsonObject& reply,
                         int status) {
    QString detail;
    const QJsonValue error = reply.value(QLatin1String("error"));
    if (error.isString() && !error.toString().isEmpty())
        detail = error.toString();
    else if (!body.isEmpty())
        detail = QString::fromUtf8(body).left(300);
    else
        detail = QStringLiteral("HTTP %1").arg(status);
    return networkError.isEmpty() ? detail : networkError + QStringLiteral(" / ") + detail;
}

qint64 replyNumber(const QJsonObject& reply, const char* key, qint64 fallback) {
    const QJsonValue value = reply.value(QLatin1String(key));
    if (value.isDouble()) {
        // Converting a double outside the 64-bit range is undefined; such a number is no number here.
        const double number = value.toDouble();
        const double limit = double(kMaxExactReplyNumber);
        return std::isfinite(number) && number >= -limit && number <= limit ? qint64(number) : fallback;
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok);
        return ok ? number : fallback;
    }
    return fallback;
}

std::optional<qint64> wholeNumber(const QJsonValue& value, qint64 max) {
    max = std::min(max, kMaxExactReplyNumber);
    if (value.isString()) {
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok);
        return ok && number >= 0 && number <= max ? std::optional<qint64>(number) : std::nullopt;
    }
    if (!value.isDouble())
        return std::nullopt;
    // Checked as a double first: only then is the conversion defined.
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > double(max) || std::floor(number) != number)
        return std::nullopt;
    return qint64(number);
}

namespace {

QString numberText(const QJsonValue& value) {
    return value.isString() ? value.toString().left(40) : QString::number(value.toDouble(), 'g', 17).left(40);
}

} // namespace

QString applyReplyGeometry(const QJsonObject& reply, qint64 fileSize, ChunkGeometry& geometry) {
    ChunkGeometry next = geometry;
    const QJsonValue size = reply.value(QLatin1String("chunkSize"));
    if (!size.isUndefined()) {
        const std::optional<qint64> chunk = wholeNumber(size, kMaxAgentChunkSize);
        if (!chunk || *chunk < kMinAgentChunkSize)
            return QStringLiteral("agent 返回的分片大小无效: %1（允许 %2 到 %3 字节）")
                .arg(numberText(size))
                .arg(kMinAgentChunkSize)
                .arg(kMaxAgentChunkSize);
        next.chunkSize = *chunk;
    }
    const qint64 needed = chunkCountFor(fileSize, next.chunkSize);
    const QJsonValue count = reply.value(QLatin1String("totalChunks"));
    if (!count.isUndefined() && wholeNumber(count, kMaxExactReplyNumber) != needed)
        return QStringLiteral("agent 返回的分片数无效: %1（文件需要 %2 个分片）")
            .arg(numberText(count))
            .arg(needed);
    next.totalChunks = needed;
    geometry = next;
    return QString();
}

std::set<qint64> receivedIndices(const QJsonObject& reply, qint64 totalChunks) {
    std::set<qint64> indices;
    if (totalChunks < 1)
        return indices;
    for (const QJsonValue& value : reply.value(QLatin1String("received")).toArray()) {
        if (const std::optional<qint64> index = wholeNumber(value, totalChunks - 1);
            index && value.isDouble())
            indices.insert(*index);
    }
    return indices;
}

QString chunkConfirmationFailure(const QJsonObject& reply, qint64 index, qint64 fileSize,
                                 const ChunkGeometry& geometry) {
    ChunkGeometry replied = geometry;
    if (!applyReplyGeometry(reply, fileSize, replied).isEmpty() || !(replied == geometry))
        return QStringLiteral("agent 改变了分片参数");
    if (!receivedIndices(reply, geometry.totalChunks).count(index))
        return QStringLiteral("Agent 未确认收到分片 %1").arg(index + 1);
    return QString();
}

QStringList collectAudioFiles(const QStringList& paths, int* skipped) {
    QStringList kept;
    QSet<QString> seen;
    int refused = 0;
    auto consider = [&](const QString& path) {
        const QFileInfo info(path);
        const QString canonical = info.absoluteFilePath();
        if (!isUsableAudio(info)) {
            ++refused;
            return;
        }
        if (!seen.contains(canonical)) {
            seen.insert(canonical);
            kept << canonical;
        }
    };
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            consider(path);
            continue;
        }
        QStringList below;
        QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            below << it.next();
        below.sort();
        for (const QString& file : below)
            consider(file);
    }
    if (skipped)
        *skipped = refused;
    return kept;
}

QString sizeCellText(const QJsonObject& item) {
    const QJsonValue size = item.value(QLatin1String("size"));
    return size.isUndefined() || size.isNull() ? QStringLiteral("--") : fmt::clientBytes(size.toDouble());
}

QString updatedCellText(const QJsonObject& item) {
    const qint64 seconds = replyNumber(item, "updated", 0);
    return seconds < 1 ? QStringLiteral("--") : fmt::formatEpochMs(seconds * 1000);
}

QString videoPathOf(const QJsonObject& item) {
    const QString relative = item.value(QLatin1String("relative")).toString();
    return relative.isEmpty() ? item.value(QLatin1String("name")).toString() : relative;
}

QString videoNameOf(const QJsonObject& item) {
    return baseName(videoPathOf(item));
}

} // namespace files

namespace files {

QList<FileRow> fileRowsOf(const QString& nodeId, const QString& nodeLabel, const QJsonObject& reply,
                          int status, const char* listKey) {
    // The failure rule and text every page uses.
    if (const net::RequestResult result{status, reply}; result.failed())
        return {FileRow{nodeId, nodeLabel, {}, result.text()}};
    QList<FileRow> rows;
    for (const QJsonValue& value : reply.value(QLatin1String(listKey)).toArray()) {
        if (value.isObject() && !value.toObject().isEmpty())
            rows.append(FileRow{nodeId, nodeLabel, value.toObject(), QStringLiteral("正常")});
    }
    return rows;
}

} // namespace files
