#!/usr/bin/python3
"""Sharing the exchange folder with the timetabler and with a second copy of the tool.

While another process holds SOLUC, PROFT or CUADROH2 (exclusively, or shared where the tool
needs it exclusively) the job that needs it must end with an engine error naming the table,
leave that table as it was and every table consistent, and keep the previous fCUADROS.txt;
once the table is free the job runs to its end. A copy of the tool refuses to start a job on
an exchange folder that another copy is working on, and the completeness check (revisar) to
read it meanwhile. Two copies started at once on one folder must leave it consistent, with the
old fCUADROS.txt or the one a lone run gives, and a run afterwards must give the clean result.

usage: sharing_test.py BATCH LOCK_HELPER CHECK_TABLES EXAMPLES
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_dbfread  # noqa: E402

batch, lock_helper, check_tables, examples = sys.argv[1:5]
OLD_CUADROS = b"1CH0000002023A\r\n"
NEW_CUADROS = open(os.path.join(examples, "expected", "fCUADROS.txt"), "rb").read()
failures = []


def job_args(job, where, nueva=False):
    args = [batch, job, "--textos", os.path.join(where, "textos"), "--raiz", os.path.join(where, "raiz")]
    if job == "exportar":
        args += ["--niveles", os.path.join(examples, "expected", "niveles.txt")]
    else:
        args += ["--documentos", os.path.join(examples, "documentos.txt")]
        if nueva:
            args.append("--nueva")
    return args


def run(args):
    return subprocess.run(args, capture_output=True, timeout=120)


def ztemp(where):
    return os.path.join(where, "raiz", "ZTEMP")


def snapshot(where):
    z = ztemp(where)
    return {n: open(os.path.join(z, n), "rb").read() for n in sorted(os.listdir(z)) if os.path.isfile(os.path.join(z, n))}


def rows(where):
    """Every table's live rows as dbfread reads them."""
    import dbfread
    z = ztemp(where)
    out = {}
    for n in sorted(os.listdir(z)):
        if n.upper().endswith(".DBF"):
            out[n] = [dict(r) for r in dbfread.DBF(os.path.join(z, n), char_decode_errors="replace")]
    return out


def consistent(what, where):
    r = subprocess.run([check_tables, ztemp(where)], capture_output=True, text=True)
    if r.returncode != 0:
        failures.append(f"{what}: engine: {r.stdout.strip()}")
    bad = check_dbfread.problems(ztemp(where))
    if bad:
        failures.append(f"{what}: dbfread: {'; '.join(bad)}")


def held(where, table, mode):
    """Another program holding a table (with the engine, or with a POSIX lock over the whole
    file as programs under Wine take them), or (table None) another copy of the tool holding
    the exchange folder as a job does."""
    path = os.path.join(ztemp(where), table + ".DBF") if table else ztemp(where)
    if mode.startswith("posix "):
        args = [lock_helper, "posix", mode.split(" ")[1], path, "0", "0"]
    elif table:
        args = [lock_helper, "hold", mode, path]
    else:
        args = [lock_helper, "folder", path]
    p = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    if p.stdout.readline().strip() != "ready":
        raise SystemExit(f"lock helper could not hold {path}")
    return p


def release(p):
    p.stdin.close()
    p.wait(timeout=30)


def fresh(start, where):
    shutil.rmtree(where, ignore_errors=True)
    shutil.copytree(start, where)


# (job, table, mode held by the other program, whether the job must stop)
CASES = [
    ("importar", "SOLUC", "exclusive", True),
    ("importar", "SOLUC", "shared", True),      # read with the table held exclusively
    ("importar", "PROFT", "exclusive", True),
    ("importar", "PROFT", "shared", True),      # teachers are added and edited exclusively
    ("importar", "CUADROH2", "exclusive", True),
    ("importar", "CUADROH2", "shared", True),   # a new export replaces the table
    ("exportar", "PROFT", "exclusive", True),
    ("exportar", "PROFT", "shared", True),      # the teachers table is made anew
    ("exportar", "SOLUC", "exclusive", False),  # not a table of this job
    ("exportar", "CUADROH2", "shared", False),
    # POSIX locks over the whole file, as a program under Wine holds a table.
    ("importar", "PROFT", "posix write", True),
    ("importar", "PROFT", "posix read", True),   # changed, so held exclusively
    ("importar", "SOLUC", "posix write", True),
    ("importar", "CUADROH2", "posix read", True),
    ("exportar", "PROFT", "posix read", True),
    ("exportar", "SOLUC", "posix write", False),
    # Another copy of the tool working on the exchange folder: the job stops before it starts.
    ("exportar", None, "folder", True),
    ("importar", None, "folder", True),
]


def main():
    scratch = tempfile.mkdtemp(prefix="tz-sharing-")
    try:
        start = os.path.join(scratch, "start")
        os.makedirs(start)
        shutil.copytree(os.path.join(examples, "textos"), os.path.join(start, "textos"))
        shutil.copytree(os.path.join(examples, "raiz"), os.path.join(start, "raiz"))
        clean_exportar = os.path.join(scratch, "clean")
        fresh(start, clean_exportar)
        if run(job_args("exportar", clean_exportar)).returncode != 0:
            raise SystemExit("clean exportar failed")
        exported_rows = rows(clean_exportar)
        # A folder where both jobs have run once, with an earlier fCUADROS.txt.
        both = os.path.join(scratch, "both")
        fresh(clean_exportar, both)
        if run(job_args("importar", both)).returncode != 0:
            raise SystemExit("clean importar failed")
        with open(os.path.join(both, "textos", "fCUADROS.txt"), "wb") as f:
            f.write(OLD_CUADROS)

        where = os.path.join(scratch, "run")
        for job, table, mode, stops in CASES:
            what = f"{job} with {table} held {mode}" if table else f"{job} while another copy holds ZTEMP"
            fresh(both, where)
            before = snapshot(where)
            holder = held(where, table, mode)
            r = run(job_args(job, where, nueva=True))
            release(holder)
            err = r.stderr.decode(errors="replace")
            if stops:
                if r.returncode != 3:
                    failures.append(f"{what}: exit {r.returncode}, not 3: {err}")
                name = table or "ZTEMP"
                if name.upper() not in err.upper() or "otro programa" not in err:
                    failures.append(f"{what}: the error does not name {name}: {err}")
                after = snapshot(where)
                if table and after.get(table + ".DBF") != before.get(table + ".DBF"):
                    failures.append(f"{what}: {table}.DBF was changed")
                if not table and after != before:
                    failures.append(f"{what}: the exchange folder was changed")
                if open(os.path.join(where, "textos", "fCUADROS.txt"), "rb").read() != OLD_CUADROS:
                    failures.append(f"{what}: fCUADROS.txt was replaced")
            elif r.returncode != 0:
                failures.append(f"{what}: exit {r.returncode}: {err}")
            consistent(what, where)
            again = run(job_args(job, where, nueva=True))
            if again.returncode != 0:
                failures.append(f"{what}: once free, the job ended {again.returncode}: {again.stderr.decode(errors='replace')}")
            print(f"{what}: exit {r.returncode}; {err.strip().splitlines()[-1] if err.strip() else ''}")

        # revisar reads the export tables only while no job of another copy holds the folder:
        # refused while one does, and never a count from tables half made anew.
        fresh(both, where)
        revisar = [batch, "revisar", "--textos", os.path.join(where, "textos"), "--raiz", os.path.join(where, "raiz")]
        lone = run(revisar)
        if lone.returncode != 6 or not lone.stdout:
            failures.append(f"revisar alone: exit {lone.returncode}: {lone.stderr.decode(errors='replace')}")
        holder = held(where, None, "folder")
        r = run(revisar)
        release(holder)
        err = r.stderr.decode(errors="replace")
        if r.returncode != 3 or "La carpeta" not in err or "otro programa" not in err:
            failures.append(f"revisar while another copy holds ZTEMP: exit {r.returncode}: {err}")
        for i in range(4):
            fresh(both, where)
            job = subprocess.Popen(job_args("importar", where, nueva=True), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            runs = 0
            while True:
                running = job.poll() is None
                r = run(revisar)
                runs += 1
                if r.returncode == 3 and b"otro programa" in r.stderr:
                    pass  # refused while the job holds the folder
                elif (r.returncode, r.stdout, r.stderr) != (lone.returncode, lone.stdout, lone.stderr):
                    failures.append(f"revisar during importar #{i}: exit {r.returncode}, "
                                    f"{r.stderr.decode(errors='replace').strip()}")
                if not running:
                    break
            job.wait(timeout=120)
            print(f"revisar during importar #{i}: {runs} runs")

        # Two copies of the tool at once.
        pairs = [("exportar", "exportar"), ("importar", "importar"), ("exportar", "importar")]
        for a, b in pairs:
            for i in range(8):
                what = f"{a} and {b} at once #{i}"
                fresh(both, where)
                pa = subprocess.Popen(job_args(a, where, nueva=True), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                pb = subprocess.Popen(job_args(b, where, nueva=True), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                ea, eb = pa.communicate(timeout=120)[1], pb.communicate(timeout=120)[1]
                # The copy that comes second is refused while the first holds the exchange folder
                # (3); one that starts after the other has ended runs in full. Each may also end
                # as a lone run can: 1, 4 (old fCUADROS.txt kept) or 5 (a panel would wait). What
                # must never happen is a crash, damage, or a file made from the other copy's
                # half-made tables, checked below.
                allowed = (0, 1, 3, 4, 5)
                for code, err in ((pa.returncode, ea), (pb.returncode, eb)):
                    if code not in allowed:
                        failures.append(f"{what}: exit {code}: {err.decode(errors='replace')}")
                consistent(what, where)
                cuadros = open(os.path.join(where, "textos", "fCUADROS.txt"), "rb").read()
                if cuadros not in (OLD_CUADROS, NEW_CUADROS):
                    failures.append(f"{what}: fCUADROS.txt is neither the old nor the new file")
                # Afterwards one copy alone gives the clean result.
                if run(job_args("exportar", where)).returncode != 0:
                    failures.append(f"{what}: exportar afterwards failed")
                elif rows(where) != {**rows(where), **exported_rows}:
                    failures.append(f"{what}: exportar afterwards did not give the clean tables")
                r = run(job_args("importar", where, nueva=True))
                if r.returncode != 0 or open(os.path.join(where, "textos", "fCUADROS.txt"), "rb").read() != NEW_CUADROS:
                    failures.append(f"{what}: importar afterwards: exit {r.returncode}")
            print(f"{a} and {b} at once: 8 runs")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{len(failures)} problems")
    for f in failures:
        print("  " + f)
    sys.exit(1 if failures else 0)


main()
