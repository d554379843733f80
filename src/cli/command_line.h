#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace movan {

struct BackupRequest {
    QString database; // trimmed, never empty
    QString folder; // as given; empty: Backups beside the executable
    int keep = 0; // 0: remove nothing
    bool verify = true;
};

struct ListSetsRequest {
    QString file;
};

struct HelpRequest {};

// Why a command line was refused; argument names the option or value.
struct UsageProblem {
    enum Kind {
        UnknownOption,
        MissingValue,
        Repeated,
        BadKeep,
        BadDatabaseName,
        EmptyDatabaseName,
        OptionWithoutBackup,
        KeepWithoutVerify,
        TwoActions,
        NoAction,
        StrayArgument,
    };
    Kind kind;
    QString argument;
};

using CommandLineRequest = std::variant<BackupRequest, ListSetsRequest, HelpRequest, UsageProblem>;

// Whether the arguments (the program's own path left out) ask for the
// command line rather than the windows: the windows take no arguments, so
// any that begins with "--" does.
bool commandLineAsked(const QStringList &arguments);

// The request the arguments make. Options take their value as the next
// argument or after "=" (--keep=7).
CommandLineRequest parseCommandLine(const QStringList &arguments);

// The largest --keep; more would be a slip of the keyboard.
inline constexpr int kMaxKeep = 9999;

} // namespace movan
