#include "main/settings/ExternalScriptRunner.h"

#include <QProcess>
#include <QStringDecoder>

namespace murmeli::settings::ExternalScriptRunner {

Result run(const QString& interpreter, const QStringList& arguments)
{
    QProcess process;
    // One channel for both, so the user sees errors where they happened among the output.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(interpreter, arguments);
    if (!process.waitForStarted(-1)) {
        return { QStringLiteral("Failed to launch ") + interpreter + QStringLiteral(": ") + process.errorString(), -1 };
    }
    QByteArray output;
    // Read while waiting: a script that prints more than a pipe holds must not stall.
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        output += process.readAll();
    }
    output += process.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(output);
    if (decoder.hasError()) {
        text.clear();
    }
    return { text, process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1 };
}

} // namespace murmeli::settings::ExternalScriptRunner
