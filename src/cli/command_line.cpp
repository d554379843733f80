#include "cli/command_line.h"

#include <QMap>

namespace movan {

namespace {

const QString kBackup = QStringLiteral("--backup");
const QString kTo = QStringLiteral("--to");
const QString kKeep = QStringLiteral("--keep");
const QString kNoVerify = QStringLiteral("--no-verify");
const QString kListSets = QStringLiteral("--list-sets");
const QString kHelp = QStringLiteral("--help");

bool takesValue(const QString &option)
{
    return option == kBackup || option == kTo || option == kKeep || option == kListSets;
}

bool isFlag(const QString &option)
{
    return option == kNoVerify || option == kHelp;
}

// The name becomes part of a file name in the backup folder: a separator
// would put the file elsewhere, a control character would spoil the journal.
bool fitsInFileName(const QString &name)
{
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 32 || c.unicode() == 127)
            return false;
    return name != QStringLiteral(".") && name != QStringLiteral("..");
}

} // namespace

bool commandLineAsked(const QStringList &arguments)
{
    for (const QString &argument : arguments)
        if (argument.startsWith(QStringLiteral("--")))
            return true;
    return false;
}

CommandLineRequest parseCommandLine(const QStringList &arguments)
{
    QMap<QString, QString> values;
    QStringList seen;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString option = arguments[i];
        std::optional<QString> value;
        if (!option.startsWith(QStringLiteral("--")))
            return UsageProblem{UsageProblem::StrayArgument, option};
        if (const qsizetype equals = option.indexOf(u'='); equals > 0) {
            value = option.mid(equals + 1);
            option.truncate(equals);
        }
        if (!takesValue(option) && !isFlag(option))
            return UsageProblem{UsageProblem::UnknownOption, option};
        if (seen.contains(option))
            return UsageProblem{UsageProblem::Repeated, option};
        seen.append(option);
        if (isFlag(option)) {
            if (value)
                return UsageProblem{UsageProblem::StrayArgument, arguments[i]};
            continue;
        }
        if (!value) {
            // "--backup --to X" lacks the database rather than naming "--to".
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QStringLiteral("--")))
                return UsageProblem{UsageProblem::MissingValue, option};
            value = arguments[++i];
        }
        values.insert(option, *value);
    }

    if (seen.contains(kHelp))
        return HelpRequest{};
    const bool backup = seen.contains(kBackup);
    const bool listSets = seen.contains(kListSets);
    if (backup && listSets)
        return UsageProblem{UsageProblem::TwoActions, {}};
    if (!backup) {
        for (const QString &option : {kTo, kKeep, kNoVerify})
            if (seen.contains(option))
                return UsageProblem{UsageProblem::OptionWithoutBackup, option};
        if (!listSets)
            return UsageProblem{UsageProblem::NoAction, {}};
        if (values.value(kListSets).isEmpty())
            return UsageProblem{UsageProblem::MissingValue, kListSets};
        return ListSetsRequest{values.value(kListSets)};
    }

    BackupRequest request;
    request.database = values.value(kBackup).trimmed();
    if (request.database.isEmpty())
        return UsageProblem{UsageProblem::EmptyDatabaseName, {}};
    if (!fitsInFileName(request.database))
        return UsageProblem{UsageProblem::BadDatabaseName, request.database};
    request.folder = values.value(kTo);
    if (seen.contains(kTo) && request.folder.isEmpty())
        return UsageProblem{UsageProblem::MissingValue, kTo};
    request.verify = !seen.contains(kNoVerify);
    if (seen.contains(kKeep)) {
        const QString text = values.value(kKeep);
        bool ok = false;
        const int keep = text.toInt(&ok);
        if (!ok || keep < 1 || keep > kMaxKeep || text.startsWith(u'+'))
            return UsageProblem{UsageProblem::BadKeep, text};
        // Old backups go only once the new one has been read back whole.
        if (!request.verify)
            return UsageProblem{UsageProblem::KeepWithoutVerify, {}};
        request.keep = keep;
    }
    return request;
}

} // namespace movan
