#!/usr/bin/env python3
"""The driver's installation: `cmake --install` puts the filter where CUPS
looks for filters (root-owned, 0755) and the PPDs under
/usr/share/ppd/quorvane; the Debian package built by CPack holds the same.
As root, on a machine where quorvane is not installed yet, the package is
installed for real: cupstestppd passes the installed PPDs without a warning,
`lpinfo -m` of a private scheduler lists the models, and the package
removes cleanly."""

import os
import shutil
import stat
import subprocess
import sys
import glob

import cupstest as ct
from scheduler_jobs import Scheduler

PPDS = ["qv4tspl.ppd", "qv58rcpt.ppd", "qv80rcpt.ppd", "qvorxlbl.ppd"]
NICKNAMES = {"qv80rcpt.ppd": "quorvane 80mm Receipt Printer (ESC/POS)",
             "qv58rcpt.ppd": "quorvane 58mm Receipt Printer (ESC/POS)",
             "qv4tspl.ppd": "quorvane 4in TSPL Label Printer",
             "qvorxlbl.ppd": "quorvane ORX Label Printer"}


def mode_of(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def check_destdir_install(work, fails):
    dest = os.path.join(work, "destdir")
    env = ct.env_c()
    env["DESTDIR"] = dest
    p = ct.run(["cmake", "--install", ct.BUILD_DIR, "--component", "driver"], env=env)
    if not fails.check(p.returncode == 0, "cmake --install failed: %s" % p.stderr.decode()):
        return
    filt = dest + "/usr/lib/cups/filter/quorvane"
    if fails.check(os.path.isfile(filt), "no filter at /usr/lib/cups/filter/quorvane"):
        fails.check(mode_of(filt) == 0o755, "filter mode is %o, not 755" % mode_of(filt))
        if os.getuid() == 0:
            fails.check(os.stat(filt).st_uid == 0, "filter is not root-owned")
    installed = sorted(os.listdir(dest + "/usr/share/ppd/quorvane")) \
        if os.path.isdir(dest + "/usr/share/ppd/quorvane") else []
    fails.check(installed == PPDS, "PPDs installed: %r" % installed)
    for name in installed:
        fails.check(mode_of(dest + "/usr/share/ppd/quorvane/" + name) == 0o644, "%s mode" % name)
    print("ok: cmake --install", flush=True)


def build_package(work, fails):
    out = os.path.join(work, "package")
    p = ct.run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(ct.BUILD_DIR, "CPackConfig.cmake")])
    debs = glob.glob(os.path.join(out, "*.deb"))
    if not fails.check(p.returncode == 0 and len(debs) == 1, "cpack failed: %s %s" %
                       (p.stdout.decode()[-2000:], p.stderr.decode()[-2000:])):
        return None
    listing = ct.run(["dpkg-deb", "-c", debs[0]]).stdout.decode()
    entries = {}
    for line in listing.splitlines():
        parts = line.split()
        entries[parts[-1].lstrip(".")] = (parts[0], parts[1])
    fails.check(entries.get("/usr/lib/cups/filter/quorvane") == ("-rwxr-xr-x", "root/root"),
                "package filter entry: %r" % (entries.get("/usr/lib/cups/filter/quorvane"),))
    for name in PPDS:
        fails.check(entries.get("/usr/share/ppd/quorvane/" + name) == ("-rw-r--r--", "root/root"),
                    "package PPD %s: %r" % (name, (entries.get("/usr/share/ppd/quorvane/" + name),)))
    fails.check("/usr/share/doc/quorvane/copyright" in entries, "package has no copyright file")
    fails.check(not any(k.startswith("/usr/include") for k in entries), "package carries headers")
    depends = ct.run(["dpkg-deb", "-f", debs[0], "Depends"]).stdout.decode()
    for dep in ("cups", "cups-filters", "ghostscript", "libjbig0"):
        fails.check(dep in depends, "package does not depend on %s: %s" % (dep, depends))
    print("ok: Debian package " + os.path.basename(debs[0]), flush=True)
    return debs[0]


def installed():
    p = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "quorvane"],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return b"install ok installed" in p.stdout


def check_real_install(deb, work, fails):
    if os.getuid() != 0 or not shutil.which("dpkg"):
        print("note: not root; the package is not installed for real")
        return
    if installed():
        print("note: quorvane is already installed here; the package is not installed again")
        return
    p = ct.run(["dpkg", "-i", deb])
    try:
        if not fails.check(p.returncode == 0, "dpkg -i failed: %s" % p.stderr.decode()):
            return
        for name in PPDS:
            out = ct.run(["cupstestppd", "-W", "all", "/usr/share/ppd/quorvane/" + name])
            text = out.stdout.decode() + out.stderr.decode()
            fails.check(out.returncode == 0 and "WARN" not in text,
                        "installed %s: %s" % (name, text))
        sched = Scheduler(os.path.join(work, "cups"))
        try:
            if fails.check(sched.start(), "private cupsd did not start"):
                models = sched.client("lpinfo", "-h", sched.server, "-m").stdout.decode()
                for name, nick in NICKNAMES.items():
                    fails.check(any(("quorvane/" + name) in l and nick in l for l in models.splitlines()),
                                "lpinfo -m does not list %s (%s)" % (name, nick))
        finally:
            sched.stop()
    finally:
        r = ct.run(["dpkg", "-r", "quorvane"])
        fails.check(r.returncode == 0, "dpkg -r failed: %s" % r.stderr.decode())
    fails.check(not installed(), "quorvane still installed after dpkg -r")
    for path in ["/usr/lib/cups/filter/quorvane", "/usr/bin/quorvane-preview", "/usr/share/ppd/quorvane"]:
        fails.check(not os.path.exists(path), "%s left behind after removal" % path)
    print("ok: installed, listed by lpinfo -m and removed", flush=True)


def main():
    missing = ct.have("cmake", "cpack", "dpkg-deb")
    if missing:
        print("SKIP: missing %s" % missing)
        return ct.SKIP
    fails = ct.Failures()
    work = ct.tempdir("install")
    try:
        check_destdir_install(work, fails)
        deb = build_package(work, fails)
        if deb:
            check_real_install(deb, work, fails)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    fails.finish()


if __name__ == "__main__":
    sys.exit(main())
