#include "tds/command_line.h"

#include "tds/server_version.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

namespace sqlemu::tds {

namespace {

int parsePort(const std::string &option, const std::string &text, bool allowZero)
{
    int port = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < (allowZero ? 0 : 1) || port > 65535)
        throw CommandLineError(option + ": not a port number: '" + text + "'");
    return port;
}

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

// Instance names as SQL Server Setup accepts them: up to 16 characters,
// a letter or underscore first, then letters, digits, '_' and '$'.
void checkInstanceName(const std::string &name)
{
    bool ok = !name.empty() && name.size() <= 16 && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
    for (char c : name)
        ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$');
    if (!ok)
        throw CommandLineError("--instance: not a valid instance name: '" + name + "'");
    if (upper(name) == "MSSQLSERVER" || upper(name) == "DEFAULT")
        throw CommandLineError("--instance: '" + name + "' is reserved for the default instance");
}

} // namespace

const char *usageText()
{
    return "usage: sqlemu --data-dir DIR [--port N] [--instance NAME=PORT]... [--browser]\n"
           "              [--browser-port N] [--sa-password P] [--login NAME:PASS]...\n"
           "              [--keytab FILE] [--server-version 9.0|10.50|16.0] [--trace FILE]\n"
           "              [--test-statements]\n";
}

ServerOptions parseCommandLine(const std::vector<std::string> &arguments)
{
    ServerOptions options;
    std::string saPassword;
    std::vector<std::pair<std::string, std::string>> logins;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool inlineValue = false;
        if (auto eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = option.substr(eq + 1);
            option = option.substr(0, eq);
            inlineValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (inlineValue)
                return value;
            if (i + 1 >= arguments.size())
                throw CommandLineError(option + " needs a value");
            return arguments[++i];
        };
        auto noValue = [&] {
            if (inlineValue)
                throw CommandLineError(option + " takes no value");
        };
        if (option == "--help" || option == "-h") {
            noValue();
            options.help = true;
        } else if (option == "--data-dir") {
            options.dataDir = takeValue();
        } else if (option == "--port") {
            options.port = parsePort(option, takeValue(), true);
        } else if (option == "--instance") {
            std::string request = takeValue();
            auto eq = request.find('=');
            if (eq == std::string::npos)
                throw CommandLineError("--instance: expected NAME=PORT, got '" + request + "'");
            NamedInstance instance{request.substr(0, eq), parsePort(option, request.substr(eq + 1), true)};
            checkInstanceName(instance.name);
            for (const auto &other : options.instances) {
                if (upper(other.name) == upper(instance.name))
                    throw CommandLineError("--instance: '" + instance.name + "' given twice");
            }
            options.instances.push_back(instance);
        } else if (option == "--browser") {
            noValue();
            options.browser = true;
        } else if (option == "--browser-port") {
            options.browserPort = parsePort(option, takeValue(), true);
        } else if (option == "--sa-password") {
            saPassword = takeValue();
        } else if (option == "--login") {
            std::string request = takeValue();
            auto colon = request.find(':');
            if (colon == std::string::npos || colon == 0)
                throw CommandLineError("--login: expected NAME:PASSWORD, got '" + request + "'");
            logins.emplace_back(request.substr(0, colon), request.substr(colon + 1));
        } else if (option == "--keytab") {
            options.keytab = takeValue();
        } else if (option == "--server-version") {
            options.serverVersion = takeValue();
            if (!ServerVersion::fromName(options.serverVersion))
                throw CommandLineError("--server-version: expected 9.0, 10.50 or 16.0, got '" + options.serverVersion + "'");
        } else if (option == "--trace") {
            options.trace = takeValue();
        } else if (option == "--test-statements") {
            noValue();
            options.testStatements = true;
        } else {
            throw CommandLineError("unknown option '" + arguments[i] + "'");
        }
    }
    if (options.help)
        return options;
    if (options.dataDir.empty())
        throw CommandLineError("--data-dir is required");
    std::set<int> ports;
    if (options.port != 0)
        ports.insert(options.port);
    for (const auto &instance : options.instances) {
        if (instance.port != 0 && !ports.insert(instance.port).second)
            throw CommandLineError("--instance: port " + std::to_string(instance.port) + " is used twice");
    }
    options.logins["sa"] = saPassword;
    for (const auto &login : logins) {
        const std::string &name = login.first;
        auto existing = std::find_if(options.logins.begin(), options.logins.end(),
                                     [&](const auto &e) { return upper(e.first) == upper(name); });
        if (existing != options.logins.end())
            throw CommandLineError("--login: '" + name + "' given twice (use --sa-password for sa)");
        options.logins[name] = login.second;
    }
    return options;
}

} // namespace sqlemu::tds
