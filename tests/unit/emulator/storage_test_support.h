#pragma once

#include "storage/database_file.h"
#include "storage/server_error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sqlemu::test {

inline std::string readBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Changes one byte of a file in place.
inline void flipByte(const std::filesystem::path &path, std::uint64_t offset)
{
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekg(static_cast<std::streamoff>(offset));
    char c = 0;
    f.read(&c, 1);
    c = static_cast<char>(c ^ 0x5A);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(&c, 1);
}

// A small database pair: 1 MB data, 1 MB log.
inline DatabaseFilePair makeDatabase(const std::filesystem::path &folder, const std::string &name,
                                     const std::string &logicalData = {}, const std::string &logicalLog = {})
{
    NewDatabaseFiles request;
    request.name = name;
    request.dataPath = folder / (name + ".mdf");
    request.logPath = folder / (name + "_log.ldf");
    request.dataSizeMegabytes = 1;
    request.logSizeMegabytes = 1;
    request.logicalDataName = logicalData;
    request.logicalLogName = logicalLog;
    return createDatabaseFiles(request);
}

// Every name in a folder, hidden ones included: what a failure must not
// leave behind.
inline std::vector<std::string> folderEntries(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The messages of the ServerError that call throws, as "number/state: text".
template <typename Call> std::vector<std::string> serverErrorOf(Call &&call)
{
    try {
        call();
    } catch (const ServerError &e) {
        std::vector<std::string> out;
        for (const auto &m : e.messages())
            out.push_back(std::to_string(m.number) + "/" + std::to_string(m.state) + "/" + std::to_string(m.severity)
                          + ": " + m.text);
        return out;
    }
    ADD_FAILURE() << "no ServerError";
    return {};
}

// Only the numbers.
template <typename Call> std::vector<int> serverErrorNumbers(Call &&call)
{
    try {
        call();
    } catch (const ServerError &e) {
        std::vector<int> out;
        for (const auto &m : e.messages())
            out.push_back(m.number);
        return out;
    }
    ADD_FAILURE() << "no ServerError";
    return {};
}

} // namespace sqlemu::test
