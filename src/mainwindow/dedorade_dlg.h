#pragma once
// CdedoradeDlg: the viewer's main window. A borderless dark window on the design grid of
// 1120 x 697 scaled units that holds the main camera surface, the position slider, the vehicle
// information panel, the acceleration graph, the file browser, the transport row, the volume
// slider and the progress bar of the background task.
#include "catalogue/catalogue.h"
#include "catalogue/recording_record.h"
#include "mainwindow/main_layout.h"

#include <array>
#include <memory>

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QFrame;
class QProgressBar;

namespace ravir {

class CFilerContainerDlg;
class CSkinButton;
class CSkinFrame;
class CSkinProgressBarCtrl;
class CSkinSliderCtrl;
class Player;
class VideoPresenter;

class CdedoradeDlg : public QWidget {
    Q_OBJECT
public:
    struct Options {
        QString source;  // a card, folder or movie given on the command line
    };
    explicit CdedoradeDlg(Options options, QWidget* parent = nullptr);
    ~CdedoradeDlg() override;

    // The one shutdown routine, run by the close command, the system close and the loss of the
    // drive that holds the program. Safe to call more than once.
    void Shutdown();

    bool initialised() const { return m_initialised; }
    bool aspectKeep() const { return m_aspectKeep; }
    int volume() const { return m_volume; }
    bool hardwareDecoding() const { return m_hwDecode; }
    const MainLayout& layoutRects() const { return m_layout; }
    QString startupSource() const { return m_options.source; }
    Catalogue& catalogue() { return m_catalogue; }
    Player* player(int slot) const { return m_players[static_cast<size_t>(slot)].get(); }
    bool slotInitialised(int slot) const { return m_slotReady[static_cast<size_t>(slot)]; }

    // Opens a recording in both slots (main camera in slot 0, its paired sub-camera movie in
    // slot 1) without waiting for the engine; once the main camera's movie is ready its first
    // frame is shown, paused, and movieReady() is emitted. Returns the main slot's open result
    // (0 failed, 1 opened, 2 too short).
    int OpenRecording(const RecordingRecord& record);
    bool movieIsReady() const { return m_movieReady; }
    void TogglePlay();
    void StepFrames(int delta);

    // Steps of the shutdown routine, in order; later parts of the window register what they
    // must release (the update check, the players, the background task).
    void addShutdownStep(QString name, std::function<void()> step);

Q_SIGNALS:
    void deferredStartDone();
    void movieReady();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void InitDialog();
    void DeferredStart();
    void LayOut();
    void SaveWindowLayout();
    QFrame* makePane(const QString& name);
    void InitPlayers();
    void OpenStartupSource();
    void OnMovieOpened(int slot);
    int SubFrameFor(int mainFrame) const;

    Options m_options;
    bool m_initialised = false;
    bool m_shutDown = false;
    bool m_aspectKeep = false;
    bool m_hwDecode = false;
    int m_volume = 65535;
    float m_scaleX = 1.0f;
    float m_scaleY = 1.0f;
    MainLayout m_layout;
    QPoint m_dragOffset;
    bool m_dragging = false;

    QFrame* m_video = nullptr;
    QFrame* m_positionSlider = nullptr;
    QFrame* m_infoPanel = nullptr;
    QFrame* m_graph = nullptr;
    QFrame* m_fileBrowser = nullptr;
    QFrame* m_volumeSlider = nullptr;
    std::vector<QFrame*> m_transport;
    QProgressBar* m_progress = nullptr;

    Catalogue m_catalogue;
    CFilerContainerDlg* m_browser = nullptr;
    VideoPresenter* m_presenter = nullptr;
    std::array<std::unique_ptr<Player>, 2> m_players;
    std::array<bool, 2> m_slotReady{false, false};
    bool m_playing = false;
    bool m_movieReady = false;   // the main camera's movie is ready
    bool m_playRequest = false;  // play was pressed while the recording opened

    std::vector<std::pair<QString, std::function<void()>>> m_shutdownSteps;

    // ---- Skinned controls (dedorade_controls.cpp) ----
    void CreateControls();  // transport and title-bar buttons, sliders, progress bar, frame
    void PlaceControls();   // at the current layout rectangles and scale
    std::array<CSkinButton*, kTransportButtonCount> m_buttons{};  // index = command id - 38000
    CSkinButton* m_closeButton = nullptr;
    CSkinButton* m_maximiseButton = nullptr;
    CSkinButton* m_minimiseButton = nullptr;
    CSkinButton* m_thumbnailButton = nullptr;
    CSkinSliderCtrl* m_positionCtrl = nullptr;
    CSkinSliderCtrl* m_volumeCtrl = nullptr;
    CSkinProgressBarCtrl* m_progressCtrl = nullptr;
    CSkinFrame* m_skinFrame = nullptr;
    // ---- end of skinned controls ----
};

}  // namespace ravir
