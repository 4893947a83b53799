#!/usr/bin/python3
"""Writes a dBase III table with C, N, F, D and L fields and a deleted row, as another program
would."""
import datetime
import sys

import dbf

table = dbf.Table(sys.argv[1], "NOMBRE C(10); PRECIO N(8,2); PESO F(10,3); ALTA D; ACTIVO L",
                  dbf_type="db3", codepage="cp1252")
table.open(dbf.READ_WRITE)
rows = [
    ("Iñaki", 12.5, 3.25, datetime.date(2024, 1, 31), True),
    ("Borrado", 1, 1, datetime.date(2000, 1, 1), False),
    ("Ane", -0.75, 1000.125, None, False),
    ("Zoë", 0, 0, datetime.date(1999, 12, 1), None),
]
for r in rows:
    table.append(r)
with table[1] as record:
    dbf.delete(record)
table.close()
