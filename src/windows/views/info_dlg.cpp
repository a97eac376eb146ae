#include "windows/views/info_dlg.h"

#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"
#include "windows/views/graph_plot.h"
#include "windows/kit/toggle_button.h"

#include "windows/kit/view_resources.h"

#include <QAccessible>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <memory>

namespace ravir {

namespace {

// The panel's pictures are drawn many times a second: each is read and parsed once.
void DrawSvg(QPainter& p, const QString& resource, const QRect& rect)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    std::shared_ptr<QSvgRenderer>& svg = renderers[resource];
    if (!svg)
        svg = std::make_shared<QSvgRenderer>(resource);
    svg->render(&p, QRectF(rect));
}

// A picture of design size w x h centred on a slot.
QRect Centred(const QRect& slot, int w, int h)
{
    return QRect(slot.x() + (slot.width() - w) / 2, slot.y() + (slot.height() - h) / 2, w, h);
}

}  // namespace

CInfoDlg::CInfoDlg(QWidget* parent) : QWidget(parent)
{
    EnsureViewResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setObjectName(QStringLiteral("informationPanel"));
    setAccessibleName(text(TXT_VEHICLE_INFO));
    layoutScale_ = LayoutScale() > 0.0f ? LayoutScale() : 1.0f;
    fontScale_ = FontScale() > 0.0f ? FontScale() : 1.0f;
    fields_.unit = speedUnit();  // chosen at start-up; the settings dialog may change it
    for (int i = 0; i < 3; ++i) {
        static constexpr int kAxisNames[3] = {TXT_AXIS_X, TXT_AXIS_Y, TXT_AXIS_Z};
        auto* toggle = new CToggleButton(kAxisToggleIdX + i, QString(), this);
        toggle->setAccessibleName(text(kAxisNames[i]));
        toggles_[static_cast<size_t>(i)] = toggle;
        connect(toggle, &QAbstractButton::toggled, this,
                [this, i](bool on) { Q_EMIT axisKindToggled(i, on); });
    }
    placeToggles();
}

int CInfoDlg::scaled(double units) const
{
    return static_cast<int>(units * static_cast<double>(layoutScale_));
}

void CInfoDlg::placeToggles()
{
    const int size = scaled(12);
    for (int i = 0; i < 3; ++i) {
        CToggleButton* t = toggles_[static_cast<size_t>(i)];
        t->setImageSize(size);
        const int x = scaled(30) + static_cast<int>(140.0 * layoutScale_ * stretch_ * i);
        t->setGeometry(x, scaled(45), size, size);
    }
}

void CInfoDlg::setRecording(TelemetrySnapshot telemetry, const SystemTime& startTime,
                            int quality, float frameMs, RecordingKind kind)
{
    telemetry_ = std::move(telemetry);
    kind_ = kind;
    ResetInfoFields(fields_);
    fields_.startTime = startTime;
    fields_.quality = quality;
    fields_.frameMs = frameMs;
    fields_.timeLapse = telemetry_ && telemetry_->timeLapse;
    fields_.parkingExtra = ParkingExtraFor(fields_.traceSwitch, kind);
    setFrame(0);
}

void CInfoDlg::reset()
{
    telemetry_.reset();
    ResetInfoFields(fields_);
    announce();
    update();
}

void CInfoDlg::announce()
{
    spoken_.announce(this, QAccessible::DescriptionChanged, [this] { return spokenDescription(); });
}

void CInfoDlg::setTraceSwitch(bool on)
{
    fields_.traceSwitch = on;
    update();
}

void CInfoDlg::setSpeedUnit(SpeedUnit unit)
{
    fields_.unit = unit;
    update();
}

void CInfoDlg::setSpeedCaption(const QString& caption)
{
    fields_.speedCaption = caption;
    update();
}

void CInfoDlg::setHorizontalStretch(float stretch)
{
    stretch_ = stretch > 0.0f ? stretch : 1.0f;
    placeToggles();
    update();
}

void CInfoDlg::setScales(float layoutScale, float fontScale)
{
    layoutScale_ = layoutScale > 0.0f ? layoutScale : 1.0f;
    fontScale_ = fontScale > 0.0f ? fontScale : 1.0f;
    placeToggles();
    update();
}

bool CInfoDlg::axisShown(int axis) const
{
    return axis >= 0 && axis < 3 && toggles_[static_cast<size_t>(axis)]->isChecked();
}

void CInfoDlg::setFrame(int frame)
{
    // The telemetry has fewer samples than the movie has frames: most frames change nothing
    // the panel shows, and then it is not drawn again.
    const InfoTexts before = ComposeInfoTexts(fields_);
    ApplyFrame(fields_, telemetry_.get(), frame);
    announce();
    if (!(ComposeInfoTexts(fields_) == before))
        update();
}

const QImage& CInfoDlg::renderFrame()
{
    const QSize size(std::max(width(), 1), std::max(height(), 1));
    if (buffer_.size() != size)
        buffer_ = QImage(size, QImage::Format_RGB32);
    QPainter p(&buffer_);
    p.fillRect(buffer_.rect(), Qt::black);
    DrawSvg(p, QStringLiteral(":/views/panel_background.svg"), buffer_.rect());

    const InfoTexts texts = ComposeInfoTexts(fields_);
    const QFont captionFont = SharedFont(kFont10);
    const QFont valueFont = SharedFont(kFont13);
    static constexpr int captionIds[3] = {TXT_AXIS_X, TXT_AXIS_Y, TXT_AXIS_Z};

    for (int i = 0; i < 3; ++i) {
        const int x0 = static_cast<int>(140.0 * layoutScale_ * stretch_ * i);
        const int blockWidth = static_cast<int>(130.0 * layoutScale_ * stretch_);
        const QColor colour = QColor::fromRgb(TraceColour(i));
        p.setPen(colour);
        p.setFont(captionFont);
        p.drawText(QRect(x0 + scaled(10), scaled(4), blockWidth, scaled(18)),
                   Qt::AlignLeft | Qt::AlignVCenter, text(captionIds[i]));
        p.setFont(valueFont);
        const bool placeholder = texts.accel[i].isEmpty();
        QColor valueColour = colour;
        if (placeholder)
            valueColour.setAlpha(110);
        p.setPen(valueColour);
        p.drawText(QRect(x0 + scaled(10), scaled(21), scaled(110), scaled(24)),
                   Qt::AlignRight | Qt::AlignVCenter,
                   placeholder ? kAccelerationPlaceholder : texts.accel[i]);
    }

    // The row below: date and time, speed (or voltage), playback speed, quality, microphone, GPS.
    p.setFont(valueFont);
    p.setPen(texts.dateTime.isEmpty() ? QColor(0x6A, 0x74, 0x7E) : QColor(Qt::white));
    p.drawText(QRect(scaled(10), scaled(66), scaled(210), scaled(24)),
               Qt::AlignLeft | Qt::AlignVCenter,
               texts.dateTime.isEmpty() ? kDateTimePlaceholder : texts.dateTime);

    const QRect speedSlot(scaled(230), scaled(62), scaled(70), scaled(20));
    const QRect unitSlot(scaled(230), scaled(82), scaled(70), scaled(18));
    const QRect noValue(speedSlot.right() + 1 - scaled(48), speedSlot.y(), scaled(48), scaled(19));
    if (texts.parkingTrace) {
        if (texts.extra.isEmpty()) {
            DrawSvg(p, QStringLiteral(":/views/no_value.svg"), noValue.translated(scaled(19), 0));
        } else {
            p.setPen(Qt::white);
            p.drawText(speedSlot, Qt::AlignRight | Qt::AlignVCenter, texts.extra);
        }
        p.setPen(Qt::white);
        p.setFont(SharedFont(kFont9));
        p.drawText(unitSlot.translated(scaled(18), 0), Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("V"));
    } else {
        if (texts.speed.isEmpty()) {
            DrawSvg(p, QStringLiteral(":/views/no_value.svg"), noValue);
        } else {
            p.setPen(Qt::white);
            p.drawText(speedSlot, Qt::AlignRight | Qt::AlignVCenter, texts.speed);
        }
        p.setPen(Qt::white);
        p.setFont(SharedFont(kFont9));
        p.drawText(unitSlot, Qt::AlignRight | Qt::AlignTop, texts.speedUnit);
    }

    p.setFont(captionFont);
    p.setPen(QColor(0xE0, 0xE6, 0xEC));
    p.drawText(QRect(scaled(320), scaled(62), scaled(90), scaled(36)), Qt::AlignCenter,
               fields_.speedCaption);

    if (texts.badge == 1)
        DrawSvg(p, QStringLiteral(":/views/quality_720.svg"),
                QRect(scaled(420), scaled(70), scaled(48), scaled(20)));
    else if (texts.badge == 2)
        DrawSvg(p, QStringLiteral(":/views/quality_1080.svg"),
                QRect(scaled(420), scaled(70), scaled(48), scaled(20)));

    const QRect micSlot(scaled(480), scaled(63), scaled(48), scaled(35));
    const QString mic = texts.mic == MicPicture::SoundWaves ? QStringLiteral(":/views/mic_on.svg")
                        : texts.mic == MicPicture::Plain ? QStringLiteral(":/views/mic_plain.svg")
                                                         : QStringLiteral(":/views/mic_off.svg");
    DrawSvg(p, mic, Centred(micSlot, scaled(48), scaled(35)));

    if (texts.gpsFix) {
        const QRect gpsSlot(scaled(540), scaled(63), scaled(48), scaled(35));
        DrawSvg(p, QStringLiteral(":/views/gps_fix.svg"), Centred(gpsSlot, scaled(42), scaled(35)));
    }
    return buffer_;
}

void CInfoDlg::paintEvent(QPaintEvent*)
{
    const QImage& frame = renderFrame();
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame);
}

void CInfoDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    update();
}

}  // namespace ravir
