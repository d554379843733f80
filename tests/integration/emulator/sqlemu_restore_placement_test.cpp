// Where a restore may put its files, with sqlemu under an account of its own
// as a SQL Server service runs: a folder that account cannot write is refused
// while the restore is planned, with the real server's messages, and nothing
// is created; a client can ask which database owns each physical file.
#include "database_files_support.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class SqlemuRestorePlacement : public ::testing::Test {
protected:
    void SetUp() override
    {
        const passwd *nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        m_uid = nobody->pw_uid;
        m_gid = nobody->pw_gid;
        folder = makeTemporaryFolder("sqlemu-placement");
        ::chmod(folder.c_str(), 0755);
        serverFolder = folder / "server";
        fs::create_directories(serverFolder);
        giveAway(serverFolder);
        SqlemuOptions options;
        options.saPassword = "Secret1";
        options.dataDir = (folder / "data").string();
        fs::create_directories(options.dataDir);
        giveAway(options.dataDir);
        options.launcher = {"setpriv", "--reuid=nobody", "--regid=" + std::to_string(m_gid), "--clear-groups", "--"};
        server = std::make_unique<SqlemuProcess>(options);
        ASSERT_TRUE(server->start()) << server->error() << server->standardError();
        ASSERT_TRUE(db.open(server->address(), "sa", "Secret1"));

        const DatabasePair source = makeDatabaseFiles(serverFolder, "Source", "Data_Data", "Data_log", 1);
        giveAway(source.data);
        giveAway(source.log);
        bool ok = false;
        db.execute("CREATE DATABASE Source ON (FILENAME = N'" + source.data.string() + "'), (FILENAME = N'"
                       + source.log.string() + "') FOR ATTACH",
                   &ok);
        ASSERT_TRUE(ok);
        media = serverFolder / "Source.Bak";
        db.execute("BACKUP DATABASE Source TO DISK = N'" + media.string() + "' WITH COPY_ONLY, NAME = N'Copy'", &ok);
        ASSERT_TRUE(ok) << (db.messages.empty() ? "" : db.messages.back().text);
    }

    void TearDown() override
    {
        db.close();
        server.reset();
        fs::remove_all(folder);
    }

    void giveAway(const fs::path &path) { ASSERT_EQ(::chown(path.c_str(), m_uid, m_gid), 0) << path; }

    fs::path folder;
    fs::path serverFolder;
    fs::path media;
    std::unique_ptr<SqlemuProcess> server;
    DbLibConnection db;

private:
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

TEST_F(SqlemuRestorePlacement, FolderTheServerCannotWriteIsRefusedWhilePlanning)
{
    const fs::path closed = folder / "closed";
    fs::create_directories(closed);
    ::chmod(closed.c_str(), 0755); // root's: the server's account may only read it
    db.messages.clear();
    bool ok = true;
    db.execute("RESTORE DATABASE Copy FROM DISK = N'" + media.string() + "' WITH MOVE 'Data_Data' TO '"
                   + (closed / "Data.mdf").string() + "', MOVE 'Data_log' TO '" + (closed / "Data_Log.ldf").string()
                   + "'",
               &ok);
    EXPECT_FALSE(ok);
    std::vector<int> numbers;
    for (const auto &m : db.messages)
        numbers.push_back(m.number);
    EXPECT_EQ(numbers, (std::vector<int>{3634, 3156, 3634, 3156, 3119, 3013}));
    ASSERT_FALSE(db.messages.empty());
    EXPECT_EQ(db.messages.front().text,
              "The operating system returned the error '5(Access is denied.)' while attempting "
              "'RestoreContainer::ValidateTargetForCreation' on '"
                  + (closed / "Data.mdf").string() + "'.");
    EXPECT_EQ(db.messages[1].state, 8);
    EXPECT_TRUE(fs::is_empty(closed));
    const auto sets = db.execute("SELECT name FROM master.dbo.sysdatabases WHERE name = N'Copy'");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_TRUE(sets[0].rows.empty());
}

TEST_F(SqlemuRestorePlacement, SysaltfilesNamesTheOwnerOfEveryFile)
{
    const auto sets = db.execute("SELECT dbid, name, filename FROM master.dbo.sysaltfiles");
    ASSERT_EQ(sets.size(), 1u);
    const auto dbid = db.execute("SELECT dbid FROM master.dbo.sysdatabases WHERE name = N'Source'");
    ASSERT_EQ(dbid.size(), 1u);
    ASSERT_EQ(dbid[0].rows.size(), 1u);
    std::vector<std::string> sourceFiles;
    for (const auto &row : sets[0].rows)
        if (row[0] == dbid[0].rows[0][0])
            sourceFiles.push_back(*row[1] + " " + *row[2]);
    EXPECT_EQ(sourceFiles,
              (std::vector<std::string>{"Data_Data " + (serverFolder / "Source.mdf").string(),
                                        "Data_log " + (serverFolder / "Source_log.ldf").string()}));
    // Eight files of the four system databases, two of Source.
    EXPECT_EQ(sets[0].rows.size(), 10u);
    bool ok = true;
    db.execute("SELECT filename FROM Source.dbo.sysaltfiles", &ok);
    EXPECT_FALSE(ok);
}

} // namespace
