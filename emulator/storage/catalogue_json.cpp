#include "storage/catalogue_json.h"

#include "storage/collation.h"
#include "storage/server_clock.h"
#include "storage/storage_error.h"

#include <nlohmann/json.hpp>
#include <set>

namespace sqlemu {

using nlohmann::json;

namespace {

struct StateName {
    DatabaseState state;
    const char *name;
};
constexpr StateName kStates[] = {
    {DatabaseState::Online, "ONLINE"},         {DatabaseState::Restoring, "RESTORING"},
    {DatabaseState::Recovering, "RECOVERING"}, {DatabaseState::Suspect, "SUSPECT"},
    {DatabaseState::Offline, "OFFLINE"},
};

struct AccessName {
    UserAccess access;
    const char *name;
};
constexpr AccessName kAccess[] = {
    {UserAccess::MultiUser, "MULTI_USER"},
    {UserAccess::SingleUser, "SINGLE_USER"},
    {UserAccess::RestrictedUser, "RESTRICTED_USER"},
};

struct RecoveryName {
    RecoveryModel model;
    const char *name;
};
constexpr RecoveryName kRecovery[] = {
    {RecoveryModel::Full, "FULL"},
    {RecoveryModel::BulkLogged, "BULK_LOGGED"},
    {RecoveryModel::Simple, "SIMPLE"},
};

[[noreturn]] void bad(const std::string &what)
{
    throw StorageError("The catalogue is damaged: " + what);
}

const json &member(const json &object, const char *key)
{
    if (!object.is_object() || !object.contains(key))
        bad(std::string("missing \"") + key + "\"");
    return object.at(key);
}

std::string text(const json &object, const char *key)
{
    const json &value = member(object, key);
    if (!value.is_string())
        bad(std::string("\"") + key + "\" is not a text");
    return value.get<std::string>();
}

std::int64_t integer(const json &object, const char *key, std::int64_t min, std::int64_t max)
{
    const json &value = member(object, key);
    if (!value.is_number_integer())
        bad(std::string("\"") + key + "\" is not a whole number");
    const auto n = value.get<std::int64_t>();
    if (n < min || n > max)
        bad(std::string("\"") + key + "\" is out of range");
    return n;
}

bool boolean(const json &object, const char *key)
{
    const json &value = member(object, key);
    if (!value.is_boolean())
        bad(std::string("\"") + key + "\" is not true or false");
    return value.get<bool>();
}

json fileToJson(const DatabaseFile &file)
{
    return json{{"fileId", file.fileId},           {"type", file.type == DatabaseFileType::Data ? "data" : "log"},
                {"logicalName", file.logicalName}, {"physicalName", file.physicalName},
                {"sizePages", file.sizePages},     {"maxSizePages", file.maxSizePages},
                {"growth", file.growth},           {"percentGrowth", file.percentGrowth}};
}

DatabaseFile fileFromJson(const json &object)
{
    DatabaseFile file;
    file.fileId = static_cast<int>(integer(object, "fileId", 1, 32767));
    const std::string type = text(object, "type");
    if (type == "data")
        file.type = DatabaseFileType::Data;
    else if (type == "log")
        file.type = DatabaseFileType::Log;
    else
        bad("unknown file type \"" + type + "\"");
    file.logicalName = text(object, "logicalName");
    file.physicalName = text(object, "physicalName");
    file.sizePages = integer(object, "sizePages", 0, INT32_MAX);
    file.maxSizePages = integer(object, "maxSizePages", -1, INT32_MAX);
    file.growth = integer(object, "growth", 0, INT32_MAX);
    file.percentGrowth = boolean(object, "percentGrowth");
    return file;
}

json databaseToJson(const DatabaseInfo &db)
{
    json files = json::array();
    for (const auto &file : db.files)
        files.push_back(fileToJson(file));
    std::string state, access;
    for (const auto &s : kStates)
        if (s.state == db.state)
            state = s.name;
    for (const auto &a : kAccess)
        if (a.access == db.userAccess)
            access = a.name;
    json object{{"id", db.id},
                {"name", db.name},
                {"state", state},
                {"userAccess", access},
                {"created", formatDateTime(db.created)},
                {"compatibilityLevel", db.compatibilityLevel},
                {"owner", db.owner},
                {"files", files}};
    for (const auto &r : kRecovery)
        if (r.model == db.recoveryModel)
            object["recoveryModel"] = r.name;
    return object;
}

DatabaseInfo databaseFromJson(const json &object)
{
    DatabaseInfo db;
    db.id = static_cast<int>(integer(object, "id", 1, 32767));
    db.name = text(object, "name");
    if (db.name.empty())
        bad("a database without a name");
    const std::string state = text(object, "state");
    bool known = false;
    for (const auto &s : kStates)
        if (state == s.name) {
            db.state = s.state;
            known = true;
        }
    if (!known)
        bad("unknown state \"" + state + "\" of database " + db.name);
    const std::string access = text(object, "userAccess");
    known = false;
    for (const auto &a : kAccess)
        if (access == a.name) {
            db.userAccess = a.access;
            known = true;
        }
    if (!known)
        bad("unknown user access \"" + access + "\" of database " + db.name);
    const auto created = parseDateTime(text(object, "created"));
    if (!created)
        bad("bad creation date of database " + db.name);
    db.created = *created;
    db.compatibilityLevel = static_cast<int>(integer(object, "compatibilityLevel", 60, 200));
    // Catalogues written before owners were kept: sa owned everything.
    if (object.contains("owner"))
        db.owner = text(object, "owner");
    // Catalogues written before the recovery model was kept hold no entry:
    // their databases were in full recovery, as a new database is.
    if (object.contains("recoveryModel")) {
        const std::string recovery = text(object, "recoveryModel");
        known = false;
        for (const auto &r : kRecovery)
            if (recovery == r.name) {
                db.recoveryModel = r.model;
                known = true;
            }
        if (!known)
            bad("unknown recovery model \"" + recovery + "\" of database " + db.name);
    }
    const json &files = member(object, "files");
    if (!files.is_array())
        bad("\"files\" of database " + db.name + " is not a list");
    std::set<int> fileIds;
    for (const auto &f : files) {
        db.files.push_back(fileFromJson(f));
        if (!fileIds.insert(db.files.back().fileId).second)
            bad("two files with one id in database " + db.name);
    }
    return db;
}

} // namespace

std::string catalogueToJson(const std::vector<DatabaseInfo> &databases)
{
    json list = json::array();
    for (const auto &db : databases)
        list.push_back(databaseToJson(db));
    json root{{"format", kCatalogueFormatVersion}, {"databases", list}};
    return root.dump(2) + "\n";
}

std::vector<DatabaseInfo> catalogueFromJson(std::string_view text)
{
    json root = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded())
        bad("not valid JSON");
    if (integer(root, "format", 1, INT32_MAX) != kCatalogueFormatVersion)
        bad("unknown format version");
    const json &list = member(root, "databases");
    if (!list.is_array())
        bad("\"databases\" is not a list");
    std::vector<DatabaseInfo> databases;
    std::set<int> ids;
    for (const auto &entry : list) {
        DatabaseInfo db = databaseFromJson(entry);
        if (!ids.insert(db.id).second)
            bad("two databases with id " + std::to_string(db.id));
        for (const auto &other : databases)
            if (sameName(other.name, db.name))
                bad("two databases named " + db.name);
        databases.push_back(std::move(db));
    }
    return databases;
}

} // namespace sqlemu
