#!/usr/bin/env python3
"""What the music adds to the running Linux player, on the virtual display :93.

The same player is packed with the benchmark animation (testdata/bench/
anim.gif, 320x240 at 25 frames a second) once without and once with the demo
song, and each is run several times:

  start-up   from exec until the window is on the screen (polled with
             xdotool, so a few milliseconds coarse): median of the runs
  memory     resident memory 3 s after start
  CPU        user + system time from 3 s to 13 s after start, as % of a core

with the song heard on a private PulseAudio server with a null sink, and once
more with no audio output at all (the sequencer cannot open; the player is
silent). Then gifplay_music_bench prints the sequencer's own costs.

Usage: music_cost.py --build-dir BUILD [--testdata DIR] [--runs N]
"""

import argparse
import os
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

DISPLAY = ":93"
TITLE = "Corvane Animation Player"
TICKS = os.sysconf("SC_CLK_TCK")


def wait_for(predicate, timeout, interval=0.005):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return None


class Background:
    def __init__(self, args, env=None):
        self.process = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def end(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def start_display():
    if os.path.exists("/tmp/.X%s-lock" % DISPLAY[1:]):
        raise SystemExit("display %s is in use" % DISPLAY)
    xvfb = Background(["Xvfb", DISPLAY, "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                       "-noreset"])
    if not wait_for(lambda: os.path.exists("/tmp/.X11-unix/X" + DISPLAY[1:]), 10):
        raise SystemExit("Xvfb did not start")
    return xvfb


def start_sound_server(work):
    runtime = os.path.join(work, "pulse")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=runtime,
               PULSE_SERVER="unix:" + os.path.join(runtime, "pulse", "native"))
    if not shutil.which("pulseaudio"):
        return None, None
    daemon = Background(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                         "--use-pid-file=no", "--disallow-exit", "-L", "module-null-sink",
                         "-L", "module-native-protocol-unix"], env=env)
    ready = wait_for(lambda: subprocess.run(["pactl", "info"], env=env,
                                            capture_output=True).returncode == 0, 10, 0.1)
    if not ready:
        daemon.end()
        return None, None
    return daemon, env


def pack(player, output, gif, song=None):
    shutil.copyfile(player, output)
    shutil.copymode(player, output)
    with open(output, "ab") as f:
        for tag, path in ((b"GIF", gif), (b"MIDI", song)):
            if path:
                with open(path, "rb") as payload:
                    data = payload.read()
                f.write(b"*" + tag + b"_BEGINS_HERE:" + struct.pack("<I", len(data)) + data)
    return output


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def window_shown(env):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE], env=env,
                            capture_output=True, text=True)
    return result.stdout.split()


def run_once(program, env, temp, measure_cpu):
    started = time.monotonic()
    process = subprocess.Popen([program], env=dict(env, TEMP=temp),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        shown = wait_for(lambda: window_shown(env) or process.poll() is not None, 20)
        startup = time.monotonic() - started
        if not shown or process.poll() is not None:
            raise SystemExit("the player showed no window (exit code %s)" % process.poll())
        time.sleep(max(0.0, 3 - (time.monotonic() - started)))
        resident = resident_kb(process.pid)
        cpu = None
        if measure_cpu:
            before, wall = cpu_seconds(process.pid), time.monotonic()
            time.sleep(10)
            cpu = (cpu_seconds(process.pid) - before) / (time.monotonic() - wall)
        return startup, resident, cpu
    finally:
        process.kill()
        process.wait()


def measure(name, program, env, temp, runs):
    results = [run_once(program, env, temp, measure_cpu=(i == 0)) for i in range(runs)]
    startup = statistics.median(r[0] for r in results) * 1000
    resident = statistics.median(r[1] for r in results)
    cpu = results[0][2] * 100
    print("%-34s start-up %6.1f ms   memory %7d kB   CPU %5.1f%%" % (name, startup, resident, cpu))
    return startup, resident, cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--testdata", default=os.path.join(os.path.dirname(__file__), "..", "testdata"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    player = os.path.join(args.build_dir, "app", "gifplay")
    song = os.path.join(args.build_dir, "demo", "demo.mid")
    bench = os.path.join(args.build_dir, "bench", "gifplay_music_bench")
    gif = os.path.join(args.testdata, "bench", "anim.gif")
    work = tempfile.mkdtemp(prefix="gifplay-music-bench-")
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    xvfb = start_display()
    daemon = None
    try:
        silent = pack(player, os.path.join(work, "silent"), gif)
        musical = pack(player, os.path.join(work, "musical"), gif, song)
        display = dict(os.environ, DISPLAY=DISPLAY, GDK_BACKEND="x11", NO_AT_BRIDGE="1")
        daemon, sound = start_sound_server(work)
        print("player on %s, %d runs each (median start-up and memory; CPU over 10 s)"
              % (DISPLAY, args.runs))
        if sound:
            env = dict(display, **{k: sound[k] for k in ("XDG_RUNTIME_DIR", "PULSE_SERVER")})
            base = measure("no music record", silent, env, temp, args.runs)
            music = measure("demo song on PulseAudio", musical, env, temp, args.runs)
            print("%-34s start-up %+6.1f ms   memory %+7d kB   CPU %+5.1f%%"
                  % ("the music adds", music[0] - base[0], music[1] - base[1],
                     music[2] - base[2]))
        else:
            print("no PulseAudio: the music is measured without an audio output only")
        nowhere = dict(display, PULSE_SERVER="unix:" + os.path.join(work, "none"),
                       ALSA_CONFIG_PATH=os.path.join(work, "none.conf"))
        measure("demo song, no audio output", musical, nowhere, temp, args.runs)
        print()
        print("the sequencer inside the process (gifplay_music_bench):")
        bench_env = dict(os.environ, **({k: sound[k] for k in ("XDG_RUNTIME_DIR", "PULSE_SERVER")}
                                        if sound else {}))
        subprocess.run([bench, song] + ([] if sound else ["null"]), env=bench_env)
    finally:
        if daemon:
            daemon.end()
        xvfb.end()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
