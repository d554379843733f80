#include "storage/storage_messages.h"

#include <cmath>
#include <cstdio>

namespace sqlemu::storage_messages {

namespace {

ServerMessage make(int number, int severity, int state, std::string text)
{
    return makeServerMessage(number, severity, state, std::move(text));
}

ServerMessage info(int number, std::string text)
{
    return make(number, 0, 1, std::move(text));
}

std::string s(std::string_view v)
{
    return std::string(v);
}

// "%d.%03d": whole part and thousandths, as the server prints durations
// and rates.
std::string thousandths(double value)
{
    if (value < 0)
        value = 0;
    const long long scaled = std::llround(value * 1000.0);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%lld.%03lld", scaled / 1000, scaled % 1000);
    return buffer;
}

} // namespace

ServerMessage percentProcessed(int percent)
{
    return info(3211, std::to_string(percent) + " percent processed.");
}

ServerMessage pagesProcessed(std::int64_t pages, std::string_view database, std::string_view logicalFile, int position)
{
    return info(4035,
                "Processed " + std::to_string(pages) + " pages for database '" + s(database) + "', file '"
                    + s(logicalFile) + "' on file " + std::to_string(position) + ".");
}

ServerMessage successfullyProcessed(std::string_view statement, std::int64_t pages, double seconds)
{
    // A real server never reports zero time; neither do we divide by it.
    if (seconds < 0.001)
        seconds = 0.001;
    const double megabytesPerSecond = static_cast<double>(pages) * 8192.0 / 1048576.0 / seconds;
    return info(3014,
                s(statement) + " successfully processed " + std::to_string(pages) + " pages in " + thousandths(seconds)
                    + " seconds (" + thousandths(megabytesPerSecond) + " MB/sec).");
}

ServerMessage backupSetValid(int position)
{
    return info(3262, "The backup set on file " + std::to_string(position) + " is valid.");
}

ServerMessage dbccCompleted()
{
    return info(2528, "DBCC execution completed. If DBCC printed error messages, contact your system administrator.");
}

ServerMessage cannotOpenPhysicalFile(std::string_view path, const OsError &error)
{
    return make(5120, 16, 101,
                "Unable to open the physical file \"" + s(path) + "\". Operating system error "
                    + std::to_string(error.code) + ": \"" + error.numbered() + "\".");
}

ServerMessage invalidFileHeader(std::string_view path, std::string_view property)
{
    return make(5172, 16, 15,
                "The header for file '" + s(path) + "' is not a valid database file header. The " + s(property)
                    + " property is incorrect.");
}

ServerMessage filesDoNotMatch()
{
    return make(5173, 16, 1,
                "One or more files do not match the primary file of the database. If you are attempting to attach a "
                "database, retry the operation with the correct files.  If this is an existing database, the file may "
                "be corrupted and should be restored from a backup.");
}

ServerMessage newerDatabaseVersion(std::string_view database, int version, int supported)
{
    return make(948, 20, 1,
                "The database '" + s(database) + "' cannot be opened because it is version " + std::to_string(version)
                    + ". This server supports version " + std::to_string(supported)
                    + " and earlier. A downgrade path is not supported.");
}

ServerMessage createDatabaseFailed()
{
    return make(1802, 16, 7,
                "CREATE DATABASE failed. Some file names listed could not be created. Check related errors.");
}

ServerMessage couldNotOpenNewDatabase(std::string_view database)
{
    return make(1813, 16, 2, "Could not open new database '" + s(database) + "'. CREATE DATABASE is aborted.");
}

ServerMessage databaseExists(std::string_view database)
{
    return make(1801, 16, 3, "Database '" + s(database) + "' already exists. Choose a different database name.");
}

ServerMessage cannotCreateFile(std::string_view path)
{
    return make(5170, 16, 1,
                "Cannot create file '" + s(path)
                    + "' because it already exists. Change the file path or the file name, and retry the "
                      "operation.");
}

ServerMessage createFileFailed(std::string_view path, const OsError &error)
{
    return make(5123, 16, 1,
                "CREATE FILE encountered operating system error " + error.numbered()
                    + " while attempting to open or create the physical file '" + s(path) + "'.");
}

ServerMessage cannotDropMissing(std::string_view database)
{
    return make(3701, 11, 1,
                "Cannot drop the database '" + s(database)
                    + "', because it does not exist or you do not have permission.");
}

ServerMessage cannotDropInUse(std::string_view database)
{
    return make(3702, 16, 4, "Cannot drop database \"" + s(database) + "\" because it is currently in use.");
}

ServerMessage cannotDropSystemDatabase(std::string_view database)
{
    return make(3708, 16, 1, "Cannot drop the database '" + s(database) + "' because it is a system database.");
}

ServerMessage exclusiveAccessNotObtained()
{
    return make(3101, 16, 1, "Exclusive access could not be obtained because the database is in use.");
}

ServerMessage databaseBeingRestored(std::string_view database)
{
    return make(927, 14, 2, "Database '" + s(database) + "' cannot be opened. It is in the middle of a restore.");
}

std::optional<ServerMessage> databaseUnavailable(std::string_view database, DatabaseState state)
{
    switch (state) {
    case DatabaseState::Online:
        return std::nullopt;
    case DatabaseState::Restoring:
        return databaseBeingRestored(database);
    case DatabaseState::Recovering:
        return make(922, 14, 1,
                    "Database '" + s(database) + "' is being recovered. Waiting until recovery is finished.");
    case DatabaseState::Suspect:
        return make(926, 14, 1,
                    "Database '" + s(database)
                        + "' cannot be opened. It has been marked SUSPECT by recovery. See the SQL Server errorlog "
                          "for more information.");
    case DatabaseState::Offline:
        return make(942, 14, 4, "Database '" + s(database) + "' cannot be opened because it is offline.");
    }
    return std::nullopt;
}

ServerMessage unknownDatabase(std::string_view database, bool oldText, int state)
{
    if (oldText)
        return make(911, 16, state,
                    "Could not locate entry in sysdatabases for database '" + s(database)
                        + "'. No entry found with that name. Make sure that the name is entered "
                          "correctly.");
    return make(911, 16, state,
                "Database '" + s(database) + "' does not exist. Make sure that the name is entered correctly.");
}

ServerMessage fileNotInDatabase(std::string_view file, std::string_view database)
{
    return make(8985, 16, 1,
                "Could not locate file '" + s(file) + "' for database '" + s(database)
                    + "' in sys.database_files. The file either does not exist, or was dropped.");
}

ServerMessage cannotOpenBackupDevice(std::string_view path, const OsError &error, int state)
{
    return make(3201, 16, state,
                "Cannot open backup device '" + s(path) + "'. Operating system error " + error.numbered() + ".");
}

ServerMessage writeFailed(std::string_view path, const OsError &error)
{
    return make(3202, 16, 1, "Write on \"" + s(path) + "\" failed: " + error.numbered());
}

ServerMessage readFailed(std::string_view path, const OsError &error)
{
    return make(3203, 16, 1, "Read on \"" + s(path) + "\" failed: " + error.numbered());
}

ServerMessage mediaFamilyIncorrectlyFormed(std::string_view path)
{
    return make(3241, 16, 0,
                "The media family on device '" + s(path)
                    + "' is incorrectly formed. SQL Server cannot process this media family.");
}

ServerMessage volumeEmpty(std::string_view path)
{
    return make(3254, 16, 1, "The volume on device '" + s(path) + "' is empty.");
}

ServerMessage backupDataAtEndIncorrect(std::string_view path)
{
    return make(3266, 16, 1,
                "The backup data at the end of \"" + s(path)
                    + "\" is incorrectly formatted. Backup sets on the media might be damaged and unusable. To "
                      "determine the backup sets on the media, use RESTORE HEADERONLY. To determine the usability of "
                      "the backup sets, run RESTORE VERIFYONLY. If all of the backup sets are incomplete, reformat the "
                      "media using BACKUP WITH FORMAT, which destroys all the backup sets.");
}

ServerMessage backupSetDamaged()
{
    return make(3189, 16, 1, "Damage to the backup set was detected.");
}

ServerMessage noSuchBackupSet(int position, std::string_view path)
{
    return make(4038, 16, 1, "Cannot find file ID " + std::to_string(position) + " on device '" + s(path) + "'.");
}

ServerMessage logicalFileNotInBackup(std::string_view logical, std::string_view database)
{
    return make(3234, 16, 2,
                "Logical file '" + s(logical) + "' is not part of database '" + s(database)
                    + "'. Use RESTORE FILELISTONLY to list the logical file names.");
}

ServerMessage backupOfOtherDatabase(std::string_view database)
{
    return make(3154, 16, 4,
                "The backup set holds a backup of a database other than the existing '" + s(database) + "' database.");
}

ServerMessage tailLogNotBackedUp(std::string_view database)
{
    return make(3159, 16, 1,
                "The tail of the log for the database \"" + s(database)
                    + "\" has not been backed up. Use BACKUP LOG WITH NORECOVERY to backup the log if it contains "
                      "work you do not want to lose. Use the WITH REPLACE or WITH STOPAT clause of the RESTORE "
                      "statement to just overwrite the contents of the log.");
}

ServerMessage fileInUseByDatabase(std::string_view path, std::string_view database)
{
    return make(1834, 16, 1,
                "The file '" + s(path) + "' cannot be overwritten.  It is being used by database '" + s(database)
                    + "'.");
}

ServerMessage directoryLookupFailed(std::string_view path, const OsError &error)
{
    return make(5133, 16, 1,
                "Directory lookup for the file \"" + s(path) + "\" failed with the operating system error "
                    + error.numbered() + ".");
}

ServerMessage operatingSystemError(const OsError &error, std::string_view attempt, std::string_view path)
{
    return make(3634, 16, 1,
                "The operating system returned the error '" + error.numbered() + "' while attempting '" + s(attempt)
                    + "' on '" + s(path) + "'.");
}

ServerMessage cannotRestoreOverExisting(std::string_view logical, std::string_view path)
{
    return make(3142, 16, 1,
                "File \"" + s(logical) + "\" cannot be restored over the existing \"" + s(path)
                    + "\". Reissue the RESTORE statement using WITH REPLACE to overwrite pre-existing "
                      "files, or WITH MOVE to identify an alternate location.");
}

ServerMessage fileCannotBeRestored(std::string_view logical, std::string_view path, int state)
{
    return make(3156, 16, state,
                "File '" + s(logical) + "' cannot be restored to '" + s(path)
                    + "'. Use WITH MOVE to identify a valid location for the file.");
}

ServerMessage restorePlanningProblems()
{
    return make(3119, 16, 1,
                "Problems were identified while planning for the RESTORE statement. Previous messages provide "
                "details.");
}

} // namespace sqlemu::storage_messages
