#pragma once

#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>

namespace testsupport {

// Markup as a hostile server sends it: rendered as rich text, Qt would try to load /dev/zero as an image.
inline const QString kHostileMarkup = QStringLiteral("<img src='/dev/zero'>");

// True when the widget cannot render its text as rich text: plain format, or automatic format with a
// text Qt would not take for markup.
template <typename Widget> bool showsPlainText(const Widget* widget) {
    return widget->textFormat() == Qt::PlainText ||
           (widget->textFormat() == Qt::AutoText && !Qt::mightBeRichText(widget->text()));
}

// Every label below root shows plain text.
inline bool allLabelsPlain(const QWidget* root) {
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (!showsPlainText(label))
            return false;
    }
    return true;
}

} // namespace testsupport
