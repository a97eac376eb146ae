#include "sample_card.h"

#include "recorder_layout.h"
#include "sample_movie.h"
#include "shell/hidden_attribute.h"
#include "shell/safe_write.h"
#include "telemetry_block.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <cmath>
#include <tuple>
#include <vector>

namespace ravir::samples {
namespace {

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

// One recording of the plan.
struct Planned {
    QByteArray letters;     // positions 0..3 of the name
    QDateTime time;         // start (local calendar time)
    int number = 0;         // file number 0..999999
    bool parkingFolder = false;
    double seconds = 1.0;   // movie length
    bool feature = false;   // a longer recording with a picture of its own
    bool deleted = false;   // main movie .DMY, telemetry .TDA
    bool noTelemetry = false;
    uint8_t mark = 0;       // recorder clock reset
    bool emergencyStop = false;
    int outage = 0;         // 0 none, 1 at the start (cold start), 2 in the middle (tunnel)
    char impactAxis = 'X';

    bool timeLapse() const { return letters[0] == 'T' || letters[2] == 'T'; }
    bool parked() const { return letters[0] == 'P' || (letters[0] == '_' && letters[2] == 'T'); }
    QString stem() const
    {
        return QString::fromLatin1(letters) + QLatin1Char('-') +
               time.toString(QStringLiteral("yyMMdd-HHmmss")) + QLatin1Char('-') +
               QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
    }
};

// Builds the recordings in card order, keeping a recorder clock and running number.
class Planner {
public:
    Planner(QDateTime start, int number) : clock_(start), number_(number) {}

    Planned& add(const char* letters, bool parking, double seconds)
    {
        Planned p;
        p.letters = QByteArray(letters, 4);
        p.time = clock_;
        p.number = number_;
        p.parkingFolder = parking;
        p.seconds = seconds;
        // Real time covered: time-lapse movies show 15 seconds in each second.
        const double real = p.timeLapse() ? seconds * 15.0 : seconds;
        clock_ = clock_.addSecs(std::max<qint64>(1, static_cast<qint64>(std::ceil(real))));
        number_ = (number_ + 1) % 1000000;
        plan_.push_back(p);
        return plan_.back();
    }
    void gap(int numbers, int minutes)
    {
        number_ = (number_ + numbers) % 1000000;
        clock_ = clock_.addSecs(minutes * 60);
    }
    void newDay(QDateTime start) { clock_ = start; }
    void setNumber(int n) { number_ = n; }
    std::vector<Planned>& plan() { return plan_; }

private:
    QDateTime clock_;
    int number_;
    std::vector<Planned> plan_;
};

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

std::vector<Planned> planStandard(const SampleCardOptions& o)
{
    const double s = o.seconds;
    const double fs = o.featureSeconds > 0 ? o.featureSeconds : s;
    Planner p(at(2025, 3, 14, 8, 0), 101);
    auto feature = [&](Planned& r) -> Planned& {
        r.feature = o.featureSeconds > 0;
        return r;
    };

    // Day 1, continuous folder: a run of five, a gap, then the other letter combinations.
    feature(p.add("A___", false, fs)).outage = 1;
    feature(p.add("A___", false, fs)).emergencyStop = true;
    feature(p.add("AG__", false, fs)).impactAxis = 'X';
    feature(p.add("AM__", false, fs));
    feature(p.add("A___", false, fs)).outage = 2;
    p.gap(1, 3);
    if (o.allKinds) {
        int index = 0;
        int impacts = 0;
        for (char mode : {'A', 'T'}) {
            for (char event : {'_', 'G', 'M'}) {
                for (char third : {'_', 'O', 'R', 'T'}) {
                    if (mode == 'A' && third == '_')
                        continue;  // in the first run
                    char letters[5] = {mode, event, third, '_', 0};
                    if (index == 3)
                        letters[3] = 'S';  // opens a new group inside the run
                    Planned& r = p.add(letters, false, mode == 'T' && third == '_' ? fs : s);
                    if (mode == 'T' && event == '_' && third == '_')
                        r.feature = o.featureSeconds > 0;
                    if (event == 'G')
                        r.impactAxis = "XYZ"[impacts++ % 3];
                    if (index == 5)
                        r.deleted = o.deletedForms;
                    if (index == 8)
                        r.noTelemetry = true;
                    ++index;
                }
            }
        }
        p.gap(3, 10);
        // Names of no kind: the recorder does not write them, the viewer must not list them.
        for (char event : {'_', 'G', 'M'})
            for (char third : {'_', 'O', 'R'}) {
                const char letters[5] = {'_', event, third, '_', 0};
                p.add(letters, false, s);
            }
    } else {
        p.add("T___", false, fs).feature = o.featureSeconds > 0;
        p.add("A__S", false, s);
        Planned& d = p.add("A___", false, s);
        d.deleted = o.deletedForms;
        p.add("A___", false, s).noTelemetry = true;
    }
    if (o.shortMovies) {
        p.gap(1, 5);
        for (double len : {2.0, 1.0, 0.5, 1.0 / 30.0})
            p.add("A___", false, len);
    }

    // Day 1 afternoon, parking folder: every parking combination with a gap in the middle.
    p.newDay(at(2025, 3, 14, 12, 30));
    p.gap(2, 0);
    if (o.allKinds) {
        int index = 0;
        int impacts = 0;
        for (char mode : {'P', '_'}) {
            for (char event : {'_', 'G', 'M'}) {
                for (char third : {'_', 'O', 'R', 'T'}) {
                    if (mode == '_' && third != 'T')
                        continue;
                    const char letters[5] = {mode, event, third, '_', 0};
                    const bool isFeature = mode == 'P' && (third == '_' || third == 'T') && event != 'M';
                    Planned& r = p.add(letters, true, isFeature ? fs : s);
                    r.feature = isFeature && o.featureSeconds > 0;
                    if (event == 'G')
                        r.impactAxis = "ZYX"[impacts++ % 3];
                    if (index == 9)
                        r.deleted = o.deletedForms;
                    if (index == 6)
                        p.gap(1, 20);
                    ++index;
                }
            }
        }
    } else {
        p.add("P___", true, fs).feature = o.featureSeconds > 0;
        p.add("PG__", true, fs).feature = o.featureSeconds > 0;
        p.add("P_T_", true, s);
    }

    // Day 2: a long parking run, then driving across the number wrap.
    if (o.longRun > 0) {
        p.newDay(at(2025, 3, 15, 1, 0));
        p.gap(1, 0);
        for (int i = 0; i < o.longRun; ++i)
            p.add("P___", true, s);
    }
    p.newDay(at(2025, 3, 15, 9, 0));
    p.setNumber(999998);
    for (int i = 0; i < 4; ++i)
        p.add(i == 2 ? "AG__" : "A___", false, s);  // 999998, 999999, 000000, 000001
    // A recording made after the recorder's clock was reset.
    p.newDay(at(2000, 1, 1, 0, 0, 12));
    p.add("A___", false, s).mark = 1;
    return p.plan();
}

std::vector<Planned> planBenchmark(const SampleCardOptions& o)
{
    static const char* const kinds[] = {"A___", "A___", "A___", "AG__", "A___", "AM__",
                                        "T___", "A___", "TG__", "A___"};
    static const char* const parking[] = {"P___", "P___", "PG__", "P_T_", "__T_", "PGT_"};
    const double s = o.tiny ? 0.2 : o.seconds;
    const int parkingCount = o.count / 5;
    const int driveCount = o.count - parkingCount;
    Planner p(at(2025, 1, 1, 7, 0), 1);
    for (int i = 0; i < driveCount; ++i) {
        if (i > 0 && i % 500 == 0)
            p.newDay(at(2025, 1, 1, 7, 0).addDays(i / 500));
        else if (i > 0 && i % 37 == 0)
            p.gap(1 + i % 3, 2);
        Planned& r = p.add(kinds[i % 10], false, s);
        if (i % 97 == 50)
            r.letters[3] = 'S';
    }
    p.newDay(at(2025, 1, 1, 1, 0).addDays(driveCount / 500 + 1));
    for (int i = 0; i < parkingCount; ++i) {
        if (i > 0 && i % 41 == 0)
            p.gap(1, 30);
        p.add(parking[i % 6], true, s);
    }
    return p.plan();
}

QString folderOf(int layout, bool parking, bool data)
{
    if (parking)
        return data ? QStringLiteral("_PData") : QStringLiteral("Parking");
    if (layout == 1)
        return data ? QStringLiteral("_VData") : QStringLiteral("Video");
    return data ? QStringLiteral("_NData") : QStringLiteral("Normal");
}

using MovieKey = std::tuple<int, int, long long, long long, bool, uint32_t>;

class CardWriter {
public:
    CardWriter(const QString& root, const SampleCardOptions& o, SampleCardSummary& summary)
        : root_(root), o_(o), summary_(summary)
    {
    }

    bool write(const std::vector<Planned>& plan, QString* error)
    {
        if (!QDir().mkpath(root_)) {
            setError(error, QStringLiteral("cannot create %1").arg(root_));
            return false;
        }
        summary_.dosAttributes = HasDosAttributes(root_);
        if (!scratch_.isValid()) {
            setError(error, QStringLiteral("cannot create a temporary folder"));
            return false;
        }
        for (const QString& folder : {folderOf(o_.layout, false, false), folderOf(o_.layout, false, true),
                                      folderOf(o_.layout, true, false), folderOf(o_.layout, true, true)})
            QDir(root_).mkpath(folder);
        for (const Planned& r : plan)
            if (!writeRecording(r, error))
                return false;
        if (o_.downloadUrl &&
            !writeFile(QStringLiteral("ZU590-MVS_download.url"), "marker",
                       "[InternetShortcut]\r\nURL=https://example.com/ZU590-MVS/\r\n", false, error))
            return false;
        if (o_.pvtrace && !writeFile(QStringLiteral("pvtrace.txt"), "marker", "1\r\n", false, error))
            return false;
        return true;
    }

private:
    bool writeRecording(const Planned& r, QString* error)
    {
        const QString stem = r.stem();
        const QString movieFolder = folderOf(o_.layout, r.parkingFolder, false);
        QString mainDir = movieFolder;
        QString subDir = movieFolder;
        QString dataDir = folderOf(o_.layout, r.parkingFolder, true);
        if (o_.twoCamera) {
            mainDir = movieFolder + QStringLiteral("/Main");
            subDir = movieFolder + QStringLiteral("/Sub_");
            dataDir = mainDir;  // no layout folder is the parent: the data lies beside the movie
        }
        const double fps = r.timeLapse() ? 15.0 : 30.0;
        const double seconds = o_.tiny ? std::min(0.2, r.seconds) : r.seconds;
        const int perSecond = r.timeLapse() ? 15 : 10;
        const int records = std::clamp(static_cast<int>(std::lround(seconds * perSecond)), 1,
                                       kTelemetryMaxRecords);
        const QByteArray block = telemetryFor(r, records);

        const QString mainName = mainDir + QLatin1Char('/') + stem +
                                 (r.deleted ? QStringLiteral("M.DMY") : QStringLiteral("M.MOV"));
        int mw = o_.mainWidth, mh = o_.mainHeight, sw = o_.subWidth, sh = o_.subHeight;
        if (o_.tiny) {
            mw = sw = 64;
            mh = sh = 36;
        }
        const uint32_t pictureSeed =
            (o_.distinctPictures || r.feature) ? o_.seed * 7919u + static_cast<uint32_t>(r.number) : o_.seed;
        if (!writeMovie(mainName, r.deleted ? "deleted-main" : "main", mw, mh, fps, seconds, pictureSeed,
                        block, r.deleted && o_.hideTelemetry, error))
            return false;
        if (o_.subCamera) {
            const QString subName = subDir + QLatin1Char('/') + stem + QStringLiteral("S.MOV");
            if (!writeMovie(subName, "sub", sw, sh, fps, seconds, pictureSeed + 1, block, false, error))
                return false;
        }
        if (!r.noTelemetry) {
            const QString dataName = dataDir + QLatin1Char('/') + stem +
                                     (r.deleted ? QStringLiteral("D.TDA") : QStringLiteral("D.ADA"));
            if (!writeFile(dataName, r.deleted ? "deleted-telemetry" : "telemetry", block,
                           o_.hideTelemetry, error))
                return false;
            summary_.files.back().records = records;
        }
        return true;
    }

    QByteArray telemetryFor(const Planned& r, int records) const
    {
        TelemetryOptions t;
        t.records = records;
        t.start = r.time;
        t.secondsPerRecordTenths = r.timeLapse() ? 10 : 1;
        t.drive = r.parked() ? DriveKind::Parked : DriveKind::Driving;
        t.kindLetter = r.parkingFolder ? 'D' : 'M';
        t.firmware = o_.firmware;
        t.recorderNumber = o_.recorderNumber;
        t.mark = r.mark;
        t.seed = o_.seed * 1000003u + static_cast<uint32_t>(r.number);
        t.microphone = r.number % 5 != 4;
        // Each recording starts somewhere else around the city.
        t.latitude = 35.60 + static_cast<double>((r.number * 37 + o_.seed * 11) % 200) / 1000.0;
        t.longitude = 139.60 + static_cast<double>((r.number * 53 + o_.seed * 17) % 300) / 1000.0;
        if (r.letters[1] == 'G')
            t.impactAt = std::max(2, records * 2 / 5);
        t.impactAxis = r.impactAxis;
        if (r.letters[1] == 'M')
            t.manualAt = records * 3 / 10;
        if (r.emergencyStop)
            t.emergencyStopAt = std::max(0, records - 1 - records / 10);
        if (r.parked())
            t.parkingAt = r.letters[1] == 'G' ? t.impactAt : records / 3;
        if (r.outage == 1) {
            t.outageFrom = 0;
            t.outageTo = std::max(1, records / 5);
        } else if (r.outage == 2) {
            t.outageFrom = records * 3 / 10;
            t.outageTo = records / 2;
        }
        return MakeTelemetryBlock(t);
    }

    // A movie made once per distinct set of options (in the scratch folder, without udat) and
    // copied with the recording's own udat box appended.
    bool writeMovie(const QString& relative, const char* role, int w, int h, double fps, double seconds,
                    uint32_t pictureSeed, const QByteArray& block, bool hidden, QString* error)
    {
        SampleMovieOptions m;
        m.width = w;
        m.height = h;
        m.fps = fps;
        m.seconds = seconds;
        m.gop = static_cast<int>(fps);
        m.audio = o_.audio;
        m.recorderLayout = true;
        m.seed = pictureSeed;
        const long long frames = frameCount(m);
        const MovieKey key{w, h, std::llround(fps * 1000.0), frames, m.audio, pictureSeed};
        QString encoded = encoded_.value(key);
        if (encoded.isEmpty()) {
            encoded = scratch_.filePath(QStringLiteral("movie%1.mov").arg(encoded_.size()));
            if (!WriteSampleMovie(encoded, m, error))
                return false;
            encoded_.insert(key, encoded);
            ++summary_.encodings;
        }
        QFile source(encoded);
        if (!source.open(QIODevice::ReadOnly)) {
            setError(error, QStringLiteral("cannot read %1").arg(encoded));
            return false;
        }
        const QByteArray bytes = source.readAll() + UdatBox(block);
        if (!writeFile(relative, role, bytes, hidden, error))
            return false;
        summary_.files.back().frames = frames;
        summary_.files.back().fps = fps;
        return true;
    }

    bool writeFile(const QString& relative, const char* role, const QByteArray& bytes, bool hidden,
                   QString* error)
    {
        const QString path = root_ + QLatin1Char('/') + relative;
        const QFileInfo info(path);
        if (!QDir().mkpath(info.absolutePath())) {
            setError(error, QStringLiteral("cannot create %1").arg(info.absolutePath()));
            return false;
        }
        if (const SafeWriteError e = SafeWriteFile(path, bytes); e.failed()) {
            setError(error, QStringLiteral("cannot write %1: %2").arg(path, e.message()));
            return false;
        }
        bool hiddenSet = false;
        if (hidden && summary_.dosAttributes)
            hiddenSet = SetHiddenAttribute(path);
        SampleCardFile f;
        f.path = relative;
        f.role = QString::fromLatin1(role);
        f.size = bytes.size();
        f.hidden = hidden && hiddenSet;
        summary_.files.push_back(f);
        summary_.totalBytes += f.size;
        return true;
    }

    QString root_;
    const SampleCardOptions& o_;
    SampleCardSummary& summary_;
    QTemporaryDir scratch_;
    QMap<MovieKey, QString> encoded_;
};

}  // namespace

QString OptionsFingerprint(const SampleCardOptions& o)
{
    return QStringLiteral("v%1 layout=%2 two=%3 sub=%4 main=%5x%6 subsize=%7x%8 s=%9 fs=%10 "
                          "audio=%11 kinds=%12 short=%13 long=%14 deleted=%15 hide=%16 url=%17 "
                          "pvtrace=%18 distinct=%19 count=%20 tiny=%21 seed=%22 fw=%23 rn=%24")
        .arg(kSampleDataVersion).arg(o.layout).arg(o.twoCamera).arg(o.subCamera)
        .arg(o.mainWidth).arg(o.mainHeight).arg(o.subWidth).arg(o.subHeight)
        .arg(o.seconds, 0, 'g', 17).arg(o.featureSeconds, 0, 'g', 17)
        .arg(o.audio).arg(o.allKinds).arg(o.shortMovies).arg(o.longRun).arg(o.deletedForms)
        .arg(o.hideTelemetry).arg(o.downloadUrl).arg(o.pvtrace).arg(o.distinctPictures)
        .arg(o.count).arg(o.tiny).arg(o.seed)
        .arg(QString::fromLatin1(o.firmware), QString::fromLatin1(o.recorderNumber));
}

SampleCardOptions SmallCardOptions()
{
    SampleCardOptions o;
    o.mainWidth = 320;
    o.mainHeight = 180;
    o.subWidth = 160;
    o.subHeight = 90;
    o.seconds = 1.0;
    return o;
}

SampleCardOptions DemoCardOptions()
{
    SampleCardOptions o;
    o.seconds = 3.0;  // longer than 2 s, so every ordinary recording plays
    o.featureSeconds = 12.0;
    o.downloadUrl = true;
    o.pvtrace = true;
    return o;
}

bool WriteSampleCard(const QString& dir, const SampleCardOptions& options, SampleCardSummary* summary,
                     QString* error)
{
    if (options.layout != 0 && options.layout != 1) {
        setError(error, QStringLiteral("layout must be 0 or 1"));
        return false;
    }
    if (options.count < 0 || options.count > 200000 || options.longRun < 0 || options.longRun > 5000) {
        setError(error, QStringLiteral("count or long run out of range"));
        return false;
    }
    if (!(options.seconds > 0) || options.seconds > 276 || options.featureSeconds < 0 ||
        options.featureSeconds > 276) {
        setError(error, QStringLiteral("movie length must lie between 0 and 276 seconds"));
        return false;
    }
    SampleCardSummary local;
    SampleCardSummary& s = summary ? *summary : local;
    s = SampleCardSummary();
    s.root = QDir(dir).absolutePath();
    s.layout = options.layout;
    const std::vector<Planned> plan = options.count > 0 ? planBenchmark(options) : planStandard(options);
    CardWriter writer(s.root, options, s);
    return writer.write(plan, error);
}

}  // namespace ravir::samples
