#pragma once

#include <QString>

namespace shell {

class Shell;

// Keeps the window busy for one blocking action; the status line reads the end text afterwards
// (empty unless given here or by finish()).
class BusyScope {
public:
    BusyScope(Shell& shell, const QString& text, const QString& endText = QString());
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    void finish(const QString& endText) { endText_ = endText; }

private:
    Shell& shell_;
    QString endText_;
};

} // namespace shell
