#pragma once

#include "streaming/LiveRoom.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

// The push state of live rooms: what a status reply means for a room, the one-line text of the
// push, and when start, stop and the FFmpeg check count as done.
namespace streaming {

// One "/live/status" reply reduced to what the state machine needs (built on the poll worker thread).
struct LiveStatusReport {
    bool failed = false; // no answer, or an HTTP error status
    QString failureText; // the transport's reason, or the Agent's as every page shows it
    QString error;       // the Agent's "error", trimmed
    bool retrying = false;
    double retryNextAt = 0;
    double retryDelaySeconds = 0;
    bool running = false;
    QString progressLine;
};

LiveStatusReport parseLiveStatus(int status, bool networkError, const QString& networkErrorText,
                                 const QByteArray& body);

// Applies a status reply to a room; returns true when anything shown changed.
bool applyLiveStatus(LiveRoom& room, const LiveStatusReport& report);

// Rooms in "draft" have nothing to push and are never polled.
bool isPolled(const LiveRoom& room);

// "帧率：… | 码率：… | 速度：… | 时间：…" from a "progress" object.
QString progressLine(const QJsonObject& progress);
// FFmpeg's clock text without the fraction and without a leading zero hour ("00:01:02.5" -> "01:02").
QString trimProgressTime(const QString& time);

// Why a room cannot be started as configured, or empty when it can. hasNode: its Node exists.
QString startRefusal(const LiveRoom& room, bool hasNode);
// A start counts only with an HTTP answer below 300 and no error.
bool startAccepted(int status, const QJsonObject& reply);
// A stop counts only with an HTTP answer below 300: without any answer (status 0) the Agent may
// still be pushing, so the room must not be shown or saved as stopped.
bool stopAccepted(int status);

enum class FfmpegState { Installed, Missing, Unreachable };
// Whether the Node has FFmpeg; an Agent that did not answer is not "missing" (no install offer).
FfmpegState ffmpegState(int status, const QJsonObject& reply);
// Empty when the install went through, else the text for the warning.
QString ffmpegInstallFailure(int status, const QJsonObject& reply);

} // namespace streaming

Q_DECLARE_METATYPE(streaming::LiveStatusReport)
