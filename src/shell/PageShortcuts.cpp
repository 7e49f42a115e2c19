#include "shell/PageShortcuts.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>

namespace shell {

namespace {

bool isTextField(const QWidget* widget) {
    if (!widget)
        return false;
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget))
        return true;
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    if (const auto* edit = qobject_cast<const QTextEdit*>(widget))
        return !edit->isReadOnly();
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(widget))
        return !edit->isReadOnly();
    return false;
}

const std::function<void()>& hookFor(const PageHooks& hooks, PageKey key) {
    switch (key) {
    case PageKey::Refresh:
        return hooks.onRefresh;
    case PageKey::Delete:
        return hooks.onDelete;
    case PageKey::Activate:
        return hooks.onActivate;
    case PageKey::Find:
        break;
    }
    return hooks.onFind;
}

} // namespace

bool pageKeyApplies(PageKey key, const QWidget* focus) {
    if (key == PageKey::Delete || key == PageKey::Activate)
        return !isTextField(focus);
    return true;
}

void installPageShortcuts(QWidget* window, const Shell& shell, std::function<const PageHooks*()> shownHooks) {
    const QList<std::pair<PageKey, QKeySequence>> keys{{PageKey::Refresh, QKeySequence(Qt::Key_F5)},
                                                       {PageKey::Delete, QKeySequence(Qt::Key_Delete)},
                                                       {PageKey::Activate, QKeySequence(Qt::Key_Return)},
                                                       {PageKey::Activate, QKeySequence(Qt::Key_Enter)},
                                                       {PageKey::Find, QKeySequence(Qt::CTRL | Qt::Key_F)}};
    QList<std::pair<PageKey, QShortcut*>> shortcuts;
    for (const auto& [key, sequence] : keys) {
        auto* shortcut = new QShortcut(sequence, window);
        shortcut->setContext(Qt::WindowShortcut);
        shortcuts.append({key, shortcut});
        QObject::connect(shortcut, &QShortcut::activated, window, [&shell, shownHooks, key] {
            // Under the overlay the page is in the middle of something; a key must not start another.
            if (shell.isBusy() || !pageKeyApplies(key, QApplication::focusWidget()))
                return;
            const PageHooks* hooks = shownHooks();
            if (hooks && hookFor(*hooks, key))
                hookFor(*hooks, key)();
        });
    }
    // A shortcut that is enabled takes its key even when it then does nothing; while a text field has
    // the focus, Delete and Enter are switched off so that they reach the field.
    QObject::connect(qApp, &QApplication::focusChanged, window, [shortcuts](QWidget*, QWidget* now) {
        for (const auto& [key, shortcut] : shortcuts)
            shortcut->setEnabled(pageKeyApplies(key, now));
    });
}

} // namespace shell
