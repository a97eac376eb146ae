#include "windows/main/window_report.h"

#include "windows/stills/report_flow.h"
#include "windows/map/map_state.h"
#include "windows/main/recording_session.h"
#include "playback/player.h"
#include "playback/report_picture.h"
#include "windows/kit/app_scale.h"
#include "windows/map/map_surface.h"

#include <QFileInfo>
#include <QWidget>

namespace ravir {

QImage ReportMapPicture(const RecordingSession& session, const MapState& map, int frame, QSize size)
{
    if (map.showsPosition())
        return map.view()->grab().toImage();
    if (const TelemetrySnapshot& snap = session.telemetry()) {
        const AccelSample* sample = snap->sampleAt(frame);
        const GpsSample* fix = sample ? snap->gpsOf(*sample) : nullptr;
        if (fix && IsUsableFix(*fix))
            return DrawReportTrack(snap->gps, *fix, size);
    }
    return ReportMapPlaceholder(size);
}

WindowReport::WindowReport(QWidget& window, RecordingSession& session, MapState& map)
    : QObject(&window), m_window(window), m_session(session), m_map(map)
{
    m_delay.setSingleShot(true);
    m_delay.setInterval(3000);
    connect(&m_delay, &QTimer::timeout, this, &WindowReport::finish);
}

bool WindowReport::start()
{
    if (busy())
        return false;
    m_folder = ChooseReportFolder(&m_window, m_chooser);
    if (m_folder.isEmpty())
        return false;
    m_delay.start();
    return true;
}

void WindowReport::finish()
{
    if (!m_session.ready())
        return;
    // The report follows the still's rule: only the frame the engine really holds (its own
    // position, as the still takes it), decoded; a seek under way or a position past the
    // movie's data is refused by the capture.
    QString why;
    const int frame = m_session.engineFrame();
    const QImage mainFrame = m_session.main().CaptureFrame(frame, &why);
    const QImage windowPicture = m_window.grab().toImage();
    const QImage mapPicture = ReportMapPicture(m_session, m_map, frame, QSize(Scaled(452), Scaled(368)));
    const TelemetrySnapshot& snap = m_session.telemetry();
    const ReportResult result =
        FinishReport(&m_window, m_folder, mainFrame, windowPicture, mapPicture, LayoutScale(),
                     QFileInfo(m_session.currentPath()).fileName(),
                     snap ? snap->gps : std::vector<GpsSample>());
    Q_EMIT finished(result.ok(), result.reportPath);
}

}  // namespace ravir
