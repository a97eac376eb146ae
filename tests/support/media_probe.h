#pragma once
// Reading movies back in tests without the project's own container code: the top-level boxes
// by a plain walk, stream facts through `ffprobe`, and the frame number that a decoded frame
// carries (tools/samplecard/frame_pattern.h) through `ffmpeg`.
#include <QByteArray>
#include <QString>
#include <vector>

namespace ravir::test {

struct TopBox {
    QByteArray type;
    qint64 offset = 0;   // of the header
    qint64 size = 0;     // whole box
    QByteArray payload;  // filled for boxes other than mdat up to 16 MiB
};
// Empty when the file cannot be read; stops at a box whose size does not fit the file (the last
// entry then has type "!bad").
std::vector<TopBox> topLevelBoxes(const QString& path);

struct ProbeFacts {
    bool ok = false;
    long long frames = -1;  // nb_read_frames of the first video stream (decoded count)
    int width = 0;
    int height = 0;
    QString rate;  // r_frame_rate, e.g. "30/1"
    bool hasAudio = false;
    QString audioCodec;
    QString videoCodec;
};
ProbeFacts probeVideo(const QString& path);

// Decodes frame k (0-based) as grey and reads the frame number pattern; -1 when unreadable.
long frameNumberAt(const QString& path, int k);

// A copy of `movie` at `out` whose media data is cut short while its index stays intact: the
// streams are copied (ffmpeg) with the index before the media data, and the file ends where
// the video sample `keepSamples` (in decode order) starts, so every later sample points past
// the end of the file. False when ffmpeg or ffprobe fails or the movie has too few samples.
bool writeCutShortMovie(const QString& movie, const QString& out, int keepSamples);

}  // namespace ravir::test
