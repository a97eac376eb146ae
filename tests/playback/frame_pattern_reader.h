#pragma once
// The frame number a picture carries (tools/samplecard/frame_pattern.h), from a QImage or a file.
#include "samplecard/frame_pattern.h"

#include <QImage>
#include <QString>

namespace ravir::test {

inline long framePatternOf(const QImage& image)
{
    if (image.isNull())
        return -1;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    return samples::readFramePattern(rgb.width(), rgb.height(), [&](int x, int y) {
        return qGray(rgb.pixel(x, y));
    });
}

inline long framePatternOfFile(const QString& path) { return framePatternOf(QImage(path)); }

}  // namespace ravir::test
