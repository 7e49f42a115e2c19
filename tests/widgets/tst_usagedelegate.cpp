#include "TestMain.h"

#include "widgets/UsageProgressDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QTableWidget>

// Paints usage cells for real and reads the pixels back.
class TestUsageDelegate : public QObject {
    Q_OBJECT

    std::unique_ptr<QTableWidget> table;

    QImage paintCell(const QString& text, const QVariant& percent, bool selected = false) {
        table->clear();
        auto* item = new QTableWidgetItem(text);
        if (percent.isValid())
            item->setData(widgets::kUsagePercentRole, percent);
        table->setItem(0, 0, item);
        table->clearSelection();
        if (selected)
            table->selectRow(0);
        return table->viewport()->grab().toImage();
    }

    QRect barRect() const { return widgets::usageBarShape(table->visualItemRect(table->item(0, 0))).bar; }

    QString colourAt(const QImage& image, int x, int y) const { return QColor(image.pixel(x, y)).name(); }

private Q_SLOTS:
    void init() {
        table = std::make_unique<QTableWidget>(1, 2);
        table->setItemDelegateForColumn(0, new UsageProgressDelegate(table.get()));
        table->horizontalHeader()->hide();
        table->verticalHeader()->hide();
        table->setColumnWidth(0, 300);
        table->setRowHeight(0, 40);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->resize(420, 100);
        table->show();
        QVERIFY(QTest::qWaitForWindowExposed(table.get()));
    }
    void cleanup() { table.reset(); }

    void fillColourAndLength_data() {
        QTest::addColumn<double>("percent");
        QTest::addColumn<QString>("fill");
        QTest::newRow("red") << 96.0 << "#d93025";
        QTest::newRow("full red bar at 100 (stored clamped)") << 100.0 << "#d93025";
        QTest::newRow("orange") << 85.0 << "#f29900";
        QTest::newRow("yellow") << 70.0 << "#f2c94c";
        QTest::newRow("green") << 50.0 << "#34a853";
        QTest::newRow("green small") << 10.0 << "#34a853";
    }
    void fillColourAndLength() {
        QFETCH(double, percent);
        QFETCH(QString, fill);
        const QImage image = paintCell(QStringLiteral("a"), percent);
        const QRect bar = barRect();
        const int y = bar.center().y();
        QCOMPARE(colourAt(image, bar.left() + 4, y), fill);
        const int fillWidth = widgets::usageFillWidth(bar.width(), percent);
        QCOMPARE(colourAt(image, bar.left() + fillWidth - 3, y), fill);
        if (fillWidth < bar.width() - 6)
            QCOMPARE(colourAt(image, bar.left() + fillWidth + 3, y), QStringLiteral("#eef1f4"));
    }

    void tallCellUsesTheWideMargins() {
        const QImage image = paintCell(QStringLiteral("a"), 50.0);
        const QRect cell = table->visualItemRect(table->item(0, 0));
        const int y = cell.center().y();
        // 8 px margin left of the bar and 7 px above it stay untouched by the bar.
        QVERIFY(colourAt(image, cell.left() + 5, y) != QStringLiteral("#34a853"));
        QCOMPARE(colourAt(image, cell.left() + 12, y), QStringLiteral("#34a853"));
        QVERIFY(colourAt(image, cell.left() + 40, cell.top() + 4) != QStringLiteral("#34a853"));
        QCOMPARE(colourAt(image, cell.left() + 40, cell.top() + 10), QStringLiteral("#34a853"));
    }

    void noBarWithoutAFigure_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("percent");
        QTest::newRow("dashes") << "--" << QVariant(80.0);
        QTest::newRow("empty text") << "" << QVariant(80.0);
        QTest::newRow("negative percent") << "a" << QVariant(-1.0);
        QTest::newRow("no percent") << "a" << QVariant();
    }
    void noBarWithoutAFigure() {
        QFETCH(QString, text);
        QFETCH(QVariant, percent);
        const QImage image = paintCell(text, percent);
        const QRect bar = barRect();
        for (int x = bar.left() + 2; x < bar.right() - 2; x += 7) {
            const QString colour = colourAt(image, x, bar.top() + 3);
            QVERIFY2(colour != QStringLiteral("#eef1f4") && colour != QStringLiteral("#f2c94c"),
                     qPrintable(colour));
        }
    }

    void selectedCellHasALightTrack() {
        const QImage image = paintCell(QStringLiteral("a"), 10.0, true);
        const QRect bar = barRect();
        const QString track = colourAt(image, bar.right() - 10, bar.center().y());
        QVERIFY2(track != QStringLiteral("#eef1f4"), qPrintable(track));
        QCOMPARE(colourAt(image, bar.left() + 4, bar.center().y()), QStringLiteral("#34a853"));
    }
};

ONDIVO_TEST_MAIN_GUI(TestUsageDelegate)
#include "tst_usagedelegate.moc"
