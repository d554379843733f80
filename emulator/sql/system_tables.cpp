#include "sql/system_tables.h"

#include "sql/execution_context.h"
#include "sql/sql_error.h"
#include "sql/sql_value.h"
#include "storage/catalogue.h"
#include "storage/collation.h"

namespace sqlemu {

namespace {

constexpr std::int64_t kStatusDisk = 0x2;
constexpr std::int64_t kStatusLog = 0x40;
constexpr std::int64_t kStatusPercentGrowth = 0x100000;

ColumnInfo fixed(const char *name, SqlType type)
{
    return columnFor(name, type, 0);
}

// sysdatabases.status bits as a fresh server shows them: trunc. log on chkpt.
// (8) for master, tempdb and msdb, and 0x10000 (the default for every
// database since SQL Server 2005).
std::int64_t databaseStatus(const DatabaseInfo &db)
{
    std::int64_t status = 0x10000;
    if (db.id == 1 || db.id == 2 || db.id == 4)
        status |= 8;
    if (db.state == DatabaseState::Offline)
        status |= 0x200;
    if (db.state == DatabaseState::Restoring)
        status |= 0x20;
    if (db.state == DatabaseState::Suspect)
        status |= 0x100;
    if (db.userAccess == UserAccess::SingleUser)
        status |= 0x1000;
    return status;
}

} // namespace

std::optional<std::size_t> ResultTable::columnIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (sameName(columns[i].name, name))
            return i;
    return std::nullopt;
}

ResultTable sysdatabasesTable(const Catalogue &catalogue, const ServerIdentity &identity)
{
    ResultTable table;
    table.columns = {
        columnFor("name", SqlType::NVarChar, 128),
        fixed("dbid", SqlType::SmallInt),
        columnFor("sid", SqlType::VarBinary, 85),
        fixed("mode", SqlType::SmallInt),
        fixed("status", SqlType::Int),
        fixed("status2", SqlType::Int),
        fixed("crdate", SqlType::DateTime),
        fixed("reserved", SqlType::DateTime),
        fixed("category", SqlType::Int),
        fixed("cmptlevel", SqlType::TinyInt),
        columnFor("filename", SqlType::NVarChar, 260),
        fixed("version", SqlType::SmallInt),
    };
    for (const auto &db : catalogue.databases()) {
        const DatabaseFile *primary = db.primaryDataFile();
        table.rows.push_back({
            db.name,
            std::int64_t{db.id},
            Bytes{0x01},
            std::int64_t{0},
            databaseStatus(db),
            std::int64_t{db.id <= 4 ? 1090519040 : 1627389952},
            db.created,
            DateTimeValue{0},
            std::int64_t{0},
            std::int64_t{db.compatibilityLevel},
            primary ? Value{primary->physicalName} : Value{},
            std::int64_t{identity.databaseVersion},
        });
    }
    return table;
}

ResultTable sysfilesTable(const DatabaseInfo &database)
{
    ResultTable table;
    table.columns = {
        fixed("fileid", SqlType::SmallInt),
        fixed("groupid", SqlType::SmallInt),
        fixed("size", SqlType::Int),
        fixed("maxsize", SqlType::Int),
        fixed("growth", SqlType::Int),
        fixed("status", SqlType::Int),
        fixed("perf", SqlType::Int),
        columnFor("name", SqlType::NVarChar, 128),
        columnFor("filename", SqlType::NVarChar, 260),
    };
    for (const auto &file : database.files) {
        const bool log = file.type == DatabaseFileType::Log;
        std::int64_t status = kStatusDisk | (log ? kStatusLog : 0) | (file.percentGrowth ? kStatusPercentGrowth : 0);
        table.rows.push_back({
            std::int64_t{file.fileId},
            std::int64_t{log ? 0 : 1},
            file.sizePages,
            file.maxSizePages,
            file.growth,
            status,
            std::int64_t{0},
            file.logicalName,
            file.physicalName,
        });
    }
    return table;
}

// sysaltfiles of master: every file of every database, so a client can ask
// whose file a path is.
ResultTable sysaltfilesTable(const Catalogue &catalogue)
{
    ResultTable table = sysfilesTable(DatabaseInfo{});
    table.columns.insert(table.columns.begin() + 7, fixed("dbid", SqlType::SmallInt));
    for (const auto &db : catalogue.databases()) {
        for (auto &row : sysfilesTable(db).rows) {
            row.insert(row.begin() + 7, Value{std::int64_t{db.id}});
            table.rows.push_back(std::move(row));
        }
    }
    return table;
}

ResultTable resolveTable(const TableReference &table, ExecutionContext &context)
{
    // parts: [[database.]schema.]name
    const std::string &name = table.parts.back();
    std::string schema, database;
    if (table.parts.size() >= 2)
        schema = table.parts[table.parts.size() - 2];
    if (table.parts.size() == 3)
        database = table.parts[0];
    const bool schemaFits = schema.empty() || sameName(schema, "dbo") || sameName(schema, "sys");

    std::optional<DatabaseInfo> db
        = context.catalogue.find(database.empty() ? context.session.currentDatabase : database);
    if (!db || !schemaFits)
        throw errors::invalidObject(table.written).atLine(table.line);
    if (sameName(name, "sysdatabases"))
        return sysdatabasesTable(context.catalogue, context.identity);
    if (sameName(name, "sysfiles"))
        return sysfilesTable(*db);
    if (sameName(name, "sysaltfiles") && sameName(db->name, "master"))
        return sysaltfilesTable(context.catalogue);
    throw errors::invalidObject(table.written).atLine(table.line);
}

} // namespace sqlemu
