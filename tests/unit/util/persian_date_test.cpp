#include "util/persian_date.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QString kMark(QChar(0x200F));

double dateValue(int y, int m, int d)
{
    return toDateTimeValue(QDateTime(QDate(y, m, d), QTime(14, 5)));
}

TEST(PersianDateStr, WorkedExamples)
{
    const struct {
        int y, m, d;
        const char *expected;
    } cases[] = {
        {2012, 11, 19, "1391/08/29"},
        {2012, 3, 19, "1390/12/29"},
        {2012, 3, 20, "1391/01/01"},
        {2013, 1, 1, "1391/10/12"},
        {2013, 3, 20, "1391/12/30"},
        {2013, 3, 21, "1392/01/01"},
        {2014, 1, 1, "1392/10/11"},
        {2010, 9, 22, "1389/06/31"},
        {2010, 9, 23, "1389/07/01"},
        {2011, 12, 21, "1390/09/30"},
        {2000, 2, 29, "1378/12/10"},
        {1992, 3, 20, "1370/12/30"},
        {1997, 3, 20, "1375/12/30"},
        {2016, 12, 31, "1395/10/11"},
        // The real calendar starts 1408 on 20 March 2029; a fixed arithmetic rule would say 1407/12/30.
        {2029, 3, 20, "1408/01/01"},
        {2029, 3, 19, "1407/12/29"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PersianDateStr(dateValue(c.y, c.m, c.d)), kMark + QString::fromLatin1(c.expected))
            << c.y << '-' << c.m << '-' << c.d;
}

TEST(PersianDateStr, ZeroIsTheEmptyMaskWithoutMark)
{
    EXPECT_EQ(PersianDateStr(0), QStringLiteral("    /  /  "));
    EXPECT_EQ(PersianDateStr(0).size(), 10);
    EXPECT_EQ(PersianDateStr(0.5), kMark + QStringLiteral("1278/10/09")) << "only exactly zero is the mask";
}

// Messages name a moment by its Persian date and 24-hour time, never by the
// process's locale; an evening hour is not folded to twelve.
TEST(PersianDateStr, MomentsAsMessagesNameThem)
{
    EXPECT_EQ(persianDateAndTime(QDateTime(QDate(2026, 12, 7), QTime(23, 25, 53))),
              kMark + QStringLiteral("1405/09/16 23:25"));
    EXPECT_EQ(persianDateAndTime(QDateTime(QDate(2025, 3, 21), QTime(0, 5))),
              kMark + QStringLiteral("1404/01/01 00:05"));
    EXPECT_TRUE(persianDateAndTime(QDateTime()).isEmpty());
}

// The fixed arithmetic rule the sibling programs used, kept here as an
// independent reference: it matches the real calendar from 1990 to 2028.
QString legacyRule(int y, int m, int d)
{
    static const int common[] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    static const int leap[] = {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
    auto by31 = [](int r, int &month, int &day) {
        month = r % 31 ? r / 31 + 1 : r / 31;
        day = r % 31 ? r % 31 : 31;
    };
    auto by30 = [](int r, int from, int &month, int &day) {
        month = r % 30 ? r / 30 + from + 1 : r / 30 + from;
        day = r % 30 ? r % 30 : 30;
    };
    int py, pm, pd;
    const bool isLeap = y % 4 == 0;
    const int n = (isLeap ? leap : common)[m] + d;
    const int k = isLeap ? (y < 1996 ? 80 : 79) : 79;
    if (n > k) {
        const int r = n - k;
        py = y - 621;
        if (r <= 186)
            by31(r, pm, pd);
        else
            by30(r - 186, 6, pm, pd);
    } else {
        const int a = isLeap ? 10 : ((y > 1996 && y % 4 == 1) ? 11 : 10);
        by30(n + a, 9, pm, pd);
        py = y - 622;
    }
    return QStringLiteral("%1/%2/%3").arg(py).arg(pm, 2, 10, QChar(u'0')).arg(pd, 2, 10, QChar(u'0'));
}

TEST(PersianDateStr, AgreesWithTheOldRuleEveryDayFrom1990To2028)
{
    for (QDate day(1990, 1, 1); day <= QDate(2028, 12, 31); day = day.addDays(1)) {
        const double value = toDateTimeValue(QDateTime(day, QTime(23, 59)));
        ASSERT_EQ(PersianDateStr(value), kMark + legacyRule(day.year(), day.month(), day.day()))
            << day.toString(Qt::ISODate).toStdString();
    }
}

// The almanac's calendar where arithmetic ones go wrong: around the years in
// which Qt's rule and the astronomical calendar first part (2058, 2091), and
// far from today.
TEST(PersianDateStr, FollowsTheAlmanacWhereArithmeticCalendarsDrift)
{
    const struct {
        int y, m, d;
        const char *expected;
    } cases[] = {
        {1921, 3, 21, "1300/01/01"}, {2024, 3, 20, "1403/01/01"}, {2025, 3, 20, "1403/12/30"},
        {2025, 3, 21, "1404/01/01"}, {2057, 3, 20, "1436/01/01"}, {2058, 3, 20, "1436/12/30"},
        {2058, 3, 21, "1437/01/01"}, {2091, 3, 20, "1469/12/30"}, {2091, 3, 21, "1470/01/01"},
        {2121, 3, 20, "1499/12/29"}, {2121, 3, 21, "1500/01/01"}, {2150, 12, 31, "1529/10/10"},
        {2222, 6, 15, "1601/03/25"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PersianDateStr(dateValue(c.y, c.m, c.d)), kMark + QString::fromLatin1(c.expected))
            << c.y << '-' << c.m << '-' << c.d;
}

TEST(PersianDateStr, EachYearFrom1300To1500BeginsOnItsAlmanacDay)
{
    // Day of March of 1 Farvardin, less 19, for 1300, 1301, ... 1500.
    const char *const marchDays = "23322332223222322232223222322232223222322222222222"
                                  "22222222222222222222222221222122212221222122212221"
                                  "22212221122112211221122112211221122112211121112111"
                                  "21112111211121112111211111111222222222222222222222"
                                  "2";
    for (int year = 1300; year <= 1500; ++year) {
        const QDate newYear(year + 621, 3, 19 + (marchDays[year - 1300] - '0'));
        const QString first = PersianDateStr(dateValue(newYear.year(), newYear.month(), newYear.day()));
        EXPECT_EQ(first, kMark + QString::number(year) + QStringLiteral("/01/01")) << year;
        const QDate eve = newYear.addDays(-1);
        const QString last = PersianDateStr(dateValue(eve.year(), eve.month(), eve.day()));
        EXPECT_TRUE(last.startsWith(kMark + QString::number(year - 1) + QStringLiteral("/12/"))) << last.toStdString();
    }
}

TEST(PersianDateStr, EveryDayAdvancesTheDateByOne)
{
    // Months 1-6 have 31 days, 7-11 have 30, 12 has 29 or 30: no gaps, no repeats.
    QString previous = PersianDateStr(dateValue(1989, 12, 31)).mid(1);
    for (QDate day(1990, 1, 1); day <= QDate(2160, 12, 31); day = day.addDays(1)) {
        const QString current = PersianDateStr(dateValue(day.year(), day.month(), day.day())).mid(1);
        const QStringList a = previous.split(u'/'), b = current.split(u'/');
        const bool nextDay = a[0] == b[0] && a[1] == b[1] && b[2].toInt() == a[2].toInt() + 1;
        const bool nextMonth = a[0] == b[0] && b[1].toInt() == a[1].toInt() + 1 && b[2] == QStringLiteral("01")
            && a[2].toInt() >= (a[1].toInt() <= 6 ? 31 : 30);
        const bool nextYear = b[0].toInt() == a[0].toInt() + 1 && a[1] == QStringLiteral("12")
            && b[1] == QStringLiteral("01") && b[2] == QStringLiteral("01") && a[2].toInt() >= 29;
        ASSERT_TRUE(nextDay || nextMonth || nextYear) << previous.toStdString() << " -> " << current.toStdString();
        previous = current;
    }
}

TEST(ReplaceFirst, ReplacesOnlyTheFirstOccurrence)
{
    EXPECT_EQ(ReplaceFirst(QStringLiteral("1391/08/29"), QStringLiteral("/"), QString()), QStringLiteral("139108/29"));
    EXPECT_EQ(ReplaceFirst(QStringLiteral("139108/29"), QStringLiteral("/"), QString()), QStringLiteral("13910829"));
    EXPECT_EQ(ReplaceFirst(QStringLiteral("abc"), QStringLiteral("x"), QStringLiteral("y")), QStringLiteral("abc"));
    EXPECT_EQ(ReplaceFirst(QStringLiteral("abc"), QString(), QStringLiteral("y")), QStringLiteral("abc"));
    EXPECT_EQ(ReplaceFirst(QStringLiteral("aAa"), QStringLiteral("A"), QStringLiteral("-")), QStringLiteral("a-a"));
    EXPECT_EQ(ReplaceFirst(QStringLiteral("xx"), QStringLiteral("x"), QStringLiteral("xx")), QStringLiteral("xxx"));
    // A longer search text goes whole, wherever it first stands.
    EXPECT_EQ(ReplaceFirst(QStringLiteral("1391--08--29"), QStringLiteral("--"), QString()),
              QStringLiteral("139108--29"));
    EXPECT_EQ(ReplaceFirst(QStringLiteral("a-b--c"), QStringLiteral("--"), QStringLiteral("+")),
              QStringLiteral("a-b+c"));
}

} // namespace
