#include "ui/message_dialog.h"

#include "support/modal_dialog_driver.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QString kMessage = QStringLiteral("تنظيمات اتصال با بانک اطلاعاتي با موفقيت انجام شد");

struct LabelCase {
    quint16 buttons;
    QStringList labels;
};

class MessageDialogTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join("; ").toStdString(); }
    ModalDialogDriver driver;
};

TEST_F(MessageDialogTest, RelabelsExactlyTheListedSetsInTableOrder)
{
    const QList<LabelCase> cases = {
        {mbYes, {"بلي"}},
        {mbNo, {"خير"}},
        {mbOK, {"تاييد"}},
        {mbCancel, {"انصراف"}},
        {mbAbort, {"انصراف"}},
        {mbRetry, {"سعي مجدد"}},
        {mbIgnore, {"صرفنظر"}},
        {mbAll, {"همگي"}},
        {mbNoToAll, {"همگي خير"}},
        {mbYesToAll, {"همگي بلي"}},
        {mbHelp, {"راهنما"}},
        {mbYes | mbNo | mbCancel, {"بلي", "خير", "انصراف"}},
        {mbOK | mbCancel, {"بلي", "خير"}},
        {mbAbort | mbRetry | mbIgnore, {"انصراف", "سعي مجدد", "صرفنظر"}},
        {mbAbort | mbIgnore, {"انصراف", "صرفنظر"}},
        // Sets outside the table keep the standard captions.
        {mbYes | mbNo, {"&Yes", "&No"}},
        {mbOK | mbHelp, {"OK", "&Help"}},
        {mbRetry | mbCancel, {"Cancel", "&Retry"}},
        {mbYes | mbNo | mbAll | mbNoToAll | mbYesToAll, {"&Yes", "&No", "&All", "N&o to All", "Yes to &All"}},
    };
    for (const LabelCase &c : cases) {
        ModalDialogDriver local;
        local.closeBox();
        EXPECT_EQ(ShowMessageDialog(QString(), kMessage, c.buttons, mtInformation), 2) << c.buttons;
        ASSERT_EQ(local.shown().size(), 1) << c.buttons;
        EXPECT_EQ(local.last().buttons, c.labels) << c.buttons;
    }
}

TEST_F(MessageDialogTest, EachButtonReturnsItsResult)
{
    const QList<QPair<QString, int>> presses = {
        {"&Yes", 6},   {"&No", 7},     {"OK", 1},   {"Cancel", 2},     {"&Abort", 3},
        {"&Retry", 4}, {"&Ignore", 5}, {"&All", 8}, {"N&o to All", 9}, {"Yes to &All", 10},
    };
    const quint16 everyClosingButton = 0x3FF;
    for (const auto &[label, result] : presses) {
        driver.pressButton(label);
        EXPECT_EQ(ShowMessageDialog(QString(), kMessage, everyClosingButton, mtConfirmation), result)
            << label.toStdString();
    }
}

TEST_F(MessageDialogTest, HelpButtonLeavesTheDialogOpen)
{
    driver.pressButton("راهنما").closeBox();
    EXPECT_EQ(ShowMessageDialog(QString(), kMessage, mbHelp, mtInformation), 2);
    EXPECT_EQ(driver.shown().size(), 2);
}

TEST_F(MessageDialogTest, EnterEscapeAndCloseBox)
{
    struct KeyCase {
        quint16 buttons;
        int enter;
        int escape;
    };
    // Enter: OK, else Yes, else Retry. Escape: Cancel, else No, else OK.
    const QList<KeyCase> cases = {
        {mbOK, 1, 1},
        {mbOK | mbCancel, 1, 2},
        {mbYes | mbNo, 6, 7},
        {mbYes | mbNo | mbCancel, 6, 2},
        {mbAbort | mbRetry | mbIgnore, 4, -1},
        // OK wins over Yes, Cancel over No, when a set holds both.
        {mbYes | mbOK | mbNo | mbCancel, 1, 2},
        {mbRetry | mbYes, 6, -1},
    };
    for (const KeyCase &c : cases) {
        driver.pressEnter();
        EXPECT_EQ(ShowMessageDialog(QString(), kMessage, c.buttons, mtWarning), c.enter) << c.buttons;
        if (c.escape > 0) {
            driver.pressEscape();
            EXPECT_EQ(ShowMessageDialog(QString(), kMessage, c.buttons, mtWarning), c.escape) << c.buttons;
        }
        driver.closeBox();
        EXPECT_EQ(ShowMessageDialog(QString(), kMessage, c.buttons, mtWarning), 2) << c.buttons;
    }
}

TEST_F(MessageDialogTest, EscapeWithoutACancelButtonKeepsTheDialogOpen)
{
    driver.pressEscape().pressButton("سعي مجدد");
    EXPECT_EQ(ShowMessageDialog(QString(), kMessage, mbAbort | mbRetry | mbIgnore, mtError), 4);
    EXPECT_EQ(driver.shown().size(), 2);
}

TEST_F(MessageDialogTest, IconFollowsTheKindAndCustomHasNone)
{
    const QList<QPair<quint8, DialogIcon>> kinds = {
        {mtWarning, DialogIcon::Warning},       {mtError, DialogIcon::Error}, {mtInformation, DialogIcon::Information},
        {mtConfirmation, DialogIcon::Question}, {mtCustom, DialogIcon::None},
    };
    for (const auto &[kind, icon] : kinds) {
        bool hasImage = true;
        driver.handle([&](QWidget *dialog) {
            hasImage = dialog->findChild<QLabel *>("Image") != nullptr;
            dialog->close();
        });
        ShowMessageDialog(QString(), kMessage, mbOK, kind);
        EXPECT_EQ(driver.last().icon, icon);
        EXPECT_EQ(hasImage, icon != DialogIcon::None);
    }
    // The custom kind still gets its text and Persian buttons.
    driver.pressButton("خير");
    EXPECT_EQ(ShowMessageDialog(QString(), kMessage, mbOK | mbCancel, mtCustom), 2);
    EXPECT_EQ(driver.last().text, kMessage);
    EXPECT_EQ(driver.last().buttons, QStringList({"بلي", "خير"}));
}

TEST_F(MessageDialogTest, CaptionIsExactlyTheArgument)
{
    for (quint8 kind : {mtWarning, mtError, mtInformation, mtConfirmation}) {
        driver.pressEnter();
        ShowMessageDialog(QString(), kMessage, mbOK, kind);
        EXPECT_EQ(driver.last().caption, QString());
    }
    driver.pressEnter();
    ShowMessageDialog(QStringLiteral("خطا"), kMessage, mbOK, mtError);
    EXPECT_EQ(driver.last().caption, QStringLiteral("خطا"));
}

TEST_F(MessageDialogTest, RightToLeftOnTopInTahomaWithButtonsLeftToRight)
{
    QList<int> buttonX;
    driver.handle([&](QWidget *dialog) {
        for (const char *name : {"Yes", "No", "Cancel"})
            buttonX.append(dialog->findChild<QPushButton *>(name)->mapToGlobal(QPoint()).x());
        dialog->close();
    });
    ShowMessageDialog(QString(), kMessage, mbYes | mbNo | mbCancel, mtConfirmation);
    const ShownDialog shown = driver.last();
    EXPECT_EQ(shown.direction, Qt::RightToLeft);
    EXPECT_EQ(shown.textDirection, Qt::RightToLeft);
    EXPECT_TRUE(shown.stayOnTop);
    EXPECT_EQ(shown.fontFamily, QStringLiteral("Tahoma"));
    EXPECT_EQ(shown.fontPixelSize, 11);
    ASSERT_EQ(buttonX.size(), 3);
    EXPECT_LT(buttonX[0], buttonX[1]);
    EXPECT_LT(buttonX[1], buttonX[2]);
}

TEST_F(MessageDialogTest, CrLfShowsAsTwoLinesAndNothingIsClipped)
{
    const QString message = QStringLiteral(
        "خطا در اتصال با بانک اطلاعاتي ...\r\nدرصورت تمايل با تاييد اين پيغام، بانک اطلاعاتي پيش فرض در پوشه جاري فعال مي گردد ...");
    QSize labelSize;
    QSize needed;
    int lineHeight = 0;
    driver.handle([&](QWidget *dialog) {
        auto *label = dialog->findChild<QLabel *>("Message");
        labelSize = label->size();
        lineHeight = label->fontMetrics().height();
        needed = label->fontMetrics()
                     .boundingRect(QRect(0, 0, labelSize.width(), 10000), Qt::TextWordWrap, label->text())
                     .size();
        dialog->close();
    });
    ShowMessageDialog(QStringLiteral("خطا"), message, mbOK | mbCancel, mtWarning);
    const QString shownText = driver.last().text;
    EXPECT_FALSE(shownText.contains(QLatin1Char('\r')));
    EXPECT_EQ(shownText.split(QLatin1Char('\n')).size(), 2);
    EXPECT_GE(labelSize.width(), needed.width());
    EXPECT_GE(labelSize.height(), needed.height());
    EXPECT_GE(labelSize.height(), 2 * lineHeight - 2);
}

TEST_F(MessageDialogTest, DialogIsGoneAfterItReturns)
{
    const int before = QApplication::topLevelWidgets().size();
    driver.pressEnter();
    ShowMessageDialog(QString(), kMessage, mbOK, mtInformation);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
}

} // namespace
