#!/usr/bin/env python3
"""End-to-end tests of POP3 over TLS: Tidewell.exe under Wine against Dovecot
with TLS, through a relay that records every byte the program sends.

    tls_e2e.py CASE --dist DIR --helper tray_helper.exe --work DIR

A private test CA is made with openssl at test time and trusted in the test
prefix only (an entry in the current user's Root certificate store, imported
with `wine reg import` and deleted again at the end); the host's trust store
is never touched. Server certificates carry the name "localhost": the
accounts use that name (a name check against an IP address does not work
under Wine).

Cases:
  connect      TLS on connect (POP3S): the account mail file is byte-exact as
               in clear text, and no command or password crosses in clear
  stls         STLS on the POP3 port: "STLS" is the only clear command
  bad_name     certificate for another name: the name error entry, for a TLS
               on connect and an STLS account; no password sent
  untrusted    certificate of a CA that is not trusted: the trust error entry,
               for both modes; no password sent
  expired      certificate of the trusted CA that expired in 2020: the expiry
               error entry, for both modes; no password sent
  stls_refused a server without TLS refuses STLS: the refusal entry, only
               "STLS" and "QUIT" sent
  stls_inject  a line slipped in after the +OK of STLS (scripted server): the
               injection entry, only "STLS" sent
  list         the list library's own session after a TLS check: a view and a
               delete over TLS on connect and over STLS (the cache file equals
               the server's TOP n 10 reply, exactly the selected mails go), no
               command or password in clear
  client_cert  a TLS 1.2 server that asks for an optional client certificate
               (Python's ssl module, CERT_OPTIONAL): the handshake goes on
               without one and the account is checked
  renegotiate  openssl s_server (TLS 1.2) renegotiates after the greeting:
               refused, the channel error entry (4,6), no password sent
  list_bad_cert the list's session to a server whose certificate does not
               carry the name typed: the view and the delete fail with the
               certificate error, no password sent, nothing deleted
Exits 77 (skipped) without root, Dovecot or openssl.
"""
import argparse
import hashlib
import os
import shutil
import socket
import struct
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
import scripted_pop3  # noqa: E402
import test_pki  # noqa: E402
from e2e import Failure, check, read, md5_name  # noqa: E402

dovecot = e2e.dovecot
account_dat = e2e.account_dat
SKIP = 77

PASSWORD = b"Secr3t-pw!"


def entry(text):
    return ("*ERR\r\n" + text + "\r\n.\r\n").encode("cp932")


UNTRUSTED = entry("サーバー証明書が信頼できないため、接続を中止しました。(4,2)")
NAME_MISMATCH = entry("サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(4,3)")
INJECTED = entry("STLSの応答の後に不正なデータを受信したため、接続を中止しました。(4,5)")
EXPIRED = entry("サーバー証明書の有効期限が切れているため、接続を中止しました。(4,4)")
STLS_REFUSED = entry("サーバーがSTLSに対応していないため、接続を中止しました。(2,7)")
CHANNEL_ERROR = entry("暗号化された通信でエラーが発生しました。(4,6)")


# ---- certificates --------------------------------------------------------

def openssl(*args, cwd):
    try:
        test_pki.openssl(*args, cwd=cwd)
    except test_pki.PkiError as e:
        raise Failure(str(e))


def make_ca(folder, name):
    try:
        return test_pki.make_ca(folder, name)
    except test_pki.PkiError as e:
        raise Failure(str(e))


def make_server_cert(folder, ca, host, name, ips=()):
    """A server certificate for host signed by ca; returns (cert, key) paths."""
    try:
        return test_pki.make_server_cert(folder, ca, host, name, ips)
    except test_pki.PkiError as e:
        raise Failure(str(e))


CA_CONFIG = """[ca]
default_ca = test
[test]
database = {db}/index.txt
new_certs_dir = {db}
serial = {db}/serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[any]
commonName = supplied
"""


def make_expired_cert(folder, ca, host, name):
    """A certificate for host signed by ca, valid in January 2020 only
    (`openssl ca` sets both dates; `x509 -req` cannot)."""
    db = os.path.join(folder, name + "-db")
    os.makedirs(db)
    open(os.path.join(db, "index.txt"), "w").close()
    with open(os.path.join(db, "serial"), "w") as f:
        f.write("%016X\n" % int.from_bytes(os.urandom(8), "big"))
    with open(os.path.join(folder, name + ".cnf"), "w") as f:
        f.write(CA_CONFIG.format(db=db))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
            "-subj", "/CN=%s" % host, "-addext", "subjectAltName=DNS:%s" % host,
            "-addext", "extendedKeyUsage=serverAuth", cwd=folder)
    openssl("ca", "-batch", "-config", name + ".cnf", "-cert", ca + ".pem", "-keyfile", ca + ".key",
            "-in", name + ".csr", "-out", name + ".pem", "-notext",
            "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", cwd=folder)
    return os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key")


def der_of(pem_path, folder):
    der = os.path.join(folder, os.path.basename(pem_path) + ".der")
    openssl("x509", "-in", pem_path, "-outform", "DER", "-out", der, cwd=folder)
    return read(der)


ROOT_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\SystemCertificates\Root\Certificates"


class TrustedCa:
    """The test CA in the Root store of the test prefix's current user."""

    def __init__(self, env, ca_pem):
        der = der_of(ca_pem, env.work)
        self.thumb = hashlib.sha1(der).hexdigest().upper()
        blob = struct.pack("<III", 0x20, 1, len(der)) + der
        reg = os.path.join(env.work, "trust-ca.reg")
        with open(reg, "w", newline="\r\n") as f:
            f.write("Windows Registry Editor Version 5.00\n\n[%s\\%s]\n\"Blob\"=hex:%s\n"
                    % (ROOT_KEY, self.thumb, ",".join("%02x" % b for b in blob)))
        self.wine_reg("import", e2e.win_path(reg))

    @staticmethod
    def wine_reg(*args):
        r = subprocess.run(["wine", "reg"] + list(args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=60)
        if r.returncode != 0:
            raise Failure("wine reg %s: %s" % (args[0], r.stdout.decode(errors="replace")))

    def remove(self):
        try:
            self.wine_reg("delete", "%s\\%s" % (ROOT_KEY, self.thumb), "/f")
        except (Failure, subprocess.TimeoutExpired):
            pass


# ---- a relay that records what the program sends -------------------------

class Relay:
    """Listens on 127.0.0.1 and forwards every connection to a port, keeping
    the bytes the client sent (one bytes object per connection)."""

    def __init__(self, target_port):
        self.target = target_port
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.sent = []
        self.lock = threading.Lock()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.sock.accept()
            except OSError:
                return
            with self.lock:
                self.sent.append(b"")
                index = len(self.sent) - 1
            server = socket.create_connection(("127.0.0.1", self.target))
            threading.Thread(target=self._pump, args=(client, server, index), daemon=True).start()
            threading.Thread(target=self._pump, args=(server, client, None), daemon=True).start()

    def _pump(self, src, dst, index):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                if index is not None:
                    with self.lock:
                        self.sent[index] += data
                dst.sendall(data)
        except OSError:
            pass
        for s in (dst,):
            try:
                s.shutdown(socket.SHUT_WR)
            except OSError:
                pass

    def client_bytes(self):
        with self.lock:
            return list(self.sent)

    def close(self):
        self.sock.close()


def start_server(env, users, cert=None, extra=()):
    """Dovecot through its command line (see e2e.start_dovecot), with the
    options `extra` as well; returns (port, pop3s port or 0)."""
    out_path = os.path.join(env.work, "dovecot.out")
    with open(out_path, "w+") as out:
        cmd = [sys.executable, dovecot.__file__, "start", "--dir", env.server_dir]
        for name, password, source in users:
            cmd += ["--user", "%s:%s:%s" % (name, password, source)]
        if cert:
            cmd += ["--ssl-cert", cert[0], "--ssl-key", cert[1]]
        cmd += list(extra)
        rc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                            timeout=60).returncode
        out.seek(0)
        text = out.read()
    if rc != 0:
        raise Failure("dovecot did not start: " + text)
    ports = [int(x) for x in text.split()[-2:]] if cert else [int(text.split()[-1]), 0]
    return ports[0], ports[1]


def write_accounts(env, accounts):
    """accounts: [(name, user, server, port, tls mode)], all with PASSWORD."""
    recs = [account_dat.record(n, u, PASSWORD, s, p, False, tls=t) for n, u, s, p, t in accounts]
    with open(os.path.join(env.data, "Account.dat"), "wb") as f:
        f.write(account_dat.encode_file(recs))


def run_once(env):
    rc, _ = e2e.run_check_once(env, "-f1", "-e1", "-i1")
    check(rc == 0, "exit code %d" % rc)


def mail_file(env, name):
    path = os.path.join(env.data, "Mail", md5_name(name))
    return read(path) if os.path.exists(path) else b"<missing>"


def expect_no_secret(relay, what):
    for i, sent in enumerate(relay.client_bytes()):
        check(PASSWORD not in sent, "%s: password in clear on connection %d" % (what, i))
        for word in (b"USER", b"PASS", b"APOP"):
            check(word not in sent, "%s: %r in clear on connection %d: %r" % (what, word, i, sent[:200]))


def is_tls_stream(data):
    """Bytes that are TLS records from the start (handshake record, 3.x)."""
    return len(data) >= 5 and data[0] == 0x16 and data[1] == 3


# ---- cases -----------------------------------------------------------------

class Setup:
    def __init__(self, env):
        self.env = env
        self.folder = os.path.join(env.work, "pki")
        os.makedirs(self.folder)
        self.ca = make_ca(self.folder, "ca")
        self.trusted = TrustedCa(env, os.path.join(self.folder, "ca.pem"))
        self.relays = []

    def relay(self, port):
        r = Relay(port)
        self.relays.append(r)
        return r

    def close(self):
        for r in self.relays:
            r.close()
        self.trusted.remove()


def big_header_mail():
    """A mail whose header alone spans several TLS records (about 40 KB): its
    TOP reply arrives in records cut across receives, and receives holding
    several records."""
    lines = [b"From: big@example.com", b"To: user@example.com", b"Subject: big header"]
    lines += [b"X-Filler-%04d: %s" % (i, b"z" * 70) for i in range(480)]
    return b"\n".join(lines) + b"\n\nbody\n"


def good_session(env, setup, mode):
    cert = make_server_cert(setup.folder, setup.ca, "localhost", "server")
    mails = e2e.MAILS + [big_header_mail()]
    port, ssl_port = start_server(env, [("alice", PASSWORD.decode(), e2e.mail_dir(env, mails))], cert)
    relay = setup.relay(ssl_port if mode == "tls" else port)
    write_accounts(env, [(b"secure", b"alice", b"localhost", relay.port, mode)])
    run_once(env)
    entries = e2e.server_entries(port, "alice", PASSWORD.decode())
    check(len(entries) == 4 and len(entries[3][1]) > 40000, "server holds the mails")
    check(mail_file(env, b"secure") == e2e.expected_mail_file(entries),
          "account file over %s: %r" % (mode, mail_file(env, b"secure")[:200]))
    hashes = "".join(e2e.header_hash(l, t) + "\n" for l, t in entries).encode()
    check(read(os.path.join(env.data, "Mail", "hash.dat")) == hashes, "hash.dat")
    sent = relay.client_bytes()
    check(len(sent) == 1, "one connection: %d" % len(sent))
    expect_no_secret(relay, mode)
    if mode == "tls":
        check(is_tls_stream(sent[0]), "TLS from the first byte: %r" % sent[0][:20])
    else:
        check(sent[0].startswith(b"STLS\r\n") and is_tls_stream(sent[0][6:]),
              "STLS, then TLS: %r" % sent[0][:20])
    check(b"QUIT" not in sent[0], "QUIT went through TLS too")
    log = dovecot.log_text(env.server_dir)
    check("user=<alice>" in log and "TLS" in log, "Dovecot logged a TLS login: %s" % log[-600:])


def case_connect(env, setup):
    good_session(env, setup, "tls")


def case_stls(env, setup):
    good_session(env, setup, "stls")


def failed_certificate(env, setup, cert, expected):
    port, ssl_port = start_server(env, [("alice", PASSWORD.decode(), e2e.mail_dir(env, e2e.MAILS))], cert)
    on_connect = setup.relay(ssl_port)
    stls = setup.relay(port)
    write_accounts(env, [(b"on connect", b"alice", b"localhost", on_connect.port, "tls"),
                         (b"stls", b"alice", b"localhost", stls.port, "stls")])
    run_once(env)
    check(mail_file(env, b"on connect") == expected, "TLS on connect entry: %r" % mail_file(env, b"on connect"))
    check(mail_file(env, b"stls") == expected, "STLS entry: %r" % mail_file(env, b"stls"))
    for relay, what in ((on_connect, "on connect"), (stls, "stls")):
        sent = relay.client_bytes()
        check(len(sent) == 1, "%s: one connection: %d" % (what, len(sent)))
        expect_no_secret(relay, what)
    check(stls.client_bytes()[0].startswith(b"STLS\r\n"), "STLS sent")
    log = dovecot.log_text(env.server_dir)
    check("user=<alice>" not in log and "auth failed" not in log, "no login attempt reached Dovecot: %s" % log[-800:])


def case_bad_name(env, setup):
    cert = make_server_cert(setup.folder, setup.ca, "other.example", "wrong-name")
    failed_certificate(env, setup, cert, NAME_MISMATCH)


def case_untrusted(env, setup):
    stranger = make_ca(setup.folder, "stranger")
    cert = make_server_cert(setup.folder, stranger, "localhost", "untrusted")
    failed_certificate(env, setup, cert, UNTRUSTED)


def case_expired(env, setup):
    cert = make_expired_cert(setup.folder, setup.ca, "localhost", "expired")
    failed_certificate(env, setup, cert, EXPIRED)


def case_stls_refused(env, setup):
    port, _ = start_server(env, [("alice", PASSWORD.decode(), e2e.mail_dir(env, e2e.MAILS))])
    relay = setup.relay(port)
    write_accounts(env, [(b"refused", b"alice", b"localhost", relay.port, "stls")])
    run_once(env)
    check(mail_file(env, b"refused") == STLS_REFUSED, "refusal entry: %r" % mail_file(env, b"refused"))
    check(relay.client_bytes() == [b"STLS\r\nQUIT\r\n"], "only STLS and QUIT: %r" % relay.client_bytes())


def case_stls_inject(env, setup):
    ports = []
    ready = threading.Event()

    def report(port):
        ports.append(port)
        ready.set()

    threading.Thread(target=scripted_pop3.serve, args=("stls-inject", 1, 60.0, report), daemon=True).start()
    check(ready.wait(10), "scripted server started")
    relay = setup.relay(ports[0])
    write_accounts(env, [(b"injected", b"user", b"localhost", relay.port, "stls")])
    run_once(env)
    check(mail_file(env, b"injected") == INJECTED, "injection entry: %r" % mail_file(env, b"injected"))
    check(relay.client_bytes() == [b"STLS\r\n"], "only STLS: %r" % relay.client_bytes())


def list_setup(env, setup):
    """Two accounts over TLS (alice on connect, bob with STLS) checked once, and
    the list set to view in the message window without asking before a delete.
    Returns (clear port, on-connect relay, STLS relay)."""
    if not env.session_test:
        raise Failure("the list session test program was not given")
    cert = make_server_cert(setup.folder, setup.ca, "localhost", "server")
    port, ssl_port = start_server(env, [("alice", PASSWORD.decode(), e2e.mail_dir(env, e2e.numbered_mails("a", 4))),
                                        ("bob", PASSWORD.decode(), e2e.mail_dir(env, e2e.numbered_mails("b", 3)))],
                                  cert)
    pop3s, stls = setup.relay(ssl_port), setup.relay(port)
    write_accounts(env, [(b"secure", b"alice", b"localhost", pop3s.port, "tls"),
                         (b"stls", b"bob", b"localhost", stls.port, "stls")])
    run_once(env)
    check(mail_file(env, b"secure").count(b"\r\n.\r\n") == 4, "the check over TLS fetched four mails")
    check(mail_file(env, b"stls").count(b"\r\n.\r\n") == 3, "the check over STLS fetched three mails")
    with open(os.path.join(env.data, "Quillbox.ini"), "wb") as f:
        # Line=10 as an older list left it: the view fetches TOP n 10.
        f.write(b"[Setting]\r\nDeleteCheck=0\r\n[Message]\r\nViewer=0\r\nLine=10\r\n")
    return port, pop3s, stls


def cache_files(env):
    names = [md5_name(b"secure"), md5_name(b"stls")]
    folder = os.path.join(env.data, "Mail")
    return {n: read(os.path.join(folder, n)) for n in os.listdir(folder) if len(n) == 32 and n not in names}


def expect_tls_connections(pop3s, stls, count):
    """Every connection of both relays (the check's and the list's) carried
    TLS only: from the first byte, or after a clear STLS."""
    for relay, what in ((pop3s, "on connect"), (stls, "stls")):
        sent = relay.client_bytes()
        check(len(sent) == count, "%s: %d connections: %d" % (what, count, len(sent)))
        expect_no_secret(relay, what)
        for i, data in enumerate(sent):
            if relay is pop3s:
                check(is_tls_stream(data), "%s %d: TLS from the first byte: %r" % (what, i, data[:20]))
            else:
                check(data.startswith(b"STLS\r\n") and is_tls_stream(data[6:]),
                      "%s %d: STLS, then TLS: %r" % (what, i, data[:20]))
            check(b"QUIT" not in data, "%s %d: QUIT went through TLS" % (what, i))


def case_list(env, setup):
    port, pop3s, stls = list_setup(env, setup)
    pw = PASSWORD.decode()
    boxes, _ = e2e.drive_list(env, 40016, "secure:2", count=2)
    check(boxes == ["message|a-2"], "view over TLS on connect: %r" % boxes)
    cached = cache_files(env)
    check(list(cached.values()) == [e2e.server_top(port, "alice", pw, 2, 10)],
          "the cache file equals TOP 2 10: %r" % [v[:80] for v in cached.values()])
    boxes, _ = e2e.drive_list(env, 40016, "stls:3", count=2)
    check(boxes == ["message|b-3"], "view over STLS: %r" % boxes)
    check(e2e.server_top(port, "bob", pw, 3, 10) in cache_files(env).values(), "the STLS cache file equals TOP 3 10")
    boxes, _ = e2e.drive_list(env, 1004, "secure:1,stls:2,secure:3", count=2)
    check(boxes == [], "delete over both: %r" % boxes)
    check(e2e.server_subjects(port, "alice", pw) == ["a-2", "a-4"], "alice lost exactly 1 and 3")
    check(e2e.server_subjects(port, "bob", pw) == ["b-1", "b-3"], "bob lost exactly 2")
    check(mail_file(env, b"secure").count(b"-DE ") == 2 and mail_file(env, b"stls").count(b"-DE ") == 1,
          "the deleted blocks are marked")
    # The check, two views (one per account) and the delete: three
    # connections to each, every one secured.
    expect_tls_connections(pop3s, stls, 3)
    log = dovecot.log_text(env.server_dir)
    check(log.count("user=<alice>") >= 3 and log.count("user=<bob>") >= 3, "Dovecot logged the logins: %s"
          % log[-600:])


def case_list_bad_cert(env, setup):
    port, pop3s, stls = list_setup(env, setup)
    # The same servers, typed as an address: the certificate carries
    # "localhost", not "127.0.0.1", so the name does not match.
    write_accounts(env, [(b"secure", b"alice", b"127.0.0.1", pop3s.port, "tls"),
                         (b"stls", b"bob", b"127.0.0.1", stls.port, "stls")])
    before = len(dovecot.log_text(env.server_dir))
    boxes, _ = e2e.drive_list(env, 40016, "secure:1", count=2)
    check(boxes == ["表示エラー|secure:サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(37)\n"],
          "view refused: %r" % boxes)
    check(cache_files(env) == {}, "no cache file")
    boxes, _ = e2e.drive_list(env, 1004, "stls:1,secure:2", count=2)
    words = "サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(37)"
    check(len(boxes) == 1 and boxes[0].startswith("削除エラー|")
          and sorted(boxes[0].split("|", 1)[1].splitlines()) == ["secure:" + words, "stls:" + words],
          "delete refused for both accounts: %r" % boxes)
    check(len(pop3s.client_bytes()) == 3 and len(stls.client_bytes()) == 2,
          "the list connected for the view and the delete: %d, %d"
          % (len(pop3s.client_bytes()), len(stls.client_bytes())))
    expect_no_secret(pop3s, "on connect")
    expect_no_secret(stls, "stls")
    check(stls.client_bytes()[1].startswith(b"STLS\r\n"), "STLS sent before the handshake")
    log = dovecot.log_text(env.server_dir)[before:]
    check("user=<alice>" not in log and "user=<bob>" not in log, "no login reached Dovecot: %s" % log[-800:])
    check(e2e.server_subjects(port, "alice", PASSWORD.decode()) == ["a-1", "a-2", "a-3", "a-4"], "alice kept all")
    check(e2e.server_subjects(port, "bob", PASSWORD.decode()) == ["b-1", "b-2", "b-3"], "bob kept all")


class TinyPop3s:
    """A TLS 1.2 POP3 server with an empty mailbox on a thread: asks for a
    client certificate it does not insist on, and records what it got."""

    def __init__(self, cert, ca_pem):
        import ssl
        self.ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.ctx.maximum_version = ssl.TLSVersion.TLSv1_2
        self.ctx.load_cert_chain(cert[0], cert[1])
        self.ctx.load_verify_locations(ca_pem)  # names the CA in the request
        self.ctx.verify_mode = ssl.CERT_OPTIONAL
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.commands, self.peer_certs, self.errors = [], [], []
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                raw, _ = self.sock.accept()
            except OSError:
                return
            try:
                with self.ctx.wrap_socket(raw, server_side=True) as c:
                    self.peer_certs.append(c.getpeercert(binary_form=True))
                    c.sendall(b"+OK ready\r\n")
                    f = c.makefile("rb")
                    for line in f:
                        word = line.split(b" ")[0].strip().upper()
                        self.commands.append(word)
                        reply = {b"USER": b"+OK", b"PASS": b"+OK", b"STAT": b"+OK 0 0",
                                 b"QUIT": b"+OK bye"}.get(word, b"-ERR")
                        c.sendall(reply + b"\r\n")
                        if word == b"QUIT":
                            break
            except Exception as e:  # noqa: BLE001 - reported by the case
                self.errors.append(repr(e))

    def close(self):
        self.sock.close()


def case_client_cert(env, setup):
    cert = make_server_cert(setup.folder, setup.ca, "localhost", "server")
    server = TinyPop3s(cert, os.path.join(setup.folder, "ca.pem"))
    try:
        write_accounts(env, [(b"asks", b"alice", b"localhost", server.port, "tls")])
        run_once(env)
        got = mail_file(env, b"asks")
        check(not got.startswith(b"*ERR"), "checked without a client certificate: %r" % got[:200])
        check(server.peer_certs == [None], "no client certificate sent: %r" % server.peer_certs)
        check(b"PASS" in server.commands and server.commands[-1] == b"QUIT",
              "the session ran over TLS: %r %r" % (server.commands, server.errors))
    finally:
        server.close()


def case_renegotiate(env, setup):
    """s_server's "r" line asks the client for a new handshake: sent once the
    program has answered the greeting, before the reply to USER."""
    cert = make_server_cert(setup.folder, setup.ca, "localhost", "server")
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    proc = subprocess.Popen(["openssl", "s_server", "-tls1_2", "-accept", "127.0.0.1:%d" % port,
                             "-cert", cert[0], "-key", cert[1], "-ign_eof"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    seen = []

    def drive():
        # The greeting goes out as soon as the client is connected.
        proc.stdin.write(b"+OK ready\n")
        proc.stdin.flush()
        for line in proc.stdout:
            seen.append(line)
            if line.startswith(b"USER") or line.startswith(b"CAPA"):
                proc.stdin.write(b"r\n")
                proc.stdin.flush()
                break

    try:
        import time
        time.sleep(1)  # s_server listening
        relay = setup.relay(port)
        threading.Thread(target=drive, daemon=True).start()
        write_accounts(env, [(b"reneg", b"alice", b"localhost", relay.port, "tls")])
        run_once(env)
        got = mail_file(env, b"reneg")
        check(got == CHANNEL_ERROR, "renegotiation refused with the channel error: %r (server saw %r)"
              % (got[:200], seen[-5:]))
        expect_no_secret(relay, "renegotiate")
        for sent in relay.client_bytes():
            check(PASSWORD not in sent, "no password")
    finally:
        proc.kill()
        proc.wait()


CASES = {
    "client_cert": case_client_cert,
    "renegotiate": case_renegotiate,
    "list": case_list,
    "list_bad_cert": case_list_bad_cert,
    "stls_inject": case_stls_inject,
    "connect": case_connect,
    "stls": case_stls,
    "bad_name": case_bad_name,
    "untrusted": case_untrusted,
    "expired": case_expired,
    "stls_refused": case_stls_refused,
}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--dist", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--session-test", help="quillbox_list_session_test.exe (list cases)")
    args = p.parse_args()
    args.dist, args.helper, args.work = (os.path.abspath(x) for x in (args.dist, args.helper, args.work))
    args.marker = args.quillbox = args.list_test = None
    if not dovecot.available() or not shutil.which("openssl"):
        print("skipped: needs root, /usr/sbin/dovecot and openssl")
        return SKIP
    env = e2e.Env(args, "tls_" + args.case)
    setup = None
    try:
        setup = Setup(env)
        CASES[args.case](env, setup)
    except Failure as e:
        print("FAILED:", e)
        return 1
    finally:
        if setup:
            setup.close()
        env.cleanup()
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
