#include "main/settings/views/pages/AudioPage.h"

#include <QLabel>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/settings/views/SettingsHost.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/MenuPicker.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"

namespace murmeli::settings {

AudioPage::AudioPage(SettingsHost* host, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("Audio"), QStringLiteral("Voice engine for TTS announcements."), parent), m_host(host)
{
    const QList<SpeechVoice> voices = m_host != nullptr ? m_host->speechVoices() : QList<SpeechVoice>();
    QWidget* control = nullptr;
    if (voices.isEmpty()) {
        control = ui::KitLabel::make(QStringLiteral("No engines available"),
            ui::Faces::instrumentSans(12, QFont::Normal), ui::Color::vantorTextMuted, nullptr);
    } else {
        m_picker = new ui::MenuPicker(200, 260);
        m_picker->setObjectName(QStringLiteral("voiceEngine"));
        for (const SpeechVoice& voice : voices) {
            m_picker->addEntry(
                voice.isAvailable ? voice.displayName : voice.displayName + QStringLiteral(" (unavailable)"), voice.id);
        }
        m_picker->setCurrentIndex(-1);
        control = m_picker;
    }
    m_row = new ui::SettingsRow(QStringLiteral("Voice Engine"),
        QStringLiteral("Synthesis backend. Unavailable engines show (unavailable). Toggle Human sounds in Lab → Human "
                       "sounds."),
        control, true);
    addGroup(QStringLiteral("Voice Engine"))->addRow(m_row);
    if (m_picker != nullptr) {
        connect(m_picker, &QComboBox::currentIndexChanged, this, &AudioPage::selectionChanged);
        // Loading the engine in use is itself a change: an available one is written back, as every change is.
        m_picker->setCurrentTag(m_host->activeSpeechVoiceId());
    }
}

void AudioPage::selectionChanged()
{
    const QString chosen = m_picker->currentTag();
    for (const SpeechVoice& voice : m_host->speechVoices()) {
        if (voice.id != chosen) {
            continue;
        }
        if (voice.isAvailable) {
            m_host->setActiveSpeechVoiceId(chosen);
        } else {
            // Refused without a word: the menu goes back to the engine in use.
            m_picker->setCurrentTag(m_host->activeSpeechVoiceId());
        }
        return;
    }
}

} // namespace murmeli::settings
