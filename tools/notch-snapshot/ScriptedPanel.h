#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "tests/notch/StripScene.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::notch {
class NotchExpansionState;
}

namespace murmeli::snapshot {

/// A panel state to photograph: one of the named states and the texts and numbers it shows.
struct PanelScript {
    QString state = QStringLiteral("brand");
    int sessions = 3;
    QString activity = QStringLiteral("Bash \u00B7 npm test");
    QString approval = QStringLiteral("Bash: npm run build && npm test -- --coverage");
    QString project = QStringLiteral("murmeli-api");
    QString summary = QStringLiteral("All 214 tests pass; the build is green again.");
};

/// brand, activity, completion, error, approval, summary, start, ptt, expanded.
QStringList stateNames();

/// A view model and expansion state set up as the script says, and a strip scene showing them from time 0.
class ScriptedPanel final {
public:
    /// Empty when the script names no known state.
    static std::unique_ptr<ScriptedPanel> make(const PanelScript& script, test::StripScene::Options options);
    ~ScriptedPanel();

    test::StripScene& scene() { return *m_scene; }
    /// The strip atMs after the state was shown, at scale device pixels a point.
    QImage renderAt(qint64 atMs, qreal scale);

private:
    ScriptedPanel(test::StripScene::Options options);

    test::FakeClock m_vmClock;
    std::unique_ptr<notch::PanelViewModel> m_vm;
    std::unique_ptr<notch::NotchExpansionState> m_state;
    // Last, so that it goes first: its strip holds closures over the view model.
    std::unique_ptr<test::StripScene> m_scene;
    qint64 m_shownMs = 0;
};

} // namespace murmeli::snapshot
