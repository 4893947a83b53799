#!/usr/bin/python3
"""Writes the timetabler's solution SOLUC.DBF for the sample school (examples/raiz/ZTEMP/), one
row per lesson placed in the week, as the timetabling program leaves it.

The teachers', groups' and subjects' abbreviations are those the XEL -> Zandrix job gives the
sample school (examples/expected/). Besides an ordinary week the lessons exercise: one teacher
with two groups at the same hour, a substitute missing from the teachers, a group and a subject
missing from their tables, lessons without a group (tasks), blank tasks, two-session lessons,
afternoon hours with two digits, an unplaced lesson (day 0) and a lesson without a teacher.

The file is written byte by byte (dBase III, Windows-1252, fixed date) so that it never changes
between runs. Run from anywhere:
    /usr/bin/python3 examples/tools/genera_soluc.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "raiz", "ZTEMP", "SOLUC.DBF")

# Field name, type, width, decimals. NUMLEC and FIJA are the timetabler's own.
FIELDS = [
    ("NUMLEC", "N", 5, 0),
    ("PROF", "C", 4, 0),
    ("DIA", "N", 1, 0),
    ("HORA", "N", 2, 0),
    ("SESIONES", "N", 2, 0),
    ("CODGRUPO", "C", 4, 0),
    ("ASIG", "C", 4, 0),
    ("TAREA", "C", 3, 0),
    ("AULA", "C", 4, 0),
    ("FIJA", "L", 1, 0),
]

MORNING = range(1, 7)  # 08:00 to 14:00
AFTERNOON = range(9, 13)  # 16:00 to 20:00

# Ordinary lessons: group, subject, teacher, room, weekly hours.
COURSE = [
    ("1ESO", "GAZT", "GLA", "A11", 2), ("1ESO", "EUSK", "EZJ", "A11", 2),
    ("1ESO", "MATE", "ABM", "A11", 2), ("1ESO", "INGE", "FRC", "A11", 1),
    ("1ES1", "GAZT", "GLA1", "A12", 2), ("1ES1", "MATE", "ABM1", "A12", 2),
    ("1ES1", "GEHI", "GLA2", "A12", 1),
    ("1ES2", "EUSK", "OQN", "A13", 2), ("1ES2", "BIGE", "LMI1", "LAB1", 1),
    ("1ES2", "MUSI", "MOB", "MUS", 1),
    ("2ESO", "MAT1", "RSE1", "A21", 2), ("2ESO", "ING1", "RSE", "A21", 2),
    ("2ESO", "GOR1", "IOK", "GIM", 1),
    ("2ES1", "GAZ1", "ÁCÓ", "A22", 2), ("2ES1", "TEK1", "UTP", "TALL", 1),
    ("2ES1", "FIKI", "ZUJ", "LAB2", 1),
    ("3ESO", "FIK1", "JSM", "LAB2", 1),
    ("3ES1", "EUS2", "EZJ", "A32", 1), ("3ES1", "GEH2", "PRF", "A32", 2),
    ("4ESO", "MAT3", "RSE1", "A41", 1), ("4ESO", "FIK2", "ZUJ", "LAB2", 1),
    ("4ESO", "GOR3", "UTP1", "GIM", 1),
    ("4ES1", "ING3", "FRC", "A42", 1), ("4ES1", "TEK2", "LMI", "TALL", 1),
]
BACH = [
    ("1BAC", "MAT4", "ABM1", "B11", 2), ("1BAC", "FILO", "NPL", "B11", 1),
    ("1BA1", "LATI", "RSE2", "B12", 2), ("1BA1", "EKON", "STP", "B12", 1),
    ("2BAC", "MAT5", "RSE1", "B21", 1), ("2BA1", "ESHI", "GLA2", "B22", 1),
]

# Lessons placed by hand first: teacher, day, hour, sessions, group, subject, task, room.
FIXED = [
    # ABM teaches 3ESO and the diversification group together.
    ("ABM", 2, 3, 1, "3ESO", "MAT2", "", "A31"),
    ("ABM", 2, 3, 1, "3DIV", "MAT2", "", "A31"),
    ("ABM", 4, 2, 1, "3ESO", "MAT2", "", "A31"),
    # Two-session lessons: drawing in the morning, art in the last afternoon hours (11 and 12).
    ("MOB1", 3, 4, 2, "3ESO", "PLA1", "", "PLAS"),
    ("MOB1", 5, 11, 2, "2BAC", "MART", "", "PLAS"),
    # Late afternoon hours.
    ("NPL", 2, 10, 1, "1BAC", "FILO", "", "B11"),
    ("RSE2", 3, 12, 1, "1BA1", "LATI", "", "B12"),
    # Tutorial with its group, support in the support room (a group without level).
    ("GLA", 1, 6, 1, "1ESO", "TUT", "TUT", "A11"),
    ("LMI1", 3, 2, 1, "AULA", "REF", "REF", "APO"),
    # Tasks without a group: guards, library, department meeting.
    ("OA", 1, 3, 1, "", "GUA", "GUA", "PAT"),
    ("ZUJ1", 2, 4, 1, "", "GUA", "GUA", "PAT"),
    ("NPL", 4, 5, 1, "", "BIB", "BIB", "BIB"),
    ("GLA", 5, 6, 1, "", "REU", "REU", "SEM1"),
    ("GLA1", 5, 6, 1, "", "REU", "REU", "SEM1"),
    ("ÁCÓ", 5, 6, 1, "", "REU", "REU", "SEM1"),
    # A substitute the teachers' table does not know yet.
    ("SUST", 3, 5, 1, "4ESO", "GEH3", "", "A41"),
    ("SUST", 4, 1, 1, "4ES1", "GEH3", "", "A42"),
    # A group and a subject missing from their tables.
    ("RSE1", 1, 1, 1, "4DIV", "MAT3", "", "A43"),
    ("UTP", 2, 5, 1, "4ESO", "ROBO", "", "TALL"),
    # Tutorial meeting with no group and no task given.
    ("ZUJ1", 4, 6, 1, "", "ORIE", "", "ORI"),
]
# Rows the export skips: a lesson not placed yet and a lesson without a teacher.
SKIPPED = [
    ("MOB", 0, 0, 1, "1ES2", "MUSI", "", "MUS"),
    ("", 3, 1, 1, "1ESO", "GORH", "", "GIM"),
]


def place(lessons, hours, busy):
    """Greedy placement, day by day: each lesson takes the first slot where both its teacher
    and its group are free, starting from a day that moves on with every lesson."""
    out = []
    start = 0
    for group, subject, teacher, room, weekly in lessons:
        for _ in range(weekly):
            done = False
            for d in range(5):
                day = (start + d) % 5 + 1
                for hour in hours:
                    if (teacher, day, hour) in busy or (group, day, hour) in busy:
                        continue
                    busy.add((teacher, day, hour))
                    busy.add((group, day, hour))
                    out.append((teacher, day, hour, 1, group, subject, "", room))
                    done = True
                    break
                if done:
                    break
            assert done, (group, subject)
            start += 1
    return out


def main():
    busy = set()
    for teacher, day, hour, sessions, group, *_ in FIXED:
        for h in range(hour, hour + sessions):
            busy.add((teacher, day, h))
            if group:
                busy.add((group, day, h))
    rows = FIXED + place(COURSE, MORNING, busy) + place(BACH, AFTERNOON, busy)
    # The skipped rows sit among the others, as the timetabler leaves them.
    rows = rows[:5] + SKIPPED[:1] + rows[5:20] + SKIPPED[1:] + rows[20:]
    write_dbf(OUT, rows)
    print(f"{OUT}: {len(rows)} lessons")


def fmt(value, ftype, width):
    if ftype == "C":
        b = value.encode("cp1252")
        assert len(b) <= width, value
        return b.ljust(width, b" ")
    if ftype == "N":
        return str(value).rjust(width).encode("ascii")
    return b"T" if value else b"F"


def write_dbf(path, lessons):
    header_len = 32 + 32 * len(FIELDS) + 1
    record_len = 1 + sum(f[2] for f in FIELDS)
    head = struct.pack("<B3BIHH20x", 0x03, 124, 9, 2, len(lessons), header_len, record_len)
    head = head[:29] + b"\x57" + head[30:]  # Windows ANSI
    desc = b""
    for name, ftype, width, dec in FIELDS:
        desc += name.encode("ascii").ljust(11, b"\0") + ftype.encode("ascii")
        desc += b"\0" * 4 + bytes([width, dec]) + b"\0" * 14
    body = b""
    for n, (teacher, day, hour, sessions, group, subject, task, room) in enumerate(lessons, 1):
        values = [n, teacher, day, hour, sessions, group, subject, task, room, sessions > 1]
        body += b" " + b"".join(fmt(v, f[1], f[2]) for v, f in zip(values, FIELDS))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(head + desc + b"\r" + body + b"\x1a")


if __name__ == "__main__":
    main()
