// notch-snapshot: draws the closed strip offscreen for a scripted panel state at a time on a fake clock and saves it
// as PNG, or draws the whole contact sheet. For review only; it is not installed.
//
//   notch-snapshot --state approval --at 2.5 --out approval.png
//   notch-snapshot --state ptt --at 0.3 --reduce-motion --width 380 --notch-width 200 --scale 3 --out ptt.png
//   notch-snapshot --contact-sheet docs/screenshots/notch-strip-contact-sheet.png

#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>

#include "main/ui/design/FontFolder.h"
#include "tools/notch-snapshot/ContactSheet.h"
#include "tools/notch-snapshot/ScriptedPanel.h"

using namespace murmeli;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws murmeli's closed notch strip offscreen to PNG."));
    parser.addHelpOption();
    const QCommandLineOption state(QStringLiteral("state"),
        QStringLiteral("The panel state: %1.").arg(snapshot::stateNames().join(QStringLiteral(", "))),
        QStringLiteral("name"), QStringLiteral("brand"));
    const QCommandLineOption at(
        QStringLiteral("at"), QStringLiteral("Seconds after the state is shown."), QStringLiteral("seconds"), "1.25");
    const QCommandLineOption reduceMotion(QStringLiteral("reduce-motion"), QStringLiteral("Draw with reduced motion."));
    const QCommandLineOption width(
        QStringLiteral("width"), QStringLiteral("Strip width in points."), QStringLiteral("points"), "200");
    const QCommandLineOption notchWidth(QStringLiteral("notch-width"),
        QStringLiteral("Width of a physical notch; 0 for none."), QStringLiteral("points"), "0");
    const QCommandLineOption scale(
        QStringLiteral("scale"), QStringLiteral("Device pixels a point."), QStringLiteral("factor"), "2");
    const QCommandLineOption sessions(
        QStringLiteral("sessions"), QStringLiteral("Number of agent sessions."), QStringLiteral("count"), "3");
    const QCommandLineOption activity(
        QStringLiteral("activity"), QStringLiteral("The working session's activity."), QStringLiteral("text"));
    const QCommandLineOption approval(
        QStringLiteral("approval"), QStringLiteral("The pending approval's text."), QStringLiteral("text"));
    const QCommandLineOption project(QStringLiteral("project"),
        QStringLiteral("Project of the session waiting for approval."), QStringLiteral("name"));
    const QCommandLineOption summary(
        QStringLiteral("summary"), QStringLiteral("The summary's text."), QStringLiteral("text"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("PNG file to write."), QStringLiteral("file"));
    const QCommandLineOption sheet(QStringLiteral("contact-sheet"),
        QStringLiteral("Write the whole contact sheet to file."), QStringLiteral("file"));
    const QCommandLineOption fonts(QStringLiteral("fonts"), QStringLiteral("Folder of the faces to register."),
        QStringLiteral("folder"), QStringLiteral(MURMELI_SOURCE_DIR "/fonts"));
    parser.addOptions({ state, at, reduceMotion, width, notchWidth, scale, sessions, activity, approval, project,
        summary, out, sheet, fonts });
    parser.process(application);

    const ui::FontRegistration registered = ui::registerFontFolder(parser.value(fonts));
    if (registered.registeredFiles == 0) {
        std::fprintf(
            stderr, "notch-snapshot: no faces in %s; system faces stand in\n", qPrintable(parser.value(fonts)));
    }

    if (parser.isSet(sheet)) {
        const QString file = parser.value(sheet);
        if (!snapshot::contactSheet().save(file)) {
            std::fprintf(stderr, "notch-snapshot: cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
        return 0;
    }
    if (!parser.isSet(out)) {
        std::fprintf(stderr, "notch-snapshot: --out or --contact-sheet is needed\n");
        return 2;
    }

    snapshot::PanelScript script;
    script.state = parser.value(state);
    script.sessions = parser.value(sessions).toInt();
    for (const auto& [option, field] :
        { std::pair { &activity, &script.activity }, std::pair { &approval, &script.approval },
            std::pair { &project, &script.project }, std::pair { &summary, &script.summary } }) {
        if (parser.isSet(*option)) {
            *field = parser.value(*option);
        }
    }
    test::StripScene::Options options;
    options.width = parser.value(width).toDouble();
    options.notchReserveWidth = parser.value(notchWidth).toDouble();
    options.reduceMotion = parser.isSet(reduceMotion);
    if (options.width < 40 || options.width > 4000 || options.notchReserveWidth < 0) {
        std::fprintf(stderr, "notch-snapshot: the strip must be 40 to 4000 points wide and the notch 0 or more\n");
        return 2;
    }
    auto panel = snapshot::ScriptedPanel::make(script, options);
    if (!panel) {
        std::fprintf(stderr, "notch-snapshot: unknown state %s\n", qPrintable(script.state));
        return 2;
    }
    const qreal factor = std::clamp(parser.value(scale).toDouble(), 1.0, 8.0);
    const auto atMs = static_cast<qint64>(std::max(0.0, parser.value(at).toDouble()) * 1000);
    const QString file = parser.value(out);
    if (!panel->renderAt(atMs, factor).save(file)) {
        std::fprintf(stderr, "notch-snapshot: cannot write %s\n", qPrintable(file));
        return 1;
    }
    std::printf("%s\n", qPrintable(file));
    return 0;
}
