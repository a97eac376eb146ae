// The entry of the map module: the one name the viewer looks up after loading it.
#include "windows/map/web/map_view.h"

extern "C" __attribute__((visibility("default"))) ravir::map::MapSurface*
ravir_make_map_surface(QWidget* parent)
{
    return new ravir::map::CMapView(parent);
}
