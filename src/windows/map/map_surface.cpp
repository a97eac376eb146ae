#include "windows/map/map_surface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>

namespace ravir::map {

namespace {
// The folders the module is looked for in, first match wins.
QStringList moduleCandidates()
{
    QStringList paths;
    const QByteArray env = qgetenv("RAVIR_MAP_MODULE");
    if (!env.isEmpty())
        paths << QString::fromLocal8Bit(env);
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString file = QStringLiteral(RAVIR_MAP_MODULE_FILE);
    paths << QDir(appDir).filePath(QStringLiteral(RAVIR_MAP_MODULE_RELATIVE_DIR "/") + file)
          << QDir(appDir).filePath(file);
    return paths;
}

// The maker, found once; the module stays loaded for the life of the process (Qt WebEngine
// cannot be unloaded).
MapSurfaceMaker findMaker(QString* why)
{
    static MapSurfaceMaker maker = nullptr;
    static QString failure;
    static bool looked = false;
    if (looked) {
        if (!maker && why)
            *why = failure;
        return maker;
    }
    looked = true;
    if (void* own = dlsym(RTLD_DEFAULT, kMapSurfaceMakerName)) {
        maker = reinterpret_cast<MapSurfaceMaker>(own);
        return maker;
    }
    for (const QString& path : moduleCandidates()) {
        if (!QFileInfo::exists(path))
            continue;
        void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            failure = QString::fromLocal8Bit(dlerror());
            continue;
        }
        if (void* sym = dlsym(module, kMapSurfaceMakerName)) {
            maker = reinterpret_cast<MapSurfaceMaker>(sym);
            return maker;
        }
        failure = path + QStringLiteral(": no map maker in it");
        dlclose(module);
    }
    if (failure.isEmpty())
        failure = QStringLiteral("map module not found (%1)").arg(moduleCandidates().join(u", "));
    if (why)
        *why = failure;
    return nullptr;
}
}  // namespace

MapSurface* CreateMapSurface(QWidget* parent, QString* why)
{
    const MapSurfaceMaker maker = findMaker(why);
    return maker ? maker(parent) : nullptr;
}

}  // namespace ravir::map
