#!/usr/bin/env python3
"""On-screen playback against mpv, in one run, on a virtual X display started here.

The viewer (`ravir-viewer CARD`) plays the card's first recording (1080p main camera, 720p sub
camera) and, on the same display, two `mpv --vo=gpu --gpu-context=x11egl` windows play the same
two movies. For each, once idle and once with a second process keeping one core busy:

  - the time from the start of the process to its first picture (the viewer's own start-up
    trace, RAVIR_TRACE_STARTUP=1; mpv's IPC reporting a configured video output and a position);
  - the CPU used while playing (user + system of the process and all its threads, children
    included, from /proc), as cores, and the busiest threads;
  - mpv's dropped and late frames (frame-drop-count, vo-delayed-frame-count over its IPC socket).

The viewer is asked to play over MPRIS on a private session bus. Nothing is asserted: the figures
and the ratios are printed. Environment: RAVIR_BENCH_DIR (where the card is kept, default
/tmp/ravir-bench), ONSCREEN_SECONDS (measured playing time, default 8), ONSCREEN_SHOT (a PNG of the screen while the
viewer plays, to check the set-up).
"""
import json
import os
import shutil
import socket
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
SETTLE = 2.0  # seconds of playing before the measurement starts
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
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1920x1200x24",
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

    def get(self, name):
        self.sock.sendall((json.dumps({"command": ["get_property", name]}) + "\n").encode())
        while True:
            reply = json.loads(self.file.readline())
            if "event" not in reply:
                return reply.get("data") if reply.get("error") == "success" else None


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
               RAVIR_CONFIG_DIR=os.path.join(tmp, "config"))
    env.pop("QT_QPA_PLATFORM", None)
    viewer = subprocess.Popen([VIEWER, card], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
    steps = {}
    opened = threading.Event()

    def read():
        for line in viewer.stderr:
            if " ms  " in line and "startup" in line:
                ms, step = line.split("startup", 1)[1].split(" ms  ", 1)
                steps[step.strip()] = float(ms)
                if step.strip() == "first recording opened":
                    opened.set()
    threading.Thread(target=read, daemon=True).start()
    if not opened.wait(30):
        viewer.kill()
        raise RuntimeError("the viewer did not open a recording")
    time.sleep(0.3)  # the telemetry loader makes the recording ready
    # Both cameras on screen: the "switch display" key twice gives the main camera with the sub
    # camera as an inset.
    window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                             str(viewer.pid)], env=env, capture_output=True, text=True,
                            timeout=10).stdout.split()
    if window:
        subprocess.run(["xdotool", "windowactivate", "--sync", window[0]], env=env,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "key", "--window", window[0], "v", "v"], env=env)
    subprocess.run(["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.ravir",
                    "--object-path", "/org/mpris/MediaPlayer2",
                    "--method", "org.mpris.MediaPlayer2.Player.Play"], env=env,
                   stdout=subprocess.DEVNULL, check=True)
    return viewer, steps


def stop(procs):
    for p in procs:
        p.terminate()
    for p in procs:
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def round_(display, bus, card, movies, busy):
    tmp = tempfile.mkdtemp(prefix="ravir-onscreen-")
    hog = None
    try:
        if busy:
            hog = subprocess.Popen([sys.executable, "-c", "while True: pass"])
        viewer, steps = run_viewer(display, bus, card, tmp)
        time.sleep(SETTLE)
        if os.environ.get("ONSCREEN_SHOT"):  # a look at the screen, to check the set-up
            subprocess.run(["import", "-display", display, "-window", "root",
                            os.environ["ONSCREEN_SHOT"]])
        cores, threads = measure([viewer.pid], SECONDS)
        stop([viewer])
        viewer_first = steps.get("first frame presented", float("nan")) / 1000

        procs, ipcs, firsts = run_mpv(display, movies, tmp)
        time.sleep(SETTLE)
        drops_before = [(i.get("frame-drop-count") or 0, i.get("vo-delayed-frame-count") or 0)
                        for i in ipcs]
        mpv_cores, mpv_threads = measure([p.pid for p in procs], SECONDS)
        drops = [((i.get("frame-drop-count") or 0) - b[0], (i.get("vo-delayed-frame-count") or 0) - b[1])
                 for i, b in zip(ipcs, drops_before)]
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
        print("first picture: viewer %.2f s (%s), mpv main %.2f s: %.2f x"
              % (viewer_first, ", ".join("%s %.0f" % (k, v) for k, v in steps.items()),
                 firsts[0], viewer_first / firsts[0] if firsts[0] else 0))
    finally:
        if hog:
            hog.kill()
            hog.wait()
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    for tool in ("Xvfb", "mpv", "gdbus", "dbus-daemon", "xdotool"):
        if not shutil.which(tool):
            print("bench_onscreen: %s is missing (scripts/setup installs it)" % tool)
            return 0
    card = bench_card()
    movies = first_recording(card)
    xvfb, display = start_xvfb()
    bus, address = start_bus()
    try:
        with open("/proc/loadavg") as f:
            print("load average at the start: %s" % " ".join(f.read().split()[:3]))
        print("movies: %s, %s" % tuple(os.path.basename(m) for m in movies))
        for busy in (False, True):
            round_(display, address, card, movies, busy)
    finally:
        stop([bus, xvfb])
    return 0


if __name__ == "__main__":
    sys.exit(main())
