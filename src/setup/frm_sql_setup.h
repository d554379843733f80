#pragma once

#include "db/database.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace movan {

class CloseAfterBlockingCall;
class TBalloonControl;
class TMovEditBox;
class TMovSingleInstance;

// The connection setup window, the program's main window: it shows the
// settings of InitPrg.ini, offers the SQL Server instances of this computer,
// saves and tests the settings, attaches the default database when the test
// fails, and opens the maintenance window.
class TFrmSQLSetup : public QWidget {
    Q_OBJECT
public:
    explicit TFrmSQLSetup(QWidget *parent = nullptr);
    ~TFrmSQLSetup() override;

    // The local address captured while the window was first shown; empty
    // when the computer has none.
    const QString &capturedAddress() const { return m_capturedAddress; }
    // Where the local address comes from (the computer's own name resolved);
    // replaceable to show the window on a computer without an address.
    void setLocalAddressSource(std::function<QString()> source) { m_localAddress = std::move(source); }

    // What the user does, and what it calls:
    // first shown                    -> FormShow: settings read, server list filled
    void FormShow();
    // "Confirm" pressed              -> BitBtn1Click: settings saved, connectFromSettings,
    //                                   on failure the offer to attach the default database
    void BitBtn1Click();
    // "Cancel" pressed               -> BitBtn2Click: the window closes
    void BitBtn2Click();
    // "Tools" pressed                -> BitBtn3Click: connectFromSettings (the saved settings),
    //                                   ShowFormByClassName(kMaintenanceWindowClassName)
    void BitBtn3Click();
    // Windows authentication chosen  -> rgWindowsClick: login and password greyed
    void rgWindowsClick();
    // SQL Server login chosen        -> rgSqlClick: login and password open
    void rgSqlClick();
    // database name or login entered -> the English keyboard layout
    void EdtDataBaseNameEnter();
    void EdtLogNameEnter();
    // help pressed (the button is hidden) -> SpeedButton1Click: the server box's balloon
    void SpeedButton1Click();

    QWidget *Panel1 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *cbServer = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label4 = nullptr;
    TMovEditBox *EdtDataBaseName = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QRadioButton *rgWindows = nullptr;
    QRadioButton *rgSql = nullptr;
    QLabel *Label2 = nullptr;
    TMovEditBox *EdtLogName = nullptr;
    QLabel *Label3 = nullptr;
    TMovEditBox *EdtPassword = nullptr;
    QWidget *Panel2 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;

    TMovSingleInstance *MovSingleInstance1 = nullptr;
    TBalloonControl *BalloonControl1 = nullptr;
    DbCommand qrAttachDB;
    DbQuery qrGetInstance;

signals:
    // The show sequence has run (once, after the first show).
    void showSequenceFinished();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void startShowSequence();
    void createControls();
    void createComponents();
    void connectHandlers();
    void setTabOrders();

    void UpdateLoginControls();
    QStringList readNamedInstances();
    void saveSettings();
    void attachDefaultDatabase();

    CloseAfterBlockingCall *m_closeAfterCalls = nullptr;
    std::function<QString()> m_localAddress;
    QString m_capturedAddress;
    bool m_showSequenceStarted = false;
};

} // namespace movan
