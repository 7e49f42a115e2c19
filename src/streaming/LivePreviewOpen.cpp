#include "streaming/LivePreviewLink.h"

#include "ui/Dialogs.h"

#include <QDesktopServices>

namespace live {

bool openPreviewLink(QWidget* parent, const QString& text) {
    const QUrl url = webUrl(text);
    if (!url.isValid()) {
        ui::warning(parent, QStringLiteral("只能打开 http 或 https 预览地址：") + text);
        return false;
    }
    return QDesktopServices::openUrl(url);
}

} // namespace live
