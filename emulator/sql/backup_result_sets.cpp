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

namespace {

// What a header row is made of: the set and what its product version and
// server name give.
struct HeaderSource {
    const BackupSetInfo &set;
    std::string machine; // the server name without its instance
    int major = 9;
    int minor = 0;
    int build = 0;
};

HeaderSource headerSource(const BackupSetInfo &set)
{
    HeaderSource source{set, set.serverName.substr(0, set.serverName.find('\\'))};
    std::sscanf(set.productVersion.c_str(), "%d.%d.%d", &source.major, &source.minor, &source.build);
    return source;
}

Value zero(const HeaderSource &)
{
    return std::int64_t{0};
}

Value none(const HeaderSource &)
{
    return Value{};
}

std::int64_t sizeOf(const HeaderSource &s)
{
    return static_cast<std::int64_t>(s.set.backupSizeBytes());
}

// One column of RESTORE HEADERONLY: its description, the first
// compatibility level that has it, and its value for a set. Log sequence
// numbers, GUIDs and sort orders the storage does not keep are made up,
// stable per set.
struct HeaderColumn {
    ColumnInfo column;
    int fromLevel;
    Value (*value)(const HeaderSource &);
};

const std::vector<HeaderColumn> &headerColumns()
{
    using S = const HeaderSource &;
    static const std::vector<HeaderColumn> columns = {
        {text("BackupName", 128), 90, [](S s) -> Value { return s.set.name; }},
        {text("BackupDescription", 255), 90,
         [](S s) { return s.set.description.empty() ? Value{} : Value{s.set.description}; }},
        {fixed("BackupType", SqlType::SmallInt), 90, [](S s) -> Value { return std::int64_t{s.set.backupType}; }},
        {fixed("ExpirationDate", SqlType::DateTime), 90, none},
        // Documented as tinyint for 2005 and as one byte since; never bit.
        {fixed("Compressed", SqlType::TinyInt), 90, zero},
        {fixed("Position", SqlType::SmallInt), 90, [](S s) -> Value { return std::int64_t{s.set.position}; }},
        // A disk file named in the statement (102: a backup device made beforehand).
        {fixed("DeviceType", SqlType::TinyInt), 90, [](S) -> Value { return std::int64_t{2}; }},
        {text("UserName", 128), 90, [](S s) -> Value { return s.set.userName; }},
        {text("ServerName", 128), 90, [](S s) -> Value { return s.set.serverName; }},
        {text("DatabaseName", 128), 90, [](S s) -> Value { return s.set.databaseName; }},
        {fixed("DatabaseVersion", SqlType::Int), 90, [](S s) -> Value { return std::int64_t{s.set.databaseVersion}; }},
        {fixed("DatabaseCreationDate", SqlType::DateTime), 90, [](S s) -> Value { return s.set.databaseCreated; }},
        {numeric("BackupSize", 20), 90, [](S s) -> Value { return sizeOf(s); }},
        {numeric("FirstLSN", 25), 90, [](S s) -> Value { return lsnOf(s.set, 100); }},
        {numeric("LastLSN", 25), 90, [](S s) -> Value { return lsnOf(s.set, 900); }},
        {numeric("CheckpointLSN", 25), 90, [](S s) -> Value { return lsnOf(s.set, 100); }},
        {numeric("DatabaseBackupLSN", 25), 90, [](S s) -> Value { return lsnOf(s.set, -1000000LL * 100000LL); }},
        {fixed("BackupStartDate", SqlType::DateTime), 90, [](S s) -> Value { return s.set.backupStart; }},
        {fixed("BackupFinishDate", SqlType::DateTime), 90, [](S s) -> Value { return s.set.backupFinish; }},
        {fixed("SortOrder", SqlType::SmallInt), 90, [](S) -> Value { return std::int64_t{52}; }},
        {fixed("CodePage", SqlType::SmallInt), 90, zero},
        {fixed("UnicodeLocaleId", SqlType::Int), 90, [](S) -> Value { return std::int64_t{1033}; }},
        {fixed("UnicodeComparisonStyle", SqlType::Int), 90, [](S) -> Value { return std::int64_t{196609}; }},
        {fixed("CompatibilityLevel", SqlType::TinyInt), 90,
         [](S s) -> Value { return std::int64_t{s.set.compatibilityLevel}; }},
        {fixed("SoftwareVendorId", SqlType::Int), 90, [](S) -> Value { return std::int64_t{4608}; }},
        {fixed("SoftwareVersionMajor", SqlType::Int), 90, [](S s) -> Value { return std::int64_t{s.major}; }},
        {fixed("SoftwareVersionMinor", SqlType::Int), 90, [](S s) -> Value { return std::int64_t{s.minor}; }},
        {fixed("SoftwareVersionBuild", SqlType::Int), 90, [](S s) -> Value { return std::int64_t{s.build}; }},
        {text("MachineName", 128), 90, [](S s) -> Value { return s.machine; }},
        {fixed("Flags", SqlType::Int), 90, [](S) -> Value { return std::int64_t{512}; }},
        {fixed("BindingID", SqlType::UniqueIdentifier), 90, [](S s) -> Value { return guidOf(s.set.familyId, 1); }},
        {fixed("RecoveryForkID", SqlType::UniqueIdentifier), 90,
         [](S s) -> Value { return guidOf(s.set.familyId, 2); }},
        {text("Collation", 128), 90, [](S) -> Value { return std::string("SQL_Latin1_General_CP1_CI_AS"); }},
        {fixed("FamilyGUID", SqlType::UniqueIdentifier), 90, [](S s) -> Value { return guidOf(s.set.familyId, 3); }},
        {fixed("HasBulkLoggedData", SqlType::Bit), 90, zero},
        {fixed("IsSnapshot", SqlType::Bit), 90, zero},
        {fixed("IsReadOnly", SqlType::Bit), 90, zero},
        {fixed("IsSingleUser", SqlType::Bit), 90, zero},
        {fixed("HasBackupChecksums", SqlType::Bit), 90, zero},
        {fixed("IsDamaged", SqlType::Bit), 90, zero},
        {fixed("BeginsLogChain", SqlType::Bit), 90, zero},
        {fixed("HasIncompleteMetaData", SqlType::Bit), 90, zero},
        {fixed("IsForceOffline", SqlType::Bit), 90, zero},
        {fixed("IsCopyOnly", SqlType::Bit), 90, zero},
        {fixed("FirstRecoveryForkID", SqlType::UniqueIdentifier), 90,
         [](S s) -> Value { return guidOf(s.set.familyId, 2); }},
        {numeric("ForkPointLSN", 25), 90, none},
        {text("RecoveryModel", 60), 90, [](S) -> Value { return std::string("FULL"); }},
        {numeric("DifferentialBaseLSN", 25), 90, none},
        {fixed("DifferentialBaseGUID", SqlType::UniqueIdentifier), 90, none},
        {text("BackupTypeDescription", 60), 90,
         [](S s) -> Value { return std::string(s.set.backupType == 2 ? "Transaction Log" : "Database"); }},
        {fixed("BackupSetGUID", SqlType::UniqueIdentifier), 90,
         [](S s) -> Value { return guidOf(s.set.familyId, static_cast<std::uint8_t>(0x40 + s.set.position)); }},
        // Sets are never compressed: as large as they are.
        {fixed("CompressedBackupSize", SqlType::BigInt), 100, [](S s) -> Value { return sizeOf(s); }},
        {fixed("containment", SqlType::TinyInt), 110, zero},
        {text("KeyAlgorithm", 32), 120, none},
        {columnFor("EncryptorThumbprint", SqlType::VarBinary, 20), 120, none},
        {text("EncryptorType", 32), 120, none},
    };
    return columns;
}

} // namespace

ResultTable backupHeaderTable(const std::vector<BackupSetInfo> &sets, int compatibilityLevel)
{
    std::vector<const HeaderColumn *> shown;
    for (const auto &c : headerColumns())
        if (compatibilityLevel >= c.fromLevel)
            shown.push_back(&c);
    ResultTable table;
    for (const HeaderColumn *c : shown)
        table.columns.push_back(c->column);
    for (const auto &set : sets) {
        const HeaderSource source = headerSource(set);
        std::vector<Value> row;
        row.reserve(shown.size());
        for (const HeaderColumn *c : shown)
            row.push_back(c->value(source));
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
