#!/usr/bin/env python3
"""Writes the viewer's skin: every SVG picture under resources/skin and the file list of
resources/resources.qrc. The pictures are drawn here from simple shapes; run this script after a
change and commit its output.

Buttons are strips of four state images side by side: normal, hover, pressed, disabled. Sizes are
design pixels at layout scale 1; the program renders each picture at the scaled size."""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = {}

# The dark look: plates, glyph colours and the accent per button state.
STATES = [
    # plate top, plate bottom, border, glyph
    ("#505459", "#2c2e31", "#6a6e74", "#e6e8eb"),  # normal
    ("#5d7391", "#34465e", "#9cc2ef", "#ffffff"),  # hover
    ("#1d2632", "#2f3d50", "#6f93bf", "#a9cdf5"),  # pressed
    ("#383838", "#303030", "#434343", "#676767"),  # disabled
]


def svg(name, w, h, body, defs=""):
    OUT[name] = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
                 f'viewBox="0 0 {w} {h}">\n<defs>{defs}</defs>\n{body}\n</svg>\n')


def grad(gid, top, bottom, x2=0, y2=1):
    return (f'<linearGradient id="{gid}" x1="0" y1="0" x2="{x2}" y2="{y2}">'
            f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/>'
            f'</linearGradient>')


# Glyphs of the transport buttons in a 32 x 32 cell; "C" stands for the glyph colour.
def tri(x1, y1, x2, y2, x3, y3):
    return f'<polygon points="{x1},{y1} {x2},{y2} {x3},{y3}" fill="C"/>'


def bar(x, y, w, h):
    return f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="0.6" fill="C"/>'


def gear():
    parts = ['<circle cx="16" cy="16" r="6.2" fill="C"/>']
    for i in range(8):
        a = i * 45
        parts.append(f'<rect x="14.4" y="7.2" width="3.2" height="4" rx="0.6" fill="C" '
                     f'transform="rotate({a} 16 16)"/>')
    parts.append('<circle cx="16" cy="16" r="2.6" fill="P"/>')
    return "".join(parts)


GLYPHS = {
    "btn_first": bar(9, 10, 2.6, 12) + tri(23, 10, 12.5, 16, 23, 22),
    "btn_previous": tri(16, 10, 7, 16, 16, 22) + tri(25, 10, 16, 16, 25, 22),
    "btn_play": tri(11, 8.5, 24, 16, 11, 23.5),
    "btn_pause": bar(10, 9, 4.2, 14) + bar(17.8, 9, 4.2, 14),
    "btn_slow": ('<polygon points="13,10 23,16 13,22" fill="none" stroke="C" stroke-width="1.8" '
                 'stroke-linejoin="round"/>' + '<circle cx="8.5" cy="16" r="1.3" fill="C"/>'),
    "btn_fast_forward": tri(7, 10, 16, 16, 7, 22) + tri(16, 10, 25, 16, 16, 22),
    "btn_next": tri(7, 10, 15, 16, 7, 22) + tri(15, 10, 23, 16, 15, 22) + bar(23, 10, 2.6, 12),
    "btn_still_image": ('<rect x="7" y="11.5" width="18" height="12" rx="2" fill="C"/>'
                        '<rect x="12" y="8.5" width="8" height="4" rx="1" fill="C"/>'
                        '<circle cx="16" cy="17.5" r="4" fill="P"/>'
                        '<circle cx="16" cy="17.5" r="2.3" fill="C"/>'),
    "btn_save_joined": ('<rect x="8" y="7" width="16" height="18" rx="1.5" fill="C"/>'
                        '<rect x="11" y="7" width="9" height="5.5" fill="P"/>'
                        '<rect x="17" y="8" width="2" height="3.5" fill="C"/>'
                        '<rect x="10.5" y="16" width="11" height="7" rx="0.8" fill="P"/>'
                        '<path d="M12.5 19.5h7" stroke="C" stroke-width="1.2"/>'),
    "btn_zoom": ('<circle cx="14" cy="14" r="6" fill="none" stroke="C" stroke-width="2.2"/>'
                 '<path d="M18.5 18.5l6 6" stroke="C" stroke-width="3" stroke-linecap="round"/>'
                 '<path d="M11 14h6M14 11v6" stroke="C" stroke-width="1.6"/>'),
    "btn_browse": ('<path d="M6.5 10.5h7l2 2h10v11h-19z" fill="C"/>'
                   '<path d="M6.5 14.5h19" stroke="P" stroke-width="1.2"/>'),
    "btn_delete": ('<rect x="10" y="12" width="12" height="13" rx="1.2" fill="C"/>'
                   '<rect x="8" y="9" width="16" height="2.4" rx="0.8" fill="C"/>'
                   '<rect x="13.5" y="7" width="5" height="2.4" rx="0.8" fill="C"/>'
                   '<path d="M13.5 14.5v8M16 14.5v8M18.5 14.5v8" stroke="P" stroke-width="1.1"/>'),
    "btn_settings": gear(),
    "btn_csv": ('<path d="M9 6.5h10l5 5v14h-15z" fill="C"/>'
                '<path d="M19 6.5v5h5" fill="P"/>'
                '<path d="M11.5 15h10M11.5 18.5h10M11.5 22h10M16.5 13v10.5" stroke="P" '
                'stroke-width="1.1"/>'),
    "btn_map": ('<path d="M6 10l6.5-2.5 7 2.5 6.5-2.5v15l-6.5 2.5-7-2.5-6.5 2.5z" fill="C"/>'
                '<path d="M12.5 7.5v15M19.5 10v15" stroke="P" stroke-width="1"/>'
                '<path d="M16 12.5c-2 0-3.3 1.4-3.3 3.1 0 2.3 3.3 5.4 3.3 5.4s3.3-3.1 3.3-5.4'
                'c0-1.7-1.3-3.1-3.3-3.1z" fill="#e0554a" stroke="P" stroke-width="0.8"/>'),
}


def button_strip(name, glyph, w=32, h=32):
    cells, defs = [], ""
    for i, (top, bottom, border, colour) in enumerate(STATES):
        gid = f"g{i}"
        defs += grad(gid, top, bottom)
        dy = 1 if i == 2 else 0
        plate = (f'<rect x="{i * w + 1}" y="1" width="{w - 2}" height="{h - 2}" rx="6" '
                 f'fill="url(#{gid})" stroke="{border}" stroke-width="1"/>')
        if i == 1:
            plate += (f'<rect x="{i * w + 2.5}" y="2.5" width="{w - 5}" height="{h / 2 - 2}" rx="4.5" '
                      f'fill="#ffffff" fill-opacity="0.10"/>')
        hole = bottom
        g = glyph.replace('"C"', f'"{colour}"').replace('"P"', f'"{hole}"')
        cells.append(plate + f'<g transform="translate({i * w},{dy})">{g}</g>')
    svg(name, 4 * w, h, "\n".join(cells), defs)


for n, g in GLYPHS.items():
    button_strip(n, g)
# Plain plate for buttons that carry only their text (OK, Cancel).
button_strip("btn_text", "", 100, 30)

# Title-bar buttons: flat plates on the caption; close turns red under the mouse.
TITLE_STATES = [("#2f3134", "#9ea3a9"), ("#4a4e54", "#ffffff"), ("#1f2124", "#c8ccd2"),
                ("#2f3134", "#5b5e62")]


def title_strip(name, w, h, glyph, hover="#4a4e54", pressed="#1f2124"):
    cells = []
    for i, (plate, colour) in enumerate(TITLE_STATES):
        if i == 1:
            plate = hover
        if i == 2:
            plate = pressed
        x0 = i * w
        cells.append(f'<rect x="{x0}" y="0" width="{w}" height="{h}" fill="{plate}"/>'
                     f'<rect x="{x0}" y="{h - 1}" width="{w}" height="1" fill="#1a1b1d"/>'
                     f'<g transform="translate({x0},0)">'
                     + glyph(w, h).replace('"C"', f'"{colour}"') + '</g>')
    svg(name, 4 * w, h, "\n".join(cells))


title_strip("title_close", 46, 18,
            lambda w, h: f'<path d="M{w/2-4.5} 4.5l9 9M{w/2+4.5} 4.5l-9 9" stroke="C" '
                         f'stroke-width="1.6" stroke-linecap="round"/>',
            hover="#c8413a", pressed="#8e2a25")
title_strip("title_maximise", 26, 18,
            lambda w, h: f'<rect x="{w/2-5}" y="4.5" width="10" height="9" fill="none" '
                         f'stroke="C" stroke-width="1.4"/>')
title_strip("title_restore", 26, 18,
            lambda w, h: f'<rect x="{w/2-5}" y="6.5" width="8" height="7" fill="none" stroke="C" '
                         f'stroke-width="1.3"/><path d="M{w/2-2} 6.5v-2h8v7h-2" fill="none" '
                         f'stroke="C" stroke-width="1.3"/>')
title_strip("title_minimise", 26, 18,
            lambda w, h: f'<path d="M{w/2-5} 12.5h10" stroke="C" stroke-width="1.6"/>')
# The thumbnail switch stays in its pressed look while thumbnails are on: a blue plate that
# reads as "on" beside the other title-bar buttons.
title_strip("title_thumbnail", 150, 18,
            lambda w, h: f'<rect x="2.5" y="1.5" width="{w - 5}" height="{h - 4}" rx="3" '
                         f'fill="none" stroke="C" stroke-opacity="0.35"/>',
            pressed="#2b5c9a")

# Dialog close button: four 13 x 12 images.
cells = []
for i, (top, bottom, border, colour) in enumerate(STATES):
    if i == 1:
        top, bottom, border = "#d4544c", "#a8332c", "#f08b84"
    cells.append(f'<rect x="{i * 13 + 0.5}" y="0.5" width="12" height="11" rx="2" fill="{bottom}" '
                 f'stroke="{border}"/><path d="M{i * 13 + 4} 3.5l5 5M{i * 13 + 9} 3.5l-5 5" '
                 f'stroke="{colour}" stroke-width="1.4" stroke-linecap="round"/>')
svg("dialog_close", 52, 12, "\n".join(cells))

# Check boxes: unchecked, hover, checked, disabled; 12 x 12 each. The empty box is white, so
# that it reads as empty both on the dark panels and in the white rows of the tick list.
cells = []
for i, (fill, border, tick) in enumerate([("#ffffff", "#8a8f96", None),
                                          ("#d6e8ff", "#5b9be6", None),
                                          ("#2f6fd0", "#9cc2ef", "#ffffff"),
                                          ("#2a2a2a", "#4c4c4c", None)]):
    x0 = i * 12
    c = (f'<rect x="{x0 + 0.75}" y="0.75" width="10.5" height="10.5" rx="2" fill="{fill}" '
         f'stroke="{border}" stroke-width="1.2"/>')
    if tick:
        c += (f'<path d="M{x0 + 3} 6.2l2.2 2.2 4-4.6" fill="none" stroke="{tick}" '
              f'stroke-width="1.7" stroke-linecap="round" stroke-linejoin="round"/>')
    cells.append(c)
svg("check_box", 48, 12, "\n".join(cells))

# Information panel toggle buttons (X, Y, Z kinds on the graph and map): 4 states, 12 x 12.
cells = []
for i, (fill, border, dot) in enumerate([("#1c1d1f", "#9a9a9a", None), ("#2a3a50", "#cfe3ff", None),
                                         ("#1c1d1f", "#9a9a9a", "#ffd24a"),
                                         ("#2a2a2a", "#4c4c4c", None)]):
    x0 = i * 12
    c = f'<circle cx="{x0 + 6}" cy="6" r="5.2" fill="{fill}" stroke="{border}" stroke-width="1.1"/>'
    if dot:
        c += f'<circle cx="{x0 + 6}" cy="6" r="2.8" fill="{dot}"/>'
    cells.append(c)
svg("panel_toggle", 48, 12, "\n".join(cells))

# Sliders. Tracks hold no background of their own: the window shows through.
svg("position_played", 800, 10,
    '<rect x="0" y="2.5" width="800" height="5" rx="2.5" fill="url(#p)"/>',
    grad("p", "#79b4ff", "#2f6fd0"))
svg("position_remaining", 800, 10,
    '<rect x="0.5" y="3" width="799" height="4" rx="2" fill="#1a1b1d" stroke="#5b5f66" '
    'stroke-width="1"/>')
svg("position_thumb", 25, 10,
    '<rect x="0.5" y="0.5" width="24" height="9" rx="3" fill="url(#t)" stroke="#141414"/>'
    '<path d="M10.5 3v4M12.5 3v4M14.5 3v4" stroke="#6d6f73" stroke-width="0.8"/>',
    grad("t", "#f4f5f7", "#a9adb3"))
svg("position_thumb_pressed", 25, 10,
    '<rect x="0.5" y="0.5" width="24" height="9" rx="3" fill="url(#t)" stroke="#0c2340"/>'
    '<path d="M10.5 3v4M12.5 3v4M14.5 3v4" stroke="#2f5d99" stroke-width="0.8"/>',
    grad("t", "#d9eaff", "#79aef0"))
svg("volume_played", 100, 20, '<path d="M0 15h100v-11z" fill="url(#v)"/>',
    grad("v", "#2f6fd0", "#8fd0ff", 1, 0))
svg("volume_remaining", 100, 20,
    '<path d="M0.5 15h99v-11z" fill="#1a1b1d" stroke="#5b5f66" stroke-width="1" '
    'stroke-linejoin="round"/>')
svg("volume_thumb", 10, 20,
    '<rect x="0.5" y="0.5" width="9" height="19" rx="2.5" fill="url(#t)" stroke="#141414"/>'
    '<path d="M3 8h4M3 10h4M3 12h4" stroke="#6d6f73" stroke-width="0.8"/>',
    grad("t", "#f4f5f7", "#a9adb3"))
svg("volume_thumb_pressed", 10, 20,
    '<rect x="0.5" y="0.5" width="9" height="19" rx="2.5" fill="url(#t)" stroke="#0c2340"/>'
    '<path d="M3 8h4M3 10h4M3 12h4" stroke="#2f5d99" stroke-width="0.8"/>',
    grad("t", "#d9eaff", "#79aef0"))

# Window frame, 1200 x 750: a bevelled grey edge around a transparent interior. The program
# cuts it into a 3 x 3 grid and draws only the border cells.
svg("window_frame", 1200, 750,
    '<rect x="0.5" y="0.5" width="1199" height="749" fill="none" stroke="#0d0d0e"/>'
    '<rect x="2.5" y="2.5" width="1195" height="745" fill="none" stroke="#5a5d62" '
    'stroke-width="3"/>'
    '<rect x="4.5" y="4.5" width="1191" height="741" fill="none" stroke="#27282a"/>'
    '<rect x="1.5" y="1.5" width="1197" height="1" fill="#8a8e94"/>'
    '<rect x="6" y="23" width="1188" height="1" fill="#5d83b3" fill-opacity="0.55"/>')

# File browser kind marks, 14 x 14: an orange grid and one overlay cell per kind.
svg("kind_grid", 14, 14,
    '<rect x="0.5" y="0.5" width="13" height="13" fill="#f59b2b" stroke="#b9650b"/>'
    '<path d="M7 0.5v13M0.5 7h13" stroke="#b9650b"/>')
for name, colour, cell, letter in [("kind_impact", "#d8342c", (0, 0), "I"),
                                   ("kind_parking", "#2f6fd0", (7, 0), "P"),
                                   ("kind_manual", "#2e9e48", (0, 7), "M"),
                                   ("kind_parking_impact", "#8a3fc4", (7, 7), "X")]:
    x, y = cell
    svg(name, 14, 14,
        f'<rect x="{x}" y="{y}" width="7" height="7" fill="{colour}"/>'
        f'<text x="{x + 3.5}" y="{y + 6.1}" font-family="DejaVu Sans" font-weight="bold" '
        f'font-size="6.4" fill="#ffffff" text-anchor="middle">{letter}</text>')

# Acceleration graph background: black field, label column of 41 pixels, white frame,
# grid lines and a ticked centre line.
grid = "".join(f'<path d="M41 {y}.5H639" stroke="#3a3a3a" stroke-dasharray="2 3"/>'
               for y in (15, 35, 85, 105))
ticks = "".join(f'<path d="M{x}.5 57v7" stroke="#bdbdbd"/>' for x in range(46, 640, 25))
svg("graph_background", 640, 120,
    '<rect width="640" height="120" fill="#000000"/>' + grid
    + '<path d="M41 60.5H639" stroke="#8a8a8a"/>' + ticks
    + '<rect x="41.5" y="0.5" width="598" height="119" fill="none" stroke="#ffffff"/>')

# Information panel pictures.
svg("panel_background", 655, 105,
    '<rect width="655" height="105" fill="url(#b)"/>'
    '<path d="M140.5 8v52M280.5 8v52M420.5 8v52" stroke="#3a3c40"/>'
    '<path d="M8 66.5h639" stroke="#3a3c40"/>',
    grad("b", "#16171a", "#0b0b0c"))


def mic(extra):
    return ('<rect x="19" y="4" width="10" height="17" rx="5" fill="#e6e8eb"/>'
            '<path d="M14.5 15a9.5 9.5 0 0 0 19 0" fill="none" stroke="#e6e8eb" stroke-width="2"/>'
            '<path d="M24 24.5v5M18.5 30.5h11" stroke="#e6e8eb" stroke-width="2"/>' + extra)


svg("panel_mic_sound", 48, 35, mic(
    '<path d="M9 10a12 12 0 0 0 0 12M5 7a17 17 0 0 0 0 18M39 10a12 12 0 0 1 0 12'
    'M43 7a17 17 0 0 1 0 18" fill="none" stroke="#7fc4ff" stroke-width="1.8"/>'))
svg("panel_mic_plain", 48, 35, mic(""))
svg("panel_mic_off", 48, 35, mic('<path d="M11 4l26 27" stroke="#e0453c" stroke-width="3" '
                                 'stroke-linecap="round"/>'))
svg("panel_satellite", 42, 35,
    '<g transform="rotate(-35 21 15)"><rect x="16" y="10" width="10" height="10" rx="1.5" '
    'fill="#d8dadd"/><rect x="3" y="11.5" width="11" height="7" fill="#3d7fd9" stroke="#a9cdf5" '
    'stroke-width="0.8"/><rect x="28" y="11.5" width="11" height="7" fill="#3d7fd9" '
    'stroke="#a9cdf5" stroke-width="0.8"/><path d="M14 15h2M26 15h2" stroke="#d8dadd"/></g>'
    '<path d="M8 30a14 14 0 0 1 8-8M4 33a19 19 0 0 1 10-13" fill="none" stroke="#7fe07f" '
    'stroke-width="1.6"/>')
svg("panel_no_value", 48, 19,
    '<text x="24" y="15" font-family="DejaVu Sans" font-weight="bold" font-size="15" '
    'fill="#ffffff" text-anchor="middle">--.-</text>')
for name, label, colour in [("panel_quality_720", "720", "#3d7fd9"),
                            ("panel_quality_1080", "1080", "#d9893d")]:
    svg(name, 44, 18,
        f'<rect x="0.5" y="0.5" width="43" height="17" rx="3" fill="{colour}" '
        f'stroke="#ffffff" stroke-opacity="0.6"/><text x="22" y="13.5" font-family="DejaVu Sans" '
        f'font-weight="bold" font-size="11.5" fill="#ffffff" text-anchor="middle">{label}</text>')
# Digit sheets: "0123456789.-G" in cells of 12 x 20, white and the three axis colours.
DIGITS = "0123456789.-G"
for name, colour in [("digits_white", "#ffffff"), ("digits_x", "#00ff00"),
                     ("digits_y", "#ff0000"), ("digits_z", "#8080ff")]:
    body = "".join(f'<text x="{i * 12 + 6}" y="16" font-family="DejaVu Sans Mono" '
                   f'font-weight="bold" font-size="17" fill="{colour}" '
                   f'text-anchor="middle">{ch}</text>' for i, ch in enumerate(DIGITS))
    svg(name, 12 * len(DIGITS), 20, body)

# Map placeholders, 452 x 392: the product mark alone, and with the offline notice.
LOGO = ('<rect width="452" height="392" fill="url(#bg)"/>'
        '<g transform="translate(226 160)">'
        '<circle r="62" fill="#1b1d21" stroke="#5d83b3" stroke-width="5"/>'
        '<circle r="40" fill="#0e0f11" stroke="#8a8e94" stroke-width="3"/>'
        '<circle r="22" fill="#2f6fd0"/><circle cx="-8" cy="-8" r="7" fill="#cfe3ff" '
        'fill-opacity="0.8"/>'
        '<path d="M-150 110L-30 62M150 110L30 62" stroke="#5a5d62" stroke-width="6"/>'
        '</g>'
        '<text x="226" y="300" font-family="DejaVu Sans" font-weight="bold" font-size="40" '
        'fill="#e6e8eb" text-anchor="middle" letter-spacing="6">RAVIR</text>'
        '<text x="226" y="326" font-family="DejaVu Sans" font-size="15" fill="#8a8e94" '
        'text-anchor="middle" letter-spacing="3">DRIVE RECORDER VIEWER</text>')
BG = grad("bg", "#26282c", "#101113")
svg("map_logo", 452, 392, LOGO, BG)
svg("map_logo_offline", 452, 392,
    LOGO.replace('translate(226 160)', 'translate(226 130) scale(0.8)')
    .replace('y="300"', 'y="250"').replace('y="326"', 'y="274"')
    + '<g transform="translate(226 330)"><circle r="22" fill="none" stroke="#e6e8eb" '
      'stroke-width="2.5"/><ellipse rx="9" ry="22" fill="none" stroke="#e6e8eb" '
      'stroke-width="2"/><path d="M-22 0h44M-19 -11h38M-19 11h38" stroke="#e6e8eb" '
      'stroke-width="1.6"/><path d="M-26 -26L26 26" stroke="#e0453c" stroke-width="5" '
      'stroke-linecap="round"/></g>'
    + '<text x="226" y="378" font-family="DejaVu Sans" font-size="13" fill="#e0a09b" '
      'text-anchor="middle">OFFLINE</text>', BG)

# Map icons, 32 x 32, and their shadow, 49 x 32.
PIN = 'M16 30c-1-4-10-11-10-18a10 10 0 0 1 20 0c0 7-9 14-10 18z'
svg("map_icon_gforce", 32, 32,
    f'<path d="{PIN}" fill="#d8342c" stroke="#5a0f0b"/>'
    '<text x="16" y="16.5" font-family="DejaVu Sans" font-weight="bold" font-size="11" '
    'fill="#ffffff" text-anchor="middle">G</text>')
svg("map_icon_user", 32, 32,
    f'<path d="{PIN}" fill="#2e9e48" stroke="#0d3a18"/>'
    '<text x="16" y="16.5" font-family="DejaVu Sans" font-weight="bold" font-size="11" '
    'fill="#ffffff" text-anchor="middle">M</text>')
svg("map_icon_emergency", 32, 32,
    f'<path d="{PIN}" fill="#f0a020" stroke="#5a3a05"/>'
    '<rect x="14.6" y="5.5" width="2.8" height="7.5" rx="1" fill="#1b1d21"/>'
    '<circle cx="16" cy="16" r="1.6" fill="#1b1d21"/>')
svg("map_icon_parking", 32, 32,
    f'<path d="{PIN}" fill="#2f6fd0" stroke="#0c2340"/>'
    '<text x="16" y="16.5" font-family="DejaVu Sans" font-weight="bold" font-size="11" '
    'fill="#ffffff" text-anchor="middle">P</text>')
svg("map_icon_shadow", 49, 32,
    '<path d="M16 30l18-14c5-4 14-3 12 2-2 4-14 10-30 12z" fill="#000000" fill-opacity="0.35"/>')

# The arrows of a number field's step buttons (dark dialogs).
svg("spin_up", 9, 6, '<path d="M0.5 5.5L4.5 0.5L8.5 5.5z" fill="#c8d2dc"/>')
svg("spin_down", 9, 6, '<path d="M0.5 0.5L4.5 5.5L8.5 0.5z" fill="#c8d2dc"/>')

# Application icon.
svg("app_icon", 256, 256,
    '<rect x="8" y="8" width="240" height="240" rx="48" fill="url(#bg)" stroke="#5d83b3" '
    'stroke-width="6"/>'
    '<path d="M40 220L108 120h40l68 100z" fill="#3a3c40"/>'
    '<path d="M128 130v18M128 165v22M128 204v16" stroke="#f0c040" stroke-width="7"/>'
    '<circle cx="128" cy="90" r="54" fill="#1b1d21" stroke="#8a8e94" stroke-width="8"/>'
    '<circle cx="128" cy="90" r="30" fill="#2f6fd0"/>'
    '<circle cx="116" cy="78" r="10" fill="#cfe3ff" fill-opacity="0.85"/>'
    '<circle cx="196" cy="44" r="12" fill="#e0453c"/>', grad("bg", "#34373c", "#121315"))

# Write the pictures and the resource list.
os.makedirs(HERE, exist_ok=True)
for name, text in sorted(OUT.items()):
    with open(os.path.join(HERE, name + ".svg"), "w", encoding="utf-8") as f:
        f.write(text)
qrc = os.path.join(os.path.dirname(HERE), "resources.qrc")
lines = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '  <qresource prefix="/skin">']
for name in sorted(OUT):
    lines.append(f'    <file alias="{name}.svg">skin/{name}.svg</file>')
lines += ['  </qresource>', '</RCC>', '']
with open(qrc, "w", encoding="utf-8") as f:
    f.write("\n".join(lines))
print(f"{len(OUT)} pictures written")
