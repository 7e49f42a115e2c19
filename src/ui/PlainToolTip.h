#pragma once

#include <QString>

namespace ui {

// A tooltip that shows text exactly as written. Tooltips guess rich text from what they are given, so a
// server's "<b>x</b>" would be drawn bold; escaped inside a paragraph that keeps blanks and line breaks,
// it is shown literally.
inline QString plainToolTip(const QString& text) {
    if (text.isEmpty())
        return text;
    return QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(text.toHtmlEscaped());
}

} // namespace ui
