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
#include "windows/main/window_playback_stats.h"
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
const QColor kBackground(0x3F, 0x3F, 0x3F);
const QColor kText(0xFF, 0xFF, 0xFF);
const QColor kPaneFrame(0x5A, 0x5A, 0x5A);


}  // namespace

CdedoradeDlg::CdedoradeDlg(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), options_(std::move(options))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setObjectName(QStringLiteral("CdedoradeDlg"));
    connect(&frame_, &FramelessWindow::layoutNeeded, this, &CdedoradeDlg::LayOut);
    connect(&frame_, &FramelessWindow::rescaled, this, &CdedoradeDlg::ApplyNewScale);
    connect(&frame_, &FramelessWindow::maximisedChanged, this, &CdedoradeDlg::maximisedChanged);
    connect(&frame_, &FramelessWindow::resizeApplied, this, &CdedoradeDlg::resizeApplied);
    update_ = new WindowUpdateCheck(this);
    InitDialog();
}

CdedoradeDlg::~CdedoradeDlg()
{
    delete input_;  // no key nor click reaches the window while it goes
    input_ = nullptr;
    Shutdown();
    delete movieDialog_;
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
    // The engines start first, on workers: they are made while the window is built.
    session_ = new RecordingSession(this);
    session_->StartEngines(true, true, options_.engineMaker);
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
    video_ = makePane(QStringLiteral("video"));
    video_->setStyleSheet(QStringLiteral("background: black;"));
    input_ = new WindowInput(*this, *video_);
    connect(input_, &WindowInput::closeRequested, this, &CdedoradeDlg::CloseCommand);
    connect(input_, &WindowInput::commandKey, this, &CdedoradeDlg::DispatchCommand);
    connect(input_, &WindowInput::fullScreenToggled, this, &CdedoradeDlg::ToggleFullScreen);
    connect(input_, &WindowInput::framesStepped, this, &CdedoradeDlg::StepFrames);
    connect(input_, &WindowInput::escapePressed, this, [this] {
        if (isFullScreenMode())
            LeaveFullScreen();
        else if (zoom_->active())
            ZoomCommand();
    });
    connect(input_, &WindowInput::videoClicked, this, &CdedoradeDlg::OnVideoClick);
    connect(input_, &WindowInput::menuRequested, this, &CdedoradeDlg::ShowMovieMenu);
    infoPanel_ = makePane(QStringLiteral("infoPanel"));
    graph_ = makePane(QStringLiteral("graph"));
    fileBrowser_ = makePane(QStringLiteral("fileBrowser"));
    controls_ = new WindowControls(*this, volume_, ReadThumbnail());
    connect(controls_, &WindowControls::command, this, &CdedoradeDlg::DispatchCommand);
    // The volume slider sets the players' volume as it moves and writes it when released.
    connect(controls_, &WindowControls::volumeMoved, this, [this](int volume) {
        volume_ = volume;
        if (session_)
            session_->SetVolume(volume_);
    });
    connect(controls_, &WindowControls::volumeReleased, this, [this] { WriteVolume(volume_); });
    TraceStartup(StartupStep::SkinLoaded);  // the skinned controls have drawn their artwork

    browser_ = new CFilerContainerDlg(catalogue_, this);
    connect(browser_, &CFilerContainerDlg::recordingChosen, this, [this](const RecordingRecord& r) {
        if (!shutDown_ && sequencer_)
            sequencer_->rowChosen(browser_->listCtrl()->playingRow(), r);
    });
    // A folder without recordings, or kind buttons that leave the list empty: nothing of the
    // list plays any more and the panes are cleared. (A folder change that continues playback
    // moves on to the next folder by itself.)
    connect(browser_, &CFilerContainerDlg::folderScanned, this, [this](int) {
        if (browser_->rowCount() == 0)
            OnListEmptied();
    });
    // The map's whole-trip track is the list's recordings, in list order.
    connect(browser_, &CFilerContainerDlg::listRefilled, this, [this] {
        QStringList movies;
        for (int row = 0; row < browser_->rowCount(); ++row) {
            if (const RecordingRecord* r = browser_->listCtrl()->recordAt(row))
                movies << r->path;
        }
        if (mapState_)
            mapState_->setListMovies(movies);
    });
    connect(browser_, &CFilerContainerDlg::kindFilterChanged, this, [this](bool listEmpty) {
        if (listEmpty)
            OnListEmptied();
    });

    // The detached view window: a top-level tool window of its own, shown by the map command.
    movieDialog_ = new CMovieDialog(nullptr);
    movieDialog_->setWindowTitle(text(TXT_MAP));
    connect(movieDialog_, &CMovieDialog::placeBesideMainRequested, this,
            &CdedoradeDlg::PlaceMovieDialog);
    connect(movieDialog_, &CMovieDialog::painted, this, [this] {
        session_->Relayout();
    });

    // First run: the three display values, only when the configuration file is new.
    WriteFirstRunValues();

    hwDecode_ = ReadHwDecode();
    aspectKeep_ = ReadAspectKeep();
    volume_ = ReadVolume();
    controls_->setVolume(volume_);  // the slider was made before the saved volume was read
    InitPlayers();
    InitParts();
    // Zoom mode shows its hint in place of the file list.
    zoom_ = new VideoZoomMode(*session_, {video_, presenter_}, this);
    connect(zoom_, &VideoZoomMode::activeChanged, this, &CdedoradeDlg::zoomModeChanged);
    zoom_->reset();

    // Window size: the design size times the remembered scale factors.
    frame_.restoreRememberedSize();
    movieDialog_->LayOut();
    LayOut();

    initialised_ = true;
    // Deferred start once the window is shown and the event loop runs.
    QMetaObject::invokeMethod(this, &CdedoradeDlg::DeferredStart, Qt::QueuedConnection);
}

void CdedoradeDlg::InitPlayers()
{
    // Slot 0 (main camera) draws into the video surface; slot 1 (sub camera) has no window and
    // decodes in step. A slot whose engine cannot start stays uninitialised and is skipped.
    surface_ = new DualVideoSurface(video_);
    surface_->setObjectName(QStringLiteral("dualSurface"));
    surface_->setGeometry(video_->rect());
    surface_->setLayoutScale(LayoutScale());
    presenter_ = surface_->mainPresenter();
    for (QWidget* w : {static_cast<QWidget*>(surface_), static_cast<QWidget*>(presenter_),
                       static_cast<QWidget*>(surface_->subPresenter())})
        input_->watchSurface(w);
    session_->InitPlayers(presenter_, surface_->subPresenter(), text(TXT_FONT_FACE), hwDecode_,
                           volume_, aspectKeep_);
    connect(session_, &RecordingSession::enginesReady, this, &CdedoradeDlg::OnEnginesReady);
    // The session reports from the event loop; the window never waits for the engines.
    connect(session_, &RecordingSession::mainMovieOpened, this, &CdedoradeDlg::OnMovieOpened);
    connect(session_, &RecordingSession::openFailed, this, [this] {
        if (!shutDown_ && sequencer_)
            sequencer_->movieFailed();
    });
    // The end of the main camera's movie moves on to the next recording.
    connect(session_, &RecordingSession::presentationEnded, this, [this] {
        if (!shutDown_ && sequencer_)
            sequencer_->endOfRecording();
    });
    // The views, the play button and the desktop's controls follow what the session publishes.
    connect(session_, &RecordingSession::frameShown, this, &CdedoradeDlg::OnFrameShown);
    connect(session_, &RecordingSession::telemetryChanged, this, &CdedoradeDlg::OnTelemetryChanged);
    connect(session_, &RecordingSession::playingChanged, this, [this](bool playing) {
        controls_->setPlaying(playing);
        if (mpris_)
            mpris_->refresh();
    });
    connect(session_, &RecordingSession::controlsChanged, this, [this] {
        if (!shutDown_)
            RefreshControlStates();
    });
    surface_->setPlayers(session_->player(0), nullptr);

    // The map window's state follows the session; event icons ask for a seek.
    mapState_ = new MapState(*session_, *movieDialog_, this);
    mapState_->setMarkerKindsSource([this]() -> const MarkerKinds& { return graphView_->markerKinds(); });
    mapState_->setRowSource([this] { return browser_ ? browser_->listCtrl()->playingRow() : -1; });
    connect(mapState_, &MapState::seekRequested, this, [this](int frame) { SeekTo(frame); });
    // The position slider's thumb seeks both cameras.
    PositionDrag::Hooks drag;
    drag.blocked = [this] { return backgroundTaskRunning() || shutDown_; };
    drag.jumped = [this] { return controls_->positionJumped(); };
    drag.volume = [this] { return volume_; };
    auto* positionDrag = new PositionDrag(*session_, *surface_, std::move(drag), this);
    connect(controls_, &WindowControls::positionSlider, positionDrag, &PositionDrag::slider);
    connect(positionDrag, &PositionDrag::playRequested, this, &CdedoradeDlg::TogglePlay);
    connect(positionDrag, &PositionDrag::released, this, &CdedoradeDlg::RefreshControlStates);
    report_ = new WindowReport(*this, *session_, *mapState_);
    connect(report_, &WindowReport::finished, this, &CdedoradeDlg::reportFinished);
    // With RAVIR_PLAYBACK_STATS the last snapshot is written before the players go.
    if (WindowPlaybackStats* stats = WindowPlaybackStats::startIfAsked(*session_, *surface_, this))
        addShutdownStep(QStringLiteral("playback statistics"), [stats] { stats->write(QStringLiteral("exit")); });
    // Released in the shutdown routine: pause, stop, reset the current recording, then each
    // initialised slot.
    addShutdownStep(QStringLiteral("players"), [this] { session_->Shutdown(); });
}

void CdedoradeDlg::InitParts()
{
    // The list commands run as the window's background task with the skinned progress bar.
    ListTaskFlow::Hooks hooks;
    hooks.closeRecording = [this](bool keepCurrent) { CloseRecording(keepCurrent); };
    hooks.barRect = [this](bool busy) { return busy ? layout_.progressBarBusy : layout_.progressBarIdle; };
    hooks.sourceGone = [this] { return source_ && source_->gone(); };
    taskFlow_ = new ListTaskFlow(*this, catalogue_, *session_, *browser_, controls_->progressBar(),
                                  std::move(hooks));
    tasks_ = taskFlow_->tasks();
    commands_ = taskFlow_->commands();
    connect(taskFlow_, &ListTaskFlow::stateChanged, this, &CdedoradeDlg::RefreshControlStates);
    connect(taskFlow_, &ListTaskFlow::finished, this, &CdedoradeDlg::taskFinished);
    evidence_ = new EvidenceFlow(*this, *session_, *tasks_);
    addShutdownStep(QStringLiteral("background task"), [this] { taskFlow_->shutdown(); });

    settings_ = new CSettingDlg(this);

    // The graph and the panel fill their panes.
    graphView_ = new CGSensorDlg(graph_);
    graphView_->setObjectName(QStringLiteral("graphView"));
    infoView_ = new CInfoDlg(infoPanel_);
    infoView_->setObjectName(QStringLiteral("infoView"));
    for (auto [pane, view] : {std::pair<QFrame*, QWidget*>{graph_, graphView_},
                              std::pair<QFrame*, QWidget*>{infoPanel_, infoView_}}) {
        pane->setFrameShape(QFrame::NoFrame);  // the view draws its own edge
        auto* box = new QVBoxLayout(pane);
        box->setContentsMargins(0, 0, 0, 0);
        box->addWidget(view);
    }
    graphView_->setScales(LayoutScale(), FontScale());
    infoView_->setScales(LayoutScale(), FontScale());
    connect(infoView_, &CInfoDlg::axisKindToggled, graphView_, &CGSensorDlg::setAxisKindShown);
    connect(settings_, &CSettingDlg::kindSwitchChanged, graphView_,
            &CGSensorDlg::setSettingsKindShown);
    connect(settings_, &CSettingDlg::speedUnitChanged, infoView_, &CInfoDlg::setSpeedUnit);
    connect(graphView_, &CGSensorDlg::markerKindsChanged, this, [this] {
        mapState_->markerKindsChanged();  // the map's event icons are the graph's markers
        update();
    });
    connect(graphView_, &CGSensorDlg::previousEventPointRequested, this,
            [this] { JumpToEventPoint(false); });
    connect(graphView_, &CGSensorDlg::nextEventPointRequested, this,
            [this] { JumpToEventPoint(true); });
    InitSequencing();

    still_ = new CStillCapture(this, this);
    still_->setWindowHooks([this] { session_->PauseIfPlaying(); },
                            [this] { RefreshControlStates(); });
}

void CdedoradeDlg::OnEnginesReady(bool mainStarted)
{
    surface_->setPlayers(session_->player(0), session_->slotReady(1) ? session_->player(1) : nullptr);
    catalogue_.setEnginesReady(mainStarted);
    // Without the main camera's engine nothing is listable: a source listed meanwhile is
    // listed again.
    if (!mainStarted && started_ && !shutDown_ && catalogue_.mode() != SourceMode::None)
        source_->openPath(catalogue_.mode() == SourceMode::File ? catalogue_.singleFile()
                                                                : catalogue_.sourcePath());
}

void CdedoradeDlg::OnListEmptied()
{
    if (shutDown_ || (sequencer_ && sequencer_->continuingFolder()))
        return;
    if (session_->currentPath().isEmpty() && !session_->ready() && !session_->opening())
        return;
    session_->PauseIfPlaying();
    session_->StopPrefetch();
    CloseRecording();
    surface_->update();
}

void CdedoradeDlg::CloseRecording(bool keepCurrent)
{
    if (sequencer_)
        keepCurrent ? sequencer_->suspend() : sequencer_->reset();
    session_->Close();
    graphView_->clearTelemetry();
    infoView_->reset();
    mapState_->clearRecording();
    if (steps_)
        steps_->clear();
    // The list no longer has an open row: choosing any row, the last one included, opens it.
    if (browser_)
        browser_->listCtrl()->clearOpenRecording();
    RefreshControlStates();
}

void CdedoradeDlg::OnFrameShown(int frame)
{
    // Nothing open any more (frame < 0): the slider has no range.
    const int range = frame < 0 ? 0 : static_cast<int>(session_->frameCount());
    controls_->showFrame(frame, range);
    surface_->setFrameShown(frame < 0 ? -1 : frame, range);
    if (frame < 0)
        return;
    FollowRate(infoView_, session_->slotReady(0) ? rateCode() : 0);
    if (session_->telemetryReady()) {
        graphView_->setFrame(frame);
        infoView_->setFrame(frame);
    }
}

void CdedoradeDlg::OnTelemetryChanged()
{
    if (!session_->telemetryReady())
        return;
    const RecordingRecord& record = session_->currentRecord();
    graphView_->setTelemetry(session_->telemetry(), static_cast<int>(session_->frameCount()));
    infoView_->setRecording(session_->telemetry(), record.startTime, record.pictureQuality,
                             session_->main().GetFrameMs(),
                             KindOf(QFileInfo(session_->currentPath()).fileName()));
}

void CdedoradeDlg::DeferredStart()
{
    if (shutDown_ || started_)
        return;
    started_ = true;
    // The remembered normal rectangle follows the window to where it was shown.
    frame_.keepShownPosition();
    // The map window is placed beside the main window when it is first shown: by then the
    // window manager has put the main window where it stays.
    // The first recording opens at once: no row was chosen, so the open delay serves nothing.
    if (sequencer_)
        sequencer_->setOpenWithoutDelay(true);
    source_->openAtStart(options_.source);
    if (sequencer_)
        sequencer_->setOpenWithoutDelay(false);
    TraceStartup(StartupStep::CardScanned);
    session_->SetAspectKeep(aspectKeep_);
    session_->RelayoutAll();
    RefreshControlStates();
    RefreshMapShell();

    update_->start(catalogue_.recorderInfo());

    // The desktop media controls; without a session bus the viewer carries on without them.
    WindowMpris::Hooks hooks;
    hooks.dispatch = [this](Command command) { DispatchCommand(command); };
    hooks.volume = [this] { return volume_; };
    hooks.setVolume = [this](int volume) {
        volume_ = volume;
        controls_->setVolume(volume_);
        session_->SetVolume(volume_);
        RefreshControlStates();
    };
    mpris_ = new WindowMpris(*this, *session_, *browser_, std::move(hooks));
    addShutdownStep(QStringLiteral("media controls"), [this] { mpris_->stop(); });

    thumbnail_ = ReadThumbnail();
    browser_->setThumbnailMode(thumbnail_);
    Q_EMIT thumbnailModeChanged(thumbnail_);
    Q_EMIT deferredStartDone();
}

void CdedoradeDlg::RefreshControlStates()
{
    ApplyControlEnables();
    FollowRate(infoView_, session_->slotReady(0) ? rateCode() : 0);
    if (mpris_)
        mpris_->refresh();
    Q_EMIT controlStatesChanged();
}

ControlState CdedoradeDlg::controlState() const
{
    ControlState s;
    s.sourceOpen = catalogue_.mode() != SourceMode::None;
    s.rows = browser_ ? browser_->rowCount() : 0;
    s.currentIndex = sequencer_ ? sequencer_->currentRow() : -1;
    if (session_->ready()) {
        const int state = session_->playState();
        s.main = state == kPlaying  ? ControlState::Main::Playing
                 : state == kPaused ? ControlState::Main::Paused
                                    : ControlState::Main::ClosedOrStopped;
        s.rateCode = rateCode();
    }
    s.telemetryLoaded = session_->telemetryReady();
    s.sourceMode = static_cast<int>(catalogue_.mode());
    s.csvAvailable = source_ && source_->csvAvailable();
    s.opening = session_->opening();
    s.openFailed = sequencer_ && sequencer_->lastOpenFailed();
    s.openError = s.openFailed && sequencer_->lastFailResult() != 2;
    s.nearEndBlocked = nearEndBlocked();
    s.taskRunning = backgroundTaskRunning();
    return s;
}

void CdedoradeDlg::ApplyControlEnables()
{
    if (shutDown_)
        return;
    const ControlEnables e = RefreshControls(controlState());
    controls_->applyEnables(e);
    if (browser_)
        browser_->setBrowserEnabled(e.browser);
    if (infoView_)
        infoView_->setEnabled(e.infoPanel);
}

bool CdedoradeDlg::transportBlocked() const
{
    return session_->opening() || shutDown_ || backgroundTaskRunning() || nearEndBlocked();
}

bool CdedoradeDlg::isCommandEnabled(Command command) const
{
    return !shutDown_ && CommandEnabled(controlState(), command);
}

void CdedoradeDlg::LayOut()
{
    layout_ = ComputeMainLayout(width(), height(), LayoutScale());
    if (isFullScreenMode()) {
        // The main camera's picture covers the monitor; everything else is hidden.
        video_->setGeometry(rect());
    } else {
        video_->setGeometry(layout_.video);
    }
    infoPanel_->setGeometry(layout_.infoPanel);
    if (infoView_)
        infoView_->setHorizontalStretch(InfoPanelStretch(layout_.infoPanel.width(), LayoutScale()));
    graph_->setGeometry(layout_.graph);
    fileBrowser_->setGeometry(layout_.fileBrowser);
    const QRect browserInner = layout_.fileBrowser.adjusted(Scaled(6), 0, -Scaled(6), 0);
    if (browser_)
        browser_->setGeometry(browserInner);
    if (zoom_)
        zoom_->placeHint(browserInner);
    if (surface_) {
        surface_->setGeometry(video_->rect());
        session_->RelayoutAll();
    }
    controls_->place(layout_);
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
    p.drawText(layout_.titleText, Qt::AlignLeft | Qt::AlignTop, windowTitle());
    p.setPen(kPaneFrame);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CdedoradeDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!video_)
        return;
    LayOut();
}

void CdedoradeDlg::ApplyNewScale()
{
    setFont(SharedFont(kFont10));
    if (browser_)
        browser_->applyFonts();
    movieDialog_->LayOut();
    RescaleViews(graphView_, infoView_, settings_, LayoutScale(), FontScale());
    LayOut();
    Q_EMIT fontsRebuilt();
}

void CdedoradeDlg::addShutdownStep(QString name, std::function<void()> step)
{
    shutdownSteps_.emplace_back(std::move(name), std::move(step));
}

void CdedoradeDlg::Shutdown()
{
    if (shutDown_ || !initialised_)
        return;
    // 1. The update check stops first.
    update_->stop();
    // 2. The window is restored to its normal rectangle and its layout saved; the resize
    // outline goes and a user resize is no longer remembered.
    frame_.shutDown();
    shutDown_ = true;
    if (sequencerHost_)
        sequencerHost_->setShutDown();
    // 3. Timers.
    if (input_)
        input_->stop();
    if (report_)
        report_->stop();
    // The sequence of recordings ends: no open, no telemetry load, no prefetch, no watcher.
    if (source_)
        source_->stop();
    if (sequencer_) {
        sequencer_->reset();
        sequencer_->waitForLoader();
    }
    if (mapState_)
        mapState_->shutdown();
    session_->StopPrefetch();
    // 4. Playback, the current recording and the engine slots; then whatever the parts of the
    // window registered, in their order.
    for (auto& [name, step] : shutdownSteps_)
        step();
    shutdownSteps_.clear();
    // 5. A running background task was stopped and waited for with the steps above.
    // 6. The detached window goes.
    if (movieDialog_)
        movieDialog_->hide();
}

void CdedoradeDlg::closeEvent(QCloseEvent* event)
{
    if (!ConfirmClose())
        return event->ignore();
    Shutdown();
    event->accept();
}

}  // namespace ravir
