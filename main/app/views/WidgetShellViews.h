#pragma once

#include <memory>

#include "main/app/shell/ShellViews.h"

namespace murmeli::app {

class ActivityLogWindow;

/// The delegate's windows as Qt Widgets.
class WidgetShellViews final : public ShellViews {
public:
    WidgetShellViews();
    ~WidgetShellViews() override;

    void buildActivityLog() override;
    void appendLog(const QString& message, common::LogColor color) override;
    void showActivityLog() override;
    void showInformation(
        const QString& message, const QString& informativeText, std::function<void()> onDismissed) override;

    ActivityLogWindow* activityLog() const { return m_activityLog.get(); }

private:
    std::unique_ptr<ActivityLogWindow> m_activityLog;
};

} // namespace murmeli::app
