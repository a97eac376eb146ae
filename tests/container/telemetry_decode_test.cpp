// The telemetry block decoder against blocks written byte by byte.
#include "container/telemetry.h"
#include "samplecard/telemetry_block.h"
#include "telemetry_block_writer.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <ctime>

namespace ravir {
namespace {

using test::BlockBytes;
using test::BlockSpec;
using test::RecordFields;

class TelemetryDecode : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes, const QString& name = "AG__-250314-093000-000017D.ADA")
    {
        const QString path = dir.path() + "/_NData/" + name;
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};

int64_t LocalSeconds(int y, int mo, int d, int h, int mi, int s)
{
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

TEST_F(TelemetryDecode, HeaderAndRecordFields)
{
    BlockSpec b;
    RecordFields r0;
    r0.addSeconds = "005";
    r0.ax = " 0123";
    r0.ay = "-0250";
    r0.az = "  1.5";  // a decimal point is read as such: 1.5 thousandths
    r0.axis = 'Y';
    r0.marker72 = 'D';
    r0.byte122 = 0xC8;
    r0.byte123 = 0xA5;
    RecordFields r1;
    r1.status = 'V';
    r1.addSeconds = "*99";
    r1.axis = 'Q';
    r1.speed = " 7.5";
    b.records = {r0, r1};
    b.mark = 1;
    TelemetryReader reader;
    const QString path = write(BlockBytes(b));
    ASSERT_TRUE(LoadTelemetryFile(reader, path));
    EXPECT_TRUE(reader.loaded);
    EXPECT_EQ(reader.path, path);
    EXPECT_EQ(reader.sampleCount, 2);

    const TelemetryHeader& h = reader.header;
    EXPECT_FLOAT_EQ(h.thresholdX, 0.3f);
    EXPECT_FLOAT_EQ(h.thresholdY, 0.25f);
    EXPECT_FLOAT_EQ(h.thresholdZ, 1.5f);
    EXPECT_FLOAT_EQ(h.fourth, 0.042f);
    EXPECT_EQ(h.kind, 'M');
    EXPECT_EQ(h.firmwareText(), "010203");
    EXPECT_EQ(h.firmwareVersion(), "1.2.3");
    EXPECT_EQ(h.byte23, 'a');
    EXPECT_EQ(h.byte24, 'b');
    EXPECT_EQ(h.rate, 'N');
    EXPECT_EQ(h.mark, 1);
    EXPECT_EQ(h.trigger, 1);

    ASSERT_EQ(reader.gps.size(), 2u);
    ASSERT_EQ(reader.accel.size(), 2u);
    const GpsSample& g0 = reader.gps[0];
    EXPECT_EQ(g0.index, 0);
    EXPECT_EQ(g0.time, 0);
    EXPECT_EQ(g0.valid, 1);
    EXPECT_EQ(g0.accelLink, -1);
    EXPECT_NEAR(g0.latitude, 35.0 + 39.1234 / 60.0, 1e-9);
    EXPECT_NEAR(g0.longitude, 139.0 + 45.6789 / 60.0, 1e-9);
    EXPECT_DOUBLE_EQ(g0.speed, 42.0);
    EXPECT_DOUBLE_EQ(g0.heading, 0.0);
    // 2025-03-14 09:30:00 local plus the five seconds of bytes 44..46.
    EXPECT_EQ(g0.utcSeconds, LocalSeconds(2025, 3, 14, 9, 30, 0) + 5);
    EXPECT_EQ(g0.localTime.year, 2025);
    EXPECT_EQ(g0.localTime.month, 3);
    EXPECT_EQ(g0.localTime.day, 14);
    EXPECT_EQ(g0.localTime.dayOfWeek, 5);  // a Friday
    EXPECT_EQ(g0.localTime.hour, 9);
    EXPECT_EQ(g0.localTime.minute, 30);
    EXPECT_EQ(g0.localTime.second, 5);
    const GpsSample& g1 = reader.gps[1];
    EXPECT_EQ(g1.index, 1);
    EXPECT_EQ(g1.time, 100);
    EXPECT_EQ(g1.valid, 0);
    EXPECT_DOUBLE_EQ(g1.speed, 7.5);
    EXPECT_EQ(g1.utcSeconds, LocalSeconds(2025, 3, 14, 9, 30, 0));  // '*': nothing added

    const AccelSample& a0 = reader.accel[0];
    EXPECT_EQ(a0.index, 0);
    EXPECT_EQ(a0.time, 0);
    EXPECT_DOUBLE_EQ(a0.x, static_cast<double>(123.0f / 1000.0f));
    EXPECT_DOUBLE_EQ(a0.y, static_cast<double>(-250.0f / 1000.0f));
    EXPECT_DOUBLE_EQ(a0.z, static_cast<double>(1.5f / 1000.0f));
    EXPECT_EQ(a0.axisCode, 2);
    EXPECT_EQ(a0.markerCode, 5);
    EXPECT_EQ(a0.byte122, 200);
    EXPECT_EQ(a0.nibbleHigh, 0xA);
    EXPECT_EQ(a0.nibbleLow, 0x5);
    EXPECT_EQ(a0.gpsLink, -1);
    EXPECT_EQ(reader.accel[1].axisCode, 0);
    EXPECT_EQ(reader.accel[1].markerCode, -1);
    EXPECT_EQ(reader.accel[1].time, 100);
}

// Sets TZ for one test and restores it.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            had_ = true;
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

TEST_F(TelemetryDecode, LocalTimeReadsBackAsWrittenUnderDaylightSaving)
{
    ScopedTimeZone zone("America/New_York");  // 2025-03-14 is in daylight saving time there
    BlockSpec b;
    b.records.resize(1);
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
    const GpsSample& g = reader.gps[0];
    EXPECT_EQ(g.localTime.hour, 9);
    EXPECT_EQ(g.localTime.minute, 30);
    struct tm utc {};
    utc.tm_year = 125;
    utc.tm_mon = 2;
    utc.tm_mday = 14;
    utc.tm_hour = 13;  // 09:30 EDT
    utc.tm_min = 30;
    EXPECT_EQ(g.utcSeconds, static_cast<int64_t>(timegm(&utc)));
}

// Record times equal what the calendar functions give for each record on its own, across
// daylight-saving changes, rolled-over fields and added seconds.
TEST_F(TelemetryDecode, TimesMatchTheCalendarFunctions)
{
    ScopedTimeZone zone("America/New_York");
    const struct {
        const char* dateTime;
        const char* add;
    } cases[] = {
        {"250309015958", "000"}, {"250309015959", "001"}, {"250309020000", "000"},  // gap
        {"250309023030", "*  "}, {"250309030000", "000"}, {"251102013000", "000"},  // repeat
        {"251102015959", "002"}, {"250314093099", "000"}, {"251301000000", "000"},  // roll over
        {"250230120000", "999"}, {"250314093059", "  7"}, {"250314093100", "-10"},
        {"991231235959", "001"}, {"000101000000", "000"}, {"250314093100", "000"},
    };
    BlockSpec b;
    for (const auto& c : cases) {
        RecordFields r;
        r.dateTime = c.dateTime;
        r.addSeconds = c.add;
        b.records.push_back(r);
    }
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
    ASSERT_EQ(reader.gps.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string d = cases[i].dateTime;
        struct tm t {};
        t.tm_year = 100 + std::stoi(d.substr(0, 2));
        t.tm_mon = std::stoi(d.substr(2, 2)) - 1;
        t.tm_mday = std::stoi(d.substr(4, 2));
        t.tm_hour = std::stoi(d.substr(6, 2));
        t.tm_min = std::stoi(d.substr(8, 2));
        t.tm_sec = std::stoi(d.substr(10, 2));
        t.tm_isdst = -1;
        int64_t secs = static_cast<int64_t>(std::mktime(&t));
        if (cases[i].add[0] != '*')
            secs += std::atoi(cases[i].add);
        EXPECT_EQ(reader.gps[i].utcSeconds, secs) << d;
        const time_t tt = static_cast<time_t>(secs);
        struct tm lt {};
        ASSERT_NE(localtime_r(&tt, &lt), nullptr);
        const TelemetryTime& l = reader.gps[i].localTime;
        EXPECT_EQ(l.year, lt.tm_year + 1900) << d;
        EXPECT_EQ(l.month, lt.tm_mon + 1) << d;
        EXPECT_EQ(l.day, lt.tm_mday) << d;
        EXPECT_EQ(l.dayOfWeek, lt.tm_wday) << d;
        EXPECT_EQ(l.hour, lt.tm_hour) << d;
        EXPECT_EQ(l.minute, lt.tm_min) << d;
        EXPECT_EQ(l.second, lt.tm_sec) << d;
    }
    // Month 13 rolls over into January of the next year.
    EXPECT_EQ(reader.gps[8].localTime.year, 2026);
    EXPECT_EQ(reader.gps[8].localTime.month, 1);
}

TEST_F(TelemetryDecode, MarkerAndAxisCodes)
{
    struct Case {
        char m72, m75, m76, axis;
        int marker, axisCode;
    };
    const Case cases[] = {
        {'D', 'D', 'D', 'X', 6, 1},  // byte 75 first
        {'D', ' ', 'D', 'Z', 5, 3},  // then byte 72
        {' ', ' ', 'D', 'x', 7, 0},  // then byte 76; lower-case axis is no axis
        {'d', 'E', ' ', 'Y', -1, 2},
    };
    BlockSpec b;
    for (const Case& c : cases) {
        RecordFields r;
        r.marker72 = c.m72;
        r.marker75 = c.m75;
        r.marker76 = c.m76;
        r.axis = c.axis;
        b.records.push_back(r);
    }
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
    ASSERT_EQ(reader.accel.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(reader.accel[i].markerCode, cases[i].marker) << i;
        EXPECT_EQ(reader.accel[i].axisCode, cases[i].axisCode) << i;
    }
}

TEST_F(TelemetryDecode, HemisphereAndMissingValues)
{
    const double north = 35.0 + 39.1234 / 60.0;
    struct Case {
        char hemisphere;
        double sign;
    };
    // South and west are negative; a zero byte is negative; anything else positive.
    const Case cases[] = {{'N', 1}, {'E', 1}, {'S', -1}, {'W', -1}, {'\0', -1}, {'x', 1}, {' ', 1}};
    BlockSpec b;
    for (const Case& c : cases) {
        RecordFields r;
        r.latHemisphere = c.hemisphere;
        r.lonHemisphere = c.hemisphere;
        b.records.push_back(r);
    }
    RecordFields blank;
    blank.latitude = "         ";
    blank.longitude = "    .     ";
    blank.speed = "    ";
    b.records.push_back(blank);
    RecordFields odd;
    odd.latitude = "  12.5xyz";     // 0 degrees, 12.5 minutes
    odd.longitude = "-13945.678";  // a sign is read like atof reads it
    odd.speed = "abc1";            // a digit somewhere, but none where atof reads: 0
    b.records.push_back(odd);
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
    ASSERT_EQ(reader.gps.size(), std::size(cases) + 2);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_NEAR(reader.gps[i].latitude, cases[i].sign * north, 1e-9) << i;
        EXPECT_NEAR(reader.gps[i].longitude, cases[i].sign * (139.0 + 45.6789 / 60.0), 1e-9) << i;
    }
    const GpsSample& none = reader.gps[std::size(cases)];
    EXPECT_EQ(none.latitude, kNoCoordinate);
    EXPECT_EQ(none.longitude, kNoCoordinate);
    EXPECT_EQ(none.speed, kNoSpeed);
    const GpsSample& o = reader.gps[std::size(cases) + 1];
    EXPECT_NEAR(o.latitude, 12.5 / 60.0, 1e-9);
    EXPECT_NEAR(o.longitude, -(139.0 + 45.678 / 60.0), 1e-9);
    EXPECT_DOUBLE_EQ(o.speed, 0.0);
}

// One rule says whether a sample is a position: the report, the exports, the panel and the map
// all ask it.
TEST_F(TelemetryDecode, UsableFixRule)
{
    struct Case {
        char status;
        const char* latitude;
        char latHemisphere;
        const char* longitude;
        char lonHemisphere;
        bool usable;
    };
    const Case cases[] = {
        {'A', "3539.1234", 'N', "13945.6789", 'E', true},
        {'V', "3539.1234", 'N', "13945.6789", 'E', false},   // receiver without a fix
        {' ', "3539.1234", 'N', "13945.6789", 'E', false},
        {'A', "9100.0000", 'N', "13945.6789", 'E', false},   // latitude 91
        {'A', "9100.0000", 'S', "13945.6789", 'E', false},   // latitude -91
        {'A', "9000.0000", 'S', "13945.6789", 'E', true},    // the pole itself
        {'A', "3539.1234", 'N', "18100.0000", 'E', false},   // longitude 181
        {'A', "3539.1234", 'N', "18000.0000", 'W', true},    // longitude -180
        {'A', "         ", 'N', "13945.6789", 'E', false},   // latitude without digits (720)
        {'A', "3539.1234", 'N', "    .     ", 'E', false},   // longitude without digits
        {'A', "xx##-----", 'N', "----------", 'E', false},   // unreadable digits
        {'A', "0000.0000", 'N', "00000.0000", 'E', false},   // 0, 0: no position written
        {'A', "0000.0000", 'N', "13945.6789", 'E', true},    // on the equator
        {'A', "99999.999", 'N', "13945.6789", 'E', false},   // 999 degrees
    };
    BlockSpec b;
    for (const Case& c : cases) {
        RecordFields r;
        r.status = c.status;
        r.latitude = c.latitude;
        r.latHemisphere = c.latHemisphere;
        r.longitude = c.longitude;
        r.lonHemisphere = c.lonHemisphere;
        b.records.push_back(r);
    }
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
    ASSERT_EQ(reader.gps.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(IsUsableFix(reader.gps[i]), cases[i].usable)
            << i << ": " << cases[i].latitude << " / " << cases[i].longitude << " -> "
            << reader.gps[i].latitude << ", " << reader.gps[i].longitude;

    // Values no decode gives but a sample may still hold.
    GpsSample g;
    g.valid = 1;
    g.latitude = 35.0;
    g.longitude = 139.0;
    EXPECT_TRUE(IsUsableFix(g));
    g.latitude = std::nan("");
    EXPECT_FALSE(IsUsableFix(g));
    g.latitude = 35.0;
    g.longitude = HUGE_VAL;
    EXPECT_FALSE(IsUsableFix(g));
    g.longitude = 139.0;
    g.valid = 2;
    EXPECT_FALSE(IsUsableFix(g));
}

TEST_F(TelemetryDecode, KindLetterAndChainedHeaders)
{
    BlockSpec plain;
    plain.header.kind = 'X';
    plain.records = {RecordFields{}};
    TelemetryHeader h;
    const QString p1 = write(BlockBytes(plain), "A___-250314-093000-000001D.ADA");
    ASSERT_TRUE(ReadTelemetryHeader(p1, h));
    EXPECT_EQ(h.thresholdX, -1.0f);
    EXPECT_EQ(h.thresholdY, -1.0f);
    EXPECT_EQ(h.thresholdZ, -1.0f);
    EXPECT_EQ(h.fourth, -1.0f);
    EXPECT_EQ(h.kind, 'X');

    // A second header follows the first at H + 34 when H[30] is '@', H[31..32] "QV" and H[33]
    // an upper-case letter; its values replace the first ones. Those bytes lie in record 0.
    test::HeaderFields second;
    second.thresholdX = "0700";
    second.kind = 'D';
    second.firmware = "090807";
    second.byte23 = 'y';
    BlockSpec chained;
    chained.records = {RecordFields{}, RecordFields{}};
    QByteArray bytes = BlockBytes(chained);
    const int h0 = 6;
    bytes.replace(h0 + 30, 4, "@QVZ");
    bytes.replace(h0 + 34, 26, test::HeaderBytes(second));
    ASSERT_TRUE(ReadTelemetryHeaderBytes(bytes, false, h));
    EXPECT_EQ(h.kind, 'D');
    EXPECT_FLOAT_EQ(h.thresholdX, 0.7f);
    EXPECT_EQ(h.firmwareVersion(), "9.8.7");
    EXPECT_EQ(h.byte23, 'y');
    EXPECT_EQ(h.mark, 1);  // still found with the count of the first header
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(bytes, false, reader));
    EXPECT_EQ(reader.header.kind, 'D');
    EXPECT_EQ(reader.gps.size(), 2u);  // the records still start right after the first count

    bytes[h0 + 33] = 'z';  // not an upper-case letter: no chain
    ASSERT_TRUE(ReadTelemetryHeaderBytes(bytes, false, h));
    EXPECT_EQ(h.kind, 'M');
    EXPECT_FLOAT_EQ(h.thresholdX, 0.3f);

    // A long chain (beyond the first 64 KiB that the header reader looks at) is followed to its
    // end by the file reader too.
    QByteArray longChain("QVXDAT");
    for (int k = 0; k < 2100; ++k) {
        test::HeaderFields spec;
        spec.thresholdX = k == 2099 ? "0900" : "0100";
        QByteArray one = test::HeaderBytes(spec);
        one += test::CountBytes(1);
        one += "..@QVA";
        longChain += one;
    }
    longChain.chop(4);
    longChain += "xxxx";
    const QString longPath = write(longChain, "A___-250314-093000-000019D.ADA");
    ASSERT_TRUE(ReadTelemetryHeader(longPath, h));
    EXPECT_FLOAT_EQ(h.thresholdX, 0.9f);
    TelemetryHeader fromBytes;
    ASSERT_TRUE(ReadTelemetryHeaderBytes(longChain, false, fromBytes));
    EXPECT_FLOAT_EQ(fromBytes.thresholdX, 0.9f);

    // A chain marker at the very end of the bytes must not lead the decoder outside them.
    QByteArray tail = BlockBytes(plain).left(6 + 34);
    tail.replace(6 + 30, 4, "@QVA");
    ASSERT_TRUE(ReadTelemetryHeaderBytes(tail, false, h));
    EXPECT_EQ(h.kind, 'X');
}

TEST_F(TelemetryDecode, MarkByteAndFullBlockFallback)
{
    BlockSpec b;
    b.records = test::DriveRecords(4);
    b.mark = 7;
    TelemetryHeader h;
    ASSERT_TRUE(ReadTelemetryHeader(write(BlockBytes(b)), h));
    EXPECT_EQ(h.mark, 7);
    EXPECT_EQ(h.trigger, 7);

    // A full block of 2760 records whose header counts only 5: the mark is found at the place
    // after a full block, by the header reader and by the load.
    BlockSpec full;
    full.records = test::DriveRecords(kTelemetryFullBlockRecords);
    full.count = 5;
    full.mark = 1;
    const QString fullPath = write(BlockBytes(full), "AG__-250314-093000-000018D.ADA");
    ASSERT_TRUE(ReadTelemetryHeader(fullPath, h));
    EXPECT_EQ(h.mark, 1);
    TelemetryReader reader;
    ASSERT_TRUE(LoadTelemetryFile(reader, fullPath));
    EXPECT_EQ(reader.gps.size(), 5u);
    EXPECT_EQ(reader.header.mark, 1);

    // Without the end magic at either place the mark stays 0.
    BlockSpec lost;
    lost.records = test::DriveRecords(3);
    lost.count = 5;
    lost.mark = 9;
    ASSERT_TRUE(ReadTelemetryHeaderBytes(BlockBytes(lost), false, h));
    EXPECT_EQ(h.mark, 0);
    EXPECT_EQ(h.trigger, 0);
}

TEST_F(TelemetryDecode, CountFormsAndTruncation)
{
    TelemetryReader reader;
    // No count: three records followed directly by the end magic give three samples; the mark
    // is looked for only at the place after a full block.
    QByteArray open("QVXDAT");
    open += test::HeaderBytes({});
    open += test::CountBytes(kTelemetryNoCount);
    for (const RecordFields& r : test::DriveRecords(3))
        open += test::RecordBytes(r);
    const QByteArray records = open;
    open += "QVXEND123456";
    ASSERT_TRUE(DecodeTelemetryBytes(open, false, reader));
    EXPECT_EQ(reader.sampleCount, 3);
    EXPECT_EQ(reader.gps.size(), 3u);
    EXPECT_EQ(reader.header.mark, 0);

    // Count 5 with the end magic at record 3: three samples and the load succeeds, even though
    // whole records follow the magic.
    QByteArray early("QVXDAT");
    early += test::HeaderBytes({});
    early += test::CountBytes(5);
    for (const RecordFields& r : test::DriveRecords(3))
        early += test::RecordBytes(r);
    early += "QVXEND";
    for (const RecordFields& r : test::DriveRecords(2))
        early += test::RecordBytes(r);
    ASSERT_TRUE(LoadTelemetryFile(reader, write(early)));
    EXPECT_TRUE(reader.loaded);
    EXPECT_EQ(reader.gps.size(), 3u);
    EXPECT_EQ(reader.accel.size(), 3u);
    EXPECT_EQ(reader.accel[2].followingNumber, 0);

    // A count larger than the file holds, and a partial record: only whole records.
    BlockSpec cut;
    cut.records = test::DriveRecords(4);
    cut.count = 40;
    cut.endMagic = false;
    QByteArray bytes = BlockBytes(cut);
    bytes += QByteArray(100, 'x');
    ASSERT_TRUE(LoadTelemetryFile(reader, write(bytes, "A___-250314-093000-000002D.ADA")));
    EXPECT_EQ(reader.gps.size(), 4u);
    EXPECT_EQ(reader.sampleCount, 4);
    EXPECT_EQ(reader.header.mark, 0);

    // No count and no end magic: whole records to the end of the file.
    QByteArray endless = records;
    endless += test::RecordBytes({}).left(60);
    ASSERT_TRUE(DecodeTelemetryBytes(endless, false, reader));
    EXPECT_EQ(reader.gps.size(), 3u);

    // Count 0: no records. A file that holds only the magic: an empty, loaded reader.
    BlockSpec zero;
    zero.count = 0;
    zero.records = test::DriveRecords(2);
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(zero), false, reader));
    EXPECT_TRUE(reader.gps.empty());
    ASSERT_TRUE(LoadTelemetryFile(reader, write("QVXDAT", "A___-250314-093000-000003D.ADA")));
    EXPECT_TRUE(reader.loaded);
    EXPECT_TRUE(reader.gps.empty());
    EXPECT_EQ(reader.header.thresholdX, -1.0f);
}

TEST_F(TelemetryDecode, FollowingNumberMovesToThePreviousSample)
{
    BlockSpec b;
    b.records.resize(4);
    b.records[0].following = "111";
    b.records[1].following = "222";
    b.records[2].following = "   ";
    b.records[3].following = " 44";
    TelemetryReader reader;
    ASSERT_TRUE(DecodeTelemetryBytes(BlockBytes(b), false, reader));
    ASSERT_EQ(reader.accel.size(), 4u);
    EXPECT_EQ(reader.accel[0].followingNumber, 222);
    EXPECT_EQ(reader.accel[1].followingNumber, -1);
    EXPECT_EQ(reader.accel[2].followingNumber, 44);
    EXPECT_EQ(reader.accel[3].followingNumber, 0);
}

TEST_F(TelemetryDecode, SampleIntervalFollowsTheFileName)
{
    BlockSpec b;
    b.records = test::DriveRecords(5);
    const QByteArray bytes = BlockBytes(b);
    const struct {
        const char* name;
        char rate;
        int times[5];
    } cases[] = {
        {"T___-250314-093000-000004D.ADA", 'T', {0, 66, 133, 200, 266}},
        {"P_T_-250314-093000-000005D.ADA", 'T', {0, 66, 133, 200, 266}},
        {"A___-250314-093000-000006D.ADA", 'N', {0, 100, 200, 300, 400}},
        {"ATT_-250314-093000-000007D.ADA", 'T', {0, 66, 133, 200, 266}},
        {"AT__-250314-093000-000008D.ADA", 'N', {0, 100, 200, 300, 400}},
    };
    for (const auto& c : cases) {
        TelemetryReader reader;
        // The folder name has a 'T' in it on purpose: only the file name counts.
        const QString path = dir.path() + "/T_T/" + c.name;
        ASSERT_TRUE(test::WriteFile(path, bytes));
        ASSERT_TRUE(LoadTelemetryFile(reader, path)) << c.name;
        EXPECT_EQ(reader.header.rate, c.rate) << c.name;
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(reader.gps[static_cast<size_t>(k)].time, c.times[k]) << c.name << k;
            EXPECT_EQ(reader.accel[static_cast<size_t>(k)].time, c.times[k]) << c.name << k;
        }
    }
}

TEST_F(TelemetryDecode, RecorderNumber)
{
    BlockSpec b;
    b.records = test::DriveRecords(2);
    EXPECT_EQ(ReadRecorderNumber(write(BlockBytes(b))), "004711");
    b.recorderNumber = "  1234";
    EXPECT_EQ(ReadRecorderNumberBytes(BlockBytes(b)), "001234");
    b.recorderNumber = "      ";
    EXPECT_EQ(ReadRecorderNumberBytes(BlockBytes(b)), "");
    b.recorderNumber = "12";  // the file ends early
    EXPECT_EQ(ReadRecorderNumber(write(BlockBytes(b))), "");
    b.endMagic = false;
    EXPECT_EQ(ReadRecorderNumberBytes(BlockBytes(b)), "");
}

TEST_F(TelemetryDecode, FilesWithoutTelemetryFail)
{
    TelemetryReader reader;
    TelemetryHeader h;
    std::vector<GpsSample> gps;
    const QString missing = dir.path() + "/none.ADA";
    EXPECT_FALSE(LoadTelemetryFile(reader, missing));
    EXPECT_FALSE(ReadTelemetryHeader(missing, h));
    EXPECT_EQ(ReadRecorderNumber(missing), "");
    EXPECT_FALSE(DecodeGpsOnly(missing, gps));

    // The magic must open the file; one further on does not count.
    BlockSpec b;
    b.records = test::DriveRecords(2);
    const QString shifted = write("xx" + BlockBytes(b));
    EXPECT_FALSE(HasTelemetryMagic(shifted));
    EXPECT_FALSE(LoadTelemetryFile(reader, shifted));
    EXPECT_FALSE(reader.loaded);
    EXPECT_TRUE(reader.path.isEmpty());
    EXPECT_FALSE(ReadTelemetryHeader(shifted, h));
    EXPECT_FALSE(DecodeGpsOnly(shifted, gps));
    EXPECT_FALSE(LoadTelemetryFile(reader, dir.path()));  // a folder
    EXPECT_TRUE(gps.empty());
}

TEST_F(TelemetryDecode, CancelFlagStopsTheLoad)
{
    BlockSpec b;
    b.records = test::DriveRecords(20);
    const QString path = write(BlockBytes(b));
    TelemetryReader reader;
    ASSERT_TRUE(LoadTelemetryFile(reader, path));
    reader.cancel.store(1);
    EXPECT_FALSE(LoadTelemetryFile(reader, path));
    EXPECT_FALSE(reader.loaded);
    EXPECT_TRUE(reader.gps.empty());
    EXPECT_TRUE(reader.accel.empty());
    EXPECT_TRUE(reader.path.isEmpty());
    EXPECT_EQ(reader.cancel.load(), 0);  // cleared by the scan that saw it
    EXPECT_TRUE(LoadTelemetryFile(reader, path));
    EXPECT_EQ(reader.gps.size(), 20u);
}

TEST_F(TelemetryDecode, GpsOnlyAppendsAndMatchesTheFullDecode)
{
    BlockSpec b;
    b.records = test::DriveRecords(12);
    const QString path = write(BlockBytes(b), "T___-250314-093000-000009D.ADA");
    TelemetryReader reader;
    ASSERT_TRUE(LoadTelemetryFile(reader, path));
    std::vector<GpsSample> gps;
    ASSERT_TRUE(DecodeGpsOnly(path, gps));
    ASSERT_TRUE(DecodeGpsOnly(path, gps));
    ASSERT_EQ(gps.size(), 24u);
    for (size_t i = 0; i < gps.size(); ++i) {
        const GpsSample& full = reader.gps[i % 12];
        EXPECT_EQ(gps[i].index, full.index);
        EXPECT_EQ(gps[i].time, full.time);
        EXPECT_EQ(gps[i].speed, full.speed);
        EXPECT_EQ(gps[i].utcSeconds, full.utcSeconds);
        EXPECT_EQ(gps[i].localTime, full.localTime);
    }
    EXPECT_EQ(gps[12].index, 0);
    EXPECT_EQ(gps[13].time, 66);
}

// The demo card's telemetry writer (written separately from this decoder) and the decoder agree.
TEST_F(TelemetryDecode, SampleCardBlocks)
{
    samples::TelemetryOptions o;
    o.records = 300;
    o.start = QDateTime(QDate(2025, 7, 1), QTime(18, 45, 10));
    o.impactAt = 100;
    o.impactAxis = 'Y';
    o.manualAt = 150;
    o.emergencyStopAt = 200;
    o.parkingAt = 250;
    o.outageFrom = 50;
    o.outageTo = 60;
    o.mark = 1;
    o.latitude = -33.8688;  // south and west of the zero lines: negative values
    o.longitude = -70.6693;
    const QByteArray block = samples::MakeTelemetryBlock(o);
    const QString path = write(block, "AG__-250701-184510-000031D.ADA");
    TelemetryReader reader;
    ASSERT_TRUE(LoadTelemetryFile(reader, path));
    ASSERT_EQ(reader.gps.size(), 300u);
    EXPECT_FLOAT_EQ(reader.header.thresholdX, 0.5f);
    EXPECT_FLOAT_EQ(reader.header.thresholdZ, 0.8f);
    EXPECT_FLOAT_EQ(reader.header.fourth, 1.0f);
    EXPECT_EQ(reader.header.firmwareVersion(), "1.5.2");
    EXPECT_EQ(reader.header.mark, 1);
    EXPECT_EQ(ReadRecorderNumber(path), "231015");
    EXPECT_NEAR(reader.gps[0].latitude, -33.8688, 1e-3);
    EXPECT_NEAR(reader.gps[0].longitude, -70.6693, 1e-3);
    EXPECT_EQ(reader.gps[55].valid, 0);
    EXPECT_EQ(reader.gps[55].latitude, kNoCoordinate);
    EXPECT_EQ(reader.gps[55].speed, kNoSpeed);
    EXPECT_EQ(reader.accel[55].nibbleHigh, 0);  // no satellites without a fix
    EXPECT_GE(reader.accel[49].nibbleHigh, 6);
    EXPECT_EQ(reader.accel[150].markerCode, 5);
    EXPECT_EQ(reader.accel[200].markerCode, 6);
    EXPECT_EQ(reader.accel[250].markerCode, 7);
    EXPECT_EQ(reader.accel[100].axisCode, 2);
    EXPECT_LT(reader.accel[100].y, -0.5);
    EXPECT_EQ(reader.accel[7].byte122, 'R');
    EXPECT_GT(reader.accel[7].followingNumber, 100);  // supply voltage in tenths of a volt
    EXPECT_EQ(reader.gps[125].localTime.hour, 18);
    EXPECT_EQ(reader.gps[125].localTime.minute, 45);
    EXPECT_EQ(reader.gps[125].localTime.second, 22);
}

}  // namespace
}  // namespace ravir
