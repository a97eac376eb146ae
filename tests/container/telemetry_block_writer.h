#pragma once
// Writes telemetry blocks byte by byte for the tests, independently of the decoder: every field
// is placed at its documented offset, the rest of a record is filled with a filler byte.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ravir::test {

struct HeaderFields {
    std::string thresholdX = "0300";
    std::string thresholdY = "0250";
    std::string thresholdZ = "1500";
    std::string fourth = "0042";
    char kind = 'M';
    std::string firmware = "010203";
    char byte23 = 'a';
    char byte24 = 'b';
};

struct RecordFields {
    char status = 'A';
    std::string latitude = "3539.1234";  // 9 bytes
    char latHemisphere = 'N';
    std::string longitude = "13945.6789";  // 10 bytes
    char lonHemisphere = 'E';
    std::string speed = "  42";  // 4 bytes
    std::string dateTime = "250314093000";  // YYMMDDhhmmss
    std::string addSeconds = "000";  // "*  " for none
    std::string following = "123";   // bytes 48..50
    std::string ax = " 0100", ay = "-0250", az = " 1000";  // 5 bytes each
    char marker72 = ' ';
    char axis = ' ';
    char marker75 = ' ';
    char marker76 = ' ';
    uint8_t byte122 = 0;
    uint8_t byte123 = 0;
    char filler = '#';
};

inline void Put(QByteArray& out, int offset, const std::string& text, int size)
{
    for (int i = 0; i < size; ++i)
        out[offset + i] = i < static_cast<int>(text.size()) ? text[static_cast<size_t>(i)] : ' ';
}

inline QByteArray HeaderBytes(const HeaderFields& h)
{
    QByteArray out(26, '\0');
    Put(out, 0, h.thresholdX, 4);
    Put(out, 4, h.thresholdY, 4);
    Put(out, 8, h.thresholdZ, 4);
    Put(out, 12, h.fourth, 4);
    out[16] = h.kind;
    Put(out, 17, h.firmware, 6);
    out[23] = h.byte23;
    out[24] = h.byte24;
    out[25] = '~';
    return out;
}

inline QByteArray RecordBytes(const RecordFields& r)
{
    QByteArray out(124, r.filler);
    out[5] = r.status;
    Put(out, 6, r.latitude, 9);
    out[15] = r.latHemisphere;
    Put(out, 16, r.longitude, 10);
    out[26] = r.lonHemisphere;
    Put(out, 27, r.speed, 4);
    Put(out, 31, r.dateTime, 12);
    Put(out, 44, r.addSeconds, 3);
    Put(out, 48, r.following, 3);
    Put(out, 57, r.ax, 5);
    Put(out, 62, r.ay, 5);
    Put(out, 67, r.az, 5);
    out[72] = r.marker72;
    out[73] = r.axis;
    out[75] = r.marker75;
    out[76] = r.marker76;
    out[122] = static_cast<char>(r.byte122);
    out[123] = static_cast<char>(r.byte123);
    return out;
}

inline QByteArray CountBytes(uint16_t count)
{
    QByteArray out(2, '\0');
    out[0] = static_cast<char>(count >> 8);
    out[1] = static_cast<char>(count & 0xFF);
    return out;
}

// "QVXDAT" + header + count + records + mark + spare + "QVXEND" + recorder number.
struct BlockSpec {
    HeaderFields header;
    int count = -1;  // -1: the number of records; otherwise written as given (0xFFFF too)
    std::vector<RecordFields> records;
    uint8_t mark = 1;
    bool endMagic = true;
    QByteArray recorderNumber = "004711";
};

inline QByteArray BlockBytes(const BlockSpec& b)
{
    QByteArray out("QVXDAT");
    out += HeaderBytes(b.header);
    out += CountBytes(static_cast<uint16_t>(b.count < 0 ? b.records.size() : b.count));
    for (const RecordFields& r : b.records)
        out += RecordBytes(r);
    if (b.endMagic) {
        out += static_cast<char>(b.mark);
        out += ' ';
        out += "QVXEND";
        out += b.recorderNumber;
    }
    return out;
}

// Records with a running date (10 per second from 2025-03-14 09:30:00) and a speed ramp.
inline std::vector<RecordFields> DriveRecords(int count)
{
    std::vector<RecordFields> records(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        RecordFields& r = records[static_cast<size_t>(k)];
        const int second = k / 10;
        char date[16];
        std::snprintf(date, sizeof date, "2503140930%02d", second % 60);
        r.dateTime = date;
        char speed[8];
        std::snprintf(speed, sizeof speed, "%4d", k % 120);
        r.speed = speed;
        char num[8];
        std::snprintf(num, sizeof num, "%03d", k % 1000);
        r.following = num;
        char x[8];
        std::snprintf(x, sizeof x, "%5d", (k * 37) % 2000 - 1000);
        r.ax = x;
    }
    return records;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section('/', 0, -2));
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace ravir::test
