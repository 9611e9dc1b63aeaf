#!/usr/bin/env python3
"""The second example product, Field Suite, from end to end (scripts/demo runs it).

    examples/demo_field_suite.py SETUP_PROGRAM PAYLOAD_TOOL OUTPUT

Field Suite is a product as users make them: about 350 files and 56 MB,
help pages per language under a language template (English, French and
German, all installed), a build for two platforms (Windows Mobile 6 and
Qm40) with a tool for each, and two features (Help and Tools) that only
group their sub-features and have no package. Its installer is packed
into a copy of the program on the example device (a Windows Mobile 6
controller) in OUTPUT/device; its update server, on 127.0.0.1, offers the
French help 1.1. Five silent runs: the installation, a repair after an
installed file was deleted, the update of the features from the update
server, a repair of the French help 1.1 that only the update server has
(one of its files deleted) and the uninstallation. After each the
installed log and the
files are checked byte for byte, and every language feature installed
before must still be there. The exit status is 1 when a run did not do
what it should.
"""
import functools
import hashlib
import http.server
import os
import shutil
import subprocess
import sys
import threading
import xml.etree.ElementTree as ElementTree

# The sibling modules are read, not compiled into the source tree.
sys.dont_write_bytecode = True
import demo

EXAMPLES = os.path.dirname(os.path.abspath(__file__))
PRODUCT_DATA = os.path.join(EXAMPLES, "field-suite")
PROGRAM_NAME = "FieldSuiteSetup.exe"
DESTINATION = "Program Files/FieldSuite"
# The features with a package, by their path below "Feature"; Tools/Scanner
# serves Qm40 controllers only and never reaches the example device.
PACKAGES = ("Core", "Maps", "Help/English", "Help/French", "Help/German", "Tools/Converter", "Tools/Radio",
            "Tools/Scanner")
ON_THE_DEVICE = [package for package in PACKAGES if package != "Tools/Scanner"] + ["Help", "Tools"]
UPDATED = "Help/French"


def installer_data():
    return ElementTree.parse(os.path.join(PRODUCT_DATA, "data.xml")).getroot()


def product_uuid():
    for variable in installer_data().iter("Variable"):
        if variable.get("Type") == "ProgramUuid":
            return variable.get("Value")
    raise SystemExit("field-suite/data.xml names no ProgramUuid")


def feature_versions():
    """Every feature's Version by its path below "Feature"."""
    versions = {}

    def walk(element, path):
        for sub in element.findall("SubFeatures/Feature"):
            name = path + sub.get("Name")
            versions[name] = sub.get("Version")
            walk(sub, name + "/")

    walk(installer_data().find("Features/Feature"), "")
    return versions


def language_features(installed):
    return {name for name in installed if name.startswith("Feature/Help/")}


class FieldSuiteDemo(demo.Demo):
    registry_key = r"HKEY_LOCAL_MACHINE\Software\Druvex\FieldSuite"
    destination = DESTINATION

    def __init__(self, setup, payload_tool, output):
        super().__init__(setup, payload_tool, output)
        self.data_folder = "Windows/_QuendaSuperInstaller/" + product_uuid()
        self.server_folder = os.path.join(self.output, "server")

    # --- Making the product, its update server and the device ---------------------------

    def make(self):
        if os.path.exists(self.output):
            shutil.rmtree(self.output)
        os.makedirs(self.output)
        subprocess.run([sys.executable, os.path.join(EXAMPLES, "make_field_suite.py"), self.sources], check=True)
        self.make_device()
        versions = feature_versions()
        program = self.copy_program(os.path.join(self.fs, "Temp", "FieldSuite"), PROGRAM_NAME)
        entries = ["lzma:Data=" + os.path.join(PRODUCT_DATA, "data.xml"),
                   "lzma:InstallerInfo=" + os.path.join(PRODUCT_DATA, "InstallerInfo.xml")]
        entries += ["package:%s=%s" % (archive_name(package, versions[package]), os.path.join(self.sources, package))
                    for package in PACKAGES]
        subprocess.run([self.payload_tool, "create", program, "--append"] + entries, check=True)
        self.installer = "\\Temp\\FieldSuite\\" + PROGRAM_NAME
        self.make_server()

    def make_server(self):
        """The update server's files: the French help 1.1 as the package the
        installer downloads, and the bulletin that offers it."""
        os.makedirs(self.server_folder)
        name = archive_name(UPDATED, "1.1")
        scratch = os.path.join(self.server_folder, "packages.dqres")
        subprocess.run([self.payload_tool, "create", scratch,
                        "package:%s=%s" % (name, os.path.join(self.sources, "updates", UPDATED))], check=True)
        listing = subprocess.run([self.payload_tool, "list", scratch], check=True, stdout=subprocess.PIPE)
        fields = listing.stdout.decode().splitlines()[0].split("\t")
        offset, packed = int(fields[3]), int(fields[4])
        with open(scratch, "rb") as archive:
            archive.seek(offset)
            package = archive.read(packed)
        os.remove(scratch)
        with open(os.path.join(self.server_folder, "French-1.1.lzma"), "wb") as out:
            out.write(package)
        bulletin = ('<?xml version="1.0" encoding="utf-8"?>\n<UpdateBulletin>\n'
                    ' <Installer InstallerVersion="5.1"/>\n <Version Ver="1.0" RevNum="1.0.11">\n'
                    '  <Feature Name="Feature/%s" Prompt="Fran\u00e7ais" FullInst="Yes" ReqSpace="1310720" '
                    'Version="1.1" Digest="%s" compressed-size="%d" url="French-1.1.lzma" LocaleId="1036" '
                    'Presel="Default" Mode="Expanded"/>\n </Version>\n</UpdateBulletin>\n'
                    % (UPDATED, hashlib.sha1(package).hexdigest().upper(), len(package)))
        with open(os.path.join(self.server_folder, "bulletin.xml"), "w", encoding="utf-8") as out:
            out.write(bulletin)

    def serve(self):
        """The update server on 127.0.0.1; its requests are counted by path."""
        self.requests = []
        requests = self.requests

        class Handler(http.server.SimpleHTTPRequestHandler):
            def do_GET(self):
                requests.append(self.path)
                super().do_GET()

            def log_message(self, *arguments):
                pass

        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=self.server_folder))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        return server

    # --- Checks ----------------------------------------------------------------------------

    def expected_files(self):
        """The files that should be below the destination: each installed
        package's, the update's French help once it is installed."""
        log = self.installed_log()
        installed = log[1] if log else {}
        expected = {}
        for package in PACKAGES:
            entry = installed.get("Feature/" + package)
            if entry is None:
                continue
            source = os.path.join(self.sources, *(["updates"] if entry[0] != "1.0" else []), package)
            for name in demo.files_below(source):
                expected[name] = os.path.join(source, *name.split("/"))
        return expected

    def check_installed(self, updated=False):
        log = self.installed_log()
        if not self.expect(log is not None, "there is no InstalledLog.xml"):
            return
        version, installed = log
        self.expect(version == "1.0", "the installed log names version %s" % version)
        versions = feature_versions()
        if updated:
            versions[UPDATED] = "1.1"
        for feature in ON_THE_DEVICE:
            entry = installed.get("Feature/" + feature)
            self.expect(entry is not None and entry[0] == versions[feature],
                        "the installed log does not list %s %s" % (feature, versions[feature]))
        self.expect("Feature/Tools/Scanner" not in installed, "the Qm40 scanner is installed on a Wm6 device")
        for group in ("Help", "Tools"):
            entry = installed.get("Feature/" + group)
            self.expect(entry is not None and not entry[1], "the group %s lists files" % group)
        self.expect(language_features(installed) >= self.languages,
                    "language features installed before are gone: %s"
                    % ", ".join(sorted(self.languages - language_features(installed))))
        self.languages = language_features(installed)

        destination = self.host(DESTINATION)
        expected = self.expected_files()
        present = demo.files_below(destination) if os.path.isdir(destination) else set()
        missing = sorted(set(expected) - present)
        self.expect(not missing, "%d files are missing, the first %s" % (len(missing), missing[:1]))
        differing = [name for name in sorted(set(expected) & present)
                     if not same_bytes(expected[name], os.path.join(destination, *name.split("/")))]
        self.expect(not differing, "%d files differ, the first %s" % (len(differing), differing[:1]))
        listed = {name.replace("\\", "/").strip("/") for _, names in installed.values() for name in names}
        wanted = {DESTINATION + "/" + name for name in expected}
        self.expect(listed == wanted, "the installed log lists %d files, %d of them not installed, and leaves "
                    "out %d" % (len(listed), len(listed - wanted), len(wanted - listed)))
        self.expect(len(self.shortcuts()) == 1, "the shortcut is not there alone")
        self.expect((self.registry_values() or {}).get("Version") == "1.0", "the registry value Version is not 1.0")

    def report(self):
        destination = self.host(DESTINATION)
        files = demo.files_below(destination) if os.path.isdir(destination) else set()
        size = sum(os.path.getsize(os.path.join(destination, *name.split("/"))) for name in files)
        print("   \\%s: %d files, %.1f MB" % (DESTINATION.replace("/", "\\"), len(files), size / 1048576.0))
        log = self.installed_log()
        if log:
            print("   InstalledLog.xml: Field Suite %s; %s" % (log[0], ", ".join(
                "%s %s" % (name[len("Feature/"):], entry[0] or "(no files)") for name, entry in sorted(log[1].items()))))
        else:
            print("   InstalledLog.xml: none")

    # --- The five runs ----------------------------------------------------------------------

    def main(self):
        self.make()
        self.languages = set()
        server = self.serve()
        url = "http://127.0.0.1:%d/bulletin.xml" % server.server_address[1]
        print("Field Suite 1.0 packed into %s (appended); its update server is %s" % (self.installer, url))
        print("The example device is %s" % self.device)
        try:
            mode, _ = self.run("1. Silent installation", self.installer, ["silent_mode"])
            self.report()
            self.check_mode(mode, "2")
            self.check_installed()

            deleted = DESTINATION + "/help/fr/topic-003.html"
            os.remove(self.host(deleted))
            print("\n   (deleted \\%s)" % deleted.replace("/", "\\"))
            mode, log = self.run("2. Silent repair", self.installer, ["silent_mode"])
            self.report()
            self.check_mode(mode, "9")
            self.expect("Installed file missing" in log, "the run did not find the deleted file missing")
            self.check_installed()

            mode, log = self.run("3. Silent update of the features", self.installer,
                                 ["update_mode", "features", "silent_mode", "override_live_update_url", url])
            self.report()
            self.check_mode(mode, "3")
            self.expect("/French-1.1.lzma" in self.requests, "the French help 1.1 was not downloaded")
            self.expect("Installing Feature/Maps" not in log, "the unchanged maps were installed again")
            self.check_installed(updated=True)

            # The French help 1.1 is in no archive: the repair takes it from the
            # server that the bulletin kept beside the installed log names; its
            # addresses are relative to the server the update was given.
            deleted = DESTINATION + "/help/fr/topic-006.html"
            os.remove(self.host(deleted))
            print("\n   (deleted \\%s)" % deleted.replace("/", "\\"))
            downloads = self.requests.count("/French-1.1.lzma")
            mode, log = self.run("4. Silent repair of the help from the update server", self.installer,
                                 ["silent_mode", "override_live_update_url", url])
            self.report()
            self.check_mode(mode, "9")
            self.expect(self.requests.count("/French-1.1.lzma") > downloads,
                        "the French help 1.1 was not taken from the update server")
            self.expect("Installing Feature/Maps" not in log, "the maps were installed again")
            self.check_installed(updated=True)

            self.uninstall("5. Silent uninstallation", self.installer)
        finally:
            server.shutdown()

        if self.failures:
            print("\nThe Field Suite demo FAILED:")
            for failure in self.failures:
                print("  " + failure)
            return 1
        print("\nThe Field Suite demo passed: installed, repaired, updated and uninstalled on %s" % self.device)
        return 0


def archive_name(package, version):
    """The archive entry of a feature's package: its path below "Feature",
    its Version and no digest, every '/' turned into '_'."""
    return ("Feature_%s_%s_.lzma" % (package, version)).replace("/", "_")


def same_bytes(first, second):
    with open(first, "rb") as one, open(second, "rb") as other:
        return one.read() == other.read()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.stderr.write("usage: demo_field_suite.py SETUP_PROGRAM PAYLOAD_TOOL OUTPUT\n")
        sys.exit(2)
    sys.exit(FieldSuiteDemo(*sys.argv[1:]).main())
