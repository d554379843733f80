#include "widgets/busy/mov_busy.h"

#include "stored_properties/persistent_errors.h"
#include "util/line_breaks.h"
#include "widgets/animation/animation_control.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibrary>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryFile>

#include <algorithm>

namespace movan {

namespace {

QFont defaultMessageFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    return font;
}

// A fresh file in the user's temporary folder that no other process can take
// over: created exclusively, readable by us only, and left for the caller.
QString newTempClipFile()
{
    QTemporaryFile file(QDir(QDir::tempPath()).filePath(QStringLiteral("movan-busy-XXXXXX.avi")));
    file.setAutoRemove(false);
    if (!file.open())
        throw EFCreateError::cannotCreate(file.fileTemplate(), file.errorString());
    return file.fileName();
}

// The window the application regards as its main one: the one it names in
// its "mainForm" property, else the first visible ordinary top-level window.
QWidget *mainForm()
{
    if (qApp) {
        if (auto *named = qvariant_cast<QWidget *>(qApp->property("mainForm")))
            return named;
    }
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowType() == Qt::Window && !qobject_cast<TMovsfBusy *>(widget))
            return widget;
    }
    return nullptr;
}

// A message reads from its own side: a Persian one from the right edge of
// the window's text column, a Latin one from the left.
void alignToReadingDirection(QLabel *label)
{
    label->setLayoutDirection(label->text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
}

// The label's text column: from its place at the left margin to the same
// margin on the right.
QRect acrossTheColumn(const QRect &placed, const QSize &client)
{
    QRect column = placed;
    column.setRight(std::max(placed.right(), client.width() - 1 - placed.left()));
    return column;
}

QPoint centredOn(const QRect &area, const QSize &size)
{
    return QPoint(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
}

} // namespace

TMovBusy::TMovBusy(QObject *owner)
    : TPersistent(owner)
    , m_aviSource(new TabcAVISource(this))
    , m_message1Font(defaultMessageFont())
    , m_message2Font(defaultMessageFont())
{
    m_aviSource->setObjectName(QStringLiteral("AVISource"));
}

TMovBusy::~TMovBusy()
{
    if (m_form)
        Hide();
}

void TMovBusy::setAVISource(TabcAVISource *value)
{
    m_aviSource->Assign(value);
}

void TMovBusy::setCaption(const QString &value)
{
    m_caption = value;
    if (m_form)
        m_form->setWindowTitle(value);
}

void TMovBusy::setDlgColor(const QColor &value)
{
    m_dlgColor = value;
    if (m_form) {
        QPalette palette = m_form->palette();
        palette.setColor(QPalette::Window, value.isValid() ? value : QApplication::palette().color(QPalette::Button));
        m_form->setPalette(palette);
    }
}

void TMovBusy::setDlgLeft(int value)
{
    m_dlgLeft = value;
    m_dlgPosition = appCustom;
}

void TMovBusy::setDlgTop(int value)
{
    m_dlgTop = value;
    m_dlgPosition = appCustom;
}

void TMovBusy::setDlgHeight(int value)
{
    m_dlgHeight = value;
    m_autoSize = false;
}

void TMovBusy::setDlgPosition(TabcPopupPosition value)
{
    m_dlgPosition = value;
    if (value != appCustom) {
        m_dlgLeft = 0;
        m_dlgTop = 0;
    }
}

void TMovBusy::includeOption(TabcBusyOption option)
{
    if (!m_loading)
        m_options += option;
}

template <typename T> bool TMovBusy::storeShownValue(T &field, const T &value, TabcBusyOption option)
{
    if (value == field)
        return false;
    field = value;
    if (value != T())
        includeOption(option);
    return true;
}

void TMovBusy::setMessage1(const QString &value)
{
    if (storeShownValue(m_message1, value, abdShowMessage1) && m_form) {
        m_form->lblMessage1->setText(displayLineBreaks(value));
        alignToReadingDirection(m_form->lblMessage1);
    }
}

void TMovBusy::setMessage2(const QString &value)
{
    if (storeShownValue(m_message2, value, abdShowMessage2) && m_form) {
        m_form->lblMessage2->setText(displayLineBreaks(value));
        alignToReadingDirection(m_form->lblMessage2);
    }
}

void TMovBusy::setMessage1Font(const QFont &value)
{
    m_message1Font = value;
    if (m_form)
        m_form->lblMessage1->setFont(value);
}

void TMovBusy::setMessage2Font(const QFont &value)
{
    m_message2Font = value;
    if (m_form)
        m_form->lblMessage2->setFont(value);
}

void TMovBusy::applyProgress(TMovsfBusy &form) const
{
    form.ProgressBar->setMinimum(m_progressMin);
    form.ProgressBar->setMaximum(m_progressMax);
    form.ProgressBar->setValue(m_progressPos);
    form.setProgressStep(m_progressStep);
}

void TMovBusy::setProgressMin(int value)
{
    if (storeShownValue(m_progressMin, value, abdShowProgress) && m_form)
        m_form->ProgressBar->setMinimum(value);
}

void TMovBusy::setProgressMax(int value)
{
    if (storeShownValue(m_progressMax, value, abdShowProgress) && m_form)
        m_form->ProgressBar->setMaximum(value);
}

void TMovBusy::setProgressPos(int value)
{
    if (storeShownValue(m_progressPos, value, abdShowProgress) && m_form)
        m_form->ProgressBar->setValue(value);
}

void TMovBusy::setProgressStep(int value)
{
    if (storeShownValue(m_progressStep, value, abdShowProgress) && m_form)
        m_form->setProgressStep(value);
}

void TMovBusy::setOnFormClose(CloseEvent value)
{
    m_onFormClose = std::move(value);
    if (m_form)
        m_form->closeHook = m_onFormClose;
}

void TMovBusy::CancelClick(QObject *)
{
    m_cancelled = true;
    if (OnCancel)
        OnCancel(this);
    Hide();
}

void TMovBusy::handClipToAnimation(TMovsfBusy &form)
{
    AnimationControl &animate = *form.Animate;
    TabcAVISource &source = *m_aviSource;
    if (source.CommonAVI() != aviNone) {
        animate.setCommonAVI(source.CommonAVI());
    } else if (!source.FileName().isEmpty()) {
        animate.setFileName(source.FileName());
    } else if (!source.Data()->IsEmpty()) {
        QString clipFile = source.TempFileName();
        if (clipFile.isEmpty() || !QFile::exists(clipFile)) {
            clipFile = newTempClipFile();
            source.WriteDataToFile(clipFile);
        }
        animate.setFileName(clipFile);
    } else {
        QLibrary *module = nullptr;
        if (!source.ResourceModule().isEmpty()) {
            // With no type to look under, the lookup could only fail; the
            // control finds its clips under "AVI" once the module is loaded.
            if (source.ResourceType().isEmpty())
                source.loadModule();
            else
                source.ResourceHandle();
            module = source.moduleHandle();
        }
        if (!source.ResourceName().isEmpty())
            animate.setResourceName(module, source.ResourceName());
        else
            animate.setResourceID(module, source.ResourceID());
    }
}

QSize TMovBusy::arrange(TMovsfBusy &form)
{
    BusyLayout::Input input;
    input.hasCaption = m_options.contains(abdShowCaption);
    input.captionWidth = form.CaptionWidth();
    input.metrics = form.frameMetrics();
    input.wordWrap = m_wordWrap;
    input.aviShown = !form.Animate->isHidden();
    input.aviSize = form.Animate->size();
    QLabel *labels[] = {form.lblMessage1, form.lblMessage2};
    BusyLayout::LabelInput *labelInputs[] = {&input.message1, &input.message2};
    for (int i = 0; i < 2; ++i) {
        QLabel *label = labels[i];
        BusyLayout::LabelInput &labelInput = *labelInputs[i];
        labelInput.shown = !label->isHidden();
        if (!labelInput.shown)
            continue;
        label->setWordWrap(false);
        labelInput.natural = label->sizeHint();
        label->setWordWrap(m_wordWrap);
        labelInput.wrappedHeight = [label](int width) {
            const int height = label->heightForWidth(width);
            return height > 0 ? height : label->sizeHint().height();
        };
    }
    input.progressShown = !form.ProgressBar->isHidden();
    input.progressSize = form.ProgressBar->size();
    input.cancelShown = !form.btnCancel->isHidden();
    input.cancelSize = form.btnCancel->size();

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    BusyLayout::Result result;
    if (m_autoSize) {
        result = m_aviPosition == avpTop ? BusyLayout::SizeToContentTop(input, m_dlgWidth, desktop.width())
                                         : BusyLayout::SizeToContentLeft(input, desktop.width());
    } else {
        const QSize outer(m_dlgWidth, m_dlgHeight);
        result = m_aviPosition == avpTop ? BusyLayout::PlaceControlsTop(input, outer)
                                         : BusyLayout::PlaceControlsLeft(input, outer);
    }
    if (input.aviShown)
        form.Animate->setGeometry(result.avi);
    if (input.message1.shown)
        form.lblMessage1->setGeometry(acrossTheColumn(result.message1, result.clientSize));
    if (input.message2.shown)
        form.lblMessage2->setGeometry(acrossTheColumn(result.message2, result.clientSize));
    for (QLabel *label : labels)
        alignToReadingDirection(label);
    if (input.progressShown)
        form.ProgressBar->setGeometry(result.progress);
    if (input.cancelShown)
        form.btnCancel->setGeometry(result.cancel);
    form.setFixedSize(result.clientSize.expandedTo(QSize(1, 1)));
    return result.outerSize;
}

void TMovBusy::position(TMovsfBusy &form, QSize outer)
{
    QPoint topLeft;
    switch (m_dlgPosition) {
    case appScreenCenter: {
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        topLeft = centredOn(screen->availableGeometry(), outer);
        break;
    }
    case appMainFormCenter:
    case appActiveFormCenter: {
        QWidget *anchor = nullptr;
        if (m_dlgPosition == appActiveFormCenter) {
            anchor = QApplication::activeWindow();
            if (qobject_cast<TMovsfBusy *>(anchor))
                anchor = nullptr;
        }
        if (!anchor)
            anchor = mainForm();
        if (!anchor) {
            // No main window to centre on: the screen is the next best.
            if (const QScreen *screen = QGuiApplication::primaryScreen())
                topLeft = centredOn(screen->availableGeometry(), outer);
            break;
        }
        topLeft = centredOn(anchor->frameGeometry(), outer);
        break;
    }
    case appCustom:
        topLeft = QPoint(m_dlgLeft, m_dlgTop);
        break;
    }
    form.move(topLeft);
}

void TMovBusy::CreateBusyForm()
{
    if (m_form)
        return;
    // The window belongs to the application, not to this component: it may
    // outlive it while it waits out its minimum display time.
    auto *form = new TMovsfBusy(nullptr);
    m_form = form;
    form->setCaptionBar(m_options.contains(abdShowCaption));
    form->setWindowTitle(m_caption);
    setDlgColor(m_dlgColor);
    // Opening the clip may fail; the window is then remembered, unshown,
    // until Hide disposes of it.
    if (m_options.contains(abdShowAVI)) {
        form->Animate->stop();
        form->Animate->setVisible(true);
        if (!m_aviSource->IsEmpty())
            handClipToAnimation(*form);
        form->Animate->setTransparent(m_aviTransparent);
        form->Animate->OnStart = OnStartAVI;
    }
    if (m_options.contains(abdShowMessage1)) {
        form->lblMessage1->setVisible(true);
        form->lblMessage1->setText(displayLineBreaks(m_message1));
        form->lblMessage1->setFont(m_message1Font);
    }
    if (m_options.contains(abdShowMessage2)) {
        form->lblMessage2->setVisible(true);
        form->lblMessage2->setText(displayLineBreaks(m_message2));
        form->lblMessage2->setFont(m_message2Font);
    }
    if (m_options.contains(abdShowProgress)) {
        form->ProgressBar->setVisible(true);
        applyProgress(*form);
    }
    // Handlers handed to the window check that this component still exists.
    const QPointer<TMovBusy> self(this);
    if (m_options.contains(abdShowCancel)) {
        form->btnCancel->setText(TMovsfBusy::cancelCaption());
        form->btnCancel->setVisible(true);
        form->cancelClickHandler = [self](QObject *sender) {
            if (self)
                self->CancelClick(sender);
        };
    }
    position(*form, arrange(*form));
    if (OnFormCreate)
        OnFormCreate(this);
    form->showHook = [self](QObject *sender) {
        if (self)
            self->BusyFormShow(sender);
    };
    form->activateHook = [self](QObject *sender) {
        if (self)
            self->BusyFormActivate(sender);
    };
    form->closeHook = m_onFormClose;
}

void TMovBusy::BusyFormActivate(QObject *)
{
    QCoreApplication::processEvents();
    if (OnFormActivate)
        OnFormActivate(this);
}

void TMovBusy::BusyFormShow(QObject *sender)
{
    TMovsfBusy *form = qobject_cast<TMovsfBusy *>(sender);
    if (!form)
        form = m_form;
    if (form)
        form->EarliestCloseTick = TMovsfBusy::tickCount() + m_minDuration;
    if (OnFormShow)
        OnFormShow(this);
}

void TMovBusy::Show()
{
    CreateBusyForm();
    m_cancelled = false;
    m_form->show();
    m_form->raise();
    m_form->activateWindow();
    QCoreApplication::processEvents();
}

int TMovBusy::ShowModal()
{
    CreateBusyForm();
    m_cancelled = false;
    const QPointer<TMovsfBusy> form = m_form;
    form->setModal(true);
    return form->exec();
}

void TMovBusy::Hide()
{
    if (!m_form)
        return;
    TMovsfBusy *form = m_form;
    m_form = nullptr;
    if (form->windowHandle())
        QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
    else
        form->deleteLater();
}

QList<TPersistentChild> TMovBusy::persistentChildren() const
{
    return {{QStringLiteral("AVISource"), m_aviSource}};
}

} // namespace movan
