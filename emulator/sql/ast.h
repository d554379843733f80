#pragma once

// The statements and expressions the parser builds and the interpreter runs.

#include "engine_interface/result_sink.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sqlemu {

struct Expression;
struct Statement;
struct SelectStatement;
using ExpressionPtr = std::unique_ptr<Expression>;
using StatementPtr = std::unique_ptr<Statement>;

// A declared type: varchar(50), nvarchar(max), int ...
struct DataType {
    SqlType type = SqlType::Int;
    int length = 0; // characters for text types; -1 for (max)
    std::string written; // as the batch spelt it, for messages
};

struct Expression {
    enum class Kind {
        Literal, // literal, literalType
        Variable, // name ("@x")
        SystemVariable, // name ("@@VERSION")
        Column, // parts: [table qualifiers..., column]
        Function, // name, arguments
        Binary, // op: + - * / % = <> < > <= >= AND OR
        Not, // arguments[0]
        Negate, // arguments[0]
        Like, // arguments[0] LIKE arguments[1]; negated
        IsNull, // arguments[0] IS [NOT] NULL; negated
        Exists, // subquery
    };
    Kind kind = Kind::Literal;
    Value literal;
    SqlType literalType = SqlType::Int;
    std::string name;
    std::vector<std::string> parts;
    std::string op;
    bool negated = false;
    std::vector<ExpressionPtr> arguments;
    std::unique_ptr<SelectStatement> subquery;
    std::optional<DataType> castType; // CAST(x AS type), CONVERT(type, x)
    int line = 1;
    // Levels of the tree below and including this node; the parser bounds
    // it, so evaluating and destroying the tree cannot run out of stack.
    int height = 1;
};

// A database or other name that a statement may give either directly or
// through a variable (BACKUP DATABASE @name).
struct NameOrVariable {
    std::string text;
    bool isVariable = false;
};

struct UseStatement {
    std::string database;
};

struct DeclareStatement {
    struct Variable {
        std::string name;
        DataType type;
        ExpressionPtr initialValue;
        bool output = false; // a parameter declared OUTPUT: its value goes back to the caller
    };
    std::vector<Variable> variables;
};

struct SetVariableStatement {
    std::string variable;
    ExpressionPtr value;
};

// SET NOCOUNT ON, SET TEXTSIZE 100, SET TRANSACTION ISOLATION LEVEL ...
struct SetOptionStatement {
    std::string option; // upper case; words joined by one blank
    std::string value; // ON, OFF, a number or a name, as written
};

struct TableReference {
    std::vector<std::string> parts; // [database, schema, table]; empty parts for ".."
    std::string written; // as a real server prints it in 208
    int line = 1;
};

struct SelectItem {
    ExpressionPtr expression; // null for *
    std::string alias;
    std::string assignTo; // SELECT @v = expression
};

// ORDER BY: a column, an alias of the select list, an expression, or the
// position of an item in the list.
struct OrderItem {
    ExpressionPtr expression;
    std::optional<std::int64_t> position;
    bool descending = false;
};

struct SelectStatement {
    std::optional<std::int64_t> top;
    std::vector<SelectItem> items;
    std::optional<TableReference> from;
    ExpressionPtr where;
    std::vector<OrderItem> orderBy;
};

struct ExecuteArgument {
    std::string name; // "@rootkey", or empty for a positional one
    ExpressionPtr value; // null for DEFAULT
    bool output = false;
};

struct ExecuteStatement {
    std::vector<std::string> procedure; // name parts
    std::string returnVariable; // EXEC @r = proc
    std::vector<ExecuteArgument> arguments;
};

struct IfStatement {
    ExpressionPtr condition;
    StatementPtr then;
    StatementPtr otherwise;
};

struct BlockStatement {
    std::vector<StatementPtr> statements;
};

struct WaitforStatement {
    ExpressionPtr delay;
};

struct PrintStatement {
    ExpressionPtr value;
};

struct CheckpointStatement {};

// An option of BACKUP, RESTORE, CREATE DATABASE file lists: NAME = value,
// or a bare word (NOINIT); MOVE 'a' TO 'b' keeps both expressions.
struct StatementOption {
    std::string name; // upper case
    ExpressionPtr value; // null for a bare option
    ExpressionPtr target; // MOVE ... TO target
    std::string unit; // KB, MB, GB, TB or % after a size
};

struct BackupStatement {
    bool log = false;
    NameOrVariable database;
    std::vector<ExpressionPtr> disks;
    std::vector<StatementOption> options;
};

struct RestoreStatement {
    enum class Kind { Database, Log, FileListOnly, HeaderOnly, VerifyOnly, LabelOnly };
    Kind kind = Kind::Database;
    NameOrVariable database; // Database and Log only
    std::vector<ExpressionPtr> disks;
    std::vector<StatementOption> options;
};

struct CreateDatabaseStatement {
    std::string name;
    std::vector<std::vector<StatementOption>> dataFiles;
    std::vector<std::vector<StatementOption>> logFiles;
    bool forAttach = false;
    bool rebuildLog = false; // FOR ATTACH_REBUILD_LOG
};

struct AlterDatabaseStatement {
    std::string name;
    std::string option; // SINGLE_USER, MULTI_USER, OFFLINE ... (upper case)
    std::string termination; // ROLLBACK IMMEDIATE, ROLLBACK AFTER n, NO_WAIT or empty
};

struct DropDatabaseStatement {
    std::vector<std::string> names;
};

struct DbccStatement {
    std::string command; // upper case: SHRINKFILE ...
    std::vector<ExpressionPtr> arguments;
    std::vector<std::string> withOptions; // upper case: NO_INFOMSGS ...
};

// BEGIN TRANSACTION, COMMIT, ROLLBACK and SAVE TRANSACTION, with the name
// they give (empty text when none).
struct TransactionStatement {
    enum class Kind { Begin, Commit, Rollback, Save };
    Kind kind = Kind::Begin;
    NameOrVariable name;
};

struct Statement {
    int line = 1;
    using Body = std::variant<UseStatement, DeclareStatement, SetVariableStatement, SetOptionStatement, SelectStatement,
                              ExecuteStatement, IfStatement, BlockStatement, WaitforStatement, PrintStatement,
                              CheckpointStatement, BackupStatement, RestoreStatement, CreateDatabaseStatement,
                              AlterDatabaseStatement, DropDatabaseStatement, DbccStatement, TransactionStatement>;
    Body body;
};

struct Batch {
    std::vector<StatementPtr> statements;
};

} // namespace sqlemu
