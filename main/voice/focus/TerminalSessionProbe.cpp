#include "main/voice/focus/TerminalSessionProbe.h"

#include "main/voice/focus/TerminalAppCatalog.h"

namespace murmeli::voice {

std::optional<QString> appIdOf(const platform::WindowInfo& window)
{
    return window.className.isEmpty() ? std::nullopt : std::optional(window.className);
}

TerminalSessionProbe TerminalSessionProbe::of(const platform::WindowSystem& windows)
{
    return { [&windows] { return windows.activeWindow(); } };
}

std::optional<platform::WindowInfo> TerminalSessionProbe::frontmostWindow() const
{
    return windowProvider ? windowProvider() : std::nullopt;
}

std::optional<QString> TerminalSessionProbe::frontmostAppId() const
{
    const std::optional<platform::WindowInfo> window = frontmostWindow();
    return window ? appIdOf(*window) : std::nullopt;
}

bool TerminalSessionProbe::frontmostIsTerminal() const
{
    return TerminalAppCatalog::isTerminal(frontmostAppId());
}

std::optional<QString> TerminalSessionProbe::frontmostTerminalAppId() const
{
    std::optional<QString> appId = frontmostAppId();
    return TerminalAppCatalog::isTerminal(appId) ? appId : std::nullopt;
}

std::optional<qint64> TerminalSessionProbe::frontmostPID() const
{
    const std::optional<platform::WindowInfo> window = frontmostWindow();
    return window ? window->pid : std::nullopt;
}

} // namespace murmeli::voice
