// Sample movies: raw frames with the frame-number band go through the `ffmpeg` program's stdin
// and come out as H.264 (+ AAC); the recorder layout is made afterwards by rewriting the
// top-level boxes (recorder_layout.h).
#include "sample_movie.h"

#include "frame_pattern.h"
#include "recorder_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace ravir::samples {
namespace {

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

// ffmpeg wants a rational frame rate: whole numbers stay whole, NTSC rates become N*1000/1001.
QString rateText(double fps)
{
    const double whole = std::round(fps);
    if (std::fabs(fps - whole) < 1e-6)
        return QString::number(static_cast<long long>(whole));
    const double ntsc = std::round(fps * 1001.0 / 1000.0);
    if (std::fabs(fps - ntsc * 1000.0 / 1001.0) < 1e-4)
        return QStringLiteral("%1/1001").arg(static_cast<long long>(ntsc * 1000.0));
    return QStringLiteral("%1/1000").arg(static_cast<long long>(std::round(fps * 1000.0)));
}

// A cheap picture that changes from frame to frame: diagonal bands drifting sideways and a
// bright block crossing the picture, tinted by the seed. The frame-number band goes on top.
void drawFrame(std::vector<uint8_t>& buffer, int width, int height, uint32_t frameNumber,
               uint32_t frameIndex, uint32_t seed)
{
    const int cw = width / 2;
    const int ch = height / 2;
    uint8_t* luma = buffer.data();
    uint8_t* cb = luma + static_cast<size_t>(width) * static_cast<size_t>(height);
    uint8_t* cr = cb + static_cast<size_t>(cw) * static_cast<size_t>(ch);
    const int band = patternBandHeight(height);
    const int shift = static_cast<int>(frameIndex * 3u + seed * 17u);
    const int boxSize = std::max(4, height / 6);
    const int travel = std::max(1, width - boxSize);
    const int boxX = static_cast<int>((frameIndex * 7u + seed * 31u) % static_cast<uint32_t>(travel));
    const int boxY = band + (height - band - boxSize) / 2;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = luma + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (y < band)
            continue;  // the pattern band is drawn below
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<uint8_t>(40 + (((x + y + shift) >> 3) & 0x3f) * 2);
        if (y >= boxY && y < boxY + boxSize)
            std::memset(row + boxX, 200, static_cast<size_t>(std::min(boxSize, width - boxX)));
    }
    const uint8_t tintB = static_cast<uint8_t>(96 + (seed * 37u) % 64u);
    const uint8_t tintR = static_cast<uint8_t>(96 + (seed * 53u) % 64u);
    for (int y = 0; y < ch; ++y) {
        const bool underBand = y * 2 < band + 2;
        std::memset(cb + static_cast<size_t>(y) * static_cast<size_t>(cw), underBand ? 128 : tintB,
                    static_cast<size_t>(cw));
        std::memset(cr + static_cast<size_t>(y) * static_cast<size_t>(cw), underBand ? 128 : tintR,
                    static_cast<size_t>(cw));
    }
    drawFramePattern(luma, width, width, height, frameNumber);
}

QString ffmpegProgram()
{
    const QString env = qEnvironmentVariable("RAVIR_FFMPEG");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

// Runs ffmpeg and feeds it the frames; the output goes to outPath.
bool encode(const QString& outPath, const SampleMovieOptions& o, QString* error)
{
    const QString program = ffmpegProgram();
    if (program.isEmpty()) {
        setError(error, QStringLiteral("the ffmpeg program was not found"));
        return false;
    }
    const long long frames = frameCount(o);
    const QString rate = rateText(o.fps);
    QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                     QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                     QStringLiteral("-f"), QStringLiteral("rawvideo"),
                     QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                     QStringLiteral("-s"), QStringLiteral("%1x%2").arg(o.width).arg(o.height),
                     QStringLiteral("-framerate"), rate,
                     QStringLiteral("-i"), QStringLiteral("pipe:0")};
    // -nostdin only keeps ffmpeg from reading keyboard commands; pipe:0 is still the input.
    if (o.audio) {
        const double seconds = static_cast<double>(frames) / o.fps;
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=%2")
                    .arg(330 + (o.seed % 8u) * 55u)
                    .arg(seconds, 0, 'f', 6);
    }
    args << QStringLiteral("-map") << QStringLiteral("0:v");
    if (o.audio)
        args << QStringLiteral("-map") << QStringLiteral("1:a");
    args << QStringLiteral("-c:v") << QStringLiteral("libx264")
         << QStringLiteral("-preset") << (o.width * o.height >= 1280 * 720 ? QStringLiteral("ultrafast")
                                                                           : QStringLiteral("veryfast"))
         << QStringLiteral("-tune") << QStringLiteral("zerolatency")
         << QStringLiteral("-threads") << QStringLiteral("2")
         << QStringLiteral("-g") << QString::number(std::max(1, o.gop))
         << QStringLiteral("-keyint_min") << QString::number(std::max(1, o.gop))
         << QStringLiteral("-sc_threshold") << QStringLiteral("0")
         << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p")
         << QStringLiteral("-frames:v") << QString::number(frames);
    if (o.audio)
        args << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-b:a")
             << QStringLiteral("64k") << QStringLiteral("-ac") << QStringLiteral("2");
    if (o.faststart && !o.recorderLayout)
        args << QStringLiteral("-movflags") << QStringLiteral("+faststart");
    args << QStringLiteral("-f") << (o.format == QLatin1String("mp4") ? QStringLiteral("mp4")
                                                                       : QStringLiteral("mov"))
         << outPath;

    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        setError(error, QStringLiteral("cannot start ffmpeg: %1").arg(process.errorString()));
        return false;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(o.width) * static_cast<size_t>(o.height) * 3 / 2);
    bool writeFailed = false;
    for (long long i = 0; i < frames && !writeFailed; ++i) {
        drawFrame(buffer, o.width, o.height, o.firstFrameNumber + static_cast<uint32_t>(i),
                  static_cast<uint32_t>(i), o.seed);
        if (process.write(reinterpret_cast<const char*>(buffer.data()),
                          static_cast<qint64>(buffer.size())) != static_cast<qint64>(buffer.size())) {
            writeFailed = true;
            break;
        }
        // Keep at most a few frames queued in memory.
        while (process.bytesToWrite() > static_cast<qint64>(buffer.size()) * 2) {
            if (!process.waitForBytesWritten(60000)) {
                writeFailed = true;
                break;
            }
        }
    }
    while (!writeFailed && process.bytesToWrite() > 0) {
        if (!process.waitForBytesWritten(60000))
            writeFailed = true;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
        setError(error, QStringLiteral("ffmpeg did not finish"));
        return false;
    }
    const QByteArray stderrText = process.readAllStandardError().trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || writeFailed) {
        setError(error, QStringLiteral("ffmpeg failed: %1")
                            .arg(stderrText.isEmpty() ? process.errorString()
                                                      : QString::fromLocal8Bit(stderrText)));
        return false;
    }
    return true;
}

}  // namespace

long long frameCount(const SampleMovieOptions& options)
{
    const double n = std::llround(options.seconds * options.fps);
    return n < 1 ? 1 : static_cast<long long>(n);
}

bool WriteSampleMovie(const QString& path, const SampleMovieOptions& options, QString* error)
{
    if (options.width < 16 || options.height < 16 || options.width % 2 != 0 ||
        options.height % 2 != 0 || !(options.fps > 0.0) || options.fps > 1000.0 ||
        !(options.seconds > 0.0) || options.seconds > 3600.0) {
        setError(error, QStringLiteral("unsupported movie options (even sizes of at least 16, "
                                       "fps and seconds above 0)"));
        return false;
    }
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath())) {
        setError(error, QStringLiteral("cannot create the folder %1").arg(target.absolutePath()));
        return false;
    }
    // ffmpeg writes a temporary file in the same folder (its suffix keeps the muxer choice
    // explicit); the recorder layout is written from it to the final name through the safe
    // writer, or the file is renamed into place as it is.
    static std::atomic<int> counter{0};
    const QString encoded = target.absolutePath() + QStringLiteral("/.sample-%1-%2.enc.tmp")
                                                        .arg(::getpid())
                                                        .arg(counter.fetch_add(1));
    QFile::remove(encoded);
    if (!encode(encoded, options, error)) {
        QFile::remove(encoded);
        return false;
    }
    if (options.recorderLayout) {
        const bool ok = RewriteRecorderLayout(encoded, path, options.telemetryBlock, error);
        QFile::remove(encoded);
        return ok;
    }
    if (::rename(QFile::encodeName(encoded).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(encoded);
        setError(error, QStringLiteral("cannot rename the movie to %1").arg(path));
        return false;
    }
    return true;
}

}  // namespace ravir::samples
