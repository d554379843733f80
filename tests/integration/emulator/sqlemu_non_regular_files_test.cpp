// Paths that name something other than a regular file (a pipe, a device, a
// folder) given to the statements that open backup media and database
// files: refused at once with the real server's errors, never waited on,
// and the server still stops when asked.

#include "database_files_support.h"

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using SqlemuNonRegularFiles = DatabaseFilesTest;

// Should a statement wait on the pipe after all, a writer comes after a
// generous while, so the test fails instead of hanging.
class PipeRescue {
public:
    explicit PipeRescue(fs::path pipe)
        : m_thread([this, pipe = std::move(pipe)] {
            std::unique_lock lock(m_mutex);
            if (m_done.wait_for(lock, 60s, [this] { return m_finished; }))
                return;
            m_rescued = true;
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            std::this_thread::sleep_for(1s);
            ::close(fd);
        })
    {}
    ~PipeRescue()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    bool rescued() const { return m_rescued; }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::atomic<bool> m_rescued = false;
    std::thread m_thread;
};

TEST_F(SqlemuNonRegularFiles, APipeADeviceOrAFolderIsRefusedAtOnceAndTheServerStillStops)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    const fs::path pipe = folder / "pipe.Bak";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto in = [](const fs::path &path) { return "N'" + path.string() + "'"; };
    struct Case {
        std::string statement;
        std::vector<int> numbers;
    };
    std::vector<Case> cases;
    for (const fs::path &path : {pipe, fs::path("/dev/zero"), folder}) {
        cases.push_back({"RESTORE HEADERONLY FROM DISK = " + in(path), {3201, 3013}});
        cases.push_back({"RESTORE FILELISTONLY FROM DISK = " + in(path), {3201, 3013}});
        cases.push_back({"RESTORE VERIFYONLY FROM DISK = " + in(path), {3201, 3013}});
        cases.push_back({"RESTORE DATABASE Copy FROM DISK = " + in(path), {3201, 3013}});
    }
    cases.push_back({"BACKUP DATABASE Tarnel TO DISK = " + in(pipe), {3201, 3013}});
    cases.push_back(
        {"CREATE DATABASE Other ON (FILENAME = " + in(pipe) + "), (FILENAME = " + in(pair.log) + ") FOR ATTACH",
         {5120, 1802}});
    {
        const PipeRescue rescue(pipe);
        for (const Case &c : cases) {
            bool ok = true;
            run(c.statement, &ok);
            EXPECT_FALSE(ok) << c.statement;
            EXPECT_EQ(numbers(), c.numbers) << c.statement << ": " << firstMessage();
            if (c.numbers.front() == 3201) {
                EXPECT_NE(firstMessage().find("Operating system error 5(Access is denied.)."), std::string::npos)
                    << firstMessage();
            }
            db.messages.clear();
        }
        EXPECT_FALSE(rescue.rescued()) << "a statement waited for the pipe's writer";
    }
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo) << "the pipe is left as it was";
    EXPECT_EQ(databaseNames().size(), 5u) << "the four system databases and Tarnel";
    db.close();
    EXPECT_EQ(server->stop(), 0);
}

} // namespace
