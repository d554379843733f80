#include "sql/parser_core.h"

#include <algorithm>
#include <cctype>

namespace sqlemu::detail {

namespace {

const std::vector<std::string_view> kBackupOptions = {
    "BLOCKSIZE", "BUFFERCOUNT",     "CHECKSUM",         "COMPRESSION",    "CONTINUE_AFTER_ERROR",
    "COPY_ONLY", "DESCRIPTION",     "DIFFERENTIAL",     "EXPIREDATE",     "FORMAT",
    "INIT",      "MAXTRANSFERSIZE", "MEDIADESCRIPTION", "MEDIANAME",      "MEDIAPASSWORD",
    "NAME",      "NOFORMAT",        "NOINIT",           "NORECOVERY",     "NOREWIND",
    "NOSKIP",    "NOUNLOAD",        "NO_CHECKSUM",      "NO_COMPRESSION", "NO_TRUNCATE",
    "PASSWORD",  "RETAINDAYS",      "REWIND",           "SKIP",           "STANDBY",
    "STATS",     "STOP_ON_ERROR",   "UNLOAD",
};

const std::vector<std::string_view> kRestoreOptions = {
    "BLOCKSIZE",
    "BUFFERCOUNT",
    "CHECKSUM",
    "CONTINUE_AFTER_ERROR",
    "ENABLE_BROKER",
    "ERROR_BROKER_CONVERSATIONS",
    "FILE",
    "KEEP_CDC",
    "KEEP_REPLICATION",
    "LOADHISTORY",
    "MAXTRANSFERSIZE",
    "MEDIANAME",
    "MEDIAPASSWORD",
    "MOVE",
    "NEW_BROKER",
    "NORECOVERY",
    "NOREWIND",
    "NOUNLOAD",
    "NO_CHECKSUM",
    "PARTIAL",
    "PASSWORD",
    "RECOVERY",
    "REPLACE",
    "RESTART",
    "RESTRICTED_USER",
    "REWIND",
    "STANDBY",
    "STATS",
    "STOPAT",
    "STOP_ON_ERROR",
    "UNLOAD",
};

} // namespace

NameOrVariable Parser::parseNameOrVariable()
{
    if (peek().kind == TokenKind::Variable)
        return NameOrVariable{useVariable(take()), true};
    return NameOrVariable{parseName(), false};
}

std::vector<ExpressionPtr> Parser::parseDisks()
{
    std::vector<ExpressionPtr> disks;
    do {
        const Token &device = peek();
        if (device.isWord("TAPE") || device.isWord("URL"))
            throw errors::notSupportedYet("backup devices other than DISK").atLine(device.line);
        expectWord("DISK");
        expectSymbol("=");
        const Token &t = peek();
        if (t.kind != TokenKind::String && t.kind != TokenKind::UnicodeString && t.kind != TokenKind::Variable)
            failHere();
        disks.push_back(parsePrimary());
    } while (acceptSymbol(","));
    return disks;
}

std::vector<StatementOption> Parser::parseWithOptions(const std::vector<std::string_view> &known,
                                                      std::string_view statementName, bool allowMove)
{
    std::vector<StatementOption> options;
    if (!acceptWord("WITH"))
        return options;
    do {
        const Token &t = peek();
        if (t.kind != TokenKind::Word)
            failHere();
        take();
        StatementOption option;
        option.name = asciiUpper(t.text);
        const bool oldLogOption = option.name == "TRUNCATE_ONLY" || option.name == "NO_LOG";
        const bool recognised = std::find(known.begin(), known.end(), option.name) != known.end()
            || (oldLogOption && statementName == "BACKUP" && m_options.truncateOnlyAllowed);
        if (!recognised)
            throw errors::unknownOption(t.text, statementName).atLine(t.line);
        if (option.name == "MOVE" && allowMove) {
            option.value = parseOptionValue();
            expectWord("TO");
            option.target = parseOptionValue();
        } else if (acceptSymbol("=")) {
            option.value = parseOptionValue();
        }
        options.push_back(std::move(option));
    } while (acceptSymbol(","));
    return options;
}

BackupStatement Parser::parseBackup()
{
    BackupStatement backup;
    if (acceptWord("LOG"))
        backup.log = true;
    else if (!acceptWord("DATABASE"))
        failHere();
    backup.database = parseNameOrVariable();
    if (acceptWord("TO"))
        backup.disks = parseDisks();
    backup.options = parseWithOptions(kBackupOptions, "BACKUP", false);
    return backup;
}

RestoreStatement Parser::parseRestore()
{
    RestoreStatement restore;
    using Kind = RestoreStatement::Kind;
    if (acceptWord("DATABASE"))
        restore.kind = Kind::Database;
    else if (acceptWord("LOG"))
        restore.kind = Kind::Log;
    else if (acceptWord("FILELISTONLY"))
        restore.kind = Kind::FileListOnly;
    else if (acceptWord("HEADERONLY"))
        restore.kind = Kind::HeaderOnly;
    else if (acceptWord("VERIFYONLY"))
        restore.kind = Kind::VerifyOnly;
    else if (acceptWord("LABELONLY"))
        restore.kind = Kind::LabelOnly;
    else
        failHere();
    if (restore.kind == Kind::Database || restore.kind == Kind::Log)
        restore.database = parseNameOrVariable();
    if (acceptWord("FROM"))
        restore.disks = parseDisks();
    else if (restore.kind != Kind::Database && restore.kind != Kind::Log)
        failHere();
    restore.options = parseWithOptions(kRestoreOptions, "RESTORE", true);
    return restore;
}

std::vector<StatementOption> Parser::parseFileSpec()
{
    std::vector<StatementOption> request;
    expectSymbol("(");
    do {
        const Token &t = peek();
        if (t.kind != TokenKind::Word)
            failHere();
        StatementOption option;
        option.name = asciiUpper(take().text);
        static constexpr std::string_view kKnown[] = {"NAME", "NEWNAME", "FILENAME", "SIZE", "MAXSIZE", "FILEGROWTH"};
        if (std::find(std::begin(kKnown), std::end(kKnown), option.name) == std::end(kKnown))
            failAt(t);
        expectSymbol("=");
        if (option.name == "MAXSIZE" && acceptWord("UNLIMITED")) {
            option.unit = "UNLIMITED";
        } else {
            option.value = parseOptionValue();
            const Token &unit = peek();
            if (unit.isWord("KB") || unit.isWord("MB") || unit.isWord("GB") || unit.isWord("TB") || unit.isSymbol("%"))
                option.unit = asciiUpper(take().text);
        }
        request.push_back(std::move(option));
    } while (acceptSymbol(","));
    expectSymbol(")");
    return request;
}

CreateDatabaseStatement Parser::parseCreate()
{
    if (!peek().isWord("DATABASE"))
        throw errors::notSupportedYet("CREATE " + asciiUpper(peek().text)).atLine(peek().line);
    take();
    CreateDatabaseStatement create;
    create.name = parseName();
    if (acceptWord("ON")) {
        acceptWord("PRIMARY");
        do {
            create.dataFiles.push_back(parseFileSpec());
        } while (acceptSymbol(","));
        if (peek().isWord("LOG") && peek(1).isWord("ON")) {
            take();
            take();
            do {
                create.logFiles.push_back(parseFileSpec());
            } while (acceptSymbol(","));
        }
    }
    if (acceptWord("COLLATE"))
        parseName();
    if (acceptWord("FOR")) {
        if (acceptWord("ATTACH"))
            create.forAttach = true;
        else if (acceptWord("ATTACH_REBUILD_LOG"))
            create.forAttach = create.rebuildLog = true;
        else
            failHere();
    }
    return create;
}

AlterDatabaseStatement Parser::parseAlter()
{
    if (!peek().isWord("DATABASE"))
        throw errors::notSupportedYet("ALTER " + asciiUpper(peek().text)).atLine(peek().line);
    take();
    AlterDatabaseStatement alter;
    alter.name = parseName();
    expectWord("SET");
    const Token &t = peek();
    if (t.kind != TokenKind::Word)
        failHere();
    alter.option = asciiUpper(take().text);
    static constexpr std::string_view kSingleWord[]
        = {"SINGLE_USER", "MULTI_USER", "RESTRICTED_USER", "OFFLINE", "ONLINE", "READ_ONLY", "READ_WRITE"};
    if (alter.option == "RECOVERY") {
        const Token &model = peek();
        if (!(model.isWord("SIMPLE") || model.isWord("FULL") || model.isWord("BULK_LOGGED")))
            failHere();
        alter.option.append(" ").append(asciiUpper(take().text));
    } else if (std::find(std::begin(kSingleWord), std::end(kSingleWord), alter.option) == std::end(kSingleWord)) {
        failAt(t);
    }
    if (acceptWord("WITH")) {
        if (acceptWord("ROLLBACK")) {
            if (acceptWord("IMMEDIATE")) {
                alter.termination = "ROLLBACK IMMEDIATE";
            } else {
                expectWord("AFTER");
                if (peek().kind != TokenKind::Integer)
                    failHere();
                alter.termination = "ROLLBACK AFTER " + take().text;
                acceptWord("SECONDS");
            }
        } else if (acceptWord("NO_WAIT")) {
            alter.termination = "NO_WAIT";
        } else {
            failHere();
        }
    }
    return alter;
}

DropDatabaseStatement Parser::parseDrop()
{
    if (!peek().isWord("DATABASE"))
        throw errors::notSupportedYet("DROP " + asciiUpper(peek().text)).atLine(peek().line);
    take();
    DropDatabaseStatement drop;
    do {
        drop.names.push_back(parseName());
    } while (acceptSymbol(","));
    return drop;
}

DbccStatement Parser::parseDbcc()
{
    const Token &t = peek();
    if (t.kind != TokenKind::Word)
        failHere();
    DbccStatement dbcc;
    dbcc.command = asciiUpper(take().text);
    if (acceptSymbol("(")) {
        if (!acceptSymbol(")")) {
            do {
                dbcc.arguments.push_back(peek().kind == TokenKind::Word || peek().kind == TokenKind::QuotedName
                                             ? parseOptionValue()
                                             : parseScalar());
            } while (acceptSymbol(","));
            expectSymbol(")");
        }
    }
    if (acceptWord("WITH")) {
        do {
            const Token &w = peek();
            if (w.kind != TokenKind::Word)
                failHere();
            dbcc.withOptions.push_back(asciiUpper(take().text));
        } while (acceptSymbol(","));
    }
    return dbcc;
}

} // namespace sqlemu::detail
