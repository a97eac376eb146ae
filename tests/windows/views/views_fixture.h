#pragma once
// Shared by the view tests: a QApplication on the offscreen platform and recordings whose
// telemetry file is written here byte by byte, decoded by the reader and indexed per frame.
#include "../../container/telemetry_block_writer.h"
#include "container/telemetry.h"
#include "container/telemetry_timeline.h"
#include "windows/views/recording_telemetry.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace ravir::test {

inline QApplication* viewsApp()
{
    static int argc = 1;
    static char name[] = "views_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// "%5d" of thousandths of G.
inline std::string Milli(double g)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%5d", static_cast<int>(g * 1000.0 + (g < 0 ? -0.5 : 0.5)));
    return buf;
}

// Records of a quiet drive: all accelerations 0, GPS fix valid, no markers.
inline std::vector<RecordFields> QuietRecords(int count)
{
    std::vector<RecordFields> r = DriveRecords(count);
    for (RecordFields& s : r) {
        s.ax = s.ay = s.az = Milli(0.0);
    }
    return r;
}

// Writes the records as a telemetry file, loads it and indexes it for `frames` frames of 100 ms.
// A sample becomes current the frame after its own: frames 0 and 1 show sample 0, frame k + 1
// shows sample k while samples last.
inline TelemetrySnapshot MakeRecording(const std::vector<RecordFields>& records, int frames,
                                       double frameMs = 100.0, bool timeLapseName = false)
{
    static QTemporaryDir dir;
    static int serial = 0;
    const QString name = QStringLiteral("%1D_%2.ADA").arg(timeLapseName ? "TT" : "AG").arg(++serial);
    const QString path = dir.path() + QLatin1Char('/') + name;
    BlockSpec block;
    block.records = records;
    EXPECT_TRUE(WriteFile(path, BlockBytes(block)));
    TelemetryReader reader;
    EXPECT_TRUE(LoadTelemetryFile(reader, path));
    EXPECT_TRUE(BuildFrameIndex(reader, PlainFrameFacts(frames, frameMs)));
    return RecordingTelemetry::FromReader(reader);
}

// The first frame position that shows sample k at 100 ms per frame.
inline int PositionOf(int sample) { return sample + 1; }

inline QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
// True when every bit of the colour is set in the pixel (a trace merged into what is below).
inline bool Has(const QImage& image, int x, int y, QRgb colour)
{
    return (Pixel(image, x, y) & colour) == colour;
}

}  // namespace ravir::test
