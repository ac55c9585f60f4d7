#!/usr/bin/env python3
"""The test authorization server alone, and Dovecot validating its tokens
through the introspection endpoint: a plain Python client does what the
program will do (authorize with PKCE, exchange the code, refresh, AUTH
XOAUTH2 / OAUTHBEARER over POP3S).

Exits 77 (skipped) without root, Dovecot or openssl.
"""
import base64
import json
import os
import poplib
import secrets
import shutil
import ssl
import sys
import tempfile
import unittest
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import dovecot  # noqa: E402
import oauth_server  # noqa: E402
import test_pki  # noqa: E402

USER = "alice@example.test"
PASSWORD = "alice-pw"
MAILS = 3


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


class Fixture:
    """PKI, the authorization server and Dovecot, made once for all cases."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="tw-oauth-")
        self.ca = test_pki.make_ca(self.dir, "ca")
        self.ca_file = os.path.join(self.dir, "ca.pem")
        cert = test_pki.make_server_cert(self.dir, self.ca, "localhost", "server", ips=["127.0.0.1"])
        self.server = oauth_server.OAuthServer(cert[0], cert[1], user=USER)
        self.server.start()
        self.dovecot_dir = os.path.join(self.dir, "dovecot")
        self.port = dovecot.start(self.dovecot_dir, [(USER, PASSWORD, "gen:%d" % MAILS), ("bob", "bob-pw", "-")],
                                  ssl=cert, oauth=(self.server.url("/introspect"), self.ca_file))
        self.pop3s = dovecot.pop3s_port(self.dovecot_dir)
        self.context = ssl.create_default_context(cafile=self.ca_file)
        self.https = urllib.request.build_opener(urllib.request.HTTPSHandler(context=self.context), NoRedirect)

    def close(self):
        dovecot.stop(self.dovecot_dir)
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    # ---- HTTP -------------------------------------------------------------

    def post(self, path, fields):
        data = urllib.parse.urlencode(fields).encode()
        req = urllib.request.Request(self.server.url(path), data=data,
                                     headers={"Content-Type": "application/x-www-form-urlencoded"})
        try:
            with self.https.open(req, timeout=10) as r:
                return r.status, json.loads(r.read())
        except urllib.error.HTTPError as e:
            return e.code, json.loads(e.read())

    def authorize(self, challenge, redirect="http://127.0.0.1:5555/", method="S256", client="tidewell-test"):
        """(status, Location) of /authorize."""
        query = urllib.parse.urlencode({"response_type": "code", "client_id": client, "redirect_uri": redirect,
                                        "state": "st-1", "code_challenge": challenge,
                                        "code_challenge_method": method, "scope": "pop"})
        try:
            with self.https.open(self.server.url("/authorize?" + query), timeout=10) as r:
                return r.status, r.headers.get("Location")
        except urllib.error.HTTPError as e:
            return e.code, e.headers.get("Location")

    def refresh(self, token):
        return self.post("/token", {"grant_type": "refresh_token", "refresh_token": token,
                                    "client_id": "tidewell-test"})

    # ---- POP3 -------------------------------------------------------------

    def auth(self, mechanism, token, user=USER):
        """The reply to AUTH with the token as initial response, and STAT's
        count when it was +OK."""
        if mechanism == "XOAUTH2":
            raw = "user=%s\x01auth=Bearer %s\x01\x01" % (user, token)
        else:
            raw = "n,a=%s,\x01auth=Bearer %s\x01\x01" % (user, token)
        p = poplib.POP3_SSL("127.0.0.1", self.pop3s, context=self.context_for_dovecot(), timeout=20)
        try:
            p._putcmd("AUTH %s %s" % (mechanism, base64.b64encode(raw.encode()).decode()))
            reply = p._getline()[0]
            if reply.startswith(b"+ "):
                # The SASL error report; an empty answer ends the exchange.
                p._putcmd("")
                reply = p._getline()[0]
            count = p.stat()[0] if reply.startswith(b"+OK") else None
            return reply, count
        finally:
            try:
                p.quit()
            except (poplib.error_proto, OSError):
                pass

    def context_for_dovecot(self):
        ctx = ssl.create_default_context(cafile=self.ca_file)
        ctx.check_hostname = False  # Dovecot's certificate names localhost; we dial the address
        return ctx


FIX = None


def setUpModule():
    global FIX
    FIX = Fixture()


def tearDownModule():
    if FIX:
        FIX.close()


class AuthorizationServer(unittest.TestCase):
    def test_code_flow_checks_the_pkce_verifier(self):
        verifier = secrets.token_urlsafe(48)
        status, location = FIX.authorize(oauth_server.s256(verifier))
        self.assertEqual(status, 302)
        target = urllib.parse.urlsplit(location)
        self.assertEqual((target.scheme, target.hostname, target.port), ("http", "127.0.0.1", 5555))
        q = dict(urllib.parse.parse_qsl(target.query))
        self.assertEqual(q["state"], "st-1")
        exchange = {"grant_type": "authorization_code", "code": q["code"], "redirect_uri": "http://127.0.0.1:5555/",
                    "client_id": "tidewell-test"}
        # A wrong verifier burns the code; the right one afterwards finds none.
        status, answer = FIX.post("/token", dict(exchange, code_verifier=verifier + "x"))
        self.assertEqual((status, answer["error"]), (400, "invalid_grant"))
        self.assertEqual(FIX.server.grants("authorization_code")[-1]["pkce"], "mismatch")
        status, answer = FIX.post("/token", dict(exchange, code_verifier=verifier))
        self.assertEqual((status, answer["error"]), (400, "invalid_grant"))

        status, location = FIX.authorize(oauth_server.s256(verifier))
        code = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(location).query))["code"]
        status, answer = FIX.post("/token", dict(exchange, code=code, code_verifier=verifier))
        self.assertEqual(status, 200, answer)
        self.assertEqual(FIX.server.grants("authorization_code")[-1]["pkce"], "match")
        self.assertEqual(answer["token_type"], "Bearer")
        self.assertTrue(answer["refresh_token"] and answer["expires_in"] > 0)
        payload = answer["id_token"].split(".")[1]
        self.assertEqual(json.loads(base64.urlsafe_b64decode(payload + "=" * (-len(payload) % 4)))["email"], USER)
        # The token it gave signs in.
        self.assertEqual(FIX.auth("XOAUTH2", answer["access_token"])[1], MAILS)

    def test_authorize_refusals(self):
        cases = [
            # (what, arguments, status, error in the redirect or None)
            ("redirect not loopback", {"redirect": "http://example.test/"}, 400, None),
            ("redirect https", {"redirect": "https://127.0.0.1:5555/"}, 400, None),
            ("unknown client", {"client": "someone"}, 400, None),
            ("plain challenge", {"method": "plain"}, 302, "invalid_request"),
        ]
        for what, kwargs, status, error in cases:
            with self.subTest(what):
                got, location = FIX.authorize("c" * 43, **kwargs)
                self.assertEqual(got, status)
                if error:
                    q = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(location).query))
                    self.assertEqual((q.get("error"), q.get("state"), "code" in q), (error, "st-1", False))

    def test_refresh_revocation_and_rotation(self):
        _, refresh = FIX.server.issue()
        status, answer = FIX.refresh(refresh)
        self.assertEqual(status, 200)
        self.assertNotIn("refresh_token", answer)  # kept: no rotation asked for
        self.assertEqual(FIX.refresh(refresh)[0], 200)

        FIX.server.rotate = True
        try:
            status, answer = FIX.refresh(refresh)
            rotated = answer["refresh_token"]
            self.assertNotEqual(rotated, refresh)
            self.assertEqual(FIX.refresh(refresh), (400, {"error": "invalid_grant",
                                                          "error_description": "refresh token revoked or unknown"}))
            self.assertEqual(FIX.refresh(rotated)[0], 200)
        finally:
            FIX.server.rotate = False

        _, revoked = FIX.server.issue()
        FIX.server.revoke_refresh(revoked)
        self.assertEqual(FIX.refresh(revoked)[1]["error"], "invalid_grant")
        self.assertEqual(FIX.post("/token", {"grant_type": "refresh_token", "refresh_token": refresh,
                                             "client_id": "other"})[1]["error"], "invalid_client")
        self.assertEqual(FIX.post("/token", {"grant_type": "password", "client_id": "tidewell-test"})[1]["error"],
                         "unsupported_grant_type")


class DovecotWithTokens(unittest.TestCase):
    def test_good_token_signs_in_with_both_mechanisms(self):
        _, refresh = FIX.server.issue()
        _, answer = FIX.refresh(refresh)
        for mechanism in ("XOAUTH2", "OAUTHBEARER"):
            with self.subTest(mechanism):
                reply, count = FIX.auth(mechanism, answer["access_token"])
                self.assertTrue(reply.startswith(b"+OK"), reply)
                self.assertEqual(count, MAILS)
        self.assertEqual(FIX.server.introspections()[-1]["result"], "active")

    def test_refused_tokens(self):
        expired, _ = FIX.server.issue(lifetime=-5)
        revoked, _ = FIX.server.issue()
        FIX.server.revoke_access(revoked)
        bobs, _ = FIX.server.issue(user="bob")
        good, _ = FIX.server.issue()
        cases = [("expired", expired, USER), ("revoked", revoked, USER), ("unknown", "at-made-up", USER),
                 ("another user's token", bobs, USER), ("good token, other user", good, "bob")]
        for what, token, user in cases:
            with self.subTest(what):
                reply, count = FIX.auth("XOAUTH2", token, user=user)
                self.assertTrue(reply.startswith(b"-ERR"), reply)
                self.assertIsNone(count)
        # Each refusal came from asking the endpoint, not from a cache.
        self.assertGreaterEqual(len([r for r in FIX.server.introspections() if r["token"] == revoked]), 1)

    def test_short_lived_token_stops_working_when_it_expires(self):
        token, _ = FIX.server.issue()
        self.assertTrue(FIX.auth("XOAUTH2", token)[0].startswith(b"+OK"))
        FIX.server.expire_access(token)
        self.assertTrue(FIX.auth("XOAUTH2", token)[0].startswith(b"-ERR"))

    def test_password_still_signs_in(self):
        p = poplib.POP3_SSL("127.0.0.1", FIX.pop3s, context=FIX.context_for_dovecot(), timeout=20)
        try:
            p.user(USER)
            p.pass_(PASSWORD)
            self.assertEqual(p.stat()[0], MAILS)
        finally:
            p.quit()
        capa = poplib.POP3_SSL("127.0.0.1", FIX.pop3s, context=FIX.context_for_dovecot(), timeout=20)
        try:
            sasl = capa.capa().get("SASL", [])
            self.assertIn("XOAUTH2", sasl)
            self.assertIn("OAUTHBEARER", sasl)
        finally:
            capa.quit()


if __name__ == "__main__":
    if not dovecot.available() or not shutil.which("openssl"):
        print("skipped: needs root, /usr/sbin/dovecot and openssl")
        sys.exit(77)
    unittest.main()
