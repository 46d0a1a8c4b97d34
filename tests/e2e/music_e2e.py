#!/usr/bin/env python3
"""The packed Linux player's music, end to end, on a virtual X display.

Each scenario packs a player with a picture and (mostly) a song, runs it with
TEMP set to a fresh directory and looks at the temporary song file, at the
sound server and at how the player ends:

  close       the song is written to TEMP as gifplay.mid byte for byte and
              plays (a stream on a private PulseAudio server with a null sink,
              carrying sound); closing the window ends the player with 0, the
              file and the stream are gone, and nothing was said on stderr
  silent      no audio output can be opened: the animation runs (its window
              changes) in silence, with no other window and nothing on stderr;
              closing ends it with 0 and the file is gone
  no-fluidsynth  the same with FluidSynth hidden (a private library path
              whose libfluidsynth is a library without its functions)
  no-song     a player without a music record writes no file and never
              loads FluidSynth
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
  signals     SIGINT, SIGTERM and SIGHUP each end the player with 0, leave
              TEMP empty and say nothing on stderr; the program's path holds a
              backslash, which is part of a directory's name
  crafted     GIFs that hold what the scanner takes for markers (one ending in
              "*", one whose comment holds a music record of another song),
              packed by gifpack: the song file in TEMP is the song gifpack was
              given, and gifpack --list names the record the player read

Usage: music_e2e.py SCENARIO --player P --song S --gif G [--gifpack G]
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool, or for close
no PulseAudio).
"""

import argparse
import itertools
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (SKIPPED, SONG_FILE, TITLE, Player, Skip, SoundServer,  # noqa: E402
                         VirtualDisplay, check, midi_song, missing_tools, pack_by_hand, read,
                         record, run_scenario, wait_for, write)


def song_file(temp):
    return os.path.join(temp, SONG_FILE)


def scenario_close(args, work):
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack_by_hand(args.player, os.path.join(work, "player"), args.gif, args.song)
    with VirtualDisplay() as display, SoundServer(work) as sound:
        player = Player(display, program, temp, env=sound.env(display.env()))
        try:
            window = player.window()
            check(read(song_file(temp)) == read(args.song),
                  "gifplay.mid in TEMP is not the song byte for byte")
            check(wait_for(lambda: len(sound.streams()) == 1, 5),
                  "the player opened no stream on the sound server")
            check(sound.hears_music(), "the sound server heard only silence")
            display.close(window)
            code = player.wait(5)
            check(code == 0, "exit code %s" % code)
            check(not os.path.exists(song_file(temp)), "gifplay.mid is still in TEMP")
            check(wait_for(lambda: not sound.streams(), 3), "the stream outlived the player")
        finally:
            stderr = player.stop()
    check(stderr == "", "the player wrote to stderr: %r" % stderr)


def scenario_players(args, work):
    """Each order of closing, for two and for three players; each player's
    song lasts 0.6 s, so two loops pass between two closings."""
    if not shutil.which("parec"):
        raise Skip("no parec")
    program = pack_by_hand(args.player, os.path.join(work, "player"), args.gif)
    with VirtualDisplay() as display, SoundServer(work) as sound:
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
            program = pack_by_hand(bare, os.path.join(work, "player-%d" % i), song=song)
            players.append(Player(display, program, temp, env=sound.env(display.env())))
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
            streams = [sound.stream_of(players[i].process.pid) for i in alive]
            loud = sound.loudness_of([["--monitor-stream=" + index] for index in streams
                                      if index is not None], 1.2)
            for i, index in zip(alive, streams):
                level = loud.pop(0) if index is not None else 0.0
                check(level > 0.005, "order %s: player %d went silent after player %d ended "
                      "(%.4f)" % (order, i, closing, level))
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
    programs = [pack_by_hand(args.player, os.path.join(work, "player-%d" % i), args.gif, song)
                for i, song in enumerate(songs)]
    with VirtualDisplay() as display:
        for kind in ("private", "shared"):
            temp = os.path.join(work, "temp-" + kind)
            os.mkdir(temp)
            os.chmod(temp, 0o1777 if kind == "shared" else 0o700)
            players = [Player(display, programs[0], temp)]
            try:
                players[0].window()
                first = song_files(temp)
                killed = [Player(display, programs[1], temp) for _ in range(5)]
                players += killed
                check(len(first) == 1 and wait_for(lambda: len(song_files(temp)) == 6, 10),
                      "%s: six players wrote %s" % (kind, song_files(temp)))
                for player in killed:
                    player.process.kill()
                    player.process.wait()
                players.append(Player(display, programs[1], temp))
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
    program = pack_by_hand(args.player, os.path.join(work, "player"), args.gif, args.song)
    song = read(args.song)
    with VirtualDisplay() as display:
        for kind in ("link", "fifo"):
            temp = os.path.join(work, "temp-" + kind)
            os.mkdir(temp)
            planted = song_file(temp)
            target = write(os.path.join(work, "target"), b"another user's file")
            if kind == "link":
                os.symlink(target, planted)
            else:
                os.mkfifo(planted)
            player = Player(display, program, temp)
            try:
                window = player.window()
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
    program = pack_by_hand(args.player, os.path.join(folder, "player"), args.gif, args.song)
    with VirtualDisplay() as display:
        for how in ("SIGINT", "SIGTERM", "SIGHUP"):
            temp = os.path.join(work, "temp-" + how)
            os.mkdir(temp)
            player = Player(display, program, temp)
            try:
                player.window()
                check(os.path.exists(song_file(temp)), "the song file was not written")
                player.process.send_signal(getattr(signal, how))
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
    fake = record(b"MIDI", other)
    comment = b"\x21\xfe" + b"".join(bytes([len(fake[i:i + 255])]) + fake[i:i + 255]
                                       for i in range(0, len(fake), 255)) + b"\x00"
    start = gif_blocks_start(gif)
    crafted = {"ends-in-star": gif + b"*", "song-in-comment": gif[:start] + comment + gif[start:]}
    with VirtualDisplay() as display:
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
            player = Player(display, program, temp)
            try:
                window = player.window()
                check(read(song_file(temp)) == song, "%s: the player plays another song" % name)
                display.close(window)
                check(player.wait(5) == 0, "%s: the player did not end with 0" % name)
            finally:
                player.stop()


def gif_blocks_start(gif):
    """Where the blocks after the screen descriptor and global table begin."""
    flags = gif[10]
    return 13 + (3 << ((flags & 7) + 1) if flags & 0x80 else 0)


def plays_in_silence(args, work, hide):
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    program = pack_by_hand(args.player, os.path.join(work, "player"), args.gif, args.song)
    with VirtualDisplay() as display:
        env = display.env()
        hide(env)
        player = Player(display, program, temp, env=env)
        try:
            window = player.window()
            first = display.shows(window).rgb
            check(wait_for(lambda: display.shows(window).rgb != first, 5, 0.2),
                  "the animation does not move")
            check(player.process.poll() is None, "the player ended")
            check(len(display.xdotool("search", "--onlyvisible", "--name", ".")) == 1,
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
    program = pack_by_hand(args.player, os.path.join(work, "player"), args.gif)
    with VirtualDisplay() as display:
        player = Player(display, program, temp)
        try:
            window = player.window()
            time.sleep(1)
            check(os.listdir(temp) == [], "the player wrote %s to TEMP" % os.listdir(temp))
            check(not loads_fluidsynth(player.process), "the player loaded FluidSynth")
            display.close(window)
            check(player.wait(5) == 0, "the player did not end with 0")
        finally:
            player.stop()


SCENARIOS = {
    "close": scenario_close,
    "silent": scenario_silent,
    "no-fluidsynth": scenario_no_fluidsynth,
    "no-song": scenario_no_song,
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
    tool = missing_tools("Xvfb", "xdotool", "import")
    if tool:
        print("SKIP: %s is not installed (scripts/setup.sh installs it)" % tool)
        return SKIPPED
    return run_scenario(args.scenario, lambda work: SCENARIOS[args.scenario](args, work),
                        prefix="gifplay-music-e2e-")


if __name__ == "__main__":
    sys.exit(main())
