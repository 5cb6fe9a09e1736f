#!/usr/bin/python3
"""Reads what the metronome demo played and said, and shows where it landed.

    report.py CAPTURE.raw METRONOME.txt OUTDIR

CAPTURE.raw is the device output (interleaved signed 16-bit stereo at
48000 Hz, as the ALSA file device wrote it); METRONOME.txt the demo's
standard output. Writes OUTDIR/metronome.wav and OUTDIR/metronome.png and
prints where each beat landed and each press's offset; exits 1 when a beat
missed its frame or a press line does not read.
"""
import re
import sys
import wave

import matplotlib

matplotlib.use("Agg")  # no display: render straight to the PNG
import matplotlib.pyplot as plt
import numpy as np

RATE = 48000
THRESHOLD = 0.02  # of full scale: far above silence, far below a click
QUIET = RATE // 10  # an onset follows at least 100 ms below the threshold


def read_log(path):
    """The scheduled beats, the timed presses, and the press lines that did not read as timed."""
    beats, presses, unread = [], [], []
    with open(path, encoding="utf-8", errors="replace") as log:
        for line in log:
            beat = re.match(r"beat (\d+) at ([0-9.]+) s( accent)?", line)
            # "press source 0x7fffffff code 0x20 at 1.234567 s: +12.34 ms from beat 3"; the time is
            # getinputtime(), on the clock as the player heard it.
            press = re.match(r"press .* at ([0-9]+\.[0-9]+) s: ([-+][0-9]+\.[0-9]{2}) ms from beat (\d+)$",
                             line.rstrip())
            if beat:
                beats.append((int(beat.group(1)), float(beat.group(2)), bool(beat.group(3))))
            elif press:
                presses.append((float(press.group(1)), float(press.group(2)), int(press.group(3))))
            elif line.startswith("press "):
                unread.append(line.rstrip())
    return beats, presses, unread


def onsets(left):
    """Frames where sound starts after a stretch of quiet."""
    loud = np.flatnonzero(np.abs(left) > THRESHOLD)
    if loud.size == 0:
        return []
    starts = [int(loud[0])]
    gaps = np.diff(loud)
    starts += [int(frame) for frame, gap in zip(loud[1:], gaps) if gap > QUIET]
    return starts


def main():
    capture_path, log_path, out_dir = sys.argv[1:4]
    beats, presses, unread = read_log(log_path)
    raw = np.fromfile(capture_path, dtype="<i2")
    if raw.size < 2 or not beats:
        print("report: nothing was played or scheduled")
        return 1
    frames = raw.reshape(-1, 2)
    with wave.open(f"{out_dir}/metronome.wav", "wb") as wav:
        wav.setnchannels(2)
        wav.setsampwidth(2)
        wav.setframerate(RATE)
        wav.writeframes(frames.tobytes())
    left = frames[:, 0] / 32768.0

    found = onsets(left)
    scheduled = [int(seconds * RATE) for _, seconds, _ in beats]  # the engine truncates to frames
    ok = len(found) == len(beats)
    print(f"capture: {len(frames)} frames ({len(frames) / RATE:.2f} s), {len(found)} onsets for {len(beats)} beats")
    # The clock's frame 0 is not visible in the capture: the first beat ties
    # the two timelines together, and every other beat is measured from it.
    origin = found[0] - scheduled[0] if found else 0
    print("beat  scheduled(clock frame)  landed(capture frame)  error(frames)")
    for index, (number, seconds, accent) in enumerate(beats):
        expected = origin + scheduled[index]
        landed = found[index] if index < len(found) else None
        error = landed - expected if landed is not None else None
        ok = ok and error == 0
        mark = " accent (44100 Hz source)" if accent else ""
        print(f"{number:4d}  {scheduled[index]:22d}  {landed if landed is not None else '-':>21}  "
              f"{error if error is not None else '-':>13}{mark}")
    for seconds, offset, beat in presses:
        print(f"press at clock {seconds:.6f} s: {offset:+.2f} ms from beat {beat}")
    for line in unread:
        print(f"UNREAD PRESS LINE: {line}")
    if not presses and not unread:
        print("no presses reached the demo")

    time = np.arange(len(left)) / RATE
    figure, axes = plt.subplots(figsize=(14, 4), dpi=100)
    axes.plot(time, left, linewidth=0.4, color="#3a6ea5", label="output (left)")
    for index, (_, _, accent) in enumerate(beats):
        axes.axvline((origin + scheduled[index]) / RATE, color="#2e8b57", linewidth=1.6 if accent else 0.8,
                     label="scheduled beat" if index == 0 else None)
    # A press's time is where the capture was playing when the input thread saw it.
    for index, (seconds, _, _) in enumerate(presses):
        axes.axvline((origin + seconds * RATE) / RATE, color="#c0392b", linestyle="--", linewidth=1.0,
                     label="key press" if index == 0 else None)
    axes.set_xlabel("capture time (s)")
    axes.set_ylabel("sample")
    axes.set_title("Cantrelle metronome: device output, scheduled beats and key presses")
    axes.legend(loc="upper right")
    figure.tight_layout()
    figure.savefig(f"{out_dir}/metronome.png")
    print(f"wrote {out_dir}/metronome.wav and {out_dir}/metronome.png")
    print("every beat landed on its scheduled frame" if ok else "SOME BEATS MISSED THEIR FRAME")
    if unread:
        print(f"{len(unread)} PRESS LINES DID NOT READ")
    return 0 if ok and not unread else 1


if __name__ == "__main__":
    sys.exit(main())
