#!/usr/bin/python3
"""Writes the timetabler's solution SOLUC.DBF for the sample school (examples/raiz/ZTEMP/), one
row per lesson placed in the week, as the timetabling program leaves it.

The teachers', groups' and subjects' abbreviations are those the XEL -> Zandrix job gives the
sample school (examples/expected/). Besides an ordinary week the lessons exercise: one teacher
with two groups at the same hour, a substitute missing from the teachers, a group and a subject
missing from their tables, lessons without a group (tasks), blank tasks, two-session lessons,
afternoon hours with two digits, an unplaced lesson (day 0) and a lesson without a teacher.

It also writes, worked out here from the lessons and the rows the XEL -> Zandrix job leaves
(examples/expected/*.csv) rather than by the program under test, the timetable text file the
Zandrix -> XEL job should write (examples/expected/fCUADROS.txt) after a fresh export with the
default bell schedule and the documents of examples/documentos.txt entered in the teachers grid.

The table is written byte by byte (dBase III, Windows-1252, fixed date) so that it never changes
between runs. Run from anywhere:
    /usr/bin/python3 examples/tools/genera_soluc.py
"""
import csv
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "raiz", "ZTEMP", "SOLUC.DBF")
EXPECTED = os.path.join(HERE, "..", "expected")
DOCUMENTOS = os.path.join(HERE, "..", "documentos.txt")

# Documents typed into the teachers grid: ABREV;TIPODNI;DNI. XXXX is no teacher (reported).
DOCS = [("OA", "1", "30776655B"), ("XXXX", "1", "00000000T"), ("SUST", "2", "Y7654321G")]

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
    with open(DOCUMENTOS, "wb") as f:
        f.write(b"".join(";".join(d).encode("cp1252") + b"\r\n" for d in DOCS))
    lines = expected_cuadros(rows)
    with open(os.path.join(EXPECTED, "fCUADROS.txt"), "wb") as f:
        f.write(b"".join(l.encode("cp1252") + b"\r\n" for l in lines))
    print(f"fCUADROS.txt: {len(lines)} lines")


def read_csv(name):
    with open(os.path.join(EXPECTED, name), encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f, delimiter=";"))


def default_hours(h):
    """Start and end of hour number h in a new bell schedule (08:00 ... 24:00, 00:00 ... 04:00)."""
    if not 1 <= h <= 20:
        return None
    s = h + 7 if h <= 16 else h - 17
    return f"{s:02d}:00", f"{s + 1:02d}:00"


def expected_cuadros(lessons):
    """The records of fCUADROS.txt for a fresh export of `lessons`, then the documents."""
    teachers = {t["ABREV"]: t for t in read_csv("PROFT.csv")}
    groups, subjects = {}, {}
    for g in read_csv("GRUPOST.csv"):
        groups.setdefault(g["ABREV"], g)
    for a in read_csv("ASIGNOMT.csv"):
        subjects.setdefault(a["COD"], a)
    centre = read_csv("xelCENTRO.csv")[0]

    t2, t3 = {}, {}
    for prof, day, hour, sessions, group, subject, task, room in lessons:
        if day == 0 or not prof:
            continue
        t = teachers.setdefault(prof, {"ABREV": prof, "DNI": "", "TIPODNI": ""})
        key = prof.ljust(4) + str(day) + f"{hour:02d}"
        start = default_hours(hour)
        end = default_hours(hour + max(sessions, 1) - 1)
        g = groups.get(group)
        level = g["NIVELXEL"] if g else ""
        code = subjects[subject]["CODIGOXEL"] if subject in subjects else ""
        task = task or ("101" if g else "")
        r = t2.setdefault(key, {"TIPDOC": "", "DOC": "", "TIPTAR": "", "GRUPNIV": ""})
        for field, value in (("TIPDOC", t["TIPODNI"]), ("DOC", t["DNI"]),
                             ("TIPTAR", task), ("GRUPNIV", level)):
            if not r[field].strip():
                r[field] = value
        r.update(NUMSESION=key[5:7], DIASEM=key[4], HORAINI=start[0] if start else "",
                 HORAFIN=end[1] if end else "", CODASIG=code, AULA=room, PROF=prof)
        if group.strip():
            r3 = t3.get(key)
            if r3 is None or r3["ABREVGRUP"] != group:
                r3 = dict(r3 or {"TIPDOC": "", "DOC": "", "NUMALUM": ""}, ABREVGRUP=group,
                          CODGRUPO=g["CODGRUXEL"] if g else "")
                t3[key] = r3
            for field, value in (("TIPDOC", t["TIPODNI"]), ("DOC", t["DNI"])):
                if not r3[field].strip():
                    r3[field] = value
            count = g["NUMALUMN"] if g else ""
            if not r3["NUMALUM"] or count:
                r3["NUMALUM"] = count
            r3.update(NUMSESGRUP=key[5:7], DIASEM=key[4], PROF=prof)

    # A document typed into the teachers grid reaches every row of that teacher.
    for abrev, kind, number in DOCS:
        if abrev not in teachers:
            continue
        for rows in (t2, t3):
            for r in rows.values():
                if r["PROF"] == abrev:
                    r["TIPDOC"], r["DOC"] = kind, number

    fit = lambda v, n: v[:n].ljust(n)
    out = ["1CH" + fit(centre["CODCENTRO"], 6) + fit(centre["ANOACAD"], 4) + fit(centre["VERSION"], 1)]
    # Slot keys in byte order of their Windows-1252 text.
    for key in sorted(t2, key=lambda k: k.encode("cp1252")):
        r = t2[key]
        out.append("2" + fit(r["TIPDOC"], 1) + fit(r["DOC"], 15) + r["NUMSESION"] + r["DIASEM"]
                   + fit(r["TIPTAR"], 3) + (r["HORAINI"] + "00:00")[:5]
                   + (r["HORAFIN"] + "00:00")[:5] + fit(r["GRUPNIV"], 3) + fit(r["CODASIG"], 4)
                   + " " + "02" + fit(r["AULA"], 30) + "   ")
        if key in t3:
            g = t3[key]
            out.append("3" + fit(g["CODGRUPO"], 5) + fit(g["TIPDOC"], 1) + fit(g["DOC"], 15)
                       + g["NUMSESGRUP"] + g["DIASEM"] + (g["NUMALUM"] + "00")[:2])
    return out


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
