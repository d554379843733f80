#pragma once

#include <QDateTime>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace movan {

class CloseAfterBlockingCall;
class ElidedLabel;
class DbQuery;
class QueryListSource;
class TGauge;
class TMovBusy;
class TMovDBLookupComboBox;

// The maintenance window: the database list, and the log shrink, the
// installation repair, backup and restore on its two tabs. Opened modally by
// the setup window while the shared connection of DMMain is open, and
// destroyed with the end of its modal loop.
class TFrmDBTools : public QWidget {
    Q_OBJECT
public:
    static const QString kClassName;
    // Enters the window under kClassName for ShowFormByClassName.
    static void registerClass();

    explicit TFrmDBTools(QWidget *parent = nullptr);
    ~TFrmDBTools() override;

    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QFrame *Panel2;
    QLabel *Label14;
    QGroupBox *GroupBox4;
    QLabel *Label15;
    QLabel *Label1;
    QLabel *lbDataBaseName;
    QLabel *lbMessage_Compress;
    QPushButton *BitBtn6;
    QLabel *Label4;
    QGroupBox *GroupBox2;
    QLabel *Label6;
    QPushButton *BitBtn2;
    QWidget *TabSheet2;
    QLabel *Label9;
    QLabel *Label10;
    QLabel *Label13;
    TMovDBLookupComboBox *DBLDBBackup;
    QCheckBox *dbcDataList;
    QPushButton *BitBtn4;
    QPushButton *BitBtn5;
    QLabel *Label12;
    TGauge *Gauge1;
    QStatusBar *StatusBar1;
    // Why the window uses another login than Windows authentication.
    ElidedLabel *StatusNotice;

    DbQuery *qrDBList;
    QueryListSource *dsDBList;
    DbQuery *qrCompressDB;
    DbQuery *qrBackUp;
    DbQuery *cmCreateDataBase;
    DbQuery *QrRestore;
    QFileDialog *SaveDialog1;
    QFileDialog *OpenDialogBak;
    TMovBusy *MovBusy1;

    const QString &dataBaseName() const { return FDBName; }

    // What the user does, and what it calls:
    // made                            -> FormCreate: the configured database's name
    void FormCreate(QObject *Sender);
    // first shown                     -> FormShow: RefreshDBList, backup tab in front
    void FormShow(QObject *Sender);
    // "Movan databases only" ticked   -> dbcDataListClick: RefreshDBList
    void dbcDataListClick(QObject *Sender);
    void RefreshDBList();
    // "Shrink the database" pressed   -> BitBtn6Click: ShrinkLog
    void BitBtn6Click(QObject *Sender);
    void ShrinkLog();
    // "Repair SQL setup" pressed      -> BitBtn2Click: removePendingRenames
    void BitBtn2Click(QObject *Sender);
    // The installation repair: the pending renames value that makes a SQL
    // Server setup ask for a restart, removed from the machine registry.
    void removePendingRenames();
    // "Make a backup" pressed         -> BitBtn4Click: backupDatabase
    void BitBtn4Click(QObject *Sender);
    // "Restore a backup" pressed      -> BitBtn5Click: warning, open dialog, RestoreDataBase
    void BitBtn5Click(QObject *Sender);
    bool RestoreDataBase();
    // the backup's "N percent processed" -> qrBackUpFetchProgress: the gauge.
    // No window calls this: backupDatabase hooks the gauge to qrBackUp itself
    // for the time of a backup.
    void qrBackUpFetchProgress(int progress, int maxProgress);

    // The date and time the proposed backup name is made of.
    std::function<QDateTime()> currentDateTime = [] { return QDateTime::currentDateTime(); };

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createTabSheet1();
    void createTabSheet2();
    void createComponents();
    void connectHandlers();
    // Points the list and the backup at this computer's default instance,
    // with the saved login when there is no Kerberos ticket, and says so in
    // the status bar.
    void useMaintenanceConnection();
    // Sets the text and colour of the log shrink's status line and paints it
    // at once.
    void showCompressStatus(const QString &text, const QColor &color);
    // The major version of the server the shared connection reaches, which
    // decides how its log can be let go.
    std::optional<int> serverMajorVersion();

    QString FDBName;
    QString FListSQL;
    QString FBackupFile;
    QString FTargetDB;
    bool m_shown = false;
    bool m_shrinkBatchChosen = false;
    bool m_restoreRunning = false;
    // Asked after every blocking call: a handler whose window is to close
    // shows nothing more and takes no further step.
    CloseAfterBlockingCall *m_closeAfterCalls = nullptr;
};

} // namespace movan
