#include "sql/transactions.h"

#include <algorithm>
#include <atomic>

namespace sqlemu {

namespace {

// Unique in the process, so a client cannot mistake one transaction for an
// earlier one of any session.
std::uint64_t newDescriptor()
{
    static std::atomic<std::uint64_t> next{0x0000'0001'0000'0000};
    return next.fetch_add(1, std::memory_order_relaxed);
}

void endTransaction(SessionState &session, ResultSink &sink, TransactionChange change)
{
    const std::uint64_t descriptor = session.transaction.descriptor;
    session.transaction = SessionTransaction{};
    sink.transactionChanged(change, descriptor);
}

} // namespace

bool inUserTransaction(const SessionState &session)
{
    return session.transaction.count > 0;
}

void beginTransaction(SessionState &session, ResultSink &sink, const std::string &name)
{
    SessionTransaction &t = session.transaction;
    if (t.count++ > 0)
        return; // a nested BEGIN only counts
    t.descriptor = newDescriptor();
    t.name = name;
    sink.transactionChanged(TransactionChange::Began, t.descriptor);
}

void commitTransaction(SessionState &session, ResultSink &sink)
{
    if (session.transaction.count == 0)
        throw SqlError(
            errors::message(3902, 16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."),
            ErrorScope::Statement);
    if (--session.transaction.count == 0)
        endTransaction(session, sink, TransactionChange::Committed);
}

void rollbackTransaction(SessionState &session, ResultSink &sink, const std::string &name)
{
    SessionTransaction &t = session.transaction;
    if (t.count == 0)
        throw SqlError(
            errors::message(3903, 16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."),
            ErrorScope::Statement);
    if (!name.empty()) {
        // Transaction and savepoint names compare exactly, whatever the
        // collation; the newest savepoint of a name wins.
        const auto savepoint = std::find(t.savepoints.rbegin(), t.savepoints.rend(), name);
        if (savepoint != t.savepoints.rend()) {
            t.savepoints.erase(savepoint.base(), t.savepoints.end());
            return;
        }
        if (name != t.name)
            throw SqlError(
                errors::message(6401, 16, 1,
                                "Cannot roll back " + name + ". No transaction or savepoint of that name was found."),
                ErrorScope::Statement);
    }
    endTransaction(session, sink, TransactionChange::RolledBack);
}

void saveTransaction(SessionState &session, const std::string &name)
{
    if (session.transaction.count == 0)
        throw SqlError(
            errors::message(628, 16, 1, "Cannot issue SAVE TRANSACTION when there is no active transaction."),
            ErrorScope::Statement);
    session.transaction.savepoints.push_back(name);
}

void abandonTransaction(SessionState &session, ResultSink &sink)
{
    if (inUserTransaction(session))
        endTransaction(session, sink, TransactionChange::RolledBack);
}

namespace errors {

SqlError notInTransaction(std::string_view statement)
{
    return {message(226, 16, 6, std::string(statement) + " statement not allowed within multi-statement transaction."),
            ErrorScope::Statement};
}

SqlError dropInTransaction(std::string_view statement)
{
    return {message(574, 16, 0, std::string(statement) + " statement cannot be used inside a user transaction."),
            ErrorScope::Statement};
}

ServerMessage backupInTransaction()
{
    return message(3021, 16, 0, "Cannot perform a backup or restore operation within a transaction.");
}

SqlError distributedTransactionsUnavailable(std::string_view serverName)
{
    return {message(8501, 16, 3, "MSDTC on server '" + std::string(serverName) + "' is unavailable."),
            ErrorScope::Statement};
}

} // namespace errors

} // namespace sqlemu
