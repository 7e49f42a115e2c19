#include "releases/Changelog.h"

#include <QJsonArray>

namespace releases {

namespace {

// Deeper change logs are cut off rather than walked without end.
constexpr int kMaxChangelogDepth = 32;

QList<ChangelogItem> parseItems(const QJsonArray& array, int depth) {
    QList<ChangelogItem> items;
    if (depth > kMaxChangelogDepth)
        return items;
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        items << ChangelogItem{object.value(QLatin1String("title")).toString(),
                               parseItems(object.value(QLatin1String("children")).toArray(), depth + 1)};
    }
    return items;
}

} // namespace

Changelog parseChangelog(const QJsonObject& object, const QString& fallbackTitle) {
    Changelog log;
    log.title = object.value(QLatin1String("title")).toString().trimmed();
    if (log.title.isEmpty())
        log.title = fallbackTitle;
    log.items = parseItems(object.value(QLatin1String("items")).toArray(), 0);
    return log;
}

} // namespace releases
