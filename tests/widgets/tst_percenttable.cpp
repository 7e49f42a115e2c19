#include "TestMain.h"

#include "widgets/PercentTableWidget.h"

#include <QHelpEvent>
#include <QSignalSpy>
#include <QTextDocument>
#include <QToolTip>

class TestPercentTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A write leaves a plain cell that already shows the text alone and gives anything else a plain item.
    void cellWrite_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("kept");
        QTest::newRow("empty cell") << "" << false;
        QTest::newRow("same text") << "same" << true;
        QTest::newRow("other text") << "other" << false;
        QTest::newRow("same text over a bar") << "bar" << false;
        QTest::newRow("same text with an icon") << "icon" << false;
        QTest::newRow("same text with a tooltip") << "tooltip" << false;
    }
    void cellWrite() {
        QFETCH(QString, before);
        QFETCH(bool, kept);
        PercentTableWidget table(
            {QStringLiteral("t"), {QStringLiteral("a"), QStringLiteral("b")}, 100, {100}});
        table.setRowCount(1);
        QTableWidgetItem* old = before.isEmpty() ? nullptr : table.setCellText(0, 0, QStringLiteral("x"));
        if (before == QLatin1String("other"))
            old->setText(QStringLiteral("y"));
        if (before == QLatin1String("bar"))
            old->setData(Qt::UserRole + 50, 40.0);
        if (before == QLatin1String("icon"))
            old->setIcon(QIcon(QPixmap(4, 4)));
        if (before == QLatin1String("tooltip"))
            old->setToolTip(QStringLiteral("x"));
        // A kept cell tells the view nothing, so nothing repaints.
        QSignalSpy changed(table.model(), &QAbstractItemModel::dataChanged);
        QTableWidgetItem* cell = table.setCellText(0, 0, QStringLiteral("x"));
        QCOMPARE(changed.isEmpty(), kept);
        QCOMPARE(table.item(0, 0), cell);
        QCOMPARE(table.model()->itemData(table.model()->index(0, 0)).keys(),
                 (QList<int>{Qt::DisplayRole, Qt::TextAlignmentRole}));
        QVERIFY(!(cell->flags() & Qt::ItemIsEditable));
        QCOMPARE(table.setCellText(1, 0, QStringLiteral("x")), nullptr);
    }

    // Hovering a cell shows its whole text, literally, exactly when the column cuts it.
    void tooltipWhenElided_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::newRow("fits") << "短" << false;
        QTest::newRow("cut") << "一个很长很长很长很长很长很长的名称" << true;
        QTest::newRow("cut, markup literal") << "<b>一个很长很长很长很长很长的名称</b>" << true;
    }
    void tooltipWhenElided() {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        PercentTableWidget table(
            {QStringLiteral("t"), {QStringLiteral("a"), QStringLiteral("b")}, 100, {100}});
        table.setRowCount(1);
        table.resize(300, 200);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        table.setCellText(0, 0, text);
        QToolTip::hideText();
        const QPoint at = table.visualRect(table.model()->index(0, 0)).center();
        QHelpEvent hover(QEvent::ToolTip, at, table.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(table.viewport(), &hover);
        QTextDocument tip;
        tip.setHtml(QToolTip::text());
        QCOMPARE(tip.toPlainText(), shown ? text : QString());
    }
};

ONDIVO_TEST_MAIN_GUI(TestPercentTable)
#include "tst_percenttable.moc"
