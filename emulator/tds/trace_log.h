#pragma once

// --trace FILE: every batch and RPC a session receives, one JSON object per
// line, appended, so tests can check what a client really sent; and when
// the server has finished with each request, whether its whole response
// reached the client, so tests can tell a request done from one whose
// answer was lost.

#include "engine_interface/engine.h"

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace sqlemu::tds {

class TraceLog {
public:
    explicit TraceLog(const std::string &path);
    bool isOpen() const { return m_file.is_open(); }

    void batch(const std::string &instance, int spid, const std::string &text);
    void rpc(const std::string &instance, int spid, const std::string &procedure,
             const std::vector<RpcParameter> &parameters);
    // error: the first error the request raised, 0 when none; delivered:
    // the whole response was written to the client.
    void end(const std::string &instance, int spid, std::int32_t error, bool delivered);

private:
    void append(const std::string &line);

    std::mutex m_mutex;
    std::ofstream m_file;
};

} // namespace sqlemu::tds
