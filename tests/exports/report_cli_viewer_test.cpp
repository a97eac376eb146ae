// `ravir report`: the day's workbook from the command line, with the picture of exactly the
// asked frame.
#include "../playback/frame_pattern_reader.h"
#include "sample_data.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ravir
