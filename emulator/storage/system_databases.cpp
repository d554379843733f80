#include "storage/system_databases.h"

#include "storage/catalogue.h"
#include "storage/database_file.h"
#include "storage/server_clock.h"

#include <system_error>

namespace sqlemu {

namespace {

struct SystemDatabaseLayout {
    const char *name;
    const char *dataLogical;
    const char *dataFile;
    const char *logLogical;
    const char *logFile;
    std::int64_t dataPages;
    std::int64_t logPages;
};

constexpr SystemDatabaseLayout kLayouts[] = {
    {"master", "master", "master.mdf", "mastlog", "mastlog.ldf", 512, 128},
    {"tempdb", "tempdev", "tempdb.mdf", "templog", "templog.ldf", 1024, 64},
    {"model", "modeldev", "model.mdf", "modellog", "modellog.ldf", 160, 64},
    {"msdb", "MSDBData", "MSDBData.mdf", "MSDBLog", "MSDBLog.ldf", 1536, 320},
};

} // namespace

std::vector<DatabaseInfo> systemDatabases(const std::filesystem::path &dataDir, int compatibilityLevel)
{
    const DateTimeValue now = serverNow();
    std::vector<DatabaseInfo> databases;
    int id = 1;
    for (const auto &layout : kLayouts) {
        DatabaseInfo db;
        db.id = id++;
        db.name = layout.name;
        db.created = now;
        db.compatibilityLevel = compatibilityLevel;
        // As a new instance has them: only model, the pattern of new
        // databases, keeps its log for log backups.
        db.recoveryModel = std::string_view(layout.name) == "model" ? RecoveryModel::Full : RecoveryModel::Simple;
        db.files.push_back({1, DatabaseFileType::Data, layout.dataLogical, (dataDir / layout.dataFile).string(),
                            layout.dataPages, -1, 10, true});
        db.files.push_back({2, DatabaseFileType::Log, layout.logLogical, (dataDir / layout.logFile).string(),
                            layout.logPages, -1, 10, true});
        databases.push_back(std::move(db));
    }
    return databases;
}

std::vector<std::string> createMissingSystemDatabaseFiles(Catalogue &catalogue)
{
    std::vector<std::string> failed;
    for (const auto &db : catalogue.databases()) {
        if (!db.isSystemDatabase() || db.files.size() != 2)
            continue;
        std::error_code error;
        if (std::filesystem::exists(db.files[0].physicalName, error)
            || std::filesystem::exists(db.files[1].physicalName, error))
            continue; // whatever is there is the user's to mend, never overwritten
        const auto pageMegabytes = [](std::int64_t pages) { return std::max<std::int64_t>(1, (pages + 127) / 128); };
        NewDatabaseFiles files;
        files.name = db.name;
        files.dataPath = db.files[0].physicalName;
        files.logPath = db.files[1].physicalName;
        files.dataSizeMegabytes = pageMegabytes(db.files[0].sizePages);
        files.logSizeMegabytes = pageMegabytes(db.files[1].sizePages);
        files.logicalDataName = db.files[0].logicalName;
        files.logicalLogName = db.files[1].logicalName;
        try {
            const DatabaseFilePair pair = createDatabaseFiles(files);
            catalogue.update(db.name, [&](DatabaseInfo &changed) {
                const auto written = pair.catalogueFiles();
                for (std::size_t i = 0; i < changed.files.size(); ++i)
                    changed.files[i].sizePages = written[i].sizePages;
            });
        } catch (const std::exception &) {
            failed.push_back(db.name);
        }
    }
    return failed;
}

} // namespace sqlemu
