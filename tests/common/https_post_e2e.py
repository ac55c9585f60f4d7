#!/usr/bin/env python3
"""The WinHTTP POST of common/win32/https_post against small HTTPS servers on
127.0.0.1, run by the Windows test https_post_test under Wine.

A private test CA is made with openssl at test time and trusted in the test
prefix only (an entry in the current user's Root certificate store, deleted
again at the end). Servers:
  trusted    certificate of the trusted CA for 127.0.0.1 and localhost:
             /echo answers 200 with what arrived, /refuse 400 with an OAuth
             error body, /exact a body of exactly the largest size taken,
             /huge one byte more, /redirect a 307 to the plain server
  untrusted  certificate of a CA that is not trusted
  othername  certificate of the trusted CA for another host name
  plain      plain HTTP (the redirect's target; nothing may arrive there)
The Windows test gets the ports in its environment.
Exits 77 (skipped) without openssl.
"""
import argparse
import http.server
import json
import os
import shutil
import ssl
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tidewell"))
import tls_e2e  # noqa: E402

MAX_ANSWER = 64 * 1024
SKIP = 77


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        self.server.seen.append((self.command, self.path, body))
        if self.path == "/echo?x=1":
            self.answer(200, json.dumps({
                "method": self.command,
                "type": self.headers.get("Content-Type", ""),
                "body": body.decode("latin-1"),
                "path": self.path,
            }).encode())
        elif self.path == "/refuse":
            self.answer(400, b'{"error":"invalid_grant","error_description":"revoked"}')
        elif self.path == "/exact":
            self.answer(200, b"e" * MAX_ANSWER)
        elif self.path == "/huge":
            self.answer(200, b"h" * (MAX_ANSWER + 1))
        elif self.path == "/redirect":
            self.answer(307, b"{}", [("Location", "http://127.0.0.1:%d/leak" % self.server.plain_port)])
        else:
            self.answer(404, b"{}")

    do_GET = do_POST


def serve(cert=None):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.seen = []
    server.plain_port = 0
    if cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(cert[0], cert[1])
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--test", required=True, help="https_post_test.exe")
    p.add_argument("--work", required=True)
    args = p.parse_args()
    if not shutil.which("openssl"):
        print("skipped: needs openssl")
        return SKIP
    folder = os.path.join(os.path.abspath(args.work), "https_post")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)

    class Env:
        work = folder

    ca = tls_e2e.make_ca(folder, "ca")
    stranger = tls_e2e.make_ca(folder, "stranger")
    with open(os.path.join(folder, "both.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    good = tls_e2e.make_server_cert(folder, ca, "localhost", "good")
    # make_server_cert names one host; the good certificate also needs the address.
    tls_e2e.openssl("x509", "-req", "-in", "good.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial", "7",
                    "-days", "30", "-extfile", "both.ext", "-out", "good.pem", cwd=folder)
    untrusted = tls_e2e.make_server_cert(folder, stranger, "localhost", "untrusted")
    othername = tls_e2e.make_server_cert(folder, ca, "other.example", "othername")

    plain = serve()
    servers = {"TRUSTED": serve(good), "UNTRUSTED": serve(untrusted), "OTHERNAME": serve(othername)}
    servers["TRUSTED"].plain_port = plain.server_address[1]
    env = dict(os.environ)
    for name, server in servers.items():
        env["TIDEWELL_HTTPS_%s_PORT" % name] = str(server.server_address[1])
    env["TIDEWELL_HTTP_PLAIN_PORT"] = str(plain.server_address[1])

    trusted = tls_e2e.TrustedCa(Env, os.path.join(folder, "ca.pem"))
    try:
        r = subprocess.run(["wine", args.test], env=env, stdin=subprocess.DEVNULL, timeout=400)
    finally:
        trusted.remove()
        for server in list(servers.values()) + [plain]:
            server.shutdown()
    failed = r.returncode != 0
    # Nothing may have reached the plain server, nor the servers whose
    # certificate was refused (the POST body holds a secret).
    for what, server in (("plain", plain), ("untrusted", servers["UNTRUSTED"]),
                         ("othername", servers["OTHERNAME"])):
        if server.seen:
            print("FAIL: a request reached the %s server: %r" % (what, server.seen))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
