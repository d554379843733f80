#pragma once

// Everything the sessions of one instance share.

#include "engine_interface/engine.h"
#include "tds/login_service.h"
#include "tds/prelogin.h"
#include "tds/tls_context.h"
#include "tds/trace_log.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sqlemu::tds {

struct InstanceContext {
    Engine *engine = nullptr;
    InstanceConfig config;
    LoginPolicy policy;
    TraceLog *trace = nullptr; // null: no --trace
    int port = 0;
    // From accept to a finished login; trickling bytes does not extend it.
    std::chrono::seconds loginTimeout{60};
    // What PRELOGIN offers; tls is set whenever the setting is not NotSupported.
    EncryptionSetting encryption = EncryptionSetting::NotSupported;
    const TlsContext *tls = nullptr;
    // How long a send may wait for a client that does not read.
    std::chrono::seconds sendTimeout{60};

    std::uint16_t nextSpid() { return static_cast<std::uint16_t>(51 + (m_sessions++ % 32000)); }

private:
    std::atomic<std::uint32_t> m_sessions{0};
};

} // namespace sqlemu::tds
