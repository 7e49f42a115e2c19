#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <set>

// Widget-free rules of the upload engine and the files page: chunk geometry, accepted media,
// names, failure texts and the cells of the file tables.
namespace files {

inline constexpr int kVideoChunksInFlight = 4;
inline constexpr int kAudioFilesAtOnce = 5;
inline constexpr int kMaxRetries = 3;
inline constexpr qint64 kReplyBodyCap = 1024 * 1024; // chunk and JSON replies are small

// The chunk sizes an Agent may choose for a session: smaller ones would turn a file into millions of
// requests, larger ones would not fit a request's memory and time limits.
inline constexpr qint64 kMinAgentChunkSize = 256 * 1024;
inline constexpr qint64 kMaxAgentChunkSize = 64 * 1024 * 1024;
// The largest whole number a JSON number (a double) carries exactly.
inline constexpr qint64 kMaxExactReplyNumber = qint64(1) << 53;

// 4 MiB below 1 GiB, 8 MiB below 10 GiB, 16 MiB from 10 GiB on.
qint64 chunkSizeFor(qint64 fileSize);
// Chunks needed for the file, rounded up; 0 for an empty file or a chunk size below 1.
qint64 chunkCountFor(qint64 fileSize, qint64 chunkSize);
// Bytes of chunk index (0-based); 0 beyond the end.
qint64 chunkLength(qint64 index, qint64 fileSize, qint64 chunkSize);
// Bytes covered by the given chunk indices.
qint64 coveredBytes(const std::set<qint64>& indices, qint64 fileSize, qint64 chunkSize);

bool isVideoFile(const QString& path);
bool isAudioFile(const QString& path);
QString videoFileFilter();
QString audioFileFilter();

// The text after the last slash, backslashes counting as slashes.
QString baseName(const QString& path);
// The upload name as the Agent takes it: trimmed, the last path component only.
QString normalisedUploadName(const QString& text);

// Failure of a chunk request: network error " / " detail, where the detail is the "error" text, else
// the body cut to 300 characters, else "HTTP n".
QString chunkFailureText(const QString& networkError, const QByteArray& body, const QJsonObject& reply,
                         int status);

// Numbers of an Agent reply (JSON numbers, or decimal text), truncated to 64 bits; fallback when absent
// or beyond what a double holds exactly (1e300, infinities).
qint64 replyNumber(const QJsonObject& reply, const char* key, qint64 fallback);
// A whole number within [0, max] (a JSON number or decimal text); nothing when it is fractional,
// negative, larger or not a number at all.
std::optional<qint64> wholeNumber(const QJsonValue& value, qint64 max);

// How a session cuts its file into chunks.
struct ChunkGeometry {
    qint64 chunkSize = 0;
    qint64 totalChunks = 0;
    bool operator==(const ChunkGeometry&) const = default;
};
// Applies a start or status reply's "chunkSize" and "totalChunks" (an absent member keeps the current
// value; an absent count follows from the size). The chunk size must lie within the Agent limits above
// and the count must be exactly the chunks the file needs. Returns why not, or empty on success; on
// failure geometry is left as it was.
QString applyReplyGeometry(const QJsonObject& reply, qint64 fileSize, ChunkGeometry& geometry);
// The indices of "received" that name a chunk of the session, [0, totalChunks); others are ignored.
std::set<qint64> receivedIndices(const QJsonObject& reply, qint64 totalChunks);
// Why a chunk reply the Agent answered as a success still does not count: it does not list the chunk
// among the received ones, or it changes the session's geometry. Empty when it confirms the chunk.
QString chunkConfirmationFailure(const QJsonObject& reply, qint64 index, qint64 fileSize,
                                 const ChunkGeometry& geometry);

// Local audio files under the chosen paths (directories are walked recursively): existing regular
// files above 0 bytes with an audio extension, each path once. skipped counts the paths refused.
QStringList collectAudioFiles(const QStringList& paths, int* skipped);

// Cells of the file tables.
QString sizeCellText(const QJsonObject& item);    // byte size of "size", "--" when absent
QString updatedCellText(const QJsonObject& item); // "updated" seconds as local time, "--" below 1
QString videoNameOf(const QJsonObject& item);     // base name of "relative", else of "name"
QString videoPathOf(const QJsonObject& item);     // "relative" as the list gave it, else "name"

} // namespace files

namespace files {

// One row of a file table: an item the Agent listed, or the failure of one Node's list request.
struct FileRow {
    QString nodeId;
    QString nodeLabel;
    QJsonObject item;  // empty for an error row
    QString stateText; // "正常", or the failure text
    bool hasItem() const { return !item.isEmpty(); }
};

// The rows of one Node's list reply ("files" or "folders"): one per element, or one error row with the
// failure text every page shows.
QList<FileRow> fileRowsOf(const QString& nodeId, const QString& nodeLabel, const QJsonObject& reply,
                          int status, const char* listKey);

} // namespace files
