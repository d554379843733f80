#pragma once

// A fixture for the tests that kill sqlemu and start it again on the same
// data folder: a temporary folder with the server's data in server/, the
// options every start uses, and the database Source these tests back up to
// Source.Bak and restore from it.

#include "database_files_support.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

class KilledServerTest : public ::testing::Test {
protected:
    explicit KilledServerTest(std::string folderPrefix)
        : m_folderPrefix(std::move(folderPrefix))
    {}

    void SetUp() override
    {
        folder = makeTemporaryFolder(m_folderPrefix);
        options.dataDir = (folder / "server").string();
        std::filesystem::create_directories(options.dataDir);
        media = folder / "Source.Bak";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::unique_ptr<SqlemuProcess> start()
    {
        auto server = std::make_unique<SqlemuProcess>(options);
        EXPECT_TRUE(server->start()) << server->error() << server->standardError();
        return server;
    }

    // Attaches Source (logical files Data_Data and Data_log) from new files
    // of that size and backs it up to media, the backup with backupWith
    // appended; false when either statement fails.
    bool attachAndBackUpSource(DbLibConnection &db, int megabytes, const std::string &backupWith = "")
    {
        const auto source = makeDatabaseFiles(folder, "Source", "Data_Data", "Data_log", megabytes);
        bool ok = false;
        db.execute("CREATE DATABASE Source ON (FILENAME = N'" + source.data.string() + "'), (FILENAME = N'"
                       + source.log.string() + "') FOR ATTACH",
                   &ok);
        if (ok)
            db.execute("BACKUP DATABASE Source TO DISK = N'" + media.string() + "'" + backupWith, &ok);
        return ok;
    }

    // Restores media over database, its files moved into restored/.
    std::string restoreStatement(const std::string &database) const
    {
        const std::filesystem::path target = folder / "restored";
        return "RESTORE DATABASE " + database + " FROM DISK = N'" + media.string() + "' WITH MOVE 'Data_Data' TO '"
            + (target / "Data.mdf").string() + "', MOVE 'Data_log' TO '" + (target / "Data_Log.ldf").string()
            + "', REPLACE";
    }

    std::filesystem::path folder;
    std::filesystem::path media;
    SqlemuOptions options;

private:
    std::string m_folderPrefix;
};
