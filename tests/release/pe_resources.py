"""A small reader of the resources of a Windows PE file (exe or dll), for the
tests that look at the built deliverables from outside.

    resources(data) -> {(type, name, language): bytes}
    version_info(blob) -> {"FileVersion": (ms, ls), "ProductVersion": (ms, ls),
                           "FileType": n, "strings": {table: {key: value}},
                           "translations": [(lang, codepage)]}
    pe_facts(data) -> {"machine", "symbols", "sections": [names]}
Types and names are ints for numbered entries and str for named ones.
"""
import struct


class PeError(Exception):
    pass


def _sections(data):
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE header")
    machine, count, _, symbols, nsyms, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    sections = []
    for i in range(count):
        off = opt + opt_size + 40 * i
        name = data[off:off + 8].rstrip(b"\0").decode("latin-1")
        vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, off + 8)
        sections.append((name, va, max(vsize, rawsize), raw))
    return machine, symbols, nsyms, dirs, sections


def _rva_to_offset(sections, rva):
    for _, va, size, raw in sections:
        if va <= rva < va + size:
            return raw + rva - va
    raise PeError("RVA %#x outside the sections" % rva)


def pe_facts(data):
    machine, symbols, nsyms, _, sections = _sections(data)
    return {"machine": machine, "symbols": nsyms if symbols else 0, "sections": [s[0] for s in sections]}


def resources(data):
    _, _, _, dirs, sections = _sections(data)
    rva, size = struct.unpack_from("<II", data, dirs + 2 * 8)
    if not rva:
        return {}
    base = _rva_to_offset(sections, rva)

    def name_of(entry_name):
        if entry_name & 0x80000000:
            off = base + (entry_name & 0x7FFFFFFF)
            n = struct.unpack_from("<H", data, off)[0]
            return data[off + 2:off + 2 + 2 * n].decode("utf-16-le")
        return entry_name

    def entries(off):
        named, ids = struct.unpack_from("<HH", data, off + 12)
        for i in range(named + ids):
            n, target = struct.unpack_from("<II", data, off + 16 + 8 * i)
            yield name_of(n), target

    out = {}
    for rtype, t in entries(base):
        for rname, n in entries(base + (t & 0x7FFFFFFF)):
            for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                if leaf & 0x80000000:
                    raise PeError("a fourth directory level")
                drva, dsize = struct.unpack_from("<II", data, base + leaf)
                off = _rva_to_offset(sections, drva)
                out[(rtype, rname, lang)] = data[off:off + dsize]
    return out


def _node(blob, off):
    """One VS_VERSIONINFO-style node: (length, value length, type, key, value offset, end)."""
    length, vlen, typ = struct.unpack_from("<HHH", blob, off)
    k = off + 6
    end_key = k
    while blob[end_key:end_key + 2] != b"\0\0":
        end_key += 2
    key = blob[k:end_key].decode("utf-16-le")
    value = (end_key + 2 + 3) & ~3
    return length, vlen, typ, key, value, off + length


def _children(blob, start, end):
    off = (start + 3) & ~3
    while off < end:
        node = _node(blob, off)
        if node[0] == 0:
            break
        yield node
        off = (node[5] + 3) & ~3


def version_info(blob):
    length, vlen, _, key, value, end = _node(blob, 0)
    if key != "VS_VERSION_INFO":
        raise PeError("not a version resource: %r" % key)
    sig, _, fms, fls, pms, pls, _, _, _, ftype, _, _, _ = struct.unpack_from("<13I", blob, value)
    if sig != 0xFEEF04BD:
        raise PeError("no VS_FIXEDFILEINFO")
    info = {"FileVersion": (fms, fls), "ProductVersion": (pms, pls), "FileType": ftype,
            "strings": {}, "translations": []}
    for _, _, _, ckey, cval, cend in _children(blob, value + vlen, end):
        if ckey == "StringFileInfo":
            for _, _, _, table, tval, tend in _children(blob, cval, cend):
                strings = info["strings"].setdefault(table, {})
                for _, svlen, _, skey, sval, _ in _children(blob, tval, tend):
                    text = blob[sval:sval + 2 * svlen].decode("utf-16-le")
                    strings[skey] = text.rstrip("\0")
        elif ckey == "VarFileInfo":
            for _, tvlen, _, _, tval, _ in _children(blob, cval, cend):
                for i in range(0, tvlen, 4):
                    info["translations"].append(struct.unpack_from("<HH", blob, tval + i))
    return info
