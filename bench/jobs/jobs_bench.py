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

For each importar scenario it also sets the job against its floor, in the same run: the bytes
of every file the job wrote (the export tables, their indexes, PROFT, fCUADROS.txt) written
once in one sequential write (BUILD_DIR/bench/peer/peer_bench floor, median of 7), and prints
the ratio of the two CPU times; goal for importar-fresh-120k: at most 40 times the floor. Where
strace is installed, one more run of each importar under `strace -c -f` counts the system
calls per row the job leaves in CUADROH2 and CUADROH3; goal for importar-fresh-120k: at most 3.
"""
import argparse
import os
import shutil
import statistics
import struct
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
    """Runs cmd; returns (wall s, cpu s, peak RSS MB, exit status, stderr).

    Linux keeps in a child's peak resident set the pages of the image it replaced at exec:
    a child forked from this Python process reports at least Python's own size. So, where GNU
    time is installed (Debian's package time), the peak is the one it measures of its own
    child, which starts from the small image of time itself."""
    gnu_time = shutil.which("time", path="/usr/bin")
    peak_file = os.path.join(WORK, "peak.txt")
    run_cmd = [gnu_time, "-f", "%M", "-o", peak_file] + cmd if gnu_time else cmd
    t0 = time.perf_counter()
    p = subprocess.Popen(run_cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    err = p.stderr.read()
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    peak = ru.ru_maxrss / 1024.0
    if gnu_time:
        with open(peak_file) as f:
            last = f.read().split()
        peak = int(last[-1]) / 1024.0 if last and last[-1].isdigit() else peak
    return wall, ru.ru_utime + ru.ru_stime, peak, p.returncode, err


def snapshot(root, textos):
    """(path -> (size, mtime_ns)) of the files of the exchange and text folders."""
    out = {}
    for folder in (os.path.join(root, "ZTEMP"), textos):
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                st = os.stat(path)
                out[path] = (st.st_size, st.st_mtime_ns)
    return out


def written_bytes(before, after):
    """Bytes of the files a run made or changed."""
    return sum(size for path, (size, mtime) in after.items() if before.get(path) != (size, mtime))


def rows_written(root):
    """Records the export tables hold (their header counts)."""
    total = 0
    for name in ("CUADROH2.DBF", "CUADROH3.DBF"):
        with open(os.path.join(root, "ZTEMP", name), "rb") as f:
            total += struct.unpack("<I", f.read(8)[4:8])[0]
    return total


def floor(build, nbytes, work):
    """(cpu s, wall s) of one sequential write of nbytes, or None without peer_bench."""
    tool = os.path.join(build, "bench", "peer", "peer_bench")
    if not os.path.exists(tool):
        return None
    r = subprocess.run([tool, "floor", str(nbytes), "7", work], capture_output=True, text=True)
    for line in r.stdout.splitlines():
        parts = line.split()
        if parts and parts[0] == "floor":
            return float(parts[2]), float(parts[3])
    return None


def syscalls(cmd, env, work):
    """Total system calls of cmd (strace -c -f), or None without strace."""
    strace = shutil.which("strace")
    if not strace:
        return None
    out = os.path.join(work, "strace.txt")
    subprocess.run([strace, "-c", "-f", "-o", out] + cmd, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=env)
    for line in open(out):
        parts = line.split()
        if parts and parts[-1] == "total":
            # "100.00 seconds usecs/call calls errors total": calls is the 4th column
            return int(parts[3]) if len(parts) >= 5 else int(parts[2])
    return None


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
    build = os.path.abspath(a.build)
    batch = prepare(build, a.work)
    results = {}
    floors = {}
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
            before = snapshot(raiz, textos_run)
            wall, cpu, peak, status, err = timed([batch] + args(raiz, textos_run), env)
            out_bytes = written_bytes(before, snapshot(raiz, textos_run))
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
        if name.startswith("importar"):
            # The floor of the same bytes and the system calls per row, in this same run.
            f = floor(build, out_bytes, a.work)
            rows = rows_written(raiz)
            shutil.rmtree(raiz, ignore_errors=True)
            shutil.rmtree(textos_run, ignore_errors=True)
            shutil.copytree(start, raiz)
            shutil.copytree(textos, textos_run)
            calls = syscalls([batch] + args(raiz, textos_run), env, a.work)
            floors[name] = (out_bytes, f, rows, calls)
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

    # Against the floor: one sequential write of the bytes the job wrote.
    for name, (nbytes, f, rows, calls) in floors.items():
        w, c, _ = results[name]
        if f:
            print("floor: %-20s %.1f MB written; one write %.2f ms cpu (%.2f ms wall); job %.0fx "
                  "cpu (%.0fx wall)" % (name, nbytes / 1e6, f[0] * 1e3, f[1] * 1e3, c / f[0],
                                        w / f[1]))
        if calls is not None and rows:
            print("syscalls: %-17s %d in all, %d rows in CUADROH2 and CUADROH3: %.2f per row"
                  % (name, calls, rows, calls / rows))
    if "importar-fresh-120k" in floors:
        nbytes, f, rows, calls = floors["importar-fresh-120k"]
        c = results["importar-fresh-120k"][1]
        if f:
            budget("importar-fresh-120k <= 40x one sequential write", c / f[0] <= 40,
                   "%.0fx cpu (%.1f / %.2f ms)" % (c / f[0], c * 1e3, f[0] * 1e3))
        if calls is not None and rows:
            budget("importar-fresh-120k system calls per row <= 3", calls / rows <= 3,
                   "%.2f (%d calls, %d rows)" % (calls / rows, calls, rows))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
