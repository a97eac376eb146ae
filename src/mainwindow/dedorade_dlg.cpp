#include "mainwindow/dedorade_dlg.h"

#include "catalogue/recording_name.h"
#include "catalogue/source_select.h"
#include "catalogue/source_watcher.h"
#include "catalogue/file_list_ctrl.h"
#include "catalogue/filer_container_dlg.h"
#include "catalogue/list_commands_ctrl.h"
#include "catalogue/source_open_dlg.h"
#include "exports/report_flow_gui.h"
#include "exports/still_capture_gui.h"
#include "container/telemetry.h"
#include "playback/report_picture.h"
#include "update/update_dlg.h"
#include "mainwindow/task_runner.h"
#include "mainwindow/control_refresh.h"
#include "mainwindow/views_follow.h"
#include "settings/setting_dlg.h"
#include "views/gsensor_dlg.h"
#include "views/info_dlg.h"
#include "views/info_format.h"
#include "views/map_view.h"
#include "views/marker_kind.h"
#include "views/recording_telemetry.h"
#include "container/telemetry_timeline.h"
#include "mainwindow/skin_button.h"
#include "mainwindow/skin_progress.h"
#include "mainwindow/skin_slider.h"
#include "mainwindow/movie_dialog.h"
#include "mainwindow/key_table.h"
#include "mainwindow/movie_menu.h"
#include "mainwindow/play_clock_rules.h"
#include "playback/camera_sync.h"
#include "playback/placement.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "shell/app_scale_gui.h"
#include "shell/config_folder.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"
#include "update/inet_connection_async.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

namespace ravir {
namespace {
const QColor kBackground(0x3F, 0x3F, 0x3F);  // COLORREF 0x3F3F3F
const QColor kText(0xFF, 0xFF, 0xFF);
const QColor kPaneFrame(0x5A, 0x5A, 0x5A);

// Time-lapse recordings ('T' as the first or third letter of the name) play at half speed.
int DefaultRateFor(const QString& path) { return DefaultRateCodeFor(path); }

// The rate steps of the slower and faster commands (forward play only: x0.5, x1, x2).
int NextRateCode(int current, bool faster)
{
    switch (current) {
    case 1: return faster ? 2 : -1;
    case 2: return faster ? 2 : 1;
    case 4: return faster ? 4 : 2;
    case -1: return faster ? 1 : -2;
    case -2: return faster ? 1 : -2;
    case -4: return faster ? -2 : 1;
    default: return 1;
    }
}
const QColor kOutline(0x70, 0x5D, 0xA8);     // COLORREF 0xA85D70
constexpr int kResizeThrottleMs = 89;         // at most one outline move per 0.0889 s
constexpr int kFullScreenEndMargin = 10;      // frames before the end that refuse full screen

// The outline shown over the window while the user drags its border: a frame of the outline
// colour around a see-through interior, above every other window.
class ResizeOutline : public QWidget {
public:
    ResizeOutline()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput)
    {
        setObjectName(QStringLiteral("resizeOutline"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const int w = std::max(2, Scaled(3));
        p.setPen(QPen(kOutline, w));
        p.drawRect(rect().adjusted(w / 2, w / 2, -(w + 1) / 2, -(w + 1) / 2));
    }
};

// The zoom cursor: a magnifier of 32 x 32 scaled units.
QCursor ZoomCursor()
{
    const int size = std::max(16, Scaled(32));
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = size * 0.58;
    const QRectF lens(size * 0.06, size * 0.06, d, d);
    p.setPen(QPen(Qt::black, size / 8.0));
    p.drawEllipse(lens);
    p.drawLine(QPointF(lens.right() - d * 0.12, lens.bottom() - d * 0.12),
               QPointF(size * 0.92, size * 0.92));
    p.setPen(QPen(Qt::white, size / 16.0));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(lens);
    p.drawLine(QPointF(lens.right() - d * 0.12, lens.bottom() - d * 0.12),
               QPointF(size * 0.9, size * 0.9));
    p.drawLine(QPointF(lens.center().x() - d * 0.25, lens.center().y()),
               QPointF(lens.center().x() + d * 0.25, lens.center().y()));
    p.drawLine(QPointF(lens.center().x(), lens.center().y() - d * 0.25),
               QPointF(lens.center().x(), lens.center().y() + d * 0.25));
    p.end();
    return QCursor(pm, static_cast<int>(lens.center().x()), static_cast<int>(lens.center().y()));
}
}  // namespace

CdedoradeDlg::CdedoradeDlg(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_options(std::move(options))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setObjectName(QStringLiteral("CdedoradeDlg"));
    setMouseTracking(true);
    m_applyResizeTimer.setSingleShot(true);
    connect(&m_applyResizeTimer, &QTimer::timeout, this, &CdedoradeDlg::ApplyResize);
    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, [this] { OnVideoClick(m_clickPoint); });
    m_reportTimer.setSingleShot(true);
    m_reportTimer.setInterval(3000);
    connect(&m_reportTimer, &QTimer::timeout, this, &CdedoradeDlg::FinishReportStep);
    // The update text, once the check delivered it, is shown in its own dialog.
    connect(this, &CdedoradeDlg::updateTextReady, this,
            [](const QString& text) { CUpdateDialog::ShowText(text); });
    m_playClock.setInterval(30);
    connect(&m_playClock, &QTimer::timeout, this, &CdedoradeDlg::PlayClockTick);
    InitDialog();
}

CdedoradeDlg::~CdedoradeDlg()
{
    qApp->removeEventFilter(this);
    Shutdown();
    delete m_outline;
    delete m_movieDialog;
}

QFrame* CdedoradeDlg::makePane(const QString& name)
{
    auto* pane = new QFrame(this);
    pane->setObjectName(name);
    pane->setFrameShape(QFrame::Box);
    pane->setAutoFillBackground(true);
    QPalette p = pane->palette();
    p.setColor(QPalette::Window, kBackground.darker(125));
    p.setColor(QPalette::WindowText, kPaneFrame);
    pane->setPalette(p);
    return pane;
}

void CdedoradeDlg::InitDialog()
{
    // The UI text row comes first: every text set below is read from it.
    chooseUiTextRow();

    // Scales and shared fonts; the start-up folder (the viewer's configuration folder) is
    // recorded only when they could be made, and it locates the configuration file for the
    // life of the process.
    if (ComputeScalesAndFonts(this))
        UseViewerConfigFolder();
    if (const QScreen* scr = screen())
        m_lastWorkArea = scr->availableGeometry();
    setAcceptDrops(true);  // a card, folder or movie dropped on the window opens as the source

    setWindowTitle(QStringLiteral("Ravir viewer"));

    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    pal.setColor(QPalette::WindowText, kText);
    setPalette(pal);
    setAutoFillBackground(true);
    setFont(SharedFont(kFont10));

    // Panes; the subsystems that own them replace these frames with their windows.
    m_video = makePane(QStringLiteral("video"));
    m_video->setStyleSheet(QStringLiteral("background: black;"));
    m_video->installEventFilter(this);
    qApp->installEventFilter(this);  // the window's keys, whichever child has the focus
    m_positionSlider = makePane(QStringLiteral("positionSlider"));
    m_infoPanel = makePane(QStringLiteral("infoPanel"));
    m_graph = makePane(QStringLiteral("graph"));
    m_fileBrowser = makePane(QStringLiteral("fileBrowser"));
    m_volumeSlider = makePane(QStringLiteral("volumeSlider"));
    const std::array<int, kTransportButtonCount> tooltips{
        TXT_FIRST, TXT_PREVIOUS, TXT_PLAY, TXT_SLOW, TXT_FAST_FORWARD, TXT_NEXT,
        TXT_STILL_IMAGE, TXT_SAVE_JOINED, TXT_ZOOM, TXT_BROWSE, TXT_DELETE, TXT_SETTINGS,
        TXT_CSV, TXT_SWITCH_MAP};
    for (int i = 0; i < kTransportButtonCount; ++i) {
        QFrame* button = makePane(QStringLiteral("transport%1").arg(cmd::kFirst + i));
        button->setToolTip(text(tooltips[static_cast<size_t>(i)]));
        m_transport.push_back(button);
    }
    CreateControls();

    m_browser = new CFilerContainerDlg(m_catalogue, this);
    connect(m_browser, &CFilerContainerDlg::recordingChosen, this, [this](const RecordingRecord& r) {
        if (!m_shutDown && m_sequencer)
            m_sequencer->rowChosen(m_browser->listCtrl()->playingRow(), r);
    });
    // A folder without recordings, or kind buttons that leave the list empty: nothing of the
    // list plays any more and the panes are cleared. (A folder change that continues playback
    // moves on to the next folder by itself.)
    connect(m_browser, &CFilerContainerDlg::folderScanned, this, [this](int) {
        if (m_browser->rowCount() == 0)
            OnListEmptied();
    });
    connect(m_browser, &CFilerContainerDlg::kindFilterChanged, this, [this](bool listEmpty) {
        if (listEmpty)
            OnListEmptied();
    });
    // Zoom mode shows its hint in place of the file list.
    m_zoomNotice = new QLabel(text(TXT_MSG_ZOOM_MODE), this);
    m_zoomNotice->setObjectName(QStringLiteral("zoomNotice"));
    m_zoomNotice->setAlignment(Qt::AlignCenter);
    m_zoomNotice->setWordWrap(true);
    m_zoomNotice->setAutoFillBackground(true);
    m_zoomNotice->hide();

    // The detached view window: a top-level tool window of its own, shown by the map command.
    m_movieDialog = new CMovieDialog(nullptr);
    m_movieDialog->setWindowTitle(text(TXT_MAP));
    connect(m_movieDialog, &CMovieDialog::placeBesideMainRequested, this,
            &CdedoradeDlg::PlaceMovieDialog);
    connect(m_movieDialog, &CMovieDialog::painted, this, [this] {
        if (m_slotReady[0] && m_movieReady)
            m_players[0]->Relayout();
    });

    // First run: the three display values, only when the configuration file is new.
    WriteFirstRunValues();

    m_hwDecode = ReadHwDecode();
    m_aspectKeep = ReadAspectKeep();
    m_volume = ReadVolume();
    InitPlayers();
    InitParts();
    ResetZoom();

    // Window size: the design size times the remembered scale factors (values of 0 or less
    // are ignored), at least the design size, at most the largest enlargement of the screen
    // and never more than the screen's work area holds, so that the caption and the title-bar
    // buttons are on the screen (and the factors written back are ones the window can have).
    m_scaleX = static_cast<float>(ReadScale(ini::kScaleX, 1.0));
    m_scaleY = static_cast<float>(ReadScale(ini::kScaleY, 1.0));
    const float maxScale = maxEnlargement();
    m_scaleX = std::clamp(m_scaleX, 1.0f, maxScale);
    m_scaleY = std::clamp(m_scaleY, 1.0f, maxScale);
    const QSize design = DesignSize(LayoutScale());
    FitFactorsToScreen(design);
    setMinimumSize(design);
    setMaximumSize(static_cast<int>(static_cast<float>(design.width()) * maxScale),
                   static_cast<int>(static_cast<float>(design.height()) * maxScale));
    resize(static_cast<int>(static_cast<float>(design.width()) * m_scaleX),
           static_cast<int>(static_cast<float>(design.height()) * m_scaleY));
    m_normalRect = geometry();
    m_movieDialog->LayOut();
    LayOut();

    m_initialised = true;
    // Deferred start once the window is shown and the event loop runs.
    QMetaObject::invokeMethod(this, &CdedoradeDlg::DeferredStart, Qt::QueuedConnection);
}

void CdedoradeDlg::FitFactorsToScreen(QSize design)
{
    const QScreen* scr = screen();
    if (!scr)
        return;
    const QRect area = scr->availableGeometry();
    m_scaleX = std::min(m_scaleX, FittingFactor(area.width(), design.width()));
    m_scaleY = std::min(m_scaleY, FittingFactor(area.height(), design.height()));
}

float CdedoradeDlg::maxEnlargement() const
{
    const QScreen* scr = screen();
    const float value =
        scr ? MaxEnlargement(scr->geometry().width(), LayoutScale()) : kMaxEnlargementCap;
    return std::max(1.0f, value);
}

void CdedoradeDlg::InitPlayers()
{
    // Slot 0 (main camera) draws into the video surface; slot 1 (sub camera) has no window and
    // decodes in step. A slot whose engine cannot start stays uninitialised and is skipped.
    m_surface = new DualVideoSurface(m_video);
    m_surface->setObjectName(QStringLiteral("dualSurface"));
    m_surface->setGeometry(m_video->rect());
    m_surface->setLayoutScale(LayoutScale());
    m_presenter = m_surface->mainPresenter();
    for (QWidget* w : {static_cast<QWidget*>(m_surface), static_cast<QWidget*>(m_presenter),
                       static_cast<QWidget*>(m_surface->subPresenter())})
        w->installEventFilter(this);
    for (int slot = 0; slot < 2; ++slot) {
        auto player = std::make_unique<Player>(this);
        const bool ok = player->InitPlayer(slot, slot == 0 ? m_presenter : m_surface->subPresenter(),
                                           text(TXT_FONT_FACE), {},
                                           slot == 0 ? nullptr : m_players[0].get());
        m_slotReady[static_cast<size_t>(slot)] = ok;
        m_players[static_cast<size_t>(slot)] = std::move(player);
    }
    // The players report from the event loop; the window never waits for them.
    connect(m_players[0].get(), &Player::movieOpened, this, [this] { OnMovieOpened(0); });
    connect(m_players[1].get(), &Player::movieOpened, this, [this] { OnMovieOpened(1); });
    connect(m_players[0].get(), &Player::openFailed, this, [this] {
        m_movieReady = false;
        m_opening = false;
        m_playRequest = false;
        if (!m_shutDown && m_sequencer)
            m_sequencer->movieFailed();
    });
    // The end of the main camera's movie moves on to the next recording.
    connect(m_players[0].get(), &Player::presentationEnded, this, [this] {
        if (!m_shutDown && m_sequencer)
            m_sequencer->endOfRecording();
    });
    m_surface->setPlayers(m_players[0].get(), m_slotReady[1] ? m_players[1].get() : nullptr);
    m_sync = new CameraSync(this);
    if (m_slotReady[1])
        m_sync->setPlayers(m_players[0].get(), m_players[1].get());
    m_catalogue.setEnginesReady(m_slotReady[0]);
    if (m_slotReady[0]) {
        m_players[0]->SetHardwareDecode(m_hwDecode ? 1 : 0);
        m_players[0]->SetVolume(m_volume);
    }
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->SetAspectMode(m_aspectKeep ? 1 : 0);
    }
    // Released in the shutdown routine: pause, stop, reset the current recording, then each
    // initialised slot.
    addShutdownStep(QStringLiteral("players"), [this] {
        for (int slot = 0; slot < 2; ++slot) {
            if (m_slotReady[static_cast<size_t>(slot)]) {
                m_players[static_cast<size_t>(slot)]->Pause();
                m_players[static_cast<size_t>(slot)]->Stop();
            }
        }
        m_playing = false;
        m_playRequest = false;
        m_movieReady = false;
        m_opening = false;
        m_currentPath.clear();
        for (int slot = 0; slot < 2; ++slot) {
            if (m_slotReady[static_cast<size_t>(slot)]) {
                m_slotReady[static_cast<size_t>(slot)] = false;
                m_players[static_cast<size_t>(slot)]->ShutdownPlayer();
            }
        }
    });
}

void CdedoradeDlg::InitParts()
{
    // The list commands run as the window's background task with the skinned progress bar.
    m_tasks = new TaskRunner(this);
    m_commands = new CListCommands(m_catalogue, *m_tasks, this, this);
    m_commands->setProgressBar(m_progressCtrl);
    m_commands->setBeforeTask([this](int command) {
        // Playback pauses while the task runs; the deletion closes the recording, so that no
        // file of it is held, the joined save rewinds it, the export comes back to where it was.
        if (m_playing)
            TogglePlay();
        StopPrefetch(m_players[0]->state().telemetry);
        m_restoreFrame = -1;
        m_rewindAfterTask = false;
        if (command == cmd::kDelete) {
            CloseRecording(true);  // opened again after the task, unless the deletion changed the list
        } else if (command == cmd::kSaveJoined) {
            m_rewindAfterTask = true;
            SeekAll(0);
        } else {
            // The export holds no file of the source open; the frame comes back afterwards.
            m_restoreFrame = std::max(0, m_shownFrame);
            CloseRecording(true);
        }
    });
    connect(m_commands, &CListCommands::taskFinished, this,
            [this](int command, bool changed) { OnTaskFinished(command, changed); });
    connect(m_commands, &CListCommands::sourceReopened, this, [this] { OnDeletionFinished(); });
    addShutdownStep(QStringLiteral("background task"), [this] {
        m_tasks->abandon();
        m_tasks->wait();
    });

    m_settings = new CSettingDlg(this);

    // The graph and the panel fill their panes.
    m_graphView = new CGSensorDlg(m_graph);
    m_graphView->setObjectName(QStringLiteral("graphView"));
    m_infoView = new CInfoDlg(m_infoPanel);
    m_infoView->setObjectName(QStringLiteral("infoView"));
    for (auto [pane, view] : {std::pair<QFrame*, QWidget*>{m_graph, m_graphView},
                              std::pair<QFrame*, QWidget*>{m_infoPanel, m_infoView}}) {
        pane->setFrameShape(QFrame::NoFrame);  // the view draws its own edge
        auto* box = new QVBoxLayout(pane);
        box->setContentsMargins(0, 0, 0, 0);
        box->addWidget(view);
    }
    m_graphView->setScales(LayoutScale(), FontScale());
    m_infoView->setScales(LayoutScale(), FontScale());
    connect(m_infoView, &CInfoDlg::axisKindToggled, m_graphView, &CGSensorDlg::setAxisKindShown);
    connect(m_settings, &CSettingDlg::kindSwitchChanged, m_graphView,
            &CGSensorDlg::setSettingsKindShown);
    connect(m_graphView, &CGSensorDlg::markerKindsChanged, this, [this] {
        if (m_mapView)  // the map's event icons are the graph's markers
            m_mapView->setMarkerKinds(m_graphView->markerKinds());
        update();
    });
    connect(m_graphView, &CGSensorDlg::previousEventPointRequested, this,
            [this] { JumpToEventPoint(false); });
    connect(m_graphView, &CGSensorDlg::nextEventPointRequested, this,
            [this] { JumpToEventPoint(true); });
    InitSequencing();

    m_still = new CStillCapture(this, this);
    m_still->setWindowHooks([this] {
        if (m_playing)
            TogglePlay();
    }, [this] { RefreshControlStates(); });
}

void CdedoradeDlg::UpdateMap()
{
    if (m_shutDown || !m_mapShown || !m_recordingReady || m_mapHasRecording)
        return;
    const TelemetrySnapshot& snap = m_graphView->telemetry();
    const bool hasPosition = snap && std::any_of(snap->gps.begin(), snap->gps.end(),
                                                 [](const GpsSample& g) { return IsUsableFix(g); });
    // Qt WebEngine needs a display: without one (the offscreen platform) the placeholder stays.
    if (!hasPosition || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        m_mapShell.pageUnavailable = hasPosition;
        RefreshMapShell();
        return;
    }
    if (!m_mapView) {
        // Qt WebEngine starts only once a map is wanted.
        m_mapView = new map::CMapView(m_movieDialog);
        m_mapView->setObjectName(QStringLiteral("mapView"));
        m_movieDialog->setMapWidget(m_mapView);
        connect(m_mapView, &map::CMapView::eventClicked, this, [this](int frame) { SeekTo(frame); });
        m_mapView->setMarkerKinds(m_graphView->markerKinds());
        connect(m_mapView, &map::CMapView::pageReady, this, [this] {
            m_mapShell.pageReady = true;
            RefreshMapShell();
        });
    }
    {
        TelemetrySlots& slots = m_players[0]->state().telemetry;
        std::lock_guard<std::recursive_mutex> hold(slots.movieData1);
        m_mapView->setRecording(slots.current, std::max(0, m_browser->listCtrl()->playingRow()),
                                slots.allRecordingsTrack, true);
    }
    m_mapHasRecording = true;
    m_mapShell.pageReady = m_mapView->isPageReady();
    m_mapView->setFrame(std::max(0, m_shownFrame));
    m_mapToldState = -1;
    FollowMapPlayState();
    RefreshMapShell();
}

void CdedoradeDlg::ReportCommand()
{
    if (!m_movieReady || transportBlocked() || m_reportTimer.isActive())
        return;
    if (m_playing)
        TogglePlay();
    m_reportFolder = ChooseReportFolder(this, m_reportChooser);
    if (m_reportFolder.isEmpty())
        return;
    m_reportTimer.start();
}

void CdedoradeDlg::FinishReportStep()
{
    if (m_shutDown || !m_movieReady)
        return;
    // The report follows the still's rule: only the frame the engine really holds (its own
    // position, as the still takes it), decoded; a seek under way or a position past the
    // movie's data is refused by the capture.
    QString why;
    Player& main = *m_players[0];
    const int frame = main.PendingSeekFrame() >= 0 ? main.PendingSeekFrame() : main.GetCurrentFrame();
    const QImage mainFrame = m_slotReady[0] ? main.CaptureFrame(frame, &why) : QImage();
    const QImage windowPicture = grab().toImage();
    const QSize mapSize(Scaled(452), Scaled(368));
    const bool mapShowsPosition = m_mapView && m_mapHasRecording && m_mapView->isVisible() &&
                                  m_mapView->isOnline() && !m_mapView->isPlaceholderShown();
    QImage mapPicture;
    if (mapShowsPosition) {
        mapPicture = m_mapView->grab().toImage();
    } else if (const TelemetrySnapshot snap = m_graphView->telemetry()) {
        // The map window is hidden (or has no page yet): a frame with a fix still gets its
        // position, on the recording's track drawn without map tiles, as `ravir report` draws it.
        const AccelSample* sample = snap->sampleAt(frame);
        const GpsSample* fix = sample ? snap->gpsOf(*sample) : nullptr;
        if (fix && IsUsableFix(*fix))
            mapPicture = DrawReportTrack(snap->gps, *fix, mapSize);
    }
    if (mapPicture.isNull())
        mapPicture = ReportMapPlaceholder(mapSize);
    const ReportResult result =
        FinishReport(this, m_reportFolder, mainFrame, windowPicture, mapPicture, LayoutScale(),
                     QFileInfo(m_currentPath).fileName(),
                     m_graphView->telemetry() ? m_graphView->telemetry()->gps
                                              : std::vector<GpsSample>());
    Q_EMIT reportFinished(result.ok(), result.reportPath);
}

// ---- Desktop media controls -------------------------------------------------------------------

MprisState CdedoradeDlg::mprisState() const
{
    MprisState st;
    if (!m_slotReady[0] || !m_movieReady)
        return st;
    const Player& main = *m_players[0];
    const double frameUs = static_cast<double>(main.GetFrameMs()) * 1000.0;
    st.hasMovie = true;
    st.status = m_playing ? MprisState::Status::Playing
                          : (main.state().playState == kPaused ? MprisState::Status::Paused
                                                               : MprisState::Status::Stopped);
    st.positionUs = static_cast<qint64>(std::max(0, m_shownFrame) * frameUs);
    st.lengthUs = static_cast<qint64>(static_cast<double>(main.GetFrameCount()) * frameUs);
    st.rate = SpeedForRateCode(main.state().rateCode);
    st.volume = m_volume / 65535.0;
    st.moviePath = m_currentPath;
    const int row = m_browser ? m_browser->listCtrl()->playingRow() : -1;
    st.canGoNext = row >= 0 && row + 1 < m_browser->rowCount();
    st.canGoPrevious = true;
    return st;
}

void CdedoradeDlg::mprisPlay()
{
    if (!m_playing)
        DispatchCommand(cmd::kPlay);
}

void CdedoradeDlg::mprisPause()
{
    if (m_playing)
        DispatchCommand(cmd::kPlay);
}

void CdedoradeDlg::mprisStop() { DispatchCommand(cmd::kStop); }
void CdedoradeDlg::mprisNext() { DispatchCommand(cmd::kNext); }
void CdedoradeDlg::mprisPrevious() { DispatchCommand(cmd::kPrevious); }

void CdedoradeDlg::mprisSeek(qint64 positionUs)
{
    if (!m_slotReady[0] || !m_movieReady || m_players[0]->GetFrameMs() <= 0)
        return;
    SeekTo(static_cast<int>(static_cast<double>(positionUs) / 1000.0 / m_players[0]->GetFrameMs()));
    if (m_mpris)
        m_mpris->seeked();
}

void CdedoradeDlg::mprisSetRate(double rate)
{
    if (!m_slotReady[0] || !m_movieReady)
        return;
    const double r = NearestMprisRate(rate);
    const int code = r <= 0.25 ? -4 : r <= 0.5 ? -2 : r <= 1.0 ? 1 : r <= 2.0 ? 2 : 4;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)] && m_players[static_cast<size_t>(slot)]->IsReady())
            m_players[static_cast<size_t>(slot)]->SetRate(code);
    }
    RefreshControlStates();
}

void CdedoradeDlg::mprisSetVolume(double volume)
{
    m_volume = static_cast<int>(std::clamp(volume, 0.0, 1.0) * 65535.0);
    if (m_volumeCtrl)
        m_volumeCtrl->setPosition(m_volume);
    if (m_slotReady[0])
        m_players[0]->SetVolume(m_volume);
    RefreshControlStates();
}

void CdedoradeDlg::mprisRaise()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void CdedoradeDlg::JumpToEventPoint(bool next)
{
    const TelemetrySnapshot& snap = m_graphView->telemetry();
    if (!snap || !m_movieReady)
        return;
    const std::vector<EventPoint> points = BuildEventPoints(*snap, m_graphView->markerKinds());
    const int frame = EventJumpFrame(points, m_graphView->markerKinds(), m_graphView->currentFrame(),
                                     static_cast<int>(m_players[0]->GetFrameCount()), next);
    if (frame >= 0)
        SeekTo(frame);
}

void CdedoradeDlg::OnListEmptied()
{
    if (m_shutDown || (m_sequencer && m_sequencer->continuingFolder()))
        return;
    if (m_currentPath.isEmpty() && !m_movieReady && !m_opening)
        return;
    if (m_playing)
        TogglePlay();
    if (m_slotReady[0])
        StopPrefetch(m_players[0]->state().telemetry);
    CloseRecording();
    RefreshMapShell();
    m_surface->update();
}

void CdedoradeDlg::CloseRecording(bool keepCurrent)
{
    m_playClock.stop();
    if (m_sequencer)
        keepCurrent ? m_sequencer->suspend() : m_sequencer->reset();
    m_recordingReady = false;
    m_graphView->clearTelemetry();
    m_infoView->reset();
    if (m_mapView && m_mapHasRecording)
        m_mapView->clearRecording();
    m_mapHasRecording = false;
    m_mapToldState = -1;
    m_mapShell.hasPosition = false;
    m_telemetryBytes = 0;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)]) {
            m_players[static_cast<size_t>(slot)]->Stop();
            m_players[static_cast<size_t>(slot)]->CloseMovie();
        }
    }
    m_playing = false;
    if (m_buttons[2])
        m_buttons[2]->setAlternate(false);
    m_playRequest = false;
    m_movieReady = false;
    m_opening = false;
    m_pendingSteps = 0;
    m_currentPath.clear();
    // The list no longer has an open row: choosing any row, the last one included, opens it.
    if (m_browser)
        m_browser->listCtrl()->clearOpenRecording();
    m_pendingFrame = -1;
    m_shownFrame = -1;
    if (m_positionCtrl) {
        m_positionCtrl->setRange(0, 0);
        m_positionCtrl->setPosition(0);
    }
    RefreshControlStates();
}

void CdedoradeDlg::BrowseCommand()
{
    if (m_shutDown || (m_commands && m_commands->busy()))
        return;
    ResetWindow();
    CSourceOpenDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted &&
        OpenChosenSource(m_catalogue, dlg.chosenSourceMode(), dlg.chosenPath(), this)) {
        m_csvAvailable = m_catalogue.mode() == SourceMode::Drive && !m_catalogue.shownRecords().empty();
        m_infoView->setTraceSwitch(TraceSwitchFor(m_catalogue.mode(), m_catalogue.sourcePath()));
        RememberSourceDevice();
        m_browser->reload();
        if (m_browser->rowCount() > 0)
            m_browser->setCurrentRow(0);
    }
    RefreshControlStates();
}

void CdedoradeDlg::SettingsCommand()
{
    if (!m_shutDown && m_settings)
        m_settings->showCentredOn(this);
}

void CdedoradeDlg::StillCommand()
{
    if (!m_slotReady[0] || !m_movieReady || transportBlocked() || m_still->busy())
        return;
    Player* sub = m_slotReady[1] && m_players[1]->IsReady() ? m_players[1].get() : nullptr;
    m_still->Capture(m_players[0].get(), sub, QFileInfo(m_currentPath).fileName());
}

bool CdedoradeDlg::OpenStartupSource()
{
    if (!m_options.source.isEmpty())
        return OpenSourcePath(m_options.source);  // the path given on the command line
    const bool opened = ChooseStartupSource(m_catalogue);
    if (opened)
        RememberSourceDevice();
    m_browser->reload();
    if (opened && m_browser->rowCount() > 0)
        m_browser->setCurrentRow(0);  // chosen: opened through recordingChosen, row marked
    return opened;
}

int CdedoradeDlg::SubFrameFor(int mainFrame) const
{
    const Player& main = *m_players[0];
    const Player& sub = *m_players[1];
    if (main.GetFrameMs() <= 0 || sub.GetFrameMs() <= 0)
        return mainFrame;
    // The sub camera follows at the same time, in its own frame numbers.
    return static_cast<int>(mainFrame * (static_cast<double>(main.GetFrameMs()) / sub.GetFrameMs()));
}

void CdedoradeDlg::TogglePlay()
{
    if (!m_slotReady[0])
        return;
    if (!m_movieReady) {
        // Play pressed while the recording opens: honoured when it is ready.
        if (m_sequencer)
            m_sequencer->playPressed();
        return;
    }
    m_playing = !m_playing;
    // The engine shows a frame or two more after the pause: the play clock follows it until
    // it rests, so that the views name the frame on screen.
    m_settleTicks = m_playing ? 0 : kSettleTicks;
    if (m_playing && m_sequencer)
        m_sequencer->playPressed();  // a playing recording moves on at its end
    if (m_buttons[2])
        m_buttons[2]->setAlternate(m_playing);
    if (m_mpris && m_mpris->isRunning())
        m_mpris->refresh();
    for (int slot = 0; slot < 2; ++slot) {
        if (!m_slotReady[static_cast<size_t>(slot)])
            continue;
        Player& p = *m_players[static_cast<size_t>(slot)];
        m_playing ? p.Play() : p.Pause();
    }
    FollowMapPlayState();
}

void CdedoradeDlg::StepFrames(int delta)
{
    if (!m_slotReady[0] || !m_movieReady)
        return;
    if (m_playing)
        TogglePlay();
    Player& main = *m_players[0];
    // Steps count from where the latest seek goes, so that quick key presses add up.
    const int from = main.PendingSeekFrame() >= 0 ? main.PendingSeekFrame() : main.GetCurrentFrame();
    const long long last = main.GetFrameCount() - 1;
    const int frame = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(from) + delta, 0, std::max(0LL, last)));
    SeekAll(frame);
}

void CdedoradeDlg::SeekTo(int target)
{
    if (!m_slotReady[0] || !m_movieReady || !m_positionCtrl)
        return;
    // The engine is never sent into the last frames (where the next recording is about to
    // open); the views show the target itself.
    const int maximum = m_positionCtrl->maximum();
    const int view = ViewFrame(target, m_positionCtrl->minimum(), maximum);
    SeekEngines(std::min(EngineSeekFrame(target, maximum, rateCode()), std::max(0, maximum - 1)));
    MoveViewsTo(view);
    m_pendingFrame = view;
}

void CdedoradeDlg::SeekAll(int frame)
{
    if (!m_slotReady[0] || !m_movieReady)
        return;
    Player& main = *m_players[0];
    const long long last = std::max(0LL, main.GetFrameCount() - 1);
    frame = static_cast<int>(std::clamp<long long>(frame, 0, last));
    SeekEngines(frame);
    MoveViewsTo(frame);
    m_pendingFrame = frame;  // the views keep the target until the engine has caught up
}

void CdedoradeDlg::SeekEngines(int frame)
{
    Player& main = *m_players[0];
    if (m_playing)
        main.SeekPlaying(frame);
    else
        main.SeekFrame(frame);
    if (m_slotReady[1] && m_players[1]->IsReady()) {
        if (m_playing)
            m_players[1]->SeekPlaying(SubFrameFor(frame));
        else
            m_players[1]->SeekFrame(SubFrameFor(frame));
    }
}

int CdedoradeDlg::rateCode() const
{
    return m_slotReady[0] ? m_players[0]->state().rateCode : 1;
}

void CdedoradeDlg::PlayClockTick()
{
    if (m_shutDown || !m_slotReady[0] || !m_movieReady)
        return;
    Player& main = *m_players[0];
    const int state = main.state().playState;
    FollowMapPlayState();  // whatever changed the play state, the map hears of it
    if (state == kPlaying && m_slotReady[1] && m_players[1]->IsReady())
        m_sync->tick();
    // The buttons follow the engine's own state: play, pause and rate changes land after the
    // command, and near the end of a playing recording the controls are off until it is over.
    const ControlsShownFor now{state, rateCode(), nearEndBlocked()};
    if (now != m_controlsShownFor) {
        m_controlsShownFor = now;
        RefreshControlStates();
    }
    if (state != kPlaying && m_pendingFrame < 0) {
        if (m_settleTicks > 0 && !m_sliderHeld) {
            --m_settleTicks;
            const int rest = main.GetCurrentFrame();
            if (rest >= 0 && rest != m_shownFrame)
                MoveViewsTo(rest);
        }
        return;
    }
    const int f = main.GetCurrentFrame();
    if (f < 0)
        return;
    if (state == kPlaying && f > 0) {
        // A frame that has not moved for about a second of ticks: nudge the engine on.
        if (f == m_clockFrame) {
            if (++m_stuckTicks > kStallTicks) {
                m_stuckTicks = 0;
                SeekAll(f - 1);
                return;
            }
        } else {
            m_stuckTicks = 0;
            m_clockFrame = f;
        }
    }
    if (m_pendingFrame >= 0) {
        // After a seek the views keep the target until the engine's position reaches it.
        if (!PendingWindowAccepts(f, m_pendingFrame, main.GetFrameCount()) ||
            main.PendingSeekFrame() >= 0)
            return;
        m_pendingFrame = -1;
        if (state != kPlaying)
            return;  // paused on the target: the views show it already
    }
    MoveViewsTo(f);
}

void CdedoradeDlg::MoveViewsTo(int frame)
{
    if (!m_positionCtrl)
        return;
    const int maximum = m_positionCtrl->maximum();
    frame = std::max(m_positionCtrl->minimum(), std::min(frame, maximum - 1));
    m_shownFrame = frame;
    m_positionCtrl->setPosition(frame);
    FollowRate(m_infoView, m_slotReady[0] ? rateCode() : 0);
    if (m_recordingReady) {
        m_graphView->setFrame(frame);
        m_infoView->setFrame(frame);
        if (m_mapView && m_mapHasRecording)
            m_mapView->setFrame(frame);
    }
    FollowMapPosition(frame);
}

void CdedoradeDlg::PlayPauseCommand()
{
    const bool wasPlaying = m_playing;
    TogglePlay();
    if (!wasPlaying || m_playing)
        return;
    // A pause sets the recording's default rate, as the first-frame command does.
    ApplyDefaultRate();
    RefreshControlStates();
}

void CdedoradeDlg::ApplyDefaultRate()
{
    const int rate = DefaultRateFor(m_currentPath);
    for (int slot = 0; slot < 2; ++slot) {
        Player& p = *m_players[static_cast<size_t>(slot)];
        if (m_slotReady[static_cast<size_t>(slot)] && p.IsReady() && p.state().rateCode != rate)
            p.SetRate(rate);
    }
}

void CdedoradeDlg::StopCommand()
{
    // While a list command runs, the first-frame button stops it at its next check.
    if (m_tasks && m_tasks->busy()) {
        m_commands->stop();
        return;
    }
    if (!m_slotReady[0] || !m_movieReady || transportBlocked())
        return;
    if (m_playing)
        TogglePlay();
    ApplyDefaultRate();
    SeekAll(0);
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->Stop();
    }
    FollowMapPlayState();
    RefreshControlStates();
}

void CdedoradeDlg::GoToRecording(int delta)
{
    if (!m_browser || m_shutDown || backgroundTaskRunning() || !m_sequencer->hasRecording())
        return;
    if (m_opening) {
        // Every press counts while a recording opens. Before its open delay has run out nothing
        // of it is open: the list moves on at once and the delay starts again for the row
        // chosen now, so that only the last one chosen is opened. Once the movies are being
        // opened the press is kept and carried out as soon as that open has come to an end.
        if (m_sequencer->openDelayTimer().isActive())
            StepRecording(delta);
        else
            m_pendingSteps += delta;
        return;
    }
    if (nearEndBlocked())
        return;
    if (m_playing)
        TogglePlay();
    StepRecording(delta);
}

void CdedoradeDlg::StepRecording(int delta)
{
    if (delta > 0) {
        // The next row, after the last one the next folder, after the last folder the current
        // recording again, stopped.
        m_sequencer->nextCommand();
    } else if (!m_sequencer->previousCommand() && !m_opening) {
        StopCommand();  // the first recording: back to its start
    }
}

void CdedoradeDlg::ApplyPendingSteps()
{
    // Queued: the open that just ended has finished its own handling first.
    if (m_pendingSteps == 0)
        return;
    QMetaObject::invokeMethod(this, [this] {
        int steps = std::exchange(m_pendingSteps, 0);
        if (m_shutDown || backgroundTaskRunning() || !m_sequencer || !m_sequencer->hasRecording())
            return;
        if (m_playing)
            TogglePlay();
        while (steps != 0) {
            const int step = steps > 0 ? 1 : -1;
            StepRecording(step);
            steps -= step;
        }
    }, Qt::QueuedConnection);
}

void CdedoradeDlg::ChangeRate(bool faster)
{
    if (!m_slotReady[0] || !m_movieReady || transportBlocked())
        return;
    const int current = rateCode();
    const int next = m_playing ? NextRateCode(current, faster) : 1;
    if (next == current)
        return;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)] && m_players[static_cast<size_t>(slot)]->IsReady())
            m_players[static_cast<size_t>(slot)]->SetRate(next);
    }
    RefreshControlStates();
}

void CdedoradeDlg::DeferredStart()
{
    if (m_shutDown || m_started)
        return;
    m_started = true;
    // The remembered normal rectangle follows the window to where it was shown.
    if (!isMaximized() && !m_fullScreen)
        m_normalRect.moveTo(pos());
    // The map window is placed beside the main window when it is first shown: by then the
    // window manager has put the main window where it stays.
    const bool opened = OpenStartupSource();
    m_csvAvailable = opened && m_catalogue.mode() == SourceMode::Drive &&
                     !m_catalogue.shownRecords().empty();
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)]) {
            m_players[static_cast<size_t>(slot)]->SetAspectMode(m_aspectKeep ? 1 : 0);
            m_players[static_cast<size_t>(slot)]->Relayout();
        }
    }
    RefreshControlStates();
    RefreshMapShell();

    StartUpdateCheck();

    // The desktop media controls; without a session bus the viewer carries on without them.
    m_mpris = new MprisService(this, this);
    m_mpris->start();
    addShutdownStep(QStringLiteral("media controls"), [this] { m_mpris->stop(); });

    m_infoView->setTraceSwitch(opened && TraceSwitchFor(m_catalogue.mode(), m_catalogue.sourcePath()));
    m_thumbnail = ReadThumbnail();
    m_browser->setThumbnailMode(m_thumbnail);
    Q_EMIT thumbnailModeChanged(m_thumbnail);
    Q_EMIT deferredStartDone();
}

void CdedoradeDlg::StartUpdateCheck()
{
    // Only when the deployment names the maker's host; the worker never touches a window and
    // its text reaches the window through a queued signal.
    if (ReadUpdateHost().isEmpty())
        return;
    m_update = new CInetConnectionAsync(this);
    connect(m_update, &CInetConnectionAsync::textReady, this, [this] {
        if (m_shutDown || !m_update)
            return;
        m_updateText = m_update->updateText();
        if (!m_updateText.isEmpty())
            Q_EMIT updateTextReady(m_updateText);
    }, Qt::QueuedConnection);
    const RecorderInfo& info = m_catalogue.recorderInfo();
    // The GPS data version is the six-digit number the recorder writes after its telemetry.
    m_update->StartUpdateCheck(info.version, info.number, info.downloadKey);
}

bool CdedoradeDlg::updateCheckStarted() const
{
    return m_update && m_update->isStarted();
}

void CdedoradeDlg::RefreshControlStates()
{
    ApplyControlEnables();
    FollowRate(m_infoView, m_slotReady[0] ? rateCode() : 0);
    if (m_mpris && m_mpris->isRunning())
        m_mpris->refresh();
    Q_EMIT controlStatesChanged();
}

ControlState CdedoradeDlg::controlState() const
{
    ControlState s;
    s.sourceOpen = m_catalogue.mode() != SourceMode::None;
    s.rows = m_browser ? m_browser->rowCount() : 0;
    s.currentIndex = m_sequencer ? m_sequencer->currentRow() : -1;
    if (m_slotReady[0] && m_movieReady) {
        const int state = m_players[0]->state().playState;
        s.main = state == kPlaying  ? ControlState::Main::Playing
                 : state == kPaused ? ControlState::Main::Paused
                                    : ControlState::Main::ClosedOrStopped;
        s.rateCode = rateCode();
    }
    s.telemetryLoaded = m_recordingReady;
    s.sourceMode = static_cast<int>(m_catalogue.mode());
    s.csvAvailable = m_csvAvailable;
    s.opening = m_opening;
    s.openFailed = m_sequencer && m_sequencer->lastOpenFailed();
    s.openError = s.openFailed && m_sequencer->lastFailResult() != 2;
    s.nearEndBlocked = nearEndBlocked();
    s.taskRunning = backgroundTaskRunning();
    return s;
}

void CdedoradeDlg::ApplyControlEnables()
{
    if (m_shutDown)
        return;
    const ControlEnables e = RefreshControls(controlState());
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i])
            m_buttons[i]->setEnabled(e.transport[i]);
    }
    for (CSkinButton* b : {m_closeButton, m_maximiseButton, m_minimiseButton, m_thumbnailButton}) {
        if (b)
            b->setEnabled(e.titleBar);
    }
    if (m_browser)
        m_browser->setBrowserEnabled(e.browser);
    if (m_infoView)
        m_infoView->setEnabled(e.infoPanel);
}

bool CdedoradeDlg::transportBlocked() const
{
    return m_opening || m_shutDown || backgroundTaskRunning() || nearEndBlocked();
}

bool CdedoradeDlg::nearEndBlocked() const
{
    if (!m_slotReady[0] || !m_movieReady)
        return false;
    const Player& main = *m_players[0];
    const int state = main.state().playState;
    return NearEndBlocked(state == kStopped || state == kPaused || state == kNoMovie,
                          main.GetCurrentFrame(), main.GetFrameCount(), main.state().rateCode);
}

bool CdedoradeDlg::isCommandEnabled(int id) const
{
    return !m_shutDown && CommandEnabled(controlState(), id);
}

void CdedoradeDlg::LayOut()
{
    m_layout = ComputeMainLayout(width(), height(), LayoutScale());
    if (m_fullScreen) {
        // The main camera's picture covers the monitor; everything else is hidden.
        m_video->setGeometry(rect());
    } else {
        m_video->setGeometry(m_layout.video);
    }
    m_positionSlider->setGeometry(m_layout.positionSlider);
    m_infoPanel->setGeometry(m_layout.infoPanel);
    if (m_infoView)
        m_infoView->setHorizontalStretch(InfoPanelStretch(m_layout.infoPanel.width(), LayoutScale()));
    m_graph->setGeometry(m_layout.graph);
    m_fileBrowser->setGeometry(m_layout.fileBrowser);
    m_volumeSlider->setGeometry(m_layout.volumeSlider);
    for (size_t i = 0; i < m_transport.size(); ++i)
        m_transport[i]->setGeometry(m_layout.transport[i]);
    const QRect browserInner = m_layout.fileBrowser.adjusted(Scaled(6), 0, -Scaled(6), 0);
    if (m_browser)
        m_browser->setGeometry(browserInner);
    if (m_zoomNotice) {
        m_zoomNotice->setGeometry(browserInner);
        m_zoomNotice->setFont(SharedFont(kFont13));
    }
    if (m_surface) {
        m_surface->setGeometry(m_video->rect());
        if (m_slotReady[0])
            m_players[0]->Relayout();
        if (m_slotReady[1])
            m_players[1]->Relayout();
    }
    PlaceControls();
    update();
}

void CdedoradeDlg::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_fullScreen)
        return;
    QPainter p(this);
    p.setPen(kText);
    p.setFont(SharedFont(kFont10));
    p.drawText(m_layout.titleText, Qt::AlignLeft | Qt::AlignTop, windowTitle());
    p.setPen(kPaneFrame);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CdedoradeDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_video)
        return;
    LayOut();
    // A border drag the window manager carries out ends like the window's own: once the sizes
    // stop changing, the factors are remembered.
    if (m_systemResize && !m_shutDown)
        m_applyResizeTimer.start(std::max(1, QApplication::doubleClickInterval() / 2));
}

void CdedoradeDlg::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // Outside the maximised, minimised and full-screen states every move updates the normal
    // rectangle (a late geometry of another state, of another size, does not).
    if (m_initialised && !m_changingMode && windowState() == Qt::WindowNoState && !m_fullScreen &&
        isVisible() && size() == m_normalRect.size())
        m_normalRect.moveTo(pos());
}

void CdedoradeDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        if (!(windowState() & Qt::WindowMinimized))
            m_minimisedByButton = false;
        Q_EMIT maximisedChanged(isMaximized());
    }
}

void CdedoradeDlg::WatchScreen(QScreen* scr)
{
    if (m_watchedScreen == scr)
        return;
    if (m_watchedScreen)
        disconnect(m_watchedScreen, nullptr, this, nullptr);
    m_watchedScreen = scr;
    if (scr) {
        connect(scr, &QScreen::availableGeometryChanged, this, &CdedoradeDlg::MonitorCheck,
                Qt::QueuedConnection);
    }
}

void CdedoradeDlg::OnScreenChanged(QScreen* scr)
{
    WatchScreen(scr);
    // Checked once the move or resize that changed the screen is over: a user resize checks
    // after it wrote its factors, anything else from the event loop.
    if (m_resizeZone != kZoneNone || m_applyResizeTimer.isActive())
        return;
    QMetaObject::invokeMethod(this, &CdedoradeDlg::MonitorCheck, Qt::QueuedConnection);
}

void CdedoradeDlg::showEvent(QShowEvent* event)
{
    // The first time it is shown the window goes where all of it is on its screen's work area
    // (it was sized to fit): a remembered size or a given position never hides its caption.
    if (!m_placedOnScreen && !event->spontaneous() && !isMaximized() && !isFullScreen()) {
        m_placedOnScreen = true;
        if (const QScreen* scr = screen()) {
            const QRect placed = MovedInto(geometry(), scr->availableGeometry());
            if (placed != geometry()) {
                move(placed.topLeft());
                m_normalRect = geometry();
            }
        }
    }
    QWidget::showEvent(event);
    if (QWindow* w = windowHandle()) {
        connect(w, &QWindow::screenChanged, this, &CdedoradeDlg::OnScreenChanged,
                Qt::UniqueConnection);
        WatchScreen(w->screen());
    }
}

void CdedoradeDlg::MonitorCheck()
{
    const QScreen* scr = screen();
    if (!scr || m_shutDown)
        return;
    const QRect area = scr->availableGeometry();
    if (area == m_lastWorkArea)
        return;
    m_lastWorkArea = area;
    // New fonts recompute the layout scale; the window keeps its factors at its position.
    if (!ComputeScalesAndFonts(this))
        return;
    const QSize design = DesignSize(LayoutScale());
    const float maxScale = maxEnlargement();
    m_scaleX = std::clamp(m_scaleX, 1.0f, maxScale);
    m_scaleY = std::clamp(m_scaleY, 1.0f, maxScale);
    FitFactorsToScreen(design);
    m_changingMode = true;
    setMinimumSize(design);
    setMaximumSize(static_cast<int>(static_cast<float>(design.width()) * maxScale),
                   static_cast<int>(static_cast<float>(design.height()) * maxScale));
    const QSize sized(static_cast<int>(static_cast<float>(design.width()) * m_scaleX),
                      static_cast<int>(static_cast<float>(design.height()) * m_scaleY));
    m_normalRect.setSize(sized);
    if (!m_fullScreen && !isMaximized())
        resize(sized);
    m_changingMode = false;
    setFont(SharedFont(kFont10));
    if (m_browser)
        m_browser->applyFonts();
    m_movieDialog->LayOut();
    RescaleViews(m_graphView, m_infoView, m_settings, LayoutScale(), FontScale());
    LayOut();
    Q_EMIT fontsRebuilt();
}

void CdedoradeDlg::addShutdownStep(QString name, std::function<void()> step)
{
    m_shutdownSteps.emplace_back(std::move(name), std::move(step));
}

QRect CdedoradeDlg::clampedNormalRect() const
{
    QRect r = m_normalRect;
    const QSize design = DesignSize(LayoutScale());
    if (!r.isValid())
        r = QRect(pos(), design);
    r.setWidth(std::max(r.width(), design.width()));
    r.setHeight(std::max(r.height(), design.height()));
    return r;
}

void CdedoradeDlg::SaveWindowLayout()
{
    // The factors of the normal rectangle, also while the window is maximised or in full
    // screen: that is the size the next start restores.
    const QSize design = DesignSize(LayoutScale());
    if (design.width() <= 0 || design.height() <= 0)
        return;
    const QRect normal = clampedNormalRect();
    const float maxScale = maxEnlargement();
    m_scaleX = std::min(ScaleFactorFor(normal.width(), design.width()), maxScale);
    m_scaleY = std::min(ScaleFactorFor(normal.height(), design.height()), maxScale);
    WriteScale(ini::kScaleX, static_cast<double>(m_scaleX));
    WriteScale(ini::kScaleY, static_cast<double>(m_scaleY));
}

void CdedoradeDlg::Shutdown()
{
    if (m_shutDown || !m_initialised)
        return;
    // 1. The update check stops first.
    if (m_update)
        m_update->Stop();
    // 2. The window is restored to its normal rectangle and its layout saved.
    if (m_fullScreen || isMaximized() || isMinimized()) {
        m_changingMode = true;
        if (m_fullScreen) {
            m_fullScreen = false;
            for (const QPointer<QWidget>& w : m_hiddenForFullScreen) {
                if (w)
                    w->show();
            }
            m_hiddenForFullScreen.clear();
        }
        showNormal();
        setGeometry(clampedNormalRect());
        m_changingMode = false;
    }
    SaveWindowLayout();
    m_shutDown = true;
    // 3. Timers.
    m_applyResizeTimer.stop();
    m_clickTimer.stop();
    m_playClock.stop();
    m_reportTimer.stop();
    // The sequence of recordings ends: no open, no telemetry load, no prefetch, no watcher.
    if (m_watcher)
        m_watcher->stop();
    if (m_sequencer) {
        m_sequencer->reset();
        m_sequencer->waitForLoader();
    }
    if (m_slotReady[0])
        StopPrefetch(m_players[0]->state().telemetry);
    // 4. Playback, the current recording and the engine slots; then whatever the parts of the
    // window registered, in their order.
    for (auto& [name, step] : m_shutdownSteps)
        step();
    m_shutdownSteps.clear();
    // 5. A running background task was stopped and waited for with the steps above.
    // 6. The detached window and the outline go.
    if (m_movieDialog)
        m_movieDialog->hide();
    if (m_outline)
        m_outline->hide();
}

void CdedoradeDlg::closeEvent(QCloseEvent* event)
{
    if (!ConfirmClose())
        return event->ignore();
    Shutdown();
    event->accept();
}

// ---- Title-bar commands ---------------------------------------------------------------------

void CdedoradeDlg::CloseCommand()
{
    if (!ConfirmClose())
        return;
    Shutdown();
    close();
}

void CdedoradeDlg::MaximiseCommand()
{
    if (m_fullScreen || m_shutDown)
        return;
    m_changingMode = true;
    if (isMaximized()) {
        // Back to the normal rectangle, at least the design size.
        showNormal();
        setGeometry(clampedNormalRect());
    } else {
        if (windowState() == Qt::WindowNoState)
            m_normalRect = geometry();
        showMaximized();
    }
    m_changingMode = false;
    LayOut();
}

void CdedoradeDlg::MinimiseCommand()
{
    if (m_shutDown)
        return;
    if (windowState() == Qt::WindowNoState && !m_fullScreen)
        m_normalRect = geometry();
    showMinimized();
    m_minimisedByButton = true;
}

void CdedoradeDlg::ThumbnailCommand()
{
    m_thumbnail = !m_thumbnail;
    WriteThumbnail(m_thumbnail);
    if (m_thumbnailButton)
        m_thumbnailButton->setPressedLook(m_thumbnail);
    if (m_browser)
        m_browser->setThumbnailMode(m_thumbnail);
    Q_EMIT thumbnailModeChanged(m_thumbnail);
}

// ---- Full screen and aspect -------------------------------------------------------------------

bool CdedoradeDlg::ToggleFullScreen()
{
    if (m_zoomMode || m_shutDown)
        return false;
    if (m_fullScreen) {
        LeaveFullScreen();
        return true;
    }
    if (!m_slotReady[0] || !m_movieReady || backgroundTaskRunning() || !m_browser ||
        m_browser->rowCount() == 0)
        return false;
    // Not near the end of the recording, where the next one is about to open.
    const Player& main = *m_players[0];
    const long long frames = main.GetFrameCount();
    const int current =
        main.PendingSeekFrame() >= 0 ? main.PendingSeekFrame() : std::max(0, main.GetCurrentFrame());
    if (frames - current <= kFullScreenEndMargin)
        return false;
    EnterFullScreen();
    return true;
}

void CdedoradeDlg::EnterFullScreen()
{
    m_changingMode = true;
    m_maximisedBeforeFullScreen = isMaximized();
    if (windowState() == Qt::WindowNoState)
        m_normalRect = geometry();
    // Every pane but the video surface goes; the video covers the monitor.
    m_hiddenForFullScreen.clear();
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w == m_video || w->isWindow() || w->isHidden())
            continue;
        m_hiddenForFullScreen.emplace_back(w);
        w->hide();
    }
    m_movieDialog->hide();
    m_fullScreen = true;
    showFullScreen();
    if (const QScreen* scr = screen())
        setGeometry(scr->geometry());
    m_video->raise();
    m_changingMode = false;
    LayOut();
    RefreshMapShell();
    Q_EMIT fullScreenChanged(true);
}

void CdedoradeDlg::LeaveFullScreen()
{
    m_changingMode = true;
    m_fullScreen = false;
    // Leaving full screen keeps the aspect ratio again.
    m_aspectKeep = true;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->SetAspectMode(1);
    }
    WriteAspectKeep(true);
    for (const QPointer<QWidget>& w : m_hiddenForFullScreen) {
        if (w)
            w->show();
    }
    m_hiddenForFullScreen.clear();
    if (m_mapShown)
        m_movieDialog->show();
    ResetZoom();
    if (m_maximisedBeforeFullScreen) {
        showMaximized();
    } else {
        showNormal();
        setGeometry(clampedNormalRect());
    }
    m_changingMode = false;
    LayOut();
    RefreshMapShell();
    Q_EMIT fullScreenChanged(false);
}

void CdedoradeDlg::AspectCommand()
{
    if (!m_movieReady)
        return;
    m_aspectKeep = !m_aspectKeep;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)]) {
            m_players[static_cast<size_t>(slot)]->SetAspectMode(m_aspectKeep ? 1 : 0);
            m_players[static_cast<size_t>(slot)]->Relayout();
        }
    }
    WriteAspectKeep(m_aspectKeep);
    RefreshControlStates();
}

// ---- Zoom mode ---------------------------------------------------------------------------------

void CdedoradeDlg::ResetZoom()
{
    m_zoom = VideoZoom{};
    // Magnification 1.0, centred on the middle of the 440-unit picture (9/32 of it high).
    const int centreX = Scaled(440) / 2;
    const int centreY = Scaled(440) * 9 / 32;
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->SetVideoRect(centreX, centreY, 0, 0, 1.0f, true);
    }
}

void CdedoradeDlg::ZoomCommand()
{
    if (m_shutDown || (transportBlocked() && !m_zoomMode))
        return;
    m_zoomMode = !m_zoomMode;
    if (m_zoomMode) {
        const QCursor cursor = ZoomCursor();
        m_video->setCursor(cursor);
        if (m_presenter)
            m_presenter->setCursor(cursor);
        m_zoomNotice->show();
        m_zoomNotice->raise();
    } else {
        m_video->unsetCursor();
        if (m_presenter)
            m_presenter->unsetCursor();
        m_zoomNotice->hide();
        ResetZoom();
    }
    Q_EMIT zoomModeChanged(m_zoomMode);
}

void CdedoradeDlg::OnVideoClick(QPoint point)
{
    if (m_shutDown)
        return;
    if (m_zoomMode && m_slotReady[0] && m_movieReady) {
        m_zoom = ZoomStep(m_zoom, point);
        m_players[0]->SetVideoRect(0, 0, m_zoom.offset.x(), m_zoom.offset.y(),
                                   m_zoom.magnification, true);
    }
    Q_EMIT videoClicked(point);
}

// ---- Map window ------------------------------------------------------------------------------

void CdedoradeDlg::PlaceMovieDialog()
{
    const QScreen* scr = screen();
    const QRect available = scr ? scr->availableGeometry() : QRect();
    m_movieDialog->setGeometry(
        PlaceDetachedWindow(frameGeometry(), m_movieDialog->size(), available));
    m_movieDialog->markPlaced();
}

void CdedoradeDlg::SwitchMapCommand()
{
    if (m_shutDown)
        return;
    m_mapShown = !m_mapShown;
    m_mapShell.mapSwitchedOn = m_mapShown;
    if (m_mapShown && !m_movieDialog->placedOnce())
        PlaceMovieDialog();
    m_movieDialog->setVisible(m_mapShown && !m_fullScreen);
    RefreshMapShell();
    UpdateMap();
    Q_EMIT mapShownChanged(m_mapShown);
}

void CdedoradeDlg::RefreshMapShell()
{
    m_mapShell.fullScreen = m_fullScreen;
    m_mapShell.mapSwitchedOn = m_mapShown;
    const MapShellState s = DecideMapShell(m_mapShell);
    m_movieDialog->showMapOrPlaceholder(s.showMap, s.showPlaceholder, s.noInternetPicture);
}

// ---- Commands ----------------------------------------------------------------------------------

void CdedoradeDlg::DispatchCommand(int id)
{
    // Every entry point comes here; a command that is off does nothing, whichever asked.
    if (!isCommandEnabled(id))
        return;
    Q_EMIT commandDispatched(id);
    switch (id) {
    case cmd::kClose:
        CloseCommand();
        return;
    case cmd::kMaximise:
        MaximiseCommand();
        return;
    case cmd::kMinimise:
        MinimiseCommand();
        return;
    case cmd::kThumbnail:
        ThumbnailCommand();
        return;
    case cmd::kStop:
        StopCommand();
        return;
    case cmd::kPrevious:
        GoToRecording(-1);
        return;
    case cmd::kNext:
        GoToRecording(1);
        return;
    case cmd::kPlay:
        PlayPauseCommand();
        return;
    case cmd::kSlow:
        ChangeRate(false);
        return;
    case cmd::kSaveJoined:
    case cmd::kDelete:
    case cmd::kCsv:
        if (!m_shutDown && !transportBlocked())
            m_commands->runCommand(id);
        return;
    case cmd::kBrowse:
        BrowseCommand();
        return;
    case cmd::kSettings:
        SettingsCommand();
        return;
    case cmd::kStillImage:
        StillCommand();
        return;
    case cmd::kReport:
        ReportCommand();
        return;
    case cmd::kSwitchDisplay:
        if (m_surface && m_movieReady)
            m_surface->switchDisplay();
        return;
    case cmd::kFastForward:
        ChangeRate(true);
        return;
    case cmd::kZoom:
        ZoomCommand();
        return;
    case cmd::kSwitchMap:
        SwitchMapCommand();
        return;
    case cmd::kAspect:
        AspectCommand();
        return;
    default:
        Q_EMIT commandRequested(id);
        return;
    }
}

void CdedoradeDlg::ShowMovieMenu(QPoint globalPos)
{
    if (m_opening || backgroundTaskRunning() || m_shutDown)
        return;
    const int playState = m_slotReady[0] ? m_players[0]->state().playState : kNoMovie;
    const int rate = m_slotReady[0] ? m_players[0]->state().rateCode : 1;
    CMovieMenu menu(MovieMenuItems(playState, rate, m_fullScreen, m_aspectKeep), this);
    int chosen = 0;
    connect(&menu, &CMovieMenu::command, this, [&chosen](int id) { chosen = id; });
    menu.exec(globalPos);
    if (chosen != 0)
        DispatchCommand(chosen);
}

// ---- Mouse: move, resize, video surface --------------------------------------------------------

void CdedoradeDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_fullScreen) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_systemResize = false;  // a new press: an earlier border drag of the window manager is over
    const QPoint p = event->position().toPoint();
    const int zone = HitTestZone(p, size(), LayoutScale(), isMaximized());
    if (zone >= kZoneLeft && zone <= kZoneBottomRight) {
        // The window manager resizes where it can (X11 and Wayland); elsewhere the window
        // draws its outline and resizes itself when the button comes up.
        const Qt::Edges edges = EdgesForZone(zone);
        if (m_systemResizeStarter ? m_systemResizeStarter(edges)
                                  : windowHandle() && windowHandle()->startSystemResize(edges)) {
            m_systemResize = true;
            return;
        }
        m_resizeZone = zone;
        m_resizeStart = geometry();
        m_resizeCursor = event->globalPosition().toPoint();
        m_resizeThrottle.start();
        if (!m_outline)
            m_outline = new ResizeOutline;
        m_outline->setGeometry(m_resizeStart);
        m_outline->show();
        m_outline->raise();
        return;
    }
    if (zone == kZoneCaption && !isMaximized()) {
        m_captionDrag.press(event);  // moves once the mouse goes on, a double-click stays one
        return;
    }
    QWidget::mousePressEvent(event);
}

void CdedoradeDlg::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (m_resizeZone != kZoneNone && (event->buttons() & Qt::LeftButton)) {
        if (m_resizeThrottle.elapsed() >= kResizeThrottleMs) {
            m_resizeThrottle.restart();
            const ClampedResize c =
                ClampResize(DraggedRect(m_resizeStart, m_resizeZone, global - m_resizeCursor),
                            m_resizeZone, LayoutScale(), maxEnlargement());
            m_outline->setGeometry(c.rect);
        }
        return;
    }
    if (m_captionDrag.move(event))
        return;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The window sees the pointer again only once the window manager's drag has ended.
        m_systemResize = false;
    }
    if (!(event->buttons() & Qt::LeftButton) && !m_fullScreen) {
        const int zone = HitTestZone(event->position().toPoint(), size(), LayoutScale(),
                                     isMaximized());
        setCursor(CursorForZone(zone));
    }
    QWidget::mouseMoveEvent(event);
}

void CdedoradeDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_resizeZone != kZoneNone && event->button() == Qt::LeftButton) {
        const QPoint delta = event->globalPosition().toPoint() - m_resizeCursor;
        const ClampedResize c = ClampResize(DraggedRect(m_resizeStart, m_resizeZone, delta),
                                            m_resizeZone, LayoutScale(), maxEnlargement());
        setGeometry(c.rect);
        if (m_outline)
            m_outline->hide();
        m_resizeZone = kZoneNone;
        LayOut();
        m_applyResizeTimer.start(std::max(1, QApplication::doubleClickInterval() / 2));
        return;
    }
    m_captionDrag.end();
    QWidget::mouseReleaseEvent(event);
}

void CdedoradeDlg::ApplyResize()
{
    // A drag of the window manager may pause longer than the settle time and go on: it stays a
    // drag, and every later size is applied too, until the pointer is back in the window.
    if (m_shutDown)
        return;
    if (!isMaximized() && !m_fullScreen && !isMinimized()) {
        const QSize design = DesignSize(LayoutScale());
        const float maxScale = maxEnlargement();
        m_scaleX = std::min(ScaleFactorFor(width(), design.width()), maxScale);
        m_scaleY = std::min(ScaleFactorFor(height(), design.height()), maxScale);
        WriteScale(ini::kScaleX, static_cast<double>(m_scaleX));
        WriteScale(ini::kScaleY, static_cast<double>(m_scaleY));
        m_normalRect = geometry();
        Q_EMIT resizeApplied();
    }
    MonitorCheck();
}

void CdedoradeDlg::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_captionDrag.end();
    if (!m_fullScreen &&
        HitTestZone(event->position().toPoint(), size(), LayoutScale(), isMaximized()) ==
            kZoneCaption) {
        MaximiseCommand();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

bool CdedoradeDlg::eventFilter(QObject* watched, QEvent* event)
{
    // The window's keys come first wherever the focus rests inside it: the folder tree, the
    // file list and the buttons would otherwise take Space, the arrows, the page keys and the
    // letters for themselves. Text fields keep their keys.
    if (event->type() == QEvent::KeyPress && watched != this && watched->isWidgetType()) {
        auto* target = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (target->window() == this && !target->testAttribute(Qt::WA_InputMethodEnabled) &&
            (CommandForKey(key->key(), key->modifiers()) != 0 ||
             key->matches(QKeySequence::Close) || key->matches(QKeySequence::Quit))) {
            keyPressEvent(key);
            return true;
        }
    }
    if (watched != m_video && watched != m_presenter && watched != m_surface &&
        (!m_surface || watched != m_surface->subPresenter()))
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            // Reported as a single click once the double-click time has passed.
            m_clickPoint = m_video->mapFromGlobal(e->globalPosition().toPoint());
            m_clickTimer.start(QApplication::doubleClickInterval());
            return true;
        }
        if (e->button() == Qt::RightButton) {
            m_clickTimer.stop();
            ShowMovieMenu(e->globalPosition().toPoint());
            return true;
        }
        break;
    }
    case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            m_clickTimer.stop();
            ToggleFullScreen();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CdedoradeDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Close) || event->matches(QKeySequence::Quit)) {
        CloseCommand();
        return;
    }
    const int id = CommandForKey(event->key(), event->modifiers());
    if (id == key_action::kFullScreen) {
        ToggleFullScreen();
        return;
    }
    if (id == key_action::kFrameBack || id == key_action::kFrameForward) {
        StepFrames(id == key_action::kFrameBack ? -1 : 1);
        return;
    }
    if (id == key_action::kEscape) {
        if (m_fullScreen)
            LeaveFullScreen();
        else if (m_zoomMode)
            ZoomCommand();
        return;
    }
    if (id != 0) {
        DispatchCommand(id);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace ravir
