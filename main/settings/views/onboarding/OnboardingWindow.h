#pragma once

#include <functional>

#include <QSize>
#include <QWidget>

#include <QCoroTask>

#include "main/settings/onboarding/OnboardingStep.h"
#include "main/settings/onboarding/PermissionProbe.h"
#include "main/settings/onboarding/PermissionSnapshot.h"

class QScrollArea;

namespace murmeli::ui {
class KitButton;
}

namespace murmeli::common {
class Clock;
}
namespace murmeli::platform {
class Defaults;
}

namespace murmeli::settings {

/// The onboarding window: why murmeli needs what it asks for, granting it, and a summary whose Finish records
/// completion. It starts at the first step every time and probes the permissions as it opens and after each of the
/// user's requests, never on a timer. On a screen too small for it, it fits the screen's free area, title bar and
/// all, and the step scrolls.
class OnboardingWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnboardingWindow)

public:
    static constexpr auto title = "Welcome to murmeli";
    static constexpr QSize contentSize { 560, 520 };
    static constexpr QSize minimumContentSize { 480, 380 };
    static constexpr QSize maximumContentSize { 720, 720 };

    /// What the window works with; all must outlive it.
    struct Environment {
        platform::Defaults& defaults;
        common::Clock& clock;
        PermissionSources sources;
    };

    /// onClose runs once, when the window closes, whatever closed it.
    OnboardingWindow(Environment environment, bool isReopen, std::function<void()> onClose, QWidget* parent = nullptr);
    ~OnboardingWindow() override;

    /// Activates the window and brings it to the front.
    void present();
    /// Runs onClose too when the window closes, after what runs already: a second request for onboarding while
    /// this window is open is answered by this window.
    void addCloseAction(std::function<void()> onClose);

    bool isReopen() const { return m_isReopen; }
    OnboardingStep step() const { return m_step; }
    const PermissionSnapshot& snapshot() const { return m_snapshot; }
    /// Whether the probes are out.
    bool isProbing() const { return m_probing; }
    /// The button with that object name in the current step, or null.
    ui::KitButton* button(const QString& name) const;

Q_SIGNALS:
    /// The step or the snapshot changed and the step was drawn again.
    void changed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// Sizes the window to wanted within its bounds, all of them within its screen's free area, and moves it inside
    /// that area where it is not.
    void fitToScreen(QSize wanted);
    void showStep(OnboardingStep step);
    void rebuild();
    void authorizeAccessibility();
    void probe();
    QCoro::Task<> runProbes(quint64 generation);
    void finish();

    Environment m_environment;
    bool m_isReopen = false;
    std::function<void()> m_onClose;
    OnboardingStep m_step = OnboardingStep::Why;
    PermissionSnapshot m_snapshot;
    bool m_probing = false;
    // Only the newest probe's answer is shown.
    quint64 m_probeGeneration = 0;
    QScrollArea* m_scroll = nullptr;
};

} // namespace murmeli::settings
