#!/usr/bin/env bash
# Animations that are not GIFs, each beside its reference pictures made by
# tools nobody here wrote: DIR/NAME and DIR/NAME.ref/ref-0000.png ... with
# DIR/NAME.ref/times (each picture's start in seconds, then "end" and the
# source's length). An animated WebP with transparency, each dispose and
# blend method (cwebp and webpmux; frames by libwebp's anim_dump), an APNG
# with each dispose and blend operation (written here; frames by ffmpeg), an
# MP4 clip (ffmpeg's testsrc; frames by ffmpeg).
# Usage: make_media_corpus.sh DIR ANIM_DUMP
set -euo pipefail
dir=$1 anim_dump=$2
cd "$dir"

# PNGs and the APNG from rows of RGBA, written with zlib: transparency is
# all or nothing, so that any tool paints it over white alike.
python3 - <<'EOF'
import struct, zlib
W, H = 64, 48
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
def rows(w, h, colour):
    return b"".join(b"\0" + b"".join(bytes(colour(x, y)) for x in range(w)) for y in range(h))
def ihdr(w, h):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
def png(name, w, h, colour):
    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + ihdr(w, h) +
                chunk(b"IDAT", zlib.compress(rows(w, h, colour))) + chunk(b"IEND", b""))
clear = (0, 0, 0, 0)
ring = lambda x, y: (200, 30, 30, 255) if (x - 32) ** 2 + (y - 24) ** 2 > 100 else clear
checks = lambda x, y: (30, 160, 40, 255) if (x // 4 + y // 4) % 2 else clear
blue = lambda x, y: clear if x == y else (20, 40, 220, 255)
yellow = lambda x, y: (240, 220, 0, 255) if x % 3 else clear
# The WebP's frames, each at its place (offsets even, as WebP has them).
webp = [(0, 0, W, H, ring), (10, 8, 30, 22, checks), (30, 20, 20, 20, blue), (4, 30, 16, 16, yellow)]
for i, (x, y, w, h, colour) in enumerate(webp):
    png("w%d.png" % i, w, h, lambda u, v: colour(u + x, v + y))
# APNG: (x, y, w, h, colour, delay numerator, denominator, dispose, blend)
frames = [(0, 0, W, H, ring, 1, 10, 0, 0), (10, 10, 20, 20, checks, 20, 100, 1, 1),
          (30, 20, 20, 20, blue, 7, 100, 2, 0), (5, 30, 16, 16, yellow, 1, 3, 0, 1),
          (40, 4, 12, 12, checks, 15, 100, 1, 0)]
out = b"\x89PNG\r\n\x1a\n" + ihdr(W, H) + chunk(b"acTL", struct.pack(">II", len(frames), 0))
seq = 0
for i, (x, y, w, h, colour, num, den, dispose, blend) in enumerate(frames):
    out += chunk(b"fcTL", struct.pack(">IIIIIHHBB", seq, w, h, x, y, num, den, dispose, blend))
    seq += 1
    data = zlib.compress(rows(w, h, colour))
    if i == 0:
        out += chunk(b"IDAT", data)
    else:
        out += chunk(b"fdAT", struct.pack(">I", seq) + data)
        seq += 1
with open("anim.apng", "wb") as f:
    f.write(out + chunk(b"IEND", b""))
EOF

# Each frame with its duration, offset, dispose (0 none, 1 background) and blend.
for i in 0 1 2 3; do cwebp -quiet -lossless -exact "w$i.png" -o "w$i.webp"; done
webpmux -frame w0.webp +120+0+0+0-b -frame w1.webp +70+10+8+1+b -frame w2.webp +333+30+20+0-b \
  -frame w3.webp +90+4+30+0+b -loop 0 -o anim.webp >/dev/null
mkdir anim.webp.ref
"$anim_dump" -folder anim.webp.ref -prefix ref- anim.webp >/dev/null
webpmux -info anim.webp | awk '$1 ~ /^[0-9]+:$/ { print t + 0; t += $7 / 1000 } END { print "end", t }' \
  >anim.webp.ref/times

ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=30 -t 2 -pix_fmt yuv420p anim.mp4
for clip in anim.apng anim.mp4; do
  mkdir "$clip.ref"
  ffmpeg -v error -i "$clip" -vsync passthrough "$clip.ref/ref-%04d.png"
  ffprobe -v error -select_streams v -show_entries frame=best_effort_timestamp_time,pkt_duration_time \
    -of csv=p=0 "$clip" | awk -F, 'NF { print $1; end = $1 + $2 } END { print "end", end }' \
    >"$clip.ref/times"
done
