#include "shell/AgentCall.h"

#include "shell/Shell.h"
#include "ui/Dialogs.h"

namespace shell {

bool warnIfFailed(QWidget* parent, const QString& lead, const net::RequestResult& result,
                  QLatin1String recordKey) {
    const bool failed = recordKey.isEmpty() ? result.failed() : result.failedUnlessRecord(recordKey);
    if (failed)
        ui::warning(parent, lead + result.text());
    return failed;
}

std::optional<QJsonObject> callAgent(Shell& shell, const BusyCall& call, const Node& node,
                                     const QString& method, const QString& path, const QJsonObject& body) {
    net::RequestResult result;
    {
        BusyScope busy(shell, call.busyText);
        result = net::agentCall(node, method, path, body);
    }
    if (warnIfFailed(call.warnParent ? call.warnParent : shell.dialogParent(), call.failureLead, result,
                     call.recordKey))
        return std::nullopt;
    return result.reply;
}

} // namespace shell
