#include "mainwindow/NodeComponentRules.h"

#include "app/AppConstants.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"

#include <QJsonArray>

namespace mainwindow {
namespace {} // namespace

QString engineDisplayName(Engine engine) {
    switch (engine) {
    case Engine::MediaMtx:
        return QStringLiteral("MediaMTX");
    case Engine::Gost:
        return QStringLiteral("GOST");
    case Engine::Ffmpeg:
        return QStringLiteral("FFmpeg");
    }
    return {};
}

int engineColumn(Engine engine) {
    switch (engine) {
    case Engine::MediaMtx:
        return 4;
    case Engine::Gost:
        return 5;
    case Engine::Ffmpeg:
        return 6;
    }
    return 4;
}

QString engineConfirmationText(Engine engine, const QString& path, int count) {
    if (path.endsWith(QLatin1String("/uninstall")))
        return QStringLiteral("确定卸载选中 %1 个节点的 %2？").arg(count).arg(engineDisplayName(engine));
    if (engine == Engine::Gost && path.endsWith(QLatin1String("/stop")))
        return QStringLiteral(
                   "确定停止选中 %1 个节点的 GOST？已启用的代理和中转会保持配置，但引擎停止后不可用。")
            .arg(count);
    return {};
}

QString failureLine(const QString& label, const QString& reason) {
    return label + QStringLiteral(": ") + reason;
}

QString engineBatchSummary(const QString& title, const BatchTally& tally) {
    if (tally.failures.isEmpty())
        return {};
    return QStringLiteral("%1完成：成功 %2，失败 %3\n\n%4")
        .arg(title, QString::number(tally.successes), QString::number(tally.failures.size()),
             tally.failures.join(QLatin1Char('\n')));
}

QString versionCheckStatusLine(const BatchTally& tally) {
    return QStringLiteral("版本检测完成：成功 %1，失败 %2").arg(tally.successes).arg(tally.failures.size());
}

QString versionCheckWarning(const BatchTally& tally) {
    if (tally.failures.isEmpty())
        return {};
    return QStringLiteral("检测版本失败:\n\n") + tally.failures.join(QLatin1Char('\n'));
}

QString versionCheckFailureReason(int status, const QJsonObject& reply) {
    if (status < 1)
        return QStringLiteral("离线");
    return net::RequestResult{status, reply}.text();
}

bool needsInstallScriptFallback(int status, const QJsonObject& reply) {
    if (status == 404)
        return true;
    return status >= 300 &&
           net::replyErrorText(reply).contains(QLatin1String("not found"), Qt::CaseInsensitive);
}

QString installScriptCommand() {
    return QStringLiteral("curl -fsSL ") + QLatin1String(app::kAgentInstallScriptUrl) +
           QStringLiteral(" | sh");
}

QJsonObject installScriptRequestBody() {
    return QJsonObject{{QStringLiteral("script"), installScriptCommand()},
                       {QStringLiteral("shell"), QStringLiteral("sh")},
                       {QStringLiteral("timeoutSeconds"), 300}};
}

QJsonObject updateReplyFromExec(int status, const QJsonObject& execReply) {
    if (status < 200 || status > 299)
        return execReply;
    if (execReply.value(QLatin1String("ok")).toBool(false))
        return {};
    const int exitCode = execReply.value(QLatin1String("exitCode")).toInt(1);
    if (exitCode == 0)
        return {};
    const QString combined = execReply.value(QLatin1String("stderr")).toString() + QLatin1Char('\n') +
                             execReply.value(QLatin1String("stdout")).toString();
    const QString output = combined.trimmed();
    return QJsonObject{
        {QStringLiteral("error"), output.isEmpty() ? QStringLiteral("install script failed") : output}};
}

bool agentAtVersion(const QJsonObject& status, const QString& latest) {
    return !latest.isEmpty() && status.value(QLatin1String("agentVersion")).toString() == latest;
}

SummaryBox agentUpdateSummary(const BatchTally& tally) {
    if (!tally.failures.isEmpty()) {
        return {true, QStringLiteral("Agent 更新完成：成功 %1，失败 %2\n\n%3")
                          .arg(QString::number(tally.successes), QString::number(tally.failures.size()),
                               tally.failures.join(QLatin1Char('\n')))};
    }
    return {
        false,
        QStringLiteral("Agent 更新请求已发送：%1 个节点。服务重启后版本会自动刷新。").arg(tally.successes)};
}

} // namespace mainwindow
