#include "storage/atomic_file.h"
#include "storage/catalogue.h"
#include "storage/catalogue_json.h"
#include "storage/storage_error.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace sqlemu {
namespace {

using test::TempFolder;

DatabaseInfo userDatabase(const std::string &name, const std::filesystem::path &folder)
{
    DatabaseInfo db;
    db.name = name;
    db.created = DateTimeValue{3'900'000'000'000};
    db.files.push_back(
        {1, DatabaseFileType::Data, name + "_Data", (folder / (name + ".mdf")).string(), 256, -1, 10, true});
    db.files.push_back(
        {2, DatabaseFileType::Log, name + "_log", (folder / (name + "_log.ldf")).string(), 128, -1, 10, true});
    return db;
}

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CatalogueTest, FreshInstanceHasTheSystemDatabasesWithTheirRealFileNames)
{
    TempFolder folder;
    const auto dataDir = folder.path() / "MSSQLSERVER";
    auto catalogue = Catalogue::open(dataDir, 90);
    const auto dbs = catalogue->databases();
    ASSERT_EQ(dbs.size(), 4u);
    const struct {
        int id;
        const char *name, *dataLogical, *dataFile, *logLogical, *logFile;
    } expected[] = {
        {1, "master", "master", "master.mdf", "mastlog", "mastlog.ldf"},
        {2, "tempdb", "tempdev", "tempdb.mdf", "templog", "templog.ldf"},
        {3, "model", "modeldev", "model.mdf", "modellog", "modellog.ldf"},
        {4, "msdb", "MSDBData", "MSDBData.mdf", "MSDBLog", "MSDBLog.ldf"},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(dbs[i].id, expected[i].id);
        EXPECT_EQ(dbs[i].name, expected[i].name);
        ASSERT_EQ(dbs[i].files.size(), 2u);
        EXPECT_EQ(dbs[i].files[0].logicalName, expected[i].dataLogical);
        EXPECT_EQ(dbs[i].files[0].physicalName, (dataDir / expected[i].dataFile).string());
        EXPECT_EQ(dbs[i].files[1].logicalName, expected[i].logLogical);
        EXPECT_EQ(dbs[i].files[1].physicalName, (dataDir / expected[i].logFile).string());
        EXPECT_EQ(dbs[i].files[1].type, DatabaseFileType::Log);
        EXPECT_EQ(dbs[i].compatibilityLevel, 90);
    }
    EXPECT_TRUE(std::filesystem::exists(dataDir / Catalogue::kFileName));
}

TEST(CatalogueTest, FilesAreNamedByFullPathsWhenTheFolderIsGivenRelatively)
{
    TempFolder folder;
    const auto relative = std::filesystem::relative(folder.path() / "inst", std::filesystem::current_path());
    ASSERT_TRUE(relative.is_relative());
    auto catalogue = Catalogue::open(relative, 90);
    const auto master = catalogue->find("master");
    EXPECT_TRUE(std::filesystem::path(master->files[0].physicalName).is_absolute());
    EXPECT_EQ(std::filesystem::path(master->files[0].physicalName), std::filesystem::absolute(relative) / "master.mdf");
}

TEST(CatalogueTest, EveryChangeIsOnDiskAndSurvivesAReload)
{
    TempFolder folder;
    {
        auto catalogue = Catalogue::open(folder.path(), 90);
        EXPECT_EQ(catalogue->add(userDatabase("Tarnel", folder.path())).id, 5);
        EXPECT_EQ(catalogue->add(userDatabase("QelnatData", folder.path())).id, 6);
        EXPECT_TRUE(catalogue->update("TARNEL", [](DatabaseInfo &db) { db.userAccess = UserAccess::SingleUser; }));
        EXPECT_TRUE(catalogue->remove("qelnatdata"));
        // No close or save call: the catalogue is gone without a goodbye.
    }
    auto reloaded = Catalogue::open(folder.path(), 90);
    const auto dbs = reloaded->databases();
    ASSERT_EQ(dbs.size(), 5u);
    EXPECT_EQ(dbs[4], [&] {
        auto expected = userDatabase("Tarnel", folder.path());
        expected.id = 5;
        expected.userAccess = UserAccess::SingleUser;
        return expected;
    }());
    EXPECT_FALSE(reloaded->contains("QelnatData"));
}

TEST(CatalogueTest, NamesCompareCaseInsensitivelyAndCannotBeTakenTwice)
{
    TempFolder folder;
    auto catalogue = Catalogue::open(folder.path(), 90);
    catalogue->add(userDatabase("Movan", folder.path()));
    EXPECT_TRUE(catalogue->contains("MOVAN"));
    EXPECT_THROW(catalogue->add(userDatabase("movan", folder.path())), StorageError);
    EXPECT_THROW(catalogue->add(userDatabase("MASTER", folder.path())), StorageError);
    catalogue->add(userDatabase("Other", folder.path()));
    EXPECT_THROW(catalogue->update("Other", [](DatabaseInfo &db) { db.name = "MOVAN"; }), StorageError);
    EXPECT_EQ(catalogue->find("Other")->name, "Other");
}

TEST(CatalogueTest, IdsOfDroppedDatabasesAreUsedAgain)
{
    TempFolder folder;
    auto catalogue = Catalogue::open(folder.path(), 90);
    catalogue->add(userDatabase("a", folder.path()));
    catalogue->add(userDatabase("b", folder.path()));
    catalogue->add(userDatabase("c", folder.path()));
    catalogue->remove("b");
    EXPECT_EQ(catalogue->add(userDatabase("d", folder.path())).id, 6);
    EXPECT_EQ(catalogue->add(userDatabase("e", folder.path())).id, 8);
    std::vector<int> ids;
    for (const auto &db : catalogue->databases())
        ids.push_back(db.id);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(CatalogueTest, ATornTemporaryFileFromACrashDoesNotDisturbTheLoad)
{
    TempFolder folder;
    {
        auto catalogue = Catalogue::open(folder.path(), 90);
        catalogue->add(userDatabase("Tarnel", folder.path()));
    }
    const auto path = folder.path() / Catalogue::kFileName;
    const std::string whole = readFile(path);
    {
        std::ofstream torn(temporaryPathFor(path), std::ios::binary);
        torn << whole.substr(0, whole.size() / 2);
    }
    auto catalogue = Catalogue::open(folder.path(), 90);
    EXPECT_TRUE(catalogue->contains("Tarnel"));
    EXPECT_FALSE(std::filesystem::exists(temporaryPathFor(path)));
    catalogue->add(userDatabase("Movan", folder.path()));
    EXPECT_TRUE(Catalogue::open(folder.path(), 90)->contains("Movan"));
}

TEST(CatalogueTest, ADamagedCatalogueIsRefusedAndLeftAsItIs)
{
    const std::string damaged[] = {
        "",
        "{\"format\": 1, \"databases\": [",
        "{\"format\": 2, \"databases\": []}",
        "{\"format\": 1, \"databases\": [{\"id\": 1, \"name\": \"master\"}]}",
        "[1, 2, 3]",
    };
    for (const auto &text : damaged) {
        SCOPED_TRACE(text);
        TempFolder folder;
        const auto path = folder.path() / Catalogue::kFileName;
        {
            std::ofstream out(path, std::ios::binary);
            out << text;
        }
        EXPECT_THROW(Catalogue::open(folder.path(), 90), StorageError);
        EXPECT_EQ(readFile(path), text);
    }
}

TEST(CatalogueTest, DuplicateNamesOrIdsInTheFileAreRefused)
{
    TempFolder folder;
    auto a = userDatabase("x", folder.path());
    a.id = 5;
    auto b = userDatabase("X", folder.path());
    b.id = 6;
    EXPECT_THROW(catalogueFromJson(catalogueToJson({a, b})), StorageError);
    b.name = "y";
    b.id = 5;
    EXPECT_THROW(catalogueFromJson(catalogueToJson({a, b})), StorageError);
    b.id = 6;
    EXPECT_EQ(catalogueFromJson(catalogueToJson({a, b})).size(), 2u);
}

TEST(CatalogueTest, AChangeThatCannotBeSavedIsUndone)
{
    TempFolder folder;
    auto catalogue = Catalogue::open(folder.path(), 90);
    catalogue->add(userDatabase("Tarnel", folder.path()));
    // A folder where the temporary file must go makes every save fail, for
    // root as well.
    const auto blocker = temporaryPathFor(folder.path() / Catalogue::kFileName);
    std::filesystem::create_directory(blocker);
    EXPECT_THROW(catalogue->add(userDatabase("Movan", folder.path())), StorageError);
    EXPECT_THROW(catalogue->remove("Tarnel"), StorageError);
    EXPECT_THROW(catalogue->update("Tarnel", [](DatabaseInfo &db) { db.state = DatabaseState::Offline; }),
                 StorageError);
    std::filesystem::remove(blocker);
    EXPECT_FALSE(catalogue->contains("Movan"));
    ASSERT_TRUE(catalogue->contains("Tarnel"));
    EXPECT_EQ(catalogue->find("Tarnel")->state, DatabaseState::Online);
    EXPECT_EQ(Catalogue::open(folder.path(), 90)->databases(), catalogue->databases());
}

TEST(CatalogueTest, ConcurrentChangesAreAllKept)
{
    TempFolder folder;
    auto catalogue = Catalogue::open(folder.path(), 90);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i)
                catalogue->add(userDatabase("db" + std::to_string(t) + "_" + std::to_string(i), folder.path()));
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(catalogue->databases().size(), 44u);
    EXPECT_EQ(Catalogue::open(folder.path(), 90)->databases().size(), 44u);
}

} // namespace
} // namespace sqlemu
