#include "container/telemetry_holder.h"

#include "container/mp4_box.h"
#include "shell/regular_file.h"

#include <QFile>
#include <algorithm>
#include <limits>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {

namespace {

// Telemetry files of the recorder are a few hundred kilobytes; anything past this is not one.
constexpr int64_t kMaxTelemetryFile = 64ll << 20;

TelemetryFileRead unreadable(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return TelemetryFileRead::Unreadable;
}

}  // namespace

bool ReadTelemetryHolderBytes(const uint8_t* data, size_t size, TelemetryHolder& holder)
{
    holder = TelemetryHolder{};
    if (!data || size > static_cast<size_t>(std::numeric_limits<qsizetype>::max()))
        return false;
    const int64_t n = TelemetryBlockRecordCount(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (n < 0)
        return false;
    std::memcpy(holder.header.data(), data + kTelemetryHeaderStart, kTelemetryHeaderBytes);
    holder.recordCount = n;
    holder.records.assign(data + kTelemetryRecordsStart,
                          data + kTelemetryRecordsStart + n * kTelemetryRecordBytes);
    return true;
}

TelemetryFileRead ReadTelemetryHolderFile(const QString& path, TelemetryHolder& holder, QString* why)
{
    holder = TelemetryHolder{};
    const RegularFile file = OpenRegularFile(path);
    if (file.missing())
        return TelemetryFileRead::Missing;
    if (!file.ok())
        return unreadable(why, file.why());
    if (file.st.st_size > kMaxTelemetryFile)
        return unreadable(why, QStringLiteral("too large for a telemetry file"));
    std::vector<uint8_t> bytes(static_cast<size_t>(file.st.st_size));
    if (!PreadAll(file.fd.get(), bytes.data(), bytes.size(), 0))
        return unreadable(why, QStringLiteral("cannot be read"));
    if (!ReadTelemetryHolderBytes(bytes.data(), bytes.size(), holder))
        return unreadable(why, QStringLiteral("holds no telemetry block"));
    return TelemetryFileRead::Ok;
}

void JoinTelemetry(TelemetryHolder& accumulator, const TelemetryHolder& added)
{
    if (added.recordCount <= 0)
        return;
    if (&accumulator == &added) {
        const TelemetryHolder copy = added;
        JoinTelemetry(accumulator, copy);
        return;
    }
    accumulator.records.insert(accumulator.records.end(), added.records.begin(), added.records.end());
    const auto last = added.records.end() - kTelemetryRecordBytes;
    for (int copy = 0; copy < 2; ++copy)
        accumulator.records.insert(accumulator.records.end(), last, last + kTelemetryRecordBytes);
    accumulator.recordCount += added.recordCount + 2;
}

QByteArray WriteTelemetryBlock(QByteArrayView header, QByteArrayView records, int64_t recordCount,
                               QByteArrayView beforeEnd, QByteArrayView trailer)
{
    QByteArray out;
    out.reserve(kTelemetryMagicSize + kTelemetryHeaderSize + 2 + records.size() + beforeEnd.size()
                + kTelemetryMagicSize + trailer.size());
    out.append(kTelemetryMagic, kTelemetryMagicSize);
    out.append(header.first(std::min<qsizetype>(header.size(), kTelemetryHeaderSize)));
    out.append(QByteArray(kTelemetryHeaderSize - std::min<qsizetype>(header.size(), kTelemetryHeaderSize), ' '));
    const auto count16 = static_cast<uint16_t>(std::min<int64_t>(std::max<int64_t>(recordCount, 0), kTelemetryNoCount));
    out += static_cast<char>(count16 >> 8);
    out += static_cast<char>(count16 & 0xFF);
    out.append(records);
    out.append(beforeEnd);
    out.append(kTelemetryEndMagic, kTelemetryMagicSize);
    out.append(trailer);
    return out;
}

QByteArray TelemetryFileBytes(const TelemetryHolder& holder)
{
    QByteArray countAfterEnd;
    if (holder.recordCount >= kTelemetryNoCount) {
        uint8_t c[4];
        WriteBE32(c, static_cast<uint32_t>(holder.recordCount));
        countAfterEnd = QByteArray(reinterpret_cast<const char*>(c), 4);
    }
    return WriteTelemetryBlock(
        QByteArrayView(reinterpret_cast<const char*>(holder.header.data()), kTelemetryHeaderBytes),
        QByteArrayView(reinterpret_cast<const char*>(holder.records.data()), static_cast<qsizetype>(holder.records.size())),
        holder.recordCount, "  ", countAfterEnd);
}

}  // namespace ravir
