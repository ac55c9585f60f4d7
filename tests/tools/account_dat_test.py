#!/usr/bin/env python3
"""tools/account_dat.py add: the priority of a new account follows the
store's rule, so that no two accounts share a rank; version 8 records (the
password and OAuth sign-in), the upgrade of older files, and what `list`
says of each password and refresh token."""
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
        sealed = account_dat.record(b"sealed", b"u", b"", b"s", 110, False, sealed_password=sealed_blob)
        v5 = account_dat.record(b"old", b"u", b"pw", b"s", 995, False, version=5)
        with tempfile.TemporaryDirectory() as data:
            path = os.path.join(data, "Account.dat")
            with open(path, "wb") as f:
                f.write(b"Tidewellv\x05\x01" + v5)
            add(data, "second", 0)
            with open(path, "rb") as f:
                upgraded = f.read()
            self.assertEqual(upgraded[9], 8)
            # The version-5 record gained its security byte (995: TLS on connect),
            # form 0 and no sealed bytes, and signs in with its password (no
            # provider, no one signed in, no refresh token); the new one is
            # scrambled, form 0.
            recs = account_dat.walk_records(upgraded)
            self.assertEqual(recs[0]["raw"], v5 + b"\x02\x00\x00\x00" + b"\x00\x00\x00\x00\x00\x00")
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
        for version in (5, 6, 7, 8):
            with self.subTest(version=version):
                rec = account_dat.record(b"n", b"u", b"", b"s", 110, False, version=version)
                recs = account_dat.walk_records(account_dat.encode_file([rec], version))
                self.assertEqual(len(recs), 1)
                self.assertEqual(recs[0]["raw"], rec)
                self.assertEqual(account_dat.password_state(recs[0]), "none")


def run_tool(*args):
    return subprocess.run([sys.executable, TOOL] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class Version8(unittest.TestCase):
    def test_oauth_account_fields_in_order(self):
        with tempfile.TemporaryDirectory() as data:
            r = run_tool("add", data, "--name", "会社", "--user", "taro@example.jp", "--server", "outlook.office365.com",
                         "--signin", "oauth", "--provider", "microsoft", "--oauth-account", "Taro",
                         "--refresh-token", "M.R3_BAY.token")
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(os.path.join(data, "Account.dat"), "rb") as f:
                data_bytes = f.read()
            self.assertEqual(data_bytes[:11], b"Tidewellv\x08\x01")
            rec = account_dat.walk_records(data_bytes)[0]
            token = b"M.R3_BAY.token"
            scrambled = bytes((c + i) % 256 for i, c in enumerate(token))
            # Fields 16 to 23: TLS on connect (the default for OAuth), password
            # form 0 and none, method 1, provider 1, who, token form 0, token.
            self.assertEqual(rec["raw"][rec["form_at"] - 1:],
                             b"\x02" + b"\x00\x00\x00" + b"\x01\x01" + b"\x04Taro" + b"\x00" +
                             struct.pack(">H", len(token)) + scrambled)
            self.assertNotIn(token, data_bytes)
            self.assertEqual(struct.unpack(">H", rec["raw"][rec["prio_at"] - 2:rec["prio_at"]])[0], 995)
            self.assertEqual((rec["signin"], rec["provider"], rec["oauth_account"]), (1, 1, b"Taro"))
            self.assertEqual(account_dat.password_state(rec), "none")
            self.assertEqual(account_dat.refresh_token_state(rec), "not sealed")
            run_tool("add", data, "--name", "pw", "--user", "u", "--password", "p", "--server", "s")
            rows = list_output(data)  # (the name comes in the locale's encoding)
            self.assertEqual([rows[0][1:], rows[1]], [[b"none", b"oauth microsoft, refresh token not sealed"],
                                                      [b"pw", b"not sealed"]])

    def test_a_version7_file_is_upgraded_and_its_sealed_records_kept(self):
        blob = bytes(range(1, 100))
        v7 = account_dat.record(b"old", b"u", b"", b"s", 110, False, version=7, sealed_password=blob)
        with tempfile.TemporaryDirectory() as data:
            path = os.path.join(data, "Account.dat")
            with open(path, "wb") as f:
                f.write(account_dat.encode_file([v7], 7))
            r = run_tool("add", data, "--name", "g", "--user", "u", "--server", "s", "--signin", "oauth",
                         "--provider", "google")
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(path, "rb") as f:
                recs = account_dat.walk_records(f.read())
            self.assertEqual(recs[0]["raw"], v7 + b"\x00" * 6)
            self.assertEqual(account_dat.password_state(recs[0]), "sealed")
            self.assertEqual((recs[1]["signin"], recs[1]["provider"], recs[1]["token"]), (1, 2, 0))
            self.assertEqual(account_dat.refresh_token_state(recs[1]), "none")

    def test_options_that_do_not_go_together_are_refused(self):
        cases = [
            ("oauth without a provider", ["--signin", "oauth"]),
            ("oauth with a password", ["--signin", "oauth", "--provider", "google", "--password", "p"]),
            ("oauth with apop", ["--signin", "oauth", "--provider", "google", "--apop"]),
            ("a refresh token without oauth", ["--password", "p", "--refresh-token", "t"]),
            ("a provider without oauth", ["--password", "p", "--provider", "google"]),
            ("no password without oauth", []),
            ("a refresh token too long", ["--signin", "oauth", "--provider", "custom", "--refresh-token", "t" * 4097]),
        ]
        for what, extra in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as data:
                r = run_tool("add", data, "--name", "n", "--user", "u", "--server", "s", *extra)
                self.assertNotEqual(r.returncode, 0)
                self.assertFalse(os.path.exists(os.path.join(data, "Account.dat")))

    def test_a_cut_version8_record_is_refused(self):
        rec = account_dat.record(b"n", b"u", b"", b"s", 995, False, signin="oauth", provider="google",
                                 refresh_token=b"tok")
        whole = account_dat.encode_file([rec])
        for cut in range(len(whole) - len(rec), len(whole)):
            with self.subTest(cut=cut), self.assertRaises(SystemExit):
                account_dat.walk_records(whole[:cut])


if __name__ == "__main__":
    unittest.main()
