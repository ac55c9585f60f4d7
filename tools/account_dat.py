#!/usr/bin/env python3
"""Writes or lists the accounts of a Tidewell data folder (Account.dat,
version 8), for setting Tidewell up from a shell.

    tools/account_dat.py add  DATA --name NAME --user USER --password PW --server HOST [--port N] [--apop]
                              [--priority N] [--tls none|stls|tls]
    tools/account_dat.py add  DATA --name NAME --user USER --server HOST --signin oauth
                              --provider microsoft|google|custom [--oauth-account WHO] [--refresh-token TOKEN]
                              [--port N] [--priority N] [--tls stls|tls]
    tools/account_dat.py list DATA

Texts given on the command line are stored in Shift_JIS (code page 932).
`add` appends an account to the file (creating it when missing) and replaces
the file atomically; a file of versions 5 to 7 is rewritten as version 8
first (version-5 records read as no TLS, or TLS on connect on port 995;
older records sign in with their password). This tool cannot seal a
password or a refresh token with the Windows user's key: it stores the new
one scrambled only (readable to anyone who reads the file), and Tidewell
seals it when it next starts or saves its accounts. Records Tidewell sealed
are kept as they are. `list` shows each account and whether its password is
sealed, and for an OAuth account its provider and whether its refresh token
is sealed. --signin oauth: the account signs in with OAuth 2.0 at the
provider (no password; the refresh token, when given, is the one Tidewell
refreshes its access tokens with; without one Tidewell asks for a sign-in).
Only the login fields,
the priority and the connection security are set; an account's own icon,
sound and program stay off. The priority follows the rule of the settings
sheet: at most one past the largest in the file, and the accounts at or after
that rank move down one, so no two accounts share one. --tls: none (clear
text), stls (STLS before the login) or tls (TLS on connect); the port
defaults to 995 for tls, else 110.
"""
import argparse
import os
import struct
import sys


def _t1(b):
    if len(b) > 199:
        raise SystemExit("text too long (at most 199 bytes): %r" % b)
    return bytes([len(b)]) + b


def _t2(b):
    return struct.pack(">H", len(b)) + b


TLS_MODES = {"none": 0, "stls": 1, "tls": 2}

# Field 17 of version 7: how the password is kept; field 22 of version 8 the
# same for the refresh token.
PASSWORD_SCRAMBLED = 0  # field 3, each byte plus its position (refresh token: field 23 so)
PASSWORD_SEALED = 1     # field 18, sealed with the Windows user's key (field 3 empty; refresh token: field 23)

# Field 19 of version 8: how the account signs in; field 20: the provider.
SIGNIN_METHODS = {"password": 0, "oauth": 1}
PROVIDERS = {"microsoft": 1, "google": 2, "custom": 3}

# Every version this tool reads.
VERSIONS = (3, 4, 5, 6, 7, 8)
NEWEST = 8


def _scramble(b):
    return bytes((c + i) % 256 for i, c in enumerate(b))


def record(name, user, password, server, port, apop, priority=0, tls=None, version=NEWEST, signin="password",
           provider=None, oauth_account=b"", refresh_token=b"", sealed_password=None):
    """One record of the given version (8, 7, 6 or 5); texts are bytes
    (Shift_JIS). tls is "none", "stls" or "tls"; by default TLS on connect
    for port 995. The password is stored scrambled (from version 7: form 0,
    no sealed bytes), or, given sealed_password (bytes), as sealed by
    Tidewell (form 1, field 3 empty). Version 8: signin "password" or
    "oauth", provider "microsoft", "google" or "custom", who signed in, and
    the refresh token, scrambled (form 0)."""
    if tls is None:
        tls = "tls" if port == 995 else "none"
    scrambled = _scramble(password) if sealed_password is None else b""
    if sealed_password is None:
        password_fields = bytes([PASSWORD_SCRAMBLED]) + _t2(b"")
    else:
        password_fields = bytes([PASSWORD_SEALED]) + _t2(sealed_password)
    signin_fields = (bytes([SIGNIN_METHODS[signin], PROVIDERS[provider] if provider else 0]) + _t1(oauth_account) +
                     bytes([PASSWORD_SCRAMBLED]) + _t2(_scramble(refresh_token)))
    return (_t1(name) + _t1(user) + _t1(scrambled) + _t2(server) + bytes([1 if apop else 0]) +
            struct.pack(">H", port) +
            struct.pack(">H", priority) + b"\0" + _t2(b"") +   # priority, icon flag, icon file
            struct.pack(">H", 0) + b"\0" + _t2(b"") +          # icon index, sound flag, sound file
            b"\0" + b"\0" +                                    # program flags, no-duplicate flag
            _t2(b"") + _t2(b"") + _t2(b"") +                   # program, command line, folder
            (bytes([TLS_MODES[tls]]) if version >= 6 else b"") +  # connection security
            (password_fields if version >= 7 else b"") +           # password form, sealed
            (signin_fields if version >= 8 else b""))              # sign-in, provider, who, refresh token


def encode_file(records, version=NEWEST):
    """A whole Account.dat (version 8, 7, 6 or 5) from records of that version."""
    return b"Tidewellv" + bytes([version, len(records)]) + b"".join(records)


def walk_records(data):
    """Splits a version 3-8 file into records, each a dict: name, raw (the
    record's bytes), version, prio_at (offset of the priority in raw), form
    (field 17; 0 before version 7), scrambled (length of field 3), pw_at
    (offset of field 3's length byte), form_at (offset of field 17; the
    record's length before version 7), signin_at (offset of field 19; the
    record's length before version 8), signin (0 password, 1 OAuth; any
    other value Tidewell takes as OAuth), provider, oauth_account,
    token_form (field 22) and token (length of field 23)."""
    if data[:9] != b"Tidewellv" or len(data) < 11 or data[9] not in VERSIONS:
        raise SystemExit("not an account file of version 3 to 8")
    version, count, pos, out = data[9], data[10], 11, []

    def take(n):
        nonlocal pos
        if pos + n > len(data):
            raise SystemExit("account file ends inside a record")
        pos += n
        return data[pos - n:pos]

    for _ in range(count):
        start = pos
        name = take(take(1)[0])
        take(take(1)[0])                      # user
        pw_at = pos - start
        scrambled = len(take(take(1)[0]))     # password (field 3)
        take(struct.unpack(">H", take(2))[0])  # server
        take(1 + 2)                           # apop, port
        prio_at = pos - start
        take(3)                               # priority + icon flag
        take(struct.unpack(">H", take(2))[0])  # icon file
        take(3)                               # icon index + sound flag
        take(struct.unpack(">H", take(2))[0])  # sound file
        take(2 if version >= 4 else 1)         # program flags (+ no-duplicate flag)
        for _ in range(3):
            take(struct.unpack(">H", take(2))[0])
        if version >= 6:
            take(1)                           # connection security
        form = PASSWORD_SCRAMBLED
        form_at = pos - start
        if version >= 7:
            form = take(1)[0]                 # password form
            take(struct.unpack(">H", take(2))[0])  # sealed password
        signin_at = pos - start
        signin, provider, who, token_form, token = 0, 0, b"", PASSWORD_SCRAMBLED, 0
        if version >= 8:
            signin, provider = take(2)        # sign-in method, provider
            who = take(take(1)[0])            # who signed in
            token_form = take(1)[0]           # refresh-token form
            token = len(take(struct.unpack(">H", take(2))[0]))  # refresh token
        out.append({"name": name, "raw": data[start:pos], "version": version, "prio_at": prio_at,
                    "form": form, "scrambled": scrambled, "pw_at": pw_at, "form_at": form_at,
                    "signin_at": signin_at, "signin": signin, "provider": provider, "oauth_account": who,
                    "token_form": token_form, "token": token})
    return out


def read_records(data):
    """Splits a version 3-8 file into (name, raw record bytes, version,
    offset of the priority in the record)."""
    return [(r["name"], r["raw"], r["version"], r["prio_at"]) for r in walk_records(data)]


def password_state(rec):
    """How a record of walk_records keeps its password: "sealed" (with the
    Windows user's key), "not sealed" (scrambled only, readable to anyone who
    reads the file), "none" (no password) or "unknown form"."""
    if rec["form"] == PASSWORD_SEALED:
        return "sealed"
    if rec["form"] != PASSWORD_SCRAMBLED:
        return "unknown form"
    return "not sealed" if rec["scrambled"] else "none"


def refresh_token_state(rec):
    """The same for the refresh token of a version-8 record."""
    if rec["token_form"] == PASSWORD_SEALED:
        return "sealed"
    if rec["token_form"] != PASSWORD_SCRAMBLED:
        return "unknown form"
    return "not sealed" if rec["token"] else "none"


def signin_text(rec):
    """"" for a password account; else "oauth PROVIDER, refresh token STATE"."""
    if rec["signin"] == SIGNIN_METHODS["password"]:
        return ""
    names = {v: k for k, v in PROVIDERS.items()}
    return "oauth %s, refresh token %s" % (names.get(rec["provider"], "provider %d" % rec["provider"]),
                                           refresh_token_state(rec))


def upgrade(raw, version):
    """A raw record of version 5, 6, 7 or 8 as a version-8 record: a version-5
    record gets the security byte its port implies (995: TLS on connect);
    records before version 7 get password form 0 (field 3) and no sealed
    bytes; records before version 8 sign in with their password, no provider,
    no refresh token."""
    if version >= 8:
        return raw
    if version == 7:
        return raw + _signin_none()
    if version < 6:
        pos = 1 + raw[0]
        pos += 1 + raw[pos]
        pos += 1 + raw[pos]
        pos += 2 + struct.unpack(">H", raw[pos:pos + 2])[0] + 1
        port = struct.unpack(">H", raw[pos:pos + 2])[0]
        raw = raw + bytes([TLS_MODES["tls"] if port == 995 else 0])
    return raw + bytes([PASSWORD_SCRAMBLED]) + _t2(b"") + _signin_none()


def _signin_none():
    """Fields 19 to 23 of a password account."""
    return bytes([SIGNIN_METHODS["password"], 0]) + _t1(b"") + bytes([PASSWORD_SCRAMBLED]) + _t2(b"")


def priority_of(rec, at):
    return struct.unpack(">H", rec[at:at + 2])[0]


def with_priority(rec, at, priority):
    return rec[:at] + struct.pack(">H", priority) + rec[at + 2:]


def add_priorities(priorities, wanted):
    """The store's rule for a new account's priority: at most one past the
    largest (taken as at least 1), and every other nonzero priority at or
    above it moves down one rank so that no two accounts share one.
    Returns (priority of the new account, the others' new priorities)."""
    largest = max([1] + priorities)
    p = min(wanted, largest + 1)
    if p == 0:
        return p, list(priorities)
    return p, [q + 1 if q != 0 and q >= p else q for q in priorities]


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    a = sub.add_parser("add")
    a.add_argument("data")
    a.add_argument("--name", required=True)
    a.add_argument("--user", required=True)
    a.add_argument("--password", default=None, help="required unless --signin oauth")
    a.add_argument("--server", required=True)
    a.add_argument("--port", type=int, default=None)
    a.add_argument("--apop", action="store_true")
    a.add_argument("--priority", type=int, default=0)
    a.add_argument("--tls", choices=sorted(TLS_MODES), default=None,
                   help="none: clear text; stls: STLS before the login; tls: TLS on connect "
                        "(default: none, for --signin oauth tls)")
    a.add_argument("--signin", choices=sorted(SIGNIN_METHODS), default="password")
    a.add_argument("--provider", choices=sorted(PROVIDERS), default=None, help="with --signin oauth")
    a.add_argument("--oauth-account", default="", help="who signed in, shown in the account dialog")
    a.add_argument("--refresh-token", default="", help="stored scrambled; Tidewell seals it when it starts")
    lst = sub.add_parser("list")
    lst.add_argument("data")
    args = p.parse_args()

    path = os.path.join(args.data, "Account.dat")
    walked = []
    if os.path.exists(path):
        with open(path, "rb") as f:
            walked = walk_records(f.read())
    existing = [(r["name"], r["raw"], r["version"], r["prio_at"]) for r in walked]
    if args.cmd == "list":
        for r in walked:
            line = "%s\t%s" % (r["name"].decode("cp932", "replace"), password_state(r))
            if signin_text(r):
                line += "\t" + signin_text(r)
            print(line)
        return 0
    if any(v not in (5, 6, 7, 8) for _, _, v, _ in existing):
        raise SystemExit("this tool appends only to files of versions 5 to 8; let Tidewell rewrite the file first")
    oauth = args.signin == "oauth"
    if oauth:
        if not args.provider:
            raise SystemExit("--signin oauth needs --provider")
        if args.password:
            raise SystemExit("an OAuth account has no password")
        if args.apop:
            raise SystemExit("--apop goes with a password")
        if args.tls == "none":
            print("note: Tidewell never sends a token in clear; this account's checks end with an error entry",
                  file=sys.stderr)
        if len(args.refresh_token) > 4096:
            raise SystemExit("refresh token too long (at most 4096 bytes)")
    else:
        if args.password is None:
            raise SystemExit("--password is required (or --signin oauth)")
        if args.provider or args.oauth_account or args.refresh_token:
            raise SystemExit("--provider, --oauth-account and --refresh-token go with --signin oauth")
    tls = args.tls or ("tls" if oauth else "none")
    enc = lambda s: s.encode("cp932")
    name = enc(args.name)
    if any(n == name for n, _, _, _ in existing):
        raise SystemExit("an account named %s exists already" % args.name)
    if len(existing) >= 255:
        raise SystemExit("at most 255 accounts")
    if not 0 <= args.priority <= 100000:
        raise SystemExit("priority must be 0 to 100000")
    priority, others = add_priorities([priority_of(r, at) for _, r, _, at in existing], args.priority)
    recs = [with_priority(upgrade(r, v), at, q) for (_, r, v, at), q in zip(existing, others)]
    port = args.port if args.port is not None else (995 if tls == "tls" else 110)
    recs.append(record(name, enc(args.user), enc(args.password or ""), enc(args.server), port, args.apop,
                       priority, tls, signin=args.signin, provider=args.provider,
                       oauth_account=enc(args.oauth_account), refresh_token=args.refresh_token.encode("ascii")))
    os.makedirs(args.data, exist_ok=True)
    tmp = path + ".tmp~"
    with open(tmp, "wb") as f:
        f.write(encode_file(recs))
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)
    print("%s: %d account(s)" % (path, len(recs)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
