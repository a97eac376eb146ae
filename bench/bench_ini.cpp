// Reading and writing one value of the configuration file, which goes to the file every time,
// against two peers in the same run: reading the file's bytes alone (the floor for a read that
// goes to the file), and Qt's own INI reader (QSettings made anew per read; note that it keeps
// parsed files in a cache while they do not change). Prints the times and the ratios.
#include "shell/ini_file.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

using namespace ravir;

// A configuration file as the viewer leaves it after some use.
QString makeFile(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QString::fromLatin1(kConfigFileName));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write("[DISPLAY]\r\nINFOCHECK=31\r\nASPECT=on\r\nVOLUME=65535\r\nTHUMBNAIL=1\r\n"
                "SCALEX=1.250000\r\nSCALEY=1.250000\r\n[DECODE]\r\nHW=on\r\n"
                "[SOURCE]\r\nSELECT=FOLDER\r\nSD=/media/user/SDCARD\r\n"
                "FOLDER=/home/user/recordings/2024\r\nFILE=/home/user/recordings/2024/NO1.MP4\r\n"
                "[FOLDERPATH]\r\nCSV_FOLDER=/home/user/csv\r\nCONNECT_FOLDER=/home/user/join\r\n"
                "SNAPSHOT_FOLDER=/home/user/stills\r\n[UPDATE]\r\nHOST=http://example.com\r\n");
    }
    return path;
}

double ours = 0;
double peer = 0;
double bytesOnly = 0;

void BM_FileBytesOnly(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            benchmark::DoNotOptimize(f.readAll());
    }
    bytesOnly = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FileBytesOnly);

void BM_IniRead(benchmark::State& state)
{
    QTemporaryDir dir;
    const IniFile ini(makeFile(dir));
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.read(QStringLiteral("FOLDERPATH"),
                                          QStringLiteral("SNAPSHOT_FOLDER")));
    ours = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
               .count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IniRead);

void BM_QSettingsRead(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QSettings settings(path, QSettings::IniFormat);
        benchmark::DoNotOptimize(settings.value(QStringLiteral("FOLDERPATH/SNAPSHOT_FOLDER")));
    }
    peer = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
               .count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_QSettingsRead);

void BM_IniWrite(benchmark::State& state)
{
    QTemporaryDir dir;
    const IniFile ini(makeFile(dir));
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.write(QStringLiteral("DISPLAY"), QStringLiteral("VOLUME"),
                                           QString::number(++i % 65536)));
}
BENCHMARK(BM_IniWrite);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (ours > 0 && peer > 0 && bytesOnly > 0)
        std::printf("read one value: ours %.1f us, file bytes alone %.1f us (ratio %.2f), "
                    "QSettings %.1f us (ratio %.2f)\n",
                    ours, bytesOnly, ours / bytesOnly, peer, ours / peer);
    return 0;
}
