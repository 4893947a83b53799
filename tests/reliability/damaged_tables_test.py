#!/usr/bin/python3
"""Damaged tables through both jobs of the batch front end.

Each case damages one table of an exchange folder where both jobs have run once (and an older
fCUADROS.txt waits in the text folder), runs a job, and checks what is on disk afterwards:
  - an input of importar whose header disagrees with its records stops the job with an engine
    error naming the table and both counts (exit 3), before anything is replaced: every file of
    the exchange folder and the old fCUADROS.txt are as they were;
  - damage that costs nothing (junk after the end mark, the deleted tail an interrupted append
    leaves) lets the job run to its end with the fCUADROS.txt a clean run gives;
  - exportar makes its tables anew: a damaged one is replaced by a sound one.

usage: damaged_tables_test.py BATCH EXAMPLES
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_dbfread  # noqa: E402

batch, examples = sys.argv[1:3]
OLD_CUADROS = b"1CH0000002023A\r\n"
failures = []


def header(b):
    count, hl, rl = struct.unpack_from("<IHH", b, 4)
    return count, hl, rl


def set_count(n):
    def damage(b):
        return b[:4] + struct.pack("<I", n) + b[8:]
    return damage


def cut_records(keep, extra=0):
    """The file ends after `keep` whole records and `extra` bytes of the next."""
    def damage(b):
        count, hl, rl = header(b)
        return b[:hl + keep * rl + extra]
    return damage


def lower_count_and(flag):
    """The count lowered by three, the three records beyond it marked with `flag`."""
    def damage(b):
        count, hl, rl = header(b)
        b = bytearray(set_count(count - 3)(b))
        for r in range(count - 3, count):
            b[hl + r * rl] = ord(flag)
        return bytes(b)
    return damage


def junk_after_end(b):
    return b + b" " * 40 + b"basura"


def first(n):
    """A sound table of the first n records: what a reader must find in the damaged one."""
    def table(b):
        count, hl, rl = header(b)
        return set_count(n)(b)[:hl + n * rl] + b"\x1a"
    return table


def same(b):
    return b


def damaged(name, what):
    return f"La tabla {{ztemp}}/{name}.DBF está dañada: {what}."


# (job, table, damage, the error the job must end with; or, when it must run to its end, the sound
# table it must read the damaged one as)
CASES = [
    ("importar", "SOLUC", cut_records(37, 15), damaged("SOLUC", "la cabecera indica 64 registros y el archivo contiene 37 y parte de otro")),
    ("importar", "SOLUC", cut_records(37), damaged("SOLUC", "la cabecera indica 64 registros y el archivo contiene 37")),
    ("importar", "SOLUC", set_count(70), damaged("SOLUC", "la cabecera indica 70 registros y el archivo contiene 64")),
    ("importar", "SOLUC", set_count(37), damaged("SOLUC", "la cabecera indica 37 registros y el archivo contiene 64")),
    ("importar", "SOLUC", cut_records(63, 30), damaged("SOLUC", "la cabecera indica 64 registros y el archivo contiene 63 y parte de otro")),
    ("importar", "PROFT", set_count(5), damaged("PROFT", "la cabecera indica 5 registros y el archivo contiene 27")),
    ("importar", "GRUPOST", cut_records(3, 7), damaged("GRUPOST", "la cabecera indica {count} registros y el archivo contiene 3 y parte de otro")),
    ("importar", "ASIGNOMT", set_count(500), damaged("ASIGNOMT", "la cabecera indica 500 registros y el archivo contiene {count}")),
    ("importar", "PLANTILLA", cut_records(10), damaged("PLANTILLA", "la cabecera indica {count} registros y el archivo contiene 10")),
    # A kept export reads its own tables too.
    ("importar kept", "CUADROH2", set_count(900), damaged("CUADROH2", "la cabecera indica 900 registros y el archivo contiene {count}")),
    ("importar kept", "CUADROH3", lower_count_and(" "), damaged("CUADROH3", "la cabecera indica {lowered} registros y el archivo contiene {count}")),
    # Nothing anyone stored is at stake: the job runs.
    ("importar", "SOLUC", junk_after_end, same),
    ("importar", "SOLUC", lower_count_and("*"), first(61)),
    ("importar kept", "CUADROH2", lower_count_and("*"), first(58)),
    # exportar replaces its tables.
    ("exportar", "PROFT", set_count(5), None),
    ("exportar", "GRUPOST", cut_records(2, 5), None),
]


def args_for(job, where):
    a = ["--textos", os.path.join(where, "textos"), "--raiz", os.path.join(where, "raiz")]
    if job == "exportar":
        return [batch, "exportar"] + a + ["--niveles", os.path.join(examples, "expected", "niveles.txt")]
    a = [batch, "importar"] + a + ["--documentos", os.path.join(examples, "documentos.txt")]
    return a if job == "importar kept" else a + ["--nueva"]


def run(job, where):
    return subprocess.run(args_for(job, where), capture_output=True, timeout=300)


def snapshot(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))}


def records(b):
    """The counted records, and whether the file ends right after them with its end mark."""
    count, hl, rl = header(b)
    return [b[hl + r * rl:hl + (r + 1) * rl] for r in range(count)], b[hl + count * rl:] == b"\x1a"


def main():
    scratch = tempfile.mkdtemp(prefix="tz-damaged-")
    try:
        both = os.path.join(scratch, "both")
        shutil.copytree(os.path.join(examples, "textos"), os.path.join(both, "textos"))
        shutil.copytree(os.path.join(examples, "raiz"), os.path.join(both, "raiz"))
        clean = {}
        for job in ("exportar", "importar"):
            r = run(job, both)
            if r.returncode != 0:
                raise SystemExit(f"clean {job} failed: {r.stderr.decode(errors='replace')}")
            clean[job] = snapshot(os.path.join(both, "raiz", "ZTEMP"))
        with open(os.path.join(both, "textos", "fCUADROS.txt"), "wb") as f:
            f.write(OLD_CUADROS)

        where = os.path.join(scratch, "run")
        for job, table, damage, error in CASES:
            reads_as = None if isinstance(error, str) else error
            if reads_as is not None:
                # What the job gives when the table is the sound one it must read.
                shutil.rmtree(where, ignore_errors=True)
                shutil.copytree(both, where)
                path = os.path.join(where, "raiz", "ZTEMP", table + ".DBF")
                sound = reads_as(open(path, "rb").read())
                with open(path, "wb") as f:
                    f.write(sound)
                reference = run(job, where)
                wanted_cuadros = open(os.path.join(where, "textos", "fCUADROS.txt"), "rb").read()
                if reference.returncode != 0 or wanted_cuadros == OLD_CUADROS:
                    raise SystemExit(f"{job} on the sound {table} failed: {reference.stderr.decode(errors='replace')}")
            shutil.rmtree(where, ignore_errors=True)
            shutil.copytree(both, where)
            ztemp = os.path.join(where, "raiz", "ZTEMP")
            path = os.path.join(ztemp, table + ".DBF")
            original = open(path, "rb").read()
            count = header(original)[0]
            bad = damage(original)
            with open(path, "wb") as f:
                f.write(bad)
            what = f"{job}, {table} damaged ({len(original)} -> {len(bad)} bytes, count {count} -> {header(bad)[0]})"
            before = snapshot(ztemp)
            r = run(job, where)
            err = r.stderr.decode(errors="replace")
            cuadros = open(os.path.join(where, "textos", "fCUADROS.txt"), "rb").read()
            if isinstance(error, str):
                want = error.format(ztemp=ztemp, count=count, lowered=count - 3)
                if r.returncode != 3:
                    failures.append(f"{what}: exit {r.returncode}, not 3: {err}")
                if want not in err.splitlines():
                    failures.append(f"{what}: no line {want!r} in: {err}")
                if "Proceso finalizado" in err:
                    failures.append(f"{what}: reported as finished")
                if snapshot(ztemp) != before:
                    changed = [n for n in set(before) | set(snapshot(ztemp)) if before.get(n) != snapshot(ztemp).get(n)]
                    failures.append(f"{what}: the exchange folder changed: {changed}")
                if cuadros != OLD_CUADROS:
                    failures.append(f"{what}: fCUADROS.txt was replaced")
            elif job == "exportar":
                if r.returncode != 0:
                    failures.append(f"{what}: exit {r.returncode}: {err}")
                rows, ends = records(open(path, "rb").read())
                if rows != records(clean["exportar"][table + ".DBF"])[0]:
                    failures.append(f"{what}: {table}.DBF is not what a clean exportar makes")
                if not ends:
                    failures.append(f"{what}: {table}.DBF does not end right after its records")
            else:
                if r.returncode != 0:
                    failures.append(f"{what}: exit {r.returncode}: {err}")
                if cuadros != wanted_cuadros:
                    failures.append(f"{what}: fCUADROS.txt is not the one the sound table gives")
            if not isinstance(error, str):
                # Every table the job wrote is sound for another reader: true count, clean end.
                # SOLUC is only read: it stays as it was.
                read_only = table + ".DBF" if table == "SOLUC" else None
                if read_only and open(path, "rb").read() != bad:
                    failures.append(f"{what}: SOLUC.DBF was changed")
                for problem in check_dbfread.problems(ztemp):
                    if not read_only or not problem.startswith(read_only):
                        failures.append(f"{what}: {problem}")
                for name in sorted(os.listdir(ztemp)):
                    if name.upper().endswith(".DBF") and name != read_only:
                        if not records(open(os.path.join(ztemp, name), "rb").read())[1]:
                            failures.append(f"{what}: {name} does not end right after its records")
            print(f"{what}: exit {r.returncode}; {err.strip().splitlines()[-1] if err.strip() else ''}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{len(failures)} problems")
    for f in failures:
        print("  " + f)
    sys.exit(1 if failures else 0)


main()
