#pragma once

#include "history/HistoryRecords.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QPushButton;
class QTableWidget;

namespace shell {
class Shell;
}

namespace history {

class FleetHistory;

// The event list ("事件"): time, Node and text of the newest events, newest first, unread ones in bold;
// a filter by Node; "全部标为已读". Choosing an event goes to its Node row or room.
class EventList : public QWidget {
public:
    EventList(shell::Shell& shell, FleetHistory& fleet, std::function<void(const Event&)> open,
              QWidget* parent = nullptr);

    // Reads the events again (after new ones arrived, or when shown).
    void reload();
    void showEvents(const QList<Event>& events);
    void markAllRead();

    QTableWidget* table() const { return table_; }
    QComboBox* nodeFilter() const { return filter_; }
    // Runs after "全部标为已读".
    void setAfterRead(std::function<void()> callback) { afterRead_ = std::move(callback); }
    // The events shown, in table order.
    const QList<Event>& shown() const { return shown_; }

private:
    void rebuildFilter();

    shell::Shell& shell_;
    FleetHistory& fleet_;
    std::function<void(const Event&)> open_;
    std::function<void()> afterRead_;
    QComboBox* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QList<Event> all_;
    QList<Event> shown_;
};

// A Node's label for an event: its label in the list now, else its id (a deleted Node).
QString eventNodeLabel(shell::Shell& shell, const QString& nodeId);

} // namespace history
