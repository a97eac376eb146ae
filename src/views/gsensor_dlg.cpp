#include "views/gsensor_dlg.h"

#include "shell/app_scale_gui.h"
#include "shell/ui_text.h"
#include "views/info_format.h"

#include "views/view_resources_gui.h"

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
    m_layoutScale = LayoutScale() > 0.0f ? LayoutScale() : 1.0f;
    m_fontScale = FontScale() > 0.0f ? FontScale() : 1.0f;
    m_labelFont = SharedFont(kFont9);
    setAccessibleName(text(TXT_ACC_GRAPH));
}

QString CGSensorDlg::spokenDescription() const
{
    InfoFields fields;
    ApplyFrame(fields, m_telemetry.get(), m_state.currentPosition);
    return SpokenInfoText(fields, false);
}

void CGSensorDlg::announce()
{
    // The text is made only while someone listens; the interface reads it afresh when asked.
    if (!QAccessible::isActive())
        return;
    QString spoken = spokenDescription();
    if (spoken == m_spoken)
        return;
    m_spoken = std::move(spoken);
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void CGSensorDlg::setTelemetry(TelemetrySnapshot telemetry, int totalPositions)
{
    m_telemetry = std::move(telemetry);
    m_state.totalPositions = totalPositions;
    m_state.currentPosition = 0;
    m_state.drawTelemetry = m_telemetry != nullptr;
    if (m_telemetry) {
        m_state.rangeCode = m_telemetry->rangeCode();
        ApplyThresholds(m_kinds, m_telemetry->thresholds);
    }
    announce();
    update();
}

void CGSensorDlg::clearTelemetry()
{
    m_telemetry.reset();
    m_state.drawTelemetry = false;
    m_state.currentPosition = 0;
    announce();
    update();
}

void CGSensorDlg::setRangeCode(int code)
{
    m_state.rangeCode = code;
    update();
}

void CGSensorDlg::setScales(float layoutScale, float fontScale)
{
    m_layoutScale = layoutScale > 0.0f ? layoutScale : 1.0f;
    m_fontScale = fontScale > 0.0f ? fontScale : 1.0f;
    m_background = QImage();
    update();
}

void CGSensorDlg::setLabelFont(const QFont& font)
{
    m_labelFont = font;
    update();
}

double CGSensorDlg::pixelsPerPosition() const
{
    if (!m_telemetry || m_telemetry->frameIndex.empty())
        return 0.0;
    const GraphGeometry g{m_layoutScale, m_fontScale, width(), height()};
    return static_cast<double>(g.plotWidth()) / m_telemetry->frameCount();
}

void CGSensorDlg::setFrame(int frame)
{
    if (frame == m_state.currentPosition)
        return;
    m_state.currentPosition = frame;
    announce();
    update();
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
    if (SetKindShown(m_kinds, kind, on)) {
        update();
        Q_EMIT markerKindsChanged();
    }
}

void CGSensorDlg::ensureBackground()
{
    const GraphGeometry g{m_layoutScale, m_fontScale, width(), height()};
    const QSize size(g.bitmapWidth(), g.plotHeight());
    if (m_background.size() == size || size.isEmpty())
        return;
    m_background = QImage(size, QImage::Format_RGB32);
    m_background.fill(Qt::black);
    QSvgRenderer svg(QStringLiteral(":/views/graph_background.svg"));
    QPainter p(&m_background);
    svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
}

const QImage& CGSensorDlg::renderFrame()
{
    const QSize size(std::max(width(), 1), std::max(height(), 1) + 1);
    if (m_buffer.size() != size)
        m_buffer = QImage(size, QImage::Format_RGB32);
    ensureBackground();
    const GraphGeometry g{m_layoutScale, m_fontScale, width(), height()};
    if (g.tileWidth() <= 0 || width() <= 0)
        return m_buffer;

    QPainter p(&m_buffer);
    p.fillRect(m_buffer.rect(), Qt::black);

    // Background tiled from the right, without its label column; then the whole picture at the
    // left, which restores the label column and the frame.
    const int lm = g.leftMargin();
    const QRect source(lm, 0, m_background.width() - lm, m_background.height());
    const int five = std::max(g.scaled(5), 1);
    for (int i = 0; g.tileWidth() * i < width(); ++i) {
        int x = width() - g.tileWidth() * i;
        x -= x % five;
        p.drawImage(QRect(x, 0, g.bitmapWidth(), g.plotHeight()), m_background, source);
    }
    p.drawImage(QPoint(0, 0), m_background);

    const GraphPlot plot = ComputeGraphPlot(g, m_state, m_telemetry.get(), m_kinds);

    p.setPen(Qt::white);
    p.setFont(m_labelFont);
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
    return m_buffer;
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
