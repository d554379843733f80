#include "storage/backup_history.h"

#include "storage/atomic_file.h"
#include "storage/server_clock.h"
#include "storage/storage_error.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

namespace sqlemu {

using nlohmann::json;

namespace {

constexpr int kHistoryFormatVersion = 1;

[[noreturn]] void bad(const std::string &what)
{
    throw StorageError("The backup history is damaged: " + what);
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

std::optional<std::string> optionalText(const json &object, const char *key)
{
    if (member(object, key).is_null())
        return std::nullopt;
    return text(object, key);
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

int identifier(const json &object, const char *key)
{
    return static_cast<int>(integer(object, key, 1, std::numeric_limits<std::int32_t>::max()));
}

bool boolean(const json &object, const char *key)
{
    const json &value = member(object, key);
    if (!value.is_boolean())
        bad(std::string("\"") + key + "\" is not true or false");
    return value.get<bool>();
}

DateTimeValue dateTime(const json &object, const char *key)
{
    const auto value = parseDateTime(text(object, key));
    if (!value)
        bad(std::string("\"") + key + "\" is not a date");
    return *value;
}

char letter(const json &object, const char *key, std::string_view allowed)
{
    const std::string value = text(object, key);
    if (value.size() != 1 || allowed.find(value[0]) == std::string_view::npos)
        bad(std::string("\"") + key + "\" is not one of " + std::string(allowed));
    return value[0];
}

std::string hexOf(const FileFamilyId &id)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (auto byte : id) {
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 15]);
    }
    return out;
}

FileFamilyId familyIdFrom(const json &object, const char *key)
{
    const std::string hex = text(object, key);
    FileFamilyId id{};
    if (hex.size() != id.size() * 2)
        bad(std::string("\"") + key + "\" is not a family id");
    for (std::size_t i = 0; i < id.size(); ++i) {
        unsigned value = 0;
        for (char c : hex.substr(i * 2, 2)) {
            const auto digit = std::string_view("0123456789abcdef").find(c);
            if (digit == std::string_view::npos)
                bad(std::string("\"") + key + "\" is not a family id");
            value = value * 16 + static_cast<unsigned>(digit);
        }
        id[i] = static_cast<std::uint8_t>(value);
    }
    return id;
}

// Each id once, increasing in the order the rows were added: clients take
// the highest as the newest.
template <class Row, class Id> void requireIncreasing(const std::vector<Row> &rows, Id id, const char *what)
{
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (id(rows[i]) <= id(rows[i - 1]))
            bad(std::string(what) + " ids do not increase");
}

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

int nextId(int last)
{
    if (last == std::numeric_limits<std::int32_t>::max())
        throw StorageError("The backup history has no ids left");
    return last + 1;
}

} // namespace

std::string backupHistoryToJson(const std::vector<BackupSetRecord> &sets,
                                const std::vector<MediaFamilyRecord> &families,
                                const std::vector<RestoreRecord> &restores)
{
    json out = {{"format", kHistoryFormatVersion}};
    json &setRows = out["backupSets"] = json::array();
    for (const auto &s : sets)
        setRows.push_back({{"backupSetId", s.backupSetId},
                           {"mediaSetId", s.mediaSetId},
                           {"position", s.position},
                           {"name", s.name ? json(*s.name) : json(nullptr)},
                           {"databaseName", s.databaseName},
                           {"backupStart", formatDateTime(s.backupStart)},
                           {"backupFinish", formatDateTime(s.backupFinish)},
                           {"type", std::string(1, s.type)},
                           {"backupSize", s.backupSize},
                           {"copyOnly", s.copyOnly},
                           {"serverName", s.serverName},
                           {"userName", s.userName}});
    json &familyRows = out["mediaFamilies"] = json::array();
    for (const auto &f : families)
        familyRows.push_back({{"mediaSetId", f.mediaSetId},
                              {"familySequenceNumber", f.familySequenceNumber},
                              {"physicalDeviceName", f.physicalDeviceName},
                              {"deviceType", f.deviceType},
                              {"familyId", hexOf(f.familyId)}});
    json &restoreRows = out["restores"] = json::array();
    for (const auto &r : restores)
        restoreRows.push_back({{"restoreHistoryId", r.restoreHistoryId},
                               {"restoreDate", formatDateTime(r.restoreDate)},
                               {"destinationDatabaseName", r.destinationDatabaseName},
                               {"userName", r.userName},
                               {"backupSetId", r.backupSetId},
                               {"restoreType", std::string(1, r.restoreType)},
                               {"replace", r.replace},
                               {"recovery", r.recovery}});
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

BackupHistory::BackupHistory(std::filesystem::path folder)
    : m_folder(std::move(folder))
{
    const auto path = filePath();
    std::error_code error;
    // What a kill during a save leaves beside the whole file.
    std::filesystem::remove(temporaryPathFor(path), error);
    if (!std::filesystem::exists(path, error))
        return;
    try {
        json document;
        try {
            document = json::parse(readWholeFile(path));
        } catch (const json::parse_error &) {
            bad("not JSON");
        }
        if (integer(document, "format", 0, std::numeric_limits<std::int32_t>::max()) != kHistoryFormatVersion)
            bad("an unknown format");
        for (const auto &row : member(document, "backupSets")) {
            BackupSetRecord s;
            s.backupSetId = identifier(row, "backupSetId");
            s.mediaSetId = identifier(row, "mediaSetId");
            s.position = identifier(row, "position");
            s.name = optionalText(row, "name");
            s.databaseName = text(row, "databaseName");
            s.backupStart = dateTime(row, "backupStart");
            s.backupFinish = dateTime(row, "backupFinish");
            s.type = letter(row, "type", "DL");
            s.backupSize = integer(row, "backupSize", 0, std::numeric_limits<std::int64_t>::max());
            s.copyOnly = boolean(row, "copyOnly");
            s.serverName = text(row, "serverName");
            s.userName = text(row, "userName");
            m_rows.sets.push_back(std::move(s));
        }
        for (const auto &row : member(document, "mediaFamilies")) {
            MediaFamilyRecord f;
            f.mediaSetId = identifier(row, "mediaSetId");
            f.familySequenceNumber = static_cast<int>(integer(row, "familySequenceNumber", 1, 255));
            f.physicalDeviceName = text(row, "physicalDeviceName");
            f.deviceType = static_cast<int>(integer(row, "deviceType", 0, 255));
            f.familyId = familyIdFrom(row, "familyId");
            m_rows.families.push_back(std::move(f));
        }
        for (const auto &row : member(document, "restores")) {
            RestoreRecord r;
            r.restoreHistoryId = identifier(row, "restoreHistoryId");
            r.restoreDate = dateTime(row, "restoreDate");
            r.destinationDatabaseName = text(row, "destinationDatabaseName");
            r.userName = text(row, "userName");
            r.backupSetId = identifier(row, "backupSetId");
            r.restoreType = letter(row, "restoreType", "D");
            r.replace = boolean(row, "replace");
            r.recovery = boolean(row, "recovery");
            m_rows.restores.push_back(std::move(r));
        }
        requireIncreasing(
            m_rows.sets, [](const BackupSetRecord &s) { return s.backupSetId; }, "backup set");
        requireIncreasing(
            m_rows.families, [](const MediaFamilyRecord &f) { return f.mediaSetId; }, "media set");
        requireIncreasing(
            m_rows.restores, [](const RestoreRecord &r) { return r.restoreHistoryId; }, "restore");
    } catch (const json::exception &) {
        throw StorageError(path.string() + ": The backup history is damaged: a value of the wrong kind");
    } catch (const StorageError &e) {
        throw StorageError(path.string() + ": " + e.what());
    }
}

BackupSetRecord BackupHistory::addSetLocked(Rows &rows, const BackupSetInfo &set, const std::string &mediaPath,
                                            bool copyOnly) const
{
    // Sets appended to one medium share its media set, as they do on a real
    // server; a new medium (another family id) starts a new one.
    int mediaSetId = 0;
    for (const auto &f : rows.families)
        if (f.familyId == set.familyId)
            mediaSetId = f.mediaSetId;
    if (mediaSetId == 0) {
        MediaFamilyRecord family;
        family.mediaSetId = nextId(rows.families.empty() ? 0 : rows.families.back().mediaSetId);
        family.physicalDeviceName = mediaPath;
        family.familyId = set.familyId;
        rows.families.push_back(family);
        mediaSetId = family.mediaSetId;
    }
    BackupSetRecord record;
    record.backupSetId = nextId(rows.sets.empty() ? 0 : rows.sets.back().backupSetId);
    record.mediaSetId = mediaSetId;
    record.position = set.position;
    if (!set.name.empty())
        record.name = set.name;
    record.databaseName = set.databaseName;
    record.backupStart = set.backupStart;
    record.backupFinish = set.backupFinish;
    record.type = set.backupType == 2 ? 'L' : 'D';
    record.backupSize = static_cast<std::int64_t>(set.backupSizeBytes());
    record.copyOnly = copyOnly;
    record.serverName = set.serverName;
    record.userName = set.userName;
    rows.sets.push_back(record);
    return record;
}

void BackupHistory::commitLocked(Rows rows)
{
    // Written before memory changes: a failed save leaves both as they were.
    writeFileAtomically(filePath(), backupHistoryToJson(rows.sets, rows.families, rows.restores));
    m_rows = std::move(rows);
}

BackupSetRecord BackupHistory::recordBackup(const BackupSetInfo &set, const std::string &mediaPath, bool copyOnly)
{
    std::lock_guard lock(m_mutex);
    Rows rows = m_rows;
    auto record = addSetLocked(rows, set, mediaPath, copyOnly);
    commitLocked(std::move(rows));
    return record;
}

RestoreRecord BackupHistory::recordRestore(const RestoreEvent &event)
{
    std::lock_guard lock(m_mutex);
    Rows rows = m_rows;
    const auto set = addSetLocked(rows, event.set, event.mediaPath, false);
    RestoreRecord record;
    record.restoreHistoryId = nextId(rows.restores.empty() ? 0 : rows.restores.back().restoreHistoryId);
    record.restoreDate = event.restoreDate;
    record.destinationDatabaseName = event.destinationDatabaseName;
    record.userName = event.userName;
    record.backupSetId = set.backupSetId;
    record.replace = event.replace;
    rows.restores.push_back(record);
    commitLocked(std::move(rows));
    return record;
}

std::vector<BackupSetRecord> BackupHistory::backupSets() const
{
    std::lock_guard lock(m_mutex);
    return m_rows.sets;
}

std::vector<MediaFamilyRecord> BackupHistory::mediaFamilies() const
{
    std::lock_guard lock(m_mutex);
    return m_rows.families;
}

std::vector<RestoreRecord> BackupHistory::restores() const
{
    std::lock_guard lock(m_mutex);
    return m_rows.restores;
}

} // namespace sqlemu
