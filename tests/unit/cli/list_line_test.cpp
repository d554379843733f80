#include "cli/backup_command.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace movan;

// The line of a set is the same whatever locale the process runs under:
// Latin digits, the 24-hour clock, names as the server gave them.
TEST(ListLine, SameUnderEveryLocale)
{
    BackupSetSummary set;
    set.position = 12;
    set.database = QStringLiteral("O'Brien [%] تارنل");
    set.finished = QDateTime(QDate(2026, 12, 7), QTime(23, 25, 53, 987));
    set.sizeBytes = 4198400;
    BackupSetSummary undated = set;
    undated.finished = QDateTime();
    undated.database = QStringLiteral("two\nlines");

    const QLocale previous;
    for (const QLocale &locale : {QLocale(QLocale::Persian, QLocale::Iran), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::English, QLocale::UnitedStates), QLocale::c()}) {
        QLocale::setDefault(locale);
        EXPECT_EQ(listLine(set), QStringLiteral("12\tO'Brien [%] تارنل\t2026-12-07 23:25\t4198400\n"))
            << locale.name().toStdString();
        EXPECT_EQ(listLine(undated), QStringLiteral("12\ttwo lines\t-\t4198400\n")) << locale.name().toStdString();
    }
    QLocale::setDefault(previous);
}
