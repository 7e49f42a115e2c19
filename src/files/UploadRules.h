#pragma once

#include <QJsonObject>
#include <QString>
#include <QList>
#include <QStringList>
#include <QtGlobal>
#include <set>

// Widget-free rules of the upload engine and the files page: chunk geometry, accepted media,
// names, failure texts and the cells of the file tables.
namespace files {

inline constexpr int kVideoChunksInFlight = 4;
inline constexpr int kAudioFilesAtOnce = 5;
inline constexpr int kMaxRetries = 3;
inline constexpr qint64 kReplyBodyCap = 1024 * 1024; // chunk and JSON replies are small

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

// Failure of a blocking upload request: its "error" text, else "HTTP n"; empty on success.
QString uploadFailureText(const QJsonObject& reply, int status);
// Failure of a chunk request: network error " / " detail, where the detail is the "error" text, else
// the body cut to 300 characters, else "HTTP n".
QString chunkFailureText(const QString& networkError, const QByteArray& body, const QJsonObject& reply,
                         int status);
// Failure of a list request on the files page: "error" text, else "HTTP n".
QString listFailureText(const QJsonObject& reply, int status);

// Numbers of an Agent reply (JSON numbers, or decimal text), truncated to 64 bits; fallback when absent.
qint64 replyNumber(const QJsonObject& reply, const char* key, qint64 fallback);
std::set<qint64> replyIndices(const QJsonObject& reply);

// Local audio files under the chosen paths (directories are walked recursively): existing regular
// files above 0 bytes with an audio extension, each path once. skipped counts the paths refused.
QStringList collectAudioFiles(const QStringList& paths, int* skipped);

// Cells of the file tables.
QString sizeCellText(const QJsonObject& item);      // byte size of "size", "--" when absent
QString updatedCellText(const QJsonObject& item);   // "updated" seconds as local time, "--" below 1
QString videoNameOf(const QJsonObject& item);       // base name of "relative", else of "name"
QString videoPathOf(const QJsonObject& item);       // "relative" as the list gave it, else "name"

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

// The rows of one Node's list reply ("files" or "folders"): one per element, or one error row.
QList<FileRow> fileRowsOf(const QString& nodeId, const QString& nodeLabel, const QJsonObject& reply, int status,
                          const char* listKey);

} // namespace files
