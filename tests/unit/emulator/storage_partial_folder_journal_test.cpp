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
        running.record(backups);
        running.record(shared);
        running.record(backups);
        running.record(vanished);
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
    restarted.record(shared);
    restarted.record(backups);
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
        running.record(odd);
        running.record(next);
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

} // namespace
} // namespace sqlemu
