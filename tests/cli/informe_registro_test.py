#!/usr/bin/python3
""""informe" and "registro" as a script sees them, on a copy of the sample school: the report's
pages and text read by poppler (pdfinfo, pdftotext) against the teachers python3-dbfread reads
from PROFT; exit 6 with findings and 0 without; a report that cannot be written leaves nothing;
the log read by Python's own JSON reader against the tables and text files it counted.

usage: informe_registro_test.py BATCH EXAMPLES_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from dbfread import DBF

batch, examples = sys.argv[1], sys.argv[2]
failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


with tempfile.TemporaryDirectory(prefix="tz-informe-") as tmp:
    textos = os.path.join(tmp, "textos")
    raiz = os.path.join(tmp, "raiz")
    ztemp = os.path.join(raiz, "ZTEMP")
    shutil.copytree(os.path.join(examples, "textos"), textos)
    os.makedirs(ztemp)
    shutil.copy(os.path.join(examples, "raiz", "ZTEMP", "SOLUC.DBF"), ztemp)
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(tmp, "estado"))
    env.pop("QT_QPA_PLATFORM", None)  # the batch needs no display of its own
    env.pop("DISPLAY", None)

    def run(*args):
        p = subprocess.run([batch, *args], capture_output=True, timeout=300, env=env)
        return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")

    def job(*args):
        return run(*args, "--textos", textos, "--raiz", raiz)

    code, _, err = job("exportar", "--niveles", os.path.join(examples, "expected", "niveles.txt"))
    check("exportar", code, 0)
    code, _, err = job("importar", "--documentos", os.path.join(examples, "documentos.txt"))
    check("importar", code, 0)

    teachers = [r for r in DBF(os.path.join(ztemp, "PROFT.DBF"), encoding="cp1252")]
    abrevs = sorted({r["ABREV"].strip() for r in teachers})
    pdf = os.path.join(tmp, "informe.pdf")
    code, out, err = job("informe", "--salida", pdf)
    check("informe with findings: exit", code, 6)
    check("informe: nothing on stdout", out, "")
    check("informe: its last line is the check's summary",
          err.strip().splitlines()[-1].startswith("Registros por codificar: "), True)
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
    pages = [int(l.split()[1]) for l in info.splitlines() if l.startswith("Pages:")]
    check("pages: the summary and one per teacher", pages, [len(abrevs) + 1])
    check("title", "Title:           Informe del horario para XEL" in info, True)
    text = subprocess.run(["pdftotext", "-enc", "UTF-8", pdf, "-"], capture_output=True).stdout.decode("utf-8")
    # pdftotext gives runs of spaces as one.
    flat = " ".join(text.split())
    for r in teachers:
        name = " ".join(r["NOMBRE"].split())
        if name:
            check("teacher %s in the text" % name, name in flat, True)
    check("accents survive", "Ibáñez Olabarria Koldo" in text, True)

    # Every code filled: no findings, exit 0.
    import dbf

    for name, values in (("CUADROH2.DBF", dict(tipdoc="1", doc="1", tiptar="BIB", grupniv="ESO",
                                               codasig="", idioma="02", tip_activ="REC")),
                         ("CUADROH3.DBF", dict(codgrupo="01ESA"))):
        t = dbf.Table(os.path.join(ztemp, name))
        t.open(mode=dbf.READ_WRITE)
        for rec in t:
            with rec:
                for k, v in values.items():
                    setattr(rec, k, v)
        t.close()
    code, _, err = job("informe", "--salida", pdf)
    check("informe without findings: exit", code, 0)
    check("summary without findings",
          "Ningún registro por codificar: no falta ningún código XEL." in err, True)

    # A report that cannot be written: error, nothing made, the old file kept.
    before = open(pdf, "rb").read()
    code, _, err = job("informe", "--salida", os.path.join(tmp, "no-existe", "x.pdf"))
    check("unwritable output: exit", code, 3)
    check("unwritable output: message", "No se puede crear el fichero" in err, True)
    check("no folder made", os.path.exists(os.path.join(tmp, "no-existe")), False)
    check("old report kept", open(pdf, "rb").read(), before)
    # The batch copied without the program that draws the PDF: an error naming it, no file.
    solo = os.path.join(tmp, "solo")
    os.makedirs(solo)
    shutil.copy(batch, solo)
    p = subprocess.run([os.path.join(solo, os.path.basename(batch)), "informe", "--textos", textos,
                        "--raiz", raiz, "--salida", os.path.join(tmp, "solo.pdf")],
                       capture_output=True, timeout=60, env=env)
    check("without its drawing program: exit", p.returncode, 3)
    check("without its drawing program: message",
          "No se puede ejecutar" in p.stderr.decode("utf-8") and
          "transzanderxel-informe" in p.stderr.decode("utf-8"), True)
    check("without its drawing program: no file", os.path.exists(os.path.join(tmp, "solo.pdf")), False)
    # The batch loads no GUI library; the program that draws the PDF does.
    ldd = shutil.which("ldd")
    if ldd:
        libs = subprocess.run([ldd, batch], capture_output=True, text=True).stdout
        check("the batch loads no Qt", "libQt6" in libs, False)
    for args, want in ((["informe", "--textos", textos], 2), (["informe", "--salida", pdf], 2),
                       (["informe", "--textos", textos, "--salida", pdf, "--x"], 2),
                       (["informe", "--textos", os.path.join(tmp, "nada"), "--salida", pdf], 1),
                       (["registro", "--ultimos", "0"], 2), (["registro", "--ultimos", "x"], 2),
                       (["registro", "--otra"], 2)):
        code, _, _ = run(*args)
        check("exit of %r" % (args,), code, want)

    # The log: two runs, newest first, one per line; the file is JSON lines.
    code, out, err = run("registro")
    lines = out.splitlines()
    check("registro: exit", code, 0)
    check("registro: lines", len(lines), 2)
    check("newest first", lines and "importar (lotes)" in lines[0], True)
    check("exit status in the line", lines and "salida 0" in lines[0], True)
    code, out, _ = run("registro", "--ultimos", "1")
    check("--ultimos 1", (code, len(out.splitlines())), (0, 1))
    log = os.path.join(tmp, "estado", "transzanderxel", "registro.jsonl")
    runs = [json.loads(l) for l in open(log, encoding="utf-8")]
    check("records", [r["modo"] for r in runs], ["exportar", "importar"])
    exp, imp = runs
    leidos = {f["nombre"]: f["filas"] for f in exp["leidos"]}
    for name in ("fPROFES.txt", "fGRUPOS.txt", "fTIPTAR.txt"):
        with open(os.path.join(textos, name), "rb") as fh:
            n = len(fh.read().replace(b"\r\n", b"\n").rstrip(b"\n").split(b"\n"))
        check("lines of %s" % name, leidos.get(name), n)
    escritos = {f["nombre"]: f["filas"] for f in imp["escritos"]}
    for name in ("CUADROH2.DBF", "CUADROH3.DBF"):
        check("rows of %s" % name, escritos.get("ZTEMP/" + name), len(DBF(os.path.join(ztemp, name))))
    check("outcome", (imp["resultado"], imp["estado_transformado"], imp["estado_paso"], imp["salida"]),
          ("finalizado", 1, 0, 0))
    check("nothing else in the text folder",
          sorted(f for f in os.listdir(textos) if not (f.startswith("f") and f.endswith(".txt"))), [])

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("OK")
