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
                     [--display :96] [--moment SECONDS] [--jobs N] [--table FILE]
  --sample N   run N cases of each large set (truncated, byte-changes),
               spread evenly, with the first and last always in; 0 (the
               default) runs every case
  --table FILE append one Markdown table row per set to FILE
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb).
"""

import argparse
import ctypes
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (SKIPPED, Failure, accepts_connections,  # noqa: E402
                         delete_window_event, end_process, wait_for)

DISPLAY = ":96"
STARTING = threading.Lock()


# ---- the X display -------------------------------------------------------


class Xlib:
    """The few Xlib calls needed: find a process's viewable top-level window
    by _NET_WM_PID, and ask it to close as a window manager would."""

    def __init__(self, name):
        x = ctypes.cdll.LoadLibrary("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
        self.x = x
        self.lock = threading.Lock()  # one connection, shared by the case runners
        self.display = x.XOpenDisplay(name.encode())
        if not self.display:
            raise Failure("cannot open display " + name)
        # Windows may vanish between the query and a look at them.
        self.handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
            lambda d, e: 0)
        x.XSetErrorHandler(ctypes.cast(self.handler, ctypes.c_void_p))
        self.root = x.XDefaultRootWindow(self.display)
        self.pid_atom = x.XInternAtom(self.display, b"_NET_WM_PID", 0)
        self.protocols = x.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        self.delete = x.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)

    def close_display(self):
        self.x.XCloseDisplay(self.display)

    def _pid_of(self, window):
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = self.x.XGetWindowProperty(self.display, window, self.pid_atom, 0, 1, 0, 0,
                                           ctypes.byref(kind), ctypes.byref(fmt),
                                           ctypes.byref(count), ctypes.byref(after),
                                           ctypes.byref(data))
        pid = None
        if status == 0 and data.value:
            if count.value == 1 and fmt.value == 32:
                pid = ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[0]
            self.x.XFree(data)
        return pid

    class WindowAttributes(ctypes.Structure):
        _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                    ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                    ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                    ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                    ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                    ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                    ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                    ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                    ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                    ("your_event_mask", ctypes.c_long),
                    ("do_not_propagate_mask", ctypes.c_long),
                    ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

    def _viewable(self, window):
        attributes = self.WindowAttributes()
        if not self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)):
            return False
        return attributes.map_state == 2  # IsViewable

    def window_of(self, pid):
        with self.lock:
            return self._window_of(pid)

    def _window_of(self, pid):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x.XSync(self.display, 0)
        if not self.x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
            return None
        found = None
        for i in range(count.value):
            window = children[i]
            if self._pid_of(window) == pid and self._viewable(window):
                found = window
                break
        if children:
            self.x.XFree(children)
        return found

    def close(self, window):
        with self.lock:
            self._close(window)

    def _close(self, window):
        event = delete_window_event(window, self.protocols, self.delete)
        self.x.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.x.XFlush(self.display)


class VirtualDisplay:
    """Xvfb on our display number; an X server already there is used as it is."""

    def __init__(self, name):
        self.name = name
        self.process = None

    def __enter__(self):
        socket = "/tmp/.X11-unix/X" + self.name.lstrip(":")
        if not os.path.exists(socket):
            self.process = subprocess.Popen(
                ["Xvfb", self.name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if not wait_for(lambda: accepts_connections(socket) or self.process.poll() is not None, 10) \
                    or self.process.poll() is not None:
                raise Failure("Xvfb did not start on " + self.name)
        self.xlib = Xlib(self.name)
        return self

    def __exit__(self, *exc):
        self.xlib.close_display()
        if self.process is not None:
            end_process(self.process)


# ---- the cases -----------------------------------------------------------


def marker(tag):
    return b"*" + tag + b"_BEGINS_HERE" + b":"


def record(tag, payload, length=None):
    return marker(tag) + struct.pack("<I", len(payload) if length is None else length) + payload


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
    env = dict(os.environ)
    env.update(DISPLAY=display.name, GDK_BACKEND="x11", NO_AT_BRIDGE="1", TEMP=temp)
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
    parser.add_argument("--display", default=DISPLAY)
    parser.add_argument("--moment", type=float, default=0.3,
                        help="seconds the player runs before its window is closed")
    parser.add_argument("--jobs", type=int, default=1,
                        help="players running at once on the display")
    parser.add_argument("--table", help="append a Markdown row per set to this file")
    args = parser.parse_args()
    if shutil.which("Xvfb") is None:
        print("SKIP: Xvfb is not installed (scripts/setup.sh installs it)")
        return SKIPPED
    scratch = tempfile.mkdtemp(prefix="gifplay-bad-inputs-")
    inputs = os.path.join(scratch, "inputs")
    subprocess.run([args.make_inputs, inputs], check=True)
    sets = make_sets(inputs, args.sample)
    chosen = args.sets or list(sets)
    failed = False
    try:
        with VirtualDisplay(args.display) as display:
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
