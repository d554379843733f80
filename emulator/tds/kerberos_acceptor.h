#pragma once

// Accepts the Kerberos token of an integrated login with MIT krb5's GSSAPI,
// using the service keys of a keytab.

#include "tds/byte_io.h"

#include <memory>
#include <span>
#include <string>

namespace sqlemu::tds {

struct KerberosResult {
    bool accepted = false;
    std::string principal; // the client, e.g. alice@TEST.REALM
    Bytes replyToken; // AP-REP for mutual authentication, may be empty
    std::string error; // why it was refused, for the server's own log
};

class KerberosAcceptor {
public:
    virtual ~KerberosAcceptor() = default;
    virtual KerberosResult accept(std::span<const std::uint8_t> token) = 0;
};

// The service principal must be MSSQLSvc/<host>:<port> for the port the
// client connected to.
std::unique_ptr<KerberosAcceptor> createGssAcceptor(const std::string &keytabPath, int port);

} // namespace sqlemu::tds
