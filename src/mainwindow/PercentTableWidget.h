#pragma once

#include <QList>
#include <QTableWidget>

// A table whose first column is capped at a pixel width and whose other columns share the rest of the
// viewport by percentages, recomputed on every resize.
class PercentTableWidget : public QTableWidget {
public:
    explicit PercentTableWidget(QWidget* parent = nullptr);
    PercentTableWidget(int rows, int columns, QWidget* parent = nullptr);

    // Sets the widths and applies them at once; the header sections become fixed.
    void setColumnWidths(int firstColumnWidth, const QList<int>& percentages);
    int firstColumnWidth() const { return firstColumnWidth_; }
    const QList<int>& percentages() const { return percentages_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void distributeWidths();

    int firstColumnWidth_ = 120;
    QList<int> percentages_;
};
