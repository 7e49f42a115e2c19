#pragma once

#include "model/Node.h"
#include "net/RequestResult.h"

#include <QJsonObject>
#include <QLatin1String>
#include <QString>
#include <optional>

class QWidget;

namespace shell {

class Shell;

// Keeps the window busy for one blocking action; the status line reads the end text afterwards
// (empty unless given here or by finish()).
class BusyScope {
public:
    BusyScope(Shell& shell, const QString& text, const QString& endText = QString());
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    void finish(const QString& endText) { endText_ = endText; }

private:
    Shell& shell_;
    QString endText_;
};

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
