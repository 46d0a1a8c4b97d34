"""What every end-to-end script of ours shares: the player's titles, the
outcomes of a test, waiting, the readiness of an X server, and ending a
helper process."""

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
