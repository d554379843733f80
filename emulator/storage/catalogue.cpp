#include "storage/catalogue.h"

#include "storage/atomic_file.h"
#include "storage/catalogue_json.h"
#include "storage/collation.h"
#include "storage/storage_error.h"
#include "storage/system_databases.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace sqlemu {

namespace {

constexpr int kFirstUserDatabaseId = 5;
constexpr int kMaxDatabaseId = 32767;

std::string readWholeFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw StorageError("Cannot read " + path.string());
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        throw StorageError("Cannot read " + path.string());
    return buffer.str();
}

void sortById(std::vector<DatabaseInfo> &databases)
{
    std::sort(databases.begin(), databases.end(),
              [](const DatabaseInfo &a, const DatabaseInfo &b) { return a.id < b.id; });
}

} // namespace

Catalogue::Catalogue(std::filesystem::path dataDir, std::vector<DatabaseInfo> databases)
    : m_dataDir(std::move(dataDir))
    , m_databases(std::move(databases))
{
    sortById(m_databases);
}

std::unique_ptr<Catalogue> Catalogue::open(const std::filesystem::path &folder, int compatibilityLevel)
{
    // File names in the catalogue are full paths, as a real server shows them.
    const std::filesystem::path dataDir = std::filesystem::absolute(folder);
    std::error_code error;
    std::filesystem::create_directories(dataDir, error);
    if (error)
        throw StorageError("Cannot create " + dataDir.string() + ": " + error.message());

    const auto path = dataDir / kFileName;
    // A temporary file is what a crash during a save leaves; the catalogue
    // itself is whole, so the leftover is only clutter.
    std::filesystem::remove(temporaryPathFor(path), error);

    if (!std::filesystem::exists(path)) {
        std::unique_ptr<Catalogue> fresh(new Catalogue(dataDir, systemDatabases(dataDir, compatibilityLevel)));
        {
            std::lock_guard lock(fresh->m_mutex);
            fresh->saveLocked();
        }
        return fresh;
    }
    try {
        return std::unique_ptr<Catalogue>(new Catalogue(dataDir, catalogueFromJson(readWholeFile(path))));
    } catch (const StorageError &e) {
        throw StorageError(path.string() + ": " + e.what());
    }
}

std::vector<DatabaseInfo> Catalogue::databases() const
{
    std::lock_guard lock(m_mutex);
    return m_databases;
}

std::optional<DatabaseInfo> Catalogue::find(std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    for (const auto &db : m_databases)
        if (sameName(db.name, name))
            return db;
    return std::nullopt;
}

std::optional<DatabaseInfo> Catalogue::findById(int id) const
{
    std::lock_guard lock(m_mutex);
    for (const auto &db : m_databases)
        if (db.id == id)
            return db;
    return std::nullopt;
}

std::vector<DatabaseInfo>::iterator Catalogue::findLocked(std::string_view name)
{
    return std::find_if(m_databases.begin(), m_databases.end(),
                        [&](const DatabaseInfo &db) { return sameName(db.name, name); });
}

DatabaseInfo Catalogue::add(DatabaseInfo database)
{
    std::lock_guard lock(m_mutex);
    if (database.name.empty())
        throw StorageError("A database needs a name");
    if (findLocked(database.name) != m_databases.end())
        throw StorageError("Database " + database.name + " already exists");
    int id = kFirstUserDatabaseId;
    for (const auto &db : m_databases)
        if (db.id == id)
            ++id;
    if (id > kMaxDatabaseId)
        throw StorageError("No database id is free");
    database.id = id;
    const auto previous = m_databases;
    m_databases.push_back(database);
    sortById(m_databases);
    try {
        saveLocked();
    } catch (...) {
        m_databases = previous;
        throw;
    }
    return database;
}

bool Catalogue::update(std::string_view name, const std::function<void(DatabaseInfo &)> &change)
{
    std::lock_guard lock(m_mutex);
    auto it = findLocked(name);
    if (it == m_databases.end())
        return false;
    DatabaseInfo changed = *it;
    change(changed);
    if (changed.id != it->id)
        throw StorageError("A database keeps its id");
    for (const auto &other : m_databases)
        if (other.id != changed.id && sameName(other.name, changed.name))
            throw StorageError("Database " + changed.name + " already exists");
    const DatabaseInfo previous = *it;
    *it = std::move(changed);
    try {
        saveLocked();
    } catch (...) {
        *it = previous;
        throw;
    }
    return true;
}

bool Catalogue::remove(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    auto it = findLocked(name);
    if (it == m_databases.end())
        return false;
    const auto previous = m_databases;
    m_databases.erase(it);
    try {
        saveLocked();
    } catch (...) {
        m_databases = previous;
        throw;
    }
    return true;
}

void Catalogue::saveLocked() const
{
    writeFileAtomically(filePath(), catalogueToJson(m_databases));
}

} // namespace sqlemu
