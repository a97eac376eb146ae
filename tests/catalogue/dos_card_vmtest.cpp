// On real FAT32 and exFAT cards, mounted by the kernel's own drivers: the recorder's hidden
// telemetry files are found, a deleted recording takes its hidden deleted forms and leaves the
// catalogue, the settings file stays hidden after every write, and a card pulled while a task
// reads or changes it ends the task with a failure and leaves nothing half done.
//
// The machine that runs the tests may have neither driver nor allow a loop mount, so on the
// host this program makes the sample card and runs itself again inside a small virtual machine
// (tests/vm/run_on_dos_cards), which mounts an empty FAT32 and an empty exFAT card and names
// them in RAVIR_DOS_CARDS, and hands it the sample card in RAVIR_DOS_CARD_DATA.
#include "catalogue/catalogue.h"
#include "catalogue/folder_listing.h"
#include "catalogue/recording_delete.h"
#include "catalogue/recording_name.h"
#include "container/movie_join.h"
#include "exports/evidence_export.h"
#include "exports/recording_csv.h"
#include "shell/hidden_attribute.h"
#include "shell/ini_file.h"
#include "sample_data.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace ravir {
namespace {

QStringList Cards()
{
    return QString::fromLocal8Bit(qgetenv("RAVIR_DOS_CARDS")).split(u' ', Qt::SkipEmptyParts);
}

QString CardData() { return QString::fromLocal8Bit(qgetenv("RAVIR_DOS_CARD_DATA")); }

// Whether the kernel's driver lets the card's DOS attributes be read, asked of the kernel
// directly: Linux's FAT driver always does, its exFAT driver only from the version that
// took the FAT ioctls.
bool DriverReachesAttributes(const QString& card)
{
    const int fd = ::open(QFile::encodeName(card).constData(), O_RDONLY | O_DIRECTORY);
    uint32_t attributes = 0;
    const bool reached = fd >= 0 && ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0;
    if (fd >= 0)
        ::close(fd);
    return reached;
}

// The card's files as the recorder leaves them: the sample card copied on, the telemetry files
// and the deleted forms with the hidden attribute.
void CopyRecorderCard(const QString& card)
{
    ASSERT_TRUE(test::copyTree(CardData(), card));
    QDirIterator it(card, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString suffix = QFileInfo(path).suffix().toUpper();
        if (suffix == "ADA" || suffix == "TDA" || suffix == "DMY") {
            ASSERT_EQ(SetHiddenAttribute(path), DriverReachesAttributes(card)) << path.toStdString();
        }
    }
}

void EmptyCard(const QString& card)
{
    for (const QFileInfo& entry :
         QDir(card).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry.isDir())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}

// The names of every recording the catalogue lists on a drive source, those with their
// telemetry file marked with a '+'.
std::set<QString> Listed(const QString& source)
{
    Catalogue catalogue;
    catalogue.OpenSource(source, SourceMode::Drive);
    std::set<QString> names;
    for (const auto& record : catalogue.CollectAllRecordings())
        names.insert(QFileInfo(record.path).fileName() + (record.telemetrySize > 0 ? "+" : ""));
    return names;
}

bool WriteText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// Everything written reaches the card and the page cache forgets the card's files, so that a
// task reads them from the card itself.
void SyncAndForget()
{
    ::sync();
    ASSERT_TRUE(WriteText("/proc/sys/vm/drop_caches", "3"));
}

// A card in the machine's reader: its disk can be pulled from under the mount, as a card is
// pulled from a reader (what the page cache holds still reads, nothing else does), and put back.
// The machine gives the FAT card SCSI id 0 and the exFAT card id 1 (run_on_dos_cards).
class CardReader {
public:
    explicit CardReader(const QString& card) : card_(card), exfat_(card.endsWith("/exfat")) {}

    // Pulls the card the first time `now` is true (after writing back what the cache holds,
    // with `written`), so that a task's progress can say when.
    void pullOnce(bool now, bool written = false)
    {
        if (!now || pulled_)
            return;
        pulled_ = true;
        if (written)
            ::sync();
        pull();
    }
    bool pulled() const { return pulled_; }

    void pull()
    {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(card_).constData(), &st), 0);
        const QString remove = QStringLiteral("/sys/dev/block/%1:%2/device/delete")
                                   .arg(major(st.st_dev)).arg(minor(st.st_dev));
        ASSERT_TRUE(WriteText(remove, "1")) << remove.toStdString();
    }

    // The card back in the reader, mounted where it was.
    void putBack()
    {
        pulled_ = false;
        ::umount2(QFile::encodeName(card_).constData(), MNT_DETACH);
        for (const QString& host : QDir("/sys/class/scsi_host").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            WriteText("/sys/class/scsi_host/" + host + "/scan", "- - -");
        const QString devices = QStringLiteral("/sys/bus/scsi/devices/0:0:%1:0/block").arg(exfat_ ? 1 : 0);
        QString disk;
        for (int i = 0; i < 100 && disk.isEmpty(); ++i) {
            const QStringList found = QDir(devices).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            if (!found.isEmpty() && QFileInfo::exists("/dev/" + found.first()))
                disk = "/dev/" + found.first();
            else
                QThread::msleep(50);
        }
        ASSERT_FALSE(disk.isEmpty()) << "the card did not come back";
        ASSERT_EQ(::mount(QFile::encodeName(disk).constData(), QFile::encodeName(card_).constData(),
                          exfat_ ? "exfat" : "vfat", 0, exfat_ ? "" : "utf8,shortname=mixed"),
                  0)
            << std::strerror(errno);
    }

    // The recorder's card on it again, all of it on the card and none of it in the cache.
    void freshCard()
    {
        EmptyCard(card_);
        CopyRecorderCard(card_);
        SyncAndForget();
    }

private:
    QString card_;
    bool exfat_;
    bool pulled_ = false;
};

// Consecutive recordings of the card's Normal folder with their telemetry files, oldest first.
std::vector<JoinInput> NormalRecordings(const QString& card, int count)
{
    QStringList movies = QDir(card + "/Normal").entryList({"A___-*M.MOV"}, QDir::Files, QDir::Name);
    std::vector<JoinInput> inputs;
    for (const QString& name : movies) {
        const QString stem = name.chopped(5);
        const QString telemetry = card + "/_NData/" + stem + "D.ADA";
        if (QFileInfo::exists(telemetry) && static_cast<int>(inputs.size()) < count)
            inputs.push_back({card + "/Normal/" + name, telemetry});
    }
    return inputs;
}

class DosCards : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(Cards().size(), 2) << "no cards: run through tests/vm/run_on_dos_cards";
        for (const QString& card : Cards()) {
            // A mount of its own, not a folder of the machine's root.
            struct stat self {}, parent {};
            ASSERT_EQ(::stat(QFile::encodeName(card).constData(), &self), 0);
            ASSERT_EQ(::stat(QFile::encodeName(card + "/..").constData(), &parent), 0);
            ASSERT_NE(self.st_dev, parent.st_dev) << card.toStdString() << " is not mounted";
            EmptyCard(card);
            // Linux's FAT driver gives the attributes; the machine's exFAT driver does not.
            EXPECT_EQ(DriverReachesAttributes(card), card.endsWith(QLatin1String("/fat")));
            EXPECT_EQ(HasDosAttributes(card), DriverReachesAttributes(card));
        }
        SetCurrentLayoutIndex(0);
    }
};

TEST_F(DosCards, TheRecordersHiddenFilesAreReadAndListedAsOnAnyDisk)
{
    const std::set<QString> onDisk = Listed(CardData());
    ASSERT_GT(onDisk.size(), 10u);
    for (const QString& card : Cards()) {
        SCOPED_TRACE(card.toStdString());
        CopyRecorderCard(card);
        // The same recordings, each with its telemetry file although that file is hidden.
        EXPECT_EQ(Listed(card), onDisk);
        QDirIterator it(card, {"*.ADA"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        ASSERT_TRUE(it.hasNext());
        while (it.hasNext())
            EXPECT_EQ(IsHidden(it.next()), DriverReachesAttributes(card));
    }
}

TEST_F(DosCards, ADeletedRecordingIsHiddenUnderItsDeletedNamesAndLeavesTheCatalogue)
{
    for (const QString& card : Cards()) {
        SCOPED_TRACE(card.toStdString());
        CopyRecorderCard(card);
        const std::set<QString> before = Listed(card);
        QString movie;
        for (const QString& name : before) {
            if (name.startsWith(u'A') && name.endsWith(QLatin1String("M.MOV+"))) {
                movie = card + "/Normal/" + name.chopped(1);
                break;
            }
        }
        ASSERT_FALSE(movie.isEmpty());
        const QString stem = QFileInfo(movie).completeBaseName().chopped(1);
        const QString sub = card + "/Normal/" + stem + "S.MOV";
        const QString telemetry = card + "/_NData/" + stem + "D.ADA";
        ASSERT_TRUE(QFileInfo::exists(telemetry));
        const qint64 movieSize = QFileInfo(movie).size();

        EXPECT_EQ(DriveRootOf(movie), card);
        DeleteReport report;
        ASSERT_TRUE(DeleteRecording(movie, QString(), &report)) << report.error.toStdString();
        EXPECT_EQ(report.method, DeleteMethod::Rename);

        const QString dmy = card + "/Normal/" + stem + "M.DMY";
        const QString tda = card + "/_NData/" + stem + "D.TDA";
        EXPECT_FALSE(QFileInfo::exists(movie));
        EXPECT_FALSE(QFileInfo::exists(telemetry));
        ASSERT_TRUE(QFileInfo::exists(dmy));
        ASSERT_TRUE(QFileInfo::exists(tda));
        EXPECT_EQ(QFileInfo(dmy).size(), movieSize);  // renamed, never rewritten
        // Hidden where the driver keeps the attribute; elsewhere the names alone tell them.
        EXPECT_EQ(IsHidden(dmy), DriverReachesAttributes(card));
        EXPECT_EQ(IsHidden(tda), DriverReachesAttributes(card));
        // The other camera's movie is left as it was.
        EXPECT_TRUE(QFileInfo::exists(sub));
        EXPECT_FALSE(IsHidden(sub));

        std::set<QString> expected = before;
        expected.erase(QFileInfo(movie).fileName() + "+");
        EXPECT_EQ(Listed(card), expected);

        // A second delete of the same recording finds nothing to do and changes nothing.
        DeleteReport again;
        EXPECT_FALSE(DeleteRecording(movie, QString(), &again));
        EXPECT_TRUE(QFileInfo::exists(dmy));
        EXPECT_EQ(Listed(card), expected);
    }
}

TEST_F(DosCards, TheSettingsFileIsHiddenAfterEveryWrite)
{
    for (const QString& card : Cards()) {
        SCOPED_TRACE(card.toStdString());
        setStartupFolder(card);
        const QString path = configFilePath();
        ASSERT_TRUE(path.startsWith(card));
        const bool hides = DriverReachesAttributes(card);
        ASSERT_TRUE(WriteValue("DISPLAY", "THUMBNAIL", "1"));
        EXPECT_EQ(IsHidden(path), hides);
        // Each write replaces the file through a new one; the new one is hidden again.
        ASSERT_TRUE(WriteValue("DISPLAY", "SPEED_UNIT", "mph"));
        EXPECT_EQ(IsHidden(path), hides);
        EXPECT_EQ(ReadValue("DISPLAY", "THUMBNAIL"), "1");
        EXPECT_EQ(ReadValue("DISPLAY", "SPEED_UNIT"), "mph");
        // Hidden, the file stays out of the card's listing as the recorder's own files do.
        bool listed = false;
        for (const FolderEntry& entry : ListFolder(card, nullptr).entries)
            listed = listed || entry.name == QLatin1String(kConfigFileName);
        EXPECT_EQ(listed, !hides);
        setStartupFolder(QString());
    }
}

// The card is pulled as each task gets going: the joined save, the evidence export and the CSV
// export, which read the card and write to another disk, the joined save and the evidence export
// onto the card, and the delete, which changes the card.
TEST_F(DosCards, APulledCardEndsEachTaskWithAFailureAndLeavesNothingHalfDone)
{
    for (const QString& card : Cards()) {
        SCOPED_TRACE(card.toStdString());
        CardReader reader(card);
        QTemporaryDir out;
        auto leftIn = [](const QString& folder) {
            return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };

        // Joined save onto another disk, pulled while the media data is copied: failed, and
        // nothing in the output folder.
        reader.freshCard();
        JoinRequest join;
        join.inputs = NormalRecordings(card, 3);
        ASSERT_EQ(join.inputs.size(), 3u);
        join.outputPath = out.filePath("joined.MOV");
        join.telemetryPath = out.filePath("joined.ADA");
        join.progress = [&](int64_t done, int64_t total) { reader.pullOnce(done * 2 > total && done < total); };
        EXPECT_FALSE(SaveJoinedMovie(join).ok);
        EXPECT_TRUE(reader.pulled());
        EXPECT_EQ(leftIn(out.path()), QStringList());
        reader.putBack();

        // The same onto the card itself, after part of it reached the card: the part left there
        // goes with the next save of that name.
        reader.freshCard();
        const QString saved = card + "/Saved";
        ASSERT_TRUE(QDir().mkpath(saved));
        join.outputPath = saved + "/joined.MOV";
        join.telemetryPath = saved + "/joined.ADA";
        join.progress = [&](int64_t done, int64_t total) { reader.pullOnce(done * 2 > total && done < total, true); };
        EXPECT_FALSE(SaveJoinedMovie(join).ok);
        EXPECT_TRUE(reader.pulled());
        reader.putBack();
        ASSERT_FALSE(leftIn(saved).filter(QRegularExpression("^\\..*\\.tmp$")).isEmpty()) << "nothing to clear";
        join.progress = nullptr;
        const JoinResult again = SaveJoinedMovie(join);
        ASSERT_TRUE(again.ok) << again.detail.toStdString();
        EXPECT_EQ(leftIn(saved), (QStringList{"joined.ADA", "joined.MOV"}));

        // Evidence export onto another disk: failed, and no folder, whole or part, left.
        reader.freshCard();
        QTemporaryDir evidenceOut;
        EvidenceRequest evidence;
        evidence.movie = join.inputs.front().movie;
        FillEvidenceCompanions(evidence);
        ASSERT_FALSE(evidence.subMovie.isEmpty());
        evidence.fromFrame = 10;
        evidence.toFrame = 100;
        evidence.shownFrame = 50;
        evidence.outDir = evidenceOut.filePath("evidence");
        evidence.progress = [&](int64_t done, int64_t total) { reader.pullOnce(done * 2 >= total); };
        EXPECT_FALSE(WriteEvidence(evidence).ok);
        EXPECT_TRUE(reader.pulled());
        EXPECT_EQ(leftIn(evidenceOut.path()), QStringList());
        reader.putBack();

        // The same onto the card itself, after part of it reached the card: the partial folder
        // goes with the next export of that name.
        reader.freshCard();
        evidence.outDir = saved + "/evidence";
        ASSERT_TRUE(QDir().mkpath(saved));
        evidence.progress = [&](int64_t done, int64_t total) { reader.pullOnce(done * 2 >= total, true); };
        EXPECT_FALSE(WriteEvidence(evidence).ok);
        EXPECT_TRUE(reader.pulled());
        reader.putBack();
        ASSERT_EQ(leftIn(saved).filter(QRegularExpression("^\\.evidence\\.partial-")).size(), 1) << "nothing to clear";
        evidence.progress = nullptr;
        const EvidenceResult written = WriteEvidence(evidence);
        ASSERT_TRUE(written.ok) << written.detail.toStdString();
        EXPECT_EQ(leftIn(saved), QStringList{"evidence"});

        // CSV export onto another disk: it ends as a stop ends, with the whole rows it read.
        reader.freshCard();
        QStringList movies;
        for (const JoinInput& input : NormalRecordings(card, 6))
            movies << input.movie;
        ASSERT_EQ(movies.size(), 6);
        CsvExportOptions csv;
        csv.folder = evidenceOut.path();
        csv.sourceRoot = card;
        csv.progress = [&](int, int) { reader.pullOnce(true); };
        const CsvExportResult exported = ExportRecordingCsv(movies, csv);
        EXPECT_EQ(exported.status, CsvExportStatus::SourceGone) << CsvExportStatusName(exported.status).toStdString();
        EXPECT_GE(exported.rows, 1);
        EXPECT_LT(exported.rows, movies.size());
        ASSERT_EQ(leftIn(evidenceOut.path()), QStringList{QFileInfo(exported.path).fileName()});
        QFile file(exported.path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        EXPECT_EQ(content.count('\n'), exported.rows + 1);  // the header and whole rows only
        EXPECT_TRUE(content.endsWith('\n'));
        reader.putBack();

        // Delete of three recordings, the card pulled after the first: each is deleted whole or
        // left whole, never half, and the card holds what the task reported.
        reader.freshCard();
        QStringList paths;
        for (const JoinInput& input : join.inputs)
            paths << input.movie;
        const std::set<QString> before = Listed(card);
        DeleteTaskOptions options;
        options.progress = [&](int, int) { reader.pullOnce(true); };
        const DeleteTaskResult deleted = RunDeleteTask(paths, options);
        EXPECT_TRUE(reader.pulled());
        EXPECT_NE(deleted.status, DeleteTaskStatus::Completed);
        ASSERT_FALSE(deleted.deleted.empty());
        // The pulled card reads as what is left of it: nothing it did not hold.
        for (const QString& name : Listed(card))
            EXPECT_TRUE(before.count(name)) << name.toStdString();
        reader.putBack();
        for (size_t i = 0; i < join.inputs.size(); ++i) {
            const JoinInput& input = join.inputs[i];
            const QString stem = QFileInfo(input.movie).completeBaseName().chopped(1);
            SCOPED_TRACE(stem.toStdString());
            const bool movieDeleted = QFileInfo::exists(card + "/Normal/" + stem + "M.DMY");
            EXPECT_NE(QFileInfo::exists(input.movie), movieDeleted);
            EXPECT_NE(QFileInfo::exists(input.telemetry), movieDeleted);
            EXPECT_EQ(QFileInfo::exists(card + "/_NData/" + stem + "D.TDA"), movieDeleted);
            EXPECT_TRUE(QFileInfo::exists(card + "/Normal/" + stem + "S.MOV"));
            // What the task reported deleted was on the card before the card went.
            const bool reported = std::count(deleted.deleted.begin(), deleted.deleted.end(),
                                             static_cast<int>(i)) > 0;
            EXPECT_EQ(movieDeleted, reported);
        }
    }
}

}  // namespace
}  // namespace ravir

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("RAVIR_DOS_CARDS")) {
        // On the host: the sample card is made here (it needs ffmpeg), then this program runs
        // again inside the virtual machine.
        QString error;
        const QString card = ravir::test::windowTestCard(&error);
        if (card.isEmpty()) {
            std::fprintf(stderr, "the sample card cannot be made: %s\n", qPrintable(error));
            return 1;
        }
        std::vector<char*> args = {const_cast<char*>("python3"),
                                   const_cast<char*>(RAVIR_VM_RUNNER), const_cast<char*>("--data")};
        QByteArray cardArg = QFile::encodeName(card);
        args.push_back(cardArg.data());
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("python3", args.data());
        std::perror("python3");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
