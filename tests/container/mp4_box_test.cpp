// The box model: the known-type index, the tree builder with its size rules, the accessors and
// the direct probes, on boxes built here and on movies made by ffmpeg.
#include "box_builder.h"
#include "container/box_type_trie.h"
#include "container/mp4_box.h"
#include "test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "samplecard/sample_movie.h"
#include "samplecard/telemetry_block.h"

namespace ravir::test {
namespace {

class Mp4Box : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }
    // A small one-track movie: 90 samples of 1000 ticks at timescale 30000 (3 s at 30 fps).
    static QByteArray movie(const QByteArray& mdatBox, const QByteArray& extraTrack = {})
    {
        const QByteArray moov = box("moov", mvhd(1000, 3000)
            + trak(1, 3000, 30000, 90000, stsdVideo(1920, 1080), stts({{90, 1000}}),
                   table("stsz", std::vector<uint32_t>(90, 100), true) + stsc(1)
                       + table("stco", {48}))
            + extraTrack);
        return ftyp() + mdatBox + moov;
    }
};

TEST(BoxTypeTrie, AcceptsExactlyTheTableTypes)
{
    QSet<QByteArray> table;
    for (int i = kBoxTypePathLength; i < kBoxTypeTableSize; ++i) {
        ASSERT_NE(kBoxTypeTable[i], nullptr);
        ASSERT_EQ(std::strlen(kBoxTypeTable[i]), 4u);
        table.insert(QByteArray(kBoxTypeTable[i], 4));
    }
    EXPECT_EQ(table.size(), 167);  // 168 entries, "xml " twice
    for (int i = 0; i < kBoxTypePathLength; ++i)
        EXPECT_TRUE(table.contains(kBoxTypeTable[i])) << kBoxTypeTable[i];
    const BoxTypeTrie& trie = KnownBoxTypes();
    for (const QByteArray& t : table) {
        EXPECT_TRUE(trie.contains(t.constData())) << t.constData();
        // Every one-byte change of a known type that is not itself known is refused.
        for (int pos = 0; pos < 4; ++pos) {
            for (int c : {0x00, 0x20, 0x61, 0x7a, 0x41, 0x5a, 0x30, 0xA9, 0xFF}) {
                QByteArray m = t;
                m[pos] = static_cast<char>(c);
                EXPECT_EQ(trie.contains(m.constData()), table.contains(m)) << m.toHex().constData();
            }
        }
    }
    for (const char* t : {"wide", "MOOV", "moo ", "stt ", "avc1", "mp4a", "ilst", "\0\0\0\0"})
        EXPECT_FALSE(trie.contains(t)) << t;
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        const uint32_t v = rng();
        const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
        EXPECT_EQ(trie.contains(b), table.contains(QByteArray(b, 4)));
    }
}

TEST(BoxTypeTrie, LevelHoldsAtMostSixtyFourCharacters)
{
    BoxTypeTrie trie;
    std::vector<std::string> names;
    for (int i = 0; i < 70; ++i)
        names.push_back(std::string(1, static_cast<char>(0x30 + i)) + "abc");
    for (const auto& n : names)
        trie.insert(n.c_str());
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(trie.contains(names[static_cast<size_t>(i)].c_str()), i < 64) << i;
    EXPECT_EQ(trie.nodeCount(), 64u * 4u);
}

TEST_F(Mp4Box, IsMp4FileNeedsFtypAndTwoHundredSixtyBytes)
{
    const QByteArray head = ftyp();
    EXPECT_FALSE(IsMp4File(write("short.mp4", head + QByteArray(259 - head.size(), '\0'))));
    EXPECT_TRUE(IsMp4File(write("exact.mp4", head + QByteArray(260 - head.size(), '\0'))));
    EXPECT_FALSE(IsMp4File(write("other.mp4", box("free", QByteArray(300, '\0')))));
    EXPECT_FALSE(IsMp4File(dir.filePath("missing.mp4")));
}

// A FIFO named like a movie is no movie, and looking at it never waits for a writer. Each probe
// runs on a thread of its own; should one block, opening the FIFO for writing releases it.
TEST_F(Mp4Box, AFifoIsNoMovieAndNeverBlocks)
{
    const QString fifo = dir.filePath("A___-250101-120000-000123M.MOV");
    const QByteArray native = QFile::encodeName(fifo);
    ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
    const auto returnsPromptly = [&](const char* what, const std::function<bool()>& probe) {
        std::promise<bool> done;
        std::future<bool> result = done.get_future();
        std::thread worker([&] { done.set_value(probe()); });
        const bool prompt = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        if (!prompt) {
            const int writer = ::open(native.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        worker.join();
        EXPECT_TRUE(prompt) << what << " blocked on the FIFO";
        EXPECT_FALSE(result.get()) << what;
    };
    returnsPromptly("IsMp4File", [&] { return IsMp4File(fifo); });
    returnsPromptly("OpenMovieFile", [&] { return OpenMovieFile(fifo) != nullptr; });
    returnsPromptly("ProbeMovie", [&] { return ProbeMovie(fifo).has_value(); });
    returnsPromptly("ProbeFrameDurationMs", [&] { return ProbeFrameDurationMs(fifo).has_value(); });
}

TEST_F(Mp4Box, TreeListsAccessorsAndSizes)
{
    const QByteArray bytes = movie(box("mdat", QByteArray(9000, 'x')),
        trak(2, 3000, 48000, 144000, stsdAudio(), stts({{140, 1024}, {1, 640}}),
             table("stsz", {}, false) + table("stco", {100, 200}), "soun"));
    const QString path = write("m.mp4", bytes);
    QString error;
    auto m = OpenMovieFile(path, {}, &error);
    ASSERT_TRUE(m) << error.toStdString();
    EXPECT_EQ(m->fileSize, static_cast<uint64_t>(bytes.size()));
    ASSERT_EQ(m->root.children.size(), 3u);
    EXPECT_EQ(BoxSize(m->root), static_cast<uint64_t>(bytes.size()));
    for (const BoxNode& top : m->root.children)
        EXPECT_EQ(BoxSize(top), top.originalSize + 8);
    // Track-level lists hold one entry per track, the first track first.
    EXPECT_EQ(m->mdat.size(), 1u);
    EXPECT_EQ(m->mvhd.size(), 1u);
    EXPECT_EQ(m->tkhd.size(), 2u);
    EXPECT_EQ(m->mdhd.size(), 2u);
    EXPECT_EQ(m->stsd.size(), 2u);
    EXPECT_EQ(m->stts.size(), 2u);
    EXPECT_EQ(m->stsz.size(), 2u);
    EXPECT_EQ(m->stco.size(), 2u);
    EXPECT_TRUE(m->stss.empty());
    EXPECT_TRUE(m->elst.empty());
    EXPECT_EQ(ReadMvhdTimes(*m->mdhd[1])->timescale, 48000u);
    // stsd (version, then a count) and mdat stay leaves; mdat's payload is never copied.
    EXPECT_TRUE(m->stsd[0]->isLeaf);
    EXPECT_TRUE(m->stsd[0]->children.empty());
    EXPECT_TRUE(m->stsd[0]->payloadLoaded);
    EXPECT_TRUE(m->mdat[0]->isLeaf);
    EXPECT_FALSE(m->mdat[0]->payloadLoaded);
    EXPECT_EQ(m->mdat[0]->sourceOffset, static_cast<uint64_t>(ftyp().size() + 8));
    EXPECT_FALSE(m->root.children[2].isLeaf);  // moov
    const auto picture = GetPictureSize(*m);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 1920);
    EXPECT_EQ(picture->height, 1080);
    EXPECT_EQ(GetTotalSamples(*m), 90u);
    EXPECT_DOUBLE_EQ(GetFrameRate(*m).value(), 30.0);
    EXPECT_DOUBLE_EQ(GetMovieDurationMs(*m).value(), 3000.0);
    // Depth is written by the parser.
    EXPECT_EQ(m->stts[0]->depth, 6);
}

TEST_F(Mp4Box, MissingBoxesGiveNoValue)
{
    auto m = OpenMovieFile(write("bare.mp4", ftyp() + box("free", QByteArray(4, '\0'))));
    ASSERT_TRUE(m);
    EXPECT_FALSE(GetPictureSize(*m));
    EXPECT_FALSE(GetTotalSamples(*m));
    EXPECT_FALSE(GetFrameRate(*m));
    EXPECT_FALSE(GetMovieDurationMs(*m));
    // A truncated stsd or a stts whose count exceeds its entries is read only as far as it goes.
    auto t = OpenMovieFile(write("short-tables.mp4",
        ftyp() + box("moov", mvhd(600, 1200) + box("trak", tkhd(1, 1200)
            + box("mdia", box("minf", box("stbl", box("stsd", be32(0) + be32(1) + QByteArray(20, 'a'))
                + box("stts", be32(0) + be32(1000) + be32(7) + be32(1)))))))));
    ASSERT_TRUE(t);
    EXPECT_FALSE(GetPictureSize(*t));
    EXPECT_EQ(GetTotalSamples(*t), 7u);
    EXPECT_DOUBLE_EQ(GetFrameRate(*t).value(), 7.0 * 600 / 1200);
}

TEST_F(Mp4Box, VersionOneHeadersAreRead)
{
    const QByteArray tkhd1 = box("tkhd", be32(0x01000007) + be64(0) + be64(0) + be32(1) + be32(0)
                                             + be64(6000) + QByteArray(60, '\0'));
    const QByteArray bytes = ftyp() + box("moov", mvhdV1(2000, 6000) + box("trak", tkhd1
        + box("mdia", mdhd(30, 90) + box("minf", box("stbl", stts({{90, 1}}))))));
    auto m = OpenMovieFile(write("v1.mp4", bytes));
    ASSERT_TRUE(m);
    EXPECT_DOUBLE_EQ(GetMovieDurationMs(*m).value(), 3000.0);
    EXPECT_DOUBLE_EQ(GetFrameRate(*m).value(), 30.0);
}

TEST_F(Mp4Box, AccessorsReadTheVideoTrackWhenSoundComesFirst)
{
    const QByteArray bytes = ftyp() + box("moov", mvhd(1000, 3000)
        + trak(1, 3010, 48000, 144480, stsdAudio(), stts({{141, 1024}}), {}, "soun")
        + trak(2, 3000, 30000, 90000, stsdVideo(1280, 720), stts({{90, 1000}}), {}));
    auto m = OpenMovieFile(write("sound-first.mp4", bytes));
    ASSERT_TRUE(m);
    EXPECT_EQ(GetPictureSize(*m)->width, 1280);
    EXPECT_EQ(GetPictureSize(*m)->height, 720);
    EXPECT_EQ(GetTotalSamples(*m), 90u);
    EXPECT_DOUBLE_EQ(GetFrameRate(*m).value(), 30.0);
    // The path walk still reaches only the first track.
    uint32_t timescale = 0;
    MappedFile file;
    ASSERT_TRUE(file.open(m->file.path()));
    EXPECT_EQ(WalkPathAndCall(file, {}, nullptr, &timescale), ScanResult::Called);
    EXPECT_EQ(timescale, 48000u);
}

TEST_F(Mp4Box, SmallBoxesAreNeverDescendedInto)
{
    // A 12-byte box whose payload would read as a header, and a 16-byte one that is a container.
    const QByteArray bytes = ftyp() + box("udta", be32(8) + QByteArray("free", 0) + QByteArray("free", 4))
        + box("skip", QByteArray("\0\0\0\x08", 4)) ;
    auto m = OpenMovieFile(write("small.mp4", bytes));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->root.children.size(), 3u);
    EXPECT_TRUE(m->root.children[2].isLeaf);
    EXPECT_TRUE(m->root.children[2].children.empty());
    const QByteArray nested = ftyp() + box("udta", box("free", {}));
    auto n = OpenMovieFile(write("nested.mp4", nested));
    ASSERT_TRUE(n);
    ASSERT_EQ(n->root.children[1].children.size(), 1u);
    EXPECT_TRUE(n->root.children[1].children[0].is("free"));
}

TEST_F(Mp4Box, SixtyFourBitSizesAndSizeZeroToTheEnd)
{
    // mdat with a 64-bit size, then moov whose size field is 0 (to the end of the file).
    const QByteArray mdat = box64("mdat", QByteArray(5000, 'v'));
    QByteArray bytes = movie(mdat);
    const qsizetype moovAt = ftyp().size() + mdat.size();
    bytes.replace(moovAt, 4, be32(0));
    auto m = OpenMovieFile(write("large.mp4", bytes));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->mdat.size(), 1u);
    EXPECT_EQ(m->mdat[0]->headerSize, 16u);
    EXPECT_EQ(m->mdat[0]->size, 5000u);
    EXPECT_EQ(m->mdat[0]->sourceOffset, static_cast<uint64_t>(ftyp().size() + 16));
    EXPECT_EQ(m->root.children[2].originalSize, static_cast<uint64_t>(bytes.size() - moovAt - 8));
    EXPECT_EQ(GetTotalSamples(*m), 90u);
    // The direct probes read the same file.
    EXPECT_DOUBLE_EQ(ProbeMovieDurationMs(write("large2.mp4", bytes)).value(), 3000.0);
    EXPECT_NEAR(ProbeFrameDurationMs(write("large3.mp4", bytes)).value(), 1000.0 / 30, 1e-9);
}

TEST_F(Mp4Box, DamagedSizesFailTheOpen)
{
    const QByteArray good = movie(box("mdat", QByteArray(64, 'v')));
    const qsizetype mdatAt = ftyp().size();
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"truncated", good.left(good.size() - 10)});
    QByteArray small = good;
    small.replace(mdatAt, 4, be32(4));
    cases.push_back({"size below 8", small});
    QByteArray large = good;
    large.replace(mdatAt, 4, be32(1));  // 64-bit size field would be the payload: 'vvvvvvvv'
    cases.push_back({"64-bit size past the file", large});
    QByteArray largeSmall = ftyp() + be32(1) + "mdat" + be64(12) + QByteArray(8, 'v');
    cases.push_back({"64-bit size below its header", largeSmall});
    // A child that runs past its container (the file goes on).
    QByteArray overrun = ftyp() + box("moov", mvhd(1000, 1000)) + box("free", QByteArray(200, '\0'));
    overrun.replace(ftyp().size() + 8, 4, be32(140));
    cases.push_back({"child past its container", overrun});
    QByteArray zeroInside = ftyp() + box("moov", be32(0) + "mvhd" + QByteArray(100, '\0')) + box("free", {});
    zeroInside.replace(ftyp().size() + 8, 4, be32(2));
    cases.push_back({"size 2 inside a container", zeroInside});
    // A box of a type this reader does not know is no exception at the top level.
    QByteArray unknownPast = ftyp() + box("moov", mvhd(1000, 1000)) + box("XYZ1", QByteArray(12, '\0'));
    unknownPast.replace(unknownPast.size() - 20, 4, be32(1000));
    cases.push_back({"unknown top-level box past the file", unknownPast});
    QByteArray unknownSmall = ftyp() + box("wide", QByteArray(12, '\0'));
    unknownSmall.replace(ftyp().size(), 4, be32(3));
    cases.push_back({"unknown top-level box below its header", unknownSmall});
    for (const Case& c : cases) {
        QString error;
        const QString path = write(QString("bad-%1.mp4").arg(&c - cases.data()), c.bytes);
        const int64_t aliveBefore = NodesAlive();
        EXPECT_FALSE(OpenMovieFile(path, {}, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_EQ(NodesAlive(), aliveBefore) << c.name;
        EXPECT_FALSE(ProbeMovie(path)) << c.name;
    }
}

TEST_F(Mp4Box, UnknownTopLevelBoxesAreKeptAsOpaqueLeaves)
{
    // QuickTime's `wide` before mdat, and an unknown box after moov.
    const QByteArray bytes = ftyp() + box("wide", {}) + box("mdat", QByteArray(100, 'v'))
        + box("moov", mvhd(1000, 2000)) + box("XYZ1", QByteArray(12, '\0'));
    auto m = OpenMovieFile(write("wide.mov", bytes));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->root.children.size(), 5u);
    EXPECT_TRUE(m->root.children[1].is("wide"));
    EXPECT_TRUE(m->root.children[4].is("XYZ1"));
    EXPECT_TRUE(m->root.children[4].isLeaf);
    EXPECT_FALSE(m->root.isLeaf);
    EXPECT_EQ(m->mvhd.size(), 1u);
    EXPECT_EQ(BoxSize(m->root), static_cast<uint64_t>(bytes.size()));
    // An unknown top-level box whose payload reads as boxes stays opaque.
    auto u = OpenMovieFile(write("opaque.mp4", ftyp() + box("abcd", box("mvhd", QByteArray(100, '\0')))));
    ASSERT_TRUE(u);
    EXPECT_TRUE(u->root.children[1].children.empty());
    EXPECT_TRUE(u->mvhd.empty());
}

TEST_F(Mp4Box, DataThatIsNoBoxEndsAContainerAndIsKept)
{
    // At the top level: trailing bytes that are no box (implausible size) end the parse; the
    // boxes before them remain.
    const QByteArray head = ftyp() + box("moov", mvhd(1000, 2000));
    auto t = OpenMovieFile(write("trailer.mp4", head + QByteArray("\xff\xff\xff\xff\x01\x02", 6)));
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->root.isLeaf);
    EXPECT_EQ(t->root.children.size(), 2u);
    EXPECT_EQ(t->mvhd.size(), 1u);
    // Inside a box: `udta` whose first child is known, the second not (iTunes-style `\xa9nam`).
    const QByteArray udta = box("udta", box("free", {}) + box("\xa9nam", QByteArray("text", 4)));
    const QByteArray bytes = ftyp() + box("moov", mvhd(1000, 2000) + udta);
    auto m = OpenMovieFile(write("udta.mp4", bytes));
    ASSERT_TRUE(m);
    const BoxNode& u = m->root.children[1].children[1];
    ASSERT_TRUE(u.is("udta"));
    EXPECT_TRUE(u.isLeaf);
    ASSERT_EQ(u.children.size(), 1u);
    EXPECT_EQ(u.trailerSize, 12u);
    EXPECT_EQ(BoxSize(m->root), static_cast<uint64_t>(bytes.size()));
    // A payload that starts with a known type's header is a container; meta and the
    // telemetry box stay leaves because bytes 4..7 of their payload are no type.
    const QByteArray meta = box("meta", be32(0) + box("hdlr", QByteArray(25, '\0')));
    const QByteArray udat = box("udat", QByteArray("QVXDAT") + QByteArray(40, '0'));
    auto l = OpenMovieFile(write("leaves.mp4", ftyp() + box("moov", mvhd(1, 1) + meta) + udat));
    ASSERT_TRUE(l);
    EXPECT_TRUE(l->root.children[1].children[1].isLeaf);
    EXPECT_TRUE(l->root.children[1].children[1].children.empty());
    EXPECT_TRUE(l->root.children[2].isLeaf);
    EXPECT_TRUE(l->root.children[2].payloadLoaded);
}

TEST_F(Mp4Box, MemoryStaysBoundedOnHugeOrManyBoxes)
{
    // Leaves above the copy limit are not held in memory; their size still counts.
    const QByteArray bytes = movie(box("mdat", QByteArray(100, 'v')));
    OpenMovieOptions options;
    options.maxLoadedPayload = 24;
    auto m = OpenMovieFile(write("limit.mp4", bytes), options);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->root.children[0].payloadLoaded);  // ftyp, 24 bytes
    ASSERT_EQ(m->stsd.size(), 1u);
    EXPECT_FALSE(m->stsd[0]->payloadLoaded);
    EXPECT_FALSE(GetPictureSize(*m));
    EXPECT_EQ(BoxSize(m->root), static_cast<uint64_t>(bytes.size()));
    // A file of a quarter of a million empty boxes is refused rather than held.
    QByteArray many = ftyp();
    const QByteArray empty = box("free", {});
    for (int i = 0; i < 250000; ++i)
        many += empty;
    QString error;
    EXPECT_FALSE(OpenMovieFile(write("many.mp4", many), {}, &error));
    EXPECT_TRUE(error.contains("too many")) << error.toStdString();
}

TEST_F(Mp4Box, DirectProbes)
{
    // An mdat whose payload holds "mvhd" bytes must be skipped; the real mvhd comes later.
    const QByteArray fake = QByteArray("junkmvhd") + be32(0) + be32(0) + be32(0) + be32(1) + be32(99)
        + QByteArray(64, '\0');
    const QByteArray bytes = movie(box("mdat", fake),
        trak(2, 3000, 48000, 144000, stsdAudio(), stts({{10, 1024}}), {}, "soun"));
    const QString path = write("probe.mp4", bytes);
    EXPECT_DOUBLE_EQ(ProbeMovieDurationMs(path).value(), 3000.0);
    MappedFile file;
    ASSERT_TRUE(file.open(path));
    // The path walk reaches only the first track's stts.
    uint32_t timescale = 0;
    std::vector<uint8_t> seen;
    EXPECT_EQ(WalkPathAndCall(file, [&](const uint8_t* p, size_t n) { seen.assign(p, p + n); },
                              nullptr, &timescale), ScanResult::Called);
    EXPECT_EQ(timescale, 30000u);
    ASSERT_EQ(seen.size(), 16u);
    EXPECT_EQ(ReadBE32(seen.data() + 8), 90u);
    EXPECT_NEAR(ProbeFrameDurationMs(path).value(), 1000.0 / 30.0, 1e-9);
    // Frame duration without a track timescale: movie seconds / samples.
    EXPECT_NEAR(FrameDurationFromStts(seen.data(), seen.size(), 0, 3.0).value(), 1000.0 / 30.0, 1e-9);
    EXPECT_FALSE(FrameDurationFromStts(seen.data(), 7, 30000, 3.0));
    // A set cancel flag fails the scan and is cleared.
    std::atomic<bool> cancel{true};
    EXPECT_EQ(FindAndCall(file, "mvhd", {}, &cancel), ScanResult::Failed);
    EXPECT_FALSE(cancel.load());
    cancel = true;
    EXPECT_EQ(WalkPathAndCall(file, {}, &cancel), ScanResult::Failed);
    EXPECT_EQ(FindAndCall(file, "zzzz", {}), ScanResult::NotFound);
    // mdat of size 0 runs to the end: nothing after it to find.
    QByteArray toEnd = ftyp() + be32(0) + "mdat" + QByteArray("mvhd", 4) + QByteArray(100, '\0');
    MappedFile f2;
    ASSERT_TRUE(f2.open(write("toend.mp4", toEnd)));
    EXPECT_EQ(FindAndCall(f2, "mvhd", {}), ScanResult::NotFound);
    // A callback near the end of a file gets only the bytes that exist.
    MappedFile f3;
    ASSERT_TRUE(f3.open(write("tail.mp4", ftyp() + QByteArray("\0\0\0\x0cmvhd\1\2\3\4", 12))));
    size_t available = 99;
    EXPECT_EQ(FindAndCall(f3, "mvhd", [&](const uint8_t*, size_t n) { available = n; }), ScanResult::Called);
    EXPECT_EQ(available, 4u);
    EXPECT_FALSE(MovieSecondsFromMvhd(nullptr, 0));
}

TEST_F(Mp4Box, ProgressAndNodeCounters)
{
    const QString path = write("count.mp4", movie(box("mdat", QByteArray(10, 'v'))));
    ResetNodeCounters();
    std::vector<std::pair<int64_t, int64_t>> calls;
    OpenMovieOptions options;
    options.progressEnabled = true;
    options.progress = [&](int64_t done, int64_t total) { calls.emplace_back(done, total); };
    auto m = OpenMovieFile(path, options);
    ASSERT_TRUE(m);
    const int64_t nodes = m->nodeCount;
    EXPECT_EQ(NodesAlive(), nodes);
    EXPECT_EQ(NodeTotal(), nodes);
    CloseMovieFile(m);
    EXPECT_EQ(NodesAlive(), 0);
    ASSERT_EQ(static_cast<int64_t>(calls.size()), nodes - 1);  // every node but the root
    const auto total = static_cast<int64_t>(static_cast<double>(nodes) * 1.1);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, total);
        EXPECT_EQ(calls[i].first, total - (nodes - 1 - static_cast<int64_t>(i)));
    }
}

TEST_F(Mp4Box, SparseFileBeyondFourGiB)
{
    // ftyp, a 4.5 GiB mdat with a 64-bit size (sparse), then moov past the 4 GiB mark.
    const QString path = dir.filePath("huge.mp4");
    const uint64_t mdatPayload = 4608ull << 20;
    const QByteArray head = ftyp() + be32(1) + "mdat" + be64(mdatPayload + 16);
    const QByteArray moov = box("moov", mvhd(1000, 60000)
        + trak(1, 60000, 30000, 1800000, stsdVideo(1920, 1080), stts({{1800, 1000}}), {}));
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const uint64_t moovAt = static_cast<uint64_t>(head.size()) + mdatPayload;
    const bool written = ::pwrite(fd, head.constData(), static_cast<size_t>(head.size()), 0) == head.size()
        && ::pwrite(fd, moov.constData(), static_cast<size_t>(moov.size()), static_cast<off_t>(moovAt)) == moov.size();
    ::close(fd);
    ASSERT_TRUE(written);
    auto m = OpenMovieFile(path);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->fileSize, moovAt + static_cast<uint64_t>(moov.size()));
    EXPECT_EQ(m->mdat[0]->size, mdatPayload);
    ASSERT_EQ(m->mvhd.size(), 1u);
    EXPECT_EQ(m->mvhd[0]->sourceOffset, moovAt + 16);
    EXPECT_EQ(GetTotalSamples(*m), 1800u);
    EXPECT_DOUBLE_EQ(GetFrameRate(*m).value(), 30.0);
    EXPECT_EQ(BoxSize(m->root), m->fileSize);
    EXPECT_DOUBLE_EQ(ProbeMovieDurationMs(path).value(), 60000.0);
    EXPECT_NEAR(ProbeFrameDurationMs(path).value(), 1000.0 / 30, 1e-9);
    EXPECT_TRUE(IsMp4File(path));
    // A 32-bit size field cannot describe it: the same file with size 0 for mdat and the moov
    // inside it is read as media data to the end.
    MappedFile file;
    ASSERT_TRUE(file.open(path));
    MappedFile::Window w = file.map(moovAt + 4, 4);
    ASSERT_TRUE(w.valid());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(w.data()), 4), "moov");
    EXPECT_FALSE(file.map(file.size(), 1).valid());
    EXPECT_EQ(file.map(file.size() - 2, 100).size(), 2u);
    uint8_t b[4];
    EXPECT_FALSE(file.read(file.size() - 2, b, 4));
}

// ---- Movies made by ffmpeg, against ffprobe ---------------------------------------------------

QJsonObject ffprobe(const QString& path)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                        "stream=width,height,nb_read_packets,avg_frame_rate", "-of", "json", path});
    p.waitForFinished(60000);
    const auto streams = QJsonDocument::fromJson(p.readAllStandardOutput()).object()["streams"].toArray();
    return streams.isEmpty() ? QJsonObject{} : streams[0].toObject();
}

double rate(const QString& fraction)
{
    const auto parts = fraction.split('/');
    return parts.size() == 2 && parts[1].toDouble() != 0 ? parts[0].toDouble() / parts[1].toDouble() : 0;
}

TEST_F(Mp4Box, ProbeAgreesWithFfprobe)
{
    ASSERT_TRUE(havePrograms({"ffprobe"}));
    struct Kind {
        const char* name;
        QString format;
        bool recorder, faststart;
        double fps;
    };
    const Kind kinds[] = {{"recorder.MOV", "mov", true, false, 30.0},
                          {"plain.mp4", "mp4", false, false, 30.0},
                          {"plain.mov", "mov", false, false, 15.0},
                          {"fast.mp4", "mp4", false, true, 27.5}};
    for (const Kind& k : kinds) {
        samples::SampleMovieOptions o;
        o.width = 320;
        o.height = 240;
        o.seconds = 2;
        o.fps = k.fps;
        o.format = k.format;
        o.recorderLayout = k.recorder;
        o.faststart = k.faststart;
        if (k.recorder) {
            samples::TelemetryOptions t;
            t.records = 20;
            t.start = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
            o.telemetryBlock = samples::MakeTelemetryBlock(t);
        }
        const QString path = dir.filePath(k.name);
        QString error;
        ASSERT_TRUE(samples::WriteSampleMovie(path, o, &error)) << error.toStdString();
        const RunResult r = runRavir({"probe", path});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonObject probe = QJsonDocument::fromJson(r.out).object();
        const QJsonObject ref = ffprobe(path);
        ASSERT_FALSE(ref.isEmpty()) << k.name;
        EXPECT_TRUE(probe["is_mp4"].toBool()) << k.name;
        EXPECT_EQ(probe["width"].toInt(), ref["width"].toInt()) << k.name;
        EXPECT_EQ(probe["height"].toInt(), ref["height"].toInt()) << k.name;
        EXPECT_EQ(probe["total_samples"].toInt(), ref["nb_read_packets"].toString().toInt()) << k.name;
        EXPECT_NEAR(probe["frame_rate"].toDouble(), rate(ref["avg_frame_rate"].toString()), 0.05) << k.name;
        EXPECT_NEAR(probe["frame_ms"].toDouble(), 1000.0 / k.fps, 0.01) << k.name;
        EXPECT_NEAR(probe["duration"].toDouble(), 2000.0, 50.0) << k.name;
        const QJsonArray list = probe["boxes"].toArray();
        QStringList top;
        for (const auto& b : list)
            if (b.toObject()["depth"].toInt() == 1)
                top << b.toObject()["type"].toString();
        EXPECT_TRUE(top.contains("moov") && top.contains("mdat")) << k.name;
        if (k.recorder) {
            EXPECT_EQ(top.last(), "udat");
        }
        if (k.faststart) {
            EXPECT_LT(top.indexOf("moov"), top.indexOf("mdat"));
        }
    }
    const RunResult bad = runRavir({"probe", dir.filePath("none.mp4")});
    EXPECT_NE(bad.exitCode, 0);
}

// The one stts reader: every run that the payload holds, in order, and whether the table is whole.
// The accessors and the frame-duration probe take what is there; the joined save refuses a table
// that is not whole.
TEST(SttsTable, DecodeReadsWhatThePayloadHolds)
{
    using Runs = std::vector<std::pair<uint32_t, uint32_t>>;
    auto payload = [](uint32_t declared, const Runs& runs, size_t cut = 0) {
        std::vector<uint8_t> p(8 + runs.size() * 8);
        WriteBE32(p.data() + 4, declared);
        for (size_t i = 0; i < runs.size(); ++i) {
            WriteBE32(p.data() + 8 + i * 8, runs[i].first);
            WriteBE32(p.data() + 12 + i * 8, runs[i].second);
        }
        p.resize(p.size() - cut);
        return p;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        bool decoded;
        Runs runs;
        bool complete;
    } cases[] = {
        {"empty table", payload(0, {}), true, {}, true},
        {"two runs", payload(2, {{90, 1001}, {1, 2002}}), true, {{90, 1001}, {1, 2002}}, true},
        {"zero-count run kept", payload(2, {{0, 5}, {3, 7}}), true, {{0, 5}, {3, 7}}, true},
        {"declares more than it holds", payload(3, {{90, 1001}}), true, {{90, 1001}}, false},
        {"last run cut short", payload(2, {{90, 1001}, {4, 4}}, 1), true, {{90, 1001}}, false},
        {"huge count, no runs", payload(0xFFFFFFFFu, {}), true, {}, false},
        {"shorter than the header", payload(0, {}, 1), false, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto table = DecodeStts(c.bytes.data(), c.bytes.size());
        ASSERT_EQ(table.has_value(), c.decoded);
        if (!table)
            continue;
        EXPECT_EQ(table->runs, c.runs);
        EXPECT_EQ(table->complete, c.complete);
    }
    EXPECT_FALSE(DecodeStts(nullptr, 64));
    // The frame duration is the mean over the runs that are there.
    const auto mixed = payload(2, {{3, 1000}, {1, 2000}});
    EXPECT_NEAR(FrameDurationFromStts(mixed.data(), mixed.size(), 1000, 0).value(), 1250.0, 1e-9);
    const auto cut = payload(2, {{3, 1000}, {1, 2000}}, 8);
    EXPECT_NEAR(FrameDurationFromStts(cut.data(), cut.size(), 1000, 0).value(), 1000.0, 1e-9);
}

}  // namespace
}  // namespace ravir::test
