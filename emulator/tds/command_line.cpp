#include "tds/command_line.h"

#include "tds/server_version.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <optional>
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
           "restore, attach, alter or drop databases, and a database's owner (who\n"
           "attached or restored it) back it up, truncate and shrink its log; sa is\n"
           "sysadmin, and so are Windows logins. --sa-password and --login show the\n"
           "passwords to every local user: use them for throw-away servers only.\n"
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

namespace {

// What the options gather before the logins are settled.
struct Gathered {
    ServerOptions options;
    std::string saPassword;
    std::vector<std::pair<std::string, SqlLogin>> logins;
};

using OptionHandler = void (*)(Gathered &, const std::string &option, const std::string &value);

struct KnownOption {
    std::string_view name;
    bool takesValue;
    OptionHandler handle;
};

void addInstance(Gathered &g, const std::string &option, const std::string &request)
{
    const auto eq = request.find('=');
    if (eq == std::string::npos)
        throw CommandLineError("--instance: expected NAME=PORT, got '" + request + "'");
    NamedInstance instance{request.substr(0, eq), parsePort(option, request.substr(eq + 1), true)};
    checkInstanceName(instance.name);
    for (const auto &other : g.options.instances)
        if (upper(other.name) == upper(instance.name))
            throw CommandLineError("--instance: '" + instance.name + "' given twice");
    g.options.instances.push_back(instance);
}

void addLoginsFile(Gathered &g, const std::string &option, const std::string &path)
{
    for (const auto &line : readLines(option, path, g.options.warnings))
        if (!line.empty() && line[0] != '#')
            g.logins.push_back(splitLogin(option, line));
}

void setServerVersion(Gathered &g, const std::string &, const std::string &value)
{
    if (!ServerVersion::fromName(value))
        throw CommandLineError("--server-version: expected 9.0, 10.50 or 16.0, got '" + value + "'");
    g.options.serverVersion = value;
}

void setEncryption(Gathered &g, const std::string &, const std::string &value)
{
    if (value != "available" && value != "forced" && value != "not-supported")
        throw CommandLineError("--encryption: expected available, forced or not-supported, got '" + value + "'");
    g.options.encryption = value;
}

void setHelp(Gathered &g, const std::string &, const std::string &)
{
    g.options.help = true;
}

const KnownOption kOptions[] = {
    {"--help", false, setHelp},
    {"-h", false, setHelp},
    {"--data-dir", true, [](Gathered &g, const std::string &, const std::string &v) { g.options.dataDir = v; }},
    {"--port", true,
     [](Gathered &g, const std::string &o, const std::string &v) { g.options.port = parsePort(o, v, true); }},
    {"--instance", true, addInstance},
    {"--browser", false, [](Gathered &g, const std::string &, const std::string &) { g.options.browser = true; }},
    {"--browser-port", true,
     [](Gathered &g, const std::string &o, const std::string &v) { g.options.browserPort = parsePort(o, v, true); }},
    {"--sa-password", true, [](Gathered &g, const std::string &, const std::string &v) { g.saPassword = v; }},
    {"--sa-password-file", true,
     [](Gathered &g, const std::string &o, const std::string &v) {
         g.saPassword = readPasswordFile(o, v, g.options.warnings);
     }},
    {"--login", true,
     [](Gathered &g, const std::string &o, const std::string &v) { g.logins.push_back(splitLogin(o, v)); }},
    {"--logins-file", true, addLoginsFile},
    {"--listen", true,
     [](Gathered &g, const std::string &, const std::string &v) {
         if (!isAddress(v))
             throw CommandLineError("--listen: not an IP address: '" + v + "'");
         g.options.extraListenAddresses.push_back(v);
     }},
    {"--max-sessions", true,
     [](Gathered &g, const std::string &o, const std::string &v) {
         g.options.maxSessions = parseNumber(o, v, 1, 1000000, "a number of sessions");
     }},
    {"--login-timeout", true,
     [](Gathered &g, const std::string &o, const std::string &v) {
         g.options.loginTimeoutSeconds = parseNumber(o, v, 1, 86400, "a number of seconds");
     }},
    {"--send-timeout", true,
     [](Gathered &g, const std::string &o, const std::string &v) {
         g.options.sendTimeoutSeconds = parseNumber(o, v, 1, 86400, "a number of seconds");
     }},
    {"--max-memory", true,
     [](Gathered &g, const std::string &o, const std::string &v) {
         g.options.maxMemoryMegabytes
             = static_cast<std::size_t>(parseNumber(o, v, 16, 16 * 1024 * 1024, "a number of MB"));
     }},
    {"--keytab", true, [](Gathered &g, const std::string &, const std::string &v) { g.options.keytab = v; }},
    {"--server-version", true, setServerVersion},
    {"--trace", true, [](Gathered &g, const std::string &, const std::string &v) { g.options.trace = v; }},
    {"--encryption", true, setEncryption},
    {"--force-encryption", false,
     [](Gathered &g, const std::string &, const std::string &) { g.options.encryption = "forced"; }},
    {"--tls-cert", true, [](Gathered &g, const std::string &, const std::string &v) { g.options.tlsCertificate = v; }},
    {"--tls-key", true, [](Gathered &g, const std::string &, const std::string &v) { g.options.tlsKey = v; }},
    {"--test-statements", false,
     [](Gathered &g, const std::string &, const std::string &) { g.options.testStatements = true; }},
};

// Each argument in turn, --option value or --option=value.
void readOptions(const std::vector<std::string> &arguments, Gathered &g)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> inlineValue;
        if (auto eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = option.substr(eq + 1);
            option.resize(eq);
        }
        const auto known = std::find_if(std::begin(kOptions), std::end(kOptions),
                                        [&](const KnownOption &o) { return o.name == option; });
        if (known == std::end(kOptions))
            throw CommandLineError("unknown option '" + arguments[i] + "'");
        std::string value;
        if (known->takesValue) {
            if (!inlineValue && i + 1 >= arguments.size())
                throw CommandLineError(option + " needs a value");
            value = inlineValue ? *inlineValue : arguments[++i];
        } else if (inlineValue) {
            throw CommandLineError(option + " takes no value");
        }
        known->handle(g, option, value);
    }
}

// What only the options together can say is wrong.
void checkCombinations(const ServerOptions &options)
{
    if (options.dataDir.empty())
        throw CommandLineError("--data-dir is required");
    std::set<int> ports;
    if (options.port != 0)
        ports.insert(options.port);
    for (const auto &instance : options.instances)
        if (instance.port != 0 && !ports.insert(instance.port).second)
            throw CommandLineError("--instance: port " + std::to_string(instance.port) + " is used twice");
    if (options.tlsCertificate.empty() != options.tlsKey.empty())
        throw CommandLineError("--tls-cert and --tls-key go together");
    if (options.encryption == "not-supported" && !options.tlsCertificate.empty())
        throw CommandLineError("--tls-cert: a server without encryption has no use for a certificate");
}

// sa and the other logins, each once; with --listen, none without a
// password, since anyone who reaches such an address can try them all.
void settleLogins(Gathered &g)
{
    ServerOptions &options = g.options;
    options.logins["sa"] = SqlLogin{g.saPassword, ServerRole::SysAdmin};
    for (const auto &login : g.logins) {
        const std::string &name = login.first;
        auto existing = std::find_if(options.logins.begin(), options.logins.end(),
                                     [&](const auto &e) { return upper(e.first) == upper(name); });
        if (existing != options.logins.end())
            throw CommandLineError("--login: '" + name + "' given twice (use --sa-password-file for sa)");
        options.logins[name] = login.second;
    }
    if (options.extraListenAddresses.empty())
        return;
    for (const auto &[name, login] : options.logins)
        if (login.password.empty())
            throw CommandLineError("--listen: the login '" + name
                                   + "' has no password; a server reachable beyond this computer needs one for "
                                     "every login");
}

} // namespace

ServerOptions parseCommandLine(const std::vector<std::string> &arguments)
{
    Gathered gathered;
    readOptions(arguments, gathered);
    if (gathered.options.help)
        return gathered.options;
    checkCombinations(gathered.options);
    settleLogins(gathered);
    return gathered.options;
}

} // namespace sqlemu::tds
