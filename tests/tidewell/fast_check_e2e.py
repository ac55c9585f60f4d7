#!/usr/bin/env python3
"""End-to-end tests of the fast check (pipelined commands, unique-id cache)
of Tidewell.exe under Wine: the same checks run with FastCheck=0 and with
FastCheck=1 in two data folders against the same server state, and every file
the checks write must come out byte for byte the same.

    fast_check_e2e.py CASE --dist DIR --helper tray_helper.exe --work DIR

CASE: dovecot (new and seen mail, a mail deleted on the server between
checks, an empty mailbox) or scripted (merged and split replies, negative
replies inside a batch, a hang-up inside a batch, and servers that refuse
CAPA). Exits 77 when Dovecot cannot be started here.
"""
import argparse
import json
import os
import pwd
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
from e2e import (FIXTURES, MAILS, PROGRAM_WAIT, SENTINEL, Env, Failure, add_mail, check, dovecot,  # noqa: E402
                 mail_dir, md5_name, read, start_dovecot, write_account_file, write_ini)

RESULT_FILES = ("Tidewell.tmp", "Tidewl_cnt.tmp")


def prepare(env, tag, fast, accounts):
    data = os.path.join(env.work, "data_" + tag)
    os.makedirs(data)
    write_account_file(data, accounts)
    write_ini(data, {"Message": {"FastCheck": "1" if fast else "0", "NewMessage": "1", "ErrorDisregard": "1"}})
    return data


def run_in(env, data):
    """One check-once run; the summary and count files are reset first, so
    that a run that leaves them alone shows."""
    for name in RESULT_FILES:
        with open(os.path.join(data, name), "wb") as f:
            f.write(SENTINEL)
    proc, _ = env.start("-f1", "-e1", cwd=data)
    try:
        rc = proc.wait(PROGRAM_WAIT)
    except subprocess.TimeoutExpired:
        raise Failure("Tidewell.exe did not end after one check in " + data)
    check(rc == 0, "exit code %d in %s" % (rc, data))


def snapshot(data, names):
    mail = os.path.join(data, "Mail")
    files = {}
    for n in names:
        path = os.path.join(mail, md5_name(n))
        files[n] = read(path) if os.path.exists(path) else None
    files["hash.dat"] = read(os.path.join(mail, "hash.dat"))
    for name in RESULT_FILES:
        files[name] = read(os.path.join(data, name))
    return files


def same(slow, fast, what):
    for key in slow:
        if slow[key] != fast[key]:
            print("one by one:", (slow[key] or b"")[:300])
            print("fast:      ", (fast[key] or b"")[:300])
        check(slow[key] == fast[key], "%s: %r differs" % (what, key))


def both(env, slow_data, fast_data, names, what):
    run_in(env, slow_data)
    run_in(env, fast_data)
    slow, fast = snapshot(slow_data, names), snapshot(fast_data, names)
    same(slow, fast, what)
    return slow, fast


def maildir_files(env, user):
    with open(os.path.join(env.server_dir, "state.json")) as f:
        run = json.load(f)["run"]
    root = os.path.join(run, "mail", user)
    return sorted(os.path.join(root, sub, n) for sub in ("cur", "new") for n in os.listdir(os.path.join(root, sub)))


def case_dovecot(env):
    port = start_dovecot(env, [("alice", "alicepw", mail_dir(env, MAILS[:2])), ("taro", "taropw", FIXTURES),
                               ("empty", "emptypw", "-")])
    names = [b"alice", "受信箱".encode("cp932"), b"empty"]
    accounts = [(names[0], b"alice", b"alicepw", b"127.0.0.1", port, 0),
                (names[1], b"taro", b"taropw", b"127.0.0.1", port, 0),
                (names[2], b"empty", b"emptypw", b"127.0.0.1", port, 0)]
    slow_data = prepare(env, "slow", False, accounts)
    fast_data = prepare(env, "fast", True, accounts)

    slow, fast = both(env, slow_data, fast_data, names, "first check")
    check(slow[names[2]] == b"", "empty mailbox gives an empty file")
    check(fast["Tidewl_cnt.tmp"] == b"7", "first check: 7 new mails, got %r" % fast["Tidewl_cnt.tmp"])
    cache = os.path.join(fast_data, "Mail", md5_name(names[0]) + ".uid")
    check(os.path.exists(cache), "the fast check keeps a unique-id cache")
    check(not os.path.exists(os.path.join(slow_data, "Mail", md5_name(names[0]) + ".uid")),
          "FastCheck=0 keeps none")

    slow, fast = both(env, slow_data, fast_data, names, "second check, nothing new")
    check(fast["Tidewl_cnt.tmp"] == SENTINEL, "nothing new: count file untouched")

    # One mail more for alice, and taro's first mail gone: the others move
    # up one number, so their LIST lines change while their TOP replies stay.
    add_mail(env, "alice", MAILS[2])
    os.remove(maildir_files(env, "taro")[0])
    slow, fast = both(env, slow_data, fast_data, names, "third check, one new, one deleted")
    check(fast["Tidewl_cnt.tmp"] == b"7", "third check: 1 new + 6 seen, got %r" % fast["Tidewl_cnt.tmp"])

    # A damaged cache: a full check, the same files.
    with open(cache, "r+b") as f:
        f.truncate(10)
    path = os.path.join(os.path.dirname(os.path.dirname(maildir_files(env, "alice")[0])), "new",
                        "2000000000.M1P1.tidewell")
    with open(path, "wb") as f:
        f.write(MAILS[0].replace(b"alice@", b"dave@").replace(b"\n", b"\r\n"))
    nobody = pwd.getpwnam("nobody")
    os.chown(path, nobody.pw_uid, nobody.pw_gid)
    both(env, slow_data, fast_data, names, "fourth check, damaged cache")


SCRIPTED = ["ok", "lower-ok", "top-split", "list-err", "pipe-merged", "pipe-split", "pipe-list-err",
            "pipe-top-err", "pipe-close"]


def case_scripted(env):
    accounts = []
    names = []
    for scenario in SCRIPTED:
        port = env.scripted(scenario, connections=2, lifetime=240)
        name = ("台本 " + scenario).encode("cp932")
        names.append(name)
        accounts.append((name, b"user", b"pass", b"127.0.0.1", port, 0))
    slow_data = prepare(env, "slow", False, accounts)
    fast_data = prepare(env, "fast", True, accounts)
    slow, fast = both(env, slow_data, fast_data, names, "scripted servers")
    ok = names[SCRIPTED.index("ok")]
    check(slow[ok].count(b"\r\n.\r\n") == 2 and not slow[ok].startswith(b"*ERR"),
          "a server that refuses CAPA is checked one by one: %r" % slow[ok][:60])
    merged = names[SCRIPTED.index("pipe-merged")]
    check(fast[merged].count(b"\r\n.\r\n") == 12, "all twelve mails of the pipelining server")
    for scenario, code in (("pipe-list-err", b"(2,5)"), ("pipe-top-err", b"(2,6)"), ("pipe-close", b"(3,1)")):
        entry = fast[names[SCRIPTED.index(scenario)]]
        check(entry.startswith(b"*ERR\r\n") and code in entry, "%s ends in its error entry: %r" % (scenario, entry))


CASES = {"dovecot": (case_dovecot, True), "scripted": (case_scripted, False)}


class _Args(argparse.Namespace):
    """The options of e2e.py's environment that these cases do without (its
    helper programs) read as None."""

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        return None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--dist", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--work", required=True)
    args = p.parse_args(namespace=_Args())
    args.dist, args.helper, args.work = (os.path.abspath(x) for x in (args.dist, args.helper, args.work))
    func, needs_server = CASES[args.case]
    if needs_server and not dovecot.available():
        print("skipped: dovecot needs root and /usr/sbin/dovecot")
        return e2e.SKIP
    env = Env(args, "fast_" + args.case)
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
