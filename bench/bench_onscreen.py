#!/usr/bin/env python3
"""On-screen playback against mpv, in one run, on a virtual X display started here.

The viewer (`ravir-viewer CARD`) plays the card's first recording (1080p main camera, 720p sub
camera) and, on the same display, two `mpv --vo=gpu --gpu-context=x11egl` windows play the same
two movies. For each, once idle and once with a second process keeping one core busy:

  - the time from the start of the process to its first picture (the viewer's own start-up
    trace, RAVIR_TRACE_STARTUP=1; mpv's IPC reporting a configured video output and a position);
  - the CPU used while playing (user + system of the process and all its threads, children
    included, from /proc), as cores, and the busiest threads;
  - dropped and late frames: mpv's (frame-drop-count, vo-delayed-frame-count over its IPC
    socket) beside the viewer's own engines' (RAVIR_PLAYBACK_STATS, read on SIGUSR1), with the
    decoder's drops;
  - how late the viewer's window thread ran its events while playing (the stall histogram of
    RAVIR_PLAYBACK_STATS: buckets of ms and the worst stall);
  - how far apart the two cameras are at x1, x2 and x4 (rate set over MPRIS): captures of the
    screen (ImageMagick's import) of the inset view, the frame number each picture carries read
    as the tests read it (tools/samplecard/frame_pattern.h), in frames of the main camera.

The viewer is asked to play over MPRIS on a private session bus. Nothing is asserted: the figures
and the ratios are printed. Environment: RAVIR_BENCH_DIR (where the card is kept, default
/tmp/ravir-bench), ONSCREEN_SECONDS (measured playing time, default 8), ONSCREEN_SHOT (a PNG of the screen while the
viewer plays, to check the set-up), ONSCREEN_SYNC_SECONDS (longest sampling per rate, default 6).
"""
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.dirname(HERE)
VIEWER = os.environ.get("RAVIR_VIEWER", os.path.join(BUILD, "src", "ravir-viewer"))
RAVIR = os.environ.get("RAVIR_EXE", os.path.join(BUILD, "src", "ravir"))
BENCH_DIR = os.environ.get("RAVIR_BENCH_DIR", "/tmp/ravir-bench")
SECONDS = float(os.environ.get("ONSCREEN_SECONDS", "8"))
SCREEN = (1920, 1200)  # the virtual display, in pixels
SETTLE = 2.0  # seconds of playing before the measurement starts
SYNC_SECONDS = float(os.environ.get("ONSCREEN_SYNC_SECONDS", "6"))
MPRIS = ["--dest", "org.mpris.MediaPlayer2.ravir", "--object-path", "/org/mpris/MediaPlayer2"]
TICK = os.sysconf("SC_CLK_TCK")


def bench_card():
    """A card of 20 s recordings at 1920x1080 (main) and 1280x720 (sub), made once."""
    card = os.path.join(BENCH_DIR, "onscreen-card")
    done = os.path.join(card, ".complete")
    if not os.path.exists(done):
        shutil.rmtree(card, ignore_errors=True)
        os.makedirs(BENCH_DIR, exist_ok=True)
        print("making %s ..." % card, file=sys.stderr)
        subprocess.run([RAVIR, "make-sample-card", card, "--few-kinds", "--no-deleted",
                        "--seconds", "20"], check=True, stdout=subprocess.DEVNULL)
        open(done, "w").close()
    return card


def first_recording(card):
    scan = json.loads(subprocess.run([RAVIR, "scan", card], check=True, capture_output=True,
                                     text=True).stdout)
    main = scan["shown"][0]["path"]
    sub = main[:-5] + "S" + main[-4:]  # ...M.MOV -> ...S.MOV beside it
    if "/Main/" in main:
        sub = sub.replace("/Main/", "/Sub_/")
    return main, sub


def start_xvfb():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx24" % SCREEN,
                             "-nolisten", "tcp"], pass_fds=(write_fd,),
                            stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_fd)
    return xvfb, ":" + number.decode().strip()


def start_bus():
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True)
    return bus, bus.stdout.readline().strip()


def cpu_ticks(pid):
    """utime + stime + cutime + cstime of a process (all its threads, waited-for children)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return sum(int(x) for x in fields[11:15])


def thread_ticks(pid):
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                text = f.read()
        except OSError:
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text.rsplit(")", 1)[1].split()
        out[(tid, name)] = int(fields[11]) + int(fields[12])
    return out


def busiest(before, after, seconds, count=4):
    used = []
    for key, ticks in after.items():
        used.append(((ticks - before.get(key, 0)) / TICK / seconds, key[1]))
    used.sort(reverse=True)
    return ", ".join("%s %.2f" % (name, cores) for cores, name in used[:count] if cores > 0.005)


class MpvIpc:
    def __init__(self, path):
        self.path = path
        self.sock = None

    def connect(self, timeout=10):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                s = socket.socket(socket.AF_UNIX)
                s.connect(self.path)
                self.sock = s
                self.file = s.makefile("r")
                return True
            except OSError:
                time.sleep(0.01)
        return False

    def command(self, *args):
        self.sock.sendall((json.dumps({"command": list(args)}) + "\n").encode())
        while True:
            reply = json.loads(self.file.readline())
            if "event" not in reply:
                return reply.get("data") if reply.get("error") == "success" else None

    def get(self, name):
        return self.command("get_property", name)


def mpv_at_speed(ipcs, speed, seconds):
    """Both mpv windows play at that speed for a while: the frames each dropped or showed late,
    and how many it decoded, as the peer's figure for what two cores decode at that rate."""
    for i in ipcs:
        i.command("set_property", "speed", speed)
    before = [(i.get("frame-drop-count") or 0, i.get("vo-delayed-frame-count") or 0,
               i.get("estimated-frame-number") or 0) for i in ipcs]
    time.sleep(seconds)
    after = [(i.get("frame-drop-count") or 0, i.get("vo-delayed-frame-count") or 0,
              i.get("estimated-frame-number") or 0) for i in ipcs]
    return [tuple(a[k] - b[k] for k in range(3)) for a, b in zip(after, before)]


# ---- The viewer's own statistics (RAVIR_PLAYBACK_STATS) ----

def viewer_snapshot(viewer, path, timeout=5):
    """Asks the viewer for a snapshot (SIGUSR1) and returns its lines: {"players": {slot: line},
    "loop": line}; None when none came."""
    def snapshots():
        try:
            with open(path) as f:
                lines = [json.loads(line) for line in f if line.strip()]
        except (OSError, ValueError):
            return {}
        out = {}
        for line in lines:
            out.setdefault(line["snapshot"], []).append(line)
        return out
    before = max(snapshots() or [0])
    os.kill(viewer.pid, signal.SIGUSR1)
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        got = snapshots()
        if got and max(got) > before:
            lines = got[max(got)]
            loop = [x for x in lines if x["kind"] == "event_loop"]
            if loop:  # the event loop's line comes last: the snapshot is whole
                return {"players": {x["slot"]: x for x in lines if x["kind"] == "player"},
                        "loop": loop[0]}
        time.sleep(0.02)
    return None


def counter_delta(before, after, key):
    """A count over the measured time; a recording opened meanwhile starts its counts again."""
    if before is None or after is None or after.get(key, -1) < 0:
        return None
    if before.get("movie") != after.get("movie") or before.get(key, -1) < 0:
        return after[key]
    return after[key] - before[key]


def viewer_frames_text(before, after):
    if not before or not after:
        return "viewer: no statistics"
    parts = []
    for slot, name in ((0, "main"), (1, "sub")):
        b, a = before["players"].get(slot), after["players"].get(slot)
        values = [counter_delta(b, a, k) for k in
                  ("frame_drop_count", "vo_delayed_frame_count", "decoder_frame_drop_count")]
        parts.append("%s %s / %s (decoder %s)" % ((name,) + tuple(
            "-" if v is None else str(v) for v in values)))
    shown = []
    for slot, name in ((0, "main"), (1, "sub")):
        b, a = before["players"].get(slot), after["players"].get(slot)
        if not b or not a or "frames_shown" not in a or b.get("movie") != a.get("movie"):
            shown.append("%s -" % name)
            continue
        shown.append("%s %d drawn, %d on screen" % (name, a["frames_rendered"] - b["frames_rendered"],
                                                   a["frames_shown"] - b["frames_shown"]))
    return ("viewer dropped / late frames: " + ", ".join(parts)
            + "\nviewer frames in the measured time: " + ", ".join(shown))


BUCKETS = ("<5", "5-10", "10-20", "20-50", "50-100", ">100")


def stall_text(before, after):
    if not before or not after:
        return "window thread stalls: no statistics"
    b, a = before["loop"], after["loop"]
    counts = [a["buckets"][k] - b["buckets"][k] for k in BUCKETS]
    total = sum(counts) or 1
    return ("window thread lateness of a %d ms timer, %d ticks: %s ms; worst %.1f ms"
            % (a["interval_ms"], sum(counts),
               ", ".join("%s: %d (%.1f%%)" % (k, n, 100.0 * n / total) for k, n in zip(BUCKETS, counts)),
               a["recent_worst_ms"]))


# ---- How far apart the cameras are, read from the screen ----

PATTERN_CELLS = 24  # tools/samplecard/frame_pattern.h


def read_frame_pattern(gray, stride, rect):
    """The frame number in the top band of the picture at rect (x, y, w, h) of an 8-bit grey
    screen capture; -1 when the sync cells are not there. The same reading as
    samples::readFramePattern."""
    x0, y0, width, height = rect
    if width < PATTERN_CELLS * 2 or height < 16:
        return -1
    band = 8 if height // 12 < 8 else height // 12

    def cell(c):
        a = c * width // PATTERN_CELLS
        b = (c + 1) * width // PATTERN_CELLS
        cx, cy, dx, dy = (a + b) // 2, band // 2, (b - a) // 4, band // 4
        values = [gray[(y0 + y) * stride + x0 + x]
                  for y in range(cy - dy, cy + dy + 1, dy if dy > 0 else 1)
                  for x in range(cx - dx, cx + dx + 1, dx if dx > 0 else 1)]
        mean = sum(values) // len(values)
        return mean > 128, mean < 90 or mean > 160

    white, ok = cell(0)
    if not white or not ok:
        return -1
    white, ok = cell(PATTERN_CELLS - 1)
    if white or not ok:
        return -1
    frame = 0
    for bit in range(PATTERN_CELLS - 2):
        white, ok = cell(bit + 1)
        if not ok:
            return -1
        if white:
            frame |= 1 << bit
    return frame


def capture_screen(display, path):
    """The root window as 8-bit grey bytes, and its width; None when import failed."""
    if subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8",
                       "gray:" + path], stderr=subprocess.DEVNULL).returncode != 0:
        return None
    with open(path, "rb") as f:
        return f.read()


def mpris_call(env, method):
    subprocess.run(["gdbus", "call", "--session"] + MPRIS
                   + ["--method", "org.mpris.MediaPlayer2.Player." + method], env=env,
                   stdout=subprocess.DEVNULL, check=True)


def mpris_set_rate(env, rate):
    subprocess.run(["gdbus", "call", "--session"] + MPRIS
                   + ["--method", "org.freedesktop.DBus.Properties.Set",
                      "org.mpris.MediaPlayer2.Player", "Rate", "<%.2f>" % rate], env=env,
                   stdout=subprocess.DEVNULL, check=True)


def camera_offsets(viewer, env, stats, tmp, frame_ms, recording_s):
    """For x1, x2, x4: from the start of the recording, samples of (sub - main) in main-camera
    frames. Returns {rate: (offsets, unreadable)}."""
    display = env["DISPLAY"]
    shot = os.path.join(tmp, "screen.gray")
    out = {}
    for rate in (1, 2, 4):
        mpris_call(env, "Stop")  # back to the first frame of the recording
        time.sleep(0.5)
        mpris_set_rate(env, rate)
        mpris_call(env, "Play")
        time.sleep(1.0)
        snap = viewer_snapshot(viewer, stats)
        rects = {}
        if snap:
            for slot in (0, 1):
                line = snap["players"].get(slot)
                if line and line.get("picture"):
                    rects[slot] = line["picture"]
        offsets, unreadable = [], 0
        if len(rects) < 2:
            out[rate] = (offsets, -1)
            continue
        # Sample while the recording plays (not into the next one).
        end = time.monotonic() + min(SYNC_SECONDS, recording_s / rate - 1.5 - 0.7)
        while time.monotonic() < end:
            gray = capture_screen(display, shot)
            if not gray or len(gray) != SCREEN[0] * SCREEN[1]:
                unreadable += 1
                continue
            main = read_frame_pattern(gray, SCREEN[0], rects[0])
            sub = read_frame_pattern(gray, SCREEN[0], rects[1])
            if main < 0 or sub < 0:
                unreadable += 1
                continue
            offsets.append((sub * frame_ms[1] - main * frame_ms[0]) / frame_ms[0])
        out[rate] = (offsets, unreadable)
    mpris_set_rate(env, 1.0)
    return out


def offsets_text(results):
    lines = []
    for rate, (offsets, unreadable) in sorted(results.items()):
        if unreadable < 0:
            lines.append("  x%d: the viewer did not say where the pictures are" % rate)
            continue
        if not offsets:
            lines.append("  x%d: no readable capture (%d unreadable)" % (rate, unreadable))
            continue
        worst = max(offsets, key=abs)
        lines.append("  x%d: %d samples (%d unreadable), median %+.1f, max |%.1f| frames; samples %s"
                     % (rate, len(offsets), unreadable, statistics.median(offsets), abs(worst),
                        " ".join("%+.0f" % o for o in offsets)))
    return "\n".join(lines)


def run_mpv(display, movies, tmp):
    env = dict(os.environ, DISPLAY=display)
    procs, ipcs, firsts = [], [], []
    for i, movie in enumerate(movies):
        sock = os.path.join(tmp, "mpv%d.sock" % i)
        start = time.monotonic()
        procs.append(subprocess.Popen(
            ["mpv", "--no-config", "--vo=gpu", "--gpu-context=x11egl", "--input-ipc-server=" + sock,
             "--keep-open=yes", "--geometry=960x540+%d+0" % (i * 960)] + (["--mute=yes"] if i else [])
            + [movie], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        ipc = MpvIpc(sock)
        if not ipc.connect():
            raise RuntimeError("mpv did not answer")
        while not (ipc.get("vo-configured") and ipc.get("time-pos") is not None):
            time.sleep(0.005)
        firsts.append(time.monotonic() - start)
        ipcs.append(ipc)
    return procs, ipcs, firsts


def measure(pids, seconds):
    before = {pid: cpu_ticks(pid) for pid in pids}
    threads_before = {pid: thread_ticks(pid) for pid in pids}
    start = time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - start
    cores = {pid: (cpu_ticks(pid) - before[pid]) / TICK / wall for pid in pids}
    threads = {pid: busiest(threads_before[pid], thread_ticks(pid), wall) for pid in pids}
    return cores, threads


def run_viewer(display, bus, card, tmp):
    env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=bus, RAVIR_TRACE_STARTUP="1",
               RAVIR_CONFIG_DIR=os.path.join(tmp, "config"),
               RAVIR_PLAYBACK_STATS=os.path.join(tmp, "stats.jsonl"))
    env.pop("QT_QPA_PLATFORM", None)
    viewer = subprocess.Popen([VIEWER, card], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
    steps = {}
    opened = threading.Event()  # the recording is open and its first picture shown
    seen = set()

    def read():
        for line in viewer.stderr:
            if " ms  " in line and "startup" in line:
                ms, step = line.split("startup", 1)[1].split(" ms  ", 1)
                steps[step.strip()] = float(ms)
                seen.add(step.strip())
                if {"first recording opened", "first frame presented"} <= seen:
                    opened.set()
    threading.Thread(target=read, daemon=True).start()
    if not opened.wait(30):
        viewer.kill()
        raise RuntimeError("the viewer did not open a recording")
    time.sleep(0.5)  # the telemetry loader makes the recording ready, the sub camera opens
    # Both cameras on screen: the "switch display" key twice gives the main camera with the sub
    # camera as an inset.
    window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                             str(viewer.pid)], env=env, capture_output=True, text=True,
                            timeout=10).stdout.split()
    if window:
        subprocess.run(["xdotool", "windowactivate", "--sync", window[0]], env=env,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "key", "--window", window[0], "v", "v"], env=env)
    mpris_call(env, "Play")
    return viewer, steps, env


def stop(procs):
    for p in procs:
        p.terminate()
    for p in procs:
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def round_(display, bus, card, movies, frame_ms, recording_s, busy):
    tmp = tempfile.mkdtemp(prefix="ravir-onscreen-")
    hog = None
    try:
        if busy:
            hog = subprocess.Popen([sys.executable, "-c", "while True: pass"])
        viewer, steps, env = run_viewer(display, bus, card, tmp)
        stats = env["RAVIR_PLAYBACK_STATS"]
        time.sleep(SETTLE)
        if os.environ.get("ONSCREEN_SHOT"):  # a look at the screen, to check the set-up
            subprocess.run(["import", "-display", display, "-window", "root",
                            os.environ["ONSCREEN_SHOT"]])
        snap_before = viewer_snapshot(viewer, stats)
        cores, threads = measure([viewer.pid], SECONDS)
        snap_after = viewer_snapshot(viewer, stats)
        offsets = camera_offsets(viewer, env, stats, tmp, frame_ms, recording_s)
        stop([viewer])
        viewer_first = steps.get("first frame presented", float("nan")) / 1000

        procs, ipcs, firsts = run_mpv(display, movies, tmp)
        time.sleep(SETTLE)
        drops_before = [(i.get("frame-drop-count") or 0, i.get("vo-delayed-frame-count") or 0)
                        for i in ipcs]
        mpv_cores, mpv_threads = measure([p.pid for p in procs], SECONDS)
        drops = [((i.get("frame-drop-count") or 0) - b[0], (i.get("vo-delayed-frame-count") or 0) - b[1])
                 for i, b in zip(ipcs, drops_before)]
        for i in ipcs:  # from the start again, so that the fast run does not reach the end
            i.command("seek", 0, "absolute")
        fast = mpv_at_speed(ipcs, 4, 2.0)
        stop(procs)
        mpv_total = sum(mpv_cores.values())
        label = "busy (one core taken)" if busy else "idle"
        print("\n== %s, %.0f s playing at x1" % (label, SECONDS))
        print("viewer   %.2f cores  [%s]" % (cores[viewer.pid], threads[viewer.pid]))
        for p, name in zip(procs, ("main", "sub")):
            print("mpv %-4s %.2f cores  [%s]" % (name, mpv_cores[p.pid], mpv_threads[p.pid]))
        print("CPU: viewer %.2f cores against two mpv %.2f cores: %.2f x"
              % (cores[viewer.pid], mpv_total, cores[viewer.pid] / mpv_total if mpv_total else 0))
        print("mpv dropped / late frames: main %d / %d, sub %d / %d"
              % (drops[0][0], drops[0][1], drops[1][0], drops[1][1]))
        print(viewer_frames_text(snap_before, snap_after)
              + " (the main movie has %.0f frames in %.0f s)" % (SECONDS * 1000.0 / frame_ms[0], SECONDS))
        print(stall_text(snap_before, snap_after))
        print("mpv at x4 for 2 s (the peer for x4): main %d dropped, %d late of %d frames, sub %d dropped,"
              " %d late of %d frames" % (fast[0] + fast[1]))
        print("camera offset, sub minus main, in main-camera frames (screen captures of the inset):")
        print(offsets_text(offsets))
        print("first picture: viewer %.2f s (%s), mpv main %.2f s: %.2f x"
              % (viewer_first, ", ".join("%s %.0f" % (k, v) for k, v in steps.items()),
                 firsts[0], viewer_first / firsts[0] if firsts[0] else 0))
    finally:
        if hog:
            hog.kill()
            hog.wait()
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    for tool in ("Xvfb", "mpv", "gdbus", "dbus-daemon", "xdotool", "import"):
        if not shutil.which(tool):
            print("bench_onscreen: %s is missing (scripts/setup installs it)" % tool)
            return 0
    card = bench_card()
    movies = first_recording(card)
    probes = [json.loads(subprocess.run([RAVIR, "probe", m], check=True, capture_output=True,
                                        text=True).stdout) for m in movies]
    frame_ms = [p["frame_ms"] for p in probes]
    recording_s = probes[0]["duration"] / 1000.0  # ms
    xvfb, display = start_xvfb()
    bus, address = start_bus()
    try:
        with open("/proc/loadavg") as f:
            print("load average at the start: %s" % " ".join(f.read().split()[:3]))
        print("movies: %s, %s" % tuple(os.path.basename(m) for m in movies))
        for busy in (False, True):
            round_(display, address, card, movies, frame_ms, recording_s, busy)
    finally:
        stop([bus, xvfb])
    return 0


if __name__ == "__main__":
    sys.exit(main())
