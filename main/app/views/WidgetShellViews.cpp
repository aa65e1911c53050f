#include "main/app/views/WidgetShellViews.h"

#include <QMessageBox>

#include "main/app/views/ActivityLogWindow.h"

namespace murmeli::app {

WidgetShellViews::WidgetShellViews() = default;

WidgetShellViews::~WidgetShellViews() = default;

void WidgetShellViews::buildActivityLog()
{
    if (!m_activityLog) {
        m_activityLog = std::make_unique<ActivityLogWindow>();
    }
}

void WidgetShellViews::appendLog(const QString& message, common::LogColor color)
{
    if (m_activityLog) {
        m_activityLog->append(QDateTime::currentDateTime(), message, color);
    }
}

void WidgetShellViews::showActivityLog()
{
    buildActivityLog();
    m_activityLog->present();
}

void WidgetShellViews::showInformation(
    const QString& message, const QString& informativeText, std::function<void()> onDismissed)
{
    // Modal for the whole application but shown without a nested event loop, so the main thread keeps serving the
    // agents while it is up. (open() would make it modal to a parent it does not have.)
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("murmeli"), message, QMessageBox::Ok);
    box->setInformativeText(informativeText);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [onDismissed = std::move(onDismissed)] {
        if (onDismissed) {
            onDismissed();
        }
    });
    box->show();
}

} // namespace murmeli::app
