#pragma once

#include "engine_interface/engine.h"
#include "sql/ast.h"
#include "sql/server_identity.h"
#include "sql/sql_value.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace sqlemu {

class Catalogue;
class SessionRegistry;
class StorageOperations;

// Options a session keeps from batch to batch (SET ...).
struct SessionOptions {
    bool noCount = false;
    bool quotedIdentifier = false;
    bool ansiNulls = true; // OFF: NULL = NULL is true
    bool concatNullYieldsNull = true; // OFF: 'a' + NULL is 'a'
    bool xactAbort = false; // ON: any run-time error ends the batch
    std::int64_t rowCountLimit = 0; // SET ROWCOUNT; 0 = no limit
    std::string language = "us_english";
    std::int64_t textSize = 4096;
    // Tests only (sqlemu_test_pace_storage): a pause at every piece of a
    // backup, restore or verify, so a test can cancel or kill one midway.
    std::int64_t storagePaceMilliseconds = 0;
};

struct Variable {
    std::string name;
    DataType type;
    TypedValue value;
};

// The variables of one batch (or of one sp_executesql call).
class Variables {
public:
    Variable &declare(const std::string &name, const DataType &type);
    Variable *find(std::string_view name);
    std::vector<std::string> names() const;

private:
    std::deque<Variable> m_variables; // stable addresses: callers keep Variable pointers
};

// Everything a running batch reaches.
struct ExecutionContext {
    SessionState &session;
    SessionOptions &options;
    const InstanceConfig &config;
    const ServerIdentity &identity;
    Catalogue &catalogue;
    StorageOperations &storage;
    SessionRegistry &sessions;
    ResultSink &sink;
    Variables variables;
    std::int64_t lastRowCount = 0; // @@ROWCOUNT
    std::int32_t lastError = 0; // @@ERROR
    // The batch's token budget, for texts compiled inside it (sp_executesql).
    std::function<void(std::size_t)> tokenBudget{};
};

// Waits, looking at the client's cancel every few milliseconds; throws
// Cancelled when it comes.
void waitWatchingCancel(ResultSink &sink, std::chrono::milliseconds duration);

// Thrown when the client cancels (ATTENTION); the batch stops at once and the
// protocol acknowledges the cancel.
struct Cancelled {};

} // namespace sqlemu
