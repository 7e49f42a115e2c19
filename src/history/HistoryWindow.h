#pragma once

#include "history/HistoryRecords.h"

#include <QWidget>

class QComboBox;
class QLabel;

namespace history {

class FleetHistory;
class HistoryChart;

// "节点历史 - <label>": CPU, memory, disk and network of one Node over the last hour, day or two weeks,
// with the spans in which it did not answer shaded and the value under the mouse told below.
class HistoryWindow : public QWidget {
public:
    HistoryWindow(FleetHistory& fleet, const QString& nodeId, const QString& label,
                  QWidget* parent = nullptr);

    // Reads the chosen range again and redraws.
    void reload();
    void showSeries(const Series& series);

    QComboBox* rangeBox() const { return rangeBox_; }
    QLabel* hoverLabel() const { return hoverLabel_; }
    // True once the first reply was drawn.
    bool loaded() const { return loaded_; }

private:
    FleetHistory& fleet_;
    QString nodeId_;
    QComboBox* rangeBox_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QLabel* hoverLabel_ = nullptr;
    QList<HistoryChart*> charts_;
    bool loaded_ = false;
    int generation_ = 0; // a reply for a range chosen before the last choice is dropped
};

} // namespace history
