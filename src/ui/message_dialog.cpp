#include "ui/message_dialog.h"

#include "ui/accessible_role.h"
#include "ui/form_font.h"
#include "ui/window_title.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <array>
#include <memory>

namespace movan {

namespace {

struct ButtonInfo {
    TMsgDlgBtn bit;
    int result; // 0: the button does not close the dialog
    const char *standardCaption;
    const char *objectName;
};

// In the order the dialog lays them out.
constexpr std::array<ButtonInfo, 11> kButtons{{
    {mbYes, 6, "&Yes", "Yes"},
    {mbNo, 7, "&No", "No"},
    {mbOK, 1, "OK", "OK"},
    {mbCancel, 2, "Cancel", "Cancel"},
    {mbAbort, 3, "&Abort", "Abort"},
    {mbRetry, 4, "&Retry", "Retry"},
    {mbIgnore, 5, "&Ignore", "Ignore"},
    {mbAll, 8, "&All", "All"},
    {mbNoToAll, 9, "N&o to All", "NoToAll"},
    {mbYesToAll, 10, "Yes to &All", "YesToAll"},
    {mbHelp, 0, "&Help", "Help"},
}};

const QString kLabelYes = QStringLiteral("بلي");
const QString kLabelNo = QStringLiteral("خير");
const QString kLabelConfirm = QStringLiteral("تاييد");
const QString kLabelCancel = QStringLiteral("انصراف");
const QString kLabelRetry = QStringLiteral("سعي مجدد");
const QString kLabelIgnore = QStringLiteral("صرفنظر");
const QString kLabelAll = QStringLiteral("همگي");
const QString kLabelNoToAll = QStringLiteral("همگي خير");
const QString kLabelYesToAll = QStringLiteral("همگي بلي");
const QString kLabelHelp = QStringLiteral("راهنما");

// Persian labels for the exact button sets that have them, in button order;
// any other set keeps the standard captions.
QStringList persianLabels(quint16 buttons)
{
    switch (buttons) {
    case mbYes:
        return {kLabelYes};
    case mbNo:
        return {kLabelNo};
    case mbOK:
        return {kLabelConfirm};
    case mbCancel:
    case mbAbort: // an abort is worded as a cancel
        return {kLabelCancel};
    case mbRetry:
        return {kLabelRetry};
    case mbIgnore:
        return {kLabelIgnore};
    case mbAll:
        return {kLabelAll};
    case mbNoToAll:
        return {kLabelNoToAll};
    case mbYesToAll:
        return {kLabelYesToAll};
    case mbHelp:
        return {kLabelHelp};
    case mbYes | mbNo | mbCancel:
        return {kLabelYes, kLabelNo, kLabelCancel};
    // Yes and no rather than confirm and cancel; the results stay 1 and 2.
    case mbOK | mbCancel:
        return {kLabelYes, kLabelNo};
    case mbAbort | mbRetry | mbIgnore:
        return {kLabelCancel, kLabelRetry, kLabelIgnore};
    case mbAbort | mbIgnore:
        return {kLabelCancel, kLabelIgnore};
    default:
        return {};
    }
}

quint16 defaultButton(quint16 buttons)
{
    for (TMsgDlgBtn bit : {mbOK, mbYes, mbRetry})
        if (buttons & bit)
            return bit;
    return 0;
}

quint16 cancelButton(quint16 buttons)
{
    for (TMsgDlgBtn bit : {mbCancel, mbNo, mbOK})
        if (buttons & bit)
            return bit;
    return 0;
}

QStyle::StandardPixmap kindIcon(quint8 kind, bool *hasIcon)
{
    *hasIcon = true;
    switch (kind) {
    case mtWarning:
        return QStyle::SP_MessageBoxWarning;
    case mtError:
        return QStyle::SP_MessageBoxCritical;
    case mtInformation:
        return QStyle::SP_MessageBoxInformation;
    case mtConfirmation:
        return QStyle::SP_MessageBoxQuestion;
    default:
        *hasIcon = false;
        return QStyle::SP_CustomBase;
    }
}

// The message box's margins at this font, in pixels: the layout users of the
// sibling programs already see in their notices.
constexpr int kMargin = 12;
constexpr int kSpacing = 15;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonSpacing = 6;
constexpr int kIconSize = 32;
constexpr int kTitleBarButtonsWidth = 120;

bool lineHasRightToLeftLetter(const QString &line)
{
    for (const QChar c : line) {
        const QChar::Direction direction = c.direction();
        if (direction == QChar::DirR || direction == QChar::DirAL)
            return true;
    }
    return false;
}

class MessageDialog : public QDialog {
public:
    MessageDialog()
        : QDialog(nullptr,
                  Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                      | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    {}

    QPushButton *escapeButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            // Without a cancel button Escape does nothing; it never means the close box.
            if (escapeButton)
                escapeButton->click();
            return;
        }
        QDialog::keyPressEvent(event);
    }

    void reject() override { done(kMessageDialogClosedResult); }
};

// Qt picks each line's direction from its first strong letter, so a
// message that opens with Latin letters ("SQL Server ...") would read left
// to right; a right-to-left mark at the head of every line makes the whole
// message read right to left, as the dialog asks for. A line without a
// single right-to-left letter (a server's English reason under a Persian
// sentence) is still placed from the right, but embedded left to right
// within it, so its full stop stays at its end.
QString readRightToLeft(const QString &text)
{
    const QChar rightToLeftMark(0x200F);
    const QChar leftToRightEmbedding(0x202A);
    const QChar popDirectionalFormatting(0x202C);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (lineHasRightToLeftLetter(line) || line.isEmpty())
            line.prepend(rightToLeftMark);
        else
            line = QString(rightToLeftMark) + leftToRightEmbedding + line + popDirectionalFormatting;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

namespace {

// The kind's icon, then the text, reading from the right.
void addIconAndText(MessageDialog *dialog, QBoxLayout *outer, const QString &message, quint8 kind)
{
    auto *body = new QHBoxLayout;
    body->setSpacing(kSpacing);
    bool hasIcon = false;
    const QStyle::StandardPixmap pixmap = kindIcon(kind, &hasIcon);
    if (hasIcon) {
        auto *image = new QLabel(dialog);
        image->setObjectName(QStringLiteral("Image"));
        image->setAccessibleName(messageKindName(kind));
        image->setPixmap(dialog->style()->standardIcon(pixmap, nullptr, dialog).pixmap(kIconSize, kIconSize));
        image->setFixedSize(kIconSize, kIconSize);
        body->addWidget(image, 0, Qt::AlignTop);
    }

    // Long messages wrap at half the screen's width, so a notice never spans
    // the screen.
    const QString shownText = readRightToLeft(displayLineBreaks(message));
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int maxTextWidth = screen ? screen->availableGeometry().width() / 2 : 640;
    const QRect textRect
        = QFontMetrics(dialog->font())
              .boundingRect(QRect(0, 0, maxTextWidth, 0), Qt::TextWordWrap | Qt::AlignLeading, shownText);
    auto *text = new QLabel(dialog);
    text->setObjectName(QStringLiteral("Message"));
    text->setTextFormat(Qt::PlainText);
    text->setLayoutDirection(Qt::RightToLeft);
    text->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    text->setWordWrap(true);
    text->setText(shownText);
    // A pixel of slack each way: glyphs of the Persian font reach past their advance.
    text->setFixedSize(textRect.width() + 2, textRect.height() + 2);
    body->addWidget(text);
    body->addStretch();
    outer->addLayout(body);
}

// One button per member of the set, in table order from the left; returns
// the button that starts with the focus.
QPushButton *addButtons(MessageDialog *dialog, QBoxLayout *outer, quint16 buttons)
{
    // The buttons keep their left-to-right order in the mirrored dialog.
    auto *row = new QWidget(dialog);
    row->setLayoutDirection(Qt::LeftToRight);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(kButtonSpacing);
    rowLayout->addStretch();

    const QStringList labels = persianLabels(buttons);
    const quint16 defaultBit = defaultButton(buttons);
    const quint16 cancelBit = cancelButton(buttons);
    QPushButton *focusButton = nullptr;
    int position = 0;
    for (const ButtonInfo &info : kButtons) {
        if (!(buttons & info.bit))
            continue;
        const QString label = labels.isEmpty() ? QString::fromLatin1(info.standardCaption) : labels.value(position);
        auto *button = new QPushButton(label, row);
        button->setObjectName(QString::fromLatin1(info.objectName));
        button->setAutoDefault(true);
        button->setFixedSize(std::max(kButtonWidth, button->sizeHint().width()), kButtonHeight);
        rowLayout->addWidget(button);
        if (const int result = info.result)
            QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result] { dialog->done(result); });
        if (info.bit == defaultBit) {
            button->setDefault(true);
            focusButton = button;
        }
        if (info.bit == cancelBit)
            dialog->escapeButton = button;
        // Without a default button the first one has the focus.
        if (!defaultBit && position == 0)
            focusButton = button;
        ++position;
    }
    rowLayout->addStretch();
    outer->addWidget(row);
    return focusButton;
}

} // namespace

namespace {

const QString kDetailsLabel = QStringLiteral("جزئیات:");
constexpr int kDetailsLines = 5;
constexpr int kDetailsMinimumWidth = 320;

// What the server or the system said, in a read-only box under the message.
// The box takes the direction of the text's first strong letter, so an
// English reason reads left to right inside the right-to-left dialog.
void addDetails(MessageDialog *dialog, QBoxLayout *outer, const QString &details)
{
    auto *label = new QLabel(kDetailsLabel, dialog);
    label->setObjectName(QStringLiteral("DetailsLabel"));
    label->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    auto *box = new QPlainTextEdit(dialog);
    box->setObjectName(QStringLiteral("Details"));
    box->setReadOnly(true);
    box->setTabChangesFocus(true);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    const QString text = displayLineBreaks(details);
    const Qt::LayoutDirection direction = text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    box->setLayoutDirection(direction);
    QTextOption option = box->document()->defaultTextOption();
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeading);
    box->document()->setDefaultTextOption(option);
    box->setPlainText(text);
    label->setBuddy(box);
    const QFontMetrics metrics(dialog->font());
    box->setFixedHeight(metrics.lineSpacing() * kDetailsLines + 2 * box->frameWidth() + 8);
    box->setMinimumWidth(kDetailsMinimumWidth);
    outer->addWidget(label);
    outer->addWidget(box);
}

} // namespace

QString messageKindName(quint8 kind)
{
    switch (kind) {
    case mtWarning:
        return QStringLiteral("هشدار");
    case mtError:
        return QStringLiteral("خطا");
    case mtInformation:
        return QStringLiteral("اطلاع");
    case mtConfirmation:
        return QStringLiteral("پرسش");
    default:
        return QStringLiteral("پیام");
    }
}

namespace {

int showDialog(const QString &objectName, const QString &caption, const QString &message, const QString &details,
               quint16 buttons, quint8 kind)
{
    auto dialog = std::make_unique<MessageDialog>();
    dialog->setObjectName(objectName);
    dialog->setProperty("messageKind", int(kind));
    // Announced at once, with its kind, as a notice rather than a window.
    setAccessibleRole(dialog.get(), QAccessible::AlertMessage);
    dialog->setAccessibleName(caption.isEmpty() ? messageKindName(kind) : caption);
    dialog->setAccessibleDescription(messageKindName(kind));
    dialog->setLayoutDirection(Qt::RightToLeft);
    dialog->setFont(formFont());
    dialog->setWindowModality(Qt::ApplicationModal);

    auto *outer = new QVBoxLayout(dialog.get());
    outer->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    outer->setSpacing(kMargin);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    addIconAndText(dialog.get(), outer, message, kind);
    if (!details.isEmpty())
        addDetails(dialog.get(), outer, details);
    if (QPushButton *focusButton = addButtons(dialog.get(), outer, buttons))
        focusButton->setFocus(Qt::OtherFocusReason);

    // A caption is never cut short by a dialog narrower than its title bar:
    // room for the caption and the window manager's buttons.
    if (!caption.isEmpty()) {
        const int captionWidth = QFontMetrics(QApplication::font()).horizontalAdvance(caption) + kTitleBarButtonsWidth;
        outer->setSizeConstraint(QLayout::SetMinimumSize);
        dialog->setMinimumWidth(captionWidth);
        dialog->adjustSize();
        dialog->setFixedSize(dialog->size());
    }
    dialog->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());

    setExactWindowTitle(dialog.get(), caption);
    const int result = dialog->exec();
    // A dialog ended by the program's end rather than a button counts as cancelled.
    return result == 0 ? kMessageDialogClosedResult : result;
}

} // namespace

int ShowMessageDialog(const QString &caption, const QString &message, quint16 buttons, quint8 kind)
{
    return showDialog(QStringLiteral("MessageDialog"), caption, message, QString(), buttons, kind);
}

int ShowMessageDialogWithDetails(const QString &caption, const QString &message, const QString &details,
                                 quint16 buttons, quint8 kind)
{
    return showDialog(QStringLiteral("MessageDialog"), caption, message, details, buttons, kind);
}

int ShowErrorReport(const QString &message, const QString &details)
{
    return showDialog(QStringLiteral("ErrorReport"), QStringLiteral("خطا"), message, details, mbOK, mtError);
}

} // namespace movan
