// What the setup window does: its show sequence, the authentication choice,
// and its three buttons.
#include "db/blocking_call.h"
#include "settings/connection_templates.h"
#include "settings/data_module.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "setup/batches.h"
#include "setup/default_database_files.h"
#include "setup/frm_sql_setup.h"
#include "setup/server_list.h"
#include "ui/cancellable_wait.h"
#include "ui/failure_notice.h"
#include "ui/form_registry.h"
#include "ui/message_dialog.h"
#include "util/system_info.h"
#include "util/text_trim.h"
#include "widgets/balloon/balloon_control.h"
#include "widgets/close_guard/close_after_call.h"
#include "widgets/edit/control_colors.h"
#include "widgets/edit/mov_edit_box.h"

#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QScopeGuard>

namespace movan {

namespace {

const QString kErrorCaption = QStringLiteral("خطا");
const QString kConnectedNotice = QStringLiteral("تنظيمات اتصال با بانک اطلاعاتي با موفقيت انجام شد");
const QString kConnectFailedOffer = QStringLiteral(
    "خطا در اتصال با بانک اطلاعاتي ...\r\nدرصورت تمايل با تاييد اين پيغام، بانک اطلاعاتي پيش فرض در پوشه جاري فعال مي گردد ...");
const QString kFilesNotFound = QStringLiteral("فايل هاي مورد نياز در مسير پيش فرض پيدا نشد ...");
const QString kAttached = QStringLiteral("بانک اطلاعاتي با موفقيت پيوست شد ...");
const QString kAttachFailed
    = QStringLiteral("خطا در پيوست بانک اطلاعاتي، براي دريافت اطلاعات بيشتر به راهنما مراجعه نماييد...");
const QString kToolsConnectFailed = QStringLiteral("خطا در اتصال به بانك اطلاعاتي !");

const QString kWaitingForSettingsFile = QStringLiteral(
    "برنامه دیگری فایل تنظیمات %1 را در دست دارد؛ تنظیمات همین که آن را رها کند ذخیره می‌شود. برای دست کشیدن از "
    "ذخیره، انصراف را بزنید.");

const QString kEnglishLayout = QStringLiteral("E");
const QString kDataFileExtension = QStringLiteral("mdf");
const QString kLogFileExtension = QStringLiteral("ldf");
const QString kInstanceNameField = QStringLiteral("Value_1");

// The data module of one action: made at its start and released at its end,
// whichever way the action ends.
class DataModuleScope {
public:
    DataModuleScope() { DMMain = new TDMMain(); }
    ~DataModuleScope() { release(); }
    DataModuleScope(const DataModuleScope &) = delete;
    DataModuleScope &operator=(const DataModuleScope &) = delete;

    void release()
    {
        delete DMMain;
        DMMain = nullptr;
    }
};

// The name as the settings file keeps it, trimmed, so the database attached
// is the one the connection asks for.
QString attachStatement(const QString &databaseName, const QString &dataFile, const QString &logFile)
{
    return QString::fromStdString(movan::attachDatabaseSql(trimControl(databaseName).toStdString(),
                                                           dataFile.toStdString(), logFile.toStdString()));
}

bool connectFromSettings(std::exception_ptr *failure)
{
    return ConnectFromIni(DMMain->ADOConnection1, Settings::kSection, Settings::kFileName, failure);
}

} // namespace

void TFrmSQLSetup::FormShow()
{
    const auto finished = qScopeGuard([this] { emit showSequenceFinished(); });
    using namespace Settings;
    ProfileFile file = openSettingsFile(kFileName);
    // A file that is there but cannot be read is reported once the window
    // shows its defaults, so that no one takes them for the saved settings.
    QString unreadable;
    try {
        file.readString(kSection, kDataBaseName, {});
    } catch (const ProfileReadError &error) {
        unreadable = error.message();
        file.readAsEmpty();
    }
    const QString computer = GetComputerNameText();

    EdtDataBaseName->setText(file.readString(kSection, kDataBaseName, SetupWindowDefault::kDataBaseName));
    cbServer->clear();
    const QString address = m_localAddress();
    const QStringList instances = readNamedInstances();
    if (m_closeAfterCalls->closeRequested())
        return;
    const QString server = file.readString(kSection, kServer, computer);
    cbServer->addItems(serverListEntries(computer, address, instances, server));
    m_capturedAddress = m_localAddress();
    cbServer->setCurrentIndex(0);
    cbServer->setCurrentText(server);

    const QString type = file.readString(kSection, kType, SetupWindowDefault::kType);
    if (type == kTypeSql) {
        rgSql->setChecked(true);
        EdtLogName->setText(file.readString(kSection, kUser, SetupWindowDefault::kUser));
        EdtPassword->setText(file.readString(kSection, kPass, SetupWindowDefault::kPass));
    } else if (type == kTypeWindows) {
        rgWindows->setChecked(true);
    }
    if (computer != cbServer->currentText())
        BalloonControl1->ShowBalloon();
    if (!unreadable.isEmpty())
        ShowMessageDialog(kErrorCaption, unreadable, mbOK, mtError);
}

QStringList TFrmSQLSetup::readNamedInstances()
{
    QStringList names;
    try {
        qrGetInstance.setConnection(nullptr);
        qrGetInstance.setConnectionString(BuildMasterConnectionString());
        qrGetInstance.close();
        qrGetInstance.open();
        for (qrGetInstance.first(); !qrGetInstance.eof(); qrGetInstance.next())
            names.append(qrGetInstance.fieldByName(kInstanceNameField));
    } catch (const std::exception &) {
        // No settings, no server, a refused login or a denied procedure: the
        // list keeps the instances read so far, and the user types the rest.
    }
    try {
        qrGetInstance.close();
    } catch (const std::exception &) {}
    return names;
}

void TFrmSQLSetup::rgWindowsClick()
{
    rgSql->setChecked(!rgWindows->isChecked());
    UpdateLoginControls();
}

void TFrmSQLSetup::rgSqlClick()
{
    rgWindows->setChecked(!rgSql->isChecked());
    UpdateLoginControls();
}

void TFrmSQLSetup::UpdateLoginControls()
{
    const bool windowsAuthentication = rgWindows->isChecked();
    const QColor color = windowsAuthentication ? QApplication::palette().color(QPalette::Button) : windowColor();
    for (TMovEditBox *edit : {EdtLogName, EdtPassword}) {
        edit->setEnabled(!windowsAuthentication);
        edit->setColor(color);
    }
}

void TFrmSQLSetup::EdtDataBaseNameEnter()
{
    SwitchKeyboardLayout(kEnglishLayout);
}

void TFrmSQLSetup::EdtLogNameEnter()
{
    SwitchKeyboardLayout(kEnglishLayout);
}

void TFrmSQLSetup::saveSettings()
{
    using namespace Settings;
    const bool windowsAuthentication = rgWindows->isChecked();
    QList<std::pair<QString, QString>> keys = {
        {kServer, cbServer->currentText()},
        {kServerMachineName, GetComputerNameText()},
        {kServerIPAddress, m_capturedAddress},
        {kDataBaseName, EdtDataBaseName->text()},
        {kType, windowsAuthentication ? kTypeWindows : kTypeSql},
        {kUser, windowsAuthentication ? QString() : EdtLogName->text()},
        {kPass, windowsAuthentication ? QString() : EdtPassword->text()},
    };
    for (auto &[key, value] : keys)
        value = trimControl(value);
    // The seven keys go down together or not at all: a sibling program never
    // reads one save's server with another's login. Another program's lock
    // may hold the save for seconds: the window goes on painting meanwhile,
    // and the user may give up.
    runCancellableWait(kWaitingForSettingsFile.arg(kFileName), [&keys](const std::atomic<bool> &giveUp) {
        ProfileFile file = openSettingsFile(kFileName);
        file.setGiveUpFlag(&giveUp);
        file.writeStrings(kSection, keys);
    });
}

void TFrmSQLSetup::BitBtn1Click()
{
    // Settings that cannot be saved end the action here, the file as it was,
    // with the reason in the program's error report; a save the user gave up
    // ends it quietly.
    try {
        saveSettings();
    } catch (const ProfileWriteGivenUp &) {
        return;
    }
    DataModuleScope dataModule;
    std::exception_ptr failure;
    const bool connected = connectFromSettings(&failure);
    if (m_closeAfterCalls->closeRequested())
        return;
    if (connected) {
        ShowMessageDialog(QString(), kConnectedNotice, mbOK, mtInformation);
        dataModule.release();
        close();
        return;
    }
    if (ShowFailureNotice(kErrorCaption, kConnectFailedOffer, failure, mbOK | mbCancel, mtWarning)
        == kMessageDialogClosedResult)
        return;
    attachDefaultDatabase();
}

void TFrmSQLSetup::attachDefaultDatabase()
{
    try {
        const QString folder = defaultDatabaseFolder();
        const QString dataFile = firstFileWithExtension(folder, kDataFileExtension);
        const QString logFile = dataFile.isEmpty() ? QString() : firstFileWithExtension(folder, kLogFileExtension);
        if (logFile.isEmpty()) {
            ShowMessageDialog(QString(), kFilesNotFound, mbOK, mtError);
            return;
        }
        qrAttachDB.setConnectionString(BuildMasterConnectionString());
        qrAttachDB.setCommandText(attachStatement(EdtDataBaseName->text(), dataFile, logFile));
        qrAttachDB.execute();
        if (m_closeAfterCalls->closeRequested())
            return;
        ShowMessageDialog(QString(), kAttached, mbOK, mtInformation);
    } catch (const std::exception &error) {
        if (m_closeAfterCalls->closeRequested())
            return;
        ShowFailureNotice(kErrorCaption, kAttachFailed, error);
    }
}

void TFrmSQLSetup::BitBtn2Click()
{
    close();
}

void TFrmSQLSetup::BitBtn3Click()
{
    DataModuleScope dataModule;
    // The saved settings, not what the window shows now.
    std::exception_ptr failure;
    const bool connected = connectFromSettings(&failure);
    if (m_closeAfterCalls->closeRequested())
        return;
    if (connected)
        ShowFormByClassName(kMaintenanceWindowClassName);
    else
        ShowFailureNotice(kErrorCaption, kToolsConnectFailed, failure);
}

void TFrmSQLSetup::SpeedButton1Click()
{
    BalloonControl1->ShowBalloon();
}

} // namespace movan
