#pragma once

#include "RecordingServer.h"

#include "app/AppConstants.h"
#include "mainwindow/MainWindow.h"
#include "net/SignInState.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QTest>
#include <memory>

namespace testsupport {

// A signed-in main window whose Cloud API is a recording server. Every reply carries both an empty
// Node list and, when given, a client/Agent manifest version, so the start-up Node load and any
// manifest fetch are answered by the same default reply whatever their order.
struct SettingsTestWindow {
    std::unique_ptr<RecordingServer> cloud;
    std::unique_ptr<MainWindow> window;

    bool open(const QByteArray& manifestVersion = QByteArray(), int versionCheckDelayMs = 600000) {
        ui::testing::reset();
        ui::testing::setScripted(true);
        settingspage::timing::versionCheckDelayMs = versionCheckDelayMs;
        cloud = std::make_unique<RecordingServer>();
        setManifestVersion(manifestVersion);
        qputenv(app::kCloudApiUrlVariable, cloud->baseUrl().toUtf8());
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("tok")};
        window = std::make_unique<MainWindow>();
        const bool loaded = QTest::qWaitFor([this] {
            for (const auto& request : cloud->requests()) {
                if (request.path.startsWith("/api/cloud/nodes"))
                    return window->busyCount() == 0;
            }
            return false;
        });
        return loaded;
    }

    void setManifestVersion(const QByteArray& version) {
        QByteArray body = R"({"nodes": [])";
        if (!version.isEmpty())
            body +=
                R"(, "version": ")" + version + R"(", "changelog": {"title": "v)" + version +
                R"( 更新", "items": [{"title": "更快的上传"}, {"title": "修复", "children": [{"title": "代理"}]}]})";
        body += "}";
        cloud->setDefaultReply(RecordingServer::json(200, body));
    }

    SettingsPage* page() const {
        return dynamic_cast<SettingsPage*>(window->page(MainWindow::SettingsPageIndex));
    }

    int requestsTo(const QByteArray& path) const {
        int count = 0;
        for (const auto& request : cloud->requests())
            count += request.path == path ? 1 : 0;
        return count;
    }
};

} // namespace testsupport
