#pragma once

#include "releases/Changelog.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

// Shows a release's change log as a fully expanded tree and asks to go ahead with the update.
class ChangelogDialog : public QDialog {
public:
    explicit ChangelogDialog(const releases::Changelog& changelog, QWidget* parent = nullptr);

    QLabel* titleLabel() const { return title_; }
    QTreeWidget* tree() const { return tree_; }
    QPushButton* confirmButton() const { return confirm_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    QLabel* title_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QPushButton* confirm_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Runs the dialog modally; true only when the user chose "确认更新".
bool confirmChangelog(QWidget* parent, const releases::Changelog& changelog);
