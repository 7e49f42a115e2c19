#include "ui/Dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <deque>

namespace ui {
namespace {

struct Script {
    bool on = false;
    std::deque<bool> answers;
    std::deque<QStringList> paths;
    std::deque<std::function<int(QDialog&)>> dialogs;
    QList<testing::Shown> shown;
};

Script& script() {
    static Script instance;
    return instance;
}

void record(const char* kind, const QString& title, const QString& text) {
    script().shown.append({QString::fromLatin1(kind), title, text});
}

// Built by hand rather than with the static helpers so the buttons read in Chinese whether or not a
// translation of the toolkit is installed.
int runMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                  bool yesNo) {
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    // Messages carry server replies, Node labels and file names: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    if (yesNo) {
        box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
    } else {
        QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    box.exec();
    return box.buttonRole(box.clickedButton()) == QMessageBox::YesRole ? QMessageBox::Yes : QMessageBox::No;
}

QStringList nextPaths() {
    Script& s = script();
    if (s.paths.empty())
        return {};
    QStringList paths = s.paths.front();
    s.paths.pop_front();
    return paths;
}

} // namespace

void warning(QWidget* parent, const QString& text, const QString& title) {
    if (script().on)
        return record("warning", title, text);
    runMessageBox(parent, QMessageBox::Warning, title, text, false);
}

void information(QWidget* parent, const QString& text, const QString& title) {
    if (script().on)
        return record("information", title, text);
    runMessageBox(parent, QMessageBox::Information, title, text, false);
}

void critical(QWidget* parent, const QString& text, const QString& title) {
    if (script().on)
        return record("critical", title, text);
    runMessageBox(parent, QMessageBox::Critical, title, text, false);
}

bool question(QWidget* parent, const QString& text, const QString& title) {
    Script& s = script();
    if (s.on) {
        record("question", title, text);
        if (s.answers.empty())
            return false;
        const bool yes = s.answers.front();
        s.answers.pop_front();
        return yes;
    }
    return runMessageBox(parent, QMessageBox::Question, title, text, true) == QMessageBox::Yes;
}

QString chooseDirectory(QWidget* parent, const QString& caption, const QString& startDirectory) {
    if (script().on) {
        record("directory", caption, startDirectory);
        return nextPaths().value(0);
    }
    return QFileDialog::getExistingDirectory(parent, caption, startDirectory);
}

QString chooseOpenFile(QWidget* parent, const QString& caption, const QString& startDirectory,
                       const QString& filter) {
    if (script().on) {
        record("file", caption, startDirectory);
        return nextPaths().value(0);
    }
    return QFileDialog::getOpenFileName(parent, caption, startDirectory, filter);
}

QStringList chooseOpenFiles(QWidget* parent, const QString& caption, const QString& startDirectory,
                            const QString& filter) {
    if (script().on) {
        record("files", caption, startDirectory);
        return nextPaths();
    }
    return QFileDialog::getOpenFileNames(parent, caption, startDirectory, filter);
}

int execDialog(QDialog& dialog) {
    Script& s = script();
    if (s.on) {
        record("dialog", dialog.windowTitle(), QString());
        if (s.dialogs.empty())
            return QDialog::Rejected;
        auto handler = std::move(s.dialogs.front());
        s.dialogs.pop_front();
        return handler(dialog);
    }
    return dialog.exec();
}

namespace testing {

void setScripted(bool on) {
    script().on = on;
}
bool isScripted() {
    return script().on;
}
void queueAnswer(bool yes) {
    script().answers.push_back(yes);
}
void queuePath(const QString& path) {
    script().paths.push_back(QStringList{path});
}
void queuePaths(const QStringList& paths) {
    script().paths.push_back(paths);
}
void queueDialog(std::function<int(QDialog&)> handler) {
    script().dialogs.push_back(std::move(handler));
}
const QList<Shown>& shown() {
    return script().shown;
}

QList<Shown> takeShown() {
    QList<Shown> taken = script().shown;
    script().shown.clear();
    return taken;
}

void reset() {
    const bool on = script().on;
    script() = Script();
    script().on = on;
}

} // namespace testing
} // namespace ui
