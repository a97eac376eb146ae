// Playback engine against the mpv program, both headless (null video and audio outputs):
//  - two cameras (1080p main, 720p sub, 20 s each) played to the end at x1, x2 and x4: frames
//    presented and dropped, CPU seconds, peak memory, wall time. Each side runs in a child
//    process of its own so that CPU and memory are measured the same way (wait4 rusage);
//    ravir plays both cameras in one process, mpv runs one process per camera.
//  - exact-seek latency over the same 50 random frames: ravir's SeekFrame against mpv's own
//    "seek ... absolute+exact" through its IPC socket, each until the frame is decoded; and how
//    long the SeekFrame call itself holds its caller.
//  - opening the 1080p movie: how long OpenMovie holds its caller against the time until the
//    movieOpened signal arrives in the event loop (the load itself).
// Extra run: ravir's main camera through the software presenter (960 x 540) instead of the
// null output, to show the cost of drawing.
#include "playback/player.h"
#include "playback/video_presenter.h"
#include "samplecard/sample_movie.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <map>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace ravir;

QString g_self;
// Figures kept for the ratios printed at the end: "<side> x<code>" -> cpu seconds, peak MB.
std::map<QString, std::pair<double, double>> g_play;
std::map<QString, std::pair<double, double>> g_seek;  // side -> median, p95 (ms)

QString dataDir()
{
    QString dir = qEnvironmentVariable("RAVIR_BENCH_DATA");
    if (dir.isEmpty())
        dir = QDir::temp().filePath("ravir-bench-playback");
    QDir().mkpath(dir);
    return dir;
}

QString movie(const QString& name, int w, int h, uint32_t seed)
{
    const QString path = QDir(dataDir()).filePath(name);
    if (QFileInfo(path).size() > 0)
        return path;
    samples::SampleMovieOptions o;
    o.width = w;
    o.height = h;
    o.fps = 30;
    o.seconds = 20;
    o.gop = 30;
    o.seed = seed;
    QString error;
    if (!samples::WriteSampleMovie(path, o, &error)) {
        std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(path), qPrintable(error));
        return {};
    }
    return path;
}

QString mainMovie() { return movie("main_1080p_20s.MOV", 1920, 1080, 1); }
QString subMovie() { return movie("sub_720p_20s.MOV", 1280, 720, 2); }

struct ChildResult {
    bool ok = false;
    double cpuSeconds = 0;
    double peakMb = 0;
    double wallSeconds = 0;
    QByteArray out;
};

// Runs the commands as child processes at the same time; CPU and peak memory from wait4.
ChildResult runChildren(const std::vector<QStringList>& commands)
{
    ChildResult r;
    QElapsedTimer wall;
    wall.start();
    std::vector<pid_t> pids;
    std::vector<int> pipes;
    for (const QStringList& cmd : commands) {
        int fds[2];
        if (pipe(fds) != 0)
            return r;
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<QByteArray> bytes;
            for (const QString& a : cmd)
                bytes.push_back(a.toLocal8Bit());
            std::vector<char*> argv;
            for (QByteArray& b : bytes)
                argv.push_back(b.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        pids.push_back(pid);
        pipes.push_back(fds[0]);
    }
    r.ok = true;
    for (size_t i = 0; i < pids.size(); ++i) {
        char buf[4096];
        ssize_t n;
        while ((n = read(pipes[i], buf, sizeof buf)) > 0)
            r.out.append(buf, n);
        close(pipes[i]);
        int status = 0;
        struct rusage ru {};
        wait4(pids[i], &status, 0, &ru);
        r.ok = r.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        r.cpuSeconds += ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
                        ru.ru_stime.tv_usec / 1e6;
        r.peakMb += ru.ru_maxrss / 1024.0;
    }
    r.wallSeconds = wall.elapsed() / 1000.0;
    return r;
}

// Output lines "STATS <presented> <dropped>" summed over the children.
void statsOf(const QByteArray& out, double& presented, double& dropped)
{
    presented = dropped = 0;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() == 3 && f[0] == "STATS") {
            presented += f[1].toDouble();
            dropped += f[2].toDouble();
        }
    }
}

void report(benchmark::State& state, const ChildResult& r, double presented, double dropped)
{
    state.SetIterationTime(r.wallSeconds);
    state.counters["presented"] = presented;
    state.counters["dropped"] = dropped;
    state.counters["cpu_s"] = r.cpuSeconds;
    state.counters["peak_MB"] = r.peakMb;
    state.counters["wall_s"] = r.wallSeconds;
    if (!r.ok)
        state.SkipWithError("a child failed");
}

void BM_TwoCameras_ravir(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    const bool presenter = state.range(1) != 0;
    const QString a = mainMovie(), b = subMovie();
    for (auto _ : state) {
        const ChildResult r = runChildren({{g_self, "--play-child", a, b, QString::number(code),
                                            presenter ? "sw" : "null"}});
        double presented = 0, dropped = 0;
        statsOf(r.out, presented, dropped);
        report(state, r, presented, dropped);
        if (!presenter)
            g_play[QString("ravir x%1").arg(code)] = {r.cpuSeconds, r.peakMb};
    }
}

void BM_TwoCameras_mpv(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    const double speed = SpeedForRateCode(code);
    QTemporaryDir dir;
    const QString script = dir.filePath("stats.lua");
    QFile f(script);
    f.open(QIODevice::WriteOnly);
    // At the end: frames spanned by the position, minus the drops, and the drops.
    f.write("mp.observe_property('eof-reached', 'bool', function(_, v)\n"
            "  if not v then return end\n"
            "  local fps = mp.get_property_number('container-fps', 30)\n"
            "  local pos = mp.get_property_number('time-pos', 0)\n"
            "  local d = mp.get_property_number('frame-drop-count', 0) +\n"
            "            mp.get_property_number('decoder-frame-drop-count', 0)\n"
            "  local n = mp.get_property_number('estimated-frame-count', 1e9)\n"
            "  local shown = math.min(math.floor(pos * fps + 0.5) + 1, n)\n"
            "  io.stdout:write(string.format('STATS %d %d\\n', shown - d, d))\n"
            "  io.stdout:flush()\n"
            "  mp.command('quit')\n"
            "end)\n");
    f.close();
    const QString a = mainMovie(), b = subMovie();
    auto cmd = [&](const QString& file, bool muted) {
        return QStringList{"mpv", "--no-config", "--really-quiet", "--vo=null", "--ao=null",
                           "--hr-seek=yes", "--keep-open=yes", "--hwdec=no",
                           QString("--speed=%1").arg(speed),
                           QString("--framedrop=%1").arg(speed > 2 ? "decoder+vo" : "vo"),
                           muted ? "--volume=0" : "--volume=100", "--script=" + script, file};
    };
    for (auto _ : state) {
        const ChildResult r = runChildren({cmd(a, code != 1), cmd(b, true)});
        double presented = 0, dropped = 0;
        statsOf(r.out, presented, dropped);
        report(state, r, presented, dropped);
        g_play[QString("mpv x%1").arg(code)] = {r.cpuSeconds, r.peakMb};
    }
}

// The child: both cameras in one process, played to the end of the main camera's movie.
int playChild(int argc, char** argv)
{
    if (argc < 6)
        return 2;
    const bool sw = QByteArray(argv[5]) == "sw";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QApplication app(qargc, argv);
    PlayerOptions o;
    o.audioOutput = "null";
    std::unique_ptr<VideoPresenter> presenter;
    if (sw) {
        presenter = std::make_unique<VideoPresenter>(nullptr, VideoPresenter::Backend::Software);
        presenter->resize(960, 540);
    }
    Player main, sub;
    if (!main.InitPlayer(0, presenter.get(), QString(), o) ||
        !sub.InitPlayer(1, nullptr, QString(), o, &main))
        return 3;
    if (main.OpenMovie(QString::fromLocal8Bit(argv[2])) != kOpened ||
        sub.OpenMovie(QString::fromLocal8Bit(argv[3])) != kOpened || !main.WaitForReady(10000) ||
        !sub.WaitForReady(10000))
        return 4;
    const int code = atoi(argv[4]);
    main.SetVolume(65535);
    sub.SetVolume(0);
    main.SetRate(code);
    sub.SetRate(code);
    bool ended = false;
    QObject::connect(&main, &Player::presentationEnded, [&] { ended = true; });
    const long long startRendered = presenter ? presenter->framesRendered() : 0;
    main.Play();
    sub.Play();
    QEventLoop loop;
    QObject::connect(&main, &Player::presentationEnded, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    for (Player* p : {&main, &sub}) {
        const long long dropped = p->droppedFrames();
        long long presented = p->GetCurrentFrame() + 1 - dropped;
        if (p == &main && presenter)
            presented = presenter->framesRendered() - startRendered;
        std::printf("STATS %lld %lld\n", presented, dropped);
    }
    std::fflush(stdout);
    return ended ? 0 : 5;
}

std::vector<int> seekFrames()
{
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> d(0, 599);
    std::vector<int> frames(50);
    for (int& f : frames)
        f = d(rng);
    return frames;
}

void latencyCounters(benchmark::State& state, std::vector<double> ms, const QString& side)
{
    std::sort(ms.begin(), ms.end());
    g_seek[side] = {ms[ms.size() / 2], ms[static_cast<size_t>(ms.size() * 0.95)]};
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[static_cast<size_t>(ms.size() * 0.95)];
    state.counters["max_ms"] = ms.back();
}

void BM_ExactSeek_ravir(benchmark::State& state)
{
    const QString file = mainMovie();
    PlayerOptions o;
    o.audioOutput = "null";
    Player player;
    if (!player.InitPlayer(1, nullptr, QString(), o, &player) || player.OpenMovie(file) != kOpened ||
        !player.WaitForReady(10000)) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        std::vector<double> ms;
        double callMax = 0;
        int wrong = 0;
        for (int frame : seekFrames()) {
            QElapsedTimer t;
            t.start();
            player.SeekFrame(frame);
            callMax = std::max(callMax, t.nsecsElapsed() / 1e6);
            player.WaitSeekDone(10000);
            ms.push_back(t.nsecsElapsed() / 1e6);
            wrong += player.GetCurrentFrame() == frame ? 0 : 1;
        }
        latencyCounters(state, ms, "ravir");
        state.counters["call_max_ms"] = callMax;
        state.counters["wrong_frames"] = wrong;
    }
}

// OpenMovie returns after the box probe; the picture is ready when movieOpened arrives.
void BM_OpenMovie_ravir(benchmark::State& state)
{
    const QString file = mainMovie();
    PlayerOptions o;
    o.audioOutput = "null";
    Player player;
    if (!player.InitPlayer(1, nullptr, QString(), o, &player)) {
        state.SkipWithError("no engine");
        return;
    }
    std::vector<double> returned, ready;
    for (auto _ : state) {
        QEventLoop loop;
        const auto c1 = QObject::connect(&player, &Player::movieOpened, &loop, &QEventLoop::quit);
        const auto c2 = QObject::connect(&player, &Player::openFailed, &loop, &QEventLoop::quit);
        QElapsedTimer t;
        t.start();
        if (player.OpenMovie(file) != kOpened) {
            state.SkipWithError("open failed");
            return;
        }
        returned.push_back(t.nsecsElapsed() / 1e6);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        ready.push_back(t.nsecsElapsed() / 1e6);
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        if (!player.IsReady()) {
            state.SkipWithError("not ready");
            return;
        }
        player.CloseMovie();
    }
    std::sort(returned.begin(), returned.end());
    std::sort(ready.begin(), ready.end());
    state.counters["return_median_ms"] = returned[returned.size() / 2];
    state.counters["return_max_ms"] = returned.back();
    state.counters["ready_median_ms"] = ready[ready.size() / 2];
    state.counters["ready_max_ms"] = ready.back();
}

// mpv's own exact seeks through its JSON IPC, each until "playback-restart".
void BM_ExactSeek_mpv(benchmark::State& state)
{
    const QString file = mainMovie();
    QTemporaryDir dir;
    const QString sock = dir.filePath("mpv.sock");
    QProcess mpv;
    mpv.start("mpv", {"--no-config", "--really-quiet", "--vo=null", "--ao=null", "--pause",
                      "--hr-seek=yes", "--keep-open=yes", "--hwdec=no", "--idle=yes",
                      "--input-ipc-server=" + sock, file});
    QLocalSocket s;
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 10000) {
        s.connectToServer(sock);
        if (s.waitForConnected(200))
            break;
        QThread::msleep(50);
    }
    if (s.state() != QLocalSocket::ConnectedState) {
        state.SkipWithError("no mpv IPC");
        return;
    }
    auto waitFor = [&](const QByteArray& event) {
        QElapsedTimer t;
        t.start();
        QByteArray buffer;
        while (t.elapsed() < 5000) {
            if (!s.canReadLine() && !s.waitForReadyRead(1000))
                continue;
            while (s.canReadLine()) {
                const QJsonObject o = QJsonDocument::fromJson(s.readLine()).object();
                if (o.value("event").toString().toUtf8() == event)
                    return true;
            }
        }
        return false;
    };
    waitFor("playback-restart");  // the file is loaded
    for (auto _ : state) {
        std::vector<double> ms;
        for (int frame : seekFrames()) {
            const double seconds = frame / 30.0;
            QElapsedTimer t;
            t.start();
            s.write(QString("{\"command\":[\"seek\",\"%1\",\"absolute+exact\"]}\n")
                        .arg(seconds, 0, 'f', 6)
                        .toUtf8());
            s.flush();
            if (!waitFor("playback-restart")) {
                state.SkipWithError("seek timed out");
                break;
            }
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        if (!ms.empty())
            latencyCounters(state, ms, "mpv");
    }
    s.write("{\"command\":[\"quit\"]}\n");
    s.flush();
    mpv.waitForFinished(5000);
}

}  // namespace

BENCHMARK(BM_TwoCameras_ravir)->ArgsProduct({{1, 2, 4}, {0}})->Args({1, 1})->Iterations(1)
    ->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_TwoCameras_mpv)->Arg(1)->Arg(2)->Arg(4)->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_ExactSeek_ravir)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExactSeek_mpv)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMovie_ravir)->Iterations(20)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--play-child")
        return playChild(argc, argv);
    g_self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);  // for the sample writer and the players' events
    if (mainMovie().isEmpty() || subMovie().isEmpty())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int code : {1, 2, 4}) {
        const auto a = g_play.find(QString("ravir x%1").arg(code));
        const auto b = g_play.find(QString("mpv x%1").arg(code));
        if (a != g_play.end() && b != g_play.end() && b->second.first > 0 && b->second.second > 0)
            std::printf("two cameras x%s: ravir/mpv CPU %.2f, peak memory %.2f\n",
                        qPrintable(QString::number(SpeedForRateCode(code))),
                        a->second.first / b->second.first, a->second.second / b->second.second);
    }
    if (g_seek.count("ravir") && g_seek.count("mpv") && g_seek["mpv"].first > 0)
        std::printf("exact seek: ravir/mpv median %.2f, p95 %.2f\n",
                    g_seek["ravir"].first / g_seek["mpv"].first,
                    g_seek["ravir"].second / g_seek["mpv"].second);
    return 0;
}
