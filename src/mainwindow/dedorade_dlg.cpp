#include "mainwindow/dedorade_dlg.h"

#include "catalogue/recording_name.h"
#include "catalogue/source_select.h"
#include "catalogue/filer_container_dlg.h"
#include "mainwindow/skin_button.h"
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "shell/app_scale_gui.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

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
    InitDialog();
}

CdedoradeDlg::~CdedoradeDlg()
{
    Shutdown();
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

    // Scales and shared fonts; the start-up folder is recorded only when they could be made,
    // and it locates the configuration file for the life of the process.
    if (ComputeScalesAndFonts(this))
        setStartupFolder(QDir::currentPath());

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
        QFrame* button = makePane(QStringLiteral("transport%1").arg(38000 + i));
        button->setToolTip(text(tooltips[static_cast<size_t>(i)]));
        m_transport.push_back(button);
    }
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->hide();
    CreateControls();

    m_browser = new CFilerContainerDlg(m_catalogue, this);
    connect(m_browser, &CFilerContainerDlg::recordingChosen, this,
            [this](const RecordingRecord& r) { OpenRecording(r); });

    // First run: the three display values, only when the configuration file is new.
    WriteFirstRunValues();

    m_hwDecode = ReadHwDecode();
    m_aspectKeep = ReadAspectKeep();
    m_volume = ReadVolume();
    InitPlayers();

    // Window size: the design size times the remembered scale factors (values of 0 or less
    // are ignored), at least the design size, at most the largest enlargement of the screen.
    m_scaleX = static_cast<float>(ReadScale(ini::kScaleX, 1.0));
    m_scaleY = static_cast<float>(ReadScale(ini::kScaleY, 1.0));
    const QScreen* scr = screen();
    const float maxScale =
        scr ? MaxEnlargement(scr->geometry().width(), LayoutScale()) : kMaxEnlargementCap;
    m_scaleX = std::clamp(m_scaleX, 1.0f, std::max(1.0f, maxScale));
    m_scaleY = std::clamp(m_scaleY, 1.0f, std::max(1.0f, maxScale));
    setMinimumSize(Scaled(kDesignWidth), Scaled(kDesignHeight));
    resize(static_cast<int>(static_cast<float>(Scaled(kDesignWidth)) * m_scaleX),
           static_cast<int>(static_cast<float>(Scaled(kDesignHeight)) * m_scaleY));
    LayOut();

    m_initialised = true;
    // Deferred start once the window is shown and the event loop runs.
    QMetaObject::invokeMethod(this, &CdedoradeDlg::DeferredStart, Qt::QueuedConnection);
}

void CdedoradeDlg::InitPlayers()
{
    // Slot 0 (main camera) draws into the video surface; slot 1 (sub camera) has no window and
    // decodes in step. A slot whose engine cannot start stays uninitialised and is skipped.
    m_presenter = new VideoPresenter(m_video);
    m_presenter->setGeometry(m_video->rect());
    for (int slot = 0; slot < 2; ++slot) {
        auto player = std::make_unique<Player>(this);
        const bool ok = player->InitPlayer(slot, slot == 0 ? m_presenter : nullptr,
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
        m_playRequest = false;
    });
    m_catalogue.setEnginesReady(m_slotReady[0]);
    if (m_slotReady[0]) {
        m_players[0]->SetHardwareDecode(m_hwDecode ? 1 : 0);
        m_players[0]->SetVolume(m_volume);
    }
    for (int slot = 0; slot < 2; ++slot) {
        if (m_slotReady[static_cast<size_t>(slot)])
            m_players[static_cast<size_t>(slot)]->SetAspectMode(m_aspectKeep ? 1 : 0);
    }
    // Released in the shutdown routine: pause, stop, then each initialised slot.
    addShutdownStep(QStringLiteral("players"), [this] {
        for (int slot = 0; slot < 2; ++slot) {
            if (m_slotReady[static_cast<size_t>(slot)]) {
                m_players[static_cast<size_t>(slot)]->Pause();
                m_players[static_cast<size_t>(slot)]->Stop();
            }
        }
        for (int slot = 0; slot < 2; ++slot) {
            if (m_slotReady[static_cast<size_t>(slot)]) {
                m_slotReady[static_cast<size_t>(slot)] = false;
                m_players[static_cast<size_t>(slot)]->ShutdownPlayer();
            }
        }
    });
}

void CdedoradeDlg::OpenStartupSource()
{
    bool opened = false;
    if (!m_options.source.isEmpty()) {
        const QFileInfo info(m_options.source);
        SourceMode mode = SourceMode::Folder;
        if (info.isFile())
            mode = SourceMode::File;
        else if (DetectLayout(info.absoluteFilePath()))
            mode = SourceMode::Drive;
        if (info.exists()) {
            m_catalogue.OpenSource(info.absoluteFilePath(), mode);
            m_catalogue.SelectDefaultItem();
            opened = true;
        }
    } else {
        opened = ChooseStartupSource(m_catalogue);
    }
    m_browser->reload();
    if (opened && m_browser->rowCount() > 0)
        m_browser->setCurrentRow(0);  // chosen: opened through recordingChosen, row marked
}

int CdedoradeDlg::OpenRecording(const RecordingRecord& record)
{
    if (!m_slotReady[0])
        return 0;
    m_playing = false;
    if (m_buttons[2])
        m_buttons[2]->setAlternate(false);
    m_playRequest = false;
    m_movieReady = false;
    const int result = m_players[0]->OpenMovie(record.path);
    if (result != 1)
        return result;
    if (m_slotReady[1]) {
        const QString sub = PairedPathOf(record.path);
        if (!QFileInfo::exists(sub) || m_players[1]->OpenMovie(sub) != 1)
            m_players[1]->CloseMovie();
    }
    // The rest follows when the players report the movies ready (OnMovieOpened).
    return result;
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

void CdedoradeDlg::OnMovieOpened(int slot)
{
    if (m_shutDown || !m_slotReady[static_cast<size_t>(slot)])
        return;
    if (slot == 1) {
        // The sub camera joins the main camera where it is.
        const Player& main = *m_players[0];
        const int mainFrame =
            main.PendingSeekFrame() >= 0 ? main.PendingSeekFrame() : std::max(0, main.GetCurrentFrame());
        m_players[1]->SeekFrame(SubFrameFor(mainFrame));
        if (m_playing)
            m_players[1]->Play();
        return;
    }
    m_movieReady = true;
    m_players[0]->SetAspectMode(m_aspectKeep ? 1 : 0);
    m_players[0]->Relayout();
    m_players[0]->SeekFrame(0);
    if (m_slotReady[1] && m_players[1]->IsReady())
        m_players[1]->SeekFrame(0);
    if (m_playRequest) {
        m_playRequest = false;
        TogglePlay();
    }
    Q_EMIT movieReady();
}

void CdedoradeDlg::TogglePlay()
{
    if (!m_slotReady[0])
        return;
    if (!m_movieReady) {
        // Play pressed while the recording opens: honoured when it is ready.
        m_playRequest = !m_playRequest;
        return;
    }
    m_playing = !m_playing;
    if (m_buttons[2])
        m_buttons[2]->setAlternate(m_playing);
    for (int slot = 0; slot < 2; ++slot) {
        if (!m_slotReady[static_cast<size_t>(slot)])
            continue;
        Player& p = *m_players[static_cast<size_t>(slot)];
        m_playing ? p.Play() : p.Pause();
    }
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
    main.SeekFrame(frame);
    if (m_slotReady[1] && m_players[1]->IsReady())
        m_players[1]->SeekFrame(SubFrameFor(frame));
}

void CdedoradeDlg::DeferredStart()
{
    if (m_shutDown)
        return;
    OpenStartupSource();
    Q_EMIT deferredStartDone();
}

void CdedoradeDlg::LayOut()
{
    m_layout = ComputeMainLayout(width(), height(), LayoutScale());
    m_video->setGeometry(m_layout.video);
    m_positionSlider->setGeometry(m_layout.positionSlider);
    m_infoPanel->setGeometry(m_layout.infoPanel);
    m_graph->setGeometry(m_layout.graph);
    m_fileBrowser->setGeometry(m_layout.fileBrowser);
    m_volumeSlider->setGeometry(m_layout.volumeSlider);
    for (size_t i = 0; i < m_transport.size(); ++i)
        m_transport[i]->setGeometry(m_layout.transport[i]);
    m_progress->setGeometry(m_progress->isVisible() ? m_layout.progressBarBusy
                                                    : m_layout.progressBarIdle);
    if (m_browser)
        m_browser->setGeometry(m_layout.fileBrowser.adjusted(Scaled(6), 0, -Scaled(6), 0));
    if (m_presenter) {
        m_presenter->setGeometry(m_video->rect());
        if (m_slotReady[0])
            m_players[0]->Relayout();
    }
    PlaceControls();
}

void CdedoradeDlg::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
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
    if (m_video)
        LayOut();
}

void CdedoradeDlg::addShutdownStep(QString name, std::function<void()> step)
{
    m_shutdownSteps.emplace_back(std::move(name), std::move(step));
}

void CdedoradeDlg::SaveWindowLayout()
{
    if (isMaximized() || isFullScreen() || LayoutScale() <= 0.0f)
        return;
    const float designW = static_cast<float>(Scaled(kDesignWidth));
    const float designH = static_cast<float>(Scaled(kDesignHeight));
    if (designW <= 0.0f || designH <= 0.0f)
        return;
    m_scaleX = std::max(1.0f, static_cast<float>(width()) / designW);
    m_scaleY = std::max(1.0f, static_cast<float>(height()) / designH);
    WriteScale(ini::kScaleX, static_cast<double>(m_scaleX));
    WriteScale(ini::kScaleY, static_cast<double>(m_scaleY));
}

void CdedoradeDlg::Shutdown()
{
    if (m_shutDown || !m_initialised)
        return;
    m_shutDown = true;
    // Window layout first, while the window still has its size; then whatever the parts of the
    // window registered (update check, timers, players, background task), in their order.
    SaveWindowLayout();
    for (auto& [name, step] : m_shutdownSteps)
        step();
    m_shutdownSteps.clear();
}

void CdedoradeDlg::closeEvent(QCloseEvent* event)
{
    Shutdown();
    event->accept();
}

void CdedoradeDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_layout.caption.contains(event->position().toPoint())
        && !isMaximized()) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void CdedoradeDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
    else
        m_dragging = false;
    QWidget::mouseMoveEvent(event);
}

void CdedoradeDlg::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_layout.caption.contains(event->position().toPoint()))
        isMaximized() ? showNormal() : showMaximized();
    QWidget::mouseDoubleClickEvent(event);
}

void CdedoradeDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Close) || event->matches(QKeySequence::Quit)) {
        close();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        TogglePlay();
        return;
    case Qt::Key_Right:
        StepFrames(1);
        return;
    case Qt::Key_Left:
        StepFrames(-1);
        return;
    case Qt::Key_Home:
        StepFrames(-(1 << 30));
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace ravir
