// `ravir report`: the day's workbook from the command line, with the picture of exactly the
// asked frame.
#include "../playback/frame_pattern_reader.h"
#include "media_probe.h"
#include "sample_data.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <csignal>
#include <sys/types.h>

namespace ravir {
namespace {

using test::runRavir;

QString Python()
{
    return QFile::exists("/usr/bin/python3") ? QString("/usr/bin/python3") : QString("python3");
}

// Sheet names in order and each sheet's picture written to DIR/N.jpg.
QStringList SheetsAndPictures(const QString& workbook, const QString& dir)
{
    QProcess p;
    p.start(Python(), {"-c",
                       "import openpyxl,sys\n"
                       "b=openpyxl.load_workbook(sys.argv[1])\n"
                       "for i,ws in enumerate(b.worksheets):\n"
                       "  print(ws.title)\n"
                       "  for img in ws._images:\n"
                       "    open('%s/%d.jpg'%(sys.argv[2],i),'wb').write(img._data())\n",
                       workbook, dir});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QString ReportCard()
{
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 3;  // long enough to play
    o.allKinds = false;
    QString error;
    const QString card = test::sampleCard("report_card", o, &error);
    EXPECT_FALSE(card.isEmpty()) << error.toStdString();
    return card;
}

TEST(ReportCli, AddsSheetsWithThePictureOfTheAskedFrame)
{
    if (runRavir({"help", "report"}).exitCode != 0)
        GTEST_SKIP() << "ravir is built without the playback engine";
    const QString card = ReportCard();
    QDir normal(card + "/Normal");
    const QStringList movies = normal.entryList({"A___-250314-*M.MOV"}, QDir::Files, QDir::Name);
    ASSERT_GE(movies.size(), 2);
    QTemporaryDir out;

    const QString first = normal.filePath(movies[0]);
    const QString second = normal.filePath(movies[1]);
    struct Step {
        QString movie;
        int frame;
    };
    QStringList sheets;
    for (const Step& step : {Step{first, 40}, Step{second, 7}, Step{first, 61}}) {
        const auto r = runRavir({"report", step.movie, "--frame", QString::number(step.frame),
                                 "--folder", out.path()});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        EXPECT_TRUE(json["sub_camera"].toBool());
        EXPECT_EQ(json["frame"].toInt(), step.frame);
        sheets.prepend(json["sheet"].toString());
    }
    const QString name0 = movies[0].mid(12, 6), name1 = movies[1].mid(12, 6);
    EXPECT_EQ(sheets, (QStringList{name0 + " (2)", name1, name0}));

    const QStringList files = QDir(out.path()).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0], "report_20" + movies[0].mid(5, 6) + ".xlsx");
    QTemporaryDir pictures;
    EXPECT_EQ(SheetsAndPictures(out.filePath(files[0]), pictures.path()), sheets);
    // Newest first: frames 61, 7, 40, each at the main camera's picture size.
    const int frames[] = {61, 7, 40};
    for (int i = 0; i < 3; ++i) {
        const QImage picture(pictures.filePath(QString("%1.jpg").arg(i)));
        EXPECT_EQ(picture.size(), QSize(320, 180)) << i;
        EXPECT_EQ(test::framePatternOf(picture), frames[i]) << i;
    }
}

TEST(ReportCli, FailsClearlyAndLeavesNoFile)
{
    if (runRavir({"help", "report"}).exitCode != 0)
        GTEST_SKIP() << "ravir is built without the playback engine";
    const QString card = ReportCard();
    const QString movie =
        QDir(card + "/Normal").filePath(QDir(card + "/Normal").entryList({"A___-*M.MOV"})[0]);
    QTemporaryDir out;
    auto r = runRavir({"report", movie, "--frame", "90", "--folder", out.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("beyond")) << r.err.toStdString();
    r = runRavir({"report", movie, "--frame", "3", "--folder", out.filePath("missing")});
    EXPECT_EQ(r.exitCode, 1);
    r = runRavir({"report", movie, "--folder", out.path()});
    EXPECT_EQ(r.exitCode, 2);
    // A movie whose name is no recording name.
    QFile::copy(movie, out.filePath("clip.MOV"));
    r = runRavir({"report", out.filePath("clip.MOV"), "--frame", "3", "--folder", out.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("not a recording name")) << r.err.toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"clip.MOV"});
}

// A card of its own with one recording of the report card: the main movie (or `mainMovie` in
// its place), the sub movie and the telemetry under `stem` ("A___-YYMMDD-HHMMSS-NNNNNN").
struct OwnCard {
    QTemporaryDir dir;
    QString movie;
    QString telemetry;
};
void MakeOwnCard(OwnCard& own, const QString& stem, const QString& mainMovie = QString(),
                 bool withTelemetry = true)
{
    const QString card = ReportCard();
    QDir normal(card + "/Normal");
    const QString source = normal.entryList({"A___-250314-*M.MOV"}, QDir::Files, QDir::Name)[0];
    const QString sourceStem = source.left(source.size() - 5);
    ASSERT_TRUE(QDir(own.dir.path()).mkpath("Normal"));
    ASSERT_TRUE(QDir(own.dir.path()).mkpath("_NData"));
    own.movie = own.dir.filePath("Normal/" + stem + "M.MOV");
    ASSERT_TRUE(QFile::copy(mainMovie.isEmpty() ? normal.filePath(source) : mainMovie, own.movie));
    ASSERT_TRUE(QFile::copy(normal.filePath(sourceStem + "S.MOV"),
                            own.dir.filePath("Normal/" + stem + "S.MOV")));
    own.telemetry = own.dir.filePath("_NData/" + stem + "D.ADA");
    if (withTelemetry) {
        ASSERT_TRUE(QFile::copy(card + "/_NData/" + sourceStem + "D.ADA", own.telemetry));
    }
}

// Writes `field` (9 bytes) over the latitude of every record of a telemetry file.
void OverwriteLatitudes(const QString& telemetry, const QByteArray& field)
{
    QFile f(telemetry);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype magic = bytes.indexOf("QVXDAT");
    ASSERT_GE(magic, 0);
    int records = 0;
    for (qsizetype at = magic + 34; at + 124 <= bytes.size(); at += 124) {
        if (bytes.mid(at, 6) == "QVXEND")
            break;
        bytes.replace(at + 6, 9, field);
        ++records;
    }
    ASSERT_GT(records, 20);
    ASSERT_TRUE(f.seek(0));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The frame's fix follows the one rule of a usable position: a valid status with latitude 91 or
// without digits is no fix (the GPX export leaves it out too).
TEST(ReportCli, GpsFixFollowsTheUsableFixRule)
{
    struct Case {
        QByteArray latitude;
        bool fix;
    };
    for (const Case& c : {Case{"", true}, Case{"9100.0000", false}, Case{"         ", false},
                          Case{"##.##-###", false}}) {
        OwnCard own;
        MakeOwnCard(own, "A___-250314-101010-000901");
        if (!c.latitude.isEmpty())
            OverwriteLatitudes(own.telemetry, c.latitude);
        QTemporaryDir out;
        const auto r = runRavir({"report", own.movie, "--frame", "60", "--folder", out.path()});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        EXPECT_EQ(json["gps_fix"].toBool(), c.fix) << c.latitude.constData();
        const auto gpx = runRavir({"telemetry", own.movie, "--format", "gpx"});
        ASSERT_EQ(gpx.exitCode, 0) << gpx.err.toStdString();
        EXPECT_EQ(gpx.out.contains("<trkpt"), c.fix) << c.latitude.constData();
    }
}

// A recording whose media data is cut short: a frame it no longer holds is not reported (exit
// 1, nothing written), a frame it holds is reported with exactly that frame's picture.
TEST(ReportCli, AMovieCutShortReportsOnlyTheFramesItHolds)
{
    const QString card = ReportCard();
    QDir normal(card + "/Normal");
    const QString source = normal.filePath(normal.entryList({"A___-250314-*M.MOV"}, QDir::Files,
                                                            QDir::Name)[0]);
    QTemporaryDir work;
    const QString cut = work.filePath("cut.MOV");
    ASSERT_TRUE(test::writeCutShortMovie(source, cut, 60));
    OwnCard own;
    MakeOwnCard(own, "A___-250314-111111-000902", cut);
    QTemporaryDir out;
    for (int round = 0; round < 3; ++round) {
        for (int frame : {80, 89, 65}) {
            const auto r = runRavir({"report", own.movie, "--frame", QString::number(frame),
                                     "--folder", out.path()});
            EXPECT_EQ(r.exitCode, 1) << frame << ": " << r.out.constData();
            EXPECT_TRUE(r.err.contains(QString("frame %1").arg(frame).toUtf8()))
                << r.err.toStdString();
            EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        }
    }
    const auto r = runRavir({"report", own.movie, "--frame", "12", "--folder", out.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(r.out).object()["frame"].toInt(), 12);
    QTemporaryDir pictures;
    EXPECT_EQ(SheetsAndPictures(out.filePath("report_20250314.xlsx"), pictures.path()),
              QStringList{"111111"});
    EXPECT_EQ(test::framePatternOf(QImage(pictures.filePath("0.jpg"))), 12);
}

// A name whose date is no date of the calendar (month 13): the day comes from the telemetry's
// clock; without telemetry the report is refused. A regular file as the folder is "not a
// folder".
TEST(ReportCli, DayFromTheTelemetryWhenTheNameHasNoRealDate)
{
    OwnCard own;
    MakeOwnCard(own, "A___-251399-093015-000903");
    QTemporaryDir out;
    auto r = runRavir({"report", own.movie, "--frame", "5", "--folder", out.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"report_20250314.xlsx"});
    ASSERT_TRUE(QFile::remove(own.telemetry));
    QTemporaryDir empty;
    r = runRavir({"report", own.movie, "--frame", "5", "--folder", empty.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("20251399")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("not a date")) << r.err.toStdString();
    EXPECT_TRUE(QDir(empty.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    const QString file = out.filePath("report_20250314.xlsx");
    r = runRavir({"report", own.movie, "--frame", "5", "--folder", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("not a folder")) << r.err.toStdString();
}

// SIGINT, SIGTERM or SIGHUP at any moment of a report: nothing is left in the report folder or
// in the temporary folder, and a report stopped before it was saved ends with 128 + the signal
// and writes nothing. One that finished first has written its whole report.
TEST(ReportCli, ASignalLeavesNothingBehind)
{
    OwnCard own;
    MakeOwnCard(own, "A___-250314-121212-000904");
    QTemporaryDir tmp;  // the command's private temporary folder
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp.path());
    int stopped = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (int delayMs : {20, 80, 150, 250, 400, 600, 900, 1300}) {
            QTemporaryDir out;
            // One report already there: a stop must leave it as it was.
            const bool withPrevious = delayMs % 3 == 0;
            QByteArray previous;
            if (withPrevious) {
                ASSERT_EQ(runRavir({"report", own.movie, "--frame", "3", "--folder", out.path()})
                              .exitCode, 0);
                QFile f(out.filePath("report_20250314.xlsx"));
                ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                previous = f.readAll();
            }
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(RAVIR_EXE, {"report", own.movie, "--frame", "40", "--folder", out.path()});
            ASSERT_TRUE(p.waitForStarted(10000));
            if (!p.waitForFinished(delayMs)) {
                ::kill(pid_t(p.processId()), signal);
                ASSERT_TRUE(p.waitForFinished(60000));
            }
            const QString what = QString("signal %1 after %2 ms").arg(signal).arg(delayMs);
            QStringList expected;
            // A signal that comes once the report is saved, as the process ends, ends it by the
            // signal's own action: the report is then whole, as after an exit with 0.
            QFile saved(out.filePath("report_20250314.xlsx"));
            const bool savedAnew = saved.open(QIODevice::ReadOnly) && saved.readAll() != previous;
            const bool killed = p.exitStatus() != QProcess::NormalExit;
            if ((p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) ||
                (killed && savedAnew)) {
                expected << "report_20250314.xlsx";
                if (killed) {
                    const auto r = runRavir({"report", own.movie, "--frame", "3", "--folder", out.path()});
                    EXPECT_EQ(r.exitCode, 0) << what.toStdString() << ": the report left is whole";
                }
            } else {
                // Stopped (or ended by the signal before the command had begun anything).
                if (p.exitStatus() == QProcess::NormalExit) {
                    EXPECT_EQ(p.exitCode(), 128 + signal) << what.toStdString() << " "
                                                          << p.readAllStandardError().constData();
                    ++stopped;
                }
                if (withPrevious)
                    expected << "report_20250314.xlsx";
            }
            EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden |
                                                 QDir::NoDotAndDotDot),
                      expected)
                << what.toStdString();
            if (withPrevious && expected.size() == 1 && p.exitCode() != 0 && !savedAnew) {
                QFile f(out.filePath("report_20250314.xlsx"));
                ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                EXPECT_EQ(f.readAll(), previous) << what.toStdString();
            }
            EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden |
                                                 QDir::NoDotAndDotDot),
                      QStringList())
                << what.toStdString();
        }
    }
    EXPECT_GT(stopped, 0) << "no signal came while a report was running";
}

}  // namespace
}  // namespace ravir
