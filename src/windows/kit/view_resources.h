#pragma once
// The views' artwork (resources/views.qrc) lives in a static library; this registers it once
// before the first picture is loaded.
#include <QtGlobal>

namespace ravir {
void EnsureViewResources();
}  // namespace ravir
