#!/usr/bin/env python3
"""The packed Linux player's music, end to end, on the virtual X display :93.

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

Usage: music_e2e.py SCENARIO --player P --song S --gif G
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool, or for close
and exit no PulseAudio).
"""

import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (SONG_FILE, TITLE, Failure, Skip, accepts_connections,  # noqa: E402
                         check, close_window, end_process, run_in_scratch, wait_for)

DISPLAY = ":93"


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


class Player:
    def __init__(self, program, env, temp, wrapper=()):
        env = dict(env)
        env["TEMP"] = temp
        self.process = subprocess.Popen([*wrapper, program], env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)

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
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--player", required=True)
    parser.add_argument("--song", required=True)
    parser.add_argument("--gif", required=True)
    args = parser.parse_args()
    return run_in_scratch("gifplay-music-e2e-", lambda work: SCENARIOS[args.scenario](args, work))


if __name__ == "__main__":
    sys.exit(main())
