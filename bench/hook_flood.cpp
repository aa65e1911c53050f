// Floods a running murmeli's hook endpoint and reports its resident memory before the flood, at its peak and once
// the flood has gone, with what became of the clients.
//   hook_flood PID PORT connections COUNT [HOLD_S=5] [SETTLE_S=5]   COUNT idle connections
//   hook_flood PID PORT partial COUNT [HOLD_S=5] [SETTLE_S=5]       COUNT clients, each sending 250 KB of a request
//                                                                   that declares more and never finishes
//   hook_flood PID PORT heads COUNT [HOLD_S=5] [SETTLE_S=5]         COUNT clients, each sending the start of a head
//                                                                   and no more, connecting again when closed
// The clients hold on for HOLD_S seconds and then close; SETTLE_S seconds later the memory is read again.
//   hook_flood PID PORT ask COUNT SECRET [WAIT_S=3]                 COUNT permission requests at once, as an agent's
//                                                                   hook sends them (connected, 100 ms later the
//                                                                   request): how many murmeli holds (no reply and
//                                                                   still open after WAIT_S seconds)

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/system/ResourceLimits.h"
#include "tests/support/LoopbackSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t partialBodyBytes = 250 * 1000;
constexpr int declaredBodyBytes = 262000;

struct Memory {
    long residentKiB = -1;
    long peakKiB = -1;
};

Memory memoryOf(int pid)
{
    Memory memory;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            memory.residentKiB = std::atol(line.c_str() + 6);
        } else if (line.rfind("VmHWM:", 0) == 0) {
            memory.peakKiB = std::atol(line.c_str() + 6);
        }
    }
    return memory;
}

// Sets the process's peak back to its present size, so the next peak read is this flood's own; false when this
// process may not (another user's), and only the sampled peak counts.
bool resetPeak(int pid)
{
    std::ofstream refs("/proc/" + std::to_string(pid) + "/clear_refs");
    refs << "5";
    refs.flush();
    return refs.good();
}

double mib(long kib)
{
    return kib / 1024.0;
}

struct Client {
    int fd = -1;
    std::size_t sent = 0;
    bool refused = false; // a 503 reply arrived
};

struct Outcome {
    int open = 0;
    int refused = 0;
    int closedSilently = 0;
    int reset = 0;
    int failedToConnect = 0;
};

void finish(Client& client, Outcome& outcome, bool reset)
{
    ::close(client.fd);
    client.fd = -1;
    if (client.refused) {
        ++outcome.refused;
    } else if (reset) {
        ++outcome.reset;
    } else {
        ++outcome.closedSilently;
    }
}

// Sends count permission requests at once, each as an agent's hook writes it, and counts those still waiting for
// their answer after wait: what murmeli holds for the panel. Closing them afterwards takes the cards away again.
int ask(int pid, quint16 port, int count, const std::string& secret, std::chrono::seconds wait)
{
    const std::string body = R"({"session_id":"b3nchf100d","hook_event_name":"PermissionRequest","tool_name":"Bash",)"
                             R"("tool_input":{"command":"ls -la /tmp"},"tool_use_id":"toolu_bench_)";
    std::vector<int> fds;
    int unreachable = 0;
    // Connected first: the hook looks at who listens on the port before it sends a byte, which takes a while when
    // the kernel's socket table is large, as a flood makes it.
    for (int i = 0; i < count; ++i) {
        if (const int fd = murmeli::test::connectLoopback(port); fd >= 0) {
            fds.push_back(fd);
        } else {
            ++unreachable;
        }
    }
    ::usleep(100 * 1000);
    for (std::size_t i = 0; i < fds.size(); ++i) {
        const std::string json = body + std::to_string(i) + "\"}";
        const std::string request = "POST /hook/PermissionRequest HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                    "application/json\r\nx-murmeli-adapter: claude\r\nAuthorization: Bearer "
            + secret + "\r\nContent-Length: " + std::to_string(json.size()) + "\r\nConnection: close\r\n\r\n" + json;
        ::send(fds[i], request.data(), request.size(), MSG_NOSIGNAL);
    }
    long peak = memoryOf(pid).residentKiB;
    for (const auto until = Clock::now() + wait; Clock::now() < until;) {
        ::usleep(100 * 1000);
        peak = std::max(peak, memoryOf(pid).residentKiB);
    }
    int held = 0;
    int answered = 0;
    int closed = 0;
    char reply[512];
    for (const int fd : fds) {
        const ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            ++held;
        } else if (n > 0) {
            ++answered;
            const std::string status(reply, static_cast<std::size_t>(n));
            std::printf("answered at once: %s\n", status.substr(0, status.find('\r')).c_str());
        } else {
            ++closed;
        }
        ::close(fd);
    }
    std::printf("permission requests: %d of %d held after %lld s, %d answered at once, %d closed or reset, %d could "
                "not connect\n",
        held, count, static_cast<long long>(wait.count()), answered, closed, unreachable);
    std::printf("murmeli resident memory while they waited: %.1f MiB at most\n", mib(peak));
    return held == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr,
            "usage: hook_flood PID PORT connections|partial|heads COUNT [HOLD_S] [SETTLE_S]\n"
            "       hook_flood PID PORT ask COUNT SECRET [WAIT_S]\n");
        return 2;
    }
    const int pid = std::atoi(argv[1]);
    const auto port = static_cast<quint16>(std::atoi(argv[2]));
    const bool partial = std::strcmp(argv[3], "partial") == 0;
    const bool heads = std::strcmp(argv[3], "heads") == 0;
    const int count = std::atoi(argv[4]);
    if (std::strcmp(argv[3], "ask") == 0) {
        return argc > 5 ? ask(pid, port, count, argv[5], std::chrono::seconds(argc > 6 ? std::atoi(argv[6]) : 3)) : 2;
    }
    const auto hold = std::chrono::seconds(argc > 5 ? std::atoi(argv[5]) : 5);
    const auto settle = std::chrono::seconds(argc > 6 ? std::atoi(argv[6]) : 5);
    murmeli::platform::raiseOpenFileLimit();

    // A head cut off before its blank line, as a client that means to hold the connection sends it.
    const std::string request = heads ? "POST /hook/PermissionRequest HTTP/1.1\r\nHost: 127.0.0.1:"
            + std::to_string(port) + "\r\nContent-Type: application/json\r\nAuthorization: Bearer "
                                      : "POST /hook/Flood HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port)
            + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(declaredBodyBytes) + "\r\n\r\n"
            + std::string(partialBodyBytes, ' ');
    const bool sends = partial || heads;
    const Memory idle = memoryOf(pid);
    const bool ownPeak = resetPeak(pid);
    long sampledPeak = idle.residentKiB;
    int reconnected = 0;

    Outcome outcome;
    std::vector<Client> clients;
    for (int i = 0; i < count; ++i) {
        const int fd = murmeli::test::connectLoopback(port, true);
        if (fd < 0) {
            ++outcome.failedToConnect;
            continue;
        }
        clients.push_back({ fd });
    }

    const auto holdUntil = Clock::now() + hold;
    std::vector<pollfd> entries;
    std::vector<Client*> owners;
    char buffer[512];
    while (Clock::now() < holdUntil) {
        entries.clear();
        owners.clear();
        for (Client& client : clients) {
            if (client.fd >= 0) {
                const bool sending = sends && client.sent < request.size();
                entries.push_back({ client.fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0 });
                owners.push_back(&client);
            }
        }
        ::poll(entries.data(), entries.size(), 20);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Client& client = *owners[i];
            if (entries[i].revents & POLLOUT) {
                const ssize_t n = ::send(
                    client.fd, request.data() + client.sent, request.size() - client.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    client.sent += static_cast<std::size_t>(n);
                } else if (n < 0 && errno != EAGAIN && errno != ENOTCONN) {
                    finish(client, outcome, true);
                    continue;
                }
            }
            if (entries[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    client.refused = client.refused || std::strncmp(buffer, "HTTP/1.1 503", 12) == 0;
                } else if (n == 0 || errno != EAGAIN) {
                    finish(client, outcome, n < 0);
                }
            }
        }
        // The heads flood keeps its number up: a connection closed is opened again.
        for (Client& client : clients) {
            if (heads && client.fd < 0) {
                client = { murmeli::test::connectLoopback(port, true) };
                client.fd >= 0 ? ++reconnected : ++outcome.failedToConnect;
            }
        }
        sampledPeak = std::max(sampledPeak, memoryOf(pid).residentKiB);
    }
    const Memory flooded = memoryOf(pid);
    for (Client& client : clients) {
        if (client.fd >= 0) {
            ++outcome.open;
            ::close(client.fd);
        }
    }

    const auto settleUntil = Clock::now() + settle;
    while (Clock::now() < settleUntil) {
        ::usleep(100 * 1000);
    }
    const Memory settled = memoryOf(pid);

    std::printf("%s flood: %d clients: %d still open at the end, %d refused with 503, %d closed without a reply, "
                "%d reset, %d failed to connect, %d connected again\n",
        heads         ? "unfinished-head"
            : partial ? "partial-request"
                      : "connection",
        count, outcome.open, outcome.refused, outcome.closedSilently, outcome.reset, outcome.failedToConnect,
        reconnected);
    std::printf("murmeli resident memory: idle %.1f MiB, peak %.1f MiB, settled %.1f MiB (%lld s after the clients "
                "left)\n",
        mib(idle.residentKiB), mib(ownPeak ? std::max(flooded.peakKiB, sampledPeak) : sampledPeak),
        mib(settled.residentKiB), static_cast<long long>(settle.count()));
    return 0;
}
