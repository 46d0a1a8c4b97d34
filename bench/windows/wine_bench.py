#!/usr/bin/env python3
"""Figures of the Windows player under Wine on a virtual X display, next to
the floor of a Win32 player built by the same MinGW compiler
(gifplay_win32_floor: a window showing 8-bit DIBs with StretchDIBits from a
one-shot multimedia timer, nothing decoded), both on anim.gif's 100 frames of
320x240 at 40 ms:

  first frame   from exec until the animation is on the screen, seen from
                outside as bench/player/player_bench.py sees it (a patch read
                with XGetImage when the X server reports drawing), the two
                programs in turn (median of --runs)
  CPU           while playing, over 10 s: the program, the rest of Wine
                (wineserver and Wine's own processes) and the X server
  decoding      the i686 decoders (gifplay_decode_speed: ours, giflib and
                Wuffs built alike), best of --repetitions

Wine's server stays up for the whole run, so that no start pays for it.

Usage: wine_bench.py --build-dir BUILD --windows-build-dir BUILD_WIN [--player EXE]
                     [--display :N] [--runs N] [--repetitions N] [--prefix DIR]
BUILD (the Linux build) gives gifpack; BUILD_WIN is the cross-build made with
-DGIFPLAY_BUILD_WINDOWS_BENCH=ON.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "player"))
import player_bench as pb  # noqa: E402


def floor_frames(anim, frames, path):
    """The floor's input: anim.gif's global table as 256 RGBQUADs, then its
    frames as shown, in indices of that table, rows bottom-up."""
    with open(anim, "rb") as f:
        data = f.read()
    count = 2 << (data[10] & 7)
    table = data[13:13 + 3 * count]
    index = {}
    for i in range(count):
        index.setdefault(table[3 * i:3 * i + 3], i)
    out = bytearray()
    for i in range(256):
        rgb = table[3 * i:3 * i + 3] if i < count else b"\0\0\0"
        out += bytes((rgb[2], rgb[1], rgb[0], 0))
    for width, height, rgb in frames:
        rows = []
        for y in range(height):
            line = rgb[y * width * 3:(y + 1) * width * 3]
            rows.append(bytes(index[line[x * 3:x * 3 + 3]] for x in range(width)))
        out += b"".join(reversed(rows))
    with open(path, "wb") as f:
        f.write(out)


def wine_pids(prefix):
    """The processes of the Wine prefix (its server and Wine's own programs)."""
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                if ("WINEPREFIX=%s" % prefix).encode() in f.read().split(b"\0"):
                    pids.append(int(name))
        except OSError:
            pass
    return pids


def cpu_while_playing(display, command, env, prefix, seconds=10):
    """% of one core: the program, the rest of Wine, the X server."""
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(3)
        others = [p for p in wine_pids(prefix) if p != process.pid]
        groups = ([process.pid], others, [display.process.pid])

        def used():
            total = []
            for group in groups:
                seconds_used = 0
                for pid in group:
                    try:
                        seconds_used += pb.cpu_seconds(pid)
                    except OSError:
                        pass
                total.append(seconds_used)
            return total

        before, start = used(), time.monotonic()
        time.sleep(seconds)
        after, elapsed = used(), time.monotonic() - start
        return [100 * (a - b) / elapsed for a, b in zip(after, before)]
    finally:
        pb.stop(process)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--windows-build-dir", required=True)
    parser.add_argument("--testdata", default=os.path.join(os.path.dirname(__file__), "..", "..",
                                                           "testdata"))
    parser.add_argument("--display", help="an Xvfb display number to start, e.g. :92")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--prefix", default="/tmp/gifplay-wine-bench")
    parser.add_argument("--player", help="the Windows player to pack (default: BUILD_WIN's)")
    args = parser.parse_args()
    build, windows = os.path.abspath(args.build_dir), os.path.abspath(args.windows_build_dir)
    gifpack = os.path.join(build, "tools", "gifpack", "gifpack")
    player = os.path.abspath(args.player or os.path.join(windows, "app", "gifplay.exe"))
    floor = os.path.join(windows, "bench", "windows", "gifplay_win32_floor.exe")
    speed = os.path.join(windows, "bench", "windows", "gifplay_decode_speed.exe")
    testdata = os.path.abspath(args.testdata)
    anim = os.path.join(testdata, "bench", "anim.gif")
    prefix = os.path.abspath(args.prefix)
    work = tempfile.mkdtemp(prefix="gifplay-wine-bench-")
    try:
        frames = pb.frames_of(anim)
        packed = pb.pack(gifpack, player, anim, os.path.join(work, "anim_player.exe"))
        pixels = os.path.join(work, "frames.raw")
        floor_frames(anim, frames, pixels)
        with pb.Display(args.display) as display:
            env = dict(display.env(), WINEPREFIX=prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            subprocess.run(["wineboot", "-i"], env=env, capture_output=True)
            server = subprocess.Popen(["wineserver", "-p", "-f"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                programs = [("gifplay.exe", ["wine", packed]),
                            ("Win32 floor", ["wine", floor, pixels])]
                cpu = {name: cpu_while_playing(display, command, env, prefix)
                       for name, command in programs}
                display_env = display.env
                display.env = lambda: env
                try:
                    results = pb.first_frames([(display, c) for _, c in programs], frames,
                                              args.runs)
                finally:
                    display.env = display_env
                if os.path.exists(speed):
                    decoding = subprocess.run(["wine", speed, testdata, str(args.repetitions)],
                                              env=env, capture_output=True, text=True).stdout
                else:
                    decoding = "gifplay_decode_speed.exe: not built\n"
            finally:
                subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
                server.wait()
        first, _ = pb.report_first_frames(programs, results)
        ours, anchor = "gifplay.exe", "Win32 floor"
        print("under Wine, measured at %s:" % pb.load())
        print("under Wine, anim.gif (100 x 320x240, 25 frames/s)  %10s %12s %8s"
              % (ours, anchor, "ratio"))
        rows = [("exec -> first frame on screen, ms", first.get(ours), first.get(anchor))]
        for i, label in enumerate(("CPU while playing, program %", "CPU, rest of Wine %",
                                   "CPU, X server %")):
            rows.append((label, cpu[ours][i], cpu[anchor][i]))
        rows.append(("CPU, all of it %", sum(cpu[ours]), sum(cpu[anchor])))
        for label, a, b in rows:
            print("  %-46s %10s %12s %8s" % (
                label, "%.2f" % a if a is not None else "-", "%.2f" % b if b is not None else "-",
                "%.2f" % (a / b) if a is not None and b else "-"))
        print(decoding, end="")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
