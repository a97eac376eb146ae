// The file browser of the main window on a real (virtual) display, as a user drives it with the
// mouse: the sample card opens, folders and groups picked in the tree list their recordings,
// the kind buttons filter the list, a clicked row opens in the players, and a folder or movie
// dropped on the window becomes the source. The file names are checked against the card's own
// files, not against the browser's code.
#include "gui_app.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "catalogue/recording_name.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_button.h"
#include "playback/player.h"
#include "sample_data.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

QStringList TopLevelTexts(const QTreeWidget* tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    return out;
}

QStringList ListedNames(const CFileListCtrl* list)
{
    QStringList out;
    for (int r = 0; r < list->rowCount(); ++r)
        out << QFileInfo(list->recordAt(r)->path).fileName();
    return out;
}

// The main-camera recording names in a folder of the card, in file-number order.
QStringList RecordingsIn(const QString& folder)
{
    QStringList names;
    for (const QString& n : QDir(folder).entryList(QDir::Files, QDir::Name))
        if (IsMainRecordingName(n))
            names << n;
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.mid(19, 6) < b.mid(19, 6); });
    return names;
}

void ClickItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    tree->scrollToItem(item);
    const QRect r = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
}

void Drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

}  // namespace

TEST(MainWindowBrowser, TreeKindButtonsAndRowsDriveTheListAndThePlayers)
{
    guiApp();
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    qputenv("RAVIR_CONFIG_DIR", config.path().toLocal8Bit());
    // The small card (`ravir make-sample-card DIR --small --seconds 3`): its usual 1 s movies
    // are refused by the player as too short to play.
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 3.0;
    QString error;
    const QString card = test::sampleCard("mainwindow-browser", o, &error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    CdedoradeDlg::Options options;
    options.source = card;
    CdedoradeDlg w(options);
    w.move(0, 0);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady(); }, 20000))
        << w.browser()->rowCount() << " rows, open: " << w.session()->currentPath().toStdString();
    CFilerContainerDlg* browser = w.browser();
    CFolderTreeCtrl* tree = browser->treeCtrl();
    CFileListCtrl* list = browser->listCtrl();

    // The card's four folders, data folders included, in name order; the first group of Normal
    // is selected and its first row open.
    EXPECT_EQ(TopLevelTexts(tree), QStringList({"Normal", "Parking", "_NData", "_PData"}));
    QTreeWidgetItem* normal = tree->topLevelItem(0);
    ASSERT_GE(normal->childCount(), 2);
    EXPECT_EQ(tree->currentItem(), normal->child(0));
    const QStringList normalFiles = RecordingsIn(card + "/Normal");
    ASSERT_GT(list->rowCount(), 0);
    EXPECT_EQ(ListedNames(list), normalFiles.mid(0, list->rowCount()));
    EXPECT_EQ(w.session()->currentPath(), list->recordAt(0)->path);

    // The second group: the files that follow the first group's, and its first row opens.
    const int firstGroupRows = list->rowCount();
    ClickItem(tree, normal->child(1));
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady() && w.session()->currentPath() == list->recordAt(0)->path; }, 20000));
    EXPECT_EQ(tree->currentItem()->text(0), normal->child(1)->text(0));
    const QStringList second = ListedNames(list);
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(second, normalFiles.mid(firstGroupRows, second.size()));
    EXPECT_EQ(browser->countText(), QString(text(TXT_COUNT_FMT)).replace("%d", QString::number(second.size())));

    // A data folder lists no recordings: the recording that was open closes and the panes are
    // cleared.
    ClickItem(tree, tree->topLevelItem(2));
    ASSERT_TRUE(waitUntil([&] { return tree->currentItem() == tree->topLevelItem(2); }, 3000));
    QTest::qWait(200);
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(browser->countText(), QString(text(TXT_COUNT_FMT)).replace("%d", "0"));
    EXPECT_TRUE(w.session()->currentPath().isEmpty());
    EXPECT_FALSE(w.session()->ready());

    // The parking folder's first group: parking and parking-impact recordings; the kind buttons
    // take them out of the list and bring them back.
    QTreeWidgetItem* parking = tree->topLevelItem(1);
    ClickItem(tree, parking);
    ASSERT_TRUE(waitUntil([&] { return parking->childCount() > 0; }, 5000));
    ClickItem(tree, parking->child(0));
    ASSERT_TRUE(waitUntil([&] { return list->rowCount() > 0 && w.session()->ready() &&
                                       w.session()->currentPath() == list->recordAt(0)->path; }, 20000));
    const QStringList parked = ListedNames(list);
    const auto countStarting = [](const QStringList& names, const QString& prefix) {
        return static_cast<int>(std::count_if(names.begin(), names.end(),
                                              [&](const QString& n) { return n.startsWith(prefix); }));
    };
    const int impacts = countStarting(parked, "PG");
    ASSERT_GT(impacts, 0) << "the group holds no parking impact";
    ASSERT_LT(impacts, parked.size());
    QTest::mouseClick(browser->kindButton(4), Qt::LeftButton, {}, browser->kindButton(4)->boxRect().center());
    EXPECT_FALSE(browser->kindButton(4)->isChecked());
    EXPECT_EQ(list->rowCount(), parked.size() - impacts);
    EXPECT_EQ(countStarting(ListedNames(list), "PG"), 0);
    QTest::mouseClick(browser->kindButton(3), Qt::LeftButton, {}, browser->kindButton(3)->boxRect().center());
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_TRUE(w.session()->currentPath().isEmpty());  // the emptied list closed the recording
    QTest::mouseClick(browser->kindButton(3), Qt::LeftButton, {}, browser->kindButton(3)->boxRect().center());
    // The list's first row opens again; the browser waits for the open.
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady(); }, 20000));
    QTest::mouseClick(browser->kindButton(4), Qt::LeftButton, {}, browser->kindButton(4)->boxRect().center());
    EXPECT_EQ(ListedNames(list), parked);

    // A row clicked with the mouse opens in the players and becomes the playing row.
    const int row = std::min(2, list->rowCount() - 1);
    ASSERT_GT(row, 0);
    const QString wanted = list->recordAt(row)->path;
    list->scrollToItem(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady() && w.session()->currentPath() == wanted; }, 20000));
    EXPECT_EQ(list->playingRow(), row);

    // Full names fit their column at this scale.
    for (int r = 0; r < list->rowCount(); ++r)
        EXPECT_LE(list->fontMetrics().horizontalAdvance(list->topLevelItem(r)->text(0)) + 8,
                  list->columnWidth(0)) << list->topLevelItem(r)->text(0).toStdString();
    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
        browser->grab().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + "/browser_parking.png");

    // Drops: a folder of the card opens as a folder source; a movie as a single-file source; a
    // file without a recording's name is refused with the open-failed message and changes
    // nothing; a remote URL is not taken.
    Drop(&w, {QUrl::fromLocalFile(card + "/Parking")});
    ASSERT_TRUE(waitUntil([&] { return w.catalogue().mode() == SourceMode::Folder; }, 5000));
    EXPECT_EQ(TopLevelTexts(tree), QStringList({"Parking"}));
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady() && list->rowCount() > 0 &&
                                       w.session()->currentPath() == list->recordAt(0)->path; }, 20000));
    const QString movie = card + "/Normal/" + normalFiles.at(1);
    Drop(list->viewport(), {QUrl(QStringLiteral("https://example.invalid/x.MOV")), QUrl::fromLocalFile(movie)});
    ASSERT_TRUE(waitUntil([&] { return w.catalogue().mode() == SourceMode::File; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return w.session()->ready() && w.session()->telemetryReady() && w.session()->currentPath() == movie; }, 20000));
    EXPECT_EQ(list->rowCount(), 1);
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    const QString bad = other.path() + "/holiday.mov";
    ASSERT_TRUE(QFile::copy(movie, bad));
    Drop(&w, {QUrl::fromLocalFile(bad)});
    QList<CMsgBox::Shown> shown;
    ASSERT_TRUE(waitUntil([&] { shown += CMsgBox::takeShown(); return !shown.isEmpty(); }, 3000));
    EXPECT_EQ(shown.first().text, text(TXT_MSG_OPEN_FAILED));
    EXPECT_EQ(shown.first().caption, CMsgBox::kErrorCaption);
    EXPECT_EQ(w.catalogue().mode(), SourceMode::File);
    EXPECT_EQ(w.session()->currentPath(), movie);
    Drop(&w, {QUrl(QStringLiteral("https://example.invalid/card/"))});
    QTest::qWait(100);
    EXPECT_TRUE(CMsgBox::takeShown().isEmpty());
    EXPECT_EQ(w.session()->currentPath(), movie);
    CMsgBox::setAutoAnswer(0);
    w.Shutdown();
    qunsetenv("RAVIR_CONFIG_DIR");
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
