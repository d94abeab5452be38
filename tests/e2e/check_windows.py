#!/usr/bin/env python3
"""camsetup-check.exe under Wine: --present through the real device-setup
API over simulated devices, and the Linux build of the same checker on the
same packages, report for report (JSON and text): devices given with
--hwid, a package of traps in code page 1252, one in code page 932, one
with a byte-order mark, an ExitCode value and names in another case than
on disk, one that turns exit codes on, and one with a signed launcher and
installers signed by its publisher, another one, nobody, or changed after
signing (WinVerifyTrust against OpenSSL). The names of the code page 932
package also show correctly in a console.

usage: check_windows.py --check EXE --linux-check EXE --driver EXE --standin EXE --work DIR
"""
import argparse
import json
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import time
from pathlib import Path

from winelab import STANDIN, Lab, ini

FOLDER = object()  # a file entry: a folder
SIGNING = Path(__file__).resolve().parent.parent / "signing"


def signed_file(name, changed=False):
    """A PE image of tests/signing; `changed`: one byte of its .data
    section changed after signing."""
    data = bytearray((SIGNING / name).read_bytes())
    if changed:
        data[0x400] ^= 0x01
    return bytes(data)


PACKAGE = {
    "pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD,abcd"), (2, "Cam 2\\setup.exe", "0100"),
                         (3, "Cam3\\setup.exe", None), (5, "Cam5\\setup.exe", "EEEE")),
    "pkg/Cam1/setup.exe": STANDIN,
    "pkg/Cam 2/setup.exe": STANDIN,
}
DEVICES = ["USB\\VID_1234&PID_ABCD", "USB\\VID_5A3D&PID_ABCD&REV_0100", "usb\\vid_5a3d&pid_abcd"]

# Packages by name: (code page, files by their Windows path in the package).
# No lone CR among them: Wine's profile reader ends a line there, Windows'
# and the Linux reader do not (the unit tests cover that trap).
REPORTS = {
    "traps": (1252, {
        "setup.ini": b"; the checker's traps\r\n\r\n"
                     b"[Camera1]\r\n; with switches\r\nPath=Cam1\\setup.exe /S /v\"/qn\"\r\n"
                     b"PID=ABCD\r\n\r\n"
                     b"[Camera2]\r\nPath=Tools\r\nPID=0B02\r\n"
                     b"[Camera3]\r\nPath=..\\outside.exe\r\nPID=0B03\r\n"
                     b"[Camera4]\r\nPath=C:\\setup.exe\r\nPID=0B04\r\n"
                     b"[Camera5]\r\nPath=\\\\server\\share\\setup.exe\r\nPID=0B05\r\n"
                     b"[Camera6]\r\nPath=Caf\xe9\\setup.exe\r\nPID=AB\x81D\r\n",
        "Cam1\\setup.exe": STANDIN,
        "Tools": FOLDER,
        "Caf\u00e9\\setup.exe": STANDIN,
    }),
    # A byte-order mark, an ExitCode that keeps exit code 0, and names in
    # another case than on disk.
    "marked": (1252, {
        "setup.ini": b"\xef\xbb\xbf[Launcher]\r\nExitCode=Yes\r\n"
                     b"[Camera1]\r\nPath=CAM1\\Setup.EXE /S\r\nPID=ABCD\r\n"
                     b"[Camera2]\r\nPath=cam2\\setup /q\r\nPID=0B01\r\n",
        "Cam1\\setup.exe": STANDIN,
        "Cam2\\SETUP.exe": STANDIN,
    }),
    "installer": (1252, {
        "setup.ini": b"[launcher]\r\nexitcode=INSTALLER\r\n[Camera1]\r\nPath=a.exe\r\nPID=ABCD\r\n",
        "a.exe": STANDIN,
    }),
    "signed": (1252, {
        "setup.ini": b"[Camera1]\r\nPath=Same\\setup.exe\r\nPID=0A01\r\n"
                     b"[Camera2]\r\nPath=Other\\setup.exe\r\nPID=0B01\r\n"
                     b"[Camera3]\r\nPath=Unsigned\\setup.exe\r\nPID=0C01\r\n"
                     b"[Camera4]\r\nPath=Changed\\setup.exe\r\nPID=0D01\r\n",
        "camsetup.exe": signed_file("pe32-oskendal-sha256.exe"),
        "Same\\setup.exe": signed_file("pe32-oskendal-renewed-sha256.exe"),
        "Other\\setup.exe": signed_file("pe32-mueller-sha256.exe"),
        "Unsigned\\setup.exe": signed_file("pe32.exe"),
        "Changed\\setup.exe": signed_file("pe32-oskendal-sha256.exe", changed=True),
    }),
    # 0x80 is no character in code page 932 and stays as it is through the
    # profile read; Wine's reader turns a lead byte with no trail byte (0x81
    # before ".") into the default character, taking the "." with it.
    "japanese": (932, {
        "setup.ini": ("[Camera1]\r\nPath=\u30ab\u30e1\u30e9\\setup.exe /S\r\nPID=ABCD\r\n"
                      "[Camera2]\r\nPath=\u30bd\u30d5\u30c8\\setup.exe\r\nPID=0B01\r\n"
                      "[Camera3]\r\nPath=x").encode("cp932") + b"\x80.exe\r\nPID=0B02\r\n",
        "\u30ab\u30e1\u30e9\\setup.exe": STANDIN,
        "\u30bd\u30d5\u30c8\\setup.exe": STANDIN,
    }),
}


def comparable(report):
    """What does not depend on where the package lies."""
    folder = report.get("folder", "")

    def here(text):
        return text.replace(folder, "<folder>\\") if folder else text
    return {
        "code_page": report.get("code_page"),
        "accepted": report["accepted"],
        "models": [(m["section"], m["line"], m["path"], m["program"], m["switches"], m["exists"],
                    m["codes"], signature(m.get("signature")), m.get("refused"))
                   for m in report["models"]],
        "launcher": signature(report["launcher"]["signature"]),
        "findings": [(f["severity"], f["section"], f["line"], here(f["message"]))
                     for f in report["findings"]],
        "devices": report.get("devices"),
        "selected": report.get("selected"),
        "exit_code_mode": report["exit_code_mode"],
        "exit_status": report["exit_status"],
    }


def signature(found):
    """A signature's state and, where it is valid, its signer, whoever
    verified it: WinVerifyTrust names no signer of a signature it rejects."""
    if not found:
        return None
    return (found["state"], found["signer"] if found["state"] == "valid" else None)


# The signed package: what WinVerifyTrust must make of each installer (its
# state, and whether the signed launcher refuses it).
SIGNED_STATES = {"launcher": ("valid", False), "Camera1": ("valid", False),
                 "Camera2": ("valid", True), "Camera3": ("unsigned", True),
                 "Camera4": ("changed-after-signing", True)}


def signed_problems(report):
    launcher = report["launcher"]["signature"] or {}
    found = {"launcher": (launcher.get("state"), False)}
    for m in report["models"]:
        found[m["section"]] = ((m["signature"] or {}).get("state"), m["refused"] is not None)
    problems = [] if found == SIGNED_STATES else ["signed: WinVerifyTrust gave %r" % found]
    if launcher.get("verified_by") != "WinVerifyTrust":
        problems.append("signed: verified by %r" % launcher.get("verified_by"))
    return problems


def comparable_text(text, report):
    """The text report with the package's paths in place of where it lies,
    and Windows' line ends (the console build writes text) as LF."""
    text = re.sub(r' \(signer "[^"]*"\)', "", text)
    return (text.replace("\r\n", "\n").replace(report["setup_ini"], "<setup.ini>")
                .replace(" [WinVerifyTrust]", "").replace(" [OpenSSL]", "")
                .replace(report["folder"], "<folder>\\")
                .replace(report["package"], "<package>"))


def lay_out(root: Path, files, code_page, standin, windows):
    """The package under `root`: for Wine, with the names Wine shows as those
    Windows paths; for Linux, with the code page's bytes, as the Linux
    checker looks them up."""
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    for rel, content in files.items():
        if windows:
            target = root / rel.replace("\\", "/")
        else:
            # Part by part: a trail byte 0x5C (ソ in code page 932) is no
            # separator.
            name = b"/".join(part.encode("cp%d" % code_page) for part in rel.split("\\"))
            target = root / os.fsdecode(name)
        if content is FOLDER:
            target.mkdir(parents=True, exist_ok=True)
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        if content is STANDIN:
            shutil.copyfile(standin, target)
        else:
            target.write_bytes(content)


def compare(name, windows, linux, problems):
    for key in windows:
        if windows[key] != linux[key]:
            problems.append("%s: %s differs:\n      windows %r\n      linux   %r"
                            % (name, key, windows[key], linux[key]))


def linux_run(check, *args):
    result = subprocess.run([str(check), *args], capture_output=True)
    return result.stdout.decode("utf-8")


def console_run(lab, argv, japanese, timeout=60):
    """What a program writes to a console: Wine gives it one when its
    standard output is a terminal, here a pseudo-terminal read until the
    program ends. Wine's own output goes to the log."""
    master, slave = pty.openpty()
    with open(lab.logs / "checker.log", "ab") as log:
        proc = subprocess.Popen(argv, env=lab.env(japanese), stdin=slave, stdout=slave,
                                stderr=log)
    os.close(slave)
    out = b""
    deadline = time.monotonic() + timeout
    try:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    data = os.read(master, 65536)
                except OSError:  # the terminal closed
                    break
                if not data:
                    break
                out += data
            elif proc.poll() is not None:
                break
        proc.wait(timeout=10)
    finally:
        os.close(master)
    # The console's cursor and erase sequences, and its line ends, are not text.
    text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", out.decode("utf-8", "replace"))
    return text.replace("\r", "")


def main():
    parser = argparse.ArgumentParser()
    for name in ("check", "linux-check", "driver", "standin", "work"):
        parser.add_argument("--" + name, required=True, type=Path)
    args = parser.parse_args()
    if not args.linux_check.exists():
        print("SKIPPED: the Linux camsetup-check is not built (%s); build the host preset first"
              % args.linux_check)
        return 77
    problems = []
    with Lab(args.work, args.driver, args.standin) as lab:
        # Lay out the package and register the devices; the program run is
        # the stand-in itself.
        devices = [("E2E\\DEV_%02d\\1" % i, [hwid]) for i, hwid in enumerate(DEVICES)]
        lab.run("checker", PACKAGE, args.standin, "tools/standin.exe",
                '"{root}\\tools\\standin.exe"', "{root}", devices=devices)
        root = lab.prefix / "drive_c" / "e2e" / "checker"
        package_win = lab.windows_path(root / "pkg")
        check = lab.windows_path(root / "tools" / "camsetup-check.exe")
        (root / "tools" / "camsetup-check.exe").write_bytes(args.check.read_bytes())

        out = root / "present.json"
        status = lab.wine(["wine", check, package_win, "--present", "--json"], "checker.log",
                          stdout=out)
        present = json.loads(out.read_text(encoding="utf-8"))
        if [d["hardware_id"] for d in present["devices"]] != DEVICES:
            problems.append("--present saw %r" % [d["hardware_id"] for d in present["devices"]])
        if present["selected"] != {"section": "Camera1", "path": "Cam1\\setup.exe",
                                   "program": "Cam1\\setup.exe", "switches": ""}:
            problems.append("--present selected %r" % present["selected"])
        if status != present["exit_status"]:
            problems.append("exit status %d, report says %d" % (status, present["exit_status"]))

        hwids = [arg for hwid in DEVICES for arg in ("--hwid", hwid)]
        out = root / "hwid.json"
        lab.wine(["wine", check, package_win, "--json", *hwids], "checker.log", stdout=out)
        windows = comparable(json.loads(out.read_text(encoding="utf-8")))
        linux = comparable(json.loads(linux_run(args.linux_check, root / "pkg", "--json", *hwids)))
        compare("--hwid", windows, linux, problems)

        # Whole reports, on packages in the system's code page.
        for name, (code_page, files) in REPORTS.items():
            japanese = code_page == 932
            win_root = root / name
            lay_out(win_root, files, code_page, args.standin, windows=True)
            linux_root = args.work / "linux-packages" / name
            lay_out(linux_root, files, code_page, args.standin, windows=False)
            outputs = {}
            for form in ("json", "text"):
                out = root / (name + "." + form)
                lab.wine(["wine", check, lab.windows_path(win_root)]
                         + (["--json"] if form == "json" else []),
                         "checker.log", japanese=japanese, stdout=out)
                try:
                    outputs[form] = out.read_bytes().decode("utf-8")
                except UnicodeDecodeError as error:
                    problems.append("%s: the %s report is not UTF-8: %s" % (name, form, error))
                    outputs[form] = ""
            win_report = json.loads(outputs["json"])
            if win_report["code_page"] != code_page:
                problems.append("%s: Wine's ANSI code page is %d, not %d"
                                % (name, win_report["code_page"], code_page))
                continue
            if name == "signed":
                problems += signed_problems(win_report)
            linux_args = [linux_root, "--code-page", str(code_page)]
            linux_report = json.loads(linux_run(args.linux_check, *linux_args, "--json"))
            compare(name, comparable(win_report), comparable(linux_report), problems)
            win_text = comparable_text(outputs["text"], win_report)
            linux_text = comparable_text(linux_run(args.linux_check, *linux_args), linux_report)
            if win_text != linux_text:
                problems.append("%s: the text reports differ:\n--- windows\n%s--- linux\n%s"
                                % (name, win_text, linux_text))
            (args.work / (name + "-windows.txt")).write_text(outputs["text"], encoding="utf-8")
            if japanese:
                # Written to a console as UTF-16, the names show as they are;
                # UTF-8 bytes would show as code page 932 characters.
                shown = console_run(lab, ["wine", check, lab.windows_path(win_root)], japanese)
                for model in win_report["models"][:2]:
                    if "): " + model["program"] + "\n" not in shown:
                        problems.append("%s: the console does not show %r:\n%s"
                                        % (name, model["program"], shown))
    for p in problems:
        print("FAIL " + p)
    print("camsetup-check.exe: %s" % ("ok" if not problems else "%d problem(s)" % len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
