#!/usr/bin/env python3
"""Bad inputs against the packed Linux player, end to end on a virtual display.

Each case is one player file: the bare player with records appended by hand
(so that records gifpack would refuse can be made too). Each runs in a TEMP
directory of its own. The player must never crash: it either ends by itself
with exit code 0 or shows its window; a window is closed after a moment (the
close box's WM_DELETE_WINDOW) and the player must then end with 0. Either way
TEMP must be empty afterwards: the song file is deleted at exit.

Sets of cases:
  truncated     three_frames.gif cut after every byte (1 .. size - 1 bytes)
  byte-changes  every single-byte change of small.gif (each byte to each of
                its 255 other values)
  huge-screen   logical screens of 65535 x 65535 and 32767 x 65535
  zero-frames   frames of 0 x 0, 0 x 5 and 5 x 0
  wide-frame    a frame 65535 pixels wide
  corrupt-lzw   damaged code streams (make_bad_inputs names them)
  beyond-file   a picture record whose length runs past the end of the file
  zero-length   a picture record of length 0
  not-midi      a good picture with a song record that is not a MIDI file

Usage: bad_inputs.py --player P --make-inputs M [--sample N] [--set S ...]
                     [--moment SECONDS] [--jobs N] [--table FILE]
  --sample N   run N cases of each large set (truncated, byte-changes),
               spread evenly, with the first and last always in; 0 (the
               default) runs every case
  --table FILE append one Markdown table row per set to FILE
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (SKIPPED, Failure, Skip, VirtualDisplay, missing_tools,  # noqa: E402
                         record, wait_for)

STARTING = threading.Lock()


# ---- the cases -----------------------------------------------------------


def picture(gif, length=None):
    return record(b"GIF", gif, length)


def song(data):
    return record(b"MIDI", data)


def spread(count, sample):
    """Indices of count cases: all, or sample of them evenly spread, ends included."""
    if sample <= 0 or sample >= count:
        return list(range(count))
    return sorted({round(i * (count - 1) / (sample - 1)) for i in range(sample)})


def byte_changes(gif):
    for position in range(len(gif)):
        for value in range(256):
            if value != gif[position]:
                changed = bytearray(gif)
                changed[position] = value
                yield "byte %d = 0x%02X" % (position, value), bytes(changed)


def make_sets(inputs, sample):
    def read(name):
        with open(os.path.join(inputs, name), "rb") as f:
            return f.read()

    three, small = read("three_frames.gif"), read("small.gif")
    truncations = [("first %d bytes" % n, picture(three[:n])) for n in range(1, len(three))]
    changes = [(name, picture(gif)) for name, gif in byte_changes(small)]
    corrupt = sorted(name for name in os.listdir(inputs) if name.startswith("lzw_"))
    not_midi = b"This is not a MIDI file: no MThd, no tracks.\n" * 20
    sets = {
        "truncated": ("three_frames.gif (%d bytes) cut after every byte" % len(three),
                      [truncations[i] for i in spread(len(truncations), sample)]),
        "byte-changes": ("every single-byte change of small.gif (%d bytes)" % len(small),
                         [changes[i] for i in spread(len(changes), sample)]),
        "huge-screen": ("logical screens 65535 x 65535 and 32767 x 65535",
                        [(name, picture(read(name)))
                         for name in ("huge_screen.gif", "huge_screen_32767.gif")]),
        "zero-frames": ("frames of 0 x 0, 0 x 5 and 5 x 0, then a 4 x 4 one",
                        [("zero_frames.gif", picture(read("zero_frames.gif")))]),
        "wide-frame": ("a frame 65535 pixels wide, 2 high",
                       [("wide_frame.gif", picture(read("wide_frame.gif")))]),
        "corrupt-lzw": ("damaged LZW data: " + ", ".join(n[4:-4] for n in corrupt),
                        [(name, picture(read(name))) for name in corrupt]),
        "beyond-file": ("picture record lengths beyond the end of the file: the GIF's + 1000, "
                        "0x7FFFFFFF, 0xFFFFFFFF",
                        [("length + 1000", picture(three, len(three) + 1000)),
                         ("length 0x7FFFFFFF", picture(three, 0x7FFFFFFF)),
                         ("length 0xFFFFFFFF", picture(three, 0xFFFFFFFF))]),
        "zero-length": ("picture record of length 0",
                        [("length 0", picture(b"")),
                         ("length 0, then a song", picture(b"") + song(b"MThd"))]),
        "not-midi": ("good picture, song record that is not a MIDI file",
                     [("text song", picture(three) + song(not_midi)),
                      ("empty song", picture(three) + song(b"")),
                      ("song cut in its header", picture(three) + song(b"MThd\0\0\0\6\0"))]),
    }
    return sets


# ---- running one case ----------------------------------------------------


class Outcome:
    def __init__(self, name):
        self.name = name
        self.window = False
        self.code = None
        self.left_in_temp = []
        self.problem = None


def run_case(display, player, name, records, work, moment):
    outcome = Outcome(name)
    program = os.path.join(work, "player")
    temp = os.path.join(work, "temp")
    os.makedirs(temp)
    env = dict(display.env(), TEMP=temp)
    # A sanitizer build of the player: leaks are valgrind's business (GTK
    # keeps plenty until exit); everything else ends the run with a report.
    env["ASAN_OPTIONS"] = "detect_leaks=0:" + env.get("ASAN_OPTIONS", "")
    # No other case may start a process while this one's program is open for
    # writing: the child would inherit the descriptor and make the program
    # "busy" when it is run.
    with STARTING:
        shutil.copyfile(player, program)
        shutil.copymode(player, program)
        with open(program, "ab") as f:
            f.write(records)
        process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
    try:
        window = wait_for(lambda: process.poll() is not None or display.xlib.window_of(
            process.pid), 20, interval=0.02)
        if process.poll() is None and window:
            outcome.window = True
            time.sleep(moment)
            if process.poll() is None:
                display.xlib.close(display.xlib.window_of(process.pid) or window)
        try:
            outcome.code = process.wait(20)
        except subprocess.TimeoutExpired:
            outcome.problem = "still running 20 s after being closed" if outcome.window \
                else "neither ended nor showed a window"
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        stderr = process.stderr.read().decode(errors="replace")
        process.stderr.close()
    if outcome.problem is None:
        if outcome.code is None or outcome.code < 0:
            outcome.problem = "killed by signal %d" % -(outcome.code or 0)
        elif outcome.code != 0:
            outcome.problem = "exit code %d" % outcome.code
    for line in stderr.splitlines():
        if "Sanitizer" in line or "runtime error" in line:
            outcome.problem = outcome.problem or "sanitizer: " + line.strip()
    outcome.left_in_temp = sorted(os.listdir(temp))
    if outcome.left_in_temp and outcome.problem is None:
        outcome.problem = "left in TEMP: " + ", ".join(outcome.left_in_temp)
    if outcome.problem:
        with open(os.path.join(work, "stderr.txt"), "w") as f:
            f.write(stderr)
    return outcome


def run_set(display, args, label, cases, scratch):
    failures = []
    windows = 0

    def run(case):
        name, records = case
        work = tempfile.mkdtemp(prefix="case-", dir=scratch)
        return run_case(display, args.player, name, records, work, args.moment), work

    # Results come in the order of the cases; a finished case's copy of the
    # player goes at once, so that a whole set does not fill the disk.
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for i, (outcome, work) in enumerate(pool.map(run, cases)):
            windows += outcome.window
            if outcome.problem:
                failures.append((outcome, work))
                print("  FAIL %s: %s: %s (kept in %s)" % (label, outcome.name, outcome.problem,
                                                          work), flush=True)
            else:
                shutil.rmtree(work)
            if (i + 1) % 250 == 0:
                print("  %s: %d of %d" % (label, i + 1, len(cases)), flush=True)
    return windows, failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    parser.add_argument("--make-inputs", required=True)
    parser.add_argument("--sample", type=int, default=0)
    parser.add_argument("--set", action="append", dest="sets")
    parser.add_argument("--moment", type=float, default=0.3,
                        help="seconds the player runs before its window is closed")
    parser.add_argument("--jobs", type=int, default=1,
                        help="players running at once on the display")
    parser.add_argument("--table", help="append a Markdown row per set to this file")
    args = parser.parse_args()
    if missing_tools("Xvfb"):
        print("SKIP: Xvfb is not installed (scripts/setup.sh installs it)")
        return SKIPPED
    scratch = tempfile.mkdtemp(prefix="gifplay-bad-inputs-")
    inputs = os.path.join(scratch, "inputs")
    subprocess.run([args.make_inputs, inputs], check=True)
    sets = make_sets(inputs, args.sample)
    chosen = args.sets or list(sets)
    failed = False
    try:
        with VirtualDisplay(size=(1280, 1024)) as display:
            display.xlib  # one connection, opened before the case runners share it
            for label in chosen:
                what, cases = sets[label]
                started = time.monotonic()
                windows, failures = run_set(display, args, label, cases, scratch)
                seconds = time.monotonic() - started
                result = "PASS" if not failures else "FAIL (%d)" % len(failures)
                print("%s %s: %d cases, %d showed the window and were closed, %d ended by "
                      "themselves; %.0f s" % (result, label, len(cases), windows,
                                              len(cases) - windows, seconds), flush=True)
                if args.table:
                    with open(args.table, "a") as f:
                        f.write("| %s | %s | %d | %d | %d | %s |\n" % (
                            label, what, len(cases), windows, len(cases) - windows,
                            "exit 0, TEMP empty" if not failures else
                            "; ".join("%s: %s" % (o.name, o.problem) for o, _ in failures[:5])))
                failed = failed or bool(failures)
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIPPED
    except Failure as failure:
        print("FAIL: %s" % failure)
        failed = True
    if not failed:
        shutil.rmtree(scratch, ignore_errors=True)
    else:
        print("work files kept in %s" % scratch)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
