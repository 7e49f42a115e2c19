#include "widgets/PercentTableWidget.h"

#include "app/Settings.h"
#include "ui/PlainText.h"
#include "widgets/ColumnWidthRules.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>
#include <algorithm>

PercentTableWidget::PercentTableWidget(QWidget* parent) : QTableWidget(parent) {
    setUp();
}

PercentTableWidget::PercentTableWidget(int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent) {
    setUp();
}

PercentTableWidget::PercentTableWidget(const RecordTableShape& shape, QWidget* parent)
    : QTableWidget(parent) {
    setUp();
    setUpRecords(shape);
}

void PercentTableWidget::setUpRecords(const RecordTableShape& shape) {
    setObjectName(shape.objectName);
    setColumnCount(int(shape.headers.size()));
    setHorizontalHeaderLabels(shape.headers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(shape.selection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->setVisible(shape.rowNumbers);
    setColumnWidths(shape.firstColumnWidth, shape.percentages);
}

namespace {

QTableWidgetItem* plainItem(const QString& text) {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    cell->setTextAlignment(Qt::AlignCenter);
    return cell;
}

} // namespace

QTableWidgetItem* PercentTableWidget::cellItem(int row, int column) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = plainItem(QString());
        setItem(row, column, cell);
    }
    return cell;
}

QTableWidgetItem* PercentTableWidget::setCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    if (cellWidget(row, column))
        removeCellWidget(row, column);
    if (QTableWidgetItem* current = item(row, column); current && current->text() == text) {
        // What a plain cell holds: its text and its alignment.
        const QList<int> roles = model()->itemData(model()->index(row, column)).keys();
        if (std::all_of(roles.begin(), roles.end(),
                        [](int role) { return role == Qt::DisplayRole || role == Qt::TextAlignmentRole; }))
            return current;
    }
    QTableWidgetItem* cell = plainItem(text);
    setItem(row, column, cell); // deletes the item it replaces
    return cell;
}

void PercentTableWidget::setUp() {
    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int oldWidth, int newWidth) {
        if (!applying_)
            onSectionDragged(column, oldWidth, newWidth);
    });
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& pos) {
        QMenu menu(this);
        QAction* reset =
            menu.addAction(QStringLiteral("恢复默认列宽"), this, [this] { restoreDefaultWidths(); });
        reset->setEnabled(!userProportions_.isEmpty());
        menu.exec(header->viewport()->mapToGlobal(pos));
    });
}

void PercentTableWidget::setColumnWidths(int firstColumnWidth, const QList<int>& percentages) {
    firstColumnWidth_ = firstColumnWidth;
    percentages_ = percentages;
    distributeWidths();
}

void PercentTableWidget::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    distributeWidths();
}

QByteArray PercentTableWidget::settingsKey() const {
    return QByteArrayLiteral("columns/") + objectName().toUtf8();
}

void PercentTableWidget::loadUserProportions() {
    // The object name (and at times the columns) are set after construction; the stored proportions are
    // read again whenever either has changed.
    const QString shape = objectName() + QLatin1Char('/') + QString::number(columnCount());
    if (objectName().isEmpty() || loadedFor_ == shape)
        return;
    loadedFor_ = shape;
    userProportions_ = widgets::decodeWeights(settings::readText(settingsKey().constData()), columnCount());
}

void PercentTableWidget::distributeWidths() {
    loadUserProportions();
    const int available = viewport()->width();
    QList<int> widths;
    if (userProportions_.size() == columnCount())
        widths = widgets::proportionalWidths(available, userProportions_);
    if (widths.isEmpty())
        widths = widgets::percentColumnWidths(available, firstColumnWidth_, percentages_, columnCount());
    applyWidths(widths);
}

void PercentTableWidget::applyWidths(const QList<int>& widths) {
    if (widths.isEmpty())
        return;
    applying_ = true;
    for (int column = 0; column < widths.size() && column < columnCount(); ++column)
        setColumnWidth(column, widths[column]);
    applying_ = false;
}

void PercentTableWidget::onSectionDragged(int column, int oldWidth, int newWidth) {
    if (columnCount() < 2 || column < 0 || column >= columnCount())
        return;
    // The table keeps filling its viewport: the neighbours give way instead of a scroll bar appearing.
    QList<int> current;
    for (int i = 0; i < columnCount(); ++i)
        current << columnWidth(i);
    // The header has already given the dragged column its new width; start from the old one.
    current[column] = oldWidth;
    const QList<int> widths = widgets::resizeWithinTotal(current, column, newWidth);
    applyWidths(widths);
    userProportions_ = widths;
    if (!objectName().isEmpty())
        settings::writeText(settingsKey().constData(), widgets::encodeWeights(widths));
}

void PercentTableWidget::restoreDefaultWidths() {
    userProportions_.clear();
    if (!objectName().isEmpty())
        settings::writeText(settingsKey().constData(), QString());
    distributeWidths();
}

QString PercentTableWidget::elidedCellText(int row, int column) const {
    const QModelIndex index = model()->index(row, column);
    if (!index.isValid())
        return QString();
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return QString();
    QFont font = this->font();
    const QVariant itemFont = index.data(Qt::FontRole);
    if (itemFont.isValid())
        font = itemFont.value<QFont>();
    // The item view leaves a margin of a focus frame plus one pixel on either side of the text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int room = columnWidth(column) - 2 * margin;
    return QFontMetrics(font).horizontalAdvance(text) > room ? text : QString();
}

void PercentTableWidget::activateCurrentRow() {
    const int row = currentRow();
    if (row < 0 || row >= rowCount() || isRowHidden(row))
        return;
    Q_EMIT cellDoubleClicked(row, std::max(0, currentColumn()));
}

bool PercentTableWidget::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTableWidget::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    // A tooltip the page set itself wins; otherwise an elided cell shows its whole text, literally.
    if (!index.isValid() || !index.data(Qt::ToolTipRole).toString().isEmpty())
        return QTableWidget::viewportEvent(event);
    const QString full = elidedCellText(index.row(), index.column());
    if (full.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), ui::plainToolTip(full), viewport(), visualRect(index));
    }
    return true;
}

TableFill::TableFill(QTableWidget* table)
    : table_(table), updates_(table->updatesEnabled()), sorting_(table->isSortingEnabled()) {
    table_->setSortingEnabled(false);
    table_->setUpdatesEnabled(false);
}

TableFill::~TableFill() {
    table_->setUpdatesEnabled(updates_);
    table_->setSortingEnabled(sorting_);
}
