#include "storage/storage_operations.h"

#include "storage/collation.h"
#include "storage/file_io.h"
#include "storage/server_clock.h"
#include "storage/server_error.h"
#include "storage/storage_error.h"
#include "storage/storage_messages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace sqlemu {

namespace {

namespace msg = storage_messages;

const OsError kSharingViolation{32, "The process cannot access the file because it is being used by another process."};

// The database using a file, other than the one named by except.
std::optional<DatabaseInfo> databaseUsingFile(const Catalogue &catalogue, const std::filesystem::path &file,
                                              std::string_view except = {})
{
    for (const auto &db : catalogue.databases()) {
        if (!except.empty() && sameName(db.name, except))
            continue;
        for (const auto &f : db.files)
            if (normalisedFilePath(f.physicalName) == file)
                return db;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> filePathsOf(const DatabaseInfo &db)
{
    std::vector<std::filesystem::path> paths;
    for (const auto &f : db.files)
        paths.emplace_back(f.physicalName);
    return paths;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TransferFigures figuresOf(const BackupSetInfo &set, double seconds)
{
    TransferFigures figures;
    figures.databaseName = set.databaseName;
    figures.position = set.position;
    figures.seconds = seconds;
    for (const auto &f : set.files) {
        figures.files.push_back({f.logicalName, f.sizePages});
        figures.totalPages += f.sizePages;
    }
    return figures;
}

bool fileExists(const std::filesystem::path &path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool folderExists(const std::filesystem::path &path)
{
    std::error_code error;
    return std::filesystem::is_directory(path.parent_path(), error);
}

// Whether this process may create files in the folder of the path: the
// errno of the refusal, 0 when it may.
int folderWriteRefusal(const std::filesystem::path &path)
{
    auto folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

// The statement has done its work by now; a history that cannot be saved
// (a full disk) is the server's trouble, written to its log as a real
// server's msdb failure is, not the statement's.
template <class Record> void recordInHistory(Record record)
{
    try {
        record();
    } catch (const StorageError &e) {
        std::fprintf(stderr, "sqlemu: the backup history was not saved: %s\n", e.what());
    }
}

} // namespace

std::filesystem::path normalisedFilePath(const std::filesystem::path &given)
{
    // Clients write Windows paths: a backslash separates folders, as it
    // does for the server they think they talk to.
    std::string text = given.string();
    std::replace(text.begin(), text.end(), '\\', '/');
    const std::filesystem::path path = text;
    std::error_code error;
    auto normal = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
    return error ? std::filesystem::absolute(path).lexically_normal() : normal;
}

std::vector<ServerMessage> TransferFigures::completionMessages(std::string_view statement) const
{
    std::vector<ServerMessage> messages;
    for (const auto &f : files)
        messages.push_back(msg::pagesProcessed(f.pages, databaseName, f.logicalName, position));
    messages.push_back(msg::successfullyProcessed(statement, totalPages, seconds));
    return messages;
}

// Marks a database as used by a backup or restore for the guard's life.
class StorageOperations::BusyGuard {
public:
    BusyGuard(StorageOperations &owner, std::string name)
        : m_owner(owner)
        , m_name(std::move(name))
    {
        m_owner.m_busy.push_back(m_name); // the caller holds m_mutex
    }
    ~BusyGuard()
    {
        std::lock_guard lock(m_owner.m_mutex);
        auto &busy = m_owner.m_busy;
        busy.erase(std::find(busy.begin(), busy.end(), m_name));
    }
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;

private:
    StorageOperations &m_owner;
    std::string m_name;
};

StorageOperations::StorageOperations(Catalogue &catalogue, StorageServerInfo server)
    : m_catalogue(catalogue)
    , m_server(std::move(server))
    , m_history(catalogue.dataDirectory())
    , m_partialFolders(catalogue.dataDirectory())
{}

bool StorageOperations::isBusy(const std::string &database) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_busy.begin(), m_busy.end(), [&](const std::string &n) { return sameName(n, database); });
}

std::vector<std::string> StorageOperations::checkDatabasesOnStart()
{
    std::lock_guard lock(m_mutex);
    m_partialFolders.sweep();
    std::vector<std::string> suspect;
    for (const auto &db : m_catalogue.databases()) {
        // Beside a database's files too: a folder written before the
        // journal existed is in none of its lines.
        for (const auto &f : db.files)
            removeLeftoverPartials(f.physicalName, OwnPartials::LeftBehind);
        if (db.isSystemDatabase() || db.state != DatabaseState::Online)
            continue;
        const DatabaseFile *data = nullptr;
        const DatabaseFile *log = nullptr;
        for (const auto &f : db.files)
            (f.type == DatabaseFileType::Data ? data : log) = &f;
        if (data && log && isWholeDatabaseFilePair(data->physicalName, log->physicalName))
            continue;
        m_catalogue.update(db.name, [](DatabaseInfo &changed) { changed.state = DatabaseState::Suspect; });
        suspect.push_back(db.name);
    }
    return suspect;
}

DatabaseInfo StorageOperations::requireDatabase(const std::string &name, int unknownState) const
{
    auto db = m_catalogue.find(name);
    if (!db)
        throw ServerError(msg::unknownDatabase(name, m_server.oldUnknownDatabaseText, unknownState));
    return *db;
}

const DatabaseFile &StorageOperations::requireLogFile(const DatabaseInfo &database) const
{
    for (const auto &f : database.files)
        if (f.type == DatabaseFileType::Log)
            return f;
    throw ServerError(msg::fileNotInDatabase("2", database.name));
}

void StorageOperations::refreshFileSize(const DatabaseInfo &database, int fileId, std::int64_t sizePages)
{
    m_catalogue.update(database.name, [&](DatabaseInfo &db) {
        for (auto &f : db.files)
            if (f.fileId == fileId)
                f.sizePages = sizePages;
    });
}

DatabaseInfo StorageOperations::attachDatabase(const std::string &name, const std::vector<std::string> &filePaths,
                                               const std::string &owner)
{
    std::lock_guard lock(m_mutex);
    const bool nameBusy
        = std::any_of(m_busy.begin(), m_busy.end(), [&](const std::string &n) { return sameName(n, name); });
    if (nameBusy || m_catalogue.contains(name))
        throw ServerError(msg::databaseExists(name));

    std::vector<std::filesystem::path> paths;
    paths.reserve(filePaths.size());
    for (const auto &p : filePaths)
        paths.push_back(normalisedFilePath(p));
    for (const auto &path : paths)
        if (databaseUsingFile(m_catalogue, path))
            throw ServerError(
                {msg::cannotOpenPhysicalFile(path.string(), kSharingViolation), msg::createDatabaseFailed()});

    DatabaseFilePair pair;
    try {
        pair = readDatabaseFilePair(paths);
    } catch (const ServerError &e) {
        auto messages = e.messages();
        if (e.number() == 5173)
            messages.push_back(msg::couldNotOpenNewDatabase(name));
        else if (e.number() == 5120 || e.number() == 5172)
            messages.push_back(msg::createDatabaseFailed());
        throw ServerError(std::move(messages));
    }

    DatabaseInfo db;
    db.name = name;
    db.created = pair.data.created;
    db.compatibilityLevel = m_server.compatibilityLevel;
    db.owner = owner;
    db.files = pair.catalogueFiles();
    return m_catalogue.add(std::move(db));
}

TransferFigures StorageOperations::backupDatabase(const std::string &name, const std::string &mediaPath,
                                                  const std::string &setName, const std::string &userName,
                                                  const OperationProgress &progress, bool copyOnly)
{
    DatabaseInfo db;
    std::optional<BusyGuard> busy;
    {
        std::lock_guard lock(m_mutex);
        db = requireDatabase(name, 11);
        if (auto refusal = msg::databaseUnavailable(db.name, db.state))
            throw ServerError(*refusal);
        busy.emplace(*this, db.name);
    }
    BackupSetDescription description;
    description.name = setName;
    description.databaseName = db.name;
    description.serverName = m_server.serverName;
    description.userName = userName;
    description.productVersion = m_server.productVersion;
    description.databaseVersion = m_server.databaseVersion;
    description.compatibilityLevel = db.compatibilityLevel;
    description.databaseCreated = db.created;
    description.files = filePathsOf(db);

    const auto media = normalisedFilePath(mediaPath);
    if (const int failure = m_partialFolders.record(media.parent_path()); failure != 0)
        throw ServerError(msg::cannotOpenBackupDevice(media.string(), windowsError(failure), 1));
    const auto start = std::chrono::steady_clock::now();
    const auto set = appendBackupSet(media, description, progress);
    recordInHistory([&] { m_history.recordBackup(set, mediaPath, copyOnly); });
    return figuresOf(set, secondsSince(start));
}

std::vector<std::filesystem::path>
StorageOperations::planRestoreTargets(const RestoreRequest &request, const BackupSetInfo &set,
                                      const std::optional<DatabaseInfo> &existing) const
{
    std::vector<std::filesystem::path> targets;
    std::vector<ServerMessage> problems;
    for (const auto &entry : set.files) {
        std::filesystem::path target = entry.physicalName;
        for (const auto &[logical, path] : request.moves)
            if (sameName(logical, entry.logicalName))
                target = path;
        target = normalisedFilePath(target);
        const std::string shown = target.string();

        const bool ownedByTarget = existing
            && std::any_of(existing->files.begin(), existing->files.end(),
                           [&](const DatabaseFile &f) { return normalisedFilePath(f.physicalName) == target; });
        if (!folderExists(target)) {
            problems.push_back(msg::directoryLookupFailed(shown, windowsError(ENOENT, target)));
            problems.push_back(msg::fileCannotBeRestored(entry.logicalName, shown, 3));
        } else if (const int refusal = folderWriteRefusal(target)) {
            // The server's account may not create files there: refused while
            // planning, before anything is written.
            problems.push_back(msg::operatingSystemError(windowsError(refusal, target),
                                                         "RestoreContainer::ValidateTargetForCreation", shown));
            problems.push_back(msg::fileCannotBeRestored(entry.logicalName, shown, 8));
        } else if (auto other = databaseUsingFile(m_catalogue, target, existing ? existing->name : std::string())) {
            problems.push_back(msg::fileInUseByDatabase(shown, other->name));
            problems.push_back(msg::fileCannotBeRestored(entry.logicalName, shown, 4));
        } else if (std::find(targets.begin(), targets.end(), target) != targets.end()) {
            problems.push_back(msg::fileCannotBeRestored(entry.logicalName, shown, 2));
        } else if (!ownedByTarget && !request.replace && fileExists(target)) {
            problems.push_back(msg::cannotRestoreOverExisting(entry.logicalName, shown));
        }
        targets.push_back(target);
    }
    if (!problems.empty()) {
        problems.push_back(msg::restorePlanningProblems());
        throw ServerError(std::move(problems));
    }
    return targets;
}

TransferFigures StorageOperations::restoreDatabase(const RestoreRequest &request, const OperationProgress &progress)
{
    const auto mediaPath = normalisedFilePath(request.mediaPath);
    const auto set = readBackupSet(mediaPath, request.position);
    for (const auto &[logical, path] : request.moves)
        if (!set.fileByLogicalName(logical))
            throw ServerError(msg::logicalFileNotInBackup(logical, set.databaseName));

    std::optional<DatabaseInfo> existing;
    std::vector<std::filesystem::path> targets;
    std::vector<DatabaseFile> files;
    std::optional<BusyGuard> busy;
    {
        std::lock_guard lock(m_mutex);
        if (std::any_of(m_busy.begin(), m_busy.end(),
                        [&](const std::string &n) { return sameName(n, request.databaseName); }))
            throw ServerError(msg::exclusiveAccessNotObtained());
        existing = m_catalogue.find(request.databaseName);
        if (existing && !request.replace) {
            if (sameName(existing->name, set.databaseName))
                throw ServerError(msg::tailLogNotBackedUp(existing->name));
            throw ServerError(msg::backupOfOtherDatabase(existing->name));
        }
        targets = planRestoreTargets(request, set, existing);
        // Before anything changes: a restore whose partial files could not
        // be found again after a kill does not start.
        for (const auto &target : targets) {
            if (const int failure = m_partialFolders.record(target.parent_path()); failure != 0)
                throw ServerError(
                    {msg::createFileFailed(target.string(), windowsError(failure)), msg::restorePlanningProblems()});
        }
        for (std::size_t i = 0; i < set.files.size(); ++i) {
            const auto &entry = set.files[i];
            DatabaseFile f;
            f.fileId = entry.fileId;
            f.type = entry.type;
            f.logicalName = entry.logicalName;
            f.physicalName = targets[i].string();
            f.sizePages = entry.sizePages;
            files.push_back(std::move(f));
        }
        busy.emplace(*this, request.databaseName);
        // From here until the new files are in place the database is not
        // whole; the catalogue says so, so a kill, a cancel or a client that
        // goes away leaves it restoring, as a real server does. A database
        // the restore replaces keeps naming its old files, whole on disk
        // since the new ones are renamed into place only when complete; a
        // new one is listed at once, as a real server lists it (DB_ID finds
        // it for sys.dm_exec_requests), naming the files to come, so a DROP
        // or a later RESTORE ... WITH REPLACE finds nothing of another's.
        if (existing) {
            m_catalogue.update(existing->name, [](DatabaseInfo &db) { db.state = DatabaseState::Restoring; });
        } else {
            DatabaseInfo db;
            db.name = request.databaseName;
            db.created = set.databaseCreated;
            db.compatibilityLevel = set.compatibilityLevel;
            db.files = files;
            db.state = DatabaseState::Restoring;
            db.owner = request.userName;
            m_catalogue.add(std::move(db));
        }
    }

    const auto start = std::chrono::steady_clock::now();
    const DateTimeValue restoreDate = serverNow();
    // A failure found by the storage or the server leaves the target as it
    // was before the statement.
    const auto keepAsItWas = [&] {
        std::lock_guard lock(m_mutex);
        if (existing)
            m_catalogue.update(existing->name, [&](DatabaseInfo &db) { db.state = existing->state; });
        else
            m_catalogue.remove(request.databaseName);
    };
    try {
        restoreBackupSet(mediaPath, request.position, targets, progress);
    } catch (const OperationCancelled &) {
        throw; // restoring it stays
    } catch (const ServerError &e) {
        keepAsItWas();
        if (e.number() != 5133)
            throw;
        auto messages = e.messages();
        messages.push_back(msg::restorePlanningProblems());
        throw ServerError(std::move(messages));
    } catch (const std::exception &) {
        keepAsItWas();
        throw;
    }
    // Anything else is the caller's progress report finding the client
    // gone: an abandoned restore, which leaves the target restoring too.

    {
        std::lock_guard lock(m_mutex);
        m_catalogue.update(request.databaseName, [&](DatabaseInfo &db) {
            db.files = files;
            db.state = DatabaseState::Online;
            db.created = set.databaseCreated;
        });
        if (existing) {
            // The replaced database's files that the restore did not
            // overwrite belong to nobody now.
            for (const auto &old : existing->files) {
                const auto path = normalisedFilePath(old.physicalName);
                if (std::find(targets.begin(), targets.end(), path) == targets.end()) {
                    std::error_code ignored;
                    std::filesystem::remove(path, ignored);
                }
            }
        }
    }
    recordInHistory([&] {
        m_history.recordRestore(
            {set, request.mediaPath, request.databaseName, request.userName, restoreDate, request.replace});
    });
    auto figures = figuresOf(set, secondsSince(start));
    figures.databaseName = request.databaseName;
    return figures;
}

std::vector<BackupSetInfo> StorageOperations::backupHeaders(const std::string &mediaPath) const
{
    return readBackupSets(normalisedFilePath(mediaPath));
}

BackupSetInfo StorageOperations::backupFileList(const std::string &mediaPath, int position) const
{
    return readBackupSet(normalisedFilePath(mediaPath), position);
}

void StorageOperations::verifyBackup(const std::string &mediaPath, int position,
                                     const OperationProgress &progress) const
{
    verifyBackupSet(normalisedFilePath(mediaPath), position, progress);
}

void StorageOperations::dropDatabase(const std::string &name)
{
    DatabaseInfo db;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_catalogue.find(name);
        if (!found)
            throw ServerError(msg::cannotDropMissing(name));
        db = *found;
        if (db.isSystemDatabase())
            throw ServerError(msg::cannotDropSystemDatabase(db.name));
        if (std::any_of(m_busy.begin(), m_busy.end(), [&](const std::string &n) { return sameName(n, db.name); }))
            throw ServerError(msg::cannotDropInUse(db.name));
        m_catalogue.remove(db.name);
    }
    // The files of a database dropped while offline stay on disk, as a real
    // server leaves them.
    if (db.state == DatabaseState::Offline)
        return;
    // Gone from the catalogue first: a kill now leaves unused files, never
    // a listed database without its files.
    for (const auto &path : filePathsOf(db)) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        syncFolder(path.parent_path());
    }
}

ShrinkFigures StorageOperations::shrinkFile(const std::string &database, const std::string &file,
                                            std::int64_t targetMegabytes)
{
    const auto db = requireDatabase(database, 1);
    const DatabaseFile *target = nullptr;
    for (const auto &f : db.files)
        if (sameName(f.logicalName, file) || std::to_string(f.fileId) == file)
            target = &f;
    if (!target)
        throw ServerError(msg::fileNotInDatabase(file, db.name));
    auto figures = shrinkDatabaseFile(target->physicalName, targetMegabytes);
    figures.dbId = db.id;
    refreshFileSize(db, target->fileId, figures.currentSize);
    return figures;
}

void StorageOperations::truncateLog(const std::string &database)
{
    const auto db = requireDatabase(database, 10);
    truncateLogFile(requireLogFile(db).physicalName);
}

void StorageOperations::growLog(const std::string &database, std::int64_t megabytes)
{
    const auto db = requireDatabase(database, 1);
    const auto &log = requireLogFile(db);
    const auto header = growLogFile(log.physicalName, megabytes * kPagesPerMegabyte);
    refreshFileSize(db, log.fileId, header.sizePages);
}

} // namespace sqlemu
