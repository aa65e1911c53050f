#include "main/settings/views/onboarding/OnboardingStepViews.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "main/settings/onboarding/PermissionSnapshot.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SymbolButton.h"

namespace murmeli::settings::OnboardingStepViews {

namespace {

using ui::Faces::instrumentSans;

constexpr int stepPadding = 28;
constexpr int wideButton = 100;
constexpr int rowButton = 160;

QLabel* text(const QString& content, int pixels, QFont::Weight weight, const QColor& color, QWidget* parent)
{
    QLabel* label = ui::KitLabel::make(content, instrumentSans(pixels, weight), color, parent);
    label->setWordWrap(true);
    return label;
}

QLabel* title(const QString& content, QWidget* parent)
{
    return text(content, 22, QFont::DemiBold, ui::Color::vantorText, parent);
}

QLabel* secondary(const QString& content, QWidget* parent)
{
    return text(content, 13, QFont::Normal, ui::Color::vantorTextMuted, parent);
}

ui::KitButton* button(const QString& name, const QString& label, std::function<void()> action, int minWidth,
    ui::KitButton::Style style = ui::KitButton::Style::Secondary)
{
    auto* made = new ui::KitButton(style, label, std::move(action));
    made->setObjectName(name);
    made->setFixedWidth(std::max(made->sizeHint().width(), minWidth));
    return made;
}

ui::KitButton* defaultAction(ui::KitButton* made)
{
    made->setProperty("defaultAction", true);
    return made;
}

QVBoxLayout* stepColumn(QWidget* step, int spacing)
{
    auto* column = new QVBoxLayout(step);
    column->setContentsMargins(stepPadding, stepPadding, stepPadding, stepPadding);
    column->setSpacing(spacing);
    return column;
}

// A step's column opened by its title and the text under it.
QVBoxLayout* openStep(QWidget* step, int spacing, const QString& heading, const QString& lead)
{
    QVBoxLayout* column = stepColumn(step, spacing);
    column->addWidget(title(heading, step));
    column->addWidget(secondary(lead, step));
    return column;
}

QHBoxLayout* buttonBar(QVBoxLayout* column)
{
    column->addStretch(1);
    auto* bar = new QHBoxLayout;
    bar->setSpacing(10);
    bar->addStretch(1);
    column->addLayout(bar);
    return bar;
}

struct Need {
    ui::Symbol symbol;
    const char* title;
    const char* detail;
};

QWidget* needRow(const Need& need)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* icon = new ui::SymbolButton(need.symbol, ui::Color::vantorBrass, 18, row);
    icon->setFixedWidth(28);
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(icon, 0, Qt::AlignTop);
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    words->addWidget(text(QString::fromUtf8(need.title), 13, QFont::DemiBold, ui::Color::vantorText, row));
    words->addWidget(text(QString::fromUtf8(need.detail), 12, QFont::Normal, ui::Color::vantorTextMuted, row));
    layout->addLayout(words, 1);
    return row;
}

struct Row {
    const char* name;
    const char* title;
    const Permission* permission;
};

QWidget* stateControl(const Row& row, bool probing, const AuthActions& actions)
{
    const QString name = QString::fromLatin1(row.name);
    switch (row.permission->state) {
    case PermissionState::Granted: {
        auto* granted = new QWidget;
        auto* layout = new QHBoxLayout(granted);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        auto* mark = new ui::SymbolButton(ui::Symbol::CheckmarkCircleFill, ui::Color::vantorSignalGreen, 14, granted);
        mark->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(mark);
        layout->addWidget(ui::KitLabel::make(
            QStringLiteral("Granted"), instrumentSans(12, QFont::Medium), ui::Color::vantorSignalGreen, granted));
        return granted;
    }
    case PermissionState::NotNeeded:
        return ui::KitLabel::make(
            QStringLiteral("Not needed"), instrumentSans(12, QFont::Medium), ui::Color::vantorTextMuted, nullptr);
    case PermissionState::Denied: {
        // Nothing on this desktop opens a settings pane for these: the user fixes the cause the detail names and
        // asks again.
        ui::KitButton* again = button(QStringLiteral("recheck-") + name, QStringLiteral("Re-check"), actions.recheck,
            rowButton, ui::KitButton::Style::Danger);
        again->setEnabled(!probing);
        return again;
    }
    case PermissionState::NotDetermined:
        break;
    }
    const bool asksForTyping = name == QLatin1String("accessibility");
    // Not known yet because the probe is still out: the row says so rather than asking for something.
    ui::KitButton* authorize = button(QStringLiteral("authorize-") + name,
        probing ? QStringLiteral("Checking\u2026") : QStringLiteral("Authorize"),
        asksForTyping ? actions.authorizeAccessibility : actions.recheck, rowButton);
    authorize->setEnabled(!probing);
    return authorize;
}

QWidget* authRow(const Row& row, bool probing, const AuthActions& actions)
{
    auto* widget = new QWidget;
    widget->setObjectName(QStringLiteral("row-") + QString::fromLatin1(row.name));
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(12);
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    QLabel* heading = text(QString::fromUtf8(row.title), 13, QFont::Medium, ui::Color::vantorText, widget);
    heading->setMinimumWidth(120);
    words->addWidget(heading);
    if (!row.permission->detail.isEmpty()) {
        words->addWidget(text(row.permission->detail, 11, QFont::Normal, ui::Color::vantorTextMuted, widget));
    }
    layout->addLayout(words, 1);
    layout->addWidget(stateControl(row, probing, actions), 0, Qt::AlignVCenter);
    return widget;
}

} // namespace

QWidget* why(std::function<void()> advance)
{
    auto* step = new QWidget;
    QVBoxLayout* column = openStep(step, 20, QStringLiteral("Welcome to murmeli"),
        QStringLiteral("murmeli controls your terminal with voice. To work, it needs a few things from your desktop. "
                       "We'll walk you through each one."));
    auto* needs = new QVBoxLayout;
    needs->setContentsMargins(0, 8, 0, 8);
    needs->setSpacing(14);
    static constexpr Need list[] = {
        { ui::Symbol::GearshapeFill, "Accessibility",
            "Detect your editor focus + send keystrokes (push-to-talk, Auto-Accept Enter)." },
        { ui::Symbol::MicFill, "Microphone", "Hear you while push-to-talk is held." },
        { ui::Symbol::SpeakerWave2Fill, "Speech recognition", "Transcribe on this machine when the cloud is off." },
        { ui::Symbol::ArrowTriangleBranch, "Automation",
            "Bring a session's terminal window to the front when you click its row." },
    };
    for (const Need& need : list) {
        needs->addWidget(needRow(need));
    }
    column->addLayout(needs);
    buttonBar(column)->addWidget(
        defaultAction(button(QStringLiteral("continue"), QStringLiteral("Continue"), std::move(advance), wideButton)));
    return step;
}

QWidget* auth(const PermissionSnapshot& snapshot, bool probing, const AuthActions& actions)
{
    auto* step = new QWidget;
    QVBoxLayout* column = openStep(step, 18, QStringLiteral("Grant permissions"),
        QStringLiteral("Click each button to authorize. murmeli checks what your desktop allows and tells you what is "
                       "missing."));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(12);
    const Row list[] = {
        { "accessibility", "Accessibility", &snapshot.accessibility },
        { "microphone", "Microphone", &snapshot.microphone },
        { "speechRecognition", "Speech recognition", &snapshot.speechRecognition },
        { "automation", "Automation", &snapshot.automation },
    };
    for (const Row& row : list) {
        rows->addWidget(authRow(row, probing, actions));
    }
    column->addLayout(rows);
    QHBoxLayout* bar = buttonBar(column);
    bar->addWidget(button(QStringLiteral("skip"), QStringLiteral("Skip"), actions.onSkip, wideButton));
    ui::KitButton* next
        = defaultAction(button(QStringLiteral("continue"), QStringLiteral("Continue"), actions.onContinue, wideButton));
    const bool ready = snapshot.allGranted() && !probing;
    next->setEnabled(ready);
    next->setToolTip(ready
            ? QStringLiteral("Continue with all permissions granted.")
            : QStringLiteral("Grant the permissions above first, or press Skip to continue without them."));
    bar->addWidget(next);
    return step;
}

QWidget* done(bool allGranted, std::function<void()> finish)
{
    auto* step = new QWidget;
    QVBoxLayout* column = stepColumn(step, 18);
    column->addStretch(1);
    auto* mark
        = new ui::SymbolButton(allGranted ? ui::Symbol::CheckmarkCircleFill : ui::Symbol::ExclamationmarkTriangleFill,
            allGranted ? ui::Color::vantorSignalGreen : ui::Color::vantorSignalAmber, 56, step);
    mark->setObjectName(QStringLiteral("summaryMark"));
    mark->setAttribute(Qt::WA_TransparentForMouseEvents);
    column->addWidget(mark, 0, Qt::AlignHCenter);
    QLabel* heading = title(allGranted ? QStringLiteral("You're all set!") : QStringLiteral("Setup incomplete"), step);
    heading->setObjectName(QStringLiteral("summaryTitle"));
    heading->setAlignment(Qt::AlignHCenter);
    column->addWidget(heading);
    QLabel* body = secondary(allGranted ? QStringLiteral("Press F13 to push-to-talk. To pair murmeli hardware, open "
                                                         "Settings → Lab and turn on Bluetooth pairing.")
                                        : QStringLiteral("You can finish setup later from Settings → About → Reopen "
                                                         "Onboarding."),
        step);
    body->setObjectName(QStringLiteral("summaryText"));
    body->setAlignment(Qt::AlignHCenter);
    body->setContentsMargins(24, 0, 24, 0);
    column->addWidget(body);
    column->addStretch(1);
    column->addWidget(
        defaultAction(button(QStringLiteral("finish"), QStringLiteral("Finish"), std::move(finish), wideButton)), 0,
        Qt::AlignHCenter);
    return step;
}

} // namespace murmeli::settings::OnboardingStepViews
