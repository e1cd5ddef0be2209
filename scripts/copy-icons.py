#!/usr/bin/python3
"""Copies the SVG icons that the interface's symbol table names from Debian's bootstrap-icons
package (MIT) into the resources, then writes Ombrix.qrc listing every file of the fonts and
icons folders (run scripts/make-fonts.py first when the fonts change).

The table in Sources/OmbrixTheme/Icons.cpp is the one source of the file names; run this
after changing it:
    /usr/bin/python3 scripts/copy-icons.py
"""

import pathlib
import re
import shutil
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE = ROOT / "Sources" / "OmbrixTheme" / "Icons.cpp"
RESOURCES = ROOT / "Sources" / "OmbrixTheme" / "Resources"
OUT = RESOURCES / "Icons"
SOURCE = pathlib.Path("/usr/share/bootstrap-icons/svg")


def main():
    text = TABLE.read_text()
    files = set(re.findall(r'\{"[^"]+", "([a-z0-9-]+)"\}', text))
    files |= set(re.findall(r'placeholderFile = "([a-z0-9-]+)"', text))
    if not files:
        sys.exit("no icon names found in " + str(TABLE))
    OUT.mkdir(parents=True, exist_ok=True)
    for old in OUT.glob("*.svg"):
        if old.stem not in files:
            old.unlink()
    for name in sorted(files):
        src = SOURCE / (name + ".svg")
        if not src.exists():
            sys.exit(f"bootstrap-icons has no {src.name}")
        shutil.copyfile(src, OUT / src.name)
    print(f"{len(files)} icons in {OUT.relative_to(ROOT)}")
    write_qrc()


def write_qrc():
    entries = sorted(p.relative_to(RESOURCES).as_posix()
                     for folder in ("Fonts", "Icons") for p in (RESOURCES / folder).iterdir()
                     if p.is_file() and not p.name.startswith("."))
    lines = ["<!DOCTYPE RCC>", '<RCC version="1.0">', '<qresource prefix="/">']
    lines += [f"    <file>{e}</file>" for e in entries]
    lines += ["</qresource>", "</RCC>", ""]
    (RESOURCES / "Ombrix.qrc").write_text("\n".join(lines))


if __name__ == "__main__":
    main()
