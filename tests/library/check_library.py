#!/usr/bin/env python3
"""The shared library as C programs get it: `cmake --install` of the library
and library-dev components into a scratch prefix, then
 - libquorvane.so.1 carries the SONAME libquorvane.so.1 and the .so link
   points to it;
 - only C headers are installed, and each compiles alone as C11 with
   -pedantic -Wall -Wextra -Werror;
 - the dynamic symbols the library defines are exactly the functions and
   variables the installed headers declare: nothing internal leaks out,
   nothing declared is missing.

usage: check_library.py BUILD_DIR C_COMPILER"""

import os
import re
import shutil
import subprocess
import sys
import tempfile


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


def declared_names(cc, include, header):
    """Names of the functions and variables a header declares, read from its
    preprocessed text as a C compiler sees it (its own lines only). The
    public headers hold plain prototypes, extern variables and typedef'd
    structs; anything this cannot read shows up as a mismatch below."""
    path = os.path.realpath(os.path.join(include, header))
    p = run([cc, "-std=c11", "-E", "-I", include, "-x", "c", path])
    if p.returncode != 0:
        raise SystemExit("cannot preprocess %s: %s" % (header, p.stderr))
    own, current = [], None
    for line in p.stdout.splitlines():
        marker = re.match(r'# \d+ "(.*)"', line)
        if marker:
            current = os.path.realpath(marker.group(1)) if os.path.isabs(marker.group(1)) else None
        elif current == path and not line.startswith("#"):
            own.append(line)
    text = " ".join(own)
    while True:  # struct bodies, innermost first
        stripped = re.sub(r"\{[^{}]*\}", " ", text)
        if stripped == text:
            break
        text = stripped
    names = set()
    for statement in text.split(";"):
        statement = " ".join(statement.split())
        if not statement or statement.startswith("typedef"):
            continue
        m = re.search(r"(\w+)\s*\(", statement) or re.search(r"(\w+)\s*(\[[^\]]*\]\s*)*$", statement)
        if not m:
            raise SystemExit("cannot read a declaration in %s: %s" % (header, statement))
        names.add(m.group(1))
    return names


def main():
    build_dir, cc = sys.argv[1], sys.argv[2]
    failures = []
    prefix = tempfile.mkdtemp(prefix="qv-library-")
    try:
        for component in ("library", "library-dev"):
            p = run(["cmake", "--install", build_dir, "--prefix", prefix, "--component", component])
            if p.returncode != 0:
                raise SystemExit("cmake --install --component %s failed: %s" % (component, p.stderr))

        by_name = {f: os.path.join(d, f) for d, _, fs in os.walk(prefix) for f in fs
                   if f.startswith("libquorvane.so")}
        real = by_name.get("libquorvane.so.1")
        link = by_name.get("libquorvane.so")
        if not real or not link:
            raise SystemExit("installed library files: %r" % sorted(by_name))
        if os.path.realpath(link) != os.path.realpath(real):
            failures.append("libquorvane.so does not lead to libquorvane.so.1")
        dyn = run(["objdump", "-p", real]).stdout
        soname = re.search(r"SONAME\s+(\S+)", dyn)
        if not soname or soname.group(1) != "libquorvane.so.1":
            failures.append("SONAME is %r" % (soname and soname.group(1)))

        include = os.path.join(prefix, "include", "quorvane")
        headers = sorted(os.path.relpath(os.path.join(d, f), include)
                         for d, _, fs in os.walk(include) for f in fs)
        declared = set()
        for h in headers:
            if not h.endswith(".h"):
                failures.append("installed header is not a C header: " + h)
                continue
            # The extra declaration keeps a header of macros only from being
            # an empty translation unit, which ISO C forbids.
            source = '#include "%s"\ntypedef int quorvane_header_check;\n' % h
            p = run([cc, "-std=c11", "-pedantic", "-Wall", "-Wextra", "-Werror", "-fsyntax-only",
                     "-I", include, "-x", "c", "-"], input=source)
            if p.returncode != 0:
                failures.append("%s does not compile alone as C11:\n%s" % (h, p.stderr))
            declared |= declared_names(cc, include, h)
        if "trace_file.h" in headers:
            failures.append("the trace file's header is installed")

        nm = run(["nm", "-D", "--defined-only", real])
        exported = set()
        for line in nm.stdout.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] != "A":  # A: the version node itself
                exported.add(parts[2].split("@")[0])
        for name in sorted(exported - declared):
            failures.append("exported but not declared by a public header: " + name)
        for name in sorted(declared - exported):
            failures.append("declared by a public header but not exported: " + name)
        print("%d headers, %d declared, %d exported" % (len(headers), len(declared), len(exported)))
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
