"""What every end-to-end script of ours shares: the player's titles, the
outcomes of a test, waiting, the readiness of an X server, and ending a
helper process."""

import ctypes
import shutil
import signal
import socket
import subprocess
import tempfile
import time

SKIPPED = 77  # CTest's SKIP_RETURN_CODE for our end-to-end tests
TITLE = "Corvane Animation Player"
ABOUT_TITLE = "About Vantrope"
SONG_FILE = "gifplay.mid"


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


def accepts_connections(path):
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


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def delete_window_event(window, protocols, delete):
    """The event a window manager sends for the close box: a ClientMessage
    WM_PROTOCOLS carrying WM_DELETE_WINDOW (the two atoms given)."""
    event = _XEvent()
    event.client.type = 33  # ClientMessage
    event.client.window = window
    event.client.message_type = protocols
    event.client.format = 32
    event.client.data[0] = delete
    return event


def close_window(display_name, window):
    """Asks a window to close as a window manager would, on a connection of
    its own to the display."""
    xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.c_void_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(display_name.encode())
    check(display, "cannot open the display " + display_name)
    try:
        event = delete_window_event(int(window), xlib.XInternAtom(display, b"WM_PROTOCOLS", 0),
                                    xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0))
        xlib.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
        xlib.XFlush(display)
    finally:
        xlib.XCloseDisplay(display)


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


def run_in_scratch(prefix, body):
    """Runs body(work) in a fresh directory removed afterwards, prints the
    outcome, and gives the exit status: 0 passed, 1 failed, SKIPPED."""
    work = tempfile.mkdtemp(prefix=prefix)
    try:
        body(work)
    except Skip as skip:
        print("skipped: %s" % skip)
        return SKIPPED
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("passed")
    return 0


class Player:
    """A packed player started with its own TEMP (and a wrapper such as
    valgrind); its stderr is kept for the checks."""

    def __init__(self, program, env, temp, wrapper=(), display=None):
        env = dict(env)
        env["TEMP"] = temp
        self.display = display
        self.process = subprocess.Popen([*wrapper, program], env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)

    def window(self, timeout=10):
        """The player's one window on its display."""
        found = wait_for(lambda: self.display.windows(TITLE) or self.process.poll() is not None,
                         timeout)
        if self.process.poll() is not None:
            raise Failure("the player ended before showing a window, exit code %s, stderr %r"
                          % (self.process.returncode, self.process.stderr.read()))
        check(found, "no window titled %r appeared" % TITLE)
        check(len(found) == 1, "%d windows titled %r" % (len(found), TITLE))
        return found[0]

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        return self.process.stderr.read()


def check_quick_exit(player, limit=1):
    """After File > Exit was chosen: the player ends with 0 within limit seconds."""
    started = time.monotonic()
    code = player.wait(5)
    took = time.monotonic() - started
    check(code == 0, "exit code %s after File > Exit" % code)
    check(took < limit, "File > Exit took %.2f s" % took)
