#include "maintenance/restore_settle.h"

#include "backup/backup_sets.h"
#include "db/blocking_call.h"
#include "db/database.h"
#include "maintenance/batches.h"
#include "maintenance/restore_plan.h"
#include "maintenance/restore_server_facts.h"

#include <thread>

namespace movan {

namespace {

// A server that went away (killed, restarting) is usually back within this.
std::chrono::milliseconds g_serverPatience = std::chrono::seconds(30);
constexpr auto kAskAgainPause = std::chrono::milliseconds(500);

bool atWork(const DatabaseCondition &condition)
{
    return condition.listed
        && (condition.state.compare(QLatin1String("RESTORING"), Qt::CaseInsensitive) == 0
            || condition.state.compare(QLatin1String("RECOVERING"), Qt::CaseInsensitive) == 0);
}

} // namespace

void runStatement(DbConnection &server, const std::string &sql, int timeoutSeconds)
{
    DbQuery query;
    query.setConnection(&server);
    query.setParamCheck(false);
    query.setCommandTimeout(timeoutSeconds);
    query.setSqlText(QString::fromStdString(sql));
    query.execSQL();
}

std::chrono::milliseconds restoreServerPatience()
{
    return g_serverPatience;
}

void setRestoreServerPatience(std::chrono::milliseconds patience)
{
    g_serverPatience = patience;
}

void pauseBeforeAskingAgain()
{
    runWithoutFreezing([] { std::this_thread::sleep_for(kAskAgainPause); });
}

RequestOutcome settleRestore(DbConnection &server, const QString &target, const QDateTime &since, const QString &file,
                             int position)
{
    const auto deadline = std::chrono::steady_clock::now() + g_serverPatience;
    while (true) {
        const std::optional<DatabaseCondition> condition
            = askPatiently<DatabaseCondition>([&] { return databaseCondition(server, target); });
        if (!condition)
            return RequestOutcome::Unknown;
        // The server may still be at work on a request whose reply was lost.
        // Past the patience, bringing the copy back is still safe: a server
        // that still restores refuses it, and the copy stays.
        if (atWork(*condition) && std::chrono::steady_clock::now() < deadline) {
            std::optional<bool> running;
            try {
                running = restoreRunning(server, target);
            } catch (const std::exception &error) {
                std::fprintf(stderr, "asking for running requests: %s\n", error.what());
            }
            if (running.value_or(true)) {
                pauseBeforeAskingAgain();
                continue;
            }
        }
        // Gone, or left where nobody can use it: the set is not in place.
        if (!condition->online())
            return RequestOutcome::NotDone;
        const std::optional<std::optional<RestoreRecord>> history
            = askPatiently<std::optional<RestoreRecord>>([&] { return restoreFinishedSince(server, target, since); });
        if (!history)
            return RequestOutcome::Unknown;
        if (*history && restoredSet(**history, file, position))
            return RequestOutcome::Done;
        // Online without a record of this restore: nothing the program can
        // tell apart from someone else's database.
        return RequestOutcome::Unknown;
    }
}

bool dropHasEnded(DbConnection &server)
{
    const auto deadline = std::chrono::steady_clock::now() + g_serverPatience;
    while (true) {
        const std::optional<std::optional<bool>> running
            = askPatiently<std::optional<bool>>([&] { return dropRunning(server); });
        if (!running || !*running)
            return false;
        if (!**running)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pauseBeforeAskingAgain();
    }
}

BringBackResult bringBackSafetyCopy(DbConnection &server, const RestoreJournal &journal, int timeoutSeconds)
{
    const std::optional<QDateTime> since = askPatiently<QDateTime>([&] { return serverNow(server); });
    if (!since)
        return {RequestOutcome::Unknown, QStringLiteral("The server did not answer.")};
    try {
        runStatement(
            server,
            bringBackSql(journal.target.toStdString(), journal.safetyCopy.toStdString(), journal.safetyPosition),
            timeoutSeconds);
    } catch (const DatabaseError &error) {
        const QString failure = QString::fromUtf8(error.what());
        if (!error.outcomeUnknown())
            return {RequestOutcome::NotDone, failure};
        return {settleRestore(server, journal.target, *since, journal.safetyCopy, journal.safetyPosition), failure};
    }
    // The server said it finished; the database must also be usable.
    const std::optional<DatabaseCondition> after
        = askPatiently<DatabaseCondition>([&] { return databaseCondition(server, journal.target); });
    if (after && after->online())
        return {RequestOutcome::Done, {}};
    return {RequestOutcome::Unknown,
            after ? QStringLiteral("The database is %1 after the restore of its copy.").arg(after->state)
                  : QStringLiteral("The server did not answer after the restore of the copy.")};
}

bool openToAllUsers(DbConnection &server, const QString &database)
{
    try {
        runStatement(server, "ALTER DATABASE " + bracketedName(database.toStdString()) + " SET MULTI_USER");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "opening %s to all users: %s\n", qPrintable(database), error.what());
        return false;
    }
    return true;
}

} // namespace movan
