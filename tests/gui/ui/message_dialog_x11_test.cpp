// The message dialog on a real X server: what the window system is told
// (title, stay on top) and, when MOVAN_SCREENSHOT_DIR is set, a picture of
// each kind for a person to look at.
#include "ui/message_dialog.h"

#include "support/modal_dialog_driver.h"

#include <QDir>
#include <QProcess>
#include <QWidget>

#include <gtest/gtest.h>

using namespace movan;

namespace {

QString xprop(QWidget *window, const QString &property)
{
    QProcess process;
    process.start("xprop", {"-id", QString::number(window->winId()), property});
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void screenshot(QWidget *window, const QString &name)
{
    const QString folder = qEnvironmentVariable("MOVAN_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QProcess::execute("import", {"-window", "root", QDir(folder).filePath(name + ".png")});
    Q_UNUSED(window);
}

TEST(MessageDialogOnX11, TitleIsExactlyTheCaptionAndTheDialogStaysOnTop)
{
    ModalDialogDriver driver;
    QString title;
    QString state;
    driver.setAnswerDelay(200);
    driver.handle([&](QWidget *dialog) {
        title = xprop(dialog, "_NET_WM_NAME");
        state = xprop(dialog, "_NET_WM_STATE");
        dialog->close();
    });
    ShowMessageDialog(QString(), QStringLiteral("پيغام"), mbOK, mtError);
    // xprop shows an empty property as nothing after the "=".
    EXPECT_EQ(title.toStdString(), "_NET_WM_NAME(UTF8_STRING) =");
    EXPECT_TRUE(state.contains("_NET_WM_STATE_ABOVE")) << state.toStdString();

    driver.handle([&](QWidget *dialog) {
        title = xprop(dialog, "_NET_WM_NAME");
        dialog->close();
    });
    ShowMessageDialog(QStringLiteral("خطا"), QStringLiteral("پيغام"), mbOK, mtError);
    EXPECT_EQ(title, QStringLiteral("_NET_WM_NAME(UTF8_STRING) = \"خطا\""));
    EXPECT_TRUE(driver.failures().isEmpty());
}

TEST(MessageDialogOnX11, EachKindWithPersianText)
{
    struct Shot {
        const char *name;
        QString caption;
        QString message;
        quint16 buttons;
        quint8 kind;
    };
    const QList<Shot> shots = {
        {"warning", QStringLiteral("خطا"),
         QStringLiteral(
             "خطا در اتصال با بانک اطلاعاتي ...\r\nدرصورت تمايل با تاييد اين پيغام، بانک اطلاعاتي پيش فرض در پوشه جاري فعال مي گردد ..."),
         mbOK | mbCancel, mtWarning},
        {"error", QStringLiteral("خطا"),
         QStringLiteral("خطا در پيوست بانک اطلاعاتي، براي دريافت اطلاعات بيشتر به راهنما مراجعه نماييد..."), mbOK,
         mtError},
        {"information", QString(), QStringLiteral("تنظيمات اتصال با بانک اطلاعاتي با موفقيت انجام شد"), mbOK,
         mtInformation},
        {"confirmation", QString(), QStringLiteral("آيا مايل به ادامه هستيد ؟"), mbYes | mbNo | mbCancel,
         mtConfirmation},
        {"custom", QString(), QStringLiteral("SQL Server نحوه برقراري ارتباط با"), mbAbort | mbRetry | mbIgnore,
         mtCustom},
        {"class_not_found", QStringLiteral("خطاي سيستمي"), QStringLiteral("كلاس پيدا نشد !"), mbOK, mtWarning},
    };
    for (const Shot &shot : shots) {
        ModalDialogDriver driver;
        driver.setAnswerDelay(300);
        driver.setBeforeAnswer([&](QWidget *dialog) { screenshot(dialog, QString("message_dialog_") + shot.name); });
        driver.closeBox();
        EXPECT_EQ(ShowMessageDialog(shot.caption, shot.message, shot.buttons, shot.kind), 2);
        EXPECT_TRUE(driver.failures().isEmpty());
    }
}

} // namespace
