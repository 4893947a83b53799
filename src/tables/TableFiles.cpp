#include "tables/TableFiles.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/System.h"

#include "tables/Dataset.h"
#include "tables/DbfExtent.h"
#include "tables/DbfFormat.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "tables/Table.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;

// The table file a path stands for: ".DBF" added when there is no extension, and the on-disk
// spelling of what exists.
fs::path tableFile(const fs::path& file) {
    fs::path p = findExisting(file);
    if (!p.has_extension()) p = findExisting(fs::path(p).concat(".DBF"));
    return p;
}

fs::path indexFileOf(const fs::path& dbf) {
    fs::path m = dbf;
    m.replace_extension(".MDX");
    return findExisting(m);
}

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

std::string busy(const fs::path& p) {
    return "La tabla " + shown(p) + " está siendo usada por otro programa";
}

// Fails when this process or another one has the table open; otherwise returns the file held
// exclusively (or closed when it does not exist) until the caller is done with it.
FileIo holdExclusively(const fs::path& p) {
    if (Table::isOpen(p)) throw EngineError(busy(p));
    if (!isFile(p)) return {};
    std::error_code failure;
    FileIo probe(p, FileIo::Access::ReadWrite, failure);
    if (failure && platform::isBusy(failure)) throw EngineError(busy(p));  // a Windows share mode
    if (failure) probe = FileIo(p, FileIo::Access::Read);
    if (!probe.tryLock(true)) throw EngineError(busy(p));
    return probe;
}

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void createTable(const fs::path& file, const std::vector<FieldDef>& fields,
                 const std::vector<std::string>& indexes) {
    fs::path p = tableFile(file);
    std::string name = platform::utf8(p.stem());
    dbf::checkNewFields(fields, name);
    std::vector<std::string> idx;
    for (const auto& i : indexes) {
        bool found = false;
        for (const auto& f : fields) found = found || dbf::fieldKey(f.name) == dbf::fieldKey(i);
        if (!found) {
            throw EngineError("No se puede crear la tabla " + name + ": el índice " + i +
                              " no corresponde a ningún campo");
        }
        idx.push_back(upper(i));
    }
    FileIo held = holdExclusively(p);
    Table::forget(p);

    // The new table is written beside the old one and renamed over it, so a failure leaves the
    // old table as it was. The old index is first moved aside and only deleted once the new
    // table is in place: a table is never left without the index its header names (the new
    // one names none until its own is written), and a rename that fails (on Windows, a file
    // another program holds open) puts the index back.
    dbf::Layout layout = dbf::makeLayout(fields);
    std::string bytes = dbf::buildHeader(layout, 0, false);
    bytes.push_back(static_cast<char>(dbf::kEndOfFile));
    const std::string stamp = std::to_string(platform::processId());
    fs::path tmp =
        p.parent_path() / platform::pathFromUtf8("." + shown(p.filename()) + ".new" + stamp);
    const fs::path mdx = indexFileOf(p);
    const fs::path oldMdx =
        p.parent_path() / platform::pathFromUtf8("." + shown(mdx.filename()) + ".old" + stamp);
    bool movedMdx = false;
    try {
        FileIo out(tmp, FileIo::Access::Create);
        out.writeAt(bytes.data(), bytes.size(), 0);
        out.sync();
        out.close();
        // Where an open file cannot be renamed over, our own hold goes just before.
        if (!platform::kOpenFileCanBeReplaced) held.close();
        if (isFile(mdx)) {
            renameFile(mdx, oldMdx);
            movedMdx = true;
        }
        renameFile(tmp, p);
    } catch (const EngineError& e) {
        std::error_code ec;
        fs::remove(tmp, ec);
        if (movedMdx) {
            try {
                renameFile(oldMdx, mdx);
            } catch (const EngineError&) {
                // Nothing more can be done: the old index stays under its moved name.
            }
        }
        // Told by the table's name: the file written beside it is the engine's own business.
        std::string why = e.what();
        const std::error_code& err = e.errorSistema();
        if (platform::isNotFound(err) && !fs::is_directory(p.parent_path(), ec))
            why = "no existe la carpeta " + shown(p.parent_path());
        else if (err)
            why = platform::errorText(err);
        // The index moved aside is told by its own name too.
        for (const auto& [temporary, known] :
             {std::pair(shown(tmp), shown(p)), std::pair(shown(oldMdx), shown(mdx))}) {
            for (std::size_t at; (at = why.find(temporary)) != std::string::npos;)
                why.replace(at, temporary.size(), known);
        }
        throw EngineError("No se puede crear la tabla " + shown(p) + ": " + why, err);
    }
    if (movedMdx) {
        try {
            removeFile(oldMdx);
        } catch (const EngineError&) {
            // A left-over copy of an old index, named so that no table takes it.
        }
    }
    held.close();
    rememberIndexes(p, idx);
    if (indexFileHooks().created) indexFileHooks().created(p, layout.fields, idx);
}

void createTable(const fs::path& folder, const TableLayout& layout) {
    createTable(findExisting(folder / layout.fileName), layout.fields, layout.indexes);
}

bool deleteTableFiles(const fs::path& file) {
    fs::path p = tableFile(file);
    FileIo held = holdExclusively(p);
    Table::forget(p);
    if (!platform::kOpenFileCanBeReplaced) held.close();  // an open file cannot be deleted there
    // The index goes aside first and is deleted only with the table, so that a table that
    // stays (another program holds it) keeps its index, and an index held elsewhere keeps its
    // table.
    const fs::path mdx = indexFileOf(p);
    const fs::path aside =
        p.parent_path() / platform::pathFromUtf8("." + shown(mdx.filename()) + ".old" +
                                                 std::to_string(platform::processId()));
    bool movedMdx = false;
    try {
        if (isFile(mdx)) {
            renameFile(mdx, aside);
            movedMdx = true;
        }
        if (isFile(p)) removeFile(p);
    } catch (const EngineError&) {
        // The result tells whether the table is gone.
    }
    held.close();
    const bool gone = !isFile(p);
    try {
        if (movedMdx && gone) removeFile(aside);
        if (movedMdx && !gone) renameFile(aside, mdx);
    } catch (const EngineError&) {
    }
    return gone;
}

bool tableExists(const fs::path& file) { return isFile(tableFile(file)); }

void checkIntact(const fs::path& file) {
    fs::path p = tableFile(file);
    if (!isFile(p)) return;
    FileIo io(p, FileIo::Access::Read);
    const dbf::Extent e = dbf::measure(io, dbf::readLayout(io, p));
    if (!e.intact()) throw EngineError(dbf::damageText(p, e));
}

long liveRowCount(const fs::path& file) {
    try {
        const fs::path p = tableFile(file);
        if (Table::isOpen(p)) {
            Dataset ds;
            ds.open(p, OpenMode::ReadOnly);
            return ds.recordCount();
        }
        if (const auto kept = Table::keptLiveRows(p)) return static_cast<long>(*kept);
        std::error_code failure;
        FileIo io(p, FileIo::Access::Read, failure);
        if (failure) return -1;
        const dbf::Layout layout = dbf::readLayout(io, p);
        const std::uint32_t n = dbf::measure(io, layout).usable();
        const std::size_t len = layout.recordLength;
        // The deletion flags, a block of whole records at a time.
        const std::size_t perBlock = std::max<std::size_t>(1, (std::size_t{1} << 20) / len);
        std::vector<char> buf(perBlock * len);
        long live = 0;
        for (std::uint32_t at = 0; at < n;) {
            const std::size_t k = std::min<std::size_t>(perBlock, n - at);
            const std::uint64_t from = layout.headerLength + std::uint64_t{at} * len;
            if (io.readAt(buf.data(), k * len, from) != k * len) return -1;
            for (std::size_t i = 0; i < k; ++i) live += buf[i * len] != dbf::kDeleted;
            at += static_cast<std::uint32_t>(k);
        }
        return live;
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace tz::tables
