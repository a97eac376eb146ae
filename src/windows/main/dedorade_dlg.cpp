#include "windows/main/dedorade_dlg.h"

#include "catalogue/recording_name.h"
#include "windows/main/evidence_flow.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "shell/config_folder.h"
#include "shell/display_prefs.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "shell/startup_trace.h"
#include "shell/ui_text.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/kit/app_scale.h"
#include "windows/main/control_refresh.h"
#include "windows/main/list_task_flow.h"
#include "windows/main/position_drag.h"
#include "windows/main/recording_steps.h"
#include "windows/main/video_zoom_mode.h"
#include "windows/main/views_follow.h"
#include "windows/main/window_controls.h"
#include "windows/main/window_input.h"
#include "windows/main/window_mpris.h"
#include "windows/main/window_report.h"
#include "windows/main/window_sequencer_host.h"
#include "windows/main/window_source.h"
#include "windows/main/window_update_check.h"
#include "windows/map/map_state.h"
#include "windows/map/map_window.h"
#include "windows/settings/setting_dlg.h"
#include "windows/stills/still_capture.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/views/marker_kind.h"
#include "windows/views/recording_telemetry.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QPainter>
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
    m_update = new WindowUpdateCheck(this);
    InitDialog();
}

CdedoradeDlg::~CdedoradeDlg()
{
    delete m_input;  // no key nor click reaches the window while it goes
    m_input = nullptr;
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
    m_input = new WindowInput(*this, *m_video);
    connect(m_input, &WindowInput::closeRequested, this, &CdedoradeDlg::CloseCommand);
    connect(m_input, &WindowInput::commandKey, this, &CdedoradeDlg::DispatchCommand);
    connect(m_input, &WindowInput::fullScreenToggled, this, &CdedoradeDlg::ToggleFullScreen);
    connect(m_input, &WindowInput::framesStepped, this, &CdedoradeDlg::StepFrames);
    connect(m_input, &WindowInput::escapePressed, this, [this] {
        if (isFullScreenMode())
            LeaveFullScreen();
        else if (m_zoom->active())
            ZoomCommand();
    });
    connect(m_input, &WindowInput::videoClicked, this, &CdedoradeDlg::OnVideoClick);
    connect(m_input, &WindowInput::menuRequested, this, &CdedoradeDlg::ShowMovieMenu);
    m_infoPanel = makePane(QStringLiteral("infoPanel"));
    m_graph = makePane(QStringLiteral("graph"));
    m_fileBrowser = makePane(QStringLiteral("fileBrowser"));
    m_controls = new WindowControls(*this, m_volume, ReadThumbnail());
    connect(m_controls, &WindowControls::command, this, &CdedoradeDlg::DispatchCommand);
    // The volume slider sets the players' volume as it moves and writes it when released.
    connect(m_controls, &WindowControls::volumeMoved, this, [this](int volume) {
        m_volume = volume;
        if (m_session)
            m_session->SetVolume(m_volume);
    });
    connect(m_controls, &WindowControls::volumeReleased, this, [this] { WriteVolume(m_volume); });
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
    m_controls->setVolume(m_volume);  // the slider was made before the saved volume was read
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
        m_input->watchSurface(w);
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
        m_controls->setPlaying(playing);
        if (m_mpris)
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
    // The position slider's thumb seeks both cameras.
    PositionDrag::Hooks drag;
    drag.blocked = [this] { return backgroundTaskRunning() || m_shutDown; };
    drag.jumped = [this] { return m_controls->positionJumped(); };
    drag.volume = [this] { return m_volume; };
    auto* positionDrag = new PositionDrag(*m_session, *m_surface, std::move(drag), this);
    connect(m_controls, &WindowControls::positionSlider, positionDrag, &PositionDrag::slider);
    connect(positionDrag, &PositionDrag::playRequested, this, &CdedoradeDlg::TogglePlay);
    connect(positionDrag, &PositionDrag::released, this, &CdedoradeDlg::RefreshControlStates);
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
    hooks.sourceGone = [this] { return m_source && m_source->gone(); };
    m_taskFlow = new ListTaskFlow(*this, m_catalogue, *m_session, *m_browser, m_controls->progressBar(),
                                  std::move(hooks));
    m_tasks = m_taskFlow->tasks();
    m_commands = m_taskFlow->commands();
    connect(m_taskFlow, &ListTaskFlow::stateChanged, this, &CdedoradeDlg::RefreshControlStates);
    connect(m_taskFlow, &ListTaskFlow::finished, this, &CdedoradeDlg::taskFinished);
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
    if (m_steps)
        m_steps->clear();
    // The list no longer has an open row: choosing any row, the last one included, opens it.
    if (m_browser)
        m_browser->listCtrl()->clearOpenRecording();
    RefreshControlStates();
}

void CdedoradeDlg::OnFrameShown(int frame)
{
    // Nothing open any more (frame < 0): the slider has no range.
    const int range = frame < 0 ? 0 : static_cast<int>(m_session->frameCount());
    m_controls->showFrame(frame, range);
    m_surface->setFrameShown(frame < 0 ? -1 : frame, range);
    if (frame < 0)
        return;
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
    m_source->openAtStart(m_options.source);
    TraceStartup(StartupStep::CardScanned);
    m_session->SetAspectKeep(m_aspectKeep);
    m_session->RelayoutAll();
    RefreshControlStates();
    RefreshMapShell();

    m_update->start(m_catalogue.recorderInfo());

    // The desktop media controls; without a session bus the viewer carries on without them.
    WindowMpris::Hooks hooks;
    hooks.dispatch = [this](int id) { DispatchCommand(id); };
    hooks.volume = [this] { return m_volume; };
    hooks.setVolume = [this](int volume) {
        m_volume = volume;
        m_controls->setVolume(m_volume);
        m_session->SetVolume(m_volume);
        RefreshControlStates();
    };
    m_mpris = new WindowMpris(*this, *m_session, *m_browser, std::move(hooks));
    addShutdownStep(QStringLiteral("media controls"), [this] { m_mpris->stop(); });

    m_thumbnail = ReadThumbnail();
    m_browser->setThumbnailMode(m_thumbnail);
    Q_EMIT thumbnailModeChanged(m_thumbnail);
    Q_EMIT deferredStartDone();
}

void CdedoradeDlg::RefreshControlStates()
{
    ApplyControlEnables();
    FollowRate(m_infoView, m_session->slotReady(0) ? rateCode() : 0);
    if (m_mpris)
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
    s.csvAvailable = m_source && m_source->csvAvailable();
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
    m_controls->applyEnables(e);
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
    m_infoPanel->setGeometry(m_layout.infoPanel);
    if (m_infoView)
        m_infoView->setHorizontalStretch(InfoPanelStretch(m_layout.infoPanel.width(), LayoutScale()));
    m_graph->setGeometry(m_layout.graph);
    m_fileBrowser->setGeometry(m_layout.fileBrowser);
    const QRect browserInner = m_layout.fileBrowser.adjusted(Scaled(6), 0, -Scaled(6), 0);
    if (m_browser)
        m_browser->setGeometry(browserInner);
    if (m_zoom)
        m_zoom->placeHint(browserInner);
    if (m_surface) {
        m_surface->setGeometry(m_video->rect());
        m_session->RelayoutAll();
    }
    m_controls->place(m_layout);
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
    m_update->stop();
    // 2. The window is restored to its normal rectangle and its layout saved; the resize
    // outline goes and a user resize is no longer remembered.
    m_frame.shutDown();
    m_shutDown = true;
    if (m_sequencerHost)
        m_sequencerHost->setShutDown();
    // 3. Timers.
    if (m_input)
        m_input->stop();
    if (m_report)
        m_report->stop();
    // The sequence of recordings ends: no open, no telemetry load, no prefetch, no watcher.
    if (m_source)
        m_source->stop();
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
