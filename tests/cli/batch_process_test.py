#!/usr/bin/python3
"""The batch executable as a script sees it: usage errors exit 2 with the usage text, a missing
text folder prints exactly its message and exits 1, bad input files stop before any work, and
both jobs on a copy of the sample school finish with status 0.

usage: batch_process_test.py BATCH EXAMPLES_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

batch, examples = sys.argv[1], sys.argv[2]
failures = []


def run(*args):
    p = subprocess.run([batch, *args], capture_output=True, timeout=120)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


with tempfile.TemporaryDirectory(prefix="tz-batch-") as tmp:
    raiz = os.path.join(tmp, "raiz")
    os.makedirs(os.path.join(raiz, "ZTEMP"))

    for args in ([], ["exportar"], ["otra", "--textos", tmp], ["importar", "--textos", tmp, "--idioma", "x"]):
        code, out, err = run(*args)
        check("exit of %r" % args, code, 2)
        check("usage shown for %r" % args, "Uso:" in err and out == "", True)
    code, out, _ = run("--help")
    check("--help", (code, out.startswith("Uso:")), (0, True))

    for job in ("exportar", "importar"):
        code, out, err = run(job, "--textos", os.path.join(tmp, "no-existe"), "--raiz", raiz)
        check(job + " missing folder", (code, err), (1, "No existe la carpeta\n"))

    bad = os.path.join(tmp, "niveles.txt")
    with open(bad, "wb") as f:
        f.write(b"ESO;ESO\r\n")
    code, _, err = run("exportar", "--textos", tmp, "--raiz", raiz, "--niveles", bad)
    check("bad --niveles", code, 2)
    check("nothing done with bad input", os.listdir(os.path.join(raiz, "ZTEMP")), [])

    # Both jobs on the sample school.
    textos = os.path.join(tmp, "textos")
    shutil.copytree(os.path.join(examples, "textos"), textos)
    shutil.copytree(os.path.join(examples, "raiz"), os.path.join(tmp, "sample"))
    sample = os.path.join(tmp, "sample")
    code, _, err = run("exportar", "--textos", textos, "--raiz", sample,
                       "--niveles", os.path.join(examples, "expected", "niveles.txt"))
    check("sample exportar", (code, err), (0, "Proceso finalizado\n"))
    code, _, err = run("importar", "--textos", textos, "--raiz", sample, "--documentos",
                       os.path.join(examples, "documentos.txt"))
    check("sample importar exit", code, 0)
    check("sample importar ends with", err.splitlines()[-1:], ["Proceso finalizado"])
    check("fCUADROS.txt written", os.path.exists(os.path.join(textos, "fCUADROS.txt")), True)

for f in failures:
    print("FAIL", f)
sys.exit(1 if failures else 0)
