#pragma once

#include "sql/ast.h"

namespace sqlemu {

struct ExecutionContext;

// The statements that work on whole databases and their files: BACKUP,
// RESTORE, CREATE DATABASE ... FOR ATTACH, ALTER DATABASE, DROP DATABASE and
// DBCC. Each reports its messages and DONE itself through the context's sink
// and throws SqlError on failure. The catalogue holds the metadata; the
// files themselves are the business of the storage layer's database files
// and backup media.
void runBackup(const BackupStatement &statement, ExecutionContext &context, DoneKind doneKind);
void runRestore(const RestoreStatement &statement, ExecutionContext &context, DoneKind doneKind);
void runCreateDatabase(const CreateDatabaseStatement &statement, ExecutionContext &context, DoneKind doneKind);
void runAlterDatabase(const AlterDatabaseStatement &statement, ExecutionContext &context, DoneKind doneKind);
void runDropDatabase(const DropDatabaseStatement &statement, ExecutionContext &context, DoneKind doneKind);
void runDbcc(const DbccStatement &statement, ExecutionContext &context, DoneKind doneKind);
void runCheckpoint(ExecutionContext &context, DoneKind doneKind);

} // namespace sqlemu
