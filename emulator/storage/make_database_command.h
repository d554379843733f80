#pragma once

#include "storage/database_file.h"

#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqlemu {

// sqlemu --make-database NAME --data FILE.mdf --log FILE.ldf [--size MB]
//        [--log-size MB] [--logical-data NAME] [--logical-log NAME]
// writes an attachable pair of files and exits. main() asks this first:
//
//   if (auto request = parseMakeDatabaseArguments(args))
//       return runMakeDatabase(*request, std::cerr);

class MakeDatabaseUsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// nullopt when args (without the program name) do not start with
// --make-database; MakeDatabaseUsageError when they do but are incomplete
// or wrong.
std::optional<NewDatabaseFiles> parseMakeDatabaseArguments(const std::vector<std::string> &args);

// Writes the pair; 0 on success, 1 with the server's message on err.
int runMakeDatabase(const NewDatabaseFiles &request, std::ostream &err);

extern const char *const kMakeDatabaseUsage;

} // namespace sqlemu
