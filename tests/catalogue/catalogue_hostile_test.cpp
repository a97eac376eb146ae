// The catalogue on cards a hostile or unlucky user makes: FIFOs named like movies and
// telemetry files, movies that are not movies, names that are not UTF-8, links to folders that
// are walked anyway and links that lead nowhere. Nothing may block, nothing may be listed twice,
// and nothing may be left out without a report.
#include "card_builder.h"
#include "catalogue/catalogue.h"
#include "test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

using test::CardBuilder;
using test::recName;

QStringList names(const RecordList& records)
{
    QStringList out;
    for (const RecordingRecord& r : records)
        out << r.fileName();
    return out;
}

bool hasSkip(const Catalogue& c, const QByteArray& path, SkipReason reason)
{
    for (const SkippedEntry& e : c.skipped()) {
        if (e.path == path && e.reason == reason)
            return true;
    }
    return false;
}

void makeFifo(const QString& path)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0) << qPrintable(path);
}

// Runs work on a thread; when it has not finished within the limit, opens every FIFO for
// writing (which releases a reader blocked in open) so that the test fails instead of hanging.
bool finishesPromptly(const std::function<void()>& work, const QStringList& fifos)
{
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
        return true;
    for (const QString& fifo : fifos) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    done.wait();
    return false;
}

// A layout-0 card with three recordings and FIFOs in the places of a fourth main movie (the
// newest, which the recorder information reads), of recording 1's sub movie and of the
// telemetry files of recordings 2 and 4.
struct FifoCard {
    CardBuilder card;
    QStringList fifos;
    FifoCard()
    {
        for (int n = 1; n <= 3; ++n)
            card.recording("Normal", "_NData", recName("A___", n), n != 1, n != 2);
        fifos << card.path("Normal/" + recName("A___", 4)) << card.path("Normal/" + recName("A___", 1, "S"))
              << card.path("_NData/" + recName("A___", 2, "D", "250101", "120000", "ADA"))
              << card.path("_NData/" + recName("A___", 4, "D", "250101", "120000", "ADA"));
        for (const QString& f : fifos)
            makeFifo(f);
    }
};

TEST(CatalogueHostile, FifosNeverBlockAndAreReported)
{
    FifoCard fc;
    Catalogue c;
    bool ok = finishesPromptly([&c, &fc] {
        c.OpenSource(fc.card.root(), SourceMode::Drive);
        c.SelectDefaultItem();
    }, fc.fifos);
    ASSERT_TRUE(ok) << "opening a card with FIFOs blocked";
    const QStringList three = {recName("A___", 1), recName("A___", 2), recName("A___", 3)};
    EXPECT_EQ(names(c.currentRecords()), three);
    ASSERT_EQ(c.currentRecords().size(), 3u);
    EXPECT_EQ(c.currentRecords()[0].pairedSize, 0u);     // the sub movie is a FIFO
    EXPECT_EQ(c.currentRecords()[1].telemetrySize, 0u);  // the telemetry file is a FIFO
    EXPECT_EQ(c.currentRecords()[1].trigger, 0);
    EXPECT_GT(c.currentRecords()[2].telemetrySize, 0u);
    // The FIFO movie is not the newest recording: the information comes from recording 3.
    EXPECT_EQ(c.recorderInfo().version, "1.5.2");
    for (const QString& fifo : fc.fifos.mid(0, 3))
        EXPECT_TRUE(hasSkip(c, QFile::encodeName(fifo), SkipReason::NotRegularFile)) << qPrintable(fifo);

    ok = finishesPromptly([&c] { c.CollectAllRecordings(); }, fc.fifos);
    ASSERT_TRUE(ok) << "collecting a card with FIFOs blocked";
    EXPECT_EQ(names(c.allRecords()), three);

    // A FIFO as the single-file source, and a FIFO given to BuildRecordingRecord.
    Catalogue single;
    RecordList out;
    ok = finishesPromptly([&] {
        single.OpenSource(fc.fifos[0], SourceMode::File);
        single.BuildRecordingRecord(fc.fifos[0], out);
    }, fc.fifos);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(single.currentRecords().empty());
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(hasSkip(single, QFile::encodeName(fc.fifos[0]), SkipReason::NotRegularFile));
}

TEST(CatalogueHostile, ListAndScanCommandsFinishAndReportSkippedEntries)
{
    FifoCard fc;
    fc.card.file("Normal/" + recName("A___", 7), QByteArray(400, 'x'));  // named like a movie
    for (const char* command : {"list", "scan"}) {
        SCOPED_TRACE(command);
        const test::RunResult r = test::runRavir({command, fc.card.root()}, 30000);
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonObject out = QJsonDocument::fromJson(r.out).object();
        QStringList reasons;
        for (const QJsonValue& v : out["skipped"].toArray()) {
            const QJsonObject o = v.toObject();
            reasons << QFileInfo(o["path"].toString()).fileName() + " " + o["reason"].toString();
            EXPECT_FALSE(o["message"].toString().isEmpty());
        }
        EXPECT_TRUE(reasons.contains(recName("A___", 4) + " not_regular_file")) << qPrintable(reasons.join(", "));
        EXPECT_TRUE(reasons.contains(recName("A___", 7) + " not_mp4")) << qPrintable(reasons.join(", "));
        EXPECT_TRUE(r.err.contains("skipped " + QFile::encodeName(fc.fifos[0]) + ": not a regular file"))
            << r.err.constData();
    }
}

TEST(CatalogueHostile, NamesThatAreNotUtf8AreRefusedVisiblyAndOthersKept)
{
    CardBuilder card;
    card.movie("copy/" + recName("A___", 1));
    card.movie("copy/ドライブ/" + recName("A___", 2));  // UTF-8: an ordinary name
    const QByteArray root = QFile::encodeName(card.root());
    const QByteArray badFolder = root + "/copy/bad\xff";
    const QByteArray badMovie = root + "/copy/A___-250101-120000-000004M\xfe.MOV";
    ASSERT_EQ(::mkdir(badFolder.constData(), 0755), 0);
    const QByteArray inBad = badFolder + "/" + QFile::encodeName(recName("A___", 3));
    for (const QByteArray& path : {inBad, badMovie}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray bytes = CardBuilder::movieBytes();
        ASSERT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
        ::close(fd);
    }
    Catalogue c;
    c.OpenSource(card.path("copy"), SourceMode::Folder);
    const RecordList& all = c.CollectAllRecordings();
    EXPECT_EQ(names(all), QStringList({recName("A___", 2), recName("A___", 1)}));
    // The folder with a valid non-ASCII name is walked like any other, its path intact.
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].path, card.path("copy/ドライブ/" + recName("A___", 2)));
    EXPECT_TRUE(hasSkip(c, badFolder, SkipReason::UndecodableName));
    EXPECT_TRUE(hasSkip(c, badMovie, SkipReason::UndecodableName));

    const test::RunResult r = test::runRavir({"list", card.path("copy")});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.contains("bad\\xFF: name is not valid UTF-8")) << r.err.constData();
    // QTemporaryDir cannot name these entries to remove them.
    ::unlink(inBad.constData());
    ::rmdir(badFolder.constData());
    ::unlink(badMovie.constData());
}

TEST(CatalogueHostile, LinkedFoldersAreListedOnceAndBrokenLinksReported)
{
    CardBuilder card;
    for (int n = 1; n <= 2; ++n)
        card.recording("Normal", "_NData", recName("A___", n));
    card.movie("Extra/" + recName("AM__", 9));
    const QByteArray root = QFile::encodeName(card.root());
    // "Alias" sorts before "Normal" and points at it; "Extra/up" loops back to the root;
    // "Extra/dead" names nothing and "Extra/self" is a loop of one link.
    ASSERT_EQ(::symlink("Normal", (root + "/Alias").constData()), 0);
    ASSERT_EQ(::symlink("..", (root + "/Extra/up").constData()), 0);
    ASSERT_EQ(::symlink("nothing", (root + "/Extra/" + QFile::encodeName(recName("AM__", 10))).constData()), 0);
    ASSERT_EQ(::symlink("self", (root + "/Extra/self").constData()), 0);

    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    // The real folder keeps its place in the tree; the link to it is left out with a report.
    const auto& top = c.tree().topLevel();
    QStringList topNames;
    for (const auto& item : top)
        topNames << item->text();
    EXPECT_EQ(topNames, QStringList({"Extra", "Normal", "_NData"}));
    EXPECT_TRUE(hasSkip(c, root + "/Alias", SkipReason::FolderAlreadyListed));

    const RecordList& all = c.CollectAllRecordings();
    EXPECT_EQ(names(all), QStringList({recName("AM__", 9), recName("A___", 1), recName("A___", 2)}));
    EXPECT_TRUE(hasSkip(c, root + "/Extra/up", SkipReason::FolderAlreadyListed));
    EXPECT_TRUE(hasSkip(c, root + "/Extra/" + QFile::encodeName(recName("AM__", 10)), SkipReason::BrokenLink));
    EXPECT_TRUE(hasSkip(c, root + "/Extra/self", SkipReason::BrokenLink));
}

}  // namespace
}  // namespace ravir
