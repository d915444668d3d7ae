#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "driver/base/untError.h"
#include "driver/base/untLogFile.h"
#include "driver/engine/untDevice.h"
#include "engine/MissingPort.h"
#include "support/TempDir.h"

namespace {

// A port without a device behind it.
class FakePort : public ICommPort {
  public:
    ~FakePort() override { Close(); }
    void Open() override { open_ = true; }
    // A frame set to arrive while the port closes is delivered on a thread that the close joins.
    void Close() override {
        if (!input_.empty()) std::thread([this] { rx_(input_.size()); }).join();
        input_.clear();
        open_ = false;
    }
    bool Enabled() const override { return open_; }
    int PortNumber() const override { return port_; }
    void SetPortNumber(int value) override {
        if (value < 1 || value > 32) throw EDriverError(E_INVALIDVALUE);
        port_ = value;
    }
    int BaudIndex() const override { return baud_; }
    void SetBaudIndex(int value) override { baud_ = value; }
    void SetEvents(std::uint32_t) override {}
    void SetRxCharHandler(RxCharHandler handler) override { rx_ = std::move(handler); }
    void Write(const Bytes&) override {}
    Bytes Read(std::size_t count) override { return Bytes(input_.begin(), input_.begin() + count); }
    void PurgeInput() override {}
    void SetDTR(bool) override {}
    void SetRTS(bool) override {}

    void DeliverOnClose(Bytes data) { input_ = std::move(data); }

  private:
    bool open_ = false;
    int port_ = 2;
    int baud_ = 6;
    RxCharHandler rx_;
    Bytes input_;
};

const Bytes kFrame = {0x7E, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x11, 0x26, 0x33};
const std::string kValuesStep = "Ошибка при чтении и установке параметров устройства.";
const std::string kSeparator(60, '-');

using ::testing::ElementsAre;
using Value = std::variant<int, std::string>;
using Values = std::vector<std::pair<std::string, Value>>;

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

int ErrorCodeOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const EDriverError& e) {
        return e.ErrorCode();
    }
    return 0;
}

class DevicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey(TDevices::kDevicesKey);
        log_.SetFileName(dir_.File("drv.log"));
        log_.SetEnabled(true);
    }

    std::unique_ptr<TDevices> Make() {
        return std::make_unique<TDevices>(&log_, [](TLogFile*) { return std::make_unique<FakePort>(); });
    }
    // Loaded, then grown to `count` devices numbered 1..count.
    std::unique_ptr<TDevices> MakeLoaded(int count) {
        auto devices = Make();
        devices->Load();
        while (devices->Count() < count) devices->Add();
        return devices;
    }
    static std::vector<int> Numbers(TDevices& devices) {
        std::vector<int> out;
        for (int i = 0; i < devices.Count(); ++i) out.push_back(devices.Items(i).DeviceNumber());
        return out;
    }
    static void Store(const std::string& key, const Values& values) {
        tessel::Registry reg;
        ASSERT_TRUE(reg.OpenKey(std::string(TDevices::kDevicesKey) + key, true));
        for (const auto& [name, value] : values) {
            if (const int* i = std::get_if<int>(&value)) {
                reg.WriteInteger(name, *i);
            } else {
                reg.WriteString(name, std::get<std::string>(value));
            }
        }
    }
    // The log without its time stamps.
    std::string LogText() const {
        std::string text;
        tessel::ReadWholeFile(dir_.File("drv.log"), text);
        static const std::regex stamp(R"((^|\n)\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} )");
        return std::regex_replace(text, stamp, "$1");
    }

    TempDir dir_;
    TLogFile log_;
};

TEST_F(DevicesTest, FirstRunMakesOneDefaultDevice) {
    auto devices = Make();
    devices->Load();
    ASSERT_EQ(devices->Count(), 1);
    EXPECT_EQ(devices->CurrentIndex(), 0);
    const TDevice& d = devices->Current();
    EXPECT_EQ(d.DeviceNumber(), 1);
    EXPECT_EQ(d.DeviceName(), "Без названия");
    EXPECT_EQ(std::make_tuple(d.PortNumber(), d.BaudRate(), d.DstAddress(), d.Fuel(), d.DeviceEnabled()),
              std::make_tuple(1, 3, 2, false, false));
    EXPECT_EQ(LogText(), "");
}

// A script of list operations on devices 1..count: 'A' add, 'D' delete, 'N' select by number, 'I' select by
// index. The script stops at the first failure, whose code is expected.
struct ListCase {
    int count;
    std::vector<std::pair<char, int>> script;
    int code;
    int current;
    std::vector<int> numbers;  // empty: numbers 1..count
};
class ListTest : public DevicesTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListTest, Script) {
    const ListCase& c = GetParam();
    auto devices = MakeLoaded(c.count);
    devices->SelectByIndex(0);
    const int code = ErrorCodeOf([&] {
        for (const auto& [op, arg] : c.script) {
            if (op == 'A') devices->Add();
            if (op == 'D') devices->Delete();
            if (op == 'N') devices->SelectByNumber(arg);
            if (op == 'I') devices->SelectByIndex(arg);
        }
    });
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(devices->CurrentNumber(), c.current);
    std::vector<int> numbers = c.numbers;
    if (numbers.empty()) {
        for (int n = 1; n <= c.count; ++n) numbers.push_back(n);
    }
    EXPECT_EQ(Numbers(*devices), numbers);
}
INSTANTIATE_TEST_SUITE_P(
    Devices, ListTest,
    ::testing::Values(
        // Delete: the next in number order becomes current, or the new last one.
        ListCase{3, {{'N', 2}, {'D', 0}}, 0, 3, {1, 3}}, ListCase{3, {{'N', 3}, {'D', 0}}, 0, 2, {1, 2}},
        ListCase{3, {{'D', 0}}, 0, 2, {2, 3}}, ListCase{2, {{'D', 0}, {'D', 0}}, E_DELETEDEVICE, 2, {2}},
        // Add: the smallest free number, made current; never a hundredth device.
        ListCase{4, {{'N', 2}, {'D', 0}, {'A', 0}}, 0, 2, {}},
        ListCase{4, {{'D', 0}, {'N', 3}, {'D', 0}, {'A', 0}}, 0, 1, {1, 2, 4}},
        ListCase{4, {{'A', 0}}, 0, 5, {1, 2, 3, 4, 5}}, ListCase{99, {{'A', 0}}, E_ADDDEVICE, 1, {}},
        // Selection: the range first, then presence.
        ListCase{3, {{'I', -1}}, E_INVALIDVALUE, 1, {}}, ListCase{3, {{'I', 99}}, E_INVALIDVALUE, 1, {}},
        ListCase{3, {{'I', 98}}, E_LDNOTFOUND, 1, {}}, ListCase{3, {{'I', 3}}, E_LDNOTFOUND, 1, {}},
        ListCase{3, {{'I', 2}}, 0, 3, {}}, ListCase{3, {{'N', 0}}, E_INVALIDVALUE, 1, {}},
        ListCase{3, {{'N', 100}}, E_INVALIDVALUE, 1, {}}, ListCase{3, {{'N', 4}}, E_LDNOTFOUND, 1, {}},
        ListCase{3, {{'N', 99}}, E_LDNOTFOUND, 1, {}}, ListCase{3, {{'N', 3}}, 0, 3, {}}));

struct NameCase {
    std::string name;
    bool accepted;
};
class NameTest : public DevicesTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameTest, TwentyCharactersAtMost) {
    auto devices = MakeLoaded(1);
    EXPECT_EQ(ErrorCodeOf([&] { devices->SetCurrentName(GetParam().name); }),
              GetParam().accepted ? 0 : E_INVALIDVALUE);
    EXPECT_EQ(devices->CurrentName(), GetParam().accepted ? GetParam().name : "Без названия");
    EXPECT_NO_THROW(devices->SetCurrentName(devices->CurrentName()));
}
INSTANTIATE_TEST_SUITE_P(Devices, NameTest,
                         ::testing::Values(NameCase{std::string(20, 'a'), true},
                                           NameCase{std::string(21, 'a'), false},
                                           NameCase{Repeat("Ж", 20), true}, NameCase{Repeat("Ж", 21), false},
                                           NameCase{Repeat("Ж", 19) + "ab", false}, NameCase{"", true}));

TEST_F(DevicesTest, TenStoredDevicesSelectTheStoredCurrent) {
    for (int n = 1; n <= 10; ++n) Store("\\Device" + std::to_string(n), {{"DeviceNumber", n}});
    Store("", {{"DeviceNumber", 2}});
    auto devices = Make();
    devices->Load();
    EXPECT_THAT(Numbers(*devices), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
    EXPECT_EQ(devices->CurrentIndex(), 1);
}

TEST_F(DevicesTest, KeyWithoutNumberLoadsAsZeroFirstAndSurvivesSaving) {
    Store("\\Device5", {{"DeviceNumber", 5}});
    Store("\\Spare", {{"DeviceName", "Запасная"}, {"PortNumber", 7}});
    Store("", {{"DeviceNumber", 7}});  // no such device: the first stays current
    for (int round = 0; round < 2; ++round) {
        auto devices = Make();
        devices->Load();
        ASSERT_THAT(Numbers(*devices), ElementsAre(0, 5));
        EXPECT_EQ(devices->CurrentIndex(), 0);
        EXPECT_EQ(devices->Current().PortNumber(), 7);
        devices->Save();
    }
    EXPECT_EQ(LogText(), "");
}

TEST_F(DevicesTest, FailedLoadStillLeavesASortedList) {
    Store("\\Device3", {{"DeviceNumber", 3}});
    Store("\\Device1", {{"DeviceNumber", 1}});
    Store("", {{"DeviceNumber", "x"}});
    auto devices = Make();
    EXPECT_THROW(devices->Load(), tessel::RegistryError);
    EXPECT_THAT(Numbers(*devices), ElementsAre(1, 3));
    EXPECT_EQ(devices->CurrentIndex(), 0);
}

// One stored device with one value replaced; its port 6 leads to a missing device.
struct BadValueCase {
    std::string name;
    Value value;
    std::string step;
    std::string message;  // empty: the store's own text
    int dstAddress;       // 9 when it was read
    bool portFailed = false;
};

class BadValueTest : public DevicesTest, public ::testing::WithParamInterface<BadValueCase> {};

TEST_P(BadValueTest, IsLoggedAndTheDeviceStaysClosed) {
    const BadValueCase& c = GetParam();
    Values values = {{"DeviceName", "Касса"}, {"DeviceNumber", 4}, {"Fuel", 1},         {"BaudRate", 5},
                     {"PortNumber", 6},       {"DstAddress", 9},   {"DeviceEnabled", 1}};
    for (auto& [name, value] : values) {
        if (name == c.name) value = c.value;
    }
    Store("\\Device4", values);
    LeadPortNowhere(6);
    TDevices devices(&log_);  // the real serial port
    devices.Load();
    ASSERT_EQ(devices.Count(), 1);
    EXPECT_EQ(devices.Current().DstAddress(), c.dstAddress);
    EXPECT_FALSE(devices.Current().DeviceEnabled());
    // A port that does not open has its own entry first.
    const std::string portEntry =
        c.portFailed ? "Ошибка при открытии порта COM6.\r\n" + c.message + "\r\n" + kSeparator + "\r\n" : "";
    const std::string head = portEntry + "Инициализация логических устройств.\r\n" + c.step + "\r\n";
    if (c.message.empty()) {
        EXPECT_THAT(LogText(), ::testing::StartsWith(head));
        EXPECT_THAT(LogText(), ::testing::EndsWith("\r\n" + kSeparator + "\r\n"));
    } else {
        EXPECT_EQ(LogText(), head + c.message + "\r\n" + kSeparator + "\r\n");
    }
}
INSTANTIATE_TEST_SUITE_P(
    Devices, BadValueTest,
    ::testing::Values(BadValueCase{"DeviceName", Repeat("Ж", 21), kValuesStep, "Недопустимое значение", 2},
                      BadValueCase{"DeviceNumber", 0, kValuesStep, "Недопустимое значение", 2},
                      BadValueCase{"DeviceNumber", 100, kValuesStep, "Недопустимое значение", 2},
                      BadValueCase{"DeviceNumber", "4", kValuesStep, "", 2},
                      BadValueCase{"Fuel", "yes", kValuesStep, "", 2},
                      BadValueCase{"BaudRate", 9, kValuesStep,
                                   "Недопустимое значение свойства 'Скорость порта' (9).\r\n"
                                   "Значения свойства должны находиться в диапазоне 1..8.",
                                   2},
                      BadValueCase{"PortNumber", 33, kValuesStep, "Недопустимое значение", 2},
                      BadValueCase{"", 0, "Ошибка при установке свойства DeviceEnabled.",
                                   MissingPortMessage(6), 9, true}));

TEST_F(DevicesTest, SaveAndLoadRoundTrip) {
    Store("\\Device50", {{"DeviceNumber", 50}});
    auto devices = MakeLoaded(5);  // 50 and 1..4
    for (int n : {50, 2}) {
        devices->SelectByNumber(n);
        devices->Delete();
    }
    const auto configure = [](TDevice& d, int i) {
        d.SetDeviceName("Касса " + std::to_string(i));
        d.SetFuel(i == 1);
        d.SetBaudRate(i + 4);
        d.SetPortNumber(i + 10);
        d.SetDstAddress(static_cast<std::uint8_t>(200 + i));
        d.SetDeviceEnabled(i == 2);
    };
    for (int i = 0; i < devices->Count(); ++i) configure(devices->Items(i), i);
    devices->SelectByNumber(3);
    devices->Save();

    tessel::Registry reg;
    ASSERT_TRUE(reg.OpenKey(TDevices::kDevicesKey, false));
    EXPECT_THAT(reg.GetKeyNames(), ElementsAre("Device1", "Device3", "Device4"));
    auto loaded = Make();
    loaded->Load();
    ASSERT_THAT(Numbers(*loaded), ElementsAre(1, 3, 4));
    EXPECT_EQ(loaded->CurrentNumber(), 3);
    for (int i = 0; i < loaded->Count(); ++i) {
        const TDevice& d = loaded->Items(i);
        TDevice expected(*loaded, std::make_unique<FakePort>(), nullptr);
        configure(expected, i);
        EXPECT_EQ(std::make_tuple(d.DeviceName(), d.Fuel(), d.BaudRate(), d.PortNumber(), d.DstAddress(),
                                  d.DeviceEnabled()),
                  std::make_tuple(expected.DeviceName(), expected.Fuel(), expected.BaudRate(),
                                  expected.PortNumber(), expected.DstAddress(), expected.DeviceEnabled()));
    }
    EXPECT_EQ(LogText(), "");
}

// Destroying a device whose port thread is delivering a frame: that thread needs the list's lock, and the
// destroyer joins it. The handler must get the whole device and the frame, and may not change the list.
class DestroyWhileDeliveringTest
    : public DevicesTest,
      public ::testing::WithParamInterface<void (*)(std::unique_ptr<TDevices>&)> {};

TEST_P(DestroyWhileDeliveringTest, HandlerSeesTheWholeDevice) {
    auto devices = MakeLoaded(2);
    devices->SetCurrentName("Касса на удаление");
    std::vector<std::string> seen;
    devices->SetFrameHandler([&](TDevice& device, const TEcrFrame& frame) {
        seen.push_back(device.DeviceName());
        EXPECT_EQ(frame.Data(), kFrame);
        EXPECT_THROW(device.Owner().Add(), std::logic_error);
    });
    dynamic_cast<FakePort&>(devices->Current().Port()).DeliverOnClose(kFrame);
    GetParam()(devices);
    EXPECT_THAT(seen, ElementsAre("Касса на удаление"));
}
INSTANTIATE_TEST_SUITE_P(Devices, DestroyWhileDeliveringTest,
                         ::testing::Values([](std::unique_ptr<TDevices>& d) { d->Delete(); },
                                           [](std::unique_ptr<TDevices>& d) { d->Load(); },
                                           [](std::unique_ptr<TDevices>& d) { d.reset(); }));

}  // namespace
