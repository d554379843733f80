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
#include <pthread.h>
#include <sstream>
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

    ServerOptions options;
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
    MemoryBudget memory(options.maxMemoryMegabytes > 0 ? options.maxMemoryMegabytes * 1024 * 1024
                                                       : defaultMaxMemoryBytes());

    // Every thread inherits this mask, so only sigwait below sees the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<TraceLog> trace;
    if (!options.trace.empty()) {
        trace = std::make_unique<TraceLog>(options.trace);
        if (!trace->isOpen())
            return fail("cannot open the trace file " + options.trace);
    }
    if (!options.keytab.empty() && !std::filesystem::exists(options.keytab))
        return fail("keytab " + options.keytab + " does not exist");

    const std::string host = localHostName();
    // One certificate for every instance, as one SQL Server service has one.
    const EncryptionSetting encryption = options.encryption == "forced" ? EncryptionSetting::Forced
        : options.encryption == "not-supported"                         ? EncryptionSetting::NotSupported
                                                                        : EncryptionSetting::Available;
    std::unique_ptr<TlsContext> tls;
    try {
        if (!options.tlsCertificate.empty())
            tls = TlsContext::fromFiles(options.tlsCertificate, options.tlsKey);
        else if (encryption != EncryptionSetting::NotSupported)
            tls = TlsContext::selfSigned("SSL_Self_Signed_Fallback");
    } catch (const TlsError &e) {
        return fail(e.what());
    }
    if (tls)
        std::cerr << "sqlemu: encryption " << options.encryption << ", certificate " << tls->subject() << '\n';
    const ServerVersion version = *ServerVersion::fromName(options.serverVersion);
    const std::vector<std::string> addresses = listenAddresses(hostNameAddresses(), options.extraListenAddresses);
    const int maxSessions = sessionsTheDescriptorsAllow(options.maxSessions);
    DataFolderLock dataFolderLock;
    if (std::string error; !dataFolderLock.acquire(options.dataDir, error))
        return fail(error);

    std::vector<NamedInstance> wanted = {{"MSSQLSERVER", options.port}};
    wanted.insert(wanted.end(), options.instances.begin(), options.instances.end());
    std::vector<std::string> installed;
    installed.reserve(wanted.size());
    for (const auto &w : wanted)
        installed.push_back(w.name);

    std::vector<RunningInstance> instances;
    try {
        for (const auto &w : wanted) {
            RunningInstance running;
            InstanceConfig config;
            config.instanceName = w.name;
            config.serverName = w.name == "MSSQLSERVER" ? host : host + "\\" + w.name;
            config.dataDir = (std::filesystem::path(options.dataDir) / w.name).string();
            config.serverVersion = options.serverVersion;
            config.installedInstances = installed;
            config.testStatements = options.testStatements;
            config.memory = &memory;
            std::filesystem::create_directories(config.dataDir);

            running.context = std::make_unique<InstanceContext>();
            running.context->loginTimeout = std::chrono::seconds(options.loginTimeoutSeconds);
            running.context->sendTimeout = std::chrono::seconds(options.sendTimeoutSeconds);
            running.listener = std::make_unique<Listener>(*running.context, maxSessions);
            std::string error;
            if (!running.listener->listen(addresses, options.extraListenAddresses, w.port, error))
                return fail("cannot listen for " + w.name + ": " + error);
            running.context->port = running.listener->port();
            running.engine = createEngine(config);
            if (!options.keytab.empty())
                running.kerberos = createGssAcceptor(options.keytab, running.context->port);
            running.context->engine = running.engine.get();
            running.context->config = config;
            running.context->policy = LoginPolicy{options.logins, running.kerberos.get(), version, config.serverName};
            running.context->trace = trace.get();
            running.context->encryption = encryption;
            running.context->tls = tls.get();
            instances.push_back(std::move(running));
        }
    } catch (const std::exception &e) {
        return fail(e.what());
    }

    std::unique_ptr<BrowserService> browser;
    if (options.browser) {
        std::vector<BrowserInstance> list;
        list.reserve(instances.size());
        for (const auto &i : instances)
            list.push_back({i.context->config.instanceName, i.context->port, version.browserVersion});
        browser = std::make_unique<BrowserService>(host, list);
        std::string error;
        if (!browser->listen(addresses, options.browserPort, error))
            return fail("cannot answer browser requests: " + error);
    }

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

    int received = 0;
    sigwait(&signals, &received);

    if (browser)
        browser->stop();
    for (auto &i : instances)
        i.listener->stop();
    // Destroying an engine saves its catalogue.
    instances.clear();
    return 0;
}
