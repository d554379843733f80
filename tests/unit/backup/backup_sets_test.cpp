#include "backup/backup_sets.h"

#include <gtest/gtest.h>

using namespace movan;

// The client library's spellings of a datetime, with the twelve-hour clock's
// pitfalls: noon, midnight and a one-digit hour.
TEST(ServerDateTime, TheClientLibrarysSpellings)
{
    const struct {
        const char *text;
        QDateTime expected;
    } cases[] = {
        {"Dec  7 2026  6:36:31:087PM", QDateTime(QDate(2026, 12, 7), QTime(18, 36, 31, 87))},
        {"Dec 17 2026 12:05:00:000AM", QDateTime(QDate(2026, 12, 17), QTime(0, 5))},
        {"Jan  1 2027 12:00:59:999PM", QDateTime(QDate(2027, 1, 1), QTime(12, 0, 59, 999))},
        {"Mar 20 2013 11:59PM", QDateTime(QDate(2013, 3, 20), QTime(23, 59))},
        {"2026-12-07 18:36:31.087", QDateTime(QDate(2026, 12, 7), QTime(18, 36, 31, 87))},
        {"2026-12-07 18:36", QDateTime(QDate(2026, 12, 7), QTime(18, 36))},
    };
    for (const auto &c : cases)
        EXPECT_EQ(serverDateTime(QString::fromLatin1(c.text)), c.expected) << c.text;
    EXPECT_FALSE(serverDateTime(QStringLiteral("yesterday")).isValid());
    EXPECT_FALSE(serverDateTime(QString()).isValid());
}
