#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

// A dimmed layer over the whole main window with a centred panel, shown while the window is busy.
// It takes every mouse and key event that reaches it, so nothing underneath can be clicked or typed
// into while a long action runs.
class LoadingOverlay : public QWidget {
public:
    explicit LoadingOverlay(QWidget* parent);

    // Shows the overlay with the title ("处理中..." when empty) and hint ("请稍候" when empty).
    void showMessage(const QString& title, const QString& hint);

    QString title() const;
    QString hint() const;

protected:
    bool event(QEvent* event) override;

private:
    QLabel* titleLabel_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
};
