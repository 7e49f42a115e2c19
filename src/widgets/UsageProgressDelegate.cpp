#include "widgets/UsageProgressDelegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

void UsageProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QVariant percentData = index.data(widgets::kUsagePercentRole);
    const double percent = percentData.isValid() ? percentData.toDouble() : -1;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (percent < 0 || text.isEmpty() || text == QLatin1String("--")) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }

    QStyleOptionViewItem itemOption = option;
    initStyleOption(&itemOption, index);
    itemOption.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &itemOption, painter, widget);

    const widgets::UsageBarShape shape = widgets::usageBarShape(option.rect);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QColor track =
        selected ? QColor(255, 255, 255, 120) : QColor(QLatin1String(widgets::kUsageTrackColor));

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(track);
    painter->drawRoundedRect(shape.bar, shape.radius, shape.radius);
    QRect fill = shape.bar;
    fill.setWidth(widgets::usageFillWidth(shape.bar.width(), percent));
    painter->setBrush(QColor(widgets::usageFillColor(percent)));
    painter->drawRoundedRect(fill, shape.radius, shape.radius);
    painter->setRenderHint(QPainter::Antialiasing, false);

    // In a narrow column the figures would be cut at both ends; cutting the front keeps the percentage.
    const QRect textRect = option.rect.adjusted(4, 0, -4, 0);
    const QString shown = option.fontMetrics.elidedText(text, Qt::ElideLeft, textRect.width());
    painter->setPen(QColor(QLatin1String(widgets::kUsageTextColor)));
    painter->drawText(textRect, Qt::AlignCenter, shown);
    painter->restore();
}
