#pragma once
// Telemetry blocks as the recorder writes them, into its .ADA files and into the `udat` box of
// its movies:
//
//   "QVXDAT" | header (26) | record count (uint16 big-endian) | records (124 each) |
//   mark byte | one byte | "QVXEND" | six-digit recorder number
//
// The header holds the G thresholds of X, Y and Z and a fourth value (four ASCII digits each, in
// thousandths of G), the kind letter, the six-digit firmware version and two further bytes. Each
// record holds a GPS sentence-like part (status, ddmm.mmmm latitude, dddmm.mmmm longitude,
// speed, YYMMDDhhmmss local time), a three-digit value (the supply voltage in tenths of a volt),
// accelerations in thousandths of G, event letters and a status byte.
#include <QByteArray>
#include <QDateTime>
#include <cstdint>

namespace ravir::samples {

constexpr int kTelemetryHeaderSize = 26;
constexpr int kTelemetryRecordSize = 124;
constexpr int kTelemetryMaxRecords = 2760;

// Offsets inside a record.
namespace rec {
constexpr int kGpsStatus = 5;
constexpr int kLatitude = 6;     // 9 bytes
constexpr int kLatHemisphere = 15;
constexpr int kLongitude = 16;   // 10 bytes
constexpr int kLonHemisphere = 26;
constexpr int kSpeed = 27;       // 4 bytes
constexpr int kDateTime = 31;    // 12 bytes
constexpr int kAddSeconds = 44;  // 3 bytes, '*' = none
constexpr int kVoltage = 48;     // 3 bytes
constexpr int kAccelX = 57;      // 5 bytes each
constexpr int kAccelY = 62;
constexpr int kAccelZ = 67;
constexpr int kManual = 72;      // 'D': manual recording
constexpr int kAxis = 73;        // 'X', 'Y', 'Z': the axis of an acceleration event
constexpr int kEmergencyStop = 75;  // 'D'
constexpr int kParking = 76;     // 'D': parking monitoring
constexpr int kStatus = 122;     // 'R' microphone on, 'r' microphone off
constexpr int kNibbles = 123;    // high: satellites in use, low: fix quality
}  // namespace rec

enum class DriveKind {
    Driving,  // moving car: speeds, turns, braking
    Parked,   // standing car: speed 0, small vibrations, battery voltage
};

struct TelemetryOptions {
    int records = 600;              // 10 a second of movie (15 for time-lapse names)
    QDateTime start;                // local calendar time of the first record (naive; no zone used)
    int secondsPerRecordTenths = 1; // real time between records in tenths of a second (time-lapse: 10)
    DriveKind drive = DriveKind::Driving;
    char kindLetter = 'M';          // header kind letter ('M' or 'D'; others void the thresholds)
    QByteArray firmware = "010502"; // six digits: version 1.5.2
    int thresholdX = 500, thresholdY = 500, thresholdZ = 800, fourthValue = 1000;  // 1/1000 G
    char headerByte23 = '1';
    char headerByte24 = '0';
    uint8_t mark = 0;               // 1: the recorder's clock was reset
    QByteArray recorderNumber = "231015";  // six characters after the end magic
    // Events, at a record index; -1 for none.
    int impactAt = -1;              // acceleration event; axis letter on the records above threshold
    char impactAxis = 'X';
    int manualAt = -1;              // manual recording letter
    int emergencyStopAt = -1;       // emergency recording stop letter
    int parkingAt = -1;             // parking monitoring letter
    // GPS outages: records [outageFrom, outageTo) have no fix (status 'V', blank fields).
    int outageFrom = -1;
    int outageTo = -1;
    bool microphone = true;         // status byte 'R', else 'r'
    double latitude = 35.6812;      // starting point (degrees, north/east positive)
    double longitude = 139.7671;
    uint32_t seed = 1;
};

// The whole block. The record count is limited to kTelemetryMaxRecords.
QByteArray MakeTelemetryBlock(const TelemetryOptions& options);

// "ddmm.mmmm" / "dddmm.mmmm" of an absolute angle in degrees.
QByteArray FormatNmeaAngle(double degrees, int degreeDigits);

}  // namespace ravir::samples
