// Times the device link's text path over the recording transport: lines per second through the send framing
// (pieces of the link's write size) and the receive framing (notifications cut into lines), and the status sync of
// the controller with N sessions (default 200): the selected session's status lines plus the session-list and
// session-detail pushers over the panel's rows, in main-thread CPU per sync. Then how many writes the radio is
// handed ahead of an approval prompt that follows a status burst: one with a 200,000-character model name, and one
// of N session-detail lines.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QCoreApplication>

#include "bench/Measure.h"
#include "main/app/DeviceRows.h"
#include "main/device/approvals/BLEApprovalBridge.h"
#include "main/device/link/BLEBridge.h"
#include "main/device/link/OutgoingLines.h"
#include "main/device/pushers/SListBridge.h"
#include "main/device/pushers/SessionDetailBridge.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/notch/model/PanelViewModel.h"
#include "platform/ble/fake/FakeBleTransport.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using bench::percentile;
using bench::threadCpuMs;

namespace {

struct Link {
    test::FakeClock clock;
    platform::FakeBleTransport* transport = nullptr;
    std::unique_ptr<device::BLEBridge> bridge;

    // A common negotiated ATT MTU of 185 leaves 182 bytes a write; without a negotiation 20 remain.
    explicit Link(int writeLength = 182)
    {
        auto fake = std::make_unique<platform::FakeBleTransport>();
        transport = fake.get();
        transport->setMaximumWriteLength(platform::BleTransport::WriteMode::WithoutResponse, writeLength);
        bridge = std::make_unique<device::BLEBridge>(std::move(fake), clock);
        bridge->start();
        while (!transport->isScanning()) {
            QCoreApplication::processEvents();
        }
        transport->advertise({ QStringLiteral("id"), QStringLiteral("murmeli"), -50 });
        transport->completeConnection();
    }
};

void framing(int lines)
{
    Link link;
    // A typical approval prompt and a long display line that needs two writes.
    const QString prompt = QStringLiteral("Q:toolu_01ABCDEFG\u2026,Bash,npm run build && npm test -- --watch=false,"
                                          "0123456\u2026,1,0,-");
    const QString display = QStringLiteral("D:42,17,63,$12.34,3600,1200,340,Working,") + QString(40, QLatin1Char('a'))
        + QStringLiteral(",claude-c,my-project-name-x,{2/1},3/7 write the tests,123456,7890");
    std::size_t writes = 0;
    double start = threadCpuMs();
    for (int i = 0; i < lines; ++i) {
        // A new send window now and then, so every display line is written rather than replaced while it waits.
        if (i % 16 == 0) {
            link.clock.advance(device::OutgoingLines::windowMs);
        }
        link.bridge->send(i % 2 ? prompt : display);
        if (i % 1000 == 999) {
            writes += link.transport->writes().size();
            link.transport->clearRecords();
        }
    }
    const double sendMs = threadCpuMs() - start;

    int received = 0;
    link.bridge->onControlFrame = [&](const QString&) { ++received; };
    // The device's lines arrive in notifications of 20 bytes, cut anywhere.
    QByteArray stream;
    for (int i = 0; i < 1000; ++i) {
        stream += "R:toolu_01ABCDEFG,allow,session\r\nPT:start\n";
    }
    start = threadCpuMs();
    for (int round = 0; round < lines / 2000; ++round) {
        for (qsizetype at = 0; at < stream.size(); at += 20) {
            link.transport->notify(stream.mid(at, 20));
        }
    }
    const double receiveMs = threadCpuMs() - start;
    std::printf("send framing:    %d lines (%zu writes) in %.1f ms CPU = %.0f lines/s\n", lines, writes, sendMs,
        lines / sendMs * 1e3);
    std::printf(
        "receive framing: %d lines in %.1f ms CPU = %.0f lines/s\n", received, receiveMs, received / receiveMs * 1e3);
}

notch::SessionRow row(int i, int round, bool changed)
{
    notch::SessionRow r;
    r.sid = QStringLiteral("%1-0000-4000-8000").arg(i, 8, 16, QLatin1Char('0'));
    r.projectName = QStringLiteral("project-%1").arg(i);
    const int phase = changed ? round : 0;
    r.state = (i + phase) % 7 == 0 ? notch::SessionState::needsApproval()
                                   : ((i + phase) % 3 ? notch::SessionState::working() : notch::SessionState::idle());
    r.updatedAt = QDateTime::fromSecsSinceEpoch(1'800'000'000 - (changed ? 0 : i * 37), Qt::UTC);
    r.isActive = i == 0;
    return r;
}

void statusSync(int sessions, int rounds, int changedPercent)
{
    Link link;
    notch::PanelViewModel vm(link.clock);
    device::SListBridge list(*link.bridge, link.clock);
    list.sessionsProvider = [&] { return app::DeviceRows::sessionList(vm); };
    device::SessionDetailBridge details(*link.bridge, link.clock);
    details.rowsProvider = [&] { return app::DeviceRows::sessionDetails(vm, link.clock.now()); };
    list.start();
    details.start();

    hooks::ClaudeStatus status;
    status.sessionId = QStringLiteral("00000000-0000-4000-8000");
    status.model = QStringLiteral("Opus 4");
    status.activity = QStringLiteral("Running the tests of the device link");
    hooks::TranscriptData transcript;
    transcript.todos = { { QStringLiteral("write the benchmark"), QStringLiteral("in_progress") },
        { QStringLiteral("plan"), QStringLiteral("completed") } };

    std::vector<double> cpu;
    std::size_t lines = 0;
    const int changed = sessions * changedPercent / 100;
    for (int round = 0; round < rounds; ++round) {
        QList<notch::SessionRow> rows;
        for (int i = 0; i < sessions; ++i) {
            rows.append(row(i, round, i < changed));
        }
        vm.setContextPercent(round % 100);
        link.transport->clearRecords();
        // Building the rows belongs to the panel's sync; the device's share starts when they are set.
        const double start = threadCpuMs();
        vm.setSessions(rows);
        status.contextPercent = round % 100;
        link.bridge->lines().sendStatusFull(status, transcript, 2, 1, 123456 + round, 789);
        list.pushNow();
        details.pushNow();
        // The panel's next poll: lines that waited for the radio have gone out by then.
        link.clock.advance(2000);
        cpu.push_back(threadCpuMs() - start);
        lines += link.transport->writes().size();
    }
    double total = 0;
    for (const double ms : cpu) {
        total += ms;
    }
    std::printf("status sync, %d sessions, %d%% changing: mean %.3f ms, p50 %.3f ms, p99 %.3f ms CPU per sync; "
                "%.1f writes per sync\n",
        sessions, changedPercent, total / rounds, percentile(cpu, 0.5), percentile(cpu, 0.99), double(lines) / rounds);
}

// Writes handed to the radio from the start of the burst until the approval prompt's first byte.
std::size_t writesAheadOfPrompt(const platform::FakeBleTransport& transport, std::size_t from)
{
    bool lineStart = true;
    for (std::size_t i = from; i < transport.writes().size(); ++i) {
        const QByteArray& value = transport.writes()[i].value;
        if (lineStart && value.startsWith("Q:")) {
            return i - from;
        }
        lineStart = value.endsWith('\n');
    }
    return transport.writes().size() - from;
}

void approvalBehindStatus(int sessions, int writeLength)
{
    Link link(writeLength);
    hooks::PendingRequestTable table(link.clock);
    const auto approvals = device::BLEApprovalBridge::overLink(*link.bridge, table);
    table.onActivate = [&](hooks::ApprovalRequest request) { return approvals->requestApproval(std::move(request)); };
    hooks::ApprovalRequest request;
    request.toolUseId = QStringLiteral("0123abcd:Write:7F3A9C1E-0000-4000-8000-000000000001");
    request.toolName = QStringLiteral("Write");
    request.commandPreview = QStringLiteral("write .bashrc");

    link.clock.advance(device::OutgoingLines::windowMs);
    std::size_t from = link.transport->writes().size();
    hooks::ClaudeStatus status;
    status.sessionId = QStringLiteral("00000000-0000-4000-8000");
    status.model = QString(200000, QLatin1Char('m'));
    link.bridge->lines().sendStatusFull(status, {}, 0, 0, 0, 0);
    const QCoro::Task<hooks::ApprovalDecision> first = table.enqueue(request);
    qsizetype longest = 0;
    for (const QString& line : QString::fromUtf8(link.transport->writtenBytes()).split(QLatin1Char('\n'))) {
        longest = std::max(longest, line.toUtf8().size());
    }
    std::printf(
        "write size %3d, model of 200,000 characters: %zu writes ahead of the prompt, longest line %lld bytes\n",
        writeLength, writesAheadOfPrompt(*link.transport, from), static_cast<long long>(longest));
    table.resolve(request.toolUseId, hooks::ApprovalDecision::deny());

    link.clock.advance(device::OutgoingLines::windowMs);
    from = link.transport->writes().size();
    long long wanted = 0;
    for (int i = 0; i < sessions; ++i) {
        const QString line
            = QStringLiteral("SD:%1,working,project-%1,Opus 4,High,18.2k,200k,12s,0").arg(i, 8, 16, QLatin1Char('0'));
        wanted += (line.toUtf8().size() + writeLength) / writeLength;
        link.bridge->send(line);
    }
    request.toolUseId += QLatin1Char('2');
    const QCoro::Task<hooks::ApprovalDecision> second = table.enqueue(request);
    std::printf("write size %3d, %d session lines just sent (%lld writes): %zu writes ahead of the prompt\n",
        writeLength, sessions, wanted, writesAheadOfPrompt(*link.transport, from));
    table.resolve(request.toolUseId, hooks::ApprovalDecision::deny());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 300;
    framing(200000);
    statusSync(sessions, rounds, 10);
    statusSync(sessions, rounds, 100);
    approvalBehindStatus(sessions, 20);
    approvalBehindStatus(sessions, 182);
    return 0;
}
