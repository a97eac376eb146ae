#include "windows/kit/view_resources.h"

// Outside any namespace, as the resource initialiser requires.
static void InitViewResources() { Q_INIT_RESOURCE(views); }

namespace ravir {

void EnsureViewResources()
{
    static const bool done = [] {
        InitViewResources();
        return true;
    }();
    (void)done;
}

}  // namespace ravir
