#!/usr/bin/env python3
"""The packed Linux player on a virtual X display, driven as a user would.

Each scenario starts its own Xvfb, packs a player, runs it, and checks what
appears on the screen and how the player ends:

  frames       one window "Corvane Animation Player"; its client area shows
               the composited frames pixel for pixel, in order; File > Exit
               ends the player with 0
  scroll-lines a smaller window shows the picture's top left corner with
               scroll bars; each arrow moves the picture by a line (10
               pixels), a wheel notch over a bar by 3 lines, then a click in
               a trough by a page (100 pixels) from there
  larger-than-screen  a picture larger than the screen gets a window no larger
               than the screen (and its frame), with scroll bars
  zero-delays  frames of delay 0 play (the window changes and paints), and
               File > Exit ends the player with 0 within a second
  red-blue     a red frame of delay 0 and a blue one of 1 s alternate
  no-picture   a player without records, one whose GIF has no global colour
               table, and one with a song but no picture each end at once
               with 0, without a window, leaving TEMP empty
  rewritten    an optimized GIF with transparency, which gifpack rewrites: the
               client area shows each step as ImageMagick's -coalesce does
               (and browsers do), in order
  older-system the player plays as in frames inside a Debian 11 root (glibc
               2.31, GTK 3.24), on that root's Xvfb; the root is made once
               with debootstrap (about 75 s) and kept in GIFPLAY_OLDER_ROOT
               (default /var/cache/gifplay-tests/bullseye)
  media        a clip made by ffmpeg, packed by gifpack: the client area shows
               the steps of gifpack --frames, in order
  scaled       with GDK_SCALE 1 and 2, and with text scaled (GDK_DPI_SCALE),
               the client area shows the frames of gifpack --frames enlarged
               by the scale (-scale), pixel for pixel, in order, and the
               window is as many times as wide as at scale 1; at scale 1
               gifpack's frames are the composited frames, so that this
               round is frames (which CTest leaves to it)
  uncovered    under twm, a one-frame animation shows gifpack's frame (no
               pixel differs) again once another window moved away, and once
               the About box closed: Help > About shows "About Vantrope" at
               its size, and Return presses its Ok, which closes it while the
               player runs on
  display-lost the X server killed 10, 20, ... 150 ms after the start, in each
               of --runs runs (16; 80 for the full check), and once with the
               window shown: the player ends with 0 within 0.5 s, says
               nothing of Xlib, and leaves no song file; the X server
               stopped, before the window or after: SIGTERM, SIGINT and
               SIGHUP end it with 0 within a second, the song file removed

Usage: player_e2e.py SCENARIO --player P --make-gifs M [--gifpack G] [--keep DIR]
       player_e2e.py frames --gifpack G --make-gifs M
Without --player, gifpack packs the player it finds by itself (an installed
gifpack: the installed player).
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool; for
older-system, not root or no debootstrap).
"""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing of ours lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (ABOUT_TITLE, IMAGEMAGICK, SKIPPED, TITLE, Failure, Picture,  # noqa: E402
                         Player, Skip, VirtualDisplay, check, check_alternating,
                         check_ends_without_window, check_in_order, check_quick_exit, end_process,
                         frames_only, locate_picture, make_clip, make_optimized_ball, midi_song,
                         missing_tools, pack_by_hand, read_colours, run_scenario,
                         wait_for, watch_steps)
import e2e_support  # noqa: E402


# ---- packing and running -------------------------------------------------


def pack(args, gif, output, by_hand=False, said=""):
    """A player carrying gif: packed by gifpack, or by_hand as it is."""
    if args.gifpack and not by_hand:
        return e2e_support.pack(args.gifpack, gif, output, player=args.player, said=said)
    return pack_by_hand(args.player, output, gif)


def pack_with_song(args, work):
    """Frames of delay 0, always drawing, and the shortest song."""
    return pack_by_hand(args.player, os.path.join(work, "player"),
                        os.path.join(work, "zero_delays.gif"), midi_song(notes=0))


def start_player(display, program, workdir):
    return Player(display, program, workdir)


def choose_menu_item(display, window, popup_index):
    """The first item of a menu of the bar, chosen with the keyboard: F10
    opens the first menu, Right moves to the next ones, Down selects the
    first item and Return chooses it."""
    display.press(window, "F10", *(["Right"] * popup_index), "Down", "Return")


# ---- scenarios -----------------------------------------------------------


def plays_in_order(display, player, work, shown):
    """The window shows the steps, pixel for pixel, in order, over and over;
    File > Exit then ends the player with 0."""
    try:
        window = player.window()
        origin = locate_picture(display, window, shown[0])
        check_in_order(watch_steps(display, origin, shown, 4.5, work), len(shown),
                       "the Linux player")
        check(len(display.windows(TITLE)) == 1, "more than one window")
        choose_menu_item(display, window, 0)
        code = player.wait(5)
        check(code is not None, "File > Exit did not end the player")
        check(code == 0, "exit code %s after File > Exit" % code)
    finally:
        player.stop()


def scenario_frames(args, display, work):
    shown = [Picture.load(os.path.join(work, "shown_%d.ppm" % i)) for i in range(3)]
    player = start_player(display, pack(args, os.path.join(work, "three_frames.gif"),
                                        os.path.join(work, "player")), work)
    plays_in_order(display, player, work, shown)


def scenario_rewritten(args, display, work):
    check(args.gifpack, "needs --gifpack")
    gif, shown = make_optimized_ball(work, 96, 64)
    said = "rewritten so that the player shows it as browsers do: transparency"
    player = start_player(display, pack(args, gif, os.path.join(work, "player"), said=said), work)
    plays_in_order(display, player, work, shown)


def scenario_media(args, display, work):
    check(args.gifpack, "needs --gifpack")
    clip, shown = make_clip(args.gifpack, work)
    program = pack(args, clip, os.path.join(work, "player"), said="made into a GIF: 3 pictures")
    plays_in_order(display, start_player(display, program, work), work, shown)


def scenario_scaled(args, display, work):
    check(args.gifpack, "needs --gifpack")
    gif, frames = os.path.join(work, "three_frames.gif"), os.path.join(work, "frames")
    subprocess.run([args.gifpack, "--frames", frames, gif], check=True, capture_output=True)
    program = pack(args, gif, os.path.join(work, "player"))
    widths = []
    for scale, text_scale in ((1, "1"), (2, "1"), (2, "1.5")):
        shown = []
        for name in sorted(os.listdir(frames)):
            ppm = os.path.join(work, "x%d_%s.ppm" % (scale, name))
            subprocess.run([IMAGEMAGICK, os.path.join(frames, name), "-alpha", "off", "-scale",
                            "%d%%" % (100 * scale), "-depth", "8", ppm], check=True)
            shown.append(Picture.load(ppm))
        if scale == 1:  # then this round is the frames scenario
            for index, picture in enumerate(shown):
                check(picture.rgb == Picture.load(os.path.join(work, "shown_%d.ppm" % index)).rgb,
                      "gifpack --frames drew step %d unlike the composited frame" % index)
        env = dict(display.env(), GDK_SCALE=str(scale), GDK_DPI_SCALE=text_scale)
        player = Player(display, program, work, env=env)
        try:
            widths.append(display.geometry(player.window())[2])
            plays_in_order(display, player, work, shown)
        except Failure as failure:
            raise Failure("GDK_SCALE=%d GDK_DPI_SCALE=%s: %s" % (scale, text_scale, failure))
        finally:
            player.stop()
    check(widths[1] == 2 * widths[0],
          "the window is %d pixels wide at scale 2, %d at scale 1" % (widths[1], widths[0]))


def shrink(display, window):
    """Makes the window 100 x 80 pixels smaller; its new geometry."""
    wx, wy, ww, wh = display.geometry(window)
    display.run("xdotool", "windowsize", window, str(ww - 100), str(wh - 80))
    check(wait_for(lambda: display.geometry(window)[2] == ww - 100, 5),
          "the window did not become smaller")
    time.sleep(0.5)
    return display.geometry(window)


def scroll_to(display, picture, x, y, offset, what):
    """Checks that the client area at x, y shows picture from offset on."""
    def shows():
        return display.screenshot().crop(x, y, 60, 40).rgb == \
            picture.crop(offset[0], offset[1], 60, 40).rgb
    if not wait_for(shows, 3, 0.2):
        found = picture.find(display.screenshot().crop(x, y, 60, 40))
        raise Failure("after %s the window shows the picture from %s, not from %s"
                      % (what, found, offset))


def scenario_scroll_lines(args, display, work):
    picture = Picture.load(os.path.join(work, "large.ppm"))
    player = start_player(display, pack(args, os.path.join(work, "large.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        x, y = locate_picture(display, window, picture)
        wx, wy, ww, wh = shrink(display, window)
        scroll_to(display, picture, x, y, (0, 0), "shrinking the window")
        bar, arrow = 16, 7  # a bar's thickness; the middle of its arrow buttons
        right, bottom = wx + ww - bar // 2, wy + wh - bar // 2
        steps = [
            ("the vertical bar's down arrow", (right, wy + wh - bar - arrow), 1, (0, 10)),
            ("the horizontal bar's right arrow", (wx + ww - bar - arrow, bottom), 1, (10, 10)),
            ("the vertical bar's up arrow", (right, y + arrow), 1, (10, 0)),
            ("a wheel notch down over the vertical bar", (right, y + 40), 5, (10, 30)),
            ("a wheel notch up over the horizontal bar", (x + 40, bottom), 4, (0, 30)),
            # After the wheel, a click in each trough pages from where the bar is.
            ("a click low in the vertical trough", (right, wy + wh - bar - 30), 1, (0, 96)),
            ("a click right in the horizontal trough", (wx + ww - bar - 30, bottom), 1, (100, 96)),
        ]
        for what, (px, py), button, offset in steps:
            display.run("xdotool", "mousemove", "--sync", str(px), str(py), "click", str(button))
            scroll_to(display, picture, x, y, offset, what)
        display.close(window)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scenario_larger_than_screen(args, display, work):
    corner = Picture.load(os.path.join(work, "larger_corner.ppm"))
    player = start_player(display, pack(args, os.path.join(work, "larger.gif"),
                                        os.path.join(work, "player")), work)
    try:
        window = player.window()
        # No window manager: the window shows no frame or caption.
        display.run("xdotool", "windowmove", "--sync", window, "0", "0")
        time.sleep(0.5)
        wx, wy, ww, wh = display.geometry(window)
        check(ww <= 1024 + 12 and wh <= 768 + 12,
              "the window is %dx%d on a 1024x768 screen" % (ww, wh))
        x, y = locate_picture(display, window, corner.crop(0, 0, 200, 150))
        check(wy + wh > 700, "the window is only %d high" % wh)
        # The vertical bar runs along the right edge: a wheel notch over it
        # scrolls the picture by 3 lines.
        display.run("xdotool", "mousemove", "--sync", str(min(wx + ww, 1024) - 4), str(y + 60),
                    "click", "5")
        scroll_to(display, corner, x, y, (0, 30), "a wheel notch over the vertical bar")
        choose_menu_item(display, window, 0)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scenario_zero_delays(args, display, work):
    colours = read_colours(os.path.join(work, "zero_delays.txt"))
    # As it is: gifpack would give the frames the browsers' delay.
    player = start_player(display, pack(args, os.path.join(work, "zero_delays.gif"),
                                        os.path.join(work, "player"), by_hand=True), work)
    try:
        window = player.window()
        x, y, w, h = display.geometry(window)
        seen = frames_only(display.colours(x + w // 2, y + h - 60, 2), colours)
        check(len(seen) >= 6, "the frames did not change: seen %s" % seen[:12])
        display.focus(window)
        display.key("F10")
        display.run("xdotool", "key", "Down", "Return")
        check_quick_exit(player)
    finally:
        player.stop()


def scenario_red_blue(args, display, work):
    colours = read_colours(os.path.join(work, "red_blue.txt"))
    player = start_player(display, pack(args, os.path.join(work, "red_blue.gif"),
                                        os.path.join(work, "player"), by_hand=True), work)
    try:
        window = player.window()
        x, y, w, h = display.geometry(window)
        check_alternating(frames_only(display.colours(x + w // 2, y + h - 24, 3.5), colours),
                          colours, "Linux player")
        display.close(window)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        player.stop()


def scenario_uncovered(args, display, work):
    check(args.gifpack, "needs --gifpack")
    with open(os.path.join(work, "twmrc"), "w") as rc:  # the X server's own font only
        rc.write("RandomPlacement\n" + "".join('%sFont "fixed"\n' % f for f in (
            "Title", "Resize", "Menu", "Icon", "IconManager")))
    twm = subprocess.Popen(["twm", "-f", rc.name], env=dict(display.env(), LC_ALL="C"),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(wait_for(lambda: "0 children" not in display.run("xwininfo", "-root", "-children")
                   .stdout, 5), "twm did not start")
    subprocess.run([args.gifpack, "--frames", work + "/frames", work + "/large.gif"], check=True,
                   stdout=subprocess.DEVNULL)
    player = start_player(display, pack(args, os.path.join(work, "large.gif"),
                                        os.path.join(work, "player")), work)
    cover = subprocess.Popen(["xmessage", "cover"], env=display.env(), stderr=subprocess.DEVNULL)
    try:
        window = player.window()
        x, y = locate_picture(display, window, Picture.load(os.path.join(work, "large.ppm")))

        def differing():  # ImageMagick's count of pixels unlike the frame's
            display.screenshot().crop(x, y, 240, 180).save(work + "/client.ppm")
            return int(display.run("compare", "-metric", "AE", work + "/frames/frame-000.png",
                                   work + "/client.ppm", "null:").stderr.split()[0])

        for what in ("another window", "the About box"):
            if what == "the About box":
                choose_menu_item(display, window, 1)
            covering = wait_for(lambda: display.windows("xmessage" if what == "another window"
                                                        else ABOUT_TITLE), 5)
            check(covering, "%s did not show" % what)
            if what == "the About box":
                time.sleep(0.5)
                about = display.shows(covering[0])
                about.save(os.path.join(work, "about.ppm"))
                check(about.width > 230 and about.height > 164,
                      "the About box is only %dx%d" % (about.width, about.height))
            display.run("xdotool", "windowmove", "--sync", covering[0], str(x + 20), str(y + 20),
                        "windowraise", covering[0])
            check(wait_for(differing, 2), "%s does not cover the frame" % what)
            if what == "another window":
                display.run("xdotool", "windowmove", "--sync", covering[0], "600", "500")
            else:  # Ok is the default button and has the focus: Return presses it.
                display.press(covering[0], "Return")
                check(wait_for(lambda: not display.windows(ABOUT_TITLE), 5), "Ok did not close it")
                check(player.process.poll() is None, "the player ended with the About box")
            check(wait_for(lambda: differing() == 0, 1),
                  "what %s uncovered is not the frame" % what)
        choose_menu_item(display, window, 0)
        check(player.wait(5) == 0, "the player did not end with 0")
    finally:
        for process in (cover, twm):
            end_process(process)
        player.stop()


def scenario_display_lost(args, display, work):
    program = pack_with_song(args, work)
    runs = [(0.01 * (1 + run % 15), None) for run in range(args.runs)]
    runs += [("after", None)] + [(when, sign) for when in ("before", "after")
                                 for sign in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)]
    bad, slowest = [], 0
    for number, (when, sign) in enumerate(runs):
        temp = os.path.join(work, "run-%d" % number)
        os.makedirs(temp)
        songs = lambda: [name for name in os.listdir(temp) if name.endswith(".mid")]  # noqa: E731
        with VirtualDisplay() as lost:
            if when == "before":
                lost.process.send_signal(signal.SIGSTOP)
            player = start_player(lost, program, temp)
            if when == "after":
                player.window()
            elif when != "before":
                time.sleep(when)
            if sign is None:
                lost.process.kill()
            else:
                lost.process.send_signal(signal.SIGSTOP)
                check(wait_for(songs, 5), "no song file")
                player.process.send_signal(sign)
            started = time.monotonic()
            code = player.wait(5)
            took = time.monotonic() - started
            slowest = max(slowest, took) if sign is None else slowest
            stderr, left = player.stop(), songs()
            if code != 0 or took > (0.5 if sign is None else 1) or left or "Xlib" in stderr:
                bad.append("%s %s: exit code %s after %.2f s, %s left, stderr %r"
                           % (when, sign, code, took, left, stderr[-200:]))
    print("%d runs, %d bad; the slowest ended %.2f s after its X server was killed"
          % (len(runs), len(bad), slowest))
    check(not bad, "; ".join(bad))


def scenario_no_picture(args, display, work):
    bare = os.path.join(work, "bare")
    shutil.copyfile(args.player, bare)
    shutil.copymode(args.player, bare)
    programs = [bare, pack(args, os.path.join(work, "no_global_table.gif"),
                           os.path.join(work, "no_global_table"), by_hand=True),
                pack_by_hand(args.player, os.path.join(work, "song_only"), song=midi_song())]
    for program in programs:
        temp = os.path.join(work, "temp-" + os.path.basename(program))
        os.mkdir(temp)
        try:
            check_ends_without_window(Player(display, program, temp), lambda: os.listdir(temp))
        except Failure as failure:
            raise Failure("%s: %s" % (os.path.basename(program), failure))


# ---- an older system -----------------------------------------------------

OLDER_ROOT = os.environ.get("GIFPLAY_OLDER_ROOT", "/var/cache/gifplay-tests/bullseye")


def debian_archive():
    """The Debian archive this machine's apt takes its packages from."""
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")) + ["/etc/apt/sources.list"]:
        if not os.path.isfile(path):
            continue
        with open(path) as f:
            for line in f:
                words = line.split()
                if words[:1] == ["URIs:"] or words[:1] == ["deb"]:
                    uri = words[1] if words[0] == "URIs:" else words[-3]
                    if uri.rstrip("/").endswith("/debian"):
                        return uri
    raise Skip("apt names no Debian archive to make the Debian 11 root from")


def older_root():
    """A Debian 11 root with GTK 3, Xvfb and the X tools, made once."""
    if os.path.isdir(os.path.join(OLDER_ROOT, "usr", "bin")):
        return OLDER_ROOT
    if os.geteuid() != 0 or shutil.which("debootstrap") is None:
        raise Skip("making the Debian 11 root needs root and debootstrap")
    fresh = OLDER_ROOT + ".new"
    shutil.rmtree(fresh, ignore_errors=True)
    os.makedirs(os.path.dirname(fresh), exist_ok=True)
    subprocess.run(["debootstrap", "--variant=minbase", "--include=libgtk-3-0,xvfb,x11-apps",
                    "bullseye", fresh, debian_archive()], check=True, stdout=subprocess.DEVNULL)
    os.rename(fresh, OLDER_ROOT)
    return OLDER_ROOT


def in_root(root):
    """The command prefix that runs a program inside root, in a mount
    namespace of its own that sees this machine's X sockets and a /proc."""
    os.makedirs(os.path.join(root, "tmp", ".X11-unix"), exist_ok=True)
    script = ('mount --bind /tmp/.X11-unix "$0/tmp/.X11-unix" && mount -t proc proc "$0/proc" '
              '&& exec chroot "$0" "$@"')
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, root]


def scenario_older_system(args, display, work):
    check(args.gifpack, "needs --gifpack")
    shown = [Picture.load(os.path.join(work, "shown_%d.ppm" % i)) for i in range(3)]
    root = older_root()
    inside = tempfile.mkdtemp(prefix="gifplay-e2e-", dir=os.path.join(root, "tmp"))
    try:
        pack(args, os.path.join(work, "three_frames.gif"), os.path.join(inside, "player"))
        program = "/tmp/%s/player" % os.path.basename(inside)
        player = Player(display, program, os.path.dirname(program), wrapper=in_root(root))
        plays_in_order(display, player, work, shown)
        check(os.listdir(inside) == ["player"], "the player left %s" % os.listdir(inside))
    finally:
        shutil.rmtree(inside, ignore_errors=True)


SCENARIOS = {
    "frames": scenario_frames,
    "scroll-lines": scenario_scroll_lines,
    "larger-than-screen": scenario_larger_than_screen,
    "zero-delays": scenario_zero_delays,
    "red-blue": scenario_red_blue,
    "no-picture": scenario_no_picture,
    "rewritten": scenario_rewritten,
    "media": scenario_media,
    "older-system": scenario_older_system,
    "scaled": scenario_scaled,
    "uncovered": scenario_uncovered,
    "display-lost": scenario_display_lost,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--player")
    parser.add_argument("--make-gifs", required=True)
    parser.add_argument("--gifpack")
    parser.add_argument("--keep", help="keep the work files in this directory")
    parser.add_argument("--runs", type=int, default=16, help="display-lost's killed servers")
    args = parser.parse_args()
    if not args.player and (not args.gifpack or args.scenario.startswith("no-")):
        parser.error("%s needs --player" % args.scenario)
    tool = missing_tools("Xvfb", "xdotool", "import",
                         *("twm", "xmessage") * (args.scenario == "uncovered"))
    if tool:
        print("SKIP: %s is not installed (scripts/setup.sh installs it)" % tool)
        return SKIPPED

    def run(work):
        subprocess.run([args.make_gifs, work], check=True)
        server = in_root(older_root()) if args.scenario == "older-system" else ()
        with VirtualDisplay(server_prefix=server) as display:
            SCENARIOS[args.scenario](args, display, work)
    return run_scenario(args.scenario, run, keep=args.keep)


if __name__ == "__main__":
    sys.exit(main())
