#!/usr/bin/env python3
"""Writes the Japanese fixture messages of the viewer tests into mail/ (CR LF
line ends, each in the character code its headers name). Run it again after
changing a message; the files are kept in the repository."""
import base64
import os
import quopri

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mail")


def b_word(text, charset, codec):
    return "=?%s?B?%s?=" % (charset, base64.b64encode(text.encode(codec)).decode())


def write(name, header_lines, body_bytes, status=False, terminator=False):
    data = b""
    if status:
        data += b"+OK 1234 octets\r\n"
    data += b"\r\n".join(line.encode("ascii") for line in header_lines) + b"\r\n\r\n"
    data += body_bytes
    if terminator:
        data += b".\r\n"
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def crlf(text, codec):
    return text.replace("\n", "\r\n").encode(codec)


LONG = "この行はとても長いので、自動折り返しを有効にすると複数の行に分かれて表示されます。" * 3

os.makedirs(HERE, exist_ok=True)
# A cache file as the list stores it: status line, ISO-2022-JP, terminator.
write("jis-cache.eml", [
    "Return-Path: <taro@example.jp>",
    "From: " + b_word("山田太郎", "ISO-2022-JP", "iso2022_jp") + " <taro@example.jp>",
    "Subject: " + b_word("会議の予定について", "ISO-2022-JP", "iso2022_jp"),
    "Date: Tue, 2 Jan 2024 09:15:00 +0900",
    "Content-Type: text/plain; charset=ISO-2022-JP",
], crlf("明日の会議は十時からです。\n" + LONG + "\nよろしくお願いします。\n", "iso2022_jp"),
    status=True, terminator=True)
# A saved .eml file whose first line is the subject, Shift_JIS 8 bit.
write("sjis.eml", [
    "Subject: " + b_word("見積書の送付", "Shift_JIS", "cp932"),
    "From: " + b_word("佐藤花子", "Shift_JIS", "cp932") + " <hanako@example.jp>",
    "Date: Wed, 3 Jan 2024 18:30:00 +0900",
    "Content-Type: text/plain; charset=Shift_JIS",
], crlf("見積書を添付いたしました。ご確認ください。\n", "cp932"))
# UTF-8 8 bit body, UTF-8 header words.
write("utf8.eml", [
    "From: " + b_word("鈴木一郎", "UTF-8", "utf-8") + " <ichiro@example.jp>",
    "Subject: " + b_word("新年のご挨拶", "UTF-8", "utf-8"),
    "Date: Thu, 4 Jan 2024 07:00:00 +0900",
    "Content-Type: text/plain; charset=UTF-8",
], crlf("本年もよろしくお願いいたします。\n", "utf-8"))
# Quoted-printable ISO-2022-JP body.
qp = quopri.encodestring("お昼はカレーにしましょう。\n".encode("iso2022_jp")).replace(b"\n", b"\r\n")
write("qp-jis.eml", [
    "From: jiro@example.jp",
    "Subject: " + b_word("お昼ご飯", "ISO-2022-JP", "iso2022_jp"),
    "Date: Fri, 5 Jan 2024 12:00:00 +0900",
    "Content-Type: text/plain; charset=ISO-2022-JP",
    "Content-Transfer-Encoding: quoted-printable",
], qp)
# Multipart, quoted boundary, JIS first part and an attachment.
write("multipart.eml", [
    "From: " + b_word("高橋次郎", "ISO-2022-JP", "iso2022_jp") + " <jiro@example.jp>",
    "Subject: " + b_word("資料をお送りします", "ISO-2022-JP", "iso2022_jp"),
    "Date: Sat, 6 Jan 2024 20:45:00 +0900",
    "MIME-Version: 1.0",
    "Content-Type: multipart/mixed;",
    ' boundary="----=_Part_0123"',
], b"This is a multi-part message in MIME format.\r\n\r\n------=_Part_0123\r\n"
   b"Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
   + crlf("資料を添付します。\n", "iso2022_jp")
   + b"\r\n------=_Part_0123\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
   b"Content-Transfer-Encoding: base64\r\n\r\nAAECAw==\r\n------=_Part_0123--\r\n")
