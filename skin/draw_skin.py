#!/usr/bin/env python3
"""Draws the skin: writes every picture as an SVG file beside this script and
the resource list skin.qrc. Run it again after changing a picture here.

Look: dark surfaces in the skin colour RGB(53, 67, 72), highlights in the
accent colour RGB(160, 200, 255); a hover picture is the same drawing with a
lighter face, an accent rim and a brighter glyph.
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))

SKIN = "#354348"  # 53, 67, 72
ACCENT = "#a0c8ff"  # 160, 200, 255
GLYPH = "#b4c6cc"
GLYPH_HOVER = "#e6f1ff"
# Labels keep their own text colours, so each sits on a surface made for them:
# dark text (black, dark green) on a light plate, light and pale-red text on a
# near-black display, every one at a contrast of 4.5:1 or more. The folder
# row is white: the recording's file name blinks there between (255, 0, 0)
# and (155, 0, 0), and no surface gives both 4.5:1; white gives the most
# (4:1 and 8.8:1).
PLATE = "#e4ebee"
PLATE_WHITE = "#ffffff"
PLATE_RIM = "#8fa3aa"
DISPLAY = "#020304"
# Small captions printed on the skin itself.
CAPTION = "#a8bcc3"

pictures = {}


def svg(name, w, h, body, defs=""):
    d = f"<defs>{defs}</defs>" if defs else ""
    pictures[name] = (
        f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
        f'width="{w}" height="{h}" viewBox="0 0 {w} {h}">{d}{body}</svg>\n'
    )


def grad(id_, top, bottom, x2=0, y2=1):
    return (
        f'<linearGradient id="{id_}" x1="0" y1="0" x2="{x2}" y2="{y2}">'
        f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/>'
        f"</linearGradient>"
    )


# ---------------------------------------------------------------- buttons


def face(w, h, hover, round_=False):
    """The button's base: a bevelled dark face; hover lighter with an accent rim."""
    top, bottom = ("#52666d", "#33434a") if hover else ("#3f5157", "#263236")
    rim = ACCENT if hover else "#65777d"
    defs = grad("f", top, bottom)
    if round_:
        r = min(w, h) / 2 - 0.75
        body = (
            f'<circle cx="{w/2}" cy="{h/2}" r="{r}" fill="url(#f)" stroke="{rim}" stroke-width="1.2"/>'
            f'<path d="M {w/2-r+2.5} {h/2-1} A {r-2.5} {r-2.5} 0 0 1 {w/2+r-2.5} {h/2-1}" '
            f'fill="none" stroke="#ffffff" stroke-opacity="{0.22 if hover else 0.12}" stroke-width="1"/>'
        )
    else:
        body = (
            f'<rect x="0.5" y="0.5" width="{w-1}" height="{h-1}" rx="3" ry="3" fill="url(#f)" '
            f'stroke="{rim}" stroke-width="1"/>'
            f'<line x1="3" y1="1.6" x2="{w-3}" y2="1.6" stroke="#ffffff" '
            f'stroke-opacity="{0.25 if hover else 0.12}" stroke-width="1"/>'
        )
    return defs, body


def button(base, w, h, glyph, round_=False):
    """Writes <base>1 (normal) and <base>2 (hover); glyph(colour) gives the drawing."""
    for n, hover in ((1, False), (2, True)):
        defs, body = face(w, h, hover, round_)
        svg(f"{base}{n}", w, h, body + glyph(GLYPH_HOVER if hover else GLYPH, hover), defs)


# Glyphs of the 19 x 19 title-bar buttons.


def g_folder(c, hover):
    return (
        f'<path d="M 4 6 L 8 6 L 9.5 7.5 L 15 7.5 L 15 14 L 4 14 Z" fill="none" stroke="{c}" '
        f'stroke-width="1.3" stroke-linejoin="round"/>'
        f'<path d="M 4 9.5 L 15 9.5" stroke="{c}" stroke-width="1"/>'
    )


def g_setting(c, hover):
    teeth = []
    for i in range(8):
        a = i * math.pi / 4
        x1, y1 = 9.5 + 4.2 * math.cos(a), 9.5 + 4.2 * math.sin(a)
        x2, y2 = 9.5 + 6.2 * math.cos(a), 9.5 + 6.2 * math.sin(a)
        teeth.append(
            f'<line x1="{x1:.2f}" y1="{y1:.2f}" x2="{x2:.2f}" y2="{y2:.2f}" stroke="{c}" '
            f'stroke-width="2" stroke-linecap="round"/>'
        )
    return (
        "".join(teeth)
        + f'<circle cx="9.5" cy="9.5" r="4" fill="none" stroke="{c}" stroke-width="1.6"/>'
        + f'<circle cx="9.5" cy="9.5" r="1.3" fill="{c}"/>'
    )


def g_help(c, hover):
    return (
        f'<path d="M 6.6 7.4 C 6.6 5.4 8 4.4 9.6 4.4 C 11.4 4.4 12.6 5.6 12.6 7.1 '
        f'C 12.6 9.2 9.8 9.4 9.8 11.6" fill="none" stroke="{c}" stroke-width="1.8" '
        f'stroke-linecap="round"/>'
        f'<circle cx="9.8" cy="14.4" r="1.2" fill="{c}"/>'
    )


def g_info(c, hover):
    return (
        f'<circle cx="9.5" cy="5.4" r="1.3" fill="{c}"/>'
        f'<path d="M 7.6 8.2 L 10.4 8.2 L 10.4 13.4 L 11.6 13.4 M 7.4 13.4 L 10.4 13.4" '
        f'fill="none" stroke="{c}" stroke-width="1.7" stroke-linecap="round" stroke-linejoin="round"/>'
    )


def g_min(c, hover):
    return f'<line x1="5.5" y1="13" x2="13.5" y2="13" stroke="{c}" stroke-width="2" stroke-linecap="round"/>'


def g_close(c, hover):
    cc = "#ffb0a8" if hover else c
    return (
        f'<path d="M 6 6 L 13 13 M 13 6 L 6 13" stroke="{cc}" stroke-width="2" '
        f'stroke-linecap="round"/>'
    )


button("ImageFolder", 19, 19, g_folder)
button("ImageSetting", 19, 19, g_setting)
button("ImageHelp", 19, 19, g_help)
button("ImageInfo", 19, 19, g_info)
button("ImageMin", 19, 19, g_min)
button("ImageClose", 19, 19, g_close)

# Glyphs of the round transport buttons, drawn in a 28 x 28 box.


def g_record(c, hover):
    fill = "#ff5a4e" if hover else "#c8463c"
    return f'<circle cx="14" cy="14" r="6" fill="{fill}" stroke="#2a0c0a" stroke-opacity="0.5" stroke-width="0.8"/>'


def g_pause(c, hover):
    return (
        f'<rect x="9.5" y="8.5" width="3.4" height="11" rx="0.8" fill="{c}"/>'
        f'<rect x="15.1" y="8.5" width="3.4" height="11" rx="0.8" fill="{c}"/>'
    )


def g_stop(c, hover):
    return f'<rect x="9" y="9" width="10" height="10" rx="1.2" fill="{c}"/>'


def g_play(c, hover):
    fill = "#b8f0c4" if hover else "#8fc79a"
    return f'<path d="M 11 8 L 20 14 L 11 20 Z" fill="{fill}" stroke-linejoin="round"/>'


def g_show(c, hover):
    return (
        f'<path d="M 8.5 11 L 14 16.5 L 19.5 11" fill="none" stroke="{c}" stroke-width="2.2" '
        f'stroke-linecap="round" stroke-linejoin="round"/>'
        f'<line x1="8.5" y1="19.5" x2="19.5" y2="19.5" stroke="{c}" stroke-width="1.4" stroke-linecap="round"/>'
    )


def g_hide(c, hover):
    return (
        f'<path d="M 8.5 17 L 14 11.5 L 19.5 17" fill="none" stroke="{c}" stroke-width="2.2" '
        f'stroke-linecap="round" stroke-linejoin="round"/>'
        f'<line x1="8.5" y1="8.5" x2="19.5" y2="8.5" stroke="{c}" stroke-width="1.4" stroke-linecap="round"/>'
    )


button("ImageRecord", 28, 28, g_record, round_=True)
button("ImagePause", 28, 28, g_pause, round_=True)
button("ImageStop", 28, 28, g_stop, round_=True)
button("ImagePlay", 28, 28, g_play, round_=True)
button("ImageShow", 28, 28, g_show, round_=True)
button("ImageHide", 28, 28, g_hide, round_=True)

# The 27 x 27 square buttons.


def g_micro(c, hover):
    return (
        f'<rect x="10.5" y="5" width="6" height="10" rx="3" fill="{c}"/>'
        f'<path d="M 8 12 C 8 16.5 19 16.5 19 12" fill="none" stroke="{c}" stroke-width="1.5" '
        f'stroke-linecap="round"/>'
        f'<path d="M 13.5 16.3 L 13.5 20.5 M 10.5 21 L 16.5 21" stroke="{c}" stroke-width="1.5" '
        f'stroke-linecap="round"/>'
    )


def g_mixer(c, hover):
    out = []
    for x, y in ((8, 15), (13.5, 9), (19, 13)):
        out.append(f'<line x1="{x}" y1="6" x2="{x}" y2="21" stroke="{c}" stroke-opacity="0.55" stroke-width="1.2"/>')
        out.append(f'<rect x="{x-2.5}" y="{y-1.5}" width="5" height="3" rx="0.8" fill="{c}"/>')
    return "".join(out)


def g_tag(c, hover):
    return (
        f'<path d="M 6 8 L 6 13 L 14.5 21.5 L 21.5 14.5 L 13 6 L 8 6 Z" fill="none" stroke="{c}" '
        f'stroke-width="1.6" stroke-linejoin="round"/>'
        f'<circle cx="9.6" cy="9.6" r="1.4" fill="{c}"/>'
        f'<path d="M 12.5 14.5 L 16 18 M 14.5 12.5 L 18 16" stroke="{c}" stroke-width="1.2" stroke-linecap="round"/>'
    )


def g_save(c, hover):
    return (
        f'<path d="M 6.5 6.5 L 18 6.5 L 20.5 9 L 20.5 20.5 L 6.5 20.5 Z" fill="none" stroke="{c}" '
        f'stroke-width="1.5" stroke-linejoin="round"/>'
        f'<rect x="9.5" y="6.5" width="7" height="4.5" fill="{c}"/>'
        f'<rect x="9" y="14" width="9" height="6.5" rx="0.5" fill="none" stroke="{c}" stroke-width="1.2"/>'
    )


def g_closep(c, hover):
    cc = "#ffb0a8" if hover else c
    return (
        f'<path d="M 9 9 L 18 18 M 18 9 L 9 18" stroke="{cc}" stroke-width="2.4" '
        f'stroke-linecap="round"/>'
    )


button("ImageMicroOff", 27, 27, g_micro)
button("ImageXP", 27, 27, g_mixer)
button("ImageTag", 27, 27, g_tag)
button("ImageSave", 27, 27, g_save)
button("ImageCloseP", 27, 27, g_closep)
# The microphone pair is named off / on rather than 1 / 2.
pictures["ImageMicroOn"] = pictures.pop("ImageMicroOff2")
pictures["ImageMicroOff"] = pictures.pop("ImageMicroOff1")

# ---------------------------------------------------------------- sliders


for n, hover in ((1, False), (2, True)):
    top, bottom = ("#d6e6f5", "#8fa6b8") if hover else ("#a9b9c3", "#66787f")
    rim = ACCENT if hover else "#222c30"
    grip = "#3b4b52"
    svg(
        f"ImageHandle{n}",
        11,
        21,
        f'<rect x="0.5" y="0.5" width="10" height="20" rx="2.5" fill="url(#h)" stroke="{rim}"/>'
        + "".join(
            f'<line x1="3" y1="{y}" x2="8" y2="{y}" stroke="{grip}" stroke-width="1"/>'
            for y in (7.5, 10.5, 13.5)
        ),
        grad("h", top, bottom),
    )

svg(
    "ImageVolLine",
    160,
    5,
    '<rect x="0" y="0" width="160" height="5" fill="url(#v)"/>'
    '<line x1="0" y1="0.5" x2="160" y2="0.5" stroke="#ffffff" stroke-opacity="0.35"/>',
    grad("v", "#c4dcff", "#5f86b8"),
)

# The threshold marker, drawn on the level panel with its centre column at x = 3.
svg(
    "ImageThresh",
    7,
    32,
    '<path d="M 0 0 L 7 0 L 3.5 5 Z" fill="#ff4a3c"/>'
    '<path d="M 0 32 L 7 32 L 3.5 27 Z" fill="#ff4a3c"/>'
    '<rect x="3" y="3" width="1" height="26" fill="#ff6a5c"/>',
)

# ---------------------------------------------------------------- icons


def folder_icon(c1, c2):
    return (
        f'<path d="M 1.5 3.5 L 6 3.5 L 7.5 5 L 14.5 5 L 14.5 13.5 L 1.5 13.5 Z" fill="url(#p)" '
        f'stroke="{c2}" stroke-linejoin="round"/>'
        f'<path d="M 1.5 7 L 14.5 7" stroke="{c2}" stroke-opacity="0.6"/>',
        grad("p", c1, "#7f95a8"),
    )


body, defs = folder_icon("#d8e6f2", "#2e3c42")
svg("ImagePath", 16, 16, body, defs)

FORMATS = {
    # name: (tile top, tile bottom, glyph)
    "Wav": ("#7aa7e0", "#3c6aa6", "wave"),
    "MP3": ("#f0b060", "#b46a1e", "note"),
    "WMA": ("#a88ae0", "#6446a8", "w"),
    "Ogg": ("#86d08e", "#3e8a4a", "ring"),
    "Flac": ("#e08080", "#a43c3c", "bars"),
}


def format_glyph(kind, s):
    """A white glyph in a 16-unit box, scaled by s."""
    if kind == "wave":
        d = "M 3 8 L 4.5 8 L 5.5 4.5 L 7 11.5 L 8.5 3.5 L 10 12 L 11.2 6 L 12 8 L 13 8"
        return f'<path transform="scale({s})" d="{d}" fill="none" stroke="#ffffff" stroke-width="1.3" stroke-linejoin="round" stroke-linecap="round"/>'
    if kind == "note":
        return (
            f'<g transform="scale({s})"><path d="M 7 11.5 L 7 3.5 L 12 2.8 L 12 10.5" fill="none" stroke="#ffffff" stroke-width="1.3"/>'
            '<ellipse cx="5.6" cy="11.6" rx="1.8" ry="1.4" fill="#ffffff"/>'
            '<ellipse cx="10.6" cy="10.7" rx="1.8" ry="1.4" fill="#ffffff"/></g>'
        )
    if kind == "w":
        return f'<path transform="scale({s})" d="M 3 4.5 L 5.3 11.5 L 8 6.5 L 10.7 11.5 L 13 4.5" fill="none" stroke="#ffffff" stroke-width="1.6" stroke-linejoin="round" stroke-linecap="round"/>'
    if kind == "ring":
        return (
            f'<g transform="scale({s})"><circle cx="8" cy="8" r="4.3" fill="none" stroke="#ffffff" stroke-width="1.6"/>'
            '<circle cx="8" cy="8" r="1.3" fill="#ffffff"/></g>'
        )
    # bars: lossless stack
    return (
        f'<g transform="scale({s})" fill="#ffffff">'
        '<rect x="3.5" y="9" width="2" height="3.5"/><rect x="7" y="5.5" width="2" height="7"/>'
        '<rect x="10.5" y="3.5" width="2" height="9"/></g>'
    )


def format_tile(kind, size):
    s = size / 16
    return (
        f'<rect x="0.5" y="0.5" width="{size-1}" height="{size-1}" rx="{2.5*s}" fill="url(#t)" '
        f'stroke="#1e282c" stroke-opacity="0.8"/>' + format_glyph(kind, s)
    )


# The file list draws its 24 x 24 pictures at (left + 1, top - 3) in rows
# 17 high, clipped to the cell: only picture rows 3..19 show, and the name's
# eight leading blanks start at the cell's left. The tile is therefore a
# 15-unit square at (2, 4), inside one row with a pixel to spare above and
# below and a gap before the name; the rest stays transparent.
LIST_TILE = 15
LIST_TILE_AT = (2, 4)

for name, (top, bottom, kind) in FORMATS.items():
    svg(f"Image{name}", 16, 16, format_tile(kind, 16), grad("t", top, bottom))
    x, y = LIST_TILE_AT
    svg(
        f"Image{name}_24",
        24,
        24,
        f'<g transform="translate({x} {y})">{format_tile(kind, LIST_TILE)}</g>',
        grad("t", top, bottom),
    )

# The file list's image list of 24 x 24 icons, in its order: WAV, MP3, WMA, OGG, FLAC.
aliases = {f"ImageList1_{i}": f"Image{n}_24" for i, n in enumerate(("Wav", "MP3", "WMA", "Ogg", "Flac"))}

# The neutral properties icon: a blank sheet.
svg(
    "ImageProp",
    16,
    16,
    '<path d="M 3.5 1.5 L 10 1.5 L 12.5 4 L 12.5 14.5 L 3.5 14.5 Z" fill="#d4dde0" stroke="#56686e" stroke-linejoin="round"/>'
    '<path d="M 10 1.5 L 10 4 L 12.5 4" fill="none" stroke="#56686e"/>'
    '<path d="M 5.5 7 L 10.5 7 M 5.5 9.5 L 10.5 9.5 M 5.5 12 L 9 12" stroke="#8a9ca2"/>',
)

# Sort arrows of the file list's header (drawn on RGB(101, 115, 120)).
svg("ImageUp", 16, 16, f'<path d="M 4 11 L 8 5 L 12 11 Z" fill="{ACCENT}" stroke="#2c3a40" stroke-width="0.6"/>')
svg("ImageDown", 16, 16, f'<path d="M 4 5 L 8 11 L 12 5 Z" fill="{ACCENT}" stroke="#2c3a40" stroke-width="0.6"/>')

# Menu icons of the file list's popup menu, drawn on a light menu: Play, Stop,
# Rename, Convert, Move, Delete.
MENU_INK = "#2c4a66"
menu = [
    '<path d="M 5 3 L 13 8 L 5 13 Z" fill="#3c8a4e"/>',
    f'<rect x="4" y="4" width="8" height="8" rx="1" fill="{MENU_INK}"/>',
    f'<path d="M 3 13 L 3.6 10.4 L 10.6 3.4 L 12.6 5.4 L 5.6 12.4 Z" fill="#e8c86a" stroke="{MENU_INK}" stroke-linejoin="round"/>'
    f'<path d="M 3 13 L 5 12.5" stroke="{MENU_INK}"/>',
    f'<path d="M 2 5.5 L 10 5.5 M 7.5 3 L 10.5 5.5 L 7.5 8" fill="none" stroke="{MENU_INK}" stroke-width="1.4" stroke-linejoin="round"/>'
    '<path d="M 14 10.5 L 6 10.5 M 8.5 8 L 5.5 10.5 L 8.5 13" fill="none" stroke="#b46a1e" stroke-width="1.4" stroke-linejoin="round"/>',
    '<path d="M 1.5 4 L 5.5 4 L 7 5.5 L 12.5 5.5 L 12.5 13 L 1.5 13 Z" fill="#e4d08a" stroke="#7a6420" stroke-linejoin="round"/>'
    f'<path d="M 8 9.5 L 15 9.5 M 12.5 7 L 15 9.5 L 12.5 12" fill="none" stroke="{MENU_INK}" stroke-width="1.4" stroke-linejoin="round"/>',
    '<path d="M 4 5 L 5 14 L 11 14 L 12 5 Z" fill="#e8e4e0" stroke="#a43c3c" stroke-linejoin="round"/>'
    '<path d="M 3 4 L 13 4 M 6.5 4 L 6.5 2.5 L 9.5 2.5 L 9.5 4" fill="none" stroke="#a43c3c" stroke-width="1.2"/>'
    '<path d="M 6.5 6.5 L 6.8 12 M 9.5 6.5 L 9.2 12" stroke="#a43c3c"/>',
]
for i, body in enumerate(menu):
    svg(f"ImageListMenu_{i}", 16, 16, body)

# Tab icons of the format settings dialog: 0 other pages, 1 the active format.
svg("ImageListFormat_0", 16, 16, '<circle cx="8" cy="8" r="4" fill="none" stroke="#8a9499" stroke-width="1.4"/>')
svg(
    "ImageListFormat_1",
    16,
    16,
    '<circle cx="8" cy="8" r="5" fill="#3c9a52" stroke="#1e5a2c"/>'
    '<path d="M 5.5 8 L 7.3 10 L 10.7 6" fill="none" stroke="#ffffff" stroke-width="1.5" stroke-linecap="round" stroke-linejoin="round"/>',
)

# The program picture: a waveform on a round dark tile with an accent ring.
wave = " ".join(
    f"{'M' if i == 0 else 'L'} {12 + i * 1.0:.1f} {32 - 13 * math.sin(i / 40 * 2 * math.pi * 2) * math.exp(-((i - 20) / 14) ** 2):.2f}"
    for i in range(41)
)
svg(
    "ImageAbout",
    64,
    64,
    '<circle cx="32" cy="32" r="30" fill="url(#a)" stroke="#a0c8ff" stroke-width="2.5"/>'
    '<circle cx="32" cy="32" r="25.5" fill="none" stroke="#ffffff" stroke-opacity="0.12"/>'
    f'<path d="{wave}" fill="none" stroke="#a0c8ff" stroke-width="2.6" stroke-linejoin="round" stroke-linecap="round"/>'
    '<circle cx="46" cy="46" r="5" fill="#e0473c" stroke="#2a0c0a" stroke-opacity="0.5"/>',
    '<radialGradient id="a" cx="0.4" cy="0.35" r="0.75"><stop offset="0" stop-color="#52666d"/>'
    '<stop offset="1" stop-color="#1f2a2e"/></radialGradient>',
)

# The recording mode dialog's illustration: a small level bar with the red
# threshold slider and the arrows that say "drag it".
segs = "".join(
    f'<rect x="{6 + 5 * i}" y="14" width="4" height="9" fill="{["#7896c3", "#a5c3ff", "#96b4eb", "#87a5d7"][i % 4]}"/>'
    for i in range(9)
)
svg(
    "ImageDo",
    86,
    42,
    '<rect x="0.5" y="6.5" width="85" height="23" rx="2" fill="#354348" stroke="#1e282c"/>'
    + segs
    + '<line x1="6" y1="26" x2="80" y2="26" stroke="#909090" stroke-dasharray="1 2"/>'
    '<path d="M 54 5 L 61 5 L 57.5 10 Z" fill="#ff4a3c"/>'
    '<path d="M 54 31 L 61 31 L 57.5 26 Z" fill="#ff4a3c"/>'
    '<rect x="57" y="8" width="1" height="20" fill="#ff6a5c"/>'
    '<path d="M 44 37 L 71 37 M 47 34 L 44 37 L 47 40 M 68 34 L 71 37 L 68 40" fill="none" '
    'stroke="#c0392b" stroke-width="1.5" stroke-linecap="round" stroke-linejoin="round"/>',
)

# ---------------------------------------------------------------- backgrounds


def panel(x, y, w, h, r=3):
    """A recessed area: dark outer shadow, skin-coloured inside, faint accent edge."""
    return (
        f'<rect x="{x-0.5}" y="{y-0.5}" width="{w+1}" height="{h+1}" rx="{r}" fill="{SKIN}" '
        f'stroke="#1b2427" stroke-width="1"/>'
        f'<rect x="{x+0.5}" y="{y+0.5}" width="{w-1}" height="{h-1}" rx="{max(r-1, 0)}" fill="none" '
        f'stroke="{ACCENT}" stroke-opacity="0.10"/>'
    )


def plate(x, y, w, h, r=3, fill=PLATE):
    """A light label plate set into the skin: dark rim outside, soft shade inside the edge."""
    return (
        f'<rect x="{x-0.5}" y="{y-0.5}" width="{w+1}" height="{h+1}" rx="{r}" fill="{fill}" '
        f'stroke="#1b2427" stroke-width="1"/>'
        f'<rect x="{x+0.5}" y="{y+0.5}" width="{w-1}" height="{h-1}" rx="{max(r-1, 0)}" fill="none" '
        f'stroke="{PLATE_RIM}" stroke-opacity="0.6"/>'
    )


def display(x, y, w, h, r=3):
    """A near-black display for the light and pale-red texts, with a faint glass edge."""
    return (
        f'<rect x="{x-0.5}" y="{y-0.5}" width="{w+1}" height="{h+1}" rx="{r}" fill="{DISPLAY}" '
        f'stroke="#5a6c72" stroke-width="1"/>'
        f'<line x1="{x+r}" y1="{y+0.5}" x2="{x+w-r}" y2="{y+0.5}" stroke="{ACCENT}" stroke-opacity="0.18"/>'
    )


def frame(x1, y1, x2, y2):
    """A 1-pixel frame just outside an area that is painted over (its pixels stay untouched)."""
    return (
        f'<rect x="{x1-1.5}" y="{y1-1.5}" width="{x2-x1+3}" height="{y2-y1+3}" rx="1.5" fill="{SKIN}" '
        f'stroke="#1b2427"/>'
        f'<rect x="{x1-2.5}" y="{y1-2.5}" width="{x2-x1+5}" height="{y2-y1+5}" rx="2.5" fill="none" '
        f'stroke="{ACCENT}" stroke-opacity="0.16"/>'
    )


def shell(w, h, id_="bg"):
    """The window's surface: a soft vertical gradient around the skin colour with a rim."""
    return (
        grad(id_, "#3e4e54", "#2c383c"),
        f'<rect x="0" y="0" width="{w}" height="{h}" fill="url(#{id_})"/>'
        f'<rect x="0.5" y="0.5" width="{w-1}" height="{h-1}" fill="none" stroke="#12181a"/>'
        f'<rect x="1.5" y="1.5" width="{w-3}" height="{h-3}" fill="none" stroke="#ffffff" stroke-opacity="0.07"/>',
    )


def title(x, y, text, size=10):
    return (
        f'<text x="{x}" y="{y}" font-family="Liberation Sans, Arial, sans-serif" font-size="{size}" '
        f'font-weight="bold" fill="{ACCENT}" text-anchor="middle" '
        f'letter-spacing="3">{text}</text>'
    )


# Main window, 400 x 300. Places painted over: the buttons of the top row, the
# folder row (y 26..44), the status display (y 46..90), the scope (16, 95)..(186, 210),
# the spectrum (208, 95)..(384, 212), the level panel (14, 230)..(384, 260), the
# volume line (29, 277) 5 high with its knob, the transport buttons (184..392, 266..294).
defs, body = shell(400, 300)
body += title(200, 17, "KESTRUNE")
body += '<line x1="60" y1="12" x2="150" y2="12" stroke="#a0c8ff" stroke-opacity="0.14"/>'
body += '<line x1="250" y1="12" x2="282" y2="12" stroke="#a0c8ff" stroke-opacity="0.14"/>'
# The folder row: folder text and, while recording, the file name in red.
body += plate(8, 25, 386, 20, fill=PLATE_WHITE)
# The status display: status, time and format in light text; the recording
# source (black text, up to 150 pixels wide at (122, 72)) on its own plate.
# It reaches to x 394 so a ten-hour time (293 + 100) stays clear of its rim.
body += display(8, 47, 386, 42)
body += plate(117, 70, 162, 16, 2)
body += frame(16, 95, 186, 210)
body += frame(208, 95, 384, 212)
body += frame(14, 230, 384, 260)
# Small captions under the displays.
body += (
    f'<g font-family="Liberation Sans, Arial, sans-serif" font-size="8" fill="{CAPTION}" text-anchor="middle">'
    '<text x="101" y="221">SCOPE</text><text x="296" y="222">SPECTRUM</text></g>'
)
# The volume groove: the filled line (29, 277) 5 high grows over it.
body += (
    '<rect x="28.5" y="276.5" width="134" height="6" rx="2" fill="#1b2427" stroke="#111719"/>'
    '<g stroke="#8ea2a9" stroke-opacity="0.45">'
    + "".join(f'<line x1="{x}" y1="287" x2="{x}" y2="{291 if i % 4 == 0 else 289}"/>' for i, x in enumerate(range(30, 164, 8)))
    + "</g>"
    f'<text x="7" y="282" font-family="Liberation Sans, Arial, sans-serif" font-size="7" fill="{CAPTION}">VOL</text>'
)
body += '<rect x="178.5" y="264.5" width="217" height="32" rx="4" fill="#263135" stroke="#1b2427"/>'
svg("ImageForm1", 400, 300, body, defs)

# File list, 399 x 299: the grid at (16, 18) 368 x 239, the file row at y 268..296
# with the tag button at (364, 268).
defs, body = shell(399, 299)
body += title(200, 12, "RECORDINGS", 8)
body += frame(16, 18, 383, 256)
body += plate(12, 266, 348, 26)
svg("ImageFileList", 399, 299, body, defs)

# Player, 333 x 270 (client 332 x 269): file row (24..310, 28..50), the spectrum
# area (24, 62) 279 x 111, the sliders (position 24..193, volume 208..305) on
# y 180..204, the buttons below.
defs, body = shell(333, 270)
body += title(166, 16, "PLAYER", 8)
body += plate(18, 28, 292, 24)
body += frame(24, 62, 302, 172)
body += (
    '<rect x="23.5" y="188.5" width="171" height="6" rx="2" fill="#1b2427" stroke="#111719"/>'
    '<rect x="210.5" y="188.5" width="95" height="6" rx="2" fill="#1b2427" stroke="#111719"/>'
    f'<g font-family="Liberation Sans, Arial, sans-serif" font-size="7" fill="{CAPTION}">'
    '<text x="25" y="183">POSITION</text><text x="212" y="183">VOLUME</text></g>'
)
body += panel(14, 218, 304, 40, 4)
svg("ImagePlayer", 333, 270, body, defs)

# Tag editor, 249 x 299: six fields in a column from y 10 to 285, close at (225, 5),
# save at (212, 265).
defs, body = shell(249, 299)
for y in (30, 77, 123, 172, 220):
    body += frame(15, y, 232, y + 17)
body += frame(15, 267, 130, 284)
# Labels at (58, 10), (55, 56), (53, 104), (57, 152), (46, 200), (58, 248):
# each tab spans x 15..125 and the label's line, 14 high, plus a pixel each side.
for y in (10, 56, 104, 152, 200, 248):
    body += (
        f'<path d="M 14.5 {y+17.5} L 14.5 {y-0.5} Q 14.5 {y-2.5} 16.5 {y-2.5} L 123.5 {y-2.5} '
        f'Q 125.5 {y-2.5} 125.5 {y-0.5} L 125.5 {y+17.5} Z" fill="{PLATE}" stroke="#1b2427"/>'
        f'<line x1="15.5" y1="{y+16.5}" x2="124.5" y2="{y+16.5}" stroke="{PLATE_RIM}" stroke-opacity="0.6"/>'
    )
svg("ImageFormTag", 249, 299, body, defs)

# ---------------------------------------------------------------- output

for name, text in pictures.items():
    with open(os.path.join(HERE, name + ".svg"), "w") as f:
        f.write(text)
with open(os.path.join(HERE, "skin.qrc"), "w") as f:
    f.write('<RCC>\n  <qresource prefix="/skin">\n')
    for name in sorted(pictures):
        f.write(f"    <file>{name}.svg</file>\n")
    for alias, name in sorted(aliases.items()):
        f.write(f'    <file alias="{alias}.svg">{name}.svg</file>\n')
    f.write("  </qresource>\n</RCC>\n")
print(len(pictures), "pictures,", len(aliases), "aliases")
