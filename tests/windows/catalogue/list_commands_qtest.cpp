// The list commands from the window end to end: a sample card opened through the source dialog
// into the browser, two recordings deleted and three joined through the command controller with
// the message dialog answered automatically, the recording list exported, and the files on disk
// checked; and the task runner's stop.
#include "catalogue/catalogue.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "catalogue/recording_name.h"
#include "windows/catalogue/source_open_dlg.h"
#include "exports/recording_csv.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_progress.h"
#include "windows/main/task_runner.h"
#include "windows/kit/app_scale.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"
#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace ravir;

namespace {

QStringList texts(const QList<CMsgBox::Shown>& shown)
{
    QStringList out;
    for (const CMsgBox::Shown& s : shown)
        out << s.text;
    return out;
}

// Runs a command and waits for its task to end; the messages shown on the way.
bool runAndWait(CListCommands& commands, int command, QList<CMsgBox::Shown>* shown)
{
    QSignalSpy finished(&commands, &CListCommands::taskFinished);
    CMsgBox::takeShown();
    if (!commands.runCommand(command))
        return false;
    const bool ok = finished.wait(60000);
    *shown = CMsgBox::takeShown();
    return ok;
}

}  // namespace

class ListCommandsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void deleteTwoJoinThreeAndExportFromTheWindow();
    void stopEndsTheRunningTask();

private:
    QTemporaryDir dir_;
};

void ListCommandsTest::initTestCase()
{
    QWidget probe;
    probe.show();
    QVERIFY(ComputeScalesAndFonts(&probe));
    QVERIFY(dir_.isValid());
    setStartupFolder(dir_.path());
    // Whatever goes to the trash goes to a trash of this test.
    qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toUtf8());
}

void ListCommandsTest::deleteTwoJoinThreeAndExportFromTheWindow()
{
    const QString card = dir_.filePath(QStringLiteral("card"));
    const test::RunResult made =
        test::runRavir({QStringLiteral("make-sample-card"), card, QStringLiteral("--small")});
    QVERIFY2(made.exitCode == 0, made.err.constData());

    // Open the card through the source dialog, as the browse command does.
    RemovableDrives drives;
    drives.roots = {card + QLatin1Char('/')};
    drives.defaultIndex = 0;
    CSourceOpenDlg source(drives);
    source.selectMode(1);
    source.confirm();
    QCOMPARE(ReadValue(ini::kSourceSelect), QStringLiteral("SD"));
    Catalogue catalogue;
    QVERIFY(OpenChosenSource(catalogue, source.chosenSourceMode(), source.chosenPath(), nullptr));
    CFilerContainerDlg browser(catalogue);
    browser.resize(Scaled(460), Scaled(560));
    browser.reload();
    QVERIFY(browser.rowCount() >= 3);

    TaskRunner runner;
    QWidget window;
    CSkinProgressBarCtrl progress(&window);
    CListCommands commands(catalogue, runner, &window);
    commands.setProgressBar(&progress);
    connect(&commands, &CListCommands::sourceReopened, &browser, &CFilerContainerDlg::reload);
    QList<int> before;
    commands.setBeforeTask([&](int command) { before << command; });
    const QString out = dir_.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QStringList asked;
    commands.setFolderChooser([&](const IniKey& key, int) {
        asked << QString::fromLatin1(key.key);
        return out;
    });
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);

    // ---- delete two recordings of other folders, chosen with "show all files" ----
    const RecordList all = catalogue.CollectAllRecordings();
    QVERIFY(all.size() >= 6);
    const QString gone1 = all[all.size() - 3].path, gone2 = all.back().path;
    const QString kept = all[all.size() - 2].path;
    for (const RecordingRecord& r : catalogue.currentRecords())
        QVERIFY(r.path != gone1 && r.path != gone2);
    commands.setSelectionRunner([](CFileSelectDlg& dlg) {
        dlg.setShowAll(true);
        dlg.setTicked(dlg.rowCount() - 3, true);
        dlg.setTicked(dlg.rowCount() - 1, true);
        return dlg.confirm();
    });
    QList<CMsgBox::Shown> shown;
    QSignalSpy progressed(&runner, &TaskRunner::progress);
    QSignalSpy started(&commands, &CListCommands::taskStarted);
    QVERIFY(runAndWait(commands, CListCommands::kCmdDelete, &shown));
    // The bar was shown for the task and followed it to the end (one step per recording).
    QCOMPARE(started.count(), 1);
    QCOMPARE(progressed.count(), 2);
    QCOMPARE(progressed.last().at(0).toLongLong(), progressed.last().at(1).toLongLong());
    QCOMPARE(progress.position(), 100);
    QCOMPARE(texts(shown), QStringList{text(TXT_DONE)});
    QCOMPARE(before, QList<int>{CListCommands::kCmdDelete});
    QVERIFY(!QFileInfo::exists(gone1));
    QVERIFY(!QFileInfo::exists(gone2));
    QVERIFY(QFileInfo::exists(kept));
    // The card form: the movie bears its deleted name beside where it was.
    QVERIFY(QFileInfo::exists(gone1.left(gone1.size() - 3) + QStringLiteral("DMY")));
    QVERIFY(QFileInfo::exists(gone2.left(gone2.size() - 3) + QStringLiteral("DMY")));
    QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("data/Trash"))));
    // The source was opened again and the browser shows no deleted recording.
    for (const RecordingRecord& r : browser.listCtrl()->shownRecords()) {
        QVERIFY(r.path != gone1);
        QVERIFY(r.path != gone2);
    }
    QVERIFY(progress.isHidden());

    // ---- join three: ticking rows 0 and 2 takes row 1 too ----
    RecordList chosen;
    commands.setSelectionRunner([&](CFileSelectDlg& dlg) {
        dlg.setTicked(0, true);
        dlg.setTicked(2, true);
        const bool ok = dlg.confirm();
        chosen = dlg.result();
        return ok;
    });
    QVERIFY(runAndWait(commands, CListCommands::kCmdJoin, &shown));
    QCOMPARE(texts(shown), QStringList{text(TXT_DONE)});
    QCOMPARE(chosen.size(), size_t{3});
    const QString joined = QDir(out).filePath(chosen.front().fileName());
    QVERIFY(QFileInfo::exists(joined));
    qint64 inputs = 0;
    for (const RecordingRecord& r : chosen)
        inputs += QFileInfo(r.path).size();
    // The joined movie holds every input's media: bigger than the largest, near their sum.
    QVERIFY(QFileInfo(joined).size() > inputs / 2);
    QVERIFY(QFileInfo(joined).size() <= inputs + 65536);
    QCOMPARE(ReadValue(ini::kConnectFolder), out);
    int marked = 0;
    for (const RecordingRecord& r : catalogue.currentRecords())
        marked += r.joined;
    QCOMPARE(marked, 3);
    // Again into the same folder: the same-name question; Cancel starts nothing.
    CMsgBox::setAutoAnswer(CMsgBox::kIdCancel);
    CMsgBox::takeShown();
    QVERIFY(!commands.runCommand(CListCommands::kCmdJoin));
    QCOMPARE(texts(CMsgBox::takeShown()), QStringList{text(TXT_MSG_SAME_NAME_EXISTS)});
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);

    // ---- CSV of every recording, in the character set of the setting ----
    QVERIFY(WriteValue(ini::kCsvEncoding, QStringLiteral("UTF-8")));
    QVERIFY(runAndWait(commands, CListCommands::kCmdCsv, &shown));
    QCOMPARE(texts(shown), QStringList{text(TXT_DONE)});
    QCOMPARE(asked, (QStringList{QStringLiteral("CONNECT_FOLDER"), QStringLiteral("CONNECT_FOLDER"),
                                 QStringLiteral("CSV_FOLDER")}));
    const QStringList csvs = QDir(out).entryList({QStringLiteral("*.csv")}, QDir::Files);
    QCOMPARE(csvs.size(), 1);
    QFile csv(QDir(out).filePath(csvs.front()));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(csv.readAll());
    QVERIFY(content.startsWith(CsvHeaderLine(catalogue.recorderInfo().downloadFlag != 0)));
    QCOMPARE(content.count(QStringLiteral("\r\n")),
             static_cast<int>(catalogue.CollectAllRecordings().size()) + 1);
    QVERIFY(!content.contains(QFileInfo(gone1).fileName()));
    QCOMPARE(ReadValue(ini::kCsvFolder), out);

    // An output folder that cannot be written: the failure messages, nothing written.
    commands.setFolderChooser([&](const IniKey&, int) { return dir_.filePath(QStringLiteral("no/such")); });
    QVERIFY(runAndWait(commands, CListCommands::kCmdCsv, &shown));
    QCOMPARE(texts(shown), QStringList{text(TXT_MSG_CSV_CREATE_FAILED)});
    QVERIFY(runAndWait(commands, CListCommands::kCmdJoin, &shown));
    QCOMPARE(texts(shown), QStringList{text(TXT_MSG_JOIN_FAILED)});
    QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("no"))));
    QCOMPARE(ReadValue(ini::kCsvFolder), out);

    // A source that vanished while the dialog was open: nothing is deleted.
    const QString stays = catalogue.currentRecords().front().path;
    commands.setSelectionRunner([&](CFileSelectDlg& dlg) {
        dlg.setTicked(0, true);
        catalogue.sourceLostFlag() = true;
        return dlg.confirm();
    });
    CMsgBox::takeShown();
    QVERIFY(!commands.runCommand(CListCommands::kCmdDelete));
    QCOMPARE(texts(CMsgBox::takeShown()), QStringList{text(TXT_MSG_DELETE_FAILED)});
    QVERIFY(QFileInfo::exists(stays));

    // No folder chosen: nothing happens, no message.
    commands.setFolderChooser([](const IniKey&, int) { return QString(); });
    CMsgBox::takeShown();
    QVERIFY(!commands.runCommand(CListCommands::kCmdCsv));
    QVERIFY(CMsgBox::takeShown().isEmpty());
}

void ListCommandsTest::stopEndsTheRunningTask()
{
    TaskRunner runner;
    QSignalSpy finished(&runner, &TaskRunner::finished);
    QSignalSpy progress(&runner, &TaskRunner::progress);
    std::atomic<bool> entered{false};
    QVERIFY(runner.start(QStringLiteral("loop"), [&](TaskRunner::Context& ctx) {
        ctx.progress(1, 2);
        entered = true;
        while (!ctx.stopRequested() && !ctx.stop->load())
            QThread::msleep(1);
        return 7;
    }));
    QVERIFY(runner.busy());
    // One task at a time.
    QVERIFY(!runner.start(QStringLiteral("second"), [](TaskRunner::Context&) { return 0; }));
    QTRY_VERIFY(entered.load());
    runner.stop();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.front().at(0).toString(), QStringLiteral("loop"));
    QCOMPARE(finished.front().at(1).toInt(), 7);
    QCOMPARE(finished.front().at(2).toBool(), true);
    QCOMPARE(progress.size(), 1);
    QVERIFY(!runner.busy());
    // A task that ends by itself is not reported as stopped.
    QVERIFY(runner.start(QStringLiteral("short"), [](TaskRunner::Context&) { return 1; }));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.back().at(2).toBool(), false);
}

QTEST_MAIN(ListCommandsTest)
#include "list_commands_qtest.moc"
