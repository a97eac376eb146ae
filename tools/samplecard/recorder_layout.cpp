#include "recorder_layout.h"

#include "shell/safe_write.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <vector>

namespace ravir::samples {
namespace {

struct TopBox {
    QByteArray type;
    qint64 offset = 0;      // of the header
    qint64 headerSize = 8;  // 8, or 16 with a 64-bit size
    qint64 size = 0;        // whole box
};

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

bool readTopBoxes(QFile& file, std::vector<TopBox>& boxes, QString* error)
{
    const qint64 fileSize = file.size();
    qint64 pos = 0;
    while (pos < fileSize) {
        if (fileSize - pos < 8 || !file.seek(pos)) {
            setError(error, QStringLiteral("truncated box header at %1").arg(pos));
            return false;
        }
        const QByteArray head = file.read(16);
        if (head.size() < 8) {
            setError(error, QStringLiteral("cannot read the box at %1").arg(pos));
            return false;
        }
        TopBox box;
        box.offset = pos;
        box.type = head.mid(4, 4);
        quint64 size = qFromBigEndian<quint32>(head.constData());
        if (size == 1) {
            if (head.size() < 16) {
                setError(error, QStringLiteral("truncated 64-bit box size at %1").arg(pos));
                return false;
            }
            size = qFromBigEndian<quint64>(head.constData() + 8);
            box.headerSize = 16;
        } else if (size == 0) {
            size = static_cast<quint64>(fileSize - pos);
        }
        if (size < static_cast<quint64>(box.headerSize) ||
            size > static_cast<quint64>(fileSize - pos)) {
            setError(error, QStringLiteral("box '%1' at %2 has a bad size")
                                .arg(QString::fromLatin1(box.type)).arg(pos));
            return false;
        }
        box.size = static_cast<qint64>(size);
        boxes.push_back(box);
        pos += box.size;
    }
    return true;
}

bool isContainer(const char* type)
{
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl", "edts",
                                              "dinf", "mvex", "moof", "traf"};
    for (const char* c : kContainers)
        if (std::memcmp(type, c, 4) == 0)
            return true;
    return false;
}

// Moves every chunk offset inside [begin, end) of the moov payload by delta.
bool patchChunkOffsets(QByteArray& moov, qsizetype begin, qsizetype end, qint64 delta,
                       QString* error)
{
    qsizetype pos = begin;
    while (pos + 8 <= end) {
        char* p = moov.data() + pos;
        quint64 size = qFromBigEndian<quint32>(p);
        qsizetype header = 8;
        if (size == 1) {
            if (pos + 16 > end)
                break;
            size = qFromBigEndian<quint64>(p + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<quint64>(end - pos);
        }
        if (size < static_cast<quint64>(header) || size > static_cast<quint64>(end - pos)) {
            setError(error, QStringLiteral("bad box size inside moov"));
            return false;
        }
        const qsizetype boxEnd = pos + static_cast<qsizetype>(size);
        const char* type = p + 4;
        if (isContainer(type)) {
            if (!patchChunkOffsets(moov, pos + header, boxEnd, delta, error))
                return false;
        } else if (std::memcmp(type, "stco", 4) == 0 || std::memcmp(type, "co64", 4) == 0) {
            const bool wide = type[1] == 'o';
            const qsizetype entrySize = wide ? 8 : 4;
            const qsizetype payload = pos + header;
            if (payload + 8 > boxEnd) {
                setError(error, QStringLiteral("truncated chunk offset table"));
                return false;
            }
            const quint32 count = qFromBigEndian<quint32>(moov.constData() + payload + 4);
            if (static_cast<qint64>(count) * entrySize > boxEnd - payload - 8) {
                setError(error, QStringLiteral("chunk offset table longer than its box"));
                return false;
            }
            char* entries = moov.data() + payload + 8;
            for (quint32 i = 0; i < count; ++i) {
                char* e = entries + static_cast<qsizetype>(i) * entrySize;
                if (wide) {
                    qToBigEndian<quint64>(static_cast<quint64>(
                                              static_cast<qint64>(qFromBigEndian<quint64>(e)) + delta),
                                          e);
                } else {
                    const qint64 moved = static_cast<qint64>(qFromBigEndian<quint32>(e)) + delta;
                    if (moved < 0 || moved > 0xFFFFFFFFLL) {
                        setError(error, QStringLiteral("chunk offset out of 32-bit range"));
                        return false;
                    }
                    qToBigEndian<quint32>(static_cast<quint32>(moved), e);
                }
            }
        }
        pos = boxEnd;
    }
    return true;
}

}  // namespace

QByteArray UdatBox(const QByteArray& telemetryBlock)
{
    QByteArray box(8, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(telemetryBlock.size() + 8), box.data());
    std::memcpy(box.data() + 4, "udat", 4);
    box += telemetryBlock;
    return box;
}

bool RewriteRecorderLayout(const QString& in, const QString& out, const QByteArray& telemetryBlock,
                           QString* error)
{
    QFile src(in);
    if (!src.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot open %1").arg(in));
        return false;
    }
    std::vector<TopBox> boxes;
    if (!readTopBoxes(src, boxes, error))
        return false;
    const TopBox* ftyp = nullptr;
    const TopBox* mdat = nullptr;
    const TopBox* moov = nullptr;
    for (const TopBox& b : boxes) {
        if (b.type == "ftyp" && !ftyp)
            ftyp = &b;
        else if (b.type == "mdat" && !mdat)
            mdat = &b;
        else if (b.type == "moov" && !moov)
            moov = &b;
    }
    if (!ftyp || !mdat || !moov) {
        setError(error, QStringLiteral("%1 lacks ftyp, mdat or moov").arg(in));
        return false;
    }
    const qint64 mdatPayload = mdat->size - mdat->headerSize;
    const bool mdatWide = mdatPayload + 8 > 0xFFFFFFFFLL;
    const qint64 newHeader = mdatWide ? 16 : 8;
    const qint64 oldPayloadOffset = mdat->offset + mdat->headerSize;
    const qint64 newPayloadOffset = ftyp->size + newHeader;

    src.seek(ftyp->offset);
    const QByteArray ftypBytes = src.read(ftyp->size);
    src.seek(moov->offset);
    QByteArray moovBytes = src.read(moov->size);
    if (ftypBytes.size() != ftyp->size || moovBytes.size() != moov->size) {
        setError(error, QStringLiteral("cannot read %1").arg(in));
        return false;
    }
    if (!patchChunkOffsets(moovBytes, moov->headerSize, moovBytes.size(),
                           newPayloadOffset - oldPayloadOffset, error))
        return false;

    // Written through the safe writer: `out` only ever holds a complete movie.
    SafeWriter dst;
    if (!dst.open(out)) {
        setError(error, QStringLiteral("cannot create %1: %2").arg(out, dst.error().message()));
        return false;
    }
    QByteArray mdatHeader(static_cast<qsizetype>(newHeader), '\0');
    if (mdatWide) {
        qToBigEndian<quint32>(1, mdatHeader.data());
        qToBigEndian<quint64>(static_cast<quint64>(mdatPayload + 16), mdatHeader.data() + 8);
    } else {
        qToBigEndian<quint32>(static_cast<quint32>(mdatPayload + 8), mdatHeader.data());
    }
    std::memcpy(mdatHeader.data() + 4, "mdat", 4);
    bool ok = dst.write(ftypBytes) && dst.write(mdatHeader);
    src.seek(oldPayloadOffset);
    qint64 left = mdatPayload;
    bool readFailed = false;
    while (ok && left > 0) {
        const QByteArray piece = src.read(std::min<qint64>(left, 4 << 20));
        if (piece.isEmpty()) {
            readFailed = true;
            break;
        }
        ok = dst.write(piece);
        left -= piece.size();
    }
    ok = ok && !readFailed && dst.write(moovBytes);
    if (ok && !telemetryBlock.isEmpty())
        ok = dst.write(UdatBox(telemetryBlock));
    if (readFailed) {
        dst.cancel();
        setError(error, QStringLiteral("cannot read %1").arg(in));
        return false;
    }
    if (!ok || !dst.commit()) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(out, dst.error().message()));
        return false;
    }
    return true;
}

}  // namespace ravir::samples
