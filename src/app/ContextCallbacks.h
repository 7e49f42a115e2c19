#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

namespace app {

// Callbacks that others register "for as long as this object lives" (a page asking to hear about every
// Node list load, say). A callback whose object is gone is dropped, never run, so the object needs no
// unregistering when it dies; one that dies while the list runs (deleted by an earlier callback) is
// skipped as well. A callback added while the list runs first runs the next time.
template <typename... Args> class ContextCallbacks {
public:
    using Callback = std::function<void(Args...)>;

    void add(QObject* context, Callback callback) {
        if (context && callback)
            entries_.append({QPointer<QObject>(context), std::move(callback)});
    }

    void run(Args... args) {
        drop();
        // The callbacks may add to the list (or delete contexts) while it runs; walk what stood at the start.
        const auto entries = entries_;
        for (const Entry& entry : entries) {
            if (entry.context)
                entry.callback(args...);
        }
        drop();
    }

    // How many callbacks still have a living context.
    int size() const {
        int living = 0;
        for (const Entry& entry : entries_)
            living += entry.context ? 1 : 0;
        return living;
    }

private:
    struct Entry {
        QPointer<QObject> context;
        Callback callback;
    };

    void drop() {
        entries_.removeIf([](const Entry& entry) { return entry.context.isNull(); });
    }

    QList<Entry> entries_;
};

} // namespace app
