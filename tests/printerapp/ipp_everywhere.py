"""CUPS's IPP Everywhere suite (ipp-everywhere.test) against a receipt and a
label printer of the application. The one check PAPPL 1.3.1 cannot pass is
allowed and named: overrides-supported (PAPPL implements no page
overrides, so the application must not claim them)."""

import os
import re
import time

import apptest as t

SUITE = "/usr/share/cups/ipptool/ipp-everywhere.test"
ALLOWED = {"EXPECTED: overrides-supported"}


def failures(output):
    """{test name: [EXPECTED/GOT lines]} of the failed tests."""
    failed, current = {}, None
    for line in output.splitlines():
        m = re.match(r"\s{4}(\S.*?)\s+\[(PASS|FAIL|SKIP)\]$", line)
        if m:
            current = m.group(1) if m.group(2) == "FAIL" else None
            if current:
                failed[current] = []
        elif current and line.strip() and not line.strip().startswith(("RECEIVED:", "status-code =")):
            failed[current].append(line.strip())
    return failed


def main():
    t.skip_unless_runnable("ipptool", SUITE)
    f = t.Failures()
    work = t.tempdir("app-ipp-everywhere")
    listener = t.Listener(work)
    pwg = os.path.join(work, "page.pwg")
    with open(pwg, "wb") as out:
        out.write(t.pwg_raster([t.receipt_gray(640, 300)]))
    with t.AppServer(work) as server:
        server.start()
        for model in ("qv80rcpt", "qv4tspl"):
            server.add_printer(model, model, "socket://127.0.0.1:%d" % listener.port)
        time.sleep(1.2)  # the suite wants a printer-up-time above 0 seconds
        for model in ("qv80rcpt", "qv4tspl"):
            p = t.run(["ipptool", "-t", "-f", pwg, server.uri(model), SUITE], timeout=240)
            output = p.stdout.decode("latin-1")
            for test, lines in failures(output).items():
                unexpected = [line for line in lines if line not in ALLOWED]
                f.check(not unexpected, "%s: %s failed: %s" % (model, test, "; ".join(unexpected)))
            f.check(re.search(r"\[PASS\]", output) is not None, "%s: the suite ran no test:\n%s" % (model, output[-2000:]))
        f.check(not server.crashed(), "the server crashed")
    listener.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
