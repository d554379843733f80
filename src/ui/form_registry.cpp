#include "ui/form_registry.h"

#include "ui/message_dialog.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QHash>
#include <QPointer>
#include <QWidget>

#include <memory>

namespace movan {

namespace {

const QString kSystemErrorCaption = QStringLiteral("خطاي سيستمي");
const QString kClassNotFoundMessage = QStringLiteral("كلاس پيدا نشد !");

// Class names are Pascal identifiers, which ignore case.
QString registryKey(const QString &className)
{
    return className.toCaseFolded();
}

QHash<QString, FormFactory> &registry()
{
    static QHash<QString, FormFactory> forms;
    return forms;
}

// Runs a window that is not a QDialog modally: it blocks the rest of the
// program until it is closed or hidden.
class ModalLoop : public QObject {
public:
    explicit ModalLoop(QWidget *form)
        : m_form(form)
    {
        form->installEventFilter(this);
    }

    void run()
    {
        m_form->setWindowModality(Qt::ApplicationModal);
        m_form->show();
        if (m_form && m_form->isVisible())
            m_loop.exec(QEventLoop::DialogExec);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Minimising hides the window too (a spontaneous hide), but does not end it.
        const bool hidden = event->type() == QEvent::Hide && !event->spontaneous();
        if (watched == m_form && (hidden || event->type() == QEvent::Destroy))
            m_loop.quit();
        return false;
    }

private:
    QPointer<QWidget> m_form;
    QEventLoop m_loop;
};

} // namespace

void registerFormClass(const QString &className, FormFactory factory)
{
    registry().insert(registryKey(className), factory);
}

void unregisterFormClass(const QString &className)
{
    registry().remove(registryKey(className));
}

bool isFormClassRegistered(const QString &className)
{
    return registry().contains(registryKey(className));
}

void ShowFormByClassName(const QString &className)
{
    const auto found = registry().constFind(registryKey(className));
    if (found == registry().constEnd()) {
        ShowMessageDialog(kSystemErrorCaption, kClassNotFoundMessage, mbOK, mtWarning);
        return;
    }
    // Owned here, not by a parent, so that it is gone when this returns,
    // whichever way it returns.
    std::unique_ptr<QWidget> form((*found)());
    if (!form)
        return;
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    if (auto *dialog = qobject_cast<QDialog *>(form.get())) {
        dialog->exec();
        return;
    }
    ModalLoop(form.get()).run();
}

} // namespace movan
