#include "backup/backup_sets.h"
#include "platform/database_error.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace movan;

// Only the server's own word that a set is not sound makes it damaged; a
// check cut short by anything else proves nothing about the file, which must
// then survive.
TEST(VerdictOf, DamagedOnlyWhenTheServerSaysSo)
{
    using Outcome = DatabaseError::Outcome;
    const struct {
        const char *what;
        int number;
        Outcome outcome;
        Verification expected;
    } cases[] = {
        {"checksums fail", 3189, Outcome::NotDone, Verification::Damaged},
        {"a page fails", 3183, Outcome::NotDone, Verification::Damaged},
        {"read of the file failed", 3203, Outcome::NotDone, Verification::Damaged},
        {"media family malformed", 3241, Outcome::NotDone, Verification::Damaged},
        {"not a backup set", 3242, Outcome::NotDone, Verification::Damaged},
        {"another format version", 3243, Outcome::NotDone, Verification::Damaged},
        {"end of the file malformed", 3266, Outcome::NotDone, Verification::Damaged},
        {"terminating abnormally alone", 3013, Outcome::NotDone, Verification::NotVerified},
        {"file cannot be opened", 3201, Outcome::NotDone, Verification::NotVerified},
        {"deadlock victim", 1205, Outcome::NotDone, Verification::NotVerified},
        {"connection lost, client's number", 20006, Outcome::Unknown, Verification::NotVerified},
        {"time-out", 20003, Outcome::Unknown, Verification::NotVerified},
        {"no number at all", 0, Outcome::NotDone, Verification::NotVerified},
        // A damage number that arrived with an outcome the client cannot
        // vouch for is no proof either.
        {"damage number, reply cut", 3189, Outcome::Unknown, Verification::NotVerified},
    };
    for (const auto &c : cases) {
        const DatabaseError error(QString::fromLatin1(c.what), c.number, 16, 1, c.outcome);
        EXPECT_EQ(verdictOf(error), c.expected) << c.what;
    }
    EXPECT_EQ(verdictOf(std::runtime_error("out of memory")), Verification::NotVerified);
}
