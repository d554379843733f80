#pragma once

#include "storage/database_info.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace sqlemu {

// The databases of one instance: names, ids, states and files. It holds
// metadata only; the files themselves belong to the database file and
// backup media classes that work beside it.
//
// Every change is saved at once, atomically, to catalogue.json in the
// instance's folder; a change that cannot be saved is undone and reported
// (StorageError), so memory and disk never disagree. Thread-safe.
class Catalogue {
public:
    static constexpr const char *kFileName = "catalogue.json";

    // Loads the catalogue of the instance kept in dataDir, creating the folder
    // and a catalogue of the system databases when there is none. A catalogue
    // that exists but does not load is an error, never silently replaced.
    static std::unique_ptr<Catalogue> open(const std::filesystem::path &dataDir, int compatibilityLevel);

    const std::filesystem::path &dataDirectory() const { return m_dataDir; }
    std::filesystem::path filePath() const { return m_dataDir / kFileName; }

    // Every database, in dbid order (the order sysdatabases shows).
    std::vector<DatabaseInfo> databases() const;
    std::optional<DatabaseInfo> find(std::string_view name) const; // compared as the collation does
    std::optional<DatabaseInfo> findById(int id) const;
    bool contains(std::string_view name) const { return find(name).has_value(); }

    // Adds a database under the lowest free dbid above the system databases
    // (ids of dropped databases are used again, as on a real server) and
    // returns it as stored. Throws StorageError when the name is taken.
    DatabaseInfo add(DatabaseInfo database);

    // Changes one database in place; false when there is none by that name.
    // The change may not alter the id; a rename must not clash.
    bool update(std::string_view name, const std::function<void(DatabaseInfo &)> &change);

    // Removes a database from the catalogue; false when there is none.
    bool remove(std::string_view name);

private:
    Catalogue(std::filesystem::path dataDir, std::vector<DatabaseInfo> databases);
    void saveLocked() const;
    std::vector<DatabaseInfo>::iterator findLocked(std::string_view name);

    const std::filesystem::path m_dataDir;
    mutable std::mutex m_mutex;
    std::vector<DatabaseInfo> m_databases; // sorted by id
};

} // namespace sqlemu
