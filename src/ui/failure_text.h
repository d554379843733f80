#pragma once

#include <QString>

#include <exception>

namespace movan {

// A failure told in Persian: what happened and what the user can do about
// it, with the failure's own words (often a server's English) kept apart
// for the details area of the message dialog.
struct FailureNotice {
    QString message;
    QString details; // empty when the message already says it all
};

// A failure that already speaks Persian is shown as it stands; the program's
// and the server's English failures get a Persian sentence by what they are
// (a refused login, a server out of reach, a Windows login without a
// Kerberos ticket, a malformed connection string, a backup the restore
// cannot use), anything else a general one, its own words in the details.
FailureNotice describeFailure(const std::exception &error);
// server: the address a connection was meant for, named when it did not answer.
FailureNotice describeFailureText(const QString &text, int serverNumber = 0, const QString &server = QString());

// The notice of a failure: the program's fixed text as it stands, then on
// lines of their own why in Persian and what to do; the failure's own words
// for the details area.
FailureNotice failureNotice(const QString &fixedText, const std::exception &error);
FailureNotice failureNotice(const QString &fixedText, const FailureNotice &why);

// The Persian sentence for a Windows login that cannot work because Kerberos
// refuses it (no ticket, an expired one, a server the realm does not know).
QString kerberosUnavailableText();

} // namespace movan
