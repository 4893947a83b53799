#!/usr/bin/python3
"""Whole-process benchmarks of the two jobs through transzanderxel-batch.

    /usr/bin/python3 bench/jobs/jobs_bench.py --build BUILD_DIR [--runs N] [--work DIR]
                                              [--only NAME ...]

Generates the schools with BUILD_DIR/bench/gen/tz_gen (once, in --work), then times each
scenario --runs times (default 7) on a fresh copy of its starting exchange folder:

  exportar-large      exportar on 300 teachers, 1,500 subjects, 150 groups
  exportar-10x        exportar on 3,000 teachers, 15,000 subjects, 1,500 groups
  importar-fresh-12k  importar, no earlier export, 12,000 lessons of the large school
  importar-kept-12k   importar keeping the earlier export ("&Si", then "&No": export again)
  importar-fresh-120k / importar-kept-120k   the same on 120,000 lessons of the 10x school

Every run starts from fresh copies of its exchange and text folders (a kept importar finds the
fCUADROS.txt of the earlier one). Each importar run enters the documents of the teachers that lack one (--documentos), so the job
finishes with "Proceso finalizado" and writes fCUADROS.txt. For every scenario it prints the
median and the range of the wall time, the median CPU time (user + system of the child) and
the largest peak resident memory, then the budgets, judged on the CPU time (the wall time of a
loaded machine says more about the other programs). Exit status 1 when a run failed or a budget
was not met.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

SCHOOLS = {
    "large": dict(profesores=300, asignaturas=1500, grupos=150, lecciones=12000),
    "10x": dict(profesores=3000, asignaturas=15000, grupos=1500, lecciones=120000),
}
NIVELES = b"ESO;ESO;DBH\r\nBAC;BACH;BATX\r\n"
WORK = "/tmp/tz-jobs-bench"


def run(cmd, **kw):
    kw.setdefault("env", dict(os.environ, XDG_STATE_HOME=os.path.join(WORK, "prepare-state")))
    r = subprocess.run(cmd, capture_output=True, **kw)
    if r.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (r.returncode, " ".join(cmd), r.stderr.decode("utf-8", "replace")))
    return r


def timed(cmd, env):
    """Runs cmd; returns (wall s, cpu s, peak RSS MB, exit status, stderr)."""
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    err = p.stderr.read()
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    return wall, ru.ru_utime + ru.ru_stime, ru.ru_maxrss / 1024.0, p.returncode, err


def prepare(build, work):
    """The text folders and the starting exchange folders of every scenario (made once)."""
    batch = os.path.join(build, "src", "cli", "transzanderxel-batch")
    gen = os.path.join(build, "bench", "gen", "tz_gen")
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "niveles.txt"), "wb") as f:
        f.write(NIVELES)
    for name, s in SCHOOLS.items():
        base = os.path.join(work, name)
        if os.path.exists(os.path.join(base, "ready")):
            continue
        shutil.rmtree(base, ignore_errors=True)
        textos = os.path.join(base, "textos")
        run([gen, "textos", textos, "--profesores", str(s["profesores"]),
             "--asignaturas", str(s["asignaturas"]), "--grupos", str(s["grupos"])])
        # After exportar, with the timetabler's solution: the start of a fresh importar.
        fresh = os.path.join(base, "fresh")
        os.makedirs(os.path.join(fresh, "ZTEMP"))
        run([batch, "exportar", "--textos", textos, "--raiz", fresh,
             "--niveles", os.path.join(work, "niveles.txt")])
        run([gen, "soluc", fresh, "--lecciones", str(s["lecciones"])])
        # After one importar (tables and text folder): the start of a kept one.
        kept = os.path.join(base, "kept")
        shutil.copytree(fresh, kept)
        shutil.copytree(textos, os.path.join(base, "textos-kept"))
        run([batch, "importar", "--textos", os.path.join(base, "textos-kept"), "--raiz", kept,
             "--documentos", os.path.join(kept, "documentos.txt")])
        open(os.path.join(base, "ready"), "w").close()
    return batch


def scenarios(work):
    """(name, starting exchange root or None, starting text folder, arguments(raiz, textos))."""
    out = []
    for name in SCHOOLS:
        base = os.path.join(work, name)
        out.append(("exportar-" + name, None, os.path.join(base, "textos"),
                    lambda raiz, t: ["exportar", "--textos", t, "--raiz", raiz,
                                     "--niveles", os.path.join(work, "niveles.txt")]))
        label = "12k" if name == "large" else "120k"
        for kind in ("fresh", "kept"):
            textos = os.path.join(base, "textos" if kind == "fresh" else "textos-kept")
            out.append(("importar-%s-%s" % (kind, label), os.path.join(base, kind), textos,
                        lambda raiz, t: ["importar", "--textos", t, "--raiz", raiz,
                                         "--documentos", os.path.join(raiz, "documentos.txt")]))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--work", default="/tmp/tz-jobs-bench")
    ap.add_argument("--only", nargs="*")
    a = ap.parse_args()
    global WORK
    WORK = a.work
    batch = prepare(os.path.abspath(a.build), a.work)
    results = {}
    failed = False
    print("%-22s %9s %19s %9s %9s" % ("", "wall", "wall min-max", "cpu", "peak MB"))
    for name, start, textos, args in scenarios(a.work):
        if a.only and name not in a.only:
            continue
        walls, cpus, peaks = [], [], []
        for _ in range(a.runs):
            raiz = os.path.join(a.work, "run")
            textos_run = os.path.join(a.work, "run-textos")
            shutil.rmtree(raiz, ignore_errors=True)
            shutil.rmtree(textos_run, ignore_errors=True)
            if start:
                shutil.copytree(start, raiz)
            else:
                os.makedirs(os.path.join(raiz, "ZTEMP"))
            shutil.copytree(textos, textos_run)
            # The kept copies of fCUADROS.txt go to a state folder of the run's own.
            state = os.path.join(a.work, "run-state")
            shutil.rmtree(state, ignore_errors=True)
            env = dict(os.environ, XDG_STATE_HOME=state)
            wall, cpu, peak, status, err = timed([batch] + args(raiz, textos_run), env)
            if status != 0 or b"Proceso finalizado" not in err:
                print("%s: exit %d\n%s" % (name, status, err.decode("utf-8", "replace")))
                failed = True
                break
            walls.append(wall)
            cpus.append(cpu)
            peaks.append(peak)
        if not walls:
            continue
        results[name] = (statistics.median(walls), statistics.median(cpus), max(peaks))
        print("%-22s %8.1fms %8.1f-%8.1fms %8.1fms %9.1f" % (
            name, statistics.median(walls) * 1e3, min(walls) * 1e3, max(walls) * 1e3,
            statistics.median(cpus) * 1e3, max(peaks)))

    def budget(text, ok, value):
        nonlocal failed
        print("budget: %-52s %-28s %s" % (text, value, "met" if ok else "NOT MET"))
        failed = failed or not ok

    # Judged on CPU time, which other programs' load on the machine hardly changes; the wall
    # time is shown beside it.
    def both(name, limit):
        w, c, _ = results[name]
        budget("%s <= %d ms" % (name, limit), c * 1e3 <= limit,
               "%.1f ms cpu (%.1f ms wall)" % (c * 1e3, w * 1e3))

    def ratio(small, big, limit):
        ws, cs, _ = results[small]
        wb, cb, _ = results[big]
        budget("%s <= %dx %s" % (big, limit, small), cb / cs <= limit,
               "%.1fx cpu (%.1fx wall)" % (cb / cs, wb / ws))

    if "exportar-large" in results:
        both("exportar-large", 100)
    for k in ("importar-fresh-12k", "importar-kept-12k"):
        if k in results:
            both(k, 200)
    for small, big in (("exportar-large", "exportar-10x"), ("importar-fresh-12k", "importar-fresh-120k"),
                       ("importar-kept-12k", "importar-kept-120k")):
        if small in results and big in results:
            ratio(small, big, 12)
    for k in ("importar-fresh-120k", "importar-kept-120k"):
        if k in results:
            budget("%s peak memory <= 100 MB" % k, results[k][2] <= 100, "%.1f MB" % results[k][2])
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
