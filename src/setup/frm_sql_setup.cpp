#include "setup/frm_sql_setup.h"

#include "ui/form_font.h"
#include "app/mov_single_instance.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

namespace {

const QString kCaption = QStringLiteral("Movan Config DataBase 4.0");
constexpr QSize kClientSize(296, 384);

} // namespace

TFrmSQLSetup::TFrmSQLSetup(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    // The resources sit in a static library, whose registration the linker
    // would otherwise drop.
    Q_INIT_RESOURCE(app);
    setObjectName(QStringLiteral("FrmSQLSetup"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/app/movan.png")));
    setFont(formFont());
    // A fixed dialog border: the client area cannot be resized.
    setFixedSize(kClientSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    createComponents();
}

TFrmSQLSetup::~TFrmSQLSetup() = default;

void TFrmSQLSetup::createComponents()
{
    // Every component first gets its properties, then each is told it is
    // loaded; the guard acts at that moment, before the window is shown.
    MovSingleInstance1 = new TMovSingleInstance(this);
    MovSingleInstance1->setObjectName(QStringLiteral("MovSingleInstance1"));
    MovSingleInstance1->beginLoading();

    MovSingleInstance1->endLoading();
}
