#include "cli/cli_text.h"
#include "cli/command_line.h"

#include <QMap>

#include <gtest/gtest.h>

using namespace movan;

namespace {

CommandLineRequest parse(const char *line)
{
    return parseCommandLine(QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts));
}

} // namespace

TEST(CommandLine, OnlyDoubleDashArgumentsLeaveTheWindows)
{
    EXPECT_FALSE(commandLineAsked(QStringList{}));
    EXPECT_FALSE(commandLineAsked(QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")}));
    EXPECT_TRUE(commandLineAsked(QStringList{QStringLiteral("x"), QStringLiteral("--help")}));
}

TEST(CommandLine, BackupOptions)
{
    const struct {
        const char *line;
        QString database;
        QString folder;
        int keep;
        bool verify;
    } cases[] = {
        {"--backup Tarnel", "Tarnel", "", 0, true},
        {"--backup=Tarnel --to /srv/b --keep 7", "Tarnel", "/srv/b", 7, true},
        {"--keep=1 --to=rel --backup Tarnel", "Tarnel", "rel", 1, true},
        {"--backup Tarnel --no-verify", "Tarnel", "", 0, false},
        {"--backup=a=b", "a=b", "", 0, true},
    };
    for (const auto &c : cases) {
        const auto request = parse(c.line);
        const auto *backup = std::get_if<BackupRequest>(&request);
        ASSERT_TRUE(backup) << c.line;
        EXPECT_EQ(backup->database, c.database) << c.line;
        EXPECT_EQ(backup->folder, c.folder) << c.line;
        EXPECT_EQ(backup->keep, c.keep) << c.line;
        EXPECT_EQ(backup->verify, c.verify) << c.line;
    }
    // A name given in quotes with blanks around it is the name without them.
    const auto padded = parseCommandLine({QStringLiteral("--backup"), QStringLiteral("  Tarnel ")});
    ASSERT_TRUE(std::holds_alternative<BackupRequest>(padded));
    EXPECT_EQ(std::get<BackupRequest>(padded).database, QStringLiteral("Tarnel"));

    const auto list = parse("--list-sets /srv/b/Tarnel.Bak");
    ASSERT_TRUE(std::holds_alternative<ListSetsRequest>(list));
    EXPECT_EQ(std::get<ListSetsRequest>(list).file, QStringLiteral("/srv/b/Tarnel.Bak"));
    EXPECT_TRUE(std::holds_alternative<HelpRequest>(parse("--backup Tarnel --help")));
}

TEST(CommandLine, RefusedLines)
{
    const struct {
        const char *line;
        UsageProblem::Kind kind;
    } cases[] = {
        {"--backup", UsageProblem::MissingValue},
        {"--backup --to /srv", UsageProblem::MissingValue},
        {"--backup=", UsageProblem::EmptyDatabaseName},
        {"--backup ../etc/x", UsageProblem::BadDatabaseName},
        {"--backup a\\b", UsageProblem::BadDatabaseName},
        {"--backup ..", UsageProblem::BadDatabaseName},
        {"--backup Tarnel --keep 0", UsageProblem::BadKeep},
        {"--backup Tarnel --keep -3", UsageProblem::BadKeep},
        {"--backup Tarnel --keep=-3", UsageProblem::BadKeep},
        {"--backup Tarnel --keep +3", UsageProblem::BadKeep},
        {"--backup Tarnel --keep 3x", UsageProblem::BadKeep},
        {"--backup Tarnel --keep 10000", UsageProblem::BadKeep},
        {"--backup Tarnel --keep 2 --no-verify", UsageProblem::KeepWithoutVerify},
        {"--backup Tarnel --backup Movan", UsageProblem::Repeated},
        {"--backup Tarnel --list-sets f.Bak", UsageProblem::TwoActions},
        {"--to /srv", UsageProblem::OptionWithoutBackup},
        {"--list-sets f.Bak --keep 2", UsageProblem::OptionWithoutBackup},
        {"--no-verify", UsageProblem::OptionWithoutBackup},
        {"--verify", UsageProblem::UnknownOption},
        {"--backup Tarnel extra", UsageProblem::StrayArgument},
        {"--no-verify=yes --backup Tarnel", UsageProblem::StrayArgument},
    };
    for (const auto &c : cases) {
        const auto request = parse(c.line);
        const auto *problem = std::get_if<UsageProblem>(&request);
        ASSERT_TRUE(problem) << c.line;
        EXPECT_EQ(problem->kind, c.kind) << c.line;
        EXPECT_FALSE(CliText::usageProblem(CliLanguage::English, *problem).contains(u'\n')) << c.line;
    }
    const auto control = parseCommandLine({QStringLiteral("--backup"), QStringLiteral("Tar\nnel")});
    ASSERT_TRUE(std::holds_alternative<UsageProblem>(control));
    EXPECT_EQ(std::get<UsageProblem>(control).kind, UsageProblem::BadDatabaseName);
}

TEST(CliLanguage, ByTheFirstLocaleVariableSet)
{
    const struct {
        QMap<QString, QString> environment;
        CliLanguage expected;
    } cases[] = {
        {{}, CliLanguage::English},
        {{{"LANG", "fa_IR.UTF-8"}}, CliLanguage::Persian},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "fa_IR"}}, CliLanguage::Persian},
        {{{"LANG", "fa_IR.UTF-8"}, {"LC_MESSAGES", "C"}}, CliLanguage::English},
        {{{"LANG", "fa_IR.UTF-8"}, {"LC_MESSAGES", ""}}, CliLanguage::Persian},
        {{{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "fa_IR"}}, CliLanguage::English},
        {{{"LANG", "fr_FR.UTF-8"}}, CliLanguage::English},
    };
    for (const auto &c : cases) {
        const auto language
            = languageFromEnvironment([&](const char *name) { return c.environment.value(QString::fromLatin1(name)); });
        EXPECT_EQ(language, c.expected) << c.environment.keys().join(u',').toStdString();
    }
}
