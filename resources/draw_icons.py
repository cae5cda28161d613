#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws Tessaline's own site icons, program icons and site-tree images as SVG files.

The SVGs it writes are kept in the repository (resources/icons/sites, program, tree); run it again
after changing a drawing. Site and program icons are drawn on a 32-unit grid with bold outlines
and few details, so that they still read at 16x16; tree images are drawn on a 16-unit grid.
"""

from pathlib import Path

ICONS = Path(__file__).resolve().parent / "icons"


def shade(colour, factor):
    """The colour darkened (factor < 1) or lightened towards white (factor > 1)."""
    channels = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    if factor <= 1:
        channels = [round(c * factor) for c in channels]
    else:
        channels = [round(c + (255 - c) * (factor - 1)) for c in channels]
    return "#" + "".join(f"{c:02x}" for c in channels)


def svg(size, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}">\n' + "".join(f"  {part}\n" for part in body) + "</svg>\n")


def rect(x, y, w, h, fill, stroke=None, rx=0, width=2):
    outline = f' stroke="{stroke}" stroke-width="{width}"' if stroke else ""
    corner = f' rx="{rx}"' if rx else ""
    return f'<rect x="{x}" y="{y}" width="{w}" height="{h}"{corner} fill="{fill}"{outline}/>'


def path(d, fill="none", stroke=None, width=2, extra=""):
    outline = f' stroke="{stroke}" stroke-width="{width}" stroke-linejoin="round"' if stroke else ""
    return f'<path d="{d}" fill="{fill}"{outline}{extra}/>'


def circle(cx, cy, r, fill, stroke=None, width=2):
    outline = f' stroke="{stroke}" stroke-width="{width}"' if stroke else ""
    return f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{fill}"{outline}/>'


def ellipse(cx, cy, rx, ry, fill, stroke=None, width=2):
    outline = f' stroke="{stroke}" stroke-width="{width}"' if stroke else ""
    return f'<ellipse cx="{cx}" cy="{cy}" rx="{rx}" ry="{ry}" fill="{fill}"{outline}/>'


# --- site icons, 32-unit grid -------------------------------------------------------------------

def screen_glare(x, y, w, h):
    return path(f"M{x + 1} {y + h - 1}L{x + w - 1} {y + 1}V{y + 1}H{x + 1}z", fill="#ffffff",
                extra=' opacity="0.25"')


def desktop_computer(case, screen):
    """A monitor on a short stand over a flat base unit with a drive slot and a lamp."""
    edge = shade(case, 0.35)
    return [
        rect(3, 22, 26, 7, case, edge, rx=1),
        path("M7 25.5h9", stroke=edge, width=1.4),
        rect(22, 25, 3, 1.5, "#3bd16f"),
        rect(13, 18, 6, 4, shade(case, 0.8)),
        rect(5, 3, 22, 16, case, edge, rx=1.5),
        rect(8, 6, 16, 10, screen, shade(screen, 0.4), width=1),
        screen_glare(8, 6, 16, 10),
    ]


def flat_monitor(case, screen):
    edge = shade(case, 0.35)
    return [
        path("M11 29h10l-2-5h-6z", fill=shade(case, 0.8), stroke=edge, width=1.5),
        rect(2, 5, 28, 19, case, edge, rx=1.5),
        rect(5, 8, 22, 13, screen, shade(screen, 0.4), width=1),
        screen_glare(5, 8, 22, 13),
    ]


def monitor_and_tower(case, screen):
    edge = shade(case, 0.35)
    return [
        rect(21, 5, 9, 24, shade(case, 0.9), edge, rx=1),
        path("M23.5 9h4M23.5 12h4", stroke=edge, width=1.4),
        circle(25.5, 25, 1.2, "#3bd16f"),
        rect(7, 21, 8, 3, shade(case, 0.8)),
        path("M4 29h14", stroke=edge, width=2),
        path("M11 24v5", stroke=edge, width=2),
        rect(1, 7, 19, 15, case, edge, rx=1.5),
        rect(4, 10, 13, 9, screen, shade(screen, 0.4), width=1),
        screen_glare(4, 10, 13, 9),
    ]


def laptop(case, screen):
    edge = shade(case, 0.35)
    return [
        rect(6, 5, 20, 15, case, edge, rx=1.5),
        rect(8, 7, 16, 11, screen, shade(screen, 0.4), width=1),
        screen_glare(8, 7, 16, 11),
        path("M6 21h20l4 6H2z", fill=shade(case, 1.2), stroke=edge, width=2),
        path("M13 24.5h6", stroke=edge, width=1.4),
    ]


def tower_server(case, lamp):
    edge = shade(case, 0.35)
    light = shade(case, 1.35)
    return [
        rect(9, 2, 14, 28, case, edge, rx=1.5),
        rect(12, 6, 8, 3, light, edge, width=1),
        rect(12, 11, 8, 3, light, edge, width=1),
        path("M12 19h8M12 22h8M12 25h8", stroke=shade(case, 0.6), width=1),
        circle(16, 16, 1.3, lamp),
    ]


def rack(case, lamp):
    edge = shade(case, 0.35)
    body = []
    for y in (3, 12, 21):
        body += [
            rect(3, y, 26, 8, case, edge, rx=1),
            path(f"M7 {y + 4}h11", stroke=shade(case, 0.55), width=1.6),
            circle(23, y + 4, 1.4, lamp),
        ]
    return body


def globe(ocean, land, ring=None):
    edge = shade(ocean, 0.4)
    grid = shade(ocean, 1.45)
    body = [
        circle(16, 16, 13, ocean, edge),
        path("M9 8c3 1 5 0 7 2s-1 5-4 5-3 4-6 3-3-5-1-8z", fill=land),
        path("M19 17c3-1 6 1 6 4s-3 5-5 5-3-2-2-4 0-4 1-5z", fill=land),
        ellipse(16, 16, 6, 13, "none", grid, width=1),
        path("M3 16h26M5.5 9.5h21M5.5 22.5h21", stroke=grid, width=1),
        circle(16, 16, 13, "none", edge),
    ]
    if ring:
        body.append(path("M2 22c-3-4 9-11 19-13 9-2 13 0 9 4", stroke=ring, width=2.2))
    return body


def hard_disk(case, label):
    edge = shade(case, 0.35)
    return [
        path("M3 15l5-7h16l5 7z", fill=shade(case, 1.3), stroke=edge, width=2),
        rect(3, 15, 26, 10, case, edge, rx=1),
        rect(6, 18, 11, 4, label),
        circle(24, 20, 1.6, "#3bd16f"),
    ]


def floppy(case, label):
    edge = shade(case, 0.35)
    return [
        path("M4 3h21l4 4v22H4z", fill=case, stroke=edge, width=2),
        rect(10, 4, 12, 8, "#c9cfd6", edge, width=1),
        rect(18, 5.5, 2.5, 5, shade(case, 0.6)),
        rect(8, 16, 17, 12, label, edge, width=1),
        path("M10.5 20h12M10.5 23.5h12", stroke="#7a8592", width=1),
    ]


def optical_disc():
    return [
        "<defs><linearGradient id=\"sheen\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\">"
        "<stop offset=\"0\" stop-color=\"#e3e8ef\"/><stop offset=\"0.35\" stop-color=\"#b9c7ff\"/>"
        "<stop offset=\"0.55\" stop-color=\"#ffe1a8\"/><stop offset=\"0.75\" stop-color=\"#bff0d4\"/>"
        "<stop offset=\"1\" stop-color=\"#c8ced8\"/></linearGradient></defs>",
        circle(16, 16, 13, "url(#sheen)", "#4d5866"),
        circle(16, 16, 5, "#eef1f5", "#7d8794", width=1.2),
        circle(16, 16, 2.2, "#ffffff", "#4d5866", width=1.2),
    ]


def folder(colour):
    edge = shade(colour, 0.4)
    return [
        path("M3 7h9l3 3h14v17H3z", fill=shade(colour, 0.85), stroke=edge, width=2),
        path("M3 13h26v14H3z", fill=colour, stroke=edge, width=2),
        path("M5 15.5h22", stroke=shade(colour, 1.45), width=1.2),
    ]


def office_building(wall, glass):
    edge = shade(wall, 0.35)
    body = [rect(7, 3, 18, 26, wall, edge), path("M3 29h26", stroke=edge, width=2)]
    for y in (6, 11, 16):
        for x in (10, 15, 20):
            body.append(rect(x, y, 3, 3, glass))
    body.append(rect(14, 22, 4, 7, shade(wall, 0.6)))
    return body


def house(wall, roof):
    return [
        rect(6, 14, 20, 15, wall, shade(wall, 0.4)),
        path("M2 16L16 4l14 12", fill=roof, stroke=shade(roof, 0.45), width=2),
        rect(13, 20, 6, 9, shade(roof, 0.7)),
        rect(21, 18, 3, 3, "#bfe3ff", "#4d5866", width=1),
        rect(8, 18, 3, 3, "#bfe3ff", "#4d5866", width=1),
    ]


def factory(wall, roof):
    edge = shade(wall, 0.35)
    return [
        rect(22, 3, 4, 12, shade(roof, 0.8), edge, width=1.5),
        path("M3 29V15l7-5v5l7-5v5l7-5v19z", fill=wall, stroke=edge, width=2),
        path("M24 14v15h5V14z", fill=shade(wall, 0.85), stroke=edge, width=2),
        rect(6, 20, 3, 3, "#ffd86b"), rect(12, 20, 3, 3, "#ffd86b"), rect(18, 20, 3, 3, "#ffd86b"),
    ]


def institution(stone, roof):
    edge = shade(stone, 0.4)
    body = [path("M3 11L16 3l13 8z", fill=roof, stroke=shade(roof, 0.45), width=2)]
    for x in (6, 12, 18, 24):
        body.append(rect(x, 12, 3, 12, stone, edge, width=1))
    body += [rect(3, 24, 26, 3, stone, edge, width=1.5),
             rect(1, 27, 30, 3, shade(stone, 0.85), edge, width=1.5)]
    return body


def database(colour):
    edge = shade(colour, 0.4)
    light = shade(colour, 1.4)
    return [
        path("M5 7v18c0 3 5 5 11 5s11-2 11-5V7", fill=colour, stroke=edge, width=2),
        path("M5 13c0 3 5 5 11 5s11-2 11-5M5 19c0 3 5 5 11 5s11-2 11-5", stroke=edge, width=1.5),
        ellipse(16, 7, 11, 4.5, light, edge),
    ]


def cloud(colour):
    edge = shade(colour, 0.45)
    return [
        path("M8 25a5.5 5.5 0 0 1-.5-11A7.5 7.5 0 0 1 21.5 11 6.5 6.5 0 0 1 24.5 25z",
             fill=colour, stroke=edge, width=2),
        path("M11 19.5a4 4 0 0 1 5-3", stroke=shade(colour, 1.5), width=1.4),
    ]


def satellite_dish(dish, mast):
    edge = shade(dish, 0.4)
    return [
        path("M13 22l-5 8h12l-4-8", fill=mast, stroke=shade(mast, 0.4), width=1.5),
        path("M5 6a15 15 0 0 0 21 21z", fill=dish, stroke=edge, width=2),
        path("M15.5 16.5l7-7", stroke=edge, width=1.5),
        circle(23, 9, 2, "#e04c3c", shade("#e04c3c", 0.5), width=1),
        path("M25 3a6 6 0 0 1 4 4M26 0.5a9 9 0 0 1 5.5 5.5", stroke="#e04c3c", width=1.2),
    ]


def network(node, line):
    edge = shade(node, 0.4)
    return [
        path("M16 8L7 24M16 8l9 16M7 24h18", stroke=line, width=2.5),
        circle(16, 8, 5, node, edge),
        circle(7, 24, 5, shade(node, 1.25), edge),
        circle(25, 24, 5, shade(node, 0.8), edge),
    ]


def terminal(case, text):
    edge = shade(case, 0.35)
    return [
        rect(2, 4, 28, 22, case, edge, rx=1.5),
        rect(5, 7, 22, 16, "#111417", "#000000", width=1),
        path("M8 11l4 3-4 3", stroke=text, width=1.8),
        path("M14 18h6", stroke=text, width=1.8),
        path("M9 29h14", stroke=edge, width=2),
    ]


def book(cover, pages):
    edge = shade(cover, 0.4)
    return [
        path("M8 4h19v22H8a3 3 0 0 0 0 4h19", fill=pages, stroke=edge, width=2),
        path("M5 7a3 3 0 0 1 3-3h19v22H8a3 3 0 0 0-3 3z", fill=cover, stroke=edge, width=2),
        rect(11, 9, 11, 5, shade(cover, 1.6)),
    ]


def star(colour):
    return [path("M16 2l4.2 8.6 9.4 1.3-6.8 6.6 1.6 9.4L16 23.5l-8.4 4.4 1.6-9.4-6.8-6.6 9.4-1.3z",
                 fill=colour, stroke=shade(colour, 0.5), width=2)]


def padlock(body_colour, shackle):
    edge = shade(body_colour, 0.4)
    return [
        path("M10 15V10a6 6 0 0 1 12 0v5", stroke=shackle, width=3.5),
        rect(5, 14, 22, 15, body_colour, edge, rx=2),
        circle(16, 20, 2.2, shade(body_colour, 0.35)),
        rect(15, 21, 2, 4.5, shade(body_colour, 0.35)),
    ]


def printer(case, paper):
    edge = shade(case, 0.35)
    return [
        rect(9, 3, 14, 10, paper, "#5b6470", width=1.5),
        rect(3, 11, 26, 12, case, edge, rx=2),
        circle(24, 15, 1.4, "#3bd16f"),
        rect(8, 20, 16, 9, paper, "#5b6470", width=1.5),
        path("M11 24h10M11 26.5h7", stroke="#7a8592", width=1),
    ]


def radio_tower(steel, wave):
    edge = shade(steel, 0.45)
    return [
        path("M16 8L10 30M16 8l6 22M11.5 23h9M13 17h6", stroke=edge, width=2.4),
        circle(16, 8, 3, wave, shade(wave, 0.5), width=1.2),
        path("M9 4a9 9 0 0 0 0 9M23 4a9 9 0 0 1 0 9M5 1a14 14 0 0 0 0 15M27 1a14 14 0 0 1 0 15",
             stroke=wave, width=2.2),
    ]


def archive_box(colour):
    edge = shade(colour, 0.4)
    return [
        rect(5, 12, 22, 17, colour, edge),
        rect(3, 6, 26, 7, shade(colour, 1.2), edge),
        rect(12, 16, 8, 3, shade(colour, 0.55), width=0),
    ]


def map_pin(colour):
    edge = shade(colour, 0.4)
    return [
        ellipse(16, 28, 7, 2, "#000000", width=0).replace("/>", ' opacity="0.2"/>'),
        path("M16 29C10 21 6 17 6 12a10 10 0 0 1 20 0c0 5-4 9-10 17z", fill=colour, stroke=edge,
             width=2),
        circle(16, 12, 4, "#ffffff", edge, width=1.2),
    ]


def envelope(paper, flap):
    edge = shade(paper, 0.4)
    return [
        rect(3, 8, 26, 18, paper, "#4d5866", rx=1),
        path("M3.5 9L16 19 28.5 9", fill=flap, stroke="#4d5866", width=1.8),
        path("M3.5 25l9-8M28.5 25l-9-8", stroke=edge, width=1.2),
    ]


def modem(case):
    edge = shade(case, 0.35)
    return [
        path("M6 13L9 4M26 13l-3-9", stroke="#4d5866", width=1.8),
        rect(2, 13, 28, 12, case, edge, rx=2),
        circle(8, 19, 1.5, "#3bd16f"), circle(13, 19, 1.5, "#3bd16f"),
        circle(18, 19, 1.5, "#f5c542"), circle(23, 19, 1.5, "#e04c3c"),
        path("M5 28h4M23 28h4", stroke=edge, width=2),
    ]


SITE_ICONS = [
    flat_monitor("#c7ccd3", "#2f6fd0"),             # 0
    monitor_and_tower("#d9d2bf", "#2e9e5b"),        # 1
    laptop("#aab2bd", "#3b82d6"),                   # 2
    laptop("#3a3f46", "#f08a24"),                   # 3
    tower_server("#7e8893", "#3bd16f"),             # 4
    tower_server("#2f4a78", "#f5c542"),             # 5
    rack("#3d6fb6", "#3bd16f"),                     # 6
    rack("#4f8f4a", "#f5c542"),                     # 7
    globe("#3a86d4", "#5bb85d"),                    # 8
    globe("#1f9e9a", "#e3d27a"),                    # 9
    globe("#6a4fb3", "#8fd16a", ring="#f0b429"),    # 10
    hard_disk("#8d96a1", "#e9edf2"),                # 11
    hard_disk("#b9463c", "#f4e3c1"),                # 12
    floppy("#2c5fa8", "#ffffff"),                   # 13
    floppy("#30343a", "#ffe9a8"),                   # 14
    optical_disc(),                                 # 15
    folder("#f2c14e"),                              # 16
    folder("#4f8fd8"),                              # 17
    folder("#5cae5a"),                              # 18
    folder("#d9534f"),                              # 19
    office_building("#8aa0b8", "#dff1ff"),          # 20
    house("#f1e4c8", "#c0392b"),                    # 21
    factory("#b48a5a", "#7a5a3a"),                  # 22
    institution("#e8e1d0", "#8b6c42"),              # 23
    database("#8e5cc4"),                            # 24
    database("#3e9f73"),                            # 25
    cloud("#8cc8f2"),                               # 26
    satellite_dish("#e9ecef", "#7e8893"),           # 27
    network("#f08a24", "#4d5866"),                  # 28
    terminal("#9aa3ad", "#43e06b"),                 # 29
    book("#a0332f", "#fbf6e6"),                     # 30
    star("#f5c542"),                                # 31
    padlock("#e0a526", "#8d96a1"),                  # 32
    desktop_computer("#d5d0c4", "#2f6fd0"),         # 33: the default site icon
    printer("#c7ccd3", "#ffffff"),                  # 34
    radio_tower("#b0b7c0", "#e04c3c"),              # 35
    archive_box("#c8a06a"),                         # 36
    map_pin("#e04c3c"),                             # 37
    envelope("#fbf6e6", "#efe3c4"),                 # 38
    modem("#3a3f46"),                               # 39
]


# --- program icons, 32-unit grid -----------------------------------------------------------------

def document():
    return [
        path("M6 2h14l7 7v21H6z", fill="#ffffff", stroke="#4d5866", width=2),
        path("M20 2v7h7", fill="#dde3ea", stroke="#4d5866", width=2),
        path("M10 13h12M10 17h12M10 21h12M10 25h8", stroke="#8d96a1", width=2),
    ]


def group_with_globe():
    small_globe = [
        circle(22, 22, 8, "#3a86d4", "#1d4a78", width=1.8),
        ellipse(22, 22, 3.5, 8, "none", "#a8d0f5", width=1),
        path("M14 22h16M15.5 18h13M15.5 26h13", stroke="#a8d0f5", width=1),
        circle(22, 22, 8, "none", "#1d4a78", width=1.8),
    ]
    return folder("#f2c14e") + small_globe


PROGRAM_ICONS = {
    "site": desktop_computer("#b9bcc1", "#7d8b9c"),  # 131: shown when a site's own icon is missing
    "folder": folder("#f2c14e"),                     # 132
    "document": document(),                         # 133
    "group": group_with_globe(),                     # 153
}


# --- site-tree images, 16-unit grid --------------------------------------------------------------

def tree_closed_folder():
    return [
        path("M1.5 3.5h5l1.5 1.5h6.5v8.5h-13z", fill="#f2c14e", stroke="#8a6414", width=1),
        path("M2.5 6.5h11", stroke="#fbe3a3", width=1),
    ]


def tree_open_folder():
    return [
        path("M1.5 3.5h5l1.5 1.5h5v2", fill="#d9a93a", stroke="#8a6414", width=1),
        path("M1.5 3.5v10h11l3-6.5h-11l-3 6.5", fill="#f6d27a", stroke="#8a6414", width=1),
    ]


def tree_computer():
    return [
        rect(1.5, 1.5, 13, 9, "#d5d0c4", "#4a4740", width=1),
        rect(3, 3, 10, 6, "#2f6fd0"),
        rect(6, 10.5, 4, 2, "#9a958a"),
        rect(2.5, 12.5, 11, 2, "#d5d0c4", "#4a4740", width=1),
    ]


def tree_group():
    return [
        path("M0.5 3.5h5l1.5 1.5h6.5v8.5h-13z", fill="#f2c14e", stroke="#8a6414", width=1),
        circle(11, 11, 4.5, "#3a86d4", "#1d4a78", width=1),
        path("M6.5 11h9M11 6.5c-2.5 3-2.5 6 0 9M11 6.5c2.5 3 2.5 6 0 9", stroke="#a8d0f5", width=0.8),
    ]


TREE_IMAGES = {
    "closed_folder": tree_closed_folder(),
    "open_folder": tree_open_folder(),
    "computer": tree_computer(),
    "group": tree_group(),
}


def write(directory, name, text):
    directory.mkdir(parents=True, exist_ok=True)
    (directory / f"{name}.svg").write_text(text)


def main():
    for index, body in enumerate(SITE_ICONS):
        write(ICONS / "sites", f"{index:02d}", svg(32, body))
    for name, body in PROGRAM_ICONS.items():
        write(ICONS / "program", name, svg(32, body))
    for name, body in TREE_IMAGES.items():
        write(ICONS / "tree", name, svg(16, body))


if __name__ == "__main__":
    main()
