#include "platform/ansi_codec.h"
#include "platform/profile_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

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
        {"[database]\r\nSERVER=host\r\n", "DataBase", "Server", "host"},          // case-insensitive
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
    EXPECT_EQ(readBytes(), "; written by hand\r\n"
                           "[Other]\r\nServer=keep\r\n\r\n"
                           "[database]\r\nUSER=admin\nType=SQL\r\nPass=\r\n\r\n"
                           "[Tail]\r\nx=1");
}

TEST_F(ProfileFileTest, AppendsAMissingSectionAtTheEnd)
{
    writeBytes("[Other]\r\na=1"); // no final line end
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("."));
    EXPECT_EQ(readBytes(), "[Other]\r\na=1\r\n\r\n[DataBase]\r\nServer=.\r\n");
}

TEST_F(ProfileFileTest, FirstWriteCreatesTheFileForItsOwnerOnly)
{
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("."));
    EXPECT_EQ(readBytes(), "[DataBase]\r\nServer=.\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
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

TEST_F(ProfileFileTest, WriteThroughALinkChangesTheFileItPointsAt)
{
    const QString real = dir.filePath(QStringLiteral("real.ini"));
    QFile(real).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(real, path));
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(ProfileFile(real).readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}), QStringLiteral("x"));
}

TEST_F(ProfileFileTest, UnwritableTargetsRaiseUnableToWriteWithTheFullPath)
{
    writeBytes("[DataBase]\r\nServer=old\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0444);
    try {
        ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("new"));
        FAIL() << "a read-only file was written";
    } catch (const ProfileWriteError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to ") + path);
    }
    EXPECT_EQ(readBytes(), "[DataBase]\r\nServer=old\r\n");

    const QString missingFolder = dir.filePath(QStringLiteral("no/such/folder/InitPrg.ini"));
    EXPECT_THROW(ProfileFile(missingFolder).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("x")),
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
        QStringLiteral("漢字"),              // not in Windows-1256
        QStringLiteral("emoji 🙂"),
        QStringLiteral("two\r\nlines"),      // would split into a second key
        QStringLiteral("cr\ronly"),
    };
    for (const QString &value : refused) {
        EXPECT_THROW(ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), value),
                     ProfileWriteError);
        EXPECT_EQ(readBytes(), "[DataBase]\r\nPass=old\r\n");
    }
    EXPECT_THROW(ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("a=b"), QStringLiteral("x")),
                 ProfileWriteError);
}

TEST_F(ProfileFileTest, VeryLongLinesSurviveARewrite)
{
    const QByteArray longLine = "Comment=" + QByteArray(100000, 'y');
    writeBytes("[DataBase]\r\n" + longLine + "\r\nServer=a\r\n");
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("b"));
    EXPECT_EQ(readBytes(), "[DataBase]\r\n" + longLine + "\r\nServer=b\r\n");
}

} // namespace
