#pragma once
// The joined save's telemetry holder: one telemetry block read into memory (the 26-byte header
// and whole 124-byte records), joined record by record, and written as a telemetry file.
#include "container/telemetry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace ravir {

constexpr int kTelemetryRecordBytes = kTelemetryRecordSize;
constexpr int kTelemetryHeaderBytes = kTelemetryHeaderSize;

struct TelemetryHolder {
    std::array<uint8_t, kTelemetryHeaderBytes> header{};
    int64_t recordCount = 0;
    std::vector<uint8_t> records;  // recordCount x 124 bytes
};

// Reads a block ("QVXDAT", header, big-endian count, records) from bytes, taking the records
// exactly as the decoder does (TelemetryBlockRecordCount): the count, cut at the end magic and at
// the last whole record. False when the bytes do not start with the magic or are shorter than
// the header and the count.
bool ReadTelemetryHolderBytes(const uint8_t* data, size_t size, TelemetryHolder& holder);

enum class TelemetryFileRead {
    Ok,
    Missing,     // no file of that name
    Unreadable,  // not a regular file, too large, unreadable, or no telemetry block
};
// Reads a telemetry file into a holder. The file is opened without blocking (a FIFO of that
// name is refused, not waited on); why receives the reason when it is not Ok.
TelemetryFileRead ReadTelemetryHolderFile(const QString& path, TelemetryHolder& holder,
                                          QString* why = nullptr);

// The one writer of the block layout (telemetry.h): "QVXDAT", the 26-byte header, the record
// count as big-endian uint16 (0xFFFF when there are 0xFFFF records or more), the records
// (recordCount x 124 bytes), the two bytes before the end magic, "QVXEND", then trailer. The
// recorder writes its mark byte and a spare byte before the end magic and its six-digit number
// after it; a joined file writes two blanks and, for 0xFFFF records or more, the true count.
QByteArray WriteTelemetryBlock(QByteArrayView header, QByteArrayView records, int64_t recordCount,
                               QByteArrayView beforeEnd, QByteArrayView trailer);

// Appends added's records followed by two more copies of its last record (none when added has
// no record).
void JoinTelemetry(TelemetryHolder& accumulator, const TelemetryHolder& added);
// The bytes of a joined telemetry file: "QVXDAT", header, count (0xFFFF when it is 0xFFFF or
// more), records, two blanks, "QVXEND", and the true count as 32 bits when it is 0xFFFF or more.
QByteArray TelemetryFileBytes(const TelemetryHolder& holder);

}  // namespace ravir
