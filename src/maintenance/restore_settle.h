#pragma once

// What became of a restore whose reply never came, and the way back from
// the safety copy, asked of the server rather than guessed.

#include "maintenance/restore_journal.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace movan {

class DbConnection;

enum class RequestOutcome { Done, NotDone, Unknown };

// Runs a statement built with its names and paths already quoted (a ":" in
// a path is no parameter); 0 seconds waits without a client limit.
void runStatement(DbConnection &server, const std::string &sql, int timeoutSeconds = 0);

// How long a restore waits for a server that went away, or for a request
// whose reply was lost, before it says it cannot know. Tests shorten it.
std::chrono::milliseconds restoreServerPatience();
void setRestoreServerPatience(std::chrono::milliseconds patience);

// A short pause that keeps the window painting.
void pauseBeforeAskingAgain();

// Asks until the server answers or the patience runs out; nothing then.
template <typename Answer> std::optional<Answer> askPatiently(const std::function<Answer()> &ask)
{
    const auto deadline = std::chrono::steady_clock::now() + restoreServerPatience();
    while (true) {
        try {
            return ask();
        } catch (const std::exception &error) {
            std::fprintf(stderr, "asking the server: %s\n", error.what());
            if (std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            pauseBeforeAskingAgain();
        }
    }
}

// Whether the RESTORE of FILE's set POSITION over TARGET, sent at SINCE by
// the server's clock, put that set in place. A restore still at work is
// waited for; an online database without a record of this restore is
// Unknown.
RequestOutcome settleRestore(DbConnection &server, const QString &target, const QDateTime &since, const QString &file,
                             int position);

// Waits, within the patience, until the server runs no drop of a database:
// a drop whose reply was lost may still be at work. False when it still
// runs, or when the server cannot say.
bool dropHasEnded(DbConnection &server);

struct BringBackResult {
    RequestOutcome outcome = RequestOutcome::Unknown;
    QString failure; // the server's words, when it said any
};

// The journal's safety copy restored over its target, by the copy's own set.
BringBackResult bringBackSafetyCopy(DbConnection &server, const RestoreJournal &journal, int timeoutSeconds);

// A target left to one user by a drop that did not happen is opened to all
// again, so the sibling programs are not kept out; false when the server
// refused (said on standard error).
bool openToAllUsers(DbConnection &server, const QString &database);

} // namespace movan
