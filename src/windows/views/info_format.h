#pragma once
// The values of the vehicle information panel and their text rules, free of any drawing: the
// display fields the panel holds, how a play position fills them from the recording's telemetry,
// and the texts (or placeholders) and pictures they give.
#include "catalogue/recording_name.h"
#include "catalogue/recording_record.h"
#include "windows/views/recording_telemetry.h"
#include "shell/display_prefs.h"

#include <QString>
#include <optional>

namespace ravir {

inline constexpr double kNoAcceleration = -5.0;
inline constexpr int kNoStatus = 77;  // 'M'
inline constexpr int kQuality720 = 11;
inline constexpr int kQuality1080 = 12;

struct InfoFields {
    double accel[3] = {kNoAcceleration, kNoAcceleration, kNoAcceleration};
    int speedValid = 0;
    double speed = -1.0;            // km/h; -1.0 without a valid fix
    QString speedCaption;           // the playback-speed text
    SystemTime startTime;           // the recording's start time
    int quality = 0;                // 11 720 lines, 12 1080 lines, other: no badge
    int status = kNoStatus;         // record byte 122: 'R' microphone on, 'r' plain, else off
    bool timeLapse = false;         // header rate 'T': 15 times real time
    int extraValue = -1;            // tenths of a volt (parking trace); -1 none
    int position = -1;              // current frame number
    float frameMs = 0.0f;           // milliseconds per video frame
    bool traceSwitch = false;       // SD card source whose root holds "pvtrace.txt"
    bool parkingExtra = false;      // trace switch on and a parking recording opened
    SpeedUnit unit = SpeedUnit::Kmh;  // the unit the speed is shown in (kept by the reset)
};

// Sets every field that has a no-value marker to it (accelerations, speed, quality, status,
// extra value, position); the start time, caption, time-lapse flag, frame duration and the
// switches are kept.
void ResetInfoFields(InfoFields& f);

// The position update: the sample at the frame (through the frame index) gives the three
// accelerations, the status byte and the extra value, and its linked GPS sample the speed when
// the fix is valid; without a sample the accelerations are cleared and the fix is lost.
void ApplyFrame(InfoFields& f, const RecordingTelemetry* t, int frame);

// "%.2fG" of the value truncated to hundredths; empty (placeholder) at -5.0 and below.
QString AccelerationText(double value);
// "%.0f " of the speed (km/h) in the unit when valid and within 0..999 km/h; empty
// (placeholder) otherwise.
QString SpeedText(int speedValid, double speed, SpeedUnit unit = SpeedUnit::Kmh);
// "%.1f" of the tenths; empty (placeholder) for -1.
QString ExtraValueText(int tenths);
// The calendar time at a position: start time + position x frame duration (x 15 in time-lapse),
// computed in single precision and truncated to 100 ns. None when the start time is no valid
// date, the position is negative or the result is not a date of year 1601 or later.
std::optional<SystemTime> TimeAtPosition(const SystemTime& start, int position, float frameMs,
                                         bool timeLapse);
// "YYYY/MM/DD hh:mm:ss" with the year minus 35 from 2050 on; empty (placeholder) when there is
// no time.
QString DateTimeText(const std::optional<SystemTime>& time);

inline const QString kAccelerationPlaceholder = QStringLiteral("-0.00G");
inline const QString kDateTimePlaceholder = QStringLiteral("0000/00/00 00:00:00");

enum class MicPicture { SoundWaves, Plain, CrossedOut };
MicPicture MicPictureFor(int status);
// 0 no badge, 1 the 720-line badge, 2 the 1080-line badge.
int QualityBadgeFor(int quality);

// Trace mode: a drive source (an SD card) whose root folder holds "pvtrace.txt".
bool TraceSwitchFor(SourceMode mode, const QString& sourceRoot);
// The parking extra flag for an opened recording: trace switch on and a parking kind.
bool ParkingExtraFor(bool traceSwitch, RecordingKind kind);

// Everything the panel shows for a set of fields.
struct InfoTexts {
    QString accel[3];        // empty: the axis placeholder
    bool parkingTrace = false;
    QString speed;           // empty: the speed placeholder (not in parking trace mode)
    QString speedUnit;       // the unit under the speed: "km/h" or "mph"
    QString extra;           // parking trace mode; empty: the --.- picture
    QString dateTime;        // empty: the date placeholder
    bool gpsFix = false;
    MicPicture mic = MicPicture::CrossedOut;
    int badge = 0;
    bool operator==(const InfoTexts&) const = default;
};
InfoTexts ComposeInfoTexts(const InfoFields& f);

// What a screen reader reads for the fields, in the current UI text row: the three
// accelerations with their axis names ("no value" without a sample) and, with `full`, the speed
// (or that it is unknown), the date and time when there is one and whether there is a GPS fix.
QString SpokenInfoText(const InfoFields& f, bool full);

}  // namespace ravir
