#pragma once

#include <QString>

namespace app {

// Standard Base64 of the per-user protected UTF-8 bytes of text; empty when protection fails.
QString protectLocal(const QString& text);
// The text back; empty for garbage, truncated blobs or another user's secret.
QString unprotectLocal(const QString& base64Text);

} // namespace app
