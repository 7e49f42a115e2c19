#pragma once

#include <QString>

namespace updater {

// What the window shows for one progress report.
struct ProgressView {
    int value = 0;       // permille clamped to 0..1000
    QString percentText; // "%1%" with value / 10
    QString statusText;  // "失败", "更新中" or "完成"
    QString statusStyle; // the status label's style sheet
};

ProgressView progressView(const QString& title, int permille);

inline constexpr char kFailedTitle[] = "更新失败";

} // namespace updater
