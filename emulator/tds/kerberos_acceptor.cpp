#include "tds/kerberos_acceptor.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>

namespace sqlemu::tds {

namespace {

std::string statusText(OM_uint32 major, OM_uint32 minor)
{
    std::string text;
    for (auto [code, type] : {std::pair{major, GSS_C_GSS_CODE}, std::pair{minor, GSS_C_MECH_CODE}}) {
        OM_uint32 context = 0;
        do {
            OM_uint32 ignored = 0;
            gss_buffer_desc buffer = GSS_C_EMPTY_BUFFER;
            gss_display_status(&ignored, code, type, GSS_C_NO_OID, &context, &buffer);
            if (!text.empty())
                text += "; ";
            text.append(static_cast<const char *>(buffer.value), buffer.length);
            gss_release_buffer(&ignored, &buffer);
        } while (context != 0);
    }
    return text;
}

std::string displayName(gss_name_t name)
{
    OM_uint32 minor = 0;
    gss_buffer_desc buffer = GSS_C_EMPTY_BUFFER;
    if (gss_display_name(&minor, name, &buffer, nullptr) != GSS_S_COMPLETE)
        return {};
    std::string text(static_cast<const char *>(buffer.value), buffer.length);
    gss_release_buffer(&minor, &buffer);
    return text;
}

class GssAcceptor : public KerberosAcceptor {
public:
    GssAcceptor(std::string keytab, int port)
        : m_keytab(std::move(keytab))
        , m_port(port)
    {}

    KerberosResult accept(std::span<const std::uint8_t> token) override
    {
        KerberosResult result;
        OM_uint32 minor = 0;
        gss_key_value_element_desc element{"keytab", m_keytab.c_str()};
        gss_key_value_set_desc store{1, &element};
        gss_cred_id_t credentials = GSS_C_NO_CREDENTIAL;
        OM_uint32 major = gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET, GSS_C_ACCEPT,
                                                &store, &credentials, nullptr, nullptr);
        if (GSS_ERROR(major)) {
            result.error = statusText(major, minor);
            return result;
        }
        gss_ctx_id_t context = GSS_C_NO_CONTEXT;
        gss_buffer_desc input{token.size(), const_cast<std::uint8_t *>(token.data())};
        gss_buffer_desc output = GSS_C_EMPTY_BUFFER;
        gss_name_t client = GSS_C_NO_NAME;
        major = gss_accept_sec_context(&minor, &context, credentials, &input, GSS_C_NO_CHANNEL_BINDINGS, &client,
                                       nullptr, &output, nullptr, nullptr, nullptr);
        if (major == GSS_S_COMPLETE) {
            result.principal = displayName(client);
            result.replyToken.assign(static_cast<std::uint8_t *>(output.value),
                                     static_cast<std::uint8_t *>(output.value) + output.length);
            std::string target = targetName(context);
            if (!servesThisPort(target))
                result.error = "ticket for " + target + ", not for port " + std::to_string(m_port);
            else
                result.accepted = !result.principal.empty();
        } else if (major == GSS_S_CONTINUE_NEEDED) {
            result.error = "more than one round of negotiation is not supported";
        } else {
            result.error = statusText(major, minor);
        }
        OM_uint32 ignored = 0;
        gss_release_buffer(&ignored, &output);
        gss_release_name(&ignored, &client);
        if (context != GSS_C_NO_CONTEXT)
            gss_delete_sec_context(&ignored, &context, GSS_C_NO_BUFFER);
        gss_release_cred(&ignored, &credentials);
        return result;
    }

private:
    static std::string targetName(gss_ctx_id_t context)
    {
        OM_uint32 minor = 0;
        gss_name_t target = GSS_C_NO_NAME;
        if (gss_inquire_context(&minor, context, nullptr, &target, nullptr, nullptr, nullptr, nullptr, nullptr)
            != GSS_S_COMPLETE)
            return {};
        std::string text = displayName(target);
        gss_release_name(&minor, &target);
        return text;
    }

    // MSSQLSvc/host:port@REALM: the keytab may hold the keys of other ports
    // of the same process, but a ticket is good only for the port it names.
    bool servesThisPort(const std::string &target) const
    {
        auto at = target.rfind('@');
        std::string service = target.substr(0, at);
        if (service.rfind("MSSQLSvc/", 0) != 0)
            return false;
        auto colon = service.rfind(':');
        return colon != std::string::npos && service.substr(colon + 1) == std::to_string(m_port);
    }

    std::string m_keytab;
    int m_port;
};

} // namespace

std::unique_ptr<KerberosAcceptor> createGssAcceptor(const std::string &keytabPath, int port)
{
    return std::make_unique<GssAcceptor>(keytabPath, port);
}

} // namespace sqlemu::tds
