#!/usr/bin/env python3
"""Speed of a whole check by Tidewell.exe under Wine against local Dovecot,
next to a minimal native client (poplib) doing the same LIST n / TOP n 0
sequence on one connection, measured in the same run.

    bench.py --dist DIR --work DIR     (with the Wine environment)

    bench.py ... --floor wine_floor.exe   also times the Wine floor

Prints the times and the three ratios with their limits:
    Tidewell 2,000 mails / poplib 2,000 mails       at most 2.0
    Tidewell 4,000 mails / Tidewell 2,000 mails     at most 2.2
    NewMessage 4,000 (previous check on file) / plain 4,000   at most 1.2

With --floor, the same check by the smallest Windows programs under the same
Wine is timed too (wine_floor.cpp): blocking socket calls in a console
program, and a hidden window with a tray icon, socket events as messages and
three posted messages per mail as the tray program's session runs. They show
what part of Tidewell's time Wine takes whatever the program does.
"""
import argparse
import os
import poplib
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "servers"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import account_dat  # noqa: E402
import dovecot  # noqa: E402


def account_file(folder, port):
    with open(os.path.join(folder, "Account.dat"), "wb") as f:
        f.write(account_dat.encode_file([account_dat.record(b"bench", b"u", b"pw", b"127.0.0.1", port, 0)]))


def native_check(port):
    start = time.perf_counter()
    p = poplib.POP3("127.0.0.1", port)
    p.user("u")
    p.pass_("pw")
    n = p.stat()[0]
    for i in range(1, n + 1):
        p._shortcmd("LIST %d" % i)
        p._longcmd("TOP %d 0" % i)
    p.quit()
    return time.perf_counter() - start, n


def tidewell_check(exe, data, *switches):
    start = time.perf_counter()
    with open(os.path.join(data, "..", "wine.log"), "ab") as log:
        rc = subprocess.run(["wine", exe, "-f1", "-e1"] + list(switches), cwd=data, stdout=log,
                            stderr=log, timeout=600).returncode
    took = time.perf_counter() - start
    if rc != 0:
        raise RuntimeError("Tidewell.exe ended with %d" % rc)
    return took


def floor_check(exe, port, mode):
    start = time.perf_counter()
    out = subprocess.run(["wine", exe, str(port), mode], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         timeout=600, check=True).stdout
    took = time.perf_counter() - start
    return took, int(out.split()[-1])


def start_server(work, count):
    d = os.path.join(work, "dovecot%d" % count)
    out = os.path.join(work, "dovecot%d.out" % count)
    with open(out, "w+") as f:
        subprocess.run([sys.executable, dovecot.__file__, "start", "--dir", d, "--user", "u:pw:gen:%d" % count],
                       stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT, check=True, timeout=120)
        f.seek(0)
        return d, int(f.read().split()[-1])


def measure(exe, work, count, new_message_too=False, floor=None):
    d, port = start_server(work, count)
    try:
        data = os.path.join(work, "data%d" % count)
        shutil.rmtree(data, ignore_errors=True)
        os.makedirs(data)
        account_file(data, port)
        native, n = native_check(port)
        assert n == count, n
        plain = tidewell_check(exe, data)
        newmsg = tidewell_check(exe, data, "-m1") if new_message_too else None
        if floor:
            floors = []
            for mode in ("blocking", "window"):
                took, n = floor_check(floor, port, mode)
                assert n == count, n
                floors.append(took)
            return native, plain, newmsg, floors
        return native, plain, newmsg
    finally:
        dovecot.stop(d)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--dist", required=True)
    a.add_argument("--work", required=True)
    a.add_argument("--floor", help="wine_floor.exe: also time the Wine floor")
    args = a.parse_args()
    if not dovecot.available():
        print("skipped: dovecot needs root")
        return 0
    exe = os.path.abspath(os.path.join(args.dist, "Tidewell.exe"))
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    # Warm-up with an empty mailbox: the first Wine process of a run also
    # starts Wine's desktop and tray; that and the program's start and exit
    # are the fixed cost of every run.
    measure(exe, work, 0)
    floor = os.path.abspath(args.floor) if args.floor and os.path.exists(args.floor) else None
    if floor:
        n0, t0, _, f0 = measure(exe, work, 0, floor=floor)
        n2, t2, _, f2 = measure(exe, work, 2000, floor=floor)
    else:
        n0, t0, _ = measure(exe, work, 0)
        n2, t2, _ = measure(exe, work, 2000)
    n4, t4, m4 = measure(exe, work, 4000, new_message_too=True)
    print("poplib   0: %.2f s   2000: %.2f s   4000: %.2f s" % (n0, n2, n4))
    print("Tidewell 0: %.2f s   2000: %.2f s   4000: %.2f s   4000 NewMessage: %.2f s" % (t0, t2, t4, m4))
    print("per-mail cost past the fixed start/exit: Tidewell %.3f ms, poplib %.3f ms (ratio %.2f)"
          % ((t2 - t0) / 2.0, (n2 - n0) / 2.0, (t2 - t0) / max(n2 - n0, 1e-9)))
    if floor:
        for i, name in enumerate(("blocking console", "window + tray")):
            print("Wine floor, %-16s 0: %.2f s   2000: %.2f s   (%.3f ms per mail; 2000 / poplib %.2f)"
                  % (name, f0[i], f2[i], (f2[i] - f0[i]) / 2.0, f2[i] / n2))
    ok = True
    for name, ratio, limit in (("Tidewell/poplib at 2000", t2 / n2, 2.0),
                               ("4000/2000", t4 / t2, 2.2),
                               ("NewMessage/plain at 4000", m4 / t4, 1.2)):
        good = ratio <= limit
        ok = ok and good
        print("%-26s %.2f (limit %.1f) %s" % (name, ratio, limit, "ok" if good else "TOO SLOW"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
