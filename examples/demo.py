#!/usr/bin/env python3
"""The installer from end to end on the example device (scripts/demo runs it).

    examples/demo.py SETUP_PROGRAM PAYLOAD_TOOL OUTPUT
    examples/demo.py --wizard SETUP_PROGRAM PAYLOAD_TOOL OUTPUT

Makes the example product Demo Survey in two versions, packs each into an
installer (1.0 appended to a copy of the program, 2.0 as setup.dqres beside
one), lays out the example device in OUTPUT/device and runs four silent runs
on it: an installation, a repair after an installed file was deleted, the
update to 2.0 and the uninstallation. Each run's exit status and a short
report of the device are printed; the exit status is 1 when a run did not do
what it should, or when the update's copy of the installer on the device is
not the program products carry (without debug information, at most 4 MB).

With --wizard it makes the same product and device and starts the installer
of 1.0 on this terminal instead: the wizard, to walk by hand. Run it again
for the maintenance choices of an installed program.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

EXAMPLES = os.path.dirname(os.path.abspath(__file__))
PRODUCT_DATA = os.path.join(EXAMPLES, "demo-survey")
FEATURES = ("Core", "Maps", "Help")
PROGRAM_NAME = "DemoSurveySetup.exe"
DESTINATION = "Program Files/DemoSurvey"
REGISTRY_KEY = r"HKEY_LOCAL_MACHINE\Software\Druvex\DemoSurvey"


# The program that products carry to the device may take this much at most.
PROGRAM_ROOM = 4 * 1024 * 1024


def elf_section_names(path):
    """The section names of a 64-bit little-endian ELF program."""
    with open(path, "rb") as program:
        data = program.read()
    headers, = struct.unpack_from("<Q", data, 0x28)
    size, count, names_index = struct.unpack_from("<HHH", data, 0x3A)
    names, = struct.unpack_from("<Q", data, headers + size * names_index + 0x18)
    return [data[names + struct.unpack_from("<I", data, headers + size * index)[0]:].split(b"\0")[0].decode()
            for index in range(count)]


def product_uuid():
    data = ElementTree.parse(os.path.join(PRODUCT_DATA, "data.xml")).getroot()
    for variable in data.iter("Variable"):
        if variable.get("Type") == "ProgramUuid":
            return variable.get("Value")
    raise SystemExit("the example's data.xml names no ProgramUuid")


def feature_versions(data_file):
    data = ElementTree.parse(os.path.join(PRODUCT_DATA, data_file)).getroot()
    return {feature.get("Name"): feature.get("Version") for feature in data.iter("Feature")
            if feature.get("Name") in FEATURES}


def installer_path(version):
    """The device path of the installer of one version (pack() puts it there)."""
    return "\\Temp\\DemoSurvey-%s\\%s" % (version, PROGRAM_NAME)


def files_below(folder):
    """Every file below the folder, relative with '/'."""
    found = set()
    for top, _, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/"))
    return found


class Demo:
    registry_key = REGISTRY_KEY
    destination = DESTINATION

    def __init__(self, setup, payload_tool, output):
        self.setup = setup
        self.payload_tool = payload_tool
        self.output = os.path.abspath(output)
        self.device = os.path.join(self.output, "device")
        self.fs = os.path.join(self.device, "fs")
        self.sources = os.path.join(self.output, "product")
        self.data_folder = "Windows/_QuendaSuperInstaller/" + product_uuid()
        self.failures = []
        # Known before make(): a second wizard run uses the device it kept.
        self.installer_1 = installer_path("1.0")
        self.installer_2 = installer_path("2.0")

    # --- Making the product and the device ---------------------------------------------

    def make(self):
        if os.path.exists(self.output):
            shutil.rmtree(self.output)
        os.makedirs(self.output)
        subprocess.run([sys.executable, os.path.join(EXAMPLES, "make_product.py"), self.sources], check=True)
        self.make_device()
        self.installer_1 = self.pack("1.0", "data.xml", appended=True)
        self.installer_2 = self.pack("2.0", "data-2.0.xml", appended=False)

    def make_device(self):
        """The example device: its device.ini and registry, and the folders
        every device has."""
        os.makedirs(self.device)
        for name in ("device.ini", "registry.reg"):
            shutil.copyfile(os.path.join(EXAMPLES, "device", name), os.path.join(self.device, name))
        for folder in ("Windows/Start Menu/Programs", "Windows/Desktop", "Program Files", "My Documents",
                       "Application Data", "Temp"):
            os.makedirs(os.path.join(self.fs, *folder.split("/")))

    def copy_program(self, folder, name):
        """A copy of the setup program as `name` in a new host folder."""
        os.makedirs(folder)
        program = os.path.join(folder, name)
        shutil.copyfile(self.setup, program)
        shutil.copymode(self.setup, program)
        return program

    def pack(self, version, data_file, appended):
        """The installer of one version in \\Temp\\DemoSurvey-<version> on the device."""
        folder = os.path.join(self.fs, "Temp", "DemoSurvey-" + version)
        program = self.copy_program(folder, PROGRAM_NAME)
        entries = ["lzma:Data=" + os.path.join(PRODUCT_DATA, data_file),
                   "lzma:InstallerInfo=" + os.path.join(PRODUCT_DATA, "InstallerInfo.xml"),
                   "package:ExtraData/ReqInfo=" + os.path.join(PRODUCT_DATA, "ReqInfo")]
        for feature, feature_version in feature_versions(data_file).items():
            entries.append("package:Feature_%s_%s_.lzma=%s" % (feature, feature_version,
                                                                os.path.join(self.sources, version, feature)))
        archive = [program, "--append"] if appended else [os.path.join(folder, "setup.dqres")]
        subprocess.run([self.payload_tool, "create"] + archive + entries, check=True)
        return installer_path(version)

    # --- Runs ---------------------------------------------------------------------------

    def run(self, title, program, words):
        print("\n== %s: %s %s" % (title, program, " ".join(words)))
        host_program = os.path.join(self.fs, *program.strip("\\").split("\\"))
        folder = os.path.dirname(host_program)
        for name in os.listdir(folder):
            if name.endswith(".log.txt"):
                os.remove(os.path.join(folder, name))
        environment = dict(os.environ, DRUVEX_DEVICE=self.device)
        completed = subprocess.run([host_program] + words, env=environment, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, cwd=self.output)
        logs = [name for name in os.listdir(folder) if name.endswith(".log.txt")]
        log = ""
        if logs:
            with open(os.path.join(folder, logs[0]), encoding="utf-8-sig", errors="replace") as text:
                log = text.read()
        mode = re.search(r"runs wizard mode (\d+)", log)
        lines = completed.stdout.decode("utf-8", "replace").splitlines()
        print("   exit status %d, wizard mode %s, %d item lines on standard output"
              % (completed.returncode, mode.group(1) if mode else "-", len(lines)))
        if completed.stderr:
            print("   standard error: " + completed.stderr.decode("utf-8", "replace").strip())
        self.step = title
        self.expect(completed.returncode == 0, "the exit status is %d, not 0" % completed.returncode)
        last = log.rstrip("\r\n").splitlines()[-1] if log.strip() else ""
        self.expect(last.endswith("Logging finished"), "the log does not end with \"Logging finished\"")
        return mode.group(1) if mode else None, log

    def expect(self, condition, failure):
        if not condition:
            self.failures.append("%s: %s" % (self.step, failure))
            print("   FAILED: " + failure)
        return condition

    # --- The device -------------------------------------------------------------------------

    def host(self, device_path):
        return os.path.join(self.fs, *device_path.replace("\\", "/").strip("/").split("/"))

    def installed_log(self):
        path = self.host(self.data_folder + "/InstalledLog.xml")
        if not os.path.exists(path):
            return None
        root = ElementTree.parse(path).getroot()
        features = {}
        for feature in root.iter("Feature"):
            features[feature.get("Name")] = (feature.get("Version"),
                                             [node.get("Name") for node in feature.iter("File")])
        return root.find("Program").get("InstalledProgramVersion"), features

    def registry_values(self):
        """The program's registry values; None when its key is not there."""
        values = None
        inside = False
        with open(os.path.join(self.device, "registry.reg"), encoding="utf-8-sig") as registry:
            for line in registry:
                line = line.strip()
                if line.startswith("["):
                    inside = line[1:-1].lower() == self.registry_key.lower()
                    if inside:
                        values = {}
                elif inside and "=" in line:
                    name, value = line.split("=", 1)
                    values[name.strip('"')] = value.strip('"').replace("\\\\", "\\")
        return values

    def shortcuts(self):
        return sorted(path for path in files_below(self.fs) if path.lower().endswith(".lnk"))

    def report(self):
        """One line each on the program's folder, the installed log, shortcuts and registry."""
        destination = self.host(DESTINATION)
        files = files_below(destination) if os.path.isdir(destination) else set()
        print("   \\%s: %d files" % (DESTINATION.replace("/", "\\"), len(files)))
        log = self.installed_log()
        if log:
            version, features = log
            listed = sum(len(names) for _, names in features.values())
            print("   InstalledLog.xml: Demo Survey %s; %s; %d files listed"
                  % (version, ", ".join("%s %s" % (name.split("/")[-1], fv) for name, (fv, _) in features.items()),
                     listed))
        else:
            print("   InstalledLog.xml: none")
        print("   shortcuts: %s" % (", ".join(self.shortcuts()) or "none"))
        values = self.registry_values()
        print("   registry %s: %s" % (REGISTRY_KEY, "none" if values is None else
                                        ", ".join("%s=%s" % item for item in sorted(values.items()))))

    def check_installer_copy(self, expected):
        """The installer's copy in the product data folder: there after a run
        that brought another version, never after a repair; the program
        without debug information and small enough for the device."""
        program = self.host(self.data_folder + "/setup.exe")
        if not expected:
            self.expect(not os.path.exists(program), "a run of the installed version copied the installer")
            return
        if not self.expect(os.path.exists(program), "the update left no copy of its installer"):
            return
        size = os.path.getsize(program)
        print("   the installer's copy: setup.exe of %.1f MB, setup.dqres of %.1f kB"
              % (size / 1048576.0, os.path.getsize(self.host(self.data_folder + "/setup.dqres")) / 1024.0))
        self.expect(size <= PROGRAM_ROOM, "the installer's copy takes %d bytes, more than 4 MB" % size)
        debug = [name for name in elf_section_names(program) if name.startswith(".debug_")]
        self.expect(not debug, "the installer's copy carries debug information (%s)" % ", ".join(debug))

    def check_installed(self, version, features):
        """The program's folder holds the files of that version, byte for byte,
        and the installed log lists exactly them."""
        destination = self.host(DESTINATION)
        expected = {}
        for feature in FEATURES:
            source = os.path.join(self.sources, version, feature)
            for name in files_below(source):
                expected[name] = os.path.join(source, *name.split("/"))
        present = files_below(destination) if os.path.isdir(destination) else set()
        missing = sorted(set(expected) - present)
        self.expect(not missing, "%d files are missing, the first %s" % (len(missing), missing[:1]))
        differing = [name for name in sorted(set(expected) & present)
                     if open(expected[name], "rb").read() != open(os.path.join(destination, *name.split("/")),
                                                                    "rb").read()]
        self.expect(not differing, "%d files differ from %s, the first %s" % (len(differing), version,
                                                                             differing[:1]))
        log = self.installed_log()
        if not self.expect(log is not None, "there is no InstalledLog.xml"):
            return
        log_version, log_features = log
        self.expect(log_version == version, "the installed log names version %s" % log_version)
        for feature, feature_version in features.items():
            entry = log_features.get("Feature/" + feature)
            self.expect(entry is not None and entry[0] == feature_version,
                        "the installed log does not list %s %s" % (feature, feature_version))
        listed = {name.replace("\\", "/").strip("/") for _, names in log_features.values() for name in names}
        wanted = {DESTINATION + "/" + name for name in expected}
        self.expect(listed == wanted, "the installed log lists %d files, %d of them not installed, and leaves "
                    "out %d" % (len(listed), len(listed - wanted), len(wanted - listed)))
        self.expect(len(self.shortcuts()) == 1, "the shortcut is not there alone")
        self.expect((self.registry_values() or {}).get("Version") == version,
                    "the registry value Version is not %s" % version)

    def check_mode(self, mode, wanted):
        self.expect(mode == wanted, "the run's wizard mode is %s, not %s" % (mode, wanted))

    def uninstall(self, title, program):
        """A file of the user's own added, the silent uninstallation: what the
        installed log listed goes, the user's file stays."""
        log = self.installed_log()
        listed = [name for _, names in (log[1].values() if log else []) for name in names]
        user_file = self.destination + "/my-notes.txt"
        with open(self.host(user_file), "w") as notes:
            notes.write("a file of the user's own\n")
        print("\n   (added \\%s)" % user_file.replace("/", "\\"))
        mode, _ = self.run(title, program, ["uninstall_mode", "silent_mode"])
        self.report()
        self.check_mode(mode, "5")
        left = [name for name in listed if os.path.exists(self.host(name))]
        self.expect(listed and not left, "%d of the %d files of the installed log are still there"
                    % (len(left), len(listed)))
        self.expect(os.path.exists(self.host(user_file)), "the user's file is gone")
        self.expect(self.installed_log() is None, "InstalledLog.xml is still there")
        self.expect(not self.shortcuts(), "the shortcut is still there")
        self.expect(self.registry_values() is None, "the registry key is still there")

    # --- The four runs ----------------------------------------------------------------------------

    def wizard(self):
        """The wizard of 1.0 on this terminal; the device is kept between runs."""
        if not os.path.exists(self.device):
            self.make()
        host_program = self.host(self.installer_1)
        environment = dict(os.environ, DRUVEX_DEVICE=self.device)
        status = subprocess.run([host_program], env=environment, cwd=self.output).returncode
        print("The wizard ended with exit status %d; the device is %s" % (status, self.device))
        self.report()
        return status

    def main(self):
        self.make()
        print("Demo Survey 1.0 packed into %s (appended), 2.0 into setup.dqres beside %s"
              % (self.installer_1, self.installer_2))
        print("The example device is %s" % self.device)

        mode, _ = self.run("1. Silent installation of 1.0", self.installer_1, ["silent_mode"])
        self.report()
        self.check_mode(mode, "2")
        self.check_installed("1.0", feature_versions("data.xml"))

        deleted = DESTINATION + "/bin/module-007.dll"
        os.remove(self.host(deleted))
        print("\n   (deleted \\%s)" % deleted.replace("/", "\\"))
        mode, log = self.run("2. Silent repair with 1.0", self.installer_1, ["silent_mode"])
        self.report()
        self.check_mode(mode, "9")
        self.expect("Installed file missing" in log, "the run did not find the deleted file missing")
        self.check_installed("1.0", feature_versions("data.xml"))
        self.check_installer_copy(False)

        maps_before = self.host(DESTINATION + "/maps/zone-A/tile-000.map")
        maps_time = os.stat(maps_before).st_mtime_ns
        mode, log = self.run("3. Silent update to 2.0", self.installer_2, ["silent_mode"])
        self.report()
        self.check_mode(mode, "6")
        self.check_installed("2.0", feature_versions("data-2.0.xml"))
        self.check_installer_copy(True)
        self.expect(not os.path.exists(self.host(DESTINATION + "/config/legacy.ini")),
                    "a file that 2.0 no longer has is still there")
        self.expect("Installing Feature/Maps" not in log and os.stat(maps_before).st_mtime_ns == maps_time,
                    "the unchanged maps were installed again")

        self.uninstall("4. Silent uninstallation", self.installer_2)

        if self.failures:
            print("\nThe demo FAILED:")
            for failure in self.failures:
                print("  " + failure)
            return 1
        print("\nThe demo passed: installed, repaired, updated and uninstalled on %s" % self.device)
        return 0


if __name__ == "__main__":
    arguments = sys.argv[1:]
    interactive = arguments[:1] == ["--wizard"]
    if interactive:
        arguments = arguments[1:]
    if len(arguments) != 3:
        sys.stderr.write("usage: demo.py [--wizard] SETUP_PROGRAM PAYLOAD_TOOL OUTPUT\n")
        sys.exit(2)
    demo = Demo(*arguments)
    sys.exit(demo.wizard() if interactive else demo.main())
