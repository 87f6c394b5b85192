#!/usr/bin/env python3
"""The driver's installation and the Debian packages.

`cmake --install --component driver` puts the filter where CUPS looks for
filters (0755) and the PPDs under /usr/share/ppd/quorvane. The packages are
built with `dpkg-buildpackage -us -uc -b` from a copy of the source tree
(it writes next to the tree it builds, and this test leaves the source
alone), checked for their contents and version, and must be lintian clean (no
error, no warning). As root, on a machine where none of them is installed
yet, they are installed for real: cupstestppd passes the installed PPDs, a
private scheduler's `lpinfo -m` lists the models, a job runs through the
installed filter and preview, a C program builds against libquorvane-dev
with pkg-config alone and runs, and everything removes cleanly.

A sanitizer build packs the very same sources as the plain one, so there
only the cmake --install part runs."""

import glob
import os
import pwd
import shutil
import stat
import subprocess
import sys

import cupstest as ct
from scheduler_jobs import Scheduler

PPDS = ["qv4tspl.ppd", "qv4tspl3.ppd", "qv58r180.ppd", "qv58rcpt.ppd", "qv80r180.ppd", "qv80rcpt.ppd",
        "qvorxlbl.ppd"]
NICKNAMES = {"qv80rcpt.ppd": "quorvane 80mm Receipt Printer (ESC/POS)",
             "qv58rcpt.ppd": "quorvane 58mm Receipt Printer (ESC/POS)",
             "qv80r180.ppd": "quorvane 80mm Receipt Printer 180 dpi (ESC/POS)",
             "qv58r180.ppd": "quorvane 58mm Receipt Printer 180 dpi (ESC/POS)",
             "qv4tspl.ppd": "quorvane 4in TSPL Label Printer",
             "qv4tspl3.ppd": "quorvane 4in TSPL Label Printer 300 dpi",
             "qvorxlbl.ppd": "quorvane ORX Label Printer"}
PACKAGES = ["printer-driver-quorvane", "libquorvane1", "libquorvane-dev", "quorvane-tools",
            "quorvane-printer-app"]
SOURCE_DIR = os.environ.get("QV_SOURCE_DIR", "")
VERSION = os.environ.get("QV_VERSION", "")
C_EXAMPLE = os.environ.get("QV_C_EXAMPLE", "")
FILTER_DIR = "/usr/lib/cups/filter"


def mode_of(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def check_destdir_install(work, fails):
    dest = os.path.join(work, "destdir")
    env = ct.env_c()
    env["DESTDIR"] = dest
    p = ct.run(["cmake", "--install", ct.BUILD_DIR, "--component", "driver"], env=env)
    if not fails.check(p.returncode == 0, "cmake --install failed: %s" % p.stderr.decode()):
        return
    filt = dest + FILTER_DIR + "/quorvane"
    if fails.check(os.path.isfile(filt), "no filter at %s/quorvane" % FILTER_DIR):
        fails.check(mode_of(filt) == 0o755, "filter mode is %o, not 755" % mode_of(filt))
        if os.getuid() == 0:
            fails.check(os.stat(filt).st_uid == 0, "filter is not root-owned")
    installed = sorted(os.listdir(dest + "/usr/share/ppd/quorvane")) \
        if os.path.isdir(dest + "/usr/share/ppd/quorvane") else []
    fails.check(installed == PPDS, "PPDs installed: %r" % installed)
    for name in installed:
        fails.check(mode_of(dest + "/usr/share/ppd/quorvane/" + name) == 0o644, "%s mode" % name)
    print("ok: cmake --install", flush=True)


def copy_source(dest):
    """The source tree without build trees, VCS data or a former package
    build's leftovers in debian/."""
    build = os.path.realpath(ct.BUILD_DIR)

    def ignore(directory, names):
        skip = set()
        for n in names:
            path = os.path.realpath(os.path.join(directory, n))
            if path == build:
                skip.add(n)
            elif os.path.realpath(directory) == os.path.realpath(SOURCE_DIR):
                if n == ".git" or n == "out" or n.startswith(("build", "obj-")):
                    skip.add(n)
            elif os.path.basename(directory) == "debian" and (
                    (os.path.isdir(path) and n != "source") or n == "files" or
                    n.endswith((".substvars", ".debhelper", "-build-stamp", ".log"))):
                skip.add(n)
        return skip

    shutil.copytree(SOURCE_DIR, dest, symlinks=True, ignore=ignore)


def deb_entries(deb):
    entries = {}
    for line in ct.run(["dpkg-deb", "-c", deb]).stdout.decode().splitlines():
        parts = line.split()
        path = parts[5].lstrip(".")
        entries[path.rstrip("/") or "/"] = (parts[0], parts[1], parts[7] if len(parts) > 7 else None)
    return entries


def build_packages(work, fails):
    """The packages' paths by name, or None when the build failed."""
    src = os.path.join(work, "quorvane")
    copy_source(src)
    env = ct.env_c()
    env.setdefault("DEB_BUILD_OPTIONS", "parallel=%d" % min(2, os.cpu_count() or 1))
    p = subprocess.run(["dpkg-buildpackage", "-us", "-uc", "-b"], cwd=src, env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if not fails.check(p.returncode == 0, "dpkg-buildpackage failed:\n%s" % p.stdout.decode()[-4000:]):
        return None
    debs = {}
    for path in glob.glob(os.path.join(work, "*.deb")):
        debs[os.path.basename(path).split("_")[0]] = path
    expected = PACKAGES + [p + "-dbgsym" for p in PACKAGES if p != "libquorvane-dev"]
    if not fails.check(sorted(debs) == sorted(expected), "packages built: %r" % sorted(debs)):
        return None
    for name in PACKAGES:
        version = ct.run(["dpkg-deb", "-f", debs[name], "Version"]).stdout.decode().strip()
        fails.check(version == VERSION, "%s has version %s, the project %s" % (name, version, VERSION))

    def has(package, path, mode=None):
        entry = deb_entries(debs[package]).get(path)
        if fails.check(entry is not None, "%s lacks %s" % (package, path)) and mode:
            fails.check(entry[:2] == (mode, "root/root"), "%s: %s is %r" % (package, path, entry))

    has("printer-driver-quorvane", FILTER_DIR + "/quorvane", "-rwxr-xr-x")
    for name in PPDS:
        has("printer-driver-quorvane", "/usr/share/ppd/quorvane/" + name, "-rw-r--r--")
    for tool in ("quorvane-preview", "quorvane-make-raster"):
        has("quorvane-tools", "/usr/bin/" + tool, "-rwxr-xr-x")
        has("quorvane-tools", "/usr/share/man/man1/%s.1.gz" % tool, "-rw-r--r--")
    has("quorvane-printer-app", "/usr/sbin/quorvane-printer-app", "-rwxr-xr-x")
    has("quorvane-printer-app", "/lib/systemd/system/quorvane-printer-app.service", "-rw-r--r--")
    has("quorvane-printer-app", "/usr/share/man/man8/quorvane-printer-app.8.gz", "-rw-r--r--")
    lib = deb_entries(debs["libquorvane1"])
    fails.check(any(p.endswith("/libquorvane.so.1") and e[2] == "libquorvane.so.%s" % VERSION
                    for p, e in lib.items()), "libquorvane1 lacks libquorvane.so.1")
    dev = deb_entries(debs["libquorvane-dev"])
    for wanted in ("/usr/include/quorvane/img2esccmd.h", "/usr/include/quorvane/text_utils.h"):
        fails.check(wanted in dev, "libquorvane-dev lacks " + wanted)
    fails.check(any(p.endswith("/pkgconfig/quorvane.pc") for p in dev), "libquorvane-dev lacks quorvane.pc")
    fails.check(any(p.endswith("/libquorvane.so") for p in dev), "libquorvane-dev lacks libquorvane.so")
    fails.check(not any("trace_file" in p or p.endswith(".hpp") for p in dev),
                "libquorvane-dev carries internal headers")
    for name in PACKAGES:
        fails.check("/usr/share/doc/%s/copyright" % name in deb_entries(debs[name]),
                    "%s has no copyright file" % name)
    depends = ct.run(["dpkg-deb", "-f", debs["printer-driver-quorvane"], "Depends"]).stdout.decode()
    for dep in ("cups-filters", "ghostscript", "libcups2", "libjbig0"):
        fails.check(dep in depends, "printer-driver-quorvane does not depend on %s: %s" % (dep, depends))
    print("ok: built " + ", ".join(sorted(os.path.basename(d) for d in debs.values())), flush=True)
    return debs


def check_lintian(work, fails):
    changes = glob.glob(os.path.join(work, "*.changes"))
    p = ct.run(["lintian", "--pedantic", "-I", "-E", "--no-tag-display-limit"] + changes)
    lines = p.stdout.decode().splitlines()
    bad = [l for l in lines if l.startswith(("E:", "W:"))]
    fails.check(not bad and p.returncode == 0, "lintian:\n" + "\n".join(bad or lines))
    for l in lines:
        if not l.startswith(("E:", "W:")):
            print("lintian note: " + l)
    print("ok: lintian reports no error or warning", flush=True)


def installed(package):
    p = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return b"install ok installed" in p.stdout or b" unpacked" in p.stdout or b"half" in p.stdout


def as_lp():
    try:
        user = pwd.getpwnam("lp")
    except KeyError:
        user = pwd.getpwnam("nobody")
    os.setgroups([])
    os.setgid(user.pw_gid)
    os.setuid(user.pw_uid)


def pkg_env():
    env = ct.env_c()
    env.pop("PKG_CONFIG_PATH", None)
    env.pop("LD_LIBRARY_PATH", None)
    return env


def check_installed_files(work, fails):
    """The installed packages at work: PPDs, the scheduler's model list, a job
    through the filter and the preview, a C program against the library."""
    for name in PPDS:
        out = ct.run(["cupstestppd", "-W", "all", "/usr/share/ppd/quorvane/" + name])
        text = out.stdout.decode() + out.stderr.decode()
        fails.check(out.returncode == 0 and "WARN" not in text, "installed %s: %s" % (name, text))
    sched = Scheduler(os.path.join(work, "cups"))
    try:
        if fails.check(sched.start(), "private cupsd did not start"):
            models = sched.client("lpinfo", "-h", sched.server, "-m").stdout.decode()
            for name, nick in NICKNAMES.items():
                fails.check(any(("quorvane/" + name) in l and nick in l for l in models.splitlines()),
                            "lpinfo -m does not list %s (%s)" % (name, nick))
    finally:
        sched.stop()

    for tool in ("quorvane-preview", "quorvane-make-raster"):
        out = ct.run([tool, "--version"]).stdout.decode()
        fails.check(out == "%s %s\n" % (tool, VERSION), "%s --version: %r" % (tool, out))
    app = ct.run(["quorvane-printer-app", "--version"]).stdout.decode()
    fails.check(app == VERSION + "\n", "quorvane-printer-app --version: %r" % app)
    drivers = ct.run(["quorvane-printer-app", "drivers"]).stdout.decode()
    for name, nick in NICKNAMES.items():
        fails.check(('%s "%s"' % (name[:-4], nick)) in drivers,
                    "quorvane-printer-app drivers does not list %s: %r" % (name, drivers))

    # A receipt through the installed filter, rendered by the installed preview.
    raster, commands = os.path.join(work, "page.ras"), os.path.join(work, "page.bin")
    p = ct.run(["quorvane-make-raster", raster, "576", "400"])
    if fails.check(p.returncode == 0, "quorvane-make-raster: %s" % p.stderr.decode()):
        env = ct.env_c()
        env["PPD"] = "/usr/share/ppd/quorvane/qv80rcpt.ppd"
        with open(commands, "wb") as out:
            # As cupsd runs filters: as user lp, which cannot write root's
            # trace file.
            p = subprocess.run([FILTER_DIR + "/quorvane", "1", "user", "title", "1", "", raster],
                               stdout=out, stderr=subprocess.PIPE, env=env, preexec_fn=as_lp)
        fails.check(p.returncode == 0, "installed filter failed: %s" % p.stderr.decode()[-2000:])
        p = ct.run(["quorvane-preview", commands, os.path.join(work, "page")])
        fails.check(p.returncode == 0 and os.path.isfile(os.path.join(work, "page-001.png")),
                    "installed preview: %d %s" % (p.returncode, p.stdout.decode() + p.stderr.decode()))

    # The C example against the installed library, with pkg-config only.
    env = pkg_env()
    flags = ct.run(["pkg-config", "--cflags", "--libs", "quorvane", "libpng"], env=env)
    version = ct.run(["pkg-config", "--modversion", "quorvane"], env=env).stdout.decode().strip()
    fails.check(version == VERSION, "pkg-config --modversion quorvane: %r" % version)
    if fails.check(flags.returncode == 0, "pkg-config quorvane: %s" % flags.stderr.decode()):
        exe = os.path.join(work, "png_to_escpos")
        src = os.path.join(SOURCE_DIR, "examples", "c", "png_to_escpos.c")
        p = ct.run(["cc", "-std=c11", "-Wall", "-Wextra", "-pedantic", "-Werror", src, "-o", exe]
                   + flags.stdout.decode().split(), env=env)
        if fails.check(p.returncode == 0, "C example does not build: %s" % p.stderr.decode()):
            needed = ct.run(["objdump", "-p", exe]).stdout.decode()
            fails.check("libquorvane.so.1" in needed, "C example does not load libquorvane.so.1")
            sample = os.path.join(SOURCE_DIR, "examples", "c", "sample.png")
            mine, theirs = os.path.join(work, "installed.bin"), os.path.join(work, "in_tree.bin")
            a = ct.run([exe, "--tm88iv", sample, mine], env=env)
            b = ct.run([C_EXAMPLE, "--tm88iv", sample, theirs])
            if fails.check(a.returncode == 0 and b.returncode == 0, "C examples failed: %s %s" %
                           (a.stderr.decode(), b.stderr.decode())):
                with open(mine, "rb") as f1, open(theirs, "rb") as f2:
                    fails.check(f1.read() == f2.read(), "the installed library writes other bytes")


def check_real_install(debs, work, fails):
    if os.getuid() != 0:
        print("note: not root; the packages are not installed for real")
        return
    present = [p for p in PACKAGES + ["quorvane"] if installed(p)]
    if present:
        print("note: %s already installed here; the packages are not installed again" % present)
        return
    libdir = os.path.dirname(next(p for p in deb_entries(debs["libquorvane1"]) if "libquorvane.so" in p))
    paths = [FILTER_DIR + "/quorvane", "/usr/share/ppd/quorvane", "/usr/bin/quorvane-preview",
             "/usr/bin/quorvane-make-raster", "/usr/include/quorvane",
             libdir + "/libquorvane.so", libdir + "/libquorvane.so.1", libdir + "/pkgconfig/quorvane.pc"]
    if any(os.path.lexists(p) for p in paths):
        print("note: quorvane files are installed here outside a package; not installing")
        return
    p = ct.run(["dpkg", "-i"] + [debs[n] for n in PACKAGES])
    try:
        if fails.check(p.returncode == 0, "dpkg -i failed: %s" % p.stderr.decode()):
            check_installed_files(work, fails)
    finally:
        r = ct.run(["dpkg", "--purge"] + PACKAGES)
        fails.check(r.returncode == 0, "dpkg --purge failed: %s" % r.stderr.decode())
    for name in PACKAGES:
        fails.check(not installed(name), "%s still installed after removal" % name)
    for path in paths + ["/usr/share/doc/printer-driver-quorvane"]:
        fails.check(not os.path.lexists(path), "%s left behind after removal" % path)
    print("ok: installed, listed by lpinfo -m, used and removed", flush=True)


def main():
    missing = ct.have("cmake")
    if missing:
        print("SKIP: missing %s" % missing)
        return ct.SKIP
    fails = ct.Failures()
    work = ct.tempdir("install")
    try:
        check_destdir_install(work, fails)
        if os.environ.get("QV_SANITIZED") == "1":
            print("note: sanitizer build; the packages are built and checked by the plain build")
        elif ct.have("dpkg-buildpackage", "dh", "lintian"):
            print("note: missing %s; the packages are not built" %
                  ct.have("dpkg-buildpackage", "dh", "lintian"))
            if not fails.messages:
                return ct.SKIP
        else:
            debs = build_packages(work, fails)
            if debs:
                check_lintian(work, fails)
                check_real_install(debs, work, fails)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    fails.finish()


if __name__ == "__main__":
    sys.exit(main())
