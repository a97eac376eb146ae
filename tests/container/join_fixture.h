#pragma once
// Movies built box by box for the joined save's tests: a recorder-style movie with a video and an
// audio track whose tables describe their media data exactly, and sparse files of any size.
#include "box_builder.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace ravir::test {

// A recorder-style movie: ftyp, mdat, moov with a video track (sync samples, per-sample sizes,
// 2 samples per chunk) and an audio track (constant sample size), samples laid out from the
// start of the media data.
// Audio samples last 400 ticks at 8000 a second (the last one lastAudioDelta).
inline QByteArray syntheticMovie(uint32_t frames, uint32_t audioSamples, bool ctts, uint64_t mdatPayload = 0,
                          bool sparse = false, uint32_t lastAudioDelta = 400)
{
    const QByteArray head = ftyp();
    const uint64_t payloadAt = static_cast<uint64_t>(head.size()) + (sparse ? 16 : 8);
    std::vector<uint32_t> sizes(frames, 10), videoChunks, audioChunks;
    uint64_t at = payloadAt;
    for (uint32_t c = 0; c < frames / 2; ++c) {
        videoChunks.push_back(static_cast<uint32_t>(at));
        at += 20;
    }
    // Four audio samples of 4 bytes per chunk; a last chunk holds the rest.
    for (uint32_t c = 0; c < (audioSamples + 3) / 4; ++c) {
        audioChunks.push_back(static_cast<uint32_t>(at));
        at += 4 * std::min<uint32_t>(4, audioSamples - 4 * c);
    }
    QByteArray audioStsc = box("stsc", be32(0) + be32(1) + be32(1) + be32(4) + be32(1));
    if (audioSamples % 4 != 0 && audioSamples > 4)
        audioStsc = box("stsc", be32(0) + be32(2) + be32(1) + be32(4) + be32(1)
                                    + be32(static_cast<uint32_t>(audioChunks.size())) + be32(audioSamples % 4) + be32(1));
    const uint64_t payload = std::max<uint64_t>(mdatPayload, at - payloadAt);
    std::vector<uint32_t> syncs;
    for (uint32_t s = 1; s <= frames; s += 10)
        syncs.push_back(s);
    QByteArray videoRest = table("stss", syncs) + stsc(2) + table("stsz", sizes, true) + table("stco", videoChunks);
    if (ctts)
        videoRest.prepend(box("ctts", be32(0) + be32(1) + be32(frames) + be32(1000)));
    const QByteArray audioStsz = box("stsz", be32(0) + be32(4) + be32(audioSamples));
    const QByteArray moov = box("moov", mvhd(1000, frames * 1000 / 30)
        + trak(1, frames * 1000 / 30, 30000, frames * 1000, stsdVideo(640, 360), stts({{frames, 1000}}), videoRest)
        + trak(2, frames * 1000 / 30, 8000, (audioSamples - 1) * 400 + lastAudioDelta, stsdAudio(),
               stts({{audioSamples - 1, 400}, {1, lastAudioDelta}}),
               audioStsc + audioStsz + table("stco", audioChunks), "soun"));
    QByteArray media;
    if (sparse)
        media = be32(1) + "mdat" + be64(payload + 16);
    else
        media = be32(static_cast<uint32_t>(payload + 8)) + "mdat" + QByteArray(static_cast<qsizetype>(payload), 'm');
    return head + media + moov;
}

// Writes head at 0 and tail at `at`, leaving a hole between (a sparse file).
inline bool writeSparse(const QString& path, const QByteArray& head, uint64_t at, const QByteArray& tail)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::pwrite(fd, head.constData(), static_cast<size_t>(head.size()), 0) == head.size()
        && ::pwrite(fd, tail.constData(), static_cast<size_t>(tail.size()), static_cast<off_t>(at)) == tail.size();
    return ::close(fd) == 0 && ok;
}

}  // namespace ravir::test
