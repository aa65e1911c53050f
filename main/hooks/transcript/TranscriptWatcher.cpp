#include "main/hooks/transcript/TranscriptWatcher.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QMetaObject>
#include <QObject>
#include <QStringDecoder>

#include "main/common/BoundedFile.h"
#include "main/common/TextUtils.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SmallFile.h"
#include "main/hooks/transcript/TranscriptSummary.h"

namespace murmeli::hooks {

namespace {

// Calls fn for every non-empty line, without its line feed.
template <typename Fn> void forEachLine(QByteArrayView text, Fn&& fn)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) {
            end = text.size();
        }
        if (end > start) {
            fn(text.sliced(start, end - start));
        }
        start = end + 1;
    }
}

} // namespace

// The mutex stands in for the "com.murmeli.transcript-data" queue.
struct TranscriptWatcher::Shared {
    std::mutex mutex;
    TranscriptSummary summary;
    // Bumped by every switch to a new path, so that lines of the previous file still being parsed are dropped.
    quint64 generation = 0;
};

// Since when the io thread has been in a call on the file, if it is: one that lasts is held by a mount that stopped
// answering.
struct TranscriptWatcher::Busy {
    std::atomic<qint64> sinceMs { 0 }; // 0: in no call

    class Stamp final {
    public:
        explicit Stamp(Busy& busy) : m_busy(busy)
        {
            m_busy.sinceMs = std::max<qint64>(1, QDeadlineTimer::current().deadline());
        }
        ~Stamp() { m_busy.sinceMs = 0; }
        Stamp(const Stamp&) = delete;
        Stamp& operator=(const Stamp&) = delete;

    private:
        Busy& m_busy;
    };

    bool heldLongerThan(qint64 ms) const
    {
        const qint64 since = sinceMs;
        return since != 0 && QDeadlineTimer::current().deadline() - since > ms;
    }
};

// Lives on the io thread; everything about the file being tailed is touched only there, so a switch to a new
// path is ordered against the reads of the old one.
class TranscriptWatcher::Worker final : public QObject {
public:
    Worker(std::shared_ptr<Shared> shared, std::shared_ptr<Busy> busy, std::function<void()> toolCompleted)
        : m_shared(std::move(shared)), m_busy(std::move(busy)), m_toolCompleted(std::move(toolCompleted))
    {
    }

    void start(const QString& path, quint64 generation)
    {
        const Busy::Stamp stamp(*m_busy);
        stop();
        m_path = path;
        m_generation = generation;
        const common::BoundedFile file(path);
        // The agent may name a transcript before its first line is written: retry() looks again.
        m_missing = !file.isOpen();
        if (m_missing) {
            return;
        }
        m_file = file.identity();
        // Watching before the first read leaves no gap in which an append would go unnoticed.
        m_watcher = std::make_unique<QFileSystemWatcher>();
        if (m_watcher->addPath(path)) {
            QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, [this] { readNewBytes(); });
        } else {
            m_watcher.reset();
        }
        readNewBytes();
    }

    /// Starts on the current path if it could not be opened when start() ran; a file once followed is never
    /// taken up again, not even when another one replaces it.
    void retry()
    {
        if (m_missing) {
            start(m_path, m_generation);
        }
    }

    void stop()
    {
        m_missing = false;
        m_watcher.reset();
        m_file.reset();
        m_offset = 0;
        m_firstRead = true;
        m_tail.clear();
        m_tail.squeeze();
        m_skipToNewline = false;
    }

private:
    void readNewBytes()
    {
        if (!m_file) {
            return;
        }
        const Busy::Stamp stamp(*m_busy);
        const common::BoundedFile file(m_path);
        if (!file.isOpen() || file.identity() != *m_file) {
            // The path names another file now (inotify reports a replacement by rename as a removal): the
            // replacement is not followed.
            m_watcher.reset();
            m_file.reset();
            return;
        }
        const qint64 size = file.size();
        if (m_firstRead && size > initialWindowBytes) {
            // A long history would be parsed on every switch of session for a summary that mostly keeps recent
            // things, so the first read starts near the end. It starts one byte early and drops everything up to
            // the first line feed: the line cut by the window goes, a line that begins exactly there stays.
            m_offset = size - initialWindowBytes - 1;
            m_skipToNewline = true;
        }
        m_firstRead = false;
        // A file truncated below what was consumed has nothing new until it grows past the old end. Reading stops
        // at the size seen now; whatever is appended meanwhile brings its own notification.
        bool stamped = false;
        while (m_offset < size) {
            QByteArray chunk = file.readAt(m_offset, std::min(readChunkBytes, size - m_offset));
            if (chunk.isEmpty()) {
                break;
            }
            if (!stamped) {
                stamped = true;
                const std::lock_guard lock(m_shared->mutex);
                if (m_shared->generation == m_generation) {
                    m_shared->summary.data().lastUpdateTs = file.modified().toSecsSinceEpoch();
                }
            }
            m_offset += chunk.size();
            consume(std::move(chunk));
        }
    }

    // A line may arrive over several reads and a read may end inside a character, so only complete lines are
    // parsed and the unfinished rest waits for the next read.
    void consume(QByteArray chunk)
    {
        QByteArrayView bytes(chunk);
        if (m_skipToNewline) {
            const qsizetype end = bytes.indexOf('\n');
            if (end < 0) {
                return;
            }
            bytes = bytes.sliced(end + 1);
            m_skipToNewline = false;
        }
        const qsizetype last = bytes.lastIndexOf('\n');
        if (last < 0) {
            m_tail.append(bytes);
            if (m_tail.size() > maxLineBytes) {
                // A file without line feeds must not fill the memory; that line is lost, the next one counts.
                m_tail.clear();
                m_tail.squeeze();
                m_skipToNewline = true;
            }
            return;
        }
        QByteArray lines = std::move(m_tail);
        lines.append(bytes.first(last + 1));
        m_tail = bytes.sliced(last + 1).toByteArray();
        forEachLine(lines, [this](QByteArrayView line) { applyLine(line); });
    }

    void applyLine(QByteArrayView line)
    {
        // Parsed before taking the lock, so a reader of the summary waits at most for one line's apply.
        const auto object = TranscriptSummary::parseLine(line);
        if (!object) {
            return;
        }
        const std::lock_guard lock(m_shared->mutex);
        if (m_shared->generation != m_generation) {
            return;
        }
        // Posted while the lock is held: whoever sees the new status finds the call already queued.
        for (int finished = m_shared->summary.apply(*object); finished > 0; --finished) {
            m_toolCompleted();
        }
    }

    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<Busy> m_busy;
    std::function<void()> m_toolCompleted;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    QString m_path;
    quint64 m_generation = 0;
    std::optional<common::FileIdentity> m_file;
    bool m_missing = false;
    qint64 m_offset = 0;
    bool m_firstRead = true;
    QByteArray m_tail;
    bool m_skipToNewline = false;
};

// Where the io thread reaches the owner: it outlives the watcher in an io thread left behind, and reaches nothing once
// the watcher is gone.
struct TranscriptWatcher::OwnerLink {
    std::mutex mutex;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();

    void post(std::function<void()> call)
    {
        const std::lock_guard lock(mutex);
        if (context) {
            QMetaObject::invokeMethod(context.get(), std::move(call), Qt::QueuedConnection);
        }
    }
};

TranscriptWatcher::TranscriptWatcher()
    : m_shared(std::make_shared<Shared>()), m_owner(std::make_shared<OwnerLink>()), m_io(makeIo())
{
}

std::unique_ptr<common::WorkerThread<TranscriptWatcher::Worker>> TranscriptWatcher::makeIo()
{
    m_busy = std::make_shared<Busy>();
    // The callback is read on the owner's thread when the call runs, so setting it never races the io thread.
    return std::make_unique<common::WorkerThread<Worker>>(QStringLiteral("com.murmeli.transcript-io"),
        std::make_unique<Worker>(m_shared, m_busy,
            [owner = m_owner, this] {
                owner->post([this] {
                    if (onToolCompleted) {
                        onToolCompleted();
                    }
                });
            }),
        // The file watcher belongs to the io thread and is dropped there.
        [](Worker& worker) { worker.stop(); });
}

TranscriptWatcher::~TranscriptWatcher()
{
    // A transcript on a mount that stopped answering holds the io thread in the kernel for good: it is left behind
    // rather than waited for, so that murmeli can still end.
    m_io->stop(common::WorkerThread<Worker>::leaveBehindAfterMs);
    // Discards completions still queued for this watcher, and any a thread left behind would post.
    const std::lock_guard lock(m_owner->mutex);
    m_owner->context.reset();
}

void TranscriptWatcher::watch(const QString& path)
{
    if (path.isEmpty()) {
        return;
    }
    if (m_currentPath == path) {
        m_io->post([](Worker& worker) { worker.retry(); });
        return;
    }
    m_currentPath = path;
    quint64 generation = 0;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->summary.reset();
        generation = ++m_shared->generation;
    }
    // The transcript followed so far lies on a mount that stopped answering: it keeps its thread, and the next one is
    // read on a thread of its own, a few times at most.
    if (m_busy->heldLongerThan(heldAfterMs) && m_leftBehind < maxLeftBehind) {
        ++m_leftBehind;
        m_io->stop(0);
        m_io = makeIo();
    }
    m_io->post([path, generation](Worker& worker) { worker.start(path, generation); });
}

std::optional<QString> TranscriptWatcher::currentPath() const
{
    return m_currentPath;
}

TranscriptData TranscriptWatcher::data() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->summary.data();
}

void TranscriptWatcher::setData(const TranscriptData& data)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->summary.data() = data;
}

std::optional<QString> TranscriptWatcher::lastUserMessagePrefix(
    const QString& sessionId, int maxChars, const QString& statusDirectory)
{
    // The id becomes part of a file name.
    if (!SessionKey::isSafe(sessionId)) {
        return std::nullopt;
    }
    const auto pathBytes = SmallFile::read(
        statusDirectory + QLatin1Char('/') + sessionId + StatusFiles::suffix(StatusFileKind::TranscriptPath));
    if (!pathBytes) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString transcriptPath = QString(decoder.decode(*pathBytes)).trimmed();
    if (decoder.hasError() || transcriptPath.isEmpty()) {
        return std::nullopt;
    }

    const common::BoundedFile file(transcriptPath);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    const qint64 start = std::max<qint64>(0, file.size() - userMessageWindowBytes);
    // One byte early, so that a window beginning exactly at a line keeps it while a cut line (perhaps cut inside a
    // character, which would spoil the decoding below) is dropped whole.
    const qint64 from = std::max<qint64>(0, start - 1);
    const QByteArray bytes = file.readAt(from, file.size() - from);
    QByteArrayView window(bytes);
    if (start > 0) {
        const qsizetype firstBreak = window.indexOf('\n');
        if (firstBreak < 0) {
            return std::nullopt;
        }
        window = window.sliced(firstBreak + 1);
    }

    QStringDecoder windowDecoder(QStringDecoder::Utf8);
    windowDecoder.decode(window);
    if (windowDecoder.hasError()) {
        return std::nullopt;
    }
    QList<QByteArrayView> lines;
    forEachLine(window, [&lines](QByteArrayView line) { lines.append(line); });
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const auto object = TranscriptSummary::parseLine(*line);
        if (const auto text = object ? TranscriptSummary::userText(*object) : std::nullopt) {
            return common::text::prefixCharacters(*text, maxChars);
        }
    }
    return std::nullopt;
}

} // namespace murmeli::hooks
