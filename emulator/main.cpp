// sqlemu: a SQL Server emulator that tests and the demo reach over TDS on the
// loopback addresses.

#include "engine_interface/engine.h"
#include "storage/data_folder_lock.h"
#include "storage/make_database_command.h"
#include "tds/browser.h"
#include "tds/command_line.h"
#include "tds/host_addresses.h"
#include "tds/kerberos_acceptor.h"
#include "tds/listener.h"
#include "tds/tls_context.h"
#include "tds/trace_log.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

struct RunningInstance {
    std::unique_ptr<Engine> engine;
    std::unique_ptr<KerberosAcceptor> kerberos;
    std::unique_ptr<InstanceContext> context;
    std::unique_ptr<Listener> listener;
};

int fail(const std::string &message)
{
    std::cerr << "sqlemu: " << message << '\n';
    return 1;
}

// Raises the descriptor limit as far as allowed and returns how many sessions
// it leaves room for, beside the files, listeners and trace the server keeps.
int sessionsTheDescriptorsAllow(int wanted)
{
    constexpr rlim_t kReserved = 32;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= static_cast<rlim_t>(wanted) + kReserved)
        return wanted;
    return limit.rlim_cur > kReserved * 2 ? static_cast<int>(limit.rlim_cur - kReserved)
                                          : static_cast<int>(std::max<rlim_t>(1, limit.rlim_cur / 2));
}

// What every instance of the process shares: its options, the memory
// budget, the trace, the certificate, the version played and where it
// listens.
struct Shared {
    ServerOptions options;
    std::unique_ptr<MemoryBudget> memory;
    std::unique_ptr<TraceLog> trace;
    EncryptionSetting encryption = EncryptionSetting::Available;
    std::unique_ptr<TlsContext> tls;
    ServerVersion version;
    std::string host;
    std::vector<std::string> addresses;
    int maxSessions = 0;
    std::vector<std::string> installedInstances;
};

// Every thread inherits this mask, so only the main thread's sigwait sees
// the signals that stop the server.
sigset_t blockStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return signals;
}

// The trace, the keytab and the certificate; an error text when one of them
// cannot be had.
std::optional<std::string> prepareShared(Shared &shared)
{
    const ServerOptions &options = shared.options;
    shared.memory = std::make_unique<MemoryBudget>(
        options.maxMemoryMegabytes > 0 ? options.maxMemoryMegabytes * 1024 * 1024 : defaultMaxMemoryBytes());
    if (!options.trace.empty()) {
        shared.trace = std::make_unique<TraceLog>(options.trace);
        if (!shared.trace->isOpen())
            return "cannot open the trace file " + options.trace;
    }
    if (!options.keytab.empty() && !std::filesystem::exists(options.keytab))
        return "keytab " + options.keytab + " does not exist";
    // One certificate for every instance, as one SQL Server service has one.
    shared.encryption = options.encryption == "forced" ? EncryptionSetting::Forced
        : options.encryption == "not-supported"        ? EncryptionSetting::NotSupported
                                                       : EncryptionSetting::Available;
    try {
        if (!options.tlsCertificate.empty())
            shared.tls = TlsContext::fromFiles(options.tlsCertificate, options.tlsKey);
        else if (shared.encryption != EncryptionSetting::NotSupported)
            shared.tls = TlsContext::selfSigned("SSL_Self_Signed_Fallback");
    } catch (const TlsError &e) {
        return std::string(e.what());
    }
    if (shared.tls)
        std::cerr << "sqlemu: encryption " << options.encryption << ", certificate " << shared.tls->subject() << '\n';
    shared.version = *ServerVersion::fromName(options.serverVersion);
    shared.host = localHostName();
    shared.addresses = listenAddresses(hostNameAddresses(), options.extraListenAddresses);
    shared.maxSessions = sessionsTheDescriptorsAllow(options.maxSessions);
    return std::nullopt;
}

// One instance: its engine over its own folder, listening on its port.
// Throws on what stops the start (a port or a folder it cannot have).
RunningInstance startInstance(const Shared &shared, const NamedInstance &wanted)
{
    const ServerOptions &options = shared.options;
    InstanceConfig config;
    config.instanceName = wanted.name;
    config.serverName = wanted.name == "MSSQLSERVER" ? shared.host : shared.host + "\\" + wanted.name;
    config.dataDir = (std::filesystem::path(options.dataDir) / wanted.name).string();
    config.serverVersion = options.serverVersion;
    config.installedInstances = shared.installedInstances;
    config.testStatements = options.testStatements;
    config.memory = shared.memory.get();
    std::filesystem::create_directories(config.dataDir);

    RunningInstance running;
    running.context = std::make_unique<InstanceContext>();
    running.context->loginTimeout = std::chrono::seconds(options.loginTimeoutSeconds);
    running.context->sendTimeout = std::chrono::seconds(options.sendTimeoutSeconds);
    running.listener = std::make_unique<Listener>(*running.context, shared.maxSessions);
    std::string error;
    if (!running.listener->listen(shared.addresses, options.extraListenAddresses, wanted.port, error))
        throw std::runtime_error("cannot listen for " + wanted.name + ": " + error);
    running.context->port = running.listener->port();
    running.engine = createEngine(config);
    if (!options.keytab.empty())
        running.kerberos = createGssAcceptor(options.keytab, running.context->port);
    running.context->engine = running.engine.get();
    running.context->config = config;
    running.context->policy = LoginPolicy{options.logins, running.kerberos.get(), shared.version, config.serverName};
    running.context->trace = shared.trace.get();
    running.context->encryption = shared.encryption;
    running.context->tls = shared.tls.get();
    return running;
}

// The browser's answers for every instance. Throws when it cannot listen.
std::unique_ptr<BrowserService> startBrowser(const Shared &shared, const std::vector<RunningInstance> &instances)
{
    std::vector<BrowserInstance> list;
    list.reserve(instances.size());
    for (const auto &i : instances)
        list.push_back({i.context->config.instanceName, i.context->port, shared.version.browserVersion});
    auto browser = std::make_unique<BrowserService>(shared.host, list);
    std::string error;
    if (!browser->listen(shared.addresses, shared.options.browserPort, error))
        throw std::runtime_error("cannot answer browser requests: " + error);
    return browser;
}

// Starts accepting and prints the one line that says the server is ready.
void serveAndAnnounce(std::vector<RunningInstance> &instances, BrowserService *browser)
{
    std::ostringstream ready;
    ready << "sqlemu ready";
    for (auto &i : instances) {
        i.listener->start();
        ready << ' ' << i.context->config.instanceName << '=' << i.context->port;
    }
    if (browser) {
        browser->start();
        ready << " browser=" << browser->port();
    }
    std::cout << ready.str() << std::endl;
}

void stop(std::vector<RunningInstance> &instances, BrowserService *browser)
{
    if (browser)
        browser->stop();
    for (auto &i : instances)
        i.listener->stop();
    // Destroying an engine saves its catalogue.
    instances.clear();
}

// The options of a serving start; an exit code when the command line says
// to exit at once (help, a usage error).
std::optional<int> parseServingCommandLine(const std::vector<std::string> &arguments, ServerOptions &options)
{
    try {
        options = parseCommandLine(arguments);
    } catch (const CommandLineError &e) {
        std::cerr << "sqlemu: " << e.what() << '\n' << usageText();
        return 2;
    }
    if (options.help) {
        std::cout << usageText() << "       " << kMakeDatabaseUsage << '\n' << helpNotes();
        return 0;
    }
    for (const auto &warning : options.warnings)
        std::cerr << "sqlemu: warning: " << warning << '\n';
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // sqlemu --make-database ... writes an attachable pair of files and
    // exits, without serving.
    try {
        if (auto files = parseMakeDatabaseArguments(arguments))
            return runMakeDatabase(*files, std::cerr);
    } catch (const MakeDatabaseUsageError &e) {
        std::cerr << "sqlemu: " << e.what() << '\n' << kMakeDatabaseUsage;
        return 2;
    }
    Shared shared;
    if (auto exitCode = parseServingCommandLine(arguments, shared.options))
        return *exitCode;
    sigset_t signals = blockStopSignals();
    if (auto error = prepareShared(shared))
        return fail(*error);
    DataFolderLock dataFolderLock;
    if (std::string error; !dataFolderLock.acquire(shared.options.dataDir, error))
        return fail(error);

    std::vector<NamedInstance> wanted = {{"MSSQLSERVER", shared.options.port}};
    wanted.insert(wanted.end(), shared.options.instances.begin(), shared.options.instances.end());
    for (const auto &w : wanted)
        shared.installedInstances.push_back(w.name);
    std::vector<RunningInstance> instances;
    std::unique_ptr<BrowserService> browser;
    try {
        for (const auto &w : wanted)
            instances.push_back(startInstance(shared, w));
        if (shared.options.browser)
            browser = startBrowser(shared, instances);
    } catch (const std::exception &e) {
        return fail(e.what());
    }
    serveAndAnnounce(instances, browser.get());

    int received = 0;
    sigwait(&signals, &received);
    stop(instances, browser.get());
    return 0;
}
