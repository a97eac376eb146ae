#pragma once
// Builds MP4 boxes byte by byte for the container tests.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace ravir::test {

inline QByteArray be16(uint16_t v)
{
    QByteArray b(2, '\0');
    b[0] = static_cast<char>(v >> 8);
    b[1] = static_cast<char>(v);
    return b;
}
inline QByteArray be32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (24 - 8 * i));
    return b;
}
inline QByteArray be64(uint64_t v) { return be32(static_cast<uint32_t>(v >> 32)) + be32(static_cast<uint32_t>(v)); }

inline QByteArray box(const char* type, const QByteArray& payload)
{
    return be32(static_cast<uint32_t>(payload.size() + 8)) + QByteArray(type, 4) + payload;
}
inline QByteArray box64(const char* type, const QByteArray& payload)
{
    return be32(1) + QByteArray(type, 4) + be64(static_cast<uint64_t>(payload.size()) + 16) + payload;
}
inline QByteArray boxes(std::initializer_list<QByteArray> parts)
{
    QByteArray all;
    for (const QByteArray& p : parts)
        all += p;
    return all;
}

inline QByteArray ftyp() { return box("ftyp", QByteArray("isom") + be32(512) + "isomiso2avc1mp41"); }

inline QByteArray mvhd(uint32_t timescale, uint32_t duration)
{
    return box("mvhd", be32(0) + be32(0) + be32(0) + be32(timescale) + be32(duration) + QByteArray(80, '\0'));
}
inline QByteArray mvhdV1(uint32_t timescale, uint64_t duration)
{
    return box("mvhd", be32(0x01000000) + be64(0) + be64(0) + be32(timescale) + be64(duration)
                           + QByteArray(80, '\0'));
}
inline QByteArray tkhd(uint32_t trackId, uint32_t duration, int width = 0, int height = 0)
{
    return box("tkhd", be32(7) + be32(0) + be32(0) + be32(trackId) + be32(0) + be32(duration)
                           + QByteArray(52, '\0') + be32(static_cast<uint32_t>(width) << 16)
                           + be32(static_cast<uint32_t>(height) << 16));
}
inline QByteArray mdhd(uint32_t timescale, uint32_t duration)
{
    return box("mdhd", be32(0) + be32(0) + be32(0) + be32(timescale) + be32(duration) + be16(0x55c4) + be16(0));
}
inline QByteArray hdlr(const char* handler)
{
    return box("hdlr", be32(0) + be32(0) + QByteArray(handler, 4) + QByteArray(12, '\0') + QByteArray("h\0", 2));
}
inline QByteArray stsdVideo(int width, int height)
{
    QByteArray entry = QByteArray(6, '\0') + be16(1) + QByteArray(16, '\0') + be16(static_cast<uint16_t>(width))
        + be16(static_cast<uint16_t>(height)) + QByteArray(50, '\0');
    return box("stsd", be32(0) + be32(1) + box("avc1", entry));
}
inline QByteArray stsdAudio()
{
    QByteArray entry = QByteArray(6, '\0') + be16(1) + QByteArray(8, '\0') + be16(2) + be16(16)
        + QByteArray(4, '\0') + be32(48000u << 16);
    return box("stsd", be32(0) + be32(1) + box("mp4a", entry));
}
inline QByteArray stts(std::initializer_list<std::pair<uint32_t, uint32_t>> entries)
{
    QByteArray p = be32(0) + be32(static_cast<uint32_t>(entries.size()));
    for (const auto& [count, delta] : entries)
        p += be32(count) + be32(delta);
    return box("stts", p);
}
inline QByteArray table(const char* type, const std::vector<uint32_t>& values, bool withSampleSize = false)
{
    QByteArray p = be32(0);
    if (withSampleSize)
        p += be32(0);
    p += be32(static_cast<uint32_t>(values.size()));
    for (uint32_t v : values)
        p += be32(v);
    return box(type, p);
}
inline QByteArray stsc(uint32_t samplesPerChunk)
{
    return box("stsc", be32(0) + be32(1) + be32(1) + be32(samplesPerChunk) + be32(1));
}

// A track: tkhd, mdia(mdhd, hdlr, minf(stbl(...))).
inline QByteArray trak(uint32_t id, uint32_t movieDuration, uint32_t timescale, uint32_t trackDuration,
                       const QByteArray& stsd, const QByteArray& sttsBox, const QByteArray& rest,
                       const char* handler = "vide")
{
    return box("trak", tkhd(id, movieDuration)
                           + box("mdia", mdhd(timescale, trackDuration) + hdlr(handler)
                                             + box("minf", box("stbl", stsd + sttsBox + rest))));
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace ravir::test
