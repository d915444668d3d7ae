// TesselCmd, the command tester: the driver created by its ProgID, the window "Тест команд" on the
// display the environment names.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "tools/cmdtester/fmuMain.h"
#include "tools/cmdtester/untCmdIni.h"
#include "tools/testerlib/ProgramMain.h"

int main(int argc, char** argv) {
    return tessel::cmd::RunProgram(argc, argv, "TesselCmd", [] {
        try {
            TfmMain window(tessel::cmd::TCmdDriver::Create(),
                           tessel::cmd::CmdIniFileName(tessel::cmd::ProgramPath()));
            window.show();
            return QApplication::exec();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "TesselCmd: %s\n", e.what());
            QMessageBox::critical(nullptr, TfmMain::Title(), QString::fromStdString(e.what()));
            return 1;
        }
    });
}
