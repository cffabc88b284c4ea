#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into fuzz/corpus/<target>/.

Run it again after changing how a target reads its input; inputs kept for
faults the fuzzers found (named finding-*) are left alone.
"""

import pathlib

HERE = pathlib.Path(__file__).resolve().parent

REQUESTS = {
    "status-blur": '{"action":"status","section":"blur"}',
    "status-primaries-extra-keys": '{"action":"status","section":"primaries","x":[1,{}],"Mode":1}',
    "nulls": '{"action":"status","section":"blur","mode":null,"index":null,"changes":null}',
    "nudge": '{"action":"nudge","section":"primaries","changes":{"0":1.5,"+3":-100,"03":100,"14":0}}',
    "nudge-exponents": '{"action":"nudge","section":"blur","changes":{"8":1e2,"1":-0.0,"2":1E-320}}',
    "reset": '{"action":"reset","section":"blur","mode":"Blur","index":2}',
    "index-exponent": '{"action":"reset","section":"primaries","index":1e1}',
    "index-fraction": '{"action":"reset","section":"primaries","index":2.5}',
    "index-text": '{"action":"reset","section":"primaries","index":"2"}',
    "index-huge": '{"action":"reset","section":"primaries","index":9223372036854775808}',
    "index-min": '{"action":"reset","section":"primaries","index":-9223372036854775808}',
    "index-long-exponent": '{"action":"reset","section":"primaries","index":1e-99999999999999999999}',
    "array": '[{"action":"status","section":"blur"}]',
    "missing-section": '{"action":"status"}',
    "not-json": "status blur",
    "changes-not-numbers": '{"action":"nudge","section":"blur","changes":{"0":"1"}}',
    "unicode": '{"action":"st\\u0061tus","section":"bl\\u00fcr","mode":"\\ud83d\\ude00"}',
    "duplicate-keys": '{"action":"nudge","action":"status","section":"blur","section":"primaries"}',
}

# The scene target reads: the number of requests less one; per request the
# action, section, a mode flag (and mode), an index flag (and index), a changes
# flag (and count, then key, kind and change per entry); a pause per request;
# then the scene: 0 for an empty window, else a Color page with three flags
# (bars on, Blur open, Blur mode), then damage, one choice after another.
STATUS, NUDGE, RESET = 0, 1, 2
PRIMARIES, BLUR = 0, 1


def request(action, section, mode=None, index=None, changes=None):
    out = [action, section]
    out += [0] if mode is None else [1, mode]
    out += [0] if index is None else [1, index]
    if changes is None:
        out += [0]
    else:
        out += [1, len(changes)]
        for key, change in changes:
            out += [key, 1, change]
    return out


def scene_input(requests, page=(1, 0, 0), damage=()):
    out = [len(requests) - 1]
    for r in requests:
        out += r
    out += [5] * len(requests)  # pauses of 100 ms
    out += [1, *page] if page else [0]
    out += list(damage)
    return bytes(out)


SCENES = {
    "status-both": scene_input([request(STATUS, PRIMARIES), request(STATUS, BLUR, mode=0)]),
    "switch-everything": scene_input(
        [request(STATUS, PRIMARIES), request(STATUS, BLUR, mode=0), request(STATUS, BLUR, mode=1)],
        page=(0, 0, 1)),
    "nudge": scene_input([request(NUDGE, PRIMARIES, changes=[(0, 1), (6, 4), (7, 3)])]),
    "reset-primaries": scene_input([request(RESET, PRIMARIES, index=2), request(RESET, PRIMARIES, index=3)]),
    "reset-blur": scene_input([request(RESET, BLUR, mode=0, index=0), request(RESET, BLUR, index=2)],
                              page=(1, 1, 1)),
    "fan-out": scene_input([request(STATUS, PRIMARIES)], damage=[2, 4, 0]),
    "deep": scene_input([request(STATUS, BLUR)], damage=[3, 0, 0, 0]),
    # 1990 levels, just inside the loader's nesting bound: once a stack overflow.
    "deep-at-bound": scene_input([request(STATUS, BLUR)], damage=[3, 0, 1, 0]),
    "refusals": scene_input([request(NUDGE, BLUR, changes=[(0, 2)]), request(RESET, BLUR, index=1)],
                            page=(1, 1, 0), damage=[11, 40, 0, 11, 50, 1]),
    "empty-window": scene_input([request(STATUS, PRIMARIES)], page=None),
}


# The reply target reads its request from the first byte (bit 0: "blur", bit 1:
# "reset", bits 2-3: the row, bit 4: a small window instead of the Color page),
# then one byte per call: below 128 the true
# answer, then an error, another signature, extreme values, no answer, a late
# one, changed bytes, stray messages, a reply twice. The peer leaves where the
# input ends.
BLUR_BIT, RESET_BIT, SMALL_BIT = 1, 2, 16
TRUE, ERROR, OTHER, EXTREME, SILENT, LATE, CHANGED, STRAY, TWICE = 0, 128, 160, 192, 224, 232, 240, 248, 252
REPLIES = {
    "status-primaries": bytes([0] + [TRUE] * 1000),
    "status-blur": bytes([BLUR_BIT] + [TRUE] * 1000),
    "reset-primaries": bytes([RESET_BIT | 2 << 2] + [TRUE] * 1000),
    "reset-blur": bytes([RESET_BIT | BLUR_BIT | 1 << 2] + [TRUE] * 1000),
    "late-every-fourth": bytes([RESET_BIT] + [TRUE, TRUE, TRUE, LATE, 255] * 200),
    "extremes-everywhere": bytes([BLUR_BIT] + [EXTREME, 0, 0, 3] * 250),
    "silent-after-a-while": bytes([0] + [TRUE] * 60 + [SILENT] + [TRUE] * 200),
    "small-window": bytes([SMALL_BIT | RESET_BIT] + [TRUE] * 100),
    "changed-bytes": bytes([0] + [TRUE] * 30 + [CHANGED, 0, 40, 0xff]),
    "stray-and-twice": bytes([RESET_BIT | BLUR_BIT] + [STRAY, TWICE] * 500),
}


def write(target, inputs):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in inputs.items():
        (folder / name).write_bytes(data.encode() if isinstance(data, str) else data)


write("request_fuzzer", REQUESTS)
write("scene_fuzzer", SCENES)
write("reply_fuzzer", REPLIES)
