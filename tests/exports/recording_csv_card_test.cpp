// The CSV of a real card through `ravir csv`: movies made with ffmpeg, telemetry files from the
// block writer, the download marker at the root; the file decoded back in both encodings.
#include "exports/recording_csv.h"
#include "samplecard/sample_movie.h"
#include "samplecard/telemetry_block.h"
#include "sample_data.h"
#include "shell/ui_text.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace ravir {
namespace {

QString decodeCp932(const QByteArray& bytes)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
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

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray telemetry(int records, uint8_t mark)
{
    samples::TelemetryOptions t;
    t.records = records;
    t.start = QDateTime(QDate(2025, 1, 2), QTime(9, 30, 15));
    t.mark = mark;
    return samples::MakeTelemetryBlock(t);
}

class CsvCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        card = dir.path() + "/card";
        out = dir.path() + "/out";
        QDir().mkpath(out);
        QString error;
        samples::SampleMovieOptions fhd;
        fhd.width = 1920;
        fhd.height = 1080;
        fhd.fps = 30.0;
        fhd.seconds = 2.0;
        fhd.audio = false;
        const QString fhdMovie = test::sampleMovie("csv_fhd_2s", fhd, &error);
        ASSERT_FALSE(fhdMovie.isEmpty()) << error.toStdString();
        samples::SampleMovieOptions tl;
        tl.width = 640;
        tl.height = 360;
        tl.fps = 15.0;
        tl.seconds = 1.0;
        tl.audio = false;
        const QString tlMovie = test::sampleMovie("csv_sd_15fps_1s", tl, &error);
        ASSERT_FALSE(tlMovie.isEmpty()) << error.toStdString();

        QDir().mkpath(card + "/Normal");
        QDir().mkpath(card + "/_NData");
        QDir().mkpath(card + "/Parking");
        QDir().mkpath(card + "/_PData");
        // 60 samples at 30 fps, clock reset mark 1.
        ASSERT_TRUE(QFile::copy(fhdMovie, card + "/Normal/A___-250102-093015-000123M.MOV"));
        ASSERT_TRUE(writeBytes(card + "/_NData/A___-250102-093015-000123D.ADA", telemetry(20, 1)));
        // A time-lapse of 15 samples at 15 fps: 15 x 15 / 15 = 15 s; mark 2.
        ASSERT_TRUE(QFile::copy(tlMovie, card + "/Normal/T___-250102-093100-000125M.MOV"));
        ASSERT_TRUE(writeBytes(card + "/_NData/T___-250102-093100-000125D.ADA", telemetry(15, 2)));
        // No telemetry file: the short row. (The newest recording, which the download marker is
        // read with, has its telemetry.)
        ASSERT_TRUE(QFile::copy(fhdMovie, card + "/Normal/AG__-250102-093200-000124M.MOV"));
        // The download marker switches the RTC reset column on.
        ASSERT_TRUE(writeBytes(card + "/ZU590-MVS_download.url", "[InternetShortcut]\r\n"));
    }

    QTemporaryDir dir;
    QString card;
    QString out;
};

TEST_F(CsvCardTest, CardCsvInCp932AndUtf8)
{
    const test::RunResult run = test::runRavir({"csv", card, out, "--encoding", "cp932"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    const QString path = out + "/Dv_20250102_093015.csv";
    EXPECT_EQ(result["path"].toString(), path);
    EXPECT_EQ(result["rows"].toInt(), 3);
    EXPECT_EQ(result["encoding"].toString(), "CP932");
    EXPECT_TRUE(result["rtc_column"].toBool());
    // The recording without telemetry is named on stderr with the reason for its short row.
    EXPECT_TRUE(run.err.contains("AG__-250102-093200-000124M.MOV: short row: telemetry file"))
        << run.err.toStdString();

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray cp932 = f.readAll();
    f.close();
    const QString text932 = decodeCp932(cp932);
    const QStringList lines = text932.split("\r\n");
    ASSERT_EQ(lines.size(), 5) << text932.toStdString();
    EXPECT_EQ((lines[0] + "\r\n").toStdString(), CsvHeaderLine(true).toStdString());
    const qint64 fhdSize = QFileInfo(card + "/Normal/A___-250102-093015-000123M.MOV").size();
    const QString row1 = "A___-250102-093015-000123M.MOV,2025/01/02,09:30:15,00:00:02,"
                         + text(TXT_KIND_CONTINUOUS_2) + ",FHD,30.0fps,"
                         + QString::number(fhdSize >> 20) + "MB," + text(TXT_PRESENT);
    EXPECT_EQ(lines[1].toStdString(), row1.toStdString());
    EXPECT_EQ(lines[2].toStdString(), "AG__-250102-093200-000124M.MOV,-,-,-,-,-,fps,0MB");
    const QString row3 = "T___-250102-093100-000125M.MOV,2025/01/02,09:31:00,00:00:15,"
                         + text(TXT_CONTINUOUS_TIMELAPSE) + ",SD," + text(TXT_TIMELAPSE)
                         + ",0MB,-";
    EXPECT_EQ(lines[3].toStdString(), row3.toStdString());
    EXPECT_EQ(lines[4], "");

    // The same name: refused without --overwrite, the file untouched.
    const test::RunResult again = test::runRavir({"csv", card, out, "--encoding", "utf-8"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("same name"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), cp932);
    f.close();

    const test::RunResult utf8 =
        test::runRavir({"csv", card, out, "--encoding", "utf-8", "--overwrite"});
    ASSERT_EQ(utf8.exitCode, 0) << utf8.err.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray utf8Bytes = f.readAll();
    EXPECT_FALSE(utf8Bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(QString::fromUtf8(utf8Bytes), text932);

    // Bad arguments.
    EXPECT_EQ(test::runRavir({"csv", card, out, "--encoding", "klingon"}).exitCode, 2);
    EXPECT_EQ(test::runRavir({"csv", card, dir.path() + "/nowhere"}).exitCode, 1);
    const QString empty = dir.path() + "/empty/Normal";
    QDir().mkpath(empty);
    EXPECT_EQ(test::runRavir({"csv", dir.path() + "/empty", out}).exitCode, 1);
}

// A small tmpfs for the length of a test (root, as in CI); an ordinary user skips.
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
    QString path;
    bool mounted = false;
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// `ravir csv` onto a full disk: exit 1 with the reason; no empty file under the final name, and
// with --overwrite the good file stays.
TEST_F(CsvCardTest, FullDiskFailsAndKeepsTheGoodFile)
{
    SmallDisk small(dir.path() + "/small");
    if (!small.mounted) {
        ASSERT_NE(::geteuid(), 0u) << "root could not mount a small tmpfs";
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const QString path = small.path + "/Dv_20250102_093015.csv";
    const auto fill = [&] {
        QFile f(small.path + "/fill");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        while (f.write(QByteArray(1024, 'f')) == 1024 && f.flush()) {
        }
    };
    fill();
    test::RunResult r = test::runRavir({"csv", card, small.path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("No space left")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path));

    QFile::remove(small.path + "/fill");
    ASSERT_EQ(test::runRavir({"csv", card, small.path}).exitCode, 0);
    const QByteArray good = readFile(path);
    ASSERT_TRUE(good.endsWith("\r\n"));
    fill();
    r = test::runRavir({"csv", card, small.path, "--overwrite"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(path), good);
    EXPECT_EQ(QDir(small.path).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"Dv_20250102_093015.csv", "fill"}));
}

// SIGTERM while the CSV is written ends the command at once by that signal and leaves nothing
// in the output folder.
TEST(CsvCommand, SigtermDuringTheExportLeavesNothing)
{
    samples::SampleCardOptions o;
    o.count = 2000;
    o.tiny = true;
    QString error;
    const QString card = test::sampleCard("csv_stop_2000_tiny", o, &error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    QTemporaryDir out;
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(out.path()).constData(), IN_CREATE), 0);

    QProcess ravir;
    ravir.start(RAVIR_EXE, {"csv", card, out.path()});
    ASSERT_TRUE(ravir.waitForStarted());
    // The first file made in the folder is the one being written.
    pollfd p{watch, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 60000), 1) << "the export never started";
    ::kill(static_cast<pid_t>(ravir.processId()), SIGTERM);
    ASSERT_TRUE(ravir.waitForFinished(20000));
    ::close(watch);
    EXPECT_EQ(ravir.exitStatus(), QProcess::CrashExit);  // ended by the signal, not exit 0
    EXPECT_TRUE(ravir.readAllStandardError().contains("stopped"));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{});
}

}  // namespace
}  // namespace ravir
