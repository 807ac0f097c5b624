#!/usr/bin/env python3
"""Checks the sound of a headless demo run (the WAV of --audio-out) against what the demo's
music page asks for: the title melody (the notes tools/demoaudio synthesises, 9,000 peak,
looping every four seconds) fading in over a second, playing at full level, and fading out over
half a second after the click that leaves the title, then silence.

Times are measured from the output itself (where the music starts and stops), so the test does
not depend on how long the pages before the title take.

usage: demo_sound.py RUN.wav CLICK_MS
"""
import struct
import sys
import wave

RATE = 44100
PEAK = 9000
# The melody of tools/demoaudio: half a second a note, then it starts over.
NOTES = [261.63, 329.63, 392.0, 523.25, 440.0, 523.25, 329.63, 440.0]
NOTE_MS, FADE_IN_MS, FADE_OUT_MS = 500, 1000, 500

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def frame(ms):
    return int(round(ms * RATE / 1000))


def peak(samples, centre_ms, half_ms=12):
    a, b = frame(centre_ms - half_ms), frame(centre_ms + half_ms)
    return max(abs(v) for v in samples[a:b])


def frequency(samples, from_ms, to_ms):
    """Hz from the upward zero crossings, each placed between its two samples."""
    crossings = []
    for i in range(frame(from_ms) + 1, frame(to_ms)):
        a, b = samples[i - 1], samples[i]
        if a < 0 <= b:
            crossings.append(i - 1 + a / (a - b))
    if len(crossings) < 2:
        return 0.0
    return (len(crossings) - 1) * RATE / (crossings[-1] - crossings[0])


def main():
    path, click_ms = sys.argv[1], float(sys.argv[2])
    with wave.open(path) as w:
        check(w.getnchannels() == 2 and w.getframerate() == RATE and w.getsampwidth() == 2, "16-bit stereo at 44,100 Hz")
        n = w.getnframes()
        samples = struct.unpack("<%dh" % (2 * n), w.readframes(n))
    left, right = samples[0::2], samples[1::2]
    sounding = [i for i in range(n) if left[i] or right[i]]
    if not sounding:
        check(False, "the music is heard")
        return
    start_ms = sounding[0] * 1000 / RATE
    stop_ms = (sounding[-1] + 1) * 1000 / RATE
    end_ms = n * 1000 / RATE
    print("music from %.0f ms to %.0f ms of %.0f ms" % (start_ms, stop_ms, end_ms))

    # The fade-in: the mixer's volume rises linearly from nothing to full over the second.
    for t in (250, 500, 750):
        expected = PEAK * t / FADE_IN_MS
        got = peak(left, start_ms + t)
        check(abs(got - expected) < 0.06 * PEAK, "fade-in at %d ms: peak %d, expected about %d" % (t, got, expected))

    # Every note heard whole at full level: its pitch and its peak, on both sides.
    notes = 0
    k = 0
    while True:
        a, b = start_ms + k * NOTE_MS + 120, start_ms + (k + 1) * NOTE_MS - 120
        if b > stop_ms - FADE_OUT_MS - 150:
            break
        if a >= start_ms + FADE_IN_MS + 50:
            want = NOTES[k % len(NOTES)]
            got = frequency(left, a, b)
            check(abs(got - want) < want * 0.005, "note %d: %.2f Hz, expected %.2f Hz" % (k, got, want))
            for side, name in ((left, "left"), (right, "right")):
                level = max(abs(v) for v in side[frame(a):frame(b)])
                check(abs(level - PEAK) < PEAK * 0.04, "note %d %s: peak %d, expected %d" % (k, name, level, PEAK))
            notes += 1
        k += 1
    check(notes >= 8, "%d notes measured at full level, the melody's loop among them" % notes)

    # The fade-out starts with the click (a tick or a few later) and falls linearly to silence.
    check(click_ms <= stop_ms - FADE_OUT_MS <= click_ms + 200,
          "the fade-out began %.0f ms after the click" % (stop_ms - FADE_OUT_MS - click_ms))
    for left_ms in (375, 250, 125):
        expected = PEAK * left_ms / FADE_OUT_MS
        got = peak(left, stop_ms - left_ms)
        check(abs(got - expected) < 0.07 * PEAK, "fade-out %d ms before the end: peak %d, expected about %d" % (left_ms, got, expected))
    # Then nothing at all: the music is stopped, not left quiet.
    check(end_ms - stop_ms >= 1000, "%.0f ms of silence after the fade-out" % (end_ms - stop_ms))


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
