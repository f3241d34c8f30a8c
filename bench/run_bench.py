#!/usr/bin/python3
"""Runs the performance figures of Vortana and prints them as one table.

Every timed figure stands beside a reference measured in the same run, so
that the ratio holds when the machine's speed drifts. Figures, not tests:
a missed target is reported, and the exit status only says whether the
bench itself could run.
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xwatch  # noqa: E402

TITLE = "Vortana"
CLK_TCK = os.sysconf("SC_CLK_TCK")


def log(*args):
    print("bench:", *args, file=sys.stderr, flush=True)


class Xvfb:
    """One X server for the whole run, on whatever display is free."""

    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(r, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(r)
        self.display = ":" + number.decode().strip()

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def proc_times(pid):
    """utime + stime of the whole process, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def proc_status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise KeyError(key)


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Bench:
    def __init__(self, build, runs, idle_seconds, quick):
        self.build = build
        self.runs = runs
        self.idle_seconds = idle_seconds
        self.quick = quick
        self.game = os.path.join(build, "vortana")
        self.reference = os.path.join(build, "bench_reference")
        self.sound_reference = os.path.join(build, "bench_reference_sound")
        for exe in (self.game, self.reference, self.sound_reference):
            if not os.access(exe, os.X_OK):
                raise SystemExit(f"bench: {exe} is missing; build first")
        self.data = tempfile.mkdtemp(prefix="vortana-bench-")
        self.x = Xvfb()
        self.watch = xwatch.Watcher(self.x.display)
        if self.watch.damage_event is None:
            log("no DAMAGE extension: a window counts as shown once mapped")
        # A session bus of our own, as a desktop has: without one each Qt
        # program would launch a bus of its own on start, and that, not
        # the program, would be what the start-up figure measures.
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env = dict(os.environ, DISPLAY=self.x.display, XDG_DATA_HOME=self.data, QT_QPA_PLATFORM="xcb",
                        DBUS_SESSION_BUS_ADDRESS=self.bus.stdout.readline().strip())
        if not self.env["DBUS_SESSION_BUS_ADDRESS"]:
            log("no session bus: start-up figures include launching one")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.rows = []

    def close(self):
        self.watch.close()
        self.x.stop()
        stop(self.bus)
        shutil.rmtree(self.data, ignore_errors=True)

    # ---- out of process, under Xvfb -----------------------------------

    def launch(self, exe):
        self.watch.pump(0.05)  # whatever the last program left behind
        self.watch.forget()
        t0 = time.monotonic()
        proc = subprocess.Popen([exe], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        win = self.watch.wait_shown(TITLE, timeout=30)
        if win is None:
            stop(proc)
            raise SystemExit(f"bench: {os.path.basename(exe)} never showed its prompt")
        shown = win.drawn_at if win.drawn_at is not None else win.mapped_at
        return proc, win, shown - t0

    def startup(self):
        times = {self.game: [], self.reference: []}
        # One unrecorded start of each first: the page cache is then warm
        # for both alike.
        for i in range(self.runs + 1):
            for exe in ((self.reference, self.game) if i % 2 else (self.game, self.reference)):
                proc, _, seconds = self.launch(exe)
                stop(proc)
                if i:
                    times[exe].append(seconds * 1e3)
        game, ref = statistics.median(times[self.game]), statistics.median(times[self.reference])
        log("start-up ms, game:", " ".join(f"{t:.1f}" for t in times[self.game]))
        log("start-up ms, reference:", " ".join(f"{t:.1f}" for t in times[self.reference]))
        self.row("start-up to name prompt (ms)", game, None, ref, "game/ref <= 1.15", game / ref <= 1.15,
                 ratio=game / ref, name="start-up")

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, stdout=subprocess.DEVNULL)

    def answer(self, win, typed=None):
        self.xdotool("windowfocus", "--sync", win.id)
        if typed:
            self.xdotool("type", "--delay", "0", typed)
        self.xdotool("key", "Return")

    def cyan_pixels(self, win):
        raw = subprocess.run(["import", "-silent", "-window", str(win.id), "-depth", "8", "rgb:-"], env=self.env,
                             check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return sum(1 for r, g, b in zip(raw[0::3], raw[1::3], raw[2::3]) if r == 0 and g == 255 and b == 255)

    def game_in_play(self):
        """The real game, name given, greeting closed and play started."""
        proc, prompt, _ = self.launch(self.game)
        try:
            self.drive_to_play(prompt)
        except BaseException:
            stop(proc)
            raise
        return proc

    def drive_to_play(self, prompt):
        self.answer(prompt, "Bench")
        greeting = self.watch.wait_shown(TITLE, timeout=10, exclude={prompt.id})
        if greeting is None:
            raise SystemExit("bench: no greeting after the name prompt")
        self.answer(greeting)
        window = self.watch.wait_shown(TITLE, timeout=10, exclude={prompt.id, greeting.id})
        if window is None:
            raise SystemExit("bench: the game window never showed")
        time.sleep(0.5)  # activation runs just after the window shows
        # A bare spot near the bottom of the client area: the window's click.
        width, height = window.geometry[2], window.geometry[3]
        self.xdotool("mousemove", "--window", window.id, width // 2, height - 25, "click", "1")
        self.xdotool("mousemove", "--window", window.id, width - 5, height - 5)  # off the targets
        time.sleep(1.0)
        if self.cyan_pixels(window) == 0:
            raise SystemExit("bench: play did not start (no target shown after the click)")

    def idle_and_memory(self):
        ticks = subprocess.Popen([os.path.join(self.build, "bench_ticks"), str(self.idle_seconds)],
                                 env=dict(self.env, QT_QPA_PLATFORM="offscreen"), stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True)
        game = ref = sound_ref = None
        try:
            game = self.game_in_play()
            ref, _, _ = self.launch(self.reference)
            sound_ref, _, _ = self.launch(self.sound_reference)
            time.sleep(1.0)
            g0, r0, t0 = proc_times(game.pid), proc_times(ref.pid), time.monotonic()
            time.sleep(self.idle_seconds)
            g1, r1, t1 = proc_times(game.pid), proc_times(ref.pid), time.monotonic()
            game_hwm, ref_hwm, sound_hwm = (proc_status_kib(p.pid, "VmHWM") for p in (game, ref, sound_ref))
            if game.poll() is not None:
                raise SystemExit("bench: the game ended during the idle stretch")
            out, _ = ticks.communicate(timeout=60)
        finally:
            for proc in (game, ref, sound_ref, ticks):
                if proc is not None:
                    stop(proc)
        counted = json.loads(out) if ticks.returncode == 0 else None

        wall = t1 - t0
        game_cpu, ref_cpu = 100 * (g1 - g0) / wall, 100 * (r1 - r0) / wall
        self.row(f"idle CPU in play, {self.idle_seconds} s (% of a core)", game_cpu, None, ref_cpu, "<= 0.5 %",
                 game_cpu <= 0.5, ratio=game_cpu / ref_cpu if ref_cpu else None, name="idle CPU")
        if counted is None:
            raise SystemExit("bench: bench_ticks failed")
        expect1, expect2 = self.idle_seconds, int(self.idle_seconds * 1000 / 1300)
        self.row(f"Timer1 ticks in {self.idle_seconds} s", counted["timer1"], None, expect1, f"{expect1} +- 1",
                 abs(counted["timer1"] - expect1) <= 1, name="Timer1 ticks", integer=True)
        self.row(f"Timer2 ticks in {self.idle_seconds} s", counted["timer2"], None, expect2, f"{expect2} +- 1",
                 abs(counted["timer2"] - expect2) <= 1, name="Timer2 ticks", integer=True)
        ratio = game_hwm / ref_hwm
        self.row("peak RSS in play (MiB)", game_hwm / 1024, None, ref_hwm / 1024, "game/ref <= 1.2", ratio <= 1.2,
                 ratio=ratio, name="peak RSS")
        ratio = game_hwm / sound_hwm
        self.row("peak RSS in play, reference with sound (MiB)", game_hwm / 1024, None, sound_hwm / 1024,
                 "game/ref <= 1.1", ratio <= 1.1, ratio=ratio, name="peak RSS against sound")

    # ---- in process ----------------------------------------------------

    def clicks(self):
        out = os.path.join(self.data, "click.json")
        args = [os.path.join(self.build, "bench_click"), "--benchmark_out=" + out, "--benchmark_out_format=json"]
        subprocess.run(args, env=dict(self.env, QT_QPA_PLATFORM="offscreen"), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out) as f:
            results = {b["name"].split("/")[0]: b for b in json.load(f)["benchmarks"]}
        for b in results.values():
            if b.get("error_occurred"):
                raise SystemExit(f"bench: {b['name']}: {b.get('error_message')}")
        ref = results["BM_ReferenceRepaint"]["median_ms"]
        for key, label, name in (("BM_Hit", "hit, press to screen (ms)", "hit"),
                                 ("BM_Miss", "miss, warning answered (ms)", "miss"),
                                 ("BM_MovementStep", "movement step + repaint (ms)", "movement step"),
                                 ("BM_Gradient", "gradient + repaint (ms)", "gradient"),
                                 ("BM_NewGame", "new game to activation (ms)", "new game")):
            b = results[key]
            if b["unpainted"]:
                raise SystemExit(f"bench: {key}: {int(b['unpainted'])} iterations never ran or never repainted")
            met = b["median_ms"] <= 4 and b["p99_ms"] <= 16.7
            self.row(label, b["median_ms"], b["p99_ms"], ref, "median <= 4, p99 <= 16.7", met,
                     ratio=b["median_ms"] / ref, name=name)

    def session(self):
        args = [os.path.join(self.build, "bench_session")]
        if self.quick:
            args += ["100", "10000", "2000"]
        res = subprocess.run(args, env=dict(self.env, QT_QPA_PLATFORM="offscreen"), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
        if res.returncode != 0:
            raise SystemExit("bench: bench_session failed")
        s = json.loads(res.stdout)
        growth = (s["rss_after_kib"] - s["rss_first_kib"]) / 1024
        self.row(f"RSS growth, {s['games']} games/{s['steps']} steps/{s['clicks']} clicks (MiB)", growth, None,
                 s["rss_first_kib"] / 1024, "<= 2 MiB", growth <= 2, ratio=s["rss_after_kib"] / s["rss_first_kib"],
                 name="session RSS")

    # ---- the table -----------------------------------------------------

    def row(self, figure, value, p99, reference, target, met, ratio=None, name=None, integer=False):
        self.rows.append(dict(figure=figure, value=value, p99=p99, reference=reference, ratio=ratio, target=target,
                              met=met, name=name or figure, integer=integer))

    def print_table(self):
        def num(v, integer=False):
            if v is None:
                return "-"
            return str(int(v)) if integer else f"{v:.3f}" if abs(v) < 10 else f"{v:.1f}"

        header = ("figure", "median", "p99", "reference", "ratio", "target", "met")
        lines = [(r["figure"], num(r["value"], r["integer"]), num(r["p99"]), num(r["reference"], r["integer"]),
                  "-" if r["ratio"] is None else f"{r['ratio']:.2f}", r["target"], "yes" if r["met"] else "NO")
                 for r in self.rows]
        widths = [max(len(x) for x in col) for col in zip(header, *lines)]
        fmt = "  ".join(f"{{:<{w}}}" if i == 0 or i == 5 else f"{{:>{w}}}" for i, w in enumerate(widths))
        print(fmt.format(*header))
        print("  ".join("-" * w for w in widths))
        for line in lines:
            print(fmt.format(*line))
        missed = [r["name"] for r in self.rows if not r["met"]]
        met = len(self.rows) - len(missed)
        print(f"targets met: {met} of {len(self.rows)}" + (f"; missed: {', '.join(missed)}" if missed else ""))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True, help="build directory holding vortana and the bench programs")
    ap.add_argument("--runs", type=int, default=9, help="starts of each program for the start-up figure")
    ap.add_argument("--idle", type=int, default=60, help="seconds of idle play")
    ap.add_argument("--quick", action="store_true", help="a shorter session, for trying the bench out")
    args = ap.parse_args()

    started = time.monotonic()
    with open("/proc/loadavg") as f:
        log("load average before:", " ".join(f.read().split()[:3]))
    bench = Bench(os.path.abspath(args.build), args.runs, args.idle, args.quick)
    try:
        log("start-up ...")
        bench.startup()
        log(f"idle play, {args.idle} s ...")
        bench.idle_and_memory()
        log("click to screen ...")
        bench.clicks()
        log("long session ...")
        bench.session()
    finally:
        bench.close()
    with open("/proc/loadavg") as f:
        log(f"load average after: {' '.join(f.read().split()[:3])}; took {time.monotonic() - started:.0f} s")
    bench.print_table()


if __name__ == "__main__":
    main()
