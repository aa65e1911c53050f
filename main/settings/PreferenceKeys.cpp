#include "main/settings/PreferenceKeys.h"

namespace murmeli::settings::PreferenceKeys {

namespace {

constexpr auto settingsOwner = "settings and onboarding";
constexpr auto voiceOwner = "voice input";
constexpr auto deviceOwner = "device link and audio output";
constexpr auto appOwner = "application controller";
constexpr auto notchOwner = "notch panel";
constexpr auto hooksOwner = "agent hooks and sessions";
constexpr auto usageOwner = "usage reader";

} // namespace

const std::vector<PreferenceKey>& all()
{
    static const std::vector<PreferenceKey> keys {
        { "settings.selectedSection", "String", "general (also for a value naming no page)", settingsOwner,
            "the settings page shown last", true },
        { "settings.general.launchAtLogin", "Bool", "false", settingsOwner,
            "mirror of the autostart entry, which is the authority", true },
        { "settings.general.hideInFullscreen", "Bool", "false", settingsOwner, "stored flag without effect", true },
        { "settings.general.autoHideWhenIdle", "Bool", "false", settingsOwner, "stored flag without effect", true },
        { "settings.sound.muteDuringFocus", "Bool", "false", settingsOwner,
            "the Lab page's \"Mute when dictating\" switch; nothing depends on it", true },
        { "settings.shortcuts.customPTTHotkey", "JSON object", "unbound hotkey", settingsOwner,
            "the custom push-to-talk hotkey; read by the controller at start-up and when it rebinds", true },
        { "settings.display.preference", "String", "auto (also for any other value)", notchOwner,
            "the display the notch panel prefers, written by the General page", true },
        { "notch.fixedScreenID", "Int", "no pinned display", notchOwner,
            "the display number the panel is pinned to, set or removed by the General page", true },
        { "lab.ble.enabled", "Bool", "false", settingsOwner, "the Lab page's hardware-pairing switch", false },
        { "lab.codexbar.enabled", "Bool", "false", settingsOwner, "whether the usage reader runs", false },
        { "lab.codexbar.poll_minutes", "Int", "15 (also for any number but 5, 15 and 30)", settingsOwner,
            "the usage reader's polling interval in minutes", false },
        { "lab.codexbar.cli_commands", "JSON text", "one default command row", usageOwner,
            "the usage reader's command rows", false },
        { "lab.codexbar.cli_command", "String", "none", usageOwner,
            "the older single command; moved into lab.codexbar.cli_commands once and removed", false },
        { "permission.probe.ax.everPrompted", "Bool", "false", settingsOwner,
            "the accessibility prompt has been shown once", false },
        { "permission.probe.automation.everPrompted", "Bool", "false", settingsOwner,
            "the automation prompt has been shown once", false },
        { "onboarding.v1.completed", "Bool", "false", settingsOwner, "onboarding has finished", false },
        { "settings.voice.aiOptimization", "Bool", "true", voiceOwner, "the switch of the transcript polish", true },
        { "settings.voice.preferStreaming", "Bool", "true", voiceOwner, "prefer the streaming recogniser", true },
        { "settings.voice.customHotwords", "array of String", "empty", voiceOwner, "the user's hotwords", true },
        { "settings.voice.locale", "String", "system", voiceOwner, "the recognition locale", true },
        { "settings.voice.aliyunMigrated", "Bool", "false", voiceOwner,
            "a stored backend choice was moved off the retired speech backend", true },
        { "speechBackendId", "String", "murmeli-cloud", voiceOwner, "the chosen recognition backend", false },
        { "micSource", "String", "local", voiceOwner, "the microphone source: local or ble", false },
        { "enterMode", "String", "auto", voiceOwner, "whether Enter follows an inserted transcript", false },
        { "wsProxyHost", "String", "none", voiceOwner, "the proxy host of the cloud sockets", false },
        { "wsProxyPort", "Int", "0", voiceOwner, "the proxy port of the cloud sockets", false },
        { "ttsEnabled", "Bool", "false", deviceOwner, "spoken announcements on", false },
        { "ttsBackend", "String", "apple-tts", deviceOwner, "the chosen speech-synthesis backend", false },
        { "notch.tts.muted", "Bool", "false", deviceOwner, "announcements muted, shared with the notch panel", false },
        { "ptt.fnDoubleTapEnabled", "Bool", "true", appOwner, "a double tap of Fn starts push-to-talk", false },
        { "welcomeFlashed.v1", "Bool", "false", appOwner, "the first-launch welcome flash has been shown", false },
        { "tokens.cumulative.v1", "Int", "0", hooksOwner, "all-time token count", false },
        { "tokens.today.v1", "Int", "0", hooksOwner, "today's token count", false },
        { "tokens.today.date.v1", "String", "none (a new day)", hooksOwner, "the day of today's token count", false },
    };
    return keys;
}

bool resetRemoves(const QString& key)
{
    if (key.startsWith(QLatin1String(resettablePrefix))) {
        return true;
    }
    for (const PreferenceKey& row : all()) {
        if (row.resetRemoves && key == QLatin1String(row.key)) {
            return true;
        }
    }
    return false;
}

QStringList keysToReset(const QStringList& storedKeys)
{
    QStringList result;
    for (const QString& key : storedKeys) {
        if (resetRemoves(key)) {
            result.append(key);
        }
    }
    return result;
}

} // namespace murmeli::settings::PreferenceKeys
