// The window's report command: the report folder (remembered, asked again when gone), the map
// drawn into the window picture at its corner, the workbook entry and the messages.
#include "playback/report_picture.h"
#include "windows/stills/report_flow.h"
#include "windows/kit/msg_dlg.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ravir;

class ReportFlowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void folderIsRememberedAndAskedAgainWhenGone();
    void mapGoesIntoTheLowerRightCorner();
    void reportIsWrittenWithItsMessages();

private:
    QTemporaryDir config_;
};

void ReportFlowTest::initTestCase()
{
    qputenv("RAVIR_CONFIG_DIR", config_.path().toUtf8());
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
}

void ReportFlowTest::cleanupTestCase()
{
    CMsgBox::setAutoAnswer(0);
    qunsetenv("RAVIR_CONFIG_DIR");
}

void ReportFlowTest::folderIsRememberedAndAskedAgainWhenGone()
{
    QTemporaryDir dir;
    const QString first = dir.filePath("reports");
    QVERIFY(QDir().mkpath(first));
    int asked = 0;
    QString answer = first;
    auto chooser = [&] {
        ++asked;
        return answer;
    };
    QCOMPARE(ChooseReportFolder(nullptr, chooser), first);
    QCOMPARE(ReadValue(ini::kReportFolder), first);
    QCOMPARE(ChooseReportFolder(nullptr, chooser), first);
    QCOMPARE(asked, 1);  // remembered
    QVERIFY(QDir(first).removeRecursively());
    const QString second = dir.filePath("second");
    QVERIFY(QDir().mkpath(second));
    answer = second;
    QCOMPARE(ChooseReportFolder(nullptr, chooser), second);  // gone: asked again
    QCOMPARE(asked, 2);
    QCOMPARE(ReadValue(ini::kReportFolder), second);
    QVERIFY(QDir(second).removeRecursively());
    answer.clear();  // cancelled: nothing remembered
    QCOMPARE(ChooseReportFolder(nullptr, chooser), QString());
    QCOMPARE(asked, 3);
    QCOMPARE(ReadValue(ini::kReportFolder), second);
}

void ReportFlowTest::mapGoesIntoTheLowerRightCorner()
{
    QImage window(800, 600, QImage::Format_RGB32);
    window.fill(Qt::black);
    QImage map(200, 150, QImage::Format_RGB32);
    map.fill(Qt::red);
    for (double scale : {1.0, 2.0}) {
        const QImage out = ComposeReportPicture(window, map, scale);
        QCOMPARE(out.size(), window.size());
        const int right = 800 - int(scale * 4), bottom = 600 - int(scale * 38);
        QCOMPARE(out.pixelColor(right - 1, bottom - 1), QColor(Qt::red));
        QCOMPARE(out.pixelColor(right - 200, bottom - 150), QColor(Qt::red));
        QCOMPARE(out.pixelColor(right, bottom - 1), QColor(Qt::black));
        QCOMPARE(out.pixelColor(right - 1, bottom), QColor(Qt::black));
        QCOMPARE(out.pixelColor(right - 201, bottom - 151), QColor(Qt::black));
    }
    QVERIFY(ComposeReportPicture(QImage(), map, 1).isNull());
    QCOMPARE(ComposeReportPicture(window, QImage(), 1), window);

    const QImage placeholder = ReportMapPlaceholder(QSize(240, 180));
    QCOMPARE(placeholder.size(), QSize(240, 180));
    const QByteArray jpeg = ReportJpeg(ComposeReportPicture(window, placeholder, 1.0));
    QVERIFY(jpeg.startsWith("\xFF\xD8"));
    const QString shots = qEnvironmentVariable("RAVIR_SHOTS_DIR");
    if (!shots.isEmpty()) {
        QFile f(QDir(shots).filePath("report_picture_window_placeholder.jpg"));
        if (f.open(QIODevice::WriteOnly))
            f.write(jpeg);
    }
}

void ReportFlowTest::reportIsWrittenWithItsMessages()
{
    QTemporaryDir dir;
    QImage window(640, 360, QImage::Format_RGB32);
    window.fill(QColor(0x30, 0x30, 0x30));
    const QImage map = ReportMapPlaceholder(QSize(160, 120));
    const QString name = "A___-250102-093015-000123M.MOV";
    ReportResult r = FinishReport(nullptr, dir.path(), window, window, map, 1.0, name);
    QVERIFY2(r.ok(), qPrintable(r.message));
    QCOMPARE(r.reportPath, dir.filePath("report_20250102.xlsx"));
    QCOMPARE(r.sheetName, QString("093015"));
    QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_DONE));
    QCOMPARE(shown[0].caption, text(TXT_EXIT));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"report_20250102.xlsx"});

    // A report file that is not a workbook: the failure message, the file as it was.
    QFile bad(dir.filePath("report_20250103.xlsx"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("typed notes, not a workbook");
    bad.close();
    r = FinishReport(nullptr, dir.path(), window, window, map, 1.0, "A___-250103-101010-000124M.MOV");
    QCOMPARE(r.status, ReportStatus::NotAWorkbook);
    shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_MSG_IMAGE_SAVE_FAILED));
    QCOMPARE(shown[0].caption, CMsgBox::kErrorCaption);
    QVERIFY(bad.open(QIODevice::ReadOnly));
    QCOMPARE(bad.readAll(), QByteArray("typed notes, not a workbook"));

    // No folder or no recording: the failure message, nothing written.
    QVERIFY(!FinishReport(nullptr, QString(), window, window, map, 1.0, name).ok());
    QVERIFY(!FinishReport(nullptr, dir.path(), window, window, map, 1.0, "clip.mp4").ok());
    // A name whose day is no date (month 13): the day of the telemetry's clock; none at all:
    // refused.
    GpsSample fix;
    fix.localTime.year = 2025;
    fix.localTime.month = 3;
    fix.localTime.day = 14;
    r = FinishReport(nullptr, dir.path(), window, window, map, 1.0,
                     "A___-251399-101010-000126M.MOV", {GpsSample(), fix});
    QVERIFY2(r.ok(), qPrintable(r.message));
    QCOMPARE(r.reportPath, dir.filePath("report_20250314.xlsx"));
    QVERIFY(!FinishReport(nullptr, dir.path(), window, window, map, 1.0,
                          "A___-251399-101010-000126M.MOV").ok());
    shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 4);  // the two refusals above, then done, then refused
    QCOMPARE(shown[1].text, text(TXT_MSG_IMAGE_SAVE_FAILED));
    QCOMPARE(shown[2].text, text(TXT_DONE));
    QCOMPARE(shown[3].text, text(TXT_MSG_IMAGE_SAVE_FAILED));
    QVERIFY(QFile::remove(r.reportPath));

    // The engine did not hold the frame shown (no verified capture): refused like a still.
    QVERIFY(!FinishReport(nullptr, dir.path(), QImage(), window, map, 1.0,
                          "A___-250104-101010-000125M.MOV").ok());
    shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_MSG_IMAGE_SAVE_FAILED));
    QCOMPARE(shown[0].caption, CMsgBox::kErrorCaption);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

QTEST_MAIN(ReportFlowTest)
#include "report_flow_qtest.moc"
