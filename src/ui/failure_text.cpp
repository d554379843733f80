#include "ui/failure_text.h"

#include "platform/database_error.h"
#include "util/isolated_text.h"

#include <QRegularExpression>

#include <array>

namespace movan {

namespace {

// Server and client-library numbers the user can act upon.
constexpr int kLoginFailed = 18456;
constexpr int kCannotOpenDatabase = 4060;
constexpr std::array kServerUnreachable{20009, 20002, 20012};
constexpr int kTimedOut = 20003;
constexpr int kBackupWriteFailed = 3202;

const QString kLoginRefused = QStringLiteral(
    "SQL Server ورود را نپذیرفت. نام کاربر و کلمه عبور را در پنجره تنظیمات اتصال بررسی کنید و دوباره تأیید کنید.");
const QString kDatabaseNotOpened = QStringLiteral(
    "SQL Server بانک اطلاعاتی خواسته‌شده را باز نکرد. نام بانک اطلاعاتی را در پنجره تنظیمات اتصال بررسی کنید.");
const QString kUnreachable = QStringLiteral(
    "SQL Server در دسترس نیست. نام سرور را در پنجره تنظیمات اتصال بررسی کنید و مطمئن شوید که سرویس SQL Server در "
    "حال اجراست.");
const QString kUnreachableAt = QStringLiteral(
    "SQL Server در نشانی %1 پاسخ نمی‌دهد: سرور خاموش است، سرویس SQL Server روی آن اجرا نمی‌شود یا نشانی درست نیست. "
    "سرویس را روشن کنید یا نام سرور را در پنجره تنظیمات اتصال درست کنید و دوباره امتحان کنید.");
const QString kNoAnswer = QStringLiteral(
    "SQL Server در زمان مقرر پاسخ نداد. کمی بعد دوباره امتحان کنید؛ اگر تکرار شد، وضعیت سرور را بررسی کنید.");
const QString kKerberos = QStringLiteral(
    "ورود با اعتبار ویندوز (Kerberos) ممکن نشد: بلیت Kerberos معتبری برای این کاربر در دست نیست یا سرور را "
    "نمی‌شناسد. با kinit بلیت تازه بگیرید، یا در پنجره تنظیمات اتصال ورود با کاربر SQL Server را انتخاب کنید.");
const QString kNoTicket = QStringLiteral(
    "ورود با اعتبار ویندوز (Kerberos) ممکن نشد: بلیت Kerberos ندارید یا بلیت شما منقضی شده است. یک بار از راه "
    "دامنه وارد سیستم شوید، یا در پایانه با دستور kinit بلیت تازه بگیرید و دوباره امتحان کنید؛ یا در پنجره تنظیمات "
    "اتصال ورود با کاربر SQL Server را برگزینید.");
const QString kNoTicketFor = QStringLiteral(
    "ورود با اعتبار ویندوز (Kerberos) ممکن نشد: برای ورود به %1 بلیت Kerberos لازم است و بلیتی ندارید یا بلیت شما "
    "منقضی شده است. یک بار از راه دامنه وارد سیستم شوید، یا در پایانه با دستور kinit بلیت تازه بگیرید و دوباره "
    "امتحان کنید؛ یا در پنجره تنظیمات اتصال ورود با کاربر SQL Server را برگزینید.");
const QString kDiskFull = QStringLiteral(
    "دیسکی که پرونده پشتیبان روی آن نوشته می‌شود پر است و پرونده کامل نوشته نشد. روی آن دیسک جا باز کنید یا "
    "پرونده را در پوشه‌ای روی دیسک دیگری بسازید و دوباره پشتیبان بگیرید.");
const QString kNoSettingsFile = QStringLiteral(
    "پرونده تنظیمات InitPrg.ini کنار برنامه نیست. در پنجره تنظیمات اتصال تنظیمات را وارد و تأیید کنید تا ساخته "
    "شود.");
const QString kBadConnectionString = QStringLiteral(
    "تنظیمات اتصال کامل یا درست نیست. نام سرور و نحوه ورود را در پنجره تنظیمات اتصال دوباره وارد و تأیید کنید.");
const QString kNotRestorable = QStringLiteral(
    "این فایل پشتیبان فایل‌های Data_Data و Data_log را که بازگرداندن به آن‌ها نیاز دارد در خود ندارد. فایل "
    "پشتیبانی را انتخاب کنید که با همین برنامه تهیه شده است.");
const QString kGeneral = QStringLiteral(
    "کار با خطا متوقف شد. دوباره امتحان کنید؛ اگر تکرار شد، متن جزئیات را به پشتیبانی نرم‌افزار بدهید.");

bool hasRightToLeftLetter(const QString &text)
{
    for (const QChar c : text) {
        if (c.direction() == QChar::DirR || c.direction() == QChar::DirAL)
            return true;
    }
    return false;
}

// The program's own English texts, by how they begin.
struct KnownText {
    const char16_t *start;
    const QString *sentence;
};

const KnownText kKnownTexts[] = {
    {u"The settings file", &kNoSettingsFile},
    {u"The connection string", &kBadConnectionString},
    {u"The provider \"", &kBadConnectionString},
    {u"The server \"", &kBadConnectionString},
    {u"The server name ends with", &kBadConnectionString},
    {u"The packet size", &kBadConnectionString},
    {u"The backup set holds no logical files", &kNotRestorable},
};

// A disk that is full, in the words of the server (on Windows and on
// Linux) or of this system.
bool speaksOfAFullDisk(const QString &text, int serverNumber)
{
    if (text.contains(QLatin1String("No space left on device")) || text.contains(QLatin1String("ENOSPC")))
        return true;
    return serverNumber == kBackupWriteFailed
        && (text.contains(QLatin1String("112(")) || text.contains(QLatin1String("not enough space")));
}

// Kerberos's own words for a missing or expired ticket, and the service the
// ticket was wanted for.
FailureNotice describeKerberos(const QString &text)
{
    static const QRegularExpression noTicket(
        QStringLiteral("No Kerberos credentials|No credentials cache|credentials cache .* not found|expired"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression service(QStringLiteral("MSSQLSvc/\\S+"));
    if (!noTicket.match(text).hasMatch())
        return {kKerberos, text};
    const QRegularExpressionMatch named = service.match(text);
    if (!named.hasMatch())
        return {kNoTicket, text};
    return {kNoTicketFor.arg(leftToRightIsolate(named.captured())), text};
}

} // namespace

QString kerberosUnavailableText()
{
    return kKerberos;
}

FailureNotice describeFailureText(const QString &text, int serverNumber, const QString &server)
{
    if (hasRightToLeftLetter(text))
        return {text, QString()};
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("Windows authentication (Kerberos)")))
        return describeKerberos(trimmed);
    if (speaksOfAFullDisk(trimmed, serverNumber))
        return {kDiskFull, trimmed};
    if (serverNumber == kLoginFailed)
        return {kLoginRefused, trimmed};
    if (serverNumber == kCannotOpenDatabase)
        return {kDatabaseNotOpened, trimmed};
    if (serverNumber == kTimedOut)
        return {kNoAnswer, trimmed};
    for (int number : kServerUnreachable) {
        if (serverNumber == number)
            return {server.isEmpty() ? kUnreachable : kUnreachableAt.arg(leftToRightIsolate(server)), trimmed};
    }
    for (const KnownText &known : kKnownTexts) {
        if (trimmed.startsWith(QStringView(known.start)))
            return {*known.sentence, trimmed};
    }
    return {kGeneral, trimmed};
}

FailureNotice describeFailure(const std::exception &error)
{
    if (const auto *database = dynamic_cast<const DatabaseError *>(&error))
        return describeFailureText(database->message(), database->number(), database->server());
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        return describeFailureText(appError->message());
    return describeFailureText(QString::fromUtf8(error.what()));
}

FailureNotice failureNotice(const QString &fixedText, const FailureNotice &why)
{
    if (why.message.isEmpty() || why.message == fixedText)
        return {fixedText, why.details};
    return {fixedText + u'\n' + why.message, why.details};
}

FailureNotice failureNotice(const QString &fixedText, const std::exception &error)
{
    return failureNotice(fixedText, describeFailure(error));
}

} // namespace movan
