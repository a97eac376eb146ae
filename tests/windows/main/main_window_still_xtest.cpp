// The still command from the main window on a real (virtual) display: a two-camera recording
// paused at a known frame, S pressed, the folder and the overwrite question answered through the
// test hooks. Both stills are named after the recording and the main camera's frame (the sub
// camera's with the camera letter swapped), carry that frame in their picture, and the overwrite
// question comes once, for the main camera's file only.
#include "../../playback/frame_pattern_reader.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/stills/still_capture.h"
#include "gui_app.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/kit/msg_dlg.h"
#include "playback/player.h"
#include "sample_data.h"
#include "shell/ui_text.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ravir;
using test::waitUntil;

namespace {

void key(QWidget* w, int k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

}  // namespace

TEST(MainWindowStill, SKeySavesBothCamerasAtTheShownFrame)
{
    QTemporaryDir config, out;
    ASSERT_TRUE(config.isValid() && out.isValid());
    qputenv("RAVIR_CONFIG_DIR", config.path().toLocal8Bit());
    QString error;
    const QString card = test::windowTestCard(&error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    CdedoradeDlg::Options options;
    options.source = card;
    CdedoradeDlg w(options);
    w.show();
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady(); }, 20000));

    // A recording of the list with its sub-camera movie beside it.
    const CFileListCtrl* list = w.browser()->listCtrl();
    const RecordingRecord* chosen = nullptr;
    for (int row = 0; row < w.browser()->rowCount() && !chosen; ++row) {
        const RecordingRecord* r = list->recordAt(row);
        QString sub = r->path;
        sub[sub.size() - 5] = u'S';
        if (r->path.endsWith(QStringLiteral("M.MOV")) && QFileInfo::exists(sub))
            chosen = r;
    }
    ASSERT_TRUE(chosen) << "a two-camera recording on the sample card";
    if (w.session()->currentPath() != chosen->path) {
        const RecordingRecord record = *chosen;
        ASSERT_GT(w.OpenRecording(record), 0);
        ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady() &&
                                           w.session()->currentPath() == record.path; }, 20000));
    }
    ASSERT_TRUE(waitUntil([&] { return w.session()->player(1)->IsReady(); }, 10000));

    // Paused at a known frame, both cameras there.
    constexpr int kFrame = 37;
    w.session()->SeekAll(kFrame);
    ASSERT_TRUE(w.session()->player(0)->WaitSeekDone(5000));
    ASSERT_TRUE(w.session()->player(1)->WaitSeekDone(5000));
    ASSERT_EQ(w.session()->player(0)->GetCurrentFrame(), kFrame);

    int chooserCalls = 0;
    w.stillCapture()->setFolderChooser([&] {
        ++chooserCalls;
        return out.path();
    });
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    CMsgBox::takeShown();
    QSignalSpy finished(w.stillCapture(), &CStillCapture::finished);
    auto pressS = [&] {
        finished.clear();
        key(&w, Qt::Key_S);
        if (w.stillCapture()->busy()) {
            EXPECT_TRUE(finished.wait(10000));
        }
        EXPECT_FALSE(w.stillCapture()->busy());
        return w.stillCapture()->lastResult();
    };

    const CStillCapture::Result first = pressS();
    ASSERT_EQ(first.outcome, CStillCapture::Outcome::Saved);
    const QString base = QFileInfo(chosen->path).completeBaseName();
    QString subBase = base;
    subBase[subBase.size() - 1] = u'S';
    const QString mainPath = out.filePath(base + QStringLiteral("-000037.jpg"));
    const QString subPath = out.filePath(subBase + QStringLiteral("-000037.jpg"));
    EXPECT_EQ(first.mainPath, mainPath);
    EXPECT_EQ(first.subPath, subPath);
    // The pictures are the frame named: both carry frame 37 (the cameras share their rate).
    EXPECT_EQ(test::framePatternOfFile(mainPath), long(kFrame));
    EXPECT_EQ(test::framePatternOfFile(subPath), long(kFrame));
    EXPECT_GT(QImage(mainPath).width(), QImage(subPath).width());  // each at its own size
    QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, text(TXT_DONE));
    EXPECT_NE(w.session()->player(0)->state().playState, kPlaying);
    EXPECT_EQ(w.session()->shownFrame(), kFrame);

    // Again at the same frame: one question for both files; declined, nothing is written.
    const qint64 mainSize = QFileInfo(mainPath).size();
    QFile::resize(subPath, 0);
    CMsgBox::setAutoAnswer(CMsgBox::kIdCancel);
    EXPECT_EQ(pressS().outcome, CStillCapture::Outcome::OverwriteDeclined);
    shown = CMsgBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, text(TXT_MSG_SAME_NAME_EXISTS));
    EXPECT_EQ(QFileInfo(subPath).size(), 0);
    EXPECT_EQ(QFileInfo(mainPath).size(), mainSize);

    // Confirmed: still one question, and both files written anew.
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    EXPECT_EQ(pressS().outcome, CStillCapture::Outcome::Saved);
    shown = CMsgBox::takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].text, text(TXT_MSG_SAME_NAME_EXISTS));
    EXPECT_EQ(shown[1].text, text(TXT_DONE));
    EXPECT_EQ(test::framePatternOfFile(subPath), long(kFrame));
    EXPECT_EQ(chooserCalls, 3);
    CMsgBox::setAutoAnswer(0);
    w.Shutdown();
    qunsetenv("RAVIR_CONFIG_DIR");
}

int main(int argc, char** argv)
{
    test::guiApp();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
