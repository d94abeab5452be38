"""Running camsetup.exe in a private Wine prefix, for the end-to-end tests
and the demo.

A Lab holds one prefix with a persistent wineserver and an Xvfb display. A
Run lays out a package folder, simulates present USB devices, starts the
launcher through the test driver and reads back what happened.
"""
import dataclasses
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
from pathlib import Path

STANDIN = object()  # a file entry: a copy of the stand-in installer
MARKER = object()   # a file entry: a copy of the marker DLL
STAMP = "camsetup-made-by.txt"  # in the prefix: what made it
WINE_MARLETT = Path("/usr/share/wine/fonts/marlett.ttf")
JA_LOCALE = "ja_JP.UTF-8"
DEFAULT_LOCALE = "C.UTF-8"
# Locales a run can take, built into the lab's own LOCPATH (Wine needs a
# real UTF-8 locale to open non-ASCII file names), with the codec of the
# ANSI code page that Wine derives from each.
LOCALES = {
    JA_LOCALE: ("ja_JP", "cp932"),
    "en_US.UTF-8": ("en_US", "cp1252"),
    "hi_IN.UTF-8": ("hi_IN", "utf-8"),  # code page 65001
}


@dataclasses.dataclass
class Outcome:
    code_page: int = None
    debug: list = dataclasses.field(default_factory=list)   # texts
    boxes: list = dataclasses.field(default_factory=list)   # (caption, text)
    exits: list = dataclasses.field(default_factory=list)
    other: list = dataclasses.field(default_factory=list)   # timeout, driver errors
    started: list = dataclasses.field(default_factory=list)  # (program, command line, cwd)
    loaded_plants: list = dataclasses.field(default_factory=list)  # planted DLLs loaded
    events: list = dataclasses.field(default_factory=list)  # event-log records (type, id, text)
    seconds: float = 0.0


class Lab:
    def __init__(self, work: Path, driver: Path, standin: Path, marker: Path = None):
        self.work = work.resolve()
        self.prefix = self.work / "prefix"
        self.logs = self.work / "logs"
        self.locpath = self.work / "locale"
        self.driver = driver
        self.standin = standin
        self.marker = marker
        self.xvfb = None
        self.display = None
        # The loader for the driver's architecture: the 32-bit driver (and so
        # the x86 launcher) runs under the 32-bit loader, the 64-bit one under
        # wine64, whatever /usr/bin/wine would pick.
        self.loader = wine_loader(pe_arch(driver))

    # ---- Lifecycle ----

    def __enter__(self):
        self.logs.mkdir(parents=True, exist_ok=True)
        self._start_display()
        self._build_locale(JA_LOCALE)
        # No server left over from an interrupted run; then the prefix, and
        # only then the persistent server: started before the prefix exists,
        # it fails, and every program starts and stops a server of its own.
        self.wine(["wineserver", "-k"], "wineserver.log", timeout=30)
        self._prepare_prefix()
        # The caption buttons' glyphs: Debian's Wine does not find its own
        # Marlett, and draws an "r" for the close button without it.
        fonts = self.prefix / "drive_c" / "windows" / "Fonts"
        if WINE_MARLETT.exists() and not (fonts / WINE_MARLETT.name).exists():
            fonts.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(WINE_MARLETT, fonts / WINE_MARLETT.name)
        self._check(self.wine(["wineserver", "-p"], "wineserver.log"), "wineserver -p",
                    "wineserver.log")
        tools = self.prefix / "drive_c" / "e2e-tools"
        tools.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.driver, tools / "driver.exe")
        self.driver_win = self.windows_path(tools / "driver.exe")
        return self

    def _made_by(self) -> str:
        """What makes this lab's prefix: the Wine installation, told by each
        loader's version and file, and whether its 32-bit side runs."""
        lines = ["WINEARCH win64"]
        for arch in ("x64", "x86"):
            loader = Path(wine_loader(arch))
            version, why = loader_version(arch)
            file = ""
            if loader.exists():
                st = loader.stat()
                file = " (%d bytes, modified %d)" % (st.st_size, st.st_mtime)
            lines.append("%s %s%s: %s" % (arch, loader, file, version or "does not run: " + why))
        return "\n".join(lines) + "\n"

    def _prepare_prefix(self):
        """Makes the prefix unless this Wine installation made it: one made by
        another (a 64-bit-only Wine before wine32 was installed, another
        version) lacks what this one needs, so it is made again."""
        stamp = self.prefix / STAMP
        made_by = self._made_by()
        if stamp.exists() and stamp.read_text() == made_by:
            return
        if self.prefix.exists():
            print("Wine prefix %s: made by another Wine installation (or not finished); "
                  "making it again" % self.prefix)
            shutil.rmtree(self.prefix)
        status = self.wine([wine_loader("x64"), "wineboot", "-i"], "wineboot.log", timeout=600)
        self._check(status, "wineboot -i", "wineboot.log")
        # wineboot returns while programs it started still update the prefix,
        # and the server writes the registry only when it ends: wait for that.
        self.wine(["wineserver", "-w"], "wineboot.log", timeout=600)
        if not (self.prefix / "system.reg").exists():
            self._check(1, "wineboot -i (no system.reg)", "wineboot.log")
        stamp.write_text(made_by)

    def _check(self, status, what, log_name):
        if status != 0:
            log = (self.logs / log_name).read_text(errors="replace").strip().splitlines()
            raise RuntimeError("%s exited with status %s; the end of %s:\n  %s"
                               % (what, status, self.logs / log_name, "\n  ".join(log[-10:])))

    def __exit__(self, *exc):
        try:
            self.wine(["wineserver", "-k"], "wineserver.log", timeout=30)
        except Exception:  # the run is over either way
            pass
        if self.xvfb:
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait(timeout=10)

    def _build_locale(self, name):
        if not (self.locpath / name).exists():
            self.locpath.mkdir(parents=True, exist_ok=True)
            source, _ = LOCALES[name]
            subprocess.run(["localedef", "-i", source, "-f", "UTF-8", str(self.locpath / name)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _start_display(self):
        for n in range(90, 190):
            if not Path("/tmp/.X%d-lock" % n).exists() and \
                    not Path("/tmp/.X11-unix/X%d" % n).exists():
                self.display = ":%d" % n
                break
        log = open(self.logs / "xvfb.log", "ab")
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "800x600x24",
                                      "-nolisten", "tcp"], stdout=log, stderr=log)
        socket = Path("/tmp/.X11-unix/X" + self.display[1:])
        for _ in range(200):
            if socket.exists():
                return
            time.sleep(0.05)
        raise RuntimeError("Xvfb did not start on " + self.display)

    def env(self, japanese=False, native_dlls=(), locale=None, wine_debug="-all"):
        # Named DLLs are taken from a native file where the program's search
        # finds one, as Windows would, instead of Wine's built-in ones.
        overrides = "mscoree,mshtml="
        if native_dlls:
            overrides += ";" + ",".join(native_dlls) + "=n,b"
        locale = locale or (JA_LOCALE if japanese else None)
        env = dict(os.environ)
        env.update(WINEPREFIX=str(self.prefix), WINEARCH="win64", WINEDEBUG=wine_debug,
                   WINEDLLOVERRIDES=overrides, DISPLAY=self.display,
                   LC_ALL=locale or DEFAULT_LOCALE)
        if locale:
            self._build_locale(locale)
            env["LOCPATH"] = str(self.locpath)
        return env

    def wine(self, argv, log_name, japanese=False, timeout=120, native_dlls=(), stdout=None,
             locale=None, wine_debug="-all"):
        """Runs `argv` and returns its exit status. Its output goes to files
        (the log, or `stdout` for standard output): Wine's background
        services would keep a pipe open after the program has ended. A
        leading "wine" is this lab's loader."""
        if argv[0] == "wine":
            argv = [self.loader] + list(argv[1:])
        with open(self.logs / log_name, "ab") as log, \
                open(stdout or os.devnull, "wb") as out:
            return subprocess.run(argv, env=self.env(japanese, native_dlls, locale, wine_debug),
                                  stdout=out if stdout else log, stderr=log,
                                  stdin=subprocess.DEVNULL, timeout=timeout).returncode

    def windows_path(self, unix: Path) -> str:
        return "C:\\" + str(unix.relative_to(self.prefix / "drive_c")).replace("/", "\\")

    def screenshot(self, png: Path, trim=False):
        """The screen as a PNG; `trim`: cut to what differs from the colour of
        its corners (the desktop behind a single window)."""
        png.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", str(png)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if trim:
            subprocess.run(["convert", str(png), "-trim", "+repage", str(png)],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # ---- One run of the launcher ----

    def run(self, name, files, launcher: Path, launcher_at, command_line, cwd,
            devices=(), japanese=False, dirs=(), on_box=None, desktop=None, locale=None,
            station=None, system_files=None, app_version=None, timeout=60):
        """Lays out C:\\e2e\\<name>\\ from `files` (path -> bytes, STANDIN, MARKER
        or the Path of a file to copy), puts the launcher at `launcher_at`, and
        runs it. Texts may hold {root}, the Windows path of that folder.
        `on_box(lab)`, when given, is called while the first message box is
        up. `desktop` ("NAME,WxH"): run in a Wine virtual desktop of that size,
        which draws the windows' frames. `station` names a new window station
        on which the launcher runs, where nobody can see it.
        `system_files` (path under drive_c -> content, as `files`) are put in
        the prefix outside the scenario folder, such as a stand-in for a
        system tool, for this run only: they and the logs of stand-ins among
        them are removed afterwards, as the prefix serves every run.
        `app_version` ("win7"...) is the Windows version that Wine reports to
        programs of the launcher's file name during the run. `timeout`: the
        seconds the launcher, with what it starts, may take."""
        system_files = system_files or {}
        drive_c = self.prefix / "drive_c"
        placed = [drive_c / rel for rel in system_files]
        placed += [p.with_name(p.name + ".log") for p, c in zip(placed, system_files.values())
                   if c is STANDIN]
        try:
            for path in placed:
                path.unlink(missing_ok=True)
            for rel, content in system_files.items():
                self._put(drive_c / rel, content)
            return self._run(name, files, launcher, launcher_at, command_line, cwd, devices,
                             japanese, dirs, on_box, desktop, locale, station, system_files,
                             app_version, timeout)
        finally:
            for path in placed:
                path.unlink(missing_ok=True)

    def _put(self, target: Path, content):
        target.parent.mkdir(parents=True, exist_ok=True)
        if content is STANDIN:
            shutil.copyfile(self.standin, target)
        elif content is MARKER:
            shutil.copyfile(self.marker, target)
        elif isinstance(content, Path):
            shutil.copyfile(content, target)
        else:
            target.write_bytes(content)

    def _run(self, name, files, launcher, launcher_at, command_line, cwd, devices, japanese,
             dirs, on_box, desktop, locale, station, system_files, app_version, timeout):
        locale = locale or (JA_LOCALE if japanese else None)
        codec = LOCALES[locale][1] if locale else "cp1252"
        root = self.prefix / "drive_c" / "e2e" / name
        shutil.rmtree(root, ignore_errors=True)
        root.mkdir(parents=True)
        for d in dirs:
            (root / d).mkdir(parents=True, exist_ok=True)
        for rel, content in files.items():
            self._put(root / rel, content)
        (root / launcher_at).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(launcher, root / launcher_at)
        root_win = self.windows_path(root)

        def fill(text):
            return text.replace("{root}", root_win)

        control = self.work / "control" / name
        shutil.rmtree(control, ignore_errors=True)
        control.mkdir(parents=True)
        job, result, hold = control / "job.txt", control / "result.txt", control / "hold"
        # A generous limit: under software emulation on a loaded machine a
        # message box alone can take over 20 s to come and go.
        lines = ["timeout %d" % (timeout * 1000),
                 "cwd " + (fill(cwd).encode(codec).hex() or "-"),
                 _command_line_entry(fill(command_line), codec),
                 # Always given, so that a version left by an interrupted run goes.
                 "appdefaults %s %s" % (Path(launcher_at).name.encode("utf-8").hex(),
                                        (app_version or "").encode("utf-8").hex() or "-")]
        if station:
            lines.append("station " + station.encode(codec).hex())
        if on_box:
            lines.append("hold " + ("Z:" + str(hold).replace("/", "\\")).encode(codec).hex())
        for instance, ids in devices:
            ids_hex = "-" if ids is None else ("\0".join(ids) + "\0\0").encode("utf-8").hex()
            lines.append("device %s %s" % (instance.encode("utf-8").hex(), ids_hex))
        job.write_text("\n".join(lines) + "\n")

        planted = [Path(rel).stem for rel, c in files.items() if c is MARKER]
        log_path = self.logs / (name + ".log")
        log_start = log_path.stat().st_size if log_path.exists() else 0
        started = time.monotonic()
        argv = [self.loader, self.driver_win, "Z:" + str(job).replace("/", "\\"),
                "Z:" + str(result).replace("/", "\\")]
        if desktop:
            # The prefix's own (64-bit) explorer holds the desktop and starts
            # the driver of either architecture on it.
            argv = [wine_loader("x64"), "explorer", "/desktop=" + desktop] + argv[1:]
        if on_box:
            with open(self.logs / (name + ".log"), "ab") as log:
                proc = subprocess.Popen(argv, env=self.env(japanese, planted, locale, EVENT_LOG_DEBUG),
                                        stdout=log,
                                        stderr=log,
                                        stdin=subprocess.DEVNULL)
                while proc.poll() is None:
                    if result.exists() and "\nbox " in "\n" + result.read_text():
                        time.sleep(0.5)  # let the box finish drawing
                        on_box(self)
                        hold.touch()
                        break
                    time.sleep(0.05)
                hold.touch()
                status = proc.wait(timeout=timeout)
        else:
            status = self.wine(argv, name + ".log", native_dlls=planted, locale=locale,
                               wine_debug=EVENT_LOG_DEBUG, timeout=timeout + 60)

        outcome = Outcome(seconds=time.monotonic() - started)
        with open(log_path, "rb") as log:
            log.seek(log_start)
            output = log.read().decode("utf-8", "replace").strip()
        outcome.events = _event_log_records(output)
        if not result.exists():
            # The driver never ran: say how Wine ended, and what it printed.
            outcome.other.append("no-result: %s exited with status %s after %.1f s; output: %s"
                                 % (Path(self.loader).name, status, outcome.seconds,
                                    output or "(none)"))
        for line in (result.read_text().splitlines() if result.exists() else []):
            f = line.split(" ")
            if f[0] == "debug":
                outcome.debug.append(_hex(f[1]).decode(codec))
            elif f[0] == "box":
                outcome.boxes.append((_hex(f[1]).decode(codec), _hex(f[2]).decode(codec)))
            elif f[0] == "exit":
                outcome.exits.append(int(f[1]))
            elif f[0] == "acp":
                outcome.code_page = int(f[1])
            else:
                outcome.other.append(line)
        # What the stand-ins recorded: those of the scenario folder named by
        # their path in it, those put in the system's folders by their
        # Windows path.
        logs = [(log, str(log.relative_to(root))[:-len(".log")])
                for log in sorted(root.rglob("*.log"))]
        for rel, content in system_files.items():
            log = self.prefix / "drive_c" / (rel + ".log")
            if content is STANDIN and log.exists():
                logs.append((log, self.windows_path(self.prefix / "drive_c" / rel)))
        for log, program in logs:
            record = {}
            for line in log.read_text().splitlines():
                key, value = line.split(" ", 1)
                record.setdefault(key, []).append(_hex(value).decode("utf-8"))
            for i in range(len(record.get("path", []))):
                outcome.started.append((program, record["cmdline"][i], record["cwd"][i]))
        outcome.loaded_plants = sorted(str(p.relative_to(root))[:-len(".loaded")]
                                       for p in root.rglob("*.loaded"))
        return outcome, fill


# Wine keeps no event log: ReportEventW writes each record's type and ID to
# its "fixme" line, and its strings to the eventlog channel, as errors or
# warnings by the record's type.
EVENT_LOG_DEBUG = "-all,+eventlog,fixme+advapi"
_REPORT = re.compile(r"^(?:[0-9a-f]+:)*fixme:advapi:ReportEventW "
                     r"\(\w+,0x([0-9a-f]+),0x[0-9a-f]+,0x([0-9a-f]+),")
_REPORT_TEXT = re.compile(r'^(?:[0-9a-f]+:)*(?:err|warn|trace):eventlog:ReportEventW L"(.*)"$')


def _event_log_records(output):
    """The records written, as (type, event ID, text), from Wine's output."""
    records = []
    for line in output.splitlines():
        m = _REPORT.match(line)
        if m:
            records.append((int(m.group(1), 16), int(m.group(2), 16), None))
            continue
        m = _REPORT_TEXT.match(line)
        if m and records and records[-1][2] is None:
            records[-1] = records[-1][:2] + (m.group(1).replace('\\"', '"'),)
    return records


def _command_line_entry(command_line, codec):
    try:
        return "cmdline " + command_line.encode(codec).hex()
    except UnicodeEncodeError:  # beyond the ANSI code page: handed over as UTF-8
        return "cmdline8 " + command_line.encode("utf-8").hex()


def _hex(field: str) -> bytes:
    return b"" if field == "-" else bytes.fromhex(field)


def ini(*sections):
    """setup.ini bytes (code page 932 covers ASCII) from (number, Path, PID or
    None) triples."""
    lines = []
    for number, path, pid in sections:
        lines.append("[Camera%d]" % number)
        lines.append("Path=" + path)
        if pid is not None:
            lines.append("PID=" + pid)
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


# Debian's loaders. /usr/bin/wine starts the 32-bit one whenever wine32:i386
# is installed, also for 64-bit programs, so each architecture is given its
# own; elsewhere they are looked up on PATH.
DEBIAN_LOADERS = {"x86": Path("/usr/lib/wine/wine"), "x64": Path("/usr/lib/wine/wine64")}


def pe_arch(exe: Path) -> str:
    """"x86" or "x64": the machine of a Windows executable."""
    data = Path(exe).read_bytes()[:4096]
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    (machine,) = struct.unpack_from("<H", data, pe_offset + 4)
    return "x86" if machine == 0x14C else "x64"


def wine_loader(arch: str) -> str:
    debian = DEBIAN_LOADERS[arch]
    if debian.parent.is_dir():  # Debian's layout: there or nowhere
        return str(debian)
    return shutil.which("wine" if arch == "x86" else "wine64") or "wine"


def loader_version(arch: str):
    """(Wine's version line, None) for the loader of `arch`, or (None, why it
    does not run)."""
    loader = wine_loader(arch)
    if not os.access(loader, os.X_OK):
        return None, "%s is not installed" % ("32-bit Wine (wine32:i386)" if arch == "x86"
                                              else "64-bit Wine (wine64)")
    try:
        run = subprocess.run([loader, "--version"], capture_output=True, text=True,
                             stdin=subprocess.DEVNULL, timeout=60)
    except OSError as e:
        return None, "%s cannot be started: %s" % (loader, e.strerror)
    if run.returncode != 0:
        return None, "%s --version exited with %d: %s" % (loader, run.returncode,
                                                          (run.stdout + run.stderr).strip())
    return run.stdout.strip(), None


# An i386 Linux program that exits with 0 (the one scripts/install-deps.sh
# runs): some kernels run no 32-bit programs.
I386_EXIT_0 = bytes.fromhex(
    "7f454c4601010100000000000000000002000300010000005480040834000000"
    "0000000000000000340020000100000000000000010000000000000000800408"
    "008004085b0000005b000000050000000010000031db31c040cd80")
NO_IA32 = "this kernel runs no 32-bit programs (its IA-32 emulation is off)"


def kernel_runs_i386() -> bool:
    with tempfile.TemporaryDirectory() as d:
        probe = Path(d) / "probe"
        probe.write_bytes(I386_EXIT_0)
        probe.chmod(0o755)
        try:
            return subprocess.run([str(probe)]).returncode == 0
        except OSError:
            return False


def wine32_problem():
    """Why 32-bit programs cannot run under Wine here, or None."""
    why = loader_version("x86")[1]
    if why and not kernel_runs_i386():
        why += "; " + NO_IA32
    return why
