#include "playback/report_picture.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace ravir {

QImage ComposeReportPicture(const QImage& viewer, const QImage& map, double scale)
{
    if (viewer.isNull())
        return {};
    QImage out = viewer.convertToFormat(QImage::Format_RGB32);
    if (map.isNull())
        return out;
    const int right = out.width() - int(scale * 4);
    const int bottom = out.height() - int(scale * 38);
    QPainter painter(&out);
    painter.drawImage(QPoint(right - map.width(), bottom - map.height()), map);
    return out;
}

QByteArray ReportJpeg(const QImage& picture)
{
    if (picture.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32)))
        return {};
    return bytes;
}

QImage ReportMapPlaceholder(const QSize& size)
{
    if (size.isEmpty())
        return {};
    QImage out(size, QImage::Format_RGB32);
    out.fill(QColor(0x26, 0x2a, 0x30));
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const double unit = std::min(size.width(), size.height()) / 8.0;
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    // A position pin: a circle on a point.
    QPainterPath pin;
    pin.addEllipse(centre + QPointF(0, -unit), unit, unit);
    QPolygonF tip;
    tip << centre + QPointF(-unit * 0.85, -unit * 0.5) << centre + QPointF(0, unit * 1.5)
        << centre + QPointF(unit * 0.85, -unit * 0.5);
    pin.addPolygon(tip);
    pin.setFillRule(Qt::WindingFill);
    p.fillPath(pin.simplified(), QColor(0x70, 0x78, 0x84));
    p.setBrush(QColor(0x26, 0x2a, 0x30));
    p.setPen(Qt::NoPen);
    p.drawEllipse(centre + QPointF(0, -unit), unit * 0.4, unit * 0.4);
    p.setPen(QPen(QColor(0xd0, 0x50, 0x40), std::max(2.0, unit / 4)));
    p.drawLine(centre + QPointF(-unit * 1.8, -unit * 2.2), centre + QPointF(unit * 1.8, unit * 1.8));
    return out;
}

QImage DrawReportTrack(const std::vector<GpsSample>& track, const GpsSample& current,
                       const QSize& size)
{
    std::vector<QPointF> points;  // x = east, y = north
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9, latSum = 0;
    for (const GpsSample& s : track)
        if (IsUsableFix(s))
            latSum += s.latitude, points.emplace_back(s.longitude, s.latitude);
    if (points.empty() || size.isEmpty())
        return {};
    const double shrink = std::cos(latSum / double(points.size()) * M_PI / 180.0);
    for (QPointF& pt : points) {
        pt.setX(pt.x() * shrink);
        minX = std::min(minX, pt.x()), maxX = std::max(maxX, pt.x());
        minY = std::min(minY, pt.y()), maxY = std::max(maxY, pt.y());
    }
    const double margin = std::min(size.width(), size.height()) * 0.1;
    const double spanX = std::max(maxX - minX, 1e-6);
    const double spanY = std::max(maxY - minY, 1e-6);
    const double k = std::min((size.width() - 2 * margin) / spanX,
                              (size.height() - 2 * margin) / spanY);
    const double offX = (size.width() - spanX * k) / 2;
    const double offY = (size.height() - spanY * k) / 2;
    auto place = [&](double x, double y) {
        return QPointF(offX + (x - minX) * k, size.height() - offY - (y - minY) * k);
    };

    QImage out(size, QImage::Format_RGB32);
    out.fill(QColor(0xee, 0xec, 0xe6));
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF line;
    for (const QPointF& pt : points)
        line << place(pt.x(), pt.y());
    const double width = std::max(2.0, size.height() / 60.0);
    p.setPen(QPen(QColor(0x1e, 0x64, 0xc8), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(line);
    if (IsUsableFix(current)) {
        const QPointF at = place(current.longitude * shrink, current.latitude);
        p.setPen(QPen(Qt::white, width / 2));
        p.setBrush(QColor(0xe0, 0x30, 0x20));
        p.drawEllipse(at, width * 2.5, width * 2.5);
    }
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
    return out;
}

QImage ComposeCameraStills(const QImage& mainStill, const QImage& subStill)
{
    if (mainStill.isNull())
        return {};
    QImage out = mainStill.convertToFormat(QImage::Format_RGB32);
    if (subStill.isNull())
        return out;
    const int w = std::max(1, out.width() / 3);
    const QImage inset = subStill.scaled(w, std::max(1, w * subStill.height() / subStill.width()),
                                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const int border = std::max(1, out.width() / 400);
    const QPoint at(border * 4, out.height() - inset.height() - border * 4);
    QPainter p(&out);
    p.fillRect(QRect(at - QPoint(border, border), inset.size() + QSize(2 * border, 2 * border)),
               Qt::white);
    p.drawImage(at, inset);
    return out;
}

}  // namespace ravir
