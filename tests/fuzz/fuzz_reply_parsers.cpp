// Every reader of a server's JSON reply gets the same bytes: Node records, Agent status rows, release
// manifests, sign-in and geolocation answers, failure texts. None may crash or convert an out-of-range
// number (the undefined-behaviour sanitizer flags float-to-int overflow).
#include "account/ProxyForm.h"
#include "account/SignInRules.h"
#include "mainwindow/NodeStatusRules.h"
#include "model/Node.h"
#include "net/RequestLayer.h"
#include "updater/UpdateFailure.h"
#include "updater/UpdatePipeline.h"

#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QJsonObject reply =
        net::parseJsonObject(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    parseNode(reply);
    mainwindow::rowFromStatus(reply);
    account::geoTestResultText(reply);
    account::failureText(500, reply);
    account::issuedToken(200, reply);
    net::describeFailure(reply, 500);
    try {
        updater::readManifest(reply);
    } catch (const updater::UpdateFailure&) {
    }
    return 0;
}
