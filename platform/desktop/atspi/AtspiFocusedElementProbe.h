#pragma once

#include <map>
#include <optional>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include "platform/desktop/FocusedElementProbe.h"

namespace murmeli::platform {

/// The focused element through the desktop's accessibility bus (AT-SPI over D-Bus). AT-SPI has no question for
/// "which element of this application has the focus", so the probe follows the focus events the applications send
/// once a listener has registered for them, and answers for a process with the element it last saw focused there,
/// checked afresh. An application focused before the probe started, or one that exposes nothing (toolkits without
/// AT-SPI, or with it switched off), gets no answer.
class AtspiFocusedElementProbe final : public QObject, public FocusedElementProbe {
    Q_OBJECT

public:
    AtspiFocusedElementProbe();
    ~AtspiFocusedElementProbe() override;

    /// Connects to the accessibility bus and asks for focus events; true when that worked. Called by the first
    /// isAvailable() or focusedElement() unless called earlier; tried once.
    bool start();
    bool isAvailable() const override;
    std::optional<FocusedElement> focusedElement(qint64 pid) override;

    /// The kind of element an AT-SPI role name ("entry", "document web", ...) stands for.
    static FocusedRole roleOf(const QString& roleName);

private Q_SLOTS:
    void onStateChanged(const QDBusMessage& message);

private:
    std::optional<qint64> pidOf(const QString& busName);
    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
        const QList<QVariant>& arguments = {});

    std::optional<QDBusConnection> m_bus;
    bool m_started = false;
    // The element each application (by its name on the bus) last reported focused, by its object path.
    std::map<QString, QString> m_focused;
    std::map<QString, qint64> m_pids;
};

} // namespace murmeli::platform
