#include "updater/ProgressStatus.h"

#include <QtGlobal>

namespace updater {
namespace {

QString statusStyle(const char* background, const char* colour) {
    return QStringLiteral(
               "QLabel#statusLabel { background: %1; color: %2; border-radius: 10px; padding: 3px 10px; "
               "font-size: 12px; }")
        .arg(QLatin1String(background), QLatin1String(colour));
}

} // namespace

ProgressView progressView(const QString& title, int permille) {
    ProgressView view;
    view.value = qBound(0, permille, 1000);
    view.percentText = QStringLiteral("%1%").arg(view.value / 10);
    if (title.contains(QStringLiteral("失败"))) {
        view.statusText = QStringLiteral("失败");
        view.statusStyle = statusStyle("#fdecec", "#b42318");
    } else if (view.value < 1000) {
        view.statusText = QStringLiteral("更新中");
        view.statusStyle = statusStyle("#eaf2ff", "#0b57d0");
    } else {
        view.statusText = QStringLiteral("完成");
        view.statusStyle = statusStyle("#e8f5ed", "#137333");
    }
    return view;
}

} // namespace updater
