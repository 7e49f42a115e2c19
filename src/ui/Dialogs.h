#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

// Every message box, question, chooser and custom dialog of the client and the updater goes through
// here. In production these call the toolkit; a test switches on scripted mode, queues the answers and
// reads back what would have been shown, so nothing ever blocks.
namespace ui {

inline constexpr char kClientTitle[] = "Ondivo";

void warning(QWidget* parent, const QString& text, const QString& title = QString::fromLatin1(kClientTitle));
void information(QWidget* parent, const QString& text,
                 const QString& title = QString::fromLatin1(kClientTitle));
void critical(QWidget* parent, const QString& text, const QString& title = QString::fromLatin1(kClientTitle));
// Yes/No question; only Yes is consent.
bool question(QWidget* parent, const QString& text, const QString& title = QString::fromLatin1(kClientTitle));

QString chooseDirectory(QWidget* parent, const QString& caption, const QString& startDirectory);
QString chooseOpenFile(QWidget* parent, const QString& caption, const QString& startDirectory,
                       const QString& filter);
QStringList chooseOpenFiles(QWidget* parent, const QString& caption, const QString& startDirectory,
                            const QString& filter);

// Runs a custom modal dialog and returns its result code.
int execDialog(QDialog& dialog);

namespace testing {

struct Shown {
    QString kind; // "warning", "information", "critical", "question", "directory", "file", "files", "dialog"
    QString title;
    QString text;
};

// Scripted mode: boxes return at once. Questions take the next queued answer (No when none is queued),
// choosers the next queued path (cancel when none), custom dialogs the next queued handler (reject
// when none); the handler may fill the dialog's fields before returning a result code.
void setScripted(bool on);
bool isScripted();
void queueAnswer(bool yes);
void queuePath(const QString& path);
void queuePaths(const QStringList& paths);
void queueDialog(std::function<int(QDialog&)> handler);
const QList<Shown>& shown();
QList<Shown> takeShown();
void reset();

} // namespace testing
} // namespace ui
