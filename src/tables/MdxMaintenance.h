#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tables/FieldDef.h"
#include "tables/MdxIndex.h"
#include "tables/Table.h"

// Keeps the production index (NAME.MDX) of every table the engine writes true to its data.
//
// When it is written:
//   - createTable with indexes: an index with every tag empty, then header byte 28 = 1 and
//     byte 31 of each indexed field's descriptor, so the flags never point at a missing file.
//   - The first change to a table in a session builds the index from the table's records and
//     writes it whole (a temporary file renamed over NAME.MDX), so a missing or damaged index
//     file, or one left by another program, is replaced by a correct one. A table this process
//     closed with its index current is the exception: opened again while neither file changed
//     (same file, size and times), its index is taken up as it was and only changed in place.
//   - After that, each change updates the in-memory tree and only the blocks it touched are
//     written, in place: for a table written through (shared) right after the row reaches the
//     .DBF (so another program never finds a row the index lacks, nor a key the row no longer
//     has); for a table whose rows wait in memory (held exclusively, or in a write batch) when
//     they are written, so the index never runs ahead of the rows on disk. An append changes
//     one leaf per tag (plus a parent now and then): constant work, not a rewrite.
//   - A bulk load (more than 2,000 rows appended in one session written through; for rows that
//     wait in memory, more than a few hundred or an eighth of the table) stops the
//     entry-by-entry upkeep: the index is built once from the rows when they are written (at
//     the next flush, the end of the batch or close; a shared table written through: at close).
//     Meanwhile a shared table's header byte 28 is 0, so dBase programs open it without the
//     index instead of trusting a stale one.
//   - When the index cannot be written, header byte 28 is cleared, so that dBase programs open
//     the table without it rather than trust a stale index; the next write rebuilds it.
//
// Deleted rows keep their keys, as dBase itself does: other dBase programs that show deleted
// rows, recall or pack them find every record of the file in every tag.
//
// Tags are the table's indexes whose field is character (up to 100 bytes) or numeric; an index
// over another kind of field is left out of the file. Tags another program added with key
// expressions of its own are not kept when the file is rebuilt.
namespace tz::tables::mdx {

// The engine hooks that do the above (the engine installs them by default).
IndexFileHooks productionIndexHooks();

// NAME.MDX beside NAME.DBF: the existing file whatever its letter case, else with the
// extension in the letter case of the table's.
std::filesystem::path indexFileFor(const std::filesystem::path& dbf);

// The tags of an index file whose key is a plain field (the expression is the tag name), read
// from its header; empty when the file is missing or is not an index file.
std::vector<std::string> readTagNames(const std::filesystem::path& mdx);

// The tag of an index over `field`, or nothing when that field cannot be a tag.
std::optional<TagSpec> tagFor(const FieldDef& field);

}  // namespace tz::tables::mdx
