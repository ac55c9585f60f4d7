#!/usr/bin/env python3
"""A small OAuth 2.0 authorization server for tests: HTTPS on 127.0.0.1 only.

    oauth_server.py serve --cert PEM --key PEM [--client-id ID] [--user NAME]
        prints the port and serves until killed (for trying by hand).

Importable: OAuthServer(cert, key, client_id=..., user=...).start() -> port.

Endpoints:
  GET  /authorize   approves at once: 302 to redirect_uri?code=..&state=..
                    (RFC 6749 4.1; redirect_uri must be http://127.0.0.1:PORT/...,
                    RFC 8252; code_challenge_method must be S256, RFC 7636)
  POST /token       grant_type=authorization_code (checks the PKCE verifier
                    against the challenge of the code) or refresh_token
  POST /introspect  RFC 7662: token=.. -> {"active": true, "username": ..,
                    "exp": ..} or {"active": false}; with introspect_auth set
                    it wants that HTTP Basic client

Control from the test (all thread-safe):
  issue(user=None, lifetime=None) -> (access token, refresh token)
  access_lifetime        seconds of the access tokens issued from now on
  rotate                 True: each refresh gives a new refresh token and the
                         old one stops working
  revoke_access(token), revoke_refresh(token), expire_access(token)
  fail_token_endpoint    an HTTP status the token endpoint answers with
                         (e.g. 503) instead of doing its work; 0 works
  requests               the request log: one dict per request (see _log)
  grants(kind)           the logged /token requests of a grant type
  introspections()       the logged /introspect requests
"""
import argparse
import base64
import hashlib
import http.server
import json
import secrets
import ssl
import sys
import threading
import time
import urllib.parse


def _b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode("ascii")


def s256(verifier):
    """The S256 code challenge of a verifier (RFC 7636 4.2)."""
    return _b64url(hashlib.sha256(verifier.encode("ascii")).digest())


def id_token(user):
    """An unsigned JWT-shaped id token naming the user (read, never trusted)."""
    head = _b64url(json.dumps({"alg": "none", "typ": "JWT"}).encode())
    body = _b64url(json.dumps({"email": user, "sub": "id-" + user, "iss": "https://127.0.0.1/"}).encode())
    return head + "." + body + "."


class OAuthServer:
    def __init__(self, cert, key, client_id="tidewell-test", client_secret="", user="alice@example.test",
                 scope="pop", introspect_auth=None):
        self.cert, self.key = cert, key
        self.client_id, self.client_secret = client_id, client_secret
        self.user = user
        self.scope = scope
        self.introspect_auth = introspect_auth  # (name, password) or None
        self.access_lifetime = 3600
        self.rotate = False
        self.fail_token_endpoint = 0
        self.lock = threading.Lock()
        self.codes = {}      # code -> dict(client_id, redirect_uri, challenge, user, expires)
        self.access = {}     # token -> dict(user, expires, active)
        self.refresh = {}    # token -> dict(user, active)
        self.requests = []
        self.httpd = None
        self.port = 0

    # ---- control -------------------------------------------------------

    def issue(self, user=None, lifetime=None):
        """A new access token and refresh token, as if a sign-in had run."""
        with self.lock:
            return self._new_tokens(user or self.user, lifetime)

    def _new_tokens(self, user, lifetime=None):
        access = "at-" + secrets.token_urlsafe(24)
        refresh = "rt-" + secrets.token_urlsafe(32)
        life = self.access_lifetime if lifetime is None else lifetime
        self.access[access] = {"user": user, "expires": time.time() + life, "active": True}
        self.refresh[refresh] = {"user": user, "active": True}
        return access, refresh

    def revoke_access(self, token):
        with self.lock:
            self.access[token]["active"] = False

    def expire_access(self, token):
        with self.lock:
            self.access[token]["expires"] = time.time() - 1

    def revoke_refresh(self, token):
        with self.lock:
            self.refresh[token]["active"] = False

    def access_good(self, token):
        with self.lock:
            return self._access_good(token)

    def _access_good(self, token):
        t = self.access.get(token)
        return bool(t and t["active"] and t["expires"] > time.time())

    def grants(self, kind):
        with self.lock:
            return [r for r in self.requests if r["path"] == "/token" and r.get("grant_type") == kind]

    def introspections(self):
        with self.lock:
            return [r for r in self.requests if r["path"] == "/introspect"]

    def log(self):
        with self.lock:
            return list(self.requests)

    # ---- serving ---------------------------------------------------------

    def start(self):
        server = self

        class Handler(_Handler):
            owner = server

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(self.cert, self.key)
        self.httpd.socket = ctx.wrap_socket(self.httpd.socket, server_side=True)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        return self.port

    def stop(self):
        if self.httpd:
            self.httpd.shutdown()
            self.httpd.server_close()
            self.httpd = None

    def url(self, path, host="127.0.0.1"):
        return "https://%s:%d%s" % (host, self.port, path)

    # ---- the endpoints (called with the lock held) -----------------------

    def _client_ok(self, form, headers):
        client_id, secret = form.get("client_id", ""), form.get("client_secret", "")
        auth = headers.get("Authorization", "")
        if auth.startswith("Basic "):
            try:
                client_id, _, secret = base64.b64decode(auth[6:]).decode().partition(":")
            except ValueError:
                return False
        return client_id == self.client_id and secret == self.client_secret

    def authorize(self, query, entry):
        q = {k: v[0] for k, v in urllib.parse.parse_qs(query, keep_blank_values=True).items()}
        entry.update({"client_id": q.get("client_id"), "state": q.get("state"), "scope": q.get("scope"),
                      "redirect_uri": q.get("redirect_uri"), "code_challenge_method": q.get("code_challenge_method")})
        redirect = q.get("redirect_uri", "")
        parsed = urllib.parse.urlsplit(redirect)
        if q.get("client_id") != self.client_id or parsed.scheme != "http" or parsed.hostname != "127.0.0.1":
            return 400, {"Content-Type": "text/plain"}, b"unknown client or redirect_uri"
        sep = "&" if parsed.query else "?"
        if (q.get("response_type") != "code" or q.get("code_challenge_method") != "S256"
                or not q.get("code_challenge")):
            target = redirect + sep + urllib.parse.urlencode({"error": "invalid_request", "state": q.get("state", "")})
            return 302, {"Location": target}, b""
        code = "code-" + secrets.token_urlsafe(16)
        self.codes[code] = {"redirect_uri": redirect, "challenge": q["code_challenge"], "user": self.user,
                            "expires": time.time() + 600}
        target = redirect + sep + urllib.parse.urlencode({"code": code, "state": q.get("state", "")})
        entry["code"] = code
        return 302, {"Location": target}, b""

    def token(self, form, headers, entry):
        grant = form.get("grant_type", "")
        entry["grant_type"] = grant
        if self.fail_token_endpoint:
            entry["result"] = "failed on purpose"
            return self.fail_token_endpoint, {"error": "temporarily_unavailable"}
        if not self._client_ok(form, headers):
            entry["result"] = "invalid_client"
            return 401, {"error": "invalid_client"}
        if grant == "authorization_code":
            code = self.codes.pop(form.get("code", ""), None)
            verifier = form.get("code_verifier", "")
            entry["pkce"] = "missing" if not verifier else (
                "match" if code and s256(verifier) == code["challenge"] else "mismatch")
            if (not code or code["expires"] < time.time() or form.get("redirect_uri") != code["redirect_uri"]
                    or entry["pkce"] != "match"):
                entry["result"] = "invalid_grant"
                return 400, {"error": "invalid_grant", "error_description": "code, redirect_uri or verifier"}
            access, refresh = self._new_tokens(code["user"])
            entry.update(result="ok", access_token=access, refresh_token=refresh)
            return 200, {"access_token": access, "token_type": "Bearer", "expires_in": self.access_lifetime,
                         "refresh_token": refresh, "scope": self.scope, "id_token": id_token(code["user"])}
        if grant == "refresh_token":
            old = form.get("refresh_token", "")
            entry["presented"] = old
            rt = self.refresh.get(old)
            if not rt or not rt["active"]:
                entry["result"] = "invalid_grant"
                return 400, {"error": "invalid_grant", "error_description": "refresh token revoked or unknown"}
            access, refresh = self._new_tokens(rt["user"])
            answer = {"access_token": access, "token_type": "Bearer", "expires_in": self.access_lifetime,
                      "scope": self.scope}
            if self.rotate:
                rt["active"] = False
                answer["refresh_token"] = refresh
                entry["refresh_token"] = refresh
            else:
                del self.refresh[refresh]
            entry.update(result="ok", access_token=access)
            return 200, answer
        entry["result"] = "unsupported_grant_type"
        return 400, {"error": "unsupported_grant_type"}

    def introspect(self, form, headers, entry):
        if self.introspect_auth:
            want = "Basic " + base64.b64encode(("%s:%s" % self.introspect_auth).encode()).decode()
            if headers.get("Authorization", "") != want:
                entry["result"] = "unauthorized"
                return 401, {"error": "invalid_client"}
        token = form.get("token", "")
        entry["token"] = token
        good = self._access_good(token)
        entry["result"] = "active" if good else "inactive"
        if not good:
            return 200, {"active": False}
        t = self.access[token]
        return 200, {"active": True, "username": t["user"], "exp": int(t["expires"]), "scope": self.scope,
                     "client_id": self.client_id, "token_type": "Bearer"}


class _Handler(http.server.BaseHTTPRequestHandler):
    owner = None
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # quiet: the request log is the record
        pass

    def _send(self, status, headers, body):
        self.send_response(status)
        for k, v in headers.items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def _entry(self):
        """One log record: method, path, and what the endpoint found."""
        return {"method": self.command, "path": urllib.parse.urlsplit(self.path).path, "time": time.time()}

    def do_GET(self):
        entry = self._entry()
        owner = self.owner
        with owner.lock:
            owner.requests.append(entry)
            if entry["path"] == "/authorize":
                status, headers, body = owner.authorize(urllib.parse.urlsplit(self.path).query, entry)
            else:
                status, headers, body = 404, {"Content-Type": "text/plain"}, b"not found"
            entry["status"] = status
        self._send(status, headers, body)

    def do_POST(self):
        entry = self._entry()
        owner = self.owner
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(min(length, 1 << 20)).decode("utf-8", "replace")
        entry["content_type"] = self.headers.get("Content-Type", "")
        form = {k: v[0] for k, v in urllib.parse.parse_qs(body, keep_blank_values=True).items()}
        with owner.lock:
            owner.requests.append(entry)
            if not entry["content_type"].startswith("application/x-www-form-urlencoded"):
                status, answer = 400, {"error": "invalid_request"}
            elif entry["path"] == "/token":
                status, answer = owner.token(form, self.headers, entry)
            elif entry["path"] == "/introspect":
                status, answer = owner.introspect(form, self.headers, entry)
            else:
                status, answer = 404, {"error": "not_found"}
            entry["status"] = status
        self._send(status, {"Content-Type": "application/json"}, json.dumps(answer).encode())


def main(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    s = sub.add_parser("serve")
    s.add_argument("--cert", required=True)
    s.add_argument("--key", required=True)
    s.add_argument("--client-id", default="tidewell-test")
    s.add_argument("--user", default="alice@example.test")
    a = p.parse_args(argv)
    server = OAuthServer(a.cert, a.key, client_id=a.client_id, user=a.user)
    print(server.start(), flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
