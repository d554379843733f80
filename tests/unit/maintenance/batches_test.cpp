#include "maintenance/batches.h"

#include <gtest/gtest.h>

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

// The path and the name are held whole and as Unicode; the rest stays.
TEST(BackupBatch, DeclaresFullLengthUnicodeTexts)
{
    const std::string_view sql = movan::kBackupSql;
    EXPECT_TRUE(sql.starts_with("Declare @Ar_Path nvarchar(4000),\r\n        @Ar_DataBase nvarchar(128)\r\n\r\n"));
    EXPECT_NE(sql.find("Declare @path nvarchar(4000) Set @path= @Ar_Path  --"), std::string_view::npos);
    EXPECT_EQ(sql.find("varchar(50)"), std::string_view::npos);
    EXPECT_EQ(sql.find("varchar(200)"), std::string_view::npos);
    EXPECT_NE(sql.find("NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT\r\n\r\n"), std::string_view::npos);
    EXPECT_EQ(movan::kBackupPathParameterSize, 4000);
    EXPECT_EQ(movan::kBackupDataBaseParameterSize, 128);
}

} // namespace
