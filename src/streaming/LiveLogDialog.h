#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QTabWidget;

// A live room's logs: the Agent's event log and FFmpeg's output, each in its own read-only tab.
class LiveLogDialog : public QDialog {
public:
    LiveLogDialog(const QString& roomName, const QStringList& eventLines, const QStringList& ffmpegLines,
                  QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    QPlainTextEdit* eventView() const { return eventView_; }
    QPlainTextEdit* ffmpegView() const { return ffmpegView_; }

private:
    QTabWidget* tabs_ = nullptr;
    QPlainTextEdit* eventView_ = nullptr;
    QPlainTextEdit* ffmpegView_ = nullptr;
};
