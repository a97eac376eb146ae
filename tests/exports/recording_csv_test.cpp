// The recording list CSV: rows, header, file name, encodings, the "same name" question, stop
// and failure.
#include "exports/recording_csv.h"
#include "exports/text_encoding.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iconv.h>

#include <atomic>
#include <map>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ravir {
namespace {

const QString kContinuous = QStringLiteral("A___-250102-093015-000123M.MOV");
const QString kTimeLapse = QStringLiteral("T___-250102-100000-000124M.MOV");

CsvMovieFacts fhd30(uint32_t samples = 1800, uint8_t mark = 0)
{
    return CsvMovieFacts{1920, 1080, samples, 30.0, mark};
}

// Decodes bytes of a character set back to text with iconv; empty on failure.
QString decode(const QByteArray& bytes, const char* charset)
{
    iconv_t cd = iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString();
    QByteArray in = bytes;
    QByteArray out(bytes.size() * 4 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = static_cast<size_t>(in.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1))
        return QString();
    out.truncate(outPtr - out.data());
    return QString::fromUtf8(out);
}

TEST(CsvRows, FullRowsFollowTheRecordingFacts)
{
    // 1800 samples at 30 fps: one minute, FHD, a continuous label.
    EXPECT_EQ(CsvRow("/card/Normal/" + kContinuous, fhd30(), 5u << 20, false),
              kContinuous + ",2025/01/02,09:30:15,00:01:00," + text(TXT_KIND_CONTINUOUS_2)
                  + ",FHD,30.0fps,5MB\r\n");

    // Time-lapse (first letter T): 600 samples x 15 at 15 fps = 600 s, the time-lapse text.
    const QString tl = CsvRow(kTimeLapse, CsvMovieFacts{1920, 1080, 600, 15.0, 0}, 0, false);
    EXPECT_EQ(tl, kTimeLapse + ",2025/01/02,10:00:00,00:10:00," + text(TXT_CONTINUOUS_TIMELAPSE)
                      + ",FHD," + text(TXT_TIMELAPSE) + ",0MB\r\n");
    // A third letter T is time-lapse too.
    EXPECT_TRUE(CsvRow("P_T_-250102-100000-000125M.MOV", CsvMovieFacts{1280, 720, 600, 15.0, 0},
                       0, false)
                    .contains(",00:10:00," + text(TXT_PARKING_TIMELAPSE) + ",HD,"
                              + text(TXT_TIMELAPSE) + ","));

    // Whole MiB, rounded down.
    EXPECT_TRUE(CsvRow(kContinuous, fhd30(), 1048575, false).endsWith(",0MB\r\n"));
    EXPECT_TRUE(CsvRow(kContinuous, fhd30(), 1048576, false).endsWith(",1MB\r\n"));
    EXPECT_TRUE(CsvRow(kContinuous, fhd30(), 5ull << 32, false).endsWith(",20480MB\r\n"));

    // Frame rates keep one decimal; hours go past 99 without losing digits.
    EXPECT_TRUE(CsvRow(kContinuous, CsvMovieFacts{1920, 1080, 299, 29.97, 0}, 0, false)
                    .contains(",00:00:09,"));
    EXPECT_TRUE(CsvRow(kContinuous, CsvMovieFacts{1920, 1080, 299, 29.97, 0}, 0, false)
                    .contains(",30.0fps,"));
    EXPECT_TRUE(CsvRow(kContinuous, CsvMovieFacts{640, 360, 4000000000u, 10.0, 0}, 0, false)
                    .contains(",111111:06:40," + text(TXT_KIND_CONTINUOUS_2) + ",SD,"));
}

TEST(CsvRows, SizeClassesGoByHeight)
{
    const std::map<int, QString> classes{{360, "SD"}, {720, "HD"},   {1080, "FHD"}, {1296, "3M"},
                                         {1440, "WQHD"}, {480, ""},   {1088, ""},    {0, ""}};
    for (const auto& [height, name] : classes)
        EXPECT_EQ(CsvPictureSizeClass(height), name) << height;
}

TEST(CsvRows, ShortRowsAndTheRtcColumn)
{
    // Nothing known: the short row, without a ninth field even with the RTC column.
    EXPECT_EQ(CsvRow("/x/name", std::nullopt, 12345678, false), "name,-,-,-,-,-,fps,0MB\r\n");
    EXPECT_EQ(CsvRow("/x/name", std::nullopt, 12345678, true), "name,-,-,-,-,-,fps,0MB\r\n");
    // A frame rate of zero gives no recording time: the short row, not a division by zero.
    EXPECT_EQ(CsvRow(kContinuous, CsvMovieFacts{1920, 1080, 1800, 0.0, 0}, 0, true),
              CsvShortRow(kContinuous));

    // The ninth column from the mark byte.
    EXPECT_TRUE(
        CsvRow(kContinuous, fhd30(1800, 0), 0, true).endsWith(",0MB," + text(TXT_ABSENT) + "\r\n"));
    EXPECT_TRUE(CsvRow(kContinuous, fhd30(1800, 1), 0, true)
                    .endsWith(",0MB," + text(TXT_PRESENT) + "\r\n"));
    EXPECT_TRUE(CsvRow(kContinuous, fhd30(1800, 2), 0, true).endsWith(",0MB,-\r\n"));
    EXPECT_TRUE(CsvRow(kContinuous, fhd30(1800, 1), 0, false).endsWith(",0MB\r\n"));

    // Header pieces.
    EXPECT_EQ(CsvHeaderLine(false),
              QString::fromUtf8("ファイル名,日付,開始時刻,録画時間,録画トリガー,録画サイズ,"
                                "フレームレート,データサイズ\r\n"));
    EXPECT_EQ(CsvHeaderLine(true),
              QString::fromUtf8("ファイル名,日付,開始時刻,録画時間,録画トリガー,録画サイズ,"
                                "フレームレート,データサイズ,RTCリセット\r\n"));
}

TEST(CsvRows, FileNameComesFromTheStartTime)
{
    EXPECT_EQ(CsvFileName(StartTimeOf(kContinuous)), "Dv_20250102_093015.csv");
}

TEST(CsvEncodings, NamesAndReplacement)
{
    EXPECT_EQ(CsvEncodingFromName("cp932"), CsvEncoding::Cp932);
    EXPECT_EQ(CsvEncodingFromName("UTF-8"), CsvEncoding::Utf8);
    EXPECT_EQ(CsvEncodingFromName("locale"), CsvEncoding::Locale);
    EXPECT_FALSE(CsvEncodingFromName("latin-9000").has_value());
    EXPECT_FALSE(TextEncoder("NO-SUCH-CHARSET").isValid());

    // A character CP932 cannot hold becomes '?'.
    TextEncoder cp932("CP932");
    ASSERT_TRUE(cp932.isValid());
    int replaced = 0;
    EXPECT_EQ(cp932.encode(QString::fromUtf8("a\xF0\x9F\x98\x80" "b"), &replaced), "a?b");
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(cp932.encode(QString::fromUtf8("名")), QByteArray("\x96\xBC"));

    // The plain ASCII of the C locale cannot hold the headers: UTF-8 is written instead.
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    EXPECT_TRUE(IsAsciiCharset(LocaleCharset()));
    EXPECT_EQ(CsvCharset(CsvEncoding::Locale), "UTF-8");
    qputenv("LC_ALL", "C.UTF-8");
    EXPECT_EQ(CsvCharset(CsvEncoding::Locale), "UTF-8");
    if (saved.isEmpty())
        qunsetenv("LC_ALL");
    else
        qputenv("LC_ALL", saved);
}

// The export over a list of recordings whose facts come from a table.
class CsvExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        out = dir.path() + "/out";
        QDir().mkpath(out);
        const QString card = dir.path() + "/card/Normal/";
        QDir().mkpath(card);
        const QStringList names = {kContinuous, kTimeLapse, "A___-250102-093115-000125M.MOV",
                                   "AG__-250102-093215-000126M.MOV"};
        for (const QString& n : names) {
            QFile f(card + n);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(1048576, 'x'));
            recordings << card + n;
        }
        facts[recordings[0]] = fhd30();
        facts[recordings[1]] = CsvMovieFacts{1920, 1080, 600, 15.0, 1};
        // recordings[2] cannot be analysed.
        facts[recordings[3]] = CsvMovieFacts{1280, 720, 300, 30.0, 2};
        options.folder = out;
        options.facts = [this](const QString& p, QString*) -> std::optional<CsvMovieFacts> {
            const auto it = facts.find(p);
            if (it == facts.end())
                return std::nullopt;
            return it->second;
        };
    }
    QByteArray readOut(const QString& name = "Dv_20250102_093015.csv")
    {
        QFile f(out + "/" + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString out;
    QStringList recordings;
    std::map<QString, CsvMovieFacts> facts;
    CsvExportOptions options;
};

TEST_F(CsvExportTest, Cp932FileDecodesBackToTheRows)
{
    options.encoding = CsvEncoding::Cp932;
    options.rtcColumn = true;
    std::vector<std::pair<int, int>> progress;
    options.progress = [&](int d, int t) { progress.emplace_back(d, t); };
    const CsvExportResult r = ExportRecordingCsv(recordings, options);
    ASSERT_EQ(r.status, CsvExportStatus::Written) << r.error.toStdString();
    EXPECT_EQ(r.path, out + "/Dv_20250102_093015.csv");
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(r.charset, "CP932");
    EXPECT_EQ(r.replaced, 0);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));

    const QByteArray bytes = readOut();
    // No byte-order mark; "ファイル名" in CP932.
    EXPECT_TRUE(bytes.startsWith("\x83\x74\x83\x40\x83\x43\x83\x8B\x96\xBC,"));
    const QString textBack = decode(bytes, "CP932");
    ASSERT_FALSE(textBack.isEmpty());
    const QStringList lines = textBack.split("\r\n");
    ASSERT_EQ(lines.size(), 6);  // header, four rows, nothing after the last CR LF
    EXPECT_EQ(lines[0] + "\r\n", CsvHeaderLine(true));
    EXPECT_EQ(lines[1], kContinuous + ",2025/01/02,09:30:15,00:01:00," + text(TXT_KIND_CONTINUOUS_2)
                            + ",FHD,30.0fps,1MB," + text(TXT_ABSENT));
    EXPECT_EQ(lines[2], kTimeLapse + ",2025/01/02,10:00:00,00:10:00,"
                            + text(TXT_CONTINUOUS_TIMELAPSE) + ",FHD," + text(TXT_TIMELAPSE)
                            + ",1MB," + text(TXT_PRESENT));
    EXPECT_EQ(lines[3], "A___-250102-093115-000125M.MOV,-,-,-,-,-,fps,0MB");
    EXPECT_EQ(lines[4], "AG__-250102-093215-000126M.MOV,2025/01/02,09:32:15,00:00:10,"
                            + text(TXT_IMPACT_3) + ",HD,30.0fps,1MB,-");
    EXPECT_EQ(lines[5], "");
    // No stray line breaks: every LF follows a CR.
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    // Only the CSV is left in the folder (no temporary file).
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Dv_20250102_093015.csv"});
}

TEST_F(CsvExportTest, Utf8FileDecodesBackToTheSameText)
{
    options.encoding = CsvEncoding::Utf8;
    ASSERT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::Written);
    const QByteArray utf8 = readOut();
    EXPECT_FALSE(utf8.startsWith("\xEF\xBB\xBF"));
    QFile::remove(out + "/Dv_20250102_093015.csv");
    options.encoding = CsvEncoding::Cp932;
    ASSERT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::Written);
    const QByteArray cp932 = readOut();
    EXPECT_NE(utf8, cp932);
    EXPECT_EQ(QString::fromUtf8(utf8), decode(cp932, "CP932"));
    EXPECT_TRUE(QString::fromUtf8(utf8).startsWith(CsvHeaderLine(false)));
}

TEST_F(CsvExportTest, SameNameIsTheCallersQuestion)
{
    const QString path = out + "/Dv_20250102_093015.csv";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    // No question to ask: the file is not replaced.
    EXPECT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::Declined);
    EXPECT_EQ(readOut(), "keep me");

    QString asked;
    options.confirmOverwrite = [&](const QString& p) {
        asked = p;
        return false;
    };
    EXPECT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::Declined);
    EXPECT_EQ(asked, path);
    EXPECT_EQ(readOut(), "keep me");

    options.confirmOverwrite = [](const QString&) { return true; };
    EXPECT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::Written);
    EXPECT_TRUE(readOut().endsWith("fps,1MB\r\n"));
}

TEST_F(CsvExportTest, StopKeepsTheRowsWrittenAndFailuresLeaveNoFile)
{
    std::atomic<bool> running{true};
    options.running = &running;
    options.encoding = CsvEncoding::Utf8;
    options.progress = [&](int done, int) {
        if (done == 2)
            running = false;
    };
    const CsvExportResult r = ExportRecordingCsv(recordings, options);
    EXPECT_EQ(r.status, CsvExportStatus::Stopped);
    EXPECT_EQ(r.rows, 2);
    const QStringList lines = QString::fromUtf8(readOut()).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].startsWith(kTimeLapse));

    // A folder that does not exist: nothing is created.
    options.folder = dir.path() + "/missing";
    options.running = nullptr;
    EXPECT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::CreateFailed);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/missing"));

    // Nothing to list.
    EXPECT_EQ(ExportRecordingCsv(QStringList{}, options).status, CsvExportStatus::NoRecordings);
}

// The card goes away while the export runs (after the second row): the export ends there as a
// stop does, with the whole rows read before it and no placeholder row for what it could no
// longer read; with keepRowsOnStop off nothing is left. A recording without a telemetry file
// from the start still gets its short row.
TEST_F(CsvExportTest, ExportEndsWhenItsSourceGoes)
{
    const QString card = dir.path() + "/card";
    const auto restoreCard = [&] {
        for (const QString& path : recordings) {
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(1048576, 'x'));
        }
    };
    enum class Pull { Card, OneMovie, Flag, Nothing };
    struct Case {
        const char* name;
        Pull pull;
        bool giveRoot;          // sourceRoot set to the card
        bool telemetryListed;   // the records say recordings[2] had a telemetry file
        bool keepRows;
        CsvExportStatus status;
        int rows;               // rows written
        bool rootGone;
    };
    const Case cases[] = {
        {"card pulled", Pull::Card, true, false, true, CsvExportStatus::SourceGone, 2, true},
        {"card pulled, no root given", Pull::Card, false, false, true, CsvExportStatus::SourceGone, 2, false},
        {"one movie vanished", Pull::OneMovie, true, false, true, CsvExportStatus::SourceGone, 2, false},
        {"watcher reported the loss", Pull::Flag, true, false, true, CsvExportStatus::SourceGone, 2, false},
        {"listed telemetry file vanished", Pull::Nothing, true, true, true, CsvExportStatus::SourceGone, 2, false},
        {"telemetry file never there", Pull::Nothing, true, false, true, CsvExportStatus::Written, 4, false},
        {"card pulled, nothing kept", Pull::Card, true, false, false, CsvExportStatus::SourceGone, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restoreCard();
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        std::atomic<bool> lost{false};
        CsvExportOptions o = options;
        o.encoding = CsvEncoding::Utf8;
        o.sourceRoot = c.giveRoot ? card : QString();
        o.sourceLost = &lost;
        o.keepRowsOnStop = c.keepRows;
        o.progress = [&](int done, int) {
            if (done != 2)
                return;
            switch (c.pull) {
            case Pull::Card: QDir(card).removeRecursively(); break;
            case Pull::OneMovie: QFile::remove(recordings[2]); break;
            case Pull::Flag: lost = true; break;
            case Pull::Nothing: break;
            }
        };
        RecordList records;
        for (const QString& path : recordings) {
            RecordingRecord r;
            r.path = path;
            r.telemetrySize = (c.telemetryListed && path == recordings[2]) ? 4096 : 0;
            records.push_back(r);
        }
        const CsvExportResult r = ExportRecordingCsv(records, o);
        EXPECT_EQ(r.status, c.status) << CsvExportStatusName(r.status).toStdString();
        EXPECT_EQ(r.rows, c.rows);
        EXPECT_EQ(r.sourceRootGone, c.rootGone);
        if (c.status == CsvExportStatus::SourceGone) {
            EXPECT_FALSE(r.error.isEmpty());
        }
        const QStringList left = QDir(out).entryList(QDir::Files | QDir::Hidden);
        if (!c.keepRows) {
            EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
            continue;
        }
        ASSERT_EQ(left, QStringList{"Dv_20250102_093015.csv"});
        const QByteArray bytes = readOut();
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        const QStringList lines = QString::fromUtf8(bytes).split("\r\n", Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1 + c.rows);
        // The only short row is the recording that never had a telemetry file.
        const qsizetype shortRows = QString::fromUtf8(bytes).count(QStringLiteral(",-,-,-,-,-,fps,0MB"));
        EXPECT_EQ(shortRows, c.rows > 2 ? 1 : 0);
        EXPECT_EQ(r.shortRows.size(), shortRows);
    }
}

// A small tmpfs for the length of a test. CI runs the tests as root, where mounting works; an
// ordinary user skips.
struct SmallDisk {
    explicit SmallDisk(const QString& at) : path(at)
    {
        QDir().mkpath(path);
        mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", path}) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            QProcess::execute("umount", {path});
    }
    // Fills the disk up to its last byte.
    void fill() const
    {
        QFile f(path + "/fill");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        while (f.write(QByteArray(1024, 'f')) == 1024 && f.flush()) {
        }
    }
    QString path;
    bool mounted = false;
};

// A full disk, at the start or part way through, and a read-only disk: the file that was there
// before stays as it was, no partial or temporary file is left, and the failure is reported.
TEST_F(CsvExportTest, FullOrReadOnlyDiskLeavesTheOldFileAlone)
{
    SmallDisk small(dir.path() + "/small");
    if (!small.mounted) {
        ASSERT_NE(::geteuid(), 0u) << "root could not mount a small tmpfs";
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const QString path = small.path + "/Dv_20250102_093015.csv";
    options.folder = small.path;
    options.confirmOverwrite = [](const QString&) { return true; };

    // A disk full from the start and a short list: no file appears under the final name.
    small.fill();
    CsvExportResult r = ExportRecordingCsv(recordings, options);
    EXPECT_EQ(r.status, CsvExportStatus::WriteFailed);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path));
    QFile::remove(small.path + "/fill");

    // A list that fills the disk part way: the old file is kept.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the old list\r\n");
    }
    // (Recordings that exist: one that vanished would end the export before the disk is full.)
    QStringList many;
    for (int i = 0; i < 3000; ++i)
        many << recordings[i % recordings.size()];
    options.facts = [](const QString&, QString*) {
        return std::optional<CsvMovieFacts>(fhd30());
    };
    r = ExportRecordingCsv(many, options);
    EXPECT_EQ(r.status, CsvExportStatus::WriteFailed);
    EXPECT_EQ(r.rows, 0);
    // And full from the start with the old file there (replacing it would make it empty).
    small.fill();
    EXPECT_EQ(ExportRecordingCsv(recordings, options).status, CsvExportStatus::WriteFailed);
    QFile::remove(small.path + "/fill");
    // A read-only disk.
    ASSERT_EQ(QProcess::execute("mount", {"-o", "remount,ro", small.path}), 0);
    r = ExportRecordingCsv(recordings, options);
    EXPECT_EQ(r.status, CsvExportStatus::CreateFailed);
    EXPECT_FALSE(r.error.isEmpty());

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "the old list\r\n");
    EXPECT_EQ(QDir(small.path).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Dv_20250102_093015.csv"});
}

// Runs body in a child process and reports whether it returned true within the time; a body
// that hangs is killed.
template <typename F>
bool finishesWithin(int seconds, F body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body() ? 0 : 1);
    for (int i = 0; i < seconds * 100; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

// Movies and telemetry files that cannot be read, FIFOs among them, give the short row with a
// reason, and nothing waits on a FIFO.
TEST_F(CsvExportTest, UnreadableRecordingsGetShortRowsWithTheirReasons)
{
    const QString card = dir.path() + "/fifo";
    QDir().mkpath(card + "/Normal");
    QDir().mkpath(card + "/_NData");
    const QString fifoMovie = card + "/Normal/A___-250102-093015-000123M.MOV";
    const QString fifoTelemetryMovie = card + "/Normal/A___-250102-093016-000124M.MOV";
    const QString noTelemetry = card + "/Normal/A___-250102-093017-000125M.MOV";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoMovie).constData(), 0644), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(card + "/_NData/A___-250102-093016-000124D.ADA")
                           .constData(), 0644), 0);
    for (const QString& movie : {fifoTelemetryMovie, noTelemetry}) {
        QFile f(movie);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'm'));
    }
    // A telemetry file beside the FIFO movie, so that the movie itself is tried.
    {
        QFile f(card + "/_NData/A___-250102-093015-000123D.ADA");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 't'));
    }
    const QStringList list{fifoMovie, fifoTelemetryMovie, noTelemetry};
    options.facts = nullptr;  // the real reader
    options.encoding = CsvEncoding::Utf8;
    EXPECT_TRUE(finishesWithin(20, [&] {
        const CsvExportResult r = ExportRecordingCsv(list, options);
        if (r.status != CsvExportStatus::Written || r.shortRows.size() != 3)
            return false;
        const QByteArray bytes = readOut();
        for (const QString& movie : list) {
            const QString name = QFileInfo(movie).fileName();
            if (!bytes.contains((name + ",-,-,-,-,-,fps,0MB\r\n").toUtf8()))
                return false;
        }
        return r.shortRows[0].path == fifoMovie && !r.shortRows[0].reason.isEmpty() &&
               r.shortRows[1].reason.contains("not a regular file") &&
               r.shortRows[2].reason.contains("telemetry");
    }));
    QString reason;
    EXPECT_TRUE(finishesWithin(20, [&] {
        return !ReadCsvMovieFacts(fifoTelemetryMovie, &reason) &&
               !ReadCsvMovieFacts(fifoMovie, &reason);
    }));
}

}  // namespace
}  // namespace ravir
