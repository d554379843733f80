#include "single_instance/mov_single_instance.h"

#include "platform/instance_channel.h"
#include "platform/instance_lock.h"
#include "ui/application_shell.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace movan {

namespace {

// How often a copy that asked the previous one to quit looks whether it has.

QString mutexName(const QString &title)
{
    return QStringLiteral("TabcSingleInstance in application ") + title;
}

QString semaphoreName(const QString &title)
{
    return QStringLiteral("TabcSingleInstance Semaphore in application ") + title;
}

} // namespace

TMovSingleInstance::TMovSingleInstance(QObject *owner)
    : QObject(owner)
{
    // A failure to make the lock leaves it empty too, and this copy then
    // behaves as a second one.
    m_instanceMutex = InstanceLock::tryAcquire(mutexName(ApplicationShell::title()));
}

TMovSingleInstance::~TMovSingleInstance() = default;

void TMovSingleInstance::setMultipleInstances(bool on)
{
    m_multipleInstances = on;
    if (on)
        m_closePrevious = false;
}

void TMovSingleInstance::endLoading()
{
    m_loading = false;
    loaded();
}

void TMovSingleInstance::loaded()
{
    if (m_multipleInstances && !m_instanceSemaphore)
        m_instanceSemaphore = InstanceSemaphore::acquire(semaphoreName(ApplicationShell::title()));
    if (!m_instanceMutex)
        giveWay();
}

int TMovSingleInstance::countInstances() const
{
    return m_instanceSemaphore ? m_instanceSemaphore->holders() : 1;
}

void TMovSingleInstance::giveWay()
{
    if (m_multipleInstances) {
        if (!OnOtherInstances)
            return;
        bool terminate = true;
        OnOtherInstances(this, countInstances() - 1, terminate);
        if (!terminate)
            return;
    }
    if (!m_warningText.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, ApplicationShell::title(), m_warningText, QMessageBox::Ok);
        box.exec();
    }
    if (!m_activatePrevious && !m_closePrevious) {
        terminateThisCopy();
        return;
    }
    const QString title = ApplicationShell::title();
    if (!InstanceChannel::otherCopyAnswers(title)) {
        terminateThisCopy();
        return;
    }
    if (m_closePrevious) {
        // The other copy is asked to quit; this one keeps running and, once
        // the other has gone, is the running copy the next start gives way to.
        InstanceChannel::send(title, InstanceChannel::Request::Quit);
        takeOverWhenPreviousEnds();
        return;
    }
    InstanceChannel::send(title, InstanceChannel::Request::Activate);
    terminateThisCopy();
}

void TMovSingleInstance::takeOverWhenPreviousEnds()
{
    // A thread waits on the lock, so this copy owns it the moment the
    // previous one ends, before a copy started right after could take it.
    // A copy that never ends keeps the thread waiting until this one exits.
    const QString name = mutexName(ApplicationShell::title());
    QPointer<TMovSingleInstance> self(this);
    std::thread([name, self] {
        std::shared_ptr<InstanceLock> lock = InstanceLock::acquireWaiting(name);
        if (QCoreApplication *application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                application,
                [self, lock] {
                    if (self && lock && !self->m_instanceMutex)
                        self->m_instanceMutex = lock;
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

void TMovSingleInstance::terminateThisCopy()
{
    switch (m_terminateBy) {
    case atmAppTerminate:
        ApplicationShell::setShowMainForm(false);
        ApplicationShell::terminate();
        break;
    case atmCloseMainForm:
        // While the main window is still being built there is none to close.
        if (QWidget *form = ApplicationShell::mainForm())
            form->close();
        break;
    case atmExitProcess:
        std::fflush(nullptr);
        ::_exit(0);
    case atmHalt:
        ApplicationShell::halt();
    case atmTerminateProcess:
        ::_exit(0);
    }
}

} // namespace movan
