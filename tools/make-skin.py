#!/usr/bin/env python3
"""Writes the player's skin (SVG files) into res/skin/.

Usage: tools/make-skin.py [output folder]   (default: res/skin next to this script's parent)

The art is generated so that every button, toggle and thumb shares one set of colours and
shapes. Cell positions must match src/ui/controls/Skin.h; the player's panels frame the controls
placed by src/ui/player/PlayerLayout.h, the equaliser's guides the sliders of
src/ui/controls/SkinLayout.h.
"""
import os
import sys

# Palette of the light theme.
INK = "#2f3a47"          # glyphs
INK_SOFT = "#7b8794"     # captions, idle LEDs
ACCENT = "#2d6fdc"
ACCENT_DARK = "#1d52ad"
ACCENT_LIGHT = "#5b93ee"
EDGE = "#a3adb9"         # outlines of raised parts
EDGE_DARK = "#7d8896"
PANEL_EDGE = "#9aa5b2"
GREEN = "#27a046"
AMBER = "#e39a00"
RED = "#d23f3a"


def svg(width, height, body, defs=""):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            f'width="{width}" height="{height}" viewBox="0 0 {width} {height}">\n'
            f"<defs>\n{defs}</defs>\n{body}</svg>\n")


def vgrad(gid, top, bottom, mid=None):
    stops = f'<stop offset="0" stop-color="{top}"/>'
    if mid:
        stops += f'<stop offset="0.5" stop-color="{mid}"/>'
    stops += f'<stop offset="1" stop-color="{bottom}"/>'
    return f'<linearGradient id="{gid}" x1="0" y1="0" x2="0" y2="1">{stops}</linearGradient>\n'


def hgrad(gid, left, right, mid=None):
    stops = f'<stop offset="0" stop-color="{left}"/>'
    if mid:
        stops += f'<stop offset="0.5" stop-color="{mid}"/>'
    stops += f'<stop offset="1" stop-color="{right}"/>'
    return f'<linearGradient id="{gid}" x1="0" y1="0" x2="1" y2="0">{stops}</linearGradient>\n'


# Raised face, lit face (mouse over) and pushed-in face shared by buttons and toggles.
FACE_DEFS = (vgrad("face", "#ffffff", "#dfe4ea", "#f3f5f8")
             + vgrad("faceLit", "#ffffff", "#e3ecfa", "#f6f9fe")
             + vgrad("facePushed", "#cfd6df", "#eef1f4")
             + vgrad("faceOn", ACCENT_LIGHT, ACCENT_DARK, ACCENT)
             + vgrad("faceOnLit", "#7aa9f3", "#2a63c4", "#4a86ea"))


def face(x, y, w, h, state, radius=6.0, on=False):
    """The body of a button cell; state 0 normal, 1 mouse over, 2 pressed."""
    if on:
        fill, stroke = ("faceOnLit" if state == 1 else "faceOn"), ACCENT_DARK
    else:
        fill, stroke = [("face", EDGE), ("faceLit", ACCENT_LIGHT), ("facePushed", EDGE_DARK)][state]
    out = (f'<rect x="{x + 1.5}" y="{y + 1.5}" width="{w - 3}" height="{h - 3}" rx="{radius}" '
           f'fill="url(#{fill})" stroke="{stroke}" stroke-width="1"/>\n')
    if state == 2 or on:
        # Inner shadow along the top edge of a pushed face.
        out += (f'<path d="M{x + 3},{y + 3.2} H{x + w - 3}" stroke="#000000" stroke-opacity="0.12" '
                f'stroke-width="1.2" stroke-linecap="round"/>\n')
    else:
        # Highlight along the top edge of a raised face.
        out += (f'<path d="M{x + 4},{y + 2.6} H{x + w - 4}" stroke="#ffffff" stroke-opacity="0.9" '
                f'stroke-width="1" stroke-linecap="round"/>\n')
    return out


def glyph_colour(state):
    return [INK, ACCENT, ACCENT_DARK][state]


# Transport glyphs drawn in a 30 x 30 cell around its centre (15, 15).
def g_play(c):
    return f'<path d="M11.5,9 L21.5,15 L11.5,21 Z" fill="{c}" stroke="{c}" stroke-width="1" stroke-linejoin="round"/>'


def g_pause(c):
    return (f'<rect x="10" y="9" width="3.6" height="12" rx="0.8" fill="{c}"/>'
            f'<rect x="16.4" y="9" width="3.6" height="12" rx="0.8" fill="{c}"/>')


def g_stop(c):
    return f'<rect x="10" y="10" width="10" height="10" rx="1.2" fill="{c}"/>'


def g_load(c):
    return (f'<path d="M15,8.5 L21.5,15.5 L8.5,15.5 Z" fill="{c}" stroke="{c}" stroke-width="1" stroke-linejoin="round"/>'
            f'<rect x="8.5" y="18" width="13" height="3" rx="0.8" fill="{c}"/>')


def g_fast_forward(c):
    return (f'<path d="M8,9.5 L15,15 L8,20.5 Z" fill="{c}" stroke="{c}" stroke-width="1" stroke-linejoin="round"/>'
            f'<path d="M15,9.5 L22,15 L15,20.5 Z" fill="{c}" stroke="{c}" stroke-width="1" stroke-linejoin="round"/>')


def g_next(c):
    return (f'<path d="M9.5,9.5 L17.5,15 L9.5,20.5 Z" fill="{c}" stroke="{c}" stroke-width="1" stroke-linejoin="round"/>'
            f'<rect x="18" y="9" width="3" height="12" rx="0.8" fill="{c}"/>')


def g_previous(c):
    return (f'<rect x="9" y="9" width="3" height="12" rx="0.8" fill="{c}"/>'
            f'<path d="M20.5,9.5 L12.5,15 L20.5,20.5 Z" fill="{c}" stroke="{c}" stroke-width="1" stroke-linejoin="round"/>')


def g_about(c):
    return (f'<circle cx="15" cy="15" r="7" fill="none" stroke="{c}" stroke-width="1.6"/>'
            f'<circle cx="15" cy="11.3" r="1.2" fill="{c}"/>'
            f'<path d="M15,14 V19.2" stroke="{c}" stroke-width="2" stroke-linecap="round"/>')


# x of each button's first cell in the 800 x 50 sheet.
BUTTONS = [(0, g_play), (90, g_pause), (180, g_stop), (270, g_load), (360, g_fast_forward),
           (450, g_next), (540, g_previous), (630, g_about)]


def buttons_sheet():
    body = ""
    for x0, glyph in BUTTONS:
        for state in range(3):
            x = x0 + 30 * state
            shift = 0.6 if state == 2 else 0
            body += face(x, 0, 30, 30, state)
            body += f'<g transform="translate({x},{shift})">{glyph(glyph_colour(state))}</g>\n'
    return svg(800, 50, body, FACE_DEFS)


# Letters for the toggles, 5 wide and 8 high, stroked.
LETTERS = {
    "E": "M5,0 H0 V8 H5 M0,4 H4",
    "Q": "M2.6,0 C4.4,0 5.2,1.6 5.2,4 C5.2,6.4 4.4,8 2.6,8 C0.8,8 0,6.4 0,4 C0,1.6 0.8,0 2.6,0 Z M3.4,5.6 L5.6,8.6",
    "P": "M0,8 V0 H3 C4.6,0 5.2,1 5.2,2.2 C5.2,3.4 4.6,4.4 3,4.4 H0",
    "L": "M0,0 V8 H5",
}


def label(text, x, y, colour):
    out = ""
    for i, ch in enumerate(text):
        out += (f'<path transform="translate({x + i * 8},{y})" d="{LETTERS[ch]}" fill="none" stroke="{colour}" '
                f'stroke-width="1.5" stroke-linecap="round" stroke-linejoin="round"/>')
    return out


def toggles_sheet():
    body = ""
    for x0, text in [(0, "EQ"), (168, "PL")]:
        for state in range(3):
            x = x0 + 55 * state
            on = state == 2
            body += face(x, 0, 55, 20, 1 if state == 1 else 0, radius=5, on=on)
            # Indicator lamp: dim when off, lit when latched.
            if on:
                body += (f'<circle cx="{x + 12}" cy="10" r="3.2" fill="#bff59a" stroke="#ffffff" '
                         f'stroke-opacity="0.7" stroke-width="1"/>\n')
            else:
                lamp = ACCENT_LIGHT if state == 1 else "#c3cad3"
                body += f'<circle cx="{x + 12}" cy="10" r="3" fill="{lamp}" stroke="{EDGE_DARK}" stroke-width="0.8"/>\n'
            colour = "#ffffff" if on else (ACCENT if state == 1 else INK)
            body += label(text, x + 24, 6, colour) + "\n"
    return svg(400, 50, body, FACE_DEFS)


def thumb(width, height, horizontal_grip):
    """Three cells: normal, mouse over, dragged."""
    defs = (hgrad("t0", "#ffffff", "#cbd2db", "#eef1f4") if not horizontal_grip else vgrad("t0", "#ffffff", "#cbd2db", "#eef1f4"))
    defs += (hgrad("t1", "#ffffff", "#bcd2f6", "#e9f1fd") if not horizontal_grip else vgrad("t1", "#ffffff", "#bcd2f6", "#e9f1fd"))
    defs += (hgrad("t2", ACCENT_LIGHT, ACCENT_DARK) if not horizontal_grip else vgrad("t2", ACCENT_LIGHT, ACCENT_DARK))
    body = ""
    radius = min(width, height) / 2 - 1
    for state in range(3):
        x = width * state
        stroke = [EDGE_DARK, ACCENT, ACCENT_DARK][state]
        grip = ["#8a95a3", ACCENT, "#ffffff"][state]
        body += (f'<rect x="{x + 0.5}" y="0.5" width="{width - 1}" height="{height - 1}" rx="{radius:.2f}" '
                 f'fill="url(#t{state})" stroke="{stroke}" stroke-width="1"/>\n')
        if horizontal_grip:
            cy = height / 2
            body += f'<path d="M{x + 5},{cy} H{x + width - 5}" stroke="{grip}" stroke-width="1.2" stroke-linecap="round"/>\n'
        else:
            cx = x + width / 2
            body += f'<path d="M{cx},{4} V{height - 4}" stroke="{grip}" stroke-width="1.2" stroke-linecap="round"/>\n'
    return svg(width * 3, height, body, defs)


def volume_thumb():
    width, height = 11, 12
    body = ""
    defs = vgrad("t0", "#ffffff", "#cbd2db") + vgrad("t1", "#ffffff", "#bcd2f6") + vgrad("t2", ACCENT_LIGHT, ACCENT_DARK)
    for state in range(3):
        x = width * state
        stroke = [EDGE_DARK, ACCENT, ACCENT_DARK][state]
        dot = ["#8a95a3", ACCENT, "#ffffff"][state]
        # A rounded shield that points down into the channel.
        body += (f'<path d="M{x + 1.5},1.5 H{x + 9.5} V7.5 L{x + 5.5},10.8 L{x + 1.5},7.5 Z" '
                 f'fill="url(#t{state})" stroke="{stroke}" stroke-width="1" stroke-linejoin="round"/>\n')
        body += f'<circle cx="{x + 5.5}" cy="5.3" r="1.3" fill="{dot}"/>\n'
    return svg(width * 3, height, body, defs)


def status(glyph):
    return svg(20, 15, glyph)


STATUS = {
    "status-play": f'<path d="M6.5,2.5 L15.5,7.5 L6.5,12.5 Z" fill="{GREEN}" stroke="{GREEN}" stroke-width="1" stroke-linejoin="round"/>',
    "status-pause": (f'<rect x="5.5" y="2.5" width="3.4" height="10" rx="0.7" fill="{AMBER}"/>'
                     f'<rect x="11.1" y="2.5" width="3.4" height="10" rx="0.7" fill="{AMBER}"/>'),
    "status-stop": f'<rect x="5.5" y="2.5" width="9" height="10" rx="1.2" fill="{RED}"/>',
    # End of the playlist: the list's lines run into a closing bar.
    "status-end": (f'<path d="M3,3.5 H11 M3,7.5 H11 M3,11.5 H11" stroke="{INK_SOFT}" stroke-width="1.8" stroke-linecap="round"/>'
                   f'<rect x="13.5" y="2" width="3" height="11" rx="0.8" fill="{ACCENT}"/>'),
}


def panel(x, y, w, h, radius=4):
    return (f'<rect x="{x + 0.5}" y="{y + 0.5}" width="{w - 1}" height="{h - 1}" rx="{radius}" fill="#ffffff" '
            f'stroke="{PANEL_EDGE}" stroke-width="1"/>\n'
            f'<path d="M{x + 2},{y + 1.6} H{x + w - 2}" stroke="#000000" stroke-opacity="0.08" stroke-width="1.2"/>\n')


def speaker(x, y, colour):
    return (f'<path transform="translate({x},{y})" d="M0,4.5 H3 L7,1 V13 L3,9.5 H0 Z" fill="{colour}"/>'
            f'<path transform="translate({x},{y})" d="M9,4.5 C10.2,5.7 10.2,8.3 9,9.5 M10.8,2.6 C13.2,4.8 13.2,9.2 10.8,11.4" '
            f'fill="none" stroke="{colour}" stroke-width="1.2" stroke-linecap="round"/>')


def player_background():
    w, h = 400, 190
    defs = vgrad("base", "#f2f4f7", "#d8dee6") + vgrad("groove", "#e2e6eb", "#eef1f4")
    body = f'<rect x="0" y="0" width="{w}" height="{h}" fill="url(#base)"/>\n'
    body += f'<path d="M0,0.5 H{w}" stroke="#ffffff" stroke-width="1"/>\n'
    # Display panel: status image, elapsed time, spectrum.
    body += panel(8, 6, 136, 108)
    body += f'<path d="M14,34.5 H138" stroke="#e1e5ea" stroke-width="1"/>\n'
    # Track information panel; it ends where the live bit rate below it begins.
    body += panel(148, 6, 244, 75)
    # Volume: a speaker before the slider (which starts at x 165, centred on y 108).
    body += speaker(150, 101, INK_SOFT) + "\n"
    # A shallow groove behind the transport row.
    body += f'<rect x="6.5" y="149.5" width="{w - 13}" height="36" rx="8" fill="url(#groove)" stroke="#c4cbd4" stroke-width="1"/>\n'
    # Maker's mark on the right of the transport row.
    body += (f'<text x="{w - 16}" y="173" text-anchor="end" font-family="DejaVu Sans, sans-serif" font-size="15" '
             f'font-weight="bold" fill="#9aa5b2">tovira</text>\n')
    body += f'<circle cx="{w - 78}" cy="167.5" r="4.5" fill="none" stroke="{ACCENT_LIGHT}" stroke-width="1.5"/>\n'
    body += f'<path d="M{w - 79.5},165 L{w - 75.8},167.5 L{w - 79.5},170 Z" fill="{ACCENT_LIGHT}"/>\n'
    return svg(w, h, body, defs)


# Equaliser: the gain slider and ten band sliders, 22 x 130 each at y = 24.
EQ_GAIN_X = 15
EQ_BAND_X = [52 + 30 * i for i in range(10)]
EQ_TOP, EQ_HEIGHT, EQ_THUMB = 24, 130, 9
# Band centres for 44.1 kHz streams.
EQ_LABELS = ["345", "1k", "1.7k", "2.8k", "4.1k", "5.9k", "8.6k", "12k", "16k", "20k"]


def equalizer_background():
    w, h = 365, 215
    body = f'<rect x="0" y="0" width="{w}" height="{h}" fill="#ffffff"/>\n'
    body += f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" fill="none" stroke="#d3d9e0" stroke-width="1"/>\n'
    top = EQ_TOP + EQ_THUMB / 2
    bottom = EQ_TOP + EQ_HEIGHT - EQ_THUMB / 2
    middle = (top + bottom) / 2
    # Guides at the top, middle and bottom of the thumbs' travel, behind the band sliders.
    for y, opacity in [(top, 0.35), (middle, 0.6), (bottom, 0.35)]:
        body += (f'<path d="M48,{y} H{w - 10}" stroke="{INK_SOFT}" stroke-opacity="{opacity}" stroke-width="1" '
                 f'stroke-dasharray="2,2"/>\n')
    # Scale captions left of the bands.
    body += f'<path d="M41,{top - 3} V{top + 3} M38,{top} H44" stroke="{INK_SOFT}" stroke-width="1.2"/>\n'
    body += f'<path d="M38,{bottom} H44" stroke="{INK_SOFT}" stroke-width="1.2"/>\n'
    # The gain stands apart from the bands.
    body += f'<path d="M45.5,16 V{EQ_TOP + EQ_HEIGHT + 4}" stroke="#d3d9e0" stroke-width="1"/>\n'
    captions = [(EQ_GAIN_X + 11, "GAIN")] + [(x + 11, t) for x, t in zip(EQ_BAND_X, EQ_LABELS)]
    for cx, text in captions:
        body += (f'<text x="{cx}" y="{EQ_TOP + EQ_HEIGHT + 18}" text-anchor="middle" font-family="DejaVu Sans, sans-serif" '
                 f'font-size="8.5" fill="{INK}">{text}</text>\n')
    body += (f'<text x="12" y="12" font-family="DejaVu Sans, sans-serif" font-size="8" font-weight="bold" '
             f'fill="{INK_SOFT}">EQUALIZER</text>\n')
    body += (f'<text x="{w - 10}" y="{h - 12}" text-anchor="end" font-family="DejaVu Sans, sans-serif" font-size="8" '
             f'fill="{INK_SOFT}">Hz</text>\n')
    body += f'<path d="M10,{h - 24.5} H{w - 10}" stroke="#e1e5ea" stroke-width="1"/>\n'
    return svg(w, h, body)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "skin")
    os.makedirs(out, exist_ok=True)
    files = {
        "buttons.svg": buttons_sheet(),
        "toggles.svg": toggles_sheet(),
        "thumb-position.svg": thumb(9, 20, horizontal_grip=False),
        "thumb-volume.svg": volume_thumb(),
        "thumb-equalizer.svg": thumb(20, 9, horizontal_grip=True),
        "player-background.svg": player_background(),
        "equalizer-background.svg": equalizer_background(),
    }
    for name, glyph in STATUS.items():
        files[name + ".svg"] = status(glyph)
    for name, text in files.items():
        with open(os.path.join(out, name), "w", encoding="utf-8") as f:
            f.write(text)
    qrc = '<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/skin">\n'
    qrc += "".join(f"  <file>{name}</file>\n" for name in sorted(files))
    # The window icon is the desktop's application icon, kept in one place.
    qrc += '  <file alias="app-icon.svg">../icons/tovira.svg</file>\n'
    qrc += "</qresource>\n</RCC>\n"
    with open(os.path.join(out, "skin.qrc"), "w", encoding="utf-8") as f:
        f.write(qrc)


if __name__ == "__main__":
    main()
