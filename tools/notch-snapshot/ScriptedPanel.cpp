#include "tools/notch-snapshot/ScriptedPanel.h"

#include "main/notch/model/PanelViewModel.h"
#include "main/notch/layout/NotchExpansionState.h"

namespace murmeli::snapshot {

using notch::IslandSurface;
using notch::SessionState;

QStringList stateNames()
{
    return { "brand", "activity", "completion", "error", "approval", "summary", "start", "ptt", "expanded" };
}

ScriptedPanel::ScriptedPanel(test::StripScene::Options options)
    : m_vm(std::make_unique<notch::PanelViewModel>(m_vmClock)), m_state(std::make_unique<notch::NotchExpansionState>()),
      m_scene(std::make_unique<test::StripScene>(options))
{
}

ScriptedPanel::~ScriptedPanel() = default;

std::unique_ptr<ScriptedPanel> ScriptedPanel::make(const PanelScript& script, test::StripScene::Options options)
{
    if (!stateNames().contains(script.state)) {
        return nullptr;
    }
    std::unique_ptr<ScriptedPanel> panel(new ScriptedPanel(options));
    notch::PanelViewModel& vm = *panel->m_vm;
    notch::NotchExpansionState& state = *panel->m_state;
    vm.setSessionTotal(script.sessions);
    vm.setSessionState(SessionState::idle());
    const QString& name = script.state;
    if (name == QLatin1String("activity")) {
        vm.setSessionState(SessionState::working());
        vm.setCurrentActivity(script.activity);
    } else if (name == QLatin1String("completion")) {
        vm.setCurrentSurface(IslandSurface::completionNotification(QStringLiteral("s1")));
    } else if (name == QLatin1String("error")) {
        vm.setCurrentSurface(IslandSurface::error(QStringLiteral("s1"), QStringLiteral("hook failed")));
    } else if (name == QLatin1String("approval")) {
        // Another session than the active one waits, so the strip names its project.
        notch::SessionRow active;
        active.sid = QStringLiteral("s1");
        active.projectName = QStringLiteral("murmeli");
        active.state = SessionState::working();
        active.isActive = true;
        notch::SessionRow waiting;
        waiting.sid = QStringLiteral("s2");
        waiting.projectName = script.project;
        waiting.state = SessionState::needsApproval();
        vm.setSessions({ active, waiting });
        vm.setPendingApprovalMessage(script.approval);
        vm.setCurrentSurface(IslandSurface::approvalCard(QStringLiteral("s2"), QStringLiteral("tool-1")));
    } else if (name == QLatin1String("summary")) {
        vm.setSummaryText(script.summary);
        vm.setSummaryActive(true);
    } else if (name == QLatin1String("start")) {
        state.setStartActive(true);
    } else if (name == QLatin1String("ptt")) {
        vm.setPttActive(true);
    } else if (name == QLatin1String("expanded")) {
        state.setExpanded(true);
    }
    panel->m_scene->show(vm, state);
    panel->m_shownMs = panel->m_scene->clock().monotonicMs();
    return panel;
}

QImage ScriptedPanel::renderAt(qint64 atMs, qreal scale)
{
    // The first frame lays the strip out (a marquee takes its width from it) at the moment of showing.
    if (m_scene->clock().monotonicMs() == m_shownMs) {
        m_scene->render(scale);
    }
    m_scene->advance(std::max<qint64>(0, m_shownMs + atMs - m_scene->clock().monotonicMs()));
    return m_scene->render(scale);
}

} // namespace murmeli::snapshot
