#!/usr/bin/env python3
"""cupstestppd passes every generated PPD without a single warning once the
filter is where the PPD says, and each PPD carries what the filter and the
raster chain need."""

import os
import shutil
import sys

import cupstest as ct

MODELS = {
    "qv80rcpt.ppd": {"MaxPrintableWidth": "576", "conversion option": True},
    "qv58rcpt.ppd": {"MaxPrintableWidth": "384", "conversion option": True},
    "qv80r180.ppd": {"MaxPrintableWidth": "512", "conversion option": True},
    "qv58r180.ppd": {"MaxPrintableWidth": "360", "conversion option": True},
    "qv4tspl3.ppd": {"MaxPrintableWidth": "1248", "ImageCmdConversionAlgorithm": "4"},
    "qv4tspl.ppd": {"MaxPrintableWidth": "832", "ImageCmdConversionAlgorithm": "4"},
    "qvorxlbl.ppd": {"MaxPrintableWidth": "576", "ImageCmdConversionAlgorithm": "6"},
}


def main():
    if ct.have("cupstestppd"):
        print("SKIP: cupstestppd is missing (scripts/setup.sh installs cups-client)")
        return ct.SKIP
    fails = ct.Failures()
    root = ct.tempdir("ppdcheck")
    try:
        # cupstestppd -R looks for the filter under this root.
        filter_dir = os.path.join(root, ct.SYSTEM_SERVERBIN.lstrip("/"), "filter")
        os.makedirs(filter_dir)
        shutil.copyfile(ct.FILTER, os.path.join(filter_dir, "quorvane"))
        os.chmod(os.path.join(filter_dir, "quorvane"), 0o755)
        for name, facts in MODELS.items():
            path = ct.ppd(name)
            p = ct.run(["cupstestppd", "-W", "all", "-R", root, path])
            out = p.stdout.decode("latin-1") + p.stderr.decode("latin-1")
            fails.check(p.returncode == 0 and "PASS" in out, "%s does not pass:\n%s" % (name, out))
            fails.check("WARN" not in out, "%s has warnings:\n%s" % (name, out))
            with open(path, encoding="latin-1") as f:
                text = f.read()
            fails.check('*cupsFilter2: "application/vnd.cups-raster application/vnd.cups-raw 0 quorvane"'
                        in text, "%s: no cupsFilter2 line for quorvane" % name)
            fails.check("/cupsColorSpace 3/cupsColorOrder 0" in text and "/cupsBitsPerColor 8" in text,
                        "%s: the colour model does not ask for 8-bit K" % name)
            fails.check('*MaxPrintableWidth: "%s"' % facts["MaxPrintableWidth"] in text,
                        "%s: MaxPrintableWidth is not %s" % (name, facts["MaxPrintableWidth"]))
            if "ImageCmdConversionAlgorithm" in facts:
                fails.check('*ImageCmdConversionAlgorithm: "%s"' % facts["ImageCmdConversionAlgorithm"] in text,
                            "%s: conversion is not fixed to %s" % (name, facts["ImageCmdConversionAlgorithm"]))
            else:
                fails.check("*OpenUI *ImageCmdConversionAlgorithm" in text,
                            "%s: no image transfer option" % name)
            fails.check("*cupsSNMPSupplies: False" in text, "%s: SNMP supply polling is on" % name)
            fails.check("*CustomPageSize True" in text, "%s: no custom page size" % name)
            print("ok: " + name, flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    fails.finish()


if __name__ == "__main__":
    sys.exit(main())
