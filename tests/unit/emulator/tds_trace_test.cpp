#include "tds/trace_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

std::vector<nlohmann::json> readLines(const std::string &path)
{
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

class TdsTrace : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = (std::filesystem::temp_directory_path() / ("sqlemu-trace-" + std::to_string(::getpid()) + ".jsonl"))
                   .string();
        std::filesystem::remove(path);
    }
    void TearDown() override { std::filesystem::remove(path); }
    std::string path;
};

TEST_F(TdsTrace, RecordsBatchesAndRpcsAsJsonLines)
{
    {
        TraceLog trace(path);
        ASSERT_TRUE(trace.isOpen());
        trace.batch("MSSQLSERVER", 51, "use master\r\n\r\nEXECUTE \"x\" -- ميز");
        std::vector<RpcParameter> parameters = {
            {"@statement", SqlType::NVarChar, 4000, std::string("select @n"), false},
            {"@n", SqlType::Int, 0, std::int64_t{-3}, true},
            {"@none", SqlType::VarChar, 10, std::monostate{}, false},
            {"@bin", SqlType::VarBinary, 4, Bytes{0x0A, 0xFF}, false},
        };
        trace.rpc("SALES", 52, "sp_executesql", parameters);
    }
    {
        TraceLog again(path); // a second run appends
        again.batch("MSSQLSERVER", 53, "select 1");
    }
    auto lines = readLines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["kind"], "batch");
    EXPECT_EQ(lines[0]["session"], 51);
    EXPECT_EQ(lines[0]["text"], "use master\r\n\r\nEXECUTE \"x\" -- ميز");
    EXPECT_EQ(lines[0]["time"].get<std::string>().size(), 24u); // 2026-12-07T08:01:55.802Z
    EXPECT_EQ(lines[1]["instance"], "SALES");
    EXPECT_EQ(lines[1]["procedure"], "sp_executesql");
    const auto &p = lines[1]["parameters"];
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0]["type"], "nvarchar");
    EXPECT_EQ(p[1]["value"], -3);
    EXPECT_EQ(p[1]["output"], true);
    EXPECT_TRUE(p[2]["value"].is_null());
    EXPECT_EQ(p[3]["value"], "0x0AFF");
    EXPECT_EQ(lines[2]["text"], "select 1");
}

TEST_F(TdsTrace, ANewTraceIsForTheServersUserAndGroupOnly)
{
    // Batches may hold what others must not read, whatever the umask allows.
    const mode_t umaskBefore = ::umask(0);
    {
        TraceLog trace(path);
        trace.batch("MSSQLSERVER", 51, "select 1");
    }
    ::umask(umaskBefore);
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(path).permissions(), perms::owner_read | perms::owner_write | perms::group_read);
    EXPECT_EQ(readLines(path).size(), 1u);
}

TEST_F(TdsTrace, LinesFromManySessionsNeverInterleave)
{
    {
        TraceLog trace(path);
        std::vector<std::thread> sessions;
        for (int s = 0; s < 8; ++s) {
            sessions.emplace_back([&trace, s] {
                for (int i = 0; i < 200; ++i)
                    trace.batch("MSSQLSERVER", 51 + s, std::string(300, static_cast<char>('a' + s)));
            });
        }
        for (auto &t : sessions)
            t.join();
    }
    auto lines = readLines(path); // each line parses on its own
    EXPECT_EQ(lines.size(), 1600u);
}

} // namespace
