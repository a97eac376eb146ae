#pragma once
// The recorder's telemetry file read the plain way, for checking what the views show: the
// records' raw fields, which sample each video frame shows and which GPS fix a sample carries,
// worked out here from the file's bytes and the recorder's timing rules.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdlib>
#include <vector>

namespace ravir::test {

struct AdaRecord {
    bool fix = false;       // byte 5 'A'
    double speed = 0;       // bytes 27..30, km/h
    int accel[3] = {0, 0, 0};  // thousandths of G, bytes 57..71
    char axis = ' ';        // byte 73: 'X', 'Y', 'Z' for an acceleration event
    bool manual = false, emergency = false, parking = false;  // bytes 72, 75, 76 'D'
    bool event() const { return axis == 'X' || axis == 'Y' || axis == 'Z' || manual || emergency || parking; }
};

inline int AdaNumber(const QByteArray& r, int at, int len)
{
    return std::atoi(r.mid(at, len).trimmed().constData());
}

// Every record of the block: "QVXDAT", a 26-byte header, a big-endian count, 124-byte records.
inline std::vector<AdaRecord> ReadAdaRecords(const QString& path)
{
    std::vector<AdaRecord> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray data = f.readAll();
    const qsizetype at = data.indexOf("QVXDAT");
    if (at < 0 || data.size() < at + 34)
        return out;
    const int count = (static_cast<uint8_t>(data[at + 32]) << 8) | static_cast<uint8_t>(data[at + 33]);
    for (int k = 0; k < count; ++k) {
        const qsizetype base = at + 34 + static_cast<qsizetype>(k) * 124;
        if (base + 124 > data.size())
            break;
        const QByteArray r = data.mid(base, 124);
        if (r.startsWith("QVXEND"))
            break;
        AdaRecord a;
        a.fix = r[5] == 'A';
        a.speed = AdaNumber(r, 27, 4);
        for (int i = 0; i < 3; ++i)
            a.accel[i] = AdaNumber(r, 57 + 5 * i, 5);
        a.axis = r[73];
        a.manual = r[72] == 'D';
        a.emergency = r[75] == 'D';
        a.parking = r[76] == 'D';
        out.push_back(a);
    }
    return out;
}

// The record each video frame shows: record k is due at frame int(int(k x 100 ms) / frame ms)
// and becomes current no earlier than that frame, at most one record further per frame.
inline std::vector<int> FrameRecords(int records, long long frames, float frameMs, float intervalMs = 100.0f)
{
    std::vector<int> index;
    if (records <= 0 || frames <= 0 || frameMs <= 0)
        return index;
    auto due = [&](int k) {
        const int ms = static_cast<int>(static_cast<float>(k) * intervalMs);
        return static_cast<int>(static_cast<float>(ms) / frameMs);
    };
    int k = 0;
    for (long long i = 0; i < frames; ++i) {
        index.push_back(k);
        if (k + 1 < records && due(k + 1) <= i)
            ++k;
    }
    return index;
}

// The GPS record whose fix and speed a sample shows: the recorder's GPS part trails the
// accelerations by five records (the first five show record 0), one further back at the end.
inline std::vector<int> GpsRecords(int records, float frameMs, float intervalMs = 100.0f)
{
    std::vector<int> link(static_cast<size_t>(std::max(0, records)), 0);
    auto due = [&](int k) {
        const int ms = static_cast<int>(static_cast<float>(k) * intervalMs);
        return static_cast<int>(static_cast<float>(ms) / frameMs);
    };
    int g = 0;
    for (int j = 0; j < records; ++j) {
        if (due(g) <= due(j) && g < records - 1)
            ++g;
        link[static_cast<size_t>(j)] = g >= 5 ? g - 5 : 0;
    }
    return link;
}

}  // namespace ravir::test
