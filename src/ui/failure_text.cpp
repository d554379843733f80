#include "ui/failure_text.h"

#include "platform/database_error.h"

#include <array>

namespace movan {

namespace {

// Server and client-library numbers the user can act upon.
constexpr int kLoginFailed = 18456;
constexpr int kCannotOpenDatabase = 4060;
constexpr std::array kServerUnreachable{20009, 20002, 20012};
constexpr int kTimedOut = 20003;

const QString kLoginRefused = QStringLiteral(
    "SQL Server ورود را نپذیرفت. نام کاربر و کلمه عبور را در پنجره تنظیمات اتصال بررسی کنید و دوباره تأیید کنید.");
const QString kDatabaseNotOpened = QStringLiteral(
    "SQL Server بانک اطلاعاتی خواسته‌شده را باز نکرد. نام بانک اطلاعاتی را در پنجره تنظیمات اتصال بررسی کنید.");
const QString kUnreachable = QStringLiteral(
    "SQL Server در دسترس نیست. نام سرور را در پنجره تنظیمات اتصال بررسی کنید و مطمئن شوید که سرویس SQL Server در "
    "حال اجراست.");
const QString kNoAnswer = QStringLiteral(
    "SQL Server در زمان مقرر پاسخ نداد. کمی بعد دوباره امتحان کنید؛ اگر تکرار شد، وضعیت سرور را بررسی کنید.");
const QString kKerberos = QStringLiteral(
    "ورود با اعتبار ویندوز (Kerberos) ممکن نشد: بلیت Kerberos معتبری برای این کاربر در دست نیست یا سرور را "
    "نمی‌شناسد. با kinit بلیت تازه بگیرید، یا در پنجره تنظیمات اتصال ورود با کاربر SQL Server را انتخاب کنید.");
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
    {u"Windows authentication (Kerberos)", &kKerberos},
    {u"The connection string", &kBadConnectionString},
    {u"The provider \"", &kBadConnectionString},
    {u"The server \"", &kBadConnectionString},
    {u"The server name ends with", &kBadConnectionString},
    {u"The packet size", &kBadConnectionString},
    {u"The backup set holds no logical files", &kNotRestorable},
};

} // namespace

QString kerberosUnavailableText()
{
    return kKerberos;
}

FailureNotice describeFailureText(const QString &text, int serverNumber)
{
    if (hasRightToLeftLetter(text))
        return {text, QString()};
    const QString trimmed = text.trimmed();
    if (serverNumber == kLoginFailed)
        return {kLoginRefused, trimmed};
    if (serverNumber == kCannotOpenDatabase)
        return {kDatabaseNotOpened, trimmed};
    if (serverNumber == kTimedOut)
        return {kNoAnswer, trimmed};
    for (int number : kServerUnreachable) {
        if (serverNumber == number)
            return {kUnreachable, trimmed};
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
        return describeFailureText(database->message(), database->number());
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        return describeFailureText(appError->message());
    return describeFailureText(QString::fromUtf8(error.what()));
}

} // namespace movan
