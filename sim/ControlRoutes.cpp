#include "HttpHost.h"
#include "SimUtil.h"

namespace sim {

using namespace detail;

// Routes on the Cloud API port through which tools outside the process steer the simulator.
void installControlRoutes(Simulator& sim, HttpHost& host) {
    host.route(
        "POST", "/__sim/faults",
        [&sim](Call& c) {
            Fault fault;
            const QJsonObject& b = c.body;
            fault.status = b.value(QStringLiteral("status")).toInt();
            fault.errorText = b.value(QStringLiteral("errorText")).toString(fault.errorText);
            fault.delayMs = b.value(QStringLiteral("delayMs")).toInt();
            fault.staleMs = b.value(QStringLiteral("staleMs")).toInt();
            fault.hang = b.value(QStringLiteral("hang")).toBool();
            fault.dropMidReply = b.value(QStringLiteral("dropMidReply")).toBool();
            fault.malformedJson = b.value(QStringLiteral("malformedJson")).toBool();
            fault.times = b.value(QStringLiteral("times")).toInt(-1);
            fault.replyMembers = b.value(QStringLiteral("replyMembers")).toObject();
            const QString target =
                textOf(b, "target").isEmpty() ? QString::fromLatin1(kCloud) : textOf(b, "target");
            if (textOf(b, "path").isEmpty())
                return sendError(c, 400, QStringLiteral("path is required"));
            sim.setFault(target, textOf(b, "method"), textOf(b, "path"), fault);
            sendJson(c, 200, {{QStringLiteral("ok"), true}});
        },
        false);
    host.route(
        "DELETE", "/__sim/faults",
        [&sim](Call& c) {
            sim.clearFaults();
            sendJson(c, 200, {{QStringLiteral("ok"), true}});
        },
        false);
    host.route(
        "POST", "/__sim/package",
        [&sim](Call& c) {
            PackageOptions options;
            options.ignoreRange = c.body.value(QStringLiteral("ignoreRange")).toBool();
            options.omitSize = c.body.value(QStringLiteral("omitSize")).toBool();
            options.upperCaseSha256 = c.body.value(QStringLiteral("upperCaseSha256")).toBool();
            options.wrongSha256 = c.body.value(QStringLiteral("wrongSha256")).toBool();
            sim.setPackageOptions(options);
            sendJson(c, 200, {{QStringLiteral("ok"), true}});
        },
        false);
    host.route(
        "POST", "/__sim/agent",
        [&sim](Call& c) {
            const QString name = textOf(c.body, "name");
            if (sim.agent(name).name.isEmpty())
                return sendError(c, 404, QStringLiteral("no such agent"));
            if (c.body.contains(QStringLiteral("tooOld")))
                sim.setAgentTooOld(name, c.body.value(QStringLiteral("tooOld")).toBool());
            if (c.body.contains(QStringLiteral("version")))
                sim.setAgentVersion(name, textOf(c.body, "version"));
            if (c.body.contains(QStringLiteral("uploadChunkSize")))
                sim.setUploadChunkSize(name,
                                       qint64(c.body.value(QStringLiteral("uploadChunkSize")).toDouble()));
            // {"offline": true} refuses connections like a Node that went away; false listens again.
            if (c.body.contains(QStringLiteral("offline"))) {
                if (c.body.value(QStringLiteral("offline")).toBool())
                    sim.stopAgent(name);
                else if (!sim.resumeAgent(name))
                    return sendError(c, 500, QStringLiteral("agent could not listen again"));
            }
            // {"endPush": {"roomId", "error"}} ends a running push as the Agent would: with the error, or
            // (empty) as a push that ran out.
            if (c.body.value(QStringLiteral("endPush")).isObject()) {
                const QJsonObject end = c.body.value(QStringLiteral("endPush")).toObject();
                if (textOf(end, "roomId").isEmpty())
                    return sendError(c, 400, QStringLiteral("endPush.roomId is required"));
                sim.simulatePushFailure(name, textOf(end, "roomId"), textOf(end, "error"));
            }
            if (c.body.value(QStringLiteral("syntheticLists")).isObject()) {
                const QJsonObject lists = c.body.value(QStringLiteral("syntheticLists")).toObject();
                sim.setSyntheticLists(name, lists.value(QStringLiteral("videos")).toInt(),
                                      lists.value(QStringLiteral("folders")).toInt(),
                                      lists.value(QStringLiteral("bridges")).toInt());
            }
            if (c.body.contains(QStringLiteral("restartMs")))
                sim.setRestartDurationMs(c.body.value(QStringLiteral("restartMs")).toInt());
            if (c.body.value(QStringLiteral("usage")).isObject()) {
                const QJsonObject u = c.body.value(QStringLiteral("usage")).toObject();
                Usage usage;
                usage.cpu = u.value(QStringLiteral("cpu")).toDouble();
                usage.memoryUsedPercent = u.value(QStringLiteral("memoryUsedPercent")).toDouble();
                usage.memoryTotal = u.value(QStringLiteral("memoryTotal")).toDouble(usage.memoryTotal);
                usage.diskUsedPercent = u.value(QStringLiteral("diskUsedPercent")).toDouble();
                usage.diskTotal = u.value(QStringLiteral("diskTotal")).toDouble(usage.diskTotal);
                usage.rxRate = u.value(QStringLiteral("rxRate")).toDouble();
                usage.txRate = u.value(QStringLiteral("txRate")).toDouble();
                sim.pinUsage(name, usage);
            }
            sendJson(c, 200, {{QStringLiteral("ok"), true}});
        },
        false);
    host.route(
        "GET", "/__sim/state",
        [&sim](Call& c) {
            QJsonArray agents;
            for (const AgentInfo& info : sim.agents()) {
                QJsonObject snapshot = sim.snapshot(info.name);
                snapshot.insert(QStringLiteral("name"), info.name);
                snapshot.insert(QStringLiteral("url"), info.url);
                agents.append(snapshot);
            }
            sendJson(c, 200, {{QStringLiteral("agents"), agents}});
        },
        false);
}

} // namespace sim
