#!/usr/bin/env python3
"""Runs camsetup.exe under Wine against a table of scenarios.

Each scenario lays out a package folder in a private Wine prefix (setup.ini,
stand-in installers, decoys), simulates present USB devices in the prefix's
registry, and has the test driver start the launcher with a given command
line and current directory. The driver records the debugger output, the
message boxes (and dismisses them) and the exit code; the stand-in
installers record how they were started. Everything is compared with the
scenario's expectations.

MSI packages are real ones, built with wixl from tests/e2e/msi/ for each run
(a new product code at every build, so that each installs afresh in a prefix
that keeps earlier ones) and installed by Wine's own msiexec. Where wixl is
missing, as in the x86 virtual machine, the packages built beforehand by
`--build-msi DIR` on a machine with wixl are taken from `--msi DIR`.

Signed launchers and installers are copies of the given ones, signed with
throwaway certificates (tests/e2e/signers.py) for each run. Where openssl or
osslsigncode is missing, as in the x86 virtual machine, those signed
beforehand by `--build-signed DIR` from the same launcher, stand-in and MSI
packages are taken from `--signed DIR`.

usage: run_e2e.py --launcher EXE --driver EXE --standin EXE --work DIR
                  [--arch x64|x86] [--msi DIR] [--signed DIR] [--only NAME]... [--show]
       run_e2e.py --build-msi DIR
       run_e2e.py --build-signed DIR --launcher EXE --standin EXE --msi DIR
Exit status 0 when every scenario passed, 1 otherwise, 77 when this Wine
cannot run the launcher's architecture.
"""
import argparse
import dataclasses
import hashlib
import json
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
from pathlib import Path

import signers
from winelab import MARKER, STANDIN, Lab, ini, wine32_problem

SKIP = 77
CAPTION = "Error info"
NOT_FOUND = "Velmora Webcam Device(Oskendal) was not found!"
UNSEEN = "Error info: "  # a box's text in the debugger output, where nobody sees it
CODE_PAGES = {None: 1252, "ja_JP.UTF-8": 932, "en_US.UTF-8": 1252, "hi_IN.UTF-8": 65001}


@dataclasses.dataclass
class Scenario:
    name: str
    files: dict  # path in the scenario folder (/-separated) -> bytes or STANDIN
    expect_debug: list
    expect_boxes: list
    expect_started: list  # (installer path in the scenario folder, command line, cwd)
    devices: list = dataclasses.field(default_factory=list)  # (instance id, [ids] or None)
    launcher: str = "pkg/camsetup.exe"
    command_line: str = '"{root}\\pkg\\camsetup.exe"'
    cwd: str = "{root}\\pkg"
    japanese: bool = False
    dirs: list = dataclasses.field(default_factory=list)
    locale: str = None   # one of winelab.LOCALES, for its ANSI code page
    station: str = None  # run on a new window station, where nobody sees a box
    expect_exit: int = 0  # the launcher's exit code
    expect_events: list = dataclasses.field(default_factory=list)  # (type, id, text) written
    system_files: dict = dataclasses.field(default_factory=dict)  # path under drive_c -> content
    app_version: str = None  # the Windows version Wine reports to the launcher ("win7")
    # For a scenario with an MSI package: whether the package's file must be
    # installed after the run (True) or must not (False).
    expect_installed: bool = None
    timeout: int = 60  # seconds for the launcher and what it starts
    # The launcher run: "unsigned" (as built), "signed" (by signers.PUBLISHER)
    # or "tampered" (signed, then one byte changed).
    launcher_signature: str = "unsigned"


def dev(n, *ids):
    return ("E2E\\DEV_%02d\\1" % n, list(ids))


TWO_MODELS = {
    "pkg/setup.ini": ini((1, "Cam1\\setup.exe", "1111"), (2, "Cam2\\setup.exe", "ABCD")),
    "pkg/Cam1/setup.exe": STANDIN,
    "pkg/Cam2/setup.exe": STANDIN,
}
CAM2 = '"{root}\\pkg\\Cam2\\setup.exe"'
TAIL_254 = "/" + "x" * 253
TAIL_255 = "/" + "x" * 254

SCENARIOS = [
    # The typical run: two models, the second one's code in the first
    # hardware ID, one argument; the installer ends with an error of its own.
    Scenario("typical_run", TWO_MODELS,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD&REV_0100", "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=[CAM2 + " /S"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " /S", "{root}\\pkg")]),
    Scenario("no_device_no_arguments", TWO_MODELS,
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    Scenario("no_device_with_arguments", TWO_MODELS,
             command_line='"{root}\\pkg\\camsetup.exe" /S  "/D=C:\\a b"',
             expect_debug=[' /S  "/D=C:\\a b"'], expect_boxes=[NOT_FOUND], expect_started=[]),
    Scenario("other_vendor_only", TWO_MODELS,
             devices=[dev(0, "USB\\VID_1234&PID_ABCD"), dev(1, "USB\\VID_5A3D&PID_9999")],
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    Scenario("match_without_arguments", TWO_MODELS,
             devices=[dev(0, "USB\\VID_5A3D&PID_1111&REV_0001")],
             expect_debug=['"{root}\\pkg\\Cam1\\setup.exe"'], expect_boxes=[],
             expect_started=[("pkg/Cam1/setup.exe", '"{root}\\pkg\\Cam1\\setup.exe"',
                              "{root}\\pkg")]),
    Scenario("later_device_wins_unreadable_skipped", TWO_MODELS,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD"), ("E2E\\DEV_01\\1", None),
                      dev(2, "usb\\vid_5a3d&pid_1111")],
             expect_debug=['"{root}\\pkg\\Cam1\\setup.exe"'], expect_boxes=[],
             expect_started=[("pkg/Cam1/setup.exe", '"{root}\\pkg\\Cam1\\setup.exe"',
                              "{root}\\pkg")]),
    Scenario("current_directory_handed_on", TWO_MODELS, dirs=["elsewhere"],
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" -q', cwd="{root}\\elsewhere",
             expect_debug=[CAM2 + " -q"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " -q", "{root}\\elsewhere")]),
    Scenario("missing_installer",
             {"pkg/setup.ini": ini((1, "Cam1\\missing.exe", "ABCD"))},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=['"{root}\\pkg\\Cam1\\missing.exe" /S'],
             expect_boxes=["Run driver insatll fail"], expect_started=[]),
    Scenario("overlong_path",
             {"pkg/setup.ini": ini((1, "p" * 251, "ABCD"), (2, "Cam2\\setup.exe", "ABCD")),
              "pkg/Cam2/setup.exe": STANDIN},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[], expect_boxes=["Camera1 Path string too long > 250 character"],
             expect_started=[]),
    Scenario("overlong_pid",
             {"pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD"),
                                   (2, "Cam2\\setup.exe", "A" * 252)),
              "pkg/Cam1/setup.exe": STANDIN},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[], expect_boxes=["Camera2 PIDS string too long > 250 character"],
             expect_started=[]),
    Scenario("tail_of_254_bytes", TWO_MODELS, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" ' + TAIL_254,
             expect_debug=[CAM2 + " " + TAIL_254], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " " + TAIL_254, "{root}\\pkg")]),
    Scenario("tail_of_255_bytes_dropped", TWO_MODELS, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" ' + TAIL_255,
             expect_debug=[CAM2], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2, "{root}\\pkg")]),
    # Blanks in the launcher's own path and in the install path; programs
    # planted at every prefix of the install path must not run.
    Scenario("blanks_in_paths_with_decoys",
             {"Vendor Pkg/setup.ini": ini((1, "Model A\\set up.exe", "ABCD")),
              "Vendor Pkg/Model A/set up.exe": STANDIN,
              "Vendor.exe": STANDIN,
              "Vendor Pkg/Model.exe": STANDIN,
              "Vendor Pkg/Model A/set.exe": STANDIN},
             launcher="Vendor Pkg/camsetup.exe",
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\Vendor Pkg\\camsetup.exe" /S',
             cwd="{root}\\Vendor Pkg",
             expect_debug=['"{root}\\Vendor Pkg\\Model A\\set up.exe" /S'], expect_boxes=[],
             expect_started=[("Vendor Pkg/Model A/set up.exe",
                              '"{root}\\Vendor Pkg\\Model A\\set up.exe" /S',
                              "{root}\\Vendor Pkg")]),
    # Code page 932: ソ is 0x83 0x5C, so a byte search for the last backslash
    # would take the launcher's folder to be "...\pkg\ソ" cut in half.
    Scenario("japanese_launcher_name",
             {"pkg/setup.ini": ini((1, "カメラ\\setup.exe", "ABCD")),
              "pkg/カメラ/setup.exe": STANDIN,
              "pkg/ソ/setup.ini": ini((1, "decoy.exe", "ABCD")),
              "pkg/ソ/decoy.exe": STANDIN},
             launcher="pkg/ソフト.exe", japanese=True,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\ソフト.exe" /S',
             expect_debug=['"{root}\\pkg\\カメラ\\setup.exe" /S'], expect_boxes=[],
             expect_started=[("pkg/カメラ/setup.exe", '"{root}\\pkg\\カメラ\\setup.exe" /S',
                              "{root}\\pkg")]),
    # ヂ is 0x83 0x61 and ア is 0x83 0x41: upper-casing or searching byte by
    # byte would find ABCD in both hardware IDs.
    Scenario("japanese_hardware_ids_no_false_match",
             {"pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD"), (2, "Cam2\\setup.exe", "ＡＢ")),
              "pkg/Cam1/setup.exe": STANDIN, "pkg/Cam2/setup.exe": STANDIN},
             japanese=True,
             devices=[dev(0, "USB\\VID_5A3D&PID_ヂBCD"), dev(1, "USB\\VID_5A3D&PID_アBCD")],
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    # Full-width letters are upper-cased as whole characters.
    Scenario("japanese_full_width_upper_case",
             {"pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD"), (2, "Cam2\\setup.exe", "ＡＢ")),
              "pkg/Cam1/setup.exe": STANDIN, "pkg/Cam2/setup.exe": STANDIN},
             japanese=True,
             devices=[dev(0, "USB\\VID_5A3D&PID_ａｂ")],
             expect_debug=[CAM2], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2, "{root}\\pkg")]),
]

# Switches written into Path: the program is found within the package, is
# quoted, and the switches follow it. The folder's own blanks are no place to
# cut: the decoy at its prefix must not run.
SCENARIOS += [
    Scenario("switches_in_path_folder_with_blanks",
             {"My Drivers/setup.ini": ini((1, "ModelA\\setup.exe /quiet /norestart", "ABCD")),
              "My Drivers/ModelA/setup.exe": STANDIN,
              "My.exe": STANDIN},
             launcher="My Drivers/camsetup.exe",
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\My Drivers\\camsetup.exe" /S', cwd="{root}\\My Drivers",
             expect_debug=['"{root}\\My Drivers\\ModelA\\setup.exe" /quiet /norestart /S'],
             expect_boxes=[],
             expect_started=[("My Drivers/ModelA/setup.exe",
                              '"{root}\\My Drivers\\ModelA\\setup.exe" /quiet /norestart /S',
                              "{root}\\My Drivers")]),
    Scenario("switches_program_without_extension",
             {"pkg/setup.ini": ini((1, "Model B\\setup /silent", "ABCD")),
              "pkg/Model B/setup.exe": STANDIN},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\Model B\\setup.exe" /silent'], expect_boxes=[],
             expect_started=[("pkg/Model B/setup.exe",
                              '"{root}\\pkg\\Model B\\setup.exe" /silent', "{root}\\pkg")]),
    # Nothing found: the command names the whole path as looked for ("quiet"
    # has no extension), and the start fails.
    Scenario("switches_program_missing",
             {"pkg/setup.ini": ini((1, "ModelA\\setup.exe /quiet", "ABCD"))},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=['"{root}\\pkg\\ModelA\\setup.exe /quiet.exe" /S'],
             expect_boxes=["Run driver insatll fail"], expect_started=[]),
]

# A name without an extension starts the ".exe" that was found, whatever else
# of the bare name lies beside it: the system would try a quoted bare name as
# written first, and fail on a folder (5) or a plain file (193).
SCENARIOS += [
    Scenario("bare_name_beside_program_is_%s" % kind,
             {"pkg/setup.ini": ini((1, "ModelA\\setup /quiet", "ABCD")),
              "pkg/ModelA/setup.exe": STANDIN, **beside},
             dirs=dirs, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\ModelA\\setup.exe" /quiet'], expect_boxes=[],
             expect_started=[("pkg/ModelA/setup.exe", '"{root}\\pkg\\ModelA\\setup.exe" /quiet',
                              "{root}\\pkg")])
    for kind, beside, dirs in (("folder", {}, ["pkg/ModelA/setup"]),
                               ("plain_file", {"pkg/ModelA/setup": b"not a program"}, []))
] + [
    # Without blanks nothing is looked up, and the name gets ".exe" all the same.
    Scenario("bare_name_without_switches_beside_folder",
             {"pkg/setup.ini": ini((1, "ModelA\\setup", "ABCD")),
              "pkg/ModelA/setup.exe": STANDIN},
             dirs=["pkg/ModelA/setup"], devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\ModelA\\setup.exe"'], expect_boxes=[],
             expect_started=[("pkg/ModelA/setup.exe", '"{root}\\pkg\\ModelA\\setup.exe"',
                              "{root}\\pkg")]),
]

# On a window station that nobody sees (as under a deployment agent or a
# service), no box is shown: its text goes to the debugger output and the run
# ends by itself.
STATION = "camsetup-unseen"
SCENARIOS += [
    Scenario("unseen_camera_found", TWO_MODELS, station=STATION,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=[CAM2 + " /S"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " /S", "{root}\\pkg")]),
    Scenario("unseen_not_found", TWO_MODELS, station=STATION,
             expect_debug=["", UNSEEN + NOT_FOUND], expect_boxes=[], expect_started=[],
             expect_events=[(2, 1008, NOT_FOUND)]),
    Scenario("unseen_overlong_path",
             {"pkg/setup.ini": ini((1, "p" * 251, "ABCD"))}, station=STATION,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[UNSEEN + "Camera1 Path string too long > 250 character"],
             expect_boxes=[], expect_started=[],
             expect_events=[(1, 1003, "Camera1 Path string too long > 250 character")]),
    Scenario("unseen_start_failure",
             {"pkg/setup.ini": ini((1, "Cam1\\missing.exe", "ABCD"))}, station=STATION,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\Cam1\\missing.exe"', UNSEEN + "Run driver insatll fail"],
             expect_boxes=[], expect_started=[],
             expect_events=[(1, 1009, "Run driver insatll fail")]),
]

# Exit codes that tell the outcome, where setup.ini asks for them; and the
# event-log record of each message that nobody sees. The stand-in installer
# ends with the code in "<its path>.exitcode".
ASK = b"[Launcher]\r\nExitCode=Installer\r\n"
WARNING, ERROR = 2, 1
NOT_FOUND_EVENT = (WARNING, 1008, NOT_FOUND)
START_FAILED_EVENT = (ERROR, 1009, "Run driver insatll fail")


def ending_with(code, ask=True, **more):
    files = {**TWO_MODELS, "pkg/Cam2/setup.exe.exitcode": str(code).encode(), **more}
    if ask:
        files["pkg/setup.ini"] = ASK + files["pkg/setup.ini"]
    return files


MISSING = {"pkg/setup.ini": ASK + ini((1, "Cam1\\missing.exe", "ABCD"))}
SCENARIOS += [
    Scenario("exit_code_not_asked_reboot_gives_0", ending_with(3010, ask=False),
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[CAM2], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2, "{root}\\pkg")]),
] + [
    Scenario("exit_code_installer_%d" % code, ending_with(code),
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[CAM2], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2, "{root}\\pkg")], expect_exit=code)
    for code in (0, 3010, 1603)
] + [
    Scenario("exit_code_not_found", ending_with(0),
             devices=[dev(0, "USB\\VID_5A3D&PID_9999")],
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[], expect_exit=1167),
    Scenario("exit_code_overlong_path",
             {"pkg/setup.ini": ASK + ini((1, "p" * 251, "ABCD"))},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[], expect_boxes=["Camera1 Path string too long > 250 character"],
             expect_started=[], expect_exit=1610),
    Scenario("exit_code_missing_installer", MISSING,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\Cam1\\missing.exe"'],
             expect_boxes=["Run driver insatll fail"], expect_started=[], expect_exit=2),
    Scenario("unseen_exit_code_not_found", ending_with(0), station=STATION,
             expect_debug=["", UNSEEN + NOT_FOUND], expect_boxes=[], expect_started=[],
             expect_exit=1167, expect_events=[NOT_FOUND_EVENT]),
    Scenario("unseen_exit_code_missing_installer", MISSING, station=STATION,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\Cam1\\missing.exe"', UNSEEN + "Run driver insatll fail"],
             expect_boxes=[], expect_started=[], expect_exit=2,
             expect_events=[START_FAILED_EVENT]),
]

# A plain file named like a prefix of the program, without an extension, is
# not the program: the search looks for Model.exe there, and goes on.
SCENARIOS += [
    Scenario("bare_name_at_prefix_not_taken",
             {"pkg/setup.ini": ini((1, "Model C\\setup.exe /q", "ABCD")),
              "pkg/Model": b"not a program",
              "pkg/Model C/setup.exe": STANDIN},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\Model C\\setup.exe" /q'], expect_boxes=[],
             expect_started=[("pkg/Model C/setup.exe", '"{root}\\pkg\\Model C\\setup.exe" /q',
                              "{root}\\pkg")]),
]

# Package folders that the ANSI code page cannot name. Under code page 1252
# the launcher takes the folder's short form, which names the real folder;
# a best-fit form ("Pawel" for "Paweł") would name the decoy beside it. Wine
# makes short names of every long one, so the root is shortened too.
def folder_package(folder, cam="Cam"):
    return {folder + "/pkg/setup.ini": ini((1, cam + "\\setup.exe", "ABCD")),
            folder + "/pkg/" + cam + "/setup.exe": STANDIN}


SHORT_COMMAND = r're:"C:\\e2e\\[!-~]+\\[!-~]+\\pkg\\Cam\\setup\.exe" /S'
SHORT_COMMAND = SHORT_COMMAND.replace("[!-~]", r'[^\\"?\x80-\uffff]')


def short_path_scenario(name, folder, files=None):
    return Scenario(name, files or folder_package(folder), locale="en_US.UTF-8",
                    launcher=folder + "/pkg/camsetup.exe",
                    devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
                    command_line='"{root}\\' + folder + '\\pkg\\camsetup.exe" /S', cwd="{root}",
                    expect_debug=[SHORT_COMMAND], expect_boxes=[],
                    expect_started=[(folder + "/pkg/Cam/setup.exe", SHORT_COMMAND, "{root}")])


SCENARIOS += [
    short_path_scenario("cp1252_cyrillic_folder", "Иван"),
    short_path_scenario("cp1252_cjk_folder", "相机"),
    short_path_scenario("cp1252_best_fit_folder_with_decoy", "Paweł",
                        {**folder_package("Paweł"), **folder_package("Pawel", "Cam")}),
    # Only the folder must be named: a launcher renamed beyond code page 1252
    # keeps its folder's long form (a short form of the whole path would
    # shorten the root too).
    Scenario("cp1252_chinese_launcher_name", TWO_MODELS, locale="en_US.UTF-8",
             launcher="pkg/驱动安装.exe", devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\驱动安装.exe" /S',
             expect_debug=[CAM2 + " /S"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " /S", "{root}\\pkg")]),
    # Code page 65001 names every folder: the long path is used.
    Scenario("cp65001_cyrillic_folder", folder_package("Иван"), locale="hi_IN.UTF-8",
             launcher="Иван/pkg/camsetup.exe", devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\Иван\\pkg\\camsetup.exe" /S', cwd="{root}",
             expect_debug=['"{root}\\Иван\\pkg\\Cam\\setup.exe" /S'], expect_boxes=[],
             expect_started=[("Иван/pkg/Cam/setup.exe",
                              '"{root}\\Иван\\pkg\\Cam\\setup.exe" /S', "{root}")]),
]

# DLLs that a launcher, or the system DLLs it loads, would look for in the
# program's folder: planted there, none may be loaded.
PLANTED = {"pkg/%s.dll" % name: MARKER
           for name in ("setupapi", "user32", "version", "uxtheme", "cfgmgr32", "imm32",
                        "comctl32", "dwmapi", "msimg32", "winmm", "usp10", "gdi32",
                        "advapi32", "sechost", "win32u")}
SCENARIOS += [
    Scenario("planted_dlls_camera_found", {**TWO_MODELS, **PLANTED},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=[CAM2 + " /S"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " /S", "{root}\\pkg")]),
    Scenario("planted_dlls_not_found", {**TWO_MODELS, **PLANTED},
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    # Where nobody sees the box, the event log's library is loaded too.
    Scenario("planted_dlls_unseen_not_found", {**TWO_MODELS, **PLANTED}, station=STATION,
             expect_debug=["", UNSEEN + NOT_FOUND], expect_boxes=[], expect_started=[],
             expect_events=[NOT_FOUND_EVENT]),
]


# Real installers run by the system's own tools. {system} is the system
# folder that GetSystemDirectoryA names, {native} the folder of the native
# pnputil: System32 for the 64-bit launcher, Sysnative for the 32-bit one,
# which runs under WOW64 in Wine's 64-bit prefix.
SYSTEM_FOLDER = "C:\\windows\\system32"
NATIVE_FOLDER = {"x64": "C:\\windows\\system32", "x86": "C:\\windows\\Sysnative"}


class Msi:
    """A file entry: an MSI package built from tests/e2e/msi/driver.wxs for
    the scenario. `outcome`: "install" (installs its file), "fail" (msiexec
    returns 1603) or "reboot" (installs, then asks for a restart: 3010)."""
    def __init__(self, outcome):
        self.outcome = outcome


class Signed:
    """A file entry: `content` (STANDIN or an Msi) signed by `signer`, a key
    of signers.SIGNERS ("publisher" signs the launcher too); `tampered`: one
    byte of it changed after signing; `nested`: the signer of a nested
    signature added after the first."""
    def __init__(self, content, signer, tampered=False, nested=None):
        self.content = content
        self.signer = signer
        self.tampered = tampered
        self.nested = nested


def msi_of(content):
    """The Msi of a file entry, signed or not, or None."""
    if isinstance(content, Signed):
        content = content.content
    return content if isinstance(content, Msi) else None


MSI_SOURCE = Path(__file__).resolve().parent / "msi" / "driver.wxs"
MSI_TIMEOUT = 300  # msiexec under Wine, in the x86 virtual machine's emulation
# Where the package of a scenario installs its file, under drive_c (the
# package is a 32-bit one, so on 64-bit Windows it goes to Program Files (x86)).
INSTALLED = "Program Files (x86)/camsetup-e2e/%s/driver.txt"


def msi_scenario(name, outcome, ask, package="ModelA\\driver.msi", switches=" /qn",
                 installed=True, expect_exit=0, signer=None, **more):
    setup = ini((1, package + switches, "ABCD"))
    more.setdefault("expect_debug", ['"{system}\\msiexec.exe" /i "{root}\\pkg\\%s" /qn'
                                     % package])
    more.setdefault("expect_boxes", [])
    msi = Msi(outcome) if signer is None else Signed(Msi(outcome), signer)
    return Scenario(name, {"pkg/setup.ini": ASK + setup if ask else setup,
                           "pkg/" + package.replace("\\", "/"): msi},
                    devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
                    expect_started=[], expect_exit=expect_exit, expect_installed=installed,
                    timeout=MSI_TIMEOUT, **more)


SCENARIOS += [
    # Installed for real, quietly by the switch in Path: the package's file
    # is in place afterwards.
    msi_scenario("msi_installs_quietly", "install", ask=True),
    # The launcher's own arguments follow the package: here the quiet switch.
    # A folder with a blank, an extension in capitals.
    msi_scenario("msi_argument_tail_reaches_msiexec", "install", ask=False,
                 package="Model B\\Driver.MSI", switches="",
                 command_line='"{root}\\pkg\\camsetup.exe" /qn'),
    # msiexec's own codes pass through where asked for, and only there.
    msi_scenario("msi_failure_exit_code_1603", "fail", ask=True, installed=False,
                 expect_exit=1603),
    msi_scenario("msi_failure_not_asked_gives_0", "fail", ask=False, installed=False),
    msi_scenario("msi_reboot_exit_code_3010", "reboot", ask=True, expect_exit=3010),
    # No package: msiexec is not started (it would end with 1619), the start
    # fails with the file's own code.
    Scenario("msi_missing_package", {"pkg/setup.ini": ASK + ini((1, "ModelA\\driver.msi", "ABCD"))},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /qn',
             expect_debug=['"{root}\\pkg\\ModelA\\driver.msi" /qn'],
             expect_boxes=["Run driver insatll fail"], expect_started=[], expect_exit=2),
]

# Wine has no pnputil: a stand-in takes its place in the 64-bit system folder,
# ending with 259, as pnputil does when no device took the driver. A decoy in
# SysWOW64, where a 32-bit process's System32 leads, must never run.
PNPUTIL = "windows/system32/pnputil.exe"
PNPUTIL_DECOY = "windows/syswow64/pnputil.exe"
PNPUTIL_FILES = {PNPUTIL: STANDIN, PNPUTIL + ".exitcode": b"259",
                 PNPUTIL_DECOY: STANDIN, PNPUTIL_DECOY + ".exitcode": b"13"}
PNPUTIL_RUN = "C:\\windows\\system32\\pnputil.exe"
INF = b"; a driver package for the end-to-end scenarios\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n"


def inf_scenario(name, path, ask, command, expect_exit, **more):
    setup = ini((1, path, "ABCD"))
    return Scenario(name, {"pkg/setup.ini": ASK + setup if ask else setup,
                           "pkg/ModelA/driver.inf": INF},
                    system_files=PNPUTIL_FILES, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
                    command_line='"{root}\\pkg\\camsetup.exe" /S',
                    expect_debug=[command], expect_boxes=[],
                    expect_started=[(PNPUTIL_RUN, command, "{root}\\pkg")],
                    expect_exit=expect_exit, **more)


SCENARIOS += [
    # Windows 10 (Wine 8 reports build 18362 for it): /add-driver ...
    # /install, then the switches of Path; the launcher's own argument (/S)
    # is not for pnputil. Its code passes through.
    inf_scenario("inf_native_pnputil_add_driver", "ModelA\\driver.inf /reboot", ask=True,
                 app_version="win10",
                 command='"{native}\\pnputil.exe" /add-driver "{root}\\pkg\\ModelA\\driver.inf"'
                         ' /install /reboot',
                 expect_exit=259),
    # Windows 7 (Wine 8's default, set all the same): the older syntax. Without
    # ExitCode=Installer, pnputil's 259 is not the launcher's.
    inf_scenario("inf_windows_7_legacy_syntax", "ModelA\\driver.inf", ask=False,
                 app_version="win7",
                 command='"{native}\\pnputil.exe" -i -a "{root}\\pkg\\ModelA\\driver.inf"',
                 expect_exit=0),
    # No package: pnputil is not started.
    Scenario("inf_missing_package", {"pkg/setup.ini": ASK + ini((1, "ModelA\\driver.inf", "ABCD"))},
             system_files=PNPUTIL_FILES, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=['"{root}\\pkg\\ModelA\\driver.inf"'],
             expect_boxes=["Run driver insatll fail"], expect_started=[], expect_exit=2),
]


# A signed launcher starts only what its own publisher signed; with
# ExitCode=Installer a refusal's exit code is WinVerifyTrust's result. The
# unsigned launcher's runs above (typical_run and the rest) start unsigned
# installers; unsigned_launcher_same_package_starts runs the package that
# signed_refuses_unsigned refuses.
SIGNATURE_FAIL = "Installer signature check fail"
SIGNATURE_FAIL_EVENT = (ERROR, 1012, SIGNATURE_FAIL)
TRUST_E_NOSIGNATURE = 0x800B0100
TRUST_E_BAD_DIGEST = 0x80096010
TRUST_E_SUBJECT_NOT_TRUSTED = 0x800B0004
CAM1 = '"{root}\\pkg\\Cam1\\setup.exe"'
STANDIN_OWN_CODE = 3  # the stand-in's exit code where no .exitcode file says otherwise


def signature_scenario(name, installer, started, expect_exit, launcher="signed",
                       launcher_keys=(b"ExitCode=Installer",), **more):
    setup = ini((1, "Cam1\\setup.exe", "ABCD"))
    if launcher_keys:
        setup = b"[Launcher]\r\n" + b"".join(k + b"\r\n" for k in launcher_keys) + setup
    more.setdefault("expect_debug", [CAM1])
    more.setdefault("expect_boxes", [] if started else [SIGNATURE_FAIL])
    return Scenario(name, {"pkg/setup.ini": setup, "pkg/Cam1/setup.exe": installer},
                    devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")], launcher_signature=launcher,
                    expect_started=[("pkg/Cam1/setup.exe", CAM1, "{root}\\pkg")] if started
                    else [], expect_exit=expect_exit, **more)


ANY_SIGNED = b"Installers=AnySigned"
SCENARIOS += [
    signature_scenario("signed_starts_same_publisher", Signed(STANDIN, "publisher"),
                       started=True, expect_exit=STANDIN_OWN_CODE),
    msi_scenario("signed_installs_same_publisher_msi", "install", ask=True,
                 signer="publisher", launcher_signature="signed"),
    signature_scenario("signed_refuses_unsigned", STANDIN, started=False,
                       expect_exit=TRUST_E_NOSIGNATURE),
    signature_scenario("signed_refuses_other_publisher", Signed(STANDIN, "other"),
                       started=False, expect_exit=TRUST_E_SUBJECT_NOT_TRUSTED),
    signature_scenario("signed_refuses_tampered", Signed(STANDIN, "publisher", tampered=True),
                       started=False, expect_exit=TRUST_E_BAD_DIGEST),
    # The primary signature is the one judged: the publisher's nested under
    # another's does not make the file the publisher's, and another's
    # nested under the publisher's does not take it away.
    signature_scenario("signed_refuses_other_publisher_with_ours_nested",
                       Signed(STANDIN, "other", nested="publisher"), started=False,
                       expect_exit=TRUST_E_SUBJECT_NOT_TRUSTED),
    signature_scenario("signed_starts_same_publisher_with_other_nested",
                       Signed(STANDIN, "publisher", nested="other"), started=True,
                       expect_exit=STANDIN_OWN_CODE),
    msi_scenario("signed_refuses_unsigned_msi", "install", ask=True, installed=False,
                 launcher_signature="signed", expect_boxes=[SIGNATURE_FAIL],
                 expect_exit=TRUST_E_NOSIGNATURE),
    # Not asked for, the refusal's code is not the launcher's.
    signature_scenario("signed_refusal_not_asked_gives_0", Signed(STANDIN, "other"),
                       started=False, expect_exit=0, launcher_keys=()),
    # Where nobody sees the box: its text in the debugger output, an event.
    signature_scenario("unseen_signed_refuses_unsigned", STANDIN, started=False,
                       expect_exit=TRUST_E_NOSIGNATURE, station=STATION, expect_boxes=[],
                       expect_debug=[CAM1, UNSEEN + SIGNATURE_FAIL],
                       expect_events=[SIGNATURE_FAIL_EVENT]),
    # AnySigned (any case) widens the check to other publishers, never to an
    # unsigned file.
    signature_scenario("any_signed_starts_other_publisher", Signed(STANDIN, "other"),
                       started=True, expect_exit=STANDIN_OWN_CODE,
                       launcher_keys=(b"ExitCode=Installer", ANY_SIGNED)),
    signature_scenario("any_signed_refuses_unsigned", STANDIN, started=False,
                       expect_exit=TRUST_E_NOSIGNATURE,
                       launcher_keys=(b"ExitCode=Installer", ANY_SIGNED.lower())),
    # Unsigned, or with a signature that does not verify, the launcher
    # checks nothing.
    signature_scenario("unsigned_launcher_same_package_starts", STANDIN, started=True,
                       expect_exit=STANDIN_OWN_CODE, launcher="unsigned"),
    signature_scenario("tampered_launcher_checks_nothing", STANDIN, started=True,
                       expect_exit=STANDIN_OWN_CODE, launcher="tampered"),
    # An INF goes to pnputil unchecked: Windows checks its catalog.
    inf_scenario("signed_launcher_inf_unchecked", "ModelA\\driver.inf", ask=True,
                 app_version="win10",
                 command='"{native}\\pnputil.exe" /add-driver "{root}\\pkg\\ModelA\\driver.inf"'
                         ' /install',
                 expect_exit=259, launcher_signature="signed"),
]


class Pattern(str):
    """An expected text given as a regular expression: equal to every text
    that it matches in full."""
    def __eq__(self, other):
        return isinstance(other, str) and re.fullmatch(str(self), other) is not None

    __hash__ = str.__hash__

    def __repr__(self):
        return "re" + str.__repr__(self)


def matcher(text):
    return Pattern(text[3:]) if text.startswith("re:") else text


def run_scenario(lab: Lab, s: Scenario, launcher: Path, arch, packages, signed):
    files = {rel: signed["files"][s.name][rel] if isinstance(c, Signed)
             else packages[s.name]["msi"] if isinstance(c, Msi) else c
             for rel, c in s.files.items()}
    if s.launcher_signature != "unsigned":
        launcher = signed["launchers"][s.launcher_signature]
    installed = lab.prefix / "drive_c" / (INSTALLED % s.name)
    if s.expect_installed is not None:
        # A package that this prefix has installed before would only be
        # repaired, its file not put back: each build is run once.
        ran = lab.prefix / "camsetup-msi-builds.txt"
        build = "%s %s" % (packages[s.name]["build"], s.name)
        if ran.exists() and build in ran.read_text().splitlines():
            return (["this build of the scenario's MSI package has run in this prefix "
                     "before, and msiexec would only repair it: build the packages again "
                     "with wixl (%s)" % WIXL_PACKAGE], None)
        with open(ran, "a") as f:
            f.write(build + "\n")
        shutil.rmtree(installed.parent, ignore_errors=True)
    outcome, fill_root = lab.run(s.name, files, launcher, s.launcher, s.command_line, s.cwd,
                                 devices=s.devices, japanese=s.japanese, dirs=s.dirs,
                                 locale=s.locale, station=s.station,
                                 system_files=s.system_files, app_version=s.app_version,
                                 timeout=s.timeout)

    def fill(text):
        return fill_root(text).replace("{system}", SYSTEM_FOLDER) \
                              .replace("{native}", NATIVE_FOLDER[arch])

    problems = []

    def check(what, got, want):
        if got != want:
            problems.append("%s:\n      got  %r\n      want %r" % (what, got, want))

    check("code page", outcome.code_page,
          CODE_PAGES["ja_JP.UTF-8" if s.japanese else s.locale])
    check("debugger output", outcome.debug, [matcher(fill(t)) for t in s.expect_debug])
    check("message boxes", outcome.boxes, [(CAPTION, text) for text in s.expect_boxes])
    check("started programs", outcome.started,
          [(fill(p), matcher(fill(c)), fill(d)) for p, c, d in s.expect_started])
    check("exit code", outcome.exits, [s.expect_exit])
    check("event-log records", outcome.events, s.expect_events)
    check("planted DLLs loaded", outcome.loaded_plants, [])
    check("driver problems", outcome.other, [])
    if s.expect_installed is not None:
        # The file of this run's build of the package, or none at all.
        got = installed.read_bytes().decode() if installed.exists() else None
        check("installed " + str(installed.relative_to(lab.prefix)), got,
              packages[s.name]["payload"] if s.expect_installed else None)
        shutil.rmtree(installed.parent, ignore_errors=True)
    return problems, outcome


def msi_sources_digest():
    return hashlib.sha256(MSI_SOURCE.read_bytes()).hexdigest()


def build_msi_packages(out: Path):
    """Builds the package of every MSI scenario into `out` with wixl, each
    installing a file of its own text, and writes their manifest."""
    wixl = shutil.which("wixl")
    if wixl is None:
        raise RuntimeError(WIXL_MISSING)
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    manifest = {"sources": msi_sources_digest(), "build": uuid.uuid4().hex, "packages": {}}
    for s in SCENARIOS:
        outcomes = [msi_of(c).outcome for c in s.files.values() if msi_of(c)]
        if not outcomes:
            continue
        payload = "camsetup e2e %s %s\r\n" % (s.name, uuid.uuid4().hex)
        (out / (s.name + ".txt")).write_bytes(payload.encode())
        msi = out / (s.name + ".msi")
        with open(out / "wixl.log", "ab") as log:
            status = subprocess.run(
                [wixl, "-D", "Folder=" + s.name, "-D", "Payload=" + s.name + ".txt",
                 "-D", "Outcome=" + outcomes[0], "-o", msi.name, str(MSI_SOURCE)],
                cwd=out, stdout=log, stderr=log, stdin=subprocess.DEVNULL).returncode
        if status != 0 or not msi.exists():
            raise RuntimeError("wixl could not build %s (status %d); see %s"
                               % (msi, status, out / "wixl.log"))
        manifest["packages"][s.name] = {"msi": msi.name, "payload": payload}
    (out / "manifest.json").write_text(json.dumps(manifest, indent=1) + "\n")


WIXL_PACKAGE = "Debian package wixl; scripts/install-deps.sh wine installs it"
WIXL_MISSING = "wixl is missing: the MSI scenarios build their packages with it (%s)" % WIXL_PACKAGE


def msi_packages(folder: Path):
    """The MSI scenarios' packages: built now where wixl is at hand, else
    those that --build-msi made in `folder` from the same sources."""
    if shutil.which("wixl"):
        build_msi_packages(folder)
    return built_msi_packages(folder)


def built_msi_packages(folder: Path):
    manifest = folder / "manifest.json"
    if not manifest.exists():
        raise RuntimeError(WIXL_MISSING + "; nor are there packages built beforehand in %s "
                           "(run_e2e.py --build-msi %s, where wixl is)" % (folder, folder))
    data = json.loads(manifest.read_text())
    if data.get("sources") != msi_sources_digest() or "build" not in data:
        raise RuntimeError("the MSI packages in %s were built from other sources; build them "
                           "again with run_e2e.py --build-msi %s" % (folder, folder))
    return {name: {"msi": folder / p["msi"], "payload": p["payload"], "build": data["build"]}
            for name, p in data["packages"].items()}


def digest(path: Path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def signing_inputs(launcher: Path, standin: Path, packages, scenarios):
    """The digests of the unsigned files that the signed ones of `scenarios`
    are made from."""
    inputs = {"launcher": digest(launcher), "standin": digest(standin)}
    for s in scenarios:
        for c in s.files.values():
            if isinstance(c, Signed) and msi_of(c):
                inputs["msi " + s.name] = digest(packages[s.name]["msi"])
    return inputs


def build_signed_files(out: Path, launcher: Path, standin: Path, packages, scenarios):
    """Into `out`: the launcher signed by the publisher, the same with one
    byte changed, and every Signed file entry of `scenarios`, signed with
    certificates made for this set; and their manifest. The keys are
    dropped once used."""
    missing = signers.missing_tools()
    if missing:
        raise RuntimeError("%s missing: the signature scenarios sign with them (%s)"
                           % (", ".join(missing), signers.TOOLS_PACKAGES))
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    manifest = {"inputs": signing_inputs(launcher, standin, packages, scenarios),
                "launchers": {"signed": "launcher-signed.exe",
                              "tampered": "launcher-tampered.exe"},
                "files": {}}
    with tempfile.TemporaryDirectory(prefix="camsetup-e2e-keys-") as keys:
        keys = Path(keys)
        signers.make_certificates(keys)
        for signer in signers.SIGNERS:  # the certificates, for a look at the signatures
            shutil.copyfile(keys / (signer + ".pem"), out / (signer + ".pem"))
        shutil.copyfile(keys / "ca.pem", out / "ca.pem")
        signers.sign(launcher, out / "launcher-signed.exe", keys, "publisher")
        shutil.copyfile(out / "launcher-signed.exe", out / "launcher-tampered.exe")
        signers.tamper(out / "launcher-tampered.exe")
        for s in scenarios:
            for rel, c in s.files.items():
                if not isinstance(c, Signed):
                    continue
                source = packages[s.name]["msi"] if msi_of(c) else standin
                name = "%s--%s" % (s.name, rel.replace("/", "--"))
                signers.sign(source, out / name, keys, c.signer)
                if c.nested:
                    signers.sign(out / name, out / (name + ".nested"), keys, c.nested, nest=True)
                    (out / (name + ".nested")).replace(out / name)
                if c.tampered:
                    signers.tamper(out / name)
                manifest["files"].setdefault(s.name, {})[rel] = name
    (out / "manifest.json").write_text(json.dumps(manifest, indent=1) + "\n")


def signed_files(folder: Path, launcher: Path, standin: Path, packages, scenarios):
    """The signed launchers and installers of `scenarios`: signed now where
    openssl and osslsigncode are at hand, else those that --build-signed
    made in `folder` from the same files."""
    if not signers.missing_tools():
        build_signed_files(folder, launcher, standin, packages, scenarios)
    manifest = folder / "manifest.json"
    again = ("make them again with run_e2e.py --build-signed %s --launcher ... --standin ... "
             "--msi ..., where openssl and osslsigncode are" % folder)
    if not manifest.exists():
        raise RuntimeError("%s missing (%s); nor are there files signed beforehand in %s: %s"
                           % (", ".join(signers.missing_tools()), signers.TOOLS_PACKAGES,
                              folder, again))
    data = json.loads(manifest.read_text())
    want = signing_inputs(launcher, standin, packages, scenarios)
    stale = sorted(k for k, v in want.items() if data["inputs"].get(k) != v)
    unsigned = sorted(s.name for s in scenarios
                      if any(isinstance(c, Signed) for c in s.files.values())
                      and s.name not in data["files"])
    if stale or unsigned:
        raise RuntimeError("the signed files in %s were made from other files (%s) or lack "
                           "scenarios (%s): %s" % (folder, ", ".join(stale) or "-",
                                                   ", ".join(unsigned) or "-", again))
    return {"launchers": {k: folder / v for k, v in data["launchers"].items()},
            "files": {name: {rel: folder / f for rel, f in entries.items()}
                      for name, entries in data["files"].items()}}


def needs_signing(s: Scenario):
    return s.launcher_signature != "unsigned" or \
        any(isinstance(c, Signed) for c in s.files.values())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", type=Path)
    parser.add_argument("--driver", type=Path)
    parser.add_argument("--standin", type=Path)
    parser.add_argument("--marker", type=Path)
    parser.add_argument("--work", type=Path)
    parser.add_argument("--arch", default="x64", choices=["x64", "x86"])
    parser.add_argument("--msi", type=Path,
                        help="the MSI packages' folder (default: msi in the work folder)")
    parser.add_argument("--build-msi", type=Path, metavar="DIR",
                        help="only build the MSI packages into DIR, with wixl")
    parser.add_argument("--signed", type=Path,
                        help="the signed files' folder (default: signed in the work folder)")
    parser.add_argument("--build-signed", type=Path, metavar="DIR",
                        help="only sign copies of the launcher, the stand-in and the MSI "
                             "packages of --msi into DIR, with openssl and osslsigncode")
    parser.add_argument("--only", action="append",
                        help="run only this scenario (repeatable)")
    parser.add_argument("--show", action="store_true",
                        help="print what each run did: exit code, debugger output, boxes, "
                             "event-log records")
    args = parser.parse_args()
    if args.build_msi:
        try:
            build_msi_packages(args.build_msi.resolve())
        except RuntimeError as e:
            print(e)
            return 1
        print("MSI packages built in %s" % args.build_msi)
        return 0
    if args.build_signed:
        for name in ("launcher", "standin", "msi"):
            if getattr(args, name) is None:
                parser.error("--build-signed needs --%s" % name)
        try:
            signing = [s for s in SCENARIOS if needs_signing(s)]
            packages = {}
            if any(msi_of(c) for s in signing for c in s.files.values()):
                packages = built_msi_packages(args.msi.resolve())
            build_signed_files(args.build_signed.resolve(), args.launcher, args.standin,
                               packages, signing)
        except RuntimeError as e:
            print(e)
            return 1
        print("signed files made in %s" % args.build_signed)
        return 0
    for name in ("launcher", "driver", "standin", "marker", "work"):
        if getattr(args, name) is None:
            parser.error("--%s is required" % name)
    selected = [s for s in SCENARIOS if not args.only or s.name in args.only]

    why = wine32_problem() if args.arch == "x86" else None
    if why:
        print("SKIPPED: the x86 launcher cannot run here: " + why)
        return SKIP
    for tool in ("wine", "Xvfb", "localedef"):
        if shutil.which(tool) is None:
            print("missing tool: " + tool)
            return 1

    packages = {}
    signed = {}
    signing = [s for s in selected if needs_signing(s)]
    try:
        if any(msi_of(c) for s in selected for c in s.files.values()):
            packages = msi_packages((args.msi or args.work / "msi").resolve())
        if signing:
            signed = signed_files((args.signed or args.work / "signed").resolve(),
                                  args.launcher, args.standin, packages, signing)
    except RuntimeError as e:
        print(e)
        return 1

    total_start = time.monotonic()
    failures = 0
    with Lab(args.work, args.driver, args.standin, args.marker) as lab:
        for s in selected:
            problems, outcome = run_scenario(lab, s, args.launcher, args.arch, packages,
                                             signed)
            print("%-4s %-40s %5.1fs" % ("ok" if not problems else "FAIL", s.name,
                                         outcome.seconds if outcome else 0.0))
            for p in problems:
                print("    " + p)
            if args.show and outcome:
                print("    exit codes %s; debugger output %r; boxes %r; event-log records %r"
                      % (["%d (%#x)" % (c, c) for c in outcome.exits], outcome.debug,
                         outcome.boxes, outcome.events))
            failures += bool(problems)
            sys.stdout.flush()
    print("%d scenario(s) failed; %.1fs in all" % (failures, time.monotonic() - total_start))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
