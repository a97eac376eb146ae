// Sample cards read back on their own terms: the recorder's naming grammar and folders, the
// telemetry block byte by byte, the box order of the movies and what ffprobe sees in them. None
// of this uses the writer's own code beyond asking it for a card.
#include "media_probe.h"
#include "sample_data.h"
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
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <unistd.h>

using namespace ravir::test;
namespace samples = ravir::samples;

namespace {

const QRegularExpression& nameGrammar()
{
    static const QRegularExpression re(
        QStringLiteral("^([APT_])([GM_])([ORT_])([S_])-(\\d{6})-(\\d{6})-(\\d{6})([MSD])\\.(MOV|DMY|ADA|TDA)$"));
    return re;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool isDigits(const QByteArray& b)
{
    if (b.isEmpty())
        return false;
    for (char c : b)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool isThousandths(const QByteArray& b)  // "+0123" / "-0123"
{
    return b.size() == 5 && (b[0] == '+' || b[0] == '-') && isDigits(b.mid(1));
}

// A telemetry block parsed the long way.
struct Block {
    QString problem;  // empty when the layout is right
    QByteArray header;
    int count = 0;
    std::vector<QByteArray> records;
    uint8_t mark = 0;
    QByteArray recorderNumber;
};

Block parseBlock(const QByteArray& b)
{
    Block out;
    if (b.size() < 48 || !b.startsWith("QVXDAT")) {
        out.problem = "no magic or too short";
        return out;
    }
    out.header = b.mid(6, 26);
    out.count = qFromBigEndian<quint16>(b.constData() + 32);
    const qsizetype end = 34 + 124 * static_cast<qsizetype>(out.count);
    if (b.size() != end + 14) {
        out.problem = QStringLiteral("size %1, expected %2").arg(b.size()).arg(end + 14);
        return out;
    }
    for (int k = 0; k < out.count; ++k)
        out.records.push_back(b.mid(34 + 124 * k, 124));
    out.mark = static_cast<uint8_t>(b[end]);
    if (b.mid(end + 2, 6) != "QVXEND")
        out.problem = "no end magic after the records";
    out.recorderNumber = b.mid(end + 8, 6);
    return out;
}

// Checks the fields of one record; returns a description of the first problem.
QString recordProblem(const QByteArray& r)
{
    if (r.size() != 124)
        return "size";
    const char status = r[5];
    if (status == 'A') {
        static const QRegularExpression lat("^\\d{4}\\.\\d{4}$"), lon("^\\d{5}\\.\\d{4}$");
        if (!lat.match(QString::fromLatin1(r.mid(6, 9))).hasMatch() || r[15] != 'N')
            return "latitude " + QString::fromLatin1(r.mid(6, 10));
        if (!lon.match(QString::fromLatin1(r.mid(16, 10))).hasMatch() || r[26] != 'E')
            return "longitude " + QString::fromLatin1(r.mid(16, 11));
        if (!isDigits(r.mid(27, 4)))
            return "speed";
        const double minutes = r.mid(8, 7).toDouble();
        if (minutes >= 60.0)
            return "latitude minutes";
    } else if (status == 'V') {
        if (!r.mid(6, 25).trimmed().isEmpty())  // position and speed are blank
            return "outage record holds a position";
    } else {
        return "GPS status";
    }
    if (!isDigits(r.mid(31, 12)))
        return "date";
    if (r[44] != '*' && !isDigits(r.mid(44, 3)))
        return "added seconds";
    if (!isDigits(r.mid(48, 3)))
        return "voltage";
    for (int off : {57, 62, 67})
        if (!isThousandths(r.mid(off, 5)))
            return QStringLiteral("acceleration at %1").arg(off);
    for (int off : {72, 75, 76})
        if (r[off] != ' ' && r[off] != 'D')
            return QStringLiteral("event letter at %1").arg(off);
    if (r[73] != ' ' && r[73] != 'X' && r[73] != 'Y' && r[73] != 'Z')
        return "axis letter";
    if (r[122] != 'R' && r[122] != 'r')
        return "status byte";
    return {};
}

struct Name {
    QString file;
    QString letters;  // positions 0..3
    QString date, time;
    int number = -1;
    QChar camera;
    QString ext;
};

std::optional<Name> parseName(const QString& file)
{
    const auto m = nameGrammar().match(file);
    if (!m.hasMatch())
        return std::nullopt;
    Name n;
    n.file = file;
    n.letters = m.captured(1) + m.captured(2) + m.captured(3) + m.captured(4);
    n.date = m.captured(5);
    n.time = m.captured(6);
    n.number = m.captured(7).toInt();
    n.camera = m.captured(8)[0];
    n.ext = m.captured(9);
    return n;
}

bool isTimeLapse(const QString& letters) { return letters[0] == 'T' || letters[2] == 'T'; }
bool hasKind(const QString& letters) { return letters[0] != '_' || letters[2] == 'T'; }
bool isParkingKind(const QString& letters)
{
    return letters[0] == 'P' || (letters[0] == '_' && letters[2] == 'T');
}

// Groups of main movies by the recorder's rule: consecutive numbers, at most 200, a fourth
// letter S opens a new group; walked in the order of the number text.
std::vector<int> groupSizes(QStringList mainNames)
{
    std::sort(mainNames.begin(), mainNames.end(),
              [](const QString& a, const QString& b) { return a.mid(19, 6) < b.mid(19, 6); });
    std::vector<int> sizes;
    int previous = -2;
    for (const QString& n : mainNames) {
        const int number = n.mid(19, 6).toInt();
        if (sizes.empty() || sizes.back() >= 200 || n[3] == 'S' || number != previous + 1)
            sizes.push_back(0);
        ++sizes.back();
        previous = number;
    }
    return sizes;
}

void checkTopBoxes(const QString& path, const QByteArray& expectedUdat)
{
    const auto boxes = topLevelBoxes(path);
    ASSERT_EQ(boxes.size(), 4u) << path.toStdString();
    EXPECT_EQ(boxes[0].type, "ftyp");
    EXPECT_EQ(boxes[1].type, "mdat");
    EXPECT_EQ(boxes[2].type, "moov");
    EXPECT_EQ(boxes[3].type, "udat");
    if (!expectedUdat.isEmpty()) {
        EXPECT_EQ(boxes[3].payload, expectedUdat) << path.toStdString();
    }
    EXPECT_EQ(boxes[3].offset + boxes[3].size, QFileInfo(path).size());
}

}  // namespace

class SmallCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { root_ = smallCard(0); }
    static QString root_;
};
QString SmallCard::root_;

TEST_F(SmallCard, FoldersNamesAndCompanionFilesFollowTheRecorder)
{
    ASSERT_FALSE(root_.isEmpty());
    const QDir root(root_);
    EXPECT_EQ(root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"Normal", "Parking", "_NData", "_PData"}));
    EXPECT_EQ(root.entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"ZU590-MVS_download.url", "pvtrace.txt"}));
    EXPECT_TRUE(readAll(root.filePath("ZU590-MVS_download.url")).startsWith("[InternetShortcut]"));

    QSet<QString> combos;
    int deleted = 0, missingTelemetry = 0;
    for (const auto& [movies, data] : {std::pair{"Normal", "_NData"}, std::pair{"Parking", "_PData"}}) {
        const QString movieDir = root.filePath(movies);
        const QString dataDir = root.filePath(data);
        for (const QString& f : filesIn(movieDir)) {
            const auto n = parseName(f);
            ASSERT_TRUE(n) << "bad name " << f.toStdString();
            EXPECT_FALSE(f.startsWith('.'));
            EXPECT_TRUE(n->ext == "MOV" || n->ext == "DMY") << f.toStdString();
            EXPECT_EQ(isParkingKind(n->letters), QString(movies) == "Parking") << f.toStdString();
            if (n->camera == 'S') {
                EXPECT_EQ(n->ext, "MOV");  // the sub camera's movie is never renamed
                EXPECT_TRUE(QFileInfo::exists(movieDir + "/" + f.left(25) + "M.MOV") ||
                            QFileInfo::exists(movieDir + "/" + f.left(25) + "M.DMY"));
                continue;
            }
            ASSERT_EQ(n->camera, 'M');
            combos.insert(n->letters.left(3));
            EXPECT_TRUE(QFileInfo::exists(movieDir + "/" + f.left(25) + "S.MOV")) << f.toStdString();
            const bool isDeleted = n->ext == "DMY";
            deleted += isDeleted;
            const QString data1 = dataDir + "/" + f.left(25) + (isDeleted ? "D.TDA" : "D.ADA");
            if (!QFileInfo::exists(data1)) {
                ++missingTelemetry;
                EXPECT_FALSE(isDeleted);
            }
        }
        for (const QString& f : filesIn(dataDir)) {
            const auto n = parseName(f);
            ASSERT_TRUE(n) << "bad name " << f.toStdString();
            EXPECT_EQ(n->camera, 'D');
            EXPECT_TRUE(QFileInfo::exists(movieDir + "/" + f.left(25) +
                                          (n->ext == "TDA" ? "M.DMY" : "M.MOV")))
                << f.toStdString();
        }
    }
    // Every combination of the first three letters: 4 modes x 3 events x 4 third letters.
    EXPECT_EQ(combos.size(), 48);
    EXPECT_GE(deleted, 2);
    EXPECT_EQ(missingTelemetry, 1);
}

TEST_F(SmallCard, NumbersMakeRunsGapsSplitsWrapAndFullGroups)
{
    ASSERT_FALSE(root_.isEmpty());
    QStringList normal, parking;
    for (const QString& f : filesIn(root_ + "/Normal"))
        if (f.endsWith("M.MOV") && hasKind(f.left(4)))
            normal << f;
    for (const QString& f : filesIn(root_ + "/Parking"))
        if (f.endsWith("M.MOV"))
            parking << f;
    QSet<int> numbers;
    for (const QString& f : normal)
        numbers.insert(f.mid(19, 6).toInt());
    int splitsInRuns = 0;
    for (const QString& f : normal)
        splitsInRuns += f[3] == 'S' && numbers.contains(f.mid(19, 6).toInt() - 1);
    EXPECT_EQ(splitsInRuns, 1) << "a fourth letter S inside a run of numbers";
    EXPECT_TRUE(numbers.contains(999998));
    EXPECT_TRUE(numbers.contains(999999));
    EXPECT_TRUE(numbers.contains(0));
    EXPECT_TRUE(numbers.contains(1));
    EXPECT_FALSE(numbers.contains(106)) << "the gap after the first run";
    const auto normalGroups = groupSizes(normal);
    EXPECT_GE(normalGroups.size(), 5u);
    EXPECT_EQ(normalGroups.front(), 3) << "000000 to 000002 sort first";
    EXPECT_EQ(normalGroups.back(), 2) << "999998 and 999999 end the walk in a group of their own";

    // The long parking run: 205 consecutive recordings make a full group of 200 and the rest.
    const auto parkingGroups = groupSizes(parking);
    EXPECT_NE(std::find(parkingGroups.begin(), parkingGroups.end(), 200), parkingGroups.end());
    EXPECT_NE(std::find(parkingGroups.begin(), parkingGroups.end(), 5), parkingGroups.end());
}

TEST_F(SmallCard, TelemetryBlocksFollowTheByteLayoutAndCarryTheDrive)
{
    ASSERT_FALSE(root_.isEmpty());
    int files = 0, outages = 0, axisEvents = 0, manual = 0, emergency = 0, parkingLetters = 0,
        resetMarks = 0, movingRecords = 0;
    QString newest;
    QByteArray newestFirmware, newestNumber;
    for (const QString data : {"_NData", "_PData"}) {
        for (const QString& f : filesIn(root_ + "/" + data)) {
            const auto n = parseName(f);
            ASSERT_TRUE(n);
            const QByteArray bytes = readAll(root_ + "/" + data + "/" + f);
            const Block b = parseBlock(bytes);
            ASSERT_TRUE(b.problem.isEmpty()) << f.toStdString() << ": " << b.problem.toStdString();
            ++files;
            // Header: four four-digit numbers, kind letter, firmware digits.
            for (int i = 0; i < 4; ++i)
                EXPECT_TRUE(isDigits(b.header.mid(i * 4, 4)));
            EXPECT_TRUE(b.header[16] == 'M' || b.header[16] == 'D');
            EXPECT_EQ(b.header.mid(17, 6), "010502");
            EXPECT_TRUE(isDigits(b.recorderNumber));
            // Ten records a second of movie, fifteen for time-lapse names (all movies are 1 s
            // here except the short ones).
            const bool shortMovie = n->letters == "A___" && n->date == "250314" && n->time >= "080500";
            if (!shortMovie) {
                EXPECT_EQ(b.count, isTimeLapse(n->letters) ? 15 : 10) << f.toStdString();
            }
            // The first record carries the start time of the name.
            ASSERT_FALSE(b.records.empty());
            EXPECT_EQ(b.records[0].mid(31, 12), (n->date + n->time).toLatin1()) << f.toStdString();
            const double threshold[3] = {b.header.mid(0, 4).toDouble() / 1000,
                                         b.header.mid(4, 4).toDouble() / 1000,
                                         b.header.mid(8, 4).toDouble() / 1000};
            bool hasManual = false, hasParking = false;
            for (const QByteArray& r : b.records) {
                const QString p = recordProblem(r);
                ASSERT_TRUE(p.isEmpty()) << f.toStdString() << ": " << p.toStdString();
                outages += r[5] == 'V';
                movingRecords += r[5] == 'A' && r.mid(27, 4).toInt() > 0;
                if (r[73] != ' ') {
                    ++axisEvents;
                    const int axis = r[73] - 'X';
                    const double g = r.mid(57 + 5 * axis, 5).toDouble() / 1000;
                    EXPECT_GE(std::abs(g), threshold[axis]) << f.toStdString();
                    EXPECT_EQ(n->letters[1], 'G') << "axis events only in impact recordings";
                }
                hasManual |= r[72] == 'D';
                emergency += r[75] == 'D';
                hasParking |= r[76] == 'D';
            }
            EXPECT_EQ(hasManual, n->letters[1] == 'M') << f.toStdString();
            EXPECT_EQ(hasParking, isParkingKind(n->letters)) << f.toStdString();
            manual += hasManual;
            parkingLetters += hasParking;
            resetMarks += b.mark == 1;
            if (b.mark == 1) {
                EXPECT_EQ(n->date, "000101");
            }
            if (n->ext == "ADA" && data == QString("_NData") && (newest.isEmpty() || f.mid(19, 6) > newest.mid(19, 6))) {
                newest = f;
                newestFirmware = b.header.mid(17, 6);
                newestNumber = b.recorderNumber;
            }
        }
    }
    EXPECT_GT(files, 250);
    EXPECT_GT(outages, 0);
    EXPECT_GT(axisEvents, 0);
    EXPECT_GT(manual, 0);
    EXPECT_GT(emergency, 0);
    EXPECT_GT(parkingLetters, 0);
    EXPECT_GT(movingRecords, 100);
    EXPECT_EQ(resetMarks, 1);
    // What the recorder information is read from: the highest file number's block.
    EXPECT_EQ(newestFirmware, "010502");
    EXPECT_EQ(newestNumber, "231015");
}

TEST_F(SmallCard, MoviesHaveTheRecorderBoxOrderAndTheirTelemetryInUdat)
{
    ASSERT_FALSE(root_.isEmpty());
    for (const auto& [movies, data] : {std::pair{"Normal", "_NData"}, std::pair{"Parking", "_PData"}}) {
        for (const QString& f : filesIn(root_ + "/" + movies)) {
            const QString path = root_ + "/" + movies + "/" + f;
            QByteArray telemetry;
            if (f.endsWith("M.MOV"))
                telemetry = readAll(root_ + "/" + data + "/" + f.left(25) + "D.ADA");
            else if (f.endsWith("M.DMY"))
                telemetry = readAll(root_ + "/" + data + "/" + f.left(25) + "D.TDA");
            checkTopBoxes(path, telemetry);
            if (!telemetry.isEmpty() || f.endsWith("S.MOV"))
                continue;
            // The recording without a telemetry file still carries a block in its movie.
            const auto boxes = topLevelBoxes(path);
            ASSERT_EQ(boxes.size(), 4u);
            EXPECT_TRUE(parseBlock(boxes[3].payload).problem.isEmpty());
        }
    }
}

TEST_F(SmallCard, FfprobeSeesTheExpectedStreamsAndFrames)
{
    ASSERT_FALSE(root_.isEmpty());
    QString mainMovie, subMovie, lapse;
    QStringList shortOnes;
    for (const QString& f : filesIn(root_ + "/Normal")) {
        if (f.startsWith("AG__-250314") && f.endsWith("M.MOV")) mainMovie = f;
        if (f.startsWith("AG__-250314") && f.endsWith("S.MOV")) subMovie = f;
        if (f.startsWith("T___") && f.endsWith("M.MOV")) lapse = f;
    }
    ASSERT_FALSE(mainMovie.isEmpty());
    const ProbeFacts m = probeVideo(root_ + "/Normal/" + mainMovie);
    EXPECT_EQ(m.videoCodec, "h264");
    EXPECT_EQ(m.audioCodec, "aac");
    EXPECT_EQ(m.width, 320);
    EXPECT_EQ(m.height, 180);
    EXPECT_EQ(m.rate, "30/1");
    EXPECT_EQ(m.frames, 30);
    const ProbeFacts s = probeVideo(root_ + "/Normal/" + subMovie);
    EXPECT_EQ(s.width, 160);
    EXPECT_EQ(s.height, 90);
    EXPECT_EQ(s.frames, 30);
    const ProbeFacts t = probeVideo(root_ + "/Normal/" + lapse);
    EXPECT_EQ(t.rate, "15/1");
    EXPECT_EQ(t.frames, 15);
    EXPECT_EQ(frameNumberAt(root_ + "/Normal/" + mainMovie, 17), 17);
    EXPECT_EQ(frameNumberAt(root_ + "/Normal/" + lapse, 14), 14);

    // The short recordings: 2 s, 1 s, 0.5 s and a single frame.
    std::multiset<long long> shortFrames;
    for (const QString& f : filesIn(root_ + "/Normal")) {
        if (f.startsWith("A___-250314") && f.endsWith("M.MOV") && f.mid(12, 6) >= "080500")
            shortFrames.insert(probeVideo(root_ + "/Normal/" + f).frames);
    }
    EXPECT_EQ(shortFrames, (std::multiset<long long>{1, 15, 30, 60}));
}

TEST(SampleCardForms, LayoutOneTwoCameraFormKeepsTelemetryBesideTheMainMovies)
{
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.layout = 1;
    o.twoCamera = true;
    o.allKinds = false;
    QString error;
    const QString root = sampleCard("small-layout1-two-camera", o, &error);
    ASSERT_FALSE(root.isEmpty()) << error.toStdString();
    EXPECT_EQ(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"Parking", "Video", "_PData", "_VData"}));
    for (const QString folder : {"Video", "Parking"}) {
        EXPECT_EQ(QDir(root + "/" + folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                  (QStringList{"Main", "Sub_"}));
        const QStringList mains = filesIn(root + "/" + folder + "/Main");
        const QStringList subs = filesIn(root + "/" + folder + "/Sub_");
        ASSERT_FALSE(mains.isEmpty());
        int movies = 0;
        for (const QString& f : mains) {
            const auto n = parseName(f);
            ASSERT_TRUE(n) << f.toStdString();
            EXPECT_NE(n->camera, 'S');
            if (n->ext != "MOV")
                continue;
            ++movies;
            EXPECT_TRUE(subs.contains(f.left(25) + "S.MOV")) << f.toStdString();
            const QString ada = root + "/" + folder + "/Main/" + f.left(25) + "D.ADA";
            if (QFileInfo::exists(ada))
                checkTopBoxes(root + "/" + folder + "/Main/" + f, readAll(ada));
        }
        EXPECT_GT(movies, 1);
        for (const QString& f : subs)
            EXPECT_TRUE(f.endsWith("S.MOV")) << f.toStdString();
    }
}

TEST(SampleCardForms, SameSeedSameBytesOtherSeedOtherTelemetry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.allKinds = false;
    o.subCamera = false;
    o.mainWidth = 64;
    o.mainHeight = 36;
    o.seed = 7;
    QString error;
    ASSERT_TRUE(samples::WriteSampleCard(dir.filePath("a"), o, nullptr, &error)) << error.toStdString();
    ASSERT_TRUE(samples::WriteSampleCard(dir.filePath("b"), o, nullptr, &error)) << error.toStdString();
    o.seed = 8;
    ASSERT_TRUE(samples::WriteSampleCard(dir.filePath("c"), o, nullptr, &error)) << error.toStdString();
    int compared = 0, telemetryDiffers = 0;
    QDirIterator it(dir.filePath("a"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString a = it.next();
        const QString rel = QDir(dir.filePath("a")).relativeFilePath(a);
        EXPECT_EQ(readAll(a), readAll(dir.filePath("b/" + rel))) << rel.toStdString();
        if (rel.endsWith(".ADA"))
            telemetryDiffers += readAll(a) != readAll(dir.filePath("c/" + rel));
        ++compared;
    }
    EXPECT_GT(compared, 10);
    EXPECT_GT(telemetryDiffers, 0);
}

TEST(SampleCardCli, SummaryMatchesTheDiskAndBenchmarkCardsAreTiny)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto r = runRavir({"make-sample-card", dir.filePath("bench"), "--count", "300", "--tiny",
                             "--no-audio"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject j = QJsonDocument::fromJson(r.out).object();
    const QJsonArray files = j.value("files").toArray();
    EXPECT_EQ(j.value("file_count").toInt(), files.size());
    EXPECT_LE(j.value("encodings").toInt(), 4);
    int mains = 0, telemetry = 0;
    qint64 total = 0;
    // Telemetry files keep the names the recorder gives them; they are hidden through the DOS
    // attribute where the filesystem has one, and stay visible elsewhere.
    const bool dos = ravir::HasDosAttributes(dir.path());
    EXPECT_EQ(j.value("dos_attributes").toBool(), dos);
    for (const QJsonValue& v : files) {
        const QJsonObject f = v.toObject();
        const QString path = dir.filePath("bench/" + f.value("path").toString());
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        if (f.value("role") == "telemetry") {
            ++telemetry;
            EXPECT_TRUE(path.endsWith("D.ADA"));
            EXPECT_EQ(f.value("hidden").toBool(), dos);
            EXPECT_EQ(ravir::IsHidden(path), dos) << path.toStdString();
        } else if (f.value("role") == "main" || f.value("role") == "sub") {
            EXPECT_FALSE(ravir::IsHidden(path)) << path.toStdString();
        }
        EXPECT_EQ(QFileInfo(path).size(), f.value("size").toInteger());
        total += f.value("size").toInteger();
        if (f.value("role") == "main") {
            ++mains;
            EXPECT_LT(f.value("size").toInteger(), 64 * 1024);
            EXPECT_TRUE(parseName(QFileInfo(path).fileName()).has_value());
        }
    }
    EXPECT_EQ(mains, 300);
    EXPECT_EQ(telemetry, 300);
    EXPECT_EQ(j.value("total_bytes").toInteger(), total);

    const auto bad = runRavir({"make-sample-card", dir.filePath("x"), "--layout", "2"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("x")));
    EXPECT_EQ(runRavir({"make-sample-card", dir.filePath("x"), "--small", "--demo"}).exitCode, 2);
    EXPECT_EQ(runRavir({"make-sample-card", dir.filePath("x"), "--seconds", "0"}).exitCode, 2);
    EXPECT_EQ(runRavir({"make-sample-card", dir.filePath("x"), "--main-size", "15x9"}).exitCode, 2);
}

// A folder that holds anything is refused without --force; with it, the card's files are
// written and the user's other files stay. On a full disk the command fails and every file of
// the card is either complete or absent, with no temporary file left.
TEST(SampleCardCli, RefusesFoldersInUseAndNeverLeavesHalfFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString card = dir.filePath("card");
    ASSERT_TRUE(QDir().mkpath(card + "/Normal"));
    const QString mine = card + "/Normal/my-notes.txt";
    {
        QFile f(mine);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    const QStringList tiny{"--tiny", "--few-kinds", "--no-sub", "--no-audio", "--no-deleted"};
    auto r = runRavir(QStringList{"make-sample-card", card} + tiny);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("not empty")) << r.err.toStdString();
    EXPECT_EQ(QDir(card + "/Normal").entryList(QDir::Files | QDir::Hidden),
              QStringList{"my-notes.txt"});
    {
        QFile f(dir.filePath("plain"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(runRavir(QStringList{"make-sample-card", dir.filePath("plain")} + tiny).exitCode, 1);

    r = runRavir(QStringList{"make-sample-card", card, "--force"} + tiny);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(mine), "keep me");
    const QJsonArray files = QJsonDocument::fromJson(r.out).object().value("files").toArray();
    ASSERT_FALSE(files.isEmpty());

    const QString small = dir.filePath("small");
    QDir().mkpath(small);
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) != 0) {
        ASSERT_NE(::geteuid(), 0u) << "root could not mount a small tmpfs";
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{small};
    r = runRavir(QStringList{"make-sample-card", small + "/card"} + tiny);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("No space left")) << r.err.toStdString();
    // Every file on the disk is a whole copy of the same file of the card written above.
    int whole = 0;
    QDirIterator it(small + "/card", QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(small + "/card").relativeFilePath(path);
        EXPECT_FALSE(QFileInfo(path).fileName().startsWith('.')) << rel.toStdString();
        EXPECT_EQ(readAll(path), readAll(card + "/" + rel)) << rel.toStdString();
        ++whole;
    }
    EXPECT_GT(whole, 0);
}

TEST(SampleDataCache, MakesOnceSharesBetweenCallersAndRemakesOnNewOptions)
{
    samples::SampleMovieOptions m;
    m.width = 64;
    m.height = 36;
    m.seconds = 0.5;
    m.audio = false;
    QString first, second, error1, error2;
    // Two callers at once: one makes the movie, the other waits and gets the same file.
    std::thread a([&] { first = sampleMovie("cache-probe", m, &error1); });
    std::thread b([&] { second = sampleMovie("cache-probe", m, &error2); });
    a.join();
    b.join();
    ASSERT_FALSE(first.isEmpty()) << error1.toStdString();
    EXPECT_EQ(first, second);
    const QDateTime made = QFileInfo(first).lastModified();
    const QByteArray bytes = readAll(first);
    EXPECT_EQ(sampleMovie("cache-probe", m), first);
    EXPECT_EQ(QFileInfo(first).lastModified(), made);
    m.seconds = 1.0;
    EXPECT_EQ(sampleMovie("cache-probe", m), first);
    EXPECT_EQ(probeVideo(first).frames, 30);
    EXPECT_NE(readAll(first), bytes);
    EXPECT_TRUE(sampleMovie("../escape", m).isEmpty());

    // A copy for tests that change a card leaves the cached one as it was.
    QTemporaryDir dir;
    ASSERT_TRUE(copyTree(QFileInfo(first).absolutePath(), dir.filePath("copy")));
    EXPECT_EQ(readAll(dir.filePath("copy/cache-probe.MOV")), readAll(first));
    EXPECT_FALSE(copyTree(dir.filePath("missing"), dir.filePath("other")));
    EXPECT_TRUE(sampleCard("bad/key", samples::SmallCardOptions()).isEmpty());
}

// A card that holds recordings is never written over, not even with --force: they could be a
// driver's footage.
TEST(SampleCardCli, NeverWritesOverACardsRecordings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString card = dir.filePath("card");
    const QStringList tiny{"--tiny", "--few-kinds", "--no-sub", "--no-audio", "--no-deleted"};
    ASSERT_EQ(runRavir(QStringList{"make-sample-card", card} + tiny).exitCode, 0);
    QMap<QString, QByteArray> before;
    QDirIterator it(card, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        before.insert(f, readAll(f));
    }
    ASSERT_GT(before.size(), 4);
    const auto r = runRavir(QStringList{"make-sample-card", card, "--force", "--seed", "9"} + tiny);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("recorder")) << r.err.toStdString();
    for (auto i = before.cbegin(); i != before.cend(); ++i)
        EXPECT_EQ(readAll(i.key()), i.value()) << i.key().toStdString();
}
