#!/usr/bin/env python3
"""camsetup-check as a program: usage errors, the JSON report parsed back,
located findings in the text, code pages, --present over a made-up
/sys/bus/usb/devices, the exit statuses, the exit-code mode, names found
without regard to case, and SARIF output checked by Microsoft's SARIF
multitool (scripts/install-deps.sh installs it).

usage: check_cli_test.py CAMSETUP_CHECK
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
from pathlib import Path

CHECK = None
HERE = Path(__file__).resolve().parent


def run(*args, env=None, cwd=None):
    """The run, with its output read as UTF-8: a byte that is not fails."""
    result = subprocess.run([CHECK, *args], capture_output=True, cwd=cwd,
                            env={**os.environ, **(env or {})})
    result.stdout = result.stdout.decode("utf-8")
    result.stderr = result.stderr.decode("utf-8")
    return result


def package(root: Path, ini: str, installers=()):
    root.mkdir(parents=True, exist_ok=True)
    (root / "setup.ini").write_text(ini)
    for installer in installers:
        path = root / installer
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("installer")
    return str(root)


TWO_MODELS = "[Camera1]\nPath=A\\setup.exe\nPID=ABCD\n[Camera2]\nPath=B\\setup.exe\nPID=0100\n"

# A driver package's INF for the camera with the product code 0B01, signed
# by cam.cat.
CAMERA_INF = (
    "; Velmora camera\r\n"
    "[Version]\r\n"
    "Signature = \"$Windows NT$\"\r\n"
    "Class = Camera\r\n"
    "CatalogFile = %Catalog%\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Mfg% = Velmora, NTamd64, NTx86\r\n"
    "\r\n"
    "[Velmora.NTamd64]\r\n"
    "%Cam% = Cam_Install, USB\\VID_5A3D&PID_0B01&MI_00, \\\r\n"
    "        USB\\VID_5A3D&PID_0B01\r\n"
    "\r\n"
    "[Velmora.NTx86]\r\n"
    "%Cam% = Cam_Install, USB\\VID_5A3D&PID_0B01\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Mfg = \"Velmora\"\r\n"
    "Cam = \"Velmora Camera\"\r\n"
    "Catalog = cam.cat\r\n")

# The start of every MSI package: an OLE compound file.
COMPOUND_FILE = bytes.fromhex("D0CF11E0A1B11AE1")


def driver_package(root: Path, ini: str, files):
    """A package with files of given bytes (str is written as UTF-8)."""
    root.mkdir(parents=True, exist_ok=True)
    (root / "setup.ini").write_text(ini)
    for name, content in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)
    return str(root)


class CheckCli(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_usage_errors(self):
        for args in ([], ["--json"], ["a", "b"], ["pkg", "--bogus"], ["pkg", "--hwid"],
                     ["pkg", "--present", "--hwid", "X"], ["pkg", "--code-page"],
                     ["pkg", "--code-page", "65001"], ["pkg", "--code-page", "437"],
                     ["pkg", "--code-page", "932", "--code-page", "1252"],
                     ["pkg", "--json", "--sarif"]):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 64)
                self.assertIn("usage: camsetup-check", result.stderr)
                self.assertEqual(result.stdout, "")

    def test_clean_package_has_nothing_to_report(self):
        pkg = package(self.root / "clean", "[Camera1]\nPath=a.exe\nPID=ABCD\n", ["a.exe"])
        result = run(pkg)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("No findings.", result.stdout)

    def test_json_report(self):
        pkg = package(self.root / "two", TWO_MODELS, ["A/setup.exe"])
        result = run(pkg, "--json", "--hwid", "USB\\VID_5A3D&PID_ABCD&REV_0100",
                     "--hwid", "USB\\VID_1234&PID_ABCD")
        report = json.loads(result.stdout)
        self.assertEqual(report["exit_status"], result.returncode)
        self.assertEqual(result.returncode, 1)
        self.assertTrue(report["accepted"])
        self.assertEqual(report["code_page"], 1252)
        self.assertEqual(report["setup_ini"], pkg + "/setup.ini")
        self.assertEqual([(m["section"], m["line"], m["path"], m["program"], m["switches"],
                           m["exists"], m["codes"]) for m in report["models"]],
                         [("Camera1", 1, "A\\setup.exe", "A\\setup.exe", "", True, ["ABCD"]),
                          ("Camera2", 4, "B\\setup.exe", "B\\setup.exe", "", False, ["0100"])])
        self.assertEqual(report["selected"], {"section": "Camera2", "path": "B\\setup.exe",
                                              "program": "B\\setup.exe", "switches": ""})
        self.assertEqual(report["devices"][0],
                         {"hardware_id": "USB\\VID_5A3D&PID_ABCD&REV_0100", "vendor": True,
                          "section": "Camera2", "code": "0100", "index": 26, "field": "REV"})
        self.assertEqual(report["devices"][1]["vendor"], False)
        self.assertIsNone(report["devices"][1]["section"])
        self.assertEqual([(f["severity"], f["section"], f["line"]) for f in report["findings"]],
                         [("warning", "Camera2", 5), ("warning", "Camera2", 6)])

    def test_refused_package_is_an_error(self):
        pkg = package(self.root / "long", "[Camera1]\nPath=" + "p" * 251 + "\n")
        result = run(pkg, "--json")
        report = json.loads(result.stdout)
        self.assertEqual(result.returncode, 2)
        self.assertFalse(report["accepted"])
        self.assertEqual(report["findings"][0]["severity"], "error")
        self.assertIn("Camera1 Path string too long > 250 character",
                      report["findings"][0]["message"])

    def test_unreadable_package(self):
        result = run(str(self.root / "nowhere"), "--json")
        self.assertEqual(result.returncode, 2)
        report = json.loads(result.stdout)
        self.assertFalse(report["readable"])
        self.assertEqual([(f["severity"], f["section"], f["line"]) for f in report["findings"]],
                         [("error", None, None)])
        text = run(str(self.root / "nowhere")).stdout
        self.assertIn("\n%s/setup.ini: error: setup.ini is missing" % (self.root / "nowhere"),
                      text)

    def test_located_findings(self):
        pkg = package(self.root / "lines",
                      "; models\r\n\r\n[Camera1]\r\n; the first\r\nPath=a.exe\r\nPID=abcd\r\n"
                      "[Camera2]\r\nPath=b.exe\rPID=BBBB\r\n", ["a.exe", "b.exe"])
        result = run(pkg, "--hwid", "USB\\VID_1234&PID_ABCD")
        findings = [line for line in result.stdout.splitlines() if line.startswith(pkg)]
        self.assertEqual(findings, [
            pkg + "/setup.ini:6: warning: Camera1: code \"abcd\" has lower-case letters; "
                  "hardware IDs are compared in upper case, so it never matches",
            pkg + "/setup.ini:8: warning: Camera2: the installer \"b.exe\\x0DPID=BBBB\" is missing",
            pkg + "/setup.ini:7: warning: Camera2: no PID: the model gets the code \"0\", which "
                  "is found in nearly every hardware ID",
            pkg + "/setup.ini:8: warning: Camera2: a carriage return without a line feed: an "
                  "editor shows two lines here, but Windows reads one, so the text after it "
                  "belongs to what comes before it",
            pkg + "/setup.ini: warning: no given device matches a model: the launcher would "
                  "report \"Velmora Webcam Device(Oskendal) was not found!\""])
        # The form problem matchers take: PATH:LINE: SEVERITY: SECTION: MESSAGE.
        matcher = re.compile(r"^(.+?):(\d+): (warning|error): (Camera\d+): (.+)$")
        self.assertEqual([matcher.match(line).group(2, 4) for line in findings[:4]],
                         [("6", "Camera1"), ("8", "Camera2"), ("7", "Camera2"), ("8", "Camera2")])
        report = json.loads(run(pkg, "--json").stdout)
        self.assertEqual([m["line"] for m in report["models"]], [3, 7])
        self.assertEqual([f["line"] for f in report["findings"]], [6, 8, 7, 8])

    def test_switches(self):
        pkg = package(self.root / "switches",
                      "[Camera1]\nPath=A\\setup.exe /S /v\"/qn\"\nPID=ABCD\n"
                      "[Camera2]\nPath=B\\setup /quiet\nPID=BBBB\n", ["A/setup.exe", "B/setup.exe"])
        result = run(pkg, "--json", "--hwid", "USB\\VID_5A3D&PID_ABCD")
        report = json.loads(result.stdout)
        self.assertEqual(result.returncode, 0, report["findings"])
        self.assertEqual([(m["program"], m["switches"], m["exists"]) for m in report["models"]],
                         [("A\\setup.exe", '/S /v"/qn"', True), ("B\\setup.exe", "/quiet", True)])
        self.assertEqual(report["selected"]["switches"], '/S /v"/qn"')
        text = run(pkg, "--hwid", "USB\\VID_5A3D&PID_ABCD").stdout
        self.assertIn("  Camera1 (line 1): A\\setup.exe\n    switches: /S /v\"/qn\"\n", text)
        self.assertIn('starts Camera1\'s installer as "A\\setup.exe" /S /v"/qn", with its own '
                      'arguments behind it', text)

    def test_code_pages(self):
        pkg = package(self.root / "names", "")
        Path(pkg, "setup.ini").write_bytes(
            b"[Camera1]\r\nPath=\x83J\x83\x81\x83\x89\\setup.exe /S\r\nPID=ABCD\r\n"
            b"[Camera2]\r\nPath=caf\xe9.exe\r\nPID=ABCE\r\n"
            b"[Camera3]\r\nPath=x\x81.exe\r\nPID=ABCF\r\n")
        folder = Path(pkg, os.fsdecode(b"\x83J\x83\x81\x83\x89"))  # the bytes of code page 932
        folder.mkdir()
        (folder / "setup.exe").write_text("installer")
        # A byte that does not decode is shown as \xNN: 0x81 in both, and 0xE9
        # in code page 932, where it is a lead byte without a trail byte. There
        # 0xE9 and 0x81 take the dot as their second byte, so the names have
        # no extension and the program is the name with ".exe".
        for code_page, camera1, camera2, camera3 in (
                (932, "\u30ab\u30e1\u30e9\\setup.exe", "caf\\xE9.exe.exe", "x\\x81.exe.exe"),
                (1252, "\u0192J\u0192\\x81\u0192\u2030\\setup.exe", "caf\u00e9.exe",
                 "x\\x81.exe")):
            with self.subTest(code_page=code_page):
                result = run(pkg, "--json", "--code-page", str(code_page))
                report = json.loads(result.stdout)
                self.assertEqual(report["code_page"], code_page)
                self.assertEqual([m["program"] for m in report["models"]],
                                 [camera1, camera2, camera3])
                text = run(pkg, "--code-page", str(code_page)).stdout
                self.assertIn("Path \"%s\" has bytes outside ASCII, read here as code page %d"
                              % (camera2.replace(".exe.exe", ".exe"), code_page), text)
        # In code page 932 the program is found, and its switches follow it.
        report = json.loads(run(pkg, "--json", "--code-page", "932").stdout)
        self.assertEqual((report["models"][0]["switches"], report["models"][0]["exists"]),
                         ("/S", True))
        self.assertIn("\u30ab\u30e1\u30e9", report["models"][0]["path"])

    def test_present_devices_from_sysfs(self):
        sysfs = self.root / "sysfs"
        for name, files in {"1-1": {"idVendor": "5a3d", "idProduct": "abcd", "bcdDevice": "0100"},
                            "1-1:1.0": {"bInterfaceClass": "0e"},
                            "usb1": {"idVendor": "1d6b", "idProduct": "0002"},
                            "2-3": {"idVendor": "046d", "idProduct": "c52b",
                                    "bcdDevice": "1211"}}.items():
            (sysfs / name).mkdir(parents=True)
            for file, value in files.items():
                (sysfs / name / file).write_text(value + "\n")
        pkg = package(self.root / "two", TWO_MODELS, ["A/setup.exe", "B/setup.exe"])
        report = json.loads(run(pkg, "--present", "--json",
                                env={"CAMSETUP_SYSFS_USB": str(sysfs)}).stdout)
        self.assertEqual([d["hardware_id"] for d in report["devices"]],
                         ["USB\\VID_5A3D&PID_ABCD&REV_0100", "USB\\VID_046D&PID_C52B&REV_1211"])
        self.assertEqual(report["selected"]["section"], "Camera2")

        (sysfs / "empty").mkdir()
        result = run(pkg, "--present", env={"CAMSETUP_SYSFS_USB": str(sysfs / "empty")})
        self.assertIn("no USB device present", result.stdout)
        self.assertEqual(result.returncode, 0)

    def test_exit_code_mode(self):
        camera = "[Camera1]\nPath=a.exe\nPID=ABCD\n"
        for name, launcher, mode, line in (
                ("none", "", "zero", None),
                ("installer", "[launcher]\nEXITCODE=installer\n", "installer", None),
                ("other", "; exit codes\n[Launcher]\nExitCode=yes\n", "zero", 3)):
            with self.subTest(name):
                pkg = package(self.root / name, launcher + camera, ["a.exe"])
                report = json.loads(run(pkg, "--json").stdout)
                self.assertEqual(report["exit_code_mode"], mode)
                self.assertEqual([(f["section"], f["line"]) for f in report["findings"]],
                                 [] if line is None else [("Launcher", line)])
                text = run(pkg).stdout
                # The mode follows the models, before the findings.
                shown = ("Exit codes: the installer's own, or the failure's code ([Launcher] "
                         "ExitCode=Installer)\n" if mode == "installer" else "Exit codes: 0 always\n")
                self.assertIn("    codes: ABCD\n" + shown, text)
                if line is not None:
                    self.assertIn("\n%s/setup.ini:3: warning: Launcher: ExitCode \"yes\" is not "
                                  "\"Installer\"" % pkg, text)

    def test_names_without_regard_to_case(self):
        pkg = package(self.root / "case",
                      "[Camera1]\nPath=ModelA\\Setup.EXE\nPID=ABCD\n"
                      "[Camera2]\nPath=Tools\\Run /q\nPID=BBBB\n"
                      "[Camera3]\nPath=B\\setup.exe\nPID=CCCC\n",
                      ["modela/setup.exe", "TOOLS/RUN.EXE", "B/Setup.exe", "B/setup.exe"])
        report = json.loads(run(pkg, "--json").stdout)
        self.assertEqual([(m["program"], m["switches"], m["exists"]) for m in report["models"]],
                         [("ModelA\\Setup.EXE", "", True), ("Tools\\Run.exe", "/q", True),
                          ("B\\setup.exe", "", True)])
        self.assertEqual([(f["section"], f["line"], f["message"]) for f in report["findings"]],
                         [("Camera3", 8, 'names that differ only in case: "B\\Setup.exe", '
                                         '"B\\setup.exe"; Windows takes them for one name, so a '
                                         'copy of the package on Windows holds only one of these '
                                         'files, and the launcher may start another than meant')])

    def test_names_in_utf8_for_a_code_page_path(self):
        # Git and unzip name the folder カメラ in UTF-8; setup.ini names it in
        # code page 932. Windows compares characters, so the launcher finds it.
        pkg = package(self.root / "utf8", "", ["\u30ab\u30e1\u30e9/setup.exe",
                                               "\u30ab\u30e1\u30e9/Tool.exe",
                                               "\u30ab\u30e1\u30e9/tool.exe"])
        Path(pkg, "setup.ini").write_bytes(
            b"[Camera1]\r\nPath=\x83J\x83\x81\x83\x89\\SETUP.exe /S\r\nPID=ABCD\r\n"
            b"[Camera2]\r\nPath=\x83J\x83\x81\x83\x89\\tool.exe\r\nPID=ABCE\r\n")
        report = json.loads(run(pkg, "--json", "--code-page", "932").stdout)
        self.assertEqual([(m["program"], m["switches"], m["exists"]) for m in report["models"]],
                         [("\u30ab\u30e1\u30e9\\SETUP.exe", "/S", True),
                          ("\u30ab\u30e1\u30e9\\tool.exe", "", True)])
        self.assertEqual([(f["section"], f["message"].split(";")[0]) for f in report["findings"]
                          if "outside ASCII" not in f["message"]],
                         [("Camera2", 'names that differ only in case: '
                                      '"\u30ab\u30e1\u30e9\\Tool.exe", '
                                      '"\u30ab\u30e1\u30e9\\tool.exe"')])

    def test_trail_byte_backslash_932(self):
        # ソフト is 83 5C 83 74 83 67: its first trail byte is a backslash.
        pkg = package(self.root / "so", "")
        Path(pkg, "setup.ini").write_bytes(
            b"[Camera1]\r\nPath=\x83\x5c\x83t\x83g\\Setup.exe /S\r\nPID=ABCD\r\n")
        folder = Path(pkg, os.fsdecode(b"\x83\x5c\x83t\x83g"))
        folder.mkdir()
        (folder / "setup.exe").write_text("installer")
        report = json.loads(run(pkg, "--json", "--code-page", "932").stdout)
        model = report["models"][0]
        self.assertEqual((model["program"], model["switches"], model["exists"]),
                         ("\u30bd\u30d5\u30c8\\Setup.exe", "/S", True))
        self.assertEqual([f["message"].split(" has ")[1][:15] for f in report["findings"]],
                         ["bytes outside A"])

    def test_byte_order_mark(self):
        pkg = package(self.root / "bom", "")
        Path(pkg, "setup.ini").write_bytes(
            b"\xef\xbb\xbf[Camera1]\r\nPath=caf\xc3\xa9.exe\r\nPID=ABCD\r\n")
        Path(pkg, "caf\u00e9.exe").write_text("installer")  # UTF-8, as Linux names are
        result = run(pkg)
        self.assertIn("\n%s/setup.ini:1: warning: setup.ini starts with a UTF-8 byte-order mark. "
                      "Some editors add the mark, and depending on the Windows version the first "
                      "section may then not be read" % pkg, result.stdout)
        report = json.loads(run(pkg, "--json").stdout)
        # Read as Windows' reader reads it: UTF-8 after the mark, in the ANSI
        # code page for the launcher, whose é is the é of the UTF-8 name.
        self.assertEqual([(m["section"], m["line"], m["program"], m["exists"])
                          for m in report["models"]],
                         [("Camera1", 1, "caf\u00e9.exe", True)])
        self.assertEqual([(f["section"], f["line"], "outside ASCII" in f["message"])
                          for f in report["findings"]],
                         [(None, 1, False), ("Camera1", 2, True)])


class InstallerForms(unittest.TestCase):
    """Each model's form and command in the JSON report, and what was read
    of an INF: its encoding, hardware IDs and catalogs."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_form_and_command_in_json(self):
        pkg = driver_package(
            self.root / "forms",
            "[Camera1]\nPath=A\\setup.exe /S\nPID=0A01\n"
            "[Camera2]\nPath=Msi\\driver.msi REBOOT=ReallySuppress\nPID=0C01\n"
            "[Camera3]\nPath=Driver\\cam.inf /reboot\nPID=0B01\n"
            "[Camera4]\nPath=Wide\\cam.inf\nPID=0B01\n",
            {"A/setup.exe": b"MZ", "Msi/driver.msi": COMPOUND_FILE + bytes(504),
             "Driver/cam.inf": CAMERA_INF, "Driver/cam.cat": b"catalog",
             "Wide/cam.inf": b"\xff\xfe" + CAMERA_INF.encode("utf-16-le"),
             "Wide/cam.cat": b"catalog"})
        result = run(pkg, "--json", "--hwid", "USB\\VID_5A3D&PID_0B01&MI_00")
        report = json.loads(result.stdout)
        # Nothing to report of the forms: the one finding is the code in two models.
        self.assertEqual(result.returncode, 1)
        self.assertEqual([(f["section"], f["line"]) for f in report["findings"]],
                         [("Camera4", 12)])
        self.assertIn('code "0B01" is also in Camera3', report["findings"][0]["message"])
        folder = os.path.realpath(pkg) + "\\"
        pnputil = '"C:\\Windows\\Sysnative\\pnputil.exe" /add-driver '
        self.assertEqual(
            [(m["section"], m["form"], m["command"], m["passes_arguments"])
             for m in report["models"]],
            [("Camera1", "program", '"%sA\\setup.exe" /S' % folder, True),
             ("Camera2", "msi", '"C:\\Windows\\system32\\msiexec.exe" /i "%sMsi\\driver.msi" '
              "REBOOT=ReallySuppress" % folder, True),
             ("Camera3", "inf", pnputil + '"%sDriver\\cam.inf" /install /reboot' % folder, False),
             ("Camera4", "inf", pnputil + '"%sWide\\cam.inf" /install' % folder, False)])
        self.assertIsNone(report["models"][0]["inf"])
        self.assertIsNone(report["models"][1]["inf"])
        ids = ["USB\\VID_5A3D&PID_0B01&MI_00", "USB\\VID_5A3D&PID_0B01"]
        for model, encoding in ((report["models"][2], "ANSI"), (report["models"][3], "UTF-16LE")):
            self.assertEqual(model["inf"], {
                "encoding": encoding, "problem": None, "hardware_ids": ids,
                "models": [{"section": "Velmora.NTamd64", "platform": "x64", "present": True,
                            "hardware_ids": ids},
                           {"section": "Velmora.NTx86", "platform": "x86", "present": True,
                            "hardware_ids": ids[1:]}],
                "catalogs": [{"key": "CatalogFile", "file": "cam.cat", "exists": True}]})
        # The later model of the two with the code is the one that starts.
        self.assertEqual(report["selected"]["section"], "Camera4")

        text = run(pkg, "--hwid", "USB\\VID_5A3D&PID_0B01&MI_00").stdout
        self.assertIn("    form: INF driver package\n    command: " + pnputil
                      + '"%sDriver\\cam.inf" /install /reboot  (the launcher\'s own arguments are '
                      "not passed to pnputil)\n" % folder, text)
        self.assertIn("    form: MSI package\n", text)
        self.assertIn("REBOOT=ReallySuppress  (then the launcher's own arguments)\n", text)
        self.assertIn("      Velmora.NTamd64 (x64): USB\\VID_5A3D&PID_0B01&MI_00, "
                      "USB\\VID_5A3D&PID_0B01\n", text)
        self.assertIn("The launcher starts Camera4's INF driver package \"Wide\\cam.inf\": "
                      + pnputil + '"%sWide\\cam.inf" /install, without its own arguments\n'
                      % folder, text)


class Sarif(unittest.TestCase):
    """--sarif on packages with nothing to report, warnings, errors and a
    finding without a line, checked against the JSON report and validated;
    the URIs of packages within and outside the working folder."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)
        self.validator = shutil.which("sarif-multitool")
        self.assertIsNotNone(self.validator, "sarif-multitool is missing: run "
                             "scripts/install-deps.sh (npm install -g @microsoft/sarif-multitool)")

    def tearDown(self):
        self.tmp.cleanup()

    def validator_results(self, path):
        """The validator's errors and warnings. It exits with 0 whatever it
        finds, so its report is read: one line per result,
        'FILE(LINE,COLUMN): LEVEL ID: ...'."""
        result = subprocess.run([self.validator, "validate", str(path)], capture_output=True,
                                text=True, timeout=300)
        self.assertIn("Analysis completed successfully", result.stdout, result.stdout + result.stderr)
        return [line for line in result.stdout.splitlines()
                if re.search(r": (error|warning) [A-Z]+[0-9]+: ", line)]

    def validate(self, path):
        """The validator's errors."""
        return [line for line in self.validator_results(path)
                if re.search(r": error [A-Z]+[0-9]+: ", line)]

    def assert_code_scanning_takes(self, path):
        """No error, and every result has the region that code scanning needs
        to show it (the validator's SARIF2017)."""
        results = self.validator_results(path)
        self.assertEqual([line for line in results
                          if re.search(r": (error [A-Z]+[0-9]+|warning SARIF2017): ", line)], [])

    def test_sarif_matches_the_report_and_validates(self):
        version = re.search(r"project\(camsetup VERSION ([0-9.]+)",
                            (HERE.parent / "CMakeLists.txt").read_text()).group(1)
        package(self.root / "clean", "[Camera1]\nPath=a.exe\nPID=ABCD\n", ["a.exe"])
        package(self.root / "my pkg", "[Launcher]\nExitCode=1\n[Camera1]\nPath=a.exe\nPID=abcd\n")
        package(self.root / "long", "[Camera1]\nPath=" + "p" * 251 + "\n")
        # Paths within the working folder are URIs relative to it, however
        # they were given.
        packages = {"clean": ("clean", "clean/setup.ini"),
                    "warnings": ("my pkg", "my%20pkg/setup.ini"),
                    "errors": ("long", "long/setup.ini"),
                    "no-line": ("./nowhere", "nowhere/setup.ini"),
                    "absolute": (str(self.root / "my pkg"), "my%20pkg/setup.ini")}
        for name, (pkg, uri) in packages.items():
            with self.subTest(name):
                result = run(pkg, "--sarif", cwd=self.root)
                sarif = json.loads(result.stdout)
                report = json.loads(run(pkg, "--json", cwd=self.root).stdout)
                self.assertEqual(result.returncode, report["exit_status"])
                self.assertEqual(sarif["version"], "2.1.0")
                run_ = sarif["runs"][0]
                driver = run_["tool"]["driver"]
                self.assertEqual((driver["name"], driver["version"]), ("camsetup-check", version))
                rules = driver["rules"]
                self.assertEqual(len({r["id"] for r in rules}), len(rules))
                for rule in rules:
                    for field in ("shortDescription", "fullDescription", "help"):
                        self.assertTrue(rule[field]["text"], (rule["id"], field))
                # One result per finding, in order, with its rule, level, line.
                results = run_["results"]
                self.assertEqual(len(results), len(report["findings"]))
                for r, f in zip(results, report["findings"]):
                    self.assertEqual(rules[r["ruleIndex"]]["id"], r["ruleId"])
                    self.assertEqual(r["level"], f["severity"])
                    self.assertTrue(r["message"]["text"].endswith(f["message"]))
                    location = r["locations"][0]["physicalLocation"]
                    self.assertEqual(location["artifactLocation"],
                                     {"uri": uri, "uriBaseId": "%SRCROOT%"})
                    # A finding about the whole file is shown at its first line.
                    self.assertEqual(location["region"], {"startLine": f["line"] or 1})
                self.assertEqual(run_["originalUriBaseIds"],
                                 {"%SRCROOT%": {"uri": self.root.as_uri() + "/"}})
                out = self.root / (name + ".sarif")
                out.write_text(result.stdout)
                self.assert_code_scanning_takes(out)
        levels = {name: [r["level"] for r in json.loads(run(pkg, "--sarif", cwd=self.root).stdout)
                         ["runs"][0]["results"]] for name, (pkg, _) in packages.items()}
        self.assertEqual(levels, {"clean": [], "warnings": ["warning", "warning", "warning"],
                                  "errors": ["error"], "no-line": ["error"],
                                  "absolute": ["warning", "warning", "warning"]})

    def test_uris_relative_to_the_working_folder(self):
        # Code scanning resolves a relative URI against the repository's
        # root, where the checker runs. A path that leaves that folder keeps
        # an absolute file: URI, which names the file all the same.
        work = self.root / "work dir \u00e9" / "repo"
        for folder in ("pkg", "sub", "my pkg #1", "\u30ab\u30e1\u30e9"):
            package(work / folder, "[Camera1]\nPath=a.exe\nPID=abcd\n")
        package(self.root / "outside", "[Camera1]\nPath=a.exe\nPID=abcd\n")
        outside = "file://" + urllib.parse.quote(str(self.root)) + "/outside/setup.ini"
        cases = {"dot-slash": ("./pkg", "pkg/setup.ini"),
                 "dot-dot-back-in": ("sub/../pkg/./", "pkg/setup.ini"),
                 "trailing-slash": ("pkg/", "pkg/setup.ini"),
                 "encoded": ("my pkg #1", "my%20pkg%20%231/setup.ini"),
                 "non-ascii": ("\u30ab\u30e1\u30e9", "%E3%82%AB%E3%83%A1%E3%83%A9/setup.ini"),
                 "absolute-within": (str(work / "pkg"), "pkg/setup.ini"),
                 "dot-dot-outside": ("../../outside", None),
                 "absolute-outside": (str(self.root / "outside"), None)}
        for name, (pkg, uri) in cases.items():
            with self.subTest(name):
                result = run(pkg, "--sarif", cwd=work)
                sarif = json.loads(result.stdout)
                run_ = sarif["runs"][0]
                self.assertEqual(run_["originalUriBaseIds"],
                                 {"%SRCROOT%": {"uri": "file://" + urllib.parse.quote(str(work))
                                                + "/"}})
                self.assertTrue(run_["results"])
                expected = ({"uri": uri, "uriBaseId": "%SRCROOT%"} if uri else {"uri": outside})
                for r in run_["results"]:
                    self.assertEqual(r["locations"][0]["physicalLocation"]["artifactLocation"],
                                     expected)
                if name in ("non-ascii", "dot-dot-outside"):
                    out = self.root / (name + ".sarif")
                    out.write_text(result.stdout)
                    self.assert_code_scanning_takes(out)

    def test_inf_and_msi_findings_validate(self):
        # An INF without the model's second code and without its catalog, and
        # an .msi that is no MSI: their findings, located on setup.ini's
        # lines, make a log that the validator and code scanning take.
        driver_package(
            self.root / "drivers",
            "[Camera1]\r\nPath=Driver\\cam.inf\r\nPID=0B01,0B02\r\n"
            "[Camera2]\r\nPath=Msi\\driver.msi\r\nPID=0C01\r\n",
            {"Driver/cam.inf": b"\xff\xfe" + CAMERA_INF.encode("utf-16-le"),
             "Msi/driver.msi": b"MZ, a program named .msi"})
        result = run("drivers", "--sarif", cwd=self.root)
        self.assertEqual(result.returncode, 1)
        sarif = json.loads(result.stdout)
        run_ = sarif["runs"][0]
        rules = run_["tool"]["driver"]["rules"]
        self.assertEqual([(r["ruleId"], rules[r["ruleIndex"]]["name"], r["level"],
                           r["locations"][0]["physicalLocation"]["region"]["startLine"],
                           r["properties"]["section"]) for r in run_["results"]],
                         [("CAMSETUP027", "CodeNotInInf", "warning", 3, "Camera1"),
                          ("CAMSETUP030", "CatalogMissing", "warning", 2, "Camera1"),
                          ("CAMSETUP031", "NotAnMsi", "warning", 5, "Camera2")])
        self.assertIn('code "0B02": no hardware ID of the INF "Driver\\cam.inf" is '
                      '"USB\\VID_5A3D&PID_0B02"', run_["results"][0]["message"]["text"])
        for r in run_["results"]:
            self.assertEqual(r["locations"][0]["physicalLocation"]["artifactLocation"],
                             {"uri": "drivers/setup.ini", "uriBaseId": "%SRCROOT%"})
        out = self.root / "drivers.sarif"
        out.write_text(result.stdout)
        self.assert_code_scanning_takes(out)

    def test_validator_reports_an_invalid_log(self):
        # So that the validation above can fail: a result without its
        # required message is an error to it, one without a region a
        # SARIF2017 warning.
        pkg = package(self.root / "w", "[Camera1]\nPath=a.exe\nPID=abcd\n")
        sarif = json.loads(run(pkg, "--sarif").stdout)
        without_message = json.loads(json.dumps(sarif))
        del without_message["runs"][0]["results"][0]["message"]
        broken = self.root / "broken.sarif"
        broken.write_text(json.dumps(without_message, indent=2))
        errors = self.validate(broken)
        self.assertEqual(len(errors), 1, errors)
        self.assertIn("The required property 'message' is missing", errors[0])

        del sarif["runs"][0]["results"][1]["locations"][0]["physicalLocation"]["region"]
        no_region = self.root / "no-region.sarif"
        no_region.write_text(json.dumps(sarif, indent=2))
        with self.assertRaises(AssertionError) as raised:
            self.assert_code_scanning_takes(no_region)
        self.assertIn("results[1].locations[0].physicalLocation: The 'region' property is absent",
                      str(raised.exception))


if __name__ == "__main__":
    CHECK = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
