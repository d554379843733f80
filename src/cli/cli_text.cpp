#include "cli/cli_text.h"

#include <cstdlib>

namespace movan {

namespace {

QString pick(CliLanguage language, const QString &english, const QString &persian)
{
    return language == CliLanguage::Persian ? persian : english;
}

} // namespace

CliLanguage languageFromEnvironment(const std::function<QString(const char *)> &variable)
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = variable(name);
        if (!value.isEmpty())
            return value.startsWith(QStringLiteral("fa")) ? CliLanguage::Persian : CliLanguage::English;
    }
    return CliLanguage::English;
}

CliLanguage languageFromEnvironment()
{
    return languageFromEnvironment([](const char *name) { return QString::fromLocal8Bit(std::getenv(name)); });
}

namespace CliText {

QString usage(CliLanguage language)
{
    return pick(language,
                QStringLiteral("usage: movan-config --backup DATABASE [--to FOLDER] [--keep N] [--no-verify]"
                               " | --list-sets FILE | --help"),
                QStringLiteral("کاربرد: movan-config --backup DATABASE [--to FOLDER] [--keep N] [--no-verify]"
                               " | --list-sets FILE | --help"));
}

QString usageProblem(CliLanguage language, const UsageProblem &problem)
{
    const QString &a = problem.argument;
    switch (problem.kind) {
    case UsageProblem::UnknownOption:
        return pick(language, QStringLiteral("unknown option %1").arg(a), QStringLiteral("گزینه ناشناخته %1").arg(a));
    case UsageProblem::MissingValue:
        return pick(language, QStringLiteral("%1 needs a value").arg(a),
                    QStringLiteral("گزینه %1 مقدار می‌خواهد").arg(a));
    case UsageProblem::Repeated:
        return pick(language, QStringLiteral("%1 is given twice").arg(a),
                    QStringLiteral("گزینه %1 دو بار آمده است").arg(a));
    case UsageProblem::BadKeep:
        return pick(
            language,
            QStringLiteral("--keep takes a whole number from 1 to %1, not \"%2\"").arg(QString::number(kMaxKeep), a),
            QStringLiteral("--keep عددی درست از 1 تا %1 می‌خواهد، نه \"%2\"")
                .arg(QString::number(kMaxKeep), a));
    case UsageProblem::BadDatabaseName:
        return pick(
            language, QStringLiteral("the database name \"%1\" cannot be part of a file name").arg(a),
            QStringLiteral("نام بانک \"%1\" نمی‌تواند بخشی از نام پرونده باشد")
                .arg(a));
    case UsageProblem::EmptyDatabaseName:
        return pick(language, QStringLiteral("the database name is empty"), QStringLiteral("نام بانک خالی است"));
    case UsageProblem::OptionWithoutBackup:
        return pick(language, QStringLiteral("%1 goes with --backup").arg(a),
                    QStringLiteral("گزینه %1 تنها همراه --backup می‌آید").arg(a));
    case UsageProblem::KeepWithoutVerify:
        return pick(
            language,
            QStringLiteral("--keep removes old backups only after the new one verifies; it cannot go with "
                           "--no-verify"),
            QStringLiteral(
                "--keep پشتیبان‌های قدیمی را تنها پس از وارسی پشتیبان تازه پاک می‌کند و با "
                "--no-verify نمی‌آید"));
    case UsageProblem::TwoActions:
        return pick(language, QStringLiteral("give --backup or --list-sets, not both"),
                    QStringLiteral("یکی از --backup یا --list-sets را بدهید، نه هر دو"));
    case UsageProblem::NoAction:
        return pick(language, QStringLiteral("give --backup or --list-sets"),
                    QStringLiteral("یکی از --backup یا --list-sets را بدهید"));
    case UsageProblem::StrayArgument:
        return pick(language, QStringLiteral("unexpected argument \"%1\"").arg(a),
                    QStringLiteral("آرگومان نابجا \"%1\"").arg(a));
    }
    return usage(language);
}

QString progressLabel(CliLanguage language, const QString &database)
{
    return pick(language, QStringLiteral("backup of %1").arg(database),
                QStringLiteral("پشتیبان‌گیری از %1").arg(database));
}

QString progressLine(CliLanguage language, const QString &database, int percent)
{
    // One pass each: a name may hold "%2" itself.
    const QString value = QString::number(percent);
    return pick(language, QStringLiteral("backup of %1: %2 percent processed").arg(database, value),
                QStringLiteral("پشتیبان‌گیری از %1: %2 درصد انجام شد").arg(database, value));
}

QString backupDone(CliLanguage language, const QString &database, const QString &path, bool verified)
{
    if (verified)
        return pick(language, QStringLiteral("backup of %1 written to %2 and verified").arg(database, path),
                    QStringLiteral("پشتیبان %1 در %2 نوشته و وارسی شد").arg(database, path));
    return pick(language, QStringLiteral("backup of %1 written to %2 (not verified)").arg(database, path),
                QStringLiteral("پشتیبان %1 در %2 نوشته شد (وارسی نشد)").arg(database, path));
}

QString oldBackupRemoved(CliLanguage language, const QString &path)
{
    return pick(language, QStringLiteral("old backup %1 removed").arg(path),
                QStringLiteral("پشتیبان قدیمی %1 پاک شد").arg(path));
}

QString oldBackupKept(CliLanguage language, const QString &path, const QString &reason)
{
    return pick(language, QStringLiteral("old backup %1 could not be removed: %2").arg(path, reason),
                QStringLiteral("پشتیبان قدیمی %1 پاک نشد: %2").arg(path, reason));
}

QString settingsMissing(CliLanguage language, const QString &settingsPath)
{
    return pick(language, QStringLiteral("no Kerberos ticket, and no SQL Server login saved in %1").arg(settingsPath),
                QStringLiteral("بلیت Kerberos در دست نیست و ورود SQL Server در %1 ذخیره نشده است").arg(settingsPath));
}

QString settingsFileMissing(CliLanguage language, const QString &settingsPath)
{
    return pick(language,
                QStringLiteral("the settings file %1 does not exist: save the connection settings in the setup window "
                               "first")
                    .arg(settingsPath),
                QStringLiteral("پرونده تنظیمات %1 نیست: نخست تنظیمات اتصال را در پنجره تنظیمات اتصال ذخیره کنید")
                    .arg(settingsPath));
}

QString serverUnreachable(CliLanguage language, const QString &reason)
{
    return pick(language, QStringLiteral("cannot connect to SQL Server: %1").arg(reason),
                QStringLiteral("اتصال به SQL Server برقرار نشد: %1").arg(reason));
}

QString backupRefused(CliLanguage language, const QString &database, const QString &reason)
{
    return pick(
        language, QStringLiteral("the server refused the backup of %1: %2").arg(database, reason),
        QStringLiteral("سرور پشتیبان‌گیری از %1 را نپذیرفت: %2").arg(database, reason));
}

QString verifyFailedRemoved(CliLanguage language, const QString &database, const QString &path, const QString &reason)
{
    return pick(
        language,
        QStringLiteral("the backup of %1 in %2 did not verify and the file was removed: %3")
            .arg(database, path, reason),
        QStringLiteral(
            "پشتیبان %1 در %2 در وارسی درست درنیامد و پرونده‌اش پاک شد: %3")
            .arg(database, path, reason));
}

QString verifyFailedKept(CliLanguage language, const QString &database, const QString &path, const QString &reason)
{
    return pick(
        language,
        QStringLiteral("the backup of %1 in %2 did not verify; the file holds earlier backups and was kept: %3")
            .arg(database, path, reason),
        QStringLiteral(
            "پشتیبان %1 در %2 در وارسی درست درنیامد؛ پرونده پشتیبان‌های پیشین را هم دارد و نگه داشته "
            "شد: %3")
            .arg(database, path, reason));
}

QString backupNotVerified(CliLanguage language, const QString &database, const QString &path, const QString &reason)
{
    return pick(
        language,
        QStringLiteral("the backup of %1 was written to %2 but not verified: the read-back could not run; the file "
                       "was kept: %3")
            .arg(database, path, reason),
        QStringLiteral(
            "پشتیبان %1 در %2 نوشته شد اما وارسی نشد: وارسی انجام‌شدنی نبود؛ پرونده نگه "
            "داشته شد: %3")
            .arg(database, path, reason));
}

QString verificationNotRecorded(CliLanguage language, const QString &record, const QString &reason)
{
    return pick(language,
                QStringLiteral("the verification could not be noted in %1, so --keep will not count this backup: %2")
                    .arg(record, reason),
                QStringLiteral(
                    "وارسی در %1 ثبت نشد، پس --keep این پشتیبان را نمی‌شمارد: %2")
                    .arg(record, reason));
}

QString replyLostDone(CliLanguage language, const QString &database, const QString &path)
{
    return pick(
        language,
        QStringLiteral("the server's reply to the backup of %1 was lost; asked again, it says the backup is "
                       "in %2")
            .arg(database, path),
        QStringLiteral(
            "پاسخ سرور به پشتیبان‌گیری از %1 نرسید؛ به پرسش دوباره می‌گوید پشتیبان در "
            "%2 هست")
            .arg(database, path));
}

QString replyLostNotDone(CliLanguage language, const QString &database, const QString &path, const QString &reason)
{
    return pick(language,
                QStringLiteral("the backup of %1 was not written to %2: the server's reply was lost, and asked again "
                               "it holds no such backup: %3")
                    .arg(database, path, reason),
                QStringLiteral("پشتیبان %1 در %2 نوشته نشد: پاسخ سرور نرسید و به پرسش دوباره چنین "
                               "پشتیبانی ندارد: %3")
                    .arg(database, path, reason));
}

QString outcomeUnknown(CliLanguage language, const QString &database, const QString &path, const QString &reason)
{
    return pick(language,
                QStringLiteral("it is not known whether the backup of %1 was written to %2: the server's reply was "
                               "lost and the server could not be asked; nothing was removed: %3")
                    .arg(database, path, reason),
                QStringLiteral("معلوم نیست پشتیبان %1 در %2 نوشته شد یا نه: پاسخ سرور نرسید و از سرور "
                               "نمی‌شد پرسید؛ چیزی پاک نشد: %3")
                    .arg(database, path, reason));
}

QString oldBackupUnverified(CliLanguage language, const QString &path)
{
    return pick(language,
                QStringLiteral("old backup %1 kept: it was never verified, so --keep does not count it").arg(path),
                QStringLiteral("پشتیبان قدیمی %1 نگه داشته شد: هرگز وارسی نشده است و --keep آن را "
                               "نمی‌شمارد")
                    .arg(path));
}

QString folderNotWritable(CliLanguage language, const QString &folder, const QString &reason)
{
    return pick(language, QStringLiteral("cannot write to the folder %1: %2").arg(folder, reason),
                QStringLiteral("در پوشه %1 نمی‌توان نوشت: %2").arg(folder, reason));
}

QString fileNotRead(CliLanguage language, const QString &file, const QString &reason)
{
    return pick(language, QStringLiteral("the server could not read the backup file %1: %2").arg(file, reason),
                QStringLiteral("سرور پرونده پشتیبان %1 را نخواند: %2").arg(file, reason));
}

QString listHeader(CliLanguage language)
{
    return pick(language, QStringLiteral("position\tdatabase\tdate\tsize"), QStringLiteral("شماره\tبانک\tتاریخ\tحجم"));
}

QString unexpectedFailure(CliLanguage language, const QString &reason)
{
    return pick(language, QStringLiteral("failed: %1").arg(reason), QStringLiteral("ناموفق: %1").arg(reason));
}

} // namespace CliText

} // namespace movan
