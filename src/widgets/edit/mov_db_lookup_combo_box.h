#pragma once

#include "util/notify_event.h"

#include <QColor>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QVariant>

#include <functional>

namespace movan {

class LookupListSource;

// A lookup combo box for fast keyboard entry: it lists the ListField of the
// rows of its ListSource and selects by KeyField; yellow while it has the
// focus, and Enter moves on to the next control as Tab does. With the list
// closed, typing searches the rows incrementally; with it open, Enter takes
// the highlighted row and Escape leaves the selection as it was.
class TMovDBLookupComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(QString ListField READ ListField WRITE setListField)
    Q_PROPERTY(QString KeyField READ KeyField WRITE setKeyField)
    Q_PROPERTY(QVariant KeyValue READ KeyValue WRITE setKeyValue)
    Q_PROPERTY(QString Text READ Text)
public:
    using KeyPressEvent = std::function<void(QObject *sender, QChar &key)>;

    explicit TMovDBLookupComboBox(QWidget *parent = nullptr);

    QColor Color() const;
    void setColor(const QColor &color);

    LookupListSource *ListSource() const { return m_listSource; }
    void setListSource(LookupListSource *source);
    QString ListField() const { return m_listField; }
    void setListField(const QString &field);
    QString KeyField() const { return m_keyField; }
    void setKeyField(const QString &field);

    // The KeyField of the selected row; invalid with no selection.
    QVariant KeyValue() const;
    // Selects the first row whose KeyField equals the value; none matching
    // clears the selection.
    void setKeyValue(const QVariant &value);
    // The ListField of the selected row, as shown; empty with no selection.
    QString Text() const { return currentText(); }

    // Opens the list in the box's own reading direction.
    void showPopup() override;

    NotifyEvent OnEnter;
    NotifyEvent OnExit;
    KeyPressEvent OnKeyPress;

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reloadRows();
    bool handleOpenListKey(QKeyEvent *event);
    void searchIncrementally(QChar key);

    QPointer<LookupListSource> m_listSource;
    QString m_listField;
    QString m_keyField;
    QString m_searchText;
    QElapsedTimer m_sinceLastSearchKey;
    bool m_entered = false;
};

} // namespace movan
