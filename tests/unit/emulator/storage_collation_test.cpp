#include "storage/collation.h"
#include "storage/server_clock.h"
#include "storage/utf8.h"

#include <gtest/gtest.h>

namespace sqlemu {
namespace {

TEST(CollationTest, LikeMatchesAsTheServerDoes)
{
    const struct {
        const char *text, *pattern;
        bool match;
    } cases[] = {
        {"QelnatAccounts", "Qelnat%", true},
        {"qelnataccounts", "QELNAT%", true},
        {"MyQelnat", "Qelnat%", false},
        {"TheMovanData", "%Movan%", true},
        {"Movan", "%Movan%", true},
        {"Tarnel", "%Tarnel%", true},
        {"Tarne", "%Tarnel%", false},
        {"abc", "a_c", true},
        {"ac", "a_c", false},
        {"abc", "a[a-c]c", true},
        {"adc", "a[^a-c]c", true},
        {"abc", "a[^a-c]c", false},
        {"a[c", "a[c", true}, // an unclosed '[' is an ordinary character
        {"", "%", true},
        {"", "_", false},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "%a%a%a%a%a%a%a%a%c", false},
        {"تارنل", "%ارن%", true},
        {"ÉCOLE", "école", true},
        {"école", "ecole", false}, // accent-sensitive
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " LIKE " + c.pattern);
        EXPECT_EQ(collationLike(c.text, c.pattern), c.match);
    }
}

TEST(CollationTest, EqualityIgnoresCaseAndTrailingBlanksOnly)
{
    EXPECT_TRUE(collationEquals("Tarnel", "TARNEL"));
    EXPECT_TRUE(collationEquals("Tarnel", "Tarnel   "));
    EXPECT_FALSE(collationEquals("Tarnel", " Tarnel"));
    EXPECT_FALSE(sameName("Tarnel", "Tarnel "));
    EXPECT_TRUE(sameName("ДАННЫЕ", "данные"));
    EXPECT_LT(collationCompare("abc", "ABD"), 0);
}

TEST(CollationTest, BrokenUtf8NeverBreaksDecoding)
{
    EXPECT_EQ(decodeUtf8("a\xC3"), (std::u32string{U'a', 0xFFFD}));
    EXPECT_EQ(decodeUtf8("\xE0\x80\x80"), (std::u32string{0xFFFD, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(encodeUtf8(decodeUtf8("فارسی ي ك")), "فارسی ي ك");
    EXPECT_EQ(utf8Length("تارنل"), 5u);
}

TEST(ServerClockTest, DatesRoundTripThroughTheCatalogueForm)
{
    const char *texts[] = {"1900-01-01 00:00:00.000", "2026-12-07 08:02:16.123", "1753-01-01 23:59:59.997"};
    for (const char *t : texts) {
        auto parsed = parseDateTime(t);
        ASSERT_TRUE(parsed) << t;
        EXPECT_EQ(formatDateTime(*parsed), t);
    }
    EXPECT_EQ(parseDateTime("1900-01-02 00:00:00.000")->millisecondsSince1900, 86'400'000);
    EXPECT_FALSE(parseDateTime("2026-13-01 00:00:00.000"));
    EXPECT_FALSE(parseDateTime("2026-01-01 00:00:00.000x"));
}

} // namespace
} // namespace sqlemu
