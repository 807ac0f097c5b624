#!/usr/bin/env python3
"""Checks a screen grab of the demo's story scene against the headless frame of the same tick.

    story_screen.py REFERENCE.ppm GRAB.ppm LEFT TOP

REFERENCE is the 640 x 480 frame the headless player wrote; the screen lies in GRAB with its
top-left pixel at (LEFT, TOP). Exit 0: the grab shows the frame (within a small tolerance) and
the message window holds rows of text in the font's colour; exit 1 otherwise, with the reason.
"""
import re
import sys

# The message window of examples/demo/story.rss: left 36, top 342, 568 x 112, white glyphs
# with a black border, rows of 24-pixel glyphs 8 pixels apart (the first with ruby above).
WINDOW = (36, 342, 568, 112)
FONT = (255, 255, 255)
SIZE = (640, 480)


def read_ppm(path):
    data = open(path, "rb").read()
    m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not m or m.group(3) != b"255":
        sys.exit(f"{path}: not an 8-bit binary PPM")
    return int(m.group(1)), int(m.group(2)), data[m.end():]


def main():
    rw, rh, ref = read_ppm(sys.argv[1])
    gw, gh, grab = read_ppm(sys.argv[2])
    left, top = int(sys.argv[3]), int(sys.argv[4])
    if (rw, rh) != SIZE or gw < left + rw or gh < top + rh:
        sys.exit(f"sizes: reference {rw} x {rh}, grab {gw} x {gh}")

    def screen(x, y):
        i = ((top + y) * gw + left + x) * 3
        return grab[i:i + 3]

    # The whole screen as the headless run drew it: a few pixels may differ a little (the
    # display's own colour conversion), hardly any by much; one glyph not yet revealed (about
    # 300 pixels) is too many.
    limit = 30
    off = 0
    for y in range(rh):
        start = ((top + y) * gw + left) * 3
        if grab[start:start + rw * 3] == ref[y * rw * 3:(y + 1) * rw * 3]:
            continue  # the same scanline (the usual case): quick
        for x in range(rw):
            i = (y * rw + x) * 3
            if max(abs(a - b) for a, b in zip(ref[i:i + 3], screen(x, y))) > 24:
                off += 1
        if off > limit:
            break  # another screen: said at once, so the next grab comes soon
    if off > limit:
        print(f"{off} or more pixels differ from the headless frame")
        return 1

    # Text in the window: scanlines holding glyph pixels of the font's colour form bands (the
    # rows of text) with empty scanlines between them, and each band spans much of the row.
    wx, wy, ww, wh = WINDOW
    lines = []
    for y in range(wy, wy + wh):
        xs = [x for x in range(wx, wx + ww) if tuple(screen(x, y)) == FONT]
        lines.append((y, xs))
    bands, current = [], []
    for y, xs in lines:
        if len(xs) >= 5:
            current.append((y, xs))
        elif current:
            bands.append(current)
            current = []
    if current:
        bands.append(current)
    described = [(b[0][0], b[-1][0]) for b in bands]
    if len(bands) != 3:
        print(f"rows of text found: {described}, expected 3")
        return 1
    for band in bands:
        height = band[-1][0] - band[0][0] + 1
        xs = [x for _, row in band for x in row]
        if not 14 <= height <= 26 or max(xs) - min(xs) < 200 or len(xs) < 300:
            print(f"a row of text at {band[0][0]}..{band[-1][0]} does not look like glyphs "
                  f"({len(xs)} pixels from x {min(xs)} to {max(xs)})")
            return 1
    print(f"rows of text at {described}; {off} pixels differ from the headless frame")
    return 0


sys.exit(main())
