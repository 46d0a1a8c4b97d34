#!/usr/bin/env python3
"""Figures of the running Linux player, on a virtual X display.

  frame timing   the player built with stamped steps (gifplay_timed_player)
                 plays 20 full 320x240 frames with delays of 2 and 10
                 hundredths; over 200 steps, the interval between steps less
                 the delay: median and 99th percentile
  CPU            the plain player showing 320x240 at 10 frames a second:
                 its user + system time over 10 s, as % of one core
  anim.gif       the benchmark GIF (testdata/bench/anim.gif, 100 frames of
                 320x240 at 25 frames/s), packed, next to gifview (gifsicle)
                 -a, in a table with the ratios:
                 - first frame: from exec until the animation is on the
                   screen, seen from outside: woken by the X server (DAMAGE)
                   when anything is drawn, and every 20 ms in case a drawing
                   goes unreported, the watcher reads a patch of the screen
                   with XGetImage, so that it competes little with the
                   program it times; any of its frames counts, since the
                   player's clock starts when the window is made, before it
                   is drawn (median of --runs)
                 - CPU while playing, program and X server, over 10 s, and
                   then the resident memory of the program and the growth of
                   the X server's (a fresh one for each program)
  scaled         CPU of the player and the X server playing anim.gif at
                 GDK_SCALE 1 and 2 (each pixel shown as 2 x 2), next to
                 gifview -a with GDK_SCALE=2, which ignores it
  delay 0        CPU of the player and the X server with 640x480 frames of
                 delay 0 (shown for 10 ms), next to the same with delays of 1,
                 on Linux and, given --wine-player (the Windows player,
                 gifplay.exe), under Wine

Usage: player_bench.py --build-dir BUILD [--testdata DIR] [--display :N] [--runs N]
                       [--player P] [--anim-only | --delays-only | --timing-only]
                       [--wine-player EXE [--wine-prefix DIR]]
The build directory must hold app/gifplay, tools/gifpack/gifpack and the
targets of bench/player (gifplay_timed_player, gifplay_bench_gifs).
"""

import argparse
import ctypes
import os
import select
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

GOALS = "goals: timing median < 1 ms and p99 < 3 ms; CPU < 2% of one core"


# ---- the display ---------------------------------------------------------


class Display:
    def __init__(self, name):
        self.name, self.process = name, None

    def __enter__(self):
        numbers = [int(self.name[1:])] if self.name else range(200, 300)
        for number in numbers:
            if os.path.exists("/tmp/.X%d-lock" % number):
                if self.name:
                    raise SystemExit("display :%d is in use" % number)
                continue
            process = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24",
                                        "-br", "-nolisten", "tcp", "-noreset"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(200):
                if os.path.exists("/tmp/.X11-unix/X%d" % number) or process.poll() is not None:
                    break
                time.sleep(0.05)
            if process.poll() is None:
                self.process, self.name = process, ":%d" % number
                time.sleep(0.3)
                self.xlib = Xlib(self.name)
                return self
        raise SystemExit("no display for Xvfb")

    def __exit__(self, *exc):
        self.xlib.close()
        self.process.send_signal(signal.SIGTERM)
        self.process.wait()

    def env(self):
        env = dict(os.environ, DISPLAY=self.name, GDK_BACKEND="x11", NO_AT_BRIDGE="1")
        return env


class Xlib:
    """Just enough of libX11 to read pixels of the screen quickly, and of
    libXdamage to sleep until something is drawn there."""

    class XImage(ctypes.Structure):
        _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                    ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                    ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                    ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                    ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                    ("bits_per_pixel", ctypes.c_int)]

    def __init__(self, name):
        x = ctypes.cdll.LoadLibrary("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(Xlib.XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        for call in (x.XFlush, x.XPending, x.XConnectionNumber):
            call.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        damage = ctypes.cdll.LoadLibrary("libXdamage.so.1")
        damage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                 ctypes.POINTER(ctypes.c_int)]
        damage.XDamageCreate.restype = ctypes.c_ulong
        damage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
        damage.XDamageSubtract.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                           ctypes.c_ulong]
        damage.XDamageDestroy.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x, self.xdamage = x, damage
        self.display = x.XOpenDisplay(name.encode())
        self.root = x.XDefaultRootWindow(self.display)
        self.fd = x.XConnectionNumber(self.display)
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not damage.XDamageQueryExtension(self.display, ctypes.byref(event_base),
                                            ctypes.byref(error_base)):
            raise SystemExit("the X server has no DAMAGE extension")
        self.damage_notify = event_base.value  # DamageNotify: the extension's first event
        self.damage = 0
        self.event = (ctypes.c_long * 24)()  # an XEvent

    def rgb(self, left, top, width, height):
        """The screen's pixels as RGB bytes, rows from the top."""
        image = self.x.XGetImage(self.display, self.root, left, top, width, height,
                                 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return b""
        im = image.contents
        raw = ctypes.string_at(im.data, im.bytes_per_line * height)
        if im.bytes_per_line != width * 4:
            raw = b"".join(raw[y * im.bytes_per_line:y * im.bytes_per_line + width * 4]
                           for y in range(height))
        out = bytearray(width * height * 3)
        out[0::3], out[1::3], out[2::3] = raw[2::4], raw[1::4], raw[0::4]
        self.x.XFree(ctypes.cast(im.data, ctypes.c_void_p))
        self.x.XFree(image)
        return bytes(out)

    def watch(self):
        """Starts reporting drawing anywhere on the screen: a Damage object on
        the root window (drawing in any window shows as damage of the root,
        as long as no compositor redirects the windows), reported once each
        time its damage goes from empty to not (level NonEmpty)."""
        self.damage = self.xdamage.XDamageCreate(self.display, self.root, 3)
        self.x.XFlush(self.display)

    def wait_for_drawing(self, timeout):
        """Sleeps until something is drawn on the screen or timeout seconds
        pass; True when something was drawn. The damage is cleared before the
        caller reads the screen, so what is drawn after that read wakes the
        next wait."""
        if not self.x.XPending(self.display):  # none read already with a reply
            select.select([self.fd], [], [], timeout)
        drawn = False
        while self.x.XPending(self.display):
            self.x.XNextEvent(self.display, self.event)
            drawn |= ctypes.cast(self.event, ctypes.POINTER(ctypes.c_int))[0] == self.damage_notify
        if drawn:
            self.xdamage.XDamageSubtract(self.display, self.damage, 0, 0)
        return drawn

    def unwatch(self):
        if self.damage:
            self.xdamage.XDamageDestroy(self.display, self.damage)
            self.damage = 0
            self.x.XSync(self.display, 1)  # and drops the events still queued

    def close(self):
        self.x.XCloseDisplay(self.display)


# ---- helpers -------------------------------------------------------------


def frames_of(gif):
    """Every frame of gif as shown (coalesced), as (width, height, rgb)."""
    data = subprocess.run(["convert", gif, "-coalesce", "-depth", "8", "ppm:-"], check=True,
                          capture_output=True).stdout
    frames = []
    while data:
        magic, size, maxval, rest = data.split(b"\n", 3)
        width, height = map(int, size.split())
        frames.append((width, height, rest[:width * height * 3]))
        data = rest[width * height * 3:]
    return frames


def find(screen, sw, sh, part, pw, ph):
    first = part[:pw * 3]
    for y in range(sh - ph + 1):
        line = screen[y * sw * 3:(y + 1) * sw * 3]
        at = line.find(first)
        while at >= 0:
            if at % 3 == 0:
                x = at // 3
                if x + pw <= sw and all(
                        screen[((y + r) * sw + x) * 3:((y + r) * sw + x + pw) * 3] ==
                        part[r * pw * 3:(r + 1) * pw * 3] for r in range(1, ph)):
                    return x, y
            at = line.find(first, at + 1)
    return None


def memory_of(pid):
    fields = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields.get("VmRSS", "?"), fields.get("VmHWM", "?")


def thread_seconds(pid):
    """The run time of each of the process's threads by name (summed over
    threads of the same name), in seconds (the scheduler's nanosecond count:
    clock ticks are too coarse for 1%), and its wake-ups: the times it gave
    up its core to wait (its voluntary context switches)."""
    times, wakeups = {}, {}
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, task)) as f:
                name = f.read().strip()
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                times[name] = times.get(name, 0) + int(f.read().split()[0]) / 1e9
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        wakeups[name] = wakeups.get(name, 0) + int(line.split()[1])
        except OSError:
            pass  # a thread that ended meanwhile
    return times, wakeups


def cpu_seconds(pid):
    """The run time of all the process's threads, in seconds."""
    return sum(thread_seconds(pid)[0].values())


def load():
    """The machine's load average over the last minute: what the figures beside
    it shared the cores with."""
    return "load %.2f" % os.getloadavg()[0]


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def pack(gifpack, player, gif, output, *options):
    subprocess.run([gifpack, "--player", player, *options, gif, "-o", output], check=True,
                   capture_output=True)
    return output


def stop(process):
    if process.poll() is None:
        process.kill()
    process.wait()


# ---- the measurements ----------------------------------------------------


def frame_timing(display, program, delay, steps=200):
    """Over steps steps, in ms: the interval between steps less the delay,
    and its two parts: the timer's lateness (from arming to the post, less
    the delay) and the message's way (from the post to the step)."""
    process = subprocess.Popen([program], env=display.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    events = []
    try:
        for line in process.stderr:
            what, _, at = line.partition(" ")
            if what in ("step", "arm", "post"):
                events.append((what, int(at)))
                if sum(1 for e in events if e[0] == "step") > steps + 5:
                    break
    finally:
        stop(process)
    # The first steps run during start-up; count from the fifth.
    step_times = [t for what, t in events if what == "step"][5:]
    interval = [(b - a) / 1e6 - delay * 10 for a, b in zip(step_times, step_times[1:])]
    timer, way = [], []
    for i in range(1, len(events) - 1):
        if events[i][0] == "post" and events[i - 1][0] == "arm" and events[i + 1][0] == "step":
            timer.append((events[i][1] - events[i - 1][1]) / 1e6 - delay * 10)
            way.append((events[i + 1][1] - events[i][1]) / 1e6)
    figures = lambda v: (statistics.median(v), percentile(v, 99), max(v))
    return len(interval), figures(interval), figures(timer[5:]), figures(way[5:])


def cpu_while_playing(display, program, seconds=10):
    process = subprocess.Popen([program], env=display.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)
        start_cpu, start = cpu_seconds(process.pid), time.monotonic()
        time.sleep(seconds)
        used = cpu_seconds(process.pid) - start_cpu
        return 100 * used / (time.monotonic() - start)
    finally:
        stop(process)


def place_of_frames(display, command, frames):
    """Where the program shows the animation on the screen, found by looking
    for any of its frames while it plays."""
    process = subprocess.Popen(command, env=display.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        for _ in range(50):
            time.sleep(0.2)
            screen = display.xlib.rgb(0, 0, 1024, 768)
            for width, height, rgb in frames:
                place = find(screen, 1024, 768, rgb, width, height)
                if place:
                    return place
    finally:
        stop(process)
    return None


def resident_kb(pid):
    return int(memory_of(pid)[0].split()[0])


class FirstFrame:
    """Time from exec until the animation is first on the screen (any frame:
    the clock may have moved on before the window is drawn), one program on
    its display, a run at a time; 1 s after the last run, the program's
    resident memory and the X server's growth since before the start (kB).

    The watcher sleeps on the X connection while nothing is drawn, so that it
    takes no processor time from the program it times: the X server wakes it
    (DAMAGE) when anything is drawn on the screen, and it then reads a 64 x 16
    patch in the middle of where the animation shows and looks it up among
    the frames'. The time is taken when the patch is seen. Should a drawing
    go unreported, it also looks every SAFETY_POLL seconds."""

    SAFETY_POLL = 0.02

    def __init__(self, display, command, frames):
        self.display, self.command = display, command
        self.times, self.seen, self.memory = [], [], None
        self.place = place_of_frames(display, command, frames)
        if not self.place:
            return
        width, height, _ = frames[0]
        pw, ph = 64, 16
        self.patch = (self.place[0] + width // 2 - pw // 2, self.place[1] + height // 2 - ph // 2,
                      pw, ph)
        px, py = width // 2 - pw // 2, height // 2 - ph // 2
        self.patches = {}
        for index, (_, _, rgb) in reversed(list(enumerate(frames))):
            patch = b"".join(rgb[((py + r) * width + px) * 3:((py + r) * width + px + pw) * 3]
                             for r in range(ph))
            self.patches[patch] = index

    def run(self, keep_memory):
        if not self.place:
            return
        display = self.display
        time.sleep(0.5)
        server_before = resident_kb(display.process.pid)
        display.xlib.watch()
        started = time.monotonic()
        process = subprocess.Popen(self.command, env=display.env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            while time.monotonic() - started < 20:
                index = self.patches.get(display.xlib.rgb(*self.patch))
                if index is not None:
                    self.times.append((time.monotonic() - started) * 1000)
                    self.seen.append(index)
                    break
                display.xlib.wait_for_drawing(self.SAFETY_POLL)
            display.xlib.unwatch()  # nothing more to look at
            if keep_memory:
                time.sleep(1)
                self.memory = (resident_kb(process.pid),
                               resident_kb(display.process.pid) - server_before)
        finally:
            display.xlib.unwatch()
            stop(process)

    def result(self):
        if not self.times:
            return None
        return (statistics.median(self.times), min(self.times), max(self.times), self.seen,
                self.memory)


def first_frames(programs, frames, runs):
    """The first frame of several programs, each on its display, their runs
    taken in turn so that the machine's other work falls on all alike."""
    measures = [FirstFrame(display, command, frames) for display, command in programs]
    for run in range(runs):
        for measure in measures:
            measure.run(run == runs - 1)
    return [measure.result() for measure in measures]


def cpu_and_memory(display, command, seconds=10, env=None):
    """While the program plays on a fresh X server: % of one core used by the
    program and by the server, then the program's resident memory and the
    server's growth since before the start (kB). The share of each of the
    program's threads is printed."""
    server_before = resident_kb(display.process.pid)
    process = subprocess.Popen(command, env=env or display.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)
        pids = (process.pid, display.process.pid)
        threads_before, runs_before = thread_seconds(process.pid)
        before, start = [cpu_seconds(p) for p in pids], time.monotonic()
        time.sleep(seconds)
        used = [cpu_seconds(p) - b for p, b in zip(pids, before)]
        elapsed = time.monotonic() - start
        threads, runs = thread_seconds(process.pid)
        t_of = lambda name: threads[name] - threads_before.get(name, 0)

        # What each thread's wake-ups cost: its share of a core, its wake-ups
        # a second, and its run time per wake-up.
        def thread_figures(name):
            t, n = t_of(name), runs[name] - runs_before.get(name, 0)
            return "%s %.2f %% (%.1f wake-ups/s, %.0f us each)" % (
                name, 100 * t / elapsed, n / elapsed, 1e6 * t / n if n else 0)
        print("  %s's threads, %% of one core: %s" % (
            os.path.basename(command[-1] if command[0] == "wine" else command[0]),
            ", ".join(thread_figures(name) for name in sorted(threads) if t_of(name) > 0)))
        return ([100 * u / elapsed for u in used],
                (resident_kb(process.pid), resident_kb(display.process.pid) - server_before))
    finally:
        stop(process)


def report_first_frames(programs, results):
    """Prints each program's first-frame times; its median by name, and the
    memory figures of those runs."""
    medians, memories = {}, {}
    for (name, _), result in zip(programs, results):
        if result is None:
            print("%s: its first frame never appeared" % name)
            continue
        median, fastest, slowest, seen, memory = result
        print("%s: first frame %.1f ms (%.1f to %.1f over %d runs; frames first seen %s)"
              % (name, median, fastest, slowest, len(seen), seen))
        medians[name], memories[name] = median, memory
    return medians, memories


def display_names(first, count):
    """count display names from first (":N"), or None for each: any free one."""
    if not first:
        return [None] * count
    return [":%d" % (int(first[1:]) + i) for i in range(count)]


def compare_on_anim(display_name, gifpack, player, floor, work, anim, runs):
    """Ours next to gifview on anim.gif, and for start-up next to the floor of
    GTK too (a window with a menu bar painting frame 0, nothing decoded), each
    on an X server of its own: one table, with ratios."""
    frames = frames_of(anim)
    packed = pack(gifpack, player, anim, os.path.join(work, "anim_player"))
    width, height, rgb = frames[0]
    pixels = os.path.join(work, "frame0.bgrx")
    bgrx = bytearray(width * height * 4)
    bgrx[0::4], bgrx[1::4], bgrx[2::4] = rgb[2::3], rgb[1::3], rgb[0::3]
    with open(pixels, "wb") as f:
        f.write(bgrx)
    programs = [("gifplay", [packed]), ("GTK floor", [floor, pixels, str(width), str(height)]),
                ("gifview", ["gifview", "-a", anim])]
    programs = [(name, command) for name, command in programs
                if shutil.which(command[0]) is not None or os.path.exists(command[0])]
    figures = {name: [None] * 5 for name, _ in programs}
    # CPU and memory while playing: one program at a time, on a fresh server.
    for (name, command), display_name_of in zip(programs, display_names(display_name, 3)):
        if name == "GTK floor":
            continue  # it shows one picture: nothing to play
        with Display(display_name_of) as display:
            (cpu, server_cpu), (rss, server) = cpu_and_memory(display, command)
        figures[name][1:] = [cpu, server_cpu, rss / 1024, server / 1024]
    # Start-up: the programs in turn, each on a fresh server of its own.
    displays = [Display(n) for n in display_names(display_name, len(programs))]
    try:
        for display in displays:
            display.__enter__()
        results = first_frames([(d, c) for d, (_, c) in zip(displays, programs)], frames, runs)
    finally:
        for display in displays:
            if display.process:
                display.__exit__()
    medians, memories = report_first_frames(programs, results)
    for name, median in medians.items():
        figures[name][0] = median
        memory = memories[name]
        if name == "GTK floor" and memory:
            figures[name][3:] = [memory[0] / 1024, memory[1] / 1024]
    if "gifplay" not in figures or "gifview" not in figures:
        return
    columns = [name for name, _ in programs]
    cell = lambda v: "%10.2f" % v if v is not None else "%10s" % "-"
    ratio = lambda a, b: "%.2f" % (a / b) if a is not None and b else "-"
    print("anim.gif, measured at %s:" % load())
    print("anim.gif (100 x 320x240, 25 frames/s)   %s %12s %14s"
          % (" ".join("%10s" % c for c in columns), "/gifview", "/GTK floor"))
    rows = (("exec -> first frame on screen, ms", (0,)), ("CPU while playing, program %", (1,)),
            ("CPU while playing, X server %", (2,)), ("resident memory, program MB", (3,)),
            ("resident memory, X server growth MB", (4,)),
            ("CPU, program + X server %", (1, 2)),
            ("memory, program + X server growth MB", (3, 4)))
    for label, picks in rows:
        values = {}
        for name in columns:
            parts = [figures[name][i] for i in picks]
            values[name] = None if None in parts else sum(parts)
        print("  %-38s %s %12s %14s" % (
            label, " ".join(cell(values[c]) for c in columns),
            ratio(values["gifplay"], values["gifview"]),
            ratio(values["gifplay"], values.get("GTK floor"))))


def compare_scales(display_name, gifpack, player, work, anim):
    """What a scaled desktop costs: anim.gif at GDK_SCALE 1 and 2."""
    packed = pack(gifpack, player, anim, os.path.join(work, "anim_player"))
    print("anim.gif, CPU %% of one core              %10s %10s %10s"
          % ("program", "X server", "both"))
    for name, command, scale in (("gifplay, GDK_SCALE=1", [packed], 1),
                                 ("gifplay, GDK_SCALE=2", [packed], 2),
                                 ("gifview -a, GDK_SCALE=2", ["gifview", "-a", anim], 2)):
        if shutil.which(command[0]) is None and not os.path.exists(command[0]):
            print("  %s: not installed" % name)
            continue
        with Display(display_name) as display:
            env = dict(display.env(), GDK_SCALE=str(scale))
            (cpu, server), _ = cpu_and_memory(display, command, env=env)
        print("  %-38s %10.2f %10.2f %10.2f" % (name, cpu, server, cpu + server))


def compare_delays(display, gifpack, player, work, wine_player, wine_prefix):
    """Frames of delay 0 are shown for 10 ms: the player must cost what it
    costs with delays of 1, on Linux and under Wine."""
    print("640x480, 20 frames, CPU %% of one core      %10s %10s" % ("program", "X server"))
    runs = [("gifplay, delays 0", player, 0, None), ("gifplay, delays 1", player, 1, None)]
    if wine_player:
        env = dict(display.env(), WINEPREFIX=os.path.abspath(wine_prefix), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run(["wineboot", "-i"], env=env, capture_output=True)
        runs += [("gifplay.exe under Wine, delays 0", wine_player, 0, env),
                 ("gifplay.exe under Wine, delays 1", wine_player, 1, env)]
    for name, program, delay, env in runs:
        packed = pack(gifpack, program, os.path.join(work, "large_delay_%d.gif" % delay),
                      os.path.join(work, "large_%d%s" % (delay, ".exe" if env else "")),
                      "--as-is")  # not the browsers' delays
        (cpu, server), _ = cpu_and_memory(display, (["wine"] if env else []) + [packed], env=env)
        print("  %-38s %10.2f %10.2f" % (name, cpu, server))
    if wine_player:
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--testdata", default=os.path.join(os.path.dirname(__file__), "..", "..", "testdata"))
    parser.add_argument("--display", help="an Xvfb display number to start, e.g. :92")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--player", help="the player to pack for anim.gif (default: the build's;"
                        " a stripped release build is what users get)")
    parser.add_argument("--anim-only", action="store_true", help="only the anim.gif table")
    parser.add_argument("--delays-only", action="store_true", help="only the delay 0 figures")
    parser.add_argument("--timing-only", action="store_true", help="only the frame timing")
    parser.add_argument("--wine-player", help="the Windows player, for the delay 0 figures")
    parser.add_argument("--wine-prefix", default="/tmp/gifplay-bench-wine",
                        help="the Wine prefix for them (made when missing)")
    args = parser.parse_args()
    build = os.path.abspath(args.build_dir)
    player = os.path.join(build, "app", "gifplay")
    timed = os.path.join(build, "bench", "player", "gifplay_timed_player")
    gifpack = os.path.join(build, "tools", "gifpack", "gifpack")
    anim = os.path.join(args.testdata, "bench", "anim.gif")
    work = tempfile.mkdtemp(prefix="gifplay-bench-")
    try:
        if not args.anim_only:
            subprocess.run([os.path.join(build, "bench", "player", "gifplay_bench_gifs"), work],
                           check=True)
        print("player benchmark (%s)" % GOALS)
        if not args.anim_only:
            with Display(args.display) as display:
                if not args.timing_only:
                    compare_delays(display, gifpack, args.player or player, work,
                                   args.wine_player, args.wine_prefix)
                for delay in () if args.delays_only else (2, 10):
                    program = pack(gifpack, timed, os.path.join(work, "delay_%d.gif" % delay),
                                   os.path.join(work, "timed_%d" % delay))
                    count, interval, timer, way = frame_timing(display, program, delay)
                    print("frame timing, delay %3d ms, %d steps (median / p99 / max, ms), %s:"
                          % (delay * 10, count, load()))
                    for name, (median, p99, worst) in (("interval - delay", interval),
                                                       ("  timer: post - arm - delay", timer),
                                                       ("  message: step - post", way)):
                        print("  %-30s %7.3f %7.3f %7.3f" % (name, median, p99, worst))
                if not args.delays_only and not args.timing_only:
                    program = pack(gifpack, player, os.path.join(work, "delay_10.gif"),
                                   os.path.join(work, "plain_10"))
                    print("CPU while playing 320x240 at 10 frames/s: %.2f%% of one core"
                          % cpu_while_playing(display, program))
        if not args.delays_only and not args.timing_only:
            compare_on_anim(args.display, gifpack, args.player or player,
                            os.path.join(build, "bench", "player", "gifplay_gtk_floor"), work,
                            anim, args.runs)
            compare_scales(args.display, gifpack, args.player or player, work, anim)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
