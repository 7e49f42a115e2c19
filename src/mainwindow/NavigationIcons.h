#pragma once

#include <QIcon>

// The navigation buttons' icons, drawn at run time: one simple line figure per page index (0 to 6).
QIcon navigationIcon(int pageIndex);
