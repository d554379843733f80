#include "sql/backup_result_sets.h"

#include "sql/sql_value.h"
#include "storage/database_file.h"

#include <cstdio>

namespace sqlemu {

namespace {

ColumnInfo text(const char *name, int length, bool nullable = true)
{
    ColumnInfo c = columnFor(name, SqlType::NVarChar, length);
    c.nullable = nullable;
    return c;
}

ColumnInfo fixed(const char *name, SqlType type, bool nullable = true)
{
    ColumnInfo c = columnFor(name, type, 0);
    c.nullable = nullable;
    return c;
}

ColumnInfo numeric(const char *name, int precision, bool nullable = true)
{
    ColumnInfo c = columnFor(name, SqlType::Decimal, 0);
    c.precision = precision;
    c.scale = 0;
    c.nullable = nullable;
    return c;
}

// A GUID that stays the same for the same family and salt.
Bytes guidOf(const FileFamilyId &family, std::uint8_t salt)
{
    Bytes guid(family.begin(), family.end());
    guid[15] ^= salt;
    return guid;
}

// Log sequence numbers grow with the set's position, as later backups of a
// database have later ones.
std::int64_t lsnOf(const BackupSetInfo &set, std::int64_t offset)
{
    return (20000000000LL + set.position * 1000000LL) * 100000LL + offset;
}

// SQL Server's figure for a file without a size limit: 2 TB in bytes.
constexpr std::int64_t kUnlimitedBytes = 35184372080640LL;

} // namespace

ResultTable backupHeaderTable(const std::vector<BackupSetInfo> &sets, int compatibilityLevel)
{
    ResultTable table;
    table.columns = {
        text("BackupName", 128),
        text("BackupDescription", 255),
        fixed("BackupType", SqlType::SmallInt),
        fixed("ExpirationDate", SqlType::DateTime),
        // Documented as tinyint for 2005 and as one byte since; never bit.
        fixed("Compressed", SqlType::TinyInt),
        fixed("Position", SqlType::SmallInt),
        fixed("DeviceType", SqlType::TinyInt),
        text("UserName", 128),
        text("ServerName", 128),
        text("DatabaseName", 128),
        fixed("DatabaseVersion", SqlType::Int),
        fixed("DatabaseCreationDate", SqlType::DateTime),
        numeric("BackupSize", 20),
        numeric("FirstLSN", 25),
        numeric("LastLSN", 25),
        numeric("CheckpointLSN", 25),
        numeric("DatabaseBackupLSN", 25),
        fixed("BackupStartDate", SqlType::DateTime),
        fixed("BackupFinishDate", SqlType::DateTime),
        fixed("SortOrder", SqlType::SmallInt),
        fixed("CodePage", SqlType::SmallInt),
        fixed("UnicodeLocaleId", SqlType::Int),
        fixed("UnicodeComparisonStyle", SqlType::Int),
        fixed("CompatibilityLevel", SqlType::TinyInt),
        fixed("SoftwareVendorId", SqlType::Int),
        fixed("SoftwareVersionMajor", SqlType::Int),
        fixed("SoftwareVersionMinor", SqlType::Int),
        fixed("SoftwareVersionBuild", SqlType::Int),
        text("MachineName", 128),
        fixed("Flags", SqlType::Int),
        fixed("BindingID", SqlType::UniqueIdentifier),
        fixed("RecoveryForkID", SqlType::UniqueIdentifier),
        text("Collation", 128),
        fixed("FamilyGUID", SqlType::UniqueIdentifier),
        fixed("HasBulkLoggedData", SqlType::Bit),
        fixed("IsSnapshot", SqlType::Bit),
        fixed("IsReadOnly", SqlType::Bit),
        fixed("IsSingleUser", SqlType::Bit),
        fixed("HasBackupChecksums", SqlType::Bit),
        fixed("IsDamaged", SqlType::Bit),
        fixed("BeginsLogChain", SqlType::Bit),
        fixed("HasIncompleteMetaData", SqlType::Bit),
        fixed("IsForceOffline", SqlType::Bit),
        fixed("IsCopyOnly", SqlType::Bit),
        fixed("FirstRecoveryForkID", SqlType::UniqueIdentifier),
        numeric("ForkPointLSN", 25),
        text("RecoveryModel", 60),
        numeric("DifferentialBaseLSN", 25),
        fixed("DifferentialBaseGUID", SqlType::UniqueIdentifier),
        text("BackupTypeDescription", 60),
        fixed("BackupSetGUID", SqlType::UniqueIdentifier),
    };
    if (compatibilityLevel >= 100)
        table.columns.push_back(fixed("CompressedBackupSize", SqlType::BigInt));
    if (compatibilityLevel >= 110)
        table.columns.push_back(fixed("containment", SqlType::TinyInt));
    if (compatibilityLevel >= 120) {
        table.columns.push_back(text("KeyAlgorithm", 32));
        table.columns.push_back(columnFor("EncryptorThumbprint", SqlType::VarBinary, 20));
        table.columns.push_back(text("EncryptorType", 32));
    }

    for (const auto &set : sets) {
        const auto machine = set.serverName.substr(0, set.serverName.find('\\'));
        int major = 9, minor = 0, build = 1399;
        std::sscanf(set.productVersion.c_str(), "%d.%d.%d", &major, &minor, &build);
        std::vector<Value> row = {
            set.name,
            set.description.empty() ? Value{} : Value{set.description},
            std::int64_t{set.backupType},
            Value{},
            std::int64_t{0},
            std::int64_t{set.position},
            std::int64_t{2}, // a disk file named in the statement (102: a backup device made beforehand)
            set.userName,
            set.serverName,
            set.databaseName,
            std::int64_t{set.databaseVersion},
            set.databaseCreated,
            static_cast<std::int64_t>(set.backupSizeBytes()),
            lsnOf(set, 100),
            lsnOf(set, 900),
            lsnOf(set, 100),
            lsnOf(set, -1000000LL * 100000LL),
            set.backupStart,
            set.backupFinish,
            std::int64_t{52},
            std::int64_t{0},
            std::int64_t{1033},
            std::int64_t{196609},
            std::int64_t{set.compatibilityLevel},
            std::int64_t{4608},
            std::int64_t{major},
            std::int64_t{minor},
            std::int64_t{build},
            machine,
            std::int64_t{512},
            guidOf(set.familyId, 1),
            guidOf(set.familyId, 2),
            std::string("SQL_Latin1_General_CP1_CI_AS"),
            guidOf(set.familyId, 3),
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            guidOf(set.familyId, 2),
            Value{},
            std::string("FULL"),
            Value{},
            Value{},
            std::string(set.backupType == 2 ? "Transaction Log" : "Database"),
            guidOf(set.familyId, static_cast<std::uint8_t>(0x40 + set.position)),
        };
        if (compatibilityLevel >= 100)
            row.push_back(static_cast<std::int64_t>(set.backupSizeBytes()));
        if (compatibilityLevel >= 110)
            row.push_back(std::int64_t{0});
        if (compatibilityLevel >= 120) {
            row.push_back(Value{});
            row.push_back(Value{});
            row.push_back(Value{});
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

ResultTable backupFileListTable(const BackupSetInfo &set, int compatibilityLevel)
{
    ResultTable table;
    ColumnInfo type = columnFor("Type", SqlType::Char, 1);
    table.columns = {
        text("LogicalName", 128),
        text("PhysicalName", 260),
        type,
        text("FileGroupName", 128),
        numeric("Size", 20),
        numeric("MaxSize", 20),
        fixed("FileID", SqlType::BigInt),
        numeric("CreateLSN", 25),
        numeric("DropLSN", 25),
        fixed("UniqueID", SqlType::UniqueIdentifier),
        numeric("ReadOnlyLSN", 25),
        numeric("ReadWriteLSN", 25),
        fixed("BackupSizeInBytes", SqlType::BigInt),
        fixed("SourceBlockSize", SqlType::Int),
        fixed("FileGroupID", SqlType::Int),
        fixed("LogGroupGUID", SqlType::UniqueIdentifier),
        numeric("DifferentialBaseLSN", 25),
        fixed("DifferentialBaseGUID", SqlType::UniqueIdentifier),
        fixed("IsReadOnly", SqlType::Bit),
        fixed("IsPresent", SqlType::Bit),
    };
    if (compatibilityLevel >= 100)
        table.columns.push_back(columnFor("TDEThumbprint", SqlType::VarBinary, 32));
    if (compatibilityLevel >= 130)
        table.columns.push_back(text("SnapshotURL", 360));

    for (const auto &file : set.files) {
        const bool log = file.type == DatabaseFileType::Log;
        std::vector<Value> row = {
            file.logicalName,
            file.physicalName,
            std::string(log ? "L" : "D"),
            log ? Value{} : Value{std::string("PRIMARY")},
            file.sizePages * kPageSize,
            kUnlimitedBytes,
            std::int64_t{file.fileId},
            std::int64_t{0},
            std::int64_t{0},
            guidOf(set.familyId, static_cast<std::uint8_t>(0x10 + file.fileId)),
            std::int64_t{0},
            std::int64_t{0},
            static_cast<std::int64_t>(log ? 0 : file.usedPages * kPageSize),
            std::int64_t{512},
            std::int64_t{log ? 0 : 1},
            Value{},
            std::int64_t{0},
            Value{},
            std::int64_t{0},
            std::int64_t{1},
        };
        if (compatibilityLevel >= 100)
            row.push_back(Value{});
        if (compatibilityLevel >= 130)
            row.push_back(Value{});
        table.rows.push_back(std::move(row));
    }
    return table;
}

} // namespace sqlemu
