// Hosts that are no Qt programs: the dialogs module makes the application object itself, refuses a call
// from another thread than the one it lives on, and refuses without a display instead of ending the host.
// This program makes no application object of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <map>
#include <thread>

#include "common/platform/MessageQueue.h"
#include "common/qt/QtBootstrap.h"
#include "support/ChildProcess.h"
#include "support/DialogFixture.h"

namespace tessel_test {
namespace {

// ---- the choice of a platform, without a display ----

struct PlatformCase {
    std::map<std::string, std::string> env;
    std::vector<std::string> working;  // platforms whose plugin loads and whose display answers
    const char* chosen;                // nullptr: refused
    const char* reason;                // part of the refusal's text
};

void PrintTo(const PlatformCase& c, std::ostream* os) {
    for (const auto& [name, value] : c.env) *os << name << '=' << value << ' ';
    *os << "-> " << (c.chosen != nullptr ? c.chosen : "refused");
}

class ChoosePlatformTest : public ::testing::TestWithParam<PlatformCase> {};

TEST_P(ChoosePlatformTest, TakesTheFirstPlatformThatServesOrSaysWhyNone) {
    const PlatformCase& c = GetParam();
    tessel::qt::TPlatformProbe probe;
    probe.env = [&](const char* name) -> std::optional<std::string> {
        const auto it = c.env.find(name);
        return it == c.env.end() ? std::nullopt : std::optional(it->second);
    };
    const auto works = [&](const std::string& platform) {
        return std::find(c.working.begin(), c.working.end(), platform.substr(0, platform.find(':'))) !=
               c.working.end();
    };
    probe.pluginLoads = [&](const std::string& p, std::string& why) {
        why = "нет модуля " + p;
        return works(p) || p == "xcb";
    };
    probe.displayReachable = [&](const std::string& p, std::string& why) {
        why = "нет дисплея " + p;
        return works(p);
    };
    if (c.chosen != nullptr) {
        EXPECT_EQ(tessel::qt::ChoosePlatform(probe), c.chosen);
        return;
    }
    try {
        tessel::qt::ChoosePlatform(probe);
        ADD_FAILURE() << "no refusal";
    } catch (const tessel::qt::EQtUnavailable& e) {
        EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChoosePlatformTest,
    ::testing::Values(
        PlatformCase{{},
                     {"xcb"},
                     nullptr,
                     "не заданы переменные окружения DISPLAY, WAYLAND_DISPLAY и QT_QPA_PLATFORM"},
        PlatformCase{{{"DISPLAY", ":0"}}, {"xcb"}, "xcb", ""},
        PlatformCase{{{"DISPLAY", ":0"}}, {}, nullptr, "нет дисплея xcb"},
        PlatformCase{{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, {"wayland"}, "wayland", ""},
        PlatformCase{{{"WAYLAND_DISPLAY", "wayland-0"}}, {}, nullptr, "нет модуля wayland"},
        PlatformCase{{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, {"xcb"}, "xcb", ""},
        PlatformCase{{{"QT_QPA_PLATFORM", "offscreen:fontengine=freetype"}},
                     {"offscreen"},
                     "offscreen:fontengine=freetype",
                     ""},
        PlatformCase{
            {{"QT_QPA_PLATFORM", "eglfs"}, {"DISPLAY", ":0"}}, {"xcb"}, nullptr, "нет модуля eglfs"}));

// ---- the module in a host without an application object ----

class HostTest : public DialogTest {
  protected:
    // Closes the modal window as soon as one is open, from the thread's message queue: the only way in, for
    // a host that has no event loop of its own.
    void CloseWhenOpen() {
        closer_ =
            std::make_unique<tessel::MessageWindow>([this](std::uint32_t, std::uintptr_t, std::intptr_t) {
                if (QWidget* open = QApplication::activeModalWidget())
                    open->close();
                else
                    closer_->Post(1, 0, 0);
            });
        closer_->Post(1, 0, 0);
    }

    ScopedEnv offscreen_{"QT_QPA_PLATFORM", "offscreen"};
    std::unique_ptr<tessel::MessageWindow> closer_;
};

TEST_F(HostTest, ModuleMakesTheApplicationObjectOnTheCallingThreadAndKeepsIt) {
    for (int call = 0; call < 2; ++call) {
        CloseWhenOpen();
        EXPECT_EQ(Driver().Call("ShowStatusDlg"), 0) << Driver().GetString("ResultDescription");
        ASSERT_NE(QCoreApplication::instance(), nullptr);
        EXPECT_EQ(QCoreApplication::instance()->thread(), QThread::currentThread());
        EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
    }
    // Qt's own buttons and file dialogs speak the dialogs' language.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("Отмена"));
}

TEST_F(HostTest, CallFromAnotherThreadIsRefusedWithAText) {
    CloseWhenOpen();
    ASSERT_EQ(Driver().Call("ShowLogDlg"), 0);  // the application object now lives on this thread
    LONG code = 0;
    std::string text;
    std::thread other([&] {
        HRESULT hr = E_FAIL;
        const LateBound there(CreateByProgId(hr));
        code = there.Call("ShowServiceDlg");
        text = there.GetString("ResultDescription");
    });
    other.join();
    EXPECT_EQ(code, -199);
    EXPECT_NE(text.find("другого потока"), std::string::npos) << text;
}

// ---- a host without a display: the command-line client ----

struct NoDisplayCase {
    Env env;
    const char* text;
};

void PrintTo(const NoDisplayCase& c, std::ostream* os) {
    for (const auto& [name, value] : c.env) *os << name << "='" << value << "' ";
}

class NoDisplayTest : public ::testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplayTest, ClientGetsMinus199AndGoesOn) {
    const RegisteredCopy installed;
    Env env = installed.Settings();
    for (const auto& [name, value] : GetParam().env) env[name] = value;
    const RunResult r = RunProgram(TESSEL_CLI, {"--keep-going", "call", "ShowStatusDlg", "get", "Version"},
                                   env, ChildErrors::WithOutput);
    EXPECT_EQ(r.status, 1) << r.out;  // a method failed; the client was not ended by Qt and went on
    EXPECT_NE(r.out.find(std::string("(-199) ") + GetParam().text), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Version = "), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoDisplayTest,
    ::testing::Values(NoDisplayCase{{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}},
                                    "Нет дисплея для окон драйвера: не заданы переменные окружения"},
                      NoDisplayCase{{{"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}},
                                    "Нет дисплея для окон драйвера: X-дисплей «:97» недоступен"},
                      NoDisplayCase{
                          {{"QT_QPA_PLATFORM", "nosuchplatform"}},
                          "Нет дисплея для окон драйвера: модуль платформы Qt «nosuchplatform» не найден"}));

}  // namespace
}  // namespace tessel_test
