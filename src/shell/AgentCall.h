#pragma once

#include "model/Node.h"
#include "net/RequestResult.h"
#include "shell/BusyScope.h"

#include <QJsonObject>
#include <QLatin1String>
#include <QString>
#include <optional>

class QWidget;

namespace shell {

class Shell;

// When the result failed, warns with lead (e.g. "保存房间失败: ") followed by its text and returns true.
// With a record key, the failure rule for replies that are such a record (RequestResult).
bool warnIfFailed(QWidget* parent, const QString& lead, const net::RequestResult& result,
                  QLatin1String recordKey = QLatin1String());

// How a user action calls the Agent: the busy text while it waits, the lead of the warning when it
// fails, the warning's parent (the shell's dialog parent when null, e.g. a dialog that is open) and,
// for replies that are a bridge or proxy record, its record key.
struct BusyCall {
    QString busyText;
    QString failureLead;
    QWidget* warnParent = nullptr;
    QLatin1String recordKey = QLatin1String();
};

// One blocking Agent call under the busy text. Gives the reply when the call succeeded; when it
// failed, warns with the lead followed by the failure's text once the overlay is down and gives nothing.
std::optional<QJsonObject> callAgent(Shell& shell, const BusyCall& call, const Node& node,
                                     const QString& method, const QString& path,
                                     const QJsonObject& body = QJsonObject());

} // namespace shell
