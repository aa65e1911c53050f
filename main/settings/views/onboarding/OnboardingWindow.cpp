#include "main/settings/views/onboarding/OnboardingWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "main/settings/onboarding/OnboardingController.h"
#include "main/settings/views/onboarding/OnboardingStepViews.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/ScrollToFocus.h"
#include "main/ui/widgets/SettingsPalette.h"
#include "main/ui/widgets/WindowFit.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings {

OnboardingWindow::OnboardingWindow(
    Environment environment, bool isReopen, std::function<void()> onClose, QWidget* parent)
    : QWidget(parent), m_environment(std::move(environment)), m_isReopen(isReopen), m_onClose(std::move(onClose))
{
    setWindowTitle(QString::fromLatin1(title));
    ui::FocusRing::install(*this);
    // Floats above other windows: on a first run nothing else of murmeli is up yet.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint);
    setPalette(ui::SettingsPalette::dark());
    setAutoFillBackground(true);
    fitToScreen(contentSize);
    // Centred on the main screen: left to the window manager, a window reopened over the settings opened in a corner.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("onboardingScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui::ScrollToFocus::install(*m_scroll);
    QPalette surface = m_scroll->viewport()->palette();
    surface.setColor(QPalette::Window, ui::Color::vantorSurface);
    m_scroll->viewport()->setPalette(surface);
    m_scroll->viewport()->setAutoFillBackground(true);
    layout->addWidget(m_scroll);

    rebuild();
    probe();
    // The window keeps the focus itself until a key or the pointer moves it: opening, the toolkit would hand it to the
    // step's first control, Continue at the bottom, and on a short screen the step would open scrolled to it with its
    // title cut off. Return still presses the step's main button.
    setFocus();
}

OnboardingWindow::~OnboardingWindow() = default;

void OnboardingWindow::present()
{
    ui::WindowFit::show(*this, [this] { fitToScreen(size()); });
    raise();
    activateWindow();
}

void OnboardingWindow::fitToScreen(QSize wanted)
{
    // Where the screen's free area is smaller than the window's own bounds, that area bounds it: a small screen or
    // a large scale keeps the title bar and the buttons in reach, and the step scrolls.
    const QSize room = ui::WindowFit::room(*this);
    setMinimumSize(minimumContentSize.boundedTo(room));
    setMaximumSize(maximumContentSize.boundedTo(room));
    resize(wanted.boundedTo(room));
    ui::WindowFit::keepOnScreen(*this);
}

ui::KitButton* OnboardingWindow::button(const QString& name) const
{
    QWidget* step = m_scroll->widget();
    return step == nullptr ? nullptr : step->findChild<ui::KitButton*>(name);
}

void OnboardingWindow::addCloseAction(std::function<void()> onClose)
{
    m_onClose = [first = std::move(m_onClose), then = std::move(onClose)] {
        if (first) {
            first();
        }
        if (then) {
            then();
        }
    };
}

void OnboardingWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (std::function<void()> onClose = std::exchange(m_onClose, nullptr)) {
        onClose();
    }
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Return presses the step's main button, and nothing while that button waits.
    for (ui::KitButton* candidate : m_scroll->widget()->findChildren<ui::KitButton*>()) {
        if (candidate->property("defaultAction").toBool()) {
            if (candidate->isEnabled()) {
                candidate->click();
            }
            return;
        }
    }
}

void OnboardingWindow::showStep(OnboardingStep step)
{
    m_step = step;
    rebuild();
}

void OnboardingWindow::rebuild()
{
    QWidget* built = nullptr;
    switch (m_step) {
    case OnboardingStep::Why:
        built = OnboardingStepViews::why([this] { showStep(OnboardingStep::Auth); });
        break;
    case OnboardingStep::Auth:
        built = OnboardingStepViews::auth(m_snapshot, m_probing,
            { [this] { authorizeAccessibility(); }, [this] { probe(); }, [this] { showStep(OnboardingStep::Done); },
                [this] { showStep(OnboardingStep::Done); } });
        break;
    case OnboardingStep::Done:
        built = OnboardingStepViews::done(m_snapshot.allGranted(), [this] { finish(); });
        break;
    }
    built->setObjectName(toString(m_step) + QStringLiteral("Step"));
    built->setAutoFillBackground(false);
    // The old step may be the sender of this change (its own button): it goes once it returns.
    if (QWidget* old = m_scroll->takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    m_scroll->setWidget(built);
    m_scroll->verticalScrollBar()->setValue(0);
    Q_EMIT changed();
}

void OnboardingWindow::authorizeAccessibility()
{
    // From now on a refusal reads as denied rather than "not asked yet".
    m_environment.defaults.setValue(QLatin1String(PermissionProbe::axEverPromptedKey), true);
    probe();
}

void OnboardingWindow::probe()
{
    m_probing = true;
    rebuild();
    [[maybe_unused]] const QCoro::Task<> probing = runProbes(++m_probeGeneration);
}

QCoro::Task<> OnboardingWindow::runProbes(quint64 generation)
{
    QPointer<OnboardingWindow> alive = this;
    const PermissionSnapshot found
        = co_await PermissionProbe::snapshot(m_environment.defaults, m_environment.sources, m_environment.clock);
    if (!alive || generation != m_probeGeneration) {
        co_return;
    }
    m_snapshot = found;
    m_probing = false;
    rebuild();
}

void OnboardingWindow::finish()
{
    OnboardingController::markCompleted(m_environment.defaults);
    close();
}

} // namespace murmeli::settings
