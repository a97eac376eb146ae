// `ravir make-sample-card DIR [options]`: writes a recorder card for tests and the demo.
#include "catalogue/output_guard.h"
#include "catalogue/recording_name.h"
#include "cli/command.h"
#include "samplecard/sample_card.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

namespace ravir::cli {
namespace {

// The first file under root (three folder levels deep, as a card's Main and Sub_ folders
// lie) that is a recorder's file in a card folder; empty when there is none.
QString recorderFileIn(const QString& root)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    const int rootDepth = QDir::cleanPath(QFileInfo(root).absoluteFilePath()).count(QLatin1Char('/'));
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.absoluteFilePath().count(QLatin1Char('/')) - rootDepth > 3)
            continue;
        if (IsRecorderFileName(info.fileName()) && IsCardFileFolder(info.absolutePath()))
            return QDir(root).relativeFilePath(info.absoluteFilePath());
    }
    return {};
}

bool parseSize(const QString& text, int* w, int* h)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    *w = m.captured(1).toInt();
    *h = m.captured(2).toInt();
    return *w >= 16 && *h >= 16 && *w <= 8192 && *h <= 8192 && *w % 2 == 0 && *h % 2 == 0;
}

bool parseSeconds(const QString& text, double* out)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v > 0) || v > 276)
        return false;
    *out = v;
    return true;
}

int run(const QStringList& args)
{
    const QString name = QStringLiteral("make-sample-card");
    const ParsedArgs a = parseArgs(
        args,
        {"--layout", "--seconds", "--feature-seconds", "--main-size", "--sub-size", "--long-run",
         "--count", "--seed", "--firmware", "--recorder-number"},
        {"--small", "--demo", "--two-camera", "--no-sub", "--short", "--no-deleted", "--few-kinds",
         "--url", "--pvtrace", "--tiny", "--no-audio", "--distinct", "--no-hide", "--force"});
    if (!a.error.isEmpty())
        return usageError(name, a.error);
    if (a.positional.size() != 1)
        return usageError(name, QStringLiteral("one folder is needed"));
    if (a.has("--small") && a.has("--demo"))
        return usageError(name, QStringLiteral("--small and --demo exclude each other"));

    samples::SampleCardOptions o = a.has("--demo")    ? samples::DemoCardOptions()
                                   : a.has("--small") ? samples::SmallCardOptions()
                                                      : samples::SampleCardOptions();
    bool ok = true;
    if (a.has("--layout")) {
        o.layout = a.value("--layout").toInt(&ok);
        if (!ok || (o.layout != 0 && o.layout != 1))
            return usageError(name, QStringLiteral("--layout takes 0 or 1"));
    }
    if (a.has("--seconds") && !parseSeconds(a.value("--seconds"), &o.seconds))
        return usageError(name, QStringLiteral("--seconds takes a length above 0 and up to 276"));
    if (a.has("--feature-seconds") &&
        !parseSeconds(a.value("--feature-seconds"), &o.featureSeconds))
        return usageError(name, QStringLiteral("--feature-seconds takes a length above 0 and up to 276"));
    if (a.has("--main-size") && !parseSize(a.value("--main-size"), &o.mainWidth, &o.mainHeight))
        return usageError(name, QStringLiteral("--main-size takes WxH with even sizes of 16 or more"));
    if (a.has("--sub-size") && !parseSize(a.value("--sub-size"), &o.subWidth, &o.subHeight))
        return usageError(name, QStringLiteral("--sub-size takes WxH with even sizes of 16 or more"));
    if (a.has("--long-run")) {
        o.longRun = a.value("--long-run").toInt(&ok);
        if (!ok || o.longRun < 0 || o.longRun > 5000)
            return usageError(name, QStringLiteral("--long-run takes 0 to 5000"));
    }
    if (a.has("--count")) {
        o.count = a.value("--count").toInt(&ok);
        if (!ok || o.count < 1 || o.count > 200000)
            return usageError(name, QStringLiteral("--count takes 1 to 200000"));
    }
    if (a.has("--seed")) {
        o.seed = a.value("--seed").toUInt(&ok);
        if (!ok)
            return usageError(name, QStringLiteral("--seed takes a whole number"));
    }
    static const QRegularExpression sixDigits(QStringLiteral("^\\d{6}$"));
    if (a.has("--firmware")) {
        if (!sixDigits.match(a.value("--firmware")).hasMatch())
            return usageError(name, QStringLiteral("--firmware takes six digits"));
        o.firmware = a.value("--firmware").toLatin1();
    }
    if (a.has("--recorder-number")) {
        if (!sixDigits.match(a.value("--recorder-number")).hasMatch())
            return usageError(name, QStringLiteral("--recorder-number takes six digits"));
        o.recorderNumber = a.value("--recorder-number").toLatin1();
    }
    if (a.has("--two-camera"))
        o.twoCamera = true;
    if (a.has("--no-sub"))
        o.subCamera = false;
    if (a.has("--short"))
        o.shortMovies = true;
    if (a.has("--no-deleted"))
        o.deletedForms = false;
    if (a.has("--few-kinds"))
        o.allKinds = false;
    if (a.has("--url"))
        o.downloadUrl = true;
    if (a.has("--pvtrace"))
        o.pvtrace = true;
    if (a.has("--tiny"))
        o.tiny = true;
    if (a.has("--no-audio"))
        o.audio = false;
    if (a.has("--distinct"))
        o.distinctPictures = true;
    if (a.has("--no-hide"))
        o.hideTelemetry = false;

    // A card is written into a new or empty folder; files of another card, or anything else
    // the folder holds, are replaced only with --force.
    const QFileInfo target(a.positional[0]);
    if (target.exists() || target.isSymLink()) {
        if (!target.isDir())
            return failure(QStringLiteral("%1: exists and is not a folder").arg(a.positional[0]));
        const bool empty =
            QDir(a.positional[0])
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
        if (!empty && !a.has("--force"))
            return failure(QStringLiteral("%1: the folder is not empty (--force writes the card "
                                          "into it, replacing files of the same names)")
                               .arg(a.positional[0]));
        // Not even --force writes a sample card over a card that holds recordings: those
        // could be a driver's footage.
        if (!empty) {
            const QString found = recorderFileIn(a.positional[0]);
            if (!found.isEmpty())
                return failure(QStringLiteral("%1: holds recorder's files such as %2; a sample card "
                                              "is never written over them (choose an empty "
                                              "folder)")
                                   .arg(a.positional[0], found));
        }
    }

    QElapsedTimer timer;
    timer.start();
    samples::SampleCardSummary summary;
    QString error;
    if (!samples::WriteSampleCard(a.positional[0], o, &summary, &error))
        return failure(error);

    QJsonArray files;
    for (const samples::SampleCardFile& f : summary.files) {
        QJsonObject j{{"path", f.path}, {"role", f.role}, {"size", static_cast<double>(f.size)},
                      {"hidden", f.hidden}};
        if (f.frames > 0) {
            j["frames"] = static_cast<double>(f.frames);
            j["fps"] = f.fps;
        }
        if (f.records > 0)
            j["records"] = f.records;
        files.append(j);
    }
    printJson(QJsonObject{{"root", summary.root},
                          {"layout", summary.layout},
                          {"dos_attributes", summary.dosAttributes},
                          {"file_count", static_cast<int>(summary.files.size())},
                          {"total_bytes", static_cast<double>(summary.totalBytes)},
                          {"encodings", summary.encodings},
                          {"elapsed_ms", static_cast<double>(timer.elapsed())},
                          {"files", files}});
    return 0;
}

const CommandRegistration registration(Command{
    QStringLiteral("make-sample-card"),
    QStringLiteral("DIR [--small|--demo] [options]"),
    QStringLiteral("writes a recorder card for tests and the demo"),
    QStringLiteral(
        "Writes the folders, movies (H.264 + AAC made with the ffmpeg program, in the recorder's\n"
        "box order ftyp, mdat, moov, udat), telemetry files and deleted forms of a recorder card\n"
        "into DIR. Every frame carries its frame number in a band at the top of the picture. The\n"
        "same options and seed always give the same card. DIR must be missing or empty unless\n"
        "--force is given, and never holds a recorder's files in a card folder (not even with\n"
        "--force); each file is written under a temporary name and renamed, so a file of the\n"
        "card is complete or absent, never cut short.\n"
        "\n"
        "The card holds every combination of the first three name letters (names of the\n"
        "continuous kinds, and names of no kind, in Normal/Video; parking kinds in Parking),\n"
        "time-lapse names at 15 fps, runs of consecutive file numbers broken by gaps, a fourth\n"
        "letter S inside a run, the wrap from 999999 to 000000, deleted recordings (.DMY/.TDA,\n"
        "hidden), a recording without telemetry and one made after a clock reset (mark byte 1,\n"
        "date 000101). Telemetry: 10 records a second (15 for time-lapse names) of a drive with\n"
        "GPS outages, X/Y/Z events in impact recordings, manual, emergency-stop and parking\n"
        "letters, microphone status and supply voltage.\n"
        "\n"
        "Options:\n"
        "  --small               320x180 main / 160x90 sub movies of 1 s (a card in seconds)\n"
        "  --demo                1920x1080 / 1280x720, 12 s feature recordings, 3 s others,\n"
        "                        with ZU590-MVS_download.url and pvtrace.txt\n"
        "  --layout 0|1          0: Normal, _NData, Parking, _PData (default); 1: Video, _VData\n"
        "  --two-camera          movies in <folder>/Main and <folder>/Sub_, telemetry beside Main\n"
        "  --no-sub              no sub-camera movies\n"
        "  --seconds S           length of the ordinary recordings (default 3, --small 1)\n"
        "  --feature-seconds S   length of a handful of longer recordings\n"
        "  --main-size WxH       main camera picture (default 1920x1080)\n"
        "  --sub-size WxH        sub camera picture (default 1280x720)\n"
        "  --short               add recordings of 2 s, 1 s, 0.5 s and one frame\n"
        "  --long-run N          N consecutive parking recordings (205 passes a group of 200)\n"
        "  --few-kinds           a handful of kinds instead of every letter combination\n"
        "  --no-deleted          no deleted (.DMY/.TDA) recordings\n"
        "  --no-hide             do not set the hidden attribute (it is set on FAT/exFAT only)\n"
        "  --url                 write ZU590-MVS_download.url at the root\n"
        "  --pvtrace             write pvtrace.txt at the root\n"
        "  --count N             a benchmark card of N recordings (runs, gaps, both folders)\n"
        "  --tiny                64x36 movies of at most 0.2 s, where only names and structure\n"
        "                        matter (fuzz seeds, catalogue benchmarks)\n"
        "  --distinct            encode every movie on its own (else equal movies share bytes)\n"
        "  --no-audio            movies without sound\n"
        "  --force               write into a folder that is not empty, replacing files of the\n"
        "                        same names (other files stay); a folder holding a recorder's\n"
        "                        files is refused all the same\n"
        "  --seed N              varies telemetry and pictures (default 1)\n"
        "  --firmware DDDDDD     firmware digits of the telemetry header (default 010502)\n"
        "  --recorder-number DDDDDD  digits after the telemetry end magic (default 231015)\n"
        "\n"
        "Prints: root, layout, dos_attributes (whether hidden attributes could be set),\n"
        "file_count, total_bytes, encodings (ffmpeg runs), elapsed_ms, and files: path (relative\n"
        "to DIR), role (main, sub, telemetry, deleted-main, deleted-telemetry, marker), size,\n"
        "hidden, and frames/fps for movies, records for telemetry files.\n"),
    run});

}  // namespace
}  // namespace ravir::cli
