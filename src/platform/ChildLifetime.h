#pragma once

#include <QProcess>

namespace platform { // Ties the child to this process: it ends when this process ends, however it ends. Call
                     // before start().
void tieChildToThisProcess(QProcess& process);
}
