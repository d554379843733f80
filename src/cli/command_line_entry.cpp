#include "cli/command_line_entry.h"

#include "cli/backup_command.h"
#include "cli/command_line.h"
#include "platform/executable_path.h"
#include "platform/freetds_session.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <unistd.h>

namespace movan {

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void write(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

CliOutput standardOutput()
{
    CliOutput output;
    output.language = languageFromEnvironment();
    output.terminal = ::isatty(STDERR_FILENO) == 1;
    output.message = [](const QString &line) { write(stderr, line + u'\n'); };
    output.progress = [](const QString &text) { write(stderr, text); };
    output.data = [](const QString &text) { write(stdout, text); };
    return output;
}

ExitCode run(const CommandLineRequest &request, const CliOutput &output)
{
    if (const auto *backup = std::get_if<BackupRequest>(&request))
        return runBackup(*backup, output, QDateTime::currentDateTime());
    if (const auto *list = std::get_if<ListSetsRequest>(&request))
        return runListSets(*list, output);
    if (std::holds_alternative<HelpRequest>(request)) {
        output.data(CliText::usage(output.language) + u'\n');
        return ExitCode::Done;
    }
    const auto &problem = std::get<UsageProblem>(request);
    output.message(CliText::usageProblem(output.language, problem));
    output.message(CliText::usage(output.language));
    return ExitCode::BadUsage;
}

} // namespace

bool commandLineAsked(int argc, char **argv)
{
    return commandLineAsked(argumentsOf(argc, argv));
}

int runCommandLine(int argc, char **argv)
{
    // Qt sees only the program's path: the options are the command line's.
    int qtArgc = argc > 0 ? 1 : 0;
    char *qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QCoreApplication application(qtArgc, qtArgv);
    executableDirectory();
    const CliOutput output = standardOutput();
    ExitCode code = ExitCode::Failed;
    try {
        code = run(parseCommandLine(argumentsOf(argc, argv)), output);
    } catch (const std::exception &error) {
        output.message(CliText::unexpectedFailure(output.language, QString::fromUtf8(error.what())));
    }
    FreeTdsSession::finalizeLibrary();
    return static_cast<int>(code);
}

} // namespace movan
