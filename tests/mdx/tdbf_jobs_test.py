#!/usr/bin/python3
"""The tables both jobs leave, read through their production indexes by two independent readers.

For the sample school and for a generated school large enough that every index has interior
nodes (some 300 teachers, 8,000 lessons), both jobs run through the batch front end, then a
kept export runs again. After each, PROFT, PLANTILLA, CUADROH2 and CUADROH3 are read:
  - by Free Pascal's TDbf (a Delphi-style dataset engine of the dBase IV family, as the
    timetabler's own engine is): every tag listed, each walked over every record in key order,
    with the row's own value;
  - by Perl XBase::Index: every tag walked, the same records in the same order, the same keys;
  - and the index header's language driver equals the table's.

TDbf looks for the index as NAME.mdx unless the whole path is upper case. On Windows, where the
timetabler runs, the file system finds NAME.MDX under either name; here the tables are walked in
a copy with a lower-case link to the index, and the same copy without the link shows that the
name is the only reason TDbf would miss it.

usage: tdbf_jobs_test.py BATCH TZ_GEN TDBF_WALK DUMP_MDX EXAMPLES
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

batch, tz_gen, tdbf_walk, dump_mdx, examples = sys.argv[1:6]
TAGS = {
    "PROFT": ["ABREV"],
    "PLANTILLA": ["HORA"],
    "CUADROH2": ["ABREVPROF", "DOC", "PROF_DIA_S", "DIA_SES"],
    "CUADROH3": ["ABREVPROF", "DOC", "PROF_DIA_S"],
}
failures = []


def read_dbf(path):
    """Header, fields and every record (deletion flag included), straight from the bytes."""
    b = open(path, "rb").read()
    count, header_len, record_len = struct.unpack_from("<IHH", b, 4)
    fields, offset = {}, 1
    for d in range(32, header_len - 1, 32):
        if b[d] == 0x0D:
            break
        name = b[d:d + 11].split(b"\0")[0].decode()
        fields[name] = (chr(b[d + 11]), offset, b[d + 16])
        offset += b[d + 16]
    records = [b[header_len + r * record_len:header_len + (r + 1) * record_len] for r in range(count)]
    return {"ldid": b[29], "flag28": b[28], "fields": fields, "records": records}


def expected(table, tag):
    """(record number, field bytes) of every record in the order the tag must give."""
    kind, offset, width = table["fields"][tag]
    rows = [(r + 1, rec[offset:offset + width]) for r, rec in enumerate(table["records"])]
    if kind == "N":
        def key(row):
            text = row[1].strip()
            return (float(text) if text else 0.0, row[0])
    else:
        def key(row):
            return (row[1], row[0])
    return sorted(rows, key=key)


def tdbf(dbf, link=True):
    """{tag: [(recno, value bytes)]} and the tag list, as TDbf walks a copy of the table."""
    scratch = tempfile.mkdtemp(prefix="tz-tdbf-")
    try:
        name = os.path.basename(dbf)
        stem = os.path.splitext(name)[0]
        shutil.copy(dbf, os.path.join(scratch, name))
        mdx = os.path.splitext(dbf)[0] + ".MDX"
        shutil.copy(mdx, os.path.join(scratch, stem + ".MDX"))
        if link:
            os.symlink(stem + ".MDX", os.path.join(scratch, stem + ".mdx"))
        r = subprocess.run([tdbf_walk, os.path.join(scratch, name)], capture_output=True, timeout=300)
        copy_after = open(os.path.join(scratch, name), "rb").read()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if copy_after != open(dbf, "rb").read():
        failures.append(f"{dbf}: TDbf changed the table it only read")
    tags, walks, current = [], {}, None
    for line in r.stdout.decode("latin-1").splitlines():
        parts = line.split(" ")
        if parts[0] == "tags":
            tags = parts[2:]
        elif parts[0] == "tag":
            current = walks.setdefault(parts[1], [])
        elif parts[0] == "loop":
            failures.append(f"{dbf}: TDbf's walk of tag {parts[1]} does not end")
        elif parts[0] == "end":
            current = None
        elif parts[0] == "error":
            failures.append(f"{dbf}: TDbf: {line}")
        elif current is not None:
            current.append((int(parts[0]), b"" if parts[1] == "-" else bytes.fromhex(parts[1])))
    if r.returncode != 0:
        failures.append(f"{dbf}: tdbf_walk exit {r.returncode}")
    return tags, walks


def perl(mdx):
    r = subprocess.run(["/usr/bin/perl", dump_mdx, mdx], capture_output=True, timeout=300)
    if r.returncode != 0:
        failures.append(f"{mdx}: Perl XBase::Index: {r.stdout.decode()} {r.stderr.decode()}")
        return {}
    walks, current = {}, None
    for line in r.stdout.decode().splitlines():
        parts = line.split(" ")
        if parts[0] == "tag":
            current = walks.setdefault(parts[1], [])
        else:
            current.append((int(parts[1]), bytes.fromhex(parts[0])))
    return walks


def check(what, ztemp, name):
    dbf = os.path.join(ztemp, name + ".DBF")
    mdx = os.path.join(ztemp, name + ".MDX")
    where = f"{what}: {name}"
    table = read_dbf(dbf)
    if table["flag28"] != 1 or not os.path.exists(mdx):
        failures.append(f"{where}: no production index claimed ({table['flag28']})")
        return 0
    if open(mdx, "rb").read()[31] != table["ldid"]:
        failures.append(f"{where}: the index's language driver is not the table's")
    tags, walks = tdbf(dbf)
    if tags != TAGS[name]:
        failures.append(f"{where}: TDbf lists the tags {tags}, not {TAGS[name]}")
    by_perl = perl(mdx)
    for tag in TAGS[name]:
        kind = table["fields"][tag][0]
        want = expected(table, tag)
        got = walks.get(tag, [])
        if [r for r, _ in got] != [r for r, _ in want]:
            failures.append(f"{where}: TDbf walks tag {tag} over {len(got)} rows out of key order or "
                            f"incomplete ({len(want)} records)")
        else:
            for (rec, value), (_, field) in zip(got, want):
                same = (float(value or 0) == float(field.strip() or 0)) if kind == "N" else \
                    value.rstrip(b" ") == field.rstrip(b" ")
                if not same:
                    failures.append(f"{where}: TDbf reads record {rec} of tag {tag} as {value!r}, not {field!r}")
                    break
        got = by_perl.get(tag, [])
        if [r for r, _ in got] != [r for r, _ in want]:
            failures.append(f"{where}: Perl walks tag {tag} over {len(got)} rows out of key order or incomplete")
        elif kind == "C" and [k for _, k in got] != [f for _, f in want]:
            failures.append(f"{where}: Perl reads other keys for tag {tag}")
    return len(table["records"])


def run_job(args):
    r = subprocess.run([batch] + args, capture_output=True, timeout=900)
    if r.returncode != 0:
        raise SystemExit(f"{' '.join(args[:1])} exit {r.returncode}: {r.stderr.decode(errors='replace')}")


def school(what, textos, raiz, exportar_extra, documentos, soluc=None):
    ztemp = os.path.join(raiz, "ZTEMP")
    run_job(["exportar", "--textos", textos, "--raiz", raiz] + exportar_extra)
    check(what + " after exportar", ztemp, "PROFT")
    if soluc:
        soluc()
    for run in ("importar", "importar keeping the export"):
        args = ["importar", "--textos", textos, "--raiz", raiz, "--documentos", documentos]
        run_job(args + (["--nueva"] if run == "importar" else []))
        sizes = {name: check(f"{what} after {run}", ztemp, name) for name in TAGS}
        print(f"{what} after {run}: " + ", ".join(f"{n} {c} records" for n, c in sizes.items()))
    # The artefact of the case-sensitive file system, told apart from the table.
    tags, _ = tdbf(os.path.join(ztemp, "PROFT.DBF"), link=False)
    if tags:
        failures.append(f"{what}: without a NAME.mdx name TDbf still found tags {tags}: "
                        "the link is not what the walks need")
    return sizes


def main():
    scratch = tempfile.mkdtemp(prefix="tz-tdbf-jobs-")
    try:
        sample = os.path.join(scratch, "sample")
        shutil.copytree(os.path.join(examples, "textos"), os.path.join(sample, "textos"))
        shutil.copytree(os.path.join(examples, "raiz"), os.path.join(sample, "raiz"))
        school("sample school", os.path.join(sample, "textos"), os.path.join(sample, "raiz"),
               ["--niveles", os.path.join(examples, "expected", "niveles.txt")],
               os.path.join(examples, "documentos.txt"))

        big = os.path.join(scratch, "big")
        raiz = os.path.join(big, "raiz")
        os.makedirs(os.path.join(raiz, "ZTEMP"))
        subprocess.run([tz_gen, "textos", os.path.join(big, "textos")], check=True, capture_output=True)

        def soluc():
            subprocess.run([tz_gen, "soluc", raiz, "--lecciones", "8000"], check=True, capture_output=True)
        sizes = school("generated school", os.path.join(big, "textos"), raiz,
                       ["--centro", "012345,2024,1"], os.path.join(raiz, "documentos.txt"), soluc)
        # Large enough that the index of each table but the bell schedule has interior nodes.
        if sizes["CUADROH2"] < 5000 or sizes["PROFT"] < 200:
            failures.append(f"generated school too small: {sizes}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{len(failures)} problems")
    for f in failures:
        print("  " + f)
    sys.exit(1 if failures else 0)


main()
