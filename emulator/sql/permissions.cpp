#include "sql/permissions.h"

#include "sql/execution_context.h"
#include "sql/sql_error.h"
#include "storage/catalogue.h"
#include "storage/collation.h"

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

// sysadmin, or the owner of a database that exists; for one that does not,
// the statement's own error follows.
bool ownsOrAdministers(const ExecutionContext &context, const std::string &database)
{
    if (context.session.role == ServerRole::SysAdmin)
        return true;
    const auto db = context.catalogue.find(database);
    return !db || sameName(db->owner, context.session.loginName);
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
    if (!allowed(context) && !ownsOrAdministers(context, database))
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

void requireLogBackupPermission(const ExecutionContext &context, const std::string &database)
{
    if (!ownsOrAdministers(context, database))
        refuse({permissionDenied("BACKUP LOG", database), errors::statementTerminated("BACKUP LOG")});
}

void requireShrinkPermission(const ExecutionContext &context, const std::string &database)
{
    // The database user is named as the login here: the emulator maps every
    // login to a user of its own name.
    if (!ownsOrAdministers(context, database))
        refuse({errors::message(
            2571, 14, 3, "User '" + context.session.loginName + "' does not have permission to run DBCC SHRINKFILE.")});
}

} // namespace sqlemu
