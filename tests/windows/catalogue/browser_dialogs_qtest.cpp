// The rules of the browser's windows: the source dialog (OK enabling, the open check, the keys
// written), the selection dialog (join run, limits and their messages, totals and colours, show
// all and select all), the file list's colours and the kind filter of the browser panel.
#include "catalogue/catalogue.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "windows/catalogue/source_open_dlg.h"
#include "playback/thumbnail_cache.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_list.h"
#include "sample_data.h"
#include "windows/kit/app_scale.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"

#include "playback/preview_session.h"
#include "playback/video_presenter.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ravir;

namespace {

constexpr uint64_t kMb = uint64_t{1} << 20;

// A record with a recorder name of the given kind prefix ("A___", "AG__", "P___", "PG__", "AM__").
RecordingRecord record(const QString& prefix, int number, uint64_t size = 10 * kMb)
{
    RecordingRecord r;
    r.path = QStringLiteral("/card/Normal/%1-250314-12%2-%3M.MOV")
                 .arg(prefix)
                 .arg(number % 10000, 4, 10, QLatin1Char('0'))
                 .arg(number, 6, 10, QLatin1Char('0'));
    r.size = size;
    r.row = number;
    return r;
}

RecordList records(int n, uint64_t size = 10 * kMb)
{
    RecordList out;
    for (int i = 0; i < n; ++i)
        out.push_back(record(QStringLiteral("A___"), i, size));
    return out;
}

QStringList shownTexts()
{
    QStringList out;
    for (const CMsgBox::Shown& s : CMsgBox::takeShown())
        out << s.text;
    return out;
}

}  // namespace

class BrowserDialogsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void sourceDialogEnablesOkAndWritesOnlyItsKeys();
    void sourceDialogRejectsNonRecordingFiles();
    void joinModeKeepsOneRun();
    void joinLimitsTotalsAndMessages();
    void deleteModeShowAllSelectAllAndCap();
    void fileListColoursFollowKindTriggerAndPlayingRow();
    void kindButtonsFilterCountAndDoNotReopen();
    void panelAndDialogsAsDrawn();
    void hoverPreviewFollowsTheThumbnailSwitch();
    void thumbnailsAreMadeOnTheWorkerAndDrawn();

private:
    QTemporaryDir config_;
};

void BrowserDialogsTest::initTestCase()
{
    QWidget probe;
    probe.show();
    QVERIFY(ComputeScalesAndFonts(&probe));
    QVERIFY(config_.isValid());
    setStartupFolder(config_.path());
}

void BrowserDialogsTest::init()
{
    QFile::remove(configFilePath());
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    CMsgBox::takeShown();
}

void BrowserDialogsTest::sourceDialogEnablesOkAndWritesOnlyItsKeys()
{
    // Remembered: FILE selected with an empty FILE value -> mode 3, OK disabled.
    QVERIFY(WriteValue(ini::kSourceSelect, QStringLiteral("FILE")));
    QVERIFY(WriteValue(ini::kSourceSd, QStringLiteral("/media/old")));
    QVERIFY(WriteValue(ini::kSourceFile, QString()));
    RemovableDrives drives;
    drives.roots = {QStringLiteral("/media/a"), QStringLiteral("/media/b")};
    drives.defaultIndex = 1;
    {
        CSourceOpenDlg dlg(drives);
        QCOMPARE(dlg.mode(), 3);
        QVERIFY(dlg.modeButton(3)->isChecked());
        QVERIFY(!dlg.modeButton(1)->isChecked());
        QVERIFY(!dlg.okButton()->isEnabled());
        QCOMPARE(dlg.driveList()->currentText(), QStringLiteral("/media/b"));
        // Mode 1 with a drive selected enables OK; mode 2 with an empty folder does not.
        dlg.selectMode(1);
        QVERIFY(dlg.okButton()->isEnabled());
        dlg.selectMode(2);
        QVERIFY(!dlg.okButton()->isEnabled());
        // The folder chooser fills the field and selects mode 2; nothing is written yet.
        dlg.setFolderChooser([](QWidget*) { return QStringLiteral("/data/movies"); });
        dlg.chooseFolder();
        QCOMPARE(dlg.mode(), 2);
        QVERIFY(dlg.okButton()->isEnabled());
        QVERIFY(ReadValue(ini::kSourceFolder).isEmpty());
        dlg.confirm();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.chosenPath(), QStringLiteral("/data/movies"));
    }
    QCOMPARE(ReadValue(ini::kSourceSelect), QStringLiteral("FOLDER"));
    QCOMPARE(ReadValue(ini::kSourceFolder), QStringLiteral("/data/movies"));
    QCOMPARE(ReadValue(ini::kSourceSd), QStringLiteral("/media/old"));  // untouched
    QVERIFY(ReadValue(ini::kSourceFile).isEmpty());

    // Reopened: the folder row is preselected with its value; a card confirms with SD.
    CSourceOpenDlg again(drives);
    QCOMPARE(again.mode(), 2);
    QCOMPARE(again.folderField()->text(), QStringLiteral("/data/movies"));
    again.selectMode(1);
    again.confirm();
    QCOMPARE(ReadValue(ini::kSourceSelect), QStringLiteral("SD"));
    QCOMPARE(ReadValue(ini::kSourceSd), QStringLiteral("/media/b"));
    QCOMPARE(ReadValue(ini::kSourceFolder), QStringLiteral("/data/movies"));

    // No drive at all: mode 1 cannot be confirmed.
    CSourceOpenDlg none(RemovableDrives{});
    none.selectMode(1);
    QVERIFY(!none.okButton()->isEnabled());
    none.confirm();
    QVERIFY(none.result() != int(QDialog::Accepted));
}

void BrowserDialogsTest::sourceDialogRejectsNonRecordingFiles()
{
    CSourceOpenDlg dlg(RemovableDrives{});
    // A lower-case extension is not a recording name: message, field unchanged.
    dlg.setFileChooser([](QWidget*) { return QStringLiteral("/d/A___-250314-123000-000142M.mov"); });
    dlg.chooseFile();
    QCOMPARE(shownTexts(), QStringList{text(TXT_MSG_OPEN_FAILED)});
    QVERIFY(dlg.fileField()->text().isEmpty());
    QCOMPARE(dlg.mode(), 1);
    dlg.setFileChooser([](QWidget*) { return QStringLiteral("/d/A___-250314-123000-000142M.MOV"); });
    dlg.chooseFile();
    QVERIFY(shownTexts().isEmpty());
    QCOMPARE(dlg.mode(), 3);
    QVERIFY(dlg.okButton()->isEnabled());
    dlg.confirm();
    QCOMPARE(ReadValue(ini::kSourceSelect), QStringLiteral("FILE"));
    QCOMPARE(ReadValue(ini::kSourceFile), QStringLiteral("/d/A___-250314-123000-000142M.MOV"));

    // Opening the result: a missing path opens nothing, silently; a real movie opens as a file
    // source; the wrong name gets the open-failed message.
    Catalogue catalogue;
    QVERIFY(!OpenChosenSource(catalogue, SourceMode::Folder, QStringLiteral("/no/such/dir"), nullptr));
    QVERIFY(shownTexts().isEmpty());
    const QString card = test::smallCard(0);
    QVERIFY(!card.isEmpty());
    QTemporaryDir dir;
    const QString lower = dir.filePath(QStringLiteral("A___-250314-123000-000142M.mov"));
    QVERIFY(QFile(lower).open(QIODevice::WriteOnly));
    QVERIFY(!OpenChosenSource(catalogue, SourceMode::File, lower, nullptr));
    QCOMPARE(shownTexts(), QStringList{text(TXT_MSG_OPEN_FAILED)});
    QCOMPARE(SourceModeOfPath(card), SourceMode::Drive);
    QCOMPARE(SourceModeOfPath(dir.path()), SourceMode::Folder);
    QCOMPARE(SourceModeOfPath(lower), SourceMode::File);
    QVERIFY(OpenChosenSource(catalogue, SourceMode::Drive, card + QLatin1Char('/'), nullptr));
    QCOMPARE(catalogue.sourcePath(), card);
    QVERIFY(!catalogue.currentRecords().empty());
}

void BrowserDialogsTest::joinModeKeepsOneRun()
{
    CFileSelectDlg dlg(CFileSelectDlg::kJoin);
    dlg.setCurrentList(records(12));
    QVERIFY(dlg.showAllButton()->isHidden());
    QCOMPARE(dlg.okButton()->text(), text(TXT_NEXT_STEP));
    QVERIFY(!dlg.okButton()->isEnabled());
    dlg.setTicked(3, true);
    dlg.setTicked(7, true);
    QCOMPARE(dlg.tickedRows(), (std::vector<int>{3, 4, 5, 6, 7}));
    dlg.setTicked(5, false);
    QCOMPARE(dlg.tickedRows(), (std::vector<int>{3, 4}));
    dlg.setTicked(1, true);  // above the run
    QCOMPARE(dlg.tickedRows(), (std::vector<int>{1, 2, 3, 4}));
    dlg.setTicked(1, false);  // the run's first row: the run only shrinks
    QCOMPARE(dlg.tickedRows(), (std::vector<int>{2, 3, 4}));
    // A click through the skinned list follows the same rule (the list's own state image).
    QCOMPARE(dlg.listCtrl()->stateImage(3), int(CSkinListCtrl::kChecked));
    dlg.listCtrl()->setStateImage(9, CSkinListCtrl::kChecked);
    QCOMPARE(dlg.tickedRows(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    QCOMPARE(dlg.listCtrl()->stateImage(6), int(CSkinListCtrl::kChecked));
    // The hot image is not a tick change.
    dlg.listCtrl()->setStateImage(11, CSkinListCtrl::kHot);
    QCOMPARE(dlg.tickedRows().size(), size_t{8});
    QVERIFY(dlg.okButton()->isEnabled());
    QVERIFY(dlg.confirm());
    QCOMPARE(dlg.result().size(), size_t{8});
    QCOMPARE(dlg.result().front().path, dlg.shownList()[2].path);
    QCOMPARE(dlg.result().back().path, dlg.shownList()[9].path);
}

void BrowserDialogsTest::joinLimitsTotalsAndMessages()
{
    // Sizes in whole megabytes per sum: 1024 is accepted, 1025 is over (red, message, open).
    for (const auto& [extraBytes, over] : {std::pair<uint64_t, bool>{0, false}, {kMb, true}}) {
        RecordList list = records(4, 256 * kMb);
        list[3].size += extraBytes;
        list[0].joined = 1;
        CFileSelectDlg dlg(CFileSelectDlg::kJoin);
        dlg.setCurrentList(list);
        dlg.setSelectAllShown(true);
        QCOMPARE(dlg.tickedRows().size(), size_t{4});
        QCOMPARE(dlg.sizeOver(), over);
        QCOMPARE(dlg.totalColour(), over ? QColor(Qt::red) : QColor(Qt::black));
        QCOMPARE(dlg.totalLabel()->text(), over ? QStringLiteral("1025 MB") : QStringLiteral("1024 MB"));
        QCOMPARE(dlg.totalLabel()->palette().color(QPalette::WindowText), dlg.totalColour());
        QCOMPARE(dlg.confirm(), !over);
        QCOMPARE(shownTexts(), over ? QStringList{text(TXT_MSG_SIZE_OVER)} : QStringList{});
        // The joined row is drawn with the joined colours.
        dlg.resize(dlg.size());
        dlg.show();
        const QImage shot = dlg.listCtrl()->viewport()->grab().toImage();
        const QRect row0 = dlg.listCtrl()->visualItemRect(dlg.listCtrl()->topLevelItem(0));
        const QRect row1 = dlg.listCtrl()->visualItemRect(dlg.listCtrl()->topLevelItem(1));
        const QPoint probe(row0.right() - 3, row0.center().y());
        QCOMPARE(shot.pixelColor(probe * shot.devicePixelRatio()), CFileSelectDlg::kJoinedBackground);
        QCOMPARE(shot.pixelColor(QPoint(row1.right() - 3, row1.center().y()) * shot.devicePixelRatio()),
                 QColor(Qt::white));
    }
    // The total sums movie, paired and telemetry sizes, each in whole megabytes for the limit.
    {
        RecordList list = records(2, kMb);
        list[0].pairedSize = kMb / 2;
        list[1].pairedSize = kMb / 2;
        list[0].telemetrySize = 3 * kMb;
        CFileSelectDlg dlg(CFileSelectDlg::kDelete);
        dlg.setCurrentList(list);
        dlg.setTicked(0, true);
        dlg.setTicked(1, true);
        QCOMPARE(dlg.totalMegabytes(), uint64_t{6});
        QVERIFY(!dlg.sizeOver());
    }
    // 100 ticked files are too many; 99 are not.
    for (int n : {99, 100}) {
        CFileSelectDlg dlg(CFileSelectDlg::kJoin);
        dlg.setCurrentList(records(n, kMb));
        dlg.setSelectAllShown(true);
        QCOMPARE(dlg.tooMany(), n == 100);
        QCOMPARE(dlg.confirm(), n == 99);
        QCOMPARE(shownTexts(), n == 100 ? QStringList{text(TXT_MSG_REDUCE_FILES)} : QStringList{});
    }
}

void BrowserDialogsTest::deleteModeShowAllSelectAllAndCap()
{
    CFileSelectDlg dlg(CFileSelectDlg::kDelete);
    QCOMPARE(dlg.windowTitle(), text(TXT_DELETE_2));
    QVERIFY(!dlg.showAllButton()->isHidden());
    // 1600 records: the first 1500 are kept and the 1500 message is shown.
    QVERIFY(!dlg.setAllList(records(1600)));
    QVERIFY(shownTexts().isEmpty());
    dlg.setCurrentList(records(5));
    QVERIFY(shownTexts().isEmpty());
    QCOMPARE(dlg.rowCount(), 5);
    dlg.setTicked(1, true);
    dlg.setTicked(3, true);  // delete mode: no run rule
    QCOMPARE(dlg.tickedRows(), (std::vector<int>{1, 3}));
    QCOMPARE(dlg.listCtrl()->topLevelItem(1)->text(1), QStringLiteral("10 MB"));
    // Show all refills unticked; select all shown ticks every row shown.
    dlg.setShowAll(true);
    QCOMPARE(dlg.rowCount(), 1500);
    QVERIFY(dlg.tickedRows().empty());
    QVERIFY(!dlg.okButton()->isEnabled());
    dlg.setSelectAllShown(true);
    QCOMPARE(dlg.tickedRows().size(), size_t{1500});
    QCOMPARE(dlg.totalMegabytes(), uint64_t{15000});
    QVERIFY(!dlg.sizeOver());  // no size limit for a delete
    dlg.setShowAll(false);
    QCOMPARE(dlg.tickedRows().size(), size_t{5});
    QVERIFY(dlg.confirm());
    QCOMPARE(dlg.result().size(), size_t{5});

    CFileSelectDlg big(CFileSelectDlg::kDelete);
    big.setCurrentList(records(1501));
    QCOMPARE(shownTexts(), QStringList{text(TXT_MSG_OVER_1500)});
    QCOMPARE(big.rowCount(), 1500);
}

void BrowserDialogsTest::fileListColoursFollowKindTriggerAndPlayingRow()
{
    RecordList list{record(QStringLiteral("A___"), 1), record(QStringLiteral("AG__"), 2),
                    record(QStringLiteral("PG__"), 3), record(QStringLiteral("AM__"), 4)};
    list[3].trigger = 1;
    CFileListCtrl ctrl;
    ctrl.resize(400, 200);
    ctrl.setRecords(list, KindFilter{});
    QCOMPARE(ctrl.rowCount(), 4);
    QCOMPARE(ctrl.rowBackground(0), CFileListCtrl::kRow);
    QCOMPARE(ctrl.rowBackground(1), CFileListCtrl::kEventRow);
    QCOMPARE(ctrl.rowBackground(2), CFileListCtrl::kEventRow);
    QCOMPARE(ctrl.rowText(3), CFileListCtrl::kTriggerText);
    QCOMPARE(ctrl.rowText(0), QColor(Qt::black));
    QSignalSpy chosen(&ctrl, &CFileListCtrl::rowChosen);
    ctrl.selectRow(1);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(ctrl.playingRow(), 1);
    QCOMPARE(ctrl.rowBackground(1), CFileListCtrl::kPlayingEvent);
    ctrl.selectRow(0);
    QCOMPARE(ctrl.rowBackground(0), CFileListCtrl::kPlaying);
    QCOMPARE(ctrl.rowBackground(1), CFileListCtrl::kEventRow);
    QCOMPARE(chosen.count(), 2);
    // Drawn: the playing row grey, an event row pale yellow, the trigger text orange.
    ctrl.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ctrl));
    const QImage shot = ctrl.viewport()->grab().toImage();
    auto at = [&](int row) {
        const QRect r = ctrl.visualItemRect(ctrl.topLevelItem(row));
        return shot.pixelColor(QPoint(r.left() + ctrl.columnWidth(0) - 4, r.center().y())
                               * shot.devicePixelRatio());
    };
    QCOMPARE(at(0), CFileListCtrl::kPlaying);
    QCOMPARE(at(1), CFileListCtrl::kEventRow);
    QCOMPARE(at(3), CFileListCtrl::kRow);
    // Enter reopens the selected row; the same row chosen by selection does not.
    QTest::keyClick(ctrl.viewport(), Qt::Key_Return);
    QTest::keyClick(&ctrl, Qt::Key_Return);
    QVERIFY(chosen.count() >= 3);
}

void BrowserDialogsTest::kindButtonsFilterCountAndDoNotReopen()
{
    const QString card = test::smallCard(0);
    QVERIFY(!card.isEmpty());
    Catalogue catalogue;
    catalogue.OpenSource(card, SourceMode::Drive);
    catalogue.SelectDefaultItem();
    CFilerContainerDlg browser(catalogue);
    browser.resize(Scaled(460), Scaled(560));
    browser.reload();
    const int all = browser.rowCount();
    QVERIFY(all > 0);
    QCOMPARE(browser.countText(), QStringLiteral("%1個").arg(all));
    QSignalSpy chosen(&browser, &CFilerContainerDlg::recordingChosen);
    browser.setCurrentRow(0);
    QCOMPARE(chosen.count(), 1);
    // Turning a kind off refills the list with the others and selects row 0, which is the
    // recording already open when it is still listed first: not reopened.
    const RecordingRecord first = *browser.currentRecord();
    const int firstKind = static_cast<int>(KindOf(first.path));
    const int otherKind = firstKind == 1 ? 0 : 1;
    browser.setKindFlag(otherKind, false);
    QCOMPARE(browser.currentRecord()->path, first.path);
    QCOMPARE(chosen.count(), 1);
    for (const RecordingRecord& r : browser.listCtrl()->shownRecords())
        QVERIFY(static_cast<int>(KindOf(r.path)) != otherKind);
    QVERIFY(browser.rowCount() < all);
    // All five off: an empty list counting 0; back on: everything.
    QSignalSpy changed(&browser, &CFilerContainerDlg::kindFilterChanged);
    for (int i = 0; i < CFilerContainerDlg::kKindCount; ++i)
        browser.setKindFlag(i, false);
    QCOMPARE(browser.rowCount(), 0);
    QCOMPARE(browser.countText(), QStringLiteral("0個"));
    QCOMPARE(changed.last().at(0).toBool(), true);
    for (int i = 0; i < CFilerContainerDlg::kKindCount; ++i)
        browser.setKindFlag(i, true);
    QCOMPARE(browser.rowCount(), all);
    // Both layouts keep the controls inside the panel, the tree beside or above the list.
    browser.setLayoutMode(0);
    QVERIFY(browser.treeCtrl()->geometry().right() < browser.listCtrl()->geometry().left());
    browser.setLayoutMode(1);
    QVERIFY(browser.treeCtrl()->geometry().bottom() < browser.listCtrl()->geometry().top());
    for (int i = 0; i < CFilerContainerDlg::kKindCount; ++i)
        QVERIFY(browser.rect().contains(browser.kindButton(i)->geometry()));
    QVERIFY(browser.pathField()->isHidden());
    browser.setBrowserEnabled(false);
    QVERIFY(!browser.treeCtrl()->isEnabled() && !browser.listCtrl()->isEnabled()
            && !browser.kindButton(2)->isEnabled());
}

// The panel and the dialogs as drawn (saved as pictures when RAVIR_SHOT_DIR is set): the panel's
// background and frame, the tree's selection colour and kind marks, the dialogs' lists.
void BrowserDialogsTest::panelAndDialogsAsDrawn()
{
    const QString shots = qEnvironmentVariable("RAVIR_SHOT_DIR");
    const QString card = test::smallCard(0);
    QVERIFY(!card.isEmpty());
    Catalogue catalogue;
    catalogue.OpenSource(card, SourceMode::Drive);
    catalogue.SelectDefaultItem();
    for (int layout : {0, 1}) {
        CFilerContainerDlg browser(catalogue);
        browser.setLayoutMode(layout);
        browser.resize(layout == 0 ? Scaled(560) : Scaled(330), layout == 0 ? Scaled(330) : Scaled(640));
        browser.reload();
        browser.setCurrentRow(1);
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        const QImage image = browser.grab().toImage();
        if (!shots.isEmpty())
            image.save(QDir(shots).filePath(QStringLiteral("browser_layout%1.png").arg(layout)));
        const qreal dpr = image.devicePixelRatio();
        QCOMPARE(image.pixelColor(QPoint(2, 2) * dpr), CFilerContainerDlg::kBackground);
        QCOMPARE(image.pixelColor(QPoint(0, 0)), CFilerContainerDlg::kFrame);
        // The selected tree item on the selection colour; a kind mark's orange grid beside a
        // group item.
        const QImage tree = browser.treeCtrl()->viewport()->grab().toImage();
        QTreeWidgetItem* current = browser.treeCtrl()->currentItem();
        QVERIFY(current);
        const QRect sel = browser.treeCtrl()->visualItemRect(current);
        QCOMPARE(tree.pixelColor(QPoint(sel.right() - 2, sel.center().y()) * dpr),
                 CFolderTreeCtrl::kSelectedBackground);
        bool orange = false;
        for (int y = 0; y < tree.height() && !orange; ++y)
            for (int x = 0; x < tree.width() && !orange; ++x)
                orange = tree.pixelColor(x, y) == QColor(0xF5, 0x9B, 0x2B);
        QVERIFY2(orange, "no kind mark drawn");
    }

    CFileSelectDlg select(CFileSelectDlg::kJoin);
    RecordList list = catalogue.CollectAllRecordings();
    list[1].joined = 1;
    select.setCurrentList(list);
    select.setTicked(2, true);
    select.setTicked(4, true);
    select.show();
    QVERIFY(QTest::qWaitForWindowExposed(&select));
    const QImage dialog = select.grab().toImage();
    if (!shots.isEmpty())
        dialog.save(QDir(shots).filePath(QStringLiteral("select_join.png")));
    QCOMPARE(select.tickedRows(), (std::vector<int>{2, 3, 4}));
    QCOMPARE(dialog.size(), select.size() * dialog.devicePixelRatio());

    CSourceOpenDlg source(RemovableDrives{{QStringLiteral("/media/card")}, 0});
    source.show();
    QVERIFY(QTest::qWaitForWindowExposed(&source));
    if (!shots.isEmpty())
        source.grab().save(QDir(shots).filePath(QStringLiteral("source_dialog.png")));
    QVERIFY(source.okButton()->isEnabled());
}

void BrowserDialogsTest::hoverPreviewFollowsTheThumbnailSwitch()
{
    // The popup rule: right edge on the list's left edge, centred on the row, never below the list.
    const QRect list(500, 100, 300, 400);
    QCOMPARE(CFileListCtrl::PreviewGeometry(list, QRect(500, 200, 300, 20), 1.0),
             QRect(280, 209 - 61, 220, 123));  // QRect centre of rows 200..219
    QCOMPARE(CFileListCtrl::PreviewGeometry(list, QRect(500, 480, 300, 20), 2.0),
             QRect(60, 500 - 247, 440, 247));

    const QString card = test::smallCard(0);
    Catalogue catalogue;
    catalogue.OpenSource(card, SourceMode::Drive);
    catalogue.SelectDefaultItem();
    CFilerContainerDlg browser(catalogue);
    browser.resize(Scaled(560), Scaled(330));
    browser.reload();
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    CFileListCtrl* listCtrl = browser.listCtrl();
    QSignalSpy requested(listCtrl, &CFileListCtrl::previewRequested);
    QSignalSpy stopped(listCtrl, &CFileListCtrl::previewStopped);
    auto hover = [&](int row) {
        const QRect r = listCtrl->visualItemRect(listCtrl->topLevelItem(row));
        QMouseEvent move(QEvent::MouseMove, QPointF(r.center()),
                         QPointF(listCtrl->viewport()->mapToGlobal(r.center())), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(listCtrl->viewport(), &move);
        QTest::qWait(CFileListCtrl::kHoverMs + 150);
    };
    // Off: resting on a row shows nothing.
    hover(1);
    QCOMPARE(requested.count(), 0);
    QVERIFY(!browser.previewSession());
    // On: the row's preview, once per row; the popup plays that recording silently.
    browser.setThumbnailMode(true);
    hover(1);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.last().at(0).toInt(), 1);
    hover(1);
    QCOMPARE(requested.count(), 1);
    const QRect geometry = requested.last().at(2).toRect();
    QCOMPARE(geometry.right() + 1, listCtrl->mapToGlobal(QPoint(0, 0)).x());
    QVERIFY(browser.previewSession());
    QVERIFY(browser.previewSession()->flags() & CMFSession::kOpen);
    QVERIFY(browser.previewSession()->window()->isVisible());
    QCOMPARE(browser.previewSession()->window()->geometry(), geometry);
    hover(2);
    QCOMPARE(requested.count(), 2);
    // Leaving the list stops and hides it.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(listCtrl, &leave);
    QVERIFY(stopped.count() >= 1);
    QVERIFY(!browser.previewSession()->window()->isVisible());
    QVERIFY(!(browser.previewSession()->flags() & CMFSession::kOpen));
    browser.setThumbnailMode(false);
    hover(0);
    QCOMPARE(requested.count(), 2);
}

void BrowserDialogsTest::thumbnailsAreMadeOnTheWorkerAndDrawn()
{
    const QString card = test::smallCard(0);
    Catalogue catalogue;
    catalogue.OpenSource(card, SourceMode::Drive);
    catalogue.SelectDefaultItem();
    QVERIFY(catalogue.currentRecords().size() >= 2);
    const QString movie = catalogue.currentRecords()[0].path;

    // A first frame: the picture's size, not one flat colour.
    const QImage first = ThumbnailCache::DecodeFirstFrame(movie, QSize(64, 36));
    QCOMPARE(first.size(), QSize(64, 36));
    QSet<QRgb> colours;
    for (int y = 0; y < first.height(); y += 3)
        for (int x = 0; x < first.width(); x += 3)
            colours.insert(first.pixel(x, y));
    QVERIFY(colours.size() > 3);
    QTemporaryDir dir;
    const QString junk = dir.filePath(QStringLiteral("A___-250314-123000-000142M.MOV"));
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    QVERIFY(ThumbnailCache::DecodeFirstFrame(junk, QSize(64, 36)).isNull());

    // The cache answers at once, makes the picture on its worker and keeps it.
    ThumbnailCache cache(QSize(64, 36));
    QSignalSpy ready(&cache, &ThumbnailCache::ready);
    QVERIFY(cache.picture(movie).isNull());
    QVERIFY(cache.picture(junk).isNull());
    QTRY_COMPARE(ready.count(), 2);
    QVERIFY(!cache.picture(movie).isNull());
    QVERIFY(cache.failed(junk));
    QCOMPARE(cache.cachedCount(), 2);
    QCOMPARE(ready.count(), 2);  // asked again: from memory

    // The list with thumbnails: taller rows, the picture drawn once made.
    CFilerContainerDlg browser(catalogue);
    browser.resize(Scaled(560), Scaled(330));
    browser.reload();
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    CFileListCtrl* list = browser.listCtrl();
    const int plainHeight = list->visualItemRect(list->topLevelItem(0)).height();
    browser.setThumbnailMode(true);
    QVERIFY(list->thumbnailsShown() && list->previewEnabled());
    list->viewport()->grab();  // asks for the pictures of the rows in view
    QSignalSpy listReady(list->thumbnailCache(), &ThumbnailCache::ready);
    QTRY_VERIFY(list->thumbnailCache()->cachedCount() >= 2);
    QTest::qWait(50);
    const QRect row0 = list->visualItemRect(list->topLevelItem(0));
    QVERIFY(row0.height() > plainHeight);
    const QImage shot = list->viewport()->grab().toImage();
    const QSize ts = list->thumbnailSize();
    QSet<QRgb> drawn;
    for (int x = row0.left() + Scaled(4); x < row0.left() + Scaled(4) + ts.width(); x += 2)
        drawn.insert(shot.pixel(QPoint(x, row0.center().y()) * shot.devicePixelRatio()));
    QVERIFY(drawn.size() > 3);
    const QString shots = qEnvironmentVariable("RAVIR_SHOT_DIR");
    if (!shots.isEmpty())
        browser.grab().save(QDir(shots).filePath(QStringLiteral("browser_thumbnails.png")));
}

QTEST_MAIN(BrowserDialogsTest)
#include "browser_dialogs_qtest.moc"
