#include "container/telemetry.h"

#include "container/find_mutex.h"
#include "container/mapped_file.h"
#include "shell/regular_file.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <mutex>

#include <cerrno>
#include <unistd.h>

namespace ravir {
namespace {

// The window mapped at the block; a block is at most about 342 KB, joined blocks longer.
constexpr uint64_t kBlockWindow = 0x2000000;
// Header offsets relative to H (the first byte after the magic).
constexpr int64_t kCountOffset = 26;
constexpr int64_t kRecordsOffset = 28;
constexpr int64_t kFullBlockEnd =
    kRecordsOffset + int64_t{kTelemetryFullBlockRecords} * kTelemetryRecordSize;

// A bounded byte range; reads past its end give 0.
struct Bytes {
    const uint8_t* p = nullptr;
    size_t n = 0;

    uint8_t at(int64_t off) const
    {
        return off >= 0 && static_cast<uint64_t>(off) < n ? p[off] : uint8_t{0};
    }
    bool has(int64_t off, int64_t len) const
    {
        return off >= 0 && len >= 0 && static_cast<uint64_t>(off) <= n &&
               static_cast<uint64_t>(len) <= n - static_cast<uint64_t>(off);
    }
    bool startsWith(int64_t off, const char* magic) const
    {
        return has(off, kTelemetryMagicSize) && std::memcmp(p + off, magic, kTelemetryMagicSize) == 0;
    }
    // Copies len bytes at off into out, zero-filled where the range leaves the bytes.
    void copy(int64_t off, size_t len, uint8_t* out) const
    {
        for (size_t i = 0; i < len; ++i)
            out[i] = at(off + static_cast<int64_t>(i));
    }
};

bool IsCSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// A number field read like atof on a zero-terminated copy: leading white space, an optional
// sign, digits, an optional decimal point and more digits; the first other byte ends it. The
// fields are at most ten bytes, so the digits form an exact integer and one division by an exact
// power of ten gives the correctly rounded value, as strtod would.
double NumberField(const uint8_t* f, size_t len)
{
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6,
                                         1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
    size_t i = 0;
    while (i < len && IsCSpace(f[i]))
        ++i;
    bool negative = false;
    if (i < len && (f[i] == '+' || f[i] == '-')) {
        negative = f[i] == '-';
        ++i;
    }
    uint64_t mantissa = 0;
    size_t decimals = 0;
    bool point = false;
    for (; i < len; ++i) {
        if (IsDigit(f[i])) {
            mantissa = mantissa * 10 + (f[i] - '0');
            decimals += point ? 1 : 0;
        } else if (f[i] == '.' && !point) {
            point = true;
        } else {
            break;  // also the zero that ends the copied field
        }
    }
    // The fields are at most ten bytes long, so decimals stays inside the table.
    const double v =
        static_cast<double>(mantissa) / kPowers[std::min(decimals, std::size(kPowers) - 1)];
    return negative ? -v : v;
}

// A short field read like atoi.
int IntField(const uint8_t* f, size_t len)
{
    size_t i = 0;
    while (i < len && IsCSpace(f[i]))
        ++i;
    bool negative = false;
    if (i < len && (f[i] == '+' || f[i] == '-')) {
        negative = f[i] == '-';
        ++i;
    }
    int v = 0;
    for (; i < len && IsDigit(f[i]); ++i)
        v = v * 10 + (f[i] - '0');
    return negative ? -v : v;
}

bool HasDigit(const uint8_t* f, size_t len)
{
    return std::any_of(f, f + len, [](uint8_t c) { return IsDigit(c); });
}

float SampleTime(int64_t k, float intervalMs)
{
    return static_cast<float>(k) * intervalMs;
}

int32_t TruncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= -2147483648.0)
        return INT32_MIN;
    if (v >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(v);
}

// Decodes header fields (steps 1 to 5) at off.
void DecodeHeaderFields(Bytes h, int64_t off, bool timeLapse, TelemetryHeader& hdr,
                        float& intervalMs)
{
    uint8_t raw[kTelemetryHeaderSize];
    h.copy(off, sizeof raw, raw);
    hdr = TelemetryHeader{};
    hdr.kind = static_cast<char>(raw[16]);
    if (hdr.kind == 'M' || hdr.kind == 'D') {
        uint8_t field[5] = {};
        float* values[4] = {&hdr.thresholdX, &hdr.thresholdY, &hdr.thresholdZ, &hdr.fourth};
        for (int i = 0; i < 4; ++i) {
            std::memcpy(field, raw + 4 * i, 4);
            *values[i] = static_cast<float>(NumberField(field, 4)) / 1000.0f;
        }
    } else {
        hdr.thresholdX = hdr.thresholdY = hdr.thresholdZ = hdr.fourth = -1.0f;
    }
    hdr.byte23 = static_cast<char>(raw[23]);
    hdr.byte24 = static_cast<char>(raw[24]);
    hdr.rate = timeLapse ? 'T' : 'N';
    intervalMs = timeLapse ? kTelemetryTimeLapseIntervalMs : kTelemetryIntervalMs;
    std::memcpy(hdr.firmware, raw + 17, 6);
}

// The mark byte for records ending at recordsEnd (relative to H), with the place after a full
// block as the fallback; 0 when neither place holds the end magic. probe(place, out) copies the
// eight bytes at place (mark, spare, end magic) and fails when they are not all there.
template <class Probe>
uint8_t MarkByteWith(int64_t recordsEnd, Probe probe)
{
    uint8_t b[8];
    auto endMagicAt = [&](int64_t place) {
        return place >= 0 && probe(place, b) &&
               std::memcmp(b + 2, kTelemetryEndMagic, kTelemetryMagicSize) == 0;
    };
    if (endMagicAt(recordsEnd) || endMagicAt(kFullBlockEnd))
        return b[0];
    return 0;
}

uint8_t MarkByte(Bytes h, int64_t recordsEnd)
{
    return MarkByteWith(recordsEnd, [&](int64_t place, uint8_t* out) {
        if (!h.has(place, 8))
            return false;
        std::memcpy(out, h.p + place, 8);
        return true;
    });
}

uint16_t RecordCount(Bytes h)
{
    return static_cast<uint16_t>(h.at(kCountOffset) << 8 | h.at(kCountOffset + 1));
}

// Where the counted records end (relative to H); -1 without a count.
int64_t HeaderRecordsEnd(Bytes h)
{
    const uint16_t count = RecordCount(h);
    return count == kTelemetryNoCount ? -1
                                      : kRecordsOffset + int64_t{count} * kTelemetryRecordSize;
}

// Header decode, chained headers included (the later replace the earlier). False when the bytes
// end before it is clear whether another header follows.
bool DecodeHeaderChain(Bytes h, bool timeLapse, TelemetryHeader& hdr, float& intervalMs)
{
    int64_t off = 0;
    for (;;) {
        DecodeHeaderFields(h, off, timeLapse, hdr, intervalMs);
        const uint8_t next = h.at(off + 33);
        if (h.at(off + 30) == '@' && h.at(off + 31) == 'Q' && h.at(off + 32) == 'V' &&
            next >= 'A' && next <= 'Z' && h.has(off + 34, 1))
            off += 34;
        else
            return h.has(off + 35, 0);
    }
}

// Header decode with the mark byte, all from bytes in memory.
void DecodeHeader(Bytes h, bool timeLapse, TelemetryHeader& hdr, float& intervalMs)
{
    DecodeHeaderChain(h, timeLapse, hdr, intervalMs);
    hdr.mark = MarkByte(h, HeaderRecordsEnd(h));
    hdr.trigger = hdr.mark;
}

// Converts the local calendar time of a record. mktime and localtime_r are the costly part of a
// record, and ten records a second share one date and time, so both are done once per minute:
// zone offsets and their changes fall on whole minutes, so within one minute a time moves by
// whole seconds on both sides.
class TimeDecoder {
public:
    void decode(const uint8_t* rec, GpsSample& s)
    {
        int fields[6];
        for (int i = 0; i < 6; ++i)
            fields[i] = IntField(rec + 31 + 2 * i, 2);
        int64_t secs = 0;
        bool converted = false;
        if (fields[5] >= 0 && fields[5] <= 59) {
            if (!haveMinute_ || std::memcmp(fields, minuteFields_, 5 * sizeof(int)) != 0) {
                std::memcpy(minuteFields_, fields, 5 * sizeof(int));
                haveMinute_ = true;
                minuteConverted_ = Convert(fields, 0, minuteSeconds_);
            }
            converted = minuteConverted_;
            secs = converted ? minuteSeconds_ + fields[5] : 0;
        } else {
            converted = Convert(fields, fields[5], secs);  // seconds that roll over
        }
        if (converted && rec[44] != '*')
            secs += IntField(rec + 44, 3);
        s.utcSeconds = secs;

        const int second = static_cast<int>(((secs % 60) + 60) % 60);
        const int64_t minute = secs - second;
        if (!haveLocal_ || minute != localMinute_) {
            haveLocal_ = true;
            localMinute_ = minute;
            local_ = LocalTimeOf(minute);
        }
        if (local_.year != 0 && local_.second + second <= 59) {
            s.localTime = local_;
            s.localTime.second = static_cast<int16_t>(local_.second + second);
        } else {
            s.localTime = LocalTimeOf(secs);  // an offset with seconds in it: no shortcut
        }
    }

private:
    static TelemetryTime LocalTimeOf(int64_t secs)
    {
        TelemetryTime local;
        const time_t tt = static_cast<time_t>(secs);
        struct tm lt {};
        if (localtime_r(&tt, &lt) != nullptr) {
            local.year = static_cast<int16_t>(lt.tm_year + 1900);
            local.month = static_cast<int16_t>(lt.tm_mon + 1);
            local.dayOfWeek = static_cast<int16_t>(lt.tm_wday);
            local.day = static_cast<int16_t>(lt.tm_mday);
            local.hour = static_cast<int16_t>(lt.tm_hour);
            local.minute = static_cast<int16_t>(lt.tm_min);
            local.second = static_cast<int16_t>(lt.tm_sec);
        }
        return local;
    }

    static bool Convert(const int* fields, int seconds, int64_t& out)
    {
        struct tm t {};
        t.tm_year = 100 + fields[0];
        t.tm_mon = fields[1] - 1;
        t.tm_mday = fields[2];
        t.tm_hour = fields[3];
        t.tm_min = fields[4];
        t.tm_sec = seconds;
        // The recorder writes wall-clock time: let the platform decide whether daylight saving
        // applies, so that the time reads back as written in every zone.
        t.tm_isdst = -1;
        const time_t secs = std::mktime(&t);
        out = secs == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(secs);
        return secs != static_cast<time_t>(-1);
    }

    int minuteFields_[5] = {};
    bool haveMinute_ = false;
    bool minuteConverted_ = false;
    int64_t minuteSeconds_ = 0;
    bool haveLocal_ = false;
    int64_t localMinute_ = 0;
    TelemetryTime local_;
};

double Coordinate(const uint8_t* field, size_t len, uint8_t hemisphere)
{
    if (!HasDigit(field, len))
        return kNoCoordinate;
    const double v = NumberField(field, len);
    // |v| < 1e10 (ten bytes at most), so the whole part fits a 64-bit integer.
    const int64_t degrees = static_cast<int64_t>(v) / 100;
    const double minutes = std::fmod(v, 100.0);
    // South and west are negative, as GPS data means them; a zero byte (no hemisphere written)
    // is negative too, as the recorder's readers have always taken it.
    const double sign = (hemisphere == 'S' || hemisphere == 'W' || hemisphere == 0) ? -1.0 : 1.0;
    return (minutes / 60.0 + static_cast<double>(degrees)) * sign;
}

GpsSample DecodeGps(const uint8_t* rec, int32_t k, float intervalMs, TimeDecoder& times)
{
    GpsSample s;
    s.index = k;
    s.time = TruncToInt(SampleTime(k, intervalMs));
    s.valid = rec[5] == 'A' ? 1 : 0;
    s.speed = HasDigit(rec + 27, 4) ? NumberField(rec + 27, 4) : kNoSpeed;
    s.latitude = Coordinate(rec + 6, 9, rec[15]);
    s.longitude = Coordinate(rec + 16, 10, rec[26]);
    times.decode(rec, s);
    return s;
}

AccelSample DecodeAccel(const uint8_t* rec, int32_t k, float intervalMs)
{
    AccelSample a;
    a.index = k;
    a.time = TruncToInt(SampleTime(k, intervalMs));
    if (rec[75] == 'D')
        a.markerCode = 6;
    else if (rec[72] == 'D')
        a.markerCode = 5;
    else if (rec[76] == 'D')
        a.markerCode = 7;
    else
        a.markerCode = -1;
    switch (rec[73]) {
    case 'X': a.axisCode = 1; break;
    case 'Y': a.axisCode = 2; break;
    case 'Z': a.axisCode = 3; break;
    default: a.axisCode = 0; break;
    }
    a.x = static_cast<double>(static_cast<float>(NumberField(rec + 57, 5)) / 1000.0f);
    a.y = static_cast<double>(static_cast<float>(NumberField(rec + 62, 5)) / 1000.0f);
    a.z = static_cast<double>(static_cast<float>(NumberField(rec + 67, 5)) / 1000.0f);
    a.byte122 = rec[122];
    a.nibbleHigh = rec[123] >> 4;
    a.nibbleLow = rec[123] & 0x0F;
    return a;
}

int32_t FollowingNumber(const uint8_t* rec)
{
    if (rec[48] == ' ' && rec[49] == ' ' && rec[50] == ' ')
        return -1;
    return IntField(rec + 48, 3);
}

struct RecordsResult {
    int32_t decoded = 0;
    bool cancelled = false;
    bool stoppedAtEndMagic = false;
};

// The records of the block whose header starts at H: the header's count, cut at the end magic and
// at the last whole record (a count of 0xFFFF: every whole record before the end magic).
struct RecordSpan {
    int64_t count = 0;
    bool endMagic = false;  // the end magic follows the last record
};

RecordSpan BlockRecordSpan(Bytes h)
{
    RecordSpan span;
    const uint16_t count = RecordCount(h);
    const bool counted = count != kTelemetryNoCount;
    for (int64_t k = 0; !(counted && k >= count) && k < INT32_MAX; ++k) {
        const int64_t off = kRecordsOffset + k * kTelemetryRecordSize;
        if (h.startsWith(off, kTelemetryEndMagic)) {
            span.endMagic = true;
            break;
        }
        if (!h.has(off, kTelemetryRecordSize))
            break;
        span.count = k + 1;
    }
    return span;
}

// Decodes the records after the header at H. accel may be null (GPS only).
RecordsResult DecodeRecords(Bytes h, float intervalMs, std::vector<GpsSample>& gps,
                            std::vector<AccelSample>* accel, std::atomic<int>* cancel)
{
    RecordsResult r;
    const RecordSpan span = BlockRecordSpan(h);
    r.stoppedAtEndMagic = span.endMagic;
    gps.reserve(gps.size() + static_cast<size_t>(span.count));
    if (accel != nullptr)
        accel->reserve(accel->size() + static_cast<size_t>(span.count));
    TimeDecoder times;
    for (int64_t k = 0; k < span.count; ++k) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0) {
            cancel->store(0);
            r.cancelled = true;
            r.stoppedAtEndMagic = false;
            break;
        }
        const uint8_t* rec = h.p + kRecordsOffset + k * kTelemetryRecordSize;
        const auto index = static_cast<int32_t>(k);
        gps.push_back(DecodeGps(rec, index, intervalMs, times));
        if (accel != nullptr) {
            if (!accel->empty())
                accel->back().followingNumber = FollowingNumber(rec);
            accel->push_back(DecodeAccel(rec, index, intervalMs));
        }
        r.decoded = index + 1;
    }
    return r;
}

// The locate step over bytes held in memory: offset of the first four bytes of magic.
int64_t FindMagic(Bytes b, const char* magic)
{
    if (b.n < 4)
        return -1;
    for (size_t i = 0; i + 4 <= b.n; ++i) {
        if (b.p[i] == static_cast<uint8_t>(magic[0]) && std::memcmp(b.p + i, magic, 4) == 0)
            return static_cast<int64_t>(i);
    }
    return -1;
}

enum class Locate { Found, NotFound, Cancelled, Failed };

// The locate step over a file: bounded reads in chunks that overlap by three bytes.
Locate FindMagicInFile(const MappedFile& f, const char* magic, std::atomic<int>* cancel,
                       uint64_t& at)
{
    constexpr size_t kChunk = 64 * 1024;
    std::vector<uint8_t> buf(kChunk);
    uint64_t pos = 0;
    while (pos + 4 <= f.size()) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0) {
            cancel->store(0);
            return Locate::Cancelled;
        }
        const size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, f.size() - pos));
        if (!f.read(pos, buf.data(), len))
            return Locate::Failed;
        const int64_t i = FindMagic(Bytes{buf.data(), len}, magic);
        if (i >= 0) {
            at = pos + static_cast<uint64_t>(i);
            return Locate::Found;
        }
        if (pos + len >= f.size())
            break;
        pos += len - 3;
    }
    return Locate::NotFound;
}

// The block window at the magic, read into memory: a file that is cut short or vanishes while it
// is read (a card pulled out) then fails the read instead of faulting a mapped page.
bool ReadBlockWindow(const MappedFile& f, uint64_t at, std::vector<uint8_t>& out)
{
    if (at >= f.size())
        return false;
    const auto len = static_cast<size_t>(std::min<uint64_t>(kBlockWindow, f.size() - at));
    out.resize(len);
    return f.read(at, out.data(), len);
}

bool StartsWithMagic(const MappedFile& f)
{
    char head[kTelemetryMagicSize];
    return f.read(0, head, sizeof head) && std::memcmp(head, kTelemetryMagic, sizeof head) == 0;
}

bool StartsWithMagic(QByteArrayView bytes)
{
    return bytes.size() >= kTelemetryMagicSize &&
           std::memcmp(bytes.data(), kTelemetryMagic, kTelemetryMagicSize) == 0;
}

Bytes AfterMagic(const uint8_t* p, size_t n)
{
    return n > kTelemetryMagicSize ? Bytes{p + kTelemetryMagicSize, n - kTelemetryMagicSize}
                                   : Bytes{p + n, 0};
}

Bytes ViewBytes(QByteArrayView bytes)
{
    return Bytes{reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<size_t>(bytes.size())};
}

// The whole decode of a block whose header starts at h.
bool DecodeBlock(Bytes h, bool timeLapse, TelemetryReader& reader)
{
    reader.gps.clear();
    reader.accel.clear();
    reader.frameIndex.clear();
    reader.maxAbsAccel = 0.0;
    reader.timesInFrames = false;
    DecodeHeader(h, timeLapse, reader.header, reader.intervalMs);
    reader.sampleCount = 0;
    const RecordsResult r = DecodeRecords(h, reader.intervalMs, reader.gps, &reader.accel,
                                          &reader.cancel);
    if (r.cancelled)
        return false;
    reader.sampleCount = r.decoded;
    const bool counted = RecordCount(h) != kTelemetryNoCount;
    if (!(counted && r.stoppedAtEndMagic)) {
        reader.header.mark =
            MarkByte(h, kRecordsOffset + int64_t{r.decoded} * kTelemetryRecordSize);
        reader.header.trigger = reader.header.mark;
    }
    return true;
}

QString RecorderNumberAt(Bytes b, int64_t at)
{
    uint8_t digits[6];
    if (at < 0 || !b.has(at + kTelemetryMagicSize, 6))
        return {};
    b.copy(at + kTelemetryMagicSize, 6, digits);
    if (std::all_of(digits, digits + 6, [](uint8_t c) { return c == ' '; }))
        return {};
    const int value = IntField(digits, 6);
    if (value < 0)
        return {};
    return QString::asprintf("%06d", value);
}

}  // namespace

QString TelemetryHeader::firmwareVersion() const
{
    const auto* f = reinterpret_cast<const uint8_t*>(firmware);
    return QString::asprintf("%d.%d.%d", IntField(f, 2), IntField(f + 2, 2), IntField(f + 4, 2));
}

QString TelemetryHeader::firmwareText() const
{
    QString text;
    for (char c : firmware)
        text += QChar(static_cast<ushort>(static_cast<uint8_t>(c)));
    return text;
}

void TelemetryReader::clear()
{
    path.clear();
    sampleCount = 0;
    maxAbsAccel = 0.0;
    std::vector<GpsSample>().swap(gps);
    std::vector<AccelSample>().swap(accel);
    std::vector<int32_t>().swap(frameIndex);
    header = TelemetryHeader{};
    timesInFrames = false;
    loaded = false;
}

const AccelSample* TelemetryReader::sampleAtFrame(int64_t frame) const
{
    if (frame < 0 || static_cast<uint64_t>(frame) >= frameIndex.size())
        return nullptr;
    const int32_t i = frameIndex[static_cast<size_t>(frame)];
    if (i < 0 || static_cast<size_t>(i) >= accel.size())
        return nullptr;
    return &accel[static_cast<size_t>(i)];
}

const GpsSample* TelemetryReader::gpsOf(const AccelSample& sample) const
{
    if (sample.gpsLink < 0 || static_cast<size_t>(sample.gpsLink) >= gps.size())
        return nullptr;
    return &gps[static_cast<size_t>(sample.gpsLink)];
}

bool IsTimeLapseTelemetryName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return (name.size() > 0 && name[0] == u'T') || (name.size() > 2 && name[2] == u'T');
}

bool HasTelemetryMagic(const QString& telemetryPath)
{
    MappedFile f;
    return f.open(telemetryPath) && StartsWithMagic(f);
}

bool ReadTelemetryHeader(const QString& telemetryPath, TelemetryHeader& header)
{
    header = TelemetryHeader{};
    MappedFile f;
    if (!f.open(telemetryPath) || !StartsWithMagic(f))
        return false;
    std::lock_guard<std::mutex> scan(FindMutex());
    uint64_t at = 0;
    if (FindMagicInFile(f, kTelemetryMagic, nullptr, at) != Locate::Found)
        return false;
    // Only the header and the two places of the mark byte are read, not the whole block: the
    // catalogue reads the header of every recording of a card.
    const uint64_t window = std::min<uint64_t>(kBlockWindow, f.size() - at);
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(64 * 1024, window)));
    if (!f.read(at, head.data(), head.size()))
        return false;
    const bool timeLapse = IsTimeLapseTelemetryName(telemetryPath);
    float interval = kTelemetryIntervalMs;
    Bytes h = AfterMagic(head.data(), head.size());
    if (!DecodeHeaderChain(h, timeLapse, header, interval) && head.size() < window) {
        if (!ReadBlockWindow(f, at, head))  // a long chain of headers
            return false;
        h = AfterMagic(head.data(), head.size());
        DecodeHeaderChain(h, timeLapse, header, interval);
    }
    const auto inWindow = static_cast<int64_t>(window) - kTelemetryMagicSize;
    header.mark = MarkByteWith(HeaderRecordsEnd(h), [&](int64_t place, uint8_t* out) {
        return place + 8 <= inWindow &&
               f.read(at + kTelemetryMagicSize + static_cast<uint64_t>(place), out, 8);
    });
    header.trigger = header.mark;
    return true;
}


bool ReadTelemetryHeaderFd(int fd, uint64_t size, bool timeLapse, TelemetryHeader& header)
{
    header = TelemetryHeader{};
    // The block starts at the magic at offset 0; most header chains fit in the first 4 KiB.
    const uint64_t window = std::min<uint64_t>(kBlockWindow, size);
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(4096, window)));
    if (head.size() < static_cast<size_t>(kTelemetryMagicSize) || !PreadAll(fd, head.data(), head.size(), 0)
        || std::memcmp(head.data(), kTelemetryMagic, kTelemetryMagicSize) != 0)
        return false;
    float interval = kTelemetryIntervalMs;
    Bytes h = AfterMagic(head.data(), head.size());
    if (!DecodeHeaderChain(h, timeLapse, header, interval) && head.size() < window) {
        head.resize(static_cast<size_t>(window));  // a long chain of headers
        if (!PreadAll(fd, head.data(), head.size(), 0))
            return false;
        h = AfterMagic(head.data(), head.size());
        DecodeHeaderChain(h, timeLapse, header, interval);
    }
    const auto inWindow = static_cast<int64_t>(window) - kTelemetryMagicSize;
    header.mark = MarkByteWith(HeaderRecordsEnd(h), [&](int64_t place, uint8_t* out) {
        if (place + 8 > inWindow)
            return false;
        if (h.has(place, 8)) {  // already read with the header
            std::memcpy(out, h.p + place, 8);
            return true;
        }
        return PreadAll(fd, out, 8, kTelemetryMagicSize + static_cast<uint64_t>(place));
    });
    header.trigger = header.mark;
    return true;
}

QString ReadRecorderNumber(const QString& telemetryPath)
{
    MappedFile f;
    if (!f.open(telemetryPath) || !StartsWithMagic(f))
        return {};
    std::lock_guard<std::mutex> scan(FindMutex());
    uint64_t at = 0;
    if (FindMagicInFile(f, kTelemetryEndMagic, nullptr, at) != Locate::Found)
        return {};
    uint8_t tail[12];
    if (!f.read(at, tail, sizeof tail))
        return {};
    return RecorderNumberAt(Bytes{tail, sizeof tail}, 0);
}

bool LoadTelemetryFile(TelemetryReader& reader, const QString& telemetryPath)
{
    reader.clear();
    MappedFile f;
    bool ok = f.open(telemetryPath) && StartsWithMagic(f);
    if (ok) {
        std::lock_guard<std::mutex> scan(FindMutex());
        uint64_t at = 0;
        const Locate found = FindMagicInFile(f, kTelemetryMagic, &reader.cancel, at);
        if (found == Locate::Found) {
            std::vector<uint8_t> block;
            ok = ReadBlockWindow(f, at, block) &&
                 DecodeBlock(AfterMagic(block.data(), block.size()),
                             IsTimeLapseTelemetryName(telemetryPath), reader);
        } else {
            ok = found == Locate::NotFound;
        }
    }
    if (!ok) {
        reader.clear();
        return false;
    }
    reader.path = telemetryPath;
    reader.loaded = true;
    return true;
}

bool DecodeGpsOnly(const QString& telemetryPath, std::vector<GpsSample>& out)
{
    MappedFile f;
    if (!f.open(telemetryPath) || !StartsWithMagic(f))
        return false;
    std::lock_guard<std::mutex> scan(FindMutex());
    uint64_t at = 0;
    const Locate found = FindMagicInFile(f, kTelemetryMagic, nullptr, at);
    if (found != Locate::Found)
        return found == Locate::NotFound;
    std::vector<uint8_t> block;
    if (!ReadBlockWindow(f, at, block))
        return false;
    const float interval = IsTimeLapseTelemetryName(telemetryPath) ? kTelemetryTimeLapseIntervalMs
                                                                   : kTelemetryIntervalMs;
    DecodeRecords(AfterMagic(block.data(), block.size()), interval, out, nullptr, nullptr);
    return true;
}

bool DecodeTelemetryBytes(QByteArrayView bytes, bool timeLapse, TelemetryReader& reader)
{
    reader.clear();
    if (!StartsWithMagic(bytes))
        return false;
    const Bytes all = ViewBytes(bytes);
    const int64_t at = FindMagic(all, kTelemetryMagic);  // 0, as the bytes start with it
    const size_t from = static_cast<size_t>(at);
    const size_t len = std::min<size_t>(all.n - from, kBlockWindow);
    if (!DecodeBlock(AfterMagic(all.p + from, len), timeLapse, reader)) {
        reader.clear();
        return false;
    }
    reader.loaded = true;
    return true;
}

bool ReadTelemetryHeaderBytes(QByteArrayView bytes, bool timeLapse, TelemetryHeader& header)
{
    header = TelemetryHeader{};
    if (!StartsWithMagic(bytes))
        return false;
    const Bytes all = ViewBytes(bytes);
    float interval = kTelemetryIntervalMs;
    DecodeHeader(AfterMagic(all.p, std::min<size_t>(all.n, kBlockWindow)), timeLapse, header,
                 interval);
    return true;
}

QString ReadRecorderNumberBytes(QByteArrayView bytes)
{
    if (!StartsWithMagic(bytes))
        return {};
    const Bytes all = ViewBytes(bytes);
    return RecorderNumberAt(all, FindMagic(all, kTelemetryEndMagic));
}

bool DecodeGpsOnlyBytes(QByteArrayView bytes, bool timeLapse, std::vector<GpsSample>& out)
{
    if (!StartsWithMagic(bytes))
        return false;
    const Bytes all = ViewBytes(bytes);
    DecodeRecords(AfterMagic(all.p, std::min<size_t>(all.n, kBlockWindow)),
                  timeLapse ? kTelemetryTimeLapseIntervalMs : kTelemetryIntervalMs, out, nullptr,
                  nullptr);
    return true;
}

int64_t TelemetryBlockRecordCount(QByteArrayView bytes)
{
    if (!StartsWithMagic(bytes) || bytes.size() < kTelemetryRecordsStart)
        return -1;
    const Bytes all = ViewBytes(bytes);
    return BlockRecordSpan(AfterMagic(all.p, all.n)).count;
}

int GraphRangeCode(double maxAbsAccel)
{
    if (maxAbsAccel >= 1.5)
        return 3;
    if (maxAbsAccel >= 1.0)
        return 2;
    if (maxAbsAccel >= 0.5)
        return 1;
    return 0;
}

bool IsUsableFix(const GpsSample& s)
{
    return s.valid == 1 && std::isfinite(s.latitude) && std::isfinite(s.longitude) &&
           std::fabs(s.latitude) <= 90.0 && std::fabs(s.longitude) <= 180.0 &&
           !(s.latitude == 0.0 && s.longitude == 0.0);
}

}  // namespace ravir
