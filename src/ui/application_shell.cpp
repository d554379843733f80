#include "ui/application_shell.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace movan {

namespace {

struct ShellState {
    QString title;
    QPointer<QWidget> mainForm;
    bool showMainForm = true;
    bool terminating = false;
    std::function<void()> haltHandler;
};

ShellState &state()
{
    static ShellState shell;
    return shell;
}

} // namespace

namespace ApplicationShell {

QString titleFromExecutableName(const QString &executablePath)
{
    // Either separator: the name may come from a Windows-style path.
    QString name = executablePath.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString title()
{
    return state().title;
}
void setTitle(const QString &title)
{
    state().title = title;
}

QWidget *mainForm()
{
    return state().mainForm.data();
}
void setMainForm(QWidget *form)
{
    state().mainForm = form;
}

bool showMainForm()
{
    return state().showMainForm;
}
void setShowMainForm(bool show)
{
    state().showMainForm = show;
}

void terminate()
{
    state().terminating = true;
    // Queued, so that a loop that has not started yet ends as soon as it does.
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool isTerminating()
{
    return state().terminating;
}

void setHaltHandler(std::function<void()> handler)
{
    state().haltHandler = std::move(handler);
}

void halt()
{
    if (state().haltHandler)
        state().haltHandler();
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace ApplicationShell

} // namespace movan
