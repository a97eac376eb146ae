#include "windows/main/dedorade_dlg.h"

#include "catalogue/recording_name.h"
#include "catalogue/source_select.h"
#include "catalogue/source_watcher.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/stills/still_capture.h"
#include "windows/update/update_dlg.h"
#include "windows/main/task_runner.h"
#include "windows/main/control_refresh.h"
#include "windows/main/views_follow.h"
#include "windows/settings/setting_dlg.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/views/info_format.h"
#include "windows/views/marker_kind.h"
#include "windows/views/recording_telemetry.h"
#include "container/telemetry_timeline.h"
#include "windows/kit/skin_button.h"
#include "shell/startup_trace.h"
#include "windows/kit/skin_progress.h"
#include "windows/kit/skin_slider.h"
#include "windows/map/map_window.h"
#include "windows/map/map_state.h"
#include "windows/main/session_mpris.h"
#include "windows/main/video_zoom_mode.h"
#include "windows/main/window_report.h"
#include "windows/main/evidence_flow.h"
#include "windows/main/list_task_flow.h"
#include "windows/main/window_sequencer_host.h"
#include "windows/main/key_table.h"
#include "windows/main/play_clock_rules.h"
#include "playback/placement.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "windows/kit/app_scale.h"
#include "shell/config_folder.h"
#include "shell/display_prefs.h"
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

namespace ravir {
namespace {
const QColor kBackground(0x3F, 0x3F, 0x3F);  // COLORREF 0x3F3F3F
const QColor kText(0xFF, 0xFF, 0xFF);
const QColor kPaneFrame(0x5A, 0x5A, 0x5A);


}  // namespace

CdedoradeDlg::CdedoradeDlg(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_options(std::move(options))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setObjectName(QStringLiteral("CdedoradeDlg"));
    connect(&m_frame, &FramelessWindow::layoutNeeded, this, &CdedoradeDlg::LayOut);
    connect(&m_frame, &FramelessWindow::rescaled, this, &CdedoradeDlg::ApplyNewScale);
    connect(&m_frame, &FramelessWindow::maximisedChanged, this, &CdedoradeDlg::maximisedChanged);
    connect(&m_frame, &FramelessWindow::resizeApplied, this, &CdedoradeDlg::resizeApplied);
    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, [this] { OnVideoClick(m_clickPoint); });
    // The update text, once the check delivered it, is shown in its own dialog.
    connect(this, &CdedoradeDlg::updateTextReady, this,
            [](const QString& text) { CUpdateDialog::ShowText(text); });
    InitDialog();
}

CdedoradeDlg::~CdedoradeDlg()
{
    qApp->removeEventFilter(this);
    Shutdown();
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
    // The UI text row comes first: every text set below is read from it. It follows the
    // locale unless the configuration file names a language; the unit of speeds comes with it.
    const QString configFolder = ViewerConfigFolderPath();
    const MessageLanguage language = StartDisplayLanguage(
        configFolder.isEmpty() ? QString() : configFolder + u'/' + QLatin1String(kConfigFileName));
    InstallQtTranslation(language);

    // Scales and shared fonts; the start-up folder (the viewer's configuration folder) is
    // recorded only when they could be made, and it locates the configuration file for the
    // life of the process.
    if (ComputeScalesAndFonts(this))
        UseViewerConfigFolder();
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
    TraceStartup(StartupStep::SkinLoaded);  // the skinned controls have drawn their artwork

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
    // The map's whole-trip track is the list's recordings, in list order.
    connect(m_browser, &CFilerContainerDlg::listRefilled, this, [this] {
        QStringList movies;
        for (int row = 0; row < m_browser->rowCount(); ++row) {
            if (const RecordingRecord* r = m_browser->listCtrl()->recordAt(row))
                movies << r->path;
        }
        if (m_mapState)
            m_mapState->setListMovies(movies);
    });
    connect(m_browser, &CFilerContainerDlg::kindFilterChanged, this, [this](bool listEmpty) {
        if (listEmpty)
            OnListEmptied();
    });

    // The detached view window: a top-level tool window of its own, shown by the map command.
    m_movieDialog = new CMovieDialog(nullptr);
    m_movieDialog->setWindowTitle(text(TXT_MAP));
    connect(m_movieDialog, &CMovieDialog::placeBesideMainRequested, this,
            &CdedoradeDlg::PlaceMovieDialog);
    connect(m_movieDialog, &CMovieDialog::painted, this, [this] {
        m_session->Relayout();
    });

    // First run: the three display values, only when the configuration file is new.
    WriteFirstRunValues();

    m_hwDecode = ReadHwDecode();
    m_aspectKeep = ReadAspectKeep();
    m_volume = ReadVolume();
    InitPlayers();
    InitParts();
    // Zoom mode shows its hint in place of the file list.
    m_zoom = new VideoZoomMode(*m_session, {m_video, m_presenter}, this);
    connect(m_zoom, &VideoZoomMode::activeChanged, this, &CdedoradeDlg::zoomModeChanged);
    m_zoom->reset();

    // Window size: the design size times the remembered scale factors.
    m_frame.restoreRememberedSize();
    m_movieDialog->LayOut();
    LayOut();

    m_initialised = true;
    // Deferred start once the window is shown and the event loop runs.
    QMetaObject::invokeMethod(this, &CdedoradeDlg::DeferredStart, Qt::QueuedConnection);
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
    m_session = new RecordingSession(this);
    m_session->InitPlayers(m_presenter, m_surface->subPresenter(), text(TXT_FONT_FACE), m_hwDecode,
                           m_volume, m_aspectKeep);
    // The session reports from the event loop; the window never waits for the engines.
    connect(m_session, &RecordingSession::mainMovieOpened, this, &CdedoradeDlg::OnMovieOpened);
    connect(m_session, &RecordingSession::openFailed, this, [this] {
        if (!m_shutDown && m_sequencer)
            m_sequencer->movieFailed();
    });
    // The end of the main camera's movie moves on to the next recording.
    connect(m_session, &RecordingSession::presentationEnded, this, [this] {
        if (!m_shutDown && m_sequencer)
            m_sequencer->endOfRecording();
    });
    // The views, the play button and the desktop's controls follow what the session publishes.
    connect(m_session, &RecordingSession::frameShown, this, &CdedoradeDlg::OnFrameShown);
    connect(m_session, &RecordingSession::telemetryChanged, this, &CdedoradeDlg::OnTelemetryChanged);
    connect(m_session, &RecordingSession::playingChanged, this, [this](bool playing) {
        if (m_buttons[2])
            m_buttons[2]->setAlternate(playing);
        if (m_mpris && m_mpris->isRunning())
            m_mpris->refresh();
    });
    connect(m_session, &RecordingSession::controlsChanged, this, [this] {
        if (!m_shutDown)
            RefreshControlStates();
    });
    m_surface->setPlayers(m_session->player(0), m_session->slotReady(1) ? m_session->player(1) : nullptr);
    m_catalogue.setEnginesReady(m_session->slotReady(0));

    // The map window's state follows the session; event icons ask for a seek.
    m_mapState = new MapState(*m_session, *m_movieDialog, this);
    m_mapState->setMarkerKindsSource([this]() -> const MarkerKinds& { return m_graphView->markerKinds(); });
    m_mapState->setRowSource([this] { return m_browser ? m_browser->listCtrl()->playingRow() : -1; });
    connect(m_mapState, &MapState::seekRequested, this, [this](int frame) { SeekTo(frame); });
    m_report = new WindowReport(*this, *m_session, *m_mapState);
    connect(m_report, &WindowReport::finished, this, &CdedoradeDlg::reportFinished);
    // Released in the shutdown routine: pause, stop, reset the current recording, then each
    // initialised slot.
    addShutdownStep(QStringLiteral("players"), [this] { m_session->Shutdown(); });
}

void CdedoradeDlg::InitParts()
{
    // The list commands run as the window's background task with the skinned progress bar.
    ListTaskFlow::Hooks hooks;
    hooks.closeRecording = [this](bool keepCurrent) { CloseRecording(keepCurrent); };
    hooks.barRect = [this](bool busy) { return busy ? m_layout.progressBarBusy : m_layout.progressBarIdle; };
    hooks.sourceGone = [this] { return m_sourceGone; };
    m_taskFlow = new ListTaskFlow(*this, m_catalogue, *m_session, *m_browser, m_progressCtrl,
                                  std::move(hooks));
    m_tasks = m_taskFlow->tasks();
    m_commands = m_taskFlow->commands();
    connect(m_taskFlow, &ListTaskFlow::stateChanged, this, &CdedoradeDlg::RefreshControlStates);
    connect(m_taskFlow, &ListTaskFlow::finished, this, &CdedoradeDlg::taskFinished);
    connect(m_taskFlow, &ListTaskFlow::sourceReopened, this, [this] { OnDeletionFinished(); });
    m_evidence = new EvidenceFlow(*this, *m_session, *m_tasks);
    addShutdownStep(QStringLiteral("background task"), [this] { m_taskFlow->shutdown(); });

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
    connect(m_settings, &CSettingDlg::speedUnitChanged, m_infoView, &CInfoDlg::setSpeedUnit);
    connect(m_graphView, &CGSensorDlg::markerKindsChanged, this, [this] {
        m_mapState->markerKindsChanged();  // the map's event icons are the graph's markers
        update();
    });
    connect(m_graphView, &CGSensorDlg::previousEventPointRequested, this,
            [this] { JumpToEventPoint(false); });
    connect(m_graphView, &CGSensorDlg::nextEventPointRequested, this,
            [this] { JumpToEventPoint(true); });
    InitSequencing();

    m_still = new CStillCapture(this, this);
    m_still->setWindowHooks([this] { m_session->PauseIfPlaying(); },
                            [this] { RefreshControlStates(); });
}

void CdedoradeDlg::OnListEmptied()
{
    if (m_shutDown || (m_sequencer && m_sequencer->continuingFolder()))
        return;
    if (m_session->currentPath().isEmpty() && !m_session->ready() && !m_session->opening())
        return;
    m_session->PauseIfPlaying();
    m_session->StopPrefetch();
    CloseRecording();
    m_surface->update();
}

void CdedoradeDlg::CloseRecording(bool keepCurrent)
{
    if (m_sequencer)
        keepCurrent ? m_sequencer->suspend() : m_sequencer->reset();
    m_session->Close();
    m_graphView->clearTelemetry();
    m_infoView->reset();
    m_mapState->clearRecording();
    m_pendingSteps = 0;
    // The list no longer has an open row: choosing any row, the last one included, opens it.
    if (m_browser)
        m_browser->listCtrl()->clearOpenRecording();
    RefreshControlStates();
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

void CdedoradeDlg::OnFrameShown(int frame)
{
    if (!m_positionCtrl)
        return;
    if (frame < 0) {
        // Nothing open any more: the slider has no range.
        m_positionCtrl->setRange(0, 0);
        m_positionCtrl->setPosition(0);
        m_surface->setFrameShown(-1, 0);
        return;
    }
    const int range = static_cast<int>(m_session->frameCount());
    m_surface->setFrameShown(frame, range);
    if (m_positionCtrl->maximum() != range)
        m_positionCtrl->setRange(0, range);
    m_positionCtrl->setPosition(frame);
    FollowRate(m_infoView, m_session->slotReady(0) ? rateCode() : 0);
    if (m_session->telemetryReady()) {
        m_graphView->setFrame(frame);
        m_infoView->setFrame(frame);
    }
}

void CdedoradeDlg::OnTelemetryChanged()
{
    if (!m_session->telemetryReady())
        return;
    const RecordingRecord& record = m_session->currentRecord();
    m_graphView->setTelemetry(m_session->telemetry(), static_cast<int>(m_session->frameCount()));
    m_infoView->setRecording(m_session->telemetry(), record.startTime, record.pictureQuality,
                             m_session->main().GetFrameMs(),
                             KindOf(QFileInfo(m_session->currentPath()).fileName()));
}

void CdedoradeDlg::DeferredStart()
{
    if (m_shutDown || m_started)
        return;
    m_started = true;
    // The remembered normal rectangle follows the window to where it was shown.
    m_frame.keepShownPosition();
    // The map window is placed beside the main window when it is first shown: by then the
    // window manager has put the main window where it stays.
    const bool opened = OpenStartupSource();
    TraceStartup(StartupStep::CardScanned);
    m_csvAvailable = opened && m_catalogue.mode() == SourceMode::Drive &&
                     !m_catalogue.shownRecords().empty();
    m_session->SetAspectKeep(m_aspectKeep);
    m_session->RelayoutAll();
    RefreshControlStates();
    RefreshMapShell();

    StartUpdateCheck();

    // The desktop media controls; without a session bus the viewer carries on without them.
    SessionMpris::Hooks hooks;
    hooks.dispatch = [this](int id) { DispatchCommand(id); };
    hooks.volume = [this] { return m_volume; };
    hooks.setVolume = [this](int volume) {
        m_volume = volume;
        if (m_volumeCtrl)
            m_volumeCtrl->setPosition(m_volume);
        m_session->SetVolume(m_volume);
        RefreshControlStates();
    };
    hooks.raise = [this] {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    };
    hooks.canGoNext = [this] {
        const int row = m_browser ? m_browser->listCtrl()->playingRow() : -1;
        return row >= 0 && row + 1 < m_browser->rowCount();
    };
    hooks.seeked = [this] {
        if (m_mpris)
            m_mpris->seeked();
    };
    m_mprisTarget = std::make_unique<SessionMpris>(*m_session, std::move(hooks));
    m_mpris = new MprisService(m_mprisTarget.get(), this);
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
    FollowRate(m_infoView, m_session->slotReady(0) ? rateCode() : 0);
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
    if (m_session->ready()) {
        const int state = m_session->playState();
        s.main = state == kPlaying  ? ControlState::Main::Playing
                 : state == kPaused ? ControlState::Main::Paused
                                    : ControlState::Main::ClosedOrStopped;
        s.rateCode = rateCode();
    }
    s.telemetryLoaded = m_session->telemetryReady();
    s.sourceMode = static_cast<int>(m_catalogue.mode());
    s.csvAvailable = m_csvAvailable;
    s.opening = m_session->opening();
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
    return m_session->opening() || m_shutDown || backgroundTaskRunning() || nearEndBlocked();
}

bool CdedoradeDlg::isCommandEnabled(int id) const
{
    return !m_shutDown && CommandEnabled(controlState(), id);
}

void CdedoradeDlg::LayOut()
{
    m_layout = ComputeMainLayout(width(), height(), LayoutScale());
    if (isFullScreenMode()) {
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
    if (m_zoom)
        m_zoom->placeHint(browserInner);
    if (m_surface) {
        m_surface->setGeometry(m_video->rect());
        m_session->RelayoutAll();
    }
    PlaceControls();
    update();
}

void CdedoradeDlg::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (isFullScreenMode())
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
}

void CdedoradeDlg::ApplyNewScale()
{
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

void CdedoradeDlg::Shutdown()
{
    if (m_shutDown || !m_initialised)
        return;
    // 1. The update check stops first.
    if (m_update)
        m_update->Stop();
    // 2. The window is restored to its normal rectangle and its layout saved; the resize
    // outline goes and a user resize is no longer remembered.
    m_frame.shutDown();
    m_shutDown = true;
    if (m_sequencerHost)
        m_sequencerHost->setShutDown();
    // 3. Timers.
    m_clickTimer.stop();
    if (m_report)
        m_report->stop();
    // The sequence of recordings ends: no open, no telemetry load, no prefetch, no watcher.
    if (m_watcher)
        m_watcher->stop();
    if (m_sequencer) {
        m_sequencer->reset();
        m_sequencer->waitForLoader();
    }
    if (m_mapState)
        m_mapState->shutdown();
    m_session->StopPrefetch();
    // 4. Playback, the current recording and the engine slots; then whatever the parts of the
    // window registered, in their order.
    for (auto& [name, step] : m_shutdownSteps)
        step();
    m_shutdownSteps.clear();
    // 5. A running background task was stopped and waited for with the steps above.
    // 6. The detached window goes.
    if (m_movieDialog)
        m_movieDialog->hide();
}

void CdedoradeDlg::closeEvent(QCloseEvent* event)
{
    if (!ConfirmClose())
        return event->ignore();
    Shutdown();
    event->accept();
}

}  // namespace ravir
