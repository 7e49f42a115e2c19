#include "TimingReset.h"

#include "account/AccountTiming.h"
#include "console/ConsoleTiming.h"
#include "files/FilesTiming.h"
#include "fleet/FleetTiming.h"
#include "history/HistoryTiming.h"
#include "mainwindow/MainWindowTiming.h"
#include "net/RequestTiming.h"
#include "proxy/ProxyTiming.h"
#include "settings/SettingsTiming.h"
#include "streaming/StreamingTiming.h"
#include "updater/UpdaterTiming.h"

namespace testsupport {

void resetTimings() {
    account::timing = {};
    console::timing = {};
    files::timing = {};
    fleet::timing = {};
    history::timing = {};
    mainwindow::timing = {};
    net::timing = {};
    proxy::timing = {};
    settings::timing = {};
    streaming::timing = {};
    updater::timing = {};
}

bool startsTestFunction(const QMetaObject& meta, const QMetaMethod& method) {
    if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private ||
        method.parameterCount() != 0)
        return false;
    const QByteArray name = method.name();
    if (name == "init")
        return true;
    if (name == "initTestCase" || name == "cleanupTestCase" || name == "cleanup" || name.endsWith("_data"))
        return false;
    return meta.indexOfMethod("init()") < 0;
}

} // namespace testsupport
