#include "streaming/AgentReply.h"

#include "ui/Dialogs.h"

namespace streaming {

bool warnIfFailed(QWidget* parent, const QString& lead, int status, const QJsonObject& reply) {
    if (!isFailedReply(status, reply))
        return false;
    ui::warning(parent, lead + failureText(reply, status));
    return true;
}

} // namespace streaming
