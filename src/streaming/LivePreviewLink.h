#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// Preview addresses come from an Agent over plain HTTP; only web addresses go to the desktop's URL
// handler, so a forged reply cannot make the client open a local file or run a program.
namespace live {

// The address as a URL when it is an http or https address with a host; an invalid URL otherwise.
QUrl webUrl(const QString& text);

// Opens the address with the desktop's handler, or warns naming the address when it is not a web
// address. Returns whether it was handed on.
bool openPreviewLink(QWidget* parent, const QString& text);

} // namespace live
