#include "tds/command_line.h"

#include "tds/server_version.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sqlemu::tds {

namespace {

int parseNumber(const std::string &option, const std::string &text, int lowest, int highest, const char *what)
{
    int number = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size() || number < lowest || number > highest)
        throw CommandLineError(option + ": not " + what + ": '" + text + "'");
    return number;
}

int parsePort(const std::string &option, const std::string &text, bool allowZero)
{
    return parseNumber(option, text, allowZero ? 0 : 1, 65535, "a port number");
}

bool isAddress(const std::string &text)
{
    unsigned char raw[16];
    return ::inet_pton(AF_INET, text.c_str(), raw) == 1 || ::inet_pton(AF_INET6, text.c_str(), raw) == 1;
}

// Files that hold passwords: regular files only (a folder, a pipe or a
// device gives no password, or hangs the start), read whole. Others being
// able to read one is worth a word at start.
std::vector<std::string> readLines(const std::string &option, const std::string &path,
                                   std::vector<std::string> &warnings)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw CommandLineError(option + ": cannot read '" + path + "': " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw CommandLineError(option + ": '" + path + "' is not a regular file");
    }
    if (st.st_mode & S_IROTH)
        warnings.push_back(option + ": every user of this computer can read '" + path
                           + "'; make it readable by the server's user only (chmod o-r)");
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int failure = errno;
            ::close(fd);
            // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once, on the way out
            throw CommandLineError(option + ": cannot read '" + path + "': " + std::strerror(failure));
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The first line of the file is the password. A file that gives none (empty,
// a blank first line, the password further down) is refused: read as the
// empty password it would leave sa open without a word.
std::string readPasswordFile(const std::string &option, const std::string &path, std::vector<std::string> &warnings)
{
    const auto lines = readLines(option, path, warnings);
    if (lines.empty())
        throw CommandLineError(option + ": '" + path + "' is empty; its first line must be the password");
    if (lines.front().empty())
        throw CommandLineError(option + ": the first line of '" + path + "' is empty; it must be the password");
    return lines.front();
}

// NAME:PASSWORD[:ROLE]. The password may hold colons, so a last field is a
// role only when it names one; a password that itself ends in ":sysadmin"
// is written with ":public" after it.
std::pair<std::string, SqlLogin> splitLogin(const std::string &option, const std::string &request)
{
    auto colon = request.find(':');
    if (colon == std::string::npos || colon == 0)
        throw CommandLineError(option + ": expected NAME:PASSWORD[:ROLE]"); // never echoes what may be a password
    SqlLogin login;
    login.password = request.substr(colon + 1);
    if (auto last = login.password.rfind(':'); last != std::string::npos) {
        static const std::pair<const char *, ServerRole> kRoles[] = {
            {"sysadmin", ServerRole::SysAdmin}, {"dbcreator", ServerRole::DbCreator}, {"public", ServerRole::Public}};
        for (const auto &[name, role] : kRoles) {
            if (login.password.compare(last + 1, std::string::npos, name) == 0) {
                login.role = role;
                login.password.erase(last);
                break;
            }
        }
    }
    return {request.substr(0, colon), login};
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
    bool ok
        = !name.empty() && name.size() <= 16 && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
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
           "              [--browser-port N] [--sa-password-file FILE] [--logins-file FILE]\n"
           "              [--sa-password P] [--login NAME:PASS[:ROLE]]... [--listen ADDRESS]...\n"
           "              [--max-sessions N] [--login-timeout SECONDS] [--send-timeout SECONDS]\n"
           "              [--max-memory MB] [--keytab FILE]\n"
           "              [--server-version 9.0|10.50|16.0] [--trace FILE] [--test-statements]\n"
           "              [--encryption available|forced|not-supported] [--force-encryption]\n"
           "              [--tls-cert FILE --tls-key FILE]\n";
}

const char *helpNotes()
{
    return "Listens on 127.0.0.1 and ::1 only (and on the computer's name where it is\n"
           "loopback); --listen adds an address (0.0.0.0 or :: for all), and needs a\n"
           "password for every login.\n"
           "Passwords come from --sa-password-file (its first line) and --logins-file\n"
           "(NAME:PASSWORD[:ROLE] lines; '#' starts a comment). ROLE is sysadmin,\n"
           "dbcreator or public (the default): only sysadmin and dbcreator may back up,\n"
           "restore, attach, alter or drop databases; sa is sysadmin, and so are Windows\n"
           "logins. --sa-password and --login show the passwords to every local user:\n"
           "use them for throw-away servers only.\n"
           "Without any, sa has the empty password.\n"
           "Encryption is available by default: a client asking for it gets TLS (only\n"
           "its login when it asks for that much), with the certificate of --tls-cert\n"
           "and --tls-key or one made at start; --force-encryption encrypts every\n"
           "connection whole and refuses clients that cannot.\n";
}

std::size_t defaultMaxMemoryBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::size_t{1024} * 1024 * 1024;
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize) / 2;
}

ServerOptions parseCommandLine(const std::vector<std::string> &arguments)
{
    ServerOptions options;
    std::string saPassword;
    std::vector<std::pair<std::string, SqlLogin>> logins;
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
        } else if (option == "--sa-password-file") {
            saPassword = readPasswordFile(option, takeValue(), options.warnings);
        } else if (option == "--login") {
            logins.push_back(splitLogin(option, takeValue()));
        } else if (option == "--logins-file") {
            for (const auto &line : readLines(option, takeValue(), options.warnings)) {
                if (!line.empty() && line[0] != '#')
                    logins.push_back(splitLogin(option, line));
            }
        } else if (option == "--listen") {
            const std::string address = takeValue();
            if (!isAddress(address))
                throw CommandLineError("--listen: not an IP address: '" + address + "'");
            options.extraListenAddresses.push_back(address);
        } else if (option == "--max-sessions") {
            options.maxSessions = parseNumber(option, takeValue(), 1, 1000000, "a number of sessions");
        } else if (option == "--login-timeout") {
            options.loginTimeoutSeconds = parseNumber(option, takeValue(), 1, 86400, "a number of seconds");
        } else if (option == "--send-timeout") {
            options.sendTimeoutSeconds = parseNumber(option, takeValue(), 1, 86400, "a number of seconds");
        } else if (option == "--max-memory") {
            options.maxMemoryMegabytes
                = static_cast<std::size_t>(parseNumber(option, takeValue(), 16, 16 * 1024 * 1024, "a number of MB"));
        } else if (option == "--keytab") {
            options.keytab = takeValue();
        } else if (option == "--server-version") {
            options.serverVersion = takeValue();
            if (!ServerVersion::fromName(options.serverVersion))
                throw CommandLineError("--server-version: expected 9.0, 10.50 or 16.0, got '" + options.serverVersion
                                       + "'");
        } else if (option == "--trace") {
            options.trace = takeValue();
        } else if (option == "--encryption") {
            options.encryption = takeValue();
            if (options.encryption != "available" && options.encryption != "forced"
                && options.encryption != "not-supported")
                throw CommandLineError("--encryption: expected available, forced or not-supported, got '"
                                       + options.encryption + "'");
        } else if (option == "--force-encryption") {
            noValue();
            options.encryption = "forced";
        } else if (option == "--tls-cert") {
            options.tlsCertificate = takeValue();
        } else if (option == "--tls-key") {
            options.tlsKey = takeValue();
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
    if (options.tlsCertificate.empty() != options.tlsKey.empty())
        throw CommandLineError("--tls-cert and --tls-key go together");
    if (options.encryption == "not-supported" && !options.tlsCertificate.empty())
        throw CommandLineError("--tls-cert: a server without encryption has no use for a certificate");
    options.logins["sa"] = SqlLogin{saPassword, ServerRole::SysAdmin};
    for (const auto &login : logins) {
        const std::string &name = login.first;
        auto existing = std::find_if(options.logins.begin(), options.logins.end(),
                                     [&](const auto &e) { return upper(e.first) == upper(name); });
        if (existing != options.logins.end())
            throw CommandLineError("--login: '" + name + "' given twice (use --sa-password-file for sa)");
        options.logins[name] = login.second;
    }
    // Anyone who reaches a --listen address can try every login; one
    // without a password would let them in.
    if (!options.extraListenAddresses.empty()) {
        for (const auto &[name, login] : options.logins) {
            if (login.password.empty())
                throw CommandLineError("--listen: the login '" + name
                                       + "' has no password; a server reachable beyond this computer needs one for "
                                         "every login");
        }
    }
    return options;
}

} // namespace sqlemu::tds
