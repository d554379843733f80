#pragma once

// The large database a backup benchmark works on: made by sqlemu in a folder
// and attached by the server the connection string reaches.

#include <QString>

// Makes NAME.mdf and NAME_log.ldf of the size in FOLDER and attaches them
// as NAME; false when sqlemu could not make the files. The attach throws
// the server's refusal.
bool makeAttachedDatabase(const QString &folder, const QString &name, int megabytes, const QString &connectionString);
