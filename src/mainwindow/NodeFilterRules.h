#pragma once

#include "model/Node.h"

#include <QString>

// The nodes page's text filter, without widgets.
namespace mainwindow {

// Whether the Node's label, address, server name or last reported Agent version contains the text,
// ignoring case and the blanks around it; an empty text matches every Node.
bool nodeMatchesFilter(const Node& node, const QString& text);

// The status line while a filter is set: "显示 N / M 个节点".
QString filteredStatusLine(int shown, int total);

} // namespace mainwindow
