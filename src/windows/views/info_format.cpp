#include "windows/views/info_format.h"

#include "shell/ui_text.h"

#include "shell/ui_text.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace ravir {

namespace {
// Texts are formatted by the C library (QString::asprintf rounds halves differently).
constexpr size_t kTextSize = 64;
QString Text(const char (&buf)[kTextSize], int n)
{
    return n < 0 ? QString()
                 : QString::fromLatin1(buf, std::min(n, static_cast<int>(kTextSize) - 1));
}
}  // namespace

void ResetInfoFields(InfoFields& f)
{
    for (double& a : f.accel)
        a = kNoAcceleration;
    f.speedValid = 0;
    f.speed = -1.0;
    f.quality = 0;
    f.status = kNoStatus;
    f.extraValue = -1;
    f.position = -1;
}

void ApplyFrame(InfoFields& f, const RecordingTelemetry* t, int frame)
{
    const AccelSample* s = t ? t->sampleAt(frame) : nullptr;
    if (s) {
        f.accel[0] = s->x;
        f.accel[1] = s->y;
        f.accel[2] = s->z;
        f.status = s->byte122;
        f.extraValue = s->followingNumber;
        if (const GpsSample* g = t->gpsOf(*s)) {
            if (IsUsableFix(*g)) {
                f.speed = g->speed;
                f.speedValid = 1;
            } else {
                f.speed = -1.0;
                f.speedValid = 0;
            }
        } else {
            f.speedValid = 0;
        }
    } else {
        for (double& a : f.accel)
            a = kNoAcceleration;
        f.speedValid = 0;
    }
    f.position = frame;
}

QString AccelerationText(double value)
{
    if (!(value > kNoAcceleration))
        return {};
    const double truncated = static_cast<int>(value * 100.0) / 100.0;
    char buf[kTextSize];
    return Text(buf, std::snprintf(buf, sizeof buf, "%.2fG", truncated));
}

QString SpeedText(int speedValid, double speed, SpeedUnit unit)
{
    if (!speedValid || !(speed >= 0.0 && speed <= 999.0))
        return {};
    char buf[kTextSize];
    return Text(buf, std::snprintf(buf, sizeof buf, "%.0f ", speedInUnit(speed, unit)));
}

QString ExtraValueText(int tenths)
{
    if (tenths == -1)
        return {};
    char buf[kTextSize];
    return Text(buf, std::snprintf(buf, sizeof buf, "%.1f",
                                   static_cast<double>(static_cast<float>(tenths) / 10.0f)));
}

namespace {

// Days since 1601-01-01 (the epoch of file times) of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468 + 134774;  // 1970 -> 1601
}

void CivilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468 - 134774;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

bool ValidDate(const SystemTime& t)
{
    static constexpr int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1)
        return false;
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    const int limit = t.month == 2 && !leap ? 28 : days[t.month - 1];
    return t.day <= limit && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
           t.second >= 0 && t.second < 60 && t.milliseconds >= 0 && t.milliseconds < 1000;
}

}  // namespace

std::optional<SystemTime> TimeAtPosition(const SystemTime& start, int position, float frameMs,
                                         bool timeLapse)
{
    if (position < 0 || !ValidDate(start))
        return std::nullopt;
    constexpr int64_t kTicksPerSecond = 10'000'000;
    float offset = static_cast<float>(position) * frameMs;
    offset *= 10000.0f;
    offset *= timeLapse ? 15.0f : 1.0f;
    const int64_t ticks = static_cast<int64_t>(offset);
    const int64_t base =
        (DaysFromCivil(start.year, static_cast<unsigned>(start.month),
                       static_cast<unsigned>(start.day)) *
             86400 +
         start.hour * 3600 + start.minute * 60 + start.second) *
            kTicksPerSecond +
        static_cast<int64_t>(start.milliseconds) * 10000;
    const int64_t total = base + ticks;
    if (total <= 0)
        return std::nullopt;
    const int64_t seconds = total / kTicksPerSecond;
    const int64_t days = seconds / 86400;
    const int64_t rest = seconds % 86400;
    SystemTime out;
    CivilFromDays(days, out.year, out.month, out.day);
    out.dayOfWeek = static_cast<int>((days + 1) % 7);  // 1601-01-01 was a Monday
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>(rest / 60 % 60);
    out.second = static_cast<int>(rest % 60);
    out.milliseconds = static_cast<int>(total % kTicksPerSecond / 10000);
    if (out.year == 0)
        return std::nullopt;
    return out;
}

QString DateTimeText(const std::optional<SystemTime>& time)
{
    if (!time)
        return {};
    const int year = time->year < 2050 ? time->year : time->year - 35;
    char buf[kTextSize];
    return Text(buf, std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %02d:%02d:%02d", year,
                                   time->month, time->day, time->hour, time->minute,
                                   time->second));
}

MicPicture MicPictureFor(int status)
{
    if (status == 'R')
        return MicPicture::SoundWaves;
    if (status == 'r')
        return MicPicture::Plain;
    return MicPicture::CrossedOut;
}

int QualityBadgeFor(int quality)
{
    return quality == kQuality720 ? 1 : quality == kQuality1080 ? 2 : 0;
}

bool TraceSwitchFor(SourceMode mode, const QString& sourceRoot)
{
    if (mode != SourceMode::Drive || sourceRoot.isEmpty())
        return false;
    return QFileInfo::exists(sourceRoot + QStringLiteral("/pvtrace.txt"));
}

bool ParkingExtraFor(bool traceSwitch, RecordingKind kind)
{
    return traceSwitch && (kind == RecordingKind::Parking || kind == RecordingKind::ParkingImpact);
}

InfoTexts ComposeInfoTexts(const InfoFields& f)
{
    InfoTexts t;
    for (int i = 0; i < 3; ++i)
        t.accel[i] = AccelerationText(f.accel[i]);
    t.parkingTrace = f.traceSwitch && f.parkingExtra;
    if (t.parkingTrace)
        t.extra = ExtraValueText(f.extraValue);
    else
        t.speed = SpeedText(f.speedValid, f.speed, f.unit);
    t.speedUnit = text(speedUnitTextId(f.unit));
    t.dateTime = DateTimeText(TimeAtPosition(f.startTime, f.position, f.frameMs, f.timeLapse));
    t.gpsFix = f.speedValid == 1;
    t.mic = MicPictureFor(f.status);
    t.badge = QualityBadgeFor(f.quality);
    return t;
}

QString SpokenInfoText(const InfoFields& f, bool full)
{
    const InfoTexts t = ComposeInfoTexts(f);
    static constexpr int kAxisNames[3] = {TXT_AXIS_X, TXT_AXIS_Y, TXT_AXIS_Z};
    QStringList parts;
    for (int i = 0; i < 3; ++i)
        parts << text(kAxisNames[i]) + u' ' + (t.accel[i].isEmpty() ? text(TXT_ACC_NO_VALUE) : t.accel[i]);
    if (full) {
        const QString speed = t.speed.trimmed();
        parts << (speed.isEmpty() || t.parkingTrace ? text(TXT_ACC_NO_SPEED)
                                                    : text(TXT_ACC_SPEED_FMT).arg(speed, t.speedUnit));
        if (!t.dateTime.isEmpty())
            parts << t.dateTime;
        parts << text(t.gpsFix ? TXT_ACC_GPS_FIX : TXT_ACC_NO_GPS_FIX);
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace ravir
