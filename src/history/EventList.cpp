#include "history/EventList.h"

#include "app/TextFormats.h"
#include "history/FleetHistory.h"
#include "shell/Shell.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace history {
namespace {

constexpr int kEventsShown = 500;

QTableWidgetItem* plainItem(const QString& text, bool bold) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (bold) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
    return item;
}

} // namespace

QString eventNodeLabel(shell::Shell& shell, const QString& nodeId) {
    const Node* node = shell.nodeById(nodeId);
    return node ? nodeLabel(*node) : nodeId;
}

EventList::EventList(shell::Shell& shell, FleetHistory& fleet, std::function<void(const Event&)> open,
                     QWidget* parent)
    : QWidget(parent, Qt::Window), shell_(shell), fleet_(fleet), open_(std::move(open)) {
    setObjectName(QStringLiteral("eventList"));
    setWindowTitle(QStringLiteral("事件"));
    resize(720, 460);
    filter_ = new QComboBox;
    filter_->setObjectName(QStringLiteral("eventNodeFilter"));
    readButton_ = new QPushButton(QStringLiteral("全部标为已读"));
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("节点")));
    top->addWidget(filter_);
    top->addStretch(1);
    top->addWidget(readButton_);

    table_ = new QTableWidget(0, 3);
    table_->setObjectName(QStringLiteral("eventTable"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("节点"), QStringLiteral("事件")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);

    connect(readButton_, &QPushButton::clicked, this, [this] { markAllRead(); });
    connect(filter_, &QComboBox::currentIndexChanged, this, [this] { showEvents(all_); });
    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (row >= 0 && row < shown_.size() && open_)
            open_(shown_[row]);
    });
    fleet_.whenEvents(this, [this](const QList<Event>&) { reload(); });
    shell_.whenNodesLoaded(this, [this] { showEvents(all_); });
    reload();
}

void EventList::reload() {
    fleet_.queryEvents(kEventsShown, this, [this](const QList<Event>& events, int) { showEvents(events); });
}

void EventList::rebuildFilter() {
    const QString selected = filter_->currentData().toString();
    const QSignalBlocker block(filter_);
    filter_->clear();
    filter_->addItem(QStringLiteral("全部节点"), QString());
    QStringList ids;
    for (const Node& node : shell_.nodes()) {
        filter_->addItem(nodeLabel(node), node.id);
        ids << node.id;
    }
    // Deleted Nodes' events are gone with them; a Node of an event not (yet) in the list keeps its id.
    for (const Event& event : std::as_const(all_)) {
        if (!ids.contains(event.nodeId)) {
            filter_->addItem(event.nodeId, event.nodeId);
            ids << event.nodeId;
        }
    }
    const int index = filter_->findData(selected);
    filter_->setCurrentIndex(index < 0 ? 0 : index);
}

void EventList::showEvents(const QList<Event>& events) {
    all_ = events;
    rebuildFilter();
    const QString nodeId = filter_->currentData().toString();
    shown_.clear();
    for (const Event& event : events) {
        if (nodeId.isEmpty() || event.nodeId == nodeId)
            shown_.append(event);
    }
    table_->setRowCount(int(shown_.size()));
    for (int row = 0; row < shown_.size(); ++row) {
        const Event& event = shown_[row];
        table_->setItem(row, 0, plainItem(fmt::formatEpochMs(event.timeMs), !event.read));
        table_->setItem(row, 1, plainItem(eventNodeLabel(shell_, event.nodeId), !event.read));
        table_->setItem(row, 2, plainItem(event.text, !event.read));
    }
}

void EventList::markAllRead() {
    fleet_.markAllRead();
    for (Event& event : all_)
        event.read = true;
    showEvents(all_);
    reload();
    if (afterRead_)
        afterRead_();
}

} // namespace history
