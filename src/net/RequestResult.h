#pragma once

#include "model/Node.h"

#include <QJsonObject>
#include <QLatin1String>
#include <QString>

namespace net {

// What a blocking request came back with, and the one rule every page uses to tell a failure and
// the text it shows for it.
struct RequestResult {
    int status = 0;    // HTTP status; 0 when no answer arrived
    QJsonObject reply; // the body as a JSON object (empty when it was not one)

    // No answer, a status outside 200..299, or an "error" member in the reply.
    bool failed() const;
    // For replies that may be a record which carries an "error" of its own: a bridge (keyed by "id")
    // always has "error", "" while it is well, else its engine's runtime error; a proxy status (keyed
    // by "running") has one when its engine reports a problem. In a reply that holds recordKey the
    // member describes the record, not the request; elsewhere only a non-blank "error" is a refusal.
    bool failedUnlessRecord(QLatin1String recordKey) const;
    // describeFailure of the reply: busy rooms, the "error" text, else "请求失败" (no answer) or "HTTP n".
    QString text() const;
};

// The record keys of failedUnlessRecord.
inline constexpr QLatin1String kBridgeRecordKey("id");
inline constexpr QLatin1String kProxyRecordKey("running");

// agentRequest / agentRequestLong with their status and reply kept together.
RequestResult agentCall(const Node& node, const QString& method, const QString& path,
                        const QJsonObject& body = QJsonObject());
RequestResult agentCallLong(const Node& node, const QString& method, const QString& path,
                            const QJsonObject& body = QJsonObject());

} // namespace net
