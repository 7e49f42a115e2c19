#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// Preview addresses come from an Agent over plain HTTP; only web addresses go to a browser or to the
// desktop's URL handler, so a forged reply cannot make the client open a local file or run a program.
namespace streaming {

// The address as a URL when it is an http or https address with a host; an invalid URL otherwise.
QUrl previewWebUrl(const QString& text);

// Whether the address is a web address; warns naming the address when it is not.
bool acceptPreviewAddress(QWidget* parent, const QString& text);
// Opens the address with the desktop's handler after that check. Returns whether it was handed on.
bool openPreviewLink(QWidget* parent, const QString& text);

} // namespace streaming
