#include "streaming/LivePushStatus.h"

#include "net/RequestLayer.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace streaming {
namespace {

const QString kStreaming = QStringLiteral("streaming");
const QString kRetrying = QStringLiteral("retrying");
const QString kNoHealthyLog = QStringLiteral("异常：未读取到正常推流日志");

// Progress members arrive as text from FFmpeg's report, numbers from some Agents.
QString progressText(const QJsonObject& progress, const char* key) {
    const QJsonValue value = progress.value(QLatin1String(key));
    if (value.isString())
        return value.toString().trimmed();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 15);
    return {};
}

double numberMember(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isString())
        return value.toString().trimmed().toDouble();
    return value.toDouble();
}

QString orDashes(const QString& text, bool naIsEmpty) {
    if (text.isEmpty() || (naIsEmpty && text == QLatin1String("N/A")))
        return QStringLiteral("--");
    return text;
}

QString trimmedError(const QJsonObject& reply) {
    const QJsonValue value = reply.value(QLatin1String("error"));
    return value.isString() ? value.toString().trimmed() : QString();
}

QString retryLine(double delaySeconds) {
    if (delaySeconds < 1)
        return QStringLiteral("正在准备自动重启");
    return QStringLiteral("重试中：%1 秒后自动重启").arg(qint64(delaySeconds));
}

bool setIfChanged(QString& field, const QString& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

QString trimProgressTime(const QString& time) {
    QString text = time;
    const int dot = text.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        text.truncate(dot);
    if (text.startsWith(QLatin1String("00:")))
        text.remove(0, 3);
    return text;
}

QString progressLine(const QJsonObject& progress) {
    QString time = progressText(progress, "out_time");
    if (time.isEmpty())
        time = progressText(progress, "out_time_ms");
    return QStringLiteral("帧率：%1 | 码率：%2 | 速度：%3 | 时间：%4")
        .arg(orDashes(progressText(progress, "fps"), true), orDashes(progressText(progress, "bitrate"), true),
             orDashes(progressText(progress, "speed"), false), orDashes(trimProgressTime(time), false));
}

LiveStatusReport parseLiveStatus(int status, bool networkError, const QString& networkErrorText,
                                 const QByteArray& body) {
    LiveStatusReport report;
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    if (networkError || status == 0 || status > 299) {
        report.failed = true;
        // An HTTP answer says why in its body, as every other page shows it; without one the
        // transport's reason is all there is.
        report.failureText = status == 0 && !networkErrorText.isEmpty() ? networkErrorText
                                                                        : net::describeFailure(reply, status);
        return report;
    }
    report.error = trimmedError(reply);
    report.retrying = reply.value(QLatin1String("retrying")).toBool();
    report.retryNextAt = numberMember(reply, "retryNextAt");
    report.retryDelaySeconds = numberMember(reply, "retryDelaySeconds");
    report.running = reply.value(QLatin1String("running")).toBool();
    report.progressLine = progressLine(reply.value(QLatin1String("progress")).toObject());
    return report;
}

bool applyLiveStatus(LiveRoom& room, const LiveStatusReport& report) {
    bool changed = false;
    auto set = [&](const QString& status, const QString& lastError, const QString& line) {
        changed |= setIfChanged(room.status, status);
        changed |= setIfChanged(room.lastError, lastError);
        changed |= setIfChanged(room.liveLine, line);
    };
    if (report.failed) {
        if (room.status == kStreaming)
            set(QStringLiteral("error"), report.failureText, kNoHealthyLog);
        return changed;
    }
    if (report.retrying || report.retryNextAt > 0) {
        set(kRetrying, report.error, retryLine(report.retryDelaySeconds));
    } else if (report.running) {
        if (!report.error.isEmpty())
            set(QStringLiteral("error"), report.error, kNoHealthyLog);
        else // a push that runs cleanly again has no error left to show
            set(kStreaming, QString(), report.progressLine);
    } else if (room.status == kStreaming || room.status == kRetrying) {
        set(report.error.isEmpty() ? QStringLiteral("stopped") : QStringLiteral("error"), report.error,
            report.progressLine);
    }
    return changed;
}

bool isPolled(const LiveRoom& room) {
    return room.status != QLatin1String("draft");
}

QString startRefusal(const LiveRoom& room, bool hasNode) {
    if (!hasNode || room.pushUrl.isEmpty())
        return QStringLiteral("请先编辑房间，选择节点和推流地址。");
    const QString mode = effectiveMode(room.streamMode);
    if (mode == QLatin1String(kPullMode)) {
        if (room.sourceUrl.isEmpty())
            return QStringLiteral("请先编辑房间，填写拉流地址。");
        if (room.sourceUrl.compare(room.pushUrl, Qt::CaseInsensitive) == 0)
            return QStringLiteral("拉流地址和目标推流地址不能相同。");
        return {};
    }
    if (room.videoPath.isEmpty())
        return QStringLiteral("请先编辑房间，选择视频文件。");
    if (mode == QLatin1String(kRandomAudioMode) && room.audioFolder.isEmpty())
        return QStringLiteral("请先编辑房间，选择音频目录。");
    return {};
}

bool startAccepted(int status, const QJsonObject& reply) {
    return status > 0 && status < 300 && trimmedError(reply).isEmpty();
}

bool stopAccepted(int status) {
    return status > 0 && status < 300;
}

FfmpegState ffmpegState(int status, const QJsonObject& reply) {
    if (status == 0)
        return FfmpegState::Unreachable;
    if (status < 300 && reply.value(QLatin1String("installed")).toBool())
        return FfmpegState::Installed;
    return FfmpegState::Missing;
}

QString ffmpegInstallFailure(int status, const QJsonObject& reply) {
    if (status > 0 && status < 300 && trimmedError(reply).isEmpty() &&
        reply.value(QLatin1String("installed")).toBool())
        return {};
    return net::describeFailure(reply, status);
}

} // namespace streaming
