// TesselTst, the driver test program: the window "Тест ККМ" on the display the environment names; the
// driver is created by its ProgID when a page first needs it.
#include <QApplication>

#include "tools/tester/fmuMain.h"
#include "tools/testerlib/ProgramMain.h"

int main(int argc, char** argv) {
    return tessel::cmd::RunProgram(argc, argv, "TesselTst", [] {
        tessel::tst::TfmMain window;
        window.show();
        return QApplication::exec();
    });
}
