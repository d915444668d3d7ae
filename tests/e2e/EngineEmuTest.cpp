// The engine against the register emulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "driver/base/untError.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untEcrDrv.h"
#include "driver/link/EcrFrame.h"
#include "support/ChildProcess.h"
#include "support/EmuFixture.h"
#include "support/Fd.h"
#include "support/Latch.h"
#include "support/TempDir.h"

namespace {

class EngineEmu : public tessel_test::EmuEngineTest {
  protected:
    // Sets bytes 2 and 3 (what we last took from the register and how many) of the counters record of
    // port 1 and register 2, behind the engine's back.
    void SetTakenCounters(std::uint8_t c1, std::uint8_t count) {
        const tessel_test::Fd file(::open(counters_.File("Counters0.dat").c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_GE(file.Get(), 0);
        const std::uint8_t bytes[2] = {c1, count};
        ASSERT_EQ(::pwrite(file.Get(), bytes, 2, 4 * (2 + 256 * 1) + 2), 2);
    }
};

TEST_F(EngineEmu, StatusAndInformationCommandsFillTheirProperties) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) {
        m.operatorNumber = 7;
        m.softBuild = 321;
        m.mode = 4;
        m.model = 0;
        m.clock = EmuDateTime{9, 2, 24, 13, 45, 7};
        m.serialNumber.reset();
        m.inn = 1234;
        m.description = "Тестовая ККМ";
    });
    TEcrDrv& e = *engine_;
    ASSERT_EQ(e.GetDeviceMetrics(), 0) << e.ResultDescription;
    EXPECT_EQ(e.UModel, 0);
    EXPECT_EQ(e.UDescription, "Тестовая ККМ");

    ASSERT_EQ(e.GetECRStatus(), 0) << e.ResultDescription;
    EXPECT_EQ(e.ResultDescription, "Ошибок нет");
    EXPECT_EQ(e.OperatorNumber, 7);
    EXPECT_EQ(e.ECRSoftVersion, "1.0");
    EXPECT_EQ(e.ECRSoftBuild, 321);
    EXPECT_EQ(e.ECRMode, 4);
    EXPECT_EQ(e.ECRModeDescription(), "режим регистрации");
    EXPECT_EQ(e.GetECRDateStr(), "09.02.2024");
    EXPECT_EQ(e.GetECRTimeStr(), "13:45:07");

    ASSERT_EQ(e.GetFMStatus(), 0) << e.ResultDescription;
    EXPECT_FALSE(e.SerialNumberValid);
    EXPECT_EQ(e.SerialNumber, "не введен");
    EXPECT_TRUE(e.INNValid);
    EXPECT_EQ(e.INN, "000000001234");
    EXPECT_FALSE(e.EKLZNumberValid);

    e.DeviceNumber = 3;
    e.DataBlockNumber = 5;
    ASSERT_EQ(e.GetDump(), 0) << e.ResultDescription;
    EXPECT_EQ(e.DataBlock, line_->Model(2).DumpBlock(3, 5));
    EXPECT_EQ(e.DataBlockCount, line_->Model(2).dumpDevices[2].blockCount);
    EXPECT_EQ(e.ECRDeviceName(), "энергонезависимая память");

    e.FlagNumber = 3;
    ASSERT_EQ(e.GetECRFlagName(), 0) << e.ResultDescription;
    EXPECT_EQ(e.FlagName, line_->Model(2).flagNames[3]);

    ASSERT_EQ(e.Beep(), 0);
    EXPECT_EQ(line_->Model(2).beepCount, 1u);

    e.ECRPortNumber = 1;
    e.ECRBaudRate = 6;
    e.ECRTimeout = 150;
    ASSERT_EQ(e.SetExchangeParam(), 0) << e.ResultDescription;
    e.ECRBaudRate = 0;
    e.ECRTimeout = 0;
    ASSERT_EQ(e.GetExchangeParam(), 0) << e.ResultDescription;
    EXPECT_EQ(e.ECRBaudRate, 6);
    EXPECT_EQ(e.ECRTimeout, 150);
    EXPECT_TRUE(announced_.empty()) << "awaited answers are never announced";
}

TEST_F(EngineEmu, AnExchangeLeavesItsRequestFrameAsCommandCadr) {
    ASSERT_EQ(engine_->GetECRStatus(), 0) << engine_->ResultDescription;
    const Bytes& cadr = engine_->Holder().Cadr;
    ASSERT_EQ(cadr.size(), 10u);
    EXPECT_EQ(cadr, UnstuffedFrame(Bytes(cadr.begin() + 1, cadr.end() - 2))) << "start byte and checksum";
    EXPECT_EQ((Bytes{cadr[1], cadr[2], cadr[3], cadr[6], cadr[7]}), (Bytes{2, 1, 0, 1, 0x11}));
}

TEST_F(EngineEmu, RegisterErrorEndsTheAttempts) {
    engine_->FlagNumber = 16;
    EXPECT_EQ(engine_->GetECRFlagName(), 135);
    EXPECT_EQ(engine_->ResultDescription, "Неверный номер бита");
    EXPECT_EQ(engine_->FlagName, "");
    EXPECT_EQ(line_->ExecutionCount(2, 0x10), 1u);
}

TEST_F(EngineEmu, NoAnswerAfterExactlyRepCountRequests) {
    int requests = 0;
    line_->SetFrameObserver([&requests](const EmuFrameEvent& ev) {
        if (ev.kind == EmuFrameEvent::Kind::Received) ++requests;
    });
    engine_->SetDstAddress(9);  // nobody answers there
    engine_->RepCount = 3;
    engine_->Timeout = 100;
    EXPECT_EQ(engine_->GetECRStatus(), E_NOCONNECTION);
    EXPECT_EQ(engine_->ResultDescription, "Нет связи");
    line_->SetFrameObserver(nullptr);
    EXPECT_EQ(requests, 3);
}

TEST_F(EngineEmu, RepCountBelowOneSendsNothing) {
    engine_->RepCount = 0;
    EXPECT_EQ(engine_->GetECRStatus(), E_INVALIDVALUE);
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 0u);
}

TEST_F(EngineEmu, LostAnswerIsRepeatedFromTheRegistersStoredAnswer) {
    line_->DropAnswer(1);
    ASSERT_EQ(engine_->GetECRStatus(), 0) << engine_->ResultDescription;
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 1u) << "the repetition is answered, not executed again";
    // The counters stay in step: the next request is new and executed.
    ASSERT_EQ(engine_->GetECRStatus(), 0);
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 2u);
}

TEST_F(EngineEmu, CorruptedAnswerIsRetriedAndNotCounted) {
    line_->CorruptAnswer(1);
    ASSERT_EQ(engine_->GetECRStatus(), 0) << engine_->ResultDescription;
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 1u);
    ASSERT_EQ(engine_->GetECRStatus(), 0);
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 2u);
    EXPECT_EQ(engine_->Received().Count(), 0u);
}

TEST_F(EngineEmu, AnswerAfterTheTimeOutIsAnnounced) {
    line_->SetAnswerDelay(250);
    engine_->RepCount = 1;
    engine_->Timeout = 100;
    EXPECT_EQ(engine_->GetECRStatus(), E_NOCONNECTION);
    ASSERT_TRUE(PumpUntil(1, 2000));
    engine_->CommandID = announced_[0];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    EXPECT_EQ(engine_->Holder().CommandType, 1);
    EXPECT_EQ(engine_->Holder().Code, 0x11);
}

TEST_F(EngineEmu, RegisterRequestIsDeliveredOnlyOnTheEngineThreadWhenItPumps) {
    std::unique_ptr<TCommand> answer;
    std::jthread reg([&] { answer = line_->SendRequest(2, {0x80, 1, 2, 3}, 2000); });
    // Nothing is delivered while the engine's thread does not pump.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(announced_.empty());
    ASSERT_TRUE(PumpUntil(1, 2000));
    EXPECT_EQ(announcedOn_, std::this_thread::get_id());

    // A fresh peer's first request repeats the stored counters exactly: a rollback, to be executed.
    engine_->CommandID = announced_[0];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    EXPECT_TRUE(engine_->Holder().ExecuteFlag);
    EXPECT_TRUE(engine_->Holder().RollbackFlag);
    EXPECT_EQ(engine_->Holder().Code, 0x80);
    EXPECT_EQ(engine_->Holder().Data, (Bytes{1, 2, 3}));

    // CommandCadr shows the frame loaded, then the frame sent: what the register received, byte for byte.
    const Bytes request = engine_->Holder().Cadr;
    ASSERT_EQ(request.size(), 13u);
    EXPECT_EQ(request[3], 0) << "a request";
    EXPECT_EQ(request[7], 0x80);

    ASSERT_EQ(SendAnswer(), 0) << engine_->ResultDescription;
    reg.join();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->ResultCode, 0);
    EXPECT_EQ(answer->C1, 0);
    EXPECT_EQ(answer->C2, 1);
    EXPECT_EQ(engine_->Holder().Cadr, answer->Cadr);
    EXPECT_EQ(engine_->DeleteCommand(), 0);
    EXPECT_EQ(engine_->DeleteCommand(), E_COMMANDNOTFOUND);
}

// A worker's operation may last for many exchanges; the thread that pumps the command window goes on pumping
// meanwhile, and the register's requests (announced ones and those the engine answers itself) are delivered
// in the order they came once the worker lets the driver go.
TEST_F(EngineEmu, TheEnginesThreadNeverWaitsForAWorkersOperation) {
    tessel_test::Latch held(2);
    tessel_test::Latch done(2);
    std::jthread worker([&] {
        std::lock_guard operation(engine_->OperationLock());
        held.arrive_and_wait();
        done.arrive_and_wait();
    });
    held.arrive_and_wait();
    SetTakenCounters(5, 5);
    std::unique_ptr<TCommand> refused;
    std::unique_ptr<TCommand> announced;
    std::jthread reg([&] {
        refused = line_->SendRequest(2, {0x81, 9}, 3000);  // out of sequence: the engine answers 204 itself
        announced = line_->SendRequest(2, {0x80, 1, 2, 3}, 3000);
    });
    tessel_test::PumpFor(400);  // returns: the deliveries wait without holding the thread
    EXPECT_TRUE(announced_.empty());
    done.arrive_and_wait();
    worker.join();
    ASSERT_TRUE(PumpUntil(1, 3000));
    engine_->CommandID = announced_[0];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    EXPECT_EQ(engine_->Holder().Code, 0x80);
    ASSERT_EQ(SendAnswer(), 0) << engine_->ResultDescription;
    reg.join();
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->ResultCode, 204);
    ASSERT_NE(announced, nullptr);
    EXPECT_EQ(announced->ResultCode, 0);
}

TEST_F(EngineEmu, OutOfSequenceRequestIsAnswered204AndNotAnnounced) {
    SetTakenCounters(5, 5);
    std::unique_ptr<TCommand> answer;
    std::jthread reg([&] { answer = line_->SendRequest(2, {0x81, 9}, 2000); });
    PumpUntil(1, 500);
    reg.join();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->ResultCode, 204);
    EXPECT_TRUE(announced_.empty());
    EXPECT_EQ(engine_->Received().Count(), 0u) << "the engine's own answer leaves nothing behind";
}

TEST_F(EngineEmu, RepeatedRegisterRequestIsAnsweredFromTheStoredAnswer) {
    // The register gives up before the client answers, then repeats with the same counters.
    std::unique_ptr<TCommand> first;
    std::jthread reg([&] { first = line_->SendRequest(2, {0x82, 4}, 150); });
    ASSERT_TRUE(PumpUntil(1, 2000));
    reg.join();
    EXPECT_EQ(first, nullptr);
    engine_->CommandID = announced_[0];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    ASSERT_EQ(engine_->Holder().SrcAddress, 2);
    ASSERT_EQ(SendAnswer(), 0) << engine_->ResultDescription;

    std::unique_ptr<TCommand> repeated;
    std::jthread again([&] { repeated = line_->SendRequest(2, {0x82, 4}, 2000); });
    PumpUntil(2, 1000);
    again.join();
    ASSERT_NE(repeated, nullptr);
    EXPECT_EQ(repeated->ResultCode, 0);
    EXPECT_EQ(announced_.size(), 1u) << "the repetition is answered by the engine alone";
}

TEST_F(EngineEmu, SearchAnswersArriveAsReceivedCommandsAndLeaveCountersInStep) {
    line_->AddRegister(3);
    ASSERT_EQ(engine_->SearchDevice(), 0);
    ASSERT_TRUE(PumpUntil(2, 2000));
    std::vector<int> sources;
    for (const auto id : announced_) {
        engine_->CommandID = id;
        ASSERT_EQ(engine_->GetCommandParams(), 0);
        EXPECT_EQ(engine_->Holder().Code, 0xFA);
        sources.push_back(engine_->Holder().SrcAddress);
        engine_->DeleteCommand();
    }
    std::sort(sources.begin(), sources.end());
    EXPECT_EQ(sources, (std::vector<int>{2, 3}));
    ASSERT_EQ(engine_->GetDeviceMetrics(), 0) << engine_->ResultDescription;
    EXPECT_EQ(line_->ExecutionCount(2, 0xFC), 1u);
}

TEST_F(EngineEmu, DataBlockLongerThanAFrameCarriesIsRefused) {
    // An answer to a device-type request whose name would push the block past 245 bytes.
    engine_->Holder().Code = 0xFC;
    engine_->Holder().CommandType = 1;
    engine_->Holder().DstAddress = 2;
    engine_->CommandResultCode = 0;
    engine_->UDescription = std::string(239, 'x');
    EXPECT_EQ(engine_->SendCommand(), E_INVALIDVALUE);
    engine_->UDescription = std::string(238, 'x');
    EXPECT_EQ(engine_->SendCommand(), 0) << engine_->ResultDescription;
}

TEST_F(EngineEmu, CommandDataTwiceGivesTheSameCountersAndTwoIdentifiers) {
    engine_->Holder().Code = 0x11;
    engine_->Holder().CommandType = 0;
    engine_->Holder().DstAddress = 2;
    engine_->Holder().SrcAddress = 1;
    const Bytes a = engine_->CommandData();
    const TCommand probe;
    const Bytes b = engine_->CommandData();
    const TCommand probe2;
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, (Bytes{0x7E, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x11, 0x26, 0x33}));
    EXPECT_EQ(probe2.ID - probe.ID, 2) << "each build takes an identifier";
    EXPECT_EQ(engine_->CommandDataHex(), "7E 02 01 00 00 00 01 11 26 33 ");
}

TEST_F(EngineEmu, GetCommandParamsOfAnUnknownIdentifierLeavesTheHolder) {
    engine_->Holder().Code = 0x42;
    engine_->CommandID = 999999;
    EXPECT_EQ(engine_->GetCommandParams(), E_COMMANDNOTFOUND);
    EXPECT_EQ(engine_->ResultDescription, "Команда не найдена");
    EXPECT_EQ(engine_->Holder().Code, 0x42);
}

TEST_F(EngineEmu, SecondEngineInAnotherProcessTakesCountersFileOne) {
    EXPECT_NE(engine_->Counters().FileName().find("Counters0.dat"), std::string::npos);
    // The first engine keeps its counters file, but its port's thread and the line's thread end before the
    // fork: a lock one of them held then would stay taken in the child.
    engine_->SetDeviceEnabled(false);
    line_->Stop();
    ASSERT_EQ(tessel_test::OwnThreads(), 1) << "threads left";
    tessel_test::ForkedChild child([dir = counters_.Path()] {
        TEcrDrv second(TEcrDrv::TOptions{dir, {}});
        if (second.Counters().FileName().find("Counters1.dat") == std::string::npos)
            throw std::runtime_error("not the second counters file");
    });
    EXPECT_TRUE(tessel_test::ExitedCleanly(child.Wait(tessel_test::kChildWait)));
}

TEST_F(EngineEmu, SettingsSurviveTheEngine) {
    engine_->Timeout = 777;
    engine_->RepCount = 5;
    engine_->SrcAddress = 4;
    engine_->AddLD();
    engine_.reset();
    {
        tessel::Registry reg;
        ASSERT_TRUE(reg.OpenKey(kParamKey, false));
        reg.WriteInteger("SrcAddress", 257);
    }
    auto again = std::make_unique<TEcrDrv>(TEcrDrv::TOptions{counters_.Path(), {}});
    EXPECT_EQ(again->Timeout, 777);
    EXPECT_EQ(again->RepCount, 5);
    EXPECT_EQ(again->SrcAddress, 1) << "kept to 8 bits";
    EXPECT_EQ(again->LDCount(), 2);
}

TEST_F(EngineEmu, BareFramesAndRawData) {
    TCommand& h = engine_->Holder();
    h.Code = 0x11;
    h.CommandType = 0;
    h.DstAddress = 2;
    h.SrcAddress = engine_->SrcAddress;
    // With WaitAnswer the bare request's answer is consumed and decoded by its class.
    engine_->WaitAnswer = true;
    engine_->ECRSoftBuild = 0;
    ASSERT_EQ(engine_->SendCadr(), 0) << engine_->ResultDescription;
    EXPECT_EQ(engine_->ECRSoftBuild, line_->Model(2).softBuild);
    EXPECT_TRUE(announced_.empty());
    // Without it the call returns once the frame is out, and the answer arrives as an event.
    engine_->WaitAnswer = false;
    h.Code = 0x13;
    h.CommandType = 0;
    h.DstAddress = 2;
    h.SrcAddress = engine_->SrcAddress;
    ASSERT_EQ(engine_->SendCadr(), 0);
    ASSERT_TRUE(PumpUntil(1, 2000));
    engine_->CommandID = announced_[0];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    EXPECT_EQ(h.Code, 0x13);
    EXPECT_EQ(h.CommandType, 1);
    EXPECT_EQ(line_->Model(2).beepCount, 1u);
    // Raw data goes out as it stands: here a search frame, answered by the register.
    engine_->RawData = BuildFrame({0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFA});
    ASSERT_EQ(engine_->SendRawData(), 0);
    ASSERT_TRUE(PumpUntil(2, 2000));
    engine_->CommandID = announced_[1];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    EXPECT_EQ(h.Code, 0xFA);
    EXPECT_EQ(h.SrcAddress, 2);
}

TEST_F(EngineEmu, FrameWithBadChecksumIsDroppedAndLogged) {
    TempDir logDir;
    engine_->SetLogFileName(logDir.File("drv.log"));
    engine_->SetLogEnabled(true);
    Bytes frame = BuildFrame({0x01, 0x02, 0x00, 0x00, 0x00, 0x02, 0x80, 0x05});
    frame.back() ^= 0x01;
    line_->SendNoise(frame);
    // Nothing is announced; the frame is gone from the list once the engine's thread has seen it.
    PumpUntil(1, 400);
    EXPECT_TRUE(announced_.empty());
    EXPECT_EQ(engine_->Received().Count(), 0u);
    std::string log;
    tessel::ReadWholeFile(logDir.File("drv.log"), log);
    EXPECT_NE(log.find("Отброшен кадр с ошибкой CRC: 7E 01 02 00 00 00 02 80 05"), std::string::npos) << log;
}

// A burst of register requests written straight onto the line, every one new and in sequence.
TEST(EngineBurst, ThousandRequestsAreDeliveredInOrder) {
    tessel_test::ForgetDriverSettings();
    TempDir counters;
    const tessel_test::Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_GE(master.Get(), 0);
    ASSERT_EQ(::grantpt(master.Get()), 0);
    ASSERT_EQ(::unlockpt(master.Get()), 0);
    const tessel_test::ScopedEnv port(tessel_test::PortVariable(1), ::ptsname(master.Get()));
    std::vector<std::int32_t> announced;
    TEcrDrv engine(TEcrDrv::TOptions{counters.Path(), {}});
    engine.SetFuel(true);
    engine.SetDeviceEnabled(true);
    ASSERT_EQ(engine.ResultCode, 0) << engine.ResultDescription;
    engine.OnCommand = [&announced](TEcrDrv&, std::int32_t id) { announced.push_back(id); };
    constexpr int kCount = 1000;
    Bytes burst;
    for (int i = 0; i < kCount; ++i) {
        // The first repeats the fresh counters (a rollback); each later one is the next in sequence.
        const auto c = static_cast<std::uint8_t>(i);
        const Bytes frame = BuildFrame({0x01, 0x02, 0x00, c, c, 0x03, 0x80, static_cast<std::uint8_t>(i >> 8),
                                        static_cast<std::uint8_t>(i)});
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    std::size_t written = 0;
    while (written < burst.size()) {
        const ssize_t n = ::write(master.Get(), burst.data() + written, burst.size() - written);
        ASSERT_GT(n, 0);
        written += static_cast<std::size_t>(n);
    }
    tessel_test::PumpUntil([&announced] { return announced.size() >= static_cast<std::size_t>(kCount); },
                           10000);
    ASSERT_EQ(announced.size(), static_cast<std::size_t>(kCount));
    EXPECT_TRUE(std::is_sorted(announced.begin(), announced.end()));
    for (int i = 0; i < kCount; i += 111) {
        engine.CommandID = announced[static_cast<std::size_t>(i)];
        ASSERT_EQ(engine.GetCommandParams(), 0);
        EXPECT_TRUE(engine.Holder().ExecuteFlag) << i;
        EXPECT_EQ(engine.Holder().Data,
                  (Bytes{static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}));
    }
}

}  // namespace
