#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "tables/FieldDef.h"

namespace tz::tables {

// Creates an empty table. An existing table of that name (and its .MDX) is replaced.
// `indexes` name fields of the table. Throws EngineError (for instance when another program
// holds the table).
void createTable(const std::filesystem::path& file, const std::vector<FieldDef>& fields,
                 const std::vector<std::string>& indexes);
void createTable(const std::filesystem::path& folder, const TableLayout& layout);

// Deletes NAME.DBF and NAME.MDX (found without regard to letter case) when they exist.
// Failures are ignored; returns true when the .DBF is gone afterwards.
bool deleteTableFiles(const std::filesystem::path& file);

// True when the table file exists (letter case ignored; ".DBF" added when missing).
bool tableExists(const std::filesystem::path& file);

// For a table about to be read as a job's input: throws EngineError "La tabla <file> está
// dañada: la cabecera indica 64 registros y el archivo contiene 37" when its header counts
// records the file does not hold whole, or rows lie beyond the count (see DbfExtent.h), so that
// the job stops instead of working from part of the table. A missing table passes (opening it
// tells); a file that is not a table throws as opening it would.
void checkIntact(const std::filesystem::path& file);

// The rows of the table that are not marked deleted, as a dataset opened over it would count
// them, read from the file without loading it (a table open in this process is counted as it
// stands there). -1 when the table cannot be opened or read.
long liveRowCount(const std::filesystem::path& file);

}  // namespace tz::tables
