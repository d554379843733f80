#include "storage/file_io.h"
#include "storage/partial_folder_journal.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace sqlemu {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

pid_t goneProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

fs::path partialFile(const fs::path &folder, pid_t writer)
{
    const auto path = folder / (".Media.Bak.sqlemu-partial-" + std::to_string(writer) + "-0");
    fs::create_directories(folder);
    std::ofstream(path) << "half";
    return path;
}

std::string contentsOf(const fs::path &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PartialFolderJournalTest, StartSweepRemovesGoneWritersFilesAndKeepsOnlyFoldersStillInUse)
{
    TempFolder folder;
    const auto data = folder.path() / "MSSQLSERVER";
    const auto backups = folder.path() / "backups";
    const auto shared = folder.path() / "shared";
    const auto vanished = folder.path() / "vanished";
    fs::create_directories(data);
    {
        PartialFolderJournal running(data);
        EXPECT_EQ(running.record(backups), 0);
        EXPECT_EQ(running.record(shared), 0);
        EXPECT_EQ(running.record(backups), 0);
        EXPECT_EQ(running.record(vanished), 0);
        EXPECT_EQ(contentsOf(running.filePath()),
                  backups.string() + "\n" + shared.string() + "\n" + vanished.string() + "\n");
    }
    const auto dead = goneProcess();
    const auto stale = partialFile(backups, dead);
    std::ofstream(backups / "Media.Bak") << "whole";
    const auto staleShared = partialFile(shared, dead);
    const auto live = partialFile(shared, ::getppid());

    PartialFolderJournal restarted(data);
    restarted.sweep();
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(staleShared));
    EXPECT_TRUE(fs::exists(backups / "Media.Bak"));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(contentsOf(restarted.filePath()), shared.string() + "\n");

    // Kept folders count as recorded; swept ones are written down again.
    EXPECT_EQ(restarted.record(shared), 0);
    EXPECT_EQ(restarted.record(backups), 0);
    EXPECT_EQ(contentsOf(restarted.filePath()), shared.string() + "\n" + backups.string() + "\n");

    fs::remove(live);
    PartialFolderJournal clean(data);
    clean.sweep();
    EXPECT_FALSE(fs::exists(clean.filePath()));
}

TEST(PartialFolderJournalTest, TornLastLineAndLineBreaksInNamesLoseNoFolder)
{
    TempFolder folder;
    const auto data = folder.path() / "MSSQLSERVER";
    const auto odd = folder.path() / "odd\\name\nwith break";
    const auto next = folder.path() / "next";
    fs::create_directories(data);
    std::ofstream(data / PartialFolderJournal::kFileName) << (folder.path() / "tor").string();
    {
        PartialFolderJournal running(data);
        EXPECT_EQ(running.record(odd), 0);
        EXPECT_EQ(running.record(next), 0);
    }
    const auto dead = goneProcess();
    const auto inOdd = partialFile(odd, dead);
    const auto inNext = partialFile(next, dead);

    PartialFolderJournal restarted(data);
    restarted.sweep();
    EXPECT_FALSE(fs::exists(inOdd));
    EXPECT_FALSE(fs::exists(inNext));
    EXPECT_FALSE(fs::exists(restarted.filePath()));
}

TEST(PartialFolderJournalTest, AtStartFilesUnderItsOwnIdAreAnEarlierServersAndAFailedRecordSaysSo)
{
    TempFolder folder;
    const auto data = folder.path() / "MSSQLSERVER";
    const auto backups = folder.path() / "backups";
    fs::create_directories(data);
    {
        PartialFolderJournal running(data);
        EXPECT_EQ(running.record(backups), 0);
    }
    // A restarted server may get the id of the killed one (a container's
    // first process is always 1). While it runs, files under its id are its
    // own operations'; at start it has none yet.
    const auto left = partialFile(backups, ::getpid());
    EXPECT_FALSE(removeLeftoverPartialsIn(backups));
    EXPECT_TRUE(fs::exists(left));
    PartialFolderJournal restarted(data);
    restarted.sweep();
    EXPECT_FALSE(fs::exists(left));

    // A journal that cannot be written is reported, and the folder is not
    // taken as written down: the next record tries again.
    const auto journal = restarted.filePath();
    fs::remove(journal);
    fs::create_directory(journal);
    EXPECT_EQ(restarted.record(backups), EISDIR);
    fs::remove(journal);
    EXPECT_EQ(restarted.record(backups), 0);
    EXPECT_EQ(contentsOf(journal), backups.string() + "\n");
}

} // namespace
} // namespace sqlemu
