#!/usr/bin/python3
"""Writes the sample school's nine XEL text files (examples/textos/) and the rows the
XEL -> Zandrix job is expected to leave in the exchange folder (examples/expected/).

The school, its codes and the abbreviations the job gives are written out here by hand, so the
expected rows do not come from the program under test. Run from anywhere:
    /usr/bin/python3 examples/tools/genera_textos.py
"""
import csv
import os

HERE = os.path.dirname(os.path.abspath(__file__))
TEXTOS = os.path.join(HERE, "..", "textos")
EXPECTED = os.path.join(HERE, "..", "expected")


def line(*cols):
    """A fixed-width line from (start, length, value) triples, 1-based columns."""
    out = ""
    for start, length, value in cols:
        assert len(value) <= length, (value, length)
        out = out.ljust(start - 1)
        out = out[: start - 1] + value.ljust(length) + out[start - 1 + length :]
    return out.rstrip(" ") if cols else ""


def write_text(name, lines):
    data = b"".join(l.encode("cp1252") + b"\r\n" for l in lines)
    with open(os.path.join(TEXTOS, name), "wb") as f:
        f.write(data)


def write_expected(table, fields, rows):
    with open(os.path.join(EXPECTED, table + ".csv"), "w", encoding="utf-8", newline="") as f:
        w = csv.writer(f, delimiter=";", lineterminator="\n")
        w.writerow(fields)
        for r in rows:
            assert len(r) == len(fields), (table, r)
            w.writerow(r)


# --- Task types: selector, code, reinforcement, other activity, Castilian, Basque -------------
# The export writes "101" for a lesson with a group and no task of its own: the catalogue has it.
TIPTAR = [
    ("1", "101", "N", "N", "Docencia directa con el grupo", "Taldearekin zuzeneko irakaskuntza"),
    ("1", "GUA", "N", "N", "Guardia de aula y patio", "Ikasgela eta jolastoki zaintza"),
    ("1", "TUT", "N", "N", "Tutoría de grupo", "Taldeko tutoretza"),
    ("1", "REF", "S", "N", "Refuerzo educativo", "Hezkuntza errefortzua"),
    ("1", "BIB", "N", "S", "Atención a la biblioteca", "Liburutegiaren arreta"),
    ("1", "REU", "N", "S", "Reunión de departamento", "Mintegiko bilera"),
    ("0", "OBS", "N", "N", "Tarea dada de baja", "Baja emandako zeregina"),
    ("1", "COO", "N", "S", "Coordinación de ciclo", "Zikloko koordinazioa"),
]

# --- Subjects: XEL code, Castilian name/short/code, Basque name/short/code, COD in EUSKERA -----
ASIGNAT = []
_cursos = ["1º", "2º", "3º", "4º"]
_eso = [
    # cast name, cast short, cast code, basque name, basque short, basque code
    ("Lengua Castellana y Literatura", "Lengua", "LENG", "Gaztelania eta Literatura", "Gaztelania", "GAZT"),
    ("Lengua Vasca y Literatura", "Euskera", "EUSK", "Euskara eta Literatura", "Euskara", "EUSK"),
    ("Lengua Extranjera: Inglés", "Inglés", "INGL", "Atzerriko Hizkuntza: Ingelesa", "Ingelesa", "INGE"),
    ("Matemáticas", "Matemáticas", "MATE", "Matematika", "Matematika", "MATE"),
    ("Geografía e Historia", "Geografía Hª", "GEHI", "Geografia eta Historia", "Geografia Hª", "GEHI"),
    ("Educación Física", "Ed. Física", "EDFI", "Gorputz Hezkuntza", "Gorputz H.", "GORH"),
]
_derived = lambda code, n: code if n == 0 else code[:3] + str(n)
_count = {}


def _subject(xel, cast, cshort, ccode, eusk, eshort, ecode):
    n = _count.get(ecode, 0)
    _count[ecode] = n + 1
    # The expected code, worked out by hand for at most ten repeats: MATE, MAT1 … MAT9.
    assert n < 10
    ASIGNAT.append((xel, cast, cshort, ccode, eusk, eshort, ecode, _derived(ecode, n)))


for c, curso in enumerate(_cursos, start=1):
    for s, (cast, cshort, ccode, eusk, eshort, ecode) in enumerate(_eso, start=1):
        _subject("%d%03d" % (c, s), cast + " " + curso + " ESO", cshort + " " + curso,
                 ccode, eusk + " %d. DBH" % c, eshort + " %d." % c, ecode)
for xel, cast, cshort, ccode, eusk, eshort, ecode in [
    ("1101", "Biología y Geología 1º ESO", "Biología 1º", "BIGE", "Biologia eta Geologia 1. DBH", "Biologia 1", "BIGE"),
    ("3101", "Biología y Geología 3º ESO", "Biología 3º", "BIGE", "Biologia eta Geologia 3. DBH", "Biologia 3", "BIGE"),
    ("2102", "Física y Química 2º ESO", "Física Q. 2º", "FIQU", "Fisika eta Kimika 2. DBH", "Fisika K. 2", "FIKI"),
    ("3102", "Física y Química 3º ESO", "Física Q. 3º", "FIQU", "Fisika eta Kimika 3. DBH", "Fisika K. 3", "FIKI"),
    ("4102", "Física y Química 4º ESO", "Física Q. 4º", "FIQU", "Fisika eta Kimika 4. DBH", "Fisika K. 4", "FIKI"),
    ("1103", "Tecnología 1º ESO", "Tecnología 1º", "TECN", "Teknologia 1. DBH", "Teknologia 1", "TEKN"),
    ("2103", "Tecnología 2º ESO", "Tecnología 2º", "TECN", "Teknologia 2. DBH", "Teknologia 2", "TEKN"),
    ("3103", "Tecnología 3º ESO", "Tecnología 3º", "TECN", "Teknologia 3. DBH", "Teknologia 3", "TEKN"),
    ("1104", "Música 1º ESO", "Música 1º", "MUSI", "Musika 1. DBH", "Musika 1", "MUSI"),
    ("2104", "Música 2º ESO", "Música 2º", "MUSI", "Musika 2. DBH", "Musika 2", "MUSI"),
    ("1105", "Educación Plástica, Visual y Audiovisual 1º ESO", "Plástica 1º", "EPVA", "Hezkuntza Plastikoa, Bisuala eta Ikus-entzunezkoa 1. DBH", "Plastika 1", "PLAS"),
    ("3105", "Educación Plástica, Visual y Audiovisual 3º ESO", "Plástica 3º", "EPVA", "Hezkuntza Plastikoa, Bisuala eta Ikus-entzunezkoa 3. DBH", "Plastika 3", "PLAS"),
    ("5001", "Matemáticas I", "Matemáticas I", "MATE", "Matematika I", "Matematika I", "MATE"),
    ("6001", "Matemáticas II", "Matemáticas II", "MATE", "Matematika II", "Matematika II", "MATE"),
    ("5002", "Filosofía", "Filosofía", "FILO", "Filosofia", "Filosofia", "FILO"),
    ("6002", "Historia de España", "Hª de España", "HIES", "Espainiako Historia", "Espainiako Hª", "ESHI"),
    ("5003", "Latín I", "Latín I", "LATI", "Latina I", "Latina I", "LATI"),
    ("5004", "Economía", "Economía", "ECON", "Ekonomia", "Ekonomia", "EKON"),
    ("6003", "Dibujo Técnico II", "Dibujo Téc. II", "DITE", "Marrazketa Teknikoa II", "Marrazketa T. II", "MART"),
]:
    _subject(xel, cast, cshort, ccode, eusk, eshort, ecode)
# The task types the timetabler places as subjects reach the timetable file with their own code
# as subject code: XEL knows those codes as subjects too.
for xel, cast, ccode, eusk, ecode in [
    ("GUA", "Guardia", "GUAR", "Zaintza", "ZAIN"),
    ("TUT", "Tutoría", "TUTO", "Tutoretza", "TUTO"),
    ("REF", "Refuerzo educativo", "REFU", "Hezkuntza errefortzua", "ERRE"),
    ("BIB", "Biblioteca", "BIBL", "Liburutegia", "LIBU"),
    ("REU", "Reunión de departamento", "REUN", "Mintegiko bilera", "BILE"),
    ("COO", "Coordinación", "COOR", "Koordinazioa", "KOOR"),
]:
    _subject(xel, cast, cast[:20], ccode, eusk, eusk[:20], ecode)

OTRACT = [
    ("REC", "Recreo", "Jolasaldia", "Recreo", "Jolasaldia"),
    ("COM", "Comedor escolar", "Eskola jantokia", "Comedor", "Jantokia"),
    ("EXT", "Actividades extraescolares", "Eskolaz kanpoko jarduerak", "Extraescolares", "Eskolaz kanpo"),
]
TIPDOC = [("1", "DNI", "NAN"), ("2", "NIE", "AIZ"), ("3", "Pasaporte", "Pasaportea")]
NIVIMP = [
    ("ESO", "ESO", "Educación Secundaria Obligatoria", "Derrigorrezko Bigarren Hezkuntza", "E.S.O.", "D.B.H."),
    ("BAC", "BAC", "Bachillerato", "Batxilergoa", "Bachillerato", "Batxilergoa"),
]
# The export writes the teaching language "02" on every period.
IDIOMA = [
    ("01", "Castellano", "Gaztelania", "CAST", "GAZT"),
    ("02", "Euskera", "Euskara", "EUSK", "EUSK"),
    ("03", "Inglés", "Ingelesa", "INGL", "INGE"),
]
# Level groups by the level codes of the groups file, as the export writes them.
GRUPNIV = [
    ("ESO", "Educación Secundaria Obligatoria", "Derrigorrezko Bigarren Hezkuntza", "", "1", "02"),
    ("BAC", "Bachillerato", "Batxilergoa", "ESO", "1", "03"),
]

# --- Teachers: surname, surname, name, department, document type, number, ABREV ----------------
PROFES = [
    ("Agirre", "Bengoetxea", "Miren", "Matemáticas", "1", "30612345K", "ABM"),
    ("Arana", "Barrenetxea", "Mikel", "Matemáticas", "1", "72456123B", "ABM1"),
    ("Etxeberria", "Zubizarreta", "Jon", "Euskara eta Literatura", "1", "15987456H", "EZJ"),
    ("García", "López", "Ana", "Lengua Castellana y Literatura", "1", "16054321Q", "GLA"),
    ("Gómez", "Lasa", "Ainhoa", "Lengua Castellana y Literatura", "1", "44123987T", "GLA1"),
    ("Gil", "Larrañaga", "Asier", "Geografía e Historia", "1", "78901234X", "GLA2"),
    ("Fernández", "Ruiz", "Carmen", "Inglés", "1", "11223344R", "FRC"),
    ("Ibáñez", "Olabarria", "Koldo", "Educación Física", "1", "30998877M", "IOK"),
    ("Jiménez", "Sáez", "María José", "Física y Química", "1", "20334455C", "JSM"),
    ("Lizarraga", "Mendizabal", "Iñaki", "Tecnología", "1", "15667788J", "LMI"),
    ("López", "Martín", "Isabel", "Biología y Geología", "1", "72112233D", "LMI1"),
    ("Martínez", "Ortiz", "Begoña", "Música", "1", "16778899W", "MOB"),
    ("Mújica", "Oyarzabal", "Beñat", "Dibujo", "1", "44556677P", "MOB1"),
    ("Navarro", "Pérez", "Lucía", "Filosofía", "1", "30445566G", "NPL"),
    ("Olano", "Querejeta", "Nerea", "Euskara eta Literatura", "1", "15223344E", "OQN"),
    ("Pérez", "Ramos", "Francisco Javier", "Geografía e Historia", "1", "20667788A", "PRF"),
    ("Ramírez", "Sánchez", "Elena", "Inglés", "2", "X1234567L", "RSE"),
    ("Rodríguez", "Sanz", "Eduardo", "Matemáticas", "1", "72889900N", "RSE1"),
    ("Ruiz", "Salaberria", "Edurne", "Latín y Griego", "1", "30112299S", "RSE2"),
    ("Sánchez", "Torres", "Pilar", "Economía", "1", "16332211V", "STP"),
    ("Urrutia", "Txurruka", "Patxi", "Tecnología", "1", "44778811F", "UTP"),
    ("Uriarte", "Tellería", "Pello", "Educación Física", "1", "15445599Y", "UTP1"),
    ("Zabala", "Ugarte", "Josu", "Física y Química", "1", "20998811Z", "ZUJ"),
    ("Zubiaurre", "Uranga", "Joseba", "Orientación", "3", "PAA123456", "ZUJ1"),
    ("Álvarez", "Castro", "Óscar", "Lengua Castellana y Literatura", "1", "72334466K", "\u00c1C\u00d3"),
    ("Ochoa", "", "Amaia", "Orientación", " ", "", "OA"),  # one surname, no document yet
]

# --- Groups: XEL code, alias, level, speciality, shift, course, students; ABREV, NIVEL, GRUPO --
GRUPOS = [
    ("10001", "1ESO A", "ESO", "GEN", "M1", "1", "25", "1ESO", "1"),
    ("10002", "1ESO B", "ESO", "GEN", "M1", "1", "24", "1ES1", "2"),
    ("10003", "1ESO C", "ESO", "GEN", "M1", "1", "23", "1ES2", "3"),
    ("20001", "2ESO A", "ESO", "GEN", "M1", "2", "26", "2ESO", "1"),
    ("20002", "2ESO B", "ESO", "GEN", "M1", "2", "25", "2ES1", "2"),
    ("30001", "3ESO A", "ESO", "GEN", "M1", "3", "27", "3ESO", "1"),
    ("30002", "3ESO B", "ESO", "GEN", "M1", "3", "26", "3ES1", "2"),
    ("30003", "3DIV", "ESO", "DIV", "M1", "3", "09", "3DIV", "3"),
    ("40001", "4ESO A", "ESO", "GEN", "M1", "4", "28", "4ESO", "1"),
    ("40002", "4ESO B", "ESO", "GEN", "M1", "4", "27", "4ES1", "2"),
    ("50001", "1BAC Ciencias", "BAC", "CIE", "T1", "1", "30", "1BAC", "1"),
    ("50002", "1BAC Humanidades", "BAC", "HCS", "T1", "1", "22", "1BA1", "2"),
    ("60001", "2BAC Ciencias", "BAC", "CIE", "T1", "2", "29", "2BAC", "1"),
    ("60002", "2BAC Humanidades", "BAC", "HCS", "T1", "2", "7", "2BA1", "2"),
    ("90001", "AULA APOYO", "", "", "M1", "", "08", "AULA", "1"),
]
CENTRO = ("015432", "2024", "1")
# Abbreviations the user gives the study levels (the batch job's --niveles file).
NIVELES_ABREV = {"ESO": ("ESO", "DBH"), "BAC": ("BACH", "BATX")}


def main():
    os.makedirs(TEXTOS, exist_ok=True)
    os.makedirs(EXPECTED, exist_ok=True)

    write_text("fTIPTAR.txt", [line((1, 1, s), (2, 3, c), (5, 1, r), (6, 1, o), (7, 250, dc), (257, 250, de))
                               for s, c, r, o, dc, de in TIPTAR])
    write_text("fASIGNAT.txt", [line((1, 4, x), (5, 100, c), (105, 20, cs), (125, 4, cc), (129, 100, e),
                                     (229, 20, es), (249, 4, ec)) for x, c, cs, cc, e, es, ec, _ in ASIGNAT])
    write_text("fOTRACT.txt", [line((1, 3, c), (4, 100, dc), (104, 100, de), (204, 20, rc), (224, 20, re))
                               for c, dc, de, rc, re in OTRACT])
    write_text("fTIPDOC.txt", [line((1, 1, c), (2, 100, dc), (102, 100, de)) for c, dc, de in TIPDOC])
    write_text("fNIVIMP.txt", [line((1, 3, c), (4, 3, g), (7, 100, dc), (107, 100, de), (207, 20, rc),
                                    (227, 20, re)) for c, g, dc, de, rc, re in NIVIMP])
    write_text("fIDIOMA.txt", [line((1, 2, c), (3, 100, dc), (103, 100, de), (203, 4, rc), (207, 4, re))
                               for c, dc, de, rc, re in IDIOMA])
    write_text("fGRUPNIV.txt", [line((1, 3, n), (4, 50, dc), (54, 50, de), (104, 3, p), (107, 1, t), (108, 50, o))
                                for n, dc, de, p, t, o in GRUPNIV])
    write_text("fPROFES.txt", ["1PROFESORADO " + CENTRO[0] + " " + CENTRO[1]] +
               [line((1, 1, "2"), (3, 1, t), (4, 15, d), (19, 40, a1), (59, 40, a2), (99, 20, n), (125, 100, dep))
                for a1, a2, n, dep, t, d, _ in PROFES])
    write_text("fGRUPOS.txt", [line((1, 1, "1"), (4, 6, CENTRO[0]), (10, 4, CENTRO[1]), (14, 1, CENTRO[2]))] +
               [line((1, 1, "2"), (2, 5, c), (7, 30, a), (37, 3, n), (40, 6, e), (46, 2, t), (48, 2, cu),
                     (50, 20, ("Grupo " + a)[:20]), (211, 2, al))
                for c, a, n, e, t, cu, al, _, _ in GRUPOS])
    with open(os.path.join(EXPECTED, "niveles.txt"), "wb") as f:
        for cod, (cast, eusk) in NIVELES_ABREV.items():
            f.write(("%s;%s;%s\r\n" % (cod, cast, eusk)).encode("cp1252"))

    # Expected tables after `transzanderxel-batch exportar` (language EUSKERA, --niveles above).
    write_expected("xelTIPTAR", ["COD", "REFUERZO", "OTRACTIV", "DESCCAST", "DESCEUSK"],
                   [r[1:] for r in TIPTAR if r[0] == "1"])
    write_expected("xelASIGNAT", ["COD", "DESCCAST", "DESCCASTR", "CODCAST", "DESCEUSK", "DESCEUSKR", "CODEUSK"],
                   [r[:7] for r in ASIGNAT])
    write_expected("xelOTRACT", ["COD", "DESCCAST", "DESCEUSK", "DESCCASTR", "DESCEUSKR"], OTRACT)
    write_expected("xelTIPDOC", ["COD", "DESCCAST", "DESCEUSK"], TIPDOC)
    write_expected("xelNIVIMP", ["COD", "GRUPNIV", "DESCCAST", "DESCEUSK", "DESCCASTR", "DESCEUSKR",
                                 "ABREVCAST", "ABREVEUSK"],
                   [r + NIVELES_ABREV[r[0]] for r in NIVIMP])
    write_expected("xelIDIOMA", ["IDIOMA", "DESCCAST", "DESCEUSK", "DESCCASTR", "DESCEUSKR"], IDIOMA)
    write_expected("xelGRUPNIV", ["NIVEL", "DESCCAST", "DESCEUSK", "GRUPOPADRE", "IDTIPTAREA", "ORDEN"], GRUPNIV)
    write_expected("xelCENTRO", ["CODCENTRO", "ANOACAD", "VERSION"], [CENTRO])
    write_expected("ASIGNOMT", ["COD", "CODLARGO", "NOMBRE", "CODIGOXEL", "ESTAREA"],
                   [(cod, es[:8].rstrip(), e[:40].rstrip(), x, "F") for x, _, _, _, e, es, _, cod in ASIGNAT] +
                   [(c, de[:8].rstrip(), de[:40].rstrip(), c, "T") for s, c, _, _, _, de in TIPTAR if s == "1"])
    write_expected("PROFT", ["ABREV", "NOMBRE", "DEPART", "DNI", "TIPODNI"],
                   [(ab, (a1 + " " + a2 + " " + n)[:40].rstrip(), dep[:40].rstrip(), d, t.strip())
                    for a1, a2, n, dep, t, d, ab in PROFES])
    nivel = lambda n: NIVELES_ABREV[n][1] if n in NIVELES_ABREV else (n or "NIV")
    write_expected("GRUPOST", ["ABREV", "TURNO", "NIVEL", "CURSO", "GRUPO", "CODGRUXEL", "ALIASXEL", "NIVELXEL",
                               "ESPECXEL", "TURNOXEL", "CURSOXEL", "NUMALUMN"],
                   [(ab, t[0], nivel(n), cu, g, c, a, n, e, t, cu, al)
                    for c, a, n, e, t, cu, al, ab, g in GRUPOS])


if __name__ == "__main__":
    main()
