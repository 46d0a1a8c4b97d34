#!/usr/bin/env python3
"""The packed Linux player's music, end to end, on the virtual X display :93
(or :N given by GIFPLAY_MUSIC_DISPLAY).

Each scenario packs a player with a picture and (mostly) a song, runs it with
TEMP set to a fresh directory and looks at the temporary song file, at the
sound server and at how the player ends:

  close       the song is written to TEMP as gifplay.mid byte for byte and
              plays (a stream on a private PulseAudio server with a null sink,
              carrying sound); closing the window ends the player with 0 and
              the file is gone
  exit        the same, ended by File > Exit
  silent      no audio output can be opened: the animation runs (its window
              changes) in silence, with no other window and nothing on stderr;
              closing ends it with 0 and the file is gone
  no-fluidsynth  the same with FluidSynth hidden (a private library path
              whose libfluidsynth is a library without its functions)
  no-song     a player without a music record writes no file and never
              loads FluidSynth
  no-picture  a player with a song but no picture ends at once with 0, without
              a window, and leaves no file behind
  players     two and three players in one TEMP, closed in every order: each
              writes a song file of its own (gifplay.mid, gifplay-2.mid,
              gifplay-3.mid) and keeps playing it, loop after loop, while the
              others end; TEMP is empty at the end
  killed      five players killed with SIGKILL leave their song files; the next
              player deletes them but not the song of a player still running
              beside it, both keep playing their own song, and once both are
              closed TEMP is empty; the same in a TEMP that every user may
              write to, where the files are in a directory of the user's own
  planted     a symbolic link, then a FIFO, at TEMP/gifplay.mid: start-up does
              not block, the song plays from gifplay-2.mid, the link's target
              is untouched and neither planted file is removed
  signals     SIGINT, SIGTERM and SIGHUP, and a killed X server, each end the
              player with 0 and leave TEMP empty; the program's path holds a
              backslash, which is part of a directory's name
  crafted     GIFs that hold what the scanner takes for markers (one ending in
              "*", one whose comment holds a music record of another song),
              packed by gifpack: the song file in TEMP is the song gifpack was
              given, and gifpack --list names the record the player read

Usage: music_e2e.py SCENARIO --player P --song S --gif G [--gifpack G]
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool, or for close
and exit no PulseAudio).
"""

import argparse
import itertools
import os
import re
import shutil
import signal
import stat
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (SONG_FILE, TITLE, Failure, Player, Skip, accepts_connections,  # noqa: E402
                         check, close_window, end_process, run_in_scratch, wait_for)

DISPLAY = ":" + os.environ.get("GIFPLAY_MUSIC_DISPLAY", "93")


class Background:
    """A helper process of the test, ended by its own id."""

    def __init__(self, args, env=None):
        self.process = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def end(self):
        end_process(self.process)


class Display:
    def __enter__(self):
        if not shutil.which("Xvfb") or not shutil.which("xdotool"):
            raise Skip("no Xvfb or xdotool")
        number = DISPLAY[1:]
        if os.path.exists("/tmp/.X%s-lock" % number):
            raise Failure("display %s is taken" % DISPLAY)
        self.xvfb = Background(["Xvfb", DISPLAY, "-screen", "0", "1024x768x24", "-nolisten",
                                "tcp", "-noreset"])
        socket = "/tmp/.X11-unix/X%s" % number
        check(wait_for(lambda: accepts_connections(socket) or self.xvfb.process.poll() is not None, 10)
              and self.xvfb.process.poll() is None, "Xvfb did not start")
        return self

    def __exit__(self, *exc):
        self.xvfb.end()
        if self.xvfb.process.returncode == -signal.SIGKILL:  # it left its files behind
            for leftover in ("/tmp/.X%s-lock" % DISPLAY[1:], "/tmp/.X11-unix/X%s" % DISPLAY[1:]):
                if os.path.exists(leftover):
                    os.remove(leftover)

    def env(self):
        env = dict(os.environ)
        env.update(DISPLAY=DISPLAY, GDK_BACKEND="x11", NO_AT_BRIDGE="1")
        return env

    def window_pixels(self, window):
        """The window's pixels as the screen shows them."""
        result = subprocess.run(["import", "-window", window, "rgb:-"], env=self.env(),
                                capture_output=True)
        return result.stdout

    def windows(self, title):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                                env=self.env(), capture_output=True, text=True)
        return result.stdout.split()

    def keys(self, window, *keys):
        """Each key on its own, with time for the menu to follow."""
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=self.env())
        time.sleep(0.2)
        for key in keys:
            subprocess.run(["xdotool", "key", key], env=self.env())
            time.sleep(0.3)

    def close(self, window):
        """What a window manager does for the close box: WM_DELETE_WINDOW."""
        close_window(DISPLAY, window)


class SoundServer:
    """A private PulseAudio server with a null sink, reached only by our players."""

    def __init__(self, work):
        self.runtime = os.path.join(work, "pulse-runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.socket = os.path.join(self.runtime, "pulse", "native")

    def __enter__(self):
        if not shutil.which("pulseaudio") or not shutil.which("pactl"):
            raise Skip("no PulseAudio")
        self.daemon = Background(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disallow-exit", "-L", "module-null-sink", "-L", "module-native-protocol-unix"],
            env=self.env(dict(os.environ)))
        check(wait_for(lambda: self.pactl("info") is not None, 10), "PulseAudio did not start")
        return self

    def __exit__(self, *exc):
        self.daemon.end()

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
            rms = self.loudness(1.5)
            if rms is None or rms > 0.01:
                return True
        return False

    def loudness(self, seconds):
        """RMS of what the null sink plays during the given time, 0..1."""
        if not shutil.which("parec"):
            return None
        recorder = subprocess.Popen(["parec", "-d", "null.monitor", "--format=s16le",
                                     "--rate=44100", "--channels=2"],
                                    env=self.env(dict(os.environ)), stdout=subprocess.PIPE)
        time.sleep(seconds)
        recorder.send_signal(signal.SIGTERM)
        data = recorder.communicate()[0]
        samples = struct.unpack("<%dh" % (len(data) // 2), data[:len(data) // 2 * 2])
        if not samples:
            return 0.0
        return (sum(s * s for s in samples) / len(samples)) ** 0.5 / 32768


def pack(player, output, gif=None, song=None):
    shutil.copyfile(player, output)
    shutil.copymode(player, output)
    with open(output, "ab") as f:
        for tag, path in ((b"GIF", gif), (b"MIDI", song)):
            if path:
                with open(path, "rb") as payload:
                    data = payload.read()
                f.write(b"*" + tag + b"_BEGINS_HERE:" + struct.pack("<I", len(data)) + data)
    return output


def window_of(display, player):
    found = wait_for(lambda: display.windows(TITLE) or player.process.poll() is not None, 10)
    check(player.process.poll() is None, "the player ended before showing a window")
    check(found and len(found) == 1, "expected one window titled %r" % TITLE)
    return found[0]


def song_file(temp):
    return os.path.join(temp, SONG_FILE)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def plays_then_ends(args, work, end_by):
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack(args.player, os.path.join(work, "player"), args.gif, args.song)
    with Display() as display, SoundServer(work) as sound:
        player = Player(program, sound.env(display.env()), temp)
        try:
            window = window_of(display, player)
            check(read(song_file(temp)) == read(args.song),
                  "gifplay.mid in TEMP is not the song byte for byte")
            check(wait_for(lambda: len(sound.streams()) == 1, 5),
                  "the player opened no stream on the sound server")
            check(sound.hears_music(), "the sound server heard only silence")
            end_by(display, window)
            code = player.wait(5)
            check(code == 0, "exit code %s" % code)
            check(not os.path.exists(song_file(temp)), "gifplay.mid is still in TEMP")
            check(wait_for(lambda: not sound.streams(), 3), "the stream outlived the player")
        finally:
            stderr = player.stop()
    check(stderr == "", "the player wrote to stderr: %r" % stderr)


def midi_song(key, seconds=0.6):
    """A format 0 song of four notes one after the other, without pause,
    lasting the given time (a quarter note lasts a second)."""
    division = 480
    step = int(seconds * division / 4)
    events = b"\x00\xff\x51\x03\x0f\x42\x40" + b"\x00\xc0\x00"
    for i in range(4):
        events += b"\x00" + bytes([0x90, key + i, 110]) + varlen(step) + bytes([0x80, key + i, 0])
    events += b"\x00\xff\x2f\x00"
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, division) + b"MTrk" +
            struct.pack(">I", len(events)) + events)


def varlen(value):
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


def stream_of(sound, pid):
    """The sink input index of the process's stream, or None."""
    index = None
    for line in (sound.pactl("list", "sink-inputs") or "").splitlines():
        line = line.strip()
        if line.startswith("Sink Input #"):
            index = line[len("Sink Input #"):]
        elif line == 'application.process.id = "%d"' % pid:
            return index
    return None


def loudness_of_streams(sound, pids, seconds=1.2):
    """RMS of each process's own stream over the same stretch of time."""
    recorders = {}
    for pid in pids:
        index = stream_of(sound, pid)
        if index is not None:
            recorders[pid] = subprocess.Popen(
                ["parec", "--monitor-stream=" + index, "--format=s16le", "--rate=44100",
                 "--channels=2"], env=sound.env(dict(os.environ)), stdout=subprocess.PIPE)
    time.sleep(seconds)
    result = {pid: 0.0 for pid in pids}
    for pid, recorder in recorders.items():
        recorder.send_signal(signal.SIGTERM)
        data = recorder.communicate()[0]
        count = len(data) // 2
        if count:
            samples = struct.unpack("<%dh" % count, data[:count * 2])
            result[pid] = (sum(x * x for x in samples) / count) ** 0.5 / 32768
    return result


def scenario_players(args, work):
    """Each order of closing, for two and for three players; each player's
    song lasts 0.6 s, so two loops pass between two closings."""
    if not shutil.which("parec"):
        raise Skip("no parec")
    program = pack(args.player, os.path.join(work, "player"), args.gif)
    with Display() as display, SoundServer(work) as sound:
        for count in (2, 3):
            for order in itertools.permutations(range(count)):
                players_closed_in_order(display, sound, work, program, order)


def players_closed_in_order(display, sound, work, bare, order):
    temp = os.path.join(work, "temp-" + "".join(map(str, order)))
    os.mkdir(temp)
    names = [SONG_FILE, "gifplay-2.mid", "gifplay-3.mid"][:len(order)]
    songs = [midi_song(48 + 12 * i) for i in range(len(order))]
    players, windows = [], []
    try:
        for i, song in enumerate(songs):
            program = os.path.join(work, "player-%d" % i)
            shutil.copyfile(bare, program)
            shutil.copymode(bare, program)
            with open(program, "ab") as f:
                f.write(b"*MIDI" + b"_BEGINS_HERE:" + struct.pack("<I", len(song)) + song)
            players.append(Player(program, sound.env(display.env()), temp))
            before = set(display.windows(TITLE))
            found = wait_for(lambda: set(display.windows(TITLE)) - before, 10)
            check(found, "player %d of order %s showed no window" % (i, order))
            windows.append(found.pop())
            check(read(os.path.join(temp, names[i])) == song,
                  "player %d's song is not in %s" % (i, names[i]))
        for step, closing in enumerate(order):
            display.close(windows[closing])
            code = players[closing].wait(5)
            check(code == 0, "order %s: player %d ended with %s" % (order, closing, code))
            check(not os.path.exists(os.path.join(temp, names[closing])),
                  "order %s: player %d left %s" % (order, closing, names[closing]))
            alive = [i for i in order[step + 1:]]
            if not alive:
                break
            time.sleep(1.3)  # two loops of the others' songs
            for i in alive:
                check(players[i].process.poll() is None, "player %d ended" % i)
                check(read(os.path.join(temp, names[i])) == songs[i],
                      "order %s: player %d's %s changed" % (order, i, names[i]))
            loud = loudness_of_streams(sound, [players[i].process.pid for i in alive])
            for i in alive:
                check(loud[players[i].process.pid] > 0.005,
                      "order %s: player %d went silent after player %d ended (%.4f)"
                      % (order, i, closing, loud[players[i].process.pid]))
        check(os.listdir(temp) == [], "order %s left %s in TEMP" % (order, os.listdir(temp)))
    finally:
        for player in players:
            player.stop()


def song_files(temp):
    """Every file in TEMP and in the directories inside it."""
    return sorted(os.path.relpath(os.path.join(root, name), temp)
                  for root, _, names in os.walk(temp) for name in names)


def scenario_killed(args, work):
    songs = [midi_song(48 + 12 * i) for i in range(2)]
    programs = [pack(args.player, os.path.join(work, "player-%d" % i), args.gif) for i in range(2)]
    for program, song in zip(programs, songs):
        with open(program, "ab") as f:
            f.write(b"*MIDI" + b"_BEGINS_HERE:" + struct.pack("<I", len(song)) + song)
    with Display() as display:
        for kind in ("private", "shared"):
            temp = os.path.join(work, "temp-" + kind)
            os.mkdir(temp)
            os.chmod(temp, 0o1777 if kind == "shared" else 0o700)
            players = [Player(programs[0], display.env(), temp)]
            try:
                window_of(display, players[0])
                first = song_files(temp)
                killed = [Player(programs[1], display.env(), temp) for _ in range(5)]
                players += killed
                check(len(first) == 1 and wait_for(lambda: len(song_files(temp)) == 6, 10),
                      "%s: six players wrote %s" % (kind, song_files(temp)))
                for player in killed:
                    player.process.kill()
                    player.process.wait()
                players.append(Player(programs[1], display.env(), temp))
                check(wait_for(lambda: len(display.windows(TITLE)) == 2, 10),
                      "%s: the last player showed no window" % kind)
                files = first + [f for f in song_files(temp) if f != first[0]]
                check(len(files) == 2, "%s: with two players, TEMP holds %s" % (kind, files))
                time.sleep(1.3)  # two loops of each song
                for name, song in zip(files, songs):
                    check(read(os.path.join(temp, name)) == song,
                          "%s: %s is not its player's song" % (kind, name))
                for player in (players[0], players[-1]):
                    player.process.send_signal(signal.SIGTERM)
                    check(player.wait(5) == 0, "%s: a player did not end with 0" % kind)
                check(os.listdir(temp) == [], "%s: TEMP holds %s" % (kind, song_files(temp)))
            finally:
                for player in players:
                    player.stop()


def scenario_planted(args, work):
    program = pack(args.player, os.path.join(work, "player"), args.gif, args.song)
    song = read(args.song)
    with Display() as display:
        for kind in ("link", "fifo"):
            temp = os.path.join(work, "temp-" + kind)
            os.mkdir(temp)
            planted = song_file(temp)
            target = write(os.path.join(work, "target"), b"another user's file")
            if kind == "link":
                os.symlink(target, planted)
            else:
                os.mkfifo(planted)
            player = Player(program, display.env(), temp)
            try:
                window = window_of(display, player)
                check(read(os.path.join(temp, "gifplay-2.mid")) == song,
                      "with a %s planted, the song is not in gifplay-2.mid" % kind)
                display.close(window)
                code = player.wait(5)
                check(code == 0, "exit code %s" % code)
            finally:
                player.stop()
            check(read(target) == b"another user's file", "the link's target was changed")
            check(os.listdir(temp) == [SONG_FILE], "with a %s planted, TEMP holds %s"
                  % (kind, os.listdir(temp)))
            check(os.path.islink(planted) if kind == "link" else stat.S_ISFIFO(
                os.lstat(planted).st_mode), "the planted %s is not what it was" % kind)


def scenario_signals(args, work):
    folder = os.path.join(work, "odd\\name")
    os.mkdir(folder)
    program = pack(args.player, os.path.join(folder, "player"), args.gif, args.song)
    with Display() as display:
        for how in ("SIGINT", "SIGTERM", "SIGHUP", "X server killed"):
            temp = os.path.join(work, "temp-" + how.split()[0])
            os.mkdir(temp)
            player = Player(program, display.env(), temp)
            try:
                window_of(display, player)
                check(os.path.exists(song_file(temp)), "the song file was not written")
                if how.startswith("SIG"):
                    player.process.send_signal(getattr(signal, how))
                else:
                    display.xvfb.process.kill()
                code = player.wait(10)
                check(code == 0, "after %s: exit code %s" % (how, code))
                check(os.listdir(temp) == [], "after %s: TEMP holds %s" % (how, os.listdir(temp)))
            finally:
                stderr = player.stop()
            check(stderr == "", "after %s the player wrote to stderr: %r" % (how, stderr))


def scenario_crafted(args, work):
    if not args.gifpack:
        raise Skip("no gifpack")
    with open(args.gif, "rb") as f:
        gif = f.read()
    song, other = midi_song(60, 2.0), midi_song(40, 1.0)
    fake = b"*MIDI" + b"_BEGINS_HERE:" + struct.pack("<I", len(other)) + other
    comment = b"\x21\xfe" + b"".join(bytes([len(fake[i:i + 255])]) + fake[i:i + 255]
                                       for i in range(0, len(fake), 255)) + b"\x00"
    start = gif_blocks_start(gif)
    crafted = {"ends-in-star": gif + b"*", "song-in-comment": gif[:start] + comment + gif[start:]}
    with Display() as display:
        for name, data in crafted.items():
            temp = os.path.join(work, "temp-" + name)
            os.mkdir(temp)
            program = os.path.join(work, "player-" + name)
            result = subprocess.run(
                [args.gifpack, "--player", args.player, write(program + ".gif", data),
                 write(program + ".mid", song), "-o", program], capture_output=True, text=True)
            if result.returncode != 0:
                check(result.returncode == 2 and result.stderr.count("\n") == 1,
                      "%s: gifpack failed without a plain refusal: %r" % (name, result.stderr))
                continue
            listed = subprocess.run([args.gifpack, "--list", program], capture_output=True,
                                    text=True).stdout
            match = re.search(r"music  : marker at \d+, payload at (\d+), (\d+) bytes", listed)
            check(match, "%s: --list names no music record: %r" % (name, listed))
            offset, length = int(match.group(1)), int(match.group(2))
            check(read(program)[offset:offset + length] == song,
                  "%s: --list names another record than the song given" % name)
            player = Player(program, display.env(), temp)
            try:
                window = window_of(display, player)
                check(read(song_file(temp)) == song, "%s: the player plays another song" % name)
                display.close(window)
                check(player.wait(5) == 0, "%s: the player did not end with 0" % name)
            finally:
                player.stop()


def gif_blocks_start(gif):
    """Where the blocks after the screen descriptor and global table begin."""
    flags = gif[10]
    return 13 + (3 << ((flags & 7) + 1) if flags & 0x80 else 0)


def scenario_close(args, work):
    plays_then_ends(args, work, lambda display, window: display.close(window))


def scenario_exit(args, work):
    plays_then_ends(args, work, lambda display, window: display.keys(window, "alt+f", "x"))


def plays_in_silence(args, work, hide):
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack(args.player, os.path.join(work, "player"), args.gif, args.song)
    with Display() as display:
        env = display.env()
        hide(env)
        player = Player(program, env, temp)
        try:
            window = window_of(display, player)
            first = display.window_pixels(window)
            check(wait_for(lambda: display.window_pixels(window) != first, 5, 0.2),
                  "the animation does not move")
            check(player.process.poll() is None, "the player ended")
            check(len(display.windows(".")) == len(display.windows(TITLE)),
                  "another window appeared besides the player's")
            check(os.path.exists(song_file(temp)), "gifplay.mid was not written")
            display.close(display.windows(TITLE)[0])
            code = player.wait(5)
            check(code == 0, "exit code %s" % code)
            check(not os.path.exists(song_file(temp)), "gifplay.mid is still in TEMP")
        finally:
            stderr = player.stop()
    check(stderr == "", "the player wrote to stderr: %r" % stderr)


def scenario_silent(args, work):
    # Neither a sound server nor ALSA can be reached.
    plays_in_silence(args, work, lambda env: env.update(
        PULSE_SERVER="unix:" + os.path.join(work, "no-server"),
        ALSA_CONFIG_PATH=os.path.join(work, "no-alsa.conf")))


def scenario_no_fluidsynth(args, work):
    # A library that is not FluidSynth under FluidSynth's names, found first.
    stand_in = library_path("libgif.so.7")
    libraries = os.path.join(work, "lib")
    os.mkdir(libraries)
    for name in ("libfluidsynth.so.3", "libfluidsynth.so.2"):
        os.symlink(stand_in, os.path.join(libraries, name))
    plays_in_silence(args, work, lambda env: env.update(LD_LIBRARY_PATH=libraries))


def library_path(soname):
    """The file of a library that the dynamic loader finds by its soname."""
    for line in subprocess.run(["ldconfig", "-p"], capture_output=True, text=True).stdout.splitlines():
        name, _, path = line.strip().partition(" => ")
        if name.split(" ")[0] == soname and os.path.exists(path):
            return path
    raise Skip("no %s to stand in for FluidSynth" % soname)


def loads_fluidsynth(process):
    with open("/proc/%d/maps" % process.pid) as maps:
        return "libfluidsynth" in maps.read()


def scenario_no_song(args, work):
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack(args.player, os.path.join(work, "player"), args.gif)
    with Display() as display:
        player = Player(program, display.env(), temp)
        try:
            window = window_of(display, player)
            time.sleep(1)
            check(os.listdir(temp) == [], "the player wrote %s to TEMP" % os.listdir(temp))
            check(not loads_fluidsynth(player.process), "the player loaded FluidSynth")
            display.close(window)
            check(player.wait(5) == 0, "the player did not end with 0")
        finally:
            player.stop()


def scenario_no_picture(args, work):
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack(args.player, os.path.join(work, "player"), song=args.song)
    with Display() as display:
        player = Player(program, display.env(), temp)
        try:
            windows = []
            started = time.monotonic()
            while player.process.poll() is None and time.monotonic() - started < 5:
                windows += display.windows(TITLE)
                time.sleep(0.02)
            check(player.wait(0.1) == 0, "the player did not end at once with 0")
            check(not windows, "the player showed a window")
            check(os.listdir(temp) == [], "the player left %s in TEMP" % os.listdir(temp))
        finally:
            player.stop()


SCENARIOS = {
    "close": scenario_close,
    "exit": scenario_exit,
    "silent": scenario_silent,
    "no-fluidsynth": scenario_no_fluidsynth,
    "no-song": scenario_no_song,
    "no-picture": scenario_no_picture,
    "players": scenario_players,
    "killed": scenario_killed,
    "planted": scenario_planted,
    "signals": scenario_signals,
    "crafted": scenario_crafted,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--player", required=True)
    parser.add_argument("--song", required=True)
    parser.add_argument("--gif", required=True)
    parser.add_argument("--gifpack")
    args = parser.parse_args()
    return run_in_scratch("gifplay-music-e2e-", lambda work: SCENARIOS[args.scenario](args, work))


if __name__ == "__main__":
    sys.exit(main())
