#!/usr/bin/env python3
"""The built deliverables read back from the files in dist/: the version
resource of all four (one version number, Japanese description), the
application manifest of the two programs, no debug information left.

    release_files_test.py --dist DIR --version X.Y
"""
import argparse
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_resources  # noqa: E402

RT_VERSION, RT_MANIFEST = 16, 24
DELIVERABLES = [
    # file, description, program (manifest) or library
    ("Tidewell.exe", "Tidewell 新着メールチェッカー", True),
    ("Peekglass.exe", "Tidewell メッセージビューア", True),
    ("Quillbox.dll", "Tidewell メール一覧ライブラリ", False),
    ("Inkwell2.dll", "Tidewell 文字コード変換ライブラリ", False),
]
ASM = "{urn:schemas-microsoft-com:asm.v1}"
ASM3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
WS2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WS2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
WINDOWS_7_TO_11 = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def check_manifest(name, xml):
    root = ET.fromstring(xml)
    deps = [a.attrib for a in root.iter(ASM + "assemblyIdentity")]
    check({"name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0"}.items()
          <= next((d for d in deps if d.get("name") == "Microsoft.Windows.Common-Controls"), {}).items(),
          "%s: Common Controls 6 dependency: %r" % (name, deps))
    levels = [e.get("level") for e in root.iter(ASM3 + "requestedExecutionLevel")]
    check(levels == ["asInvoker"], "%s: asInvoker: %r" % (name, levels))
    oses = {e.get("Id") for e in root.iter(COMPAT + "supportedOS")}
    check(oses == WINDOWS_7_TO_11, "%s: supportedOS 7 to 11: %r" % (name, oses))
    awareness = [e.text.replace(" ", "").split(",") for e in root.iter(WS2016 + "dpiAwareness")]
    check(awareness and awareness[0][0] == "PerMonitorV2", "%s: per-monitor v2: %r" % (name, awareness))
    aware = [e.text for e in root.iter(WS2005 + "dpiAware")]
    check(aware == ["true/pm"], "%s: dpiAware for older systems: %r" % (name, aware))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dist", required=True)
    p.add_argument("--version", required=True)
    args = p.parse_args()
    major, minor = (int(x) for x in args.version.split(".")[:2])
    for name, description, program in DELIVERABLES:
        path = os.path.join(args.dist, name)
        if not os.path.exists(path):
            failures.append("%s missing in %s" % (name, args.dist))
            continue
        with open(path, "rb") as f:
            data = f.read()
        facts = pe_resources.pe_facts(data)
        check(facts["symbols"] == 0, "%s: stripped (%d symbols)" % (name, facts["symbols"]))
        debug = [s for s in facts["sections"] if s.startswith(".debug") or s.startswith("/")]
        check(not debug, "%s: no debug sections: %r" % (name, debug))
        res = pe_resources.resources(data)
        versions = [v for (t, _, _), v in res.items() if t == RT_VERSION]
        check(len(versions) == 1, "%s: one version resource (%d)" % (name, len(versions)))
        if versions:
            info = pe_resources.version_info(versions[0])
            want = ((major << 16) | minor, 0)
            check(info["FileVersion"] == want and info["ProductVersion"] == want,
                  "%s: fixed versions %r" % (name, info))
            check(info["FileType"] == (1 if program else 2), "%s: file type %d" % (name, info["FileType"]))
            strings = info["strings"].get("041104b0", {})
            for key, value in (("FileDescription", description), ("FileVersion", args.version),
                               ("ProductVersion", args.version), ("ProductName", "Tidewell"),
                               ("OriginalFilename", name)):
                check(strings.get(key) == value, "%s: %s is %r, not %r" % (name, key, strings.get(key), value))
            check(info["translations"] == [(0x411, 1200)], "%s: Japanese translation %r" % (name, info))
        manifests = {k: v for k, v in res.items() if k[0] == RT_MANIFEST}
        if program:
            check([k[1] for k in manifests] == [1], "%s: one manifest with id 1: %r" % (name, list(manifests)))
            for blob in manifests.values():
                check_manifest(name, blob)
        else:
            # A library runs in its caller's activation context: an id 1
            # manifest in a DLL would be a fault.
            check(not manifests, "%s: no manifest of its own: %r" % (name, list(manifests)))
    for f in failures:
        print("FAILED:", f)
    if not failures:
        print("passed: %d deliverables" % len(DELIVERABLES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
