"""The test note every real-host render plays, and the files that carry it to the hosts.

One note at 120 beats per minute: on at beat 1 (0.5 s), off at beat 3 (1.5 s), then room for
the release; the render is 4 beats (2 s) for a release that ends within 0.5 s, more when asked.
Beats keep the timing exact in every host (Ardour counts 1920 ticks per beat, LMMS 48 per beat,
the MIDI file 480).
"""

import struct

BPM = 120
SECONDS_PER_BEAT = 60.0 / BPM
ON_BEAT = 1
OFF_BEAT = 3


class TestNote:
    def __init__(self, key=60, velocity=100, end_beats=4):
        if not 0 <= key <= 127 or not 1 <= velocity <= 127 or end_beats <= OFF_BEAT:
            raise ValueError("test note out of range")
        self.key, self.velocity, self.end_beats = key, velocity, end_beats

    @property
    def on_seconds(self):
        return ON_BEAT * SECONDS_PER_BEAT

    @property
    def off_seconds(self):
        return OFF_BEAT * SECONDS_PER_BEAT

    @property
    def end_seconds(self):
        return self.end_beats * SECONDS_PER_BEAT


def _vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def midi_bytes(note, ppqn=480):
    """A type-0 standard MIDI file: tempo, the note on channel 1, end of track at the end."""
    events = [
        (0, b"\xFF\x51\x03" + (60_000_000 // BPM).to_bytes(3, "big")),
        (0, b"\xFF\x58\x04\x04\x02\x18\x08"),
        (ON_BEAT * ppqn, bytes([0x90, note.key, note.velocity])),
        (OFF_BEAT * ppqn, bytes([0x80, note.key, 0x40])),
        (note.end_beats * ppqn, b"\xFF\x2F\x00"),
    ]
    track, last = b"", 0
    for tick, data in events:
        track += _vlq(tick - last) + data
        last = tick
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, ppqn)
            + b"MTrk" + struct.pack(">I", len(track)) + track)


def write_midi(path, note, ppqn=480):
    with open(path, "wb") as f:
        f.write(midi_bytes(note, ppqn))
