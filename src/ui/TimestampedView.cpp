#include "ui/TimestampedView.h"

#include "app/TextFormats.h"

#include <QPlainTextEdit>
#include <QTextEdit>

namespace ui {

void appendTimestamped(QPlainTextEdit* view, const QString& text) {
    if (view)
        view->appendPlainText(fmt::timestampedLine(text));
}

void appendTimestamped(QTextEdit* view, const QString& text) {
    if (view)
        view->append(fmt::timestampedLine(text).toHtmlEscaped());
}

} // namespace ui
