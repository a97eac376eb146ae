#include "windows/main/mpris_service.h"

#include "windows/main/mpris_adaptors.h"

#include <QCryptographicHash>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <cmath>

namespace ravir {

double NearestMprisRate(double rate)
{
    double best = 1.0;
    double bestDistance = -1;
    for (double r : kMprisRates) {
        // Rates are compared on a log scale: x3 is as near x2 as x4... and goes to x4.
        const double distance = std::abs(std::log2(std::max(rate, 1e-6)) - std::log2(r));
        if (bestDistance < 0 || distance < bestDistance - 1e-9) {
            best = r;
            bestDistance = distance;
        }
    }
    return best;
}

// --- root -------------------------------------------------------------------------------------

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service)
{
}

void MprisRootAdaptor::Raise() { service_->target()->mprisRaise(); }

void MprisRootAdaptor::Quit()
{
    // CanQuit is false: the viewer is closed from its own window.
}

// --- player -----------------------------------------------------------------------------------

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service)
{
    setAutoRelaySignals(false);
}

QString MprisPlayerAdaptor::statusName(MprisState::Status status)
{
    switch (status) {
    case MprisState::Status::Playing:
        return QStringLiteral("Playing");
    case MprisState::Status::Paused:
        return QStringLiteral("Paused");
    case MprisState::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString MprisPlayerAdaptor::playbackStatus() const { return statusName(now().status); }
double MprisPlayerAdaptor::rate() const { return now().rate; }

void MprisPlayerAdaptor::setRate(double rate)
{
    // A rate of 0 means pause by the convention; the others go to the nearest step.
    if (rate <= 0) {
        Pause();
        return;
    }
    service_->target()->mprisSetRate(NearestMprisRate(rate));
    service_->afterCommand();
}

QVariantMap MprisPlayerAdaptor::metadata() const { return service_->metadata(); }
double MprisPlayerAdaptor::volume() const { return now().volume; }

void MprisPlayerAdaptor::setVolume(double volume)
{
    service_->target()->mprisSetVolume(std::clamp(volume, 0.0, 1.0));
    service_->afterCommand();
}

qlonglong MprisPlayerAdaptor::position() const { return now().positionUs; }
bool MprisPlayerAdaptor::canGoNext() const { return now().canGoNext; }
bool MprisPlayerAdaptor::canGoPrevious() const { return now().canGoPrevious; }
bool MprisPlayerAdaptor::canPlay() const { return now().hasMovie; }
bool MprisPlayerAdaptor::canPause() const { return now().hasMovie; }
bool MprisPlayerAdaptor::canSeek() const { return now().hasMovie; }

void MprisPlayerAdaptor::Next()
{
    if (!now().canGoNext)
        return;
    service_->target()->mprisNext();
    service_->afterCommand();
}

void MprisPlayerAdaptor::Previous()
{
    if (!now().canGoPrevious)
        return;
    service_->target()->mprisPrevious();
    service_->afterCommand();
}

void MprisPlayerAdaptor::Pause()
{
    if (now().status != MprisState::Status::Playing)
        return;
    service_->target()->mprisPause();
    service_->afterCommand();
}

void MprisPlayerAdaptor::PlayPause()
{
    const MprisState s = now();
    if (!s.hasMovie)
        return;
    if (s.status == MprisState::Status::Playing)
        service_->target()->mprisPause();
    else
        service_->target()->mprisPlay();
    service_->afterCommand();
}

void MprisPlayerAdaptor::Stop()
{
    if (now().status == MprisState::Status::Stopped)
        return;
    service_->target()->mprisStop();
    service_->afterCommand();
}

void MprisPlayerAdaptor::Play()
{
    const MprisState s = now();
    if (!s.hasMovie || s.status == MprisState::Status::Playing)
        return;
    service_->target()->mprisPlay();
    service_->afterCommand();
}

void MprisPlayerAdaptor::Seek(qlonglong offset)
{
    const MprisState s = now();
    if (!s.hasMovie)
        return;
    const qlonglong target = s.positionUs + offset;
    // Past the end goes to the next recording, before the start to the first frame.
    if (target >= s.lengthUs) {
        if (s.canGoNext) {
            service_->target()->mprisNext();
            service_->afterCommand();
        }
        return;
    }
    service_->target()->mprisSeek(std::max<qlonglong>(0, target));
    service_->afterCommand();
    service_->seeked();
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong position)
{
    const MprisState s = now();
    // Stale requests (another recording) and positions outside the recording are ignored.
    if (!s.hasMovie || trackId.path() != service_->trackId() || position < 0 ||
        position > s.lengthUs)
        return;
    service_->target()->mprisSeek(position);
    service_->afterCommand();
    service_->seeked();
}

void MprisPlayerAdaptor::OpenUri(const QString&)
{
    // Recordings are chosen in the viewer's list; nothing is opened from outside.
}

// --- service ----------------------------------------------------------------------------------

MprisService::MprisService(MprisTarget* target, QObject* parent)
    : QObject(parent), target_(target), bus_(QString())
{
}

MprisService::~MprisService() { stop(); }

bool MprisService::start(const QDBusConnection& bus)
{
    stop();
    if (!target_ || !bus.isConnected())
        return false;
    bus_ = bus;
    if (!root_) {
        root_ = new MprisRootAdaptor(this);
        player_ = new MprisPlayerAdaptor(this);
    }
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this,
                             QDBusConnection::ExportAdaptors))
        return false;
    serviceName_ = QString::fromLatin1(kServiceName);
    if (!bus_.registerService(serviceName_)) {
        serviceName_ += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus_.registerService(serviceName_)) {
            bus_.unregisterObject(QString::fromLatin1(kObjectPath));
            serviceName_.clear();
            return false;
        }
    }
    running_ = true;
    last_ = target_->mprisState();
    lastSent_ = playerProperties(last_);
    return true;
}

void MprisService::stop()
{
    if (!running_)
        return;
    bus_.unregisterService(serviceName_);
    bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    running_ = false;
    serviceName_.clear();
}

QString MprisService::trackId() const
{
    const MprisState s = target_->mprisState();
    if (!s.hasMovie || s.moviePath.isEmpty())
        return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    // A valid object path element: the path's digest in hex.
    const QByteArray digest =
        QCryptographicHash::hash(s.moviePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("/org/ravir/track/t") + QString::fromLatin1(digest);
}

QVariantMap MprisService::metadata() const
{
    const MprisState s = target_->mprisState();
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    if (!s.hasMovie)
        return m;
    m.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qlonglong>(s.lengthUs));
    m.insert(QStringLiteral("xesam:title"), QFileInfo(s.moviePath).fileName());
    m.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(s.moviePath).toString());
    return m;
}

QVariantMap MprisService::playerProperties(const MprisState& s) const
{
    QVariantMap p;
    p.insert(QStringLiteral("PlaybackStatus"), MprisPlayerAdaptor::statusName(s.status));
    p.insert(QStringLiteral("Rate"), s.rate);
    p.insert(QStringLiteral("Volume"), s.volume);
    p.insert(QStringLiteral("Metadata"), metadata());
    p.insert(QStringLiteral("CanGoNext"), s.canGoNext);
    p.insert(QStringLiteral("CanGoPrevious"), s.canGoPrevious);
    p.insert(QStringLiteral("CanPlay"), s.hasMovie);
    p.insert(QStringLiteral("CanPause"), s.hasMovie);
    p.insert(QStringLiteral("CanSeek"), s.hasMovie);
    return p;
}

void MprisService::afterCommand() { refresh(); }

void MprisService::refresh()
{
    if (!running_)
        return;
    const MprisState now = target_->mprisState();
    const QVariantMap props = playerProperties(now);
    QVariantMap changed;
    for (auto it = props.cbegin(); it != props.cend(); ++it) {
        if (lastSent_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    last_ = now;
    lastSent_ = props;
    if (!changed.isEmpty())
        sendChanged(QStringLiteral("org.mpris.MediaPlayer2.Player"), changed);
}

void MprisService::seeked()
{
    if (running_ && player_)
        Q_EMIT player_->Seeked(target_->mprisState().positionUs);
}

void MprisService::sendChanged(const QString& interface, const QVariantMap& changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    bus_.send(signal);
}

}  // namespace ravir
