#!/usr/bin/python3
"""End to end: `transzanderxel-batch exportar` on a copy of the sample school, every table read
back with dbfread and compared with examples/expected/.

usage: e2e_exportar.py BATCH EXAMPLES_DIR
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile

from dbfread import DBF


def table_rows(path):
    out = []
    for rec in DBF(path, encoding="cp1252", char_decode_errors="strict", raw=False):
        row = []
        for v in rec.values():
            if isinstance(v, bool):
                row.append("T" if v else "F")
            elif v is None:
                row.append("")
            else:
                row.append(str(v))
        out.append(row)
    return out


def expected_rows(path):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f, delimiter=";"))
    return rows[0], rows[1:]


def find_table(folder, name):
    for entry in os.listdir(folder):
        if entry.lower() == (name + ".dbf").lower():
            return os.path.join(folder, entry)
    return None


def run_case(batch, examples, tmp, name, prepare, extra, want_status, want_messages, check=None):
    """One batch run on a fresh copy of the sample; returns a list of failures."""
    case = os.path.join(tmp, name)
    textos = os.path.join(case, "textos")
    shutil.copytree(os.path.join(examples, "textos"), textos)
    os.makedirs(os.path.join(case, "raiz", "ZTEMP"))
    prepare(case, textos)
    run = subprocess.run([batch, "exportar", "--textos", textos, "--raiz",
                          os.path.join(case, "raiz")] + [a.replace("@", case) for a in extra],
                         capture_output=True, timeout=120)
    lines = run.stderr.decode("utf-8").splitlines()
    out = []
    if run.returncode != want_status:
        out.append("%s: exit status %d, want %d (%r)" % (name, run.returncode, want_status, lines))
    if lines != want_messages:
        out.append("%s: messages %r, want %r" % (name, lines, want_messages))
    if check:
        problem = check(os.path.join(case, "raiz", "ZTEMP"))
        if problem:
            out.append("%s: %s" % (name, problem))
    return out


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def no_header(case, textos):
    path = os.path.join(textos, "fGRUPOS.txt")
    with open(path, "rb") as f:
        lines = f.read().split(b"\r\n")
    write(path, b"\r\n".join(l for l in lines if not l.startswith(b"1")))


def centre_is(row):
    def check(ztemp):
        got = table_rows(find_table(ztemp, "xelCENTRO"))
        return None if got == [row] else "centre rows %r" % got
    return check


# (name, prepare, extra arguments ("@" is the case folder), exit status, messages, check)
CASES = [
    ("repeated_abbreviation",
     lambda c, t: write(os.path.join(c, "niv.txt"), b"ESO;AB;X\r\nBAC;ab;Y\r\n"),
     ["--niveles", "@/niv.txt"], 5, ["Abreviatura en Castellano Repetida - Compruébelo."], None),
    ("unknown_level_skipped",
     lambda c, t: write(os.path.join(c, "niv.txt"), b"ZZZ;Q;Q\nESO;ESO;DBH\n"),
     ["--niveles", "@/niv.txt"], 0, ["No existe el nivel ZZZ: se omite", "Proceso finalizado"],
     None),
    ("missing_teachers_file", lambda c, t: os.remove(os.path.join(t, "fPROFES.txt")), [], 1,
     ["No existe archivo de profesores (fPROFES.TXT)", "Proceso finalizado"], None),
    ("missing_subjects_file_told_twice", lambda c, t: os.remove(os.path.join(t, "fASIGNAT.txt")),
     # The catalogues stop there, so a first run has no study levels table either.
     [], 1, ["No existe archivo de asignaturas (fASIGNAT.TXT)"] * 2 +
     ["No existe archivo del Centro (xelNIVIMP.DBF)"], None),
    ("centre_typed_into_empty_table", no_header, ["--centro", "999999,2025,2"], 0,
     ["Proceso finalizado"], centre_is(["999999", "2025", "2"])),
    ("centre_corrected", lambda c, t: None, ["--centro", "015432,2025,3"], 0,
     ["Proceso finalizado"], centre_is(["015432", "2025", "3"])),
    ("castellano", lambda c, t: None, ["--idioma", "CASTELLANO"], 0, ["Proceso finalizado"],
     lambda z: None if table_rows(find_table(z, "ASIGNOMT"))[0][0] == "LENG" else "not Castilian"),
]


def main():
    batch, examples = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory(prefix="tz-e2e-cases-") as tmp:
        for case in CASES:
            failures += run_case(batch, examples, tmp, *case)
    with tempfile.TemporaryDirectory(prefix="tz-e2e-exportar-") as tmp:
        textos = os.path.join(tmp, "textos")
        shutil.copytree(os.path.join(examples, "textos"), textos)
        ztemp = os.path.join(tmp, "raiz", "ZTEMP")
        os.makedirs(ztemp)
        niveles = os.path.join(examples, "expected", "niveles.txt")
        run = subprocess.run(
            [batch, "exportar", "--textos", textos, "--raiz", os.path.join(tmp, "raiz"),
             "--niveles", niveles],
            capture_output=True, timeout=120)
        stderr = run.stderr.decode("utf-8")
        if run.returncode != 0:
            failures.append("exit status %d, stderr:\n%s" % (run.returncode, stderr))
        if stderr.splitlines() != ["Proceso finalizado"]:
            failures.append("messages: %r" % stderr.splitlines())

        expected_dir = os.path.join(examples, "expected")
        for entry in sorted(os.listdir(expected_dir)):
            if not entry.endswith(".csv"):
                continue
            name = entry[:-4]
            fields, want = expected_rows(os.path.join(expected_dir, entry))
            path = find_table(ztemp, name)
            if path is None:
                failures.append("%s: table missing" % name)
                continue
            table = DBF(path, encoding="cp1252")
            if [f.name for f in table.fields] != fields:
                failures.append("%s: fields %r" % (name, [f.name for f in table.fields]))
            got = table_rows(path)
            if got != want:
                for i in range(max(len(got), len(want))):
                    g = got[i] if i < len(got) else None
                    w = want[i] if i < len(want) else None
                    if g != w:
                        failures.append("%s row %d: got %r, want %r" % (name, i + 1, g, w))
                        break
                if len(got) != len(want):
                    failures.append("%s: %d rows, want %d" % (name, len(got), len(want)))
        # The bundled sample was not touched.
        for entry in os.listdir(os.path.join(examples, "textos")):
            with open(os.path.join(examples, "textos", entry), "rb") as a, \
                    open(os.path.join(textos, entry), "rb") as b:
                if a.read() != b.read():
                    failures.append("text file changed: " + entry)
    for f in failures:
        print("FAIL", f)
    compared = [e for e in os.listdir(os.path.join(examples, "expected")) if e.endswith(".csv")]
    print("%d tables compared, %d failures" % (len(compared), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
