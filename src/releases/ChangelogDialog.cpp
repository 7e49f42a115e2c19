#include "releases/ChangelogDialog.h"

#include "ui/Dialogs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

void addItems(QTreeWidgetItem* parent, QTreeWidget* tree, const QList<releases::ChangelogItem>& items) {
    for (const releases::ChangelogItem& entry : items) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, entry.title);
        addItems(item, tree, entry.children);
    }
}

} // namespace

ChangelogDialog::ChangelogDialog(const releases::Changelog& changelog, QWidget* parent) : QDialog(parent) {
    setWindowTitle(changelog.title);
    resize(620, 520);
    auto* layout = new QVBoxLayout(this);

    title_ = new QLabel(changelog.title, this);
    title_->setTextFormat(Qt::PlainText); // the title comes from the server
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setWordWrap(true);
    layout->addWidget(title_);

    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    addItems(nullptr, tree_, changelog.items);
    if (changelog.items.isEmpty())
        new QTreeWidgetItem(tree_, QStringList{QString::fromUtf8(releases::kEmptyChangelogEntry)});
    tree_->expandAll();
    layout->addWidget(tree_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    confirm_ = new QPushButton(QStringLiteral("确认更新"), this);
    confirm_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    buttons->addWidget(confirm_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(confirm_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

bool confirmChangelog(QWidget* parent, const releases::Changelog& changelog) {
    ChangelogDialog dialog(changelog, parent);
    return ui::execDialog(dialog) == QDialog::Accepted;
}
