#include "maintenance/restore_operation.h"

#include "maintenance/restore_recovery.h"
#include "maintenance/restore_run.h"
#include "platform/executable_path.h"
#include "settings/connection_templates.h"
#include "settings/settings_keys.h"
#include "ui/message_dialog.h"
#include "util/text_trim.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace movan {

namespace {

const QString kChooseBackupCaption = QStringLiteral("توجه");
const QString kChooseBackup = QStringLiteral("فايل پشتيبان را انتخاب نماييد");
const QString kNoSettingsCaption = QStringLiteral("در حال اجراي برنامه");
const QString kNoSettings
    = QStringLiteral("امکان برقراري ارتباط با بانک وجود ندارد\r\n لطفا تنظيمات لازم را انجام دهيد");
const QString kChooseDatabase = QStringLiteral("لطفا بانک اطلاعاتی مورد نظر را از فهرست انتخاب نمایید.");

} // namespace

bool RestoreDataBase(const QString &targetDb, const QString &backupFile, const RestoreWindowParts &parts)
{
    QCoreApplication::processEvents();
    if (backupFile.isEmpty() || !QFileInfo(backupFile).isFile()) {
        ShowMessageDialog(kChooseBackupCaption, kChooseBackup, mbOK, mtInformation);
        return false;
    }
    if (!QFileInfo::exists(executableDirectory() + Settings::kFileName)) {
        ShowMessageDialog(kNoSettingsCaption, kNoSettings, mbOK, mtError);
        return false;
    }
    const QString target = trimControl(targetDb);
    if (target.isEmpty()) {
        ShowMessageDialog(kChooseBackupCaption, kChooseDatabase, mbOK, mtInformation);
        return false;
    }
    // A restore left unfinished comes first: its database may exist only in
    // its safety copy. Once that is settled the user chooses again, knowing
    // where their data now is.
    if (resolveUnfinishedRestore(parts.window) != LeftoverRestore::None)
        return false;

    RestoreRun run(parts, target, trimControl(backupFile), buildRestoreConnectionString());
    if (!run.check() || !run.confirm() || !run.takeSafetyCopy())
        return false;
    run.stopSiblingPrograms();
    return run.dropTarget() && run.restoreChosenSet();
}

} // namespace movan
