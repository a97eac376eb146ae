// Deleting recordings: the card form (rename to DMY/TDA, hidden), the trash elsewhere, and the
// delete task's order, stop and failure rules.
#include "catalogue/recording_delete.h"
#include "catalogue/recording_name.h"
#include "shell/hidden_attribute.h"
#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

const QString kStem = QStringLiteral("A___-250101-120000-000123");
const QString kParkingStem = QStringLiteral("P___-250101-130000-000200");

void writeFile(const QString& path, const QByteArray& content = QByteArray("data"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool exists(const QString& path) { return QFileInfo::exists(path); }

// A card of the given layout under `root`: its four layout folders, nothing in them.
void makeCard(const QString& root, int layout)
{
    for (const FolderKindRow& row : kFolderKindTable[layout])
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(row.folder));
}

// Each test gets its own trash (XDG_DATA_HOME) so nothing reaches the user's.
class DeleteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + QStringLiteral("/card");
        QDir().mkpath(root);
        dataHome = dir.path() + QStringLiteral("/xdg-data");
        QDir().mkpath(dataHome);
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
        SetCurrentLayoutIndex(0);
    }
    void TearDown() override
    {
        if (savedDataHome.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedDataHome);
        SetCurrentLayoutIndex(0);
    }
    QString at(const QString& relative) const { return root + QLatin1Char('/') + relative; }

    QTemporaryDir dir;
    QString root;
    QString dataHome;
    QByteArray savedDataHome;
};

TEST_F(DeleteTest, CardLayoutZeroRenamesMovieAndTelemetryInTheirFoldersAndLeavesTheSubCamera)
{
    makeCard(root, 0);
    const QString movie = at("Normal/" + kStem + "M.MOV");
    const QString sub = at("Normal/" + kStem + "S.MOV");
    const QString telemetry = at("_NData/" + kStem + "D.ADA");
    writeFile(movie, "main");
    writeFile(sub, "sub");
    writeFile(telemetry, "QVXDAT");
    const QString parkingMovie = at("Parking/" + kParkingStem + "M.MOV");
    const QString parkingData = at("_PData/" + kParkingStem + "D.ADA");
    writeFile(parkingMovie);
    writeFile(parkingData);

    DeleteReport report;
    ASSERT_TRUE(DeleteRecording(movie, root, &report)) << report.error.toStdString();
    EXPECT_EQ(report.method, DeleteMethod::Rename);
    EXPECT_FALSE(exists(movie));
    EXPECT_EQ(readFile(at("Normal/" + kStem + "M.DMY")), "main");
    EXPECT_FALSE(exists(telemetry));
    EXPECT_EQ(readFile(at("_NData/" + kStem + "D.TDA")), "QVXDAT");
    EXPECT_EQ(readFile(sub), "sub");
    ASSERT_EQ(report.moved.size(), 2u);
    EXPECT_EQ(report.moved[0].from, movie);
    EXPECT_EQ(report.moved[1].to, at("_NData/" + kStem + "D.TDA"));
    // Nothing went to the trash.
    EXPECT_FALSE(QDir(dataHome + "/Trash/files").exists()
                 && !QDir(dataHome + "/Trash/files").isEmpty());

    // A parking recording uses the parking pair.
    ASSERT_TRUE(DeleteRecording(parkingMovie, root, &report));
    EXPECT_TRUE(exists(at("Parking/" + kParkingStem + "M.DMY")));
    EXPECT_TRUE(exists(at("_PData/" + kParkingStem + "D.TDA")));
    EXPECT_FALSE(exists(parkingData));
}

TEST_F(DeleteTest, CardLayoutOneAndFilesOutsideLayoutFolders)
{
    makeCard(root, 1);
    const QString movie = at("Video/" + kStem + "M.MOV");
    writeFile(movie);
    writeFile(at("_VData/" + kStem + "D.ADA"));
    ASSERT_TRUE(DeleteRecording(movie, root));
    EXPECT_EQ(CurrentLayoutIndex(), 1);
    EXPECT_TRUE(exists(at("Video/" + kStem + "M.DMY")));
    EXPECT_TRUE(exists(at("_VData/" + kStem + "D.TDA")));

    // A recording in another folder of the card keeps its deleted forms beside it.
    const QString copy = at("backup/" + kStem + "M.MOV");
    writeFile(copy);
    writeFile(at("backup/" + kStem + "D.ADA"));
    ASSERT_TRUE(DeleteRecording(copy, root));
    EXPECT_TRUE(exists(at("backup/" + kStem + "M.DMY")));
    EXPECT_TRUE(exists(at("backup/" + kStem + "D.TDA")));
    EXPECT_FALSE(exists(copy));

    // A lone parking folder is enough to make the root a card.
    const QString other = dir.path() + "/parking-only";
    QDir().mkpath(other + "/Parking");
    EXPECT_TRUE(IsCardRoot(other));
    EXPECT_FALSE(IsCardRoot(dir.path() + "/xdg-data"));
}

TEST_F(DeleteTest, MissingTelemetryOnTheCardIsNothingToDelete)
{
    makeCard(root, 0);
    const QString movie = at("Normal/" + kStem + "M.MOV");
    writeFile(movie);
    DeleteReport report;
    ASSERT_TRUE(DeleteRecording(movie, root, &report)) << report.error.toStdString();
    EXPECT_TRUE(exists(at("Normal/" + kStem + "M.DMY")));
    EXPECT_FALSE(exists(movie));
    EXPECT_EQ(report.moved.size(), 1u);
    EXPECT_FALSE(exists(at("_NData/" + kStem + "D.TDA")));
}

TEST_F(DeleteTest, TakenDeletedNamesFailBeforeAnythingIsRenamed)
{
    makeCard(root, 0);
    const QString movie = at("Normal/" + kStem + "M.MOV");
    const QString dmy = at("Normal/" + kStem + "M.DMY");
    const QString telemetry = at("_NData/" + kStem + "D.ADA");
    const QString tda = at("_NData/" + kStem + "D.TDA");

    // A movie already in its deleted form stays so, and its telemetry file is not touched.
    writeFile(dmy, "old");
    writeFile(telemetry);
    DeleteReport report;
    EXPECT_FALSE(DeleteRecording(movie, root, &report));
    EXPECT_EQ(report.method, DeleteMethod::None);
    EXPECT_FALSE(report.error.isEmpty());
    EXPECT_EQ(readFile(dmy), "old");
    EXPECT_TRUE(exists(telemetry));
    EXPECT_FALSE(exists(tda));

    // Live and deleted movie side by side: neither is touched.
    writeFile(movie, "new");
    EXPECT_FALSE(DeleteRecording(movie, root));
    EXPECT_EQ(readFile(movie), "new");
    EXPECT_EQ(readFile(dmy), "old");

    // The telemetry file's deleted name is taken: the movie keeps its live name.
    QFile::remove(dmy);
    writeFile(tda, "old telemetry");
    EXPECT_FALSE(DeleteRecording(movie, root, &report));
    EXPECT_TRUE(report.moved.empty());
    EXPECT_EQ(readFile(movie), "new");
    EXPECT_FALSE(exists(dmy));
    EXPECT_EQ(readFile(tda), "old telemetry");
    EXPECT_TRUE(exists(telemetry));
}

// Without an explicit root the card is probed at the mount point that holds the movie (a small
// tmpfs stands in for the card's filesystem); skipped where mounting is not allowed.
TEST_F(DeleteTest, CardIsProbedAtTheMountPointOfTheMovie)
{
    const QString mountPoint = dir.path() + "/sd";
    QDir().mkpath(mountPoint);
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mountPoint}) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{mountPoint};

    makeCard(mountPoint, 1);
    const QString movie = mountPoint + "/Video/" + kStem + "M.MOV";
    writeFile(movie);
    writeFile(mountPoint + "/_VData/" + kStem + "D.ADA");
    EXPECT_EQ(DriveRootOf(movie), mountPoint);
    DeleteReport report;
    ASSERT_TRUE(DeleteRecording(movie, QString(), &report)) << report.error.toStdString();
    EXPECT_EQ(report.method, DeleteMethod::Rename);
    EXPECT_TRUE(exists(mountPoint + "/Video/" + kStem + "M.DMY"));
    EXPECT_TRUE(exists(mountPoint + "/_VData/" + kStem + "D.TDA"));

    // A folder below the card's root is not a card root of its own, but it is on the card.
    const QString deeper = mountPoint + "/copies/" + kStem + "M.MOV";
    writeFile(deeper);
    ASSERT_TRUE(DeleteRecording(deeper, QString(), &report));
    EXPECT_EQ(report.method, DeleteMethod::Rename);
    EXPECT_TRUE(exists(mountPoint + "/copies/" + kStem + "M.DMY"));
}

// A rename that fails after every check passed (the data folder made immutable) undoes the
// movie's rename.
TEST_F(DeleteTest, FailedTelemetryRenameRollsTheMovieBack)
{
    makeCard(root, 0);
    const QString movie = at("Normal/" + kStem + "M.MOV");
    const QString telemetry = at("_NData/" + kStem + "D.ADA");
    writeFile(movie);
    writeFile(telemetry);
    const QByteArray data = QFile::encodeName(at("_NData"));
    const int fd = ::open(data.constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        ::close(fd);
        GTEST_SKIP() << "the filesystem has no inode flags";
    }
    int frozen = flags | FS_IMMUTABLE_FL;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &frozen) != 0) {
        ::close(fd);
        GTEST_SKIP() << "cannot make a folder immutable here";
    }
    DeleteReport report;
    const bool ok = DeleteRecording(movie, root, &report);
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ::close(fd);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(exists(movie));
    EXPECT_FALSE(exists(at("Normal/" + kStem + "M.DMY")));
    EXPECT_TRUE(exists(telemetry));
    EXPECT_TRUE(report.moved.empty());
}

// Reads "Key=value" from a .trashinfo file.
QString trashInfoValue(const QString& infoPath, const QString& key)
{
    const QStringList lines = QString::fromUtf8(readFile(infoPath)).split('\n');
    for (const QString& line : lines) {
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).trimmed();
    }
    return QString();
}

TEST_F(DeleteTest, FolderOnAHardDiskGoesToTheTrashWithItsCompanions)
{
    // Main/Sub_ two-camera folders on a disk without layout folders.
    const QString movie = at("trip/Main/" + kStem + "M.MOV");
    const QString sub = at("trip/Sub_/" + kStem + "S.MOV");
    const QString telemetry = at("trip/Main/" + kStem + "D.ADA");
    const QString unrelated = at("trip/Main/A___-250101-120100-000124M.MOV");
    writeFile(movie, "main");
    writeFile(sub, "sub");
    writeFile(telemetry, "tele");
    writeFile(unrelated);

    DeleteReport report;
    ASSERT_TRUE(DeleteRecording(movie, root, &report)) << report.error.toStdString();
    EXPECT_EQ(report.method, DeleteMethod::Trash);
    EXPECT_FALSE(exists(movie));
    EXPECT_FALSE(exists(sub));
    EXPECT_FALSE(exists(telemetry));
    EXPECT_TRUE(exists(unrelated));
    ASSERT_EQ(report.moved.size(), 3u);
    const QByteArray contents[] = {"main", "sub", "tele"};
    for (size_t i = 0; i < 3; ++i) {
        const MovedFile& m = report.moved[i];
        EXPECT_EQ(readFile(m.to), contents[i]) << m.to.toStdString();
        // <trash>/files/<name> with <trash>/info/<name>.trashinfo naming the original path.
        const QFileInfo trashed(m.to);
        EXPECT_EQ(QFileInfo(trashed.absolutePath()).fileName(), "files");
        const QString info = QFileInfo(trashed.absolutePath()).absolutePath() + "/info/"
                             + trashed.fileName() + ".trashinfo";
        ASSERT_TRUE(exists(info)) << info.toStdString();
        EXPECT_EQ(QUrl::fromPercentEncoding(trashInfoValue(info, "Path").toUtf8()), m.from);
        EXPECT_FALSE(trashInfoValue(info, "DeletionDate").isEmpty());
    }
    // Home and the test folder share a filesystem here, so the trash is the test's own.
    if (QStorageInfo(dir.path()) == QStorageInfo(QDir::homePath())) {
        EXPECT_TRUE(report.moved[0].to.startsWith(dataHome + "/Trash/files/"));
    }

    // A missing movie cannot be deleted (no false success); an empty path cannot be recycled.
    EXPECT_FALSE(RecycleDelete(QString()));
    EXPECT_FALSE(RecycleDelete(movie));
    EXPECT_FALSE(DeleteRecording(movie, root, &report));
    EXPECT_TRUE(report.moved.empty());
    EXPECT_TRUE(report.error.contains("does not exist")) << report.error.toStdString();
}

// Every entry under `folder`, hidden ones included, with its size: what a refused delete must
// leave exactly as it was.
QStringList snapshot(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
    }
    entries.sort();
    return entries;
}

// Only a recording is deleted: an existing regular file under a main movie name, the movie of
// its kind's folder. Everything else is refused with a reason and nothing on the disk changes,
// on a card and elsewhere; in particular a name that merely starts like a recording never
// leads to another recording being renamed.
TEST_F(DeleteTest, AnythingButARecordingIsRefusedAndNothingChanges)
{
    makeCard(root, 0);
    const QString movie = at("Normal/" + kStem + "M.MOV");
    writeFile(movie, "main");
    writeFile(at("Normal/" + kStem + "S.MOV"), "sub");
    writeFile(at("_NData/" + kStem + "D.ADA"), "tele");
    writeFile(at("Parking/" + kParkingStem + "M.MOV"), "parked");
    writeFile(at("_PData/" + kParkingStem + "D.ADA"), "parked tele");
    // Files whose names start like a recording.
    writeFile(at("Normal/" + kStem + "MxMOV"));
    writeFile(at("Normal/" + kStem + "M.MOV.bak"));
    writeFile(at("Normal/" + kStem + "M.mov"));
    writeFile(at("Normal/" + kParkingStem + "M.MOV"), "parking name in Normal");
    writeFile(at("_NData/" + kStem + "M.MOV"), "movie name in a data folder");
    const QString fifo = at("Normal/A___-250101-140000-000300M.MOV");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = at("Normal/A___-250101-150000-000400M.MOV");
    ASSERT_TRUE(QFile::link(movie, link));
    // Off the card: a folder of recordings and a recording whose telemetry name is a folder.
    const QString disk = dir.path() + "/disk";
    writeFile(disk + "/trip/" + kStem + "M.MOV");
    writeFile(disk + "/odd/" + kStem + "M.MOV");
    QDir().mkpath(disk + "/odd/" + kStem + "D.ADA");

    struct Case {
        QString path, root, reason;
    };
    const Case cases[] = {
        {root, root, "folder"},
        {at("Normal"), root, "folder"},
        {at("Normal/."), root, "folder"},
        {at("Normal/A___-250101-160000-000500M.MOV"), root, "does not exist"},
        {at("Normal/" + kStem + "S.MOV"), root, "sub camera"},
        {at("Normal/" + kStem + "MxMOV"), root, "not a recording"},
        {at("Normal/" + kStem + "M.MOV.bak"), root, "not a recording"},
        {at("Normal/" + kStem + "M.mov"), root, "not a recording"},
        {at("Normal/" + kParkingStem + "M.MOV"), root, "folder of its kind"},
        {at("_NData/" + kStem + "M.MOV"), root, "folder of its kind"},
        {fifo, root, "not a regular file"},
        {link, root, "symbolic link"},
        {disk + "/trip", disk, "folder"},
        {disk + "/odd/" + kStem + "M.MOV", disk, "folder"},
    };
    const QStringList before = snapshot(dir.path());
    for (const Case& c : cases) {
        DeleteReport report;
        EXPECT_FALSE(DeleteRecording(c.path, c.root, &report)) << c.path.toStdString();
        EXPECT_EQ(report.method, DeleteMethod::None) << c.path.toStdString();
        EXPECT_TRUE(report.moved.empty()) << c.path.toStdString();
        EXPECT_TRUE(report.error.contains(c.reason))
            << c.path.toStdString() << ": " << report.error.toStdString();
        EXPECT_EQ(snapshot(dir.path()), before) << c.path.toStdString();
    }
    // The refusal of a sub camera's movie names the main movie to delete instead.
    DeleteReport report;
    DeleteRecording(at("Normal/" + kStem + "S.MOV"), root, &report);
    EXPECT_TRUE(report.error.contains(movie)) << report.error.toStdString();

    // The recording itself is still deleted, and exactly its two files are reported.
    ASSERT_TRUE(DeleteRecording(movie, root, &report)) << report.error.toStdString();
    ASSERT_EQ(report.moved.size(), 2u);
    EXPECT_EQ(report.moved[0].from, movie);
    EXPECT_EQ(report.moved[0].to, at("Normal/" + kStem + "M.DMY"));
    EXPECT_EQ(report.moved[1].from, at("_NData/" + kStem + "D.ADA"));
    EXPECT_EQ(readFile(at("Normal/" + kStem + "S.MOV")), "sub");
    EXPECT_EQ(readFile(at("Parking/" + kParkingStem + "M.MOV")), "parked");
    EXPECT_EQ(readFile(at("_PData/" + kParkingStem + "D.ADA")), "parked tele");
}

// A fresh account has no data folder yet: the trash is still set up there, and nothing lands
// in the working directory.
TEST_F(DeleteTest, TrashIsSetUpWhenTheDataFolderIsMissing)
{
    const QString fresh = dataHome + "/fresh/share";
    qputenv("XDG_DATA_HOME", QFile::encodeName(fresh));
    const QString work = dir.path() + "/work";
    QDir().mkpath(work);
    const QString savedCwd = QDir::currentPath();
    QDir::setCurrent(work);
    const QString file = at("loose.MOV");
    writeFile(file);
    QString trashed;
    const bool ok = RecycleDelete(file, &trashed);
    QDir::setCurrent(savedCwd);
    ASSERT_TRUE(ok);
    EXPECT_FALSE(exists(file));
    EXPECT_TRUE(exists(trashed));
    EXPECT_TRUE(QFileInfo(trashed).isAbsolute());
    EXPECT_TRUE(QDir(work).isEmpty());
    if (QStorageInfo(dir.path()) == QStorageInfo(QDir::homePath())) {
        EXPECT_EQ(trashed, fresh + "/Trash/files/loose.MOV");
    }
}

TEST_F(DeleteTest, DriveRootIsTheMountPointHoldingThePath)
{
    const QString expected = QStorageInfo(dir.path()).rootPath();
    EXPECT_EQ(DriveRootOf(dir.path()), expected);
    // A path that does not exist yet is looked up through its nearest existing folder.
    EXPECT_EQ(DriveRootOf(dir.path() + "/no/such/file.MOV"), expected);
}

TEST_F(DeleteTest, TaskDeletesFromTheLastChosenAndStopsAtTheFirstFailure)
{
    makeCard(root, 0);
    QStringList chosen;
    for (int n = 1; n <= 4; ++n) {
        const QString stem = QStringLiteral("A___-250101-12000%1-00010%1").arg(n);
        chosen << at("Normal/" + stem + "M.MOV");
        writeFile(chosen.last());
    }
    // The second chosen one cannot be deleted: its deleted name is taken.
    writeFile(at("Normal/A___-250101-120002-000102M.DMY"));

    std::vector<QString> seen;
    std::vector<std::pair<int, int>> progress;
    DeleteTaskOptions options;
    options.probeRoot = root;
    options.beforeDelete = [&](const QString& p) { seen.push_back(p); };
    options.progress = [&](int done, int total) { progress.emplace_back(done, total); };
    const DeleteTaskResult result = RunDeleteTask(chosen, options);
    EXPECT_EQ(result.status, DeleteTaskStatus::Failed);
    EXPECT_EQ(result.deleted, (std::vector<int>{3, 2}));
    EXPECT_EQ(result.failedIndex, 1);
    EXPECT_EQ(seen, (std::vector<QString>{chosen[3], chosen[2], chosen[1]}));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}}));
    EXPECT_TRUE(exists(chosen[0]));  // never reached
    EXPECT_TRUE(exists(chosen[1]));
    EXPECT_FALSE(exists(chosen[2]));
    ASSERT_EQ(result.reports.size(), 3u);
    EXPECT_FALSE(result.reports.back().error.isEmpty());

    // The running flag stops the task before the next recording.
    const QStringList more = {at("Normal/A___-250101-130000-000300M.MOV"),
                              at("Normal/A___-250101-130100-000301M.MOV")};
    for (const QString& m : more)
        writeFile(m);
    std::atomic<bool> running{true};
    options.running = &running;
    options.progress = [&](int, int) { running = false; };
    const DeleteTaskResult stopped = RunDeleteTask(more, options);
    EXPECT_EQ(stopped.status, DeleteTaskStatus::Stopped);
    EXPECT_EQ(stopped.deleted, (std::vector<int>{1}));
    EXPECT_TRUE(exists(more[0]));
    EXPECT_FALSE(exists(more[1]));

    // So does a stop request (the command line's Ctrl-C).
    const QStringList last = {at("Normal/A___-250101-140000-000400M.MOV"),
                              at("Normal/A___-250101-140100-000401M.MOV")};
    for (const QString& m : last)
        writeFile(m);
    std::atomic<bool> stop{false};
    options.running = nullptr;
    options.stop = &stop;
    options.progress = [&](int, int) { stop = true; };
    const DeleteTaskResult halted = RunDeleteTask(last, options);
    EXPECT_EQ(halted.status, DeleteTaskStatus::Stopped);
    EXPECT_EQ(halted.deleted, (std::vector<int>{1}));
    EXPECT_TRUE(exists(last[0]));

    // A lost source deletes nothing.
    running = true;
    options.sourceLost = true;
    const DeleteTaskResult lost = RunDeleteTask(more, options);
    EXPECT_EQ(lost.status, DeleteTaskStatus::SourceLost);
    EXPECT_TRUE(lost.deleted.empty());
    EXPECT_TRUE(exists(more[0]));
}

TEST_F(DeleteTest, ListsLoseTheDeletedRecordsAndAreRenumbered)
{
    makeCard(root, 0);
    RecordList current;
    for (int n = 1; n <= 4; ++n) {
        RecordingRecord r;
        r.path = at(QStringLiteral("Normal/A___-250101-12000%1-00010%1M.MOV").arg(n));
        r.row = n * 10;  // stale row numbers
        writeFile(r.path);
        current.push_back(r);
    }
    // Chosen: the second, third and fourth; the second is blocked, so only 4 and 3 go.
    writeFile(at("Normal/A___-250101-120002-000102M.DMY"));
    const RecordList chosen(current.begin() + 1, current.end());
    DeleteTaskOptions options;
    options.probeRoot = root;
    const DeleteTaskResult result = RunDeleteTask(chosen, options);
    EXPECT_EQ(result.status, DeleteTaskStatus::Failed);
    const RecordList deleted = DeletedRecords(chosen, result);
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0].path, current[3].path);

    RecordList all = current;
    RemoveDeletedRecords(deleted, {&current, &all});
    for (const RecordList* list : {&current, &all}) {
        ASSERT_EQ(list->size(), 2u);
        EXPECT_TRUE((*list)[0].path.endsWith("000101M.MOV"));
        EXPECT_TRUE((*list)[1].path.endsWith("000102M.MOV"));
        EXPECT_EQ((*list)[0].row, 0);
        EXPECT_EQ((*list)[1].row, 1);
    }
}

TEST_F(DeleteTest, CommandLineReportsEachMovieInArgumentOrder)
{
    makeCard(root, 0);
    const QString first = at("Normal/A___-250101-120001-000101M.MOV");
    const QString second = at("Normal/A___-250101-120002-000102M.MOV");
    const QString third = at("Normal/A___-250101-120003-000103M.MOV");
    for (const QString& m : {first, second, third})
        writeFile(m);
    writeFile(at("_NData/A___-250101-120003-000103D.ADA"));
    writeFile(at("Normal/A___-250101-120002-000102M.DMY"));  // blocks the second

    const test::RunResult run = test::runRavir({"delete", first, second, third, "--root", root});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject out = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(out["status"].toString(), "failed");
    EXPECT_EQ(out["deleted"].toInt(), 1);
    const QJsonArray results = out["results"].toArray();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].toObject()["result"].toString(), "not_tried");
    EXPECT_EQ(results[1].toObject()["result"].toString(), "failed");
    EXPECT_FALSE(results[1].toObject()["error"].toString().isEmpty());
    const QJsonObject done = results[2].toObject();
    EXPECT_EQ(done["result"].toString(), "deleted");
    EXPECT_EQ(done["method"].toString(), "rename");
    EXPECT_EQ(done["moved"].toArray().size(), 2);
    EXPECT_TRUE(exists(first));
    EXPECT_TRUE(exists(second));
    EXPECT_TRUE(exists(at("Normal/A___-250101-120003-000103M.DMY")));

    const test::RunResult ok = test::runRavir({"delete", first, "--root", root});
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(ok.out).object()["status"].toString(), "completed");
    EXPECT_FALSE(exists(first));
}

}  // namespace
}  // namespace ravir
