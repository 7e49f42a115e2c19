#pragma once

#include <QString>

class QWidget;

// The widget half of the preview address check (the rule itself is in PreviewLink.h).
namespace streaming {

// Whether the address is a web address; warns naming the address when it is not.
bool acceptPreviewAddress(QWidget* parent, const QString& text);
// Opens the address with the desktop's handler after that check. Returns whether it was handed on.
bool openPreviewLink(QWidget* parent, const QString& text);

} // namespace streaming
