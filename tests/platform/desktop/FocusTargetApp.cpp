#include "tests/platform/desktop/FocusTargetApp.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>

namespace murmeli::test {

int runFocusTargetApp(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("murmeli focus target"));
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    auto* button = new QPushButton(QStringLiteral("Nothing to type here"), &window);
    layout->addWidget(field);
    layout->addWidget(button);
    window.show();
    window.activateWindow();
    field->setFocus();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
        } else if (QByteArray(buffer, int(n)).contains("button")) {
            button->setFocus();
        }
    });
    return app.exec();
}

} // namespace murmeli::test
