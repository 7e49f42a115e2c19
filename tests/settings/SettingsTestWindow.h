#pragma once

#include "FakeShell.h"
#include "RecordingServer.h"

#include "app/AppConstants.h"
#include "model/SignInState.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsPages.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QTest>
#include <memory>

namespace testsupport {

// The settings page alone on a fake shell, signed in, with a recording server as Cloud API. Every reply
// carries both an empty Node list and, when given, a client/Agent manifest version, so any manifest
// fetch is answered by the same default reply whatever its order.
struct SettingsTestWindow {
    std::unique_ptr<RecordingServer> cloud;
    std::unique_ptr<FakeShell> window;
    SettingsPage* settingsPage = nullptr;

    bool open(const QByteArray& manifestVersion = QByteArray(), int versionCheckDelayMs = 600000) {
        ui::testing::reset();
        ui::testing::setScripted(true);
        settings::timing.versionCheckDelayMs = versionCheckDelayMs;
        cloud = std::make_unique<RecordingServer>();
        setManifestVersion(manifestVersion);
        qputenv(app::kCloudApiUrlVariable, cloud->baseUrl().toUtf8());
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("tok")};
        window = std::make_unique<FakeShell>();
        settingsPage = static_cast<SettingsPage*>(settings::createSettingsPage(*window).widget);
        window->host(settingsPage);
        return true;
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

    SettingsPage* page() const { return settingsPage; }

    int requestsTo(const QByteArray& path) const {
        int count = 0;
        for (const auto& request : cloud->requests())
            count += request.path == path ? 1 : 0;
        return count;
    }
};

} // namespace testsupport
