// Fuzz target of the telemetry decoder: the bytes are decoded in memory and, as a file (memfd),
// by the file readers; both must agree. The samples then go through the frame index.
#include "memory_file.h"

#include "container/telemetry.h"
#include "container/telemetry_timeline.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameSamples(const std::vector<ravir::GpsSample>& a, const std::vector<ravir::GpsSample>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].index != b[i].index || a[i].time != b[i].time || a[i].valid != b[i].valid ||
            a[i].utcSeconds != b[i].utcSeconds)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace ravir;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data),
                               static_cast<qsizetype>(size));
    const bool timeLapse = size > 0 && (data[size - 1] & 1) != 0;

    TelemetryReader memory;
    const bool decoded = DecodeTelemetryBytes(bytes, timeLapse, memory);
    require(memory.gps.size() == memory.accel.size());
    require(memory.sampleCount == static_cast<int32_t>(memory.gps.size()));
    TelemetryHeader header;
    const bool headerRead = ReadTelemetryHeaderBytes(bytes, timeLapse, header);
    require(decoded == headerRead);
    const QString number = ReadRecorderNumberBytes(bytes);
    require(number.isEmpty() || number.size() >= 6);
    std::vector<GpsSample> gpsOnly;
    DecodeGpsOnlyBytes(bytes, timeLapse, gpsOnly);
    require(sameSamples(gpsOnly, memory.gps));

    // The frame index over the samples, with a frame count and duration taken from the input.
    const int frames = size > 2 ? 1 + (data[0] | data[1] << 8) % 4000 : 1;
    const double frameMs = size > 3 ? 5.0 + data[2] : 33.3;
    if (BuildFrameIndex(memory, PlainFrameFacts(frames, frameMs))) {
        require(memory.frameIndex.size() == static_cast<size_t>(frames));
        for (int f = 0; f < frames; ++f) {
            if (const AccelSample* a = memory.sampleAtFrame(f))
                (void)memory.gpsOf(*a);
        }
    }

    // The same bytes as a file.
    const MemoryFile input{"fuzz_telemetry", data, size};
    if (!input.ok())
        return 0;
    const QString path = input.path();
    TelemetryReader file;
    const bool loaded = LoadTelemetryFile(file, path);
    // The file name ("<fd>") is no time-lapse name.
    TelemetryReader normal;
    DecodeTelemetryBytes(bytes, false, normal);
    require(loaded == decoded);
    require(sameSamples(file.gps, normal.gps));
    require(file.header.mark == normal.header.mark);
    TelemetryHeader fileHeader;
    require(ReadTelemetryHeader(path, fileHeader) == headerRead);
    require(fileHeader.mark == header.mark && fileHeader.kind == header.kind);
    require(ReadRecorderNumber(path) == number);
    std::vector<GpsSample> fileGps;
    DecodeGpsOnly(path, fileGps);
    require(sameSamples(fileGps, normal.gps));
    return 0;
}
