#include "telemetry_block.h"

#include "container/telemetry_holder.h"


#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace ravir::samples {
namespace {

// A small deterministic generator (splitmix64), so that the same seed gives the same bytes on
// every platform and library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double symmetric() { return uniform() * 2.0 - 1.0; }  // -1 .. 1
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }

private:
    uint64_t state_;
};

void put(QByteArray& record, int offset, const QByteArray& text)
{
    std::memcpy(record.data() + offset, text.constData(), static_cast<size_t>(text.size()));
}

QByteArray fixed(long value, int width, bool sign)
{
    // Thousandths of G as "+0123"/"-0123"; plain numbers zero-padded.
    const long limit = static_cast<long>(std::pow(10, sign ? width - 1 : width)) - 1;
    value = std::clamp(value, sign ? -limit : 0L, limit);
    QByteArray digits = QByteArray::number(std::labs(value)).rightJustified(sign ? width - 1 : width, '0');
    if (sign)
        digits.prepend(value < 0 ? '-' : '+');
    return digits;
}

}  // namespace

QByteArray FormatNmeaAngle(double degrees, int degreeDigits)
{
    const double a = std::fabs(degrees);
    int whole = static_cast<int>(a);
    double minutes = (a - whole) * 60.0;
    long tenThousandths = std::lround(minutes * 10000.0);
    if (tenThousandths >= 600000) {
        tenThousandths -= 600000;
        ++whole;
    }
    QByteArray out = QByteArray::number(whole).rightJustified(degreeDigits, '0');
    out += QByteArray::number(tenThousandths / 10000).rightJustified(2, '0');
    out += '.';
    out += QByteArray::number(tenThousandths % 10000).rightJustified(4, '0');
    return out;
}

QByteArray MakeTelemetryBlock(const TelemetryOptions& o)
{
    const int count = std::clamp(o.records, 0, kTelemetryMaxRecords);
    Random rnd(o.seed);

    QByteArray header(kTelemetryHeaderSize, ' ');
    put(header, 0, fixed(o.thresholdX, 4, false));
    put(header, 4, fixed(o.thresholdY, 4, false));
    put(header, 8, fixed(o.thresholdZ, 4, false));
    put(header, 12, fixed(o.fourthValue, 4, false));
    header[16] = o.kindLetter;
    put(header, 17, o.firmware.leftJustified(6, '0', true));
    header[23] = o.headerByte23;
    header[24] = o.headerByte24;
    QByteArray records;

    const QDateTime start = o.start.isValid() ? o.start
                                              : QDateTime(QDate(2025, 3, 14), QTime(8, 0), Qt::UTC);
    const double dt = o.secondsPerRecordTenths / 10.0;  // seconds of real time per record
    const bool driving = o.drive == DriveKind::Driving;
    double speed = driving ? 20.0 + rnd.uniform() * 30.0 : 0.0;  // km/h
    double target = speed;
    double heading = rnd.uniform() * 2.0 * std::numbers::pi;
    double turnRate = 0.0;  // rad/s
    double lat = o.latitude;
    double lon = o.longitude;
    double voltage = driving ? 13.8 + rnd.symmetric() * 0.2 : 12.4 + rnd.symmetric() * 0.2;
    const int satellites = 6 + rnd.below(7);
    const int quality = rnd.below(16);

    for (int k = 0; k < count; ++k) {
        QByteArray r(kTelemetryRecordSize, ' ');
        put(r, 0, "GPRMC");
        // Motion: the speed follows a target that changes now and then; turns come and go.
        double ax = 0.0, ay = 0.0;
        if (driving) {
            if (rnd.below(std::max(1, static_cast<int>(8.0 / dt))) == 0)
                target = std::clamp(target + rnd.symmetric() * 25.0, 0.0, 90.0);
            if (rnd.below(std::max(1, static_cast<int>(6.0 / dt))) == 0)
                turnRate = rnd.below(3) == 0 ? rnd.symmetric() * 0.25 : 0.0;
            const double before = speed;
            const double maxStep = 8.0 * dt;  // km/h per record, a calm driver
            speed += std::clamp(target - speed, -maxStep, maxStep);
            heading += turnRate * dt;
            ax = (speed - before) / 3.6 / dt / 9.81;
            ay = speed / 3.6 * turnRate / 9.81;
            const double metres = speed / 3.6 * dt;
            lat += metres * std::cos(heading) / 111320.0;
            lon += metres * std::sin(heading) / (111320.0 * std::cos(lat * std::numbers::pi / 180.0));
            voltage = std::clamp(voltage + rnd.symmetric() * 0.02, 13.4, 14.4);
        } else {
            voltage = std::clamp(voltage - 0.001 + rnd.symmetric() * 0.01, 11.8, 12.8);
        }
        double az = 0.0;
        const double noise = driving ? 0.02 : 0.005;
        ax += rnd.symmetric() * noise;
        ay += rnd.symmetric() * noise;
        az += rnd.symmetric() * noise * 1.5;

        // An acceleration event: a short pulse on one axis, the axis letter where it passes the
        // axis threshold.
        bool eventRecord = false;
        if (o.impactAt >= 0 && k >= o.impactAt - 2 && k <= o.impactAt + 2) {
            const double shape[] = {0.35, 0.75, 1.0, 0.7, 0.3};
            const double peak = 0.9 + rnd.uniform() * 0.5;
            const double value = -peak * shape[k - o.impactAt + 2];
            const char axis = o.impactAxis;
            double& a = axis == 'Y' ? ay : axis == 'Z' ? az : ax;
            a += value;
            const int limit = axis == 'Y' ? o.thresholdY : axis == 'Z' ? o.thresholdZ : o.thresholdX;
            eventRecord = std::fabs(a) * 1000.0 >= limit;
            if (eventRecord)
                r[rec::kAxis] = axis;
            if (driving && axis == 'X' && k == o.impactAt + 2)
                target = 0.0;  // the car stops after a crash
        }

        const bool fix = !(k >= o.outageFrom && k < o.outageTo);
        r[rec::kGpsStatus] = fix ? 'A' : 'V';
        if (fix) {
            put(r, rec::kLatitude, FormatNmeaAngle(lat, 2));
            r[rec::kLatHemisphere] = lat >= 0 ? 'N' : 'S';
            put(r, rec::kLongitude, FormatNmeaAngle(lon, 3));
            r[rec::kLonHemisphere] = lon >= 0 ? 'E' : 'W';
            put(r, rec::kSpeed, fixed(std::lround(speed), 4, false));
        }
        const QDateTime t = start.addMSecs(static_cast<qint64>(std::llround(k * dt * 1000.0)));
        put(r, rec::kDateTime, t.toString(QStringLiteral("yyMMddHHmmss")).toLatin1());
        r[rec::kAddSeconds] = '*';
        put(r, rec::kVoltage, fixed(std::lround(voltage * 10.0), 3, false));
        put(r, rec::kAccelX, fixed(std::lround(ax * 1000.0), 5, true));
        put(r, rec::kAccelY, fixed(std::lround(ay * 1000.0), 5, true));
        put(r, rec::kAccelZ, fixed(std::lround(az * 1000.0), 5, true));
        if (k == o.manualAt)
            r[rec::kManual] = 'D';
        if (k == o.emergencyStopAt)
            r[rec::kEmergencyStop] = 'D';
        if (k == o.parkingAt)
            r[rec::kParking] = 'D';
        r[rec::kStatus] = o.microphone ? 'R' : 'r';
        r[rec::kNibbles] = static_cast<char>(((fix ? satellites : 0) << 4) | quality);
        records += r;
    }
    const char beforeEnd[2] = {static_cast<char>(o.mark), '\0'};
    return WriteTelemetryBlock(header, records, count, QByteArrayView(beforeEnd, 2),
                               o.recorderNumber.leftJustified(6, ' ', true));
}

}  // namespace ravir::samples
