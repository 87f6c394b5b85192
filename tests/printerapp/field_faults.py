"""The Printer Application as a shop meets it, without avahi-daemon: the
Add Printer page and `devices` work; a raster upload cut short fails at
once; a printer that takes no data (out of paper, cover open) holds its job
unfinished, with a reason shown, while other jobs are refused before they
exist; the job prints whole once the printer reads again, can be cancelled,
and outlives a stop of the server."""

import os
import pty
import select
import signal
import socket
import threading
import time
import http.client

import apptest as t

NOT_TAKING = "The printer is not taking data: out of paper, cover open or switched off?"
GET_JOBS = 0x0A


def stalling_listener(work):
    """A printer that takes no data until its `reading` is set."""
    return t.Listener(work, receive_buffer=4096, reading=threading.Event())


def printer_attrs(server, printer):
    _, got = server.ipp(printer, t.GET_PRINTER_ATTRIBUTES,
                        [("keyword", "requested-attributes", ["printer-state-reasons", "printer-state-message"])])
    return got.get("printer-state-reasons", []), got.get("printer-state-message", [""])[0]


def job_ids(server, printer):
    _, got = server.ipp(printer, GET_JOBS, [("name", "requesting-user-name", "tester"),
                                            ("keyword", "which-jobs", "all"),
                                            ("keyword", "requested-attributes", ["job-id"])])
    return got.get("job-id", [])


def wait_state(server, printer, job, states, timeout):
    deadline = time.time() + timeout
    state = ("?", [], "")
    while time.time() < deadline:
        state = t.job_state(server, printer, job)
        if state[0] in states:
            break
        time.sleep(0.1)
    return state


def without_avahi(f, server):
    status, page = server.http_get("/addprinter")
    f.check(status == 200 and b"device_uri" in page, "Add Printer: HTTP %d" % status)
    f.check(not server.crashed() and server.http_get("/")[0] == 200, "Add Printer: the server went down")
    if os.path.exists("/run/avahi-daemon/socket"):
        return  # avahi runs here: nothing to say of its absence
    f.check(b"avahi-daemon is not running" in page, "Add Printer: no word that discovery needs avahi")
    p = server.cli("devices")
    f.check(p.returncode == 0 and b"avahi-daemon is not running" in p.stderr,
            "devices: exit %d, %s" % (p.returncode, p.stderr[-300:]))


def cut_uploads(f, server, listener):
    """Chunked uploads (as ipptool and CUPS send them) cut short: each is
    answered at once, fails, and sends the printer nothing."""
    doc = t.pwg_raster([t.receipt_gray(640, 300)])
    request = t.encode_request(t.PRINT_JOB, 7000, server.uri("ref"), [("name", "requesting-user-name", "tester"),
                                                                       ("mime", "document-format", "image/pwg-raster")])
    before = len(listener.captures)
    for fraction in (0.1, 0.5, 0.99):
        body = request + doc[:int(len(doc) * fraction)]
        c = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
        started = time.time()
        try:
            c.request("POST", "/ipp/print/ref", body=iter([body]), headers={"Content-Type": "application/ipp"},
                      encode_chunked=True)
            status, got = t.decode_response(c.getresponse().read())
        except OSError as e:
            status, got = None, str(e)
        finally:
            c.close()
        took = time.time() - started
        job = got.get("job-id", [0])[0] if isinstance(got, dict) else 0
        state = t.wait_job(server, "ref", job, 10) if job else ("none",)
        f.check(took < 3 and state[0] == "aborted",
                "cut at %d%%: answered after %.1f s (%s), job %s" % (fraction * 100, took, status, state))
    time.sleep(0.5)
    f.check(len(listener.captures) == before, "cut uploads: the printer got bytes")


def stalled_printer(f, server, work, png, reference):
    """One stalled printer holds its job and tells why; the job prints whole
    on release. A second one's job is cancelled; a third's outlives a stop."""
    stuck = {name: stalling_listener(work) for name in ("held", "cancelled", "kept")}
    for name, listener in stuck.items():
        server.add_printer(name, "qv80rcpt", "socket://127.0.0.1:%d" % listener.port)
    closed = socket.socket()  # bound, not listening: the printer is switched off
    closed.bind(("127.0.0.1", 0))
    server.add_printer("off", "qv80rcpt", "socket://127.0.0.1:%d" % closed.getsockname()[1])
    jobs = {}
    for name in list(stuck) + ["off"]:
        status, jobs[name] = t.print_job(server, name, png, "image/png")
        f.check(status < 0x100 and jobs[name], "%s: Print-Job status 0x%x" % (name, status))
    started = time.time()
    reason_after = None
    while time.time() - started < 20:
        reasons, message = printer_attrs(server, "held")
        if "offline" in reasons and message == NOT_TAKING:
            reason_after = time.time() - started
            break
        time.sleep(0.25)
    print("stalled printer: its reason shown %.1f s after the job began" % (reason_after or -1))
    f.check(reason_after is not None, "held: no offline reason and message (%s)" % (printer_attrs(server, "held"),))
    state = t.job_state(server, "held", jobs["held"])
    f.check(state[0] == "processing" and NOT_TAKING in state[2], "held: the job is %s" % (state,))

    # A job sent meanwhile is refused before it exists: nothing aborted.
    status, _ = t.print_job(server, "held", png, "image/png")
    f.check(status == 0x0507, "held: a second job got status 0x%x, not server-error-busy" % status)
    f.check(job_ids(server, "held") == [jobs["held"]], "held: jobs %s" % job_ids(server, "held"))

    reasons, message = printer_attrs(server, "off")
    f.check("offline" in reasons and "cannot be reached" in message, "off: the printer shows %s" % ((reasons, message),))
    for name in ("cancelled", "off"):
        cancel_at = time.time()
        server.ipp(name, t.CANCEL_JOB, [("name", "requesting-user-name", "tester"), ("integer", "job-id", jobs[name])])
        state = wait_state(server, name, jobs[name], ("canceled", "aborted", "completed"), 10)
        f.check(state[0] == "canceled" and time.time() - cancel_at < 5,
                "%s: %s after %.1f s" % (name, state, time.time() - cancel_at))
    closed.close()

    stuck["held"].reading.set()
    state = t.wait_job(server, "held", jobs["held"], 30)
    f.check(state[0] == "completed", "held: after release the job is %s" % (state,))
    capture = t.wait_capture(stuck["held"], 1)
    f.check(capture and t.read(capture) == reference, "held: the printer did not get the job whole")
    f.check(printer_attrs(server, "held") == (["none"], "Idle."),
            "held: reasons after printing %s" % (printer_attrs(server, "held"),))

    # A stop while the job waits: quick, and the job comes back.
    stop_at = time.time()
    server.proc.send_signal(signal.SIGTERM)
    try:
        server.proc.wait(10)
    except Exception:
        pass
    f.check(server.proc.poll() is not None and time.time() - stop_at < 5,
            "SIGTERM: the server took %.1f s" % (time.time() - stop_at))
    server.proc = None
    server.start()
    stuck["kept"].reading.set()
    deadline = time.time() + 30
    while time.time() < deadline and not job_ids(server, "kept"):
        time.sleep(0.2)
    kept = job_ids(server, "kept")
    f.check(len(kept) == 1, "kept: after the restart the printer has jobs %s" % kept)
    if kept:
        state = t.wait_job(server, "kept", kept[0], 30)
        f.check(state[0] == "completed", "kept: the job is %s" % (state,))
        # The first connection has what the printer's buffers took before
        # the stop; the job comes whole on the second.
        capture = t.wait_capture(stuck["kept"], 2)
        f.check(capture and t.read(capture) == reference, "kept: the printer did not get the job whole")
    spool = os.path.join(work, "spool")
    time.sleep(0.5)
    f.check(os.listdir(spool) == [], "spool: files left %s" % os.listdir(spool))


def serial_printer(f, server, png, reference):
    """A printer on a serial line at 115200 baud with a 4 KB buffer that
    prints slower than the line carries and drops what overflows: with
    XON/XOFF the receipt arrives whole."""
    master, slave = pty.openpty()  # the test keeps its side of the line open
    server.add_printer("serial", "qv80rcpt", "serial:%s?baud=115200+flow=soft" % os.ttyname(slave))
    got, dropped, done = [], [0], threading.Event()

    def printer():
        held, last, stopped = 0.0, time.time(), False
        while not done.is_set():
            now = time.time()
            held, last = max(0.0, held - (now - last) * 8000), now  # prints 8 KB/s
            if stopped and held < 1024:
                os.write(master, b"\x11")
                stopped = False
            if not select.select([master], [], [], 0.01)[0]:
                continue
            data = os.read(master, 65536)
            room = int(4096 - held)
            got.append(data[:room])
            dropped[0] += max(0, len(data) - room)
            held += min(len(data), room)
            if held >= 3072 and not stopped:
                os.write(master, b"\x13")
                stopped = True

    thread = threading.Thread(target=printer, daemon=True)
    thread.start()
    status, job = t.print_job(server, "serial", png, "image/png")
    state = t.wait_job(server, "serial", job, 60)
    done.set()
    thread.join(5)
    f.check(state[0] == "completed", "serial: the job is %s" % (state,))
    f.check(dropped[0] == 0 and b"".join(got) == reference,
            "serial: %d bytes dropped, %d of %d arrived" % (dropped[0], len(b"".join(got)), len(reference)))
    os.close(master)
    os.close(slave)


def main():
    t.skip_unless_runnable()
    f = t.Failures()
    work = t.tempdir("field")
    listener = t.Listener(work)
    server = t.AppServer(work)
    try:
        server.start()
        server.add_printer("ref", "qv80rcpt", "socket://127.0.0.1:%d" % listener.port)
        png = t.png_gray(t.receipt_gray(576, 600))
        reference = t.print_and_capture(server, "ref", listener, png, "image/png")
        f.check(reference is not None and len(reference) > 8192, "reference: the picture did not print")
        without_avahi(f, server)
        cut_uploads(f, server, listener)
        serial_printer(f, server, png, reference)
        stalled_printer(f, server, work, png, reference)
    finally:
        server.stop()
        listener.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
