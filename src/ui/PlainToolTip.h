#pragma once

#include <QString>

namespace ui {

// A tooltip that shows text literally. Qt renders a tooltip as rich text whenever it looks like markup,
// so a Node label or an Agent's text such as "<img src='/dev/zero'>" would otherwise be rendered (and
// fetched); the text is escaped inside a paragraph that keeps its blanks and line breaks. Empty text
// gives no tooltip.
QString plainToolTip(const QString& text);

} // namespace ui
