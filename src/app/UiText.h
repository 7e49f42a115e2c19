#pragma once

#include <QString>

namespace app {

// Text of the built-in UI table; an unknown key comes back unchanged.
QString uiText(const QString& key);

} // namespace app
