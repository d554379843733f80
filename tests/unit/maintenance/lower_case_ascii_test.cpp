#include "maintenance/process_termination.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

// Only A..Z change: names match as the sibling programs' file names were
// compared, without regard to any other letter's case.
TEST(LowerCaseAscii, LowersOnlyTheAsciiCapitals)
{
    EXPECT_EQ(LowerCaseAscii(QStringLiteral("@AZ[`az{")), QStringLiteral("@az[`az{"));
    EXPECT_EQ(LowerCaseAscii(QStringLiteral("TELVAREX.EXE")), QStringLiteral("telvarex.exe"));
    EXPECT_EQ(LowerCaseAscii(QStringLiteral("ÀÉİΣ موان K")), QStringLiteral("ÀÉİΣ موان k"));
}

} // namespace
