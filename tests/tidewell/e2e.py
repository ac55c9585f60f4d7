#!/usr/bin/env python3
"""End-to-end tests of Tidewell.exe under Wine against a real Dovecot.

    e2e.py CASE --dist DIR --helper tray_helper.exe --work DIR
           [--marker notify_marker.exe --quillbox Quillbox.dll]
           [--list-test quillbox_list_window_test.exe]
           [--session-test quillbox_list_session_test.exe]

CASE is one of the names in CASES below. The marker program (it appends its
current folder to the file named by its first argument, then sleeps for the
milliseconds of its second) and the stand-in list library come from
tests/notify.
Runs with the Wine environment of the ctest fixture (tools/wine-env.sh exec).
Exits 77 (skipped) when Dovecot cannot be started here (not root, not
installed). Dovecot is stopped and the Tidewell processes are ended on every
way out.
"""
import argparse
import base64
import email.header
import hashlib
import os
import json
import poplib
import pwd
import quopri
import re
import shutil
import socket
import subprocess
import sys
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "servers"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import account_dat  # noqa: E402
import dovecot  # noqa: E402

SKIP = 77
WM_TRAY_QUIT = 1128
WM_COMMAND = 273
WM_TRAY_NOTIFY = 1624
WM_LBUTTONDOWN = 0x201
WM_RBUTTONDOWN = 0x204
VK_RETURN, VK_DOWN = 13, 40
CMD_MAIL_CHECK = 32773
CMD_SETTINGS = 32774
LIST_CLASS = "QuillboxDoubleList"  # the window of the stand-in list library
FIXTURES = os.path.join(HERE, "..", "servers", "mail")
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

def account_record(name, user, password, server, port, apop):
    return account_dat.record(name, user, password, server, port, apop)


def account_file_bytes(accounts):
    return account_dat.encode_file([account_record(*a) for a in accounts])


def write_account_file(folder, accounts):
    data = account_file_bytes(accounts)
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
        self.dist = args.dist
        self.helper = args.helper
        self.marker = args.marker
        self.quillbox = args.quillbox
        self.list_test = args.list_test
        self.session_test = args.session_test
        self.work = os.path.join(args.work, case)
        shutil.rmtree(self.work, ignore_errors=True)
        self.data = os.path.join(self.work, "data")
        os.makedirs(self.data)
        self.server_dir = os.path.join(self.work, "dovecot")
        self.procs = []
        self.logs = []
        self.servers = []

    def start(self, *args, exe=None, cwd=None, debug="trace+systray"):
        """Starts Tidewell.exe in the data folder; its systray calls are traced."""
        log = open(os.path.join(self.work, "trace%d.log" % len(self.logs)), "w+b")
        env = dict(os.environ, WINEDEBUG=debug)
        proc = subprocess.Popen(["wine", exe or self.exe] + list(args), cwd=cwd or self.data, env=env,
                                stdout=subprocess.DEVNULL, stderr=log)
        self.procs.append(proc)
        self.logs.append(log)
        return proc, log

    def helper_run(self, *args, timeout=30):
        """Runs the helper; its output goes through a file, because a pipe
        may be held open by Wine processes that the call starts. Window titles
        come as Shift_JIS."""
        with open(os.path.join(self.work, "helper.out"), "w+", encoding="cp932", errors="replace") as out:
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
        for server in self.servers:
            server.kill()
            server.wait()
        dovecot.stop(self.server_dir)

    def scripted(self, scenario, connections=1, lifetime=120):
        """Starts tests/servers/scripted_pop3.py; returns its port."""
        proc = subprocess.Popen([sys.executable, os.path.join(HERE, "..", "servers", "scripted_pop3.py"), scenario,
                                 "--connections", str(connections), "--lifetime", str(lifetime)],
                                stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.servers.append(proc)
        return int(proc.stdout.readline())


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


def sealed_like(written, expected, passwords):
    """Whether `written` is the version-8 file `expected` (as tools/account_dat.py
    writes it) with every password sealed by Tidewell: same records but for
    the password fields, each record's password form 1, and no password in
    clear or scrambled anywhere."""
    got, want = account_dat.walk_records(written), account_dat.walk_records(expected)
    if written[9] != 8 or len(got) != len(want):
        return False
    for g, w in zip(got, want):
        if account_dat.password_state(g) != ("sealed" if w["scrambled"] else "none"):
            return False
        # Everything but fields 3, 17 and 18 is as the tool wrote it.
        gr, wr = g["raw"], w["raw"]
        if gr[:g["pw_at"]] != wr[:w["pw_at"]] or gr[g["pw_at"]] != 0:
            return False
        if gr[g["pw_at"] + 1:g["form_at"]] != wr[w["pw_at"] + 1 + w["scrambled"]:w["form_at"]]:
            return False
    for pw in passwords:
        scrambled = bytes((c + i) % 256 for i, c in enumerate(pw))
        if pw in written or scrambled in written:
            return False
    return True


def case_check_once(env):
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS)),
                                          ("bob", "bobpw", mail_dir(env, MAILS[:2]))])
    names = ["ユーザー1".encode("cp932"), b"apop account", b"closed"]
    accounts = [
        (names[0], b"alice", b"alicepw", b"127.0.0.1", port, 0),
        (names[1], b"bob", b"bobpw", b"localhost", port, 1),  # host name lookup, APOP
        (names[2], b"nobody", b"x", b"127.0.0.1", closed_port(), 0),
    ]
    write_account_file(env.data, accounts)
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
    # The file of tools/account_dat.py (passwords scrambled only) was sealed
    # at start-up, before the check that read it.
    check(sealed_like(read(os.path.join(env.data, "Account.dat")), account_file_bytes(accounts),
                      [b"alicepw", b"bobpw"]), "Account.dat rewritten as version 8 with sealed passwords")
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


PASSWORD_UNREADABLE = ("*ERR\r\nパスワードを読み取れないため、接続を中止しました。"
                       "設定のアカウントでパスワードを入力し直してください。(5,1)\r\n.\r\n").encode("cp932")


def case_password_unreadable(env):
    """A password sealed with another user's key (here: bytes no key opens)
    reads as empty: that account's check ends with the entry that asks for
    the password, without a connection (its port is closed, which would give
    the connection error), and the next account is checked as usual. The
    sealed bytes stay in Account.dat."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS))])
    blob = bytes(range(1, 200))
    foreign = account_dat.record(b"foreign", b"nobody", b"", b"127.0.0.1", closed_port(), False, sealed_password=blob)
    good = account_record(b"good", b"alice", b"alicepw", b"127.0.0.1", port, 0)
    with open(os.path.join(env.data, "Account.dat"), "wb") as f:
        f.write(account_dat.encode_file([foreign, good]))
    rc, log = run_check_once(env, "-f1", "-e1", "-i1")
    check(rc == 0, "exit code %d" % rc)
    mail = os.path.join(env.data, "Mail")
    got = read(os.path.join(mail, md5_name(b"foreign")))
    check(got == PASSWORD_UNREADABLE, "password entry written: %r" % got)
    check(read(os.path.join(mail, md5_name(b"good"))) == expected_mail_file(server_entries(port, "alice", "alicepw")),
          "the next account checked")
    after = account_dat.walk_records(read(os.path.join(env.data, "Account.dat")))
    check(after[0]["raw"] == foreign, "the sealed bytes kept")
    check(account_dat.password_state(after[1]) == "sealed", "the other password sealed")


def case_new_message(env):
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:2]))])
    write_account_file(env.data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
    path = os.path.join(env.data, "Mail", md5_name(b"a"))
    expected = expected_mail_file(server_entries(port, "alice", "alicepw"))
    count_file = os.path.join(env.data, "Tidewl_cnt.tmp")
    summary = os.path.join(env.data, "Tidewell.tmp")
    for run in range(2):
        rc, log = run_check_once(env, "-f1", "-e1", "-m1")
        check(rc == 0, "run %d exit code %d" % (run, rc))
        check(read(path) == expected, "run %d account file" % run)
        expect_removed_icon(log)
        if run == 0:
            # Two new mails: both files written.
            check(read(count_file) == b"2", "first check writes the count 2: %r" % read(count_file))
            check(read(summary).count(b"\r\n") == 2, "first check writes two summary lines")
            for f in (count_file, summary):
                with open(f, "wb") as out:
                    out.write(SENTINEL)
    # The same two mails again: nothing new, neither file touched.
    check(read(count_file) == SENTINEL and read(summary) == SENTINEL,
          "a check without new mail leaves the summary and count files alone")


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

# ---- notification cases ------------------------------------------------------

SENTINEL = b"left by the test"


def win_path(path):
    """The path as the program sees it under Wine (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def write_ini(folder, sections):
    """Tidewell.ini in Shift_JIS: {section: {key: value}}."""
    text = ""
    for section, keys in sections.items():
        text += "[%s]\r\n" % section
        for key, value in keys.items():
            text += "%s=%s\r\n" % (key, value)
    with open(os.path.join(folder, "Tidewell.ini"), "wb") as f:
        f.write(text.encode("cp932"))


def lines_of(path):
    try:
        return read(path).decode("cp932").splitlines()
    except OSError:
        return []


def file_sig(path):
    """Changes whenever the file is replaced or rewritten."""
    try:
        st = os.stat(path)
    except OSError:
        return None
    return (st.st_ino, st.st_mtime_ns, st.st_size)


def wait_for(cond, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if cond():
            return True
        time.sleep(0.1)
    return cond()


def install_marker(env, folder):
    os.makedirs(folder, exist_ok=True)
    shutil.copy(env.marker, os.path.join(folder, "notify_marker.exe"))


def add_mail(env, user, data):
    """Drops one more mail into a Dovecot user's maildir; seen at the next login."""
    with open(os.path.join(env.server_dir, "state.json")) as f:
        run = json.load(f)["run"]
    path = os.path.join(run, "mail", user, "new", "1999999999.M99P1.tidewell")
    with open(path, "wb") as f:
        f.write(data.replace(b"\n", b"\r\n"))
    nobody = pwd.getpwnam("nobody")
    os.chown(path, nobody.pw_uid, nobody.pw_gid)


def summary_value(value):
    """A header value as the summary shows it: encoded words in ISO-2022-JP,
    Shift_JIS, UTF-8 and EUC-JP decoded to Shift_JIS, each by its own letter
    (here with Python's own decoders; underscores of Q words stay), words in
    other character sets left as they are."""
    codecs = {b"iso-2022-jp": "iso2022_jp", b"shift_jis": "cp932", b"utf-8": "utf-8", b"euc-jp": "euc_jp"}

    def one(m):
        charset, kind, text = m.group(1).lower(), m.group(2).lower(), m.group(3)
        if kind == b"b":
            raw = base64.b64decode(text + b"=" * (-len(text) % 4))
        else:
            raw = quopri.decodestring(text)
        return raw.decode(codecs[charset]).encode("cp932")
    return re.sub(rb"=\?(iso-2022-jp|shift_jis|utf-8|euc-jp)\?([bq])\?(.*?)\?=", one, value, flags=re.I)


def expected_summary(accounts):
    """Tidewell.tmp for [(display name, [(LIST line, TOP reply)] or None for a
    failed account)], from what the server holds."""
    def q(b):
        return b.replace(b'"', b'""')
    out = b""
    for name, entries in accounts:
        if entries is None:
            out += b'"","","",-1,"%s"\r\n' % q(name)
            continue
        for list_line, top in entries:
            header = email.message_from_bytes(top.split(b"\r\n", 1)[1])
            field = {k: (header.get(k) or "").encode("ascii") for k in ("Subject", "From", "Date")}
            size = int(list_line.split()[2])
            out += b'"%s","%s","%s",%d,"%s"\r\n' % (
                q(summary_value(field["Subject"])), q(summary_value(field["From"])), field["Date"], size, q(name))
    return out


def case_summary_file(env):
    """A check with new mail writes Tidewell.tmp and Tidewl_cnt.tmp."""
    port = start_dovecot(env, [("taro", "taropw", FIXTURES)])
    names = ["受信箱".encode("cp932"), b'say "hi"']
    write_account_file(env.data, [
        (names[0], b"taro", b"taropw", b"127.0.0.1", port, 0),
        (names[1], b"nobody", b"x", b"127.0.0.1", closed_port(), 0),
    ])
    rc, _ = run_check_once(env, "-f1", "-e1", "-i1")
    check(rc == 0, "exit code %d" % rc)
    entries = server_entries(port, "taro", "taropw")
    check(len(entries) == 5, "server holds the five fixtures")
    expected = expected_summary([(names[0], entries), (names[1], None)])
    # The expectation itself decoded the Japanese words.
    for word in ("山田太郎", "会議の予定について", "佐藤花子", "新年のご挨拶", "高橋次郎"):
        check(word.encode("cp932") in expected, "expected summary holds %s" % word)
    got = read(os.path.join(env.data, "Tidewell.tmp"))
    if got != expected:
        for a, b in zip(got.split(b"\r\n"), expected.split(b"\r\n")):
            if a != b:
                print("got:     ", a.decode("cp932", "replace"))
                print("expected:", b.decode("cp932", "replace"))
    check(got == expected, "Tidewell.tmp byte for byte")
    check(read(os.path.join(env.data, "Tidewl_cnt.tmp")) == b"5", "Tidewl_cnt.tmp holds the total 5")


def case_seen_count(env):
    """NewMessage in one run of the program: 2 new, then 0 new and 2 seen (no
    action, files untouched), then one more mail: 1 new + 2 seen = 3."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:2]))])
    write_account_file(env.data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
    install_marker(env, env.data)
    write_ini(env.data, {"Receive": {"Exec": "notify_marker.exe", "ExecCmdline": "marker.txt"}})
    proc, _ = env.start("-f1", "-m1", "-p1")
    marker = os.path.join(env.data, "marker.txt")
    count_file = os.path.join(env.data, "Tidewl_cnt.tmp")
    summary = os.path.join(env.data, "Tidewell.tmp")
    hash_file = os.path.join(env.data, "Mail", "hash.dat")

    check(wait_for(lambda: len(lines_of(marker)) == 1, 30), "program started on new mail")
    # A bare program name is taken from the data folder and started there.
    check(lines_of(marker)[0].lower() == win_path(env.data).lower(),
          "started in the data folder: %r" % lines_of(marker))
    check(read(count_file) == b"2" and read(summary).count(b"\r\n") == 2, "first check: 2 new")
    for f in (count_file, summary):
        with open(f, "wb") as out:
            out.write(SENTINEL)

    before = file_sig(hash_file)
    check(env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK)).returncode == 0, "check posted")
    check(wait_for(lambda: file_sig(hash_file) != before, 20), "second check ran")
    time.sleep(2)
    check(read(count_file) == SENTINEL and read(summary) == SENTINEL, "second check: nothing new, files untouched")
    check(len(lines_of(marker)) == 1, "second check: no new-mail action")

    add_mail(env, "alice", MAILS[2])
    check(env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK)).returncode == 0, "check posted")
    check(wait_for(lambda: read(count_file) != SENTINEL, 20), "third check wrote the count file")
    check(read(count_file) == b"3", "third check: total 1 new + 2 seen = 3, got %r" % read(count_file))
    check(read(summary).count(b"\r\n") == 3, "third check: three summary lines")
    check(wait_for(lambda: len(lines_of(marker)) == 2, 20), "third check: the program started again")
    check(env.helper_run("post", str(WM_TRAY_QUIT)).returncode == 0, "quit posted")
    check(proc.wait(20) == 0, "ended by WM_TRAY_QUIT")


def case_exec_duplicate(env):
    """ExecDuplicate: the program is not started again while it runs."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:1]))])
    for duplicate in (1, 0):
        data = os.path.join(env.work, "data_dup%d" % duplicate)
        os.makedirs(data)
        write_account_file(data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
        install_marker(env, data)
        write_ini(data, {"Receive": {"ExecCheck": 1, "Exec": "notify_marker.exe", "ExecCmdline": "marker.txt 5000",
                                     "ExecDuplicate": duplicate}})
        marker = os.path.join(data, "marker.txt")
        count_file = os.path.join(data, "Tidewl_cnt.tmp")
        proc, _ = env.start("-f1", cwd=data)
        check(wait_for(lambda: len(lines_of(marker)) == 1, 30), "dup %d: started on new mail" % duplicate)
        started = time.time()
        before = file_sig(count_file)
        # Without NewMessage the same mail is new again at the next check.
        env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
        check(wait_for(lambda: file_sig(count_file) != before, 20), "dup %d: second check ran" % duplicate)
        if duplicate:
            time.sleep(2)
            check(len(lines_of(marker)) == 1, "dup 1: not started while it runs: %r" % lines_of(marker))
            time.sleep(max(0.0, started + 6 - time.time()))  # the first one has ended
            env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
            check(wait_for(lambda: len(lines_of(marker)) == 2, 20), "dup 1: started again once it ended")
        else:
            check(wait_for(lambda: len(lines_of(marker)) == 2, 10), "dup 0: started a second time")
        env.helper_run("post", str(WM_TRAY_QUIT))
        check(proc.wait(20) == 0, "dup %d: ended by WM_TRAY_QUIT" % duplicate)


def case_except_program(env):
    """No check while a program named in except.dat runs."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:1]))])
    write_account_file(env.data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
    write_ini(env.data, {"Message": {"ExceptProgram": 1}})
    # Another folder and another letter case than the running program.
    with open(os.path.join(env.data, "except.dat"), "wb") as f:
        f.write(b"game.exe\r\nC:\\Elsewhere\\NOTIFY_MARKER.EXE\r\n")
    other = os.path.join(env.work, "other")
    install_marker(env, other)
    runner = subprocess.Popen(["wine", os.path.join(other, "notify_marker.exe"), "ran.txt", "6000"], cwd=other,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env.procs.append(runner)
    check(wait_for(lambda: len(lines_of(os.path.join(other, "ran.txt"))) == 1, 20), "excluded program runs")

    mail_file = os.path.join(env.data, "Mail", md5_name(b"a"))
    proc, _ = env.start("-f1", "-e1")
    check(env.wait_windows(1), "program runs")
    time.sleep(3)
    check(not os.path.exists(mail_file), "no check while the excluded program runs")
    check(proc.poll() is None, "check-once run waits: it has not checked yet")
    runner.wait(20)
    env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
    check(wait_for(lambda: os.path.exists(mail_file), 20), "check runs once the program has ended")
    check(proc.wait(PROGRAM_WAIT) == 0, "check-once run ends after that check")


def case_mail_cleanup(env):
    """Exit deletes stale 32-character files in \\Mail and keeps the current
    accounts' files and the cached mails named in hash.dat."""
    names = ["受信箱".encode("cp932"), b"second"]
    write_account_file(env.data, [(n, b"u", b"p", b"127.0.0.1", 1, 0) for n in names])
    mail = os.path.join(env.data, "Mail")
    os.makedirs(mail)
    cached = hashlib.md5(b"cached mail").hexdigest()
    other_case = hashlib.md5(b"listed in lower case").hexdigest()
    with open(os.path.join(mail, "hash.dat"), "wb") as f:
        f.write((cached + "\n" + other_case + "\n").encode())
    keep = {md5_name(names[0]), md5_name(names[1]), cached, "hash.dat", "a" * 31, "b" * 33, "notes.txt"}
    gone = {md5_name(b"removed account"), other_case.upper(), "mailtemp.eml"}
    for n in keep | gone:
        if n != "hash.dat":
            with open(os.path.join(mail, n), "wb") as f:
                f.write(b"x")
    proc, _ = env.start()
    check(env.wait_windows(1), "program runs")
    check(env.helper_run("post", str(WM_TRAY_QUIT)).returncode == 0, "quit posted")
    check(proc.wait(20) == 0, "ended by WM_TRAY_QUIT")
    left = set(os.listdir(mail))
    check(left == keep, "kept %r, deleted %r" % (sorted(left), sorted((keep | gone) - left)))


def write_wave(path):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"\0\0" * 1600)


def case_sound(env):
    """The new-mail sound: whether it cannot be opened or the device cannot
    play it (no audio under Wine), a check-once run still ends."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:1]))])
    wav = os.path.join(env.work, "tone.wav")
    write_wave(wav)
    for label, sound in (("missing file", os.path.join(env.work, "missing.wav")), ("wave file", wav)):
        data = os.path.join(env.work, "data_" + label.replace(" ", "_"))
        os.makedirs(data)
        write_account_file(data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
        write_ini(data, {"Receive": {"Sound": win_path(sound)}})
        proc, _ = env.start("-f1", "-e1", "-w1", cwd=data)
        try:
            rc = proc.wait(PROGRAM_WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("%s: the run did not end after the sound" % label)
        check(rc == 0, "%s: exit code %d" % (label, rc))
        check(read(os.path.join(data, "Tidewl_cnt.tmp")) == b"1", "%s: the check found the mail" % label)


def private_program_folder(env, with_list):
    prog = os.path.join(env.work, "prog")
    shutil.rmtree(prog, ignore_errors=True)
    os.makedirs(prog)
    for n in os.listdir(env.dist):
        if os.path.isfile(os.path.join(env.dist, n)) and n.lower() != "quillbox.dll":
            shutil.copy(os.path.join(env.dist, n), prog)
    if with_list:
        shutil.copy(env.quillbox, os.path.join(prog, "Quillbox.dll"))
    return os.path.join(prog, "Tidewell.exe")


def list_loaded(env):
    out = env.helper_run("modules")
    check(out.returncode == 0, "modules of the program listed")
    return any(line.lower().endswith("\\quillbox.dll") for line in out.stdout.splitlines())


def list_title(env, seconds):
    out = env.helper_run("title", LIST_CLASS, str(seconds), timeout=seconds + 10)
    return out.stdout.strip() if out.returncode == 0 else None


def case_list_library(env):
    """The list command with the stand-in Quillbox.dll beside the program."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:2]))])
    write_account_file(env.data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0),
                                  (b"closed", b"nobody", b"x", b"127.0.0.1", closed_port(), 0)])
    exe = private_program_folder(env, with_list=True)
    mail_file = os.path.join(env.data, "Mail", md5_name(b"a"))

    # -n: new mail opens the list; no check while it is open; the run ends
    # when it closes.
    proc, _ = env.start("-n", exe=exe)
    title = list_title(env, 30)
    check(title == "2|" + win_path(env.data), "ListShow got the account count and data folder: %r" % title)
    check(list_loaded(env), "Quillbox.dll loaded while the list is open")
    os.remove(mail_file)
    env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
    time.sleep(2)
    check(not os.path.exists(mail_file), "no check while the list is open")
    check(proc.poll() is None, "-n run waits for the list")
    check(env.helper_run("close", LIST_CLASS).returncode == 0, "list closed")
    try:
        check(proc.wait(20) == 0, "-n run ends after the list closes")
    except subprocess.TimeoutExpired:
        raise Failure("-n run did not end after the list closed")

    # A left click (NormalClick=1) opens the list; after its close the library
    # is unloaded, and it loads again for the next list.
    write_ini(env.data, {"Icon": {"NormalClick": 1}})
    proc, _ = env.start(exe=exe)
    check(env.wait_windows(1), "program runs")
    env.helper_run("post", str(WM_TRAY_NOTIFY), "0", str(WM_LBUTTONDOWN))
    check(list_title(env, 20) is not None, "left click opens the list")
    check(list_loaded(env), "Quillbox.dll loaded")
    env.helper_run("close", LIST_CLASS)
    check(wait_for(lambda: not list_loaded(env), 10), "Quillbox.dll unloaded after the list closed")
    env.helper_run("post", str(WM_TRAY_NOTIFY), "0", str(WM_LBUTTONDOWN))
    check(list_title(env, 20) is not None, "the list opens again")
    env.helper_run("post", str(WM_TRAY_QUIT))
    check(proc.wait(20) == 0, "exit with the list open ends cleanly")
    check(list_title(env, 0) is None, "exit closed the list")

    # -n without the library: the list cannot open and the run still ends.
    exe = private_program_folder(env, with_list=False)
    proc, _ = env.start("-n", exe=exe)
    try:
        check(proc.wait(PROGRAM_WAIT) == 0, "-n run without Quillbox.dll exit code")
    except subprocess.TimeoutExpired:
        raise Failure("-n run without Quillbox.dll did not end")

def helper_ok(env, *args):
    rc = env.helper_run(*args).returncode
    check(rc == 0, "helper %s: exit %d" % (" ".join(args), rc))


def case_settings_sheet(env):
    """An account added in the settings sheet is written to Account.dat and
    checked at once: the sheet's OK makes the program reload its accounts."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS))])
    env.start()
    check(env.wait_windows(1), "Tidewell started")
    helper_ok(env, "post", str(WM_COMMAND), str(CMD_SETTINGS))
    helper_ok(env, "sheet-page", "4")
    helper_ok(env, "sheet-click", "1007")
    for control, text in (("1008", "設定から"), ("1010", "alice"), ("1011", "alicepw"), ("1012", "127.0.0.1"),
                          ("1013", str(port))):
        helper_ok(env, "account-text", control, text)
    helper_ok(env, "account-click", "1")
    helper_ok(env, "account-closed", "10")
    helper_ok(env, "sheet-press", "3")  # PSBTN_OK
    helper_ok(env, "sheet-closed", "10")
    name = "設定から".encode("cp932")
    expected = account_dat.encode_file([account_record(name, b"alice", b"alicepw", b"127.0.0.1", port, 0)])
    check(sealed_like(read(os.path.join(env.data, "Account.dat")), expected, [b"alicepw"]),
          "Account.dat written by the sheet, its password sealed")
    ini = read(os.path.join(env.data, "Tidewell.ini"))
    check(ini.startswith(b"[Message]\r\nTimeCheck=0\r\nTime=10\r\n"), "page 1 applied: %r" % ini)

    helper_ok(env, "post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
    mail_file = os.path.join(env.data, "Mail", md5_name(name))
    want = expected_mail_file(server_entries(port, "alice", "alicepw"))
    check(wait_for(lambda: os.path.exists(mail_file) and read(mail_file) == want, 30),
          "the check after OK used the new account")

    # Asked to end while the sheet is open: the program ends and its tray
    # icon stays removed.
    helper_ok(env, "post", str(WM_COMMAND), str(CMD_SETTINGS))
    helper_ok(env, "sheet-page", "1")
    # A second settings command only brings the open sheet forward.
    helper_ok(env, "post", str(WM_COMMAND), str(CMD_SETTINGS))
    time.sleep(1)
    count = env.helper_run("sheet-count", "0").stdout.strip()
    check(count == "1", "one sheet open after a second settings command: %r" % count)
    helper_ok(env, "post", str(WM_TRAY_QUIT))
    proc, log = env.procs[-1], env.logs[-1]
    try:
        proc.wait(20)
    except subprocess.TimeoutExpired:
        raise Failure("Tidewell.exe did not end with the sheet open")
    expect_removed_icon(log)


def case_list_window(env):
    """Tidewell.exe -n with the real Quillbox.dll: a check against Dovecot with
    the Japanese fixtures opens the list; Esc reaches the list window through
    the program's message loop and closes it, which writes Quillbox.ini and
    ends the run. The list view test then reads that data folder's rows."""
    if not env.list_test:
        raise Failure("the list view test program was not given")
    port = start_dovecot(env, [("taro", "taropw", FIXTURES)])
    write_account_file(env.data, [("受信箱".encode("cp932"), b"taro", b"taropw", b"127.0.0.1", port, 0),
                                  (b"closed", b"nobody", b"x", b"127.0.0.1", closed_port(), 0)])
    proc, _ = env.start("-n")
    title = env.helper_run("title", "#32770", "30", timeout=40)
    check(title.returncode == 0 and title.stdout.strip() == "一覧", "the list window opens: %r" % title.stdout)
    check(list_loaded(env), "the real Quillbox.dll is loaded")
    ini = os.path.join(env.data, "Quillbox.ini")
    check(not os.path.exists(ini), "no Quillbox.ini before the close")
    check(env.helper_run("keys", "#32770", "27").returncode == 0, "Esc sent to the list window")
    try:
        check(proc.wait(20) == 0, "-n run ends after the list closes")
    except subprocess.TimeoutExpired:
        raise Failure("Esc did not close the list, or the -n run did not end")
    check(b"[Window]" in read(ini), "closing the list wrote Quillbox.ini")

    out_path = os.path.join(env.work, "list_test.out")
    with open(out_path, "w+b") as out:
        rc = subprocess.run(["wine", env.list_test, "--gtest_filter=*DataFolderOfARealCheck"],
                            env=dict(os.environ, TIDEWELL_LIST_DATA=win_path(env.data), TIDEWELL_LIST_COUNT="2"),
                            stdout=out, stderr=subprocess.DEVNULL, timeout=120).returncode
        out.seek(0)
        text = out.read().decode("cp932", "replace")
    print(text)
    check(rc == 0 and "[  PASSED  ] 1 test" in text, "rows of the real check read back from the list view")


def case_popup_menu(env):
    """The popup menu grays "一覧" when Quillbox.dll is missing (tested anew
    each time the menu opens) or MsgCheck is on. Choosing the third command
    opens the list only when it is enabled; the library is put in place by the
    time the command would load it, so a grayed item is what keeps it shut."""
    write_account_file(env.data, [(b"a", b"u", b"p", b"127.0.0.1", 1, 0)])
    # label, library at start, library when the menu opens, MsgCheck, list opens
    cases = [
        ("library present", True, True, 0, True),
        ("library put in place after start-up", False, True, 0, True),
        ("library missing when the menu opens", False, False, 0, False),
        ("MsgCheck on", True, True, 1, False),
    ]
    for label, at_start, at_menu, msg_check, opens in cases:
        exe = private_program_folder(env, with_list=at_start)
        library = os.path.join(os.path.dirname(exe), "Quillbox.dll")
        write_ini(env.data, {"Message": {"MsgCheck": msg_check}})
        proc, _ = env.start(exe=exe)
        check(env.wait_windows(1), "%s: program runs" % label)
        if at_menu and not at_start:
            shutil.copy(env.quillbox, library)
        env.helper_run("post", str(WM_TRAY_NOTIFY), "0", str(WM_RBUTTONDOWN))
        check(wait_for(lambda: env.helper_run("title", "#32768", "0").returncode == 0, 10),
              "%s: popup menu open" % label)
        if not os.path.exists(library):
            shutil.copy(env.quillbox, library)
        # Down to the third command ("一覧"), then Enter.
        check(env.helper_run("keys", "#32768", str(VK_DOWN), str(VK_DOWN), str(VK_DOWN),
                             str(VK_RETURN)).returncode == 0, "%s: keys sent" % label)
        title = list_title(env, 5 if opens else 3)
        check((title is not None) == opens, "%s: list %s" % (label, "opens" if opens else "stays shut"))
        env.helper_run("post", str(WM_TRAY_QUIT))
        check(proc.wait(20) == 0, "%s: ended by WM_TRAY_QUIT" % label)


def numbered_mails(tag, count):
    return [("From: %s@example.com\nTo: user@example.com\nSubject: %s-%d\n"
             "Date: Mon, %d Jan 2024 09:00:00 +0900\nMessage-ID: <%s-%d@example.com>\n\n"
             "%s\n" % (tag, tag, i, i, tag, i, "\n".join("body line %d" % k for k in range(15)))).encode()
            for i in range(1, count + 1)]


def server_subjects(port, user, password):
    p = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        p.user(user)
        p.pass_(password)
        subjects = []
        for n in range(1, p.stat()[0] + 1):
            for line in p.top(n, 0)[1]:
                if line.startswith(b"Subject: "):
                    subjects.append(line[9:].decode())
        return subjects
    finally:
        p.quit()


def server_top(port, user, password, n, lines):
    p = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        p.user(user)
        p.pass_(password)
        p._putcmd("TOP %d %d" % (n, lines))
        return p.file.readline() + raw_multiline(p)
    finally:
        p.quit()


def server_delete(port, user, password, n):
    p = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        p.user(user)
        p.pass_(password)
        p.dele(n)
    finally:
        p.quit()


def drive_list(env, command, select, count=3, close_ms=0):
    """Runs the list session test program on the data folder: selects the
    rows "account:number", sends the command and waits for the session's
    end (or, with close_ms, closes the list that long after the command).
    Returns the message boxes and the rows left."""
    out = os.path.join(env.work, "boxes.txt")
    for path in (out, out + ".rows"):
        if os.path.exists(path):
            os.remove(path)
    log_path = os.path.join(env.work, "session_test.out")
    with open(log_path, "w+b") as log:
        rc = subprocess.run(["wine", env.session_test, "--gtest_filter=*DriveListOfARealCheck"],
                            env=dict(os.environ, TIDEWELL_LIST_DATA=win_path(env.data),
                                     TIDEWELL_LIST_COUNT=str(count), TIDEWELL_LIST_COMMAND=str(command),
                                     TIDEWELL_LIST_SELECT=select, TIDEWELL_LIST_OUT=win_path(out),
                                     TIDEWELL_LIST_CLOSE_MS=str(close_ms)),
                            stdout=log, stderr=subprocess.DEVNULL, timeout=150).returncode
        log.seek(0)
        text = log.read().decode("cp932", "replace")
    print(text)
    check(rc == 0 and "[  PASSED  ] 1 test" in text, "list session run (%s %s)" % (command, select))
    boxes = [b for b in read(out).decode("cp932").split("\n.\n") if b] if os.path.exists(out) else []
    rows = read(out + ".rows").decode("cp932").splitlines()
    return boxes, rows


def case_list_session(env):
    """The list's own POP3 session against Dovecot after a real check: a view
    fetches TOP n 10 into the cache file and shows it in the message window;
    a delete of rows 2 and 4 of one
    account, a renumbered row of a second and a row of a third whose password
    is now wrong removes exactly those mails (checked with poplib), marks them
    in the account mail files and keeps their headers in the Del day file; a
    mail that vanished is reported and nothing is deleted."""
    if not env.session_test:
        raise Failure("the list session test program was not given")
    port = start_dovecot(env, [("usera", "pwa", mail_dir(env, numbered_mails("a", 5))),
                               ("userb", "pwb", mail_dir(env, numbered_mails("b", 3))),
                               ("userc", "pwc", mail_dir(env, numbered_mails("c", 2)))])
    accounts = [(b"acct-a", b"usera", b"pwa", b"127.0.0.1", port, 0),
                (b"acct-b", b"userb", b"pwb", b"localhost", port, 1),  # host name lookup, APOP
                (b"acct-c", b"userc", b"pwc", b"127.0.0.1", port, 0)]
    write_account_file(env.data, accounts)
    rc, _ = run_check_once(env, "-f1", "-e1")
    check(rc == 0, "check exit code %d" % rc)
    with open(os.path.join(env.data, "Quillbox.ini"), "wb") as f:
        # Line=10 as an older list left it: taken as set (a new file fetches whole mails).
        f.write(b"[Setting]\r\nDeleteCheck=0\r\nDeleteMsgSave=1\r\n[Message]\r\nViewer=0\r\nLine=10\r\n")
    files = {n: os.path.join(env.data, "Mail", md5_name(n)) for n in (b"acct-a", b"acct-b", b"acct-c")}
    before = {n: read(f) for n, f in files.items()}

    # View: the cache file is the server's TOP 1 10 reply.
    boxes, _ = drive_list(env, 40016, "acct-a:1")
    check(boxes == ["message|a-1"], "the message window shows the fetched mail: %r" % boxes)
    cached = [n for n in os.listdir(os.path.join(env.data, "Mail"))
              if len(n) == 32 and n not in [md5_name(a) for a in files]]
    check(len(cached) == 1, "one cache file: %r" % cached)
    check(read(os.path.join(env.data, "Mail", cached[0])) == server_top(port, "usera", "pwa", 1, 10),
          "cache file equals TOP 1 10")

    # Behind the list's back: b's first mail goes (b-3 is now number 2), and
    # c's password changes.
    server_delete(port, "userb", "pwb", 1)
    accounts[2] = (b"acct-c", b"userc", b"wrong", b"127.0.0.1", port, 0)
    write_account_file(env.data, accounts)
    boxes, rows = drive_list(env, 1004, "acct-c:1,acct-b:3,acct-a:4,acct-a:2")
    check(server_subjects(port, "usera", "pwa") == ["a-1", "a-3", "a-5"], "a lost exactly mails 2 and 4")
    b_left = server_subjects(port, "userb", "pwb")
    check(b_left == ["b-2"], "b lost the renumbered b-3: %r, boxes %r" % (b_left, boxes))
    check(server_subjects(port, "userc", "pwc") == ["c-1", "c-2"], "c kept everything")
    check(boxes == ["削除エラー|acct-c:認証に失敗しました。(25)\n"], "summary box: %r" % boxes)
    a_now = read(files[b"acct-a"])
    check(a_now.count(b"-DE ") == 2 and b"-DE 2 " in a_now and b"-DE 4 " in a_now, "a's blocks 2 and 4 marked")
    check(a_now.replace(b"-DE ", b"+OK ") == before[b"acct-a"], "nothing else changed in a's file")
    check(b"-DE 3 " in read(files[b"acct-b"]), "b's block 3 marked")
    check(read(files[b"acct-c"]) == before[b"acct-c"], "c's file unchanged")
    day = [n for n in os.listdir(os.path.join(env.data, "Del")) if n.startswith("Del")]
    check(len(day) == 1, "one Del day file: %r" % day)
    saved = read(os.path.join(env.data, "Del", day[0]))
    check(saved.count(b"Subject: ") == 3 and b"Subject: a-2" in saved and b"Subject: a-4" in saved
          and b"Subject: b-3" in saved, "Del file holds the three headers")
    check([r for r in rows if r.startswith("acct-a:")] == ["acct-a:1:1:a-1", "acct-a:2:3:a-3", "acct-a:3:5:a-5"]
          or sorted(r for r in rows if r.startswith("acct-a:")) ==
          sorted(["acct-a:1:1:a-1", "acct-a:2:3:a-3", "acct-a:3:5:a-5"]), "a's rows renumbered: %r" % rows)
    check(len([r for r in rows if r.startswith("acct-c:")]) == 2, "c's rows stay")

    # A mail that vanished is not deleted and is reported.
    server_delete(port, "usera", "pwa", 1)
    boxes, _ = drive_list(env, 1004, "acct-a:1")
    check(boxes == ["削除エラー|acct-a:接続中にエラーが発生しました。(3)\n"], "not-found box: %r" % boxes)
    check(server_subjects(port, "usera", "pwa") == ["a-3", "a-5"], "nothing else deleted")
    # a-1 is gone from the server, but its cache file still shows it.
    boxes, _ = drive_list(env, 40016, "acct-a:1")
    check(boxes == ["message|a-1"], "a cached message is shown without the server: %r" % boxes)


def pop3_session(port, user, password, work):
    """Logs in with poplib, returns work(connection), logs out."""
    p = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        p.user(user)
        p.pass_(password)
        return work(p)
    finally:
        p.quit()


def server_bodies(port, user, password):
    """(subject, first body line) of every mail on the server."""
    def bodies(p):
        out = []
        for n in range(1, p.stat()[0] + 1):
            lines = p.retr(n)[1]
            blank = lines.index(b"")
            subject = [l[9:].decode() for l in lines[:blank] if l.startswith(b"Subject: ")]
            out.append((subject[0] if subject else "", lines[blank + 1].decode() if len(lines) > blank + 1 else ""))
        return out
    return pop3_session(port, user, password, bodies)


def server_uidl(port, user, password, n):
    return pop3_session(port, user, password, lambda p: p.uidl(n).split()[2].decode())


def add_to_maildir(env, user, data):
    """Drops a mail into a running Dovecot's maildir; the next session sees
    it as the highest number."""
    import grp
    with open(os.path.join(env.server_dir, "state.json")) as f:
        run = json.load(f)["run"]
    new = os.path.join(run, "mail", user, "new")
    path = os.path.join(new, "%d.M99P1.tidewell" % int(time.time()))
    with open(path, "wb") as f:
        f.write(data.replace(b"\n", b"\r\n"))
    os.chown(path, pwd.getpwnam("nobody").pw_uid, grp.getgrnam("nogroup").gr_gid)


def case_list_delete_recognition(env):
    """A mail with a twin (byte-identical header, other body) and a forger
    (its X-UIDL names the other mail's unique id) in one mailbox: deleting the
    forger and the second twin deletes exactly those two (checked by body
    with poplib); the first twin and the mail the forger names stay."""
    if not env.session_test:
        raise Failure("the list session test program was not given")
    header = ("From: t@example.com\nTo: user@example.com\nSubject: twin\n"
              "Date: Mon, 8 Jan 2024 09:00:00 +0900\nMessage-ID: <twin@example.com>\n\n")
    mails = [numbered_mails("x", 1)[0],
             (header + "first twin\n").encode(),
             (header + "second twin\n").encode()]
    port = start_dovecot(env, [("usera", "pwa", mail_dir(env, mails))])
    victim = server_uidl(port, "usera", "pwa", 2)
    add_to_maildir(env, "usera", ("From: f@example.com\nTo: user@example.com\nSubject: forger\n"
                                  "Date: Tue, 9 Jan 2024 09:00:00 +0900\nMessage-ID: <forger@example.com>\n"
                                  "X-UIDL: %s\n\nforged id\n" % victim).encode())
    check(server_bodies(port, "usera", "pwa") == [("x-1", "body line 0"), ("twin", "first twin"),
                                                   ("twin", "second twin"), ("forger", "forged id")],
          "the mailbox as set up")
    write_account_file(env.data, [(b"acct-a", b"usera", b"pwa", b"127.0.0.1", port, 0)])
    rc, _ = run_check_once(env, "-f1", "-e1")
    check(rc == 0, "check exit code %d" % rc)
    with open(os.path.join(env.data, "Quillbox.ini"), "wb") as f:
        f.write(b"[Setting]\r\nDeleteCheck=0\r\nDeleteMsgSave=1\r\n[Message]\r\nViewer=0\r\n")
    boxes, rows = drive_list(env, 1004, "acct-a:4,acct-a:3", count=1)
    check(boxes == [], "no error box: %r" % boxes)
    left = server_bodies(port, "usera", "pwa")
    check(left == [("x-1", "body line 0"), ("twin", "first twin")],
          "exactly the forger and the second twin went: %r" % left)
    check(sorted(r.split(":", 3)[3] for r in rows) == ["twin", "x-1"], "rows left: %r" % rows)
    saved = read(os.path.join(env.data, "Del", [n for n in os.listdir(os.path.join(env.data, "Del"))][0]))
    check(saved.count(b"Subject: ") == 2 and b"Subject: forger" in saved and b"Subject: twin" in saved,
          "Del file holds the two headers")


def case_list_closed_during_delete(env):
    """The list closed while a delete run waits on its second account: the
    first account's mails are gone from the server, so its blocks are marked
    and its headers logged; the second account keeps everything; no box."""
    if not env.session_test:
        raise Failure("the list session test program was not given")
    port = start_dovecot(env, [("usera", "pwa", mail_dir(env, numbered_mails("a", 3))),
                               ("userb", "pwb", mail_dir(env, numbered_mails("b", 2)))])
    accounts = [(b"acct-a", b"usera", b"pwa", b"127.0.0.1", port, 0),
                (b"acct-b", b"userb", b"pwb", b"127.0.0.1", port, 0)]
    write_account_file(env.data, accounts)
    rc, _ = run_check_once(env, "-f1", "-e1")
    check(rc == 0, "check exit code %d" % rc)
    with open(os.path.join(env.data, "Quillbox.ini"), "wb") as f:
        f.write(b"[Setting]\r\nDeleteCheck=0\r\nDeleteMsgSave=1\r\n[Message]\r\nViewer=0\r\n")
    files = {n: os.path.join(env.data, "Mail", md5_name(n)) for n in (b"acct-a", b"acct-b")}
    before = {n: read(f) for n, f in files.items()}
    # acct-b now points at a server that takes the connection and never
    # says a word: the run waits there until the list closes.
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(4)
    try:
        accounts[1] = (b"acct-b", b"userb", b"pwb", b"127.0.0.1", silent.getsockname()[1], 0)
        write_account_file(env.data, accounts)
        boxes, _ = drive_list(env, 1004, "acct-a:1,acct-a:3,acct-b:2", count=2, close_ms=8000)
    finally:
        silent.close()
    check(boxes == [], "no box while the list closes: %r" % boxes)
    check(server_subjects(port, "usera", "pwa") == ["a-2"], "a lost mails 1 and 3")
    check(server_subjects(port, "userb", "pwb") == ["b-1", "b-2"], "b kept everything")
    a_now = read(files[b"acct-a"])
    check(b"-DE 1 " in a_now and b"-DE 3 " in a_now and a_now.count(b"-DE ") == 2, "a's blocks 1 and 3 marked")
    check(a_now.replace(b"-DE ", b"+OK ") == before[b"acct-a"], "nothing else changed in a's file")
    check(read(files[b"acct-b"]) == before[b"acct-b"], "b's file unchanged")
    day = [n for n in os.listdir(os.path.join(env.data, "Del")) if n.startswith("Del")]
    check(len(day) == 1, "one Del day file: %r" % day)
    saved = read(os.path.join(env.data, "Del", day[0]))
    check(saved.count(b"Subject: ") == 2 and b"Subject: a-1" in saved and b"Subject: a-3" in saved,
          "Del file holds a's two headers")


# ---- hardening cases ------------------------------------------------------------

TOO_LARGE = "*ERR\r\nサーバーの応答が大きすぎるため、中断しました。(3,7)\r\n.\r\n".encode("cp932")
WM_CLOSE = 0x10
CMD_EXIT, CMD_DISCONNECT = 32772, 32775
WM_TRAY_RESTOREICON = 1126


def program_pid(proc):
    """The Linux process that runs Tidewell.exe for a started `wine` (the
    launcher may hand over to another process)."""
    deadline = time.time() + 20
    while time.time() < deadline:
        for pid in [proc.pid] + [int(p) for p in os.listdir("/proc") if p.isdigit()]:
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    cmd = f.read()
                with open("/proc/%d/status" % pid) as f:
                    status = f.read()
            except OSError:
                continue
            if b"Tidewell.exe" in cmd and "VmRSS" in status:
                return pid
        time.sleep(0.2)
    raise Failure("no process runs Tidewell.exe")


def memory_kib(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise Failure("no %s for process %d" % (field, pid))


def scripted_ok_file(env):
    """The account mail file a good session with the scripted server gives."""
    entries = []
    port = env.scripted("ok")
    p = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        p.user("user")
        p.pass_("pass")
        for n in range(1, p.stat()[0] + 1):
            p._putcmd("LIST %d" % n)
            list_line = p.file.readline()
            p._putcmd("TOP %d 0" % n)
            top = p.file.readline()
            entries.append((list_line, top + raw_multiline(p)))
    finally:
        p.quit()
    return expected_mail_file(entries)


def case_hostile_server(env):
    """A server that answers TOP with a header without end: the account ends
    at the reply cap with its error entry, the next account is checked, and
    the program's memory stays bounded. Prints the memory figures."""
    hostile_account_then_good(env, "endless-header")


def case_uidl_flood(env):
    """A server that claims 4.5 million mails and floods the fast check with a
    UIDL listing to match: the account ends at the listing cap with its
    error entry, the next account is checked, and the peak memory stays
    under 64 MiB above idle. Prints the memory figures."""
    hostile_account_then_good(env, "uidl-flood")


def hostile_account_then_good(env, scenario):
    good = scripted_ok_file(env)
    endless = env.scripted(scenario)
    ok = env.scripted("ok")
    write_account_file(env.data, [(b"endless", b"user", b"pass", b"127.0.0.1", endless, 0),
                                  (b"good", b"user", b"pass", b"127.0.0.1", ok, 0)])
    proc, _ = env.start()
    check(env.wait_windows(1), "program runs")
    pid = program_pid(proc)
    time.sleep(2)
    idle = memory_kib(pid, "VmRSS")
    started = time.time()
    check(env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK)).returncode == 0, "check posted")
    good_file = os.path.join(env.data, "Mail", md5_name(b"good"))
    check(wait_for(lambda: os.path.exists(good_file), PROGRAM_WAIT), "the next account was checked")
    took = time.time() - started
    peak = memory_kib(pid, "VmHWM")
    print("memory: idle %d KiB, peak %d KiB, peak above idle %d KiB; check took %.1f s"
          % (idle, peak, peak - idle, took))
    check(read(os.path.join(env.data, "Mail", md5_name(b"endless"))) == TOO_LARGE, "endless account's entry")
    check(read(good_file) == good, "good account's file")
    check(peak - idle < 64 * 1024, "peak %d KiB is less than 64 MiB above idle %d KiB" % (peak, idle))
    check(proc.poll() is None, "still running")
    env.helper_run("post", str(WM_TRAY_QUIT))
    check(proc.wait(20) == 0, "ended by WM_TRAY_QUIT")


def case_close_message(env):
    """WM_CLOSE (taskkill without /F) runs the exit: the icon goes, Timeout is
    written, the process ends, and the next start is not refused."""
    write_account_file(env.data, [])
    proc, log = env.start()
    check(env.wait_windows(1), "program runs")
    check(env.helper_run("close", "Tidewell_TrayWindow").returncode == 0, "WM_CLOSE posted")
    try:
        check(proc.wait(20) == 0, "ended by WM_CLOSE")
    except subprocess.TimeoutExpired:
        raise Failure("still running after WM_CLOSE")
    expect_removed_icon(log)
    expect_timeout_written(env)
    again, _ = env.start()
    check(env.wait_windows(1), "a new start is not refused as a second instance")
    env.helper_run("post", str(WM_TRAY_QUIT))
    check(again.wait(20) == 0, "second run ends")


OLD = b"+OK 1 10\r\n+OK\r\nSubject: before\r\n\r\n.\r\n"


def write_old_file(env, name):
    path = os.path.join(env.data, "Mail", md5_name(name))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(OLD)
    return path


def case_exit_during_check(env):
    """Exit while a session waits for its server: no QUIT, no file written;
    the account keeps the file of its previous check."""
    silent = env.scripted("silent")
    write_account_file(env.data, [(b"slow", b"user", b"pass", b"127.0.0.1", silent, 0)])
    path = write_old_file(env, b"slow")
    proc, log = env.start("-f1")
    check(env.wait_windows(1), "program runs")
    time.sleep(3)  # logged in, STAT unanswered
    check(proc.poll() is None, "check still running")
    env.helper_run("post", str(WM_COMMAND), str(CMD_EXIT))
    check(proc.wait(20) == 0, "ended by the exit command")
    check(read(path) == OLD, "the account keeps its old file")
    expect_removed_icon(log)


def case_disconnect_during_check(env):
    """Disconnect (32775) in the middle of a check: the session ends without a
    file, the next account is not contacted, the program runs on and the next
    check works."""
    silent = env.scripted("silent", connections=2)
    ok = env.scripted("ok")
    write_account_file(env.data, [(b"slow", b"user", b"pass", b"127.0.0.1", silent, 0),
                                  (b"next", b"user", b"pass", b"127.0.0.1", ok, 0)])
    slow_path = write_old_file(env, b"slow")
    next_path = os.path.join(env.data, "Mail", md5_name(b"next"))
    proc, log = env.start("-f1")
    check(env.wait_windows(1), "program runs")
    time.sleep(3)
    env.helper_run("post", str(WM_COMMAND), str(CMD_DISCONNECT))
    time.sleep(3)
    check(proc.poll() is None, "still running after the disconnect")
    check(read(slow_path) == OLD, "the disconnected account keeps its old file")
    check(not os.path.exists(next_path), "the next account was not contacted")
    # The next check starts anew (the silent server takes its second
    # connection, so it does not finish): the previous one is truly over.
    env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
    time.sleep(3)
    env.helper_run("post", str(WM_COMMAND), str(CMD_DISCONNECT))
    env.helper_run("post", str(WM_TRAY_QUIT))
    check(proc.wait(20) == 0, "ended by WM_TRAY_QUIT")
    calls = systray_calls(log)
    check(calls.count(1) >= 4, "icon changed to checking and back twice: %r" % calls)
    check(read(slow_path) == OLD, "still the old file")


def case_unresolvable_host(env):
    """A host name that cannot be resolved: the account gets the connection
    failure entry and the check goes on with the next account."""
    good = scripted_ok_file(env)
    ok = env.scripted("ok")
    write_account_file(env.data, [(b"nowhere", b"user", b"pass", b"no-such-host.invalid", 110, 0),
                                  (b"good", b"user", b"pass", b"127.0.0.1", ok, 0)])
    rc, log = run_check_once(env, "-f1", "-e1", "-i1")
    check(rc == 0, "exit code %d" % rc)
    check(read(os.path.join(env.data, "Mail", md5_name(b"nowhere"))) == CONNECT_FAILED, "connection failure entry")
    check(read(os.path.join(env.data, "Mail", md5_name(b"good"))) == good, "next account checked")
    expect_removed_icon(log)


def case_quit_hang_up(env):
    """A server that closes instead of answering QUIT: every mail was fetched,
    so the account keeps them and the check has no error (a check-once run
    without ErrorDisregard ends)."""
    good = scripted_ok_file(env)
    port = env.scripted("quit-close")
    write_account_file(env.data, [(b"a", b"user", b"pass", b"127.0.0.1", port, 0)])
    rc, log = run_check_once(env, "-f1", "-e1", "-i0")
    check(rc == 0, "exit code %d" % rc)
    check(read(os.path.join(env.data, "Mail", md5_name(b"a"))) == good, "the fetched mails are kept")
    expect_removed_icon(log)


def case_two_exits(env):
    """Two exit commands in a row: the second finds the program ending; the
    account mail files and hash.dat survive the clean-up."""
    write_account_file(env.data, [(b"a", b"u", b"p", b"127.0.0.1", closed_port(), 0)])
    path = write_old_file(env, b"a")
    proc, log = env.start()
    check(env.wait_windows(1), "program runs")
    env.helper_run("post", str(WM_COMMAND), str(CMD_EXIT), "0", "2")
    check(proc.wait(20) == 0, "ended by the exit command")
    check(os.path.exists(path) and read(path) == OLD, "account mail file survives")
    expect_removed_icon(log)
    # And the menu's exit right after WM_TRAY_QUIT.
    proc, log = env.start()
    check(env.wait_windows(1), "program runs again")
    env.helper_run("post", str(WM_TRAY_QUIT))
    env.helper_run("post", str(WM_COMMAND), str(CMD_EXIT))
    check(proc.wait(20) == 0, "ended")
    check(os.path.exists(path) and read(path) == OLD, "account mail file survives again")


def extract_icon_calls(log, name):
    """How many times the trace shows ExtractIconEx reading the file `name`."""
    log.flush()
    log.seek(0)
    return sum(1 for line in log.read().decode("latin-1").splitlines()
               if "ExtractIconEx" in line and name.lower() in line.lower())


def case_tray_icon(env):
    """The tray window takes its icon by the settings' rule (the user's icon
    file only with NormalCheck=1) and adds the icon again on
    "TaskbarCreated" and on message 1126, each time by the same rule."""
    icon = os.path.join(env.work, "usericon.ico")
    shutil.copy(os.path.join(HERE, "..", "..", "resources", "tidewell", "program.ico"), icon)
    write_account_file(env.data, [])
    for check_value, reads in (("1", True), ("2", False)):
        label = "NormalCheck=%s" % check_value
        write_ini(env.data, {"Icon": {"NormalCheck": check_value, "Normal": win_path(icon), "NormalNumber": 0}})
        proc, log = env.start(debug="trace+systray,trace+shell")
        check(env.wait_windows(1), "%s: program runs" % label)
        time.sleep(0.5)
        check(env.helper_run("taskbar").returncode == 0, "%s: TaskbarCreated posted" % label)
        time.sleep(0.5)
        check(env.helper_run("post", str(WM_TRAY_RESTOREICON)).returncode == 0, "%s: 1126 posted" % label)
        time.sleep(0.5)
        env.helper_run("post", str(WM_TRAY_QUIT))
        check(proc.wait(20) == 0, "%s: ended" % label)
        calls = systray_calls(log)
        check(calls == [0, 0, 0, 2], "%s: added, added again twice, deleted: %r" % (label, calls))
        n = extract_icon_calls(log, "usericon.ico")
        if reads:
            check(n >= 3, "%s: the icon file is read for every add (%d reads)" % (label, n))
        else:
            check(n == 0, "%s: the icon file is not read (%d reads)" % (label, n))


NIN_BALLOONUSERCLICK = 0x405


def case_balloon(env):
    """A check with new mail shows the balloon (default on): one more modify
    of the icon (NIF_INFO; its texts are tested in tests/notify and
    tests/engine), and a click on it opens the list. None with Balloon=0
    and none in a check-once run."""
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS))])
    write_account_file(env.data, [(b"a", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
    exe = private_program_folder(env, with_list=True)
    mail_file = os.path.join(env.data, "Mail", md5_name(b"a"))
    counts = {}
    for label, ini in (("default", None), ("off", {"Message": {"Balloon": 0}})):
        if os.path.exists(mail_file):
            os.remove(mail_file)
        if ini:
            write_ini(env.data, ini)
        proc, log = env.start(exe=exe)
        check(env.wait_windows(1), "%s: program runs" % label)
        env.helper_run("post", str(WM_COMMAND), str(CMD_MAIL_CHECK))
        check(wait_for(lambda: os.path.exists(mail_file), 30), "%s: check wrote the mail file" % label)
        time.sleep(1)
        counts[label] = systray_calls(log)
        if label == "default":
            env.helper_run("post", str(WM_TRAY_NOTIFY), "0", str(NIN_BALLOONUSERCLICK))
            check(list_title(env, 20) is not None, "a click on the balloon opens the list")
            env.helper_run("close", LIST_CLASS)
            time.sleep(1)
        env.helper_run("post", str(WM_TRAY_QUIT))
        check(proc.wait(20) == 0, "%s: ended" % label)
    # add, checking, mail, (balloon): the calls up to the end of the check
    on, off = counts["default"], counts["off"]
    check(on.count(1) == off.count(1) + 1, "the balloon is one more modify: %r against %r" % (on, off))
    # A check-once run that ends at once shows none.
    write_ini(env.data, {"Message": {"Balloon": 1}})
    os.remove(mail_file)
    rc, log = run_check_once(env, "-f1", "-e1")
    check(rc == 0 and os.path.exists(mail_file), "check-once run")
    once = systray_calls(log)
    check(once[:-1] == off, "no balloon in a check-once run: %r against %r" % (once, off))

CASES = {
    "check_once": (case_check_once, True),
    "check_error": (case_check_error_keeps_running, False),
    "password_unreadable": (case_password_unreadable, True),
    "new_message": (case_new_message, True),
    "single_instance": (case_single_instance, False),
    "quit_message": (case_quit_message, False),
    "summary_file": (case_summary_file, True),
    "seen_count": (case_seen_count, True),
    "exec_duplicate": (case_exec_duplicate, True),
    "except_program": (case_except_program, True),
    "mail_cleanup": (case_mail_cleanup, False),
    "sound": (case_sound, True),
    "list_library": (case_list_library, True),
    "popup_menu": (case_popup_menu, False),
    "list_window": (case_list_window, True),
    "list_session": (case_list_session, True),
    "list_delete_recognition": (case_list_delete_recognition, True),
    "list_closed_during_delete": (case_list_closed_during_delete, True),
    "hostile_server": (case_hostile_server, False),
    "uidl_flood": (case_uidl_flood, False),
    "close_message": (case_close_message, False),
    "exit_during_check": (case_exit_during_check, False),
    "disconnect_during_check": (case_disconnect_during_check, False),
    "unresolvable_host": (case_unresolvable_host, False),
    "two_exits": (case_two_exits, False),
    "quit_hang_up": (case_quit_hang_up, False),
    "tray_icon": (case_tray_icon, False),
    "settings_sheet": (case_settings_sheet, True),
    "balloon": (case_balloon, True),
}

# Cases that need the marker program and the stand-in list library.
NEEDS_HELPERS = {"seen_count", "exec_duplicate", "except_program", "list_library", "popup_menu", "balloon"}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--dist", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--marker")
    p.add_argument("--quillbox")
    p.add_argument("--list-test")
    p.add_argument("--session-test")
    args = p.parse_args()
    args.dist, args.helper, args.work = (os.path.abspath(x) for x in (args.dist, args.helper, args.work))
    if args.case in NEEDS_HELPERS and not (args.marker and args.quillbox):
        print("skipped: the marker program and the list stand-in are not built")
        return SKIP
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
