#!/usr/bin/python3
"""Kills transzanderxel-batch (SIGKILL) at many points of both jobs on the sample school.

After each kill every .DBF of the exchange folder must open in our engine and in dbfread with
a consistent record count, fCUADROS.txt must be the old file or the new one (never a part),
and the same job run again must finish.

usage: crash_test.py KILLABLE_BATCH CHECK_TABLES EXAMPLES [KILLS_PER_JOB]
The kill points are the N-th write-type file operation (TZ_TEST_KILL_AFTER=N), spread over
the whole job, plus kills at random moments from outside.
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_dbfread  # noqa: E402  (reads a folder; see the module)

batch, check_tables, examples = sys.argv[1:4]
kills_per_job = int(sys.argv[4]) if len(sys.argv) > 4 else 40
OLD_CUADROS = b"1CH0000002023A\r\n"
NEW_CUADROS = open(os.path.join(examples, "expected", "fCUADROS.txt"), "rb").read()
random.seed(7)
STATE = tempfile.mkdtemp(prefix="tz-crash-state-")
failures = []
kills = 0


def job_args(job, where, nueva=False):
    args = [batch, job, "--textos", os.path.join(where, "textos"), "--raiz", os.path.join(where, "raiz")]
    if job == "exportar":
        args += ["--niveles", os.path.join(examples, "expected", "niveles.txt")]
    else:
        args += ["--documentos", os.path.join(examples, "documentos.txt")]
        if nueva:
            args.append("--nueva")
    return args


def run(args, env_extra=None, timeout=120):
    env = dict(os.environ)
    # The kept copies of fCUADROS.txt go to a state folder of the run's own (see fresh()), so
    # that every run of a job does the same file operations as the one that counted them.
    env["XDG_STATE_HOME"] = STATE
    env.update(env_extra or {})
    return subprocess.run(args, env=env, capture_output=True, timeout=timeout)


def fresh(start, where):
    shutil.rmtree(where, ignore_errors=True)
    shutil.copytree(start, where)
    shutil.rmtree(STATE, ignore_errors=True)


def check_after(what, where, job):
    ztemp = os.path.join(where, "raiz", "ZTEMP")
    r = subprocess.run([check_tables, "--after-crash", ztemp], capture_output=True, text=True)
    if r.returncode != 0:
        failures.append(f"{what}: engine: {r.stdout.strip()}")
    bad = check_dbfread.problems(ztemp, after_crash=True)
    if bad:
        failures.append(f"{what}: dbfread: {'; '.join(bad)}")
    cuadros = os.path.join(where, "textos", "fCUADROS.txt")
    if job == "importar":
        now = open(cuadros, "rb").read()
        if now not in (OLD_CUADROS, NEW_CUADROS):
            failures.append(f"{what}: fCUADROS.txt is neither the old nor the new file ({len(now)} bytes)")
    # The tool is usable again: the job runs to its end.
    again = run(job_args(job, where, nueva=True))
    if again.returncode != 0:
        failures.append(f"{what}: the next run ended {again.returncode}: {again.stderr.decode(errors='replace')}")
    elif job == "importar" and open(cuadros, "rb").read() != NEW_CUADROS:
        failures.append(f"{what}: the next run did not write the expected fCUADROS.txt")


def count_operations(args):
    with tempfile.NamedTemporaryFile() as f:
        r = run(args, {"TZ_TEST_COUNT_TO": f.name})
        if r.returncode != 0:
            sys.exit(f"clean run failed: {r.stderr.decode(errors='replace')}")
        return int(open(f.name).read())


def crash_job(job, start, scratch):
    global kills
    where = os.path.join(scratch, "run")
    fresh(start, where)
    t0 = time.monotonic()
    total = count_operations(job_args(job, where))
    clean_time = time.monotonic() - t0
    points = sorted(set(max(1, round(i * total / kills_per_job)) for i in range(kills_per_job)))
    for n in points:
        fresh(start, where)
        r = run(job_args(job, where), {"TZ_TEST_KILL_AFTER": str(n)})
        kills += 1
        if r.returncode != -signal.SIGKILL:
            failures.append(f"{job} kill at operation {n}: not killed (exit {r.returncode})")
            continue
        check_after(f"{job} kill at operation {n}/{total}", where, job)
    # Kills at random moments, from outside, as a power cut would come.
    for i in range(max(3, kills_per_job // 8)):
        fresh(start, where)
        p = subprocess.Popen(job_args(job, where), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(random.uniform(0, clean_time))
        p.send_signal(signal.SIGKILL)
        p.wait()
        kills += 1
        check_after(f"{job} kill at a random moment #{i}", where, job)
    print(f"{job}: {len(points)} kills at write operations of {total}, and random-moment kills")


def main():
    scratch = tempfile.mkdtemp(prefix="tz-crash-")
    try:
        start = os.path.join(scratch, "start")
        os.makedirs(start)
        shutil.copytree(os.path.join(examples, "textos"), os.path.join(start, "textos"))
        shutil.copytree(os.path.join(examples, "raiz"), os.path.join(start, "raiz"))
        crash_job("exportar", start, scratch)
        r = run(job_args("exportar", start))
        if r.returncode != 0:
            sys.exit("clean exportar failed")
        with open(os.path.join(start, "textos", "fCUADROS.txt"), "wb") as f:
            f.write(OLD_CUADROS)
        crash_job("importar", start, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
        shutil.rmtree(STATE, ignore_errors=True)
    print(f"{kills} kills tried, {len(failures)} problems")
    for f in failures:
        print("  " + f)
    sys.exit(1 if failures else 0)


main()
