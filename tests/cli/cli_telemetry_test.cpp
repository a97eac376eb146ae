// `ravir telemetry`: JSON fields, GPX read back as XML, CSV lines, errors.
#include "../container/telemetry_block_writer.h"
#include "test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace ravir {
namespace {

using test::runRavir;

class CliTelemetry : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldTz_ = qgetenv("TZ");
        hadTz_ = qEnvironmentVariableIsSet("TZ");
        qputenv("TZ", "Asia/Tokyo");  // inherited by the `ravir` child
        test::BlockSpec b;
        b.records = test::DriveRecords(7);
        b.records[2].status = 'V';                 // breaks the track
        b.records[4].latitude = "         ";       // no position: breaks it again
        b.records[5].latHemisphere = 'S';
        b.records[5].lonHemisphere = 'W';
        b.records[6].speed = "  36";
        b.records[6].marker75 = 'D';
        b.records[6].ax = " 1600";
        b.mark = 1;
        movie = dir.path() + "/Normal/AG__-250314-093000-000017M.MOV";
        telemetry = dir.path() + "/_NData/AG__-250314-093000-000017D.ADA";
        ASSERT_TRUE(test::WriteFile(movie, "not read"));
        ASSERT_TRUE(test::WriteFile(telemetry, test::BlockBytes(b)));
    }
    void TearDown() override
    {
        if (hadTz_)
            qputenv("TZ", oldTz_);
        else
            qunsetenv("TZ");
    }

    QTemporaryDir dir;
    QString movie;
    QString telemetry;

private:
    QByteArray oldTz_;
    bool hadTz_ = false;
};

TEST_F(CliTelemetry, JsonFromTheMovieAndFromTheFile)
{
    const auto r = runRavir({"telemetry", movie});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(o["telemetry_path"].toString(), telemetry);
    const QJsonObject h = o["header"].toObject();
    EXPECT_EQ(h["thresholds"].toArray(), (QJsonArray{0.3, 0.25, 1.5}));
    EXPECT_EQ(h["kind"].toString(), "M");
    EXPECT_EQ(h["firmware"].toString(), "010203");
    EXPECT_EQ(h["rate"].toString(), "N");
    EXPECT_EQ(h["mark"].toInt(), 1);
    EXPECT_EQ(o["recorder_number"].toString(), "004711");
    const QJsonArray gps = o["gps"].toArray();
    const QJsonArray accel = o["accel"].toArray();
    ASSERT_EQ(gps.size(), 7);
    ASSERT_EQ(accel.size(), 7);
    const QJsonObject g5 = gps[5].toObject();
    EXPECT_EQ(g5["index"].toInt(), 5);
    EXPECT_EQ(g5["time"].toInt(), 500);
    EXPECT_TRUE(g5["valid"].toBool());
    EXPECT_LT(g5["lat"].toDouble(), -35.6);
    EXPECT_LT(g5["lon"].toDouble(), -139.7);
    EXPECT_EQ(gps[4].toObject()["lat"].toDouble(), 720.0);
    EXPECT_FALSE(gps[2].toObject()["valid"].toBool());
    EXPECT_EQ(gps[6].toObject()["speed"].toDouble(), 36.0);
    EXPECT_EQ(g5["local_time"].toString(), "2025-03-14T09:30:00+09:00");
    const QJsonObject a6 = accel[6].toObject();
    EXPECT_EQ(a6["marker"].toInt(), 6);
    EXPECT_EQ(a6["x"].toDouble(), 1.6);
    EXPECT_EQ(a6["following"].toInt(), 0);
    EXPECT_EQ(accel[0].toObject()["following"].toInt(), 1);
    for (const char* field : {"axis", "byte122", "y", "z", "nibble_high", "nibble_low"})
        EXPECT_TRUE(a6.contains(field)) << field;
    EXPECT_FALSE(o.contains("frame_index"));

    // The telemetry file named directly gives the same.
    const auto direct = runRavir({"telemetry", telemetry});
    ASSERT_EQ(direct.exitCode, 0);
    const QJsonObject d = QJsonDocument::fromJson(direct.out).object();
    EXPECT_EQ(d["gps"], o["gps"]);
    EXPECT_EQ(d["accel"], o["accel"]);
}

TEST_F(CliTelemetry, FrameFacts)
{
    const auto r = runRavir({"telemetry", movie, "--frames", "24", "--frame-ms", "33.333333"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const QJsonArray index = o["frame_index"].toArray();
    ASSERT_EQ(index.size(), 24);
    EXPECT_EQ(index[3].toInt(), 0);
    EXPECT_EQ(index[4].toInt(), 1);
    EXPECT_EQ(index[23].toInt(), 6);
    EXPECT_DOUBLE_EQ(o["max_abs"].toDouble(), 1.6);
    EXPECT_EQ(o["range"].toInt(), 3);
    EXPECT_EQ(o["accel"].toArray()[6].toObject()["time"].toInt(), 18);
    EXPECT_EQ(o["accel"].toArray()[6].toObject()["gps_link"].toInt(), 1);

    EXPECT_EQ(runRavir({"telemetry", movie, "--frames", "24"}).exitCode, 2);
    EXPECT_EQ(runRavir({"telemetry", movie, "--frames", "0", "--frame-ms", "40"}).exitCode, 2);
    EXPECT_EQ(runRavir({"telemetry", movie, "--frames", "x", "--frame-ms", "40"}).exitCode, 2);
}

TEST_F(CliTelemetry, GpxIsWellFormedWithOneSegmentPerRunOfFixes)
{
    const auto r = runRavir({"telemetry", movie, "--format", "gpx"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QXmlStreamReader xml(r.out);
    const QString gpxNs = "http://www.topografix.com/GPX/1/1";
    std::vector<std::vector<double>> segments;  // latitudes per segment
    std::vector<QString> times;
    std::vector<double> speeds;
    bool sawGpx = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == u"gpx") {
            sawGpx = true;
            EXPECT_EQ(xml.namespaceUri(), gpxNs);
            EXPECT_EQ(xml.attributes().value("version"), u"1.1");
            EXPECT_FALSE(xml.attributes().value("creator").isEmpty());
        } else if (name == u"trkseg") {
            EXPECT_EQ(xml.namespaceUri(), gpxNs);
            segments.emplace_back();
        } else if (name == u"trkpt") {
            ASSERT_FALSE(segments.empty());
            bool okLat = false, okLon = false;
            const double lat = xml.attributes().value("lat").toDouble(&okLat);
            const double lon = xml.attributes().value("lon").toDouble(&okLon);
            EXPECT_TRUE(okLat && okLon);
            EXPECT_LE(std::abs(lat), 90.0);
            EXPECT_LE(std::abs(lon), 180.0);
            segments.back().push_back(lat);
        } else if (name == u"time") {
            times.push_back(xml.readElementText());
        } else if (name == u"speed") {
            EXPECT_EQ(xml.namespaceUri(),
                      u"http://www.garmin.com/xmlschemas/TrackPointExtension/v2");
            speeds.push_back(xml.readElementText().toDouble());
        }
    }
    ASSERT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_TRUE(sawGpx);
    // Records 0-1 valid, 2 invalid, 3 valid, 4 without a position, 5-6 valid.
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].size(), 2u);
    EXPECT_EQ(segments[1].size(), 1u);
    ASSERT_EQ(segments[2].size(), 2u);
    EXPECT_LT(segments[2][0], 0.0);  // the southern fix
    ASSERT_EQ(times.size(), 5u);
    EXPECT_EQ(times[0], "2025-03-14T00:30:00Z");  // 09:30 in Tokyo
    ASSERT_EQ(speeds.size(), 5u);
    EXPECT_NEAR(speeds[4], 10.0, 1e-9);  // 36 km/h
}

TEST_F(CliTelemetry, CsvHasOneLinePerRecord)
{
    const auto r = runRavir({"telemetry", telemetry, "--format", "csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 8);
    const int columns = static_cast<int>(lines[0].count(',')) + 1;
    EXPECT_TRUE(lines[0].startsWith("index,time,valid,lat,lon,speed,local_time,marker,axis"));
    for (const QByteArray& line : lines)
        EXPECT_EQ(static_cast<int>(line.count(',')) + 1, columns) << line.constData();
    EXPECT_TRUE(lines[7].startsWith("6,600,1,")) << lines[7].constData();
}

TEST_F(CliTelemetry, Errors)
{
    const QString other = dir.path() + "/Normal/AG__-250314-093000-000018M.MOV";
    auto r = runRavir({"telemetry", other});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no telemetry file"));
    ASSERT_TRUE(test::WriteFile(dir.path() + "/_NData/AG__-250314-093000-000018D.ADA", "QVX"));
    r = runRavir({"telemetry", other});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("not a telemetry file"));
    EXPECT_EQ(runRavir({"telemetry", movie, "--format", "kml"}).exitCode, 2);
    EXPECT_EQ(runRavir({"telemetry"}).exitCode, 2);
}

}  // namespace
}  // namespace ravir
