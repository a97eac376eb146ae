#pragma once
// The desktop's media controls (MPRIS 2 over D-Bus): media keys, panels and playerctl drive the
// viewer through the bus name org.mpris.MediaPlayer2.ravir. Every call runs one command of the
// window through MprisTarget, the same command as the window's button; the window tells the
// service when its state may have changed (refresh()), and the service sends PropertiesChanged
// for what did change. Without a session bus the service stays off and the viewer runs as
// before.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

namespace ravir {

// What the bus sees of the player and the commands it may run.
struct MprisState {
    enum class Status { Stopped, Playing, Paused };
    Status status = Status::Stopped;
    bool hasMovie = false;
    qint64 positionUs = 0;  // the main camera's current frame
    qint64 lengthUs = 0;
    double rate = 1.0;
    double volume = 1.0;  // 0..1
    QString moviePath;    // the recording's main camera file
    bool canGoNext = false;
    bool canGoPrevious = false;
};

class MprisTarget {
public:
    virtual ~MprisTarget() = default;
    virtual MprisState mprisState() const = 0;
    virtual void mprisPlay() = 0;
    virtual void mprisPause() = 0;
    virtual void mprisStop() = 0;
    virtual void mprisNext() = 0;
    virtual void mprisPrevious() = 0;
    // Shows the main camera's frame at that position (clamped by the window's seek rules).
    virtual void mprisSeek(qint64 positionUs) = 0;
    // One of kMprisRates.
    virtual void mprisSetRate(double rate) = 0;
    virtual void mprisSetVolume(double volume) = 0;
    virtual void mprisRaise() = 0;
};

// The play rates the viewer offers.
inline constexpr double kMprisRates[] = {0.25, 0.5, 1.0, 2.0, 4.0};
double NearestMprisRate(double rate);

class MprisRootAdaptor;
class MprisPlayerAdaptor;

class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.ravir";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    explicit MprisService(MprisTarget* target, QObject* parent = nullptr);
    ~MprisService() override;

    // Puts the player on the bus (the session bus unless told otherwise). When the name is
    // taken (a second viewer), takes org.mpris.MediaPlayer2.ravir.instance<pid>. False when
    // there is no bus or it refused: the viewer then runs without desktop media controls.
    bool start(const QDBusConnection& bus = QDBusConnection::sessionBus());
    void stop();
    bool isRunning() const { return running_; }
    QString serviceName() const { return serviceName_; }

    // Compares the target's state with the last one sent and signals what changed (the
    // position, which runs while playing, is read when asked and not signalled).
    void refresh();
    // The position jumped (a seek by the window or over the bus): signals Seeked.
    void seeked();

    // For the adaptors.
    MprisTarget* target() const { return target_; }
    const MprisState& state() const { return last_; }
    QVariantMap metadata() const;
    QString trackId() const;
    void afterCommand();

private:
    QVariantMap playerProperties(const MprisState& s) const;
    void sendChanged(const QString& interface, const QVariantMap& changed);

    MprisTarget* target_;
    QDBusConnection bus_;
    QString serviceName_;
    bool running_ = false;
    MprisState last_;
    QVariantMap lastSent_;
    MprisRootAdaptor* root_ = nullptr;
    MprisPlayerAdaptor* player_ = nullptr;
};

}  // namespace ravir
