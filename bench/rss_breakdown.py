#!/usr/bin/python3
"""Where the game's resident memory in play goes, next to the reference's.

Brings both programs up under Xvfb as the bench does, then sums
/proc/<pid>/smaps by mapping and prints the mappings whose RSS differs by
at least --min KiB, largest difference first. Mappings only the game has
are marked "*"; against the bare reference their total is mostly the sound
stack, which --sound puts in the reference too.
Usage: python3 bench/rss_breakdown.py --build build [--min 100] [--sound]
"""

import argparse
import collections
import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_bench  # noqa: E402


def rss_by_mapping(pid):
    """KiB of RSS per mapped file; anonymous mappings under their [tag]."""
    rss, name = collections.Counter(), None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            fields = line.split()
            if "-" in fields[0] and not fields[0].endswith(":"):  # a mapping's header line
                name = fields[5] if len(fields) > 5 else "[anon]"
            elif fields[0] == "Rss:":
                rss[name] += int(fields[1])
    return rss


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--min", type=int, default=100, help="smallest difference shown, KiB")
    ap.add_argument("--sound", action="store_true", help="against the reference that plays a sound")
    args = ap.parse_args()

    bench = run_bench.Bench(os.path.abspath(args.build), 1, 0, True)
    game = ref = None
    try:
        game = bench.game_in_play()
        ref, _, _ = bench.launch(bench.sound_reference if args.sound else bench.reference)
        time.sleep(1.0)
        hwm = [run_bench.proc_status_kib(p.pid, "VmHWM") for p in (game, ref)]
        g, r = rss_by_mapping(game.pid), rss_by_mapping(ref.pid)
    finally:
        for proc in (game, ref):
            if proc is not None:
                run_bench.stop(proc)
        bench.close()

    print(f"peak RSS KiB: game {hwm[0]}, reference {hwm[1]}, ratio {hwm[0] / hwm[1]:.2f}")
    print(f"{'game':>7} {'ref':>7} {'diff':>7}  mapping")
    for name in sorted(set(g) | set(r), key=lambda n: r[n] - g[n]):
        if abs(g[name] - r[name]) >= args.min:
            mark = "*" if r[name] == 0 else " "
            print(f"{g[name]:7d} {r[name]:7d} {g[name] - r[name]:+7d} {mark}{name}")
    only = sum(v for n, v in g.items() if n.startswith("/usr/lib") and n not in r)
    print(f"libraries only the game maps: {only} KiB")


if __name__ == "__main__":
    main()
