#include "history/HistoryWindow.h"

#include "history/FleetHistory.h"
#include "history/HistoryChart.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace history {

HistoryWindow::HistoryWindow(FleetHistory& fleet, const QString& nodeId, const QString& label,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), fleet_(fleet), nodeId_(nodeId) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("节点历史 - ") + label);
    resize(980, 640);

    rangeBox_ = new QComboBox;
    rangeBox_->setObjectName(QStringLiteral("historyRange"));
    rangeBox_->addItem(QStringLiteral("最近 1 小时"), int(Range::Hour));
    rangeBox_->addItem(QStringLiteral("最近 24 小时"), int(Range::Day));
    rangeBox_->addItem(QStringLiteral("最近 14 天"), int(Range::TwoWeeks));
    stateLabel_ = new QLabel;
    stateLabel_->setTextFormat(Qt::PlainText);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("时间范围")));
    top->addWidget(rangeBox_);
    top->addWidget(stateLabel_);
    top->addStretch(1);

    charts_ = {new HistoryChart(QStringLiteral("CPU"), {Cpu}, true),
               new HistoryChart(QStringLiteral("内存"), {Memory}, true),
               new HistoryChart(QStringLiteral("磁盘"), {Disk}, true),
               new HistoryChart(QStringLiteral("网络"), {RxRate, TxRate}, false)};
    auto* grid = new QGridLayout;
    grid->setSpacing(6);
    for (int i = 0; i < charts_.size(); ++i) {
        grid->addWidget(charts_[i], i / 2, i % 2);
        charts_[i]->setHoverHandler([this](const QString& text) {
            hoverLabel_->setText(text.isEmpty() ? QStringLiteral("将鼠标移到图上查看数值") : text);
        });
    }
    hoverLabel_ = new QLabel(QStringLiteral("将鼠标移到图上查看数值"));
    hoverLabel_->setObjectName(QStringLiteral("historyHover"));
    hoverLabel_->setTextFormat(Qt::PlainText);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid, 1);
    layout->addWidget(hoverLabel_);

    connect(rangeBox_, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    reload();
}

void HistoryWindow::reload() {
    const int generation = ++generation_;
    stateLabel_->setText(QStringLiteral("读取中..."));
    fleet_.querySeries(nodeId_, Range(rangeBox_->currentData().toInt()), this,
                       [this, generation](const Series& series) {
                           if (generation == generation_)
                               showSeries(series);
                       });
}

void HistoryWindow::showSeries(const Series& series) {
    for (HistoryChart* chart : charts_)
        chart->setSeries(series);
    stateLabel_->setText(series.points.isEmpty() ? QStringLiteral("这段时间还没有记录") : QString());
    loaded_ = true;
}

} // namespace history
