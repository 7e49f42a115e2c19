#pragma once

#include <QString>

class QPlainTextEdit;
class QTextEdit;

namespace ui {

// Appends "HH:mm:ss " + text as a new paragraph of a log view.
void appendTimestamped(QPlainTextEdit* view, const QString& text);
void appendTimestamped(QTextEdit* view, const QString& text);

} // namespace ui
