#!/usr/bin/env python3
"""The packed Windows player under Wine, on a virtual X display, driven as a
user would; the same animation in the Linux player for comparison.

  prefix         makes the throwaway Wine prefix that the other scenarios
                 share (wineboot is slow: once a run)
  window         one window "Corvane Animation Player" whose client area fits
                 the animation and shows its first frame, then the following
                 ones, pixel for pixel; the song is in Wine's TEMP while it
                 plays; File > Exit ends the player with 0 and the song is gone
  close          closing the window (the window manager's close request) ends
                 the player with 0 and removes the song
  killed         five players killed leave their song files in TEMP; the next
                 player deletes them, not the song of the player running beside
                 it; both closed, no song file is left
  about          Help > About opens "About Vantrope" with its texts and icon;
                 Ok closes it and the player runs on
  no-picture     a player with only a song, and one without any record, end at
                 once with 0, without a window, leaving no song behind; the
                 player itself carries no complete marker
  same-as-linux  the same animation in the Linux player and in the Windows
                 player: identical client pixels for the first three frames
  rewritten      an optimized GIF with transparency, rewritten by the Linux
                 gifpack for the Windows player: the client area shows each
                 step as ImageMagick's -coalesce does (and browsers do); a
                 clip made by ffmpeg, likewise packed, shows gifpack's steps
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
                 the player shows each step of the first as browsers do
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
                   --gifpack G [--windows-gifpack EXE] [--linux-player P]
                   [--zip ZIP] [--keep DIR]
GIFPLAY_WINE_DISPLAY=N runs Xvfb on display :N instead of the first free one.
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
from e2e_support import (ABOUT_TITLE, SKIPPED, TITLE, Failure, Player, Skip,  # noqa: E402
                         accepts_connections, check, check_quick_exit, end_process, wait_for)
from player_e2e import (Picture, PixelWatch, VirtualDisplay, check_alternating,  # noqa: E402
                        frames_only, make_clip, make_optimized_ball)

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
    """Xvfb on GIFPLAY_WINE_DISPLAY when set, else on the first free display;
    Wine runs there with the shared prefix and without its debug output."""

    def __init__(self, prefix, work):
        super().__init__()
        self.prefix, self.work = prefix, work
        self.log = open(os.path.join(work, "wine.log"), "ab")

    def __enter__(self):
        number = os.environ.get("GIFPLAY_WINE_DISPLAY")
        if not number:
            return super().__enter__()
        socket = "/tmp/.X11-unix/X%s" % number
        check(not os.path.exists(socket), "display :%s is in use" % number)
        self.process = subprocess.Popen(
            ["Xvfb", ":" + number, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(wait_for(lambda: accepts_connections(socket), 10) and self.process.poll() is None,
              "Xvfb did not start on :%s" % number)
        self.name = ":" + number
        return self

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

    def screenshot(self):
        shot = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              env=self.env(), capture_output=True, check=True)
        return Picture.from_ppm(shot.stdout)

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


class WinePlayer:
    def __init__(self, display, program):
        self.display = display
        self.process = display.start("wine", program)

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def holds_open(self, path):
        """Whether the player's process has path open (the sequencer's file)."""
        fds = "/proc/%d/fd" % self.process.pid
        try:
            return any(os.path.realpath(os.path.join(fds, fd)) == os.path.realpath(path)
                       for fd in os.listdir(fds))
        except OSError:
            return False

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# ---- what is played ------------------------------------------------------


def make_animation(work):
    """160 x 120, a full first frame of 4 s, then two smaller frames of 0.8 s
    placed inside it; one global colour table, no transparency, frames left
    in place. ImageMagick draws what the window must show after each frame."""
    gif = os.path.join(work, "three_frames.gif")
    frames = [("160x120", "+0+0", 11, 400), ("60x40", "+30+20", 12, 80),
              ("80x50", "+75+65", 13, 80)]
    command = ["convert", "-dispose", "None"]
    for size, offset, seed, delay in frames:
        command += ["(", "-size", size, "-seed", str(seed), "plasma:fractal", "-set", "page",
                    offset, "-set", "delay", str(delay), ")"]
    command += ["-set", "page", "%dx%d" % SIZE, "+map", "-loop", "0", gif]
    subprocess.run(command, check=True)
    subprocess.run(["convert", gif, "-coalesce", "+adjoin",
                    os.path.join(work, "shown_%d.ppm")], check=True)
    return gif, [Picture.load(os.path.join(work, "shown_%d.ppm" % i)) for i in range(3)]


def make_song(work):
    """A format-0 Standard MIDI File: one note of a second, then the end."""
    track = bytes([0x00, 0xC0, 0x00, 0x00, 0x90, 0x3C, 0x50, 0x81, 0x40, 0x80, 0x3C, 0x40,
                   0x00, 0xFF, 0x2F, 0x00])
    song = (b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0, 96]) + b"MTrk" +
            len(track).to_bytes(4, "big") + track)
    path = os.path.join(work, "song.mid")
    with open(path, "wb") as f:
        f.write(song)
    return path, song


def append_record(path, tag, payload):
    """A record as the player finds it: "*", the tag, ":", a 32-bit length."""
    with open(path, "ab") as f:
        f.write(b"*" + tag + b":" + len(payload).to_bytes(4, "little") + payload)


def pack(args, player, output, gif, song=None, options=()):
    command = ([args.gifpack, "--player", player, *options, gif] + ([song] if song else []) +
               ["-o", output])
    result = subprocess.run(command, capture_output=True, text=True)
    check(result.returncode == 0, "gifpack failed: " + result.stderr.strip())
    return output


# ---- looking at the screen -----------------------------------------------


def client_area(display, origin):
    x, y = origin
    return display.screenshot().crop(x, y, SIZE[0], SIZE[1])


def watch_frames(display, origin, shown, seconds, saved=None):
    """The frames the client area shows over a while, in the order they came
    (repeats folded); a capture that matches none fails the test."""
    seen = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        crop = client_area(display, origin)
        states = [i for i, s in enumerate(shown) if s.rgb == crop.rgb]
        if not states:
            crop.save(os.path.join(display.work, "unexpected.ppm"))
        check(states, "the client area shows none of the expected frames (unexpected.ppm)")
        if not seen or seen[-1] != states[0]:
            seen.append(states[0])
            if saved is not None:
                saved.setdefault(states[0], crop)
        time.sleep(0.05)
    return seen


def check_cycle(seen, who):
    check(len(seen) >= 4, "%s: frames seen %s; expected 0, 1, 2, 0" % (who, seen))
    check(seen[0] == 0, "%s: the first frame shown was %d" % (who, seen[0]))
    for a, b in zip(seen, seen[1:]):
        check(b == (a + 1) % 3, "%s: frames seen in the order %s" % (who, seen))


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

        choose(display, window, "alt+f", "x")
        code = player.wait(10)
        check(code is not None, "File > Exit did not end the player")
        check(code == 0, "exit code %s after File > Exit" % code)
        check(not os.path.exists(temp_song), "the song file is still there after Exit")
    finally:
        player.stop()


def scenario_close(args, display):
    gif, shown = make_animation(display.work)
    song_path, _ = make_song(display.work)
    exe = pack(args, args.windows_player, os.path.join(display.work, "player.exe"), gif, song_path)
    temp_song = os.path.join(wine_temp(args), "gifplay.mid")
    player = WinePlayer(display, exe)
    try:
        window, origin = wine_window(display, Probe(display, args.probe))
        check(wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1),
              "the client area does not show the first frame")
        check(os.path.isfile(temp_song), "no song file %s while playing" % temp_song)
        display.close(window)
        code = player.wait(10)
        check(code is not None, "closing the window did not end the player")
        check(code == 0, "exit code %s after closing the window" % code)
        check(not os.path.exists(temp_song), "the song file is still there after closing")
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


def scenario_about(args, display):
    gif, _ = make_animation(display.work)
    exe = pack(args, args.windows_player, os.path.join(display.work, "player.exe"), gif)
    player = WinePlayer(display, exe)
    probe = Probe(display, args.probe)
    try:
        window, _ = wine_window(display, probe)
        choose(display, window, "alt+h", "a")
        about = probe.dialog(ABOUT_TITLE)
        print(about, end="")
        check('owner "%s"' % TITLE in about, "the About box does not belong to the main window")
        for text in ABOUT_TEXTS:
            check('"%s"' % text in about, "the About box lacks the text %r" % text)
        check(" icon=yes" in about, "the About box shows no icon")
        found = display.windows(ABOUT_TITLE)
        check(len(found) == 1, "X windows titled %r: %s" % (ABOUT_TITLE, found))
        x, y, w, h = display.geometry(found[0])
        display.screenshot().crop(x, y, w, h).save(os.path.join(display.work, "about.ppm"))

        choose(display, found[0], "Return")
        check(probe.gone(ABOUT_TITLE), "Ok did not close the About box")
        check(player.process.poll() is None, "the player ended with the About box")
        choose(display, window, "alt+f", "x")
        check(player.wait(10) == 0, "the player did not end with 0 after the About box")
    finally:
        player.stop()


def ends_at_once_without_window(display, program, temp_song):
    player = WinePlayer(display, program)
    try:
        started = time.monotonic()
        windows = []
        while player.process.poll() is None and time.monotonic() - started < 20:
            windows += display.windows(TITLE)
            time.sleep(0.05)
        code = player.wait(0.1)
        check(code is not None, "%s did not end" % os.path.basename(program))
        check(code == 0, "%s: exit code %s" % (os.path.basename(program), code))
        check(not windows, "%s showed a window" % os.path.basename(program))
        check(not os.path.exists(temp_song), "%s left the song file behind" % program)
    finally:
        player.stop()


def scenario_no_picture(args, display):
    song_path, song = make_song(display.work)
    temp_song = os.path.join(wine_temp(args), "gifplay.mid")
    if os.path.exists(temp_song):
        os.remove(temp_song)
    song_only = os.path.join(display.work, "song_only.exe")
    shutil.copyfile(args.windows_player, song_only)
    append_record(song_only, b"MIDI" + b"_BEGINS_HERE", song)
    bare = os.path.join(display.work, "bare.exe")
    shutil.copyfile(args.windows_player, bare)
    with open(bare, "rb") as f:
        image = f.read()
    for tag in (b"GIF", b"MIDI"):
        check(b"*" + tag + b"_BEGINS_HERE:" not in image,
              "the Windows player carries a complete %s marker" % tag.decode())
    for program in (song_only, bare):
        ends_at_once_without_window(display, program, temp_song)


def scenario_same_as_linux(args, display):
    if not args.linux_player or not os.path.isfile(args.linux_player):
        raise Skip("no Linux player to compare with")
    gif, shown = make_animation(display.work)
    work = display.work
    captures = {}
    for who in ("Linux", "Windows"):
        saved = {}
        if who == "Linux":
            program = pack(args, args.linux_player, os.path.join(work, "player"), gif)
            player = Player(program, display.env(), work)
            found = wait_for(lambda: display.windows(TITLE) or player.process.poll() is not None,
                             15)
            check(player.process.poll() is None and found, "the Linux player shows no window")
            x, y, w, h = display.geometry(found[0])
            origin = wait_for(lambda: display.screenshot().find(shown[0], (x, y, x + w, y + h)),
                              3, 0.1)
            check(origin, "the Linux player's window does not show the first frame")
        else:
            program = pack(args, args.windows_player, os.path.join(work, "player.exe"), gif)
            player = WinePlayer(display, program)
            _, origin = wine_window(display, Probe(display, args.probe))
            check(wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1),
                  "the Windows player does not show the first frame")
        try:
            check_cycle(watch_frames(display, origin, shown, 7.5, saved), who + " player")
        finally:
            player.stop()
        for index, crop in saved.items():
            crop.save(os.path.join(work, "%s_%d.ppm" % (who.lower(), index)))
        captures[who] = saved
    for index in range(3):
        check(captures["Linux"][index].rgb == captures["Windows"][index].rgb,
              "frame %d differs between the Linux and the Windows player" % index)


def scenario_rewritten(args, display):
    gif, shown = make_optimized_ball(display.work, *SIZE, first_delay=400)
    exe = os.path.join(display.work, "player.exe")
    result = subprocess.run([args.gifpack, "--player", args.windows_player, gif, "-o", exe],
                            capture_output=True, text=True)
    check(result.returncode == 0 and "rewritten so that the player shows it as browsers do: "
          "transparency" in result.stderr, "gifpack did not rewrite: " + result.stderr.strip())
    for exe, shown in ((exe, shown), pack_clip(args, display)):
        player = WinePlayer(display, exe)
        try:
            _, origin = wine_window(display, Probe(display, args.probe))
            check(wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1),
                  "%s does not show the first step" % os.path.basename(exe))
            check_cycle(watch_frames(display, origin, shown, 7.5), os.path.basename(exe))
        finally:
            player.stop()


def pack_clip(args, display):
    """A clip that the Linux gifpack packs for the Windows player."""
    clip, shown = make_clip(args.gifpack, display.work)
    exe = os.path.join(display.work, "clip.exe")
    result = subprocess.run([args.gifpack, "--player", args.windows_player, clip, "-o", exe],
                            capture_output=True, text=True)
    check(result.returncode == 0, "gifpack could not pack a clip: " + result.stderr.strip())
    return exe, shown


def scenario_gifpack(args, display):
    if not args.windows_gifpack or not os.path.isfile(args.windows_gifpack):
        raise Skip("no Windows gifpack at %s" % args.windows_gifpack)
    work = display.work
    gif, shown = make_animation(work)
    song_path, _ = make_song(work)
    code, out = display.wine(args.windows_gifpack, "three_frames.gif", "song.mid", "-o", "w.exe",
                             cwd=work, with_errors=True)
    check(code == 0, "gifpack.exe could not pack: %s" % out.strip())
    with open(os.path.join(work, "clip.mp4"), "wb") as clip:  # an MP4 by its first bytes
        clip.write(b"\0\0\0\x18ftypisom" + bytes(64))
    code, out = display.wine(args.windows_gifpack, "clip.mp4", "-o", "c.exe", cwd=work,
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
        drawn = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], capture_output=True)
        check(drawn.returncode == 0, "%s is no PNG that ImageMagick reads" % png)
        check(Picture.from_ppm(drawn.stdout).rgb == expected.rgb,
              "%s differs from what the player shows" % os.path.basename(png))
    check_rewritten_alike(args, display)


def make_optimized(work):
    """160 x 120 over four steps: frames smaller than the screen with
    transparent pixels, disposal to the previous picture and to the
    background, a colour table for each frame; and each step as browsers show
    it (ImageMagick's -coalesce, transparency white)."""
    gif = os.path.join(work, "optimized.gif")
    subprocess.run([
        "convert", "-dispose", "none", "-delay", "100", "-size", "160x120", "xc:yellow",
        "-dispose", "previous", "-delay", "80", "(", "-size", "40x30", "xc:red",
        "-set", "page", "+20+20", ")",
        "-dispose", "background", "(", "-size", "50x40", "xc:none", "-fill", "lime", "-draw",
        "circle 25,20 25,38", "-set", "page", "+90+60", ")",
        "-dispose", "none", "(", "-size", "30x30", "xc:blue", "-fill", "white", "-draw",
        "rectangle 5,5 20,20", "-set", "page", "+10+80", ")",
        "-set", "page", "160x120", "-loop", "0", gif], check=True)
    subprocess.run(["convert", gif, "-coalesce", "-background", "white", "-alpha", "remove",
                    "-alpha", "off", "-depth", "8", "+adjoin",
                    os.path.join(work, "optimized_%d.ppm")], check=True)
    return gif, [Picture.load(os.path.join(work, "optimized_%d.ppm" % i)) for i in range(4)]


def check_rewritten_alike(args, display):
    """gifpack.exe and the Linux gifpack rewrite alike, option for option, and
    the player shows the first GIF's steps as browsers do."""
    work = display.work
    gif, shown = make_optimized(work)
    colourful = os.path.join(work, "colourful.gif")
    subprocess.run(["convert", "-delay", "20", "-size", "160x120", "-seed", "3", "plasma:fractal",
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
    player = WinePlayer(display, os.path.join(work, "optimized.exe"))
    try:
        _, origin = wine_window(display, Probe(display, args.probe))
        check(wait_for(lambda: client_area(display, origin).rgb == shown[0].rgb, 2, 0.1),
              "the Windows player does not show the first step")
        seen = watch_frames(display, origin, shown, 7.5)
        check(len(seen) >= 5 and seen[0] == 0 and
              all(b == (a + 1) % len(shown) for a, b in zip(seen, seen[1:])),
              "the Windows player showed the steps in the order %s" % seen)
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
    command = ["convert"]
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
        watch = PixelWatch(display.name)
        try:
            window, (x, y) = wine_window(display, Probe(display, args.probe))
            colours = [c for c, _ in frames]
            seen = frames_only(watch.colours(x + SIZE[0] // 2, y + SIZE[1] // 2, seconds),
                               colours)
            if name == "red_blue":
                check_alternating(seen, colours, "Windows player")
                continue
            check(len(seen) >= 6, "delay 0: the frames did not change: seen %s" % seen[:12])
            choose(display, window, "alt+f", "x")
            check_quick_exit(player)
        finally:
            watch.close()
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
    "close": scenario_close,
    "killed": scenario_killed,
    "about": scenario_about,
    "no-picture": scenario_no_picture,
    "same-as-linux": scenario_same_as_linux,
    "rewritten": scenario_rewritten,
    "gifpack": scenario_gifpack,
    "zip": scenario_zip,
    "delays": scenario_delays,
}


def missing_tool(args):
    """Why this machine cannot run the Wine tests, or None."""
    for tool in ("wine", "wineserver", "Xvfb", "xdotool", "import", "convert"):
        if shutil.which(tool) is None:
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
    work = args.keep or tempfile.mkdtemp(prefix="gifplay-wine-")
    os.makedirs(work, exist_ok=True)
    try:
        with WineDisplay(args.prefix, work) as display:
            SCENARIOS[args.scenario](args, display)
        print("PASS: %s" % args.scenario)
        return 0
    except Skip as skip:
        print("SKIP: %s: %s" % (args.scenario, skip))
        return SKIPPED
    except Failure as failure:
        print("FAIL: %s: %s (files in %s)" % (args.scenario, failure, work))
        args.keep = work
        return 1
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS) + ["cleanup"])
    parser.add_argument("--windows-player", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--linux-player")
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
