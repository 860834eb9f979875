#!/usr/bin/env python3
"""The WAV checker against synthetic renders with known faults: each must be caught by the check
named for it, and a clean render must pass every check."""

import io
import math
import os
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testnote  # noqa: E402
import wavcheck  # noqa: E402

RATE = 48000


def note_signal(hz=261.6256, on=0.5, off=1.5, length=2.0, amp=0.4, harmonics=1, release=0.05,
                rate=RATE, hum_hz=None):
    """A note like an instrument's: harmonics with 1/k amplitudes, a 5 ms attack and a linear
    release; optionally a steady hum (a stuck voice)."""
    out = []
    for i in range(int(length * rate)):
        t = i / rate
        if t < on:
            env = 0.0
        elif t < off:
            env = min(1.0, (t - on) / 0.005)
        else:
            env = max(0.0, 1.0 - (t - off) / release)
        s = sum(math.sin(2 * math.pi * hz * k * t) / k for k in range(1, harmonics + 1)) if env else 0.0
        v = amp * env * s
        if hum_hz:
            v += 0.05 * math.sin(2 * math.pi * hum_hz * t)
        out.append(v)
    return out


def write_wav(path, samples, rate=RATE, fmt="pcm16", channels=2):
    if fmt == "pcm16":
        tag, bits = 1, 16
        data = struct.pack(f"<{len(samples) * channels}h",
                           *[max(-32768, min(32767, round(v * 32767))) for v in samples for _ in range(channels)])
    else:
        tag, bits = 3, 32
        data = struct.pack(f"<{len(samples) * channels}f", *[v for v in samples for _ in range(channels)])
    align = channels * bits // 8
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, tag, channels, rate, rate * align, align, bits))
        f.write(b"data" + struct.pack("<I", len(data)) + data)


class WavCheckTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def check(self, samples, extra=(), fmt="pcm16", rate=RATE):
        path = os.path.join(self.dir.name, "t.wav")
        write_wav(path, samples, rate, fmt)
        args = [path, "--length", "2", "--length-tol", "0.001", "--note-on", "0.5", "--note-off", "1.5",
                "--sound", "--key", "60", "--release", "0.3"] + list(extra)
        out = io.StringIO()
        with redirect_stdout(out):
            code = wavcheck.main(args)
        results = dict(l.split("=", 1) for l in out.getvalue().splitlines() if l.startswith("check."))
        return code, {k[6:]: v for k, v in results.items()}, out.getvalue()

    def test_clean_renders_pass(self):
        cases = [
            ("sine, 16-bit", note_signal(), "pcm16", RATE),
            ("sawtooth-like, float", note_signal(harmonics=12), "float", RATE),
            ("44.1 kHz", note_signal(rate=44100), "pcm16", 44100),
        ]
        for name, samples, fmt, rate in cases:
            with self.subTest(name):
                code, results, out = self.check(samples, fmt=fmt, rate=rate)
                self.assertEqual(code, 0, out)
                self.assertEqual(set(results.values()), {"ok"}, out)
                self.assertEqual(set(results), {"length", "sound", "onset", "pitch", "tail"})

    def test_each_fault_is_caught_by_its_check(self):
        sharp = 261.6256 * 2 ** (8 / 1200)
        cases = [
            ("8 cents sharp", note_signal(hz=sharp), [], "pitch"),
            ("a semitone off", note_signal(hz=277.18), [], "pitch"),
            ("an octave low", note_signal(hz=130.81, harmonics=8), [], "pitch"),
            ("an octave high", note_signal(hz=523.25), [], "pitch"),
            ("silent", [0.0] * (2 * RATE), [], "sound"),
            ("50 ms late", note_signal(on=0.55), [], "onset"),
            ("sound before the note", note_signal(on=0.2), [], "onset"),
            ("never released", note_signal(off=2.5), [], "tail"),
            ("stuck hum", note_signal(hum_hz=50.0), [], "tail"),
            ("too short", note_signal(length=1.9), [], "length"),
            ("too quiet for velocity 100", note_signal(amp=0.2), ["--peak-db", "-8.1"], "level"),
        ]
        for name, samples, extra, check in cases:
            with self.subTest(name):
                code, results, out = self.check(samples, extra)
                self.assertEqual(code, 1, out)
                self.assertEqual(results.get(check), "FAIL", out)

    def test_transpose_and_reference_move_the_expectation(self):
        octave_up = note_signal(hz=523.2511)
        code, results, out = self.check(octave_up, ["--transpose", "12"])
        self.assertEqual(code, 0, out)
        ref = os.path.join(self.dir.name, "ref.wav")
        flat = 261.6256 * 2 ** (-20 / 1200)
        write_wav(ref, note_signal(hz=flat))
        code, results, out = self.check(note_signal(hz=flat), ["--reference", ref])
        self.assertEqual(code, 0, out)
        code, results, out = self.check(note_signal(), ["--reference", ref])
        self.assertEqual(results.get("pitch"), "FAIL", out)

    def test_gain_against_another_render(self):
        ref = os.path.join(self.dir.name, "ref.wav")
        write_wav(ref, note_signal(amp=0.4))
        code, results, out = self.check(note_signal(amp=0.4 / 3), ["--compare", ref, "--gain-db", "-9.54"])
        self.assertEqual(results.get("gain"), "ok", out)
        code, results, out = self.check(note_signal(amp=0.4), ["--compare", ref, "--gain-db", "-9.54"])
        self.assertEqual(results.get("gain"), "FAIL", out)

    def test_measured_pitch_is_precise(self):
        for cents in (-3.0, 0.0, 1.5, 4.0):
            with self.subTest(cents=cents):
                hz = 261.6256 * 2 ** (cents / 1200)
                held = note_signal(hz=hz, harmonics=6)[int(0.6 * RATE):int(1.5 * RATE)]
                p = wavcheck.measure_pitch(held, RATE, 261.6256)
                self.assertAlmostEqual(p["cents"], cents, delta=0.05)

    def test_broken_files_are_refused(self):
        path = os.path.join(self.dir.name, "bad.wav")
        for name, data in [("empty", b""), ("not RIFF", b"JUNK" * 10),
                           ("no data chunk", b"RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x80\xbb\0\0\0\xee\x02\0\x04\0\x10\0"),
                           ("8-bit", b"RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\xbb\0\0\x80\xbb\0\0\x01\0\x08\0"
                                     b"data\x04\0\0\0\x80\x80\x80\x80")]:
            with self.subTest(name):
                with open(path, "wb") as f:
                    f.write(data)
                with self.assertRaises(wavcheck.WavError):
                    wavcheck.read_wav(path)


class TestNoteMidiTest(unittest.TestCase):
    def test_the_midi_file_holds_the_note_at_its_beats(self):
        data = testnote.midi_bytes(testnote.TestNote(64, 90, 6), ppqn=480)
        self.assertEqual(data[:4], b"MThd")
        fmt, tracks, ppqn = struct.unpack(">HHH", data[8:14])
        self.assertEqual((fmt, tracks, ppqn), (0, 1, 480))
        self.assertEqual(data[14:18], b"MTrk")
        track = data[22:]
        self.assertEqual(len(track), struct.unpack(">I", data[18:22])[0])
        events, pos, tick = [], 0, 0
        while pos < len(track):
            delta = 0
            while True:
                b = track[pos]
                pos += 1
                delta = (delta << 7) | (b & 0x7F)
                if b < 0x80:
                    break
            tick += delta
            if track[pos] == 0xFF:
                length = track[pos + 2]
                events.append((tick, bytes(track[pos:pos + 3 + length])))
                pos += 3 + length
            else:
                events.append((tick, bytes(track[pos:pos + 3])))
                pos += 3
        self.assertIn((480, bytes([0x90, 64, 90])), events)
        self.assertIn((1440, bytes([0x80, 64, 0x40])), events)
        self.assertEqual(events[0], (0, b"\xFF\x51\x03\x07\xA1\x20"))  # 500000 us per beat: 120 BPM
        self.assertEqual(events[-1], (6 * 480, b"\xFF\x2F\x00"))


if __name__ == "__main__":
    unittest.main()
