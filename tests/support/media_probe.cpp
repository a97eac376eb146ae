#include "media_probe.h"

#include "samplecard/frame_pattern.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>

namespace ravir::test {
namespace {

QByteArray run(const QString& program, const QStringList& args, int timeoutMs = 120000)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {};
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

}  // namespace

std::vector<TopBox> topLevelBoxes(const QString& path)
{
    std::vector<TopBox> boxes;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return boxes;
    const qint64 fileSize = f.size();
    qint64 pos = 0;
    while (pos + 8 <= fileSize) {
        f.seek(pos);
        const QByteArray head = f.read(16);
        quint64 size = qFromBigEndian<quint32>(head.constData());
        qint64 header = 8;
        if (size == 1 && head.size() == 16) {
            size = qFromBigEndian<quint64>(head.constData() + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<quint64>(fileSize - pos);
        }
        TopBox box;
        box.type = head.mid(4, 4);
        box.offset = pos;
        box.size = static_cast<qint64>(size);
        if (size < static_cast<quint64>(header) || size > static_cast<quint64>(fileSize - pos)) {
            box.type = "!bad";
            boxes.push_back(box);
            return boxes;
        }
        if (box.type != "mdat" && box.size - header <= (16 << 20)) {
            f.seek(pos + header);
            box.payload = f.read(box.size - header);
        }
        boxes.push_back(box);
        pos += box.size;
    }
    return boxes;
}

ProbeFacts probeVideo(const QString& path)
{
    ProbeFacts facts;
    const QByteArray out = run(QStringLiteral("ffprobe"),
                               {"-v", "error", "-count_frames", "-show_entries",
                                "stream=codec_type,codec_name,nb_read_frames,width,height,r_frame_rate",
                                "-of", "json", path});
    const QJsonArray streams = QJsonDocument::fromJson(out).object().value("streams").toArray();
    bool videoSeen = false;
    for (const QJsonValue& v : streams) {
        const QJsonObject s = v.toObject();
        if (s.value("codec_type") == "video" && !videoSeen) {
            videoSeen = true;
            facts.ok = true;
            facts.frames = s.value("nb_read_frames").toString().toLongLong();
            facts.width = s.value("width").toInt();
            facts.height = s.value("height").toInt();
            facts.rate = s.value("r_frame_rate").toString();
            facts.videoCodec = s.value("codec_name").toString();
        } else if (s.value("codec_type") == "audio") {
            facts.hasAudio = true;
            facts.audioCodec = s.value("codec_name").toString();
        }
    }
    return facts;
}

long frameNumberAt(const QString& path, int k)
{
    const QByteArray probe =
        run(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                        "stream=width,height", "-of", "csv=p=0", path});
    const QList<QByteArray> wh = probe.trimmed().split(',');
    if (wh.size() != 2)
        return -1;
    const int w = wh[0].toInt();
    const int h = wh[1].toInt();
    const QByteArray grey =
        run(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-vf",
                                       QStringLiteral("select=eq(n\\,%1)").arg(k), "-vframes", "1",
                                       "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    if (w <= 0 || h <= 0 || grey.size() != static_cast<qsizetype>(w) * h)
        return -1;
    return samples::readFramePattern(w, h, [&](int x, int y) {
        return static_cast<unsigned char>(grey[static_cast<qsizetype>(y) * w + x]);
    });
}

bool writeCutShortMovie(const QString& movie, const QString& out, int keepSamples)
{
    QFile::remove(out);
    run("ffmpeg", {"-v", "error", "-y", "-i", movie, "-map", "0", "-c", "copy", "-movflags",
                   "+faststart", "-f", "mp4", out});
    if (!QFile::exists(out))
        return false;
    const QList<QByteArray> positions =
        run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pos",
                        "-of", "csv=p=0", out})
            .split('\n');
    if (keepSamples < 0 || keepSamples >= positions.size())
        return false;
    bool ok = false;
    const qint64 cut = positions[keepSamples].trimmed().toLongLong(&ok);
    return ok && cut > 0 && cut < QFile(out).size() && QFile::resize(out, cut);
}

}  // namespace ravir::test
