#pragma once

#include <QLabel>
#include <QTextDocument>
#include <algorithm>

namespace testsupport {

// What a hostile server sends: rendered as rich text, Qt would load /dev/zero as an image.
inline const QString kHostileMarkup = QStringLiteral("<img src='/dev/zero'>");

// True when the widget (a label, a message box) cannot render its text as rich text.
template <typename Widget> bool showsPlainText(const Widget* widget) {
    return widget->textFormat() == Qt::PlainText ||
           (widget->textFormat() == Qt::AutoText && !Qt::mightBeRichText(widget->text()));
}

inline bool allLabelsPlain(const QWidget* root) {
    const QList<QLabel*> labels = root->findChildren<QLabel*>();
    return std::all_of(labels.begin(), labels.end(),
                       [](const QLabel* label) { return showsPlainText(label); });
}

} // namespace testsupport
