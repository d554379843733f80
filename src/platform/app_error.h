#pragma once

#include <QString>

#include <exception>

namespace movan {

// The one base of every failure the program raises on purpose. It carries a
// message meant for a person; what() gives it in UTF-8 so that handlers that
// only know std::exception still show it whole.
class AppError : public std::exception {
public:
    explicit AppError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace movan
