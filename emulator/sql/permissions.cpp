#include "sql/permissions.h"

#include "sql/execution_context.h"
#include "sql/sql_error.h"

namespace sqlemu {

namespace {

bool allowed(const ExecutionContext &context)
{
    return mayWorkOnDatabaseFiles(context.session.role);
}

ServerMessage permissionDenied(const std::string &permission, const std::string &database)
{
    return errors::message(262, 14, 1, permission + " permission denied in database '" + database + "'.");
}

[[noreturn]] void refuse(std::vector<ServerMessage> messages)
{
    throw SqlError(std::move(messages), ErrorScope::Statement);
}

} // namespace

bool mayWorkOnDatabaseFiles(ServerRole role)
{
    return role == ServerRole::SysAdmin || role == ServerRole::DbCreator;
}

void requireBackupPermission(const ExecutionContext &context, const std::string &statement, const std::string &database)
{
    if (!allowed(context))
        refuse({permissionDenied(statement, database), errors::statementTerminated(statement)});
}

void requireRestorePermission(const ExecutionContext &context, const std::string &database)
{
    if (!allowed(context))
        refuse({errors::message(3110, 14, 1, "User does not have permission to RESTORE database '" + database + "'."),
                errors::statementTerminated("RESTORE DATABASE")});
}

void requireBackupReadPermission(const ExecutionContext &context, const std::string &terminating)
{
    if (!allowed(context))
        refuse({permissionDenied("CREATE DATABASE", "master"), errors::statementTerminated(terminating)});
}

void requireCreateDatabasePermission(const ExecutionContext &context)
{
    if (!allowed(context))
        refuse({permissionDenied("CREATE DATABASE", "master")});
}

void requireDropPermission(const ExecutionContext &context, const std::string &database)
{
    // The same words as for a database that does not exist, so that a
    // refusal does not tell which databases there are.
    if (!allowed(context))
        refuse({errors::message(3701, 14, 1,
                                "Cannot drop the database '" + database
                                    + "', because it does not exist or you do not have permission.")});
}

void requireAlterPermission(const ExecutionContext &context, const std::string &database)
{
    if (!allowed(context))
        refuse({errors::alterDatabaseNotAllowed(database), errors::alterDatabaseFailed()});
}

} // namespace sqlemu
