// The settings file when things go wrong: a full disk, a writer killed in the
// middle of a save, two saves at once, something other than a file under its
// name, a file the user may not read, and the file the first save creates
// for a group of administrators. Each test asserts what survived.
#include "platform/profile_file.h"

#include "support/file_ownership.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace movan;

namespace {

const QString kSection = QStringLiteral("DataBase");
const QString kDiskFull = QStringLiteral("فضاي ديسک پر است");
const QString kNoReadPermission = QStringLiteral("اجازه خواندن آن را نداريد");
const QString kNotAFile = QStringLiteral("به جاي فايل، يک پوشه، لوله (FIFO) يا دستگاه");

// Throw-away identities: ids no account on this machine uses, so nothing
// needs to be added to the system's user list or removed afterwards. The
// kernel checks permissions by number alone.
constexpr uid_t kAdminA = 61701;
constexpr uid_t kAdminB = 61702;
constexpr uid_t kOutsider = 61703;
constexpr gid_t kAdmins = 61710;

using Keys = QList<std::pair<QString, QString>>;

Keys save(const QString &tag, bool windows = false)
{
    return {{QStringLiteral("Server"), QStringLiteral("srv-") + tag},
            {QStringLiteral("ServerMachinName"), QStringLiteral("pc-") + tag},
            {QStringLiteral("ServerIPAddress"), QStringLiteral("10.0.0.") + QString::number(tag.size())},
            {QStringLiteral("DataBaseName"), QStringLiteral("db-") + tag},
            {QStringLiteral("Type"), windows ? QStringLiteral("WIN") : QStringLiteral("SQL")},
            {QStringLiteral("User"), windows ? QString() : QStringLiteral("user-") + tag},
            {QStringLiteral("Pass"), windows ? QString() : QStringLiteral("pass-") + tag}};
}

// The file as a save of these keys over the same keys leaves it.
QByteArray fileText(const Keys &keys, const QByteArray &before = "[Other]\r\nLicenseKey=ABCD-1234\r\n\r\n")
{
    QByteArray text = before + "[DataBase]\r\n";
    for (const auto &[key, value] : keys)
        text += key.toLatin1() + '=' + value.toLatin1() + "\r\n";
    return text;
}

Keys readKeys(const QString &path)
{
    const ProfileFile file(path);
    Keys keys;
    for (const auto &[key, value] : save(QString()))
        keys.append({key, file.readString(kSection, key, QStringLiteral("<absent>"))});
    return keys;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void putBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray withoutTrailingBlankLines(QByteArray bytes)
{
    while (!bytes.isEmpty() && (bytes.back() == ' ' || bytes.back() == '\r' || bytes.back() == '\n'))
        bytes.chop(1);
    return bytes;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs body in a child process, which the test's own process never is after
// it changes user or mounts; what the child found wrong comes back as text.
// A child that hangs is ended by an alarm and reported.
std::string inChild(const std::function<std::string()> &body, unsigned timeoutSeconds = 60)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::alarm(timeoutSeconds);
        std::string report;
        try {
            report = body();
        } catch (const std::exception &e) {
            report = std::string("unexpected exception: ") + e.what();
        }
        for (size_t done = 0; done < report.size();) {
            const ssize_t n = ::write(channel[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char chunk[4096];
    for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) > 0;)
        report.append(chunk, size_t(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        report += WTERMSIG(status) == SIGALRM ? " child hung and was stopped by its alarm"
                                              : " child ended by signal " + std::to_string(WTERMSIG(status));
    return report;
}

// In the calling child only: becomes an ordinary user with the given groups
// and a umask that would take the group's write permission away.
bool becomeUser(uid_t uid, const std::vector<gid_t> &groups)
{
    ::umask(022);
    return ::setgroups(groups.size(), groups.data()) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0;
}

// In the calling child only: a small file system of its own at folder, gone
// when the child ends.
bool mountPrivateTmpfs(const QString &folder, const char *options)
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) == 0;
}

class Failures {
public:
    void expect(bool ok, const std::string &what)
    {
        if (!ok)
            m_text += what + "; ";
    }
    std::string text() const { return m_text; }

private:
    std::string m_text;
};

class ProfileFileFailure : public ::testing::Test {
protected:
    void requireRoot()
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs the superuser to change users or mount a small file system";
    }
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("app"));
    QString path = folder + QStringLiteral("/InitPrg.ini");
    void SetUp() override
    {
        QDir().mkdir(folder);
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    }
};

TEST_F(ProfileFileFailure, AFullDiskLeavesTheFileByteForByteAndASaveThatFitsStillSucceeds)
{
    requireRoot();
    const std::string report = inChild([&] {
        Failures f;
        if (!mountPrivateTmpfs(folder, "size=64k,mode=0755"))
            return std::string("cannot mount a small file system");
        // One page, nearly full, holding a sibling program's key too.
        QByteArray seed = fileText(save(QStringLiteral("old")));
        seed.insert(0, "; " + QByteArray(4000 - seed.size() - 4, 'x') + "\r\n");
        putBytes(path, seed);
        {
            QFile filler(folder + QStringLiteral("/filler"));
            filler.open(QIODevice::WriteOnly);
            const QByteArray page(4096, 'f');
            while (filler.write(page) == page.size() && filler.flush()) {}
        }
        Keys longer = save(QStringLiteral("new"));
        longer.last().second = QString(600, u'p');
        try {
            ProfileFile(path).writeStrings(kSection, longer);
            f.expect(false, "a save that needs room the disk lacks succeeded");
        } catch (const ProfileWriteError &e) {
            f.expect(e.message().contains(kDiskFull), "the message does not say the disk is full");
            f.expect(e.message().contains(folder), "the message does not name the folder");
        }
        f.expect(bytesOf(path) == seed, "the file changed: " + bytesOf(path).right(200).toStdString());
        f.expect(entriesOf(folder) == QStringList({QStringLiteral("InitPrg.ini"), QStringLiteral("filler")}),
                 "left behind: " + entriesOf(folder).join(u' ').toStdString());

        // The same keys with a shorter password fit in the file's own room.
        ProfileFile(path).writeStrings(kSection, save(QStringLiteral("new")));
        f.expect(readKeys(path) == save(QStringLiteral("new")), "the save that fits did not store its keys");
        f.expect(ProfileFile(path).readString(QStringLiteral("Other"), QStringLiteral("LicenseKey"), {})
                     == QStringLiteral("ABCD-1234"),
                 "the sibling program's key was lost");
        f.expect(bytesOf(path).size() >= seed.size(), "the file became shorter in place");

        // A first save on a full disk leaves no file behind, not even an empty one.
        const QString fresh = folder + QStringLiteral("/Fresh.ini");
        try {
            ProfileFile(fresh).writeStrings(kSection, save(QStringLiteral("fresh")));
            f.expect(false, "a first save on a full disk succeeded");
        } catch (const ProfileWriteError &) {}
        f.expect(!QFile::exists(fresh), "a failed first save left a file");
        return f.text();
    });
    EXPECT_EQ(report, "");
}

TEST_F(ProfileFileFailure, AWriterKilledDuringAnInPlaceSaveLeavesTheOldOrTheNewFile)
{
    requireRoot();
    const std::string report = inChild(
        [&] {
            Failures f;
            // A file system without write-back, so saves follow each other
            // quickly and the kills land in every part of one.
            if (!mountPrivateTmpfs(folder, "size=1m,mode=0755"))
                return std::string("cannot mount a small file system");
            // The user owns the file but may not write the folder: saves go in place.
            const Keys shortKeys = save(QStringLiteral("a"));
            Keys longKeys = save(QStringLiteral("b"));
            longKeys.last().second = QString(1500, u'b');
            putBytes(path, fileText(shortKeys));
            ::chown(QFile::encodeName(path).constData(), kAdminA, kAdminA);
            ::chmod(QFile::encodeName(path).constData(), 0600);
            const QByteArray states[]
                = {withoutTrailingBlankLines(fileText(shortKeys)), withoutTrailingBlankLines(fileText(longKeys))};
            const auto check = [&](const char *when, int round) {
                const QByteArray now = withoutTrailingBlankLines(bytesOf(path));
                if (now != states[0] && now != states[1])
                    f.expect(false,
                             std::string("torn ") + when + " in round " + std::to_string(round) + ": "
                                 + now.right(120).toStdString());
            };
            // Each round stops the writer at hundreds of moments, as a kill
            // at that moment would, and then kills it; on a busy machine
            // fewer moments fit in the time the test allows itself.
            const QDeadlineTimer enough(20000);
            for (int round = 0; round < 10 && f.text().empty() && !enough.hasExpired(); ++round) {
                const pid_t parent = ::getpid();
                const pid_t writer = ::fork();
                if (writer == 0) {
                    // Ends with the test, whatever becomes of the test.
                    if (!becomeUser(kAdminA, {}) || ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
                        ::_exit(1);
                    for (;;) {
                        ProfileFile(path).writeStrings(kSection, longKeys);
                        ProfileFile(path).writeStrings(kSection, shortKeys);
                    }
                }
                for (int moment = 0; moment < 300 && f.text().empty() && !enough.hasExpired(); ++moment) {
                    ::usleep(QRandomGenerator::global()->bounded(300));
                    ::kill(writer, SIGSTOP);
                    ::waitpid(writer, nullptr, WUNTRACED);
                    check("while stopped", round);
                    ::kill(writer, SIGCONT);
                }
                ::usleep(QRandomGenerator::global()->bounded(3000));
                ::kill(writer, SIGKILL);
                ::waitpid(writer, nullptr, 0);
                check("after kill -9", round);
            }
            f.expect(entriesOf(folder) == QStringList{QStringLiteral("InitPrg.ini")}, "a temporary file was left");
            return f.text();
        },
        120);
    EXPECT_EQ(report, "");
}

TEST_F(ProfileFileFailure, TwoConcurrentSavesNeverMixTheirKeys)
{
    const Keys first = save(QStringLiteral("first")), second = save(QStringLiteral("second-admin"), true);
    const Keys seed = save(QStringLiteral("seed"));
    ProfileFile(path).writeStrings(kSection, seed);
    std::vector<pid_t> writers;
    for (const Keys *keys : {&first, &second}) {
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            for (int i = 0; i < 150; ++i)
                ProfileFile(path).writeStrings(kSection, *keys);
            ::_exit(0);
        }
        writers.push_back(writer);
    }
    // Read while they write, and once more at the end.
    int reads = 0, mixed = 0;
    for (bool running = true; running;) {
        running = false;
        for (const pid_t writer : writers)
            running = running || ::waitpid(writer, nullptr, WNOHANG) == 0;
        const Keys now = readKeys(path);
        ++reads;
        if (now != first && now != second && now != seed) {
            ++mixed;
            ADD_FAILURE() << "a mix: " << bytesOf(path).toStdString();
        }
    }
    while (::wait(nullptr) > 0) {}
    EXPECT_EQ(mixed, 0) << "in " << reads << " reads";
    const Keys last = readKeys(path);
    EXPECT_TRUE(last == first || last == second);
    EXPECT_EQ(ProfileFile(path).readString(QStringLiteral("DataBase"), QStringLiteral("Pass"), {}).isEmpty(),
              last == second);
}

TEST_F(ProfileFileFailure, APipeADeviceOrAFolderUnderTheNameIsRefusedAtOnce)
{
    struct Case {
        const char *name;
        std::function<bool()> make;
    };
    const QByteArray name = QFile::encodeName(path);
    std::vector<Case> cases = {
        {"pipe", [&] { return ::mkfifo(name.constData(), 0666) == 0; }},
        {"folder", [&] { return ::mkdir(name.constData(), 0777) == 0; }},
        {"link to a device", [&] { return ::symlink("/dev/zero", name.constData()) == 0; }},
    };
    if (::geteuid() == 0)
        cases.push_back({"device", [&] { return ::mknod(name.constData(), S_IFCHR | 0666, ::makedev(1, 5)) == 0; }});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.make());
        struct stat before {};
        ::lstat(name.constData(), &before);
        const std::string report = inChild(
            [&] {
                Failures f;
                try {
                    ProfileFile(path).readString(kSection, QStringLiteral("Pass"), {});
                    f.expect(false, "read as if it were a file");
                } catch (const ProfileReadError &e) {
                    f.expect(e.message().contains(kNotAFile), "the read error does not say what is there");
                }
                try {
                    ProfileFile(path).writeStrings(kSection, save(QStringLiteral("x")));
                    f.expect(false, "written as if it were a file");
                } catch (const ProfileWriteError &e) {
                    f.expect(e.message().contains(folder), "the write error does not name the folder");
                }
                return f.text();
            },
            20);
        EXPECT_EQ(report, "");
        struct stat after {};
        ASSERT_EQ(::lstat(name.constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        if (std::string(c.name) == "folder")
            ::rmdir(name.constData());
        else
            ::unlink(name.constData());
    }
}

TEST_F(ProfileFileFailure, AFileTheUserMayNotReadIsReportedNeverReadAsEmpty)
{
    requireRoot();
    const QByteArray seed = fileText(save(QStringLiteral("root")));
    putBytes(path, seed);
    ::chmod(QFile::encodeName(path).constData(), 0600);
    const std::string report = inChild([&] {
        Failures f;
        if (!becomeUser(kOutsider, {}))
            return std::string("cannot become an ordinary user");
        try {
            const QString pass = ProfileFile(path).readString(kSection, QStringLiteral("Pass"), {});
            f.expect(false, "read a password of \"" + pass.toStdString() + "\"");
        } catch (const ProfileReadError &e) {
            f.expect(e.message().contains(kNoReadPermission), "the message does not say reading is not allowed");
            f.expect(e.message().contains(folder), "the message does not name the folder");
        }
        try {
            ProfileFile(path).writeStrings(kSection, save(QStringLiteral("outsider")));
            f.expect(false, "saved over a file it could not read");
        } catch (const ProfileWriteError &) {}
        return f.text();
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(bytesOf(path), seed);
}

// Another program that takes the file's lock and hangs: reads go on after a
// short wait, and a save gives up, saying why, with the file untouched.
TEST_F(ProfileFileFailure, AProgramThatHoldsTheLockAndHangsBlocksNoOne)
{
    const QByteArray seed = fileText(save(QStringLiteral("held")));
    putBytes(path, seed);
    const int held = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const std::string report = inChild(
        [&] {
            Failures f;
            f.expect(readKeys(path) == save(QStringLiteral("held")), "the read did not see the settings");
            try {
                ProfileFile(path).writeStrings(kSection, save(QStringLiteral("new")));
                f.expect(false, "saved under another program's lock");
            } catch (const ProfileWriteError &e) {
                f.expect(e.message().contains(QStringLiteral("قفل")), "the message does not say the file is locked");
            }
            return f.text();
        },
        30);
    ::close(held);
    EXPECT_EQ(report, "");
    EXPECT_EQ(bytesOf(path), seed);
}

// Two administrators in the group that owns the application folder save in
// turn; each reads what the other saved, and the file stays the first one's,
// for the group, whatever their umask.
TEST_F(ProfileFileFailure, TheFirstSaveCreatesAFileTheFoldersGroupShares)
{
    requireRoot();
    const QByteArray folderName = QFile::encodeName(folder);
    for (const bool setgid : {true, false}) {
        SCOPED_TRACE(setgid ? "setgid folder" : "plain folder");
        QFile::remove(path);
        ASSERT_EQ(::chown(folderName.constData(), 0, kAdmins), 0);
        ASSERT_EQ(::chmod(folderName.constData(), setgid ? 02775 : 0775), 0);
        const auto asAdmin = [&](uid_t admin, const Keys &keys, const Keys &expectedBefore) {
            return inChild([&] {
                Failures f;
                if (!becomeUser(admin, {kAdmins}))
                    return std::string("cannot become an administrator");
                if (!expectedBefore.isEmpty())
                    f.expect(readKeys(path) == expectedBefore, "the other administrator's save is not read");
                ProfileFile(path).writeStrings(kSection, keys);
                return f.text();
            });
        };
        EXPECT_EQ(asAdmin(kAdminA, save(QStringLiteral("A")), {}), "");
        EXPECT_EQ(ownershipOf(path), (Ownership{kAdminA, kAdmins, 0660}));
        EXPECT_EQ(asAdmin(kAdminB, save(QStringLiteral("B")), save(QStringLiteral("A"))), "");
        EXPECT_EQ(asAdmin(kAdminA, save(QStringLiteral("A2")), save(QStringLiteral("B"))), "");
        EXPECT_EQ(ownershipOf(path), (Ownership{kAdminA, kAdmins, 0660}));
        EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("InitPrg.ini")});
    }
}

} // namespace
