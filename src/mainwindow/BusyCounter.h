#pragma once

// The counted busy state of the main window: nested on/off pairs keep the window busy until the
// outermost off. Tells the window what to do with its overlay on each call.
class BusyCounter {
public:
    enum class Change {
        Started,  // first on: show the overlay, set the wait cursor
        Retitled, // nested on, or an off that leaves the window busy: show the new text
        Ended,    // last off: hide the overlay, restore the cursor
        None      // off while idle: only the status text changes
    };

    Change turnOn() { return count_++ == 0 ? Change::Started : Change::Retitled; }
    Change turnOff() {
        if (count_ == 0)
            return Change::None;
        return --count_ == 0 ? Change::Ended : Change::Retitled;
    }
    int count() const { return count_; }

private:
    int count_ = 0;
};
