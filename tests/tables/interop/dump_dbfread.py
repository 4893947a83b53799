#!/usr/bin/python3
"""Prints the live rows of a table, one per line: values separated by '|', character values
as hex of their bytes (trailing spaces removed), numbers as Python prints them, logicals T/F."""
import sys

import dbfread


def show(field, value):
    if value is None:
        return ""
    if field.type == "C":
        return value.encode("latin-1").hex()
    if field.type == "L":
        return "T" if value else "F"
    if isinstance(value, float) and value.is_integer():
        value = int(value)
    return str(value)


table = dbfread.DBF(sys.argv[1], encoding="latin-1", char_decode_errors="strict")
print("fields " + ",".join(f"{f.name}:{f.type}:{f.length}:{f.decimal_count}" for f in table.fields))
for record in table:
    print("|".join(show(f, record[f.name]) for f in table.fields))
