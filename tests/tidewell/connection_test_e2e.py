#!/usr/bin/env python3
"""The account dialog's connection test ("接続テスト") under Wine against
Dovecot, read back from its message box.

    connection_test_e2e.py CASE --dist DIR --helper tray_helper.exe --work DIR

Cases:
  clear   clear text: greeting, capabilities, mail count and size; a wrong
          password and a refused connection give the error texts of a check;
          the button reads "中止" while a test runs and cancels it (a server
          that never answers); nothing is saved
  secure  STLS and TLS on connect with a trusted test CA: the certificate's
          subject and expiry; a certificate for another name fails for both
          with the check's text, and no user ID or password crosses
          (relay records every byte)
  oauth   an OAuth account of Account.dat (the test authorization server of
          oauth_e2e.py): the token by a refresh, kept in Token.dat, the AUTH
          step after TLS; a second test takes the kept token; a refused
          refresh token says to sign in again; with security なし nothing is
          tried; no token crosses in clear, Account.dat stays as it was
Exits 77 (skipped) without root, Dovecot or openssl.
"""
import argparse
import os
import shutil
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
import tls_e2e  # noqa: E402
from e2e import Failure, check, dovecot  # noqa: E402

WM_COMMAND = 273
CMD_SETTINGS = 32774
TEST_BUTTON = "1058"
SECURITY = "1057"
MODES = {"none": 0, "stls": 1, "tls": 2}


def ok(env, *args):
    rc = env.helper_run(*args).returncode
    check(rc == 0, "helper %r: exit code %d" % (args, rc))


def open_account_dialog(env):
    env.start()
    check(env.wait_windows(1), "Tidewell started")
    ok(env, "post", str(WM_COMMAND), str(CMD_SETTINGS))
    ok(env, "sheet-page", "4")
    ok(env, "sheet-click", "1007")  # 追加


def enter(env, user, password, server, port, mode="none"):
    ok(env, "account-select", SECURITY, str(MODES[mode]))
    for control, text in (("1010", user), ("1011", password), ("1012", server), ("1013", str(port))):
        ok(env, "account-text", control, text)


def run_test(env, seconds=60):
    ok(env, "account-click", TEST_BUTTON)
    out = env.helper_run("box-text", "接続テスト", str(seconds), timeout=seconds + 20)
    check(out.returncode == 0, "the test reported in a box within %d s" % seconds)
    time.sleep(0.3)
    return out.stdout.replace("\r\n", "\n")


def expect(report, *parts):
    for p in parts:
        check(p in report, "%r in the report:\n%s" % (p, report))


def silent_server():
    """A listening socket that accepts and never answers."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(4)
    return s


def finish(env):
    """Cancel the dialog and the sheet: nothing of the test is stored."""
    ok(env, "account-click", "2")
    ok(env, "account-closed", "10")
    ok(env, "sheet-press", "5")  # PSBTN_CANCEL
    ok(env, "sheet-closed", "10")
    check(not os.path.exists(os.path.join(env.data, "Account.dat")), "the test saved no account")
    check(not os.path.exists(os.path.join(env.data, "Mail")) or not [
        n for n in os.listdir(os.path.join(env.data, "Mail")) if n != "hash.dat"], "the test wrote no mail file")


def case_clear(env):
    port = e2e.start_dovecot(env, [("alice", "alicepw", e2e.mail_dir(env, e2e.MAILS))])
    entries = e2e.server_entries(port, "alice", "alicepw")
    size = sum(int(l.split()[2]) for l, _ in entries)
    open_account_dialog(env)

    enter(env, "alice", "alicepw", "127.0.0.1", port)
    report = run_test(env)
    expect(report, "接続テストに成功しました。", "接続の保護: なし", "応答: +OK", "UIDL あり", "PIPELINING あり",
           "STLS なし", "SASL PLAIN", "メール: 3通、%dバイト" % size)

    enter(env, "alice", "wrong", "127.0.0.1", port)
    report = run_test(env)
    expect(report, "接続テストに失敗しました。", "認証に失敗しました。")
    check("メール:" not in report, "no mail count after a refused login")

    enter(env, "alice", "alicepw", "127.0.0.1", e2e.closed_port())
    expect(run_test(env), "接続テストに失敗しました。", "接続に失敗しました。")

    # A server that never answers: the button cancels the running test, and
    # the dialog stays usable meanwhile.
    silent = silent_server()
    try:
        enter(env, "alice", "alicepw", "127.0.0.1", silent.getsockname()[1])
        ok(env, "account-click", TEST_BUTTON)
        time.sleep(1.5)
        label = env.helper_run("account-label", TEST_BUTTON).stdout.strip()
        check(label == "中止", "the button offers to cancel while the test runs: %r" % label)
        ok(env, "account-text", "1008", "まだ入力できる")
        ok(env, "account-click", TEST_BUTTON)
        time.sleep(1)
        label = env.helper_run("account-label", TEST_BUTTON).stdout.strip()
        check(label == "接続テスト", "cancelled: the button is back: %r" % label)
        check(env.helper_run("box-text", "接続テスト", "2", timeout=30).returncode == 1, "a cancelled test shows no box")
    finally:
        silent.close()
    finish(env)


def case_secure(env):
    setup = tls_e2e.Setup(env)
    try:
        cert = tls_e2e.make_server_cert(setup.folder, setup.ca, "localhost", "server")
        password = tls_e2e.PASSWORD.decode()
        port, ssl_port = tls_e2e.start_server(env, [("alice", password, e2e.mail_dir(env, e2e.MAILS))], cert)
        open_account_dialog(env)
        for mode, target in (("stls", port), ("tls", ssl_port)):
            relay = setup.relay(target)
            enter(env, "alice", password, "localhost", relay.port, mode)
            report = run_test(env)
            expect(report, "接続テストに成功しました。", "接続の保護: %s（暗号化済み）" % ("STLS" if mode == "stls" else "SSL/TLS"),
                   "証明書: ", "CN=localhost", "有効期限: ", "メール: 3通")
            sent = relay.client_bytes()
            check(sent and (tls_e2e.is_tls_stream(sent[0]) if mode == "tls" else sent[0].startswith(b"CAPA\r\nSTLS\r\n")),
                  "%s: only CAPA and STLS in clear: %r" % (mode, sent[0][:40] if sent else b""))
            tls_e2e.expect_no_secret(relay, mode)
        dovecot.stop(env.server_dir)

        wrong = tls_e2e.make_server_cert(setup.folder, setup.ca, "other.example", "wrong-name")
        shutil.rmtree(env.server_dir, ignore_errors=True)
        port, ssl_port = tls_e2e.start_server(env, [("alice", password, e2e.mail_dir(env, e2e.MAILS))], wrong)
        for mode, target in (("stls", port), ("tls", ssl_port)):
            relay = setup.relay(target)
            enter(env, "alice", password, "localhost", relay.port, mode)
            report = run_test(env)
            expect(report, "接続テストに失敗しました。",
                   "サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(4,3)")
            tls_e2e.expect_no_secret(relay, "wrong name, " + mode)
        log = dovecot.log_text(env.server_dir)
        check("user=<alice>" not in log, "no login reached Dovecot with the wrong certificate: %s" % log[-600:])
        finish(env)
    finally:
        setup.close()


def case_oauth(env):
    import oauth_e2e  # the authorization server, the prefix's test CA, version-8 records
    setup = oauth_e2e.OAuthSetup(env)
    try:
        _, refresh_token = setup.server.issue()
        relay = setup.relay(setup.pop3s)
        oauth_e2e.write_accounts(env, [oauth_e2e.oauth_record(b"held", b"localhost", relay.port, "tls", refresh_token)])
        env.start()
        check(env.wait_windows(1), "Tidewell started")
        ok(env, "post", str(WM_COMMAND), str(CMD_SETTINGS))
        ok(env, "sheet-page", "4")
        ok(env, "sheet-select", "0")
        time.sleep(0.5)
        ok(env, "sheet-click", "1008")  # 変更
        account_file = os.path.join(env.data, "Account.dat")
        stored = e2e.read(account_file)  # as the program sealed it at its start
        token_file = os.path.join(env.data, "Token.dat")

        report = run_test(env)
        expect(report, "接続テストに成功しました。", "接続の保護: SSL/TLS（暗号化済み）", "認証: OAuth 2.0 (OAUTHBEARER)",
               "メール: 3通")
        check(len(setup.server.grants("refresh_token")) == 1, "one refresh for the test")
        check(os.path.exists(token_file), "the refreshed token kept in Token.dat for the check")
        report = run_test(env)
        expect(report, "接続テストに成功しました。")
        check(len(setup.server.grants("refresh_token")) == 1, "the second test took the kept token")
        check(len(relay.client_bytes()) == 2, "two connections: %d" % len(relay.client_bytes()))

        setup.server.revoke_refresh(refresh_token)
        os.remove(token_file)
        report = run_test(env)
        expect(report, "接続テストに失敗しました。", "サインインし直してください。(6,1)")
        check(len(relay.client_bytes()) == 2, "no connection without a token")

        ok(env, "account-select", SECURITY, str(MODES["none"]))
        report = run_test(env)
        expect(report, "接続テストに失敗しました。", "(6,4)", "アクセストークンは暗号化されていない接続では送りません。")
        check(len(relay.client_bytes()) == 2, "no connection without TLS")
        ok(env, "account-click", "2")
        ok(env, "account-closed", "10")
        ok(env, "sheet-press", "5")  # PSBTN_CANCEL
        ok(env, "sheet-closed", "10")
        check(e2e.read(account_file) == stored, "the tests saved nothing to Account.dat")
        oauth_e2e.expect_nothing_in_clear(env, setup, [relay])
    finally:
        setup.close()


CASES = {"clear": case_clear, "secure": case_secure, "oauth": case_oauth}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--dist", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--work", required=True)
    args = p.parse_args()
    args.dist, args.helper, args.work = (os.path.abspath(x) for x in (args.dist, args.helper, args.work))
    args.marker = args.quillbox = args.list_test = args.session_test = None
    if not dovecot.available() or not shutil.which("openssl"):
        print("skipped: needs root, /usr/sbin/dovecot and openssl")
        return e2e.SKIP
    env = e2e.Env(args, "connection_test_" + args.case)
    try:
        CASES[args.case](env)
    except Failure as e:
        print("FAILED:", e)
        return 1
    finally:
        env.cleanup()
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
