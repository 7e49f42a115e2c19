#pragma once

#include <QString>

namespace ui {

// A tooltip that shows text from a server, a Node record or a file literally. Tooltips have no text
// format of their own: the toolkit renders anything that looks like markup as rich text (and rich text
// loads images, even from /dev/zero). Text that could be taken for markup is escaped and wrapped so it
// reads exactly as given, line breaks and spaces included; other text is returned as it is.
QString plainToolTip(const QString& text);

} // namespace ui
