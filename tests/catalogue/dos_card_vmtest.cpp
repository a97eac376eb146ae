// On real FAT32 and exFAT cards, mounted by the kernel's own drivers: the recorder's hidden
// telemetry files are found, a deleted recording takes its hidden deleted forms and leaves the
// catalogue, and the settings file stays hidden after every write.
//
// The machine that runs the tests may have neither driver nor allow a loop mount, so on the
// host this program makes the sample card and runs itself again inside a small virtual machine
// (tests/vm/run_on_dos_cards), which mounts an empty FAT32 and an empty exFAT card and names
// them in RAVIR_DOS_CARDS, and hands it the sample card in RAVIR_DOS_CARD_DATA.
#include "catalogue/catalogue.h"
#include "catalogue/folder_listing.h"
#include "catalogue/recording_delete.h"
#include "catalogue/recording_name.h"
#include "shell/hidden_attribute.h"
#include "shell/ini_file.h"
#include "sample_data.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

class DosCards : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(Cards().size(), 2) << "no cards: run through tests/vm/run_on_dos_cards";
        for (const QString& card : Cards()) {
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
