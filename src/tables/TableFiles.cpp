#include "tables/TableFiles.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "tables/DbfExtent.h"
#include "tables/DbfFormat.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "tables/Table.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;

// The table file a name stands for: mapped, ".DBF" added when there is no extension, and the
// on-disk spelling of what exists.
fs::path tableFile(const fs::path& file) {
    fs::path p = mapPath(file.string());
    if (!p.has_extension()) p = findExisting(p.string() + ".DBF");
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
    return "La tabla " + p.string() + " está siendo usada por otro programa";
}

// Fails when this process or another one has the table open; otherwise returns the file held
// exclusively (or closed when it does not exist) until the caller is done with it.
FileIo holdExclusively(const fs::path& p) {
    if (Table::isOpen(p)) throw EngineError(busy(p));
    if (!isFile(p)) return {};
    FileIo probe;
    try {
        probe = FileIo(p, FileIo::Access::ReadWrite);
    } catch (const EngineError&) {
        probe = FileIo(p, FileIo::Access::Read);
    }
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
    std::string name = p.stem().string();
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

    // The new table is written beside the old one and renamed over it, so a failure leaves the
    // old table as it was.
    dbf::Layout layout = dbf::makeLayout(fields);
    std::string bytes = dbf::buildHeader(layout, 0, false);
    bytes.push_back(static_cast<char>(dbf::kEndOfFile));
    fs::path tmp =
        p.parent_path() / ("." + p.filename().string() + ".new" + std::to_string(::getpid()));
    try {
        FileIo out(tmp, FileIo::Access::Create);
        out.writeAt(bytes.data(), bytes.size(), 0);
        out.sync();
        out.close();
        fs::path mdx = indexFileOf(p);
        if (isFile(mdx)) removeFile(mdx);
        renameFile(tmp, p);
    } catch (const EngineError& e) {
        std::error_code ec;
        fs::remove(tmp, ec);
        // Told by the table's name: the file written beside it is the engine's own business.
        std::string why = e.what();
        if (e.errorSistema() == ENOENT && !fs::is_directory(p.parent_path(), ec))
            why = "no existe la carpeta " + p.parent_path().string();
        else if (e.errorSistema() != 0)
            why = razonSistema(e.errorSistema());
        for (std::size_t at; (at = why.find(tmp.string())) != std::string::npos;)
            why.replace(at, tmp.string().size(), p.string());
        throw EngineError("No se puede crear la tabla " + p.string() + ": " + why,
                          e.errorSistema());
    }
    held.close();
    rememberIndexes(p, idx);
    if (indexFileHooks().created) indexFileHooks().created(p, layout.fields, idx);
}

void createTable(const fs::path& folder, const TableLayout& layout) {
    fs::path dir = mapPath(folder.string());
    createTable(findExisting(dir / layout.fileName), layout.fields, layout.indexes);
}

bool deleteTableFiles(const fs::path& file) {
    fs::path p = tableFile(file);
    FileIo held = holdExclusively(p);
    try {
        if (isFile(p)) removeFile(p);
    } catch (const EngineError&) {
        // The result tells whether the table is gone.
    }
    held.close();
    try {
        fs::path mdx = indexFileOf(p);
        if (isFile(mdx)) removeFile(mdx);
    } catch (const EngineError&) {
    }
    return !isFile(p);
}

bool tableExists(const fs::path& file) { return isFile(tableFile(file)); }

void checkIntact(const fs::path& file) {
    fs::path p = tableFile(file);
    if (!isFile(p)) return;
    FileIo io(p, FileIo::Access::Read);
    const dbf::Extent e = dbf::measure(io, dbf::readLayout(io, p));
    if (!e.intact()) throw EngineError(dbf::damageText(p, e));
}

}  // namespace tz::tables
