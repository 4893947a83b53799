#!/usr/bin/env python3
"""scripts/check-layers.py on small made-up trees: each case adds one line to a clean tree and
says whether the checker must refuse it, and with which kind of problem.

Usage: check_layers_test.py CHECKER
"""
import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECKER = None

# A clean tree: one header per folder, each folder's CMakeLists.txt listing its files and
# linking only downward.
CLEAN = {
    "src/platform/File.h": "#pragma once\n#include <cstdint>\n",
    "src/platform/Posix.cpp": "#include <unistd.h>\n#include <sys/file.h>\n#include \"platform/File.h\"\n",
    "src/platform/CMakeLists.txt": "tz_library(tz_platform SOURCES File.h)\n"
                                   "target_sources(tz_platform PRIVATE Posix.cpp)\n",
    "src/tables/Table.h": "#pragma once\n#include <string>\n#include \"platform/File.h\"\n",
    "src/tables/qt/Model.h": "#pragma once\n#include <QAbstractTableModel>\n#include \"tables/Table.h\"\n",
    "src/tables/CMakeLists.txt": "tz_library(tz_tables SOURCES Table.h)\n"
                                 "tz_library(tz_tables_qt SOURCES qt/Model.h PUBLIC tz_tables Qt6::Gui)\n",
    "src/base/UserPort.h": "#pragma once\nnamespace tz::base { class Adjustment; }\n",
    "src/base/CMakeLists.txt": "add_library(tz_base INTERFACE)\n"
                               "target_sources(tz_base INTERFACE FILE_SET HEADERS FILES UserPort.h)\n",
    "src/help/Help.h": "#pragma once\n",
    "src/help/CMakeLists.txt": "tz_library(tz_help SOURCES Help.h PRIVATE tz_tables)\n",
    "src/intake/Intake.h": "#pragma once\n#include \"base/UserPort.h\"\n#include \"tables/Table.h\"\n",
    "src/intake/gui/Panels.h": "#pragma once\n#include <QWidget>\n#include \"intake/Intake.h\"\n",
    "src/intake/CMakeLists.txt": "tz_library(tz_intake SOURCES Intake.h PUBLIC tz_base tz_tables)\n"
                                 "tz_library(tz_intake_gui SOURCES gui/Panels.h PRIVATE tz_intake)\n",
    "src/timetable/Timetable.h": "#pragma once\n#include \"intake/Intake.h\"\n",
    "src/timetable/gui/Windows.h": "#pragma once\n#include \"timetable/Timetable.h\"\n",
    "src/timetable/CMakeLists.txt": "tz_library(tz_timetable SOURCES Timetable.h PRIVATE tz_intake)\n"
                                    "tz_library(tz_timetable_gui SOURCES gui/Windows.h\n"
                                    "  PUBLIC tz_timetable  # the logic\n  PRIVATE tz_help_gui)\n",
    "src/app/Jobs.h": "#pragma once\n#include \"timetable/Timetable.h\"\n",
    "src/app/gui/MainForm.h": "#pragma once\n#include \"intake/gui/Panels.h\"\n",
    "src/app/gui/main.cpp": "#include \"app/gui/MainForm.h\"\nint main() {}\n",
    "src/app/CMakeLists.txt": "tz_library(tz_app SOURCES Jobs.h PUBLIC tz_intake)\n"
                              "tz_library(tz_app_gui SOURCES gui/MainForm.h PUBLIC tz_app)\n"
                              "add_executable(transzanderxel gui/main.cpp)\n"
                              "target_link_libraries(transzanderxel PRIVATE tz_app_gui)\n",
    "src/cli/Batch.h": "#pragma once\n#include \"app/Jobs.h\"\n",
    "src/cli/CMakeLists.txt": "tz_library(tz_cli SOURCES Batch.h PUBLIC tz_app)\n",
}

# (what, file, line appended, expected problem kind or None when the line is allowed)
CASES = [
    ("logic includes a higher layer", "src/intake/Intake.h", '#include "app/Jobs.h"', "include"),
    ("base includes a step", "src/base/UserPort.h", '#include "timetable/Timetable.h"', "include"),
    ("base includes help", "src/base/UserPort.h", '#include "help/Help.h"', "include"),
    ("tables include base", "src/tables/Table.h", '#include "base/UserPort.h"', "include"),
    ("intake includes timetable", "src/intake/Intake.h", '#include "timetable/Timetable.h"', "include"),
    ("logic includes its own window", "src/intake/Intake.h", '#include "intake/gui/Panels.h"', "include"),
    ("logic includes the engine's models", "src/timetable/Timetable.h", '#include "tables/qt/Model.h"', "include"),
    ("batch includes a window", "src/cli/Batch.h", '#include "app/gui/MainForm.h"', "include"),
    ("batch links a window library", "src/cli/CMakeLists.txt", "target_link_libraries(tz_cli PRIVATE tz_app_gui)", "link"),
    ("window includes a higher window", "src/intake/gui/Panels.h", '#include "timetable/gui/Windows.h"', "include"),
    ("logic includes Qt", "src/timetable/Timetable.h", "#include <QString>", "qt"),
    ("the engine includes a POSIX header", "src/tables/Table.h", "#include <unistd.h>", "system"),
    ("a step includes a sys/ header", "src/timetable/Timetable.h", "#include <sys/stat.h>", "system"),
    ("a window includes windows.h", "src/app/gui/MainForm.h", "#include <windows.h>", "system"),
    ("the platform includes a Win32 header", "src/platform/File.h", "#include <windows.h>", None),
    ("platform includes a layer above", "src/platform/File.h", '#include "tables/Table.h"', "include"),
    ("logic includes a Qt module header", "src/app/Jobs.h", "#include <QtCore/QString>", "qt"),
    ("base forward-declares a step's type", "src/base/UserPort.h", "namespace tz::timetable { class AjustaXEL; }", "names"),
    ("base names a step's type", "src/base/UserPort.h", "void f(timetable::AjustaXEL&);", "names"),
    ("logic names a window namespace", "src/timetable/Timetable.h", "void f(tz::intake::gui::Panels*);", "names"),
    ("library links a higher layer", "src/intake/CMakeLists.txt", "target_link_libraries(tz_intake PRIVATE tz_app)", "link"),
    ("logic links its window library", "src/timetable/CMakeLists.txt", "tz_library(tz_timetable2 SOURCES Timetable.h)\n"
     "target_link_libraries(tz_timetable PRIVATE tz_timetable_gui)", "link"),
    ("file named in no target", "src/help/Extra.cpp", "int extra = 0;", "listed"),
    # Allowed: lower layers, windows of lower layers, comments and strings.
    ("step includes a lower step", "src/timetable/Timetable.h", '#include "intake/Intake.h"', None),
    ("help includes base", "src/help/Help.h", '#include "base/UserPort.h"', None),
    ("window includes a lower window", "src/app/gui/MainForm.h", '#include "timetable/gui/Windows.h"', None),
    ("window includes the engine's models", "src/timetable/gui/Windows.h", '#include "tables/qt/Model.h"', None),
    ("window includes Qt", "src/timetable/gui/Windows.h", "#include <QDialog>", None),
    ("batch includes a QtGui-only model", "src/cli/Batch.h", '#include "tables/qt/Model.h"', None),
    ("batch links a QtGui-only library", "src/cli/CMakeLists.txt", "target_link_libraries(tz_cli PRIVATE tz_tables_qt)", None),
    ("a comment names a higher type", "src/base/UserPort.h", "// implemented by timetable::AjustaXEL", None),
    ("a block comment names a higher type", "src/base/UserPort.h", "/* app::Jobs\n   cli::Batch */", None),
    ("a string names a higher type", "src/base/UserPort.h", 'const char* k = "app::Jobs";', None),
    ("a commented-out link", "src/intake/CMakeLists.txt", "# target_link_libraries(tz_intake PRIVATE tz_app)", None),
    ("a system library", "src/help/CMakeLists.txt", "target_link_libraries(tz_help PRIVATE chm)", None),
]


def write_tree(root, extra_file=None, extra_line=None):
    for name, text in CLEAN.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")
    if extra_file:
        path = root / extra_file
        before = path.read_text(encoding="utf-8") if path.exists() else ""
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(before + extra_line + "\n", encoding="utf-8")


def run_checker(root):
    r = subprocess.run([sys.executable, CHECKER, str(root)], capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


class CheckLayers(unittest.TestCase):
    def test_clean_tree_passes(self):
        with tempfile.TemporaryDirectory() as d:
            write_tree(pathlib.Path(d))
            code, out = run_checker(d)
            self.assertEqual(code, 0, out)

    def test_cases(self):
        for what, file, line, kind in CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as d:
                write_tree(pathlib.Path(d), file, line)
                code, out = run_checker(d)
                if kind is None:
                    self.assertEqual(code, 0, out)
                else:
                    self.assertEqual(code, 1, out)
                    problems = [p for p in out.splitlines() if p.startswith("src/")]
                    self.assertEqual(len(problems), 1, out)
                    self.assertIn(f": {kind}: ", problems[0])
                    self.assertTrue(problems[0].startswith(file), out)


if __name__ == "__main__":
    CHECKER = sys.argv.pop(1)
    unittest.main()
