#!/usr/bin/env python3
"""The packed Linux player on a virtual X display, driven as a user would.

Each scenario starts its own Xvfb on a free display, packs a player, runs it,
and checks what appears on the screen and how the player ends:

  frames       one window "Corvane Animation Player"; its client area shows
               the composited frames pixel for pixel, in order; File > Exit
               ends the player with 0
  close        closing the window ends the player with 0
  scroll       a smaller window gets scroll bars, and scrolling moves the picture
  scroll-lines each arrow moves the picture by a line (10 pixels), a wheel
               notch over a bar by 3 lines, then a click in a trough by a page
               (100 pixels) from there
  larger-than-screen  a picture larger than the screen gets a window no larger
               than the screen (and its frame), with scroll bars
  zero-delays  frames of delay 0 play (the window changes and paints), and
               File > Exit ends the player with 0 within a second
  red-blue     a red frame of delay 0 and a blue one of 1 s alternate
  about        Help > About shows "About Vantrope"; Ok closes it
  no-records   a player without records ends at once with 0, without a window
  no-global-table  a player whose GIF has no global colour table does the same
  rewritten    an optimized GIF with transparency, which gifpack rewrites: the
               client area shows each step as ImageMagick's -coalesce does
               (and browsers do), in order
  older-system the player plays as in frames inside a Debian 11 root (glibc
               2.31, GTK 3.24), on that root's Xvfb; the root is made once
               with debootstrap (about 75 s) and kept in GIFPLAY_OLDER_ROOT
               (default /var/cache/gifplay-tests/bullseye)
  media        a clip made by ffmpeg, packed by gifpack: the client area shows
               the steps of gifpack --frames, in order
  scaled       with GDK_SCALE 1 and 2, and with text scaled (GDK_DPI_SCALE),
               the client area shows the frames of gifpack --frames enlarged
               by the scale (-scale), pixel for pixel, in order, and the
               window is as many times as wide as at scale 1
  uncovered    under twm, a one-frame animation shows gifpack's frame (no
               pixel differs) again once another window moved away, and once
               the About box closed
  display-lost the X server killed 10, 20, ... 150 ms after the start, in each
               of --runs runs (16; 80 for the full check), and once with the
               window shown: the player ends with 0 within 0.5 s, says
               nothing of Xlib, and leaves no song file; the X server
               stopped, before the window or after: SIGTERM, SIGINT and
               SIGHUP end it with 0 within a second, the song file removed

Usage: player_e2e.py SCENARIO --player P --make-gifs M [--gifpack G] [--keep DIR]
       player_e2e.py frames|close|scroll|about --gifpack G --make-gifs M
Without --player, gifpack packs the player it finds by itself (an installed
gifpack: the installed player).
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool; for
older-system, not root or no debootstrap).
"""

import argparse
import ctypes
import glob
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (ABOUT_TITLE, SKIPPED, TITLE, Failure, Player, Skip,  # noqa: E402
                         accepts_connections, check, check_quick_exit, close_window, end_process,
                         wait_for)


# ---- pictures ------------------------------------------------------------


class Picture:
    """RGB pixels, rows from the top, three bytes a pixel."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, bytes(rgb)

    @staticmethod
    def from_ppm(data):
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        check(fields[0] == b"P6" and fields[3] == b"255", "not a binary PPM")
        width, height = int(fields[1]), int(fields[2])
        pos += 1
        return Picture(width, height, data[pos:pos + width * height * 3])

    @staticmethod
    def load(path):
        with open(path, "rb") as f:
            return Picture.from_ppm(f.read())

    def row(self, y, x=0, width=None):
        width = self.width - x if width is None else width
        start = (y * self.width + x) * 3
        return self.rgb[start:start + width * 3]

    def crop(self, x, y, width, height):
        return Picture(width, height, b"".join(self.row(y + r, x, width) for r in range(height)))

    def find(self, part, region=None):
        """Where part lies in this picture, exactly, as (x, y); None if nowhere."""
        x0, y0, x1, y1 = region or (0, 0, self.width, self.height)
        x1, y1 = min(x1, self.width), min(y1, self.height)
        first = part.row(0)
        for y in range(y0, y1 - part.height + 1):
            line = self.row(y, x0, x1 - x0)
            at = line.find(first)
            while at >= 0:
                if at % 3 == 0:
                    x = x0 + at // 3
                    if x + part.width <= x1 and all(
                            self.row(y + r, x, part.width) == part.row(r)
                            for r in range(1, part.height)):
                        return x, y
                at = line.find(first, at + 1)
        return None

    def save(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height) + self.rgb)


# ---- animations made with ImageMagick --------------------------------------

# ImageMagick by the name Debian gives it: no wrapper named convert in between.
IMAGEMAGICK = shutil.which("convert-im6.q16") or "convert"


def make_optimized_ball(work, width, height, first_delay=80):
    """A ball moving over white in 3 steps of 0.8 s (the first of first_delay
    hundredths), optimized by ImageMagick
    into frames that keep unchanged pixels transparent; and each step as
    ImageMagick's -coalesce shows it, as PPM pictures."""
    gif = os.path.join(work, "ball.gif")
    y, r = height // 2, height // 5
    command = [IMAGEMAGICK, "-size", "%dx%d" % (width, height), "xc:white"]
    for x, colour in ((width // 5, "red"), (width // 2, "red"), (4 * width // 5, "blue")):
        command += ["(", "-clone", "0", "-fill", colour, "-draw",
                    "circle %d,%d %d,%d" % (x, y, x, y + r), ")"]
    command += ["-delete", "0", "-set", "delay", "%%[fx:t==0?%d:80]" % first_delay,
                "-layers", "OptimizeTransparency",
                "-loop", "0", gif]
    subprocess.run(command, check=True)
    subprocess.run([IMAGEMAGICK, gif, "-coalesce", "-background", "white", "-alpha", "remove",
                    "-alpha", "off", "-depth", "8", "+adjoin",
                    os.path.join(work, "ball_%d.ppm")], check=True)
    return gif, [Picture.load(os.path.join(work, "ball_%d.ppm" % i)) for i in range(3)]


# ---- the X display -------------------------------------------------------


class VirtualDisplay:
    """An Xvfb of our own on the first free display number from
    GIFPLAY_E2E_DISPLAY (200) on, started through server_prefix (a command
    that runs it in another root)."""

    def __init__(self, server_prefix=()):
        self.process = None
        self.name = None
        self.server_prefix = list(server_prefix)

    def __enter__(self):
        first = int(os.environ.get("GIFPLAY_E2E_DISPLAY", "200"))
        for number in range(first, first + 100):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists(
                    "/tmp/.X11-unix/X%d" % number):
                continue
            process = subprocess.Popen(
                self.server_prefix + ["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            socket = "/tmp/.X11-unix/X%d" % number
            if wait_for(lambda: accepts_connections(socket) or process.poll() is not None, 10) \
                    and process.poll() is None:
                self.process, self.name = process, ":%d" % number
                return self
            if process.poll() is None:
                process.kill()
                process.wait()
        raise Failure("no free display for Xvfb")

    def __exit__(self, *exc):
        if self.process is not None:
            self.process.send_signal(signal.SIGCONT)  # if stopped
            end_process(self.process)
            for leftover in ("/tmp/.X%s-lock" % self.name[1:], "/tmp/.X11-unix/X" + self.name[1:]):
                if os.path.exists(leftover):  # a killed server's
                    os.unlink(leftover)

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env["GDK_BACKEND"] = "x11"
        env["NO_AT_BRIDGE"] = "1"
        return env

    def run(self, *args):
        return subprocess.run(list(args), env=self.env(), capture_output=True, text=True)

    def xdotool(self, *args):
        return self.run("xdotool", *args).stdout.split()

    def windows(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title)

    def geometry(self, window):
        """Position and size of a window on the screen: x, y, width, height."""
        values = dict(line.split("=", 1) for line in
                      self.run("xdotool", "getwindowgeometry", "--shell", window).stdout.split())
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def screenshot(self):
        shot = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env(),
                              capture_output=True, check=True)
        return Picture.from_ppm(shot.stdout)

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "60", *keys)
        time.sleep(0.3)

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", window)
        time.sleep(0.2)

    def click(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")
        time.sleep(0.3)

    def close(self, window):
        """What a window manager does for the close box: WM_DELETE_WINDOW."""
        close_window(self.name, window)


class PixelWatch:
    """Single pixels of the screen, read quickly (XGetImage), for frames
    too short for screenshots."""

    class XImage(ctypes.Structure):
        _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int),
                    ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                    ("data", ctypes.POINTER(ctypes.c_ubyte))]

    def __init__(self, display_name):
        x = ctypes.cdll.LoadLibrary("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(PixelWatch.XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x = x
        self.display = x.XOpenDisplay(display_name.encode())
        check(self.display, "cannot open the display " + display_name)
        self.root = x.XDefaultRootWindow(self.display)

    def rgb(self, x, y):
        image = self.x.XGetImage(self.display, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        check(image, "cannot read the screen at %d, %d" % (x, y))
        b, g, r = image.contents.data[0], image.contents.data[1], image.contents.data[2]
        self.x.XFree(ctypes.cast(image.contents.data, ctypes.c_void_p))
        self.x.XFree(image)
        return r, g, b

    def colours(self, x, y, seconds):
        """The colours the pixel shows for seconds, in order, repeats folded."""
        seen = []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            colour = self.rgb(x, y)
            if not seen or seen[-1] != colour:
                seen.append(colour)
        return seen

    def close(self):
        self.x.XCloseDisplay(self.display)


def read_colours(path):
    """The frame colours make_player_gifs lists, as (r, g, b) tuples."""
    with open(path) as f:
        return [tuple(int(v) for v in line.split()) for line in f if line.strip()]


def frames_only(seen, colours):
    """seen from the first frame colour on (a new window may show its
    background for a moment); any other colour after that fails the test."""
    first = next((i for i, c in enumerate(seen) if c in colours), len(seen))
    check(first < len(seen), "none of the frames' colours seen: %s" % seen[:12])
    check(all(c in colours for c in seen[first:]),
          "colours other than the frames' seen: %s" % seen[first:first + 12])
    return seen[first:]


def check_alternating(seen, colours, who):
    """seen shows only the frame colours, and comes back to the first one after
    the second: the frames alternate instead of stopping at one of them."""
    first, second = colours[0], colours[1]
    check(first in seen and second in seen[seen.index(first):] and
          first in seen[seen.index(second, seen.index(first)):],
          "%s: the frames do not alternate; seen %s" % (who, seen[:12]))


# ---- packing and running -------------------------------------------------


def append_record(path, tag, payload):
    """A record as the player finds it: "*", the tag, ":", a 32-bit length."""
    with open(path, "ab") as f:
        f.write(b"*" + tag + b":" + struct.pack("<I", len(payload)) + payload)


def pack(args, gif, output, by_hand=False, said=""):
    if args.gifpack and not by_hand:
        player = ["--player", args.player] if args.player else []
        result = subprocess.run([args.gifpack] + player + [gif, "-o", output],
                                capture_output=True, text=True)
        check(result.returncode == 0, "gifpack failed: " + result.stderr.strip())
        check(said in result.stderr, "gifpack did not say %r: %s" % (said, result.stderr))
    else:
        shutil.copyfile(args.player, output)
        shutil.copymode(args.player, output)
        with open(gif, "rb") as f:
            append_record(output, b"GIF" + b"_BEGINS_HERE", f.read())
    return output


def pack_with_song(args, work):
    """Frames of delay 0, always drawing, and the shortest song."""
    output = pack(args, os.path.join(work, "zero_delays.gif"), os.path.join(work, "player"),
                  by_hand=True)
    append_record(output, b"MIDI" + b"_BEGINS_HERE", b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96)
                  + b"MTrk" + struct.pack(">I", 4) + b"\x00\xff\x2f\x00")
    return output


def start_player(display, program, workdir):
    return Player(program, display.env(), workdir, display=display)


def locate_picture(display, window, expected, timeout=5):
    """Where the window shows expected on the screen: x, y."""
    def look():
        x, y, w, h = display.geometry(window)
        return display.screenshot().find(expected, (x, y, x + w, y + h))
    found = wait_for(look, timeout, 0.2)
    check(found, "the window does not show the expected picture")
    return found


def choose_menu_item(display, window, popup_index):
    """The first item of a menu of the bar, chosen with the keyboard: F10
    opens the first menu, Right moves to the next ones, Down selects the
    first item and Return chooses it."""
    display.focus(window)
    display.key("F10", *(["Right"] * popup_index))
    display.key("Down", "Return")


# ---- scenarios -----------------------------------------------------------


def plays_in_order(display, player, work, shown):
    """The window shows the steps, pixel for pixel, in order, over and over;
    File > Exit then ends the player with 0."""
    try:
        window = player.window()
        x, y = locate_picture(display, window, shown[0])
        seen = []
        end = time.monotonic() + 4.5
        while time.monotonic() < end:
            crop = display.screenshot().crop(x, y, shown[0].width, shown[0].height)
            states = [i for i, s in enumerate(shown) if s.rgb == crop.rgb]
            if not states:
                crop.save(os.path.join(work, "unexpected.ppm"))
            check(states, "the client area shows none of the composited frames "
                  "(saved as unexpected.ppm)")
            if not seen or seen[-1] != states[0]:
                seen.append(states[0])
            time.sleep(0.1)
        check(len(seen) >= 4, "frames seen: %s; expected at least 4 changes" % seen)
        for a, b in zip(seen, seen[1:]):
            check(b == (a + 1) % len(shown), "frames seen in the order %s" % seen)
        check(len(display.windows(TITLE)) == 1, "more than one window")
        choose_menu_item(display, window, 0)
        code = player.wait(5)
        check(code is not None, "File > Exit did not end the player")
        check(code == 0, "exit code %s after File > Exit" % code)
    finally:
        player.stop()


def scenario_frames(args, display, work):
    shown = [Picture.load(os.path.join(work, "shown_%d.ppm" % i)) for i in range(3)]
    player = start_player(display, pack(args, os.path.join(work, "three_frames.gif"),
                                        os.path.join(work, "player")), work)
    plays_in_order(display, player, work, shown)


def scenario_rewritten(args, display, work):
    check(args.gifpack, "needs --gifpack")
    gif, shown = make_optimized_ball(work, 96, 64)
    said = "rewritten so that the player shows it as browsers do: transparency"
    player = start_player(display, pack(args, gif, os.path.join(work, "player"), said=said), work)
    plays_in_order(display, player, work, shown)


def make_clip(gifpack, work):
    """A clip of 160 x 120 made by ffmpeg (testsrc, three pictures of half a
    second), and each step gifpack packs of it (--frames; of a step shown in
    pieces, the last, which --info lists with a delay over 10 ms)."""
    if not shutil.which("ffmpeg"):
        raise Skip("no ffmpeg")
    clip, frames = os.path.join(work, "clip.mp4"), os.path.join(work, "clip_frames")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=2",
                    "-t", "1.5", "-pix_fmt", "yuv420p", clip], check=True)
    subprocess.run([gifpack, "--frames", frames, clip], check=True, capture_output=True)
    info = subprocess.run([gifpack, "--info", clip], check=True, capture_output=True, text=True)
    delays = [int(line.split()[5]) for line in info.stdout.splitlines() if line[:5].strip().isdigit()]
    shown = []
    for name, delay in zip(sorted(os.listdir(frames)), delays):
        if delay == 10:
            continue
        ppm = os.path.join(work, name + ".ppm")
        subprocess.run([IMAGEMAGICK, os.path.join(frames, name), "-depth", "8", ppm], check=True)
        shown.append(Picture.load(ppm))
    return clip, shown


def scenario_media(args, display, work):
    check(args.gifpack, "needs --gifpack")
    clip, shown = make_clip(args.gifpack, work)
    program = pack(args, clip, os.path.join(work, "player"), said="made into a GIF: 3 pictures")
    plays_in_order(display, start_player(display, program, work), work, shown)


def scenario_scaled(args, display, work):
    check(args.gifpack, "needs --gifpack")
    gif, frames = os.path.join(work, "three_frames.gif"), os.path.join(work, "frames")
    subprocess.run([args.gifpack, "--frames", frames, gif], check=True, capture_output=True)
    program = pack(args, gif, os.path.join(work, "player"))
    widths = []
    for scale, text_scale in ((1, "1"), (2, "1"), (2, "1.5")):
        shown = []
        for name in sorted(os.listdir(frames)):
            ppm = os.path.join(work, "x%d_%s.ppm" % (scale, name))
            subprocess.run([IMAGEMAGICK, os.path.join(frames, name), "-alpha", "off", "-scale",
                            "%d%%" % (100 * scale), "-depth", "8", ppm], check=True)
            shown.append(Picture.load(ppm))
        env = dict(display.env(), GDK_SCALE=str(scale), GDK_DPI_SCALE=text_scale)
        player = Player(program, env, work, display=display)
        try:
            widths.append(display.geometry(player.window())[2])
            plays_in_order(display, player, work, shown)
        except Failure as failure:
            raise Failure("GDK_SCALE=%d GDK_DPI_SCALE=%s: %s" % (scale, text_scale, failure))
        finally:
            player.stop()
    check(widths[1] == 2 * widths[0],
          "the window is %d pixels wide at scale 2, %d at scale 1" % (widths[1], widths[0]))


def scenario_close(args, display, work):
    player = start_player(display, pack(args, os.path.join(work, "three_frames.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        locate_picture(display, window, Picture.load(os.path.join(work, "shown_0.ppm")))
        display.close(window)
        code = player.wait(5)
        check(code is not None, "closing the window did not end the player")
        check(code == 0, "exit code %s after closing the window" % code)
    finally:
        player.stop()


def shrink(display, window):
    """Makes the window 100 x 80 pixels smaller; its new geometry."""
    wx, wy, ww, wh = display.geometry(window)
    display.run("xdotool", "windowsize", window, str(ww - 100), str(wh - 80))
    check(wait_for(lambda: display.geometry(window)[2] == ww - 100, 5),
          "the window did not become smaller")
    time.sleep(0.5)
    return display.geometry(window)


def scenario_scroll(args, display, work):
    picture = Picture.load(os.path.join(work, "large.ppm"))
    player = start_player(display, pack(args, os.path.join(work, "large.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        x, y = locate_picture(display, window, picture)
        wx, wy, ww, wh = shrink(display, window)
        shot = display.screenshot()
        shot.crop(wx, wy, ww, wh).save(os.path.join(work, "smaller.ppm"))
        client_w, client_h = wx + ww - x, wy + wh - y
        check(shot.crop(x, y, 60, 40).rgb == picture.crop(0, 0, 60, 40).rgb,
              "the smaller window does not show the picture's top left corner")
        # The bars take the right and bottom edges: what is there is not picture.
        right = shot.crop(wx + ww - 8, y + 40, 1, 20)
        bottom = shot.crop(x + 40, wy + wh - 8, 20, 1)
        check(right.rgb != picture.crop(client_w - 8, 40, 1, 20).rgb,
              "no vertical scroll bar at the right edge")
        check(bottom.rgb != picture.crop(40, client_h - 8, 20, 1).rgb,
              "no horizontal scroll bar at the bottom edge")
        # A click three quarters along each bar, beyond its thumb: the trough
        # pages there (or the thumb jumps there, as some themes do).
        bar = 16
        display.click(wx + ww - bar // 2, y + (wy + wh - bar - y) * 3 // 4)
        display.click(x + (wx + ww - bar - x) * 3 // 4, wy + wh - bar // 2)
        time.sleep(0.5)
        shot = display.screenshot()
        shot.crop(wx, wy, ww, wh).save(os.path.join(work, "scrolled.ppm"))
        offset = picture.find(shot.crop(x, y, 60, 40))
        check(offset is not None, "after scrolling the window shows no part of the picture")
        check(offset[0] > 0 and offset[1] > 0,
              "scrolling did not move the picture (it shows it from %s)" % (offset,))
        display.close(window)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scroll_to(display, picture, x, y, offset, what):
    """Checks that the client area at x, y shows picture from offset on."""
    def shows():
        return display.screenshot().crop(x, y, 60, 40).rgb == \
            picture.crop(offset[0], offset[1], 60, 40).rgb
    if not wait_for(shows, 3, 0.2):
        found = picture.find(display.screenshot().crop(x, y, 60, 40))
        raise Failure("after %s the window shows the picture from %s, not from %s"
                      % (what, found, offset))


def scenario_scroll_lines(args, display, work):
    picture = Picture.load(os.path.join(work, "large.ppm"))
    player = start_player(display, pack(args, os.path.join(work, "large.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        x, y = locate_picture(display, window, picture)
        wx, wy, ww, wh = shrink(display, window)
        bar, arrow = 16, 7  # a bar's thickness; the middle of its arrow buttons
        right, bottom = wx + ww - bar // 2, wy + wh - bar // 2
        steps = [
            ("the vertical bar's down arrow", (right, wy + wh - bar - arrow), 1, (0, 10)),
            ("the horizontal bar's right arrow", (wx + ww - bar - arrow, bottom), 1, (10, 10)),
            ("the vertical bar's up arrow", (right, y + arrow), 1, (10, 0)),
            ("a wheel notch down over the vertical bar", (right, y + 40), 5, (10, 30)),
            ("a wheel notch up over the horizontal bar", (x + 40, bottom), 4, (0, 30)),
            # After the wheel, a click in each trough pages from where the bar is.
            ("a click low in the vertical trough", (right, wy + wh - bar - 30), 1, (0, 96)),
            ("a click right in the horizontal trough", (wx + ww - bar - 30, bottom), 1, (100, 96)),
        ]
        for what, (px, py), button, offset in steps:
            display.run("xdotool", "mousemove", "--sync", str(px), str(py), "click", str(button))
            scroll_to(display, picture, x, y, offset, what)
        display.close(window)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scenario_larger_than_screen(args, display, work):
    corner = Picture.load(os.path.join(work, "larger_corner.ppm"))
    player = start_player(display, pack(args, os.path.join(work, "larger.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        # No window manager: the window shows no frame or caption.
        display.run("xdotool", "windowmove", "--sync", window, "0", "0")
        time.sleep(0.5)
        wx, wy, ww, wh = display.geometry(window)
        check(ww <= 1024 + 12 and wh <= 768 + 12,
              "the window is %dx%d on a 1024x768 screen" % (ww, wh))
        x, y = locate_picture(display, window, corner.crop(0, 0, 200, 150))
        check(wy + wh > 700, "the window is only %d high" % wh)
        # The vertical bar runs along the right edge: a wheel notch over it
        # scrolls the picture by 3 lines.
        display.run("xdotool", "mousemove", "--sync", str(min(wx + ww, 1024) - 4), str(y + 60),
                    "click", "5")
        scroll_to(display, corner, x, y, (0, 30), "a wheel notch over the vertical bar")
        choose_menu_item(display, window, 0)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scenario_zero_delays(args, display, work):
    colours = read_colours(os.path.join(work, "zero_delays.txt"))
    # As it is: gifpack would give the frames the browsers' delay.
    player = start_player(display, pack(args, os.path.join(work, "zero_delays.gif"),
                                        os.path.join(work, "player"), by_hand=True), work)
    watch = PixelWatch(display.name)
    try:
        window = player.window()
        x, y, w, h = display.geometry(window)
        seen = frames_only(watch.colours(x + w // 2, y + h - 60, 2), colours)
        check(len(seen) >= 6, "the frames did not change: seen %s" % seen[:12])
        display.focus(window)
        display.key("F10")
        display.run("xdotool", "key", "Down", "Return")
        check_quick_exit(player)
    finally:
        watch.close()
        player.stop()


def scenario_red_blue(args, display, work):
    colours = read_colours(os.path.join(work, "red_blue.txt"))
    player = start_player(display, pack(args, os.path.join(work, "red_blue.gif"),
                                        os.path.join(work, "player"), by_hand=True), work)
    watch = PixelWatch(display.name)
    try:
        window = player.window()
        x, y, w, h = display.geometry(window)
        check_alternating(frames_only(watch.colours(x + w // 2, y + h - 24, 3.5), colours),
                          colours, "Linux player")
        display.close(window)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        watch.close()
        player.stop()


def scenario_about(args, display, work):
    player = start_player(display, pack(args, os.path.join(work, "three_frames.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        locate_picture(display, window, Picture.load(os.path.join(work, "shown_0.ppm")))
        choose_menu_item(display, window, 1)
        found = wait_for(lambda: display.windows(ABOUT_TITLE), 5)
        check(found, "Help > About showed no window titled %r" % ABOUT_TITLE)
        dialog = found[0]
        time.sleep(0.5)
        dx, dy, dw, dh = display.geometry(dialog)
        display.screenshot().crop(dx, dy, dw, dh).save(os.path.join(work, "about.ppm"))
        check(dw > 230 and dh > 164, "the About box is only %dx%d" % (dw, dh))
        # Ok is the default button and has the focus: Return presses it.
        display.focus(dialog)
        display.key("Return")
        check(wait_for(lambda: not display.windows(ABOUT_TITLE), 5), "Ok did not close it")
        check(player.process.poll() is None, "the player ended with the About box")
        choose_menu_item(display, window, 0)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scenario_uncovered(args, display, work):
    check(args.gifpack, "needs --gifpack")
    with open(os.path.join(work, "twmrc"), "w") as rc:  # the X server's own font only
        rc.write("RandomPlacement\n" + "".join('%sFont "fixed"\n' % f for f in (
            "Title", "Resize", "Menu", "Icon", "IconManager")))
    twm = subprocess.Popen(["twm", "-f", rc.name], env=dict(display.env(), LC_ALL="C"),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(wait_for(lambda: "0 children" not in display.run("xwininfo", "-root", "-children")
                   .stdout, 5), "twm did not start")
    subprocess.run([args.gifpack, "--frames", work + "/frames", work + "/large.gif"], check=True,
                   stdout=subprocess.DEVNULL)
    player = start_player(display, pack(args, os.path.join(work, "large.gif"),
                                        os.path.join(work, "player")), work)
    cover = subprocess.Popen(["xmessage", "cover"], env=display.env(), stderr=subprocess.DEVNULL)
    try:
        window = player.window()
        x, y = locate_picture(display, window, Picture.load(os.path.join(work, "large.ppm")))

        def differing():  # ImageMagick's count of pixels unlike the frame's
            display.screenshot().crop(x, y, 240, 180).save(work + "/client.ppm")
            return int(display.run("compare", "-metric", "AE", work + "/frames/frame-000.png",
                                   work + "/client.ppm", "null:").stderr.split()[0])

        for what in ("another window", "the About box"):
            if what == "the About box":
                choose_menu_item(display, window, 1)
            covering = wait_for(lambda: display.windows("xmessage" if what == "another window"
                                                        else ABOUT_TITLE), 5)
            check(covering, "%s did not show" % what)
            display.run("xdotool", "windowmove", "--sync", covering[0], str(x + 20), str(y + 20),
                        "windowraise", covering[0])
            check(wait_for(differing, 2), "%s does not cover the frame" % what)
            if what == "another window":
                display.run("xdotool", "windowmove", "--sync", covering[0], "600", "500")
            else:
                display.focus(covering[0])
                display.key("Return")
            check(wait_for(lambda: differing() == 0, 1),
                  "what %s uncovered is not the frame" % what)
        choose_menu_item(display, window, 0)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        for process in (cover, twm):
            end_process(process)
        player.stop()


def scenario_display_lost(args, display, work):
    program = pack_with_song(args, work)
    runs = [(0.01 * (1 + run % 15), None) for run in range(args.runs)]
    runs += [("after", None)] + [(when, sign) for when in ("before", "after")
                                 for sign in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)]
    bad, slowest = [], 0
    for number, (when, sign) in enumerate(runs):
        temp = os.path.join(work, "run-%d" % number)
        os.makedirs(temp)
        songs = lambda: [name for name in os.listdir(temp) if name.endswith(".mid")]  # noqa: E731
        with VirtualDisplay() as lost:
            if when == "before":
                lost.process.send_signal(signal.SIGSTOP)
            player = start_player(lost, program, temp)
            if when == "after":
                player.window()
            elif when != "before":
                time.sleep(when)
            if sign is None:
                lost.process.kill()
            else:
                lost.process.send_signal(signal.SIGSTOP)
                check(wait_for(songs, 5), "no song file")
                player.process.send_signal(sign)
            started = time.monotonic()
            code = player.wait(5)
            took = time.monotonic() - started
            slowest = max(slowest, took) if sign is None else slowest
            stderr, left = player.stop(), songs()
            if code != 0 or took > (0.5 if sign is None else 1) or left or "Xlib" in stderr:
                bad.append("%s %s: exit code %s after %.2f s, %s left, stderr %r"
                           % (when, sign, code, took, left, stderr[-200:]))
    print("%d runs, %d bad; the slowest ended %.2f s after its X server was killed"
          % (len(runs), len(bad), slowest))
    check(not bad, "; ".join(bad))


def ends_at_once_without_window(display, program, work):
    player = start_player(display, program, work)
    try:
        started = time.monotonic()
        windows = []
        while player.process.poll() is None and time.monotonic() - started < 5:
            windows += display.windows(TITLE)
            time.sleep(0.05)
        code = player.wait(0.1)
        check(code is not None, "the player did not end")
        check(code == 0, "exit code %s" % code)
        check(not windows, "a window appeared")
        check(not os.path.exists(os.path.join(work, "gifplay.mid")), "a song file was left behind")
    finally:
        player.stop()


def scenario_no_records(args, display, work):
    program = os.path.join(work, "player")
    shutil.copyfile(args.player, program)
    shutil.copymode(args.player, program)
    ends_at_once_without_window(display, program, work)


def scenario_no_global_table(args, display, work):
    program = pack(args, os.path.join(work, "no_global_table.gif"), os.path.join(work, "player"),
                   by_hand=True)
    ends_at_once_without_window(display, program, work)


# ---- an older system -----------------------------------------------------

OLDER_ROOT = os.environ.get("GIFPLAY_OLDER_ROOT", "/var/cache/gifplay-tests/bullseye")


def debian_archive():
    """The Debian archive this machine's apt takes its packages from."""
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")) + ["/etc/apt/sources.list"]:
        if not os.path.isfile(path):
            continue
        with open(path) as f:
            for line in f:
                words = line.split()
                if words[:1] == ["URIs:"] or words[:1] == ["deb"]:
                    uri = words[1] if words[0] == "URIs:" else words[-3]
                    if uri.rstrip("/").endswith("/debian"):
                        return uri
    raise Skip("apt names no Debian archive to make the Debian 11 root from")


def older_root():
    """A Debian 11 root with GTK 3, Xvfb and the X tools, made once."""
    if os.path.isdir(os.path.join(OLDER_ROOT, "usr", "bin")):
        return OLDER_ROOT
    if os.geteuid() != 0 or shutil.which("debootstrap") is None:
        raise Skip("making the Debian 11 root needs root and debootstrap")
    fresh = OLDER_ROOT + ".new"
    shutil.rmtree(fresh, ignore_errors=True)
    os.makedirs(os.path.dirname(fresh), exist_ok=True)
    subprocess.run(["debootstrap", "--variant=minbase", "--include=libgtk-3-0,xvfb,x11-apps",
                    "bullseye", fresh, debian_archive()], check=True, stdout=subprocess.DEVNULL)
    os.rename(fresh, OLDER_ROOT)
    return OLDER_ROOT


def in_root(root):
    """The command prefix that runs a program inside root, in a mount
    namespace of its own that sees this machine's X sockets and a /proc."""
    os.makedirs(os.path.join(root, "tmp", ".X11-unix"), exist_ok=True)
    script = ('mount --bind /tmp/.X11-unix "$0/tmp/.X11-unix" && mount -t proc proc "$0/proc" '
              '&& exec chroot "$0" "$@"')
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, root]


def scenario_older_system(args, display, work):
    check(args.gifpack, "needs --gifpack")
    shown = [Picture.load(os.path.join(work, "shown_%d.ppm" % i)) for i in range(3)]
    root = older_root()
    inside = tempfile.mkdtemp(prefix="gifplay-e2e-", dir=os.path.join(root, "tmp"))
    try:
        pack(args, os.path.join(work, "three_frames.gif"), os.path.join(inside, "player"))
        program = "/tmp/%s/player" % os.path.basename(inside)
        player = Player(program, display.env(), os.path.dirname(program), wrapper=in_root(root),
                        display=display)
        plays_in_order(display, player, work, shown)
        check(os.listdir(inside) == ["player"], "the player left %s" % os.listdir(inside))
    finally:
        shutil.rmtree(inside, ignore_errors=True)


SCENARIOS = {
    "frames": scenario_frames,
    "close": scenario_close,
    "scroll": scenario_scroll,
    "scroll-lines": scenario_scroll_lines,
    "larger-than-screen": scenario_larger_than_screen,
    "zero-delays": scenario_zero_delays,
    "red-blue": scenario_red_blue,
    "about": scenario_about,
    "no-records": scenario_no_records,
    "no-global-table": scenario_no_global_table,
    "rewritten": scenario_rewritten,
    "media": scenario_media,
    "older-system": scenario_older_system,
    "scaled": scenario_scaled,
    "uncovered": scenario_uncovered,
    "display-lost": scenario_display_lost,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--player")
    parser.add_argument("--make-gifs", required=True)
    parser.add_argument("--gifpack")
    parser.add_argument("--keep", help="keep the work files in this directory")
    parser.add_argument("--runs", type=int, default=16, help="display-lost's killed servers")
    args = parser.parse_args()
    if not args.player and (not args.gifpack or args.scenario.startswith("no-")):
        parser.error("%s needs --player" % args.scenario)
    for tool in ("Xvfb", "xdotool", "import") + ("twm", "xmessage") * (args.scenario == "uncovered"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed (scripts/setup.sh installs it)" % tool)
            return SKIPPED
    work = args.keep or tempfile.mkdtemp(prefix="gifplay-e2e-")
    os.makedirs(work, exist_ok=True)
    try:
        subprocess.run([args.make_gifs, work], check=True)
        server = in_root(older_root()) if args.scenario == "older-system" else ()
        with VirtualDisplay(server) as display:
            SCENARIOS[args.scenario](args, display, work)
        print("PASS: %s" % args.scenario)
        return 0
    except Skip as reason:
        print("SKIP: %s: %s" % (args.scenario, reason))
        return SKIPPED
    except (Failure, OSError, subprocess.CalledProcessError) as failure:
        print("FAIL: %s: %s (files in %s)" % (args.scenario, failure, work))
        args.keep = work
        return 1
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
