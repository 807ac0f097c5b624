#!/usr/bin/env python3
"""Checks the sound of a headless demo run (the WAV of --audio-out) against what the demo's
music page asks for: the title melody (the notes tools/demoaudio synthesises, 9,000 peak,
looping every four seconds) fading in over a second, playing at full level, and fading out over
half a second after the click that leaves the title, then silence (at least a second of it).

Times are measured from the output itself (where the music starts and stops), so the test does
not depend on how long the pages before the title take.

Two more sounds of the demo's music page are found in the same run: the click of a title
button (a 20 ms burst of 2,000 Hz, told from the melody by its steep second difference) at the
button's release, and the story's voice line (tones of 220, 262 and 196 Hz among others, 780 ms
in all), the first sound after the music's silence.

usage: demo_sound.py RUN.wav CLICK_MS BUTTON_MS
"""
import struct
import sys
import wave

RATE = 44100
PEAK = 9000
# The melody of tools/demoaudio: half a second a note, then it starts over.
NOTES = [261.63, 329.63, 392.0, 523.25, 440.0, 523.25, 329.63, 440.0]
NOTE_MS, FADE_IN_MS, FADE_OUT_MS = 500, 1000, 500
# The voice line: (Hz, ms) a note, 0 Hz a pause; mono at 22,050 Hz, 12,000 peak.
VOICE = [(220, 120), (247, 100), (0, 40), (262, 140), (233, 120), (0, 60), (196, 200)]
VOICE_PEAK = 12000

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


def silences(sounding, n):
    """(first silent frame, first sounding frame after it) of every second or more of silence."""
    out = []
    for a, b in zip(sounding, sounding[1:] + [n + RATE]):
        if b - a > RATE:
            out.append((a + 1, b))
    return out


def main():
    path, click_ms, button_ms = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    with wave.open(path) as w:
        check(w.getnchannels() == 2 and w.getframerate() == RATE and w.getsampwidth() == 2, "16-bit stereo at 44,100 Hz")
        n = w.getnframes()
        samples = struct.unpack("<%dh" % (2 * n), w.readframes(n))
    left, right = samples[0::2], samples[1::2]
    sounding = [i for i in range(n) if left[i] or right[i]]
    if not sounding:
        check(False, "the music is heard")
        return
    # The music ends where the first second of silence after its start begins (what later
    # pages play after that, the story's voice line, is not the music's).
    quiet = silences(sounding, n)
    stop = quiet[0][0] if quiet else n
    start_ms = sounding[0] * 1000 / RATE
    stop_ms = stop * 1000 / RATE
    end_ms = n * 1000 / RATE
    print("music from %.0f ms to %.0f ms of %.0f ms" % (start_ms, stop_ms, end_ms))

    def inside_a_note(t):
        """t (ms from the music's start) moved into the middle of its note, away from the
        notes' own 20 ms rise and fall."""
        phase = t % NOTE_MS
        return t + (100 - phase if phase < 100 else 0) - (phase - 400 if phase > 400 else 0)

    # The fade-in: the mixer's volume rises linearly from nothing to full over the second.
    for t in (inside_a_note(t) for t in (250, 650, 750)):
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
        if a >= start_ms + FADE_IN_MS + 50 and not a - 150 <= button_ms <= b:  # (the click is no note)
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
        left_ms = stop_ms - start_ms - inside_a_note(stop_ms - start_ms - left_ms)
        expected = PEAK * left_ms / FADE_OUT_MS
        got = peak(left, stop_ms - left_ms)
        check(abs(got - expected) < 0.07 * PEAK, "fade-out %d ms before the end: peak %d, expected about %d" % (left_ms, got, expected))
    # Then nothing at all for a second: the music is stopped, not left quiet.
    check(stop + RATE <= n and not any(left[stop:stop + RATE]) and not any(right[stop:stop + RATE]),
          "a second of silence after the fade-out")

    # The button's click: the only place before the fade-out where the signal bends that sharply.
    steep = [i for i in range(frame(start_ms), stop - 1) if abs(left[i + 1] - 2 * left[i] + left[i - 1]) > 800]
    check(bool(steep) and button_ms <= steep[0] * 1000 / RATE <= button_ms + 100,
          "the button's click heard at %s ms (released at %.0f ms)" % (round(steep[0] * 1000 / RATE) if steep else "no", button_ms))
    check(bool(steep) and (steep[-1] - steep[0]) * 1000 / RATE <= 25, "the click lasts its 20 ms")

    # The voice line: the next sound after the music's silence, its tones in order and its length.
    if not quiet or quiet[0][1] >= n:
        check(False, "a voice line after the music (none heard: the pages before the story may have grown; raise --ticks)")
        return
    voice = quiet[0][1]
    voice_end = quiet[1][0] if len(quiet) > 1 else n
    voice_ms = voice * 1000 / RATE
    length = (voice_end - voice) * 1000 / RATE
    total = sum(ms for _, ms in VOICE)
    check(abs(length - total) <= 40, "the voice line lasts %.0f ms, expected %d" % (length, total))
    at = 0
    for hz, ms in VOICE:
        if hz:
            got = frequency(left, voice_ms + at + 25, voice_ms + at + ms - 20)
            check(abs(got - hz) < hz * 0.01, "voice at %d ms: %.1f Hz, expected %d Hz" % (at, got, hz))
        at += ms
    level = max(abs(v) for v in left[voice:voice_end])
    check(abs(level - VOICE_PEAK) < VOICE_PEAK * 0.05, "voice peak %d, expected %d" % (level, VOICE_PEAK))
    check(left[voice:voice_end] == right[voice:voice_end], "the mono voice is the same on both sides")


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
