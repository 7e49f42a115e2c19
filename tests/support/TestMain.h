#pragma once

#include "TestHome.h"
#include "TimingReset.h"

#include <QtTest>

// Test entry points that isolate the home directory before the application object exists and put every
// folder's durations back to their defaults before each test function (TimingReset.h).
#define ONDIVO_TEST_MAIN_CORE(TestObject)                                                                    \
    int main(int argc, char** argv) {                                                                        \
        testsupport::isolateHome();                                                                          \
        QCoreApplication app(argc, argv);                                                                    \
        testsupport::TimingResetTest<TestObject> tc;                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

#define ONDIVO_TEST_MAIN_GUI(TestObject)                                                                     \
    int main(int argc, char** argv) {                                                                        \
        testsupport::isolateHome();                                                                          \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QApplication app(argc, argv);                                                                        \
        testsupport::TimingResetTest<TestObject> tc;                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
