#include "shell/BusyScope.h"

#include "shell/Shell.h"

namespace shell {

BusyScope::BusyScope(Shell& shell, const QString& text, const QString& endText)
    : shell_(shell), endText_(endText) {
    shell_.setBusy(text, true);
}

BusyScope::~BusyScope() {
    shell_.setBusy(endText_, false);
}

} // namespace shell
