#!/usr/bin/env python3
"""End-to-end tests of Tidewell.exe under Wine against a real Dovecot.

    e2e.py CASE --dist DIR --helper tray_helper.exe --work DIR

CASE is one of: check_once, new_message, single_instance, quit_message.
Runs with the Wine environment of the ctest fixture (tools/wine-env.sh exec).
Exits 77 (skipped) when Dovecot cannot be started here (not root, not
installed). Dovecot is stopped and the Tidewell processes are ended on every
way out.
"""
import argparse
import hashlib
import os
import poplib
import shutil
import socket
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "servers"))
import dovecot  # noqa: E402

SKIP = 77
WM_TRAY_QUIT = 1128
PROGRAM_WAIT = 60  # seconds a check-once run may take

MAILS = [
    b"From: alice@example.com\nTo: user@example.com\nSubject: first\n"
    b"Date: Mon, 1 Jan 2024 09:00:00 +0900\nMessage-ID: <m1@example.com>\n\nhello\n",
    # A Status field (kept by some programs after reading) is left out of the
    # header hash; an encoded Japanese subject passes through unchanged.
    b"From: bob@example.com\nTo: user@example.com\nSubject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\n"
    b"Status: RO\nDate: Tue, 2 Jan 2024 10:00:00 +0900\nMessage-ID: <m2@example.com>\n\nbody\n.\n",
    b"From: carol@example.com\nTo: user@example.com\nSubject: third\n"
    b"Date: Wed, 3 Jan 2024 11:00:00 +0900\n\n.starts with a dot\n",
]


# ---- Account.dat (version 5) --------------------------------------------

def _t1(text):
    return bytes([len(text)]) + text


def _t2(text):
    return struct.pack(">H", len(text)) + text


def account_record(name, user, password, server, port, apop):
    scrambled = bytes((b + i) % 256 for i, b in enumerate(password))
    return (_t1(name) + _t1(user) + _t1(scrambled) + _t2(server) + bytes([apop]) +
            struct.pack(">H", port) + struct.pack(">H", 0) + b"\0" + _t2(b"") +
            struct.pack(">H", 0) + b"\0" + _t2(b"") + b"\0" + b"\0" + _t2(b"") + _t2(b"") + _t2(b""))


def write_account_file(folder, accounts):
    data = b"Tidewell" + b"v" + bytes([5, len(accounts)]) + b"".join(account_record(*a) for a in accounts)
    with open(os.path.join(folder, "Account.dat"), "wb") as f:
        f.write(data)


# ---- what the server holds, read with poplib -----------------------------

def raw_multiline(p):
    """The rest of a multi-line reply exactly as sent, terminator included."""
    out = b""
    while True:
        line = p.file.readline()
        if not line:
            raise RuntimeError("connection closed")
        out += line
        if line == b".\r\n":
            return out


def server_entries(port, user, password):
    """[(LIST reply line, TOP reply)] for every mail, raw bytes."""
    p = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        p.user(user)
        p.pass_(password)
        count = p.stat()[0]
        entries = []
        for n in range(1, count + 1):
            p._putcmd("LIST %d" % n)
            list_line = p.file.readline()
            p._putcmd("TOP %d 0" % n)
            top = p.file.readline()
            if not top.startswith(b"+OK"):
                raise RuntimeError("TOP refused: %r" % top)
            entries.append((list_line, top + raw_multiline(p)))
        return entries
    finally:
        p.quit()


def header_hash(list_line, top):
    """MD5 text of the header of a mail: the TOP reply after its status line,
    without the Status field."""
    buffer = list_line.upper() + top
    a = buffer.find(b"\r\n")
    b = buffer.find(b"\r\n", a + 2)
    header = buffer[b + 2:]
    s = header.lower().find(b"\r\nstatus:")
    if s >= 0:
        e = header.find(b"\r\n", s + 1)
        header = header.replace(header[s:e], b"")
    return hashlib.md5(header).hexdigest()


def expected_mail_file(entries):
    return b"".join(list_line.upper() + top for list_line, top in entries)


def md5_name(name):
    return hashlib.md5(name).hexdigest()


CONNECT_FAILED = "*ERR\r\n接続に失敗しました。\r\n.\r\n".encode("cp932")


# ---- running the program -------------------------------------------------

class Env:
    def __init__(self, args, case):
        self.exe = os.path.join(args.dist, "Tidewell.exe")
        self.helper = args.helper
        self.work = os.path.join(args.work, case)
        shutil.rmtree(self.work, ignore_errors=True)
        self.data = os.path.join(self.work, "data")
        os.makedirs(self.data)
        self.server_dir = os.path.join(self.work, "dovecot")
        self.procs = []
        self.logs = []

    def start(self, *args):
        """Starts Tidewell.exe in the data folder; its systray calls are traced."""
        log = open(os.path.join(self.work, "trace%d.log" % len(self.logs)), "w+b")
        env = dict(os.environ, WINEDEBUG="trace+systray")
        proc = subprocess.Popen(["wine", self.exe] + list(args), cwd=self.data, env=env,
                                stdout=subprocess.DEVNULL, stderr=log)
        self.procs.append(proc)
        self.logs.append(log)
        return proc, log

    def helper_run(self, *args, timeout=30):
        """Runs the helper; its output goes through a file, because a pipe
        may be held open by Wine processes that the call starts."""
        with open(os.path.join(self.work, "helper.out"), "w+") as out:
            rc = subprocess.run(["wine", self.helper] + list(args), stdout=out, stderr=subprocess.DEVNULL,
                                timeout=timeout).returncode
            out.seek(0)
            return subprocess.CompletedProcess(args, rc, out.read(), "")

    def windows(self):
        return int(self.helper_run("count").stdout.strip() or "0")

    def wait_windows(self, n, seconds=20):
        return self.helper_run("wait", str(n), str(seconds), timeout=seconds + 10).returncode == 0

    def cleanup(self):
        for proc in self.procs:
            if proc.poll() is None:
                self.helper_run("post", str(WM_TRAY_QUIT))
                break
        for proc in self.procs:
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
        for log in self.logs:
            log.close()
        dovecot.stop(self.server_dir)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def systray_calls(log):
    """The Shell_NotifyIcon calls of one run, in order: 0 add, 1 modify, 2 delete."""
    log.flush()
    log.seek(0)
    calls = []
    for line in log.read().decode("latin-1").splitlines():
        if "Shell_NotifyIcon" in line and "dwMessage" in line:
            calls.append(int(line.split("dwMessage = ")[1].split(",")[0].strip(), 0))
    return calls


class Failure(Exception):
    pass


def start_dovecot(env, users):
    """Starts Dovecot through its command line with the output in a file:
    the daemon keeps the standard handles of its starter, so a pipe would
    never reach its end."""
    out_path = os.path.join(env.work, "dovecot.out")
    with open(out_path, "w+") as out:
        cmd = [sys.executable, dovecot.__file__, "start", "--dir", env.server_dir]
        for name, password, source in users:
            cmd += ["--user", "%s:%s:%s" % (name, password, source)]
        rc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                            timeout=60).returncode
        out.seek(0)
        text = out.read()
    if rc != 0:
        raise Failure("dovecot did not start: " + text)
    return int(text.split()[-1])


def check(cond, what):
    if not cond:
        raise Failure(what)


def expect_removed_icon(log):
    calls = systray_calls(log)
    check(calls[:1] == [0], "tray icon added first: %r" % calls)
    check(calls[-1:] == [2], "tray icon deleted last: %r" % calls)


def expect_timeout_written(env):
    ini = read(os.path.join(env.data, "Tidewell.ini")).decode("cp932")
    check("[Message]" in ini and "Timeout=5" in ini, "exit wrote Timeout: %r" % ini)


# ---- cases -----------------------------------------------------------------

def mail_dir(env, mails):
    d = os.path.join(env.work, "mails%d" % len(mails))
    os.makedirs(d, exist_ok=True)
    for i, m in enumerate(mails):
        with open(os.path.join(d, "%02d" % i), "wb") as f:
            f.write(m.replace(b"\n", b"\r\n"))
    return d


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]  # nothing listens once the socket is closed


def run_check_once(env, *switches):
    proc, log = env.start(*switches)
    try:
        rc = proc.wait(PROGRAM_WAIT)
    except subprocess.TimeoutExpired:
        raise Failure("Tidewell.exe did not end after one check")
    return rc, log


def case_check_once(env):
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS)),
                                          ("bob", "bobpw", mail_dir(env, MAILS[:2]))])
    names = ["ユーザー1".encode("cp932"), b"apop account", b"closed"]
    write_account_file(env.data, [
        (names[0], b"alice", b"alicepw", b"127.0.0.1", port, 0),
        (names[1], b"bob", b"bobpw", b"localhost", port, 1),  # host name lookup, APOP
        (names[2], b"nobody", b"x", b"127.0.0.1", closed_port(), 0),
    ])
    rc, log = run_check_once(env, "-f1", "-e1", "-i1")
    check(rc == 0, "exit code %d" % rc)

    alice = server_entries(port, "alice", "alicepw")
    bob = server_entries(port, "bob", "bobpw")
    check(len(alice) == 3 and len(bob) == 2, "server holds the mails")
    mail = os.path.join(env.data, "Mail")
    check(read(os.path.join(mail, md5_name(names[0]))) == expected_mail_file(alice), "USER/PASS account file")
    check(read(os.path.join(mail, md5_name(names[1]))) == expected_mail_file(bob), "APOP account file")
    check(read(os.path.join(mail, md5_name(names[2]))) == CONNECT_FAILED, "closed-port account file")
    hashes = "".join(header_hash(l, t) + "\n" for l, t in alice + bob).encode()
    check(read(os.path.join(mail, "hash.dat")) == hashes, "hash.dat")
    check(os.path.isdir(os.path.join(env.data, "Del")), "Del folder")
    leftovers = [n for n in os.listdir(mail) if n.endswith("~")]
    check(not leftovers, "no temporary files left: %r" % leftovers)
    expect_removed_icon(log)
    expect_timeout_written(env)


def case_check_error_keeps_running(env):
    """Without ErrorDisregard a failed account keeps the program running."""
    write_account_file(env.data, [(b"closed", b"nobody", b"x", b"127.0.0.1", closed_port(), 0)])
    proc, log = env.start("-f1", "-e1", "-i0")
    mail_file = os.path.join(env.data, "Mail", md5_name(b"closed"))
    deadline = time.time() + PROGRAM_WAIT
    while not os.path.exists(mail_file) and time.time() < deadline:
        time.sleep(0.2)
    check(os.path.exists(mail_file) and read(mail_file) == CONNECT_FAILED, "error entry written")
    time.sleep(1.5)
    check(proc.poll() is None, "still running after a check with an error")
    check(env.helper_run("post", str(WM_TRAY_QUIT)).returncode == 0, "quit posted")
    check(proc.wait(20) == 0, "ended by WM_TRAY_QUIT")
    expect_removed_icon(log)


def case_new_message(env):
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:2]))])
    write_account_file(env.data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
    path = os.path.join(env.data, "Mail", md5_name(b"a"))
    expected = expected_mail_file(server_entries(port, "alice", "alicepw"))
    for run in range(2):
        rc, log = run_check_once(env, "-f1", "-e1", "-m1")
        check(rc == 0, "run %d exit code %d" % (run, rc))
        check(read(path) == expected, "run %d account file" % run)
        expect_removed_icon(log)


def case_single_instance(env):
    write_account_file(env.data, [])
    first, first_log = env.start()
    check(env.wait_windows(1), "first instance runs")
    # Refused: no switch, -x2, and -X1 after a first -x that is not -x1.
    for args in ([], ["-x2"], ["-x", "-X1"]):
        proc, _ = env.start(*args)
        try:
            rc = proc.wait(20)
        except subprocess.TimeoutExpired:
            raise Failure("second start %r did not end" % args)
        check(rc == 0, "refused start %r ends quietly" % args)
        check(env.windows() == 1, "refused start %r leaves one window" % args)
    # Allowed: -x1, also inside a longer argument.
    for args in (["-x1"], ["-e0", "abc-X1"]):
        proc, _ = env.start(*args)
        check(env.wait_windows(2), "second instance %r runs" % args)
        check(first.poll() is None and proc.poll() is None, "both instances run")
        check(env.helper_run("post", str(WM_TRAY_QUIT)).returncode == 0, "quit posted")
        check(proc.wait(20) == 0 and first.wait(20) == 0, "both end on WM_TRAY_QUIT")
        first, first_log = env.start()
        check(env.wait_windows(1), "first instance runs again")
    env.helper_run("post", str(WM_TRAY_QUIT))
    check(first.wait(20) == 0, "first instance ends")


def case_quit_message(env):
    write_account_file(env.data, [])
    proc, log = env.start()
    check(env.wait_windows(1), "program runs")
    time.sleep(0.5)
    check(proc.poll() is None, "stays running without a check")
    check(env.helper_run("post", str(WM_TRAY_QUIT)).returncode == 0, "quit posted")
    check(proc.wait(20) == 0, "ended by WM_TRAY_QUIT")
    check(env.windows() == 0, "window gone")
    expect_removed_icon(log)
    expect_timeout_written(env)
    for sub in ("Mail", "Del"):
        check(os.path.isdir(os.path.join(env.data, sub)), sub + " folder made")


CASES = {
    "check_once": (case_check_once, True),
    "check_error": (case_check_error_keeps_running, False),
    "new_message": (case_new_message, True),
    "single_instance": (case_single_instance, False),
    "quit_message": (case_quit_message, False),
}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--dist", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--work", required=True)
    args = p.parse_args()
    args.dist, args.helper, args.work = (os.path.abspath(x) for x in (args.dist, args.helper, args.work))
    func, needs_server = CASES[args.case]
    if needs_server and not dovecot.available():
        print("skipped: dovecot needs root and /usr/sbin/dovecot")
        return SKIP
    if not os.path.exists(os.path.join(args.dist, "Inkwell2.dll")):
        print("Inkwell2.dll is not beside Tidewell.exe in", args.dist)
        return 1
    env = Env(args, args.case)
    try:
        func(env)
    except Failure as e:
        print("FAILED:", e)
        return 1
    finally:
        env.cleanup()
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
