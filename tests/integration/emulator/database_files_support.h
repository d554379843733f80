#pragma once

// A fixture for the statements on whole databases: a sqlemu of its own with
// a folder for database files and backups, the tool's batches as it sends
// them, and helpers to look at the files on disk.

#include "dblib_client.h"
#include "process_runner.h"

#include "support/sqlemu_process.h"
#include "support/tool_batches.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// A backup medium starts with its header; sets follow it.
inline constexpr std::size_t kMediaHeaderBytes = 8192;

struct DatabasePair {
    std::filesystem::path data;
    std::filesystem::path log;
};

inline std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void writeFile(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Files a writer left half done under a hidden or temporary name.
inline std::vector<std::string> strayFiles(const std::filesystem::path &folder)
{
    std::vector<std::string> stray;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.front() == '.' || name.ends_with(".tmp"))
            stray.push_back(entry.path().string());
    }
    return stray;
}

inline std::size_t columnIndex(const ResultSet &set, const std::string &name)
{
    for (std::size_t i = 0; i < set.columns.size(); ++i)
        if (set.columns[i] == name)
            return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// The drop batch of the tool's restore.
inline std::string dropBatch(const std::string &database)
{
    return movan::dropDatabaseSql(database);
}

// The tool's own batches, as its parameters turn them into sp_executesql text.
using sqlemu::test::kBackupBatch;
using sqlemu::test::kLogShrinkBatch;
using sqlemu::test::kRecoveryLogShrinkBatch;

inline std::vector<ResultSet> logShrinkAsTheToolDoes(DbLibConnection &connection, const std::string &database, bool *ok)
{
    return connection.call("sp_executesql",
                           {{RpcArgument::Kind::Text, "@statement", kLogShrinkBatch, 0},
                            {RpcArgument::Kind::Text, "@params", "@P1 nvarchar(128)", 0},
                            {RpcArgument::Kind::Text, "@P1", database, 0}},
                           ok);
}

// The shrink the tool sends to SQL Server 2008 and later.
inline std::vector<ResultSet> recoveryLogShrinkAsTheToolDoes(DbLibConnection &connection, const std::string &database,
                                                             bool *ok)
{
    return connection.call("sp_executesql",
                           {{RpcArgument::Kind::Text, "@statement", kRecoveryLogShrinkBatch, 0},
                            {RpcArgument::Kind::Text, "@params", "@P1 nvarchar(128)", 0},
                            {RpcArgument::Kind::Text, "@P1", database, 0}},
                           ok);
}

// Writes an attachable pair with sqlemu --make-database.
inline DatabasePair makeDatabaseFiles(const std::filesystem::path &folder, const std::string &name,
                                      const std::string &logicalData, const std::string &logicalLog, int megabytes = 3)
{
    DatabasePair pair{folder / (name + ".mdf"), folder / (name + "_log.ldf")};
    const auto result = runProcess({builtExecutable("sqlemu"), "--make-database", name, "--data", pair.data.string(),
                                    "--log", pair.log.string(), "--size", std::to_string(megabytes), "--logical-data",
                                    logicalData, "--logical-log", logicalLog});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return pair;
}

class DatabaseFilesTest : public ::testing::Test {
protected:
    void SetUp() override { startServer(); }

    void startServer(const std::string &version = "")
    {
        folder = makeTemporaryFolder("sqlemu-files");
        SqlemuOptions options;
        options.serverVersion = version;
        server = std::make_unique<SqlemuProcess>(options);
        ASSERT_TRUE(server->start()) << server->error();
        ASSERT_TRUE(db.open(server->address(), "sa", ""));
    }

    void TearDown() override
    {
        db.close();
        server.reset();
        std::filesystem::remove_all(folder);
    }

    DatabasePair makeDatabase(const std::string &name, const std::string &logicalData, const std::string &logicalLog,
                              int megabytes = 3)
    {
        return makeDatabaseFiles(folder, name, logicalData, logicalLog, megabytes);
    }

    // Runs a batch; leaves out the 5701 of its USE, which says nothing here.
    std::vector<ResultSet> run(const std::string &sql, bool *ok = nullptr)
    {
        auto sets = db.execute(sql, ok);
        std::erase_if(db.messages, [](const SeenMessage &m) { return m.number == 5701; });
        return sets;
    }

    // The attach batch of the tool's connection window.
    bool attach(const std::string &name, const DatabasePair &pair)
    {
        bool ok = false;
        run("USE master CREATE DATABASE " + name + " ON (FILENAME = N'" + pair.data.string() + "')," + "(FILENAME = N'"
                + pair.log.string() + "') FOR ATTACH",
            &ok);
        return ok;
    }

    bool backupAsTheToolDoes(const std::string &database, const std::string &path)
    {
        bool ok = false;
        db.call("sp_executesql",
                {{RpcArgument::Kind::Text, "@statement", kBackupBatch, 0},
                 {RpcArgument::Kind::Text, "@params", "@P1 varchar(50),@P2 varchar(255)", 0},
                 {RpcArgument::Kind::Text, "@P1", database, 0},
                 {RpcArgument::Kind::Text, "@P2", path, 0}},
                &ok);
        return ok;
    }

    // The restore batch of the tool, with app as the tool's own folder.
    bool restoreAsTheToolDoes(const std::string &database, const std::filesystem::path &media,
                              const std::filesystem::path &app, const std::string &extra = "")
    {
        const std::string e = app.string() + "/";
        bool ok = false;
        run(" USE master  RESTORE DATABASE " + database + " FROM DISK = N'" + media.string() + "'"
                + " WITH MOVE 'Data_Data' TO '" + e + "Data\\Data.mdf'" + "  ,    MOVE 'Data_log' TO '" + e
                + "Data\\Data_Log.ldf'" + extra,
            &ok);
        return ok;
    }

    void growLog(const std::string &database, int megabytes)
    {
        bool ok = false;
        db.execute("EXEC sqlemu_test_grow_log @database = N'" + database
                       + "', @megabytes = " + std::to_string(megabytes),
                   &ok);
        ASSERT_TRUE(ok) << firstMessage();
    }

    static void paceStorage(DbLibConnection &connection, int milliseconds)
    {
        bool ok = false;
        connection.execute("EXEC sqlemu_test_pace_storage @milliseconds = " + std::to_string(milliseconds), &ok);
        ASSERT_TRUE(ok);
    }

    std::vector<int> numbers() const
    {
        std::vector<int> out;
        for (const auto &m : db.messages)
            out.push_back(m.number);
        return out;
    }

    std::string firstMessage() const
    {
        for (const auto &m : db.messages)
            if (m.severity > 10)
                return std::to_string(m.number) + ": " + m.text;
        return db.clientErrors.empty() ? std::string() : db.clientErrors.front();
    }

    std::vector<std::string> databaseNames()
    {
        std::vector<std::string> names;
        auto sets = run("select name from master.dbo.sysdatabases");
        if (!sets.empty())
            for (const auto &row : sets[0].rows)
                names.push_back(row[0].value_or(""));
        return names;
    }

    std::filesystem::path folder;
    std::unique_ptr<SqlemuProcess> server;
    DbLibConnection db;
};
