#!/usr/bin/env python3
"""tools/account_dat.py add: the priority of a new account follows the
store's rule, so that no two accounts share a rank; version 7 records, and
what `list` says of each password."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "account_dat.py")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import account_dat  # noqa: E402


def add(data, name, priority):
    subprocess.run([sys.executable, TOOL, "add", data, "--name", name, "--user", "u", "--password", "p",
                    "--server", "127.0.0.1", "--priority", str(priority)], check=True, stdout=subprocess.DEVNULL)


def priorities(data):
    with open(os.path.join(data, "Account.dat"), "rb") as f:
        recs = account_dat.read_records(f.read())
    return [(n.decode("cp932"), struct.unpack(">H", r[at:at + 2])[0]) for n, r, _, at in recs]


class AddPriority(unittest.TestCase):
    def run_adds(self, adds):
        with tempfile.TemporaryDirectory() as data:
            for name, p in adds:
                add(data, name, p)
            return priorities(data)

    def test_table(self):
        cases = [
            ("first account with 5 gets 2 (largest taken as 1)", [("A", 5)], [("A", 2)]),
            ("same rank twice: the earlier moves down", [("A", 1), ("B", 1)], [("A", 2), ("B", 1)]),
            ("a rank in the middle pushes those at or after it",
             [("A", 1), ("B", 2), ("C", 3), ("D", 2)], [("A", 1), ("B", 3), ("C", 4), ("D", 2)]),
            ("zero takes no rank and moves nobody", [("A", 1), ("B", 0), ("C", 0)],
             [("A", 1), ("B", 0), ("C", 0)]),
            ("zero accounts are not pushed", [("A", 0), ("B", 1), ("C", 1)], [("A", 0), ("B", 2), ("C", 1)]),
            ("too large becomes one past the largest", [("A", 1), ("B", 9)], [("A", 1), ("B", 2)]),
        ]
        for what, adds, expected in cases:
            with self.subTest(what):
                self.assertEqual(self.run_adds(adds), expected)

    def test_other_fields_survive_the_renumbering(self):
        with tempfile.TemporaryDirectory() as data:
            add(data, "会社", 1)
            with open(os.path.join(data, "Account.dat"), "rb") as f:
                before = account_dat.read_records(f.read())[0]
            add(data, "自宅", 1)
            with open(os.path.join(data, "Account.dat"), "rb") as f:
                after = account_dat.read_records(f.read())[0]
            at = before[3]
            self.assertEqual(before[1][:at] + before[1][at + 2:], after[1][:at] + after[1][at + 2:])
            self.assertEqual(struct.unpack(">H", after[1][at:at + 2])[0], 2)



def list_output(data):
    out = subprocess.run([sys.executable, TOOL, "list", data], check=True, stdout=subprocess.PIPE).stdout
    return [line.split(b"\t") for line in out.splitlines()]


class Version7(unittest.TestCase):
    def test_add_keeps_sealed_records_and_list_tells_them_apart(self):
        sealed_blob = bytes(range(200)) + bytes(range(200))  # longer than a 1-byte length holds
        sealed = account_dat.record(b"sealed", b"u", b"", b"s", 110, False)
        # form 1 with the sealed bytes instead of form 0 and none
        sealed = sealed[:-3] + bytes([account_dat.PASSWORD_SEALED]) + struct.pack(">H", len(sealed_blob)) + sealed_blob
        v5 = account_dat.record(b"old", b"u", b"pw", b"s", 995, False, version=5)
        with tempfile.TemporaryDirectory() as data:
            path = os.path.join(data, "Account.dat")
            with open(path, "wb") as f:
                f.write(b"Tidewellv\x05\x01" + v5)
            add(data, "second", 0)
            with open(path, "rb") as f:
                upgraded = f.read()
            self.assertEqual(upgraded[9], 7)
            # The version-5 record gained its security byte (995: TLS on connect),
            # form 0 and no sealed bytes; the new one is scrambled, form 0.
            recs = account_dat.walk_records(upgraded)
            self.assertEqual(recs[0]["raw"], v5 + b"\x02\x00\x00\x00")
            self.assertEqual(recs[1]["form"], account_dat.PASSWORD_SCRAMBLED)
            with open(path, "wb") as f:
                f.write(upgraded[:10] + bytes([3]) + upgraded[11:] + sealed)
            add(data, "fourth", 0)
            with open(path, "rb") as f:
                recs = account_dat.walk_records(f.read())
            self.assertEqual(recs[2]["raw"], sealed)  # kept byte for byte
            self.assertEqual(list_output(data), [[b"old", b"not sealed"], [b"second", b"not sealed"],
                                                 [b"sealed", b"sealed"], [b"fourth", b"not sealed"]])

    def test_records_of_every_version_are_read(self):
        for version in (5, 6, 7):
            with self.subTest(version=version):
                rec = account_dat.record(b"n", b"u", b"", b"s", 110, False, version=version)
                recs = account_dat.walk_records(account_dat.encode_file([rec], version))
                self.assertEqual(len(recs), 1)
                self.assertEqual(recs[0]["raw"], rec)
                self.assertEqual(account_dat.password_state(recs[0]), "none")


if __name__ == "__main__":
    unittest.main()
