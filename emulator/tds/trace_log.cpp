#include "tds/trace_log.h"

#include "engine_interface/sql_type_name.h"

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace sqlemu::tds {

namespace {

std::string utcNow()
{
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buffer[40];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
    char out[48];
    std::snprintf(out, sizeof out, "%s.%03dZ", buffer, static_cast<int>(millis));
    return out;
}

nlohmann::json valueToJson(const Value &value)
{
    if (std::holds_alternative<std::monostate>(value))
        return nullptr;
    if (auto i = std::get_if<std::int64_t>(&value))
        return *i;
    if (auto s = std::get_if<std::string>(&value))
        return *s;
    if (auto d = std::get_if<DateTimeValue>(&value))
        return d->millisecondsSince1900;
    const Bytes &bytes = std::get<Bytes>(value);
    static const char hex[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (auto b : bytes) {
        text += hex[b >> 4];
        text += hex[b & 0xF];
    }
    return text;
}

nlohmann::json record(const std::string &instance, int spid, const char *kind)
{
    return {{"time", utcNow()}, {"instance", instance}, {"session", spid}, {"kind", kind}};
}

} // namespace

namespace {

// The trace holds every batch clients sent: a new one is made for the
// server's user and group only, as its other files are.
const std::string &createdPrivately(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (fd >= 0)
        ::close(fd);
    return path;
}

} // namespace

TraceLog::TraceLog(const std::string &path)
    : m_file(createdPrivately(path), std::ios::app | std::ios::binary)
{}

void TraceLog::append(const std::string &line)
{
    std::lock_guard lock(m_mutex);
    m_file << line << '\n';
    m_file.flush();
}

void TraceLog::batch(const std::string &instance, int spid, const std::string &text)
{
    auto json = record(instance, spid, "batch");
    json["text"] = text;
    append(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void TraceLog::rpc(const std::string &instance, int spid, const std::string &procedure,
                   const std::vector<RpcParameter> &parameters)
{
    auto json = record(instance, spid, "rpc");
    json["procedure"] = procedure;
    json["parameters"] = nlohmann::json::array();
    for (const auto &p : parameters) {
        json["parameters"].push_back(
            {{"name", p.name}, {"type", sqlTypeName(p.type)}, {"output", p.output}, {"value", valueToJson(p.value)}});
    }
    append(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void TraceLog::end(const std::string &instance, int spid, std::int32_t error, bool delivered)
{
    auto json = record(instance, spid, "end");
    json["error"] = error;
    json["delivered"] = delivered;
    append(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

} // namespace sqlemu::tds
