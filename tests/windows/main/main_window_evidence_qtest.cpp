// The evidence export from the main window, end to end on the window tests' card: key E and the
// video menu, the span dialog by keyboard, the export as the background task through
// `ravir-decode evidence`, its stop, and a child that fails or will not end. A program of its own
// (GoogleTest with its own main) on Qt's offscreen platform.
#include "gui_app.h"
#include "sample_data.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/main/evidence_dialog.h"
#include "windows/main/evidence_flow.h"
#include "windows/main/command.h"
#include "windows/main/movie_menu.h"
#include "windows/main/task_runner.h"
#include "playback/player.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(w, &press);
}

// A key to the control of the dialog that has the focus, as a user's keyboard sends it.
void dialogKey(QDialog* dlg, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* target = dlg->focusWidget() ? dlg->focusWidget() : dlg;
    QTest::keyClick(target, static_cast<Qt::Key>(k), mods);
}

// Everything in the output folder, hidden entries included.
QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class MainWindowEvidence : public testing::Test {
protected:
    void SetUp() override
    {
        guiApp();
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(out_.isValid());
        qputenv("RAVIR_CONFIG_DIR", config_.path().toLocal8Bit());
        setStartupFolder(config_.path());
        // The still save folder is where the evidence folder is proposed.
        ASSERT_TRUE(WriteValue(ini::kSnapshotFolder, out_.path()));
        QString error;
        card_ = test::windowTestCard(&error);
        ASSERT_FALSE(card_.isEmpty()) << error.toStdString();
        CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
        CMsgBox::takeShown();
    }
    void TearDown() override
    {
        CMsgBox::setAutoAnswer(0);
        qunsetenv("RAVIR_CONFIG_DIR");
    }

    std::unique_ptr<CdedoradeDlg> startWindow(const QString& source)
    {
        CdedoradeDlg::Options o;
        o.source = source;
        auto w = std::make_unique<CdedoradeDlg>(o);
        w->show();
        if (!source.isEmpty()) {
            EXPECT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady(); }, 15000));
        }
        w->evidence()->setDecodeProgram(QStringLiteral(RAVIR_DECODE_EXE));
        return w;
    }

    // E at frame `frame`: the span dialog, open.
    EvidenceDialog* openDialog(CdedoradeDlg& w, int frame)
    {
        w.session()->SeekAll(frame);
        EXPECT_TRUE(w.session()->player(0)->WaitSeekDone(5000));
        key(&w, Qt::Key_E);
        EvidenceDialog* dlg = w.evidence()->dialog();
        EXPECT_TRUE(dlg && dlg->isVisible());
        return dlg;
    }

    // OK by Enter; waits for the end of the task. Returns (ok, folder or reason).
    std::pair<bool, QString> runToEnd(CdedoradeDlg& w, EvidenceDialog* dlg,
                                      std::function<void()> whileRunning = {})
    {
        std::pair<bool, QString> result;
        bool done = false;
        auto c = QObject::connect(w.evidence(), &EvidenceFlow::finished, [&](bool ok, const QString& s) {
            done = true;
            result = {ok, s};
        });
        dialogKey(dlg, Qt::Key_Return);
        EXPECT_TRUE(w.backgroundTaskRunning());
        if (whileRunning)
            whileRunning();
        EXPECT_TRUE(waitUntil([&] { return done; }, 60000));
        QObject::disconnect(c);
        return result;
    }

    QTemporaryDir config_;
    QTemporaryDir out_;
    QString card_;
};

}  // namespace

TEST_F(MainWindowEvidence, KeyEProposesTheSpanCancelWritesNothingOkWritesTheFolder)
{
    auto w = startWindow(card_);
    Player& main = *w->session()->player(0);
    const long long frames = main.GetFrameCount();
    ASSERT_GT(frames, 60);
    const QString name = QFileInfo(w->session()->currentPath()).completeBaseName();

    // Ten seconds either side of frame 30 of a four-second recording: the whole recording, held
    // at its start and its end; the times beside the frames; the folder in the still folder.
    EvidenceDialog* dlg = openDialog(*w, 30);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->fromFrame(), 0);
    EXPECT_EQ(dlg->toFrame(), frames - 1);
    EXPECT_EQ(dlg->findChild<QLabel*>(QStringLiteral("fromTime"))->text(), QStringLiteral("0:00.000"));
    const long long lastMs = std::llround(static_cast<double>(frames - 1) * main.GetFrameMs());
    EXPECT_EQ(dlg->findChild<QLabel*>(QStringLiteral("toTime"))->text(),
              QStringLiteral("0:%1.%2").arg(lastMs / 1000, 2, 10, QLatin1Char('0')).arg(lastMs % 1000, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(dlg->folder(), QDir(out_.path()).filePath(QStringLiteral("evidence-%1-0-%2").arg(name).arg(frames - 1)));
    for (QWidget* field : std::initializer_list<QWidget*>{dlg->fromBox(), dlg->toBox(), dlg->folderField()})
        EXPECT_FALSE(field->accessibleName().isEmpty()) << field->objectName().toStdString();
    EXPECT_EQ(dlg->windowTitle(), text(TXT_EVIDENCE));
    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
        dlg->grab().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + "/evidence_dialog.png");
    EXPECT_NE(w->session()->player(0)->state().playState, kPlaying);

    // Escape cancels: nothing is written, nothing runs.
    dialogKey(dlg, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !w->evidence()->dialog(); }, 2000));
    EXPECT_FALSE(w->backgroundTaskRunning());
    EXPECT_TRUE(entries(out_.path()).isEmpty());

    // By keyboard alone: Up moves the first frame to 1, Tab to the last frame, which is typed;
    // the proposed folder name follows the span. Enter is OK.
    dlg = openDialog(*w, 30);
    ASSERT_TRUE(dlg);
    dialogKey(dlg, Qt::Key_Up);
    dialogKey(dlg, Qt::Key_Tab);
    ASSERT_EQ(dlg->focusWidget(), dlg->toBox());
    dialogKey(dlg, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dlg->focusWidget(), QStringLiteral("60"));
    EXPECT_EQ(dlg->fromFrame(), 1);
    EXPECT_EQ(dlg->toFrame(), 60);
    const QString folder = QDir(out_.path()).filePath(QStringLiteral("evidence-%1-1-60").arg(name));
    EXPECT_EQ(dlg->folder(), folder);
    CMsgBox::takeShown();
    // While it runs, every control but the stop waits, the key E included.
    const auto [ok, written] = runToEnd(*w, dlg, [&] {
        EXPECT_FALSE(w->isCommandEnabled(Command::kEvidence));
        EXPECT_TRUE(w->isCommandEnabled(Command::kStop));
        key(w.get(), Qt::Key_E);
        EXPECT_FALSE(w->evidence()->dialog());
    });
    ASSERT_TRUE(ok) << written.toStdString();
    EXPECT_EQ(QFileInfo(written).absoluteFilePath(), folder);
    // The done message names the folder.
    const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, text(TXT_MSG_EVIDENCE_DONE).arg(folder));
    EXPECT_EQ(entries(out_.path()), QStringList{QFileInfo(folder).fileName()});

    // The folder holds what the export writes and its sums check; the span and the shown frame
    // are those chosen.
    QFile json(folder + QStringLiteral("/evidence.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject span = QJsonDocument::fromJson(json.readAll()).object().value("span").toObject();
    EXPECT_EQ(span.value("from_frame").toInt(-1), 1) << QJsonDocument(span).toJson().toStdString();
    EXPECT_EQ(span.value("to_frame").toInt(-1), 60);
    EXPECT_EQ(span.value("shown_frame").toInt(-1), 30);
    EXPECT_TRUE(QFileInfo::exists(folder + "/" + QFileInfo(w->session()->currentPath()).fileName()));
    QProcess sums;
    sums.setWorkingDirectory(folder);
    sums.start(QStringLiteral("sha256sum"), {QStringLiteral("-c"), QStringLiteral("--quiet"), QStringLiteral("SHA256SUMS")});
    ASSERT_TRUE(sums.waitForFinished(30000));
    EXPECT_EQ(sums.exitCode(), 0) << sums.readAll().toStdString();

    // The same folder again: the dialog refuses it and stays open.
    dlg = openDialog(*w, 30);
    ASSERT_TRUE(dlg);
    dlg->folderField()->setText(folder);
    dialogKey(dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(w->backgroundTaskRunning());
    const QList<CMsgBox::Shown> refused = CMsgBox::takeShown();
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0].text, text(TXT_MSG_EVIDENCE_FOLDER_EXISTS).arg(folder));
    dialogKey(dlg, Qt::Key_Escape);
    w->Shutdown();
}

TEST_F(MainWindowEvidence, StopLeavesNoFolder)
{
    // The real export takes about half a second on the test card: the first-frame key (the
    // stop) is pressed as soon as OK has started it, so that it lands while the child works.
    // A child that is stopped later, with its partial folder made, is the next test's.
    auto w = startWindow(card_);
    EvidenceDialog* dlg = openDialog(*w, 10);
    ASSERT_TRUE(dlg);
    const auto [ok, reason] = runToEnd(*w, dlg, [&] { key(w.get(), Qt::Key_Home); });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(reason.isEmpty()) << reason.toStdString();  // a stop is no failure
    EXPECT_TRUE(CMsgBox::takeShown().isEmpty());
    EXPECT_TRUE(entries(out_.path()).isEmpty()) << entries(out_.path()).join(',').toStdString();
    EXPECT_FALSE(w->backgroundTaskRunning());
    EXPECT_TRUE(w->isCommandEnabled(Command::kEvidence));
    w->Shutdown();
}

// A child that fails says why; one that will not end on the stop is killed and its partial
// folder removed.
TEST_F(MainWindowEvidence, FailureReasonAndAChildThatIgnoresTheStop)
{
    struct Case {
        const char* name;
        const char* script;  // the stand-in for ravir-decode; $OUT is the folder asked for
        bool stop;
        QString message;  // the message shown, empty: none
    };
    const Case cases[] = {
        {"failure", "echo 'progress 0 1000' >&2; echo 'ravir: the disk is full; nothing was written' >&2; exit 1",
         false, text(TXT_MSG_EVIDENCE_FAILED).arg(QStringLiteral("the disk is full; nothing was written"))},
        {"ignores SIGTERM",
         "trap '' TERM; mkdir \"$(dirname \"$OUT\")/.$(basename \"$OUT\").partial-Ab12Cd\"; "
         "echo 'progress 10 1000' >&2; while true; do sleep 0.1; done",
         true, QString()},
    };
    auto w = startWindow(card_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir bin;
        const QString program = bin.filePath(QStringLiteral("fake-decode"));
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // The folder follows --out.
        f.write(QByteArray("#!/bin/sh\nwhile [ $# -gt 0 ]; do [ \"$1\" = --out ] && OUT=\"$2\"; shift; done\n") +
                c.script + "\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        w->evidence()->setDecodeProgram(program);
        EvidenceDialog* dlg = openDialog(*w, 10);
        ASSERT_TRUE(dlg);
        bool asked = false;
        auto conn = QObject::connect(w->taskRunner(), &TaskRunner::progress, w.get(), [&] {
            if (c.stop && !asked) {
                asked = true;
                key(w.get(), Qt::Key_Home);
            }
        });
        const auto [ok, reason] = runToEnd(*w, dlg);
        QObject::disconnect(conn);
        EXPECT_FALSE(ok);
        const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
        if (c.message.isEmpty()) {
            EXPECT_TRUE(shown.isEmpty());
        } else {
            ASSERT_EQ(shown.size(), 1);
            EXPECT_EQ(shown[0].text, c.message);
            EXPECT_EQ(shown[0].caption, CMsgBox::kErrorCaption);
        }
        EXPECT_TRUE(entries(out_.path()).isEmpty()) << entries(out_.path()).join(',').toStdString();
    }
    w->Shutdown();
}

// Button, key and menu agree: without a movie E does nothing and the menu does not offer it.
TEST_F(MainWindowEvidence, NothingWithoutAMovie)
{
    auto w = startWindow(QString());
    ASSERT_FALSE(w->session()->ready());
    EXPECT_FALSE(w->isCommandEnabled(Command::kEvidence));
    EXPECT_FALSE(w->isCommandEnabled(Command::kStillImage));
    key(w.get(), Qt::Key_E);
    w->DispatchCommand(Command::kEvidence);
    EXPECT_FALSE(w->evidence()->dialog());
    EXPECT_FALSE(w->backgroundTaskRunning());
    const Player* main = w->session()->player(0);
    for (const MovieMenuItem& item : MovieMenuItems(main ? main->state().playState : kNoMovie, 1, false, true))
        EXPECT_NE(item.command, Command::kEvidence);
    EXPECT_TRUE(entries(out_.path()).isEmpty());
    w->Shutdown();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
