"""Checks the compiled help file: an ITSF (HTML Help) file marked Japanese,
holding the pages and the contents file with their Shift_JIS titles."""
import struct
import sys

data = open(sys.argv[1], "rb").read()
errors = []
if data[:4] != b"ITSF":
    errors.append("not an HTML Help file")
if struct.unpack("<I", data[20:24])[0] != 0x411:
    errors.append("language is not Japanese (0x411)")
for name in ["/index.htm", "/icons.htm", "/accounts.htm", "/security.htm", "/settings.htm", "/list.htm", "/cmdline.htm",
             "/Tidewell.hhc"]:
    if name.encode("ascii") not in data:
        errors.append("missing " + name)
# The window title of the #SYSTEM block is stored uncompressed.
if "Tidewell ヘルプ".encode("cp932") not in data:
    errors.append("Shift_JIS title not found")
for e in errors:
    print(e)
sys.exit(1 if errors else 0)
