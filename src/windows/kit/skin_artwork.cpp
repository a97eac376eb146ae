#include "windows/kit/skin_artwork.h"

#include "windows/kit/app_scale.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <memory>

// The resources live in a static library: they are registered on first use.
static void initSkinResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace ravir::skin {
namespace {

void ensureResources()
{
    static const bool done = [] {
        initSkinResources();
        return true;
    }();
    (void)done;
}

QString pathOf(const QString& name)
{
    ensureResources();
    return QStringLiteral(":/skin/%1.svg").arg(name);
}

struct Cache {
    QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    QHash<QString, QPixmap> pixmaps;  // key: name@WxH
};

Cache& cache()
{
    static Cache c;
    return c;
}

QSvgRenderer* rendererFor(const QString& name)
{
    Cache& c = cache();
    auto it = c.renderers.find(name);
    if (it != c.renderers.end())
        return it.value().get();
    std::shared_ptr<QSvgRenderer> r;
    if (QFile::exists(pathOf(name)))
        r = std::make_shared<QSvgRenderer>(pathOf(name));
    if (r && !r->isValid())
        r.reset();
    c.renderers.insert(name, r);
    return r.get();
}

}  // namespace

void drawFocusFrame(QPainter& painter, const QRect& rect)
{
    painter.save();
    QPen pen(kFocusFrame);
    pen.setWidth(std::max(1, unit(2)));
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const int half = pen.width() / 2;
    painter.drawRect(rect.adjusted(half, half, -half - 1, -half - 1));
    painter.restore();
}

double scale()
{
    const float s = LayoutScale();
    return s > 0.0f ? static_cast<double>(s) : 1.0;
}

int unit(double units)
{
    return static_cast<int>(units * scale());
}

QSize designSize(const QString& name)
{
    QSvgRenderer* r = rendererFor(name);
    return r ? r->defaultSize() : QSize();
}

QPixmap render(const QString& name, QSize size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return {};
    const QString key = QStringLiteral("%1@%2x%3").arg(name).arg(size.width()).arg(size.height());
    Cache& c = cache();
    if (auto it = c.pixmaps.constFind(key); it != c.pixmaps.constEnd())
        return it.value();
    QSvgRenderer* r = rendererFor(name);
    if (!r)
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        r->render(&p, QRectF(0, 0, size.width(), size.height()));
    }
    QPixmap pm = QPixmap::fromImage(std::move(image));
    c.pixmaps.insert(key, pm);
    return pm;
}

QPixmap renderScaled(const QString& name, double scale)
{
    const QSize d = designSize(name);
    return render(name, QSize(static_cast<int>(d.width() * scale), static_cast<int>(d.height() * scale)));
}

QPixmap stripImage(const QString& name, int count, int index, QSize cellSize)
{
    if (count <= 0 || index < 0 || index >= count || cellSize.isEmpty())
        return {};
    const QPixmap strip = render(name, QSize(cellSize.width() * count, cellSize.height()));
    if (strip.isNull())
        return {};
    return strip.copy(cellSize.width() * index, 0, cellSize.width(), cellSize.height());
}

QStringList allPictures()
{
    ensureResources();
    QStringList names;
    const QDir dir(QStringLiteral(":/skin"));
    for (const QString& f : dir.entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name))
        names << f.chopped(4);
    return names;
}

void clearCache()
{
    cache().pixmaps.clear();
}

QString mapIconForMarkerType(int type)
{
    if (type >= 0 && type <= 4)
        return QStringLiteral("map_icon_gforce");
    switch (type) {
    case 5:
        return QStringLiteral("map_icon_user");
    case 6:
        return QStringLiteral("map_icon_emergency");
    case 7:
        return QStringLiteral("map_icon_parking");
    default:
        return {};
    }
}

}  // namespace ravir::skin
