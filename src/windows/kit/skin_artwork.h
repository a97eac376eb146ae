#pragma once
// The skin: the project's SVG pictures (resources/skin), rendered at the size they are drawn at
// and kept in a cache, so that every control reads well at any layout scale.
//
// A picture is named without folder or extension ("btn_play", "position_thumb"). Strips hold
// state images side by side (buttons: normal, hover, pressed, disabled).
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QColor>

class QPainter;
class QRect;

namespace ravir::skin {

// The layout scale the controls draw at: the process-wide layout scale, or 1.0 before it is known.
double scale();
// A design value in scaled units as pixels at scale(), truncated.
int unit(double units);

// Design size of a picture in pixels at layout scale 1 (empty when there is no such picture).
QSize designSize(const QString& name);

// The picture rendered at `size` pixels (transparent where the picture draws nothing); a null
// pixmap when the name is unknown or the size empty. Cached per name and size.
QPixmap render(const QString& name, QSize size);

// The picture at its design size times `scale`, truncated.
QPixmap renderScaled(const QString& name, double scale);

// Image `index` of a strip of `count` images side by side, rendered so that one image is
// `cellSize` pixels. A null pixmap for a bad index.
QPixmap stripImage(const QString& name, int count, int index, QSize cellSize);

// Every picture of the skin, by name.
QStringList allPictures();

// Drops every cached pixmap (after a change of the layout scale).
void clearCache();

// Map icon picture name for a marker type 0..7 (0..4 share the G-force icon); empty otherwise.
QString mapIconForMarkerType(int type);

// Colours of the skin.
inline const QColor kTextWhite{0xFF, 0xFF, 0xFF};
inline const QColor kTextGrey{0x80, 0x80, 0x80};
inline const QColor kWindowBackground{0x3F, 0x3F, 0x3F};
// The frame drawn around the control that has the keyboard focus.
inline const QColor kFocusFrame{0xEF, 0x81, 0x0F};
// Draws the focus frame just inside a rectangle.
void drawFocusFrame(QPainter& painter, const QRect& rect);

}  // namespace ravir::skin
