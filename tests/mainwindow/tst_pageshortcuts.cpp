#include "FakeShell.h"
#include "TestMain.h"

#include "shell/PageShortcuts.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

// The window's page keys: F5, Delete, Enter and Ctrl+F reach the shown page's hooks, except under the
// busy overlay and where a text field keeps the key.
class TestPageShortcuts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keysReachTheShownPage_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("inTextField");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("expected");
        const int none = Qt::NoModifier;
        QTest::newRow("F5 refreshes") << int(Qt::Key_F5) << none << false << false << "refresh";
        QTest::newRow("F5 in a text field too") << int(Qt::Key_F5) << none << true << false << "refresh";
        QTest::newRow("F5 under the overlay") << int(Qt::Key_F5) << none << false << true << "";
        QTest::newRow("Delete deletes") << int(Qt::Key_Delete) << none << false << false << "delete";
        QTest::newRow("Delete under the overlay") << int(Qt::Key_Delete) << none << false << true << "";
        QTest::newRow("Delete edits the text field") << int(Qt::Key_Delete) << none << true << false << "";
        QTest::newRow("Return activates") << int(Qt::Key_Return) << none << false << false << "activate";
        QTest::newRow("keypad Enter activates") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false << false
                                                << "activate";
        QTest::newRow("Return stays with the text field") << int(Qt::Key_Return) << none << true << false << "";
        QTest::newRow("Ctrl+F finds") << int(Qt::Key_F) << int(Qt::ControlModifier) << true << false << "find";
        QTest::newRow("Ctrl+F under the overlay") << int(Qt::Key_F) << int(Qt::ControlModifier) << false << true
                                                  << "";
    }
    void keysReachTheShownPage() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
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
        shell::PageHooks hooks;
        hooks.onRefresh = [&ran] { ran << QStringLiteral("refresh"); };
        hooks.onDelete = [&ran] { ran << QStringLiteral("delete"); };
        hooks.onActivate = [&ran] { ran << QStringLiteral("activate"); };
        hooks.onFind = [&ran] { ran << QStringLiteral("find"); };
        shell::installPageShortcuts(&window, shell, [&hooks] { return &hooks; });
        int returnsInField = 0;
        connect(field, &QLineEdit::returnPressed, this, [&returnsInField] { ++returnsInField; });

        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* focus = inTextField ? static_cast<QWidget*>(field) : table;
        focus->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), focus);
        field->setCursorPosition(0);
        if (busy)
            shell.setBusy(QStringLiteral("忙"), true);

        QTest::keyClick(focus, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(ran.join(QLatin1Char(',')), expected);
        // The keys a text field keeps do their own work there.
        if (inTextField && key == Qt::Key_Delete)
            QCOMPARE(field->text(), QStringLiteral("bc"));
        if (inTextField && key == Qt::Key_Return)
            QCOMPARE(returnsInField, 1);
    }
};

ONDIVO_TEST_MAIN_GUI(TestPageShortcuts)
#include "tst_pageshortcuts.moc"
