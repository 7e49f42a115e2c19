#include "app/DataPaths.h"
#include "streaming/LivePreviewWindow.h"
#include "webview/WebEngineHost.h"
#include "widgets/WebViewPane.h"

#include "TestMain.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

// A preview page comes from a Node: it is played in the client only where the engine's renderers run in
// their sandbox (never as root); otherwise the window offers its address.
class LivePreviewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void agentPagesOnlyInASandbox_data() {
        QTest::addColumn<bool>("sandboxed");
        QTest::newRow("sandboxed renderer") << true;
        QTest::newRow("sandbox switched off") << false;
    }
    void agentPagesOnlyInASandbox() {
        QFETCH(bool, sandboxed);
        const QString url = "http://127.0.0.1:9/live/a/index.m3u8?x=<b>";
        webview::testing::setRendererSandboxed(sandboxed ? std::optional(true) : std::nullopt);
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // what running as root comes to
        for (int window = 0; window < 2; ++window) {
            QPointer<LivePreviewWindow> preview = new LivePreviewWindow("a", url);
            QCOMPARE(preview->pane() != nullptr, sandboxed);
            QCOMPARE(preview->addressField() ? preview->addressField()->text() : QString(),
                     sandboxed ? "" : url);
            if (!sandboxed) {
                preview->findChild<QPushButton*>()->click();
                QCOMPARE(QApplication::clipboard()->text(), url);
            }
            preview->close();
            QTRY_VERIFY(!preview);
        }
        QFile log(app::logFilePath());
        QCOMPARE(log.open(QIODevice::ReadOnly) ? log.readAll().count("renderer sandbox is off") : 0,
                 sandboxed ? 0 : 1);
    }
};

ONDIVO_TEST_MAIN_GUI(LivePreviewTest)
#include "tst_livepreview.moc"
