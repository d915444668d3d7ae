#include "tools/testerlib/ProgramMain.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>

#include "common/qt/MessageQueueBridge.h"
#include "common/qt/QtBootstrap.h"
#include "tools/tessel/MessagePump.h"

namespace tessel::cmd {

int RunProgram(int argc, char** argv, const char* name, const std::function<int()>& run) {
    tessel::cli::StopSignals stop;
    try {
        qputenv("QT_QPA_PLATFORM",
                QByteArray::fromStdString(tessel::qt::ChoosePlatform(tessel::qt::SystemProbe())));
    } catch (const tessel::qt::EQtUnavailable& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(name);
    tessel::qt::InstallQtTranslations(app);
    QSocketNotifier onStop(stop.Fd(), QSocketNotifier::Read);
    QObject::connect(&onStop, &QSocketNotifier::activated, &app, [&] {
        onStop.setEnabled(false);
        if (stop.Stopped()) QApplication::closeAllWindows();
    });
    tessel::qt::MessageQueueBridge::ForCurrentThread();
    return run();
}

}  // namespace tessel::cmd
