// One repaint of the acceleration graph per play-clock tick, against filling a QImage of the same
// size (the floor for any paint of that many pixels). The recording is a full telemetry block
// (2760 records) indexed for a 30 frames-per-second movie, so the graph scrolls; every iteration
// moves the cursor one frame on and paints the back buffer, as the play clock does. Prints the
// ratio and the share of a 33 ms frame that one repaint takes.
#include "container/telemetry.h"
#include "container/telemetry_timeline.h"
#include "samplecard/telemetry_block.h"
#include "windows/views/gsensor_dlg.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace ravir;

constexpr double kFrameMs = 1000.0 / 30.0;

TelemetrySnapshot FullRecording(int& frames)
{
    samples::TelemetryOptions o;
    o.records = samples::kTelemetryMaxRecords;
    o.start = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
    o.impactAt = 900;
    o.manualAt = 1500;
    o.emergencyStopAt = 2000;
    o.parkingAt = 2400;
    TelemetryReader reader;
    DecodeTelemetryBytes(samples::MakeTelemetryBlock(o), false, reader);
    frames = static_cast<int>(reader.accel.size() * 100.0 / kFrameMs);
    BuildFrameIndex(reader, PlainFrameFacts(frames, kFrameMs));
    return RecordingTelemetry::FromReader(reader);
}

struct Fixture {
    Fixture(float scale)
    {
        graph = std::make_unique<CGSensorDlg>();
        graph->setScales(scale, scale);
        graph->resize(static_cast<int>(656 * scale), static_cast<int>(150 * scale));
        graph->setTelemetry(FullRecording(frames), frames - 1);
    }
    std::unique_ptr<CGSensorDlg> graph;
    int frames = 0;
};

void BM_GraphRepaint(benchmark::State& state)
{
    Fixture f(static_cast<float>(state.range(0)));
    int frame = 0;
    for (auto _ : state) {
        frame = (frame + 1) % f.frames;
        f.graph->setFrame(frame);
        benchmark::DoNotOptimize(f.graph->renderFrame().constBits());
    }
}

void BM_FillImage(benchmark::State& state)
{
    const int scale = static_cast<int>(state.range(0));
    // The graph's back buffer: its size plus the one extra row it copies.
    QImage image(656 * scale, 150 * scale + 1, QImage::Format_RGB32);
    unsigned shade = 0;
    for (auto _ : state) {
        image.fill(QColor::fromRgb(shade++ & 0xFF, 0, 0));
        benchmark::DoNotOptimize(image.constBits());
    }
}

BENCHMARK(BM_GraphRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillImage)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.iterations > 0 && r.run_type == Run::RT_Iteration)
                wallNs[r.benchmark_name()] =
                    r.real_accumulated_time * 1e9 / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> wallNs;
};

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\none graph repaint against filling an image of the same size:\n");
    for (const char* scale : {"1", "2"}) {
        const std::string a = std::string("BM_GraphRepaint/") + scale;
        const std::string b = std::string("BM_FillImage/") + scale;
        const auto& w = reporter.wallNs;
        if (w.count(a) && w.count(b) && w.at(b) > 0)
            std::printf("scale %s: repaint %.1f us, fill %.1f us, ratio %.1f, %.2f%% of a %.1f ms "
                        "frame\n",
                        scale, w.at(a) / 1e3, w.at(b) / 1e3, w.at(a) / w.at(b),
                        100.0 * w.at(a) / 1e6 / kFrameMs, kFrameMs);
    }
    benchmark::Shutdown();
    return 0;
}
