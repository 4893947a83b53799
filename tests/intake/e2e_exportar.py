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


def main():
    batch, examples = sys.argv[1], sys.argv[2]
    failures = []
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
