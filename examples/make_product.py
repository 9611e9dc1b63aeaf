#!/usr/bin/env python3
"""Writes the files of the example product Demo Survey, in both its versions.

    examples/make_product.py OUTPUT

OUTPUT/1.0/<feature>/ and OUTPUT/2.0/<feature>/ receive the files of the
features Core, Maps and Help, a few hundred each, laid out as the program
finds them below its folder. Every byte is made here, the same on every run:
the text of a file follows from its name and the version alone.

What changes from 1.0 to 2.0: every file of Core (one module more, one
settings file fewer) and some pages of Help; Maps stays byte for byte.
"""
import os
import sys
import zlib

WORDS = ("station", "bearing", "offset", "stake", "level", "traverse", "benchmark", "azimuth",
         "chainage", "grid", "datum", "control", "point", "line", "arc", "northing", "easting",
         "height", "target", "prism", "backsight", "foresight", "closure", "tolerance")


def filler(name, version, size):
    """Lines of survey words, `size` bytes or a little more, from a seed of the name."""
    state = zlib.crc32(("%s|%s" % (name, version)).encode()) or 1
    lines = []
    length = 0
    while length < size:
        words = []
        for _ in range(8):
            # A 32-bit xorshift: the same sequence wherever Python runs.
            state ^= (state << 13) & 0xFFFFFFFF
            state ^= state >> 17
            state ^= (state << 5) & 0xFFFFFFFF
            words.append(WORDS[state % len(WORDS)])
        line = " ".join(words) + " %d\n" % (state % 100000)
        lines.append(line)
        length += len(line)
    return "".join(lines)


def size_of(name, smallest, largest):
    return smallest + zlib.crc32(name.encode()) % (largest - smallest)


def core_files(version):
    files = {"DemoSurvey.exe": "Demo Survey %s: the field program (a stand-in of text).\n" % version}
    modules = 121 if version == "2.0" else 120
    for number in range(modules):
        name = "bin/module-%03d.dll" % number
        files[name] = "module %d of Demo Survey %s\n" % (number, version) + filler(name, version, size_of(name, 800, 6000))
    settings = ["units", "display", "instrument", "codes", "export", "import", "radio", "gnss", "stakeout",
                "cogo", "roads", "tunnels", "levelling", "traverse", "topo", "layers", "styles", "printing",
                "backup", "sync", "network", "users", "licence", "language", "keyboard", "sounds", "power",
                "camera", "tilt"]
    if version == "1.0":
        settings.append("legacy")
    for setting in settings:
        name = "config/%s.ini" % setting
        files[name] = "[%s]\nVersion=%s\n" % (setting, version) + "".join(
            "Key%d=%s" % (i, line) for i, line in enumerate(filler(name, version, 300).splitlines(True)))
    for group in range(10):
        for number in range(15):
            name = "templates/group-%02d/job-%02d.tpl" % (group, number)
            files[name] = "template %d/%d\n" % (group, number) + filler(name, version, size_of(name, 200, 2500))
    return files


def maps_files(version):
    files = {}
    for zone in "ABCDEFGH":
        for number in range(30):
            name = "maps/zone-%s/tile-%03d.map" % (zone, number)
            # The maps are the same in every version of the program.
            files[name] = "tile %s%d\n" % (zone, number) + filler(name, "maps", size_of(name, 1000, 8000))
    return files


def help_files(version):
    files = {"help/index.html": "<html><body><h1>Demo Survey %s</h1></body></html>\n" % version}
    for number in range(200):
        name = "help/en/topic-%03d.html" % number
        # 1.1 rewrote every fourth page.
        edition = version if version == "1.1" and number % 4 == 0 else "1.0"
        files[name] = "<html><body><p>\n%s</p></body></html>\n" % filler(name, edition, size_of(name, 500, 4000))
    return files


# The product's versions: each feature's Version in that version of the
# installer data, and the function that writes its files.
PRODUCT = {
    "1.0": {"Core": ("1.0", core_files), "Maps": ("1.0", maps_files), "Help": ("1.0", help_files)},
    "2.0": {"Core": ("2.0", core_files), "Maps": ("1.0", maps_files), "Help": ("1.1", help_files)},
}


def write_file(root, name, text):
    """The text as the file `name` (with '/') below `root`, folders made."""
    path = os.path.join(root, *name.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write(text)


def write_version(output, version):
    for feature, (feature_version, make) in PRODUCT[version].items():
        root = os.path.join(output, version, feature)
        for name, text in make(feature_version).items():
            write_file(root, name, text)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_product.py OUTPUT\n")
        return 2
    for version in PRODUCT:
        write_version(argv[1], version)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
