// tessel-probe: asks a cash register who and how it is, through the driver engine.
//
// Without --com it starts the register emulator on a pseudo-terminal and talks to that, so the whole path
// (engine, counters, frames, serial port, register) runs on any machine.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "common/platform/MessageQueue.h"
#include "driver/engine/untEcrDrv.h"
#include "driver/link/untCodecs.h"
#include "tools/emulator/EmuLine.h"

namespace {

void Usage() {
    std::puts(
        "usage: tessel-probe [--com N] [--address A] [--baud CODE]\n"
        "  --com N       use the register on serial port COM N (its device path comes from TESSEL_COM<N>,\n"
        "                the settings store, or /dev/ttyS<N-1>); without it the built-in emulator is used\n"
        "  --address A   the register's network address (default 2)\n"
        "  --baud CODE   baud code 1..8 (1200..115200 baud; default 3 = 4800)");
}

void Show(const char* method, std::int32_t result, const TEcrDrv& e) {
    std::printf("%s: (%d) %s\n", method, result, e.ResultDescription.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int com = 0;
    int address = 2;
    int baud = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> int {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return std::atoi(argv[++i]);
        };
        if (arg == "--com") {
            com = next();
        } else if (arg == "--address") {
            address = next();
        } else if (arg == "--baud") {
            baud = next();
        } else {
            Usage();
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }

    std::unique_ptr<EmuLine> emulator;
    if (com == 0) {
        // A demonstration leaves the user's own settings and counters alone.
        static char dir[] = "/tmp/tessel-probe-XXXXXX";
        if (std::getenv("TESSEL_REGISTRY_DIR") == nullptr && ::mkdtemp(dir) != nullptr) {
            ::setenv("TESSEL_REGISTRY_DIR", dir, 1);
        }
        emulator = EmuLine::StartOnNewPty();
        emulator->AddRegister(static_cast<std::uint8_t>(address));
        com = 32;
        ::setenv("TESSEL_COM32", emulator->Path().c_str(), 1);
        std::printf("No register given: the built-in emulator answers on %s (COM%d).\n",
                    emulator->Path().c_str(), com);
    }

    TEcrDrv e;
    e.SetPortNumber(com);
    e.SetBaudRate(baud);
    e.SetDstAddress(static_cast<std::uint8_t>(address));
    e.SetDeviceEnabled(true);
    Show("DeviceEnabled", e.ResultCode, e);
    if (e.ResultCode != 0) return 1;

    const auto metrics = e.GetDeviceMetrics();
    Show("GetDeviceMetrics", metrics, e);
    if (metrics == 0) {
        std::printf(
            "UDescription = %s\nUModel = %d\nUMajorProtocolVersion = %d\nUMinorProtocolVersion = %d\n",
            e.UDescription.c_str(), e.UModel, e.UMajorProtocolVersion, e.UMinorProtocolVersion);
    }
    const auto status = e.GetECRStatus();
    Show("GetECRStatus", status, e);
    if (status == 0) {
        std::printf(
            "ECRSoftVersion = %s\nECRSoftBuild = %d\nECRMode = %d\nECRModeDescription = %s\n"
            "ECRAdvancedModeDescription = %s\nECRDate = %s\nECRTime = %s\nDocumentNumber = %d\n",
            e.ECRSoftVersion.c_str(), e.ECRSoftBuild, e.ECRMode, e.ECRModeDescription().c_str(),
            e.ECRAdvancedModeDescription().c_str(), e.GetECRDateStr().c_str(), e.GetECRTimeStr().c_str(),
            e.DocumentNumber);
    }
    const auto fm = e.GetFMStatus();
    Show("GetFMStatus", fm, e);
    if (fm == 0) {
        std::printf("SerialNumber = %s\nINN = %s\nEKLZNumber = %s\nFreeRecordInFM = %d\n",
                    e.SerialNumber.c_str(), e.INN.c_str(), e.EKLZNumber.c_str(), e.FreeRecordInFM);
    }

    if (emulator) {
        // The register asks something of its back office; the engine announces it on this thread when it
        // pumps its queue, and the answer goes back through SendCommand.
        std::unique_ptr<TCommand> answer;
        std::thread reg([&] {
            answer = emulator->SendRequest(static_cast<std::uint8_t>(address), {0x80, 1}, 3000);
        });
        e.OnCommand = [](TEcrDrv& engine, std::int32_t id) {
            engine.CommandID = id;
            engine.GetCommandParams();
            std::printf("Command event: CommandID = %d, CommandCode = %02Xh, CommandExecuteFlag = %d\n", id,
                        engine.Holder().Code, engine.Holder().ExecuteFlag ? 1 : 0);
            engine.Holder().CommandType = 1;
            engine.Holder().DstAddress = engine.Holder().SrcAddress;
            engine.Holder().SrcAddress = engine.SrcAddress;
            engine.CommandResultCode = 0;
            Show("SendCommand", engine.SendCommand(), engine);
            engine.DeleteCommand();
        };
        auto queue = tessel::MessageQueue::ForCurrentThread();
        for (int i = 0; i < 30 && !answer; ++i) queue->WaitAndDispatch(100);
        reg.join();
        std::printf("Register got the answer: %s\n", answer ? BytesToHex(answer->Cadr).c_str() : "none");
    }
    return status == 0 ? 0 : 1;
}
