#!/usr/bin/env python3
"""tools/account_dat.py add: the priority of a new account follows the
store's rule, so that no two accounts share a rank."""
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


if __name__ == "__main__":
    unittest.main()
