"""A private test CA and server certificates, made with openssl at test time.

    make_ca(folder, name) -> name            (folder/name.pem, folder/name.key)
    make_server_cert(folder, ca, host, name, ips=()) -> (cert path, key path)

The certificates are valid for 30 days, signed with SHA-256; a server
certificate carries `host` as its DNS name and every address of `ips` as an
IP address name. Errors raise PkiError with openssl's output.
"""
import os
import subprocess


class PkiError(RuntimeError):
    pass


def openssl(*args, cwd):
    r = subprocess.run(["openssl"] + list(args), cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    if r.returncode != 0:
        raise PkiError("openssl %s: %s" % (args[0], r.stdout.decode(errors="replace")))


def make_ca(folder, name):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".pem",
            "-days", "30", "-subj", "/CN=Tidewell test %s" % name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    return name


def make_server_cert(folder, ca, host, name, ips=()):
    """A server certificate for host (and the addresses ips) signed by ca;
    returns (cert, key) paths."""
    names = ["DNS:%s" % host] + ["IP:%s" % ip for ip in ips]
    with open(os.path.join(folder, name + ".ext"), "w") as f:
        f.write("subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n" % ",".join(names))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
            "-subj", "/CN=%s" % host, cwd=folder)
    openssl("x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
            "-set_serial", str(int.from_bytes(os.urandom(8), "big")), "-days", "30",
            "-extfile", name + ".ext", "-out", name + ".pem", cwd=folder)
    return os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key")
