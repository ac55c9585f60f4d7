#!/usr/bin/env python3
"""Plays the system browser for the sign-in tests: started (under Wine, by
winebrowser) with the authorization URL the program opened.

    test_browser.py --ca CA.pem --log LOG URL

GETs the https URL trusting only CA.pem, and when the answer is a redirect
to the loopback (http://127.0.0.1:PORT/...), GETs that as a browser
would after the user approved. Nothing else is followed: another scheme, host
or a second redirect ends the run. One JSON line per run is appended to LOG:
{"url", "status", "location", "redirect_status", "redirect_body", "error"}.

install(work, ca, log) writes a launcher script for the Wine prefix's
browser list (HKCU\\Software\\Wine\\WineBrowser "Browsers", a Unix program
path) and returns its path.
"""
import argparse
import http.client
import json
import os
import ssl
import stat
import sys
import urllib.parse


def browse(url, ca):
    out = {"url": url, "status": None, "location": None, "redirect_status": None, "redirect_body": None,
           "error": None}
    target = urllib.parse.urlsplit(url)
    if target.scheme != "https" or target.hostname not in ("127.0.0.1", "localhost"):
        out["error"] = "not a loopback https URL"
        return out
    ctx = ssl.create_default_context(cafile=ca)
    conn = http.client.HTTPSConnection(target.hostname, target.port or 443, context=ctx, timeout=20)
    try:
        conn.request("GET", target.path + ("?" + target.query if target.query else ""))
        r = conn.getresponse()
        r.read()
        out["status"] = r.status
        out["location"] = r.getheader("Location")
    except (OSError, http.client.HTTPException) as e:
        out["error"] = "authorize: %r" % e
        return out
    finally:
        conn.close()
    if out["status"] not in (302, 303) or not out["location"]:
        return out
    back = urllib.parse.urlsplit(out["location"])
    if back.scheme != "http" or back.hostname != "127.0.0.1":
        out["error"] = "redirect not to the loopback"
        return out
    conn = http.client.HTTPConnection("127.0.0.1", back.port or 80, timeout=20)
    try:
        conn.request("GET", back.path + ("?" + back.query if back.query else ""))
        r = conn.getresponse()
        out["redirect_status"] = r.status
        out["redirect_body"] = r.read(4096).decode("utf-8", "replace")
    except (OSError, http.client.HTTPException) as e:
        out["error"] = "redirect: %r" % e
    finally:
        conn.close()
    return out


def install(work, ca, log):
    """A launcher in `work` that runs this script with ca and log; its path
    holds no space or comma (the browser list is split on them)."""
    path = os.path.join(work, "test-browser.sh")
    with open(path, "w") as f:
        f.write("#!/bin/sh\nexec %s %s --ca %s --log %s \"$@\"\n" % (sys.executable, os.path.abspath(__file__),
                                                                     os.path.abspath(ca), os.path.abspath(log)))
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    return path


def main(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--ca", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("url")
    a = p.parse_args(argv)
    out = browse(a.url, a.ca)
    with open(a.log, "a") as f:
        f.write(json.dumps(out) + "\n")
    return 0 if out["error"] is None else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
