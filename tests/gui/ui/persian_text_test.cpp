// What the program composes around its fixed texts: Qt's own words in
// Persian, failures told in Persian with their own words kept apart, and
// English lines that keep their punctuation inside a right-to-left notice.
#include "platform/database_error.h"
#include "platform/kerberos_check.h"
#include "ui/failure_text.h"
#include "ui/file_dialog_labels.h"
#include "ui/message_dialog.h"
#include "ui/qt_translations.h"

#include "support/modal_dialog_driver.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace movan;

namespace {

bool persian(const QString &text)
{
    for (const QChar c : text)
        if (c.direction() == QChar::DirAL || c.direction() == QChar::DirR)
            return true;
    return false;
}

TEST(QtTranslations, StandardButtonsAndFileDialogsSpeakPersianRightToLeft)
{
    ASSERT_TRUE(installQtPersianTranslations()) << "qtbase_fa.qm not found: install qt6-translations-l10n";
    EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
    for (QAbstractButton *button : box.buttons())
        EXPECT_TRUE(persian(button->text())) << button->text().toStdString();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    auto *name = dialog.findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(persian(name->text())) << name->text().toStdString();
    EXPECT_EQ(dialog.layoutDirection(), Qt::RightToLeft);
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

TEST(FailureText, EnglishFailuresGetAPersianSentenceAndKeepTheirWords)
{
    const struct {
        QString text;
        int number;
        QString startsWith;
    } cases[] = {
        {QStringLiteral("Login failed for user 'sa'."), 18456, QStringLiteral("SQL Server ورود را نپذیرفت")},
        {QStringLiteral("Cannot open database \"Tarnel\" requested by the login."), 4060,
         QStringLiteral("SQL Server بانک اطلاعاتی")},
        {QStringLiteral("Unable to connect: Adaptive Server is unavailable or does not exist"), 20009,
         QStringLiteral("SQL Server در دسترس نیست")},
        {QStringLiteral("Adaptive Server connection timed out"), 20003, QStringLiteral("SQL Server در زمان مقرر")},
        {QStringLiteral("The connection string names no provider."), 0, QStringLiteral("تنظیمات اتصال")},
        {QStringLiteral("The server \"a:b\" is not a server name."), 0, QStringLiteral("تنظیمات اتصال")},
        {QStringLiteral("The backup set holds no logical files Data_Data and Data_log."), 0,
         QStringLiteral("این فایل پشتیبان")},
        {QStringLiteral("Stream write error"), 0, QStringLiteral("کار با خطا متوقف شد")},
    };
    for (const auto &c : cases) {
        const FailureNotice notice = describeFailure(DatabaseError(c.text, c.number));
        EXPECT_TRUE(notice.message.startsWith(c.startsWith)) << c.text.toStdString();
        EXPECT_EQ(notice.details, c.text) << c.text.toStdString();
    }
    // Persian already: shown as it is, nothing beside it.
    const QString persianText = QStringLiteral("خطا در باز کردن فهرست بانک ها");
    EXPECT_EQ(describeFailure(AppError(persianText)).message, persianText);
    EXPECT_TRUE(describeFailure(AppError(persianText)).details.isEmpty());
}

// Failures a user can act upon are named as what they are, with the remedy
// and whatever names the place (a server's address, a Kerberos service);
// the failure's own words stay whole for the details.
TEST(FailureText, FullDisksDownServersAndMissingTicketsAreNamed)
{
    const QString full = QStringLiteral("پر است");
    const QString noTicket = QStringLiteral("منقضی شده");
    DatabaseError down(QStringLiteral("Unable to connect: Adaptive Server is unavailable or does not exist"), 20009);
    down.setServer(QStringLiteral("10.1.2.3:1433"));
    const struct {
        DatabaseError error;
        QStringList says;
    } cases[] = {
        {DatabaseError(QStringLiteral("Write on \"/b/T.Bak\" failed: 112(There is not enough space on the disk.)"),
                       3202),
         {full}},
        {DatabaseError(QStringLiteral("Write on \"/b/T.Bak\" failed: 28(No space left on device)"), 3202), {full}},
        {down, {QStringLiteral("10.1.2.3:1433"), QStringLiteral("پاسخ نمی‌دهد")}},
        {DatabaseError(QStringLiteral("Windows authentication (Kerberos) to MSSQLSvc/db.example:1433 is not possible: "
                                      "No Kerberos credentials available (default cache: FILE:/nonexistent/cache)")),
         {noTicket, QStringLiteral("MSSQLSvc/db.example:1433"), QStringLiteral("kinit"), QStringLiteral("دامنه")}},
        {DatabaseError(QStringLiteral("Windows authentication (Kerberos) to MSSQLSvc/db:1433 is not possible: "
                                      "Ticket expired")),
         {noTicket, QStringLiteral("kinit")}},
        {DatabaseError(QStringLiteral("Windows authentication (Kerberos) to MSSQLSvc/db:1433 is not possible: "
                                      "Server MSSQLSvc/db:1433@EX not found in Kerberos database")),
         {kerberosUnavailableText()}},
        {DatabaseError(QStringLiteral("The settings file /opt/m/InitPrg.ini does not exist.")),
         {QStringLiteral("InitPrg.ini"), QStringLiteral("تنظیمات اتصال")}},
    };
    for (const auto &c : cases) {
        const FailureNotice notice = describeFailure(c.error);
        for (const QString &word : c.says)
            EXPECT_TRUE(notice.message.contains(word))
                << c.error.message().toStdString() << " lacks " << word.toStdString();
        EXPECT_EQ(notice.details, c.error.message());
    }
    // A refused backup on a disk with room is no full disk.
    EXPECT_FALSE(describeFailure(DatabaseError(QStringLiteral("Write on \"x\" failed: 5(Access is denied.)"), 3202))
                     .message.contains(full));
    // Nor is the server's own address named for a failure that is not about
    // reaching it.
    DatabaseError refused(QStringLiteral("Login failed for user 'sa'."), 18456);
    refused.setServer(QStringLiteral("10.1.2.3:1433"));
    EXPECT_FALSE(describeFailure(refused).message.contains(QStringLiteral("10.1.2.3")));
}

// The fixed text stays whole as the notice's first lines; why and what to do
// come below it, the failure's own words in the details.
TEST(FailureText, NoticeKeepsTheFixedTextFirst)
{
    const QString fixed = QStringLiteral("خطا در اتصال با بانک اطلاعاتي ...\r\nدرصورت تمايل ...");
    const FailureNotice notice
        = failureNotice(fixed, DatabaseError(QStringLiteral("Login failed for user 'sa'."), 18456));
    EXPECT_TRUE(notice.message.startsWith(fixed + u'\n')) << notice.message.toStdString();
    EXPECT_TRUE(notice.message.contains(QStringLiteral("ورود را نپذیرفت")));
    EXPECT_EQ(notice.details, QStringLiteral("Login failed for user 'sa'."));
    // A Persian failure is the reason itself; no details.
    const FailureNotice persianReason = failureNotice(fixed, AppError(QStringLiteral("پوشه پیدا نشد")));
    EXPECT_EQ(persianReason.message, fixed + QStringLiteral("\nپوشه پیدا نشد"));
    EXPECT_TRUE(persianReason.details.isEmpty());
}

// Windows authentication without a ticket: the real reason from Kerberos,
// with the service it was wanted for, under the Persian sentence that says
// what to do.
TEST(FailureText, WindowsLoginWithoutATicket)
{
    const QByteArray previous = qgetenv("KRB5CCNAME");
    qputenv("KRB5CCNAME", "FILE:/nonexistent/no-ticket-here");
    const std::optional<QString> problem = kerberosLoginProblem(QStringLiteral("db.example"), 1433);
    qputenv("KRB5CCNAME", previous);
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(problem->contains(QStringLiteral("MSSQLSvc/db.example:1433"))) << problem->toStdString();
    const FailureNotice notice = describeFailure(DatabaseError(*problem));
    EXPECT_TRUE(notice.message.contains(QStringLiteral("منقضی شده"))) << notice.message.toStdString();
    EXPECT_TRUE(notice.message.contains(QStringLiteral("kinit")));
    EXPECT_TRUE(notice.message.contains(QStringLiteral("MSSQLSvc/db.example:1433")));
    EXPECT_EQ(notice.details, *problem);
}

// Where the full stop of an English line is drawn, against a letter inside
// its words, when the line is laid out as the notice lays it out.
bool fullStopAfterTheWords(const QString &shownLine, const QFont &font)
{
    QTextLayout layout(shownLine, font);
    QTextOption option;
    option.setTextDirection(Qt::RightToLeft);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    const int first = int(shownLine.indexOf(QLatin1Char('f')));
    const int stop = int(shownLine.lastIndexOf(QLatin1Char('.')));
    return line.cursorToX(stop) > line.cursorToX(first);
}

TEST(MessageDialogText, EnglishLineUnderAPersianOneKeepsItsFullStopAtItsEnd)
{
    ModalDialogDriver driver;
    QString shown;
    QFont font;
    QString details;
    Qt::LayoutDirection detailsDirection = Qt::RightToLeft;
    driver.handle([&](QWidget *modal) {
        auto *label = modal->findChild<QLabel *>(QStringLiteral("Message"));
        shown = label->text();
        font = label->font();
        if (auto *box = modal->findChild<QPlainTextEdit *>(QStringLiteral("Details"))) {
            details = box->toPlainText();
            detailsDirection = box->document()->defaultTextOption().textDirection();
        }
        modal->close();
    });
    ShowMessageDialogWithDetails(QString(), QStringLiteral("اشکال در باز گرداندن اطلاعات ...\r\nLogin failed."),
                                 QStringLiteral("Login failed for user 'sa'."), mbOK, mtError);
    const QStringList lines = shown.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(fullStopAfterTheWords(lines[1], font)) << "the full stop jumped to the start of the line";
    // The Persian line still reads right to left from its first letter.
    EXPECT_EQ(lines[0].front(), QChar(0x200F));
    EXPECT_EQ(details, QStringLiteral("Login failed for user 'sa'."));
    EXPECT_EQ(detailsDirection, Qt::LeftToRight);
}

} // namespace

// Where a date shown in the right-to-left file dialog puts its day, as the
// user sees it: left of its month, as it is written.
TEST(QtTranslations, FileDialogDatesReadInTheirOwnDirection)
{
    ASSERT_TRUE(installQtPersianTranslations());
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("Tarnel.Bak")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    fitFileDialogToRightToLeft(&dialog);
    dialog.setDirectory(folder.path());
    dialog.show();
    auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    ASSERT_NE(details, nullptr);
    QModelIndex name;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        name = details->model()->index(0, 0, details->rootIndex());
        return name.isValid();
    }));
    // The name stays as it is: the dialog completes typed names from it.
    EXPECT_EQ(name.data().toString(), QStringLiteral("Tarnel.Bak"));
    const QString date = name.siblingAtColumn(3).data().toString();
    const qsizetype day = date.indexOf(QRegularExpression(QStringLiteral("\\d")));
    const qsizetype month = date.indexOf(QRegularExpression(QStringLiteral("[A-Za-z]")));
    ASSERT_TRUE(day >= 0 && month > day) << date.toStdString();
    QTextLayout layout(date, dialog.font());
    QTextOption option;
    option.setTextDirection(Qt::RightToLeft);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    // Cursors just after each, inside their run, away from any direction change.
    EXPECT_LT(line.cursorToX(int(day) + 1), line.cursorToX(int(month) + 1)) << date.toStdString();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}
