#!/usr/bin/env python3
"""Writes the files of the example product Field Suite, one folder per package.

    examples/make_field_suite.py [--small] OUTPUT

OUTPUT/<package>/ receives the files of each feature that has a package,
laid out as the program finds them below its folder, about 350 files and
56 MB in all: Core, Maps, the help pages in English, French and German
(Help/English, ...), and the tools Converter, Radio (for Windows Mobile 6
devices only) and Scanner (for Qm40 devices only). Help and Tools have no
files of their own: they only group their sub-features. OUTPUT/updates/
Help/French holds the French help of version 1.1, which the product's update
server offers.

With --small every file holds a few hundred bytes instead (the same files,
the same names): the tests run the product so.

Every byte is made here, the same on every run: the text of a file follows
from its name, its edition and its size alone.
"""
import os
import sys
import zlib

# The sibling modules are read, not compiled into the source tree.
sys.dont_write_bytecode = True
from make_product import filler, write_file

KILOBYTE = 1024

LANGUAGES = {"English": "en", "French": "fr", "German": "de"}


def size_of(name, smallest, largest):
    return smallest + zlib.crc32(name.encode()) % (largest - smallest)


def text_of(name, edition, size):
    """About `size` bytes: a block of survey words seeded by the name and
    edition, repeated with a line counter (quick to make and to pack)."""
    block = filler(name, edition, min(size, 2048))
    lines = ["%s %s\n" % (name, edition)]
    length = len(lines[0])
    number = 0
    while length < size:
        line = "%06d %s" % (number, block)
        lines.append(line)
        length += len(line)
        number += 1
    return "".join(lines)


def core_files():
    files = {"FieldSuite.exe": ("Field Suite 1.0: the field program (a stand-in of text).\n", 2048 * KILOBYTE)}
    for number in range(100):
        files["bin/module-%03d.dll" % number] = ("module %d\n" % number, None)
    for setting in ("units", "display", "instrument", "codes", "export", "import", "radio", "gnss", "stakeout",
                    "cogo", "roads", "layers", "styles", "printing", "backup", "sync", "network", "users",
                    "language", "power"):
        files["config/%s.ini" % setting] = ("[%s]\nVersion=1.0\n" % setting, 2 * KILOBYTE)
    return files


def maps_files():
    return {"maps/region-%s/tile-%03d.map" % (region, number): ("tile %s%d\n" % (region, number), None)
            for region in "ABCDEF" for number in range(15)}


def help_files(language):
    folder = "help/" + LANGUAGES[language]
    files = {folder + "/index.html": ("<html><body><h1>Field Suite (%s)</h1></body></html>\n" % language,
                                      4 * KILOBYTE)}
    for number in range(30):
        files["%s/topic-%03d.html" % (folder, number)] = ("<html><body><p>%s %d</p>\n" % (language, number),
                                                         None)
    return files


def tool_files(tool):
    return {"tools/%s/%s-%02d.dat" % (tool.lower(), tool.lower(), number): ("%s %d\n" % (tool, number), None)
            for number in range(20 if tool == "Converter" else 12)}


# The packages of version 1.0: each feature's files as {name: (head, size)}
# (None: a size from the name), and the range of sizes of its files.
PACKAGES = {
    "Core": (core_files, (60 * KILOBYTE, 300 * KILOBYTE)),
    "Maps": (maps_files, (100 * KILOBYTE, 400 * KILOBYTE)),
    "Help/English": (lambda: help_files("English"), (10 * KILOBYTE, 50 * KILOBYTE)),
    "Help/French": (lambda: help_files("French"), (10 * KILOBYTE, 50 * KILOBYTE)),
    "Help/German": (lambda: help_files("German"), (10 * KILOBYTE, 50 * KILOBYTE)),
    "Tools/Converter": (lambda: tool_files("Converter"), (100 * KILOBYTE, 300 * KILOBYTE)),
    "Tools/Radio": (lambda: tool_files("Radio"), (100 * KILOBYTE, 250 * KILOBYTE)),
    "Tools/Scanner": (lambda: tool_files("Scanner"), (100 * KILOBYTE, 250 * KILOBYTE)),
}

# The update server's French help 1.1: every third page rewritten.
UPDATES = {"Help/French": "1.1"}


def write_package(root, package, edition, small):
    make, (smallest, largest) = PACKAGES[package]
    for name, (head, size) in make().items():
        if size is None:
            size = size_of(name, smallest, largest)
        page = name.rsplit("-", 1)[-1].split(".")[0]
        # The edition changes only the pages it rewrote.
        changed = edition != "1.0" and page.isdigit() and int(page) % 3 == 0
        write_file(os.path.join(root, package), name,
                   head + text_of(name, edition if changed else "1.0", 200 if small else size))


def main(argv):
    small = "--small" in argv[1:]
    arguments = [argument for argument in argv[1:] if argument != "--small"]
    if len(arguments) != 1:
        sys.stderr.write("usage: make_field_suite.py [--small] OUTPUT\n")
        return 2
    output = arguments[0]
    for package in PACKAGES:
        write_package(output, package, "1.0", small)
    for package, edition in UPDATES.items():
        write_package(os.path.join(output, "updates"), package, edition, small)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
