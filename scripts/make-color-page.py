#!/usr/bin/env python3
"""Writes the Color page of a Resolve window as a scene.

scenes/color-page.json: the window holds exactly TOTAL elements as first shown
(Primaries in its Wheels mode, the Blur palette closed); the tail of the window
is padded to that count.
scenes/color-page-palettes-last.json (--palettes-last): the same page with the
palettes and the scopes at the end of the window, padded so that with both
palettes open the last element is the last one a walk reads: the worst place
for a reader that stops when it has what it needs.
scenes/color-page-palettes-only.json (--palettes-only): the palettes alone,
then the text "Scopes": every control the helper reads, in a window small
enough to walk thousands of times a second (the reply fuzzer).
Run from anywhere: python3 scripts/make-color-page.py [--palettes-last|--palettes-only] [OUTPUT]
"""

import json
import pathlib
import sys

TOTAL = 1801
LIMIT = 1800  # what one walk reads at most
RESET_DELAY_MS = 300


def node(role=None, description=None, value=None, children=None, id=None, **extra):
    n = {}
    if id is not None:
        n["id"] = id
    if role is not None:
        n["role"] = role
    if description is not None:
        n["description"] = description
    if value is not None:
        n["value"] = value
    n.update(extra)
    if children is not None:
        n["children"] = children
    return n


def group(description, children, **extra):
    return node("AXGroup", description, children=children, **extra)


def text(value, description=None, **extra):
    return node("AXStaticText", description, value=value, **extra)


def button(description, **extra):
    return node("AXButton", description, **extra)


def check(description, value, **extra):
    return node("AXCheckBox", description, value=value, **extra)


def image(description):
    return node("AXImage", description)


def sets(pairs, after=None):
    effects = []
    for target, value in pairs:
        effect = {"set": target, "value": value}
        if after is not None:
            effect["afterMs"] = after
        effects.append(effect)
    return effects


# --- Everything before the palettes ----------------------------------------


def title_bar():
    return group("Title bar", [
        image("DaVinci Resolve"),
        text("DaVinci Resolve"),
        text("Trovemark Demo"),
        text("Edited"),
        button("Close"),
        button("Minimize"),
        button("Zoom"),
        button("Full Screen"),
    ])


def interface_toolbar():
    left = [check(name, on) for name, on in
            [("Gallery", 1), ("LUTs", 0), ("Media Pool", 0), ("Clips", 1)]]
    right = [check(name, on) for name, on in
             [("Nodes", 1), ("Effects", 0), ("Lightbox", 0)]]
    return node("AXToolbar", "Interface toolbar", children=[
        group("Workspace panels", left),
        text("Trovemark Demo", "Project name"),
        group("Node panels", right),
    ])


def gallery():
    albums = node("AXOutline", "Albums", children=[
        node("AXRow", name, children=[text(name)])
        for name in ["Stills", "PowerGrade 1", "Timelines", "Memories"]
    ])
    stills = []
    for i in range(1, 25):
        label = f"1.{(i - 1) // 8 + 1}.{i}"
        stills.append(group(f"Still {label}", [image("Still thumbnail"), text(label)]))
    return group("Gallery", [
        group("Gallery header", [text("Gallery"), button("Split Screen"),
                                 node("AXPopUpButton", "Gallery view", value="Thumbnails")]),
        albums,
        node("AXScrollArea", "Stills", children=stills),
    ])


def viewer():
    transport = [button(name) for name in
                 ["Previous Clip", "Reverse", "Stop", "Play", "Next Clip", "Loop"]]
    return group("Viewer", [
        group("Viewer header", [
            node("AXPopUpButton", "Zoom", value="Fit"),
            text("A001_C004_0923XY", "Clip name"),
            text("01:00:12:04", "Source timecode"),
            check("Highlight", 0),
            check("Split Screen", 0),
            node("AXPopUpButton", "Viewer options", value=None),
        ]),
        image("Viewer"),
        group("Transport", transport + [
            node("AXValueIndicator", "Playhead", value=0.31),
            text("01:00:12:04", "Record timecode"),
        ]),
    ])


def node_editor():
    nodes = []
    for i in range(1, 7):
        label = f"{i:02d}"
        nodes.append(group(f"Node {label}", [
            text(label),
            text(["Primary", "Balance", "Skin", "Sky", "Blur", "Look"][i - 1], "Node label"),
            image("Node thumbnail"),
            check("Enable node", 1),
            group("Inputs", [node("AXButton", "RGB input"), node("AXButton", "Key input")]),
            group("Outputs", [node("AXButton", "RGB output"), node("AXButton", "Key output")]),
        ]))
    links = [node("AXGroup", f"Link {i:02d} to {i + 1:02d}") for i in range(1, 6)]
    return group("Node editor", [
        group("Node editor header", [
            text("Nodes"),
            node("AXPopUpButton", "Node editor mode", value="Clip"),
            button("Zoom to Fit"),
            button("Node Options"),
        ]),
        node("AXScrollArea", "Node graph", children=[
            group("Source", [text("Source"), image("Source node")]),
            *nodes,
            *links,
            group("Output", [text("Output"), image("Output node")]),
        ]),
    ])


def clips_strip():
    clips = []
    codecs = ["Apple ProRes 422 HQ", "Blackmagic RAW", "H.265 Main10"]
    for i in range(1, 31):
        minutes, seconds = divmod(i * 7, 60)
        clips.append(group(f"Clip {i:02d}", [
            text(f"{i:02d}", "Clip number"),
            text(f"01:{minutes:02d}:{seconds:02d}:00", "Clip timecode"),
            image("Clip thumbnail"),
            text("V1", "Track"),
            text(codecs[i % 3], "Codec"),
        ]))
    return group("Clips", [
        group("Clips header", [node("AXPopUpButton", "Clip filter", value="All Clips"),
                               button("Timeline list")]),
        node("AXScrollArea", "Thumbnail timeline", children=clips),
    ])


def palette_selectors():
    left = [check(name, 1 if name == "Primaries" else 0) for name in
            ["Camera Raw", "Color Match", "Primaries", "HDR", "RGB Mixer", "Motion Effects"]]
    center = []
    for name in ["Curves", "Color Warper", "Qualifier", "Window", "Tracker", "Magic Mask",
                 "Blur", "Key", "Sizing", "3D"]:
        if name == "Blur":
            center.append(check("Blur", 0, id="palette-blur", onPress=[
                {"set": "palette-blur", "value": 1}, {"show": "blur-palette"}]))
        else:
            center.append(check(name, 0))
    return group("Palette selectors", [group("Left palettes", left),
                                       group("Center palettes", center)])


# --- The Primaries palette ---------------------------------------------------

# Each group: name, default, range, readout scale, initial values in Y R G B
# order (Offset: R G B). The bars stand in the tree as Y, B, G, R.
PRIMARY_GROUPS = [
    ("Lift", 0, [-100, 100], 0.01, {"Y": -3, "R": 2.5, "G": 0, "B": -1.5}),
    ("Gamma", 0, [-100, 100], 0.01, {"Y": 4, "R": 0, "G": 1, "B": 2}),
    ("Gain", 700, [0, 2800], 1 / 700, {"Y": 735, "R": 700, "G": 714, "B": 686}),
    ("Offset", 0, [-100, 100], 0.01, {"R": 6, "G": 0, "B": -4}),
]


def channels(name):
    return ["R", "G", "B"] if name == "Offset" else ["Y", "R", "G", "B"]


def slider_id(group_name, channel):
    return f"{group_name.lower()}-{channel.lower()}"


def primaries_bars():
    groups = []
    for name, default, span, scale, initial in PRIMARY_GROUPS:
        order = channels(name)
        tree_order = order[:1] + order[1:][::-1] if len(order) == 4 else order[::-1]
        bars = [node("AXSlider", f"{name} {c}", value=initial[c], id=slider_id(name, c),
                     range=span) for c in tree_order]
        readouts = [text(None, f"{name} {c} value",
                         bind={"id": slider_id(name, c), "scale": scale, "format": "%.2f"})
                    for c in order]
        reset = button("Reset", id=f"{name.lower()}-reset", onPress=sets(
            [(slider_id(name, c), default) for c in order], RESET_DELAY_MS))
        groups.append(group(name, [
            group(f"{name} header", [text(name), reset]),
            group(f"{name} bars", bars),
            group(f"{name} values", readouts),
        ]))
    return group("Primaries bars", groups, id="primaries-bars", hidden=True)


def primaries_wheels():
    wheels = []
    for name, default, _, scale, _ in PRIMARY_GROUPS:
        order = channels(name)
        wheels.append(group(f"{name} wheel", [
            text(name),
            button("Reset", onPress=sets([(slider_id(name, c), default) for c in order],
                                         RESET_DELAY_MS)),
            image(f"{name} color wheel"),
            node("AXValueIndicator", f"{name} master wheel"),
            group(f"{name} wheel values", [
                text(None, f"{name} wheel {c} value",
                     bind={"id": slider_id(name, c), "scale": scale, "format": "%.2f"})
                for c in order]),
        ]))
    return group("Primaries wheels", wheels, id="primaries-wheels")


def primaries_mode(box_id, title):
    boxes = ["mode-wheels", "color-bars", "mode-log"]
    effects = [{"set": "primaries-title", "value": title}]
    effects += sets([(b, 1 if b == box_id else 0) for b in boxes])
    bars = box_id == "color-bars"
    effects.append({"show" if bars else "hide": "primaries-bars"})
    effects.append({"hide" if bars else "show": "primaries-wheels"})
    return effects


def primaries_palette():
    adjustments = []
    for label, value in [("Contrast", "1.000"), ("Pivot", "0.435"), ("Sat", "50.00"),
                         ("Hue", "50.00"), ("Lum Mix", "100.00")]:
        adjustments.append(group(label, [text(label), node("AXTextField", label, value=value)]))
    return group("Primaries", [
        group("Primaries header", [
            text("Primaries - Wheels", id="primaries-title"),
            check("Wheels", 1, id="mode-wheels",
                  onPress=primaries_mode("mode-wheels", "Primaries - Wheels")),
            check("Color Bars", 0, id="color-bars",
                  onPress=primaries_mode("color-bars", "Primaries - Color Bars")),
            check("Log", 0, id="mode-log",
                  onPress=primaries_mode("mode-log", "Primaries - Log Wheels")),
            button("Reset All", onPress=sets(
                [(slider_id(name, c), default) for name, default, _, _, _ in PRIMARY_GROUPS
                 for c in channels(name)], RESET_DELAY_MS)),
            node("AXPopUpButton", "Primaries options"),
        ]),
        primaries_wheels(),
        primaries_bars(),
        group("Primaries adjustments", adjustments),
    ], id="primaries-palette")


# --- The Blur palette --------------------------------------------------------

BLUR_ROWS = [
    ("Radius", "radius", 50, [62, 62, 62]),
    ("H/V Ratio", "ratio", 50, [50, 50, 50]),
    ("Scaling", "scaling", 25, [31, 25, 25]),
]


def blur_mode(box_id, title):
    boxes = ["blur-mode-blur", "blur-mode-sharpen", "blur-mode-mist"]
    return [{"set": "blur-title", "value": title}] + sets(
        [(b, 1 if b == box_id else 0) for b in boxes])


def blur_palette():
    rows = []
    for label, key, default, initial in BLUR_ROWS:
        ids = [f"{key}-{c}" for c in "rgb"]
        rows.append(group(label, [
            text(label),
            button("Reset", id=f"{key}-reset", onPress=sets([(i, default) for i in ids],
                                                            RESET_DELAY_MS)),
            check("", 1, id=f"{key}-link"),
            group(f"{label} sliders", [
                node("AXSlider", f"{label} {c}", value=v, id=i, range=[0, 100])
                for c, v, i in zip("RGB", initial, ids)]),
            group(f"{label} values", [
                text(None, f"{label} {c} value", bind={"id": i, "scale": 0.01, "format": "%.2f"})
                for c, i in zip("RGB", ids)]),
        ]))
    return group("Blur", [
        group("Blur header", [
            text("Blur - Blur", id="blur-title"),
            check("Blur", 1, id="blur-mode-blur", onPress=blur_mode("blur-mode-blur", "Blur - Blur")),
            check("Sharpen", 0, id="blur-mode-sharpen",
                  onPress=blur_mode("blur-mode-sharpen", "Blur - Sharpen")),
            check("Mist", 0, id="blur-mode-mist", onPress=blur_mode("blur-mode-mist", "Blur - Mist")),
        ]),
        *rows,
    ], id="blur-palette", hidden=True)


# --- Everything after the palettes -------------------------------------------


def scopes():
    views = []
    for name, top in [("Waveform", 1023), ("Parade", 1023), ("Vectorscope", None),
                      ("Histogram", 1023)]:
        scale = [text(str(v)) for v in range(0, top + 1, 128)] if top else [text("Skin")]
        views.append(group(name, [
            node("AXPopUpButton", "Scope type", value=name),
            button("Scope options"),
            image(name),
            group("Scale", scale),
        ]))
    return group("Scopes panel", [text("Scopes", id="scopes-title"), *views])


def clip_info():
    fields = [("Clip Name", "A001_C004_0923XY.braw"), ("Reel", "A001"), ("Codec", "Blackmagic RAW"),
              ("Resolution", "6144x3456"), ("Frame Rate", "24.000"), ("Data Level", "Auto"),
              ("Color Space", "Blackmagic Design"), ("Gamma", "Blackmagic Design Film"),
              ("Start TC", "10:41:07:12"), ("End TC", "10:41:19:03"), ("Duration", "00:00:11:15"),
              ("Frames", "279"), ("Camera", "Blackmagic URSA Mini Pro 12K"), ("ISO", "800"),
              ("White Balance", "5600"), ("Tint", "0"), ("Shutter", "180.0"),
              ("Lens", "Zeiss CP.3 35mm"), ("Iris", "T2.8"), ("Focal Length", "35"),
              ("Scene", "12"), ("Shot", "4"), ("Take", "3"), ("Angle", "A"),
              ("Keywords", "exterior, dusk"), ("Comments", "Hero take"), ("Flags", "None"),
              ("Clip Color", "Orange"), ("Audio Channels", "4"), ("Sample Rate", "48000")]
    rows = [node("AXRow", label, children=[text(label), text(value, label)])
            for label, value in fields]
    return group("Clip info", [text("Info"), node("AXTable", "Clip metadata", children=rows)])


def keyframes(rows):
    tracks = []
    for i in range(rows):
        tracks.append(node("AXRow", f"Corrector {i + 1}", children=[
            text(f"Corrector {i + 1}"),
            check("Lock", 0),
            group("Keyframes", [node("AXValueIndicator", "Keyframe", value=float(f))
                                for f in range(0, 144, 24)]),
        ]))
    return tracks


def mini_timeline(waveform_segments):
    clips = []
    for i in range(1, 61):
        clips.append(group(f"Timeline clip {i:02d}", [
            text(f"A001_C{i:03d}_0923XY"),
            image("Clip"),
        ]))
    return group("Mini timeline", [
        group("Timeline ruler", [text(f"01:00:{s:02d}:00") for s in range(0, 60, 10)]),
        node("AXRow", "Video 1", children=clips),
        node("AXRow", "Audio 1", children=[image("Waveform")
                                           for _ in range(waveform_segments // 2)]),
        node("AXRow", "Audio 2", children=[image("Waveform")
                                           for _ in range(waveform_segments - waveform_segments // 2)]),
    ])


def media_pool():
    items = []
    for i in range(1, 41):
        items.append(node("AXRow", f"A001_C{i:03d}_0923XY", children=[
            image("Clip icon"),
            text(f"A001_C{i:03d}_0923XY.braw", "Clip Name"),
            text(f"10:{i:02d}:07:12", "Start TC"),
            text("24.000", "FPS"),
        ]))
    return group("Media Pool", [
        group("Bins", [node("AXRow", name, children=[text(name)])
                       for name in ["Master", "Day 1", "Day 2", "Graphics", "Audio"]]),
        node("AXTable", "Clips in bin", children=items),
    ])


def status_bar():
    return group("Status bar", [text("DaVinci Resolve 20"), button("Project Manager"),
                                button("Project Settings"), text("Cached", "Render cache")])


def count(n):
    if n.get("hidden"):
        return 0
    return 1 + sum(count(c) for c in n.get("children", []))


def build_palettes_only():
    window = node("AXWindow", "DaVinci Resolve - Trovemark Demo", id="window", children=[
        group("Palettes", [
            palette_selectors(),
            group("Left palette panel", [primaries_palette()]),
            group("Center palette panel", [blur_palette()]),
        ]),
        text("Scopes", id="scopes-title"),
    ])
    return {
        "_note": "The palettes of a Resolve window alone. Made by scripts/make-color-page.py.",
        "trusted": True,
        "applications": [{"focusedWindow": 0, "windows": [window]}],
    }


def build(pad, palettes_last=False):
    palettes = [
        group("Palettes", [
            palette_selectors(),
            group("Left palette panel", [primaries_palette()]),
            group("Center palette panel", [blur_palette()]),
        ]),
        group("Right panel", [scopes(), clip_info()]),
    ]
    rest = [
        media_pool(),
        group("Keyframes", [text("Keyframes"), node("AXOutline", "Keyframe tracks",
                                                     children=keyframes(60))]),
        mini_timeline(pad),
        status_bar(),
    ]
    window = node("AXWindow", "DaVinci Resolve - Trovemark Demo", id="window", children=[
        title_bar(),
        interface_toolbar(),
        node("AXSplitGroup", "Upper panels", children=[gallery(), viewer(), node_editor()]),
        clips_strip(),
        *(rest + palettes if palettes_last else palettes + rest),
    ])
    return {
        "_note": "The Color page of a Resolve window. Made by scripts/make-color-page.py.",
        "trusted": True,
        "applications": [{"focusedWindow": 0, "windows": [window]}],
    }


def opened(n):
    """The elements a walk meets once both palettes show what the helper needs:
    the Blur palette open, the Primaries bars in place of its wheels."""
    shown = {"blur-palette", "primaries-bars"}
    if n.get("id") == "primaries-wheels" or (n.get("hidden") and n.get("id") not in shown):
        return 0
    return 1 + sum(opened(c) for c in n.get("children", []))


def main():
    args = sys.argv[1:]
    palettes_last = "--palettes-last" in args
    palettes_only = "--palettes-only" in args
    args = [a for a in args if a not in ("--palettes-last", "--palettes-only")]
    name = ("color-page-palettes-last.json" if palettes_last else
            "color-page-palettes-only.json" if palettes_only else "color-page.json")
    out = pathlib.Path(args[0]) if args else (
        pathlib.Path(__file__).resolve().parent.parent / "scenes" / name)
    if palettes_only:
        out.write_text(json.dumps(build_palettes_only(), indent=1, ensure_ascii=False) + "\n",
                       encoding="utf-8")
        return
    window = lambda scene: scene["applications"][0]["windows"][0]
    if palettes_last:
        empty = window(build(0, True))
        total = LIMIT - (opened(empty) - count(empty))
    else:
        total = TOTAL
    base = count(window(build(0, palettes_last)))
    if base > total:
        sys.exit(f"the window already holds {base} elements, more than {total}")
    scene = build(total - base, palettes_last)
    assert count(window(scene)) == total
    out.write_text(json.dumps(scene, indent=1, ensure_ascii=False) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
