// What the filter costs a connection: connect() latency to a server in another namespace with the
// filter on (a peer that allows at once), against the filter off and against a minimal responder
// that sends every queued packet on at once through the same rules (the floor any NFQUEUE filter
// stands on), all in the same run; the rate of new connections; the same from a process that holds
// 10,000 sockets (the owner lookup's worst case); the same while another user holds 40,000
// descriptors and starts connections from sockets no process holds (each costs the extension a
// search to its budget); and the extension's resident memory. With the
// filter on, the CPU time the extension and the peer spend per connection is counted too: what
// the median adds beyond it is waiting for threads to wake; the responder's is counted alike.
// Last, the application's real engine takes the peer's place and answers from its geo-IP cache:
// its latency and rate are measured beside the peer's. The first connection of a freshly started
// process (one new process per connect, as short-lived programs make them) is measured with the
// filter off, with the minimal responder, with the test peer and with the engine.

#include "FilterLink/FilterConfiguration.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "NetworkExtension/Provider/FirewallRules.h"
#include "NetworkExtension/Provider/NetfilterQueue.h"
#include "tests/EndToEnd/EngineHost.h"
#include "tests/FilterExtension/NetworkSandbox.h"
#include "tests/FilterExtension/TestPeer.h"
#include "tests/FilterExtension/UnownedConnector.h"
#include "tests/Sources/Tools/GeoIPTestServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr std::uint16_t kPort = 7000;
constexpr uid_t kDesktopUser = 4242;
constexpr int kConnections = 2000;
constexpr int kRateConnections = 20000;
constexpr int kFewConnectors = 8;
constexpr int kManyConnectors = 64;
constexpr int kHeldSockets = 10000;
constexpr uid_t kHoarder = 4343;
constexpr int kHoardedDescriptors = 40000;
constexpr int kUnownedPerSecond = 40;
constexpr int kNewProcesses = 300;

struct Environment {
    std::unique_ptr<NetworkSandbox> sandbox;
    std::unique_ptr<SocketServer> server;
    std::unique_ptr<ChildProcess> extension;
    std::unique_ptr<ChildProcess> peer;
    std::thread peerDrain;
    std::string runFolder;
    std::string self;
    // The engine, started in the peer's place by the first benchmark that needs it.
    std::unique_ptr<GeoIPTestServer> geoIP;
    std::unique_ptr<ChildProcess> engine;
    std::thread engineDrain;
    std::filesystem::path engineFolder;
    std::optional<std::string> engineError;
};

Environment* g_environment = nullptr;
double g_medianOff = 0;
double g_medianResponder = 0;
double g_medianOn = 0;
double g_medianOnManySockets = 0;
double g_medianOnHoarder = 0;
double g_rateOff = 0;
double g_rateOn = 0;
double g_rateOnManySockets = 0;
double g_medianEngine = 0;
double g_rateEngine = 0;
double g_rateOnMany = 0;
double g_rateEngineMany = 0;
double g_medianNewProcessOff = 0;
double g_medianNewProcessResponder = 0;
double g_medianNewProcessOn = 0;
double g_medianNewProcessEngine = 0;

// The minimal responder: the filter's rules, and every packet of both queues accepted at once.
// Runs until it reads a line (or its input ends) on standard input, then removes the rules.
int runResponder() {
    FirewallRules rules{FirewallRules::Settings{}};
    NetfilterQueue queue;
    const FirewallRules::Settings settings;
    if (auto opened =
            queue.open({{settings.flowQueue, 256, false}, {settings.nameQueue, 256, true}});
        !opened) {
        std::printf("error %s\n", opened.error().c_str());
        return 1;
    }
    if (auto installed = rules.install(); !installed) {
        std::printf("error %s\n", installed.error().c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const auto accept = [&queue](const NetfilterQueue::Packet& packet) {
        queue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
    };
    for (;;) {
        pollfd descriptors[2] = {{queue.fileDescriptor(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0) {
            continue;
        }
        if (descriptors[1].revents != 0) {
            break;
        }
        if (!queue.receive(accept)) {
            break;
        }
    }
    rules.remove();
    return 0;
}

bool setFilterEnabled(bool enabled) {
    auto manager =
        FilterManagerClient::createForSocketPath(g_environment->runFolder + "/filter-manager");
    FilterConfiguration configuration;
    configuration.enabled = enabled;
    configuration.providerConfiguration = {true, false};
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    manager->saveToPreferences(configuration, [done](const std::optional<std::string>& error) {
        done->set_value(!error);
    });
    return result.wait_for(10s) == std::future_status::ready && result.get();
}

// One blocking connect to the server; its duration in microseconds, or a negative value.
double timedConnect(int clientNamespace) {
    const int fd = NetworkSandbox::socketIn(clientNamespace, AF_INET, SOCK_STREAM);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    ::inet_pton(AF_INET, NetworkSandbox::kServerAddress, &address.sin_addr);
    const auto start = std::chrono::steady_clock::now();
    const int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    const auto end = std::chrono::steady_clock::now();
    // Closed with a reset: no TIME_WAIT, so ports do not run out over many connections.
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    ::close(fd);
    return result == 0 ? std::chrono::duration<double, std::micro>(end - start).count() : -1;
}

// A new process's one connect, in the namespace it was started in: prints its duration in
// microseconds, or "failed".
int runConnectOnce() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    ::inet_pton(AF_INET, NetworkSandbox::kServerAddress, &address.sin_addr);
    const auto start = std::chrono::steady_clock::now();
    const int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    const auto end = std::chrono::steady_clock::now();
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    ::close(fd);
    if (result != 0) {
        std::printf("failed\n");
        return 1;
    }
    std::printf("%.1f\n", std::chrono::duration<double, std::micro>(end - start).count());
    return 0;
}

std::optional<std::string> startEngine();

// User and system CPU time a process has used so far, in microseconds; negative when unknown.
double cpuMicroseconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The fields after the command name, which may hold spaces, start after its ')'.
    const auto end = line.rfind(')');
    if (end == std::string::npos) {
        return -1;
    }
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    // utime and stime are the 14th and 15th fields, the 12th and 13th after the name.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            user = std::stoull(field);
        } else if (index == 15) {
            system = std::stoull(field);
        }
    }
    return static_cast<double>(user + system) * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Blocking connects one after another; the median goes to `median`. `verdicts` is the process
// that answers the queue (its CPU time includes the kernel's work on each packet it lets go, which
// runs in the thread that sends the verdict).
void measureLatency(benchmark::State& state, double& median, pid_t verdicts, pid_t peer) {
    const int client = g_environment->sandbox->clientNamespace();
    const double verdictsBefore = cpuMicroseconds(verdicts);
    const double peerBefore = cpuMicroseconds(peer);
    std::vector<double> samples;
    samples.reserve(kConnections);
    int failures = 0;
    for (auto _ : state) {
        const double micros = timedConnect(client);
        if (micros < 0) {
            ++failures;
        } else {
            samples.push_back(micros);
        }
        state.SetIterationTime(std::max(micros, 0.0) / 1e6);
    }
    const double connections = static_cast<double>(state.iterations());
    state.counters["verdicts_cpu_us"] = (cpuMicroseconds(verdicts) - verdictsBefore) / connections;
    state.counters["peer_cpu_us"] = (cpuMicroseconds(peer) - peerBefore) / connections;
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) {
        state.SkipWithError("no connection succeeded");
        return;
    }
    median = samples[samples.size() / 2];
    state.counters["median_us"] = median;
    state.counters["p90_us"] = samples[samples.size() * 9 / 10];
    state.counters["failures"] = failures;
}

// Each iteration starts a process that makes one connection and says how long its connect took:
// the first connection of a program the filter has never seen, whose socket the extension must
// find among every process's descriptors.
void measureNewProcessLatency(benchmark::State& state, double& median, pid_t verdicts, pid_t peer) {
    ChildProcess::Options options;
    options.networkNamespace = g_environment->sandbox->clientNamespace();
    const double verdictsBefore = cpuMicroseconds(verdicts);
    const double peerBefore = cpuMicroseconds(peer);
    std::vector<double> samples;
    int failures = 0;
    for (auto _ : state) {
        ChildProcess connector({g_environment->self, "--connect-once"}, options);
        const auto line = connector.readLine(30s);
        connector.stop(0, 10s);
        double micros = -1;
        if (line && *line != "failed") {
            micros = std::stod(*line);
            samples.push_back(micros);
        } else {
            ++failures;
        }
        state.SetIterationTime(std::max(micros, 0.0) / 1e6);
    }
    const double connections = static_cast<double>(state.iterations());
    state.counters["verdicts_cpu_us"] = (cpuMicroseconds(verdicts) - verdictsBefore) / connections;
    state.counters["peer_cpu_us"] = (cpuMicroseconds(peer) - peerBefore) / connections;
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) {
        state.SkipWithError("no connection succeeded");
        return;
    }
    median = samples[samples.size() / 2];
    state.counters["median_us"] = median;
    state.counters["p90_us"] = samples[samples.size() * 9 / 10];
    state.counters["failures"] = failures;
}

void newProcessLatency(benchmark::State& state, bool filterOn, double& median) {
    if (!setFilterEnabled(filterOn)) {
        state.SkipWithError("the filter could not be switched");
        return;
    }
    measureNewProcessLatency(state, median, g_environment->extension->pid(),
                             g_environment->peer->pid());
}

void engineNewProcessLatency(benchmark::State& state) {
    if (const auto error = startEngine()) {
        state.SkipWithError(error->c_str());
        return;
    }
    measureNewProcessLatency(state, g_medianNewProcessEngine, g_environment->extension->pid(),
                             g_environment->engine->pid());
}

void connectLatency(benchmark::State& state, bool filterOn, double& median) {
    if (!setFilterEnabled(filterOn)) {
        state.SkipWithError("the filter could not be switched");
        return;
    }
    measureLatency(state, median, g_environment->extension->pid(), g_environment->peer->pid());
}

// Holds many open sockets in this process while it runs, so each new connection's owner is
// looked up in a process with a crowded descriptor table.
class ManySockets {
public:
    ManySockets() {
        rlimit files{kHeldSockets + 4096, kHeldSockets + 4096};
        ::setrlimit(RLIMIT_NOFILE, &files);
        for (int i = 0; i < kHeldSockets; ++i) {
            m_sockets.push_back(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        }
    }
    ~ManySockets() {
        for (const int fd : m_sockets) {
            ::close(fd);
        }
    }

private:
    std::vector<int> m_sockets;
};

// Another user, while it runs, holds many descriptors and starts connections from sockets no
// process holds, each of which the extension searches for up to its budget.
class HoarderRunning {
public:
    HoarderRunning()
        : m_process(
              {g_environment->self, "--unowned-connector", "--connect",
               std::string(NetworkSandbox::kServerAddress) + ":" + std::to_string(kPort), "--hold",
               std::to_string(kHoardedDescriptors), "--rate", std::to_string(kUnownedPerSecond)},
              options()) {
        m_holding = m_process.readLine(30s) == "holding " + std::to_string(kHoardedDescriptors);
    }

    bool holding() const { return m_holding; }

private:
    static ChildProcess::Options options() {
        ChildProcess::Options result;
        result.networkNamespace = g_environment->sandbox->clientNamespace();
        result.user = kHoarder;
        return result;
    }

    ChildProcess m_process;
    bool m_holding = false;
};

// Runs `measure` with the minimal responder answering the queues in the filter's place.
template <typename Measure>
void withResponder(benchmark::State& state, Measure measure) {
    if (!setFilterEnabled(false)) {
        state.SkipWithError("the filter could not be switched off");
        return;
    }
    ChildProcess::Options options;
    options.networkNamespace = g_environment->sandbox->clientNamespace();
    options.standardInput = true;
    ChildProcess responder({g_environment->self, "--responder"}, options);
    if (const auto line = responder.readLine(10s); line != "ready") {
        state.SkipWithError(("the responder did not start: " + line.value_or("")).c_str());
        return;
    }
    measure(responder.pid());
    responder.closeInput();
    responder.stop(0, 10s);
}

void responderLatency(benchmark::State& state, double& median) {
    withResponder(state, [&](pid_t responder) {
        measureLatency(state, median, responder, g_environment->peer->pid());
    });
}

// `connectors` threads connect one after another each, as fast as they can.
void measureRate(benchmark::State& state, double& rate, int connectors) {
    const int client = g_environment->sandbox->clientNamespace();
    for (auto _ : state) {
        std::atomic<int> next{0};
        std::atomic<int> failures{0};
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int i = 0; i < connectors; ++i) {
            threads.emplace_back([&] {
                while (next++ < kRateConnections) {
                    if (timedConnect(client) < 0) {
                        ++failures;
                    }
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rate = kRateConnections / seconds;
        state.SetIterationTime(seconds);
        state.counters["connections_per_s"] = rate;
        state.counters["failures"] = failures.load();
    }
}

void connectionRate(benchmark::State& state, bool filterOn, double& rate,
                    int connectors = kFewConnectors) {
    if (!setFilterEnabled(filterOn)) {
        state.SkipWithError("the filter could not be switched");
        return;
    }
    measureRate(state, rate, connectors);
}

// Ends the test peer and starts the application's engine in its place, with the filter on and a
// geo-IP service on the client namespace's loopback that places the server in "DE". One connection
// fills the engine's cache before the measurements.
std::optional<std::string> startEngineOnce() {
    Environment& environment = *g_environment;
    if (!setFilterEnabled(true)) {
        return "the filter could not be switched on";
    }
    environment.peer->stop(SIGTERM, 10s);
    environment.peerDrain.join();
    const int client = environment.sandbox->clientNamespace();
    std::thread([&environment, client] {
        if (::setns(client, CLONE_NEWNET) == 0) {
            environment.geoIP = std::make_unique<GeoIPTestServer>();
        }
    }).join();
    if (!environment.geoIP) {
        return "no geo-IP service";
    }
    environment.geoIP->setDefaultAnswer(R"({"country": {"isoCode": "DE"}})");
    char folder[] = "/tmp/filter-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return "no temporary folder";
    }
    environment.engineFolder = folder;
    ChildProcess::Options options;
    options.networkNamespace = client;
    options.mountNamespaceOf = environment.extension->pid();
    // Held open: the engine takes the end of its input as the word to remove the extension.
    options.standardInput = true;
    options.environment = {"XDG_CACHE_HOME=" + (environment.engineFolder / "cache").string()};
    environment.engine = std::make_unique<ChildProcess>(
        std::vector<std::string>{environment.self, "--engine", "--app", TARNWICK_APP_BUNDLE,
                                 "--geoip", environment.geoIP->service(), "--settings",
                                 (environment.engineFolder / "settings.json").string(), "--answer",
                                 "Allow this connection", "--extension-running", "yes"},
        options);
    // Everything it said before it ran, for the error.
    std::string said;
    bool running = false;
    while (const auto line = environment.engine->readLine(10s)) {
        if (*line == "status running") {
            running = true;
            break;
        }
        said += " / " + *line;
    }
    if (!running) {
        return "the engine did not register" + said;
    }
    environment.engineDrain = std::thread([engine = environment.engine.get()] {
        while (engine->readLine(std::chrono::hours(1))) {
        }
    });
    if (timedConnect(client) < 0) {
        return "the first connection through the engine failed";
    }
    return std::nullopt;
}

// The engine's start, once for all the benchmarks that use it; the reason when it failed.
std::optional<std::string> startEngine() {
    static const bool started = [] {
        g_environment->engineError = startEngineOnce();
        return true;
    }();
    (void)started;
    return g_environment->engineError;
}

void engineLatency(benchmark::State& state) {
    if (const auto error = startEngine()) {
        state.SkipWithError(error->c_str());
        return;
    }
    measureLatency(state, g_medianEngine, g_environment->extension->pid(),
                   g_environment->engine->pid());
}

void engineRate(benchmark::State& state, double& rate, int connectors) {
    if (const auto error = startEngine()) {
        state.SkipWithError(error->c_str());
        return;
    }
    measureRate(state, rate, connectors);
}

void stopEngine(Environment& environment) {
    if (!environment.engine) {
        return;
    }
    environment.engine->stop(SIGTERM, 10s);
    if (environment.engineDrain.joinable()) {
        environment.engineDrain.join();
    }
    std::error_code ignored;
    std::filesystem::remove_all(environment.engineFolder, ignored);
}

long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

bool setUp(Environment& environment, const char* self) {
    environment.sandbox = std::make_unique<NetworkSandbox>();
    const int client = environment.sandbox->clientNamespace();
    environment.server = SocketServer::tcpPong(environment.sandbox->serverNamespace(),
                                               NetworkSandbox::kServerAddress, kPort);
    ChildProcess::Options extension;
    extension.networkNamespace = client;
    extension.privateRunFolders = true;
    extension.environment = {"PKEXEC_UID=" + std::to_string(kDesktopUser)};
    // The peer and the engine are this very program, which registers in the application's place.
    environment.extension = std::make_unique<ChildProcess>(
        std::vector<std::string>{TARNWICK_FILTER_EXTENSION, "--application", self}, extension);
    environment.runFolder =
        "/proc/" + std::to_string(environment.extension->pid()) + "/root/run/tarnwick";
    const std::string service = TARNWICK_EXTENSION_SERVICE;
    if (!waitUntil(
            [&] {
                return ::access((environment.runFolder + "/" + service).c_str(), F_OK) == 0 &&
                       ::access((environment.runFolder + "/filter-manager").c_str(), F_OK) == 0;
            },
            10s)) {
        std::fprintf(stderr, "filter_bench: the extension did not start\n");
        return false;
    }
    ChildProcess::Options peer;
    peer.networkNamespace = client;
    peer.mountNamespaceOf = environment.extension->pid();
    peer.user = kDesktopUser;
    environment.peer = std::make_unique<ChildProcess>(
        std::vector<std::string>{self, "--peer", "--service", service, "--answer", "allow",
                                 "--quiet"},
        peer);
    if (const auto line = environment.peer->readLine(10s); line != "registered true") {
        std::fprintf(stderr, "filter_bench: the peer did not register: %s\n",
                     line.value_or("(nothing)").c_str());
        return false;
    }
    // The peer writes a line per prompt; it must never block on a full pipe.
    environment.peerDrain = std::thread([peer = environment.peer.get()] {
        while (peer->readLine(std::chrono::hours(1))) {
        }
    });
    return true;
}

// A latency benchmark: one blocking connect per iteration, timed by hand.
void registerLatency(const char* name, void (*run)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, run)
        ->Iterations(kConnections)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

// A latency benchmark of new processes: one started per iteration, timed by hand.
void registerNewProcessLatency(const char* name, void (*run)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, run)
        ->Iterations(kNewProcesses)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

// A rate benchmark: one round of many connections from parallel connectors.
void registerRate(const char* name, void (*run)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, run)->Iterations(1)->UseManualTime()->Unit(
        benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--peer") {
        return runTestPeer(argc - 1, argv + 1);
    }
    if (argc > 1 && std::string(argv[1]) == "--unowned-connector") {
        return runUnownedConnector(argc - 1, argv + 1);
    }
    if (argc > 1 && std::string(argv[1]) == "--responder") {
        return runResponder();
    }
    if (argc > 1 && std::string(argv[1]) == "--connect-once") {
        return runConnectOnce();
    }
    if (argc > 1 && std::string(argv[1]) == "--engine") {
        return runEngineHost(argc - 1, argv + 1);
    }
    if (::geteuid() != 0) {
        std::printf("filter_bench needs root (network namespaces, packet queues); skipped.\n");
        return 0;
    }
    Environment environment;
    g_environment = &environment;
    // The peer is this program again; the child changes folder, so the path must be absolute.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    environment.self = self;
    if (!setUp(environment, self.c_str())) {
        return 1;
    }
    registerLatency("ConnectLatency/filterOff",
                    [](benchmark::State& state) { connectLatency(state, false, g_medianOff); });
    registerLatency("ConnectLatency/minimalResponder",
                    [](benchmark::State& state) { responderLatency(state, g_medianResponder); });
    registerLatency("ConnectLatency/filterOn",
                    [](benchmark::State& state) { connectLatency(state, true, g_medianOn); });
    registerLatency("ConnectLatency/filterOn/10000SocketsHeld", [](benchmark::State& state) {
        const ManySockets crowded;
        connectLatency(state, true, g_medianOnManySockets);
    });
    registerLatency("ConnectLatency/filterOn/anotherUserHides40000Descriptors",
                    [](benchmark::State& state) {
                        const HoarderRunning hoarder;
                        if (!hoarder.holding()) {
                            state.SkipWithError("the other user's process failed");
                            return;
                        }
                        connectLatency(state, true, g_medianOnHoarder);
                    });
    registerRate("ConnectionRate/filterOff",
                 [](benchmark::State& state) { connectionRate(state, false, g_rateOff); });
    registerRate("ConnectionRate/filterOn",
                 [](benchmark::State& state) { connectionRate(state, true, g_rateOn); });
    registerRate("ConnectionRate/filterOn/64connectors", [](benchmark::State& state) {
        connectionRate(state, true, g_rateOnMany, kManyConnectors);
    });
    registerRate("ConnectionRate/filterOn/10000SocketsHeld", [](benchmark::State& state) {
        const ManySockets crowded;
        connectionRate(state, true, g_rateOnManySockets);
    });
    registerNewProcessLatency("ConnectLatency/newProcess/filterOff", [](benchmark::State& state) {
        newProcessLatency(state, false, g_medianNewProcessOff);
    });
    // What any filter on the packet queues costs a new process's first connect: the floor.
    registerNewProcessLatency(
        "ConnectLatency/newProcess/minimalResponder", [](benchmark::State& state) {
            withResponder(state, [&](pid_t responder) {
                measureNewProcessLatency(state, g_medianNewProcessResponder, responder,
                                         g_environment->peer->pid());
            });
        });
    registerNewProcessLatency("ConnectLatency/newProcess/filterOn", [](benchmark::State& state) {
        newProcessLatency(state, true, g_medianNewProcessOn);
    });
    // These replace the peer by the engine, so they come last.
    registerLatency("ConnectLatency/engineFromCache", engineLatency);
    registerNewProcessLatency("ConnectLatency/newProcess/engineFromCache", engineNewProcessLatency);
    registerRate("ConnectionRate/engineFromCache",
                 [](benchmark::State& state) { engineRate(state, g_rateEngine, kFewConnectors); });
    registerRate("ConnectionRate/engineFromCache/64connectors", [](benchmark::State& state) {
        engineRate(state, g_rateEngineMany, kManyConnectors);
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stopEngine(environment);

    const long resident = residentKilobytes(environment.extension->pid());
    const double added = g_medianOn - g_medianOff;
    const double responderAdded = g_medianResponder - g_medianOff;
    std::printf(
        "\nconnect() median: %.1f us filter off, %.1f us minimal responder, %.1f us filter on "
        "(%.1f us with 10,000 sockets held; %.1f us while another user holds 40,000 descriptors "
        "and connects %d times a second from sockets no process holds)\n",
        g_medianOff, g_medianResponder, g_medianOn, g_medianOnManySockets, g_medianOnHoarder,
        kUnownedPerSecond);
    std::printf(
        "added by the filter: %.1f us (goal: at most 100); by the minimal responder: %.1f us; "
        "filter on / responder: %.2fx (goal: at most 1.5)\n",
        added, responderAdded, g_medianResponder > 0 ? g_medianOn / g_medianResponder : 0.0);
    std::printf(
        "new connections: %.0f/s filter off, %.0f/s filter on, %.0f/s filter on from a process "
        "holding 10,000 sockets (goal: at least 5000)\n",
        g_rateOff, g_rateOn, g_rateOnManySockets);
    std::printf("extension resident memory: %.1f MB (goal: under 15)\n", resident / 1024.0);
    std::printf(
        "the engine answering from its cache: connect() median %.1f us, %.1f us over the test "
        "peer (goal: at most 50), %.1f us over the filter off (goal: at most 150); new "
        "connections/s with %d connectors: %.0f (goal: at least 10000), with %d: %.0f (goal: no "
        "fewer); the test peer with %d connectors: %.0f/s\n",
        g_medianEngine, g_medianEngine - g_medianOn, g_medianEngine - g_medianOff, kFewConnectors,
        g_rateEngine, kManyConnectors, g_rateEngineMany, kManyConnectors, g_rateOnMany);

    std::printf(
        "first connect of a new process: median %.1f us filter off, %.1f us with the minimal "
        "responder (%.1f us added), %.1f us with the test peer (%.1f us added), %.1f us with the "
        "engine (%.1f us added; goal: at most 500)\n",
        g_medianNewProcessOff, g_medianNewProcessResponder,
        g_medianNewProcessResponder - g_medianNewProcessOff, g_medianNewProcessOn,
        g_medianNewProcessOn - g_medianNewProcessOff, g_medianNewProcessEngine,
        g_medianNewProcessEngine - g_medianNewProcessOff);

    setFilterEnabled(false);
    environment.peer->stop(SIGKILL, 10s);
    if (environment.peerDrain.joinable()) {
        environment.peerDrain.join();
    }
    environment.extension->stop(SIGTERM, 10s);
    return 0;
}
