#include "console/NodeWindow.h"

#include "app/Settings.h"
#include "console/TerminalPane.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QShortcut>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>

namespace {

QWidget* textTab(const QString& text) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    layout->addWidget(label);
    layout->addStretch(1);
    return page;
}

QLabel* selectableLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

NodeWindow::NodeWindow(const Node& node, QWidget* parent) : QMainWindow(parent), node_(node) {
    setWindowTitle(QStringLiteral("Ondivo - ") + nodeLabel(node_));
    resize(1100, 720);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);

    auto* info = new QGroupBox(QStringLiteral("节点信息"), central);
    auto* form = new QFormLayout(info);
    form->addRow(QStringLiteral("名称"), selectableLabel(nodeLabel(node_)));
    form->addRow(QStringLiteral("地址"),
                 selectableLabel(node_.host + QLatin1Char(':') + QString::number(node_.port)));
    form->addRow(QStringLiteral("服务器名"), selectableLabel(node_.name));
    form->addRow(QStringLiteral("用户"), selectableLabel(node_.username));
    layout->addWidget(info);

    tabs_ = new QTabWidget(central);
    tabs_->addTab(createOverviewTab(), QStringLiteral("概览"));
    auto* shell = new QWidget;
    shellLayout_ = new QVBoxLayout(shell);
    shellLayout_->setContentsMargins(0, 0, 0, 0);
    shellLayout_->addWidget(new QLabel(QStringLiteral("切换到 Shell 后会建立 SSH 连接。")), 0,
                            Qt::AlignCenter);
    shellTab_ = tabs_->addTab(shell, QStringLiteral("Shell"));
    tabs_->addTab(textTab(QStringLiteral("内置操作占位。后续把软件固定支持的节点动作放在这里。")),
                  QStringLiteral("内置操作"));
    tabs_->addTab(textTab(QStringLiteral("服务管理占位。后续可查看 systemd 服务、启动、停止和重启。")),
                  QStringLiteral("服务"));
    layout->addWidget(tabs_, 1);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == shellTab_)
            openTerminal();
    });
    setCentralWidget(central);
    installCloseKeys();

    const QByteArray geometry = settings::readBytes(settings::key::nodeGeometry);
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = settings::readBytes(settings::key::nodeState);
    if (!state.isEmpty())
        restoreState(state);
}

QWidget* NodeWindow::createOverviewTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    figuresNote_ = new QLabel(QStringLiteral("正在等待节点状态…"), page);
    layout->addWidget(figuresNote_);
    figures_ = new QFormLayout;
    layout->addLayout(figures_);
    layout->addStretch(1);
    return page;
}

void NodeWindow::showLiveFigures(const QList<QPair<QString, QString>>& figures) {
    while (figures_->rowCount() > 0)
        figures_->removeRow(0);
    for (const auto& [name, value] : figures)
        figures_->addRow(name, selectableLabel(value));
    figuresNote_->setText(QStringLiteral("节点状态（随状态轮询更新，") +
                          QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("）"));
}

void NodeWindow::installCloseKeys() {
    // Ctrl+W closes the window, except inside the terminal where the shell erases a word with it;
    // Ctrl+Shift+W closes it from anywhere.
    auto* closeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QWidget::close);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), this, this, &QWidget::close);
    connect(qApp, &QApplication::focusChanged, closeKey, [this, closeKey](QWidget*, QWidget* now) {
        closeKey->setEnabled(!(terminal_ && now && terminal_->isAncestorOf(now)));
    });
}

void NodeWindow::openTerminal() {
    if (terminal_)
        return;
    while (QLayoutItem* item = shellLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    terminal_ = new TerminalPane(node_, shellLayout_->parentWidget());
    shellLayout_->addWidget(terminal_);
}

void NodeWindow::closeEvent(QCloseEvent* event) {
    settings::writeBytes(settings::key::nodeGeometry, saveGeometry());
    settings::writeBytes(settings::key::nodeState, saveState());
    QMainWindow::closeEvent(event);
}
