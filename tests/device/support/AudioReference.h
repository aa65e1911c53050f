#pragma once

#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace murmeli::test {

/// Runs one expression of Python's own audio module over the input (bound as "data") and returns its bytes; nullopt
/// when no Python with that module is there (it left the standard library in 3.13). An independent reference for
/// the codecs: nothing of ours is involved in computing it.
inline std::optional<QByteArray> audioopReference(const QString& expression, const QByteArray& input)
{
    const QString script = QStringLiteral("import sys, warnings\n"
                                          "warnings.simplefilter('ignore')\n"
                                          "import audioop\n"
                                          "data = bytes.fromhex(sys.stdin.read().strip())\n"
                                          "out = %1\n"
                                          "sys.stdout.write(out.hex())\n")
                               .arg(expression);
    QProcess python;
    python.start(QStringLiteral("python3"), { QStringLiteral("-c"), script });
    if (!python.waitForStarted(5000)) {
        return std::nullopt;
    }
    python.write(input.toHex());
    python.closeWriteChannel();
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        return std::nullopt;
    }
    return QByteArray::fromHex(python.readAllStandardOutput());
}

/// The same stream with the two nibbles of every byte exchanged: Python's module keeps the earlier sample in the
/// high nibble, the device stream in the low one.
inline QByteArray swapNibbles(QByteArray bytes)
{
    for (char& byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        byte = static_cast<char>(((value & 0x0F) << 4) | (value >> 4));
    }
    return bytes;
}

} // namespace murmeli::test
