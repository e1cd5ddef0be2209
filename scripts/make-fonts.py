#!/usr/bin/python3
"""Builds the interface's two font families from freely licensed fonts shipped by Debian.

"Ombrix Display" comes from Dosis (fonts-dosis) and "Ombrix Text" from Inter (fonts-inter),
both under the SIL Open Font License 1.1. Each face is subset to the Latin and symbol ranges
the interface shows (Qt falls back per glyph for anything else) and renamed. The OFL forbids
a modified font to carry a Reserved Font Name, so every such name is removed from the name
table and the CFF strings, and the script refuses to write a file that still contains one.

Needs Debian's python3-fonttools, fonts-dosis and fonts-inter; run it from anywhere:
    /usr/bin/python3 scripts/make-fonts.py
The output is committed, so building Ombrix needs none of these packages.
"""

import io
import pathlib
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "Sources" / "OmbrixTheme" / "Resources" / "Fonts"

DOSIS = pathlib.Path("/usr/share/fonts/opentype/dosis")
INTER = pathlib.Path("/usr/share/fonts/opentype/inter")

# (source file, family, style, reserved font names of the source's licence notice)
FACES = [
    (DOSIS / "Dosis-SemiBold.otf", "Ombrix Display", "SemiBold", ["Dosis"]),
    (DOSIS / "Dosis-ExtraBold.otf", "Ombrix Display", "ExtraBold", ["Dosis"]),
    (INTER / "Inter-Regular.otf", "Ombrix Text", "Regular", []),
    (INTER / "Inter-Medium.otf", "Ombrix Text", "Medium", []),
    (INTER / "Inter-SemiBold.otf", "Ombrix Text", "SemiBold", []),
    (INTER / "Inter-Bold.otf", "Ombrix Text", "Bold", []),
]

# Latin (Turkish included), combining marks, punctuation, currency, letter-like symbols,
# arrows, operators, technical symbols (key caps) and geometric shapes (bullets).
UNICODE_RANGES = [
    (0x0020, 0x024F), (0x0300, 0x036F), (0x1E00, 0x1EFF), (0x2000, 0x206F),
    (0x20A0, 0x20CF), (0x2100, 0x214F), (0x2190, 0x21FF), (0x2200, 0x22FF),
    (0x2300, 0x23FF), (0x25A0, 0x25FF), (0xFB00, 0xFB06),
]

TURKISH = "ğĞşŞıİçÇöÖüÜ"

LICENCE_NOTE = ("This Font Software is licensed under the SIL Open Font License, Version 1.1. "
                "It is a modified (subset and renamed) version; see OFL.txt and NOTICE.txt beside it.")

# Name IDs rewritten here; every other record is kept unless it names a reserved font name.
REWRITTEN = {1, 2, 3, 4, 6, 7, 10, 13, 14, 16, 17, 18, 21, 22, 25}


def subset_face(font):
    options = subset.Options()
    options.layout_features = ["*"]
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.name_legacy = True
    options.notdef_outline = True
    options.glyph_names = False
    options.hinting = True
    unicodes = [u for lo, hi in UNICODE_RANGES for u in range(lo, hi + 1)]
    subsetter = subset.Subsetter(options=options)
    subsetter.populate(unicodes=unicodes)
    subsetter.subset(font)


def rename_face(font, family, style, reserved):
    name = font["name"]
    copyright_text = name.getDebugName(0)
    version = name.getDebugName(5) or "Version 1.000"
    postscript = family.replace(" ", "") + "-" + style
    full = family + " " + style

    name.names = [r for r in name.names
                  if r.platformID == 3 and r.nameID not in REWRITTEN
                  and not any(rfn in r.toUnicode() for rfn in reserved)]
    for name_id, text in [(1, family), (2, style), (3, f"{full}; {version}"), (4, full),
                          (6, postscript), (13, LICENCE_NOTE),
                          (14, "https://openfontlicense.org"), (16, family), (17, style)]:
        name.setName(text, name_id, 3, 1, 0x409)

    cff = font["CFF "].cff
    cff.fontNames = [postscript]
    top = cff.topDictIndex[0]
    top.FamilyName = family
    top.FullName = full
    top.Weight = style
    top.Copyright = copyright_text
    top.Notice = LICENCE_NOTE


def check_face(data, path, family, reserved):
    for rfn in reserved:
        for encoded in (rfn.encode("ascii"), rfn.encode("utf-16-be")):
            if encoded in data:
                sys.exit(f"{path.name}: reserved font name {rfn!r} survived the renaming")
    font = TTFont(io.BytesIO(data))
    if font["name"].getDebugName(1) != family:
        sys.exit(f"{path.name}: family is {font['name'].getDebugName(1)!r}")
    cmap = font.getBestCmap()
    missing = [c for c in TURKISH if ord(c) not in cmap]
    if missing:
        sys.exit(f"{path.name}: no glyph for {''.join(missing)}")


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for source, family, style, reserved in FACES:
        # Keeping the source's timestamp makes the output byte for byte reproducible.
        font = TTFont(source, recalcTimestamp=False)
        subset_face(font)
        rename_face(font, family, style, reserved)
        buffer = io.BytesIO()
        font.save(buffer)
        data = buffer.getvalue()
        target = OUT / (family.replace(" ", "") + "-" + style + ".otf")
        check_face(data, target, family, reserved)
        target.write_bytes(data)
        print(f"{target.relative_to(ROOT)}: {len(data)} bytes from {source.name}")


if __name__ == "__main__":
    main()
