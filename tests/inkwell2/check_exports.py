#!/usr/bin/env python3
"""Checks the export table of Inkwell2.dll builds with objdump.

  check_exports.py OBJDUMP DLL [OBJDUMP DLL ...]

Every build must export exactly the expected names, undecorated. For a 32-bit
build each function must also remove its own arguments from the stack
(__stdcall): its code returns with "ret $4n", n being its argument count.
"""
import os
import re
import subprocess
import sys

FUNCTIONS = {  # name: argument count
    "Code_Conv": 3, "Base64_Coding": 4, "Quoted_Coding": 4, "ToCrLf": 2, "FilePut": 2,
    "Source_Split": 5, "GetHeader": 4, "GetMailMessage": 4, "MD5Calc": 2, "GetAccount": 8, "GetAccountTls": 2,
    "GetAccountOAuth": 4,
    "getversion": 0, "fnInkwell": 0,
}
DATA = {"nInkwell"}
CLASS = {"_ZN8CInkwellC1Ev", "_ZN8CInkwellC2Ev", "_ZN8CInkwellaSERKS_"}


def exports(objdump, dll):
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    rvas = [int(m.group(1), 16) for m in re.finditer(r"^\s*\[\s*\d+\] \+base\[\s*\d+\]\s+([0-9a-f]+) Export RVA", text, re.M)]
    table = text.split("[Ordinal/Name Pointer] Table", 1)[1]
    names = {}
    for m in re.finditer(r"^\s*\[\s*(\d+)\] (\S+)\s*$", table, re.M):
        names[m.group(2)] = base + rvas[int(m.group(1))]
    return names


def first_ret(objdump, dll, address):
    out = subprocess.run([objdump, "-d", "--start-address=%#x" % address, "--stop-address=%#x" % (address + 4096), dll],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = re.search(r"\tret\s*(\$0x[0-9a-f]+)?", line)
        if m:
            return int(m.group(1)[1:], 16) if m.group(1) else 0
    return None


def main(args):
    failures = []
    for objdump, dll in zip(args[0::2], args[1::2]):
        if not os.path.isfile(dll):
            failures.append("%s: not built" % dll)
            continue
        names = exports(objdump, dll)
        expected = set(FUNCTIONS) | DATA | CLASS
        if set(names) != expected:
            failures.append("%s: missing %s, unexpected %s" % (dll, sorted(expected - set(names)), sorted(set(names) - expected)))
            continue
        if objdump.startswith("i686"):
            for name, argc in FUNCTIONS.items():
                popped = first_ret(objdump, dll, names[name])
                if popped != 4 * argc:
                    failures.append("%s: %s returns with ret %s, expected ret $%d" % (dll, name, popped, 4 * argc))
        print("%s: %d exports as expected" % (dll, len(names)))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
