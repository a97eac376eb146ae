#pragma once
// Benchmark inputs made once and kept between runs in $RAVIR_BENCH_DIR (default
// /tmp/ravir-bench): one-minute 1080p recordings in the recorder's box order, and a sparse copy
// of one of them beyond 4 GiB.
#include "container/mp4_box.h"
#include "samplecard/sample_movie.h"
#include "samplecard/telemetry_block.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ravir::bench {

inline QString benchDir()
{
    const QString dir = qEnvironmentVariable("RAVIR_BENCH_DIR", QStringLiteral("/tmp/ravir-bench"));
    QDir().mkpath(dir);
    return dir;
}

// The i-th one-minute 1080p recording (30 fps, audio, udat telemetry of 600 records).
inline QString minuteRecording(int i)
{
    const QString path = QStringLiteral("%1/NO%2_240501_1200%3_M.MOV")
                             .arg(benchDir())
                             .arg(1000 + i)
                             .arg(i % 60, 2, 10, QLatin1Char('0'));
    if (QFileInfo(path).size() > 0)
        return path;
    samples::SampleMovieOptions o;
    o.width = 1920;
    o.height = 1080;
    o.seconds = 60;
    o.fps = 30;
    o.seed = static_cast<uint32_t>(i + 1);
    o.firstFrameNumber = static_cast<uint32_t>(i * 1800);
    samples::TelemetryOptions t;
    t.records = 600;
    t.start = QDateTime(QDate(2024, 5, 1), QTime(12, i % 60));
    t.seed = static_cast<uint32_t>(i + 1);
    o.telemetryBlock = samples::MakeTelemetryBlock(t);
    QString error;
    std::fprintf(stderr, "making %s ...\n", qPrintable(path));
    if (!samples::WriteSampleMovie(path, o, &error)) {
        std::fprintf(stderr, "cannot make the recording: %s\n", qPrintable(error));
        return {};
    }
    return path;
}

// The recording with a hole of 4.5 GiB inside its mdat (64-bit size), moov past 4 GiB, chunk
// offsets moved so that every sample still points at its real bytes.
inline QString sparseBeyond4GiB(const QString& recording)
{
    const QString path = benchDir() + QStringLiteral("/sparse-4g.MOV");
    if (QFileInfo(path).size() > (4ll << 30))
        return path;
    auto movie = OpenMovieFile(recording);
    if (!movie || movie->mdat.empty())
        return {};
    const BoxNode& mdat = *movie->mdat.front();
    QFile in(recording);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = in.readAll();
    const auto mdatBox = static_cast<qsizetype>(mdat.sourceOffset - mdat.headerSize);
    const auto payloadEnd = static_cast<qsizetype>(mdat.sourceOffset + mdat.originalSize);
    const uint64_t hole = 4608ull << 20;
    const uint64_t shift = 16 - mdat.headerSize;  // the 64-bit header is longer
    QByteArray rest = all.mid(payloadEnd);         // moov, udat
    for (const BoxNode* stco : movie->stco) {
        const auto at = static_cast<qsizetype>(stco->sourceOffset) - payloadEnd;
        const uint32_t n = ReadBE32(reinterpret_cast<const uint8_t*>(rest.constData()) + at + 4);
        for (uint32_t k = 0; k < n; ++k) {
            auto* p = reinterpret_cast<uint8_t*>(rest.data()) + at + 8 + 4 * k;
            WriteBE32(p, static_cast<uint32_t>(ReadBE32(p) + shift));
        }
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0)
        return {};
    QByteArray head = all.left(mdatBox);
    uint8_t size[16] = {0, 0, 0, 1, 'm', 'd', 'a', 't'};
    WriteBE64(size + 8, mdat.originalSize + hole + 16);
    head.append(reinterpret_cast<const char*>(size), 16);
    head.append(all.mid(static_cast<qsizetype>(mdat.sourceOffset), static_cast<qsizetype>(mdat.originalSize)));
    bool ok = ::write(fd, head.constData(), static_cast<size_t>(head.size())) == head.size();
    ok = ok && ::pwrite(fd, rest.constData(), static_cast<size_t>(rest.size()),
                        static_cast<off_t>(static_cast<uint64_t>(head.size()) + hole)) == rest.size();
    ::close(fd);
    return ok ? path : QString();
}

// Peak resident memory since the last reset, in KiB (VmHWM; reset through clear_refs).
inline void resetPeakRss()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}
inline long rssKiB(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long value = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0)
            value = std::strtol(line + n + 1, nullptr, 10);
    }
    std::fclose(f);
    return value;
}

}  // namespace ravir::bench
