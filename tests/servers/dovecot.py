#!/usr/bin/env python3
"""Start and stop Debian's Dovecot as a POP3 server on a free loopback port.

For tests of any language:

    dovecot.py start --dir D --user NAME:PASSWORD:SOURCE [--user ...]
        prints the port; SOURCE is a folder of mail files (each copied into
        the user's maildir new/ in name order), "-" for an empty mailbox or
        "gen:N" for N generated small mails (benchmarks).
        With --ssl-cert PEM --ssl-key PEM: TLS as well (STLS on that port, and
        POP3S on a second port); prints "PORT POP3S_PORT".
        With --oauth-introspect URL --oauth-ca PEM: SASL XOAUTH2 and
        OAUTHBEARER as well, each token checked at that RFC 7662 endpoint;
        --oauth-mechanisms "xoauth2" offers only that one.
    dovecot.py stop --dir D

Importable: start(dir, users, ssl=(cert, key), oauth=(url, ca[, mechanisms])) -> port, pop3s_port(dir),
log_text(dir), stop(dir), available().

Dovecot runs as root with its login and mail processes as nobody, so the
runtime folder lives under /tmp (D itself may sit in a folder nobody cannot
traverse); D only holds state.json naming it.
"""

import argparse
import json
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time

DOVECOT = "/usr/sbin/dovecot"


def available():
    """True when dovecot is installed and we are root."""
    return os.path.exists(DOVECOT) and os.geteuid() == 0


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def generated_mail(i):
    """A small mail for generated mailboxes."""
    return ("From: sender%d@example.com\n"
            "To: user@example.com\n"
            "Subject: message %d\n"
            "Date: Mon, 1 Jan 2024 00:00:%02d +0900\n"
            "Message-ID: <gen%d@example.com>\n"
            "\n"
            "body of message %d\n" % (i, i, i % 60, i, i)).encode("ascii")


def _mails(source):
    """(bytes of each mail) for a SOURCE argument."""
    if source in ("", "-"):
        return []
    if source.startswith("gen:"):
        return [generated_mail(i) for i in range(1, int(source[4:]) + 1)]
    names = sorted(n for n in os.listdir(source) if os.path.isfile(os.path.join(source, n)))
    out = []
    for n in names:
        with open(os.path.join(source, n), "rb") as f:
            out.append(f.read())
    return out


def _write_maildir(root, mails, uid, gid):
    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    for i, data in enumerate(mails):
        # Dovecot numbers new mails in file-name order; the time stamp prefix
        # keeps them in the given order.
        name = "%d.M%dP1.tidewell" % (1000000000 + i, i)
        with open(os.path.join(root, "new", name), "wb") as f:
            f.write(data)
    for dirpath, dirnames, filenames in os.walk(root):
        os.chown(dirpath, uid, gid)
        for n in filenames:
            os.chown(os.path.join(dirpath, n), uid, gid)


CONFIG = """\
protocols = pop3
listen = 127.0.0.1
base_dir = {run}/base
state_dir = {run}/state
log_path = {run}/dovecot.log
{ssl}
disable_plaintext_auth = no
auth_verbose = yes
auth_mechanisms = plain apop{oauth_mechanisms}
first_valid_uid = 1
default_login_user = nobody
default_internal_user = root
mail_location = maildir:{run}/mail/%u
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {run}/passwd{password_mechanisms}
}}
{oauth_passdb}userdb {{
  driver = static
  args = uid=nobody gid=nogroup home={run}/home/%u
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot ={anvil_extra}
}}
service imap-login {{
  inet_listener imap {{
    port = 0
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service pop3-login {{
  inet_listener pop3s {{
    address = 127.0.0.1
    port = {ssl_port}
  }}
}}
"""

# Tokens are checked by asking the authorization server's introspection
# endpoint (RFC 7662) for each login; no cache, so a revoked token is refused
# at once.
OAUTH_PASSDB = """passdb {{
  driver = oauth2
  mechanisms = {mechanisms}
  args = {run}/oauth2.conf
}}
"""
OAUTH_CONF = """introspection_mode = post
introspection_url = {url}
force_introspection = yes
tls_ca_cert_file = {ca}
username_attribute = username
active_attribute = active
active_value = true
timeout_msecs = 10000
"""
# Refused tokens are part of the tests: no growing delay for the address
# they come from (the fixed delay of a failed login stays).
NO_PENALTY = """
  unix_listener anvil-auth-penalty {
    mode = 0
  }"""

SSL_OFF = "ssl = no"
# The key and certificate are read by the master process (root) at start-up.
SSL_ON = """ssl = yes
ssl_cert = <{cert}
ssl_key = <{key}"""


def _state_path(d):
    return os.path.join(d, "state.json")


def _wait_port(port, deadline):
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5) as s:
                s.settimeout(2)
                if s.recv(512).startswith(b"+OK"):
                    return True
        except OSError:
            time.sleep(0.1)
    return False


def start(d, users, timeout=20, ssl=None, oauth=None):
    """Starts dovecot for users [(name, password, source)]; returns the port.
    ssl=(certificate file, key file) (PEM) offers STLS on that port and POP3S
    on a second one (pop3s_port(d)); without it STLS is refused.
    oauth=(introspection URL, CA file[, mechanisms]) lets the users sign in
    with AUTH XOAUTH2 / OAUTHBEARER (or the mechanisms given, e.g.
    "xoauth2") and an access token that endpoint calls active for that user
    name (the passwords keep working too)."""
    if not available():
        raise RuntimeError("dovecot missing or not root")
    os.makedirs(d, exist_ok=True)
    if os.path.exists(_state_path(d)):
        stop(d)
    nobody = pwd.getpwnam("nobody")
    run = tempfile.mkdtemp(prefix="tw-dovecot-")
    os.chmod(run, 0o755)
    for sub in ("base", "state", "mail", "home"):
        os.makedirs(os.path.join(run, sub))
    with open(os.path.join(run, "passwd"), "w") as f:
        for name, password, _ in users:
            f.write("%s:%s\n" % (name, password))
    for name, _, source in users:
        _write_maildir(os.path.join(run, "mail", name), _mails(source), nobody.pw_uid, nobody.pw_gid)
        home = os.path.join(run, "home", name)
        os.makedirs(home)
        os.chown(home, nobody.pw_uid, nobody.pw_gid)
    port = free_port()
    ssl_port = 0
    ssl_conf = SSL_OFF
    if ssl:
        ssl_port = free_port()
        ssl_conf = SSL_ON.format(cert=os.path.abspath(ssl[0]), key=os.path.abspath(ssl[1]))
    oauth_mechanisms = password_mechanisms = oauth_passdb = anvil_extra = ""
    if oauth:
        mechanisms = oauth[2] if len(oauth) > 2 and oauth[2] else "xoauth2 oauthbearer"
        oauth_mechanisms = " " + mechanisms
        password_mechanisms = "\n  mechanisms = plain login apop"
        oauth_passdb = OAUTH_PASSDB.format(run=run, mechanisms=mechanisms)
        anvil_extra = NO_PENALTY
        with open(os.path.join(run, "oauth2.conf"), "w") as f:
            f.write(OAUTH_CONF.format(url=oauth[0], ca=os.path.abspath(oauth[1])))
    conf = os.path.join(run, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(CONFIG.format(run=run, port=port, ssl=ssl_conf, ssl_port=ssl_port, oauth_mechanisms=oauth_mechanisms,
                              password_mechanisms=password_mechanisms, oauth_passdb=oauth_passdb,
                              anvil_extra=anvil_extra))
    with open(_state_path(d), "w") as f:
        json.dump({"run": run, "port": port, "ssl_port": ssl_port, "conf": conf}, f)
    # The daemon keeps the descriptors it inherits: give it no pipe to hold.
    with open(os.path.join(run, "start.out"), "w") as out:
        r = subprocess.run([DOVECOT, "-c", conf], stdin=subprocess.DEVNULL, stdout=out,
                           stderr=subprocess.STDOUT)
    if r.returncode != 0 or not _wait_port(port, time.time() + timeout):
        log = ""
        for name in ("start.out", "dovecot.log"):
            try:
                with open(os.path.join(run, name)) as f:
                    log += f.read()[-2000:]
            except OSError:
                pass
        stop(d)
        raise RuntimeError("dovecot did not start: %s" % log)
    return port


def pop3s_port(d):
    """The POP3S port of the dovecot started for folder d with ssl (0 without)."""
    with open(_state_path(d)) as f:
        return json.load(f).get("ssl_port", 0)


def log_text(d):
    """Dovecot's log so far (logins, failed and refused connections)."""
    try:
        with open(_state_path(d)) as f:
            run = json.load(f)["run"]
        with open(os.path.join(run, "dovecot.log"), errors="replace") as f:
            return f.read()
    except (OSError, ValueError, KeyError):
        return ""


def stop(d):
    """Stops the dovecot started for folder d and removes its runtime folder."""
    try:
        with open(_state_path(d)) as f:
            state = json.load(f)
    except (OSError, ValueError):
        return
    subprocess.run([DOVECOT, "-c", state["conf"], "stop"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pid_file = os.path.join(state["run"], "base", "master.pid")
    deadline = time.time() + 10
    while os.path.exists(pid_file) and time.time() < deadline:
        time.sleep(0.1)
    shutil.rmtree(state["run"], ignore_errors=True)
    os.remove(_state_path(d))


def main(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    s = sub.add_parser("start")
    s.add_argument("--dir", required=True)
    s.add_argument("--user", action="append", default=[], help="NAME:PASSWORD:SOURCE")
    s.add_argument("--ssl-cert", help="PEM certificate (chain) for STLS and POP3S")
    s.add_argument("--ssl-key", help="PEM key of that certificate")
    s.add_argument("--oauth-introspect", help="https URL of an RFC 7662 introspection endpoint: "
                   "AUTH XOAUTH2 and OAUTHBEARER with tokens it calls active")
    s.add_argument("--oauth-ca", help="PEM CA certificate that endpoint's certificate leads to")
    s.add_argument("--oauth-mechanisms", help='the token mechanisms offered (default "xoauth2 oauthbearer")')
    t = sub.add_parser("stop")
    t.add_argument("--dir", required=True)
    sub.add_parser("check", help="exit 0 when dovecot can be started here")
    a = p.parse_args(argv)
    if a.cmd == "check":
        return 0 if available() else 1
    if a.cmd == "stop":
        stop(a.dir)
        return 0
    users = []
    for u in a.user:
        parts = u.split(":", 2)
        if len(parts) != 3:
            p.error("--user wants NAME:PASSWORD:SOURCE")
        users.append(tuple(parts))
    ssl = (a.ssl_cert, a.ssl_key) if a.ssl_cert and a.ssl_key else None
    try:
        oauth = (a.oauth_introspect, a.oauth_ca, a.oauth_mechanisms) if a.oauth_introspect else None
        port = start(a.dir, users, ssl=ssl, oauth=oauth)
        if ssl:
            print(port, pop3s_port(a.dir), flush=True)
        else:
            print(port, flush=True)
    except RuntimeError as e:
        print(e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
