#pragma once

#include <QString>

namespace updater {

// The folder inside the target where the installed files wait while the new ones are copied in. It
// sits on the target's own volume, so moving into it is a rename: on Windows the only change a running
// program's file or a loaded library allows.
inline constexpr char kReplacedFolder[] = ".ondivo-replaced";

QString replacedFolder(const QString& target);

// Moves every entry of target except the replaced folder into that folder (created here). When one
// cannot move, those already moved go back and error receives "无法移开旧文件: " + its path.
bool moveEntriesAside(const QString& target, QString* error);

// Undoes moveEntriesAside after a failed install: removes what was copied into target and moves the
// old entries back, then removes the emptied folder. False when an entry could not return.
bool restoreEntries(const QString& target);

} // namespace updater
