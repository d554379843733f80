#include "sql/execution_context.h"

#include "storage/collation.h"

#include <thread>

namespace sqlemu {

Variable &Variables::declare(const std::string &name, const DataType &type)
{
    m_variables.push_back(Variable{name, type, TypedValue::null(type.type, type.length)});
    return m_variables.back();
}

Variable *Variables::find(std::string_view name)
{
    for (auto &v : m_variables)
        if (sameName(v.name, name))
            return &v;
    return nullptr;
}

std::vector<std::string> Variables::names() const
{
    std::vector<std::string> names;
    for (const auto &v : m_variables)
        names.push_back(v.name);
    return names;
}

void waitWatchingCancel(ResultSink &sink, std::chrono::milliseconds duration)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    while (true) {
        if (sink.cancelled())
            throw Cancelled{};
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(10)));
    }
}

} // namespace sqlemu
