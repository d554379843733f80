#include "widgets/edit/mov_db_lookup_combo_box.h"

#include "widgets/edit/control_colors.h"
#include "widgets/edit/keyboard_navigation.h"
#include "widgets/edit/lookup_list_source.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace movan {

namespace {

constexpr int kKeyRole = Qt::UserRole;
// A pause this long starts a new search instead of extending the last one.
constexpr qint64 kSearchResetMs = 2000;
constexpr int kMaxSearchLength = 32;

} // namespace

TMovDBLookupComboBox::TMovDBLookupComboBox(QWidget *parent)
    : QComboBox(parent)
    , KeyboardAwareControl(this)
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    // Keys reach the open list through this filter before the popup's own.
    view()->installEventFilter(this);
    // Rows drawn as an item view draws them follow the list's reading
    // direction; the menu look some styles give the list ignores it.
    setItemDelegate(new QStyledItemDelegate(this));
}

void TMovDBLookupComboBox::setListSource(LookupListSource *source)
{
    if (m_listSource)
        disconnect(m_listSource, nullptr, this, nullptr);
    m_listSource = source;
    if (source)
        connect(source, &LookupListSource::rowsChanged, this, &TMovDBLookupComboBox::reloadRows);
    reloadRows();
}

void TMovDBLookupComboBox::setListField(const QString &field)
{
    m_listField = field;
    reloadRows();
}

void TMovDBLookupComboBox::setKeyField(const QString &field)
{
    m_keyField = field;
    reloadRows();
}

void TMovDBLookupComboBox::reloadRows()
{
    const QVariant selectedKey = KeyValue();
    clear();
    if (m_listSource && !m_listField.isEmpty()) {
        for (int row = 0; row < m_listSource->rowCount(); ++row) {
            const QString shown = m_listSource->fieldValue(row, m_listField).toString();
            const QVariant key = m_keyField.isEmpty() ? QVariant() : m_listSource->fieldValue(row, m_keyField);
            addItem(shown, key);
        }
    }
    // Reading the rows again keeps the selected key, if it is still there;
    // a box that had none starts with none and an empty text.
    setCurrentIndex(-1);
    if (selectedKey.isValid())
        setKeyValue(selectedKey);
}

QVariant TMovDBLookupComboBox::KeyValue() const
{
    const int index = currentIndex();
    return index < 0 ? QVariant() : itemData(index, kKeyRole);
}

void TMovDBLookupComboBox::setKeyValue(const QVariant &value)
{
    setCurrentIndex(value.isValid() ? findData(value, kKeyRole, Qt::MatchExactly) : -1);
}

void TMovDBLookupComboBox::showPopup()
{
    // The list is a window of its own, which would take the application's
    // direction instead of the box's.
    view()->window()->setLayoutDirection(layoutDirection());
    // The yellow of the focused box is the box's, not its list's.
    QPalette listPalette = view()->palette();
    listPalette.setColor(QPalette::Base, windowColor());
    view()->setPalette(listPalette);
    QComboBox::showPopup();
}

void TMovDBLookupComboBox::paintEvent(QPaintEvent *)
{
    // The field shows the control's colour plainly, as an edit box does;
    // styles would shade it into a gradient.
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.fillRect(style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this),
                     Color());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void TMovDBLookupComboBox::focusInEvent(QFocusEvent *event)
{
    QComboBox::focusInEvent(event);
    if (focusEntersControl(event))
        enterControl();
}

void TMovDBLookupComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    // The open list takes the focus while it is open; that is no exit.
    if (!view()->window()->isVisible())
        exitControl(event);
}

void TMovDBLookupComboBox::keyPressEvent(QKeyEvent *event)
{
    const QChar typed = typedCharacter(event);
    if (typed.isNull()) {
        QComboBox::keyPressEvent(event);
        return;
    }
    event->accept();
    QChar key = keyAfterHandler(typed);
    if (!applyEnterRule(key) && !key.isNull())
        searchIncrementally(key);
}

void TMovDBLookupComboBox::searchIncrementally(QChar key)
{
    if (key == QChar(8) || key == QChar(27)) {
        m_searchText.clear();
        return;
    }
    if (key.unicode() < 32)
        return;
    if (!m_sinceLastSearchKey.isValid() || m_sinceLastSearchKey.elapsed() > kSearchResetMs)
        m_searchText.clear();
    m_sinceLastSearchKey.start();
    if (m_searchText.size() >= kMaxSearchLength)
        return;
    const QString candidate = m_searchText + key;
    for (int row = 0; row < count(); ++row) {
        if (itemText(row).startsWith(candidate, Qt::CaseInsensitive)) {
            setCurrentIndex(row);
            m_searchText = candidate;
            return;
        }
    }
}

bool TMovDBLookupComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view() && event->type() == QEvent::KeyPress)
        return handleOpenListKey(static_cast<QKeyEvent *>(event));
    return QComboBox::eventFilter(watched, event);
}

bool TMovDBLookupComboBox::handleOpenListKey(QKeyEvent *event)
{
    const QChar typed = typedCharacter(event);
    if (typed.isNull())
        return false; // arrows and pages move in the list
    QChar key = keyAfterHandler(typed);
    if (key == QChar(27)) {
        hidePopup();
        return true;
    }
    if (key == QLatin1Char('\r')) {
        takeHighlightedRow();
        applyEnterRule(key);
    }
    // Enter and a key the handler took are done with; others go to the list.
    return key.isNull();
}

void TMovDBLookupComboBox::takeHighlightedRow()
{
    const int highlighted = view()->currentIndex().row();
    hidePopup();
    if (highlighted >= 0)
        setCurrentIndex(highlighted);
}

} // namespace movan
