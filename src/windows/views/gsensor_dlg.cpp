#include "windows/views/gsensor_dlg.h"

#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"
#include "windows/views/info_format.h"

#include "windows/kit/view_resources.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

namespace ravir {

namespace {
QColor Rgb(unsigned rgb) { return QColor::fromRgb(rgb); }
}  // namespace

CGSensorDlg::CGSensorDlg(QWidget* parent) : QWidget(parent)
{
    EnsureViewResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setObjectName(QStringLiteral("accelerationGraph"));
    layoutScale_ = LayoutScale() > 0.0f ? LayoutScale() : 1.0f;
    fontScale_ = FontScale() > 0.0f ? FontScale() : 1.0f;
    labelFont_ = SharedFont(kFont9);
    setAccessibleName(text(TXT_ACC_GRAPH));
}

QString CGSensorDlg::spokenDescription() const
{
    InfoFields fields;
    ApplyFrame(fields, telemetry_.get(), state_.currentPosition);
    return SpokenInfoText(fields, false);
}

void CGSensorDlg::announce()
{
    spoken_.announce(this, QAccessible::DescriptionChanged, [this] { return spokenDescription(); });
}

void CGSensorDlg::setTelemetry(TelemetrySnapshot telemetry, int totalPositions)
{
    telemetry_ = std::move(telemetry);
    state_.totalPositions = totalPositions;
    state_.currentPosition = 0;
    state_.drawTelemetry = telemetry_ != nullptr;
    if (telemetry_) {
        state_.rangeCode = telemetry_->rangeCode();
        ApplyThresholds(kinds_, telemetry_->thresholds);
    }
    announce();
    update();
}

void CGSensorDlg::clearTelemetry()
{
    telemetry_.reset();
    state_.drawTelemetry = false;
    state_.currentPosition = 0;
    announce();
    update();
}

void CGSensorDlg::setRangeCode(int code)
{
    state_.rangeCode = code;
    update();
}

void CGSensorDlg::setScales(float layoutScale, float fontScale)
{
    layoutScale_ = layoutScale > 0.0f ? layoutScale : 1.0f;
    fontScale_ = fontScale > 0.0f ? fontScale : 1.0f;
    background_ = QImage();
    update();
}

void CGSensorDlg::setLabelFont(const QFont& font)
{
    labelFont_ = font;
    update();
}

double CGSensorDlg::pixelsPerPosition() const
{
    if (!telemetry_ || telemetry_->frameIndex.empty())
        return 0.0;
    const GraphGeometry g{layoutScale_, fontScale_, width(), height()};
    return static_cast<double>(g.plotWidth()) / telemetry_->frameCount();
}

void CGSensorDlg::setFrame(int frame)
{
    if (frame == state_.currentPosition)
        return;
    state_.currentPosition = frame;
    announce();
    // While playing, a new frame often moves neither the traces nor the cursor by a pixel.
    if (paintedValid_ && plotNow() == painted_)
        return;
    update();
}

GraphPlot CGSensorDlg::plotNow() const
{
    const GraphGeometry g{layoutScale_, fontScale_, width(), height()};
    return ComputeGraphPlot(g, state_, telemetry_.get(), kinds_);
}

void CGSensorDlg::setAxisKindShown(int kind, bool on)
{
    if (kind >= 0 && kind <= 2)
        setKindShown(kind, on);
}

void CGSensorDlg::setSettingsKindShown(int which, bool on)
{
    const int kind = KindForSettingsSwitch(which);
    if (kind >= 0)
        setKindShown(kind, on);
}

void CGSensorDlg::setKindShown(int kind, bool on)
{
    if (SetKindShown(kinds_, kind, on)) {
        update();
        Q_EMIT markerKindsChanged();
    }
}

void CGSensorDlg::ensureBackground()
{
    const GraphGeometry g{layoutScale_, fontScale_, width(), height()};
    const QSize size(g.bitmapWidth(), g.plotHeight());
    if (background_.size() == size || size.isEmpty())
        return;
    background_ = QImage(size, QImage::Format_RGB32);
    background_.fill(Qt::black);
    QSvgRenderer svg(QStringLiteral(":/views/graph_background.svg"));
    QPainter p(&background_);
    svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
}

const QImage& CGSensorDlg::renderFrame()
{
    const QSize size(std::max(width(), 1), std::max(height(), 1) + 1);
    if (buffer_.size() != size)
        buffer_ = QImage(size, QImage::Format_RGB32);
    ensureBackground();
    const GraphGeometry g{layoutScale_, fontScale_, width(), height()};
    if (g.tileWidth() <= 0 || width() <= 0)
        return buffer_;

    QPainter p(&buffer_);
    p.fillRect(buffer_.rect(), Qt::black);

    // Background tiled from the right, without its label column; then the whole picture at the
    // left, which restores the label column and the frame.
    const int lm = g.leftMargin();
    const QRect source(lm, 0, background_.width() - lm, background_.height());
    const int five = std::max(g.scaled(5), 1);
    for (int i = 0; g.tileWidth() * i < width(); ++i) {
        int x = width() - g.tileWidth() * i;
        x -= x % five;
        p.drawImage(QRect(x, 0, g.bitmapWidth(), g.plotHeight()), background_, source);
    }
    p.drawImage(QPoint(0, 0), background_);

    const GraphPlot plot = plotNow();
    painted_ = plot;
    paintedValid_ = true;

    p.setPen(Qt::white);
    p.setFont(labelFont_);
    const int labelWidth = g.scaled(38);
    const int labelHeight = g.scaled(50);
    const auto align = Qt::AlignRight | Qt::AlignTop;
    p.drawText(QRect(0, 0, labelWidth, labelHeight), align, plot.labels.top);
    p.drawText(QRect(0, labelHeight, labelWidth, labelHeight), align, plot.labels.centre);
    p.drawText(QRect(0, g.scaled(100), labelWidth, labelHeight), align, plot.labels.bottom);

    if (plot.traced) {
        // Traces merge with what is below them, as a pen in merge mode does.
        p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        for (int a = 0; a < 3; ++a) {
            p.setPen(QPen(Rgb(TraceColour(a)), 1));
            for (const GraphSegment& s : plot.traces[static_cast<size_t>(a)])
                p.drawLine(s.x1, s.y1, s.x2, s.y2);
        }
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);

        const int s15 = g.scaled(15);
        const int s35 = g.scaled(35);
        const double t = s35 > 0 ? static_cast<double>(height() - s15) / s35 : 0.0;
        const int lineBottom = static_cast<int>(s15 + s35 * t);
        for (const GraphMarker& m : plot.markers) {
            const MarkerLook look = MarkerLookOf(m.type);
            p.setPen(QPen(Rgb(look.rgb), 1));
            p.drawLine(m.x, lineBottom, m.x, 0);
            p.setPen(Qt::white);
            const QPoint topLeft(m.x + 1, g.labelTop() + look.row * g.labelRowHeight());
            p.drawText(QRect(topLeft, QSize(width(), height())), Qt::AlignLeft | Qt::AlignTop,
                       look.label);
        }
    }

    p.setPen(QPen(Qt::white, 1));
    p.drawLine(plot.cursorX, 0, plot.cursorX, height());
    return buffer_;
}

void CGSensorDlg::paintEvent(QPaintEvent*)
{
    const QImage& frame = renderFrame();
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame);
}

void CGSensorDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    update();
}

void CGSensorDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT previousEventPointRequested();
    else if (event->button() == Qt::RightButton)
        Q_EMIT nextEventPointRequested();
    else
        QWidget::mouseReleaseEvent(event);
}

}  // namespace ravir
