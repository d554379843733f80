#pragma once

// --trace FILE: every batch and RPC a session receives, one JSON object per
// line, appended, so tests can check what a client really sent.

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

private:
    void append(const std::string &line);

    std::mutex m_mutex;
    std::ofstream m_file;
};

} // namespace sqlemu::tds
