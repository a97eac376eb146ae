// The joined save never loses or replaces a user's file: what it refuses (outputs that exist or
// are inputs under another spelling, damaged inputs, FIFOs), what it guarantees on failure (the
// old files as they were, nothing left behind), through `ravir join` and the core alike.
#include "catalogue/joined_save_paths.h"
#include "container/movie_join.h"
#include "join_fixture.h"
#include "samplecard/telemetry_block.h"
#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <csignal>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ravir::test {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sets the big-endian word at `at` bytes after the type of the nth box of that type.
void patchWord(QByteArray& movie, const char* type, int nth, int at, uint32_t value)
{
    qsizetype i = -1;
    for (int k = 0; k <= nth; ++k)
        i = movie.indexOf(type, i + 1);
    ASSERT_GE(i, 0) << type;
    uint8_t word[4];
    WriteBE32(word, value);
    movie.replace(i + 4 + at, 4, reinterpret_cast<const char*>(word), 4);
}

class JoinSafety : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QStringList recordings;  // three main-camera recordings of the card, each with telemetry

    QString path(const QString& relative) { return dir.filePath(relative); }
    static QString name(int i, char camera = 'M')
    {
        return QString("A___-250314-0800%1-%2%3.MOV").arg(i, 2, 10, QLatin1Char('0')).arg(100 + i, 6, 10, QLatin1Char('0')).arg(camera);
    }
    static QString telemetryName(int i) { return name(i, 'D').replace(".MOV", ".ADA"); }

    void SetUp() override
    {
        QDir().mkpath(path("Normal"));
        QDir().mkpath(path("_NData"));
        for (int i = 0; i < 3; ++i) {
            recordings << path("Normal/" + name(i));
            ASSERT_TRUE(writeFile(recordings.back(), syntheticMovie(60, 40, false)));
            samples::TelemetryOptions t;
            t.records = 20;
            t.start = QDateTime(QDate(2025, 3, 14), QTime(8, 0, i));
            ASSERT_TRUE(writeFile(path("_NData/" + telemetryName(i)), samples::MakeTelemetryBlock(t)));
        }
    }

    // Every file below the folder, with its bytes.
    QMap<QString, QByteArray> snapshot()
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            files.insert(f, QFileInfo(f).isFile() ? readAll(f) : QByteArray("<folder>"));
        }
        return files;
    }
};

TEST_F(JoinSafety, TheTelemetryOutputNeverReplacesAFileNorCreatesAStrayFolder)
{
    // A first join writes its telemetry into the card's data folder.
    const QString out = path("Normal/A___-250314-080099-000199M.MOV");
    RunResult r = runRavir({"join", out, recordings[0], recordings[1]});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QString telemetry = path("_NData/A___-250314-080099-000199D.ADA");
    ASSERT_TRUE(QFileInfo(telemetry).isFile());

    // A second join whose OUT has the same telemetry name, and a join over a recording of the
    // card that is not an input (with --force): refused, and nothing on the card changes.
    const auto before = snapshot();
    for (const QStringList& args : {QStringList{"join", path("Normal/A___-250314-080099-000199S.MOV"), recordings[0], recordings[1]},
                                    QStringList{"join", "--force", recordings[2], recordings[0], recordings[1]}}) {
        r = runRavir(args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(".ADA")) << r.err.constData();
        EXPECT_EQ(snapshot(), before) << args.join(' ').toStdString();
    }

    // Outside a card movie folder the telemetry lies beside OUT; a folder whose name only ends
    // like a movie folder gets no data folder beside it.
    QDir().mkpath(path("MyNormal"));
    r = runRavir({"join", path("MyNormal/joined-M.MOV"), recordings[0], recordings[1]});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(QFileInfo(path("MyNormal/joined-D.ADA")).isFile());
    EXPECT_FALSE(QFileInfo::exists(path("My_NData")));

    // OUT named like its own telemetry file: the two outputs would be one file.
    QDir().mkpath(path("other"));
    r = runRavir({"join", path("other/joined-D.ADA"), recordings[0], recordings[1]});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QDir(path("other")).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // In a card movie folder whose data folder is missing, that one folder is created.
    QDir().mkpath(path("card2/Parking"));
    r = runRavir({"join", path("card2/Parking/P___-250314-080000-000100M.MOV"), recordings[0], recordings[1]});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(QFileInfo(path("card2/_PData/P___-250314-080000-000100D.ADA")).isFile());
}

TEST_F(JoinSafety, ForceKeepsTheOldOutputWhenTheJoinCannotComplete)
{
    const QString out = path("Normal/A___-250314-080099-000199M.MOV");
    ASSERT_TRUE(writeFile(out, "the old movie"));
    // The telemetry name is taken by a folder: refused before anything is replaced.
    QDir().mkpath(path("_NData/A___-250314-080099-000199D.ADA/inside"));
    const auto before = snapshot();
    RunResult r = runRavir({"join", "--force", out, recordings[0], recordings[1]});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readAll(out), "the old movie");
    EXPECT_EQ(snapshot(), before);
    // Once the name is free, --force replaces OUT and both files are in place.
    QDir(path("_NData/A___-250314-080099-000199D.ADA")).removeRecursively();
    r = runRavir({"join", "--force", out, recordings[0], recordings[1]});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_GT(QFileInfo(out).size(), 1000);
    EXPECT_TRUE(QFileInfo(path("_NData/A___-250314-080099-000199D.ADA")).isFile());
}

TEST_F(JoinSafety, AnInputUnderAnotherSpellingIsNeverAnOutput)
{
    ASSERT_TRUE(QFile::link(recordings[1], path("link.MOV")));
    QDir().mkpath(path("elsewhere"));
    const QStringList spellings{
        path("link.MOV"),                                   // a symbolic link to an input
        path("Normal/../Normal/" + name(1)),                // a path through ..
        path("elsewhere/../_NData/" + telemetryName(0)),    // an input's telemetry file
    };
    const auto before = snapshot();
    for (const QString& out : spellings) {
        const RunResult r = runRavir({"join", "--force", out, recordings[0], recordings[1]});
        EXPECT_EQ(r.exitCode, 1) << out.toStdString();
        EXPECT_EQ(snapshot(), before) << out.toStdString();
    }
    // The core says which file it is.
    JoinRequest request = MakeJoinRequest({recordings[0], recordings[1]}, path("link.MOV"));
    request.replaceOutput = true;
    const JoinResult result = SaveJoinedMovie(request);
    EXPECT_EQ(result.error, JoinError::OutputIsInput);
    EXPECT_EQ(result.path, path("link.MOV"));
}

TEST_F(JoinSafety, DamagedTablesAreRefusedNamingTheInput)
{
    const QByteArray good = syntheticMovie(60, 40, false);
    struct Damage {
        const char* what;
        std::function<void(QByteArray&)> apply;
    };
    const uint32_t mdatEnd = 40 + 600 + 160;
    const std::vector<Damage> damages{
        {"fixed sample size 0xFFFFFFFF", [](QByteArray& m) { patchWord(m, "stsz", 1, 4, 0xFFFFFFFF); }},
        {"a chunk whose samples pass the media data", [&](QByteArray& m) { patchWord(m, "stco", 0, 8, mdatEnd - 5); }},
        {"more samples in chunks than sizes", [](QByteArray& m) { patchWord(m, "stsc", 0, 12, 3); }},
        {"fewer samples in chunks than sizes", [](QByteArray& m) { patchWord(m, "stsc", 1, 12, 3); }},
    };
    for (const Damage& d : damages) {
        QByteArray bytes = good;
        d.apply(bytes);
        const QString damaged = path("damaged.MOV");
        ASSERT_TRUE(writeFile(damaged, bytes));
        const QString out = path("out.MOV");
        const RunResult r = runRavir({"join", out, recordings[0], damaged});
        EXPECT_EQ(r.exitCode, 1) << d.what;
        EXPECT_TRUE(r.err.contains(damaged.toUtf8())) << d.what << ": " << r.err.constData();
        EXPECT_FALSE(QFileInfo::exists(out)) << d.what;
        const JoinResult result = SaveJoinedMovie(MakeJoinRequest({damaged, recordings[0]}, out));
        EXPECT_EQ(result.error, JoinError::InputDamaged) << d.what;
        EXPECT_EQ(result.path, damaged) << d.what;
    }
}

TEST_F(JoinSafety, ALongOutputNameWorks)
{
    QDir().mkpath(path("long"));
    const QString out = path("long/" + QString(246, QLatin1Char('a')) + ".MOV");
    ASSERT_EQ(QFileInfo(out).fileName().size(), 250);
    const RunResult r = runRavir({"join", out, recordings[0], recordings[1]});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QStringList files = QDir(path("long")).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), 2) << files.join(' ').toStdString();  // the movie and its telemetry
}

TEST_F(JoinSafety, FifosNeverBlockTheJoin)
{
    // A FIFO in place of a recording's telemetry file: the movie is joined without telemetry,
    // and stderr says why.
    const QString fifo = path("_NData/" + telemetryName(1));
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString out = path("Normal/A___-250314-080099-000199M.MOV");
    RunResult r = runRavir({"join", out, recordings[0], recordings[1]}, 20000);
    ASSERT_EQ(r.exitCode, 0) << "the join hung or failed: " << r.err.constData();
    EXPECT_TRUE(r.err.contains(fifo.toUtf8())) << r.err.constData();
    EXPECT_FALSE(QFileInfo::exists(path("_NData/A___-250314-080099-000199D.ADA")));

    // A FIFO named like a movie, handed to the core: refused at once.
    const QString fifoMovie = path("Normal/" + name(7));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoMovie).constData(), 0644), 0);
    auto done = std::async(std::launch::async, [&] {
        return SaveJoinedMovie(MakeJoinRequest({recordings[0], fifoMovie}, path("fifo-out.MOV")));
    });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int release = ::open(QFile::encodeName(fifoMovie).constData(), O_WRONLY | O_NONBLOCK);
        ::close(release);
        FAIL() << "the join waited on a FIFO";
    }
    const JoinResult result = done.get();
    EXPECT_EQ(result.error, JoinError::OpenFailed);
    EXPECT_EQ(result.path, fifoMovie);

    // A FIFO as OUT: not even --force replaces it, and the join does not wait on it.
    const QString fifoOut = path("out.MOV");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoOut).constData(), 0644), 0);
    const auto before = snapshot();
    r = runRavir({"join", "--force", fifoOut, recordings[0], recordings[1]}, 20000);
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_EQ(snapshot(), before);
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifoOut).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(JoinSafety, AnInputChangedDuringTheJoinIsNeverCopiedUnnoticed)
{
    const QString victim = path("victim.MOV");
    ASSERT_TRUE(QFile::copy(recordings[1], victim));
    const QString reference = path("reference.MOV");
    ASSERT_TRUE(SaveJoinedMovie(MakeJoinRequest({recordings[0], victim}, reference)).ok);

    // Replaced by another file under its name while the output is written: the join goes on
    // with the file it read.
    QByteArray other = readAll(victim);
    other.replace('m', 'x');
    ASSERT_TRUE(writeFile(path("other.MOV"), other));
    JoinRequest request = MakeJoinRequest({recordings[0], victim}, path("out.MOV"));
    bool swapped = false;
    request.progress = [&](int64_t done, int64_t total) {
        if (!swapped && done * 2 > total)
            swapped = ::rename(QFile::encodeName(path("other.MOV")).constData(), QFile::encodeName(victim).constData()) == 0;
    };
    JoinResult result = SaveJoinedMovie(request);
    ASSERT_TRUE(swapped);
    ASSERT_TRUE(result.ok) << result.detail.toStdString();
    EXPECT_EQ(readAll(path("out.MOV")), readAll(reference));

    // Changed in place: the join fails naming it, and leaves nothing.
    ASSERT_TRUE(QFile::copy(recordings[1], path("victim2.MOV")));
    request = MakeJoinRequest({recordings[0], path("victim2.MOV")}, path("out2.MOV"));
    bool changed = false;
    request.progress = [&](int64_t done, int64_t total) {
        if (changed || done * 2 <= total)
            return;
        QThread::msleep(20);  // a later modification time
        QFile f(path("victim2.MOV"));
        changed = f.open(QIODevice::ReadWrite) && f.seek(100) && f.write("x", 1) == 1;
    };
    result = SaveJoinedMovie(request);
    ASSERT_TRUE(changed);
    EXPECT_EQ(result.error, JoinError::InputChanged);
    EXPECT_EQ(result.path, path("victim2.MOV"));
    EXPECT_FALSE(QFileInfo::exists(path("out2.MOV")));
    EXPECT_TRUE(QDir(dir.path()).entryList({".*.tmp"}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST(JoinSignals, SigtermEndsARunningJoinAndLeavesNothing)
{
    // Two sparse recordings of 2 GiB of media data: long enough to be stopped while copying.
    QTemporaryDir dir;
    QStringList inputs;
    for (const char* name : {"s1.MOV", "s2.MOV"}) {
        const uint64_t payload = 2048ull << 20;
        const QByteArray bytes = syntheticMovie(60, 40, false, payload, true);
        const qsizetype headSize = ftyp().size() + 16;
        inputs << dir.filePath(name);
        ASSERT_TRUE(writeSparse(inputs.back(), bytes.left(headSize), static_cast<uint64_t>(headSize) + payload,
                                bytes.mid(headSize)));
    }
    QDir().mkpath(dir.filePath("out"));
    QProcess join;
    join.start(QStringLiteral(RAVIR_EXE), {"join", "--no-sync", dir.filePath("out/joined.MOV"), inputs[0], inputs[1]});
    ASSERT_TRUE(join.waitForStarted());
    const auto start = std::chrono::steady_clock::now();
    while (QDir(dir.filePath("out")).entryList(QDir::Files | QDir::Hidden).isEmpty()
           && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
        QThread::msleep(2);
    ASSERT_EQ(join.state(), QProcess::Running) << "the join ended before it could be stopped";
    join.terminate();  // SIGTERM
    ASSERT_TRUE(join.waitForFinished(10000)) << "SIGTERM did not end the join";
    EXPECT_EQ(join.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(join.exitCode(), 128 + SIGTERM) << "a command a signal stopped reports 128 + the signal";
    EXPECT_TRUE(join.readAllStandardError().contains("stopped"));
    EXPECT_TRUE(QDir(dir.filePath("out")).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
}  // namespace ravir::test
