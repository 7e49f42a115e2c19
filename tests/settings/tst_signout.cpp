#include "Simulator.h"
#include "TestMain.h"

#include "account/LoginDialog.h"
#include "app/AppConstants.h"
#include "app/Settings.h"
#include "client/ClientWindow.h"
#include "mainwindow/MainWindow.h"
#include "model/SignInState.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

// Signing out from the settings page and in again as another account, against the simulated Cloud API.
class SignOutTest : public QObject {
    Q_OBJECT

    sim::Simulator cloud;

    // The client's next steps: the sign-in dialog as shown (account kept, automatic sign-in as stored),
    // then the main window once its Node list has loaded.
    std::unique_ptr<MainWindow> signInAndOpen(const QString& account, const QString& password,
                                              bool autoLogin) {
        LoginDialog login;
        if (login.accountEdit()->text() != settings::lastUsername() ||
            !login.passwordEdit()->text().isEmpty())
            return nullptr;
        login.accountEdit()->setText(account);
        login.passwordEdit()->setText(password);
        login.autoLoginBox()->setChecked(autoLogin);
        login.submit(false);
        auto window = createClientWindow();
        window->show();
        const bool loaded =
            QTest::qWaitFor([&] { return window->statusText().contains(QStringLiteral("云端节点")); });
        return loaded && login.result() == QDialog::Accepted ? std::move(window) : nullptr;
    }

private Q_SLOTS:
    void signOutThenAnotherAccountSeesOnlyItsNodes() {
        ui::testing::setScripted(true);
        settings::timing.versionCheckDelayMs = 600000;
        QVERIFY(cloud.start());
        qputenv(app::kCloudApiUrlVariable, cloud.cloudUrl().toUtf8());
        for (const char* account : {"alice", "bob"})
            cloud.addAccount(QString::fromLatin1(account), QStringLiteral("pw"));
        const QStringList owners{"alice", "bob", "bob"}, labels{"甲一", "乙一", "乙二"};
        for (int i = 0; i < 3; ++i) {
            Node node;
            node.host = node.name = QStringLiteral("10.0.0.%1").arg(i + 1);
            cloud.addNode(owners[i], QStringLiteral("pw"), labels[i], node);
        }

        auto window = signInAndOpen(QStringLiteral("alice"), QStringLiteral("pw"), true);
        QVERIFY(window);
        QCOMPARE(window->nodes().size(), 1);
        QVERIFY(window->findChild<QCheckBox*>(QStringLiteral("autoSignInBox"))->isChecked());
        auto* nodeWindow = new QWidget;
        nodeWindow->setAttribute(Qt::WA_DeleteOnClose);
        window->adoptWindow(nodeWindow);
        nodeWindow->show();
        const QPointer<QWidget> adopted(nodeWindow);

        ui::testing::queueAnswer(true);
        window->findChild<QPushButton*>(QStringLiteral("signOutButton"))->click();
        QVERIFY(window->signedOut() && !window->isVisible() && !window->statusPollTimer()->isActive());
        QTRY_VERIFY(!adopted);
        QVERIFY(signInState().token.isEmpty() && !settings::autoLogin());
        QCOMPARE(settings::lastUsername(), QStringLiteral("alice"));
        window.reset();

        window = signInAndOpen(QStringLiteral("bob"), QStringLiteral("pw"), false);
        QVERIFY(window);
        QCOMPARE(nodeLabel(window->nodes().value(0)) + nodeLabel(window->nodes().value(1)),
                 QStringLiteral("乙一乙二"));
        QCOMPARE(window->nodes().size(), 2);

        // The settings check box turns the automatic sign-in on, with the password it needs.
        window->findChild<QCheckBox*>(QStringLiteral("autoSignInBox"))->setChecked(true);
        LoginDialog remembered;
        QCOMPARE(remembered.passwordEdit()->text(), QStringLiteral("pw"));
        QVERIFY(remembered.autoLoginBox()->isChecked());
    }
};

ONDIVO_TEST_MAIN_GUI(SignOutTest)
#include "tst_signout.moc"
