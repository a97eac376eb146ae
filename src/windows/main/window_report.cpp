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
    : QObject(&window), window_(window), session_(session), map_(map)
{
    delay_.setSingleShot(true);
    delay_.setInterval(3000);
    connect(&delay_, &QTimer::timeout, this, &WindowReport::finish);
}

bool WindowReport::start()
{
    if (busy())
        return false;
    folder_ = ChooseReportFolder(&window_, chooser_);
    if (folder_.isEmpty())
        return false;
    delay_.start();
    return true;
}

void WindowReport::finish()
{
    if (!session_.ready())
        return;
    // The report follows the still's rule: only the frame the engine really holds (its own
    // position, as the still takes it), decoded; a seek under way or a position past the
    // movie's data is refused by the capture.
    QString why;
    const int frame = session_.engineFrame();
    const QImage mainFrame = session_.main().CaptureFrame(frame, &why);
    const QImage windowPicture = window_.grab().toImage();
    const QImage mapPicture = ReportMapPicture(session_, map_, frame, QSize(Scaled(452), Scaled(368)));
    const TelemetrySnapshot& snap = session_.telemetry();
    const ReportResult result =
        FinishReport(&window_, folder_, mainFrame, windowPicture, mapPicture, LayoutScale(),
                     QFileInfo(session_.currentPath()).fileName(),
                     snap ? snap->gps : std::vector<GpsSample>());
    Q_EMIT finished(result.ok(), result.reportPath);
}

}  // namespace ravir
