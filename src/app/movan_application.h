#pragma once

#include <QApplication>

#include <exception>

namespace movan {

// The application object. An exception that escapes an event handler ends
// up here: it is reported in the program's message dialog, in Persian with
// the failure's own words in its details, and the program goes on, as the
// window framework's default error report does.
class MovanApplication : public QApplication {
    Q_OBJECT
public:
    MovanApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // The default error report, also for callers that catch on their own.
    static void showException(const std::exception &error);
    static void showUnknownException();

private:
    static void showErrorBox(const QString &message, const QString &details);
};

} // namespace movan
