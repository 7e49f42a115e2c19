#include "PlainText.h"
#include "TestMain.h"

#include "ui/Dialogs.h"
#include "ui/PlainText.h"
#include "ui/TimestampedView.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>

// The dialog seam itself: scripted answers are consumed in order, and what would have been shown is
// recorded with its title.
class TestDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        ui::testing::setScripted(true);
        ui::testing::reset();
    }

    void questionsTakeQueuedAnswersThenNo() {
        ui::testing::queueAnswer(true);
        ui::testing::queueAnswer(false);
        QVERIFY(ui::question(nullptr, QStringLiteral("q1")));
        QVERIFY(!ui::question(nullptr, QStringLiteral("q2")));
        QVERIFY(!ui::question(nullptr, QStringLiteral("q3")));
        const auto shown = ui::testing::takeShown();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0].title, QStringLiteral("Ondivo"));
        QCOMPARE(shown[2].text, QStringLiteral("q3"));
    }

    void messageBoxesRecordKindAndTitle() {
        ui::warning(nullptr, QStringLiteral("w"));
        ui::critical(nullptr, QStringLiteral("c"), QStringLiteral("Ondivo 更新"));
        const auto shown = ui::testing::takeShown();
        QCOMPARE(shown[0].kind, QStringLiteral("warning"));
        QCOMPARE(shown[1].kind, QStringLiteral("critical"));
        QCOMPARE(shown[1].title, QStringLiteral("Ondivo 更新"));
    }

    // Messages often start with a Node label or carry a server's reply: shown literally, never as markup.
    void messageBoxesShowPlainText() {
        const QString text = testsupport::kHostileMarkup + QStringLiteral(" 更新失败");
        QStringList shown;
        auto inspectNextBox = [&] {
            QTimer::singleShot(0, this, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                shown << (box && testsupport::showsPlainText(box) ? box->text() : QStringLiteral("rich"));
                if (box)
                    box->defaultButton()->click();
            });
        };
        ui::testing::setScripted(false);
        inspectNextBox();
        ui::warning(nullptr, text);
        inspectNextBox();
        ui::critical(nullptr, text);
        inspectNextBox();
        ui::question(nullptr, text);
        ui::testing::setScripted(true);
        QCOMPARE(shown, QStringList(3, text));
    }

    // A tooltip has no text format: what looks like markup must still read exactly as given.
    void toolTipsReadLiterally_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("image markup") << testsupport::kHostileMarkup;
        QTest::newRow("markup after a label, lines and spaces")
            << QStringLiteral("节点 <b>甲</b>\n第二行  两个空格");
        QTest::newRow("entity") << QStringLiteral("&lt;img&gt; 5 < 6");
        QTest::newRow("plain text") << QStringLiteral("生产服务器 1");
    }
    void toolTipsReadLiterally() {
        QFETCH(QString, text);
        QTextDocument rendered;
        rendered.setHtml(ui::plainToolTip(text));
        QCOMPARE(Qt::mightBeRichText(ui::plainToolTip(text)) ? rendered.toPlainText()
                                                             : ui::plainToolTip(text),
                 text);
    }

    void customDialogHandlerFillsFields() {
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("导入节点"));
        auto* edit = new QLineEdit(&dialog);
        ui::testing::queueDialog([](QDialog& d) {
            d.findChild<QLineEdit*>()->setText(QStringLiteral("filled"));
            return int(QDialog::Accepted);
        });
        QCOMPARE(ui::execDialog(dialog), int(QDialog::Accepted));
        QCOMPARE(edit->text(), QStringLiteral("filled"));
        QCOMPARE(ui::execDialog(dialog), int(QDialog::Rejected));
        QCOMPARE(ui::testing::shown().last().title, QStringLiteral("导入节点"));
    }

    void choosersReturnQueuedPathsOrCancel() {
        ui::testing::queuePath(QStringLiteral("/tmp/a"));
        QCOMPARE(ui::chooseDirectory(nullptr, QStringLiteral("选择"), QStringLiteral("/")),
                 QStringLiteral("/tmp/a"));
        QCOMPARE(ui::chooseDirectory(nullptr, QStringLiteral("选择"), QStringLiteral("/")), QString());
        ui::testing::queuePaths({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        QCOMPARE(ui::chooseOpenFiles(nullptr, QString(), QString(), QString()).size(), 2);
    }

    void timestampedViewAppendsParagraphs() {
        QPlainTextEdit view;
        ui::appendTimestamped(&view, QStringLiteral("one"));
        ui::appendTimestamped(&view, QStringLiteral("two"));
        const QStringList lines = view.toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].endsWith(QStringLiteral(" two")));
        QCOMPARE(lines[0].indexOf(QLatin1Char(' ')), 8);
    }
};

ONDIVO_TEST_MAIN_GUI(TestDialogs)
#include "tst_dialogs.moc"
