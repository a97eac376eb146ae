#include "exports/recording_csv.h"

#include "container/mp4_box.h"
#include "container/telemetry.h"
#include "exports/text_encoding.h"
#include "shell/regular_file.h"
#include "shell/safe_write.h"
#include "shell/ui_text.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

const QLatin1String kCrLf("\r\n");

QString fileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(slash + 1);
}

// Why a user's file cannot be read as a regular file, or empty when it can.
QString unreadableReason(const QString& path)
{
    return OpenRegularFile(path).why();
}

// stat of a path: 0 and the status, or the errno of the failure.
int statOf(const QString& path, struct stat* st)
{
    return ::stat(QFile::encodeName(path).constData(), st) == 0 ? 0 : errno;
}

// An error that says the file's medium is gone or no longer answers (the card was pulled), as
// opposed to a file that is there but cannot be used.
bool isVanishedError(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case EIO:
    case ENODEV:
    case ENXIO:
    case ESTALE:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
        return true;
    default:
        return false;
    }
}

bool isTimeLapseName(const QString& fileName)
{
    return (fileName.size() > 0 && fileName[0] == QLatin1Char('T'))
           || (fileName.size() > 2 && fileName[2] == QLatin1Char('T'));
}

}  // namespace

std::optional<CsvMovieFacts> ReadCsvMovieFacts(const QString& moviePath, QString* reason)
{
    const auto refuse = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    const QString telemetryPath = TelemetryPathOf(moviePath);
    if (const QString why = unreadableReason(telemetryPath); !why.isEmpty())
        return refuse(QStringLiteral("telemetry file %1: %2").arg(telemetryPath, why));
    TelemetryHeader header;
    if (!ReadTelemetryHeader(telemetryPath, header))
        return refuse(QStringLiteral("telemetry file %1: no readable telemetry header")
                          .arg(telemetryPath));
    if (const QString why = unreadableReason(moviePath); !why.isEmpty())
        return refuse(QStringLiteral("movie: %1").arg(why));
    QString error;
    auto movie = OpenMovieFile(moviePath, {}, &error);
    if (!movie)
        return refuse(QStringLiteral("movie: cannot be read as MP4 boxes (%1)").arg(error));
    const std::optional<PictureSize> picture = GetPictureSize(*movie);
    CsvMovieFacts facts;
    facts.totalSamples =
        static_cast<uint32_t>(std::min<uint64_t>(GetTotalSamples(*movie).value_or(0), UINT32_MAX));
    facts.frameRate = GetFrameRate(*movie).value_or(0.0);
    CloseMovieFile(movie);
    if (!picture || picture->width <= 0 || picture->height <= 0)
        return refuse(QStringLiteral("movie: no valid picture size"));
    facts.width = picture->width;
    facts.height = picture->height;
    facts.mark = header.mark;
    return facts;
}

QString CsvFileName(const SystemTime& t)
{
    return QString::asprintf("Dv_%04d%02d%02d_%02d%02d%02d.csv", t.year, t.month, t.day, t.hour,
                             t.minute, t.second);
}

QString CsvHeaderLine(bool rtcColumn)
{
    QString line = text(TXT_CSV_FILE_NAME) + text(TXT_CSV_DATE) + text(TXT_CSV_START_TIME)
                   + text(TXT_CSV_REC_TIME) + text(TXT_CSV_TRIGGER) + text(TXT_CSV_REC_SIZE)
                   + text(TXT_CSV_FRAME_RATE);
    if (rtcColumn)
        line += text(TXT_CSV_DATA_SIZE) + text(TXT_RTC_RESET);
    else
        line += text(TXT_DATA_SIZE);
    return line + kCrLf;
}

QString CsvShortRow(const QString& fileName)
{
    return fileName + QLatin1String(",-,-,-,-,-,fps,0MB") + kCrLf;
}

QString CsvPictureSizeClass(int height)
{
    switch (height) {
    case 360:
        return QStringLiteral("SD");
    case 720:
        return QStringLiteral("HD");
    case 1080:
        return QStringLiteral("FHD");
    case 1296:
        return QStringLiteral("3M");
    case 1440:
        return QStringLiteral("WQHD");
    default:
        return QString();
    }
}

QString CsvRow(const QString& moviePath, const std::optional<CsvMovieFacts>& facts,
               uint64_t fileSize, bool rtcColumn)
{
    const QString name = fileNameOf(moviePath);
    // A frame rate that is no positive number cannot give a recording time.
    if (!facts || !(facts->frameRate > 0) || !std::isfinite(facts->frameRate))
        return CsvShortRow(name);

    double samples = facts->totalSamples;
    QString rateText;
    if (isTimeLapseName(name)) {
        samples = std::trunc(samples * 15.0);
        rateText = text(TXT_TIMELAPSE);
    } else {
        rateText = QString::asprintf("%.1ffps", facts->frameRate);
    }
    const double seconds = std::trunc(samples / facts->frameRate);
    // Even a sample count of 2^32 at a thousandth of a frame per second fits.
    const long long s = seconds < 9.0e15 ? static_cast<long long>(seconds) : 0;
    const QString duration =
        QString::asprintf("%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);

    const SystemTime start = StartTimeOf(moviePath);
    const QString date = start.year == 0
                             ? QStringLiteral("--/--/--")
                             : QString::asprintf("%04d/%02d/%02d", start.year, start.month,
                                                 start.day);
    const QString time = start.year == 0 ? QStringLiteral("--:--:--")
                                         : QString::asprintf("%02d:%02d:%02d", start.hour,
                                                             start.minute, start.second);

    QString row = name + QLatin1Char(',') + date + QLatin1Char(',') + time + QLatin1Char(',')
                  + duration + QLatin1Char(',') + KindLabel(moviePath) + QLatin1Char(',')
                  + CsvPictureSizeClass(facts->height) + QLatin1Char(',') + rateText
                  + QLatin1Char(',') + QString::number(fileSize >> 20) + QLatin1String("MB");
    if (rtcColumn) {
        row += QLatin1Char(',');
        if (facts->mark == 0)
            row += text(TXT_ABSENT);
        else if (facts->mark == 1)
            row += text(TXT_PRESENT);
        else
            row += QLatin1Char('-');
    }
    return row + kCrLf;
}

std::optional<CsvEncoding> CsvEncodingFromName(const QString& name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("locale"))
        return CsvEncoding::Locale;
    if (n == QLatin1String("cp932") || n == QLatin1String("windows-31j")
        || n == QLatin1String("ms932") || n == QLatin1String("shift_jis")
        || n == QLatin1String("sjis"))
        return CsvEncoding::Cp932;
    if (n == QLatin1String("utf-8") || n == QLatin1String("utf8"))
        return CsvEncoding::Utf8;
    return std::nullopt;
}

QByteArray CsvCharset(CsvEncoding encoding)
{
    switch (encoding) {
    case CsvEncoding::Cp932:
        return QByteArrayLiteral("CP932");
    case CsvEncoding::Utf8:
        return QByteArrayLiteral("UTF-8");
    case CsvEncoding::Locale:
        break;
    }
    // The C locale's ASCII holds none of the Japanese texts; write UTF-8 rather than question
    // marks.
    const QByteArray locale = LocaleCharset();
    return IsAsciiCharset(locale) ? QByteArrayLiteral("UTF-8") : locale;
}

QString CsvExportStatusName(CsvExportStatus status)
{
    switch (status) {
    case CsvExportStatus::Written:
        return QStringLiteral("written");
    case CsvExportStatus::Stopped:
        return QStringLiteral("stopped");
    case CsvExportStatus::NoRecordings:
        return QStringLiteral("no_recordings");
    case CsvExportStatus::Declined:
        return QStringLiteral("declined");
    case CsvExportStatus::CreateFailed:
        return QStringLiteral("create_failed");
    case CsvExportStatus::WriteFailed:
        return QStringLiteral("write_failed");
    case CsvExportStatus::BadEncoding:
        return QStringLiteral("bad_encoding");
    case CsvExportStatus::SourceGone:
        return QStringLiteral("source_gone");
    }
    return QString();
}

namespace {

// The export; telemetryListed (when given) tells for each recording whether its telemetry file
// was there when the recordings were listed.
CsvExportResult exportCsv(const QStringList& recordings, const std::vector<bool>* telemetryListed,
                          const CsvExportOptions& options)
{
    CsvExportResult result;
    if (recordings.isEmpty()) {
        result.status = CsvExportStatus::NoRecordings;
        return result;
    }
    QString folder = options.folder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    result.path = folder + CsvFileName(StartTimeOf(recordings.first()));

    result.charset = CsvCharset(options.encoding);
    TextEncoder encoder(result.charset);
    if (!encoder.isValid()) {
        result.status = CsvExportStatus::BadEncoding;
        result.error = QStringLiteral("unknown character set: %1")
                           .arg(QString::fromLatin1(result.charset));
        return result;
    }

    struct stat st {};
    const bool exists = ::lstat(QFile::encodeName(result.path).constData(), &st) == 0;
    if (exists && !(options.confirmOverwrite && options.confirmOverwrite(result.path))) {
        result.status = CsvExportStatus::Declined;
        return result;
    }

    // A file that was not there when asked is never replaced, even one that appears meanwhile.
    SafeWriter file;
    if (!file.open(result.path, {.sync = true, .replace = exists})) {
        result.status = file.error().step == SafeWriteStep::Exists
                            ? CsvExportStatus::Declined
                            : CsvExportStatus::CreateFailed;
        result.error = file.error().message();
        return result;
    }
    bool encodingFailed = false;
    auto write = [&](const QString& line) {
        const QByteArray bytes = encoder.encode(line, &result.replaced);
        encodingFailed = bytes.isEmpty();
        return !encodingFailed && file.write(bytes);
    };
    auto writeFailed = [&]() {
        file.cancel();
        result.status = CsvExportStatus::WriteFailed;
        result.error = encodingFailed ? QStringLiteral("a line cannot be converted to %1")
                                            .arg(QString::fromLatin1(result.charset))
                                      : file.error().message();
        result.rows = 0;
        return result;
    };

    if (!write(CsvHeaderLine(options.rtcColumn)))
        return writeFailed();
    const CsvFactsReader& read = options.facts ? options.facts : CsvFactsReader(ReadCsvMovieFacts);
    const int total = static_cast<int>(recordings.size());
    bool stopped = false;
    bool sourceGone = false;
    // Why the source can no longer be read, or empty while it can. The movie's status comes
    // back in *movie (its size is the data size column).
    const auto vanished = [](const QString& path, int error) {
        return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
    };
    const auto goneBecause = [&](const QString& path, bool factsRead, bool telemetryWasListed,
                                 struct stat* movie) -> QString {
        if (options.sourceLost && options.sourceLost->load())
            return QStringLiteral("the source was reported gone");
        struct stat other {};
        if (!options.sourceRoot.isEmpty()) {
            if (const int e = statOf(options.sourceRoot, &other); e != 0 && isVanishedError(e)) {
                result.sourceRootGone = true;
                return vanished(options.sourceRoot, e);
            }
        }
        if (const int e = statOf(path, movie); e != 0 && isVanishedError(e))
            return vanished(path, e);
        if (!factsRead && telemetryWasListed) {
            const QString telemetry = TelemetryPathOf(path);
            if (const int e = statOf(telemetry, &other); e != 0 && isVanishedError(e))
                return vanished(telemetry, e);
        }
        return QString();
    };
    for (int i = 0; i < total; ++i) {
        if (options.sourceLost && options.sourceLost->load()) {
            result.error = QStringLiteral("the source was reported gone");
            sourceGone = true;
            stopped = true;
            break;
        }
        if (options.running && !options.running->load()) {
            stopped = true;
            break;
        }
        const QString& path = recordings[i];
        QString reason;
        const std::optional<CsvMovieFacts> facts = read(path, &reason);
        // A recording that vanished while it was read is no short row: the export ends here.
        struct stat movie {};
        const size_t at = static_cast<size_t>(i);
        const bool telemetryWasListed =
            telemetryListed && at < telemetryListed->size() && (*telemetryListed)[at];
        if (const QString gone = goneBecause(path, facts.has_value(), telemetryWasListed, &movie);
            !gone.isEmpty()) {
            result.error = gone;
            sourceGone = true;
            stopped = true;
            break;
        }
        const uint64_t fileSize = S_ISREG(movie.st_mode) ? static_cast<uint64_t>(movie.st_size) : 0;
        if (!facts) {
            result.shortRows.append(
                {path, reason.isEmpty() ? QStringLiteral("cannot be analysed") : reason});
        } else if (!(facts->frameRate > 0) || !std::isfinite(facts->frameRate)) {
            result.shortRows.append({path, QStringLiteral("movie: no positive frame rate")});
        }
        if (!write(CsvRow(path, facts, fileSize, options.rtcColumn)))
            return writeFailed();
        ++result.rows;
        if (options.progress)
            options.progress(result.rows, total);
    }
    const CsvExportStatus stopStatus =
        sourceGone ? CsvExportStatus::SourceGone : CsvExportStatus::Stopped;
    const bool discard = !options.keepRowsOnStop || (options.discardOnStop && options.discardOnStop->load());
    if (stopped && discard) {
        file.cancel();
        result.status = stopStatus;
        result.rows = 0;
        return result;
    }
    if (!file.commit()) {
        result.status = file.error().step == SafeWriteStep::Exists ? CsvExportStatus::Declined
                                                                  : CsvExportStatus::WriteFailed;
        result.error = file.error().message();
        result.rows = 0;
        return result;
    }
    result.status = stopped ? stopStatus : CsvExportStatus::Written;
    return result;
}

}  // namespace

CsvExportResult ExportRecordingCsv(const QStringList& recordings, const CsvExportOptions& options)
{
    return exportCsv(recordings, nullptr, options);
}

CsvExportResult ExportRecordingCsv(const RecordList& recordings, const CsvExportOptions& options)
{
    QStringList paths;
    std::vector<bool> telemetryListed;
    paths.reserve(static_cast<qsizetype>(recordings.size()));
    telemetryListed.reserve(recordings.size());
    for (const RecordingRecord& r : recordings) {
        paths << r.path;
        telemetryListed.push_back(r.telemetrySize > 0);
    }
    return exportCsv(paths, &telemetryListed, options);
}

}  // namespace ravir
