#!/usr/bin/env python3
"""A scripted POP3 server for the faults no real server produces on demand.

    scripted_pop3.py SCENARIO [--connections N] [--lifetime SECONDS]

prints the port it listens on (127.0.0.1), serves up to N connections (one
at a time, default 1) with the scenario and exits after the last one or after
--lifetime seconds (default 30), whichever comes first. Importable:
serve(scenario, ...) and SCENARIOS.

Every scenario serves the mailbox MAILS (user "user", password "pass"; APOP
digest accepted for that password) and changes one thing:

  ok            plain good session
  greeting-err  "-ERR" greeting
  user-err      USER refused
  pass-err      PASS refused
  apop-err      APOP refused
  stat-err      STAT refused
  list-err      LIST refused
  top-err       TOP refused
  lower-ok      "+ok" in lower case for LIST
  top-split     every TOP reply written a few bytes at a time
  chunk-8192    the TOP reply of mail 1 written as exactly 8192 bytes, the
                terminator cut after "\\r\\n.", then the rest
  silent        never answers after the login (STAT gets nothing)
  close         closes the connection instead of answering STAT
  stls-inject   answers STLS with "+OK" and, in the same write, a line that
                would be read as the first reply over TLS (a command
                injection); no TLS follows
  close-top     closes the connection in the middle of the first TOP reply
  quit-close    closes the connection instead of answering QUIT
  endless-header  answers TOP with a header that never ends, as fast as the
                socket takes it, until the client goes away
  endless-line  answers LIST with a line that never ends (no CR LF), likewise
  uidl-flood    announces PIPELINING and UIDL, claims 4,500,000 mails in its
                STAT reply and answers UIDL with a listing to match (about
                62 MB), as fast as the socket takes it, until the client goes
                away

The pipe-* scenarios serve PIPE_MAILS (twelve mails, some headers longer
than one read) and announce PIPELINING and UIDL in their CAPA reply (the
others refuse CAPA, as an RFC 1939 server does):

  pipe-merged   replies held back until every command received so far is
                answered, then written in one go (many replies per read)
  pipe-split    every multi-line reply written a few bytes at a time
  pipe-list-err LIST 5 refused (a negative reply in the middle of a batch)
  pipe-top-err  TOP 7 refused
  pipe-close    closes the connection when TOP 6 arrives, after answering
                everything before it
"""

import argparse
import hashlib
import select
import socket
import sys
import threading
import time

GREETING_STAMP = "<1896.697170952@scripted.example>"
USER, PASSWORD = "user", "pass"


def _mail(i, size_hint=0):
    lines = ["Received: from relay%d.example by mx.example" % i,
             "From: sender%d@example.com" % i,
             "To: user@example.com",
             "Subject: test %d" % i,
             "Message-ID: <scripted%d@example.com>" % i]
    return "\r\n".join(lines) + "\r\n\r\nbody %d\r\n" % i


MAILS = [_mail(1), _mail(2)]


def _pipe_mail(i):
    mail = _mail(i)
    if i % 4 == 0:  # a header longer than one 8192-byte read
        mail = mail.replace("To: user@example.com", "To: user@example.com\r\nX-Long: " + "L" * (9000 + i), 1)
    return mail


PIPE_MAILS = [_pipe_mail(i) for i in range(1, 13)]


def _big_header_mail():
    # Header lines filling most of an 8192-byte read; the TOP reply is padded
    # to the exact size when it is sent.
    head = ["From: big@example.com", "Subject: big"]
    n = 0
    while sum(len(h) + 2 for h in head) < 7900:
        head.append("X-Filler-%03d: %s" % (n, "y" * 60))
        n += 1
    return "\r\n".join(head) + "\r\n\r\nbody\r\n"


SCENARIOS = {
    "ok": {}, "greeting-err": {}, "user-err": {}, "pass-err": {}, "apop-err": {},
    "stat-err": {}, "list-err": {}, "top-err": {}, "lower-ok": {}, "top-split": {},
    "chunk-8192": {}, "silent": {}, "close": {}, "close-top": {}, "quit-close": {},
    "endless-header": {}, "endless-line": {}, "stls-inject": {}, "uidl-flood": {},
    "pipe-merged": {}, "pipe-split": {}, "pipe-list-err": {}, "pipe-top-err": {}, "pipe-close": {},
}


def _flood(conn, first, filler):
    """Sends `first`, then `filler` again and again until the peer is gone."""
    _send(conn, first)
    data = filler.encode("latin-1") * max(1, 65536 // len(filler))
    conn.settimeout(30)
    while True:
        conn.sendall(data)


FLOOD_MAILS = 4500000


def _uidl_flood(conn):
    """The +OK line and then one id line per claimed mail, in large writes."""
    _send(conn, "+OK\r\n")
    conn.settimeout(30)
    n = 1
    while n <= FLOOD_MAILS:
        last = min(FLOOD_MAILS, n + 4999)
        conn.sendall("".join("%d 00000000%08x\r\n" % (i, i) for i in range(n, last + 1)).encode("ascii"))
        n = last + 1
    _send(conn, ".\r\n")


def top_reply(mail):
    """+OK line, header lines, blank line, terminator (no byte-stuffing needed
    for these mails)."""
    header = mail.split("\r\n\r\n", 1)[0]
    return "+OK\r\n" + header + "\r\n\r\n.\r\n"


def mails_for(scenario):
    if scenario.startswith("pipe-"):
        return PIPE_MAILS
    if scenario == "chunk-8192":
        return [_big_header_mail(), _mail(2)]
    return MAILS


def _send(conn, text):
    conn.sendall(text.encode("latin-1"))


class _Lines:
    """Command lines of a connection; tells whether more are already here."""

    def __init__(self, conn):
        self.conn = conn
        self.buf = b""

    def readline(self):
        while b"\n" not in self.buf:
            data = self.conn.recv(65536)
            if not data:
                rest, self.buf = self.buf, b""
                return rest
            self.buf += data
        line, _, self.buf = self.buf.partition(b"\n")
        return line + b"\n"

    def more_waiting(self):
        if b"\n" in self.buf:
            return True
        r, _, _ = select.select([self.conn], [], [], 0.05)
        return bool(r)


class _PipeConn:
    """Writes replies as a pipe-* scenario wants them: merged until no
    command is waiting, or multi-line ones a few bytes at a time (a
    single-line reply stays whole: the one-by-one sequence does not join
    one that arrives in pieces)."""

    def __init__(self, conn, lines, scenario):
        self.conn, self.lines, self.scenario = conn, lines, scenario
        self.held = ""

    def sendall(self, data):
        text = data.decode("latin-1")
        if self.scenario == "pipe-split" and text.count("\r\n") > 1:
            for i in range(0, len(text), 7):
                self.conn.sendall(text[i:i + 7].encode("latin-1"))
                time.sleep(0.001)
            return
        self.held += text
        if self.scenario != "pipe-merged" or not self.lines.more_waiting():
            self.flush()

    def flush(self):
        if self.held:
            self.conn.sendall(self.held.encode("latin-1"))
            self.held = ""


def _session(conn, scenario):
    mails = mails_for(scenario)
    f = _Lines(conn)
    if scenario.startswith("pipe-"):
        conn = _PipeConn(conn, f, scenario)
    if scenario == "greeting-err":
        _send(conn, "-ERR server busy\r\n")
    else:
        _send(conn, "+OK scripted ready %s\r\n" % GREETING_STAMP)
    while True:
        raw = f.readline()
        if not raw:
            return
        line = raw.decode("latin-1").rstrip("\r\n")
        cmd, _, arg = line.partition(" ")
        cmd = cmd.upper()
        if cmd == "QUIT":
            if scenario != "quit-close":
                _send(conn, "+OK bye\r\n")
            if isinstance(conn, _PipeConn):
                conn.flush()
            return
        pipe = scenario.startswith("pipe-")
        if scenario == "uidl-flood":
            if cmd == "CAPA":
                _send(conn, "+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n")
                continue
            if cmd == "STAT":
                _send(conn, "+OK %d 900000000\r\n" % FLOOD_MAILS)
                continue
            if cmd == "UIDL":
                _uidl_flood(conn)
                continue
        if cmd == "LIST" and not arg and pipe:
            # The multi-line LIST: every mail's size.
            _send(conn, "+OK %d messages\r\n" % len(mails)
                  + "".join("%d %d\r\n" % (i, len(m)) for i, m in enumerate(mails, 1)) + ".\r\n")
            continue
        if cmd == "CAPA" and pipe:
            _send(conn, "+OK Capability list follows\r\nTOP\r\nUSER\r\nUIDL\r\nPIPELINING\r\n.\r\n")
            continue
        if cmd == "UIDL" and pipe:
            _send(conn, "+OK\r\n" + "".join("%d scripted-%d\r\n" % (i, i) for i in range(1, len(mails) + 1))
                  + ".\r\n")
            continue
        if pipe and cmd == "LIST" and scenario == "pipe-list-err" and arg == "5":
            _send(conn, "-ERR no such message\r\n")
            continue
        if pipe and cmd == "TOP" and scenario == "pipe-top-err" and arg.split()[0] == "7":
            _send(conn, "-ERR no such message\r\n")
            continue
        if pipe and cmd == "TOP" and scenario == "pipe-close" and arg.split()[0] == "6":
            conn.flush()
            return
        if cmd == "STLS" and scenario == "stls-inject":
            _send(conn, "+OK Begin TLS negotiation\r\n+OK injected\r\n")
            continue
        if cmd == "USER":
            _send(conn, "-ERR no such user\r\n" if scenario == "user-err" or arg != USER else "+OK\r\n")
        elif cmd == "PASS":
            _send(conn, "-ERR wrong password\r\n" if scenario == "pass-err" or arg != PASSWORD
                  else "+OK logged in\r\n")
        elif cmd == "APOP":
            name, _, digest = arg.partition(" ")
            good = hashlib.md5((GREETING_STAMP + PASSWORD).encode()).hexdigest()
            _send(conn, "-ERR authentication failed\r\n"
                  if scenario == "apop-err" or name != USER or digest != good else "+OK logged in\r\n")
        elif cmd == "STAT":
            if scenario == "silent":
                time.sleep(3600)
                return
            if scenario == "close":
                return
            if scenario == "stat-err":
                _send(conn, "-ERR stat failed\r\n")
            else:
                _send(conn, "+OK %d %d\r\n" % (len(mails), sum(len(m) for m in mails)))
        elif cmd == "LIST":
            n = int(arg)
            if scenario == "endless-line":
                _flood(conn, "+OK 1 ", "9")
            if scenario == "list-err" or not 1 <= n <= len(mails):
                _send(conn, "-ERR no such message\r\n")
            else:
                _send(conn, "%s %d %d\r\n" % ("+ok" if scenario == "lower-ok" else "+OK", n,
                                             len(mails[n - 1])))
        elif cmd == "TOP":
            n = int(arg.split()[0])
            if scenario == "top-err" or not 1 <= n <= len(mails):
                _send(conn, "-ERR no such message\r\n")
                continue
            if scenario == "endless-header":
                _flood(conn, "+OK\r\nFrom: a@example.com\r\n", "X-Endless: " + "e" * 69 + "\r\n")
            reply = top_reply(mails[n - 1])
            if scenario == "close-top":
                _send(conn, reply[:len(reply) // 2])
                return
            if scenario == "top-split":
                for i in range(0, len(reply), 7):
                    _send(conn, reply[i:i + 7])
                    time.sleep(0.002)
            elif scenario == "chunk-8192" and n == 1:
                cut = reply.rindex("\r\n.\r\n") + 3
                first = reply[:cut]
                # Pad the header so the first write is exactly 8192 bytes.
                pad = 8192 - len(first)
                reply = reply.replace("Subject: big", "Subject: big" + "z" * pad, 1)
                cut += pad
                _send(conn, reply[:cut])
                time.sleep(0.3)
                _send(conn, reply[cut:])
            else:
                _send(conn, reply)
        else:
            _send(conn, "-ERR unknown command\r\n")


def serve(scenario, connections=1, lifetime=30.0, ready=None):
    """Listens, reports the port through ready(port) (default: print) and
    serves connections one at a time."""
    if scenario not in SCENARIOS:
        raise ValueError("unknown scenario " + scenario)
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(4)
    port = srv.getsockname()[1]
    (ready or (lambda p: print(p, flush=True)))(port)
    deadline = time.time() + lifetime
    served = 0
    while served < connections and time.time() < deadline:
        srv.settimeout(max(0.1, deadline - time.time()))
        try:
            conn, _ = srv.accept()
        except socket.timeout:
            break
        served += 1
        conn.settimeout(max(0.1, deadline - time.time()))
        try:
            _session(conn, scenario)
        except (OSError, ValueError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass
    srv.close()


def main(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("scenario", choices=sorted(SCENARIOS))
    p.add_argument("--connections", type=int, default=1)
    p.add_argument("--lifetime", type=float, default=30.0)
    a = p.parse_args(argv)
    # A silent session sleeps; the lifetime still ends the process.
    t = threading.Timer(a.lifetime + 1, lambda: __import__("os")._exit(0))
    t.daemon = True
    t.start()
    serve(a.scenario, a.connections, a.lifetime)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
