#pragma once
#include <QString>

namespace ravir {
// The viewer's own version, compared with the server's by the update check.
inline QString viewerVersion() { return QStringLiteral(RAVIR_VERSION); }
}  // namespace ravir
