#include "tests/platform/ble/SimulatedBluez.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>

namespace murmeli::test {

namespace {

constexpr int answerTimeoutMs = 20000;
constexpr int skipExitCode = 77;

// python3-dbusmock is a Debian package: the system's interpreter has it where another one on PATH may not.
QString python()
{
    if (QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
        return QStringLiteral("/usr/bin/python3");
    }
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

} // namespace

SimulatedBluez::~SimulatedBluez()
{
    if (!m_process) {
        return;
    }
    // Closing its input lets the mock stop its bus; a kill would leave the bus behind.
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(answerTimeoutMs)) {
        m_process->kill();
        m_process->waitForFinished(answerTimeoutMs);
    }
}

bool SimulatedBluez::start(QString* whyNot)
{
    const QString interpreter = python();
    if (interpreter.isEmpty()) {
        *whyNot = QStringLiteral("no python3 to run the BlueZ mock");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(interpreter, { QStringLiteral(MURMELI_SOURCE_DIR "/tests/platform/ble/bluez_mock.py") });
    const std::optional<QString> first = readLine();
    if (!first || !first->startsWith(QLatin1String("bus "))) {
        m_process->waitForFinished(answerTimeoutMs);
        const bool skip = m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == skipExitCode;
        *whyNot = skip && first ? first->mid(5)
                                : QStringLiteral("the BlueZ mock did not start: %1").arg(first.value_or(QString()));
        m_process.reset();
        return false;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", first->mid(4).toUtf8());
    // The mock is no bluetoothd whose version Qt could read; without this Qt would drive the kernel's HCI sockets.
    qputenv("BLUETOOTH_FORCE_DBUS_LE_VERSION", "5.66");
    return true;
}

SimulatedBluez* SimulatedBluez::shared(QString* whyNot)
{
    static SimulatedBluez* bluez = nullptr;
    static QString failure;
    if (!bluez && failure.isEmpty()) {
        auto started = std::make_unique<SimulatedBluez>();
        if (started->start(&failure)) {
            bluez = started.release();
            qAddPostRoutine([] {
                delete bluez;
                bluez = nullptr;
            });
        }
    }
    *whyNot = failure;
    return bluez;
}

std::optional<QString> SimulatedBluez::addAdapter(const QString& hci)
{
    const auto answer = command(QStringLiteral("adapter ") + hci);
    return answer && answer->size() == 1 ? std::optional(answer->at(0)) : std::nullopt;
}

bool SimulatedBluez::removeAdapter(const QString& hci)
{
    return command(QStringLiteral("remove-adapter ") + hci).has_value();
}

bool SimulatedBluez::setPowered(const QString& hci, bool on)
{
    return command(QStringLiteral("power %1 %2").arg(hci, on ? QStringLiteral("on") : QStringLiteral("off")))
        .has_value();
}

std::optional<SimulatedBluez::Device> SimulatedBluez::addDevice(
    const QString& hci, const QString& name, const QString& address, int mtu)
{
    const auto answer = command(QStringLiteral("device %1 %2 %3 %4").arg(hci, name, address).arg(mtu));
    if (!answer || answer->size() != 3) {
        return std::nullopt;
    }
    return Device { answer->at(0), answer->at(1), answer->at(2) };
}

std::optional<SimulatedBluez::Written> SimulatedBluez::written(const Device& device)
{
    const auto answer = command(QStringLiteral("written ") + device.rx);
    if (!answer || answer->size() != 2) {
        return std::nullopt;
    }
    const auto orEmpty = [](const QString& word) { return word == QLatin1String("-") ? QString() : word; };
    return Written { QByteArray::fromHex(orEmpty(answer->at(0)).toLatin1()),
        orEmpty(answer->at(1)).split(QLatin1Char(','), Qt::SkipEmptyParts) };
}

bool SimulatedBluez::notify(const Device& device, const QByteArray& value)
{
    return command(QStringLiteral("notify %1 %2").arg(device.tx, QString::fromLatin1(value.toHex()))).has_value();
}

bool SimulatedBluez::drop(const Device& device)
{
    return command(QStringLiteral("drop ") + device.path).has_value();
}

std::optional<QStringList> SimulatedBluez::command(const QString& line)
{
    if (!m_process) {
        return std::nullopt;
    }
    m_process->write(line.toUtf8() + '\n');
    const std::optional<QString> answer = readLine();
    if (!answer || !(answer == QLatin1String("ok") || answer->startsWith(QLatin1String("ok ")))) {
        return std::nullopt;
    }
    return answer->mid(3).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

std::optional<QString> SimulatedBluez::readLine()
{
    QDeadlineTimer deadline(answerTimeoutMs);
    while (!m_process->canReadLine()) {
        if (deadline.hasExpired() || m_process->state() == QProcess::NotRunning) {
            return std::nullopt;
        }
        m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
    return QString::fromUtf8(m_process->readLine()).trimmed();
}

} // namespace murmeli::test
