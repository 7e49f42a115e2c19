#include "account/CloudNodeRules.h"

#include "net/RequestLayer.h"

namespace account {

bool listLoadSucceeded(int status, const QJsonObject& reply) {
    // Status 0 means no answer at all, and a body without the list (a proxy's page, a truncated
    // reply) is no answer either; taking them as an empty list would wipe the user's Nodes from view
    // without a word.
    return status > 0 && status < 300 && reply.value(QLatin1String("nodes")).isArray();
}

QStringList envelopeTexts(const QJsonArray& entries) {
    QStringList texts;
    texts.reserve(entries.size());
    for (const QJsonValue& entry : entries)
        texts << entry.toObject().value(QLatin1String("encryptedBlob")).toString();
    return texts;
}

QList<Node> nodesFromEntries(const QJsonArray& entries, const QList<std::optional<Node>>& opened) {
    QList<Node> nodes;
    for (qsizetype i = 0; i < entries.size() && i < opened.size(); ++i) {
        if (!opened[i] || opened[i]->host.isEmpty())
            continue;
        Node node = *opened[i];
        const QJsonObject entry = entries[i].toObject();
        node.id = entry.value(QLatin1String("id")).toVariant().toString();
        const QString displayName = entry.value(QLatin1String("displayName")).toString().trimmed();
        if (!displayName.isEmpty())
            node.displayName = displayName;
        // A blank sealed name would show as an empty label; the server's own name is better.
        if (node.displayName.trimmed().isEmpty())
            node.displayName = node.name;
        nodes.append(node);
    }
    return nodes;
}

std::variant<Node, QString> nodeFromImportForm(const QString& name, const QString& code) {
    const QString displayName = name.trimmed();
    if (displayName.isEmpty())
        return QStringLiteral("请输入节点名称。");
    std::optional<Node> node = parseImportCode(code.trimmed());
    if (!node)
        return QStringLiteral("剪贴板里没有有效的 Import Code。");
    node->displayName = displayName;
    return *node;
}

QJsonObject uploadBody(const QString& displayName, const QString& envelope) {
    return QJsonObject{{QStringLiteral("displayName"), displayName},
                       {QStringLiteral("encryptedBlob"), envelope}};
}

bool uploadSucceeded(int status) {
    // An upload that got no answer is not known to have arrived.
    return status > 0 && status < 300;
}

QString nodePath(const QString& id, bool force) {
    QString path = QString::fromLatin1(kNodesPath) + QLatin1Char('/') + id;
    if (force)
        path += QStringLiteral("?force=1");
    return path;
}

QString deleteConfirmation(const QStringList& labels) {
    if (labels.size() == 1)
        return QStringLiteral("确定删除节点 ") + labels.first() + QStringLiteral(" ?");
    return QStringLiteral("确定删除选中的 %1 个节点？").arg(labels.size());
}

bool isNodeInUse(int status, const QJsonObject& reply) {
    return status == 409 && reply.value(QLatin1String("code")).toString() == QLatin1String("NODE_IN_USE");
}

QString nodeInUseQuestion(const QString& label, const QJsonObject& reply) {
    QStringList names;
    for (const QJsonValue& room : reply.value(QLatin1String("rooms")).toArray()) {
        const QString name = room.toObject().value(QLatin1String("name")).toString().trimmed();
        if (!name.isEmpty())
            names << name;
    }
    const QJsonValue countValue = reply.value(QLatin1String("roomCount"));
    const int roomCount = countValue.isDouble() ? countValue.toInt() : int(names.size());

    QString text = QStringLiteral("节点 %1 正在被 %2 个直播房间使用。\n\n删除节点后，这些房间会解除节点绑定，"
                                  "正在推流或重试中的房间会标记为异常。")
                       .arg(label, QString::number(roomCount));
    if (!names.isEmpty()) {
        text += QStringLiteral("\n\n关联房间:\n") + names.join(QLatin1Char('\n'));
        if (names.size() < roomCount)
            text += QStringLiteral("\n...还有 %1 个").arg(roomCount - names.size());
    }
    text += QStringLiteral("\n\n是否继续删除？");
    return text;
}

QString cancelledDeletionLine(const QString& label) {
    return label + QStringLiteral(": 已取消删除");
}

std::optional<QString> deletionFailureLine(const QString& label, int status, const QJsonObject& reply) {
    if (status > 0 && status < 300)
        return std::nullopt;
    QString reason = net::replyErrorText(reply);
    if (reason.isEmpty())
        reason = status > 0 ? QStringLiteral("HTTP %1").arg(status) : QStringLiteral("请求失败");
    return label + QStringLiteral(": ") + reason;
}

QString deletionFailureMessage(const QStringList& lines) {
    return QStringLiteral("删除节点失败:\n\n") + lines.join(QLatin1Char('\n'));
}

QString statusLine(const QString& account, int nodeCount) {
    return QStringLiteral("已登录 %1    云端节点: %2").arg(account, QString::number(nodeCount));
}

QString signedInLine(const QString& account) {
    return QStringLiteral("已登录 %1").arg(account);
}

} // namespace account
