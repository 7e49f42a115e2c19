#pragma once

#include <QList>
#include <QStringList>
#include <QTableWidget>

// What a page's record table looks like: one row per record, whole rows selected, cells read-only, the
// page's own context menu.
struct RecordTableShape {
    QString objectName; // keys the remembered column widths ("columns/<objectName>")
    QStringList headers;
    int firstColumnWidth = 120;
    QList<int> percentages; // one per column after the first
    QAbstractItemView::SelectionMode selection = QAbstractItemView::SingleSelection;
    bool rowNumbers = true; // the vertical header with the row numbers
};

// A table whose first column is capped at a pixel width and whose other columns share the rest of the
// viewport by percentages, recomputed on every resize. Once the user drags a column border the table
// shares the viewport by the user's proportions instead; those are kept in the settings under
// "columns/<objectName>" (when the table has an object name) and come back at the next start. The
// header's context menu returns to the percentages. Elided cells show their full text as a tooltip.
class PercentTableWidget : public QTableWidget {
public:
    explicit PercentTableWidget(QWidget* parent = nullptr);
    PercentTableWidget(int rows, int columns, QWidget* parent = nullptr);
    // A record table of this shape, without rows.
    explicit PercentTableWidget(const RecordTableShape& shape, QWidget* parent = nullptr);

    // Sets the table up as a record table of this shape (columns, headers, widths, selection).
    void setUpRecords(const RecordTableShape& shape);

    // The centred, read-only item of a cell, created on first use; nullptr outside the table.
    QTableWidgetItem* cellItem(int row, int column);
    // Writes a centred, read-only cell and returns its item (nullptr outside the table). A cell that
    // already shows the text and carries nothing more is left alone, so a poll repaints only what moved;
    // one that carries more (a bar, an icon, a font) gets a plain item. Cells get no tooltip of their
    // own: an elided one shows its full text on hover.
    QTableWidgetItem* setCellText(int row, int column, const QString& text);

    // Sets the default widths and applies them (or the user's proportions) at once.
    void setColumnWidths(int firstColumnWidth, const QList<int>& percentages);
    int firstColumnWidth() const { return firstColumnWidth_; }
    const QList<int>& percentages() const { return percentages_; }

    // The proportions the user dragged, empty while the defaults apply.
    const QList<int>& userProportions() const { return userProportions_; }
    // Forgets the user's proportions (here and in the settings) and applies the defaults.
    void restoreDefaultWidths();

    // The text a cell's tooltip shows: the full text when it does not fit its column, else empty.
    QString elidedCellText(int row, int column) const;
    // What Enter on the table does: the current row's double-click, when it is a visible row.
    void activateCurrentRow();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setUp();
    void distributeWidths();
    void applyWidths(const QList<int>& widths);
    void onSectionDragged(int column, int oldWidth, int newWidth);
    void loadUserProportions();
    QByteArray settingsKey() const;

    int firstColumnWidth_ = 120;
    QList<int> percentages_;
    QList<int> userProportions_;
    QString loadedFor_; // the object name and column count the proportions were read for
    bool applying_ = false;
};

// Holds a table's painting back while it is filled, so the fill costs one repaint, not one per cell;
// sorting stays off meanwhile (rows would move while they are written).
class TableFill {
public:
    explicit TableFill(QTableWidget* table);
    ~TableFill();
    TableFill(const TableFill&) = delete;
    TableFill& operator=(const TableFill&) = delete;

private:
    QTableWidget* table_;
    bool updates_;
    bool sorting_;
};
