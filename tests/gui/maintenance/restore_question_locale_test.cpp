// The restore's question names the set's date: the same Persian date and
// 24-hour time whatever locale the program runs under, since the date comes
// typed from the server and is never read back from locale text.
#include "backup_restore_fixture.h"

#include "support/compiled_locales.h"

#include <QMessageBox>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <cstdio>

using namespace movan;

namespace {

const char kChildVariable[] = "MOVAN_RESTORE_QUESTION_CHILD";
const char kQuestionMark[] = "QUESTION\t";
const QString kTarget = QStringLiteral("Asked");

// The window under the locale it was started with, against the parent's
// server: the question's text on standard output, answered No.
using RestoreQuestionChild = BackupRestoreChild;

TEST_F(RestoreQuestionChild, ShowsTheQuestion)
{
    const QString backup = qEnvironmentVariable(kChildVariable);
    if (backup.isEmpty())
        GTEST_SKIP() << "run by RestoreQuestionLocale";
    ModalDialogDriver driver(30000);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(kTarget));
        driver.pressButton(kYes);
        chooseFile(driver, backup);
        driver.handle([](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            ASSERT_TRUE(box);
            std::printf("%s%s\n", kQuestionMark, box->informativeText().toUtf8().constData());
            std::fflush(stdout);
            for (QAbstractButton *button : box->buttons())
                if (button->text() == kNo)
                    button->click();
        });
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
    });
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

class RestoreQuestionLocale : public BackupRestoreTest {
public:
    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        writeSaSettings(kTarget);
        makeRestorable(kTarget, 4);
        m_backup = m_folder.filePath(QStringLiteral("Asked.Bak"));
        runAsSa(QStringLiteral("BACKUP DATABASE [%1] TO DISK = N'%2'").arg(kTarget, m_backup));
    }

    void TearDown() override
    {
        if (databaseStatus(kTarget))
            runAsSa(QStringLiteral("DROP DATABASE [%1]").arg(kTarget));
        BackupRestoreTest::TearDown();
    }

    // The question the window asks under the locale.
    QString questionUnder(const QString &lang, const QString &localeFolder) const
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"LC_ALL", "LC_TIME", "LC_MESSAGES", "LANGUAGE"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LANG"), lang);
        environment.insert(QStringLiteral("LOCPATH"), localeFolder);
        environment.insert(QString::fromLatin1(kChildVariable), m_backup);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=RestoreQuestionChild.ShowsTheQuestion")});
        if (!child.waitForFinished(60000))
            child.kill();
        for (const QString &line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n'))
            if (line.startsWith(QLatin1String(kQuestionMark)))
                return line.mid(int(qstrlen(kQuestionMark)));
        return QStringLiteral("(no question) ") + QString::fromUtf8(child.readAllStandardError());
    }

    QTemporaryDir m_folder;
    QString m_backup;
};

TEST_F(RestoreQuestionLocale, TheSetsDateIsTheSameUnderEveryLocale)
{
    static const CompiledLocales locales;
    ASSERT_TRUE(locales.problem().isEmpty()) << locales.problem().toStdString();
    // A Persian year of the 1400s, its month and day, a 24-hour time.
    const QRegularExpression date(QStringLiteral("14[0-9]{2}/[01][0-9]/[0-3][0-9] ([01][0-9]|2[0-3]):[0-5][0-9]"));
    QString first;
    for (const char *lang : {"fa_IR.UTF-8", "C.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        const QString question = questionUnder(QString::fromLatin1(lang), locales.folder());
        EXPECT_TRUE(date.match(question).hasMatch()) << lang << ": " << question.toStdString();
        if (first.isEmpty())
            first = question;
        EXPECT_EQ(question, first) << lang;
    }
}

} // namespace
