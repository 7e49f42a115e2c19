#pragma once

#include "history/HistoryRecords.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QSystemTrayIcon;

namespace shell {
class Shell;
}

namespace history {

class EventList;
class FleetHistory;

// The fleet at a glance in the top bar: "在线 N/M", the summed "↓ … ↑ …" rates and the running pushes,
// and the bell "事件" with the unread count that opens the event list. While the main window is not the
// active one, every new event of a kind the user left switched on is also a tray notice (where the
// desktop has a tray).
class FleetBar : public QWidget {
public:
    FleetBar(shell::Shell& shell, FleetHistory& fleet, std::function<void(const Event&)> open,
             QWidget* parent = nullptr);

    void refreshSummary();
    void refreshUnread();
    void openEventList();

    QLabel* summaryLabel() const { return summary_; }
    QPushButton* bellButton() const { return bell_; }
    // The event list while it is open.
    EventList* eventList() const;
    int unread() const { return unread_; }

private:
    void onEvents(const QList<Event>& events);
    void showUnread(int unread);

    shell::Shell& shell_;
    FleetHistory& fleet_;
    std::function<void(const Event&)> open_;
    QLabel* summary_ = nullptr;
    QPushButton* bell_ = nullptr;
    QPointer<EventList> list_;
    QSystemTrayIcon* tray_ = nullptr;
    int unread_ = 0;
};

// The summary text: "在线 2/5   ↓ 1.2 MB/s ↑ 300 KB/s   推流 1".
QString fleetSummaryText(int online, int total, double rxRate, double txRate, int pushing);

} // namespace history
