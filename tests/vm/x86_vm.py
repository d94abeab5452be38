#!/usr/bin/env python3
"""Runs a command where 32-bit Windows programs can run under Wine.

On a kernel that runs 32-bit programs, with 32-bit Wine installed, the
command runs here. Elsewhere (a kernel with its IA-32 emulation off runs no
32-bit program, so 32-bit Wine cannot start) it runs in a Debian 12 virtual
machine under QEMU's software emulation: Debian's own kernel, which runs
32-bit programs, with wine32:i386 installed. The repository is shared into
the machine at the same path, so the command's paths hold there too; the
given work folders are fresh tmpfs folders inside the machine, as a Wine
prefix on the shared folder would be slow.

usage: x86_vm.py [--work DIR]... [--timeout S] -- COMMAND...
Exits with the command's status (77, a skip, when no way to run it exists).
The image is made once, into build/x86-vm/, by `x86_vm.py --image`.
"""
import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from winelab import wine32_problem  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
VM_DIR = ROOT / "build" / "x86-vm"
IMAGE = VM_DIR / "vm.img"
KERNEL = VM_DIR / "vmlinuz"
INITRD = VM_DIR / "initrd.img"
SKIP = 77
PACKAGES = "linux-image-amd64,python3,xvfb,wine,wine64,locales,imagemagick,procps"

# The machine's init: the shared repository, tmpfs work folders, the job,
# then power off. Its result goes to the shared folder.
INIT = r"""#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t tmpfs tmpfs /tmp
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs shm /dev/shm
modprobe 9pnet_virtio 2>/dev/null
modprobe 9p 2>/dev/null
share=$(cat /proc/cmdline | tr ' ' '\n' | sed -n 's/^camsetup.share=//p')
mkdir -p "$share"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share "$share"
export HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
job="$share/build/x86-vm/job"
while read -r work; do
  [ -n "$work" ] && mkdir -p "$work" && mount -t tmpfs tmpfs "$work"
done < "$job/work"
cd "$(cat "$job/cwd")"
sh "$job/command" > "$job/output" 2>&1
echo $? > "$job/status"
sync
echo 1 > /proc/sys/kernel/sysrq
echo o > /proc/sysrq-trigger
"""


def run(argv, **kw):
    return subprocess.run(argv, check=True, **kw)


def apt_archive():
    """The Debian archive that this machine's apt takes bookworm from (a
    mirror, say), and the HTTP proxy that apt goes through; None where apt
    names neither, and debootstrap then uses its own default."""
    archive = None
    try:
        targets = subprocess.run(
            ["apt-get", "indextargets", "--format", "$(REPO_URI) $(RELEASE) $(TARGET_OF)"],
            capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        targets = ""
    for line in targets.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[1] == "bookworm" and fields[2] == "deb":
            archive = fields[0]
            break
    proxy = None
    try:
        # Prints PROXY='...' when apt has an HTTP proxy set.
        out = subprocess.run(["apt-config", "shell", "PROXY", "Acquire::http::Proxy"],
                             capture_output=True, text=True, check=True).stdout.strip()
        if out.startswith("PROXY="):
            proxy = shlex.split(out[len("PROXY="):])[0] or None
    except (OSError, subprocess.CalledProcessError, IndexError, ValueError):
        pass
    return archive, proxy


def make_image():
    """Debian 12 with its kernel, Wine and 32-bit Wine, as an ext4 image."""
    if IMAGE.exists():
        return
    VM_DIR.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=VM_DIR) as tmp:
        rootfs = Path(tmp) / "rootfs"
        log = open(VM_DIR / "image.log", "ab")
        started = time.monotonic()
        archive, proxy = apt_archive()
        env = dict(os.environ)
        if proxy and proxy.upper() != "DIRECT":
            env["http_proxy"] = proxy
        run(["debootstrap", "--variant=minbase", "--include=" + PACKAGES, "bookworm",
             str(rootfs)] + ([archive] if archive else []), stdout=log, stderr=log, env=env)
        mounts = []
        try:
            for fs in ("proc", "sys", "dev"):
                run(["mount", "--bind", "/" + fs, str(rootfs / fs)])
                mounts.append(rootfs / fs)
            # Its maintainer scripts run here, where i386 programs cannot: the
            # few that try fail without harm to what the tests use.
            run(["chroot", str(rootfs), "sh", "-c",
                 "dpkg --add-architecture i386 && apt-get update -q && "
                 "DEBIAN_FRONTEND=noninteractive apt-get install -y -q wine32:i386"],
                stdout=log, stderr=log, env=env)
        finally:
            for m in reversed(mounts):
                subprocess.run(["umount", str(m)])
        (rootfs / "camsetup-init").write_text(INIT)
        (rootfs / "camsetup-init").chmod(0o755)
        boot = rootfs / "boot"
        shutil.copyfile(sorted(boot.glob("vmlinuz-*"))[-1], KERNEL)
        shutil.copyfile(sorted(boot.glob("initrd.img-*"))[-1], INITRD)
        partial = VM_DIR / "vm.img.partial"
        run(["mkfs.ext4", "-q", "-F", "-d", str(rootfs), "-L", "camsetup-vm", str(partial), "6G"],
            stdout=log, stderr=log)
        partial.rename(IMAGE)
        print("x86 VM image made in %.0f s: %s" % (time.monotonic() - started, IMAGE))


def run_in_vm(command, works, timeout):
    make_image()
    job = VM_DIR / "job"
    shutil.rmtree(job, ignore_errors=True)
    job.mkdir(parents=True)
    (job / "command").write_text(shlex.join(command) + "\n")
    (job / "cwd").write_text(os.getcwd() + "\n")
    (job / "work").write_text("".join(str(Path(w).resolve()) + "\n" for w in works))
    console = VM_DIR / "console.log"
    argv = ["qemu-system-x86_64", "-accel", "tcg,thread=multi", "-smp", "2", "-m", "4096",
            "-kernel", str(KERNEL), "-initrd", str(INITRD),
            "-append", "root=/dev/vda rw init=/camsetup-init console=ttyS0 quiet panic=1 "
                       "camsetup.share=" + str(ROOT),
            "-drive", "file=%s,format=raw,if=virtio" % IMAGE, "-snapshot",
            "-virtfs", "local,path=%s,mount_tag=share,security_model=none,id=share" % ROOT,
            "-nographic", "-no-reboot"]
    started = time.monotonic()
    with open(console, "wb") as out:
        try:
            subprocess.run(argv, stdout=out, stderr=out, stdin=subprocess.DEVNULL,
                           timeout=timeout)
        except subprocess.TimeoutExpired:
            print("the x86 VM did not end within %d s; console: %s" % (timeout, console))
            return 1
    output = (job / "output").read_text(errors="replace") if (job / "output").exists() else ""
    sys.stdout.write(output)
    if not (job / "status").exists():
        print("the x86 VM ended without a result after %.0f s; console: %s"
              % (time.monotonic() - started, console))
        return 1
    print("(run in the x86 VM, QEMU software emulation: %.0f s)" % (time.monotonic() - started))
    return int((job / "status").read_text())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--image", action="store_true", help="only make the image")
    parser.add_argument("--work", action="append", default=[])
    parser.add_argument("--timeout", type=int, default=3600)
    parser.add_argument("command", nargs="*")
    args = parser.parse_args()
    if args.image:
        make_image()
        return 0
    if wine32_problem() is None:
        return subprocess.run(args.command).returncode
    missing = [t for t in ("qemu-system-x86_64", "debootstrap", "mkfs.ext4")
               if shutil.which(t) is None]
    if missing:
        print("SKIPPED: 32-bit programs cannot run here, and the x86 VM needs " +
              ", ".join(missing))
        return SKIP
    sys.stdout.flush()
    return run_in_vm(args.command, args.work, args.timeout)


if __name__ == "__main__":
    sys.exit(main())
