#include "mainwindow/NavigationIcons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>
#include <iterator>

namespace {

constexpr int kIconSize = 36;

// Stacked servers with a status light each.
void drawNodes(QPainter& p) {
    p.drawRoundedRect(QRectF(7, 7, 22, 9), 2, 2);
    p.drawRoundedRect(QRectF(7, 20, 22, 9), 2, 2);
    p.drawPoint(QPointF(11.5, 11.5));
    p.drawPoint(QPointF(11.5, 24.5));
    p.drawLine(QPointF(17, 11.5), QPointF(25, 11.5));
    p.drawLine(QPointF(17, 24.5), QPointF(25, 24.5));
}

// A shield.
void drawProxy(QPainter& p) {
    QPainterPath shield;
    shield.moveTo(18, 5);
    shield.lineTo(29, 9);
    shield.cubicTo(29, 20, 25, 27, 18, 31);
    shield.cubicTo(11, 27, 7, 20, 7, 9);
    shield.closeSubpath();
    p.drawPath(shield);
    p.drawLine(QPointF(13.5, 18), QPointF(17, 21.5));
    p.drawLine(QPointF(17, 21.5), QPointF(23, 14.5));
}

// Two opposed arrows: traffic relayed both ways.
void drawBridge(QPainter& p) {
    p.drawLine(QPointF(7, 13), QPointF(28, 13));
    p.drawLine(QPointF(23, 8), QPointF(28, 13));
    p.drawLine(QPointF(8, 23), QPointF(29, 23));
    p.drawLine(QPointF(8, 23), QPointF(13, 28));
}

// A screen with a play mark.
void drawLive(QPainter& p) {
    p.drawRoundedRect(QRectF(5, 8, 26, 18), 3, 3);
    QPolygonF play;
    play << QPointF(15, 12.5) << QPointF(22.5, 17) << QPointF(15, 21.5);
    p.drawPolygon(play);
    p.drawLine(QPointF(12, 30), QPointF(24, 30));
}

// A broadcast point with radiating arcs.
void drawRtmp(QPainter& p) {
    p.drawEllipse(QPointF(18, 18), 2.2, 2.2);
    const QRectF inner(11, 11, 14, 14);
    const QRectF outer(5, 5, 26, 26);
    p.drawArc(inner, 35 * 16, 110 * 16);
    p.drawArc(inner, 215 * 16, 110 * 16);
    p.drawArc(outer, 35 * 16, 110 * 16);
    p.drawArc(outer, 215 * 16, 110 * 16);
}

// A folder.
void drawFiles(QPainter& p) {
    QPainterPath folder;
    folder.moveTo(5, 10);
    folder.lineTo(14, 10);
    folder.lineTo(17, 13);
    folder.lineTo(31, 13);
    folder.lineTo(31, 28);
    folder.lineTo(5, 28);
    folder.closeSubpath();
    p.drawPath(folder);
    p.drawLine(QPointF(5, 17), QPointF(31, 17));
}

// A gear: a ring with eight teeth.
void drawSettings(QPainter& p) {
    p.drawEllipse(QPointF(18, 18), 8, 8);
    p.drawEllipse(QPointF(18, 18), 3, 3);
    for (int tooth = 0; tooth < 8; ++tooth) {
        const qreal angle = qDegreesToRadians(45.0 * tooth);
        const QPointF direction(qCos(angle), qSin(angle));
        p.drawLine(QPointF(18, 18) + direction * 8, QPointF(18, 18) + direction * 12);
    }
}

} // namespace

QIcon navigationIcon(int pageIndex) {
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(QStringLiteral("#4a4a4a")), 2.2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    using Figure = void (*)(QPainter&);
    static constexpr Figure figures[] = {drawNodes, drawProxy, drawBridge,  drawLive,
                                         drawRtmp,  drawFiles, drawSettings};
    if (pageIndex >= 0 && pageIndex < int(std::size(figures)))
        figures[pageIndex](painter);
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}
