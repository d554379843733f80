#pragma once

#include <QDateTime>
#include <QWidget>

#include <functional>

class QCheckBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace movan {

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

    void FormCreate(QObject *Sender);
    void FormShow(QObject *Sender);
    void dbcDataListClick(QObject *Sender);
    void RefreshDBList();
    void BitBtn6Click(QObject *Sender);
    void ShrinkLog();
    void BitBtn2Click(QObject *Sender);
    void BitBtn4Click(QObject *Sender);
    void BitBtn5Click(QObject *Sender);
    bool RestoreDataBase();
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
    // Sets the text and colour of the log shrink's status line and paints it
    // at once.
    void showCompressStatus(const QString &text, const QColor &color);

    QString FDBName;
    QString FListSQL;
    QString FBackupFile;
    QString FTargetDB;
    bool m_shown = false;
    bool m_restoreRunning = false;
};

} // namespace movan
