#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// A release's change log as the Cloud API describes it, for the Agent and for the client.
namespace releases {

// An update log: a title and a tree of entries.
struct ChangelogItem {
    QString title;
    QList<ChangelogItem> children;
};
struct Changelog {
    QString title;
    QList<ChangelogItem> items;
};
// Missing members take defaults; an empty title becomes fallbackTitle.
Changelog parseChangelog(const QJsonObject& object, const QString& fallbackTitle);
inline constexpr char kAgentChangelogTitle[] = "Agent 更新日志";
inline constexpr char kEmptyChangelogEntry[] = "暂无更新日志";

} // namespace releases
