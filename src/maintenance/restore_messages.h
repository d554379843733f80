#pragma once

// What the restore tells the user, and the two ways it tells it.

#include <QString>

class QWidget;

namespace movan {

inline const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
inline const QString kRestoreFailed = QStringLiteral("اشکال در باز گرداندن اطلاعات ...");

// The program's own sentences around the fixed texts.
inline const QString kChecking = QStringLiteral("در حال بررسی نسخه پشتیبان ...");
inline const QString kRestoring = QStringLiteral("در حال بازگرداندن اطلاعات ...");
inline const QString kSetDescription = QStringLiteral(
    "آخرین نسخه این فایل، پشتیبان بانک «%1» در تاریخ %2، جایگزین بانک «%3» می‌شود.");
inline const QString kTargetNotCopied = QStringLiteral(
    "بانک فعلی «%1» در حالت %2 است و سرور از آن نسخه ایمنی نمی‌گیرد؛ آنچه از آن مانده جایگزین می‌شود.");
inline const QString kNothingChanged = QStringLiteral("هیچ تغییری در بانک‌ها داده نشد.");
inline const QString kNoServer = QStringLiteral("ارتباط با سرور برقرار نشد یا سرور پرسش را نپذیرفت.");
inline const QString kNoDatabaseSet = QStringLiteral("این فایل نسخه پشتیبانی از یک بانک کامل ندارد.");
inline const QString kWrongLogicalFiles = QStringLiteral(
    "این نسخه پشتیبان فایل‌های %1 و %2 را که بازگرداندن به آن‌ها نیاز دارد، ندارد.");
inline const QString kDamagedSet = QStringLiteral(
    "این نسخه پشتیبان سالم نیست و به طور کامل خوانده نمی‌شود.");
inline const QString kSetNotVerified = QStringLiteral(
    "سرور نتوانست این نسخه پشتیبان را تا پایان بخواند و بررسی کند؛ سالم بودن آن معلوم نیست. پس از برقراری ارتباط با سرور دوباره بکوشید.");
inline const QString kOwnedByOther = QStringLiteral(
    "فایل %1 از آنِ بانک «%2» است؛ بازگرداندن روی آن، آن بانک را از بین می‌برد. بانک «%2» را جابه‌جا کنید یا بانک دیگری را برگزینید.");
inline const QString kStrayFile = QStringLiteral(
    "فایل %1 هست ولی از آنِ هیچ بانکی روی سرور نیست (شاید بانکی جداشده یا نسخه‌ای جامانده). بازگرداندن آن را بازنویسی می‌کرد؛ آن را جابه‌جا کنید و دوباره بکوشید.");
inline const QString kCannotWriteData = QStringLiteral(
    "سرور نتوانست در پوشه %1 فایل بسازد (پیش از حذف بانک فعلی، یک نسخه ایمنی از آن همان‌جا گرفته می‌شود). مدیر سیستم باید به حساب سرویس SQL Server اجازه نوشتن در این پوشه را بدهد.");
inline const QString kDiskFull = QStringLiteral(
    "دیسک پوشه %1 پر است: %2 مگابایت جای خالی دارد و نسخه ایمنی بانک فعلی حدود %3 مگابایت جا می‌خواهد. جا باز کنید و دوباره بکوشید.");
inline const QString kSafetyCopyUnknown = QStringLiteral(
    "معلوم نشد سرور نسخه ایمنی بانک فعلی را کامل نوشت یا نه، پس بازگرداندن آغاز نشد. فایل %1 اگر مانده باشد، دست نخورده است.");
inline const QString kSafetyCopyNotVerified
    = QStringLiteral("نسخه ایمنی بانک فعلی (%1) سالم خوانده نشد، پس بازگرداندن آغاز نشد.");
inline const QString kJournalNotWritten = QStringLiteral(
    "برنامه نتوانست گزارش گام‌های بازگرداندن را در %1 بنویسد؛ بی آن، اگر کار نیمه‌تمام بماند، راه بازگشت معلوم نیست.");
inline const QString kNotDropped = QStringLiteral("سرور بانک «%1» را حذف نکرد؛ بانک بدون تغییر سر جای خود است.");
inline const QString kDropUnknown = QStringLiteral(
    "پاسخ سرور به حذف بانک «%1» نرسید و سرور دیگر پاسخ نمی‌دهد؛ معلوم نیست بانک حذف شده یا نه. نسخه ایمنی آن در فایل %2 است؛ برنامه در اجرای بعدی وضعیت را از سرور می‌پرسد.");
inline const QString kBroughtBack = QStringLiteral(
    "بانک «%1» همان‌گونه که پیش از بازگرداندن بود، سر جای خود برگردانده شد.");
inline const QString kNotBroughtBack = QStringLiteral(
    "بانک «%1» برگردانده نشد. نسخه ایمنی آن در فایل %2 نگه داشته شده است؛ برنامه در اجرای بعدی، پس از برقراری ارتباط با سرور، بازگرداندن آن را پیشنهاد می‌کند.");
inline const QString kRestoreUnknown = QStringLiteral(
    "پاسخ سرور به بازگرداندن نرسید و معلوم نیست بانک «%1» اکنون چه دارد. وضعیت آن را در سرور بررسی کنید.");
inline const QString kRestoreUnknownWithCopy = QStringLiteral(
    "پاسخ سرور به بازگرداندن نرسید و معلوم نیست بانک «%1» اکنون چه دارد. نسخه ایمنی بانک پیشین در فایل %2 نگه داشته شده است؛ برنامه در اجرای بعدی وضعیت را از سرور می‌پرسد.");

// The restore's outcomes are told in Qt's plain message box (the program's
// title, one OK button), not in the program's own message dialog the rest of
// the window uses: users know these outcomes by that look. The server's own
// words go to the details.
void showRestoreMessage(QWidget &window, const QString &text, const QString &details = QString());
// The fixed failure text, then why.
void showRestoreFailure(QWidget &window, const QString &why, const QString &details = QString());

} // namespace movan
