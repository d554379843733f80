// A backup onto a disk that fills up: the fixed failure text, a reason that
// names the full disk with what to do, the server's own words in the
// details, and the database untouched. The disk is a small tmpfs mounted in
// this test's own mount namespace, which the server it starts inherits.
#include "backup_restore_fixture.h"

#include <QDir>

#include <sched.h>
#include <sys/mount.h>

using namespace movan;

namespace {

const QString kBackupFailed = QStringLiteral("خطا در عمليات پشتيبان گيري ...");

class BackupFullDisk : public BackupRestoreTest {
public:
    static void SetUpTestSuite()
    {
        s_disk = new QTemporaryDir;
        // Private to this process and its children, so nothing outside sees
        // the mount or has to undo it.
        if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount("tmpfs", QFile::encodeName(s_disk->path()).constData(), "tmpfs", 0, "size=512k,mode=0777") == 0)
            s_mounted = true;
        MaintenanceWindowTest::SetUpTestSuite();
    }
    static void TearDownTestSuite()
    {
        MaintenanceWindowTest::TearDownTestSuite();
        if (s_mounted)
            ::umount(QFile::encodeName(s_disk->path()).constData());
        delete s_disk;
    }

protected:
    static inline QTemporaryDir *s_disk = nullptr;
    static inline bool s_mounted = false;
};

TEST_F(BackupFullDisk, NamesTheFullDiskAndLeavesTheDatabaseAsItWas)
{
    if (!s_mounted)
        GTEST_SKIP() << "a private tmpfs needs root (unshare and mount)";
    makeRestorable(QStringLiteral("Large"), 4);
    const QStringList before = databaseFileHashes(QStringLiteral("Large"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Large"), QDir(s_disk->path()).filePath(QStringLiteral("Large.Bak")), driver);
        EXPECT_TRUE(driver.allAnswered());
    });
    const ShownDialog shown = driver.last();
    const QStringList lines = shown.text.split(u'\n');
    ASSERT_GE(lines.size(), 2) << shown.text.toStdString();
    EXPECT_EQ(lines[0], kBackupFailed);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("دیسک")) && lines[1].contains(QStringLiteral("پر است")))
        << shown.text.toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("جا باز کنید"))) << "what to do";
    EXPECT_TRUE(shown.details.contains(QStringLiteral("There is not enough space on the disk")))
        << shown.details.toStdString();
    EXPECT_EQ(shown.icon, DialogIcon::Error);
    EXPECT_TRUE(listedAndOnline(QStringLiteral("Large")));
    EXPECT_EQ(databaseFileHashes(QStringLiteral("Large")), before);
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

} // namespace
