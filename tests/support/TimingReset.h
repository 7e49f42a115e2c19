#pragma once

#include <QMetaMethod>
#include <QMetaObject>
#include <QObject>

namespace testsupport {

// Puts the durations of every folder (its `timing` struct) back to their defaults.
void resetTimings();

// True when QtTest invoking `method` of a test class starts a test function (once per data row): its
// init() when the class has one, else the test function itself.
bool startsTestFunction(const QMetaObject& meta, const QMetaMethod& method);

// A test object whose durations are back at their defaults whenever a test function starts, so a
// duration one test function shortened (and forgot to restore) never reaches the next one, and one
// shortened in initTestCase() does not outlive it. QtTest calls the slots of a test object through its
// meta-object's static call function; this class answers metaObject() with a copy whose call function
// resets the durations first. Every test entry point (TestMain.h) runs its test object this way.
template <typename TestObject> class TimingResetTest final : public TestObject {
public:
    const QMetaObject* metaObject() const override { return &resetting(); }

private:
    static const QMetaObject& resetting() {
        static const QMetaObject meta = [] {
            QMetaObject copy = TestObject::staticMetaObject;
            copy.d.static_metacall = &call;
            return copy;
        }();
        return meta;
    }

    static void call(QObject* object, QMetaObject::Call kind, int index, void** args) {
        const QMetaObject& meta = resetting();
        if (kind == QMetaObject::InvokeMetaMethod &&
            startsTestFunction(meta, meta.method(meta.methodOffset() + index)))
            resetTimings();
        TestObject::staticMetaObject.d.static_metacall(object, kind, index, args);
    }
};

} // namespace testsupport
