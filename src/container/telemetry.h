#pragma once
// The recorder's telemetry block and its decoding.
//
// A telemetry file (".ADA", beside each recording) holds one block:
//   "QVXDAT", a 26-byte header, a big-endian uint16 record count N (0xFFFF: no count, records run
//   until the end magic), N records of 124 bytes (GPS fix, speed, date and time, three-axis
//   acceleration, marker letters), a mark byte, one spare byte, "QVXEND" and, in recorder files,
//   the six-digit recorder number.
// Everything except the count is ASCII. The readers here decode a block into the header and one
// GpsSample and one AccelSample per record. They never read outside the file: records that would
// run past its end are not decoded (the decode stops at the last whole record).
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

namespace ravir {

inline constexpr char kTelemetryMagic[] = "QVXDAT";
inline constexpr char kTelemetryEndMagic[] = "QVXEND";
inline constexpr int kTelemetryMagicSize = 6;
inline constexpr int kTelemetryHeaderSize = 26;
inline constexpr int kTelemetryRecordSize = 124;
// Where the header and the first record start, counted from the magic.
inline constexpr int kTelemetryHeaderStart = kTelemetryMagicSize;
inline constexpr int kTelemetryRecordsStart = kTelemetryMagicSize + kTelemetryHeaderSize + 2;
// Records of a full recorder block (276 s at 10 samples per second).
inline constexpr int kTelemetryFullBlockRecords = 2760;
// Record count meaning "no count given; records run until the end magic".
inline constexpr uint16_t kTelemetryNoCount = 0xFFFF;
// Milliseconds between samples: 10 per second, or 15 per second for time-lapse names.
inline constexpr float kTelemetryIntervalMs = 100.0f;
inline constexpr float kTelemetryTimeLapseIntervalMs = 66.666664f;

// Substitutes for fields that hold no digit.
inline constexpr double kNoCoordinate = 720.0;
inline constexpr double kNoSpeed = 32767.0;

// The decoded header. Zeroed before decoding.
struct TelemetryHeader {
    // G thresholds of the X, Y and Z axes and the fourth header value; -1.0 when the kind letter
    // is neither 'M' nor 'D'.
    float thresholdX = 0.0f;
    float thresholdY = 0.0f;
    float thresholdZ = 0.0f;
    float fourth = 0.0f;
    char kind = 0;             // 'M' or 'D'
    char firmware[6] = {};     // six ASCII digits, three pairs (not terminated)
    char byte23 = 0;           // header bytes 23 and 24, passed through
    char byte24 = 0;
    char rate = 0;             // 'T': 15 samples per second (time-lapse name), else 'N'
    uint8_t mark = 0;          // byte two places before the end magic; 0 when not found
    // The recording trigger code of the catalogue: the mark byte (1 when the recorder's clock was
    // reset; such recordings are listed in orange).
    uint8_t trigger = 0;

    // "%d.%d.%d" of the three two-digit firmware fields.
    QString firmwareVersion() const;
    QString firmwareText() const;  // the six bytes as text
};

// A calendar time, local time of the machine. dayOfWeek: 0 is Sunday.
struct TelemetryTime {
    int16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0,
            milliseconds = 0;
    bool operator==(const TelemetryTime&) const = default;
};

// One GPS fix, one per record.
struct GpsSample {
    int32_t index = 0;       // record number within the block
    int32_t time = 0;        // sample time in ms; the frame number after BuildFrameIndex
    int32_t valid = 0;       // 1 when the GPS status is 'A'
    int32_t accelLink = -1;  // index of the linked AccelSample (BuildFrameIndex), -1 none
    double latitude = 0.0;   // signed degrees; kNoCoordinate when the field holds no digit
    double longitude = 0.0;  // signed degrees; kNoCoordinate when the field holds no digit
    double speed = 0.0;      // km/h; kNoSpeed when the field holds no digit
    double heading = 0.0;    // never written
    TelemetryTime localTime;  // the record's date and time, local time
    int64_t utcSeconds = 0;   // the same instant in seconds since 1970-01-01 UTC
};

// Whether a GPS sample is a position that can be shown, drawn, exported or reported: the
// receiver's status is 'A' (valid), both coordinates were read (no field without digits) and
// are finite numbers within the globe (latitude -90..90, longitude -180..180), and the position
// is not exactly 0, 0, which the recorder writes while it has no position. Every view and
// export of a fix asks this one rule.
bool IsUsableFix(const GpsSample& sample);

// One acceleration sample, one per record.
struct AccelSample {
    int32_t index = 0;
    int32_t markerCode = -1;  // 6, 5 or 7 from the marker letters, else -1
    int32_t axisCode = 0;     // 'X' 1, 'Y' 2, 'Z' 3, else 0
    int32_t time = 0;         // sample time in ms; the frame number after BuildFrameIndex
    int32_t byte122 = 0;      // record byte 122 (0..255)
    // The three-digit number of the NEXT record, -1 when that record holds blanks there, 0 in the
    // last sample of a block.
    int32_t followingNumber = 0;
    int32_t gpsLink = -1;  // index of the linked GpsSample (BuildFrameIndex), -1 none
    double x = 0.0, y = 0.0, z = 0.0;  // G
    int32_t nibbleHigh = 0;  // the two halves of record byte 123
    int32_t nibbleLow = 0;
};

// One decoder context. The playback engine keeps three per player (current, load, prefetch).
// Only the cancel flag and the active flag may be touched by another thread while a scan runs.
class TelemetryReader {
public:
    TelemetryReader() = default;
    TelemetryReader(const TelemetryReader&) = delete;
    TelemetryReader& operator=(const TelemetryReader&) = delete;

    QString path;                   // telemetry file the lists came from
    int32_t sampleCount = 0;        // records decoded
    double maxAbsAccel = 0.0;       // largest |x|, |y| or |z| (BuildFrameIndex)
    std::vector<GpsSample> gps;
    std::vector<AccelSample> accel;
    TelemetryHeader header;
    // One entry per video frame of the main camera's movie: index into accel, -1 none.
    std::vector<int32_t> frameIndex;
    float frameMs = 0.0f;           // ms per frame of the movie (set when the movie is opened)
    bool timesInFrames = false;     // sample times already converted to frame numbers
    std::atomic<int> cancel{0};     // set by another thread to stop a scan in progress
    bool loaded = false;
    // Prefetch slot only: 1 while a prefetch runs, and the movie it was fetched for.
    std::atomic<int> active{0};
    QString prefetchMoviePath;
    float intervalMs = kTelemetryIntervalMs;  // sample interval of the last decoded header

    // Releases the lists, the frame index and the header; zeroes the path, counter and maximum;
    // loaded = false. Frame duration, interval and flags other than loaded stay.
    void clear();
    bool hasTelemetry() const { return !gps.empty() || !accel.empty(); }
    // The acceleration sample shown at a frame, or null.
    const AccelSample* sampleAtFrame(int64_t frame) const;
    // The GPS sample linked to an acceleration sample, or null.
    const GpsSample* gpsOf(const AccelSample& sample) const;
};

// True when the file name (not the folder) has 'T' as its first or third character: time-lapse
// recordings, sampled 15 times a second.
bool IsTimeLapseTelemetryName(const QString& path);

// True when the file exists and starts with "QVXDAT".
bool HasTelemetryMagic(const QString& telemetryPath);

// Decodes the header and the mark byte of a telemetry file. True when the file starts with the
// magic and could be mapped; the header content is not judged.
bool ReadTelemetryHeader(const QString& telemetryPath, TelemetryHeader& header);

// The same header read from a descriptor the caller opened on a regular file of `size` bytes,
// with positioned reads of only the bytes the header and the mark byte need (the catalogue reads
// the header of every recording, through the descriptor it already holds).
bool ReadTelemetryHeaderFd(int fd, uint64_t size, bool timeLapse, TelemetryHeader& header);

// The recorder number: the six bytes after the first end magic, as "%06d" of their value. Empty
// when the file has no magic, no end magic, fewer than six bytes after it, or six blanks.
QString ReadRecorderNumber(const QString& telemetryPath);

// Decodes the whole block of a telemetry file into the reader (lists, header, counter, path) and
// sets loaded. The reader's previous lists are replaced. On failure (no file, no magic, mapping
// failure, cancel flag set) the lists are released, the path cleared and loaded = false.
bool LoadTelemetryFile(TelemetryReader& reader, const QString& telemetryPath);

// Appends one GpsSample per record of the file's block to out (times in ms, starting at 0).
// False when the file cannot be read or does not start with the magic.
bool DecodeGpsOnly(const QString& telemetryPath, std::vector<GpsSample>& out);

// In-memory forms of the readers. bytes holds a whole telemetry file (the block found by the
// same magic scan); timeLapse chooses the 15-per-second interval (IsTimeLapseTelemetryName).
bool DecodeTelemetryBytes(QByteArrayView bytes, bool timeLapse, TelemetryReader& reader);
bool ReadTelemetryHeaderBytes(QByteArrayView bytes, bool timeLapse, TelemetryHeader& header);
QString ReadRecorderNumberBytes(QByteArrayView bytes);
bool DecodeGpsOnlyBytes(QByteArrayView bytes, bool timeLapse, std::vector<GpsSample>& out);

// The number of records of the block at the start of bytes, as every reader here takes them: the
// header's count, cut at the end magic and at the last whole record (for a count of 0xFFFF, every
// whole record before the end magic). The records start at kTelemetryRecordsStart. -1 when the
// bytes do not start with the magic or end inside the header or the count.
int64_t TelemetryBlockRecordCount(QByteArrayView bytes);

// The range code of the acceleration graph for the largest absolute acceleration:
// >= 1.5 G: 3, >= 1.0 G: 2, >= 0.5 G: 1, else 0.
int GraphRangeCode(double maxAbsAccel);

}  // namespace ravir
