// The still-image command with real players on a sample card: names, the camera letter swap,
// the overwrite question asked once, both cameras saved at their own size for the same moment
// (the frame number the pictures carry), the messages, the remembered folder, sub-only success
// and the refusal without a frame.
#include "../../playback/frame_pattern_reader.h"
#include "windows/stills/still_capture.h"
#include "exports/still_paths.h"
#include "windows/kit/msg_dlg.h"
#include "playback/player.h"
#include "media_probe.h"
#include "sample_data.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <sys/stat.h>

using namespace ravir;

class StillCaptureTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void pathsFollowTheNamingRule();
    void savesBothCamerasAtTheShownFrame();
    void asksOnceBeforeOverwriting();
    void subCameraAloneCountsAsDone();
    void failureIsReportedAndNotRemembered();
    void withoutAMovieNothingHappens();
    void aMovieCutShortSavesNothing();

private:
    // Runs a capture to its end; the outcome.
    CStillCapture::Outcome capture(const QString& folder);
    void seekBoth(int mainFrame, int subFrame);

    QTemporaryDir config_, out_;
    QWidget window_;
    Player main_, sub_;
    QString movie_;
    int chooserCalls_ = 0;
    int restores_ = 0;
    CStillCapture* capture_ = nullptr;
    QString folder_;
};

void StillCaptureTest::initTestCase()
{
    qputenv("RAVIR_CONFIG_DIR", config_.path().toUtf8());
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 3;
    o.allKinds = false;
    QString error;
    const QString card = test::sampleCard("report_card", o, &error);
    QVERIFY2(!card.isEmpty(), qPrintable(error));
    const QDir normal(card + "/Normal");
    movie_ = normal.filePath(normal.entryList({"A___-250314-*M.MOV"}, QDir::Files, QDir::Name)[0]);
    QString subMovie = movie_;
    subMovie[subMovie.size() - 5] = u'S';
    PlayerOptions options;
    options.audioOutput = "null";
    QVERIFY(main_.InitPlayer(0, nullptr, QString(), options, &main_));
    QVERIFY(sub_.InitPlayer(1, nullptr, QString(), options, &main_));
    QCOMPARE(main_.OpenMovie(movie_), int(kOpened));
    QCOMPARE(sub_.OpenMovie(subMovie), int(kOpened));
    QVERIFY(main_.WaitForReady(10000));
    QVERIFY(sub_.WaitForReady(10000));
    capture_ = new CStillCapture(&window_, this);
    capture_->setFolderChooser([this] {
        ++chooserCalls_;
        return folder_;
    });
    capture_->setWindowHooks([this] { main_.Pause(); sub_.Pause(); }, [this] { ++restores_; });
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
}

void StillCaptureTest::cleanupTestCase()
{
    CMsgBox::setAutoAnswer(0);
    main_.ShutdownPlayer();
    sub_.ShutdownPlayer();
    qunsetenv("RAVIR_CONFIG_DIR");
}

CStillCapture::Outcome StillCaptureTest::capture(const QString& folder)
{
    folder_ = folder;
    QSignalSpy spy(capture_, &CStillCapture::finished);
    if (capture_->Capture(&main_, &sub_, QFileInfo(movie_).fileName())) {
        if (spy.isEmpty())
            spy.wait(10000);
    }
    return capture_->lastResult().outcome;
}

void StillCaptureTest::seekBoth(int mainFrame, int subFrame)
{
    main_.SeekFrame(mainFrame);
    sub_.SeekFrame(subFrame);
    QVERIFY(main_.WaitSeekDone(5000));
    QVERIFY(sub_.WaitSeekDone(5000));
}

void StillCaptureTest::pathsFollowTheNamingRule()
{
    const QString base = StillBaseName("A___-250102-093015-000123M.MOV");
    QCOMPARE(base, QString("A___-250102-093015-000123M"));
    StillPaths p = MakeStillPaths("/pics", base, 45);
    QCOMPARE(p.main, QString("/pics/A___-250102-093015-000123M-000045.jpg"));
    QCOMPARE(p.sub, QString("/pics/A___-250102-093015-000123S-000045.jpg"));
    p = MakeStillPaths("/", "A___-250102-093015-000123S", 7);  // a root: no second '/'
    QCOMPARE(p.main, QString("/A___-250102-093015-000123S-000007.jpg"));
    QCOMPARE(p.sub, QString("/A___-250102-093015-000123M-000007.jpg"));
    p = MakeStillPaths("/pics", "clip", 3);  // no camera letter there: unchanged
    QCOMPARE(p.sub, p.main);
    // No frame: no path (never the folder itself).
    QVERIFY(MakeStillPaths("/pics", base, -1).main.isEmpty());
}

void StillCaptureTest::savesBothCamerasAtTheShownFrame()
{
    QTemporaryDir dir;
    // The sub camera lags behind: the capture brings it to the same moment.
    seekBoth(45, 3);
    restores_ = 0;
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::Saved);
    const CStillCapture::Result& r = capture_->lastResult();
    const QString base = QFileInfo(movie_).completeBaseName();
    QCOMPARE(r.frame, 45);
    QCOMPARE(r.mainPath, dir.filePath(base + "-000045.jpg"));
    QString subBase = base;
    subBase[subBase.size() - 1] = u'S';
    QCOMPARE(r.subPath, dir.filePath(subBase + "-000045.jpg"));
    const QImage mainStill(r.mainPath), subStill(r.subPath);
    QCOMPARE(mainStill.size(), QSize(320, 180));
    QCOMPARE(subStill.size(), QSize(160, 90));
    QCOMPARE(test::framePatternOf(mainStill), 45L);
    QCOMPARE(test::framePatternOf(subStill), long(r.subFrame));
    QCOMPARE(r.subFrame, 45);  // both cameras run at the same rate on the sample card
    const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_DONE));
    QCOMPARE(shown[0].caption, text(TXT_EXIT));
    QCOMPARE(ReadValue(ini::kSnapshotFolder), dir.path());
    QCOMPARE(main_.state().playState, int(kPaused));
    QVERIFY(restores_ >= 1);
    QVERIFY(!capture_->busy());
}

void StillCaptureTest::asksOnceBeforeOverwriting()
{
    QTemporaryDir dir;
    seekBoth(20, 20);
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::Saved);
    CMsgBox::takeShown();
    const QString mainPath = capture_->lastResult().mainPath;
    const QString subPath = capture_->lastResult().subPath;

    CMsgBox::setAutoAnswer(CMsgBox::kIdCancel);
    QFile::resize(mainPath, 0);
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::OverwriteDeclined);
    QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_MSG_SAME_NAME_EXISTS));
    QCOMPARE(shown[0].caption, text(TXT_CONFIRM));
    QCOMPARE(shown[0].type, int(CMsgBox::kOkCancel));
    QCOMPARE(QFileInfo(mainPath).size(), 0);  // untouched

    // Only the sub camera's file exists: no question, both written.
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    QFile::remove(mainPath);
    QFile::resize(subPath, 0);
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::Saved);
    shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_DONE));
    QVERIFY(QFileInfo(subPath).size() > 0);

    // Both exist and the user confirms: asked once, both replaced.
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::Saved);
    shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, text(TXT_MSG_SAME_NAME_EXISTS));
    QCOMPARE(shown[1].text, text(TXT_DONE));
    QCOMPARE(test::framePatternOfFile(mainPath), 20L);
}

void StillCaptureTest::subCameraAloneCountsAsDone()
{
    QTemporaryDir dir;
    seekBoth(30, 30);
    // A folder in the way of the main camera's file: only the sub camera can be saved.
    const QString base = QFileInfo(movie_).completeBaseName();
    QVERIFY(QDir(dir.path()).mkdir(base + "-000030.jpg"));
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::Saved);
    const CStillCapture::Result& r = capture_->lastResult();
    QVERIFY(!r.mainSaved);
    QVERIFY(r.subSaved);
    QCOMPARE(test::framePatternOfFile(r.subPath), 30L);
    const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 2);  // the overwrite question, then done
    QCOMPARE(shown[1].text, text(TXT_DONE));
    QCOMPARE(ReadValue(ini::kSnapshotFolder), dir.path());
}

void StillCaptureTest::failureIsReportedAndNotRemembered()
{
    QTemporaryDir dir;
    QVERIFY(WriteValue(ini::kSnapshotFolder, "/remembered"));
    seekBoth(10, 10);
    QCOMPARE(capture(dir.filePath("missing/folder")), CStillCapture::Outcome::Failed);
    const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, text(TXT_MSG_IMAGE_SAVE_FAILED));
    QCOMPARE(shown[0].caption, CMsgBox::kErrorCaption);
    QCOMPARE(ReadValue(ini::kSnapshotFolder), QString("/remembered"));

    // A FIFO under the main camera's still name and a link to the recording's own sub movie
    // under the sub camera's: neither is replaced, and nothing counts as saved.
    const StillPaths paths =
        MakeStillPaths(dir.path(), StillBaseName(QFileInfo(movie_).fileName()), 10);
    QCOMPARE(::mkfifo(QFile::encodeName(paths.main).constData(), 0600), 0);
    QString subMovie = movie_;
    subMovie[subMovie.size() - 5] = u'S';
    QVERIFY(QFile::link(subMovie, paths.sub));
    QCOMPARE(capture(dir.path()), CStillCapture::Outcome::Failed);
    QCOMPARE(CMsgBox::takeShown().constLast().text, text(TXT_MSG_IMAGE_SAVE_FAILED));
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(paths.main).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QCOMPARE(QFileInfo(paths.sub).symLinkTarget(), subMovie);

    // A cancelled chooser: nothing asked, nothing shown, still paused.
    QCOMPARE(capture(QString()), CStillCapture::Outcome::Cancelled);
    QVERIFY(CMsgBox::takeShown().isEmpty());
    QCOMPARE(main_.state().playState, int(kPaused));
}

void StillCaptureTest::withoutAMovieNothingHappens()
{
    Player idle;
    const int before = chooserCalls_;
    QVERIFY(!capture_->Capture(&idle, nullptr, "A___-250102-093015-000123M.MOV"));
    QCOMPARE(capture_->lastResult().outcome, CStillCapture::Outcome::NotReady);
    QVERIFY(!capture_->Capture(nullptr, nullptr, QString()));
    QCOMPARE(chooserCalls_, before);
    QVERIFY(CMsgBox::takeShown().isEmpty());
}

// A movie whose media data ends early (index intact): a frame past the data is not saved (the
// engine could not land on it), a frame it holds is saved exactly.
void StillCaptureTest::aMovieCutShortSavesNothing()
{
    QTemporaryDir dir, pictures;
    const QString cut = dir.filePath(QFileInfo(movie_).fileName());
    QVERIFY(test::writeCutShortMovie(movie_, cut, 60));
    PlayerOptions options;
    options.audioOutput = "null";
    Player player;
    QVERIFY(player.InitPlayer(0, nullptr, QString(), options, &player));
    QCOMPARE(player.OpenMovie(cut), int(kOpened));
    QVERIFY(player.WaitForReady(10000));
    CMsgBox::takeShown();
    for (int frame : {80, 89}) {
        player.SeekFrame(frame);
        player.WaitSeekDone(5000);
        folder_ = pictures.path();
        QSignalSpy spy(capture_, &CStillCapture::finished);
        if (capture_->Capture(&player, nullptr, QFileInfo(cut).fileName()) && spy.isEmpty())
            spy.wait(10000);
        QCOMPARE(capture_->lastResult().outcome, CStillCapture::Outcome::Failed);
        const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.back().text, text(TXT_MSG_IMAGE_SAVE_FAILED));
        QVERIFY2(QDir(pictures.path()).entryList(QDir::Files | QDir::Hidden).isEmpty(),
                 qPrintable(QString("frame %1").arg(frame)));
    }
    player.SeekFrame(25);
    QVERIFY(player.WaitSeekDone(5000));
    QSignalSpy spy(capture_, &CStillCapture::finished);
    if (capture_->Capture(&player, nullptr, QFileInfo(cut).fileName()) && spy.isEmpty())
        spy.wait(10000);
    QCOMPARE(capture_->lastResult().outcome, CStillCapture::Outcome::Saved);
    QCOMPARE(test::framePatternOfFile(capture_->lastResult().mainPath), 25L);
    CMsgBox::takeShown();
    player.ShutdownPlayer();
}

QTEST_MAIN(StillCaptureTest)
#include "still_capture_qtest.moc"
