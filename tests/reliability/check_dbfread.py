#!/usr/bin/python3
"""Reads every .DBF of a folder with dbfread: each must open, and the records it finds (live
and deleted) must be as many as the header counts. As a script it prints what is wrong and
exits 1; problems(folder) gives the same as a list."""
import os
import struct
import sys

import dbfread


def counted_live(path):
    """Live records among those the header counts: what a reader that trusts the count sees."""
    with open(path, "rb") as f:
        data = f.read()
    count = struct.unpack("<I", data[4:8])[0]
    hl = struct.unpack("<H", data[8:10])[0]
    rl = struct.unpack("<H", data[10:12])[0]
    return sum(1 for i in range(count) if data[hl + i * rl:hl + i * rl + 1] == b" ")


def problems(folder, after_crash=False):
    """After a crash records may follow the counted ones, all marked deleted (the new rows of
    an append not yet counted): then the live rows dbfread reads must be those the header
    counts."""
    bad = []
    for name in sorted(os.listdir(folder)):
        if not name.upper().endswith(".DBF"):
            continue
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as f:
                head = f.read(32)
            count = struct.unpack("<I", head[4:8])[0]
            table = dbfread.DBF(path, load=True, ignore_missing_memofile=True,
                                char_decode_errors="replace")
            found = len(table.records) + len(table.deleted)
            if after_crash and found >= count:
                if len(table.records) != counted_live(path):
                    bad.append(f"{name}: dbfread reads {len(table.records)} live rows, "
                               f"the header counts {counted_live(path)}")
            elif found != count:
                bad.append(f"{name}: header counts {count}, dbfread read {found}")
        except Exception as e:  # any failure to read is what we look for
            bad.append(f"{name}: {type(e).__name__}: {e}")
    return bad


if __name__ == "__main__":
    found = problems(sys.argv[1])
    for b in found:
        print(b)
    sys.exit(1 if found else 0)
