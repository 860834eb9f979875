#!/usr/bin/env python3
"""Checks a WAV file rendered by a real host from the test note (see testnote.py).

Reads 16/24/32-bit integer and 32/64-bit float WAV files with the standard library only,
measures level, pitch and tail, and compares them with what the test note should give:

  * length: the file holds the expected number of seconds (within a tolerance);
  * sound: the note segment is clearly above silence;
  * pitch: the spectrum of the held note has its fundamental within a few cents of the
    note's frequency. Spectra, not zero crossings: a sawtooth or a filtered wave crosses zero
    several times per period;
  * tail: after the release allowance the output is silent again.

Run as a program it prints one `name=value` line per measurement and `check.<name>=ok|FAIL`
lines, and exits 1 when any requested check fails.
"""

import argparse
import cmath
import math
import struct
import sys


class WavError(Exception):
    pass


def read_wav(path):
    """Returns (rate, channels) with channels a list of lists of floats in -1..1."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise WavError(f"{path}: not a RIFF/WAVE file")
    pos, fmt, body = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        start = pos + 8
        end = min(start + size, len(data))
        if cid == b"fmt ":
            if end - start < 16:
                raise WavError(f"{path}: short fmt chunk")
            fmt = struct.unpack_from("<HHIIHH", data, start)
            if fmt[0] == 0xFFFE and end - start >= 26:
                # WAVE_FORMAT_EXTENSIBLE: the real format is the first word of the subformat GUID.
                fmt = (struct.unpack_from("<H", data, start + 24)[0],) + fmt[1:]
        elif cid == b"data":
            body = data[start:end]
        pos = start + size + (size & 1)
    if fmt is None or body is None:
        raise WavError(f"{path}: no fmt or data chunk")
    tag, nch, rate, _, align, bits = fmt
    if nch < 1 or align != nch * (bits // 8) or bits not in (16, 24, 32, 64):
        raise WavError(f"{path}: unsupported layout ({nch} channels, {bits} bits, align {align})")
    frames = len(body) // align
    width = bits // 8
    count = frames * nch
    if tag == 3 and bits == 32:
        values = struct.unpack_from(f"<{count}f", body)
    elif tag == 3 and bits == 64:
        values = struct.unpack_from(f"<{count}d", body)
    elif tag == 1 and bits == 16:
        values = [v / 32768.0 for v in struct.unpack_from(f"<{count}h", body)]
    elif tag == 1 and bits == 32:
        values = [v / 2147483648.0 for v in struct.unpack_from(f"<{count}i", body)]
    elif tag == 1 and bits == 24:
        values = []
        for i in range(count):
            b = body[i * width:(i + 1) * width]
            values.append(int.from_bytes(b, "little", signed=True) / 8388608.0)
    else:
        raise WavError(f"{path}: unsupported sample format {tag} with {bits} bits")
    channels = [list(values[c::nch]) for c in range(nch)]
    return rate, channels


def mono(channels):
    n = len(channels)
    return [sum(s) / n for s in zip(*channels)] if n > 1 else list(channels[0])


def db(v):
    return 20.0 * math.log10(v) if v > 0 else -math.inf


def peak(x):
    return max((abs(v) for v in x), default=0.0)


def rms(x):
    return math.sqrt(sum(v * v for v in x) / len(x)) if x else 0.0


def fft(x):
    """Iterative radix-2 FFT of a list of complex numbers whose length is a power of two."""
    n = len(x)
    a = list(x)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    size = 2
    while size <= n:
        half = size // 2
        step = cmath.exp(-2j * math.pi / size)
        twiddles = [1.0 + 0j]
        for _ in range(half - 1):
            twiddles.append(twiddles[-1] * step)
        for start in range(0, n, size):
            for k in range(half):
                u = a[start + k]
                v = a[start + k + half] * twiddles[k]
                a[start + k] = u + v
                a[start + k + half] = u - v
        size *= 2
    return a


def hann(n):
    return [0.5 - 0.5 * math.cos(2.0 * math.pi * i / n) for i in range(n)]


class Spectrum:
    """Magnitude spectrum of a Hann-windowed segment, with a precise peak search."""

    def __init__(self, segment, rate):
        n = 1
        while n * 2 <= len(segment):
            n *= 2
        if n < 4096:
            raise ValueError("segment too short for a spectrum")
        x = segment[:n]
        mean = sum(x) / n
        self.windowed = [(v - mean) * w for v, w in zip(x, hann(n))]
        self.n, self.rate = n, rate
        spectrum = fft([complex(v) for v in self.windowed])
        self.mag = [abs(c) for c in spectrum[:n // 2]]

    def bin_of(self, hz):
        return hz * self.n / self.rate

    def hz_of(self, b):
        return b * self.rate / self.n

    def strongest(self, lo_hz=20.0, hi_hz=None):
        lo = max(1, int(self.bin_of(lo_hz)))
        hi = len(self.mag) - 1 if hi_hz is None else min(len(self.mag) - 1, int(self.bin_of(hi_hz)) + 1)
        best = max(range(lo, hi + 1), key=lambda b: self.mag[b])
        return best, self.mag[best]

    def dtft(self, hz):
        """|X(hz)| of the windowed segment by Goertzel's recursion (one pass, no table)."""
        omega = 2.0 * math.pi * hz / self.rate
        coeff = 2.0 * math.cos(omega)
        s1 = s2 = 0.0
        for v in self.windowed:
            s1, s2 = v + coeff * s1 - s2, s1
        return abs(complex(s1 - s2 * math.cos(omega), s2 * math.sin(omega)))

    def refine(self, b):
        """Frequency of the spectral peak around bin b, to a small fraction of a bin."""
        lo, hi = self.hz_of(b - 1), self.hz_of(b + 1)
        g = (math.sqrt(5.0) - 1.0) / 2.0
        c, d = hi - g * (hi - lo), lo + g * (hi - lo)
        fc, fd = self.dtft(c), self.dtft(d)
        while hi - lo > 1e-4 * self.rate / self.n:
            if fc > fd:
                hi, d, fd = d, c, fc
                c = hi - g * (hi - lo)
                fc = self.dtft(c)
            else:
                lo, c, fc = c, d, fd
                d = lo + g * (hi - lo)
                fd = self.dtft(d)
        return (lo + hi) / 2.0


def cents(hz, ref):
    return 1200.0 * math.log2(hz / ref)


def note_hz(key):
    return 440.0 * 2.0 ** ((key - 69) / 12.0)


def measure_pitch(segment, rate, expected_hz):
    """Fundamental of a held note near expected_hz (within three quarters of a semitone).

    Returns a dict: hz, cents (from expected), fundamental level relative to the strongest
    partial in dB, the strongest partial's harmonic number and level below the expected
    fundamental (sub-harmonic energy, which an octave error would show)."""
    spectrum = Spectrum(segment, rate)
    top_bin, top = spectrum.strongest()
    lo, hi = expected_hz * 2 ** (-0.75 / 12), expected_hz * 2 ** (0.75 / 12)
    f_bin, f_mag = spectrum.strongest(lo, hi)
    hz = spectrum.refine(f_bin)
    sub_bin, sub_mag = spectrum.strongest(20.0, expected_hz * 2 ** (-1.5 / 12))
    return {
        "hz": hz,
        "cents": cents(hz, expected_hz),
        "fundamental_db": db(f_mag / top) if top > 0 else -math.inf,
        "strongest_harmonic": spectrum.hz_of(top_bin) / hz,
        "subharmonic_db": db(sub_mag / top) if top > 0 else -math.inf,
    }


# The held part of the note: past the attack, before the note-off.
HELD_AFTER = 0.1


def held_segment(path, note_on, note_off):
    rate, channels = read_wav(path)
    x = mono(channels)
    return rate, x[int((note_on + HELD_AFTER) * rate):int(note_off * rate)]


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("wav")
    ap.add_argument("--length", type=float, help="expected length in seconds")
    ap.add_argument("--length-tol", type=float, default=0.05, help="allowed length error in seconds")
    ap.add_argument("--note-on", type=float, default=0.5, help="time of the note-on in seconds")
    ap.add_argument("--note-off", type=float, default=1.5, help="time of the note-off in seconds")
    ap.add_argument("--key", type=int, help="MIDI key of the note: checks its pitch")
    ap.add_argument("--transpose", type=float, default=0.0, help="semitones the sound plays above the key")
    ap.add_argument("--reference", help="a render of the same note by another host: its measured pitch is the "
                    "expectation (for third-party plug-ins whose tuning is their own)")
    ap.add_argument("--tol-cents", type=float, default=5.0, help="allowed pitch error in cents")
    ap.add_argument("--sound", action="store_true", help="require the note segment to be audible")
    ap.add_argument("--min-db", type=float, default=-40.0, help="lowest peak level in dBFS that counts as sound")
    ap.add_argument("--peak-db", type=float, help="with --sound: the held note's expected peak level in dBFS "
                    "(within 1 dB; tells a wrong velocity or gain)")
    ap.add_argument("--compare", help="another render of the note: prints the level difference of the held parts")
    ap.add_argument("--gain-db", type=float, help="with --compare: the expected level difference (within 1.5 dB)")
    ap.add_argument("--release", type=float, help="seconds after the note-off from which the output must be silent")
    ap.add_argument("--silence-db", type=float, default=-60.0, help="highest tail peak in dBFS that counts as silence")
    args = ap.parse_args(argv)

    rate, channels = read_wav(args.wav)
    x = mono(channels)
    seconds = len(x) / rate
    results = []

    def report(name, ok):
        results.append(ok)
        print(f"check.{name}={'ok' if ok else 'FAIL'}")

    print(f"wav.rate={rate}")
    print(f"wav.channels={len(channels)}")
    print(f"wav.seconds={seconds:.4f}")
    print(f"wav.peak_db={db(peak(x)):.1f}")
    if args.length is not None:
        report("length", abs(seconds - args.length) <= args.length_tol)

    on, off = int(args.note_on * rate), int(args.note_off * rate)
    held = x[min(on + int(HELD_AFTER * rate), off):off]
    held_peak = db(peak(held))
    print(f"note.peak_db={held_peak:.1f}")
    print(f"note.rms_db={db(rms(held)):.1f}")
    if args.sound:
        report("sound", held_peak >= args.min_db)
        if args.peak_db is not None:
            report("level", abs(held_peak - args.peak_db) <= 1.0)
        # The note starts where it should: nothing before it, sound within 20 ms after it.
        limit = peak(x) * 10 ** (-30 / 20)
        first = next((i for i, v in enumerate(x) if abs(v) > limit), len(x))
        print(f"note.onset_seconds={first / rate:.4f}")
        report("onset", 0 <= first - on <= int(0.02 * rate))
    if args.compare is not None:
        other_rate, other_held = held_segment(args.compare, args.note_on, args.note_off)
        gain = db(rms(held)) - db(rms(other_held))
        print(f"note.gain_db={gain:+.2f}")
        if args.gain_db is not None:
            report("gain", abs(gain - args.gain_db) <= 1.5)
    if args.key is not None:
        expected = note_hz(args.key)
        if args.reference:
            ref_rate, ref_held = held_segment(args.reference, args.note_on, args.note_off)
            expected = measure_pitch(ref_held, ref_rate, expected)["hz"]
        expected *= 2.0 ** (args.transpose / 12.0)
        print(f"pitch.expected_hz={expected:.3f}")
        if held_peak < args.min_db:
            print("pitch.hz=none (the note is silent)")
            report("pitch", False)
        else:
            p = measure_pitch(held, rate, expected)
            print(f"pitch.hz={p['hz']:.3f}")
            print(f"pitch.cents={p['cents']:+.2f}")
            print(f"pitch.fundamental_db={p['fundamental_db']:.1f}")
            print(f"pitch.strongest_harmonic={p['strongest_harmonic']:.3f}")
            print(f"pitch.subharmonic_db={p['subharmonic_db']:.1f}")
            harmonic = p["strongest_harmonic"]
            report("pitch", abs(p["cents"]) <= args.tol_cents
                   and p["fundamental_db"] >= -30.0
                   and abs(harmonic - round(harmonic)) <= 0.01 * round(harmonic)
                   and p["subharmonic_db"] <= -30.0)
    if args.release is not None:
        tail = x[min(len(x), off + int(args.release * rate)):]
        tail_peak = db(peak(tail))
        print(f"tail.seconds={len(tail) / rate:.3f}")
        print(f"tail.peak_db={tail_peak:.1f}")
        report("tail", len(tail) >= rate // 10 and tail_peak <= args.silence_db)
    return 0 if all(results) else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (WavError, OSError, ValueError) as e:
        print(f"wavcheck: {e}", file=sys.stderr)
        sys.exit(2)
