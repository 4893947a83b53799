#!/usr/bin/python3
"""Malformed command lines and hostile environments for both executables.

Every case must end within its time limit, by itself (no signal), with no sanitizer report,
with the expected exit status and a clear message. The GUI (when given) is started offscreen
with malformed host arguments: it must come up and stay up (it shows its error box or its
window) until it is closed from outside.

usage: cli_env_test.py BATCH EXAMPLES [GUI]
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

batch, examples = sys.argv[1:3]
gui = sys.argv[3] if len(sys.argv) > 3 and os.path.exists(sys.argv[3]) else None
failures = []
CRASH_MARKS = ("AddressSanitizer", "runtime error:", "LeakSanitizer", "Segmentation", "terminate called")
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 and shutil.which("setpriv") else []


def check(name, args, status, says, env=None, as_nobody=False, timeout=30):
    cmd = (NOBODY if as_nobody else []) + [batch] + args
    full_env = dict(os.environ)
    full_env.update(env or {})
    for k, v in (env or {}).items():
        if v is None:
            full_env.pop(k, None)
    try:
        r = subprocess.run(cmd, capture_output=True, timeout=timeout, env=full_env)
    except subprocess.TimeoutExpired:
        failures.append(f"{name}: no answer within {timeout} s")
        return
    err = r.stderr.decode("utf-8", errors="replace")
    if r.returncode < 0:
        failures.append(f"{name}: ended by signal {-r.returncode}")
    elif r.returncode != status:
        failures.append(f"{name}: exit {r.returncode}, expected {status}: {err.strip()[:300]}")
    if any(m in err for m in CRASH_MARKS):
        failures.append(f"{name}: {err.strip()[:300]}")
    if says not in err:
        failures.append(f"{name}: message lacks {says!r}: {err.strip()[:300]}")
    print(f"{name}: exit {r.returncode}: {err.strip().splitlines()[0] if err.strip() else ''}")


def main():
    scratch = tempfile.mkdtemp(prefix="tz-cli-")
    os.chmod(scratch, 0o755)
    try:
        textos = os.path.join(scratch, "textos")
        raiz = os.path.join(scratch, "raiz")
        shutil.copytree(os.path.join(examples, "textos"), textos)
        shutil.copytree(os.path.join(examples, "raiz"), raiz)
        plain = os.path.join(scratch, "fichero")
        open(plain, "w").write("no es una carpeta\n")
        usage = "transzanderxel-batch:"
        base = ["--textos", textos, "--raiz", raiz]

        # Malformed command lines: wrong usage (2) with a line saying what is wrong.
        for name, args in [
            ("no words", []),
            ("empty word", [""]),
            ("empty job and folder", ["", "--textos", ""]),
            ("non-ASCII job", ["exportár", "--textos", textos]),
            ("bytes that are no UTF-8", [os.fsdecode(b"\xff\xfe"), "--textos", textos]),
            ("only the job", ["importar"]),
            ("option without value", ["exportar", "--textos"]),
            ("unknown option", ["exportar", "--textos", textos, "--\u00f1"]),
            ("huge word", ["exportar", "--textos", textos, "--idioma", "E" * 100000, "--x"]),
            ("negative centre", ["importar"] + base + ["--centro", "-1,-2,-3", "--nueva=1"]),
            ("huge centre", ["importar"] + base + ["--centro", "9" * 100000 + ",1"]),
            ("centre not Windows-1252", ["importar"] + base + ["--centro", "\u4e2d,2024,1"]),
            ("levels file missing", ["exportar"] + base + ["--niveles", os.path.join(scratch, "nada.txt")]),
            ("levels file is a folder", ["exportar"] + base + ["--niveles", scratch]),
            ("root missing", ["exportar", "--textos", textos, "--raiz", os.path.join(scratch, "nada")]),
            ("root is a plain file", ["exportar", "--textos", textos, "--raiz", plain]),
        ]:
            check(name, args, 2, usage)

        # A text folder that is missing or a plain file: "No existe la carpeta" (input missing).
        check("text folder missing", ["exportar", "--textos", os.path.join(scratch, "nada"), "--raiz", raiz], 1, "No existe la carpeta")
        check("text folder is a file", ["importar", "--textos", plain, "--raiz", raiz], 1, "No existe la carpeta")
        check("text folder non-ASCII and missing", ["exportar", "--textos", os.path.join(scratch, "año ñ"), "--raiz", raiz], 1, "No existe la carpeta")

        # A root without ZTEMP, and roots from the environment: the exchange folder is missing
        # (input missing), told by its path.
        empty_root = os.path.join(scratch, "vacia")
        os.mkdir(empty_root)
        for name, args, env in [
            ("root without ZTEMP", ["exportar", "--textos", textos, "--raiz", empty_root], None),
            ("root without ZTEMP, importar", ["importar", "--textos", textos, "--raiz", empty_root], None),
            ("environment root missing", ["exportar", "--textos", textos],
             {"TRANSZANDERXEL_ROOT": os.path.join(scratch, "nada")}),
            ("no HOME and no root", ["exportar", "--textos", textos],
             {"TRANSZANDERXEL_ROOT": None, "HOME": None, "WINEPREFIX": None}),
        ]:
            check(name, args, 1, "No existe la carpeta de intercambio ", env=env)

        # Read-only exchange folder and an unreadable text folder, checked as an ordinary user
        # (the superuser reads and writes through permissions).
        if os.geteuid() != 0 or NOBODY:
            ro = os.path.join(scratch, "ro")
            shutil.copytree(os.path.join(examples, "raiz"), os.path.join(ro, "raiz"))
            shutil.copytree(os.path.join(examples, "textos"), os.path.join(ro, "textos"))
            for d, _, files in os.walk(ro):
                os.chmod(d, 0o755)
                for f in files:
                    os.chmod(os.path.join(d, f), 0o644)
            ztemp = os.path.join(ro, "raiz", "ZTEMP")
            os.chmod(ztemp, 0o555)
            check("read-only exchange folder", ["exportar", "--textos", os.path.join(ro, "textos"), "--raiz", os.path.join(ro, "raiz")],
                  3, "xelTIPTAR.DBF: permiso denegado", as_nobody=True)
            os.chmod(ztemp, 0o777)
            os.chmod(os.path.join(ro, "textos", "fASIGNAT.txt"), 0o000)
            check("unreadable text file", ["exportar", "--textos", os.path.join(ro, "textos"), "--raiz", os.path.join(ro, "raiz")],
                  3, "No se puede leer el archivo", as_nobody=True)
            os.chmod(os.path.join(ro, "textos"), 0o000)
            check("unreadable text folder", ["exportar", "--textos", os.path.join(ro, "textos"), "--raiz", os.path.join(ro, "raiz")],
                  1, "No existe archivo", as_nobody=True)
            os.chmod(os.path.join(ro, "textos"), 0o755)
        else:
            print("read-only and unreadable folders: skipped (superuser without setpriv)")

        if gui:
            gui_cases(scratch)
    finally:
        subprocess.run(["chmod", "-R", "u+rwX", scratch])
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{len(failures)} problems")
    for f in failures:
        print("  " + f)
    sys.exit(1 if failures else 0)


def gui_cases(scratch):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TRANSZANDERXEL_ROOT=os.path.join(scratch, "raiz"))
    for name, args in [
        ("gui huge handle", ["importar", "F" * 40]),
        ("gui negative handle", ["exportar", "-1"]),
        ("gui empty words", ["", ""]),
        ("gui non-ASCII mode", ["exportár", "1A2B"]),
        ("gui handle of no window", ["importar", "7FFFFFFF"]),
        ("gui three words", ["importar", "1", "2"]),
        ("gui huge word", ["x" * 100000]),
    ]:
        p = subprocess.Popen([gui] + args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=scratch)
        time.sleep(3)
        alive = p.poll() is None
        if alive:
            p.send_signal(signal.SIGTERM)
        try:
            err = p.communicate(timeout=20)[1].decode(errors="replace")
        except subprocess.TimeoutExpired:
            p.kill()
            err = p.communicate()[1].decode(errors="replace")
        if not alive and p.returncode != 0:
            failures.append(f"{name}: ended by itself with {p.returncode}: {err.strip()[:300]}")
        if any(m in err for m in CRASH_MARKS):
            failures.append(f"{name}: {err.strip()[:300]}")
        print(f"{name}: {'up until closed' if alive else 'exit ' + str(p.returncode)}")


main()
