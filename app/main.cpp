// The Quarnelo MK3 editor.
//   quarnelo-editor              start unlinked; Scan And Link finds real pedals
//   quarnelo-editor --simulate   start linked to the built-in simulated pedal

#include "pedal/EditorCore.h"
#include "windows/MainWindow.h"
#include "support/Clock.h"
#include "windows/WidgetPrompts.h"
#include "device/SerialPortBackend.h"
#include "simulator/SimBackend.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarnelo Editor"));
    QApplication::setApplicationVersion(QStringLiteral(QUARNELO_VERSION));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    QApplication::setFont(font);

    const bool simulate = app.arguments().contains(QStringLiteral("--simulate"));

    SystemClock clock;
    WidgetPrompts prompts;
    SerialPortBackend serial;
    SimBackend simulated(&clock);
    simulated.pedal()->wireTiming = true; // answers take as long as on a real line

    EditorCore core(UserFiles::defaultDocumentsFolder(), &prompts, &clock, &serial, &simulated);
    Editor editor(core);
    prompts.setParent(editor.main());
    QObject::connect(editor.main(), &MainWindow::closed, &app, &QApplication::quit);
    editor.main()->show();
    if (simulate)
        QTimer::singleShot(0, &core.service, &PedalService::linkSimulated);
    return app.exec();
}
