#include "maintenance/restore_recovery.h"

#include "db/blocking_call.h"
#include "db/database.h"
#include "maintenance/batches.h"
#include "maintenance/restore_journal.h"
#include "maintenance/restore_messages.h"
#include "maintenance/restore_plan.h"
#include "maintenance/restore_server_facts.h"
#include "maintenance/restore_settle.h"
#include "settings/connection_templates.h"
#include "util/isolated_text.h"
#include "util/persian_date.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace movan {

namespace {

const QString kUnfinished = QStringLiteral("بازگرداندن بانک «%1» که %2 آغاز شد، به پایان نرسید.");
const QString kServerAway = QStringLiteral(
    "سرور پاسخ نمی‌دهد، پس معلوم نیست بانک «%1» اکنون چه دارد. نسخه ایمنی بانک پیشین در فایل %2 نگه داشته شده است؛ برنامه در اجرای بعدی دوباره می‌پرسد.");
const QString kUntouched
    = QStringLiteral("بانک «%1» حذف نشده و دست نخورده است. نسخه ایمنی که پیش از آن گرفته شد، در فایل %2 مانده است.");
const QString kWasRestored = QStringLiteral(
    "سرور می‌گوید نسخه انتخاب‌شده در بانک «%1» بازگردانده شد و بانک آماده است. نسخه ایمنی بانک پیشین در فایل %2 است.");
const QString kOnlyInCopy = QStringLiteral(
    "بانک «%1» روی سرور %2. داده‌های پیشین آن در نسخه ایمنی %3 است.");
const QString kNotListed = QStringLiteral("نیست");
const QString kNotUsable = QStringLiteral("در حالت %1 است و به کار نمی‌آید");
const QString kUnrecorded = QStringLiteral(
    "بانک «%1» روی سرور آماده است، ولی سرور گزارشی از بازگرداندن آن ندارد؛ معلوم نیست چه دارد. نسخه ایمنی بانک پیشین در فایل %2 است.");
const QString kNoCopyLeft = QStringLiteral("بانک «%1» از پیش وجود نداشت و نسخه ایمنی ندارد؛ وضعیت آن روی سرور: %2.");
const QString kRestoredNoCopy
    = QStringLiteral("نسخه انتخاب‌شده در بانک «%1» بازگردانده شد.");

const QString kCopyGone = QStringLiteral(
    "نسخه ایمنی بانک پیشین که باید در فایل %1 می‌بود، دیگر روی دیسک نیست؛ بانک «%2» را نمی‌توان از آن برگرداند. وضعیت بانک روی سرور: %3.");

// The copy is restored with no time limit of the client's: a large one takes
// long, and a time-out would leave its outcome unknown.
constexpr int kBringBackTimeoutSeconds = 0;

const QString kKeepRestored = QStringLiteral("نگه داشتن بانک بازگردانده");
const QString kBringBackOld = QStringLiteral("برگرداندن بانک پیشین");
const QString kRemoveCopy = QStringLiteral("حذف نسخه ایمنی");
const QString kKeepCopy = QStringLiteral("نگه داشتن نسخه ایمنی");
const QString kLater = QStringLiteral("بعدا");

// Asks with the buttons given, the first the default; the label of the
// button chosen, or empty for Escape and the close box.
QString ask(QWidget &window, const QString &text, const QStringList &choices)
{
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text, QMessageBox::NoButton, &window);
    QList<QPushButton *> buttons;
    for (const QString &choice : choices)
        buttons.append(box.addButton(choice, QMessageBox::ActionRole));
    box.setDefaultButton(buttons.front());
    box.exec();
    for (QPushButton *button : buttons)
        if (box.clickedButton() == button)
            return button->text();
    return {};
}

class Recovery {
public:
    Recovery(QWidget &window, RestoreJournal journal)
        : m_window(window)
        , m_journal(std::move(journal))
        , m_copy(localPathOf(m_journal.safetyCopy))
        , m_shownCopy(leftToRightIsolate(m_copy))
    {
        m_server.setConnectionString(buildRestoreConnectionString());
    }

    bool run()
    {
        const QString head = kUnfinished.arg(m_journal.target, persianDateAndTime(m_journal.started)) + u'\n';
        DatabaseCondition condition;
        std::optional<RestoreRecord> history;
        try {
            condition = databaseCondition(m_server, m_journal.target);
            if (condition.online() && m_journal.restoreSent.isValid())
                history = restoreFinishedSince(m_server, m_journal.target, m_journal.restoreSent);
        } catch (const std::exception &error) {
            showRestoreMessage(m_window, head + kServerAway.arg(m_journal.target, m_shownCopy),
                               QString::fromUtf8(error.what()));
            return false;
        }
        const bool broughtBack = m_journal.step == RestoreStep::BringBackSent && condition.online() && history
            && restoredSet(*history, m_journal.safetyCopy, m_journal.safetyPosition);
        const bool restored = !broughtBack
            && (m_journal.step == RestoreStep::RestoreDone
                || (condition.online() && history && restoredSet(*history, m_journal.backupFile, m_journal.position)));

        if (broughtBack) {
            removeCopyAndJournal();
            showRestoreMessage(m_window, head + kBroughtBack.arg(m_journal.target));
            return true;
        }
        // The copy is removed right after the restore is recorded done: a
        // program stopped in between leaves a journal that names no file.
        if (!m_journal.safetyCopy.isEmpty() && !QFileInfo::exists(m_copy) && !restored) {
            removeRestoreJournal(restoreJournalPath());
            showRestoreMessage(m_window, head + kCopyGone.arg(m_shownCopy, m_journal.target, stateText(condition)));
            return true;
        }
        if (m_journal.safetyCopy.isEmpty() || !QFileInfo::exists(m_copy)) {
            removeRestoreJournal(restoreJournalPath());
            showRestoreMessage(m_window,
                               head
                                   + (restored ? kRestoredNoCopy.arg(m_journal.target)
                                               : kNoCopyLeft.arg(m_journal.target, stateText(condition))));
            return true;
        }
        // Before the drop was sent the database was never touched.
        const bool dropMayHaveRun = m_journal.step >= RestoreStep::DropSent;
        const bool untouched
            = condition.online() && !history && (!dropMayHaveRun || m_journal.step == RestoreStep::DropSent);
        if (restored) {
            const QString choice = ask(m_window, head + kWasRestored.arg(m_journal.target, m_shownCopy),
                                       {kKeepRestored, kBringBackOld, kLater});
            if (choice == kKeepRestored) {
                removeCopyAndJournal();
                return true;
            }
            return choice == kBringBackOld && bringBack(head);
        }
        if (untouched) {
            // A drop that stopped after the switch to one user.
            if (condition.singleUser)
                openToAllUsers(m_server, m_journal.target);
            const QString choice
                = ask(m_window, head + kUntouched.arg(m_journal.target, m_shownCopy), {kKeepCopy, kRemoveCopy});
            if (choice == kRemoveCopy)
                removeCopyAndJournal();
            else
                removeRestoreJournal(restoreJournalPath());
            return true;
        }
        const QString about = condition.online() ? kUnrecorded.arg(m_journal.target, m_shownCopy)
                                                 : kOnlyInCopy.arg(m_journal.target, stateText(condition), m_shownCopy);
        return ask(m_window, head + about, {kBringBackOld, kLater}) == kBringBackOld && bringBack(head);
    }

private:
    static QString stateText(const DatabaseCondition &condition)
    {
        return condition.listed ? kNotUsable.arg(condition.state) : kNotListed;
    }

    bool bringBack(const QString &head)
    {
        m_journal.step = RestoreStep::BringBackSent;
        writeRestoreJournal(restoreJournalPath(), m_journal);
        const BringBackResult back = bringBackSafetyCopy(m_server, m_journal, kBringBackTimeoutSeconds);
        if (back.outcome != RequestOutcome::Done) {
            // The copy stays, and so does the journal: the next start asks again.
            showRestoreFailure(m_window, kNotBroughtBack.arg(m_journal.target, m_shownCopy), back.failure);
            return false;
        }
        removeCopyAndJournal();
        showRestoreMessage(m_window, head + kBroughtBack.arg(m_journal.target));
        return true;
    }

    void removeCopyAndJournal()
    {
        const QString copy = m_copy;
        if (!copy.isEmpty())
            runWithoutFreezing([&copy] { QFile::remove(copy); });
        removeRestoreJournal(restoreJournalPath());
    }

    QWidget &m_window;
    RestoreJournal m_journal;
    QString m_copy;
    QString m_shownCopy; // as the messages name it
    DbConnection m_server;
};

} // namespace

LeftoverRestore resolveUnfinishedRestore(QWidget &window)
{
    std::optional<RestoreJournal> journal = readRestoreJournal(restoreJournalPath());
    if (!journal)
        return LeftoverRestore::None;
    Recovery(window, std::move(*journal)).run();
    return QFileInfo::exists(restoreJournalPath()) ? LeftoverRestore::Pending : LeftoverRestore::Resolved;
}

} // namespace movan
