#include "app/AppConstants.h"

#include <QByteArray>

namespace app {

QString cloudApiBaseUrl() {
    QString url = QString::fromUtf8(qgetenv(kCloudApiUrlVariable)).trimmed();
    if (url.isEmpty())
        url = QString::fromLatin1(kDefaultCloudApiBaseUrl);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

} // namespace app
