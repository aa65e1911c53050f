#include "platform/desktop/atspi/AtspiFocusedElementProbe.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QHash>

namespace murmeli::platform {

namespace {

// Every question to another program is bounded: detection runs while the user waits for the take to start.
constexpr int callTimeoutMs = 250;
const QString busConnectionName = QStringLiteral("murmeli-atspi");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString focusEvent = QStringLiteral("object:state-changed:focused");

// Bits of an AT-SPI state set.
constexpr int stateEditable = 7;
constexpr int stateFocused = 12;

bool hasState(const QList<uint>& states, int state)
{
    const qsizetype word = state / 32;
    return word < states.size() && (states.at(word) & (1u << (state % 32))) != 0;
}

QList<uint> statesIn(const QVariant& reply)
{
    QList<uint> states;
    if (reply.canConvert<QDBusArgument>()) {
        reply.value<QDBusArgument>() >> states;
    } else {
        states = reply.value<QList<uint>>();
    }
    return states;
}

} // namespace

AtspiFocusedElementProbe::AtspiFocusedElementProbe() = default;

AtspiFocusedElementProbe::~AtspiFocusedElementProbe()
{
    if (m_bus) {
        QDBusConnection::disconnectFromBus(busConnectionName);
    }
}

bool AtspiFocusedElementProbe::start()
{
    if (m_started) {
        return m_bus.has_value();
    }
    m_started = true;
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"),
        QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    // Starting the bus on first use may take a moment longer than one question.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(request, QDBus::Block, 4 * callTimeoutMs);
    const QString address = reply.arguments().value(0).toString();
    if (reply.type() != QDBusMessage::ReplyMessage || address.isEmpty()) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address, busConnectionName);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(busConnectionName);
        return false;
    }
    m_bus = bus;
    bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"),
        this, SLOT(onStateChanged(QDBusMessage)));
    // Applications send focus events only while someone has registered for them. The registry's method took more
    // arguments in later releases; the older form is tried when the newer one is refused.
    const QString registry = QStringLiteral("org.a11y.atspi.Registry");
    const QString registryPath = QStringLiteral("/org/a11y/atspi/registry");
    const QDBusMessage registered = call(registry, registryPath, registry, QStringLiteral("RegisterEvent"),
        { focusEvent, QVariant::fromValue(QStringList()), QString() });
    if (registered.type() == QDBusMessage::ErrorMessage) {
        call(registry, registryPath, registry, QStringLiteral("RegisterEvent"), { focusEvent });
    }
    return true;
}

bool AtspiFocusedElementProbe::isAvailable() const
{
    return const_cast<AtspiFocusedElementProbe*>(this)->start();
}

std::optional<FocusedElement> AtspiFocusedElementProbe::focusedElement(qint64 pid)
{
    // Asking our own process would wait for an answer only this thread could give.
    if (!start() || pid == QCoreApplication::applicationPid()) {
        return std::nullopt;
    }
    for (auto it = m_focused.begin(); it != m_focused.end();) {
        if (pidOf(it->first) != pid) {
            ++it;
            continue;
        }
        const QDBusMessage state = call(it->first, it->second, accessibleInterface, QStringLiteral("GetState"));
        if (state.type() != QDBusMessage::ReplyMessage) {
            // The application is gone, or its element is.
            it = m_focused.erase(it);
            continue;
        }
        const QList<uint> states = statesIn(state.arguments().value(0));
        const QDBusMessage role = call(it->first, it->second, accessibleInterface, QStringLiteral("GetRoleName"));
        if (!hasState(states, stateFocused) || role.type() != QDBusMessage::ReplyMessage) {
            ++it;
            continue;
        }
        const QString roleName = role.arguments().value(0).toString();
        return FocusedElement { roleOf(roleName), roleName, hasState(states, stateEditable) };
    }
    return std::nullopt;
}

FocusedRole AtspiFocusedElementProbe::roleOf(const QString& roleName)
{
    static const QHash<QString, FocusedRole> roles = {
        { QStringLiteral("entry"), FocusedRole::TextField },
        { QStringLiteral("password text"), FocusedRole::TextField },
        { QStringLiteral("spin button"), FocusedRole::TextField },
        { QStringLiteral("text"), FocusedRole::TextArea },
        { QStringLiteral("paragraph"), FocusedRole::TextArea },
        { QStringLiteral("document text"), FocusedRole::TextArea },
        { QStringLiteral("combo box"), FocusedRole::ComboBox },
        { QStringLiteral("document web"), FocusedRole::WebArea },
        { QStringLiteral("terminal"), FocusedRole::Terminal },
    };
    return roles.value(roleName, FocusedRole::Other);
}

void AtspiFocusedElementProbe::onStateChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.value(0).toString() != QLatin1String("focused")) {
        return;
    }
    if (arguments.value(1).toInt() == 1) {
        m_focused.insert_or_assign(message.service(), message.path());
    } else if (const auto it = m_focused.find(message.service());
               it != m_focused.end() && it->second == message.path()) {
        m_focused.erase(it);
    }
}

std::optional<qint64> AtspiFocusedElementProbe::pidOf(const QString& busName)
{
    if (const auto it = m_pids.find(busName); it != m_pids.end()) {
        return it->second;
    }
    const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"), { busName });
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return std::nullopt;
    }
    const qint64 pid = reply.arguments().value(0).toLongLong();
    m_pids.emplace(busName, pid);
    return pid;
}

QDBusMessage AtspiFocusedElementProbe::call(const QString& service, const QString& path, const QString& interface,
    const QString& method, const QList<QVariant>& arguments)
{
    QDBusMessage request = QDBusMessage::createMethodCall(service, path, interface, method);
    request.setArguments(arguments);
    return m_bus->call(request, QDBus::Block, callTimeoutMs);
}

} // namespace murmeli::platform
