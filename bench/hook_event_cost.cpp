// What one hook event costs a running murmeli's main thread, in microseconds of CPU time: its time on the CPU (from
// /proc/PID/task/PID/schedstat) while COUNT events of a kind are posted one after another, as an agent posts them,
// less what the main thread spends idle over as long a time.
//   hook_event_cost PID PORT [COUNT=2000]
// With HOOK_EVENT_AGENT set ("<pid> <start>", as the hook scripts name a process) every event names that process as
// its agent, as the hook scripts do.
// The kinds: a PostToolUse with a tool input, a Stop with the assistant's last message, and a PermissionRequest
// answered at once (the agent runs the tool right away, as when the user answered in its terminal: the PostToolUse
// that follows lets the request through; its own cost is taken off).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/LoopbackSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

int g_pid = 0;
quint16 g_port = 0;

// Nanoseconds the main thread (whose id is the process's) has run.
long long mainThreadNs()
{
    std::ifstream schedstat("/proc/" + std::to_string(g_pid) + "/task/" + std::to_string(g_pid) + "/schedstat");
    long long ns = -1;
    schedstat >> ns;
    return ns;
}

std::string request(const std::string& event, const std::string& body)
{
    static const std::string agent = [] {
        const char* named = std::getenv("HOOK_EVENT_AGENT");
        return named ? std::string("x-murmeli-agent-process: ").append(named).append("\r\n") : std::string();
    }();
    return "POST /hook/" + event + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" + agent
        + "x-murmeli-adapter: claude\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

int send(const std::string& event, const std::string& body)
{
    const int fd = murmeli::test::connectLoopback(g_port);
    if (fd < 0) {
        std::fprintf(stderr, "hook_event_cost: cannot connect to port %d\n", g_port);
        std::exit(1);
    }
    const std::string bytes = request(event, body);
    if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
        std::fprintf(stderr, "hook_event_cost: short send\n");
        std::exit(1);
    }
    return fd;
}

// The reply's status line, once the server has closed; empty when none came within timeoutMs.
std::string replyOf(int fd, int timeoutMs)
{
    std::string reply;
    char chunk[1024];
    for (;;) {
        pollfd ready { fd, POLLIN, 0 };
        if (::poll(&ready, 1, timeoutMs) != 1) {
            return {};
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        reply.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply.substr(0, reply.find("\r\n"));
}

void expectOk(const std::string& status, const char* what)
{
    if (status.rfind("HTTP/1.1 200", 0) != 0) {
        std::fprintf(stderr, "hook_event_cost: %s answered \"%s\"\n", what, status.c_str());
        std::exit(1);
    }
}

std::string sessionId(int i)
{
    char id[64];
    std::snprintf(id, sizeof id, "bench%03d-7b4d-4e8a-9f61-0c2d5e8b7a14", i % 4);
    return id;
}

std::string common(int i)
{
    return "\"session_id\":\"" + sessionId(i) + "\",\"transcript_path\":\"/tmp/hook-event-cost/" + sessionId(i)
        + ".jsonl\",\"cwd\":\"/home/dev/demo\"";
}

std::string toolInput(int i)
{
    return "{\"command\":\"make test-" + std::to_string(i) + "\",\"description\":\"Run the tests\"}";
}

std::string postToolUse(int i)
{
    return "{" + common(i) + ",\"hook_event_name\":\"PostToolUse\",\"tool_name\":\"Bash\",\"tool_input\":"
        + toolInput(i) + ",\"tool_response\":{\"stdout\":\"ok\",\"exit_code\":0}}";
}

std::string stop(int i)
{
    return "{" + common(i) + ",\"hook_event_name\":\"Stop\",\"stop_hook_active\":false,"
        + "\"last_assistant_message\":\"All tests pass; the change is ready for review.\"}";
}

std::string permissionRequest(int i)
{
    return "{" + common(i) + ",\"hook_event_name\":\"PermissionRequest\",\"tool_name\":\"Bash\",\"tool_use_id\":"
        + "\"toolu_bench" + std::to_string(i) + "\",\"tool_input\":" + toolInput(i) + "}";
}

struct Run {
    double mainUs = 0; // main thread CPU time beyond idle
    double seconds = 0;
    int extra = 0; // further PostToolUse events it took
};

double g_idleNsPerS = 0;

Run measure(int count, const std::function<int(int)>& post)
{
    const auto started = Clock::now();
    const long long before = mainThreadNs();
    int extra = 0;
    for (int i = 0; i < count; ++i) {
        extra += post(i);
    }
    // Replies go out before the main thread has taken the events; what it does with them is counted too.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long long after = mainThreadNs();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return { (static_cast<double>(after - before) - g_idleNsPerS * seconds) / 1000.0, seconds, extra };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: hook_event_cost PID PORT [COUNT=2000]\n");
        return 2;
    }
    g_pid = std::atoi(argv[1]);
    g_port = static_cast<quint16>(std::atoi(argv[2]));
    const int count = argc > 3 ? std::atoi(argv[3]) : 2000;
    if (mainThreadNs() < 0) {
        std::fprintf(stderr, "hook_event_cost: no process %d\n", g_pid);
        return 1;
    }

    // Warm up: the sessions exist and the code paths have run once before anything is counted.
    for (int i = 0; i < 8; ++i) {
        expectOk(replyOf(send("SessionStart", "{" + common(i) + ",\"hook_event_name\":\"SessionStart\"}"), 5000),
            "SessionStart");
        expectOk(replyOf(send("PostToolUse", postToolUse(i)), 5000), "PostToolUse");
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    {
        const long long before = mainThreadNs();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        g_idleNsPerS = static_cast<double>(mainThreadNs() - before) / 3.0;
    }

    // Each kind's figure is printed as soon as it is had.
    std::printf("main thread idle: %.0f us/s\n", g_idleNsPerS / 1000.0);
    const Run tool = measure(count, [](int i) {
        expectOk(replyOf(send("PostToolUse", postToolUse(i)), 5000), "PostToolUse");
        return 0;
    });
    const double perTool = tool.mainUs / count;
    std::printf("PostToolUse (tool input):         %7.1f us per event on the main thread (%d in %.1f s)\n", perTool,
        count, tool.seconds);
    const Run stopped = measure(count, [](int i) {
        expectOk(replyOf(send("Stop", stop(i)), 5000), "Stop");
        return 0;
    });
    std::printf("Stop:                             %7.1f us per event on the main thread (%d in %.1f s)\n",
        stopped.mainUs / count, count, stopped.seconds);
    std::fflush(stdout);
    const Run permission = measure(count, [](int i) {
        const int held = send("PermissionRequest", permissionRequest(i));
        int extra = 0;
        std::string status;
        // Should the tool's event overtake the request on the way in, it lets nothing through: it is sent again.
        do {
            ++extra;
            expectOk(replyOf(send("PostToolUse", postToolUse(i)), 5000), "PostToolUse");
            status = replyOf(held, 100);
        } while (status.empty() && extra < 50);
        expectOk(status, "PermissionRequest");
        return extra;
    });

    // The sessions end, and their files in the status directory go with them.
    for (int i = 0; i < 4; ++i) {
        expectOk(
            replyOf(send("SessionEnd", "{" + common(i) + ",\"hook_event_name\":\"SessionEnd\"}"), 5000), "SessionEnd");
    }

    std::printf("PermissionRequest, answered at once: %4.1f us per event on the main thread (%d in %.1f s, "
                "%d PostToolUse taken off)\n",
        (permission.mainUs - perTool * permission.extra) / count, count, permission.seconds, permission.extra);
    return 0;
}
