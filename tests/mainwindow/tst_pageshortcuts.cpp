#include "FakeShell.h"
#include "TestMain.h"

#include "shell/PageShortcuts.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

// The window's page keys reach the shown page's hooks, except under the busy overlay and where a text
// field keeps the key for itself.
class TestPageShortcuts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keysReachTheShownPage_data() {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<bool>("inTextField");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("expected");
        QTest::newRow("F5, also in a text field")
            << QKeyCombination(Qt::Key_F5) << true << false << "refresh";
        QTest::newRow("Delete") << QKeyCombination(Qt::Key_Delete) << false << false << "delete";
        QTest::newRow("Delete under the overlay") << QKeyCombination(Qt::Key_Delete) << false << true << "";
        QTest::newRow("Delete edits the text field")
            << QKeyCombination(Qt::Key_Delete) << true << false << "bc";
        QTest::newRow("keypad Enter") << (Qt::KeypadModifier | Qt::Key_Enter) << false << false << "activate";
        QTest::newRow("Return stays with the text field")
            << QKeyCombination(Qt::Key_Return) << true << false << "returned";
        QTest::newRow("Ctrl+F") << (Qt::ControlModifier | Qt::Key_F) << true << false << "find";
    }
    void keysReachTheShownPage() {
        QFETCH(QKeyCombination, key);
        QFETCH(bool, inTextField);
        QFETCH(bool, busy);
        QFETCH(QString, expected);
        testsupport::FakeShell shell;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* field = new QLineEdit(QStringLiteral("abc"));
        auto* table = new QTableWidget(2, 2);
        layout->addWidget(field);
        layout->addWidget(table);
        QStringList ran;
        const auto record = [&ran](const char* what) {
            return [&ran, what] {
                ran << QString::fromLatin1(what);
            };
        };
        const shell::PageHooks hooks{
            {}, {}, {}, false, record("refresh"), record("delete"), record("activate"), record("find")};
        shell::installPageShortcuts(&window, shell, [&hooks] { return &hooks; });
        connect(field, &QLineEdit::returnPressed, this, record("returned"));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* focus = inTextField ? static_cast<QWidget*>(field) : table;
        focus->setFocus();
        field->setCursorPosition(0);
        if (busy)
            shell.setBusy(QStringLiteral("忙"), true);
        QTest::keyClick(focus, key.key(), key.keyboardModifiers());
        if (field->text() != QStringLiteral("abc"))
            ran << field->text();
        QCOMPARE(ran.join(QLatin1Char(',')), expected);
    }
};

ONDIVO_TEST_MAIN_GUI(TestPageShortcuts)
#include "tst_pageshortcuts.moc"
