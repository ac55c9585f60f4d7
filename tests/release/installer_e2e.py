#!/usr/bin/env python3
"""The installer and the portable zip under Wine, in the test prefix.

    installer_e2e.py --setup Tidewell-X.Y-setup.exe --zip Tidewell-X.Y.zip
                     --version X.Y --work DIR --helper tray_helper.exe

One run, in order: a silent install (the files, the Start menu shortcut's
target and working folder, the uninstall key, no logon shortcut by default);
the program started from the shortcut's target in its working folder checks
a Dovecot account (skipped without root); an update over the install (with
/LOGON, the program running) keeps the data folder byte for byte and puts
back the program files; the silent uninstaller removes program files,
shortcuts and key and leaves the data folder; an uninstall with /REMOVEDATA
removes it. The zip holds the deliverables in one folder.
Runs with the Wine environment of the ctest fixture (tools/wine-env.sh exec).
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tidewell"))
sys.path.insert(0, os.path.join(HERE, "..", "servers"))
import dovecot  # noqa: E402
import e2e  # noqa: E402

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell"
PROGRAM_FILES = ["Tidewell.exe", "Quillbox.dll", "Inkwell2.dll", "Peekglass.exe", "uninstall.exe"]


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def wine_out(*args, timeout=120):
    r = subprocess.run(["wine"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                       stdin=subprocess.DEVNULL, timeout=timeout)
    return r.returncode, r.stdout.decode("cp932", "replace")


def win_var(name):
    rc, out = wine_out("cmd", "/c", "echo", "%" + name + "%")
    value = out.strip().splitlines()[-1].strip()
    check(rc == 0 and "%" not in value, "%%%s%%: %r" % (name, out))
    return value


def unix(path):
    r = subprocess.run(["winepath", "-u", path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    return r.stdout.decode().strip()


def read_lnk(path):
    """Target, working folder and arguments of a Shell Link (.lnk) file."""
    with open(path, "rb") as f:
        data = f.read()
    check(struct.unpack_from("<I", data, 0)[0] == 0x4C, "%s: a shell link" % path)
    flags = struct.unpack_from("<I", data, 20)[0]
    off = 76
    if flags & 0x1:  # HasLinkTargetIDList
        off += 2 + struct.unpack_from("<H", data, off)[0]
    target = None
    if flags & 0x2:  # HasLinkInfo
        size, header, info_flags, _, base = struct.unpack_from("<IIIII", data, off)[:5]
        if info_flags & 1:
            base_off = off + base
            if header >= 0x24:
                unicode_off = struct.unpack_from("<I", data, off + 28)[0]
                s = off + unicode_off
                e = data.index(b"\0\0", s)
                while (e - s) % 2:
                    e = data.index(b"\0\0", e + 1)
                target = data[s:e].decode("utf-16-le")
            else:
                target = data[base_off:data.index(b"\0", base_off)].decode("cp932")
        off += size
    strings = {}
    unicode = flags & 0x80
    for bit, key in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            n = struct.unpack_from("<H", data, off)[0]
            off += 2
            if unicode:
                # Wine counts the terminator in; Windows does not.
                strings[key] = data[off:off + 2 * n].decode("utf-16-le").rstrip("\0")
                off += 2 * n
            else:
                strings[key] = data[off:off + n].decode("cp932").rstrip("\0")
                off += n
    return target, strings.get("workdir"), strings.get("arguments", "")


def reg_values(key):
    rc, out = wine_out("reg", "query", key)
    if rc != 0:
        return None
    values = {}
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
        elif len(parts) == 2 and parts[1].startswith("REG_"):
            values[parts[0]] = ""
    return values


def snapshot(folder):
    """Every file under folder with the MD5 of its bytes."""
    out = {}
    for root, _, files in os.walk(folder):
        for name in files:
            p = os.path.join(root, name)
            with open(p, "rb") as f:
                out[os.path.relpath(p, folder)] = hashlib.md5(f.read()).hexdigest()
    return out


def wait_gone(path, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if not os.path.exists(path):
            return True
        time.sleep(0.5)
    return not os.path.exists(path)


def tray_windows(helper, n, seconds):
    """Waits until there are n windows titled "Tidewell" (tests/tidewell/tray_helper)."""
    rc, _ = wine_out(helper, "wait", str(n), str(seconds), timeout=seconds + 30)
    return rc == 0


class Env:
    """What e2e.start_dovecot and e2e.mail_dir need."""

    def __init__(self, work):
        self.work = work
        self.server_dir = os.path.join(work, "dovecot")


def run(args):
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    env = Env(args.work)
    local, roaming = win_var("LOCALAPPDATA"), win_var("APPDATA")
    install = unix(local + r"\Programs\Tidewell")
    data = unix(roaming + r"\Tidewell")
    programs = unix(roaming + r"\Microsoft\Windows\Start Menu\Programs")
    menu_link = os.path.join(programs, "Tidewell.lnk")
    # Wine names the folder "StartUp"; Windows file names ignore case.
    startup = next((n for n in os.listdir(programs) if n.lower() == "startup"), "Startup")
    logon_link = os.path.join(programs, startup, "Tidewell.lnk")
    # A prefix left from an earlier run starts clean.
    for p in (install, data, menu_link, logon_link):
        shutil.rmtree(p, ignore_errors=True) if os.path.isdir(p) else (os.path.exists(p) and os.remove(p))
    wine_out("reg", "delete", UNINSTALL_KEY, "/f")

    # 1. The zip: one folder with the deliverables.
    with zipfile.ZipFile(args.zip) as z:
        names = sorted(z.namelist())
    folder = "Tidewell-%s/" % args.version
    for f in ("Tidewell.exe", "Quillbox.dll", "Inkwell2.dll", "Peekglass.exe"):
        check(folder + f in names, "zip holds %s%s: %r" % (folder, f, names))
    check(all(n.startswith(folder) for n in names), "zip: everything in %s: %r" % (folder, names))

    # 2. Silent install.
    rc, _ = wine_out(args.setup, "/S")
    check(rc == 0, "setup /S exit code %d" % rc)
    for f in PROGRAM_FILES:
        check(os.path.isfile(os.path.join(install, f)), "installed %s in %s" % (f, install))
    check(os.path.isdir(data), "data folder created: %s" % data)
    check(os.listdir(data) == [], "the installer writes nothing into the data folder: %r" % os.listdir(data))
    check(os.path.isfile(menu_link), "Start menu shortcut %s" % menu_link)
    check(not os.path.exists(logon_link), "no logon shortcut without /LOGON")
    target, workdir, arguments = read_lnk(menu_link)
    check(target and target.lower() == (local + r"\Programs\Tidewell\Tidewell.exe").lower(),
          "shortcut target %r" % target)
    check(workdir and workdir.lower() == (roaming + r"\Tidewell").lower(), "shortcut working folder %r" % workdir)
    key = reg_values(UNINSTALL_KEY)
    check(key is not None, "uninstall key written")
    check(key.get("DisplayName") == "Tidewell %s" % args.version, "DisplayName %r" % key)
    check(key.get("DisplayVersion") == args.version, "DisplayVersion %r" % key)
    check(key.get("UninstallString", "").lower() == ('"%s\\Programs\\Tidewell\\uninstall.exe"' % local).lower(),
          "UninstallString %r" % key)
    check(key.get("InstallLocation", "").lower() == (local + r"\Programs\Tidewell").lower(), "InstallLocation %r" % key)

    # 3. The program started through the shortcut's values checks a real account.
    checked = False
    if dovecot.available():
        port = e2e.start_dovecot(env, [("alice", "alicepw", e2e.mail_dir(env, e2e.MAILS))])
        try:
            e2e.write_account_file(unix(workdir), [(b"installed", b"alice", b"alicepw", b"127.0.0.1", port, 0)])
            proc = subprocess.Popen(["wine", unix(target), "-f1", "-e1"], cwd=unix(workdir),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            check(proc.wait(e2e.PROGRAM_WAIT) == 0, "check-once run from the shortcut ended cleanly")
            entries = e2e.server_entries(port, "alice", "alicepw")
            mail = os.path.join(data, "Mail", e2e.md5_name(b"installed"))
            check(os.path.isfile(mail) and e2e.read(mail) == e2e.expected_mail_file(entries),
                  "account mail file written in the data folder")
            checked = True
        finally:
            dovecot.stop(env.server_dir)
    else:
        # Without a server: an account file and a mail file of our own.
        e2e.write_account_file(data, [(b"installed", b"alice", b"alicepw", b"127.0.0.1", 110, 0)])
        os.makedirs(os.path.join(data, "Mail"))
        with open(os.path.join(data, "Mail", "hash.dat"), "wb") as f:
            f.write(b"0123456789abcdef0123456789abcdef\n")
    with open(os.path.join(data, "Tidewell.ini"), "wb") as f:
        f.write("[Message]\r\nTime=7\r\n[Receive]\r\nSound=C:\\音.wav\r\n".encode("cp932"))
    before = snapshot(data)
    check(len(before) >= 3, "data folder has files to keep: %r" % before)

    # 4. Update over it: the program files are put back, the data folder
    #    stays as it was, byte for byte.
    os.remove(os.path.join(install, "Peekglass.exe"))
    with open(os.path.join(install, "Quillbox.dll"), "wb") as f:
        f.write(b"old")
    rc, _ = wine_out(args.setup, "/S", "/LOGON")
    check(rc == 0, "update: exit code %d" % rc)
    check(os.path.isfile(os.path.join(install, "Peekglass.exe")), "update: Peekglass.exe put back")
    with open(os.path.join(install, "Quillbox.dll"), "rb") as f:
        check(f.read(2) == b"MZ", "update: Quillbox.dll replaced")
    after = snapshot(data)
    check(after == before, "update keeps the data folder byte for byte:\n%r\n%r" % (before, after))
    check(os.path.isfile(logon_link), "update with /LOGON: logon shortcut")
    ltarget, lworkdir, _ = read_lnk(logon_link)
    check((ltarget, lworkdir) == (target, workdir), "logon shortcut like the menu's: %r" % ((ltarget, lworkdir),))

    # 4b. An update while the program runs ends it first (message 1128);
    #     only the program itself writes at its exit (Message/Timeout).
    running = subprocess.Popen(["wine", unix(target)], cwd=unix(workdir),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(tray_windows(args.helper, 1, 30), "update: the installed program runs")
    rc, _ = wine_out(args.setup, "/S")
    check(rc == 0, "update over the running program: exit code %d" % rc)
    try:
        running.wait(30)
    except subprocess.TimeoutExpired:
        running.kill()
        raise Failure("update: the running program was not ended")
    after = snapshot(data)
    del after["Tidewell.ini"]
    check(after == {k: v for k, v in before.items() if k != "Tidewell.ini"},
          "update over the running program keeps the other data files")
    check(not os.path.exists(logon_link), "an update without /LOGON removes the logon shortcut")
    before = snapshot(data)

    # 5. Silent uninstall keeps the data folder.
    rc, _ = wine_out(os.path.join(install, "uninstall.exe"), "/S")
    check(rc == 0, "uninstall exit code %d" % rc)
    check(wait_gone(os.path.join(install, "Tidewell.exe"), 60), "uninstall removes the program")
    check(wait_gone(install, 30), "uninstall removes the program folder")
    check(not os.path.exists(menu_link), "uninstall removes the shortcut")
    check(reg_values(UNINSTALL_KEY) is None, "uninstall removes the key")
    check(snapshot(data) == before, "uninstall leaves the data folder byte for byte")

    # 6. Install again, uninstall with the data removal ticked (/REMOVEDATA).
    rc, _ = wine_out(args.setup, "/S")
    check(rc == 0 and os.path.isfile(os.path.join(install, "Tidewell.exe")), "reinstall")
    check(snapshot(data) == before, "reinstall keeps the data folder")
    wine_out(os.path.join(install, "uninstall.exe"), "/S", "/REMOVEDATA")
    check(wait_gone(install, 60), "second uninstall removes the program folder")
    check(wait_gone(data, 30), "/REMOVEDATA removes the data folder")
    return checked


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--setup", required=True)
    p.add_argument("--zip", required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--helper", required=True)
    args = p.parse_args()
    args.work = os.path.abspath(args.work)
    try:
        checked = run(args)
    except Failure as e:
        print("FAILED:", e)
        return 1
    print("passed" + ("" if checked else " (without Dovecot: no check from the shortcut)"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
