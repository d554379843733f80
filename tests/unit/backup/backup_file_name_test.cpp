#include "maintenance/backup_file_name.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace movan;

namespace {

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, 59));
}

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

} // namespace
