// The playback statistics: the stall buckets, the probe on a blocked event loop, and the
// snapshots the writer appends (one JSON object a line, counts and histogram), on request and
// on SIGUSR1.
#include "shell/playback_stats.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <memory>

using namespace ravir;

namespace {

QList<QJsonObject> readLines(const QString& path, bool* wellFormed)
{
    QList<QJsonObject> out;
    *wellFormed = true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *wellFormed = false;
        return out;
    }
    const QByteArray text = file.readAll();
    if (!text.endsWith('\n'))
        *wellFormed = false;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            *wellFormed = false;
        else
            out.append(doc.object());
    }
    return out;
}

// Two made-up players, as the window reports them.
QList<QJsonObject> twoPlayers()
{
    return {QJsonObject{{"slot", 0}, {"frame_drop_count", 3}, {"decoder_frame_drop_count", 1},
                        {"vo_delayed_frame_count", 7}},
            QJsonObject{{"slot", 1}, {"frame_drop_count", 0}, {"decoder_frame_drop_count", 0},
                        {"vo_delayed_frame_count", 2}}};
}

}  // namespace

class PlaybackStatsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bucketsHoldTheirLowerBound_data()
    {
        QTest::addColumn<double>("lateMs");
        QTest::addColumn<QString>("bucket");
        const struct {
            double ms;
            const char* name;
        } rows[] = {{0, "<5"},       {4.99, "<5"},     {5, "5-10"},    {9.99, "5-10"},
                    {10, "10-20"},   {19.9, "10-20"},  {20, "20-50"},  {49.9, "20-50"},
                    {50, "50-100"},  {99.9, "50-100"}, {100, ">100"}, {2500, ">100"}};
        for (const auto& r : rows)
            QTest::newRow(QByteArray::number(r.ms).constData()) << r.ms << QString::fromLatin1(r.name);
    }
    void bucketsHoldTheirLowerBound()
    {
        QFETCH(double, lateMs);
        QFETCH(QString, bucket);
        QCOMPARE(QString::fromLatin1(StallHistogram::BucketName(StallHistogram::BucketOf(lateMs))), bucket);
    }

    void histogramCountsAndKeepsTheWorst()
    {
        StallHistogram h;
        for (double ms : {-0.3, 1.0, 7.0, 7.5, 30.0, 180.0, 12.0})
            h.add(ms);
        QCOMPARE(h.samples(), 7);
        QCOMPARE(h.count(0), 2);  // an early tick counts as on time
        QCOMPARE(h.count(1), 2);
        QCOMPARE(h.count(2), 1);
        QCOMPARE(h.count(3), 1);
        QCOMPARE(h.count(4), 0);
        QCOMPARE(h.count(5), 1);
        QCOMPARE(h.worstMs(), 180.0);
        const QJsonObject json = h.toJson();
        QCOMPARE(json["buckets"].toObject()[">100"].toInteger(), 1);
        QCOMPARE(json["worst_ms"].toDouble(), 180.0);
    }

    // A blocked event loop shows as a late tick; the block is long, so that the bound holds on
    // any machine (the tick cannot come before the block ends).
    void probeSeesABlockedLoop()
    {
        EventLoopProbe probe;
        probe.start();
        QTest::qWait(30);
        QTimer::singleShot(0, [] { QThread::msleep(120); });
        QTest::qWait(60);
        probe.stop();
        QVERIFY(probe.histogram().samples() >= 2);
        QVERIFY2(probe.histogram().worstMs() >= 100, qPrintable(QString::number(probe.histogram().worstMs())));
        QVERIFY(probe.histogram().count(StallHistogram::kBuckets - 1) >= 1);
    }

    void snapshotsAreJsonLinesWithCountsAndHistogram()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("stats.jsonl");
        EventLoopProbe probe;
        probe.start();
        QTest::qWait(40);
        PlaybackStatsWriter writer(path, twoPlayers, &probe);
        QVERIFY(writer.write("first"));
        QVERIFY(writer.write("exit"));
        QCOMPARE(writer.snapshots(), 2);

        bool wellFormed = false;
        const QList<QJsonObject> lines = readLines(path, &wellFormed);
        QVERIFY(wellFormed);
        QCOMPARE(lines.size(), 6);
        for (int i = 0; i < lines.size(); ++i) {
            const QJsonObject& line = lines[i];
            const int snapshot = i / 3 + 1;
            QCOMPARE(line["snapshot"].toInt(), snapshot);
            QCOMPARE(line["reason"].toString(), snapshot == 1 ? QString("first") : QString("exit"));
            if (i % 3 < 2) {
                QCOMPARE(line["kind"].toString(), QString("player"));
                QCOMPARE(line["slot"].toInt(), i % 3);
                for (const char* key : {"frame_drop_count", "decoder_frame_drop_count", "vo_delayed_frame_count"})
                    QVERIFY2(line[key].isDouble(), key);
            } else {
                QCOMPARE(line["kind"].toString(), QString("event_loop"));
                QCOMPARE(line["interval_ms"].toInt(), EventLoopProbe::kIntervalMs);
                const QJsonObject buckets = line["buckets"].toObject();
                QCOMPARE(buckets.size(), StallHistogram::kBuckets);
                qint64 sum = 0;
                for (int b = 0; b < StallHistogram::kBuckets; ++b) {
                    QVERIFY2(buckets.contains(StallHistogram::BucketName(b)), StallHistogram::BucketName(b));
                    sum += buckets[StallHistogram::BucketName(b)].toInteger();
                }
                QCOMPARE(sum, line["samples"].toInteger());
                QVERIFY(line["samples"].toInteger() > 0);
                QVERIFY(line["worst_ms"].isDouble());
                QVERIFY(line["recent_worst_ms"].toDouble(-1) >= 0);
                QVERIFY(line["recent_worst_ms"].toDouble() <= line["worst_ms"].toDouble());
            }
        }
        QCOMPARE(lines[0]["vo_delayed_frame_count"].toInt(), 7);
    }

    void unwritableFileWritesNothing()
    {
        QTemporaryDir dir;
        PlaybackStatsWriter writer(dir.filePath("missing/stats.jsonl"), twoPlayers, nullptr);
        QVERIFY(!writer.write("exit"));
        QCOMPARE(writer.snapshots(), 0);
    }

    void signalWritesASnapshotAndOneWriterListens()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("stats.jsonl");
        {
            auto writer = std::make_unique<PlaybackStatsWriter>(path, twoPlayers, nullptr);
            QVERIFY(writer->listenForSignal());
            PlaybackStatsWriter second(dir.filePath("other.jsonl"), twoPlayers, nullptr);
            QVERIFY(!second.listenForSignal());
            QCOMPARE(::raise(SIGUSR1), 0);
            QTRY_COMPARE_WITH_TIMEOUT(writer->snapshots(), 1, 5000);
            bool wellFormed = false;
            const QList<QJsonObject> lines = readLines(path, &wellFormed);
            QVERIFY(wellFormed);
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[1]["reason"].toString(), QString("signal"));
        }
        // Once the listener is gone another writer may listen.
        PlaybackStatsWriter again(path, twoPlayers, nullptr);
        QVERIFY(again.listenForSignal());
    }
};

QTEST_GUILESS_MAIN(PlaybackStatsTest)
#include "playback_stats_qtest.moc"
