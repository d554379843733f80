#include "setup/frm_sql_setup.h"

#include "db/blocking_call.h"
#include "platform/computer_info.h"
#include "setup/batches.h"
#include "single_instance/mov_single_instance.h"
#include "ui/accessible_role.h"
#include "ui/form_font.h"
#include "util/system_info.h"
#include "widgets/balloon/balloon_control.h"
#include "widgets/close_guard/close_after_call.h"
#include "widgets/edit/mov_edit_box.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

// The resources sit in a static library, whose registration the linker would
// otherwise drop; they are registered by a global name, so outside the
// program's namespace.
static void registerProgramPictures()
{
    Q_INIT_RESOURCE(app);
}

namespace movan {

namespace {

const QString kCaption = QStringLiteral("Movan Config DataBase 4.0");
constexpr QSize kClientSize(296, 384);
// Edit boxes and the server box are as high as a one-line field at 11 pixels.
constexpr int kFieldHeight = 21;
constexpr int kBottomPanelHeight = 34;

const QString kTabSheetCaption = QStringLiteral("تنظيم ارتباط با بانک اطلاعاتي");
const QString kServerLabel = QStringLiteral("Server :");
const QString kHelpHint = QStringLiteral("راهنما");
// The server box's own edit field has no label of its own.
const QString kServerFieldName = QStringLiteral("نام سرور");
const QString kDataBaseNameBox = QStringLiteral("نام بانک اطلاعاتي");
const QString kDataBaseNameLabel = QStringLiteral("DataBase Name :");
// Laid out left to right, so the English name stands at the left of the
// Persian words and the whole reads from the right.
const QString kConnectionKindBox = QStringLiteral("SQL Server نحوه برقراري ارتباط با");
const QString kWindowsAuthentication = QStringLiteral("Use Windows authentication");
const QString kSqlAuthentication = QStringLiteral("Use Sql Server authentication");
const QString kLoginNameLabel = QStringLiteral("Login Name :");
const QString kPasswordLabel = QStringLiteral("Password :");
const QString kDefaultLogin = QStringLiteral("sa");
const QString kConfirm = QStringLiteral("تاييد");
const QString kCancel = QStringLiteral("انصراف");
const QString kTools = QStringLiteral("امکانات");

const QString kBalloonTitle = QStringLiteral("Movan System");
const QStringList kBalloonLines = {
    QStringLiteral("نام کامپيوتر شما با نام سرور تعيين شده در نرم افزار برابر نيست"),
    QStringLiteral("در صورتيکه کامپيوتر فعلي سرور شماست نام سرور و يا آدرس آي پي را انتخاب نماييد"),
    QStringLiteral("نکته : آدرس آي پي جهت کار با نرم افزار تحت شبکه مي باشد"),
};
constexpr int kBalloonSeconds = 10;

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/app/movan-config-%1.png").arg(size), QSize(size, size));
    return icon;
}

template <class Control> Control *place(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

// A label sized to its text, as the window's labels are.
QLabel *placeLabel(QWidget *parent, const char *name, const QString &text, QPoint at)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->adjustSize();
    label->move(at);
    return label;
}

// The English captions are set a little wider in the Persian UI font than
// the window was drawn for: a caption that would run into its field moves
// left instead of disappearing under it.
void keepClearOf(QLabel *label, QWidget *field)
{
    constexpr int kGap = 3;
    label->setBuddy(field);
    if (label->geometry().right() + kGap >= field->x())
        label->move(std::max(0, field->x() - kGap - label->width()), label->y());
}

QPushButton *placeButton(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *button = place<QPushButton>(parent, name, geometry);
    button->setText(text);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TFrmSQLSetup::TFrmSQLSetup(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_localAddress(ComputerInfo::localIPv4Address)
{
    registerProgramPictures();
    setObjectName(QStringLiteral("FrmSQLSetup"));
    setWindowTitle(kCaption);
    setWindowIcon(programIcon());
    // The window is drawn left to right, the Persian captions right to left
    // inside it, whatever direction the program gives its dialogs.
    setLayoutDirection(Qt::LeftToRight);
    setAccessibleRole(this, QAccessible::Window);
    setFont(formFont());
    // A fixed dialog border: the client area cannot be resized.
    setFixedSize(kClientSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    createControls();
    createComponents();
    connectHandlers();
    setTabOrders();
    m_closeAfterCalls = new CloseAfterBlockingCall(this);
}

TFrmSQLSetup::~TFrmSQLSetup() = default;

void TFrmSQLSetup::createControls()
{
    Panel1 = place<QWidget>(this, "Panel1", rect());

    PageControl1 = place<QTabWidget>(Panel1, "PageControl1", {8, 8, 281, 369});
    PageControl1->setCursor(Qt::PointingHandCursor);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    // The hand belongs to the page control's tabs, not to what the page holds.
    TabSheet1->setCursor(Qt::ArrowCursor);
    PageControl1->addTab(TabSheet1, kTabSheetCaption);
    TabSheet1->installEventFilter(this);

    Image1 = place<QLabel>(TabSheet1, "Image1", {11, 16, 37, 36});
    Image1->setPixmap(QIcon(QStringLiteral(":/app/image1.png")).pixmap(QSize(37, 36), devicePixelRatio()));
    // A label paints no background of its own: the page shows through the
    // picture's transparent parts.

    Label1 = placeLabel(TabSheet1, "Label1", kServerLabel, {52, 31});
    cbServer = place<QComboBox>(TabSheet1, "cbServer", {94, 28, 145, kFieldHeight});
    cbServer->setEditable(true);
    // Enter in the box moves nowhere and adds nothing: the list is the window's.
    cbServer->setInsertPolicy(QComboBox::NoInsert);
    cbServer->lineEdit()->setAccessibleName(kServerFieldName);

    keepClearOf(Label1, cbServer);

    SpeedButton1 = place<QToolButton>(TabSheet1, "SpeedButton1", {239, 24, 28, 28});
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setIcon(QIcon(QStringLiteral(":/app/help-glyph.png")));
    SpeedButton1->setIconSize(QSize(20, 20));
    SpeedButton1->setToolTip(kHelpHint);
    SpeedButton1->setAccessibleName(kHelpHint);
    SpeedButton1->setCursor(Qt::PointingHandCursor);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->hide();

    GroupBox2 = place<QGroupBox>(TabSheet1, "GroupBox2", {10, 64, 229, 59});
    GroupBox2->setTitle(kDataBaseNameBox);
    Label4 = placeLabel(GroupBox2, "Label4", kDataBaseNameLabel, {9, 30});
    EdtDataBaseName = place<TMovEditBox>(GroupBox2, "EdtDataBaseName", {94, 27, 121, kFieldHeight});
    keepClearOf(Label4, EdtDataBaseName);

    GroupBox1 = place<QGroupBox>(TabSheet1, "GroupBox1", {10, 134, 230, 157});
    GroupBox1->setTitle(kConnectionKindBox);
    rgWindows = place<QRadioButton>(GroupBox1, "rgWindows", {16, 32, 164, 17});
    rgWindows->setText(kWindowsAuthentication);
    rgSql = place<QRadioButton>(GroupBox1, "rgSql", {16, 58, 164, 17});
    rgSql->setText(kSqlAuthentication);
    rgSql->setChecked(true);
    // The Persian UI font sets these English captions a little wider than
    // the box was drawn for; they grow to the right rather than lose letters.
    for (QRadioButton *radio : {rgWindows, rgSql})
        radio->resize(std::max(radio->width(), radio->sizeHint().width()), radio->height());
    Label2 = placeLabel(GroupBox1, "Label2", kLoginNameLabel, {25, 103});
    EdtLogName = place<TMovEditBox>(GroupBox1, "EdtLogName", {96, 102, 121, kFieldHeight});
    EdtLogName->setText(kDefaultLogin);
    Label3 = placeLabel(GroupBox1, "Label3", kPasswordLabel, {25, 127});
    EdtPassword = place<TMovEditBox>(GroupBox1, "EdtPassword", {96, 126, 121, kFieldHeight});
    EdtPassword->setPasswordChar(u'*');
    keepClearOf(Label2, EdtLogName);
    keepClearOf(Label3, EdtPassword);

    // Placed at the bottom of the page once the page has its size.
    Panel2 = place<QWidget>(TabSheet1, "Panel2", {});
    BitBtn1 = placeButton(Panel2, "BitBtn1", kConfirm, {9, 5, 75, 25});
    BitBtn2 = placeButton(Panel2, "BitBtn2", kCancel, {100, 5, 75, 25});
    BitBtn3 = placeButton(Panel2, "BitBtn3", kTools, {183, 5, 75, 25});
}

void TFrmSQLSetup::createComponents()
{
    // Every component first gets its properties, then each is told it is
    // loaded; the guard acts at that moment, before the window is shown.
    MovSingleInstance1 = new TMovSingleInstance(this);
    MovSingleInstance1->setObjectName(QStringLiteral("MovSingleInstance1"));
    MovSingleInstance1->beginLoading();

    BalloonControl1 = new TBalloonControl(this);
    BalloonControl1->setObjectName(QStringLiteral("BalloonControl1"));
    BalloonControl1->setControl(cbServer);
    BalloonControl1->setTitle(kBalloonTitle);
    BalloonControl1->setBalloonType(blnWarning);
    BalloonControl1->setDuration(kBalloonSeconds);
    BalloonControl1->setHorizontal(blnLeft);
    BalloonControl1->setVertical(blnCenter);
    BalloonControl1->setPosition(blnArrowBottomRight);
    BalloonControl1->setPixelCoordinateX(0);
    BalloonControl1->setPixelCoordinateY(0);
    BalloonControl1->setText(kBalloonLines);

    // The batch holds no parameters; its text goes to the server as it stands.
    qrGetInstance.setParamCheck(false);
    qrGetInstance.setSqlText(
        QString::fromLatin1(movan::kInstanceListSql.data(), qsizetype(movan::kInstanceListSql.size())));

    MovSingleInstance1->endLoading();
}

void TFrmSQLSetup::connectHandlers()
{
    connect(BitBtn1, &QPushButton::clicked, this, &TFrmSQLSetup::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFrmSQLSetup::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TFrmSQLSetup::BitBtn3Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TFrmSQLSetup::SpeedButton1Click);
    // A radio button's click handler runs when it becomes selected, by the
    // user or by the program, and not when it already was.
    connect(rgWindows, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            rgWindowsClick();
    });
    connect(rgSql, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            rgSqlClick();
    });
    EdtDataBaseName->OnEnter = [this](QObject *) { EdtDataBaseNameEnter(); };
    EdtLogName->OnEnter = [this](QObject *) { EdtLogNameEnter(); };
    // The English layout is for these fields only: leaving one gives the
    // user their own layout back.
    for (TMovEditBox *field : {EdtDataBaseName, EdtLogName})
        field->OnExit = [](QObject *) { RestoreUserKeyboardLayout(); };
}

void TFrmSQLSetup::setTabOrders()
{
    // Within the page: the authentication box, the server, the database
    // name, then the buttons.
    const QList<QWidget *> order = {PageControl1, rgWindows,       rgSql,   EdtLogName, EdtPassword,
                                    cbServer,     EdtDataBaseName, BitBtn1, BitBtn2,    BitBtn3};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // The two authentication choices are one stop, the checked one; the
    // arrow keys move between them.
    const auto tabToCheckedChoice = [this] {
        for (QRadioButton *choice : {rgWindows, rgSql})
            choice->setFocusPolicy(choice->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QRadioButton *choice : {rgWindows, rgSql})
        connect(choice, &QRadioButton::toggled, this, tabToCheckedChoice);
    tabToCheckedChoice();
}

bool TFrmSQLSetup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TabSheet1 && event->type() == QEvent::Resize)
        Panel2->setGeometry(0, TabSheet1->height() - kBottomPanelHeight, TabSheet1->width(), kBottomPanelHeight);
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        startShowSequence();
    return QWidget::eventFilter(watched, event);
}

void TFrmSQLSetup::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_showSequenceStarted)
        return;
    // Once the window is on the screen where the window manager put it, so
    // that it paints while the server is asked for its instances and the
    // balloon points at where the server box really is.
    if (windowHandle())
        windowHandle()->installEventFilter(this);
    else
        startShowSequence();
}

void TFrmSQLSetup::startShowSequence()
{
    if (m_showSequenceStarted)
        return;
    m_showSequenceStarted = true;
    if (windowHandle())
        windowHandle()->removeEventFilter(this);
    QMetaObject::invokeMethod(this, &TFrmSQLSetup::FormShow, Qt::QueuedConnection);
}

} // namespace movan
