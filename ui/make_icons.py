#!/usr/bin/env python3
"""Draws the window icon (16 and 32 pixels) and the binoculars button picture
(15 x 13) as 16-colour XPM images. Run it to regenerate the committed files."""

# The 16 colours of the classic Windows palette; "." is transparent.
PALETTE = {
    ".": "None", "k": "#000000", "r": "#800000", "g": "#008000", "y": "#808000",
    "b": "#000080", "m": "#800080", "c": "#008080", "s": "#C0C0C0", "d": "#808080",
    "R": "#FF0000", "G": "#00FF00", "Y": "#FFFF00", "B": "#0000FF", "M": "#FF00FF",
    "C": "#00FFFF", "w": "#FFFFFF",
}

BINOCULARS = [
    "...kkk...kkk...",
    "..kdsdk.kdsdk..",
    "..kdsdk.kdsdk..",
    ".kkdddkkkdddkk.",
    ".kdsdsdkdsdsdk.",
    "kdssdddkdddssdk",
    "kdsddddkddddsdk",
    "kdddddkkkdddddk",
    "kkkkkkk.kkkkkkk",
    "kbBBbk...kbBBbk",
    "kbBwbk...kbBwbk",
    "kbbbbk...kbbbbk",
    ".kkkk.....kkkk.",
]

ICON16 = [
    "....kkkkkkkk....",
    "...kwwwwwwwwk...",
    "..kwwwwwwwwwwk..",
    "..kwbbbbbbbbwk..",
    "..kwwwwwwwwwwk..",
    "..kwbbbbbbwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwbbbbbbbbwk..",
    "..kwwwwwwwwwwk..",
    "kkkkkkkwwwwwwk..",
    "kYYYYYkkwwwwwk..",
    "kYrrrYYkbbbbwk..",
    "kYYrYYYkwwwwwk..",
    "kYYrYYYkwwwwwk..",
    "kYYYYYYkkkkkkk..",
    "kkkkkkkk........",
]


def scale(rows, factor):
    return ["".join(ch * factor for ch in row) for row in rows for _ in range(factor)]


def xpm(name, rows):
    used = sorted(set("".join(rows)))
    lines = [f'"{len(rows[0])} {len(rows)} {len(used)} 1",']
    lines += [f'"{ch} c {PALETTE[ch]}",' for ch in used]
    lines += [f'"{row}",' for row in rows]
    lines[-1] = lines[-1].rstrip(",")
    return "/* XPM */\nstatic const char *" + name + "[] = {\n" + "\n".join(lines) + "\n};\n"


def main():
    assert all(len(r) == 15 for r in BINOCULARS) and len(BINOCULARS) == 13
    assert all(len(r) == 16 for r in ICON16) and len(ICON16) == 16
    for name, rows in (("binoculars", BINOCULARS), ("icon16", ICON16), ("icon32", scale(ICON16, 2))):
        with open(f"{name}.xpm", "w") as f:
            f.write(xpm(name, rows))


if __name__ == "__main__":
    main()
