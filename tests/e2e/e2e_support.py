"""The end-to-end harness that every script of ours shares: the outcomes of a
test and waiting; the virtual X display (Xvfb) and what is done on it
(xdotool, screenshots, single pixels, windows by process, the close box); the
player's process, on Linux or under Wine; the records appended to a player
and gifpack's packing; the GIFs, songs and pictures the tests make and
compare; a private sound server.

Every Xvfb of ours takes the first free display number of
GIFPLAY_E2E_DISPLAYS ("FIRST-LAST", or one number; default 200-299)."""

import ctypes
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time

SKIPPED = 77  # CTest's SKIP_RETURN_CODE for our end-to-end tests
TITLE = "Corvane Animation Player"
ABOUT_TITLE = "About Vantrope"
SONG_FILE = "gifplay.mid"


# ---- outcomes and waiting --------------------------------------------------


class Failure(Exception):
    pass


class Skip(Exception):
    """Something the test needs is missing from this machine."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, interval=0.05):
    """The first true value of predicate() within timeout seconds, or None."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value or None
        time.sleep(interval)


def end_process(process, grace=5):
    """Asks a helper process of ours to end, and kills it if it will not."""
    if process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def missing_tools(*tools):
    """The first of the programs that is not installed, or None."""
    return next((tool for tool in tools if shutil.which(tool) is None), None)


def run_scenario(name, body, prefix="gifplay-e2e-", keep=None):
    """Runs body(work) in a fresh directory (or keep), prints the outcome and
    gives the exit status: 0 passed, 1 failed, SKIPPED. The directory goes
    afterwards unless kept or the test failed."""
    work = keep or tempfile.mkdtemp(prefix=prefix)
    os.makedirs(work, exist_ok=True)
    failed = False
    try:
        body(work)
        print("PASS: %s" % name)
        return 0
    except Skip as reason:
        print("SKIP: %s: %s" % (name, reason))
        return SKIPPED
    except (Failure, OSError, subprocess.CalledProcessError) as failure:
        print("FAIL: %s: %s (files in %s)" % (name, failure, work))
        failed = True
        return 1
    finally:
        if not keep and not failed:
            shutil.rmtree(work, ignore_errors=True)


# ---- Xlib ------------------------------------------------------------------


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int),
                ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                ("data", ctypes.POINTER(ctypes.c_ubyte))]


class _WindowAttributes(ctypes.Structure):
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


def _load_xlib():
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    p, ul, i = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
    x.XOpenDisplay.restype = p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ul
    x.XDefaultRootWindow.argtypes = [p]
    x.XInternAtom.restype = ul
    x.XInternAtom.argtypes = [p, ctypes.c_char_p, i]
    x.XQueryTree.argtypes = [p, ul, ctypes.POINTER(ul), ctypes.POINTER(ul),
                             ctypes.POINTER(ctypes.POINTER(ul)), ctypes.POINTER(ctypes.c_uint)]
    x.XGetWindowProperty.argtypes = [p, ul, ul, ctypes.c_long, ctypes.c_long, i, ul,
                                     ctypes.POINTER(ul), ctypes.POINTER(i), ctypes.POINTER(ul),
                                     ctypes.POINTER(ul), ctypes.POINTER(p)]
    x.XGetWindowAttributes.argtypes = [p, ul, p]
    x.XGetImage.restype = ctypes.POINTER(_XImage)
    x.XGetImage.argtypes = [p, ul, i, i, ctypes.c_uint, ctypes.c_uint, ul, i]
    x.XSendEvent.argtypes = [p, ul, i, ctypes.c_long, p]
    x.XSetErrorHandler.argtypes = [p]
    for name in ("XFree", "XFlush", "XCloseDisplay"):
        getattr(x, name).argtypes = [p]
    x.XSync.argtypes = [p, i]
    return x


class Xlib:
    """One connection to a display for what xdotool is too slow or too coarse
    for: single pixels, a process's window by _NET_WM_PID, and the close box
    (WM_DELETE_WINDOW, as a window manager sends it). Threads may share it."""

    def __init__(self, name):
        self.x = x = _load_xlib()
        self.lock = threading.Lock()
        self.display = x.XOpenDisplay(name.encode())
        check(self.display, "cannot open the display " + name)
        # Windows may vanish between a query and a look at them.
        self.handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
            lambda d, e: 0)
        x.XSetErrorHandler(ctypes.cast(self.handler, ctypes.c_void_p))
        self.root = x.XDefaultRootWindow(self.display)
        self.pid_atom = x.XInternAtom(self.display, b"_NET_WM_PID", 0)
        self.protocols = x.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        self.delete = x.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)

    def close_display(self):
        self.x.XCloseDisplay(self.display)

    def rgb(self, x, y):
        with self.lock:
            image = self.x.XGetImage(self.display, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)
            check(image, "cannot read the screen at %d, %d" % (x, y))
            b, g, r = image.contents.data[0], image.contents.data[1], image.contents.data[2]
            self.x.XFree(ctypes.cast(image.contents.data, ctypes.c_void_p))
            self.x.XFree(image)
            return r, g, b

    def close(self, window):
        event = _XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = int(window)
        event.client.message_type = self.protocols
        event.client.format = 32
        event.client.data[0] = self.delete
        with self.lock:
            self.x.XSendEvent(self.display, int(window), 0, 0, ctypes.byref(event))
            self.x.XFlush(self.display)

    def window_of(self, pid):
        """The process's viewable top-level window, or None."""
        with self.lock:
            root, parent = ctypes.c_ulong(), ctypes.c_ulong()
            children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
            self.x.XSync(self.display, 0)
            if not self.x.XQueryTree(self.display, self.root, ctypes.byref(root),
                                     ctypes.byref(parent), ctypes.byref(children),
                                     ctypes.byref(count)):
                return None
            found = next((children[i] for i in range(count.value)
                          if self._pid_of(children[i]) == pid and self._viewable(children[i])),
                         None)
            if children:
                self.x.XFree(children)
            return found

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

    def _viewable(self, window):
        attributes = _WindowAttributes()
        return bool(self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes))
                    and attributes.map_state == 2)  # IsViewable


# ---- the virtual display ---------------------------------------------------


def _accepts_connections(path):
    """True once an X server listens on the socket: the file alone may be a
    stale one, or appear a moment before the server listens."""
    client = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        client.connect(path)
        return True
    except OSError:
        return False
    finally:
        client.close()


def display_numbers():
    first, _, last = os.environ.get("GIFPLAY_E2E_DISPLAYS", "200-299").partition("-")
    return range(int(first), int(last or first) + 1)


class VirtualDisplay:
    """An Xvfb of our own on the first free display number, started through
    server_prefix (a command that runs it in another root); what a user does
    on it, and what it shows."""

    def __init__(self, size=(1024, 768), server_prefix=()):
        self.size, self.server_prefix = size, list(server_prefix)
        self.process = self.name = self._xlib = None

    def __enter__(self):
        if missing_tools("Xvfb"):
            raise Skip("Xvfb is not installed (scripts/setup.sh installs it)")
        for number in display_numbers():
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists(
                    "/tmp/.X11-unix/X%d" % number):
                continue
            process = subprocess.Popen(
                self.server_prefix + ["Xvfb", ":%d" % number, "-screen", "0",
                                      "%dx%dx24" % self.size, "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            path = "/tmp/.X11-unix/X%d" % number
            if wait_for(lambda: _accepts_connections(path) or process.poll() is not None, 10) \
                    and process.poll() is None:
                self.process, self.name = process, ":%d" % number
                return self
            if process.poll() is None:  # another test took the number meanwhile
                process.kill()
                process.wait()
        raise Failure("no free display for Xvfb among %s" % display_numbers())

    def __exit__(self, *exc):
        if self._xlib is not None and self.process.poll() is None:
            self._xlib.close_display()
        self.process.send_signal(signal.SIGCONT)  # if stopped
        end_process(self.process)
        for leftover in ("/tmp/.X%s-lock" % self.name[1:], "/tmp/.X11-unix/X" + self.name[1:]):
            if os.path.exists(leftover):  # a killed server's
                os.unlink(leftover)

    def env(self):
        return dict(os.environ, DISPLAY=self.name, GDK_BACKEND="x11", NO_AT_BRIDGE="1")

    @property
    def xlib(self):
        if self._xlib is None:
            self._xlib = Xlib(self.name)
        return self._xlib

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
        shot = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              env=self.env(), capture_output=True, check=True)
        return Picture.from_ppm(shot.stdout)

    def shows(self, window):
        """What the screen shows of the window."""
        return self.screenshot().crop(*self.geometry(window))

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", window)
        time.sleep(0.2)

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "60", *keys)
        time.sleep(0.3)

    def press(self, window, *keys):
        """Keys one after another to the window, with time for a menu to follow."""
        self.focus(window)
        for key in keys:
            self.key(key)

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button))
        time.sleep(0.3)

    def close(self, window):
        """What a window manager does for the close box: WM_DELETE_WINDOW."""
        self.xlib.close(window)

    def colours(self, x, y, seconds):
        """The colours a pixel shows for seconds, in order, repeats folded:
        frames too short for screenshots."""
        seen = []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            colour = self.xlib.rgb(x, y)
            if not seen or seen[-1] != colour:
                seen.append(colour)
        return seen


# ---- the player's process --------------------------------------------------


class Player:
    """A player started on the display, with its own TEMP when given (and a
    wrapper such as valgrind, or wine); its stderr is kept for the checks,
    or goes to log."""

    def __init__(self, display, program, temp=None, env=None, wrapper=(), log=None):
        env = dict(display.env() if env is None else env)
        if temp is not None:
            env["TEMP"] = temp
        self.display = display
        output = subprocess.PIPE if log is None else log
        self.process = subprocess.Popen([*wrapper, program], env=env, stdin=subprocess.DEVNULL,
                                        stdout=output, stderr=output, text=True)

    def window(self, timeout=10):
        """The player's one window on its display."""
        found = wait_for(lambda: self.display.windows(TITLE) or self.process.poll() is not None,
                         timeout)
        if self.process.poll() is not None:
            raise Failure("the player ended before showing a window, exit code %s, stderr %r"
                          % (self.process.returncode, self.stderr()))
        check(found, "no window titled %r appeared" % TITLE)
        check(len(found) == 1, "%d windows titled %r" % (len(found), TITLE))
        return found[0]

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stderr(self):
        return self.process.stderr.read() if self.process.stderr else ""

    def stop(self):
        """Kills the player if it still runs; what it wrote on stderr."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        return self.stderr()

    def holds_open(self, path):
        """Whether the player's process has path open."""
        fds = "/proc/%d/fd" % self.process.pid
        try:
            return any(os.path.realpath(os.path.join(fds, fd)) == os.path.realpath(path)
                       for fd in os.listdir(fds))
        except OSError:
            return False


def check_quick_exit(player, limit=1):
    """After File > Exit was chosen: the player ends with 0 within limit seconds."""
    started = time.monotonic()
    code = player.wait(5)
    took = time.monotonic() - started
    check(code == 0, "exit code %s after File > Exit" % code)
    check(took < limit, "File > Exit took %.2f s" % took)


def check_ends_without_window(player, left_behind, timeout=5):
    """The player ends by itself with 0 and shows no window; left_behind()
    then lists what it left that it should not have."""
    try:
        started, windows = time.monotonic(), []
        while player.process.poll() is None and time.monotonic() - started < timeout:
            windows += player.display.windows(TITLE)
            time.sleep(0.02)
        code = player.wait(0.1)
        check(code is not None, "the player did not end")
        check(code == 0, "exit code %s" % code)
        check(not windows, "a window appeared")
        check(not left_behind(), "the player left %s behind" % left_behind())
    finally:
        player.stop()


# ---- records and packing ---------------------------------------------------


def record(tag, payload, length=None):
    """A record as the player finds it: "*", the tag's marker, ":", a 32-bit
    length (payload's, unless given), the payload."""
    return (b"*" + tag + b"_BEGINS" + b"_HERE:" +
            struct.pack("<I", len(payload) if length is None else length) + payload)


def pack_by_hand(player, output, gif=None, song=None, records=b""):
    """A copy of player with the GIF's and the song's records (paths or
    bytes) and then records appended, as they are: no gifpack in between."""
    def data(source):
        if isinstance(source, bytes):
            return source
        with open(source, "rb") as f:
            return f.read()
    shutil.copyfile(player, output)
    shutil.copymode(player, output)
    with open(output, "ab") as f:
        for tag, source in ((b"GIF", gif), (b"MIDI", song)):
            if source is not None:
                f.write(record(tag, data(source)))
        f.write(records)
    return output


def pack(gifpack, gif, output, song=None, player=None, options=(), said=""):
    """gifpack's packing, which must succeed and say said."""
    command = [gifpack, *(["--player", player] if player else []), *options, gif,
               *([song] if song else []), "-o", output]
    result = subprocess.run(command, capture_output=True, text=True)
    check(result.returncode == 0, "gifpack failed: " + result.stderr.strip())
    check(said in result.stderr, "gifpack did not say %r: %s" % (said, result.stderr))
    return output


# ---- pictures --------------------------------------------------------------


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
        """A PPM file, or any picture ImageMagick reads."""
        if not path.endswith(".ppm"):
            return Picture.from_ppm(subprocess.run([IMAGEMAGICK, path, "-alpha", "off", "-depth",
                                                    "8", "ppm:-"], capture_output=True,
                                                   check=True).stdout)
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


def locate_picture(display, window, expected, timeout=5):
    """Where the window shows expected on the screen: x, y."""
    def look():
        x, y, w, h = display.geometry(window)
        return display.screenshot().find(expected, (x, y, x + w, y + h))
    found = wait_for(look, timeout, 0.2)
    check(found, "the window does not show the expected picture")
    return found


def watch_steps(display, origin, shown, seconds, work, saved=None):
    """The steps (indices into shown) that the client area at origin shows
    over a while, in the order they came, repeats folded; a capture that
    matches none fails the test (saved in work as unexpected.ppm)."""
    seen = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        crop = display.screenshot().crop(*origin, shown[0].width, shown[0].height)
        states = [i for i, s in enumerate(shown) if s.rgb == crop.rgb]
        if not states:
            crop.save(os.path.join(work, "unexpected.ppm"))
        check(states, "the client area shows none of the expected steps (unexpected.ppm)")
        if not seen or seen[-1] != states[0]:
            seen.append(states[0])
            if saved is not None:
                saved.setdefault(states[0], crop)
        time.sleep(0.05)
    return seen


def check_in_order(seen, count, who, changes=4, from_first=False):
    """seen cycles through count steps in order, with at least changes of them."""
    check(len(seen) >= changes, "%s: steps seen %s; expected at least %d changes"
          % (who, seen, changes))
    check(not from_first or seen[0] == 0, "%s: the first step shown was %d" % (who, seen[0]))
    for a, b in zip(seen, seen[1:]):
        check(b == (a + 1) % count, "%s: steps seen in the order %s" % (who, seen))


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


# ---- GIFs made with ImageMagick, and songs --------------------------------

# ImageMagick by the name Debian gives it: no wrapper named convert in between.
IMAGEMAGICK = shutil.which("convert-im6.q16") or "convert"


def coalesced(gif, work, name):
    """Each step of gif as ImageMagick's -coalesce shows it (and browsers do),
    transparency white."""
    pattern = os.path.join(work, name + "_%d.ppm")
    subprocess.run([IMAGEMAGICK, gif, "-coalesce", "-background", "white", "-alpha", "remove",
                    "-alpha", "off", "-depth", "8", "+adjoin", pattern], check=True)
    steps = []
    while os.path.exists(pattern % len(steps)):
        steps.append(Picture.load(pattern % len(steps)))
    return steps


def make_optimized_ball(work, width, height, first_delay=80):
    """A ball moving over white in 3 steps of 0.8 s (the first of first_delay
    hundredths), optimized by ImageMagick into frames that keep unchanged
    pixels transparent; and each step as browsers show it."""
    gif = os.path.join(work, "ball.gif")
    y, r = height // 2, height // 5
    command = [IMAGEMAGICK, "-size", "%dx%d" % (width, height), "xc:white"]
    for x, colour in ((width // 5, "red"), (width // 2, "red"), (4 * width // 5, "blue")):
        command += ["(", "-clone", "0", "-fill", colour, "-draw",
                    "circle %d,%d %d,%d" % (x, y, x, y + r), ")"]
    command += ["-delete", "0", "-set", "delay", "%%[fx:t==0?%d:80]" % first_delay,
                "-layers", "OptimizeTransparency", "-loop", "0", gif]
    subprocess.run(command, check=True)
    return gif, coalesced(gif, work, "ball")


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


def midi_song(key=60, seconds=0.6, notes=4):
    """A format 0 Standard MIDI File of notes one after the other from key
    on, without pause, lasting the given time (a quarter note lasts a
    second); without notes, only the end of its track."""
    division = 480
    events = b""
    if notes:
        step = int(seconds * division / notes)
        events = b"\x00\xff\x51\x03\x0f\x42\x40" + b"\x00\xc0\x00"
        for i in range(notes):
            events += (b"\x00" + bytes([0x90, key + i, 110]) + _varlen(step) +
                       bytes([0x80, key + i, 0]))
    events += b"\x00\xff\x2f\x00"
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, division) + b"MTrk" +
            struct.pack(">I", len(events)) + events)


def _varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


# ---- a private sound server ------------------------------------------------


class SoundServer:
    """A private PulseAudio server with a null sink, reached only by our players."""

    def __init__(self, work):
        self.runtime = os.path.join(work, "pulse-runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.socket = os.path.join(self.runtime, "pulse", "native")

    def __enter__(self):
        if missing_tools("pulseaudio", "pactl"):
            raise Skip("no PulseAudio")
        self.daemon = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disallow-exit", "-L", "module-null-sink", "-L", "module-native-protocol-unix"],
            env=self.env(dict(os.environ)), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(wait_for(lambda: self.pactl("info") is not None, 10), "PulseAudio did not start")
        return self

    def __exit__(self, *exc):
        end_process(self.daemon)

    def env(self, env):
        env.update(XDG_RUNTIME_DIR=self.runtime, HOME=self.runtime,
                   PULSE_SERVER="unix:" + self.socket)
        return env

    def pactl(self, *args):
        result = subprocess.run(["pactl", *args], env=self.env(dict(os.environ)),
                                capture_output=True, text=True)
        return result.stdout if result.returncode == 0 else None

    def streams(self):
        return (self.pactl("list", "short", "sink-inputs") or "").split("\n")[:-1]

    def hears_music(self):
        """Sound within a few seconds (the SoundFont may still load as the stream
        opens); true without parec, which cannot tell."""
        for _ in range(4):
            rms = self.loudness(["-d", "null.monitor"], 1.5)
            if rms is None or rms > 0.01:
                return True
        return False

    def loudness(self, source, seconds):
        """RMS of what a source (parec's options) plays during the given time, 0..1."""
        return self.loudness_of([source], seconds)[0]

    def loudness_of(self, sources, seconds):
        """RMS of each source over the same stretch of time; None without parec."""
        if missing_tools("parec"):
            return [None] * len(sources)
        recorders = [subprocess.Popen(["parec", *source, "--format=s16le", "--rate=44100",
                                       "--channels=2"], env=self.env(dict(os.environ)),
                                      stdout=subprocess.PIPE) for source in sources]
        time.sleep(seconds)
        result = []
        for recorder in recorders:
            recorder.send_signal(signal.SIGTERM)
            data = recorder.communicate()[0]
            count = len(data) // 2
            samples = struct.unpack("<%dh" % count, data[:count * 2])
            result.append((sum(s * s for s in samples) / count) ** 0.5 / 32768 if count else 0.0)
        return result

    def stream_of(self, pid):
        """The sink input index of the process's stream, or None."""
        index = None
        for line in (self.pactl("list", "sink-inputs") or "").splitlines():
            line = line.strip()
            if line.startswith("Sink Input #"):
                index = line[len("Sink Input #"):]
            elif line == 'application.process.id = "%d"' % pid:
                return index
        return None
