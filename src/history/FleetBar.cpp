#include "history/FleetBar.h"

#include "app/TextFormats.h"
#include "history/EventList.h"
#include "history/FleetHistory.h"
#include "history/NoticeSettings.h"
#include "shell/Shell.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSet>
#include <QSystemTrayIcon>

namespace history {
namespace {

QIcon bellIcon(bool unread) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x4a, 0x4a, 0x4a), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath bell;
    bell.moveTo(8, 23);
    bell.lineTo(24, 23);
    bell.cubicTo(21, 20, 22, 16, 22, 13);
    bell.cubicTo(22, 6, 10, 6, 10, 13);
    bell.cubicTo(10, 16, 11, 20, 8, 23);
    painter.drawPath(bell);
    painter.drawLine(QPointF(14, 27), QPointF(18, 27));
    if (unread) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xd9, 0x30, 0x25));
        painter.drawEllipse(QPointF(24, 8), 5, 5);
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QString fleetSummaryText(int online, int total, double rxRate, double txRate, int pushing) {
    return QStringLiteral("在线 %1/%2   ↓ %3 ↑ %4   推流 %5")
        .arg(online)
        .arg(total)
        .arg(fmt::nodeRate(rxRate), fmt::nodeRate(txRate))
        .arg(pushing);
}

FleetBar::FleetBar(shell::Shell& shell, FleetHistory& fleet, std::function<void(const Event&)> open,
                   QWidget* parent)
    : QWidget(parent), shell_(shell), fleet_(fleet), open_(std::move(open)) {
    setObjectName(QStringLiteral("fleetBar"));
    summary_ = new QLabel;
    summary_->setObjectName(QStringLiteral("fleetSummary"));
    summary_->setTextFormat(Qt::PlainText);
    summary_->setStyleSheet(QStringLiteral("QLabel { color: #303030; font-size: 13px; padding: 0 8px; }"));
    bell_ = new QPushButton(QStringLiteral("事件"));
    bell_->setObjectName(QStringLiteral("eventBell"));
    bell_->setIcon(bellIcon(false));
    bell_->setIconSize(QSize(18, 18));
    bell_->setToolTip(QStringLiteral("事件列表"));
    bell_->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: 4px; padding: 3px 8px; "
                                        "font-size: 13px; } QPushButton:hover { background: #e8e8e8; }"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(summary_);
    layout->addWidget(bell_);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(bellIcon(false), this);
        tray_->setToolTip(QStringLiteral("Ondivo"));
        tray_->show();
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] { openEventList(); });
    }
    connect(bell_, &QPushButton::clicked, this, [this] { openEventList(); });
    fleet_.whenEvents(this, [this](const QList<Event>& events) { onEvents(events); });
    fleet_.whenChanged(this, [this] { refreshSummary(); });
    shell_.whenNodesLoaded(this, [this] { refreshSummary(); });
    refreshSummary();
    refreshUnread();
}

void FleetBar::refreshSummary() {
    QSet<QString> ids;
    for (const Node& node : shell_.nodes())
        ids.insert(node.id);
    const FleetSummary summary = fleet_.summary(ids);
    summary_->setText(
        fleetSummaryText(summary.online, int(ids.size()), summary.rxRate, summary.txRate, summary.pushing));
}

void FleetBar::refreshUnread() {
    fleet_.queryEvents(0, this, [this](const QList<Event>&, int unread) { showUnread(unread); });
}

void FleetBar::showUnread(int unread) {
    unread_ = unread;
    bell_->setText(unread > 0 ? QStringLiteral("事件 %1").arg(unread) : QStringLiteral("事件"));
    bell_->setIcon(bellIcon(unread > 0));
}

void FleetBar::onEvents(const QList<Event>& events) {
    refreshUnread();
    const QWidget* main = window();
    if (!tray_ || (main && main->isActiveWindow()))
        return;
    for (const Event& event : events) {
        if (!noticeEnabled(event.kind))
            continue;
        tray_->showMessage(eventNodeLabel(shell_, event.nodeId), event.text, QSystemTrayIcon::Warning);
    }
}

EventList* FleetBar::eventList() const {
    return list_.data();
}

void FleetBar::openEventList() {
    if (!list_) {
        list_ = new EventList(shell_, fleet_, open_);
        list_->setAttribute(Qt::WA_DeleteOnClose);
        list_->setAfterRead([this] { refreshUnread(); });
        shell_.adoptWindow(list_);
    }
    list_->show();
    list_->raise();
    list_->activateWindow();
}

} // namespace history
