#include "maintenance/frm_db_tools.h"

#include "backup/backup_folder.h"
#include "db/database.h"
#include "maintenance/backup_operation.h"
#include "maintenance/batches.h"
#include "maintenance/logical_placement.h"
#include "maintenance/query_list_source.h"
#include "maintenance/restore_operation.h"
#include "platform/executable_path.h"
#include "platform/machine_registry.h"
#include "settings/connection_templates.h"
#include "settings/data_module.h"
#include "settings/maintenance_connection.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "ui/accessible_role.h"
#include "ui/failure_notice.h"
#include "ui/file_dialog_labels.h"
#include "ui/form_font.h"
#include "ui/form_registry.h"
#include "ui/message_dialog.h"
#include "util/sql_condition.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/close_guard/close_after_call.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"
#include "widgets/elided/elided_label.h"
#include "widgets/gauge/gauge.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace movan {

namespace {

const QString kCaption = QStringLiteral("بررسي و رفع اشكالات احتمالي بانكهاي اطلاعاتي نرم افزارهاي موان");
const QString kDatabaseTabCaption = QStringLiteral("مديريت بانك اطلاعاتي");
const QString kShrinkHeading = QStringLiteral("1. کاهش حجم بانک اطلاعاتي");
const QString kShrinkExplanation
    = QStringLiteral("با انجام اين عمل حجم فايل لاگ کاهش پيدا کرده و تاثيري محسوسي در عملکرد نرم افزار خواهد داشت.");
const QString kDatabaseNameCaption = QStringLiteral(" =نام بانک ");
const QString kDataBaseNamePlaceholder = QStringLiteral("DataBaseName");
const QString kShrinkButtonCaption = QStringLiteral("کاهش حجم بانک");
const QString kRepairHeading = QStringLiteral("2. رفع ايراد عدم نصب SQL Server");
const QString kRepairExplanation = QStringLiteral(
    "در صورتيکه هنگام نصب SQL با پيغام \"نياز به ريست\" مواجه مي شويد، ميتوانيد از اين بخش اصلاح نماييد");
const QString kRepairButtonCaption = QStringLiteral("اصلاح نصب SQL");
const QString kBackupTabCaption = QStringLiteral("مديريت فايل پشتيبان");
const QString kBackupExplanation
    = QStringLiteral("در اين فرم مي توانيد با تهيه كپي پشتيبان، از اطلاعات خود در برابر حوادث مراقبت نماييد.");
const QString kRestoreExplanation = QStringLiteral(
    "در ضمن در صورت وقوع هر اتفاقي مي توانيد با برگرداندن آخرين نسخه كپي ، اطلاعات خود را احيا نماييد");
const QString kChooseDatabaseCaption = QStringLiteral("لطفا بانك مورد نظر را انتخاب نماييد :");
const QString kProgramDatabasesOnlyCaption = QStringLiteral("فقط نمايش بانک موان");
const QString kBackupButtonCaption = QStringLiteral("تهيه نسخه پشتيبان");
const QString kRestoreButtonCaption = QStringLiteral("بازگرداندن نسخه پشتيبان");
const QString kStatusCaption = QStringLiteral("وضعيت :");
const QString kGaugeDescription = QStringLiteral("پیشرفت پشتیبان‌گیری");
const QString kBusyCaption = QStringLiteral("كمي صبر كنيد");
const QString kBusyClip = QStringLiteral("DataLR.avi");

const QString kShrinkWaiting = QStringLiteral("لطفا شکيبا باشيد ...");
const QString kShrinkDone = QStringLiteral("حجم لاگ کاهش يافت");
const QString kShrinkFailed = QStringLiteral("خطا در کاهش حجم لاگ ...");

const QString kRepairDone = QStringLiteral("SQL به صورت کامل حذف شد.");
const QString kRepairKeyFailed = QStringLiteral("خطا در حذف کليد ...");
const QString kRepairFailed = QStringLiteral("خطا درانجام عمليات ...");
const QString kSessionManagerKey = QStringLiteral("\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\");
const QString kPendingRenamesValue = QStringLiteral("PendingFileRenameOperations");

const QString kRestoreWarning = QStringLiteral(
    "لطفا قبل از هر گونه عمليات بازگرداني اطلاعات ، يك كپي پشتيبان از اطلاعات برنامه\r\nتهيه نماييد.\r\nآيا از ادامه عمليات اطمينان داريد ؟");

const QString kBackupFilesFilter = QStringLiteral("Bak Files (*.Bak)");
const QString kAllFilesFilter = QStringLiteral("All Files (*)");

const QString kConditionConnector = QStringLiteral("AND");
const QString kDataBaseParameter = QStringLiteral("Ar_DataBase");
const QString kPathParameter = QStringLiteral("Ar_Path");
constexpr int kRestoreTimeoutSeconds = 500;
constexpr quint16 kBusyMinDurationMs = 500;

// 511 x 434 with the frame and title bar of the window's border.
constexpr QSize kClientSize(503, 400);
constexpr int kStatusPanelWidth = 50;

const QColor kBlack(0, 0, 0);
const QColor kGrey(128, 128, 128);
const QColor kMaroon(128, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

template <typename T> T *makeControl(QWidget *parent, const char *name)
{
    auto *control = new T(parent);
    control->setObjectName(QLatin1String(name));
    return control;
}

void setTextColor(QWidget *control, const QColor &color)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, color);
    control->setPalette(palette);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QColor &color, QRect logical,
                  bool wordWrap = false)
{
    auto *label = makeControl<QLabel>(parent, name);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(wordWrap);
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    setTextColor(label, color);
    placeLogically(label, logical);
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, QRect logical)
{
    auto *button = makeControl<QPushButton>(parent, name);
    button->setText(text);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    placeLogically(button, logical);
    return button;
}

QGroupBox *makeGroup(QWidget *parent, const char *name, QRect logical)
{
    auto *group = makeControl<QGroupBox>(parent, name);
    placeLogically(group, logical);
    return group;
}

} // namespace

const QString TFrmDBTools::kClassName = kMaintenanceWindowClassName;

void TFrmDBTools::registerClass()
{
    registerFormClass<TFrmDBTools>(kClassName);
}

TFrmDBTools::TFrmDBTools(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FrmDBTools"));
    setWindowTitle(kCaption);
    // Opened over the setup window and modal to it.
    setAccessibleRole(this, QAccessible::Dialog);
    setLayoutDirection(Qt::RightToLeft);
    setFont(formFont());
    // A fixed size: no window manager offers to maximise it.
    setFixedSize(kClientSize);
    // Centred over the window that opens it.
    if (const QWidget *opener = QApplication::activeWindow())
        move(opener->frameGeometry().center() - QPoint(width() / 2, height() / 2));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PageControl1 = makeControl<QTabWidget>(this, "PageControl1");
    PageControl1->tabBar()->setCursor(Qt::PointingHandCursor);
    layout->addWidget(PageControl1);
    StatusBar1 = makeControl<QStatusBar>(this, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    for (int panel = 0; panel < 2; ++panel) {
        auto *label = new QLabel(StatusBar1);
        label->setFixedWidth(kStatusPanelWidth);
        StatusBar1->addWidget(label);
    }
    StatusNotice = new ElidedLabel(StatusBar1);
    StatusNotice->setObjectName(QStringLiteral("StatusNotice"));
    StatusBar1->addWidget(StatusNotice, 1);
    layout->addWidget(StatusBar1);

    createTabSheet1();
    createTabSheet2();
    PageControl1->setCurrentWidget(TabSheet2);
    createComponents();
    connectHandlers();
    // A close request while a statement runs waits for it to return.
    m_closeAfterCalls = new CloseAfterBlockingCall(this);
    FormCreate(this);
}

TFrmDBTools::~TFrmDBTools()
{
    for (DbQuery *query : {qrDBList, qrCompressDB, qrBackUp, cmCreateDataBase, QrRestore})
        delete query;
}

void TFrmDBTools::createTabSheet1()
{
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, kDatabaseTabCaption);
    auto *fill = new QVBoxLayout(TabSheet1);
    fill->setContentsMargins(0, 0, 0, 0);
    Panel2 = makeControl<QFrame>(TabSheet1, "Panel2");
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    fill->addWidget(Panel2);

    Label14 = makeLabel(Panel2, "Label14", kShrinkHeading, kBlack, {16, 10, 300, 16});
    GroupBox4 = makeGroup(Panel2, "GroupBox4", {10, 28, -10, 142});
    Label15 = makeLabel(GroupBox4, "Label15", kShrinkExplanation, kGrey, {12, 14, -12, 32}, true);
    Label1 = makeLabel(GroupBox4, "Label1", kDatabaseNameCaption, kGrey, {12, 54, 60, 16});
    lbDataBaseName = makeLabel(GroupBox4, "lbDataBaseName", kDataBaseNamePlaceholder, kGrey, {76, 54, 200, 16});
    lbDataBaseName->setLayoutDirection(Qt::LeftToRight);
    lbDataBaseName->setAlignment(Qt::AlignAbsolute | Qt::AlignRight | Qt::AlignTop);
    QFont bold = lbDataBaseName->font();
    bold.setBold(true);
    lbDataBaseName->setFont(bold);
    lbMessage_Compress = makeLabel(GroupBox4, "lbMessage_Compress", QString(), kBlack, {12, 78, -12, 16});
    lbMessage_Compress->setVisible(false);
    BitBtn6 = makeButton(GroupBox4, "BitBtn6", kShrinkButtonCaption, {12, 104, 130, 25});

    Label4 = makeLabel(Panel2, "Label4", kRepairHeading, kMaroon, {16, 184, 300, 16});
    GroupBox2 = makeGroup(Panel2, "GroupBox2", {10, 202, -10, 100});
    Label6 = makeLabel(GroupBox2, "Label6", kRepairExplanation, kGrey, {12, 14, -12, 32}, true);
    BitBtn2 = makeButton(GroupBox2, "BitBtn2", kRepairButtonCaption, {12, 62, 130, 25});
}

void TFrmDBTools::createTabSheet2()
{
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, kBackupTabCaption);

    Label9 = makeLabel(TabSheet2, "Label9", kBackupExplanation, kBlack, {16, 16, -16, 32}, true);
    Label10 = makeLabel(TabSheet2, "Label10", kRestoreExplanation, kBlack, {16, 52, -16, 32}, true);
    Label13 = makeLabel(TabSheet2, "Label13", kChooseDatabaseCaption, kBlack, {16, 100, 250, 16});
    DBLDBBackup = makeControl<TMovDBLookupComboBox>(TabSheet2, "DBLDBBackup");
    placeLogically(DBLDBBackup, {16, 120, 250, 21});
    Label13->setBuddy(DBLDBBackup);
    dbcDataList = makeControl<QCheckBox>(TabSheet2, "dbcDataList");
    dbcDataList->setText(kProgramDatabasesOnlyCaption);
    dbcDataList->setChecked(false);
    placeLogically(dbcDataList, {280, 122, 190, 17});
    BitBtn4 = makeButton(TabSheet2, "BitBtn4", kBackupButtonCaption, {16, 166, 150, 25});
    BitBtn5 = makeButton(TabSheet2, "BitBtn5", kRestoreButtonCaption, {176, 166, 150, 25});
    Label12 = makeLabel(TabSheet2, "Label12", kStatusCaption, kBlack, {16, 300, 100, 16});
    Gauge1 = makeControl<TGauge>(TabSheet2, "Gauge1");
    Gauge1->setProgress(0);
    placeLogically(Gauge1, {0, 320, 0, 10});
    Label12->setBuddy(Gauge1);
    Gauge1->setAccessibleDescription(kGaugeDescription);
}

void TFrmDBTools::createComponents()
{
    qrDBList = new DbQuery;
    qrDBList->setConnectionString(kLocalMasterConnectionString);
    qrDBList->setSqlText(QString::fromLatin1(movan::kDatabaseListSql));
    dsDBList = new QueryListSource(qrDBList, this);
    dsDBList->setObjectName(QStringLiteral("dsDBList"));
    DBLDBBackup->setListSource(dsDBList);
    DBLDBBackup->setKeyField(QStringLiteral("name"));
    DBLDBBackup->setListField(QStringLiteral("name"));

    qrCompressDB = new DbQuery;
    qrCompressDB->setConnection(DMMain ? &DMMain->ADOConnection1 : nullptr);
    qrCompressDB->setSqlText(QString::fromLatin1(movan::kLogShrinkSql));
    qrCompressDB->parameterByName(kDataBaseParameter).size = movan::kLogShrinkDataBaseParameterSize;

    qrBackUp = new DbQuery;
    qrBackUp->setConnectionString(kLocalMasterConnectionString);
    qrBackUp->setSqlText(QString::fromLatin1(movan::kBackupSql));
    qrBackUp->parameterByName(kDataBaseParameter).size = movan::kBackupDataBaseParameterSize;
    qrBackUp->parameterByName(kPathParameter).size = movan::kBackupPathParameterSize;

    cmCreateDataBase = new DbQuery;
    QrRestore = new DbQuery;
    QrRestore->setCommandTimeout(kRestoreTimeoutSeconds);

    SaveDialog1 = makeControl<QFileDialog>(this, "SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    OpenDialogBak = makeControl<QFileDialog>(this, "OpenDialogBak");
    OpenDialogBak->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialogBak->setNameFilters({kBackupFilesFilter, kAllFilesFilter});
    for (QFileDialog *dialog : {SaveDialog1, OpenDialogBak}) {
        labelFileDialogBoxes(dialog);
        fitFileDialogToRightToLeft(dialog);
    }

    MovBusy1 = new TMovBusy(this);
    MovBusy1->setObjectName(QStringLiteral("MovBusy1"));
    MovBusy1->beginLoading();
    MovBusy1->setCaption(kBusyCaption);
    QFont messageFont(QStringLiteral("Tahoma"));
    messageFont.setPixelSize(11);
    MovBusy1->setMessage1Font(messageFont);
    MovBusy1->setMessage2Font(messageFont);
    MovBusy1->setMinDuration(kBusyMinDurationMs);
    MovBusy1->endLoading();
}

void TFrmDBTools::connectHandlers()
{
    connect(dbcDataList, &QCheckBox::clicked, this, [this] { dbcDataListClick(dbcDataList); });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(BitBtn6); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(BitBtn4); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(BitBtn5); });
}

void TFrmDBTools::FormCreate(QObject *)
{
    FListSQL = qrDBList->sqlText();
}

void TFrmDBTools::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || m_shown)
        return;
    m_shown = true;
    // An error escapes to the program's default error report.
    FormShow(this);
}

void TFrmDBTools::FormShow(QObject *)
{
    FDBName = openSettingsFile(Settings::kFileName)
                  .readString(Settings::kSection, Settings::kDataBaseName,
                              Settings::MaintenanceWindowDefault::kDataBaseName);
    lbDataBaseName->setText(FDBName);
    RefreshDBList();
    MovBusy1->AVISource()->setFileName(executableDirectory() + kBusyClip);
}

void TFrmDBTools::dbcDataListClick(QObject *)
{
    RefreshDBList();
}

void TFrmDBTools::useMaintenanceConnection()
{
    const MaintenanceConnection connection = maintenanceConnection();
    qrDBList->setConnectionString(connection.connectionString);
    qrBackUp->setConnectionString(connection.connectionString);
    StatusNotice->setFullText(connection.usesSavedLogin ? connection.notice : QString());
}

void TFrmDBTools::RefreshDBList()
{
    qrDBList->close();
    dsDBList->refresh();
    useMaintenanceConnection();
    qrDBList->setSqlText(FListSQL);
    if (dbcDataList->isChecked())
        AddSQLCondition(*qrDBList, QString::fromLatin1(movan::kProgramDatabasesCondition), kConditionConnector);
    qrDBList->open();
    dsDBList->refresh();
}

void TFrmDBTools::BitBtn6Click(QObject *)
{
    ShrinkLog();
}

void TFrmDBTools::showCompressStatus(const QString &text, const QColor &color)
{
    lbMessage_Compress->setVisible(true);
    lbMessage_Compress->setText(text);
    setTextColor(lbMessage_Compress, color);
    lbMessage_Compress->repaint();
    announce(lbMessage_Compress, text);
}

std::optional<int> TFrmDBTools::serverMajorVersion()
{
    DbQuery version;
    version.setConnection(qrCompressDB->connection());
    version.setParamCheck(false);
    version.setSqlText(QString::fromLatin1(movan::kServerVersionSql));
    version.open();
    const QString banner = version.eof() ? QString() : version.fieldByName(QStringLiteral("Version"));
    return movan::majorVersionFromBanner(banner.toStdString());
}

void TFrmDBTools::ShrinkLog()
{
    showCompressStatus(kShrinkWaiting, kBlack);
    try {
        // The server behind the shared connection stays the same for the
        // window's life: its version is asked once.
        if (!m_shrinkBatchChosen) {
            qrCompressDB->setSqlText(QString::fromLatin1(movan::logShrinkSql(serverMajorVersion())));
            m_shrinkBatchChosen = true;
        }
        DbQuery::Parameter &database = qrCompressDB->parameterByName(kDataBaseParameter);
        database.value = FDBName;
        database.isNull = false;
        qrCompressDB->execSQL();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "log shrink of %s failed: %s\n", FDBName.toUtf8().constData(), error.what());
        showCompressStatus(kShrinkFailed, kRed);
        // The status line has room for the fixed words only; why, and what
        // to do, come in a notice.
        if (!m_closeAfterCalls->closeRequested())
            ShowFailureNotice(QString(), kShrinkFailed, error);
        return;
    }
    // The status line is no further step: it shows the outcome even while
    // the window waits to close.
    showCompressStatus(kShrinkDone, kGreen);
}

void TFrmDBTools::BitBtn2Click(QObject *)
{
    removePendingRenames();
}

void TFrmDBTools::removePendingRenames()
{
    bool removed = false;
    try {
        MachineRegistry registry;
        // A key that cannot be opened is a failure too: nothing was removed.
        if (registry.openKey(kSessionManagerKey)) {
            removed = registry.deleteValue(kPendingRenamesValue);
            registry.closeKey();
        }
    } catch (const std::exception &error) {
        ShowFailureNotice(QString(), kRepairFailed, error);
        return;
    }
    if (removed)
        ShowMessageDialog(QString(), kRepairDone, mbOK, mtInformation);
    else
        ShowMessageDialog(QString(), kRepairKeyFailed, mbOK, mtError);
}

void TFrmDBTools::BitBtn4Click(QObject *)
{
    FTargetDB = DBLDBBackup->Text();
    QCoreApplication::processEvents();
    useMaintenanceConnection();
    backupDatabase(FTargetDB, currentDateTime(), {*SaveDialog1, *MovBusy1, *qrBackUp, *Gauge1, *m_closeAfterCalls});
}

void TFrmDBTools::qrBackUpFetchProgress(int progress, int maxProgress)
{
    followBackupProgress(*Gauge1, progress, maxProgress);
}

void TFrmDBTools::BitBtn5Click(QObject *)
{
    // A key that reaches the button while a restore waits on the server
    // starts nothing.
    if (m_restoreRunning)
        return;
    const QScopedValueRollback running(m_restoreRunning, true);
    // The bar tells a backup's progress; a restore has none to show, and the
    // last backup's 100% would read as the restore's.
    Gauge1->setProgress(0);
    FTargetDB = DBLDBBackup->Text();
    if (ShowMessageDialog(QString(), kRestoreWarning, mbOK | mbCancel, mtWarning) == kMessageDialogClosedResult)
        return;
    // Backups are where this program last wrote or found one, else where
    // the command line writes them.
    OpenDialogBak->setDirectory(lastBackupFolder());
    OpenDialogBak->selectNameFilter(kBackupFilesFilter);
    FBackupFile = OpenDialogBak->exec() == QDialog::Accepted && !OpenDialogBak->selectedFiles().isEmpty()
        ? OpenDialogBak->selectedFiles().constFirst()
        : QString();
    rememberBackupFile(FBackupFile);
    RestoreDataBase();
}

bool TFrmDBTools::RestoreDataBase()
{
    return movan::RestoreDataBase(FTargetDB, FBackupFile,
                                  {*this, *MovBusy1, *cmCreateDataBase, *QrRestore, *m_closeAfterCalls});
}

} // namespace movan
