#pragma once

#include <QJsonObject>
#include <QString>

class QWidget;

// How the streaming pages read an Agent's reply to a room request.
namespace streaming {

// A reply that did not succeed: no answer (status 0), status 300 or more, or an "error" member.
bool isFailedReply(int status, const QJsonObject& reply);
// The reply's "error" when it is text, else "HTTP <status>".
QString failureText(const QJsonObject& reply, int status);

// When the reply failed, warns with lead (e.g. "保存房间失败: ") followed by failureText and returns true.
bool warnIfFailed(QWidget* parent, const QString& lead, int status, const QJsonObject& reply);

} // namespace streaming
