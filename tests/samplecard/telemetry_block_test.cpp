// The telemetry writer's limits and number forms, read back byte by byte.
#include "samplecard/telemetry_block.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace ravir::samples;

namespace {
int countOf(const QByteArray& block) { return qFromBigEndian<quint16>(block.constData() + 32); }
}  // namespace

TEST(TelemetryWriter, CountIsCappedAndTheTailFollowsTheLastRecord)
{
    TelemetryOptions o;
    o.records = 5000;
    o.recorderNumber = "12";  // short numbers are padded with blanks, never cut into the next bytes
    o.mark = 1;
    const QByteArray b = MakeTelemetryBlock(o);
    ASSERT_EQ(countOf(b), kTelemetryMaxRecords);
    const qsizetype end = 34 + 124 * static_cast<qsizetype>(kTelemetryMaxRecords);
    ASSERT_EQ(b.size(), end + 14);
    EXPECT_EQ(b[end], 1);
    EXPECT_EQ(b.mid(end + 2, 6), "QVXEND");
    EXPECT_EQ(b.mid(end + 8), "12    ");
    // The records keep ten a second of real time: the last one is 275.9 s after the first.
    EXPECT_EQ(b.mid(34 + 31, 12), "250314080000");
    EXPECT_EQ(b.mid(end - 124 + 31, 12), "250314080435");

    o.records = 0;
    const QByteArray empty = MakeTelemetryBlock(o);
    EXPECT_EQ(countOf(empty), 0);
    EXPECT_EQ(empty.mid(36, 6), "QVXEND");
}

TEST(TelemetryWriter, AnglesAndEventsUseTheRecorderForms)
{
    EXPECT_EQ(FormatNmeaAngle(35.5, 2), "3530.0000");
    EXPECT_EQ(FormatNmeaAngle(139.7671, 3), "13946.0260");
    EXPECT_EQ(FormatNmeaAngle(8.999999999, 2), "0900.0000");  // minutes rounding carries over
    EXPECT_EQ(FormatNmeaAngle(-33.25, 2), "3315.0000");

    TelemetryOptions o;
    o.records = 40;
    o.latitude = -33.9;  // south and west: the hemisphere letters change, the digits stay positive
    o.longitude = -70.6;
    o.impactAt = 20;
    o.impactAxis = 'Y';
    o.outageFrom = 5;
    o.outageTo = 8;
    o.manualAt = 3;
    o.emergencyStopAt = 30;
    o.parkingAt = 31;
    o.microphone = false;
    const QByteArray b = MakeTelemetryBlock(o);
    ASSERT_EQ(countOf(b), 40);
    int axisRecords = 0;
    for (int k = 0; k < 40; ++k) {
        const QByteArray r = b.mid(34 + 124 * k, 124);
        if (k >= 5 && k < 8) {
            EXPECT_EQ(r[5], 'V');
            EXPECT_EQ(r.mid(6, 25).trimmed(), "");
            EXPECT_EQ(static_cast<uint8_t>(r[123]) >> 4, 0) << "no satellites in an outage";
        } else {
            EXPECT_EQ(r[5], 'A');
            EXPECT_EQ(r[15], 'S');
            EXPECT_EQ(r[26], 'W');
        }
        if (r[73] == 'Y') {
            ++axisRecords;
            EXPECT_GE(std::abs(r.mid(62, 5).toInt()), 500) << "above the Y threshold";
            EXPECT_LE(std::abs(k - 20), 2);
        } else {
            EXPECT_EQ(r[73], ' ');
        }
        EXPECT_EQ(r[72] == 'D', k == 3);
        EXPECT_EQ(r[75] == 'D', k == 30);
        EXPECT_EQ(r[76] == 'D', k == 31);
        EXPECT_EQ(r[122], 'r');
    }
    EXPECT_GE(axisRecords, 1);
    // Same options, same bytes; another seed, another drive.
    EXPECT_EQ(MakeTelemetryBlock(o), b);
    o.seed = 2;
    EXPECT_NE(MakeTelemetryBlock(o), b);
}
