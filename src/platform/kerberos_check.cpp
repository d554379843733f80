#include "platform/kerberos_check.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <netdb.h>
#include <sys/socket.h>

namespace movan {

namespace {

QString statusText(OM_uint32 status, int type)
{
    QString text;
    OM_uint32 context = 0;
    do {
        OM_uint32 minor = 0;
        gss_buffer_desc buffer = GSS_C_EMPTY_BUFFER;
        if (gss_display_status(&minor, status, type, GSS_C_NO_OID, &context, &buffer) != GSS_S_COMPLETE)
            break;
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += QString::fromUtf8(static_cast<const char *>(buffer.value), int(buffer.length));
        gss_release_buffer(&minor, &buffer);
    } while (context != 0);
    return text;
}

QString failure(OM_uint32 major, OM_uint32 minor, const QString &service)
{
    // The mechanism's own words ("No Kerberos credentials available", "Server
    // ... not found in Kerberos database") say more than the generic ones.
    const QString mechanism = minor ? statusText(minor, GSS_C_MECH_CODE) : QString();
    const QString reason = mechanism.isEmpty() ? statusText(major, GSS_C_GSS_CODE) : mechanism;
    // The service named too: a ticket for the wrong realm or a server whose
    // name the realm does not know is found only by it.
    if (service.isEmpty())
        return QStringLiteral("Windows authentication (Kerberos) is not possible: %1").arg(reason);
    return QStringLiteral("Windows authentication (Kerberos) to %1 is not possible: %2").arg(service, reason);
}

// The client library names the service by the host's canonical name when the
// name has no dot, as the resolver gives it.
QString canonicalHost(const QString &host)
{
    if (host.contains(u'.') || host.contains(u':'))
        return host;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *result = nullptr;
    QString name = host;
    if (getaddrinfo(host.toLocal8Bit().constData(), nullptr, &hints, &result) == 0 && result) {
        if (result->ai_canonname)
            name = QString::fromLocal8Bit(result->ai_canonname);
        freeaddrinfo(result);
    }
    return name;
}

} // namespace

std::optional<QString> kerberosLoginProblem(const QString &host, int port)
{
    OM_uint32 minor = 0;
    gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
    OM_uint32 major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET, GSS_C_INITIATE,
                                       &credential, nullptr, nullptr);
    // Without a ticket the name as given says which service wanted one; the
    // resolver is asked only when there is a ticket to try.
    if (GSS_ERROR(major))
        return failure(major, minor, port == 0 ? QString() : QStringLiteral("MSSQLSvc/%1:%2").arg(host).arg(port));
    if (port == 0) {
        gss_release_cred(&minor, &credential);
        return std::nullopt;
    }
    const QString service = QStringLiteral("MSSQLSvc/%1:%2").arg(canonicalHost(host)).arg(port);

    const QByteArray principal = service.toUtf8();
    gss_buffer_desc nameBuffer{static_cast<size_t>(principal.size()), const_cast<char *>(principal.constData())};
    gss_name_t target = GSS_C_NO_NAME;
    major = gss_import_name(&minor, &nameBuffer, GSS_KRB5_NT_PRINCIPAL_NAME, &target);
    std::optional<QString> problem;
    if (GSS_ERROR(major)) {
        problem = failure(major, minor, service);
    } else {
        gss_ctx_id_t context = GSS_C_NO_CONTEXT;
        gss_buffer_desc token = GSS_C_EMPTY_BUFFER;
        major = gss_init_sec_context(&minor, credential, &context, target, GSS_C_NO_OID, GSS_C_MUTUAL_FLAG, 0,
                                     GSS_C_NO_CHANNEL_BINDINGS, GSS_C_NO_BUFFER, nullptr, &token, nullptr, nullptr);
        if (GSS_ERROR(major))
            problem = failure(major, minor, service);
        gss_release_buffer(&minor, &token);
        if (context != GSS_C_NO_CONTEXT)
            gss_delete_sec_context(&minor, &context, GSS_C_NO_BUFFER);
        gss_release_name(&minor, &target);
    }
    gss_release_cred(&minor, &credential);
    return problem;
}

} // namespace movan
