#include "windows/map/web/map_view.h"

#include "windows/kit/skin_artwork.h"
#include "shell/ini_keys.h"
#include "windows/map/web/map_connection.h"
#include "windows/map/web/map_host.h"

#include <QDesktopServices>
#include <QPainter>
#include <QResizeEvent>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <atomic>
#include <utility>
#include <cstdio>

// The page's resources live in a static library: registered when the first map is made.
static void initMapResources()
{
    Q_INIT_RESOURCE(map);
}

namespace ravir::map {

namespace {
const QUrl kPageUrl(QStringLiteral("qrc:/map/map.html"));

int defaultPort(const QUrl& url)
{
    return url.port(url.scheme() == u"https" ? 443 : 80);
}

// The tile URL as a URL (its placeholders filled in), for its scheme, host and port.
QUrl tileHostUrl(const QString& tileUrl)
{
    QString sample = tileUrl;
    for (const char* p : {"{z}", "{x}", "{y}", "{s}", "{r}"})
        sample.replace(QLatin1String(p), QLatin1String("1"));
    return QUrl(sample);
}

class Placeholder : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), skin::kWindowBackground);
        p.drawPixmap(0, 0, skin::render(QStringLiteral("map_logo"), size()));
    }
};
}  // namespace

// Lets through the program's own resources, data URLs and the tile host; refuses the rest.
class MapRequestFilter : public QWebEngineUrlRequestInterceptor {
public:
    MapRequestFilter(const QUrl& tileHost, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), scheme_(tileHost.scheme()),
          host_(tileHost.host()), port_(defaultPort(tileHost))
    {
    }
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        const QString scheme = url.scheme();
        const bool own = scheme == u"qrc" || scheme == u"data";
        const bool tile = !host_.isEmpty() && scheme == scheme_ &&
                          url.host().compare(host_, Qt::CaseInsensitive) == 0 &&
                          defaultPort(url) == port_ &&
                          info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeImage;
        if (!own && !tile) {
            info.block(true);
            refused.fetch_add(1);
        }
    }
    std::atomic<int> refused{0};

private:
    QString scheme_;
    QString host_;
    int port_;
};

// The page: stays on the map page; links go to the system's browser (http and https only).
class CMapPage : public QWebEnginePage {
public:
    CMapPage(QWebEngineProfile* profile, CMapView* view)
        : QWebEnginePage(profile, view), view_(view)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (url == kPageUrl && isMainFrame &&
            (type == NavigationTypeTyped || type == NavigationTypeReload))
            return true;
        if (type == NavigationTypeLinkClicked &&
            (url.scheme() == u"http" || url.scheme() == u"https"))
            Q_EMIT view_->externalLinkRequested(url);
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message,
                                  int line, const QString& source) override
    {
        if (qEnvironmentVariableIsSet("RAVIR_MAP_DEBUG"))
            std::fprintf(stderr, "map page: %s (%s:%d)\n", qPrintable(message),
                         qPrintable(source), line);
    }

private:
    CMapView* view_;
};

CMapView::CMapView(QWidget* parent) : CMapView(ReadMapTileUrl(), ReadMapAttribution(), parent)
{
}

CMapView::CMapView(const QString& tileUrl, const QString& attribution, QWidget* parent)
    : MapSurface(parent), tileUrl_(tileUrl)
{
    static const bool registered = [] {
        initMapResources();
        skin::designSize(QStringLiteral("map_icon_gforce"));  // the icons: the skin's resources
        return true;
    }();
    Q_UNUSED(registered);
    const QUrl tileHost = tileHostUrl(tileUrl);
    // A profile of its own, kept in memory: no cookies or cache on disk.
    profile_ = new QWebEngineProfile(this);
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile_->setHttpUserAgent(QStringLiteral("RavirViewer/" RAVIR_VERSION " (map)"));
    filter_ = new MapRequestFilter(tileHost, this);
    profile_->setUrlRequestInterceptor(filter_);

    host_ = new CMapHost(tileUrl, attribution, this);
    channel_ = new QWebChannel(this);
    // The frame goes to the page on every play-clock tick: sent at once, not batched.
    channel_->setPropertyUpdateInterval(0);
    channel_->registerObject(QStringLiteral("sample"), host_);

    page_ = new CMapPage(profile_, this);
    QWebEngineSettings* s = page_->settings();
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);  // the tiles
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    page_->setWebChannel(channel_);
    page_->setBackgroundColor(skin::kWindowBackground);

    web_ = new QWebEngineView(this);
    web_->setContextMenuPolicy(Qt::NoContextMenu);
    web_->setPage(page_);
    placeholder_ = new Placeholder(this);

    connect(this, &CMapView::externalLinkRequested, this,
            [this](const QUrl& url) {
                if (openLinksOutside)
                    QDesktopServices::openUrl(url);
            });
    connect(host_, &CMapHost::pageReady, this, &CMapView::onPageReady);
    connect(host_, &CMapHost::eventClicked, this, &CMapView::eventClicked);
    connect(page_, &QWebEnginePage::renderProcessTerminated, this, [this] {
        pageFailed_ = true;  // WebEngine cannot run here: the picture stays
        updatePlaceholder();
    });
    // Only the first load is the page's own; later ones are refused navigations that end as
    // failed loads while the page stays.
    connect(
        page_, &QWebEnginePage::loadFinished, this,
        [this](bool ok) {
            if (!ok) {
                pageFailed_ = true;
                updatePlaceholder();
            }
        },
        Qt::SingleShotConnection);

    tester_ = new CMapConnectionTester(this);
    connect(tester_, &CMapConnectionTester::connectedChanged, host_, &CMapHost::setConnected);
    page_->setUrl(kPageUrl);
    QMetaObject::invokeMethod(
        this, [this, tileHost] { tester_->start(tileHost, connectionIntervalMs); },
        Qt::QueuedConnection);
    updatePlaceholder();
}

CMapView::~CMapView()
{
    tester_->stop();
    // The page must go before its profile.
    delete web_;
    web_ = nullptr;
    delete page_;
    page_ = nullptr;
}

void CMapView::setRecording(const TelemetryReader& reader, int recordingIndex,
                            std::vector<GpsSample> allRecordingsGps, bool wholeTrip)
{
    gps_ = reader.gps;
    accel_ = reader.accel;
    frameIndex_ = reader.frameIndex;
    recordingIndex_ = recordingIndex;
    wholeTrip_ = wholeTrip;
    hasRecording_ = true;
    host_->setGps(gps_, std::move(allRecordingsGps), reader.hasTelemetry());
    rebuildEvents();
    updatePlaceholder();
    reload();
}

void CMapView::setAllRecordings(std::vector<GpsSample> allRecordingsGps)
{
    host_->setAllRecordings(std::move(allRecordingsGps));
    if (hasRecording_ && wholeTrip_)
        runScript(QStringLiteral("orbitgrplist.CreateLine()"));
}

void CMapView::clearRecording()
{
    gps_.clear();
    accel_.clear();
    frameIndex_.clear();
    points_.clear();
    hasRecording_ = false;
    host_->setGps({}, {}, false);
    setPlayStatus(PlayStatus::Stopped);
    updatePlaceholder();
    reload();
}

void CMapView::setMarkerKinds(const KindFlags& showOnMap, MarkerClassifier classify)
{
    showOnMap_ = showOnMap;
    classify_ = std::move(classify);
    rebuildEvents();
    // Only the icons change; the track stays as it is.
    if (host_->isPageInitialised())
        runScript((QStringList{QStringLiteral("cplist.ClearCrashPos()")} + eventIconScripts())
                      .join(QStringLiteral(";\n")));
}

void CMapView::setMarkerKinds(const MarkerKinds& kinds)
{
    setMarkerKinds(showOnMapFlags(kinds), graphClassifier());
}

void CMapView::onPageReady()
{
    // What was given before the page could take it: the recording and its events, the play
    // status and the frame (the page asks for it once the track is in), then waiting scripts.
    reload();
    host_->JS2C_SetSend();
    const QStringList pending = std::exchange(pendingScripts_, {});
    for (const QString& script : pending)
        runScript(script);
    Q_EMIT pageReady();
}

QStringList CMapView::eventIconScripts() const
{
    QStringList scripts;
    for (const CrashPos& c : crashPositions(points_, gps_, recordingIndex_, showOnMap_))
        scripts << addCrashPosScript(c);
    return scripts;
}

void CMapView::rebuildEvents()
{
    points_ = buildEventPoints(frameIndex_, accel_, showOnMap_, classify_);
}

void CMapView::reload()
{
    if (!host_->isPageInitialised())
        return;
    const QStringList scripts = reloadTrackScripts(recordingIndex_, wholeTrip_) + eventIconScripts();
    runScript(scripts.join(QStringLiteral(";\n")));
}

void CMapView::setFrame(int frame)
{
    if (frame < 0)
        return;
    if (static_cast<size_t>(frame) < frameIndex_.size()) {
        const int32_t s = frameIndex_[static_cast<size_t>(frame)];
        if (s >= 0 && static_cast<size_t>(s) < accel_.size()) {
            const int32_t g = accel_[static_cast<size_t>(s)].gpsLink;
            if (g >= 0 && static_cast<size_t>(g) < gps_.size() &&
                IsUsableFix(gps_[static_cast<size_t>(g)]))
                host_->setCoordinates(gps_[static_cast<size_t>(g)].latitude,
                                      gps_[static_cast<size_t>(g)].longitude);
        }
    }
    host_->setPosition(frame);
}

void CMapView::setPlayStatus(PlayStatus status)
{
    host_->setStatus(status);
    if (status == PlayStatus::Stopped)
        runScript(QString::fromLatin1(kMoveMarkerScript));
}

void CMapView::setMapEnabled(bool enabled)
{
    tester_->setEnabled(enabled);
    host_->setConnectionEnabled(enabled);
}

bool CMapView::isPageReady() const { return host_->isPageInitialised(); }
bool CMapView::isPlaceholderShown() const { return placeholder_->isVisibleTo(this); }
bool CMapView::isOnline() const { return host_->JS2C_ConnectTest() != 0; }
int CMapView::refusedRequests() const { return filter_->refused.load(); }

void CMapView::runScript(const QString& script)
{
    if (!page_ || pageFailed_)
        return;
    if (!host_->isPageInitialised()) {
        // A page that never comes must not make the list grow without end: the newest stay.
        constexpr qsizetype kMaxPending = 64;
        if (pendingScripts_.size() >= kMaxPending)
            pendingScripts_.removeFirst();
        pendingScripts_ << script;
        return;
    }
    page_->runJavaScript(script);
}

void CMapView::updatePlaceholder()
{
    placeholder_->setVisible(pageFailed_ || !hasRecording_ || !hasGpsFix(gps_));
    placeholder_->raise();
}

void CMapView::resizeEvent(QResizeEvent* event)
{
    web_->setGeometry(rect());
    placeholder_->setGeometry(rect());
    QWidget::resizeEvent(event);
}

}  // namespace ravir::map
