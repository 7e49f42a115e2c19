#include "TestMain.h"

#include "ui/PlainToolTip.h"

#include <QTextDocument>

class TestPlainToolTip : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Qt takes the tooltip for markup and renders it: what the reader sees must be the text itself.
    void rendersTextLiterally_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("image tag") << "<img src='/dev/zero'>";
        QTest::newRow("bold markup") << "<b>节点</b>";
        QTest::newRow("entity") << "a &amp; b &lt;";
        QTest::newRow("line breaks and blanks") << "第一行\n  第二行  ";
        QTest::newRow("plain") << "香港-01";
    }
    void rendersTextLiterally() {
        QFETCH(QString, text);
        const QString tip = ui::plainToolTip(text);
        QVERIFY(Qt::mightBeRichText(tip));
        QTextDocument shown;
        shown.setHtml(tip);
        QCOMPARE(shown.toPlainText(), text);
    }
    void emptyTextHasNoToolTip() { QVERIFY(ui::plainToolTip(QString()).isEmpty()); }
};

ONDIVO_TEST_MAIN_GUI(TestPlainToolTip)
#include "tst_plaintooltip.moc"
