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

# ---- mail as current mail programs send it, made by Python's email library --
from email import policy
from email.message import EmailMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.mime.message import MIMEMessage
from email.mime.application import MIMEApplication

SMTP = policy.SMTP  # CR LF line ends

# Fixed boundaries, so that running this again gives the same files.
import email.generator
_boundaries = iter(range(1000))
email.generator.Generator._make_boundary = classmethod(
    lambda cls, text=None: "==_b%03d_==" % next(_boundaries))
RAW_FIXES = {}


def save(name, msg, cache=False, lf_only=False, cut=None):
    data = msg.as_bytes(policy=SMTP)
    for old, new in RAW_FIXES.get(name, []):
        data = data.replace(old, new)
    if cut is not None:
        data = data[:data.index(cut)]
    if lf_only:
        data = data.replace(b"\r\n", b"\n")
    if cache:
        # As the list stores a server reply: status line, dot-stuffed lines,
        # terminator (none when the fetch was cut short).
        lines = data.split(b"\r\n")
        data = b"+OK message follows\r\n" + b"\r\n".join(
            (b"." + l) if l.startswith(b".") else l for l in lines)
        if cut is None:
            if not data.endswith(b"\r\n"):
                data += b"\r\n"
            data += b".\r\n"
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def new(subject, sender="Taro <taro@example.jp>"):
    m = EmailMessage(policy=SMTP)
    m["From"] = sender
    m["Subject"] = subject
    m["Date"] = "Mon, 8 Jan 2024 10:00:00 +0900"
    return m


TEXT = "こんにちは、世界。\n二行目です。\n"

m = new("UTF-8 Base64")
m.set_content(TEXT, charset="utf-8", cte="base64")
save("utf8-base64.eml", m)

m = new("UTF-8 quoted-printable")
m.set_content(TEXT, charset="utf-8", cte="quoted-printable")
save("utf8-qp.eml", m)

m = new("Shift_JIS quoted-printable")
m.set_content(TEXT, charset="shift_jis", cte="quoted-printable")
save("sjis-qp.eml", m)

m = new("EUC-JP 8bit")
m.set_content(TEXT, charset="euc-jp", cte="8bit")
save("euc-8bit.eml", m)

m = new("UTF-8 8bit, LF only")
m.set_content(TEXT, charset="utf-8", cte="8bit")
save("utf8-lf.eml", m, lf_only=True)

m = new("alternative")
m.set_content(TEXT, charset="utf-8", cte="base64")
m.add_alternative("<html><body><p>HTML版です</p></body></html>\n", subtype="html", charset="utf-8",
                  cte="base64")
save("alternative.eml", m)

m = new("HTML only")
m.set_content(
    "<html><head><title>件名</title><style>p { color: red; }</style>"
    "<script>alert('x');</script></head>\n<body><div>お知らせ&amp;ご案内</div>\n"
    "<p>一段落目<br>改行後</p><p>&lt;タグ&gt; &quot;引用&quot; &#12354;&#x3044; &copy; &nbsp;終わり</p>\n"
    "<ul><li>項目一</li><li>項目二</li></ul><table><tr><td>A</td><td>B</td></tr></table>"
    "<!-- 注釈 --></body></html>\n",
    subtype="html", charset="utf-8", cte="quoted-printable")
save("html-only.eml", m)

# multipart/mixed: multipart/alternative (plain Base64 + HTML) and two
# attachments, one named in RFC 2231, one in an encoded word.
m = new("mixed")
m.set_content(TEXT, charset="utf-8", cte="base64")
m.add_alternative("<p>HTML版です</p>\n", subtype="html", charset="utf-8")
m.add_attachment(bytes(range(256)) * 4, maintype="application", subtype="pdf", filename="見積書.pdf")
att = MIMEApplication(b"PK\x03\x04" + b"\x00" * 96, "zip")
att["Content-Disposition"] = "attachment"
m.attach(att)
# The name as older mail programs write it: one encoded word in quotes (the
# email library would write RFC 2231 instead).
RAW_FIXES["mixed.eml"] = [(b"Content-Disposition: attachment\r\n",
                           b'Content-Disposition: attachment;\r\n filename="' +
                           b_word("資料.zip", "ISO-2022-JP", "iso2022_jp").encode() + b'"\r\n')]
save("mixed.eml", m)

# A forwarded message as a message/rfc822 part.
inner = new("=?utf-8?B?5YWD44Gu5Lu25ZCN?=", sender="Hanako <hanako@example.jp>")
inner.replace_header("Date", "Tue, 9 Jan 2024 11:30:00 +0900")
inner.set_content("転送された本文です。\n", charset="utf-8", cte="base64")
m = MIMEMultipart()
for k in ("From", "Subject", "Date"):
    m[k] = new("forward")[k]
m.attach(MIMEText("転送します。\n", "plain", "utf-8"))
m.attach(MIMEMessage(inner))
save("forward.eml", m)

m = new("RTF looking body")
m.set_content("{\\rtf1\\ansi {\\fonttbl\\f0 Arial;}\\f0 hidden\\v secret\\v0 shown}\n", charset="us-ascii",
              cte="7bit")
save("rtf.eml", m)

# UTF-16 with its byte-order mark (written by hand: the email library puts
# CR LF bytes into the encoded UTF-16).
write("utf16.eml", [
    "From: Taro <taro@example.jp>",
    "Subject: UTF-16",
    "Date: Mon, 08 Jan 2024 10:00:00 +0900",
    'Content-Type: text/plain; charset="utf-16"',
    "Content-Transfer-Encoding: base64",
], base64.encodebytes("日本語のテキスト\r\n".encode("utf-16")).replace(b"\n", b"\r\n"))

m = new("Latin")
m.set_content("Caf\u00e9 \u00a7 \u00d7 \u00f7\n", charset="iso-8859-1", cte="quoted-printable")
save("latin1.eml", m)

m = new("Windows-1252")
m.set_content("\u201cquoted\u201d \u2013 \u20ac5 na\u00efve\n", charset="windows-1252", cte="quoted-printable")
save("cp1252.eml", m)

# A cache file fetched with TOP: dot-stuffed lines, and a Base64 part cut in
# the middle of a line (no closing delimiter, no terminator).
m = new("cut short")
m.set_content(".この行は点で始まる\n..二つの点\n" + "長い本文の行です。\n" * 40, charset="utf-8", cte="base64")
m.add_attachment(b"x" * 3000, maintype="application", subtype="octet-stream", filename="big.bin")
data = m.as_bytes(policy=SMTP)
body_start = data.index(b"base64\r\n\r\n") + 10
save("cut-base64.eml", m, cache=True, cut=data[body_start + 150:body_start + 170])

m = new("dot-stuffed cache")
m.set_content(".点で始まる行\n.\n..\n最後の行\n", charset="utf-8", cte="8bit")
save("dots-cache.eml", m, cache=True)
