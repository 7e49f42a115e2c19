#pragma once

#include <QString>
#include <QStringList>

namespace app {

// Where the toolkit's own Chinese catalogue ("qtbase_zh_CN") is looked for, in order: the toolkit's
// translations folder, then "translations" beside the program (a deployed client carries its own).
QStringList toolkitTranslationFolders();

// Installs the toolkit's Chinese catalogue into the running application, so the toolkit's own buttons
// ("OK", "Cancel") and choosers read in Chinese like the rest of the interface. Returns the folder it
// came from, or an empty text when none was found (the toolkit then stays in English).
QString installToolkitTranslation();

} // namespace app
