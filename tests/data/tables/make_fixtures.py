#!/usr/bin/python3
"""Writes the damaged and unusual table files the engine tests read. Run from this folder."""
import struct

FIELDS = [("NAME", "C", 6, 0), ("QTY", "N", 5, 1)]
ROWS = [(b"ANA", b"  1.5"), (b"BE\xd1AT", b" 12.0"), (b"IKER", b" -3.2")]


def header(fields, count, reclen=None, hlen=None, terminator=True, extra=b"", version=3):
    desc = b""
    for name, typ, width, dec in fields:
        raw = name.encode("ascii")
        desc += raw.ljust(11, b"\0")[:11] + typ.encode() + b"\0" * 4 + bytes([width, dec]) + b"\0" * 14
    body = desc + (b"\r" if terminator else b"") + extra
    if hlen is None:
        hlen = 32 + len(body)
    if reclen is None:
        reclen = 1 + sum(f[2] for f in fields)
    head = struct.pack("<B3BIHH20x", version, 124, 1, 15, count, hlen, reclen)
    head = head[:29] + b"\x57" + head[30:]
    return head + body


def records(rows, fields=FIELDS, deleted=()):
    out = b""
    for i, row in enumerate(rows):
        out += b"*" if i in deleted else b" "
        for (name, typ, width, dec), value in zip(fields, row):
            out += value.ljust(width, b" ")[:width]
    return out


def good(count=None, **kw):
    return header(FIELDS, len(ROWS) if count is None else count, **kw) + records(ROWS) + b"\x1a"


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


write("truncated_in_header.dbf", good()[:40])
write("truncated_in_record.dbf", good()[:-1 - 6])
write("count_larger_than_file.dbf", good(count=10))
write("count_smaller_than_file.dbf", good(count=2))
write("extra_header_bytes.dbf", good(extra=b"\0"))
write("no_header_terminator.dbf", good(terminator=False))
write("no_eof_marker.dbf", good()[:-1])
write("junk_after_eof_marker.dbf", good() + b"garbage after the end")
write("numeric_blank_star_junk.dbf",
      header(FIELDS, 5) + records([(b"BLANK", b"     "), (b"STAR", b"*****"), (b"JUNK", b" 1x2 "),
                                   (b"NUL", b"\0\0\0\0\0"), (b"COMMA", b"  2,5")]) + b"\x1a")
write("field_name_without_nul.dbf",
      header([("ABCDEFGHIJK", "C", 3, 0)], 1) + b" xyz" + b"\x1a")
write("deleted_rows.dbf", header(FIELDS, 3) + records(ROWS, deleted=(1,)) + b"\x1a")
write("not_a_table.dbf", b"Hola, esto no es una tabla sino un texto cualquiera.\r\n" * 3)
write("empty_file.dbf", b"")
write("record_length_too_short.dbf", good(reclen=5))
write("header_length_beyond_file.dbf", good(hlen=4000))
write("dbase7_version.dbf", good(version=4))
write("no_fields.dbf", header([], 0) + b"\x1a")
