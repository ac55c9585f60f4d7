#!/usr/bin/env python3
"""End-to-end tests of the OAuth 2.0 sign-in: Tidewell.exe under Wine, a test
authorization server (tests/servers/oauth_server.py, HTTPS with the test CA)
and Dovecot validating the access tokens at that server's introspection
endpoint, every POP3 connection through a relay that records what the
program sends.

    oauth_e2e.py CASE --dist DIR --helper tray_helper.exe --work DIR
                 [--open-url open_url.exe] [--session-test quillbox_list_session_test.exe]

The browser and signin cases point the prefix's browser list (HKCU\Software\
Wine\WineBrowser "Browsers") at tests/servers/test_browser.py and remove
the value again at the end.

The test CA is trusted in the test prefix only (tls_e2e.TrustedCa); the
certificates name "localhost" (WinHTTP under Wine does not match an address
against a certificate), so the endpoints are https://localhost:PORT/.

Cases:
  browser          the test browser: ShellExecuteA of an https authorization
                   URL starts it (the prefix's WineBrowser list), it approves
                   and follows the redirect to a loopback listener
  check            accounts signed in with OAuth (TLS on connect and STLS):
                   the first check refreshes the access token, signs in and
                   gets the same mails as a password account of that
                   mailbox; a second check uses the cached token; no token
                   crosses in clear, Account.dat and Token.dat hold none in
                   clear
  short_lived      tokens that live less than the refresh margin, rotated on
                   each refresh: every check refreshes first, with the
                   refresh token the last refresh gave (a server offering
                   XOAUTH2 only)
  revoked_access   the cached access token revoked on the server: refused,
                   refreshed, retried on the same connection, mails
  revoked_refresh  the refresh token revoked: the "sign in again" entry
                   (6,1), with and without a cached access token
  not_secured      an OAuth account without TLS: the entry (6,4), no
                   connection
  token_failures   no token to be had (the endpoint answers 503, does not
                   listen, has a certificate of an untrusted CA; no client
                   id) and a fresh token the mail server refuses: each its
                   entry, (6,2), (6,5) or (6,3), one refresh at most
  list             the list's view of an OAuth account's mail signs in with
                   the token (cached, then after a revocation refreshed), and
                   so does a delete
  signin           サインイン in the account dialog through the test browser:
                   PKCE checked, who signed in shown and saved, the refresh
                   token sealed, the first check uses the sign-in's token
Exits 77 (skipped) without root, Dovecot or openssl.
"""
import argparse
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
import tls_e2e  # noqa: E402
import oauth_server  # noqa: E402  (tests/servers, on the path through e2e)
import test_browser  # noqa: E402
from e2e import Failure, check, read, md5_name  # noqa: E402

dovecot = e2e.dovecot
account_dat = e2e.account_dat
SKIP = 77

USER = "alice@example.test"
PASSWORD = "alice-pw"
CLIENT_ID = "tidewell-test"
BROWSER_KEY = r"HKCU\Software\Wine\WineBrowser"

# The sign-in entries of the check (common/check_errors).
SIGN_IN_AGAIN = tls_e2e.entry("OAuth 2.0のサインインが無効になっています。設定のアカウントで「サインイン」を押して、"
                              "サインインし直してください。(6,1)")
REFRESH_FAILED = tls_e2e.entry("アクセストークンを取得できませんでした。ネットワークの接続を確かめて、"
                               "しばらくしてからもう一度チェックしてください。(6,2)")
TOKEN_REFUSED = tls_e2e.entry("メールサーバーがアクセストークンを受け付けませんでした。ユーザーIDがサインインしたメールアドレスか、"
                              "POP3が使える設定かを確かめて、設定のアカウントでサインインし直してください。(6,3)")
NO_CLIENT_ID = tls_e2e.entry("OAuth 2.0のクライアントIDが設定されていないため、サインインできません。"
                             "Tidewell.ini の [OAuth.Microsoft]、[OAuth.Google] または [OAuth.Custom] に ClientId を設定してください。(6,5)")
NOT_SECURED = tls_e2e.entry("暗号化されていない接続ではアクセストークンを送れないため、接続を中止しました。"
                            "設定のアカウントで接続の保護を「SSL/TLS」か「STLS」にしてください。(6,4)")


# ---- the servers ---------------------------------------------------------

class OAuthSetup:
    """The test CA trusted in the prefix, the authorization server, Dovecot
    with TLS and tokens, and the program's Tidewell.ini naming the server."""

    def __init__(self, env, mails=None, mechanisms=None):
        self.env = env
        self.tls = tls_e2e.Setup(env)
        folder = self.tls.folder
        self.ca_pem = os.path.join(folder, "ca.pem")
        cert = tls_e2e.make_server_cert(folder, self.tls.ca, "localhost", "server", ips=["127.0.0.1"])
        self.server = oauth_server.OAuthServer(cert[0], cert[1], client_id=CLIENT_ID, user=USER)
        self.server.start()
        self.mails = mails or e2e.MAILS
        self.port, self.pop3s = self._dovecot(cert, mechanisms)
        e2e.write_ini(env.data, {"OAuth.Custom": {
            "ClientId": CLIENT_ID,
            "AuthorizeUrl": self.server.url("/authorize", "localhost"),
            "TokenUrl": self.server.url("/token", "localhost"),
            "Scope": "pop offline_access"}})
        self.browser_set = False

    def _dovecot(self, cert, mechanisms):
        extra = ["--oauth-introspect", self.server.url("/introspect"), "--oauth-ca", self.ca_pem]
        if mechanisms:
            extra += ["--oauth-mechanisms", mechanisms]
        return tls_e2e.start_server(self.env, [(USER, PASSWORD, e2e.mail_dir(self.env, self.mails))], cert, extra)

    def relay(self, port):
        return self.tls.relay(port)

    def use_test_browser(self):
        """The prefix's browser list names the test browser (until close)."""
        self.browser_log = os.path.join(self.env.work, "browser.log")
        launcher = test_browser.install(self.env.work, self.ca_pem, self.browser_log)
        tls_e2e.TrustedCa.wine_reg("add", BROWSER_KEY, "/v", "Browsers", "/d", launcher, "/f")
        self.browser_set = True

    def browser_runs(self):
        if not os.path.exists(self.browser_log):
            return []
        return [json.loads(line) for line in read(self.browser_log).decode().splitlines() if line]

    def close(self):
        if self.browser_set:
            try:
                tls_e2e.TrustedCa.wine_reg("delete", BROWSER_KEY, "/v", "Browsers", "/f")
            except (Failure, subprocess.TimeoutExpired):
                pass
        self.server.stop()
        self.tls.close()

    # ---- what the servers saw ----------------------------------------------

    def secrets(self):
        """Every token the server issued, and each as the SASL strings carry
        it (base64 of the XOAUTH2 and OAUTHBEARER initial responses)."""
        with self.server.lock:
            tokens = list(self.server.access) + list(self.server.refresh)
        out = []
        for t in tokens:
            out.append(t.encode())
            out.append(base64.b64encode(("user=%s\x01auth=Bearer %s\x01\x01" % (USER, t)).encode()))
            out.append(base64.b64encode(("n,a=%s,\x01auth=Bearer %s\x01\x01" % (USER, t)).encode()))
            out.append(base64.b64encode(t.encode()))
        return out

    def logins(self):
        """Dovecot's token logins so far: the SASL methods, in order (the
        tests' own password logins left out)."""
        log = dovecot.log_text(self.env.server_dir)
        methods = [line.split("method=")[1].split(",")[0] for line in log.splitlines()
                   if "Login: user=<%s>" % USER in line and "method=" in line]
        return [m for m in methods if m != "PLAIN"]


# ---- Account.dat and the files of the program ------------------------------

def oauth_record(name, server, port, tls, refresh_token, user=USER.encode()):
    """A version-8 record of an account signed in with the custom provider
    (the refresh token scrambled, for Tidewell to seal)."""
    return account_dat.record(name, user, b"", server, port, False, tls=tls, signin="oauth", provider="custom",
                              oauth_account=user, refresh_token=refresh_token.encode())


def password_record(name, server, port, tls):
    return account_dat.record(name, USER.encode(), PASSWORD.encode(), server, port, False, tls=tls)


def write_accounts(env, records):
    with open(os.path.join(env.data, "Account.dat"), "wb") as f:
        f.write(account_dat.encode_file(records, version=8))


def token_file(env):
    path = os.path.join(env.data, "Token.dat")
    return read(path) if os.path.exists(path) else b""


def expect_nothing_in_clear(env, setup, relays):
    """No token of the server in the relayed bytes, in Account.dat or in
    Token.dat (raw, base64 or scrambled like a password); every relayed
    connection secured from its start or right after a clear STLS."""
    secrets = setup.secrets()
    scrambled = [bytes((c + i) % 256 for i, c in enumerate(s)) for s in secrets]
    files = {"Account.dat": read(os.path.join(env.data, "Account.dat")), "Token.dat": token_file(env)}
    for what, data in files.items():
        for s in secrets + scrambled:
            check(s not in data, "%s holds a token in clear: %r" % (what, s[:20]))
    for relay in relays:
        for i, sent in enumerate(relay.client_bytes()):
            for s in secrets:
                check(s not in sent, "a token crossed in clear on connection %d" % i)
            clear = sent[6:] if sent.startswith(b"STLS\r\n") else sent
            check(tls_e2e.is_tls_stream(clear), "connection %d secured at once: %r" % (i, sent[:20]))
            check(b"AUTH" not in sent, "AUTH in clear on connection %d" % i)


def mail_file(env, name):
    return tls_e2e.mail_file(env, name)


def run_once(env):
    tls_e2e.run_once(env)


def server_file(setup):
    """The account mail file a check of the whole mailbox should write."""
    return e2e.expected_mail_file(e2e.server_entries(setup.port, USER, PASSWORD))


# ---- cases -----------------------------------------------------------------

class Loopback:
    """A one-shot http://127.0.0.1:PORT/ listener standing in for the
    program's redirect listener: keeps the request line it got."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(1)
        self.port = self.sock.getsockname()[1]
        self.request = None
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        try:
            c, _ = self.sock.accept()
        except OSError:
            return
        with c:
            c.settimeout(10)
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = c.recv(4096)
                if not chunk:
                    break
                data += chunk
            self.request = data.split(b"\r\n")[0].decode("latin-1")
            c.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\nsigned")

    def close(self):
        self.sock.close()


def case_browser(env, setup):
    if not env.open_url:
        raise Failure("open_url.exe was not given")
    setup.use_test_browser()
    loop = Loopback()
    try:
        verifier = "v" * 50
        query = urllib.parse.urlencode({"response_type": "code", "client_id": CLIENT_ID,
                                        "redirect_uri": "http://127.0.0.1:%d/" % loop.port, "state": "s-42",
                                        "code_challenge": oauth_server.s256(verifier),
                                        "code_challenge_method": "S256", "scope": "pop"})
        url = setup.server.url("/authorize?" + query, "localhost")
        rc = subprocess.run(["wine", env.open_url, url], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=60).returncode
        check(rc == 0, "ShellExecuteA took the URL: %d" % rc)
        check(e2e.wait_for(lambda: loop.request is not None, 30), "the loopback got the redirect")
        target = urllib.parse.urlsplit(loop.request.split(" ")[1])
        q = dict(urllib.parse.parse_qsl(target.query))
        check(loop.request.startswith("GET /?") and q.get("state") == "s-42" and q.get("code", "").startswith("code-"),
              "redirect with code and state: %r" % loop.request)
        check(e2e.wait_for(lambda: setup.browser_runs(), 10), "the browser logged its run")
        run = setup.browser_runs()[0]
        check(run["url"] == url and run["status"] == 302 and run["redirect_status"] == 200
              and run["redirect_body"] == "signed" and run["error"] is None, "browser run: %r" % run)
        authorize = [r for r in setup.server.log() if r["path"] == "/authorize"]
        check(len(authorize) == 1 and authorize[0]["status"] == 302, "one approval: %r" % authorize)
    finally:
        loop.close()


def case_check(env, setup):
    """Two OAuth accounts (TLS on connect, STLS) and a password account of
    the same mailbox; two checks."""
    _, rt1 = setup.server.issue()
    _, rt2 = setup.server.issue()
    pop3s, stls, pw_relay = setup.relay(setup.pop3s), setup.relay(setup.port), setup.relay(setup.pop3s)
    write_accounts(env, [
        oauth_record(b"oauth tls", b"localhost", pop3s.port, "tls", rt1),
        oauth_record(b"oauth stls", b"localhost", stls.port, "stls", rt2),
        password_record(b"password", b"localhost", pw_relay.port, "tls")])
    run_once(env)
    want = server_file(setup)
    for name in (b"oauth tls", b"oauth stls", b"password"):
        check(mail_file(env, name) == want, "%s: %r" % (name, mail_file(env, name)[:200]))
    grants = setup.server.grants("refresh_token")
    check(sorted(g["presented"] for g in grants) == sorted([rt1, rt2]) and all(g["result"] == "ok" for g in grants),
          "one refresh per OAuth account: %r" % grants)
    # Dovecot announces both mechanisms: the program takes OAUTHBEARER.
    check(setup.logins().count("OAUTHBEARER") == 2 and "XOAUTH2" not in setup.logins(),
          "two OAUTHBEARER logins: %r" % setup.logins())
    check(len(pop3s.client_bytes()) == 1 and len(stls.client_bytes()) == 1, "one connection each")
    # Account.dat was rewritten at start-up with the refresh tokens sealed.
    after = read(os.path.join(env.data, "Account.dat"))
    check(after[9] == 8, "Account.dat stays version 8")
    states = [account_dat.refresh_token_state(r) for r in account_dat.walk_records(after)]
    check(states[:2] == ["sealed", "sealed"], "refresh tokens sealed at start-up: %r" % states)
    check(token_file(env) != b"", "Token.dat written")
    expect_nothing_in_clear(env, setup, [pop3s, stls])

    # The second check: the cached tokens are good for an hour.
    run_once(env)
    for name in (b"oauth tls", b"oauth stls"):
        check(mail_file(env, name) == want, "second check %s" % name)
    check(len(setup.server.grants("refresh_token")) == 2, "no refresh the second time: %r"
          % setup.server.grants("refresh_token"))
    check(setup.logins().count("OAUTHBEARER") == 4, "two more token logins: %r" % setup.logins())
    expect_nothing_in_clear(env, setup, [pop3s, stls])


def case_short_lived(env, setup):
    setup.server.access_lifetime = 60  # less than the refresh margin
    setup.server.rotate = True
    _, rt = setup.server.issue()
    relay = setup.relay(setup.pop3s)
    write_accounts(env, [oauth_record(b"short", b"localhost", relay.port, "tls", rt)])
    want = server_file(setup)
    presented = []
    for i in range(3):
        run_once(env)
        check(mail_file(env, b"short") == want, "check %d: %r" % (i, mail_file(env, b"short")[:200]))
        grants = setup.server.grants("refresh_token")
        check(len(grants) == i + 1 and grants[-1]["result"] == "ok", "check %d refreshed first: %r" % (i, grants))
        presented.append(grants[-1]["presented"])
    # Each refresh used the refresh token the one before gave (the first:
    # Account.dat's), and no token was ever refused by the mail server.
    issued = [g["refresh_token"] for g in setup.server.grants("refresh_token")]
    check(presented == [rt] + issued[:2], "rotated refresh tokens used: %r / %r" % (presented, issued))
    check(all(r["result"] == "active" for r in setup.server.introspections()), "no refused token")
    # This Dovecot offers XOAUTH2 only.
    check(setup.logins() == ["XOAUTH2"] * 3, "XOAUTH2 logins: %r" % setup.logins())
    expect_nothing_in_clear(env, setup, [relay])


def case_revoked_access(env, setup):
    _, rt = setup.server.issue()
    relay = setup.relay(setup.pop3s)
    write_accounts(env, [oauth_record(b"revoked", b"localhost", relay.port, "tls", rt)])
    run_once(env)
    first = setup.server.grants("refresh_token")
    check(len(first) == 1 and first[0]["result"] == "ok", "first check refreshed: %r" % first)
    setup.server.revoke_access(first[0]["access_token"])
    run_once(env)
    check(mail_file(env, b"revoked") == server_file(setup), "mails after the retry: %r" % mail_file(env, b"revoked")[:200])
    grants = setup.server.grants("refresh_token")
    check(len(grants) == 2 and grants[1]["result"] == "ok", "one refresh after the refusal: %r" % grants)
    seen = [(r["token"], r["result"]) for r in setup.server.introspections()]
    check(seen[-2:] == [(first[0]["access_token"], "inactive"), (grants[1]["access_token"], "active")],
          "refused, then the new token taken: %r" % seen)
    check(len(relay.client_bytes()) == 2, "the retry on the same connection: %d" % len(relay.client_bytes()))
    expect_nothing_in_clear(env, setup, [relay])


def case_revoked_refresh(env, setup):
    """"cached" holds an access token in Token.dat that the server revoked,
    "cold" none: both refresh tokens revoked give the sign-in entry, "cold"
    without a connection, "cached" after the refused login."""
    _, rt_cold = setup.server.issue()
    _, rt_cached = setup.server.issue()
    cold, cached = setup.relay(setup.pop3s), setup.relay(setup.pop3s)
    write_accounts(env, [oauth_record(b"cached", b"localhost", cached.port, "tls", rt_cached)])
    run_once(env)
    grants = setup.server.grants("refresh_token")
    check(len(grants) == 1 and mail_file(env, b"cached") == server_file(setup), "first check: %r" % grants)
    setup.server.revoke_access(grants[0]["access_token"])
    setup.server.revoke_refresh(rt_cached)
    setup.server.revoke_refresh(rt_cold)
    write_accounts(env, [oauth_record(b"cold", b"localhost", cold.port, "tls", rt_cold),
                         oauth_record(b"cached", b"localhost", cached.port, "tls", rt_cached)])
    run_once(env)
    for name in (b"cold", b"cached"):
        check(mail_file(env, name) == SIGN_IN_AGAIN, "%s: %r" % (name, mail_file(env, name)))
    refused = setup.server.grants("refresh_token")[1:]
    check(sorted(g["presented"] for g in refused) == sorted([rt_cold, rt_cached])
          and all(g["result"] == "invalid_grant" for g in refused), "one refused refresh each: %r" % refused)
    check(len(cold.client_bytes()) == 0, "no connection without a token: %d" % len(cold.client_bytes()))
    check(len(cached.client_bytes()) == 2, "the refused login's connection: %d" % len(cached.client_bytes()))
    expect_nothing_in_clear(env, setup, [cold, cached])


def case_not_secured(env, setup):
    _, rt = setup.server.issue()
    relay = setup.relay(setup.port)
    write_accounts(env, [oauth_record(b"clear", b"localhost", relay.port, "none", rt)])
    run_once(env)
    check(mail_file(env, b"clear") == NOT_SECURED, "not secured entry: %r" % mail_file(env, b"clear"))
    check(relay.client_bytes() == [], "no connection: %r" % relay.client_bytes())
    expect_nothing_in_clear(env, setup, [relay])


def write_provider(env, setup, token_url, client_id=CLIENT_ID):
    e2e.write_ini(env.data, {"OAuth.Custom": {
        "ClientId": client_id, "AuthorizeUrl": setup.server.url("/authorize", "localhost"),
        "TokenUrl": token_url, "Scope": "pop offline_access"}})


def case_token_failures(env, setup):
    """What keeps a check from a token, one run each: the entry, and no
    connection to the mail server unless a token was had."""
    stranger_ca = tls_e2e.make_ca(setup.tls.folder, "stranger")
    stranger_cert = tls_e2e.make_server_cert(setup.tls.folder, stranger_ca, "localhost", "stranger-server",
                                             ips=["127.0.0.1"])
    stranger = oauth_server.OAuthServer(stranger_cert[0], stranger_cert[1], client_id=CLIENT_ID, user=USER)
    stranger.start()
    good_url = setup.server.url("/token", "localhost")
    try:
        cases = [
            # (what, token URL, client id, server answer status, refresh token's user, entry, connections)
            ("endpoint answers 503", good_url, CLIENT_ID, 503, USER, REFRESH_FAILED, 0),
            ("endpoint not listening", "https://localhost:%d/token" % e2e.closed_port(), CLIENT_ID, 0, USER,
             REFRESH_FAILED, 0),
            ("endpoint's certificate of an untrusted CA", stranger.url("/token", "localhost"), CLIENT_ID, 0, USER,
             REFRESH_FAILED, 0),
            ("no client id", good_url, "", 0, USER, NO_CLIENT_ID, 0),
            # A fresh token the mail server refuses (it names another
            # user): no second refresh, the refusal entry.
            ("fresh token refused", good_url, CLIENT_ID, 0, "bob@example.test", TOKEN_REFUSED, 1),
        ]
        for what, url, client_id, status, user, want, connections in cases:
            _, rt = setup.server.issue(user=user)
            relay = setup.relay(setup.pop3s)
            write_provider(env, setup, url, client_id)
            write_accounts(env, [oauth_record(b"failing", b"localhost", relay.port, "tls", rt)])
            setup.server.fail_token_endpoint = status
            before = len(setup.server.grants("refresh_token"))
            run_once(env)
            setup.server.fail_token_endpoint = 0
            check(mail_file(env, b"failing") == want, "%s: %r" % (what, mail_file(env, b"failing")))
            check(len(relay.client_bytes()) == connections, "%s: %d connections" % (what, len(relay.client_bytes())))
            asked = len(setup.server.grants("refresh_token")) - before
            check(asked == (1 if url == good_url and client_id else 0), "%s: %d refreshes" % (what, asked))
            expect_nothing_in_clear(env, setup, [relay])
        check(stranger.log() == [], "the untrusted endpoint got no request: %r" % stranger.log())
    finally:
        stranger.stop()


def case_list(env, setup):
    if not env.session_test:
        raise Failure("the list session test program was not given")
    _, rt = setup.server.issue()
    relay = setup.relay(setup.pop3s)
    write_accounts(env, [oauth_record(b"listed", b"localhost", relay.port, "tls", rt)])
    run_once(env)
    check(mail_file(env, b"listed").count(b"\r\n.\r\n") == 3, "the check fetched three mails")
    with open(os.path.join(env.data, "Quillbox.ini"), "wb") as f:
        f.write(b"[Setting]\r\nDeleteCheck=0\r\n[Message]\r\nViewer=0\r\nLine=10\r\n")
    boxes, _ = e2e.drive_list(env, 40016, "listed:2", count=1)
    check(boxes == ["message|a-2"], "view with the cached token: %r" % boxes)
    check(len(setup.server.grants("refresh_token")) == 1, "the list used the check's token")
    cached = [n for n in os.listdir(os.path.join(env.data, "Mail")) if len(n) == 32 and n != md5_name(b"listed")]
    check([read(os.path.join(env.data, "Mail", n)) for n in cached] == [e2e.server_top(setup.port, USER, PASSWORD, 2, 10)],
          "the cache file equals TOP 2 10")
    # The token revoked: the list's session is refused once, refreshes and
    # views the next mail.
    setup.server.revoke_access(setup.server.grants("refresh_token")[0]["access_token"])
    boxes, _ = e2e.drive_list(env, 40016, "listed:3", count=1)
    check(boxes == ["message|a-3"], "view after a refresh: %r" % boxes)
    check(len(setup.server.grants("refresh_token")) == 2, "the list refreshed once")
    # A delete signs in with the token the view's refresh left in Token.dat.
    boxes, _ = e2e.drive_list(env, 1004, "listed:1", count=1)
    check(boxes == [], "delete: %r" % boxes)
    check(e2e.server_subjects(setup.port, USER, PASSWORD) == ["a-2", "a-3"], "exactly mail 1 deleted")
    check(len(setup.server.grants("refresh_token")) == 2, "no refresh for the delete")
    check(len(relay.client_bytes()) == 4, "the check, two views and the delete: %d connections"
          % len(relay.client_bytes()))
    expect_nothing_in_clear(env, setup, [relay])


WM_COMMAND = 273
CMD_SETTINGS = 32774
PSBTN_OK = 3
# The account dialog's controls.
NAME, SERVER, PORT, SECURITY = "1008", "1012", "1013", "1057"
METHOD, PROVIDER, SIGN_IN, SIGNED_IN = "1060", "1061", "1062", "1063"
METHOD_OAUTH, PROVIDER_CUSTOM, SECURITY_TLS = "2", "2", "2"


def helper_ok(env, *args, timeout=30):
    rc = env.helper_run(*args, timeout=timeout).returncode
    check(rc == 0, "helper %r: exit code %d" % (args, rc))


def case_signin(env, setup):
    """サインイン in the account dialog: the browser approves, the code is
    exchanged with its PKCE verifier, the dialog names who signed in and
    fills the empty user ID; OK saves the account with its refresh token
    sealed, and the first check uses the sign-in's access token."""
    setup.use_test_browser()
    relay = setup.relay(setup.pop3s)
    env.start()
    check(env.wait_windows(1), "Tidewell started")
    helper_ok(env, "post", str(WM_COMMAND), str(CMD_SETTINGS))
    helper_ok(env, "sheet-page", "4")
    helper_ok(env, "sheet-click", "1007")  # 追加
    for control, text in ((NAME, "signed"), (SERVER, "localhost"), (PORT, str(relay.port))):
        helper_ok(env, "account-text", control, text)
    helper_ok(env, "account-select", SECURITY, SECURITY_TLS)
    helper_ok(env, "account-select", METHOD, METHOD_OAUTH)
    helper_ok(env, "account-select", PROVIDER, PROVIDER_CUSTOM)
    helper_ok(env, "account-click", SIGN_IN)
    signed = lambda: USER in env.helper_run("account-label", SIGNED_IN).stdout  # noqa: E731
    check(e2e.wait_for(signed, 60), "the dialog names who signed in: %r (browser %r)"
          % (env.helper_run("account-label", SIGNED_IN).stdout, setup.browser_runs()))
    authorize = [r for r in setup.server.log() if r["path"] == "/authorize"]
    check(len(authorize) == 1 and authorize[0]["client_id"] == CLIENT_ID
          and authorize[0]["code_challenge_method"] == "S256"
          and authorize[0]["redirect_uri"].startswith("http://127.0.0.1:"), "one authorization: %r" % authorize)
    codes = setup.server.grants("authorization_code")
    check(len(codes) == 1 and codes[0]["pkce"] == "match" and codes[0]["result"] == "ok",
          "the code exchanged with the right verifier: %r" % codes)
    runs = setup.browser_runs()
    check(len(runs) == 1 and runs[0]["redirect_status"] == 200, "the browser reached the program: %r" % runs)

    helper_ok(env, "account-click", "1")  # OK
    helper_ok(env, "account-closed", "10")
    helper_ok(env, "sheet-press", str(PSBTN_OK))
    helper_ok(env, "sheet-closed", "10")
    recs = account_dat.walk_records(read(os.path.join(env.data, "Account.dat")))
    check(len(recs) == 1 and recs[0]["signin"] == account_dat.SIGNIN_METHODS["oauth"]
          and recs[0]["provider"] == account_dat.PROVIDERS["custom"]
          and account_dat.refresh_token_state(recs[0]) == "sealed", "the account saved: %r" % recs)
    raw = recs[0]["raw"]
    user_id = raw[2 + raw[0]:2 + raw[0] + raw[1 + raw[0]]]
    check(user_id == USER.encode(), "the empty user ID filled from the id token: %r" % user_id)
    check(env.helper_run("post", str(e2e.WM_TRAY_QUIT)).returncode == 0, "quit posted")
    check(env.procs[0].wait(30) == 0, "the program ended")

    run_once(env)
    check(mail_file(env, b"signed") == server_file(setup), "the check: %r" % mail_file(env, b"signed")[:200])
    check(setup.server.grants("refresh_token") == [], "the sign-in's access token was used")
    check(setup.server.introspections()[-1]["token"] == codes[0]["access_token"], "signed in with that token")
    expect_nothing_in_clear(env, setup, [relay])


CASES = {
    "signin": case_signin,
    "browser": case_browser,
    "check": case_check,
    "short_lived": case_short_lived,
    "revoked_access": case_revoked_access,
    "revoked_refresh": case_revoked_refresh,
    "not_secured": case_not_secured,
    "token_failures": case_token_failures,
    "list": case_list,
}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--dist", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--open-url", help="open_url.exe (browser case)")
    p.add_argument("--session-test", help="quillbox_list_session_test.exe (list case)")
    args = p.parse_args()
    args.dist, args.helper, args.work = (os.path.abspath(x) for x in (args.dist, args.helper, args.work))
    args.marker = args.quillbox = args.list_test = None
    if not dovecot.available() or not shutil.which("openssl"):
        print("skipped: needs root, /usr/sbin/dovecot and openssl")
        return SKIP
    env = e2e.Env(args, "oauth_" + args.case)
    env.open_url = args.open_url
    setup = None
    try:
        mails = e2e.numbered_mails("a", 3) if args.case == "list" else None
        setup = OAuthSetup(env, mails, "xoauth2" if args.case == "short_lived" else None)
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
