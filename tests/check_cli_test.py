#!/usr/bin/env python3
"""camsetup-check as a program: usage errors, the JSON report parsed back,
--present over a made-up /sys/bus/usb/devices, and the exit statuses.

usage: check_cli_test.py CAMSETUP_CHECK
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

CHECK = None


def run(*args, env=None):
    return subprocess.run([CHECK, *args], capture_output=True, text=True,
                          env={**os.environ, **(env or {})})


def package(root: Path, ini: str, installers=()):
    root.mkdir(parents=True, exist_ok=True)
    (root / "setup.ini").write_text(ini)
    for installer in installers:
        path = root / installer
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("installer")
    return str(root)


TWO_MODELS = "[Camera1]\nPath=A\\setup.exe\nPID=ABCD\n[Camera2]\nPath=B\\setup.exe\nPID=0100\n"


class CheckCli(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_usage_errors(self):
        for args in ([], ["--json"], ["a", "b"], ["pkg", "--bogus"], ["pkg", "--hwid"],
                     ["pkg", "--present", "--hwid", "X"]):
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
        self.assertEqual([(m["section"], m["path"], m["exists"], m["codes"])
                          for m in report["models"]],
                         [("Camera1", "A\\setup.exe", True, ["ABCD"]),
                          ("Camera2", "B\\setup.exe", False, ["0100"])])
        self.assertEqual(report["selected"], {"section": "Camera2", "path": "B\\setup.exe"})
        self.assertEqual(report["devices"][0],
                         {"hardware_id": "USB\\VID_5A3D&PID_ABCD&REV_0100", "vendor": True,
                          "section": "Camera2", "code": "0100", "index": 26, "field": "REV"})
        self.assertEqual(report["devices"][1]["vendor"], False)
        self.assertIsNone(report["devices"][1]["section"])
        severities = {(f["severity"], f["section"]) for f in report["findings"]}
        self.assertEqual(severities, {("warning", "Camera2")})

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
        self.assertFalse(json.loads(result.stdout)["readable"])

    def test_non_utf8_text_stays_valid_json(self):
        pkg = package(self.root / "latin", "", [])
        Path(pkg, "setup.ini").write_bytes(b"[Camera1]\nPath=caf\xe9.exe\nPID=ABCD\n")
        report = json.loads(run(pkg, "--json").stdout)
        self.assertEqual(report["models"][0]["path"], "caf\u00e9.exe")

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


if __name__ == "__main__":
    CHECK = sys.argv.pop(1)
    unittest.main(verbosity=2)
