#include "maintenance/batches.h"

#include <gtest/gtest.h>

#include <optional>

using namespace movan;

namespace {

// Names and paths that were accepted bare give the same statements, only
// bracketed; anything else is quoted so that it stays one name or one path.
TEST(RestoreBatches, QuoteTheNameAsIdentifierAndAsStringAndDoubleQuotesInPaths)
{
    const struct {
        std::string target;
        std::string file;
        std::string folder;
        std::string drop;
        std::string restore;
    } cases[] = {
        {"Tarnel", "D:\\Backup\\Tarnel_13910829_14-05.Bak", "C:\\App\\",
         "USE MASTER IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'Tarnel')ALTER DATABASE [Tarnel] "
         "SET SINGLE_USER WITH ROLLBACK IMMEDIATE  DROP DATABASE [Tarnel]",
         " USE master  RESTORE DATABASE [Tarnel] FROM DISK = N'D:\\Backup\\Tarnel_13910829_14-05.Bak' WITH MOVE "
         "'Data_Data' TO 'C:\\App\\Data\\Data.mdf'  ,    MOVE 'Data_log' TO 'C:\\App\\Data\\Data_Log.ldf'"},
        {"My Data-Base", "/b/O'Neil's.Bak", "/opt/O'Neil/",
         "USE MASTER IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'My Data-Base')ALTER DATABASE "
         "[My Data-Base] SET SINGLE_USER WITH ROLLBACK IMMEDIATE  DROP DATABASE [My Data-Base]",
         " USE master  RESTORE DATABASE [My Data-Base] FROM DISK = N'/b/O''Neil''s.Bak' WITH MOVE 'Data_Data' TO "
         "'/opt/O''Neil/Data\\Data.mdf'  ,    MOVE 'Data_log' TO '/opt/O''Neil/Data\\Data_Log.ldf'"},
        {"x]; DROP DATABASE Archive --'", "f.Bak", "/",
         "USE MASTER IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'x]; DROP DATABASE Archive "
         "--''')ALTER DATABASE [x]]; DROP DATABASE Archive --'] SET SINGLE_USER WITH ROLLBACK IMMEDIATE  DROP "
         "DATABASE [x]]; DROP DATABASE Archive --']",
         " USE master  RESTORE DATABASE [x]]; DROP DATABASE Archive --'] FROM DISK = N'f.Bak' WITH MOVE 'Data_Data' "
         "TO '/Data\\Data.mdf'  ,    MOVE 'Data_log' TO '/Data\\Data_Log.ldf'"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(movan::dropDatabaseSql(c.target), c.drop);
        EXPECT_EQ(movan::restoreDatabaseSql(c.target, c.file, c.folder), c.restore);
    }
    EXPECT_EQ(movan::fileListSql("/b/it's.Bak"), "RESTORE FILELISTONLY FROM DISK = N'/b/it''s.Bak'");
    EXPECT_EQ(movan::verifySql("/b/it's.Bak"), "RESTORE VERIFYONLY FROM DISK = N'/b/it''s.Bak'");
}

// The parameters are cut to their sizes before they reach the server: each
// size is the one the batch declares, in Unicode, and a name may be as long as
// the server allows (128). A long or Persian path is covered by the window's
// backup tests.
TEST(BackupBatch, DeclaresItsParametersAtTheSizesItIsSent)
{
    const std::string_view sql = movan::kBackupSql;
    const auto declares = [sql](std::string_view variable, int size) {
        return sql.find(std::string(variable) + " nvarchar(" + std::to_string(size) + ")") != std::string_view::npos;
    };
    EXPECT_TRUE(declares("@Ar_DataBase", movan::kBackupDataBaseParameterSize));
    EXPECT_TRUE(declares("@Ar_Path", movan::kBackupPathParameterSize));
    EXPECT_TRUE(declares("@path", movan::kBackupPathParameterSize));
    EXPECT_GE(movan::kBackupDataBaseParameterSize, 128);
    EXPECT_NE(sql.find("NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT\r\n\r\n"), std::string_view::npos);
}

// Each server's banner, as @@VERSION gives it, picks the shrink it runs: the
// truncating one before SQL Server 2008, the recovery-model one from then on
// and whenever the banner shows no version.
TEST(LogShrinkBatch, TheServersVersionPicksTheBatch)
{
    const struct {
        const char *banner;
        std::optional<int> major;
        bool truncates;
    } cases[] = {
        {"Microsoft SQL Server 2005 - 9.00.5000.00 (Intel X86) \n\tDec 10 2010", 9, true},
        {"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)", 8, true},
        {"Microsoft SQL Server 2008 (SP3) - 10.0.5500.0 (X64)", 10, false},
        {"Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0 (Intel X86)", 10, false},
        {"Microsoft SQL Server 2019 (RTM-CU8) (KB4577194) - 15.0.4073.23 (X64)", 15, false},
        {"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64)", 16, false},
        {"Microsoft SQL Azure (RTM) - 12.0.2000.8", 12, false},
        {"Microsoft SQL Server vNext", std::nullopt, false},
        {"x - .1", std::nullopt, false},
        {"", std::nullopt, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(movan::majorVersionFromBanner(c.banner), c.major) << c.banner;
        const std::string_view sql = movan::logShrinkSql(movan::majorVersionFromBanner(c.banner));
        EXPECT_EQ(sql.find("TRUNCATE_ONLY") != std::string_view::npos, c.truncates) << c.banner;
    }
}

} // namespace
