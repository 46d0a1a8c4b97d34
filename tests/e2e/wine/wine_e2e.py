#!/usr/bin/env python3
"""The packed Windows player under Wine, on a virtual X display, driven as a
user would; the same animation in the Linux player for comparison.

  prefix         makes the throwaway Wine prefix that the other scenarios
                 share (wineboot is slow: once a run)
  window         one window "Corvane Animation Player" whose client area fits
                 the animation and shows its first frame, then the following
                 ones, pixel for pixel; the song is in Wine's TEMP while it
                 plays; Help > About opens "About Vantrope", owned by the
                 window, with its texts and icon, and Ok closes it while the
                 player runs on; File > Exit ends the player with 0 and the
                 song is gone
  killed         five players killed leave their song files in TEMP; the next
                 player deletes them, not the song of the player running beside
                 it; both closed (the window manager's close request), each
                 ends with 0 and no song file is left
  no-picture     a player with only a song, and one without any record, end at
                 once with 0, without a window, leaving no song behind; the
                 player itself carries no complete marker
  gifpack        the Windows gifpack packs with the player of its build tree
                 the very bytes that the Linux gifpack --windows packs, lists
                 the records, and draws the frames the player shows as PNGs;
                 it takes names in Cyrillic and German, and without -o packs
                 anim.gif to anim.exe, then to anim (2).exe; started alone
                 (dropped onto in Explorer) it keeps its console until a key
                 is pressed; it refuses an MP4 in one line naming the Linux
                 gifpack; it rewrites an optimized GIF (transparency, every disposal,
                 local colour tables) and one of more than 256 colours to the
                 same bytes as the Linux gifpack, with --background and
                 --dither too, refuses both under --strict as it does, and
                 the player shows each step of the first as browsers do; a
                 clip made by ffmpeg, packed by the Linux gifpack, shows the
                 steps of gifpack --frames
  zip            the Windows zip (scripts/package.sh) unpacks to gifpack.exe,
                 gifplay.exe, README.txt and LICENSE.txt; its gifpack.exe packs
                 an animation with the gifplay.exe beside it, which plays it
  delays         a red frame of delay 0 and a blue one of 1 s alternate; three
                 frames of delay 0 play and File > Exit ends the player with 0
                 within a second; a picture larger than the screen gets a
                 window within the screen (packed as they are); the largest
                 canvas that gifpack --windows lets through plays
  cleanup        ends what runs in the prefix and removes it

Usage: wine_e2e.py SCENARIO --windows-player EXE --probe EXE --prefix DIR
                   --gifpack G [--windows-gifpack EXE] [--zip ZIP] [--keep DIR]
Exit status 0 passed, 1 failed, 77 skipped (no Wine, no Windows build, no Xvfb).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e_support import (ABOUT_TITLE, IMAGEMAGICK, SKIPPED, TITLE,  # noqa: E402
                         Failure, Picture, Player, Skip, VirtualDisplay, check, check_alternating,
                         check_ends_without_window, check_in_order, check_quick_exit, coalesced,
                         frames_only, make_clip, midi_song, missing_tools, pack_by_hand, wait_for,
                         run_scenario, watch_steps, write)
import e2e_support  # noqa: E402

SIZE = (160, 120)
TEMP_RECORD = "gifplay-temp-dir"  # in the prefix: the Unix path of Wine's TEMP

ABOUT_TEXTS = [
    "Ok", "Vantrope", "Version 1.0, Release A", "World Wide Web:", "Sales Inquiry E-Mail:",
    "Tech. Support E-Mail:",
    "This animation was created with Vantrope by Corvane.  Please vist our website for more "
    "information on Vantrope and the Corvane Internet Animation Library!",
]


# ---- the display and Wine ------------------------------------------------


class WineDisplay(VirtualDisplay):
    """Our Xvfb, on which Wine runs with the shared prefix and without its
    debug output."""

    def __init__(self, prefix, work):
        super().__init__()
        self.prefix, self.work = prefix, work
        self.log = open(os.path.join(work, "wine.log"), "ab")

    def __exit__(self, *exc):
        # Everything Wine started in the prefix (the player, explorer, the
        # server) ends with the display it was bound to.
        subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=self.log, stderr=self.log)
        subprocess.run(["wineserver", "-w"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=self.log, stderr=self.log, timeout=30)
        super().__exit__(*exc)
        self.log.close()

    def env(self):
        env = super().env()
        env["WINEPREFIX"] = self.prefix
        env["WINEDEBUG"] = "-all"
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="  # no Mono or Gecko prompts
        return env

    def start(self, *args):
        # Wine's helper processes inherit the output: never CTest's pipe.
        return subprocess.Popen(list(args), env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=self.log, stderr=self.log)

    def wine(self, *args, timeout=60, cwd=None, with_errors=False):
        """Runs a Windows program to its end; its exit code and output (and
        what it said on stderr, with_errors; else that goes to wine.log)."""
        with tempfile.TemporaryFile(dir=self.work) as out:
            process = subprocess.run(["wine", *args], env=self.env(), stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=out if with_errors else self.log,
                                     timeout=timeout, cwd=cwd)
            out.seek(0)
            return process.returncode, out.read().decode(errors="replace")


class Probe:
    """What wine_probe sees of the player's windows from inside Wine."""

    def __init__(self, display, program):
        self.display, self.program = display, program

    def window(self, title, timeout_ms=15000):
        code, out = self.display.wine(self.program, "window", title, str(timeout_ms))
        check(code == 0, "no visible window titled %r (probe: %s)" % (title, out.strip()))
        facts = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
        client = tuple(int(v) for v in facts["client"].split())
        origin = tuple(int(v) for v in facts["origin"].split())
        return client, origin

    def dialog(self, title, timeout_ms=10000):
        code, out = self.display.wine(self.program, "dialog", title, str(timeout_ms))
        check(code == 0, "no dialog titled %r (probe: %s)" % (title, out.strip()))
        return out

    def gone(self, title, timeout_ms=5000):
        return self.display.wine(self.program, "gone", title, str(timeout_ms))[0] == 0


def WinePlayer(display, program):
    """A Windows player under Wine; its output goes to wine.log."""
    return Player(display, program, wrapper=["wine"], log=display.log)


# ---- what is played ------------------------------------------------------


def make_animation(work):
    """160 x 120, a full first frame of 4 s, then two smaller frames of 0.8 s
    placed inside it; one global colour table, no transparency, frames left
    in place. ImageMagick draws what the window must show after each frame."""
    gif = os.path.join(work, "three_frames.gif")
    frames = [("160x120", "+0+0", 11, 400), ("60x40", "+30+20", 12, 80),
              ("80x50", "+75+65", 13, 80)]
    command = [IMAGEMAGICK, "-dispose", "None"]
    for size, offset, seed, delay in frames:
        command += ["(", "-size", size, "-seed", str(seed), "plasma:fractal", "-set", "page",
                    offset, "-set", "delay", str(delay), ")"]
    command += ["-set", "page", "%dx%d" % SIZE, "+map", "-loop", "0", gif]
    subprocess.run(command, check=True)
    return gif, coalesced(gif, work, "shown")


def make_song(work):
    """A song of one note of a second, as song.mid."""
    song = midi_song(60, 1.0, notes=1)
    return write(os.path.join(work, "song.mid"), song), song


def pack(args, player, output, gif, song=None, options=()):
    return e2e_support.pack(args.gifpack, gif, output, song, player, options)


# ---- looking at the screen -----------------------------------------------


def client_area(display, origin):
    x, y = origin
    return display.screenshot().crop(x, y, SIZE[0], SIZE[1])


def watch_frames(display, origin, shown, seconds):
    return watch_steps(display, origin, shown, seconds, display.work)


def check_cycle(seen, who):
    check_in_order(seen, 3, who, from_first=True)


def settled(window):
    return window if window[0] == SIZE else None


def wine_window(display, probe):
    """The player's window: its X id, and its client area's screen origin."""
    # Right after it becomes visible the window may still be settling its
    # size: the scroll bars, shown at creation, go when WM_SIZE comes.
    client, origin = wait_for(lambda: settled(probe.window(TITLE)), 5, 0.2) or probe.window(TITLE)
    check(client == SIZE, "the client area is %dx%d, not the animation's %dx%d" %
          (client + SIZE))
    found = wait_for(lambda: display.windows(TITLE), 5)
    check(found and len(found) == 1, "X windows titled %r: %s" % (TITLE, found))
    return found[0], origin


def choose(display, window, *keys):
    display.focus(window)
    display.key(*keys)


# ---- scenarios -----------------------------------------------------------


def scenario_prefix(args, display):
    code, out = display.wine("cmd", "/c", "echo %TEMP%", timeout=600)
    check(code == 0, "wine cannot run cmd in a new prefix (wine.log)")
    code, unix = display.wine("winepath", "-u", out.strip())
    check(code == 0 and unix.strip(), "winepath cannot map %r" % out.strip())
    with open(os.path.join(args.prefix, TEMP_RECORD), "w") as f:
        f.write(unix.strip())
    print("Wine %s; TEMP is %s = %s" % (subprocess.run(["wine", "--version"], capture_output=True,
                                                         text=True).stdout.strip(),
                                          out.strip(), unix.strip()))


def scenario_window(args, display):
    gif, shown = make_animation(display.work)
    song_path, song = make_song(display.work)
    exe = pack(args, args.windows_player, os.path.join(display.work, "player.exe"), gif, song_path)
    temp_song = os.path.join(wine_temp(args), "gifplay.mid")
    player = WinePlayer(display, exe)
    try:
        window, origin = wine_window(display, Probe(display, args.probe))
        first = wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1)
        client_area(display, origin).save(os.path.join(display.work, "first.ppm"))
        check(first, "the client area does not show the first frame (first.ppm)")
        check_cycle(watch_frames(display, origin, shown, 7.5), "Windows player")

        check(os.path.isfile(temp_song), "no song file %s while playing" % temp_song)
        with open(temp_song, "rb") as f:
            check(f.read() == song, "the song file differs from the song packed")
        print("the sequencer %s the song file open" %
              ("holds" if player.holds_open(temp_song) else "does not hold"))

        check_about_box(display, window, Probe(display, args.probe))
        check(player.process.poll() is None, "the player ended with the About box")
        choose(display, window, "alt+f", "x")
        code = player.wait(10)
        check(code is not None, "File > Exit did not end the player")
        check(code == 0, "exit code %s after File > Exit" % code)
        check(not os.path.exists(temp_song), "the song file is still there after Exit")
    finally:
        player.stop()


def scenario_killed(args, display):
    gif, _ = make_animation(display.work)
    song_path, song = make_song(display.work)
    exe = pack(args, args.windows_player, os.path.join(display.work, "player.exe"), gif, song_path)
    temp = wine_temp(args)

    def songs():
        return sorted(n for n in os.listdir(temp) if n.startswith("gifplay") and n.endswith(".mid"))

    players = [WinePlayer(display, exe)]
    try:
        check(wait_for(lambda: songs() == ["gifplay.mid"], 20), "the first player wrote %s" % songs())
        killed = [WinePlayer(display, exe) for _ in range(5)]
        players += killed
        check(wait_for(lambda: len(songs()) == 6, 30), "six players wrote %s" % songs())
        for player in killed:
            player.process.kill()
            player.process.wait()
        players.append(WinePlayer(display, exe))
        windows = wait_for(lambda: len(display.windows(TITLE)) == 2 and display.windows(TITLE), 30)
        check(windows and wait_for(lambda: len(songs()) == 2, 5) and "gifplay.mid" in songs(),
              "with the first and the last player running, TEMP holds %s" % songs())
        for name in songs():
            with open(os.path.join(temp, name), "rb") as f:
                check(f.read() == song, "%s is not the song" % name)
        for window in windows:
            display.close(window)
        for player in (players[0], players[-1]):
            check(player.wait(10) == 0, "closing a window did not end its player with 0")
        check(songs() == [], "TEMP holds %s after both players ended" % songs())
    finally:
        for player in players:
            player.stop()


def check_about_box(display, window, probe):
    """Help > About opens the About box, owned by window, with its texts and
    icon; Ok, pressed with Return, closes it."""
    choose(display, window, "alt+h", "a")
    about = probe.dialog(ABOUT_TITLE)
    print(about, end="")
    check('owner "%s"' % TITLE in about, "the About box does not belong to the main window")
    for text in ABOUT_TEXTS:
        check('"%s"' % text in about, "the About box lacks the text %r" % text)
    check(" icon=yes" in about, "the About box shows no icon")
    found = display.windows(ABOUT_TITLE)
    check(len(found) == 1, "X windows titled %r: %s" % (ABOUT_TITLE, found))
    display.shows(found[0]).save(os.path.join(display.work, "about.ppm"))
    choose(display, found[0], "Return")
    check(probe.gone(ABOUT_TITLE), "Ok did not close the About box")


def scenario_no_picture(args, display):
    song_path, song = make_song(display.work)
    temp_song = os.path.join(wine_temp(args), "gifplay.mid")
    if os.path.exists(temp_song):
        os.remove(temp_song)
    song_only = pack_by_hand(args.windows_player, os.path.join(display.work, "song_only.exe"),
                             song=song)
    bare = os.path.join(display.work, "bare.exe")
    shutil.copyfile(args.windows_player, bare)
    with open(bare, "rb") as f:
        image = f.read()
    for tag in (b"GIF", b"MIDI"):
        check(b"*" + tag + b"_BEGINS_HERE:" not in image,
              "the Windows player carries a complete %s marker" % tag.decode())
    for program in (song_only, bare):
        try:
            check_ends_without_window(WinePlayer(display, program),
                                      lambda: [temp_song] * os.path.exists(temp_song), 20)
        except Failure as failure:
            raise Failure("%s: %s" % (os.path.basename(program), failure))


def scenario_gifpack(args, display):
    if not args.windows_gifpack or not os.path.isfile(args.windows_gifpack):
        raise Skip("no Windows gifpack at %s" % args.windows_gifpack)
    work = display.work
    gif, shown = make_animation(work)
    song_path, _ = make_song(work)
    code, out = display.wine(args.windows_gifpack, "three_frames.gif", "song.mid", "-o", "w.exe",
                             cwd=work, with_errors=True)
    check(code == 0, "gifpack.exe could not pack: %s" % out.strip())
    with open(os.path.join(work, "fake.mp4"), "wb") as clip:  # an MP4 by its first bytes
        clip.write(b"\0\0\0\x18ftypisom" + bytes(64))
    code, out = display.wine(args.windows_gifpack, "fake.mp4", "-o", "c.exe", cwd=work,
                             with_errors=True)
    check(code == 2 and "the Linux gifpack reads" in out and out.count("gifpack: ") == 1
          and not os.path.exists(os.path.join(work, "c.exe")),
          "gifpack.exe given an MP4: %s" % out.strip())
    result = subprocess.run([args.gifpack, "--windows", gif, song_path, "-o",
                             os.path.join(work, "l.exe")], capture_output=True, text=True)
    check(result.returncode == 0, "gifpack --windows could not pack: " + result.stderr.strip())
    with open(os.path.join(work, "w.exe"), "rb") as w, open(os.path.join(work, "l.exe"), "rb") as l:
        check(w.read() == l.read(), "gifpack.exe and gifpack --windows packed different files")

    code, listing = display.wine(args.windows_gifpack, "--list", "w.exe", cwd=work,
                                 with_errors=True)
    check(code == 0 and "picture: marker at %d" % os.path.getsize(args.windows_player) in listing
          and "music  : marker at" in listing, "gifpack.exe --list says: " + listing.strip())

    # Names in any script; without -o, the program beside the GIF, never over one.
    shutil.copy(gif, os.path.join(work, "поздравление.gif"))
    code, out = display.wine(args.windows_gifpack, "поздравление.gif", "song.mid", "-o",
                             "für Oma.exe", cwd=work, with_errors=True)
    check(code == 0 and "wrote für Oma.exe: " in out, "gifpack.exe with names in Cyrillic and "
          "German: " + out.strip())
    with open(os.path.join(work, "für Oma.exe"), "rb") as named, open(
            os.path.join(work, "w.exe"), "rb") as w:
        check(named.read() == w.read(), "für Oma.exe differs from w.exe")
    shutil.copy(gif, os.path.join(work, "anim.gif"))
    for name in ("anim.exe", "anim (2).exe"):
        code, out = display.wine(args.windows_gifpack, "anim.gif", cwd=work, with_errors=True)
        check(code == 0 and os.path.isfile(os.path.join(work, name)),
              "gifpack.exe anim.gif did not make %s: %s" % (name, out.strip()))
    # Dropped onto it in Explorer: a console of its own, held open until a key.
    dropped = display.start("wine", "start", "/wait", "/unix", args.windows_gifpack,
                            os.path.join(work, "anim.gif"))
    try:
        console = wait_for(lambda: display.xdotool("search", "--name", "gifpack"), 20, 0.2)
        check(console, "gifpack.exe started alone opened no console")
        check(wait_for(lambda: os.path.isfile(os.path.join(work, "anim (3).exe")), 20, 0.2),
              "gifpack.exe started alone did not make anim (3).exe")
        time.sleep(1)
        check(dropped.poll() is None, "gifpack.exe closed its console without waiting for a key")
        display.run("xdotool", "key", "--window", console[0], "space")
        check(wait_for(lambda: dropped.poll() is not None, 10, 0.2),
              "gifpack.exe did not end after a key")
    finally:
        if dropped.poll() is None:
            dropped.kill()
            dropped.wait()
    player = WinePlayer(display, os.path.join(work, "für Oma.exe"))
    try:
        _, origin = wine_window(display, Probe(display, args.probe))
        check(wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1),
              "für Oma.exe does not show the first frame")
    finally:
        player.stop()

    os.mkdir(os.path.join(work, "frames"))
    code, out = display.wine(args.windows_gifpack, "--frames", "frames", "three_frames.gif",
                             cwd=work, with_errors=True)
    check(code == 0, "gifpack.exe --frames failed: " + out.strip())
    for index, expected in enumerate(shown):
        png = os.path.join(work, "frames", "frame-%03d.png" % index)
        check(os.path.isfile(png), "gifpack.exe --frames wrote no %s" % os.path.basename(png))
        check(Picture.load(png).rgb == expected.rgb,
              "%s differs from what the player shows" % os.path.basename(png))
    check_rewritten_alike(args, display)


def make_optimized(work):
    """160 x 120 over four steps: frames smaller than the screen with
    transparent pixels, disposal to the previous picture and to the
    background, a colour table for each frame; and each step as browsers show
    it (ImageMagick's -coalesce, transparency white)."""
    gif = os.path.join(work, "optimized.gif")
    subprocess.run([
        IMAGEMAGICK, "-dispose", "none", "-delay", "100", "-size", "160x120", "xc:yellow",
        "-dispose", "previous", "-delay", "80", "(", "-size", "40x30", "xc:red",
        "-set", "page", "+20+20", ")",
        "-dispose", "background", "(", "-size", "50x40", "xc:none", "-fill", "lime", "-draw",
        "circle 25,20 25,38", "-set", "page", "+90+60", ")",
        "-dispose", "none", "(", "-size", "30x30", "xc:blue", "-fill", "white", "-draw",
        "rectangle 5,5 20,20", "-set", "page", "+10+80", ")",
        "-set", "page", "160x120", "-loop", "0", gif], check=True)
    return gif, coalesced(gif, work, "optimized")


def check_rewritten_alike(args, display):
    """gifpack.exe and the Linux gifpack rewrite alike, option for option, and
    the player shows the first GIF's steps as browsers do."""
    work = display.work
    gif, shown = make_optimized(work)
    colourful = os.path.join(work, "colourful.gif")
    subprocess.run([IMAGEMAGICK, "-delay", "20", "-size", "160x120", "-seed", "3", "plasma:fractal",
                    "-seed", "4", "plasma:fractal", "-seed", "5", "plasma:fractal", colourful],
                   check=True)
    runs = [("optimized.gif", ["--background", "#FFFFFF"]),
            ("colourful.gif", []), ("colourful.gif", ["--dither"])]
    for name, options in runs:
        said = "%s %s" % (name, " ".join(options))
        code, out = display.wine(args.windows_gifpack, *options, name, "-o", "w.exe", cwd=work,
                                 with_errors=True)
        check(code == 0 and "rewritten so that the player shows it as browsers do" in out,
              "gifpack.exe did not rewrite %s: %s" % (said, out.strip()))
        result = subprocess.run([args.gifpack, "--windows", *options, os.path.join(work, name),
                                 "-o", os.path.join(work, "l.exe")], capture_output=True, text=True)
        check(result.returncode == 0, "gifpack --windows could not pack %s: %s" %
              (said, result.stderr.strip()))
        with open(os.path.join(work, "w.exe"), "rb") as w, \
                open(os.path.join(work, "l.exe"), "rb") as l:
            check(w.read() == l.read(), "gifpack.exe and gifpack --windows rewrote %s "
                  "differently" % said)
        code, out = display.wine(args.windows_gifpack, "--strict", *options, name, "-o", "s.exe",
                                 cwd=work, with_errors=True)
        linux = subprocess.run([args.gifpack, "--windows", "--strict", *options,
                                os.path.join(work, name), "-o", os.path.join(work, "s.exe")],
                               capture_output=True)
        check(code == linux.returncode == 2 and not os.path.exists(os.path.join(work, "s.exe")),
              "gifpack.exe --strict (%d) and gifpack --strict (%d) did not both refuse %s: %s" %
              (code, linux.returncode, said, out.strip()))
        if name == "optimized.gif":
            shutil.copy(os.path.join(work, "w.exe"), os.path.join(work, "optimized.exe"))
    clip, clip_shown = make_clip(args.gifpack, work)
    pack(args, args.windows_player, os.path.join(work, "clip.exe"), clip)
    for name, steps in (("optimized.exe", shown), ("clip.exe", clip_shown)):
        player = WinePlayer(display, os.path.join(work, name))
        try:
            _, origin = wine_window(display, Probe(display, args.probe))
            check(wait_for(lambda: client_area(display, origin).rgb == steps[0].rgb, 2, 0.1),
                  "%s does not show the first step" % name)
            # The clip's first step lasts half a second: it may be over
            # before the watch begins.
            check_in_order(watch_frames(display, origin, steps, 7.5), len(steps), name, changes=5,
                           from_first=name == "optimized.exe")
        finally:
            player.stop()


def scenario_zip(args, display):
    if not args.zip or not os.path.isfile(args.zip):
        raise Skip("no Windows zip at %s (scripts/package.sh makes it)" % args.zip)
    with zipfile.ZipFile(args.zip) as archive:
        archive.extractall(display.work)
        folder = os.path.join(display.work, os.path.dirname(archive.namelist()[0]))
    for name in ("gifpack.exe", "gifplay.exe", "README.txt", "LICENSE.txt"):
        check(os.path.isfile(os.path.join(folder, name)), "the zip holds no %s" % name)
    for name in ("README.txt", "LICENSE.txt"):
        with open(os.path.join(folder, name), "rb") as document:
            text = document.read()
        check(text.count(b"\n") == text.count(b"\r\n") > 0, "%s has lines without CRLF" % name)
        check(b"`" not in text and b"](" not in text and b"\r\n#" not in text,
              "%s is Markdown, not plain text" % name)
    gif, shown = make_animation(display.work)
    shutil.copy(gif, folder)
    code, out = display.wine("gifpack.exe", "three_frames.gif", "-o", "packed.exe", cwd=folder,
                             with_errors=True)
    check(code == 0, "the zip's gifpack.exe could not pack: %s" % out.strip())
    player = WinePlayer(display, os.path.join(folder, "packed.exe"))
    try:
        window, origin = wine_window(display, Probe(display, args.probe))
        first = wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1)
        client_area(display, origin).save(os.path.join(display.work, "first.ppm"))
        check(first, "the client area does not show the first frame (first.ppm)")
        choose(display, window, "alt+f", "x")
        check(player.wait(10) == 0, "File > Exit did not end the player with 0")
    finally:
        player.stop()


def make_solid_frames(work, name, size, frames):
    """One frame a colour, each with its delay, one global colour table."""
    gif = os.path.join(work, name + ".gif")
    command = [IMAGEMAGICK]
    for colour, delay in frames:
        command += ["-delay", str(delay), "-size", "%dx%d" % size, "xc:rgb(%d,%d,%d)" % colour]
    subprocess.run(command + ["+map", "-loop", "0", gif], check=True)
    return gif


def scenario_delays(args, display):
    work = display.work
    red_blue = [(255, 0, 0), (0, 0, 255)]
    zero = [(255, 0, 0), (0, 255, 0), (0, 0, 255)]
    for name, frames, seconds in (("red_blue", list(zip(red_blue, (0, 100))), 3.5),
                                  ("zero_delays", [(c, 0) for c in zero], 2)):
        gif = make_solid_frames(work, name, SIZE, frames)
        exe = pack(args, args.windows_player, os.path.join(work, name + ".exe"), gif,
                   options=["--as-is"])
        player = WinePlayer(display, exe)
        try:
            window, (x, y) = wine_window(display, Probe(display, args.probe))
            colours = [c for c, _ in frames]
            seen = frames_only(display.colours(x + SIZE[0] // 2, y + SIZE[1] // 2, seconds),
                               colours)
            if name == "red_blue":
                check_alternating(seen, colours, "Windows player")
                continue
            check(len(seen) >= 6, "delay 0: the frames did not change: seen %s" % seen[:12])
            choose(display, window, "alt+f", "x")
            check_quick_exit(player)
        finally:
            player.stop()

    gif = make_solid_frames(work, "larger", (1100, 900), [((40, 80, 120), 100)])
    exe = pack(args, args.windows_player, os.path.join(work, "larger.exe"), gif,
               options=["--as-is"])
    player = WinePlayer(display, exe)
    try:
        (w, h), _ = Probe(display, args.probe).window(TITLE)
        check(w < 1100 and h < 900 and w <= 1024 and h <= 768,
              "a 1100x900 picture got a %dx%d client area on a 1024x768 screen" % (w, h))
    finally:
        player.stop()

    # The largest canvas gifpack --windows lets through plays; one beyond is refused.
    for height, plays in ((35840, True), (35904, False)):
        gif = os.path.join(work, "canvas%d.gif" % height)
        with open(gif, "wb") as f:
            f.write(b"GIF89a" + (16384).to_bytes(2, "little") + height.to_bytes(2, "little") +
                    bytes([0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,
                           2, 2, 0x44, 1, 0, 0x3B]))
        exe = os.path.join(work, "canvas%d.exe" % height)
        result = subprocess.run([args.gifpack, "--windows", "--as-is", gif, "-o", exe],
                                capture_output=True, text=True)
        if not plays:
            check(result.returncode == 2 and "is too large to allocate" in result.stderr,
                  "gifpack --windows let a canvas of 16384 x %d through: %s" %
                  (height, result.stderr.strip()))
            continue
        check(result.returncode == 0, "gifpack --windows refused 16384 x %d: %s" %
              (height, result.stderr.strip()))
        player = WinePlayer(display, exe)
        try:
            Probe(display, args.probe).window(TITLE, 30000)
        finally:
            player.stop()


def wine_temp(args):
    with open(os.path.join(args.prefix, TEMP_RECORD)) as f:
        return f.read().strip()


SCENARIOS = {
    "prefix": scenario_prefix,
    "window": scenario_window,
    "killed": scenario_killed,
    "no-picture": scenario_no_picture,
    "gifpack": scenario_gifpack,
    "zip": scenario_zip,
    "delays": scenario_delays,
}


def missing_tool(args):
    """Why this machine cannot run the Wine tests, or None."""
    tool = missing_tools("wine", "wineserver", "Xvfb", "xdotool", "import", IMAGEMAGICK)
    if tool:
        return "%s is not installed (scripts/setup.sh installs it)" % tool
    if subprocess.run(["wine", "--version"], capture_output=True).returncode != 0:
        return "wine does not run here"
    if not os.path.isfile(args.windows_player):
        return ("no Windows player at %s: cross-build it first (scripts/test.sh does: "
                "cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)"
                % args.windows_player)
    if not os.path.isfile(args.probe):
        return "no wine_probe at %s: it is built with the Windows player" % args.probe
    return None


def cleanup(args):
    if os.path.isdir(args.prefix):
        env = dict(os.environ, WINEPREFIX=args.prefix)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        shutil.rmtree(args.prefix, ignore_errors=True)
    return 0


def run(args):
    reason = missing_tool(args)
    if reason:
        print("SKIP: the Wine tests do not run: " + reason)
        return SKIPPED
    if args.scenario == "prefix":
        cleanup(args)
        os.makedirs(args.prefix)
    elif not os.path.isfile(os.path.join(args.prefix, TEMP_RECORD)):
        print("SKIP: no Wine prefix at %s: the test that makes it failed or did not run"
              % args.prefix)
        return SKIPPED

    def body(work):
        with WineDisplay(args.prefix, work) as display:
            SCENARIOS[args.scenario](args, display)
    return run_scenario(args.scenario, body, prefix="gifplay-wine-", keep=args.keep)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS) + ["cleanup"])
    parser.add_argument("--windows-player", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--gifpack", required=True)
    parser.add_argument("--windows-gifpack")
    parser.add_argument("--zip")
    parser.add_argument("--keep", help="keep the work files in this directory")
    args = parser.parse_args()
    if args.scenario == "cleanup":
        return cleanup(args)
    return run(args)


if __name__ == "__main__":
    sys.exit(main())
