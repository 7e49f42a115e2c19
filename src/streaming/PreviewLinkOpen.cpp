#include "streaming/PreviewLinkOpen.h"

#include "streaming/PreviewLink.h"

#include "ui/Dialogs.h"

#include <QDesktopServices>

namespace streaming {

bool acceptPreviewAddress(QWidget* parent, const QString& text) {
    if (previewWebUrl(text).isValid())
        return true;
    ui::warning(parent, QStringLiteral("只能打开 http 或 https 预览地址：") + text);
    return false;
}

bool openPreviewLink(QWidget* parent, const QString& text) {
    return acceptPreviewAddress(parent, text) && QDesktopServices::openUrl(previewWebUrl(text));
}

} // namespace streaming
