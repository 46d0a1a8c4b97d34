#!/usr/bin/env python3
"""What gifpack's rewriting costs, next to a size reference, in one run.

For every GIF of the rewrite corpus (tests/unit/tools/make_rewrite_corpus.sh,
testdata/gif, two 100-frame 320 x 240 animations made from
testdata/bench/anim.gif that need rewriting: gifsicle -O3, with
transparency, and delays of 0; and with --make-scattered, the 259 frames of
1000 x 175 with scattered changes and a colour table each that
gifplay_make_scattered_gif makes): the original size, the size of the GIF
that gifpack packs, the time gifpack takes to pack it (and to pack it
--as-is), its peak memory, and as the reference gifsicle -O3 of ImageMagick's
coalesced, opaque steps (which may use transparency again, as the player's
GIFs cannot). Times are processor time (user and system) of the gifpack run.

Usage: bench/rewrite_sizes.py --gifpack G --player P [--testdata DIR]
                              [--make-scattered build/bench/gifplay_make_scattered_gif]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGEMAGICK = shutil.which("convert-im6.q16") or "convert"


def timed(command):
    """The run, the processor time it took (user and system: on a shared
    machine a steadier figure than the time on the clock) and its peak
    resident memory in MB."""
    with tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        process.stderr = err.read().decode(errors="replace")
    return process, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def packed_size(gifpack, packed):
    listing = subprocess.run([gifpack, "--list", packed], capture_output=True, text=True).stdout
    found = re.search(r"picture: marker at \d+, payload at \d+, (\d+) bytes", listing)
    return int(found.group(1)) if found else None


def reference_size(gif, work):
    """gifsicle -O3 of ImageMagick's coalesced steps, transparency painted over."""
    background = os.path.join(work, "reference.gif")
    made = subprocess.run([IMAGEMAGICK, gif, "-coalesce", "-alpha", "remove", "-alpha", "off",
                           background], capture_output=True)
    if made.returncode != 0 or not os.path.exists(background):
        return None
    subprocess.run(["gifsicle", "-O3", background, "-o", background], capture_output=True)
    return os.path.getsize(background)


def corpus(args, work):
    made = os.path.join(work, "made")
    os.mkdir(made)
    subprocess.run([os.path.join(HERE, "..", "tests", "unit", "tools", "make_rewrite_corpus.sh"),
                    made], check=True)
    anim = os.path.join(args.testdata, "bench", "anim.gif")
    subprocess.run(["gifsicle", "-O3", anim, "-o", os.path.join(made, "anim-O3.gif")], check=True)
    subprocess.run(["gifsicle", "-d0", anim, "-o", os.path.join(made, "anim-delay0.gif")],
                   check=True)
    if args.make_scattered:
        subprocess.run([args.make_scattered, os.path.join(made, "scattered.gif")], check=True)
    gifs = [os.path.join(made, name) for name in sorted(os.listdir(made))]
    for root, _, names in sorted(os.walk(os.path.join(args.testdata, "gif"))):
        gifs += [os.path.join(root, name) for name in sorted(names) if name.endswith(".gif")]
    return gifs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--gifpack", required=True)
    parser.add_argument("--player", required=True)
    parser.add_argument("--testdata", default=os.path.join(HERE, "..", "testdata"))
    parser.add_argument("--make-scattered")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="gifplay-rewrite-bench-")
    try:
        print("%-38s %9s %9s %6s %9s %6s %9s %9s  %s" % (
            "GIF", "original", "packed", "ratio", "cpu ms", "MB", "as-is ms", "gifsicle",
            "rewritten for"))
        for gif in corpus(args, work):
            out = os.path.join(work, "out")
            result, seconds, megabytes = timed([args.gifpack, "--player", args.player, gif, "-o",
                                                out])
            if result.returncode != 0:
                print("%-38s refused: %s" % (os.path.basename(gif), result.stderr.strip()[:60]))
                continue
            size = packed_size(args.gifpack, out)
            _, as_is, _ = timed([args.gifpack, "--as-is", "--player", args.player, gif, "-o", out])
            original = os.path.getsize(gif)
            said = re.search(r"browsers do: (.*)", result.stderr)
            reference = reference_size(gif, work)
            print("%-38s %9d %9d %6.2f %9.0f %6.0f %9.0f %9s  %s" % (
                os.path.basename(gif), original, size, size / original, seconds * 1000,
                megabytes, as_is * 1000, reference if reference else "-",
                said.group(1) if said else "(packed as it is)"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
