#include "platform/desktop/fake/FakeDesktop.h"

#include <algorithm>

#include <QFuture>

namespace murmeli::platform {

HotkeyGrab FakeDesktop::grab(const KeyChord& chord)
{
    if (const auto refused = m_refusedGrabs.find(chord.keysym); refused != m_refusedGrabs.end()) {
        const QString error = refused->second;
        m_refusedGrabs.erase(refused);
        m_events << QStringLiteral("grab refused %1").arg(describeKeyChord(chord));
        return { std::nullopt, error };
    }
    const HotkeyId id = m_nextId++;
    m_grabs.append({ id, chord });
    m_events << QStringLiteral("grab %1").arg(describeKeyChord(chord));
    return { id, {} };
}

void FakeDesktop::ungrab(HotkeyId id)
{
    const auto it = std::find_if(m_grabs.begin(), m_grabs.end(), [id](const Grab& g) { return g.id == id; });
    if (it == m_grabs.end()) {
        return;
    }
    m_events << QStringLiteral("ungrab %1").arg(describeKeyChord(it->chord));
    m_grabs.erase(it);
}

bool FakeDesktop::isGrabbed(const KeyChord& chord) const
{
    return findGrab(chord) != nullptr;
}

bool FakeDesktop::press(const KeyChord& chord)
{
    const Grab* grab = findGrab(chord);
    if (grab && onPressed) {
        onPressed(grab->id);
    }
    return grab != nullptr;
}

bool FakeDesktop::release(const KeyChord& chord)
{
    const Grab* grab = findGrab(chord);
    if (grab && onReleased) {
        onReleased(grab->id);
    }
    return grab != nullptr;
}

const FakeDesktop::Grab* FakeDesktop::findGrab(const KeyChord& chord) const
{
    const auto it
        = std::find_if(m_grabs.cbegin(), m_grabs.cend(), [&chord](const Grab& g) { return g.chord == chord; });
    return it == m_grabs.cend() ? nullptr : &*it;
}

std::optional<WindowInfo> FakeDesktop::activeWindow() const
{
    for (const WindowInfo& window : m_windows) {
        if (window.id == m_active) {
            return window;
        }
    }
    return std::nullopt;
}

QFuture<bool> FakeDesktop::activate(WindowId id, std::chrono::milliseconds /*timeout*/)
{
    m_activations.append(id);
    m_events << QStringLiteral("activate 0x%1").arg(id, 0, 16);
    const bool exists
        = std::any_of(m_windows.cbegin(), m_windows.cend(), [id](const WindowInfo& w) { return w.id == id; });
    const bool activated = exists && m_windowManager == WindowManager::Activates;
    if (activated) {
        m_active = id;
    }
    return QtFuture::makeReadyFuture(activated);
}

void FakeDesktop::addWindow(const WindowInfo& window)
{
    removeWindow(window.id);
    m_windows.append(window);
}

void FakeDesktop::removeWindow(WindowId id)
{
    m_windows.removeIf([id](const WindowInfo& w) { return w.id == id; });
    if (m_active == id) {
        m_active.reset();
    }
}

bool FakeDesktop::sendChord(const KeyChord& chord)
{
    if (!m_injection.canInject) {
        m_events << QStringLiteral("chord refused %1").arg(describeKeyChord(chord));
        return false;
    }
    m_sent.append({ chord, m_active, text(ClipboardMode::Clipboard), text(ClipboardMode::Selection), m_heldModifiers });
    m_events << QStringLiteral("chord %1").arg(describeKeyChord(chord));
    return true;
}

ClipboardContent FakeDesktop::snapshot(ClipboardMode mode)
{
    const Selection& selection = m_selections[index(mode)];
    if (!m_ownerAnswers[index(mode)]) {
        return { selection.changeCount, {}, false };
    }
    return { selection.changeCount, selection.items, true };
}

bool FakeDesktop::restore(ClipboardMode mode, const QList<ClipboardItem>& items)
{
    return write(mode, items, QStringLiteral("restored"));
}

bool FakeDesktop::setText(const QString& text)
{
    return write(ClipboardMode::Clipboard, { plainText(text) }, QStringLiteral("text"));
}

bool FakeDesktop::setTransientText(ClipboardMode mode, const QString& text)
{
    return write(mode, { plainText(text), transientHint() }, QStringLiteral("transient text"));
}

bool FakeDesktop::write(ClipboardMode mode, const QList<ClipboardItem>& items, const QString& how)
{
    if (!m_writable[index(mode)]) {
        m_events << QStringLiteral("%1 %2 refused").arg(modeName(mode), how);
        return false;
    }
    replace(mode, items, how);
    return true;
}

void FakeDesktop::copyFromOtherProgram(ClipboardMode mode, const QList<ClipboardItem>& items)
{
    replace(mode, items, QStringLiteral("copied by another program"));
}

QString FakeDesktop::text(ClipboardMode mode) const
{
    for (const ClipboardItem& item : items(mode)) {
        if (item.mimeType == QLatin1String("text/plain")) {
            return QString::fromUtf8(item.data);
        }
    }
    return {};
}

void FakeDesktop::replace(ClipboardMode mode, const QList<ClipboardItem>& items, const QString& how)
{
    Selection& selection = m_selections[index(mode)];
    selection.items = items;
    ++selection.changeCount;
    m_events << QStringLiteral("%1 %2").arg(modeName(mode), how);
}

QString FakeDesktop::modeName(ClipboardMode mode)
{
    return mode == ClipboardMode::Clipboard ? QStringLiteral("clipboard") : QStringLiteral("selection");
}

std::optional<FocusedElement> FakeDesktop::focusedElement(qint64 pid)
{
    if (!m_probeAvailable) {
        return std::nullopt;
    }
    const auto it = m_focused.find(pid);
    if (it == m_focused.end()) {
        return std::nullopt;
    }
    return it->second;
}

void FakeDesktop::setFocusedElement(qint64 pid, std::optional<FocusedElement> element)
{
    if (element) {
        m_focused.insert_or_assign(pid, *element);
    } else {
        m_focused.erase(pid);
    }
}

ClipboardItem FakeDesktop::plainText(const QString& text)
{
    return { QStringLiteral("text/plain"), text.toUtf8() };
}

ClipboardItem FakeDesktop::transientHint()
{
    return { QLatin1String(transientHintMimeType), QByteArray(transientHintValue) };
}

} // namespace murmeli::platform
