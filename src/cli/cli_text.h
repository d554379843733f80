#pragma once

#include "cli/command_line.h"

#include <QString>

#include <functional>

namespace movan {

// The command line speaks Persian to a Persian locale and English to any
// other, one line per message, fit for the journal.
enum class CliLanguage { English, Persian };

// By the environment as the C library reads it: LC_ALL, else LC_MESSAGES,
// else LANG, the first that is set and not empty; Persian when it begins
// with "fa".
CliLanguage languageFromEnvironment(const std::function<QString(const char *)> &variable);
CliLanguage languageFromEnvironment();

// Every message of the command line, in both languages.
namespace CliText {
QString usage(CliLanguage language);
QString usageProblem(CliLanguage language, const UsageProblem &problem);
QString progressLabel(CliLanguage language, const QString &database);
QString progressLine(CliLanguage language, const QString &database, int percent);
QString backupDone(CliLanguage language, const QString &database, const QString &path, bool verified);
QString oldBackupRemoved(CliLanguage language, const QString &path);
QString oldBackupKept(CliLanguage language, const QString &path, const QString &reason);
QString settingsMissing(CliLanguage language, const QString &settingsPath);
QString settingsFileMissing(CliLanguage language, const QString &settingsPath);
QString serverUnreachable(CliLanguage language, const QString &reason);
QString backupRefused(CliLanguage language, const QString &database, const QString &reason);
QString verifyFailedRemoved(CliLanguage language, const QString &database, const QString &path, const QString &reason);
QString verifyFailedKept(CliLanguage language, const QString &database, const QString &path, const QString &reason);
QString backupNotVerified(CliLanguage language, const QString &database, const QString &path, const QString &reason);
QString verificationNotRecorded(CliLanguage language, const QString &record, const QString &reason);
QString replyLostDone(CliLanguage language, const QString &database, const QString &path);
QString replyLostNotDone(CliLanguage language, const QString &database, const QString &path, const QString &reason);
QString outcomeUnknown(CliLanguage language, const QString &database, const QString &path, const QString &reason);
QString oldBackupUnverified(CliLanguage language, const QString &path);
QString folderNotWritable(CliLanguage language, const QString &folder, const QString &reason);
QString fileNotRead(CliLanguage language, const QString &file, const QString &reason);
QString listHeader(CliLanguage language);
QString unexpectedFailure(CliLanguage language, const QString &reason);
} // namespace CliText

} // namespace movan
