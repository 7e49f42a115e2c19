#pragma once

#include <QList>
#include <QWidget>
#include <functional>

class QHBoxLayout;
class QIcon;
class QPushButton;

// The row of checkable page buttons across the top of the main window.
class TopNavBar : public QWidget {
public:
    explicit TopNavBar(QWidget* parent = nullptr);

    // Appends a checkable button with an 18 × 18 icon; clicking it runs action.
    QPushButton* addButton(const QString& text, const QIcon& icon, std::function<void()> action);
    // Puts a widget at the end of the row, after a stretch that keeps it right of the page buttons.
    void addTrailingWidget(QWidget* widget);
    // Checks the button at index and unchecks every other one.
    void checkOnly(int index);

    const QList<QPushButton*>& buttons() const { return buttons_; }

private:
    QHBoxLayout* layout_ = nullptr;
    QList<QPushButton*> buttons_;
    bool stretchAdded_ = false;
};
