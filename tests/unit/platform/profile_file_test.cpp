#include "platform/ansi_codec.h"
#include "platform/profile_file.h"

#include "support/file_ownership.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace movan;

namespace {

// The unprivileged user and group of a Debian system.
constexpr uid_t kNobody = 65534;

class ProfileFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("InitPrg.ini"));

    void writeBytes(const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readBytes() const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString read(const QString &section, const QString &key, const QString &def = QStringLiteral("<default>")) const
    {
        return ProfileFile(path).readString(section, key, def);
    }
};

struct ReadCase {
    const char *file;
    const char *section;
    const char *key;
    const char *expected;
};

TEST_F(ProfileFileTest, ReadsLikeThePrivateProfileFunctions)
{
    const ReadCase cases[] = {
        {"[DataBase]\r\nServer=host\r\n", "DataBase", "Server", "host"},
        {"[database]\r\nSERVER=host\r\n", "DataBase", "Server", "host"}, // case-insensitive
        {"  [ DataBase ]  \r\n  Server  =  host  \r\n", "DataBase", "Server", "host"}, // blanks around
        {"[DataBase]\r\nServer=\"quoted value\"\r\n", "DataBase", "Server", "quoted value"},
        {"[DataBase]\r\nServer='single'\r\n", "DataBase", "Server", "single"},
        {"[DataBase]\r\nServer=\"mismatched'\r\n", "DataBase", "Server", "\"mismatched'"},
        {"[DataBase]\r\nServer=\"\"inner\"\"\r\n", "DataBase", "Server", "\"inner\""}, // one pair only
        {"[DataBase]\r\nServer=\"\r\n", "DataBase", "Server", "\""},
        {"[DataBase]\r\nServer=first\r\nServer=second\r\n", "DataBase", "Server", "first"},
        {"[DataBase]\r\nServer=first\r\n[DataBase]\r\nServer=second\r\n", "DataBase", "Server", "first"},
        {"[DataBase]\r\nUser=sa\r\n[DataBase]\r\nServer=second\r\n", "DataBase", "Server", "<default>"},
        {"[Other]\r\nServer=x\r\n[DataBase]\r\nServer=y", "DataBase", "Server", "y"}, // no final line end
        {"[DataBase]\nServer=unix\n", "DataBase", "Server", "unix"},
        {"[DataBase]\rServer=mac\r", "DataBase", "Server", "mac"},
        {"[DataBase]\r\nServer\r\nUser=sa\r\n", "DataBase", "Server", "<default>"}, // no '='
        {"[DataBase]\r\n;Server=commented\r\n", "DataBase", "Server", "<default>"},
        {"[DataBase]\r\nPass=a=b\r\n", "DataBase", "Pass", "a=b"},
        {"[DataBase]\r\nPass=\r\n", "DataBase", "Pass", ""},
        {"Server=outside\r\n[DataBase]\r\n", "DataBase", "Server", "<default>"},
        {"", "DataBase", "Server", "<default>"},
        // A header without its ']' opens no section; the last ']' ends a name.
        {"[DataBase\r\nServer=x\r\n", "DataBase", "Server", "<default>"},
        {"[Other]\r\n[DataBase\r\nServer=x\r\n", "Other", "Server", "x"},
        {"[Data]Base]\r\nServer=x\r\n", "Data]Base", "Server", "x"},
    };
    for (const ReadCase &c : cases) {
        writeBytes(c.file);
        EXPECT_EQ(read(QString::fromUtf8(c.section), QString::fromUtf8(c.key)), QString::fromUtf8(c.expected))
            << "file: " << c.file;
    }
}

TEST_F(ProfileFileTest, MissingFileGivesTheDefault)
{
    EXPECT_FALSE(ProfileFile(path).exists());
    EXPECT_EQ(read(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral(".")), QStringLiteral("."));
    // The default loses its trailing blanks, as the sibling programs see it.
    EXPECT_EQ(read(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral(" dflt \t ")),
              QStringLiteral(" dflt"));
}

TEST_F(ProfileFileTest, ReadValueIsCutAt2047Characters)
{
    writeBytes("[DataBase]\r\nPass=" + QByteArray(5000, 'x') + "\r\nUser=after\r\n");
    EXPECT_EQ(read(QStringLiteral("DataBase"), QStringLiteral("Pass")).size(), ProfileFile::kMaxValueLength);
    EXPECT_EQ(read(QStringLiteral("DataBase"), QStringLiteral("User")), QStringLiteral("after"));
}

TEST_F(ProfileFileTest, PersianTextTravelsAsWindows1256)
{
    const QString persian = QStringLiteral("تارنل");
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("DataBaseName"), persian);
    const QByteArray expected = "[DataBase]\r\nDataBaseName=" + *AnsiCodec::encode(persian) + "\r\n";
    EXPECT_EQ(readBytes(), expected);
    EXPECT_EQ(read(QStringLiteral("DataBase"), QStringLiteral("DataBaseName")), persian);
    // Byte 0xFE is the right-to-left mark in this code page.
    EXPECT_EQ(AnsiCodec::decode(QByteArray("\xFE")), QString(QChar(0x200F)));
    // A value longer than the read limit, each letter two bytes once decoded.
    const QString longPersian = persian.repeated(600);
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), longPersian);
    EXPECT_EQ(read(QStringLiteral("DataBase"), QStringLiteral("Pass")), longPersian.left(ProfileFile::kMaxValueLength));
}

TEST_F(ProfileFileTest, BytesFromAnotherEncodingAreReadWithoutHarmAndKept)
{
    // A hand-edited file saved as UTF-8: every byte still means something in
    // Windows-1256, and lines the program does not write stay as they were.
    const QByteArray foreign = QStringLiteral("Note=یادداشت").toUtf8();
    writeBytes("[DataBase]\r\n" + foreign + "\r\nServer=old\r\n");
    EXPECT_FALSE(read(QStringLiteral("DataBase"), QStringLiteral("Note")).isEmpty());
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("new"));
    EXPECT_EQ(readBytes(), "[DataBase]\r\n" + foreign + "\r\nServer=new\r\n");
}

TEST_F(ProfileFileTest, WritesInPlaceAndKeepsEverythingElseByteForByte)
{
    writeBytes("; written by hand\r\n"
               "[Other]\r\nServer=keep\r\n\r\n"
               "[database]\r\nUSER=old\nType=SQL\r\n\r\n"
               "[Tail]\r\nx=1");
    ProfileFile file(path);
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("User"), QStringLiteral("admin"));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), QString());
    EXPECT_EQ(readBytes(),
              "; written by hand\r\n"
              "[Other]\r\nServer=keep\r\n\r\n"
              "[database]\r\nUSER=admin\nType=SQL\r\nPass=\r\n\r\n"
              "[Tail]\r\nx=1");
}

// A hand-edited file often lacks its final line end: what is added starts on
// a line of its own and leaves the last value as it was.
TEST_F(ProfileFileTest, WhatIsAddedToAFileWithoutAFinalLineEndStartsOnANewLine)
{
    writeBytes("[Other]\r\na=1");
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("."));
    EXPECT_EQ(readBytes(), "[Other]\r\na=1\r\n\r\n[DataBase]\r\nServer=.\r\n");

    writeBytes("[DataBase]\r\nServer=srv");
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("User"), QStringLiteral("sa"));
    EXPECT_EQ(readBytes(), "[DataBase]\r\nServer=srv\r\nUser=sa\r\n");
}

// The file is shared by the folder's group (administrators, sibling
// programs), whatever the saving user's umask.
TEST_F(ProfileFileTest, FirstWriteCreatesTheFileForItsOwnerAndGroupOnly)
{
    const mode_t umaskBefore = ::umask(077);
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("."));
    ::umask(umaskBefore);
    EXPECT_EQ(readBytes(), "[DataBase]\r\nServer=.\r\n");
    struct stat st {
    }, folder{};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    ASSERT_EQ(::stat(QFile::encodeName(dir.path()).constData(), &folder), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(st.st_gid, folder.st_gid);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left behind";
}

TEST_F(ProfileFileTest, RewriteKeepsTheFilesPermissions)
{
    writeBytes("[DataBase]\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0640);
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x"));
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProfileFileTest, WriteThroughAChainOfLinksChangesTheFileAtItsEnd)
{
    const QString real = dir.filePath(QStringLiteral("real.ini"));
    const QString middle = dir.filePath(QStringLiteral("mid.ini"));
    QFile(real).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(QStringLiteral("real.ini"), middle)); // relative to the link's folder
    ASSERT_TRUE(QFile::link(middle, path));
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_TRUE(QFileInfo(middle).isSymLink());
    EXPECT_EQ(ProfileFile(real).readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}),
              QStringLiteral("x"));
}

TEST_F(ProfileFileTest, LinksThatCannotBeTrustedAreRefused)
{
    const QString missing = dir.filePath(QStringLiteral("missing.ini"));
    ASSERT_TRUE(QFile::link(missing, path));
    EXPECT_THROW(
        ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x")),
        ProfileWriteError)
        << "written through a dangling link";
    EXPECT_FALSE(QFileInfo::exists(missing)) << "no file is created where a link points";

    if (::geteuid() != 0)
        GTEST_SKIP() << "planting another user's link needs the superuser";
    // Another user's link to a file of ours (as /etc/passwd is root's).
    QFile::remove(path);
    const QString victim = dir.filePath(QStringLiteral("victim"));
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("root:x:0:0\n");
    file.close();
    ASSERT_TRUE(QFile::link(victim, path));
    ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
    EXPECT_THROW(
        ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), QStringLiteral("secret")),
        ProfileWriteError);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "root:x:0:0\n");
}

TEST_F(ProfileFileTest, ConcurrentWritersLoseNothing)
{
    constexpr int kKeysEach = 300;
    const auto writeKeys = [this](const char *prefix) {
        for (int i = 0; i < kKeysEach; ++i)
            ProfileFile(path).writeString(QStringLiteral("DataBase"), QString::fromLatin1(prefix) + QString::number(i),
                                          QStringLiteral("v"));
    };
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        writeKeys("Other");
        ::_exit(0);
    }
    writeKeys("Mine");
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const ProfileFile file(path);
    int found = 0;
    for (int i = 0; i < kKeysEach; ++i) {
        for (const char *prefix : {"Mine", "Other"})
            found += !file.readString(QStringLiteral("DataBase"), QString::fromLatin1(prefix) + QString::number(i), {})
                          .isEmpty();
    }
    EXPECT_EQ(found, 2 * kKeysEach);
}

// Runs body in a child process as an unprivileged user: a folder or file of
// the superuser is then really out of bounds.
bool asNobody(const std::function<bool()> &body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        try {
            ok = ok && body();
        } catch (const std::exception &) {
            ok = false;
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(ProfileFileTest, SavesWhereverTheFileIsWritableAndKeepsItsOwnership)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing users needs the superuser";
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const struct {
        const char *name;
        mode_t folderMode;
        Ownership file;
        bool asNobody;
    } cases[] = {
        // An application folder the user may not write, the file the user's own.
        {"opt", 0755, {kNobody, kNobody, 0600}, true},
        // A sticky folder, the file another user's but writable by all.
        {"sticky", 01777, {0, 0, 0666}, true},
        // The superuser saving a user's private file (the tool run with sudo).
        {"sudo", 0755, {kNobody, kNobody, 0600}, false},
    };
    for (const auto &c : cases) {
        const QString folder = dir.filePath(QString::fromLatin1(c.name));
        QDir().mkdir(folder);
        ::chmod(QFile::encodeName(folder).constData(), c.folderMode);
        const QString file = folder + QStringLiteral("/InitPrg.ini");
        QFile seed(file);
        ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
        seed.write("[DataBase]\r\nServer=old\r\n");
        seed.close();
        ::chown(QFile::encodeName(file).constData(), c.file.owner, c.file.group);
        ::chmod(QFile::encodeName(file).constData(), c.file.mode);

        const auto save = [&] {
            ProfileFile(file).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("new"));
            return true;
        };
        EXPECT_TRUE(c.asNobody ? asNobody(save) : save()) << c.name;
        EXPECT_EQ(ProfileFile(file).readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}),
                  QStringLiteral("new"))
            << c.name;
        EXPECT_TRUE(ownershipOf(file) == c.file) << c.name;
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1) << c.name;
    }
}

TEST_F(ProfileFileTest, AKilledWritesTemporaryFileIsRemovedByTheNext)
{
    const QString stale = dir.filePath(QStringLiteral(".InitPrg.ini.Ab12Cd"));
    QFile leftOver(stale);
    ASSERT_TRUE(leftOver.open(QIODevice::WriteOnly));
    leftOver.write("[DataBase]\r\nPass=secret\r\n");
    leftOver.close();
    const QString unrelated = dir.filePath(QStringLiteral(".InitPrg.ini.keep-me"));
    QFile(unrelated).open(QIODevice::WriteOnly);
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x"));
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(unrelated));
}

TEST_F(ProfileFileTest, ALargeFileIsReadOnceInLittleMoreThanItsSize)
{
    // Short lines are the worst case for a reader that keeps each line apart.
    constexpr qsizetype kSize = 24 * 1024 * 1024;
    QByteArray bytes;
    bytes.reserve(kSize + 64);
    bytes += "[Filler]\r\n";
    while (bytes.size() < kSize)
        bytes += "k=v\r\n";
    bytes += "[DataBase]\r\nServer=far\r\n";
    writeBytes(bytes);
    bytes = QByteArray();

    struct rusage before {
    }, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const ProfileFile file(path);
    EXPECT_EQ(file.readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}), QStringLiteral("far"));
    // Another program's later change is seen by the next object, not this one.
    writeBytes("[DataBase]\r\nServer=changed\r\n");
    for (const char *key : {"Pass", "DataBaseName", "User", "Type"})
        EXPECT_EQ(file.readString(QStringLiteral("DataBase"), QString::fromLatin1(key), QStringLiteral("d")),
                  QStringLiteral("d"));
    EXPECT_EQ(file.readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}), QStringLiteral("far"));
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT((after.ru_maxrss - before.ru_maxrss) * 1024, 3 * kSize);
}

// The user learns what happened, where, why and who can mend it; the file
// stays as it was.
TEST_F(ProfileFileTest, UnwritableTargetsAreRefusedWithTheFolderAndTheReason)
{
    writeBytes("[DataBase]\r\nServer=old\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0444);
    try {
        ProfileFile(path).writeStrings(
            QStringLiteral("DataBase"),
            {{QStringLiteral("Server"), QStringLiteral("new")}, {QStringLiteral("Pass"), QStringLiteral("pw")}});
        FAIL() << "a read-only file was written";
    } catch (const ProfileWriteError &e) {
        const QStringList lines = e.message().split(u'\n');
        ASSERT_EQ(lines.size(), 4) << e.message().toStdString();
        EXPECT_TRUE(lines[0].contains(QStringLiteral("InitPrg.ini")));
        EXPECT_TRUE(lines[1].contains(dir.path()));
        EXPECT_TRUE(lines[2].contains(QStringLiteral("فايل فقط خواندني است")));
        EXPECT_TRUE(lines[3].contains(QStringLiteral("مدير سيستم")));
    }
    EXPECT_EQ(readBytes(), "[DataBase]\r\nServer=old\r\n");

    const QString missingFolder = dir.filePath(QStringLiteral("no/such/folder/InitPrg.ini"));
    EXPECT_THROW(ProfileFile(missingFolder)
                     .writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x")),
                 ProfileWriteError);
}

TEST_F(ProfileFileTest, ReadOnlyFolderIsNotWritten)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser may write into any folder";
    const QString folder = dir.filePath(QStringLiteral("ro"));
    QDir().mkdir(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    EXPECT_THROW(ProfileFile(folder + QStringLiteral("/InitPrg.ini"))
                     .writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x")),
                 ProfileWriteError);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

TEST_F(ProfileFileTest, TextTheFileCannotHoldIsRefusedAndNothingIsWritten)
{
    writeBytes("[DataBase]\r\nPass=old\r\n");
    const QString refused[] = {
        QStringLiteral("漢字"), // not in Windows-1256
        QStringLiteral("emoji 🙂"),
        QStringLiteral("two\r\nlines"), // would split into a second key
        QStringLiteral("cr\ronly"),
    };
    for (const QString &value : refused) {
        EXPECT_THROW(ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), value),
                     ProfileWriteError);
        EXPECT_EQ(readBytes(), "[DataBase]\r\nPass=old\r\n");
    }
    EXPECT_THROW(ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("a=b"), QStringLiteral("x")),
                 ProfileWriteError);
    // The refusal names the key; the value may be the password.
    try {
        ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), QStringLiteral("s3cret\n"));
    } catch (const ProfileWriteError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Pass")));
        EXPECT_FALSE(e.message().contains(QStringLiteral("s3cret")));
    }
    try {
        ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), QStringLiteral("s3cret漢"));
    } catch (const ProfileWriteError &e) {
        EXPECT_FALSE(e.message().contains(QStringLiteral("s3cret")));
    }
}

TEST_F(ProfileFileTest, VeryLongLinesSurviveARewrite)
{
    const QByteArray longLine = "Comment=" + QByteArray(100000, 'y');
    writeBytes("[DataBase]\r\n" + longLine + "\r\nServer=a\r\n");
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("b"));
    EXPECT_EQ(readBytes(), "[DataBase]\r\n" + longLine + "\r\nServer=b\r\n");
}

} // namespace
