#pragma once

#include <QString>
#include <QUrl>

// Preview addresses come from an Agent over plain HTTP; only web addresses go to a browser or to the
// desktop's URL handler, so a forged reply cannot make the client open a local file or run a program.
namespace streaming {

// The address as a URL when it is an http or https address with a host; an invalid URL otherwise.
QUrl previewWebUrl(const QString& text);

} // namespace streaming
