// Removable drives from a described machine, the start-up choice, the source watcher and the
// `ravir scan` / `ravir list` commands.
#include "card_builder.h"
#include "catalogue/catalogue.h"
#include "catalogue/mount_table.h"
#include "catalogue/source_select.h"
#include "catalogue/source_watcher.h"
#include "shell/ini_file.h"
#include "shell/safe_write.h"
#include "test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace ravir {
namespace {

using test::CardBuilder;
using test::recName;
using namespace std::chrono_literals;

// A machine: mountinfo lines and the sysfs devices behind them.
class FakeMachine {
public:
    FakeMachine()
    {
        card_.folder("proc/self");
        card_.folder("sys/dev/block");
        card_.folder("sys/block");
    }
    QString proc() const { return card_.path("proc"); }
    QString sys() const { return card_.path("sys"); }

    // A disk under devicePath (relative to sys/devices) with its removable flag and partitions.
    void disk(const QString& devicePath, const QString& name, int major, int minor,
              bool removable, int partitions = 1)
    {
        const QString dir = "sys/devices/" + devicePath + "/block/" + name;
        card_.file(dir + "/removable", removable ? "1\n" : "0\n");
        link("../devices/" + devicePath + "/block/" + name, "sys/block/" + name);
        link("../../devices/" + devicePath + "/block/" + name,
             QString("sys/dev/block/%1:%2").arg(major).arg(minor));
        for (int p = 1; p <= partitions; ++p) {
            const QString part = name + (name.startsWith("mmcblk") ? "p" : "") + QString::number(p);
            card_.file(dir + "/" + part + "/partition", QByteArray::number(p) + "\n");
            link("../../devices/" + devicePath + "/block/" + name + "/" + part,
                 QString("sys/dev/block/%1:%2").arg(major).arg(minor + p));
        }
    }
    void mount(const QString& line) { mountinfo_ += line.toUtf8() + "\n"; }
    void write() const { card_.file("proc/self/mountinfo", mountinfo_); }

private:
    void link(const QString& target, const QString& relative) const
    {
        ASSERT_TRUE(QFile::link(target, card_.path(relative))) << qPrintable(relative);
    }
    CardBuilder card_;
    QByteArray mountinfo_;
};

TEST(RemovableDrives, MountsOnRemovableMmcAndUsbDisksInMountOrder)
{
    FakeMachine m;
    m.disk("pci0000:00/ata1/host0/target0:0:0/0:0:0:0", "sda", 8, 0, false, 2);
    m.disk("pci0000:00/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", "sdb", 8, 16, true);
    m.disk("platform/soc/mmc0/mmc0:0001", "mmcblk0", 179, 0, false);
    m.disk("pci0000:00/usb2/2-1/2-1:1.0/host7/target7:0:0/7:0:0:0", "sdc", 8, 32, false);
    m.mount("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw");
    m.mount("23 22 8:2 / /home rw,relatime shared:2 - ext4 /dev/sda2 rw");
    m.mount("24 22 0:5 / /proc rw shared:3 - proc proc rw");
    m.mount("30 22 8:17 / /media/u/CARD rw,nosuid shared:10 - vfat /dev/sdb1 rw");
    m.mount("31 22 179:1 / /media/u/SD\\040CARD rw - exfat /dev/mmcblk0p1 rw");
    m.mount("32 22 8:17 /DCIM /mnt/bind rw - vfat /dev/sdb1 rw");  // bind mount of a sub-folder
    m.mount("33 22 8:33 / /media/u/STICK rw - ext4 /dev/sdc1 rw");
    m.mount("34 22 8:99 / /media/u/GONE rw - vfat /dev/sdz1 rw");   // no sysfs entry
    m.write();
    const RemovableDrives drives = ListRemovableDrives(m.proc(), m.sys());
    EXPECT_EQ(drives.roots, QStringList({"/media/u/CARD", "/media/u/SD CARD", "/media/u/STICK"}));
    EXPECT_EQ(drives.defaultIndex, 2);

    FakeMachine empty;
    const RemovableDrives none = ListRemovableDrives(empty.proc(), empty.sys());
    EXPECT_TRUE(none.roots.isEmpty());
    EXPECT_EQ(none.defaultIndex, -1);
}

class StartupSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = startupFolder();
        setStartupFolder(config_.root());
    }
    void TearDown() override { setStartupFolder(previous_); }
    CardBuilder config_;
    QString previous_;
};

TEST_F(StartupSource, CardFirstThenFolderThenFile)
{
    CardBuilder card;
    card.recording("Normal", "_NData", recName("A___", 1));
    card.recording("Normal", "_NData", recName("A___", 2));
    card.movie("copy/" + recName("AG__", 7));
    RemovableDrives drives;
    // The newest reader (tried first) holds no card; the other one does.
    drives.roots = {card.root() + "/", card.path("no-card")};
    drives.defaultIndex = 1;
    ASSERT_TRUE(WriteValue("SOURCE", "FOLDER", card.path("copy")));

    Catalogue c;
    ASSERT_TRUE(ChooseStartupSource(c, drives));
    EXPECT_EQ(c.mode(), SourceMode::Drive);
    EXPECT_EQ(c.sourcePath(), card.root());  // the trailing separator is dropped
    EXPECT_EQ(FolderTree::namesOf(c.tree().selected()), QStringList({"Normal", "250101_0001"}));
    EXPECT_EQ(c.currentRecords().size(), 2u);

    // No card: the remembered folder.
    ASSERT_TRUE(ChooseStartupSource(c, RemovableDrives{}));
    EXPECT_EQ(c.mode(), SourceMode::Folder);
    EXPECT_EQ(c.sourcePath(), card.path("copy"));

    // A vanished folder: the remembered file, but only with a recording name.
    ASSERT_TRUE(WriteValue("SOURCE", "FOLDER", card.path("gone")));
    card.movie("copy/" + recName("AG__", 8, "M", "250101", "120000", "mov"));
    ASSERT_TRUE(WriteValue("SOURCE", "FILE", card.path("copy/" + recName("AG__", 8, "M", "250101",
                                                                       "120000", "mov"))));
    EXPECT_FALSE(ChooseStartupSource(c, RemovableDrives{}));
    EXPECT_EQ(c.tree().count(), 0);
    ASSERT_TRUE(WriteValue("SOURCE", "FILE", card.path("copy/" + recName("AG__", 7))));
    ASSERT_TRUE(ChooseStartupSource(c, RemovableDrives{}));
    EXPECT_EQ(c.mode(), SourceMode::File);
    EXPECT_EQ(c.currentRecords().size(), 1u);
}

// Waits until pred holds or the time is up.
template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 3000ms)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return pred();
}

TEST(SourceWatcher, ReportsAVanishedSourceOnce)
{
    CardBuilder card;
    card.folder("a");
    card.folder("b");
    std::atomic<int> reports{0};
    std::atomic<bool> lost{false};
    SourceWatcher watcher([&reports] { ++reports; }, &lost);
    watcher.start();
    watcher.watch(card.path("a"));
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(reports.load(), 0);

    ASSERT_TRUE(QDir(card.path("a")).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return reports.load() == 1; }));
    EXPECT_TRUE(lost.load());
    EXPECT_TRUE(watcher.watchedPath().isEmpty());
    // The path comes back and goes again: no second report without a new source.
    card.folder("a");
    ASSERT_TRUE(QDir(card.path("a")).removeRecursively());
    std::this_thread::sleep_for(350ms);
    EXPECT_EQ(reports.load(), 1);

    // A new source re-arms the watcher.
    lost = false;
    watcher.watch(card.path("b"));
    ASSERT_TRUE(QDir(card.path("b")).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return reports.load() == 2; }));
    EXPECT_TRUE(lost.load());
}

// Hostile mount tables: only whole lines count, escapes are undone, nothing breaks.
TEST(MountTable, WholeLinesOnlyWithTheirEscapesUndone)
{
    const QByteArray table =
        "36 35 8:17 / /media/u/SD\\040CARD\\011x rw,nosuid shared:1 - vfat /dev/sdb1 rw\n"
        "36 35 8:17 / /mnt/back\\134slash,bad\\04,over\\777\\ rw a:1 b:2 - vfat /dev/sdb1 rw\n"
        "36 35 8:17 / /mnt/cut rw - vfat /dev/sdb1\n"  // cut before the super options
        "36 35 8:17 / /mnt/nosep rw a b c d e\n"
        "x 35 8:17 / /mnt/x rw - vfat /dev/sdb1 rw\n"
        "36 35 8-17 / /mnt/x rw - vfat /dev/sdb1 rw\n"
        "36 35 :17 / /mnt/x rw - vfat /dev/sdb1 rw\n"
        "36 35 8:17 /  /mnt/x rw - vfat /dev/sdb1 rw\n"  // two spaces
        "\\\n- - - - - - - - - -\n\n"
        "36 35 8:17 / /last rw - vfat /dev/sdb1 rw";  // no newline at the end
    QStringList points;
    for (const MountEntry& m : ParseMountInfo(table))
        points << m.mountPoint;
    EXPECT_EQ(points, QStringList({"/media/u/SD CARD\tx", "/mnt/back\\slash,bad\\04,over\\777\\",
                                   "/last"}));
    EXPECT_TRUE(ParseMountInfo(table.left(40)).isEmpty());
    EXPECT_TRUE(ParseMountInfo(QByteArray(1 << 16, '\\')).isEmpty());
    EXPECT_FALSE(ReadMountPoints(QStringLiteral("/no/such/mountinfo"), &points));
}

// The watcher on a source whose mount goes while its folder stays: the mount table (a file the
// test rewrites, whole) stops listing it, or the path lands on another device.
TEST(SourceWatcher, ReportsAMountThatLeftTheTableOnce)
{
    CardBuilder dir;
    const QString table = dir.path("mountinfo");
    const auto writeTable = [&](const QByteArray& bytes) {
        ASSERT_FALSE(SafeWriteFile(table, bytes).failed());
    };
    const QByteArray listed = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n24 22 0:5 / /proc rw - proc proc rw\n";
    writeTable(listed);
    // /proc stands for the card: a folder that stays whatever the table says.
    ASSERT_EQ(MountPointOf(QStringLiteral("/proc")), QStringLiteral("/proc"));
    std::atomic<int> reports{0};
    std::atomic<bool> lost{false};
    SourceWatcher watcher([&reports] { ++reports; }, &lost, 20ms, table);
    watcher.start();
    watcher.watch(QStringLiteral("/proc"));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.load(), 0);
    writeTable(listed.left(listed.size() - 10));  // cut inside the /proc line
    ASSERT_TRUE(waitFor([&] { return reports.load() == 1; }));
    EXPECT_TRUE(lost.load());
    EXPECT_TRUE(watcher.watchedPath().isEmpty());
    writeTable(listed);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.load(), 1);

    // The root is never gone, nor is a folder whose mount was never listed while it stays; a
    // table that cannot be read says nothing.
    for (const QString& path : {QStringLiteral("/"), dir.root()}) {
        watcher.watch(path);
        writeTable(QByteArray());
        std::this_thread::sleep_for(200ms);
        QFile::remove(table);
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(reports.load(), 1) << path.toStdString();
        writeTable(listed);
    }
    dir.folder("source");
    watcher.watch(dir.path("source"));
    ASSERT_TRUE(QDir(dir.path("source")).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return reports.load() == 2; }));
}

TEST(SourceWatcher, ReportsAPathThatLandedOnAnotherDevice)
{
    CardBuilder dir;
    dir.folder("a");
    dir.folder("b");
    const QString link = dir.path("card");
    // The link is replaced by a rename: the name never goes away.
    const auto pointTo = [&](const QString& target) {
        QFile::remove(link + ".new");
        return QFile::link(target, link + ".new") &&
               ::rename(QFile::encodeName(link + ".new").constData(), QFile::encodeName(link).constData()) == 0;
    };
    ASSERT_TRUE(pointTo(dir.path("a")));
    std::atomic<int> reports{0};
    SourceWatcher watcher([&reports] { ++reports; }, nullptr, 20ms, dir.path("no-table"));
    watcher.start();
    watcher.watch(link);
    // Another folder of the same device under the same name is still the card.
    ASSERT_TRUE(pointTo(dir.path("b")));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.load(), 0);
    ASSERT_TRUE(pointTo(QStringLiteral("/proc")));
    ASSERT_TRUE(waitFor([&] { return reports.load() == 1; }));
}

TEST(SourceWatcher, StopsWithoutWaitingForTheNextPoll)
{
    SourceWatcher watcher([] {}, nullptr, std::chrono::milliseconds(60000));
    watcher.start();
    EXPECT_TRUE(watcher.running());
    std::this_thread::sleep_for(20ms);
    const auto begin = std::chrono::steady_clock::now();
    watcher.stop();
    // Far below the poll interval: the worker was woken, not waited out.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 30000ms);
    EXPECT_FALSE(watcher.running());
}

TEST(SourceWatcher, CatalogueWatchesTheSourceOfEachMode)
{
    CardBuilder card;
    card.recording("Normal", "_NData", recName("A___", 1));
    SourceWatcher watcher([] {});
    Catalogue c;
    c.setSourceWatcher(&watcher);
    c.OpenSource(card.root(), SourceMode::Drive);
    EXPECT_EQ(watcher.watchedPath(), card.root());
    c.OpenSource(card.path("Normal"), SourceMode::Folder);
    EXPECT_EQ(watcher.watchedPath(), card.root());  // the folder's parent
    c.OpenSource(card.path("Normal/" + recName("A___", 1)), SourceMode::File);
    EXPECT_EQ(watcher.watchedPath(), card.path("Normal/" + recName("A___", 1)));
}

QJsonObject runJson(const QStringList& args)
{
    const test::RunResult r = test::runRavir(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

TEST(CatalogueCommands, ScanAndListPrintTheViewersCatalogue)
{
    CardBuilder card;
    for (int n = 1; n <= 3; ++n)
        card.recording("Video", "_VData", recName(n == 2 ? "AG__" : "A___", n));
    card.recording("Parking", "_PData", recName("P___", 9));
    card.file("_VData/" + recName("A___", 3, "D").replace(".MOV", ".ADA"),
              CardBuilder::telemetryBytes(1));

    const QJsonObject scan = runJson({"scan", card.root(), "--kinds", "10111"});
    EXPECT_EQ(scan["mode"].toString(), "drive");
    EXPECT_EQ(scan["layout"].toInt(), 1);
    const QJsonArray tree = scan["tree"].toArray();
    ASSERT_EQ(tree.size(), 4);
    EXPECT_EQ(tree[0].toObject()["name"].toString(), "Video");
    EXPECT_EQ(tree[0].toObject()["kind_mask"].toInt(), kKindMaskContinuous | kKindMaskImpact);
    EXPECT_EQ(tree[0].toObject()["children"].toArray()[0].toObject()["name"].toString(),
              "250101_0001");
    EXPECT_EQ(scan["selected"].toArray(), QJsonArray({"Video", "250101_0001"}));
    const QJsonArray records = scan["records"].toArray();
    ASSERT_EQ(records.size(), 3);
    const QJsonObject third = records[2].toObject();
    EXPECT_EQ(third["name"].toString(), recName("A___", 3));
    EXPECT_EQ(third["path"].toString(), card.path("Video/" + recName("A___", 3)));
    EXPECT_EQ(third["row"].toInt(), 2);
    EXPECT_EQ(third["kind_letter"].toString(), "A");
    EXPECT_EQ(third["kind"].toInt(), 0);
    EXPECT_EQ(third["kind_mask"].toInt(), 1);
    EXPECT_EQ(third["list_text"].toString(), "A___-120000-000003");
    EXPECT_EQ(third["size"].toDouble(), 300);
    EXPECT_EQ(third["paired_size"].toDouble(), 400);
    EXPECT_GT(third["telemetry_size"].toDouble(), 0);
    EXPECT_EQ(third["trigger"].toInt(), 1);
    EXPECT_EQ(third["joined"].toInt(), 0);
    // The impact recording is filtered out of the shown rows.
    EXPECT_EQ(scan["shown"].toArray().size(), 2);
    EXPECT_EQ(scan["recorder"].toObject()["version"].toString(), "1.5.2");
    EXPECT_EQ(scan["recorder"].toObject()["number"].toString(), "004711");
    EXPECT_EQ(scan["recorder"].toObject()["download_key"].toString(), "");

    const QJsonObject list = runJson({"list", card.root()});
    EXPECT_EQ(list["records"].toArray().size(), 4);

    // Default modes: a folder without layout folders, a file.
    const QJsonObject folder = runJson({"scan", card.path("Video")});
    EXPECT_EQ(folder["mode"].toString(), "folder");
    EXPECT_EQ(folder["tree"].toArray()[0].toObject()["name"].toString(), "Video");
    EXPECT_EQ(folder["selected"].toArray(), QJsonArray({"Video"}));
    const QJsonObject file = runJson({"scan", card.path("Video/" + recName("A___", 1))});
    EXPECT_EQ(file["mode"].toString(), "file");
    EXPECT_EQ(file["records"].toArray().size(), 1);
    EXPECT_EQ(runJson({"list", card.path("Video")})["records"].toArray().size(), 3);

    EXPECT_EQ(test::runRavir({"scan", card.root(), "--kinds", "10"}).exitCode, 2);
    EXPECT_EQ(test::runRavir({"scan", card.root(), "--mode", "file"}).exitCode, 2);
    EXPECT_NE(test::runRavir({"list", card.path("missing")}).exitCode, 0);
}

}  // namespace
}  // namespace ravir
