#pragma once

#include <stdexcept>
#include <string>

namespace sqlemu {

// A failure of the emulator's own files (catalogue, later database files and
// backup media): unreadable, unwritable or not in the expected format.
class StorageError : public std::runtime_error {
public:
    explicit StorageError(const std::string &message)
        : std::runtime_error(message)
    {}
};

} // namespace sqlemu
