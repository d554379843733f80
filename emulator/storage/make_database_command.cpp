#include "storage/make_database_command.h"

#include "storage/server_error.h"

#include <charconv>
#include <ostream>

namespace sqlemu {

const char *const kMakeDatabaseUsage
    = "sqlemu --make-database NAME --data FILE.mdf --log FILE.ldf [--size MB] [--log-size MB] "
      "[--logical-data NAME] [--logical-log NAME]\n";

namespace {

std::int64_t megabytes(const std::string &option, const std::string &text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > std::int64_t{1024} * 1024)
        throw MakeDatabaseUsageError(option + " needs a size in megabytes, not '" + text + "'");
    return value;
}

} // namespace

std::optional<NewDatabaseFiles> parseMakeDatabaseArguments(const std::vector<std::string> &args)
{
    if (args.empty() || args[0] != "--make-database")
        return std::nullopt;
    NewDatabaseFiles request;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &option = args[i];
        if (i + 1 >= args.size() || args[i + 1].empty())
            throw MakeDatabaseUsageError(option + " needs a value");
        const std::string &value = args[++i];
        if (option == "--make-database")
            request.name = value;
        else if (option == "--data")
            request.dataPath = value;
        else if (option == "--log")
            request.logPath = value;
        else if (option == "--size")
            request.dataSizeMegabytes = megabytes(option, value);
        else if (option == "--log-size")
            request.logSizeMegabytes = megabytes(option, value);
        else if (option == "--logical-data")
            request.logicalDataName = value;
        else if (option == "--logical-log")
            request.logicalLogName = value;
        else
            throw MakeDatabaseUsageError("unknown option " + option);
    }
    if (request.dataPath.empty() || request.logPath.empty())
        throw MakeDatabaseUsageError("--make-database needs --data and --log");
    return request;
}

int runMakeDatabase(const NewDatabaseFiles &request, std::ostream &err)
{
    try {
        createDatabaseFiles(request);
        return 0;
    } catch (const ServerError &e) {
        for (const auto &m : e.messages())
            err << "sqlemu: Msg " << m.number << ", Level " << int(m.severity) << ", State " << int(m.state) << ": "
                << m.text << '\n';
    } catch (const StorageError &e) {
        err << "sqlemu: " << e.what() << '\n';
    }
    return 1;
}

} // namespace sqlemu
