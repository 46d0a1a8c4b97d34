#!/usr/bin/env python3
"""A whole run of the packed Linux player under valgrind's memcheck.

The player carries the demo animation and song; it plays on the virtual X
display into a private PulseAudio null sink for a few seconds and is ended
by File > Exit. memcheck must report no invalid access, no use of undefined
values and no definitely lost memory; the player must end with 0 and leave
TEMP empty. Errors are counted over the whole process, the libraries it loads
included, but for the few reports in system libraries that valgrind.supp
names.

Usage: valgrind_e2e.py --player P --song S --gif G [--log FILE] [--seconds N]
Exit status 0 passed, 1 failed, 77 skipped (no valgrind, Xvfb, xdotool or
PulseAudio).
"""

import argparse
import os
import re
import shutil
import sys
import time

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (TITLE, Player, Skip, SoundServer, VirtualDisplay, check,  # noqa: E402
                         missing_tools, pack_by_hand, run_scenario, wait_for)


SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp")


def memcheck(log_file):
    return ["valgrind", "--tool=memcheck", "--leak-check=full",
            "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
            "--num-callers=40", "--suppressions=" + SUPPRESSIONS, "--log-file=" + log_file]


def summary(log):
    """Errors and definitely lost bytes as memcheck's summary states them."""
    errors = re.search(r"ERROR SUMMARY: ([\d,]+) errors", log)
    lost = re.search(r"definitely lost: ([\d,]+) bytes", log)
    check(errors is not None, "memcheck wrote no error summary")
    number = lambda match: int(match.group(1).replace(",", "")) if match else 0
    return number(errors), number(lost)


def run(args, work):
    tool = missing_tools("valgrind", "xdotool")
    if tool:
        raise Skip("no %s (scripts/setup.sh installs it)" % tool)
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack_by_hand(args.player, os.path.join(work, "player"), args.gif, args.song)
    # The player is stripped; its symbols, found through its debug link beside
    # it, name our frames in the reports and the suppressions.
    symbols = args.player + ".debug"
    if os.path.isfile(symbols):
        shutil.copyfile(symbols, os.path.join(work, os.path.basename(symbols)))
    log_file = os.path.join(work, "memcheck.log")
    with VirtualDisplay() as display, SoundServer(work) as sound:
        player = Player(display, program, temp, env=sound.env(display.env()),
                        wrapper=memcheck(log_file))
        try:
            started = time.monotonic()
            found = wait_for(lambda: display.windows(TITLE) or player.process.poll() is not None,
                             120, 0.5)
            check(player.process.poll() is None, "the player ended before showing a window")
            check(found, "no window within two minutes")
            print("window after %.1f s under memcheck" % (time.monotonic() - started))
            time.sleep(args.seconds)
            check(player.process.poll() is None, "the player ended while playing")
            display.press(display.windows(TITLE)[0], "alt+f", "x")
            code = player.wait(120)
            check(code is not None, "File > Exit did not end the player within two minutes")
            check(code == 0, "exit code %s" % code)
            check(os.listdir(temp) == [], "the player left %s in TEMP" % os.listdir(temp))
        finally:
            player.stop()
    with open(log_file) as f:
        log = f.read()
    if args.log:
        shutil.copyfile(log_file, args.log)
    errors, lost = summary(log)
    print("memcheck: %d errors, %d bytes definitely lost" % (errors, lost))
    if errors or lost:
        print(log[-20000:])
    check(errors == 0, "memcheck reported %d errors" % errors)
    check(lost == 0, "memcheck reported %d bytes definitely lost" % lost)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    parser.add_argument("--song", required=True)
    parser.add_argument("--gif", required=True)
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--log", help="keep memcheck's log here")
    args = parser.parse_args()
    return run_scenario("valgrind", lambda work: run(args, work), prefix="gifplay-valgrind-e2e-")


if __name__ == "__main__":
    sys.exit(main())
