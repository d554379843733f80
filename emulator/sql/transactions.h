#pragma once

// A session's user transaction, begun by BEGIN TRANSACTION or by the
// protocol's transaction-manager request. The emulator runs nothing inside
// one that a rollback would have to undo: the statements a real server
// refuses there are refused here with its errors, and the rest (SELECT,
// SET, USE, CHECKPOINT, DBCC SHRINKFILE) a real server does not undo
// either. So beginning, committing and rolling back keep the count, the
// names and the descriptor the client is told, nothing more.

#include "engine_interface/engine.h"
#include "sql/sql_error.h"

#include <string>
#include <string_view>

namespace sqlemu {

bool inUserTransaction(const SessionState &session);

// Counts up; the outermost gets a new descriptor that the client hears of.
void beginTransaction(SessionState &session, ResultSink &sink, const std::string &name);
// Counts down; 3902 without a transaction.
void commitTransaction(SessionState &session, ResultSink &sink);
// To the savepoint named, or the whole transaction (an empty name or the
// outermost's); 3903 without a transaction, 6401 for a name that is neither.
void rollbackTransaction(SessionState &session, ResultSink &sink, const std::string &name);
// 628 without a transaction.
void saveTransaction(SessionState &session, const std::string &name);
// Ends an open transaction as an error that dooms it does (XACT_ABORT).
void abandonTransaction(SessionState &session, ResultSink &sink);

namespace errors {

// What a real server refuses inside a user transaction, and how.
SqlError notInTransaction(std::string_view statement); // 226: ALTER DATABASE, CREATE DATABASE
SqlError dropInTransaction(std::string_view statement); // 574
ServerMessage backupInTransaction(); // 3021, followed by the statement's 3013
SqlError distributedTransactionsUnavailable(std::string_view serverName); // 8501

} // namespace errors

} // namespace sqlemu
