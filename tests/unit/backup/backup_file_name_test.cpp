#include "backup/backup_file_name.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace movan;

namespace {

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, 59));
}

} // namespace

// Eight Persian digits of the date and the 24-hour clock, across the turns
// of the Persian year and of the day, whatever locale the process has.
TEST(ProposedBackupFileName, DatabaseDateAndClock)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Persian, QLocale::Iran));
    const struct {
        QString database;
        QDateTime now;
        QString expected;
    } cases[] = {
        {QStringLiteral("Tarnel"), at(2012, 11, 19, 14, 5), QStringLiteral("Tarnel_13910829_14-05")},
        {QStringLiteral("Tarnel"), at(2013, 3, 20, 23, 59), QStringLiteral("Tarnel_13911230_23-59")},
        {QStringLiteral("Tarnel"), at(2013, 3, 21, 0, 0), QStringLiteral("Tarnel_13920101_00-00")},
        {QStringLiteral("Movan Sales"), at(2026, 12, 7, 9, 7), QStringLiteral("Movan Sales_14050916_09-07")},
        // Nothing chosen: the name starts with the separator.
        {QString(), at(2012, 11, 19, 14, 5), QStringLiteral("_13910829_14-05")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(proposedBackupFileName(c.database, c.now), c.expected) << c.now.toString().toStdString();
    QLocale::setDefault(previous);
}

// Retention may only ever remove what backupFileName makes for that very
// database: a near miss in any part of the name is not one of them.
TEST(BackupFileMoment, OnlyTheDatabasesOwnNames)
{
    const QString own = backupFileName(QStringLiteral("Tarnel"), at(2012, 11, 19, 14, 5));
    ASSERT_EQ(own, QStringLiteral("Tarnel_13910829_14-05.Bak"));
    EXPECT_EQ(backupFileMoment(QStringLiteral("Tarnel"), own), QStringLiteral("139108291405"));
    // Names with the pattern's own characters are taken literally.
    EXPECT_EQ(backupFileMoment(QStringLiteral("a.b+c"), QStringLiteral("a.b+c_14050916_09-07.Bak")),
              QStringLiteral("140509160907"));
    EXPECT_FALSE(backupFileMoment(QStringLiteral("a.b+c"), QStringLiteral("aXb+c_14050916_09-07.Bak")));

    for (const char *other : {
             "Tarnel_X_13910829_14-05.Bak", // another database whose name begins alike
             "Tarnel_13910829_13910829_14-05.Bak", // the database "Tarnel_13910829"
             "XTarnel_13910829_14-05.Bak",
             "tarnel_13910829_14-05.Bak", // letter case of the name
             "Tarnel_13910829_14-05.bak", // letter case of the extension
             "Tarnel_13910829_14-05.Bak.part", "Tarnel_13910829_14-05", "Tarnel_1391082_14-05.Bak",
             "Tarnel_13910829_1405.Bak", "Tarnel_13910829_14:05.Bak", "Tarnel.Bak",
             "Tarnel_۱۳۹۱۰۸۲۹_14-05.Bak", // digits of another script
         }) {
        EXPECT_FALSE(backupFileMoment(QStringLiteral("Tarnel"), QString::fromUtf8(other))) << other;
    }
}
