// The property frame and page, opened by ShowProperties and driven with the mouse and keyboard.
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>

#include "common/com/AddIn1C.h"
#include "common/com/PropertyPage.h"
#include "support/ComSinks.h"
#include "support/DialogFixture.h"
#include "support/ForwardingDriver.h"

namespace tessel_test {
namespace {

class PropertyPageTest : public DialogTest {
  protected:
    explicit PropertyPageTest(std::uint32_t baud = 0) : DialogTest(baud) {}

    // Opens the frame, runs `onPage` with the frame and its page, then closes the frame with `close`.
    void WithPage(const std::function<void(QWidget& frame, QWidget& page)>& onPage,
                  const char* close = "btnCancel") {
        ModalScript script;
        script.Then([&](QWidget& frame) {
            onPage(frame, Child(frame, "TfmPage"));
            Click(frame, close);
        });
        EXPECT_EQ(Driver().Call("ShowProperties"), 0);
    }
    static QString ResultLine(QWidget& page) { return Child<QLineEdit>(page, "edtResult").text(); }
};

TEST_F(PropertyPageTest, FrameShowsThePageAtItsSizeWhileIsShowPropertiesHolds) {
    bool showing = false;
    WithPage([&](QWidget& frame, QWidget& page) {
        showing = Driver().GetBool("IsShowProperties");
        EXPECT_EQ(frame.windowTitle(), "Свойства");
        EXPECT_EQ(Child<QTabWidget>(frame, "tabPages").tabText(0), "Драйвер ККМ");
        const QWidget& connect = Child(page, "btnConnect");
        const QWidget& result = Child(page, "edtResult");
        EXPECT_EQ(page.width(), connect.x() + connect.width() + 16);
        EXPECT_EQ(page.height(), result.y() + result.height() + 33);
        EXPECT_EQ(Child<QLabel>(page, "lblVersion").text().toStdString(),
                  "Версия: " + Driver().GetString("Version"));
        EXPECT_EQ(Child<QComboBox>(page, "cbPortNumber").currentText(), "COM 1");
        EXPECT_FALSE(Child<QPushButton>(frame, "btnApply").isEnabled());
    });
    EXPECT_TRUE(showing);
    EXPECT_FALSE(Driver().GetBool("IsShowProperties"));
    EXPECT_EQ(Driver().GetLong("ResultCode"), 0);
}

struct DeviceListCase {
    int devices;
    bool lockDevices;
    bool listEnabled;
    bool editEnabled;
};

void PrintTo(const DeviceListCase& c, std::ostream* os) {
    *os << c.devices << " devices" << (c.lockDevices ? ", locked" : "");
}

class DeviceListTest : public PropertyPageTest, public ::testing::WithParamInterface<DeviceListCase> {};

TEST_P(DeviceListTest, ListAndEditButtonFollowTheDeviceCountAndLockDevices) {
    const DeviceListCase c = GetParam();
    for (int i = 1; i < c.devices; ++i) ASSERT_EQ(Driver().Call("AddLD"), 0);
    Driver().PutBool("LockDevices", c.lockDevices);
    WithPage([&](QWidget&, QWidget& page) {
        const auto& list = Child<QComboBox>(page, "cbDevice");
        EXPECT_EQ(list.count(), c.devices);
        EXPECT_EQ(list.isEnabled(), c.listEnabled);
        EXPECT_EQ(Child(page, "btnDevice").isEnabled(), c.editEnabled);
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceListTest,
                         ::testing::Values(DeviceListCase{1, false, false, true},
                                           DeviceListCase{2, false, true, true},
                                           DeviceListCase{2, true, false, false}));

struct LinkCase {
    bool enabledBefore;
    bool registerAnswers;
    const char* resultStart;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << (c.enabledBefore ? "open" : "closed") << " port, register "
        << (c.registerAnswers ? "answers" : "silent");
}

class LinkTest : public PropertyPageTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkTest, LinkTestShowsTheRegisterOrTheErrorAndKeepsDeviceEnabled) {
    const LinkCase c = GetParam();
    Driver().PutBool("DeviceEnabled", c.enabledBefore);
    Driver().PutLong("RepCount", 1);
    if (!c.registerAnswers) line_->DropAnswer(line_->AnswerCount() + 1);
    QString result;
    WithPage([&](QWidget&, QWidget& page) {
        Click(page, "btnConnect");
        result = ResultLine(page);
        EXPECT_EQ(Child<QCheckBox>(page, "chbDeviceEnabled").isChecked(), c.enabledBefore);
    });
    EXPECT_TRUE(result.startsWith(QString::fromUtf8(c.resultStart))) << result.toStdString();
    EXPECT_EQ(Driver().GetBool("DeviceEnabled"), c.enabledBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinkTest,
                         ::testing::Values(LinkCase{false, true, "Название ККМ: Эмулятор ККМ"},
                                           LinkCase{true, true, "Название ККМ: Эмулятор ККМ"},
                                           LinkCase{false, false, "(-1) "}, LinkCase{true, false, "(-1) "}));

struct CloseCase {
    const char* press;  // before closing; empty for none
    const char* close;
    LONG timeoutAfter;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.press << (*c.press != '\0' ? " then " : "") << c.close;
}

class CloseTest : public PropertyPageTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, TypedValuesAreWrittenByOkAndApplyOnly) {
    const CloseCase c = GetParam();
    bool dirty = false, cleanAfterPress = false;
    WithPage(
        [&](QWidget& frame, QWidget& page) {
            auto& timeout = Child<QSpinBox>(page, "edtTimeout");
            timeout.setFocus();
            timeout.selectAll();
            TypeText(timeout, "1234");
            dirty = Child<QPushButton>(frame, "btnApply").isEnabled();
            if (*c.press != '\0') {
                Click(frame, c.press);
                cleanAfterPress = !Child<QPushButton>(frame, "btnApply").isEnabled();
            }
        },
        c.close);
    EXPECT_TRUE(dirty);
    if (*c.press != '\0') {
        EXPECT_TRUE(cleanAfterPress);
    }
    EXPECT_EQ(Driver().GetLong("Timeout"), c.timeoutAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseTest,
                         ::testing::Values(CloseCase{"", "btnOK", 1234},
                                           CloseCase{"btnApply", "btnCancel", 1234},
                                           CloseCase{"", "btnCancel", 500}));

TEST_F(PropertyPageTest, ChoosingAnotherDeviceWritesThePageToTheDeviceLeft) {
    ASSERT_EQ(Driver().Call("AddLD"), 0);  // device 2, now current
    Driver().PutLong("PortNumber", 7);
    Driver().PutLong("LDIndex", 0);
    WithPage([&](QWidget&, QWidget& page) {
        auto& port = Child<QComboBox>(page, "cbPortNumber");
        port.setFocus();
        QTest::keyClick(&port, Qt::Key_Down);  // COM 1 -> COM 2, as the user picks it
        auto& list = Child<QComboBox>(page, "cbDevice");
        list.setFocus();
        QTest::keyClick(&list, Qt::Key_Down);
        EXPECT_EQ(port.currentText(), "COM 7");
    });
    EXPECT_EQ(Driver().GetLong("LDIndex"), 1);
    Driver().PutLong("LDIndex", 0);
    EXPECT_EQ(Driver().GetLong("PortNumber"), 2);
}

TEST_F(PropertyPageTest, DefaultsAreLoadedBackIntoThePage) {
    Driver().PutLong("Timeout", 4000);
    WithPage([&](QWidget&, QWidget& page) {
        Click(page, "btnDefaults");
        EXPECT_EQ(Child<QSpinBox>(page, "edtTimeout").value(), 1000);
        EXPECT_EQ(Child<QComboBox>(page, "cbBaudRate").currentText(), "4800");
    });
    EXPECT_EQ(Driver().GetLong("Timeout"), 1000);
}

TEST_F(PropertyPageTest, ButtonsOpenTheOtherDialogsOverTheFrame) {
    Driver().PutLong("ParentWnd", 77);
    QString tables, search, service;
    QStringList owners;
    const auto ownerOf = [](const QWidget& dialog) {
        return dialog.parentWidget() != nullptr ? dialog.parentWidget()->window()->windowTitle() : QString();
    };
    ModalScript script;
    // The tables dialog reads the register's table list first, in a window that closes by itself.
    script.Skip([](const QWidget& w) { return w.objectName() == "TfmProgress"; })
        .Then([&](QWidget& frame) {
            QWidget& page = Child(frame, "TfmPage");
            Click(page, "btnTables");  // each next step closes the dialog the button opened
            tables = ResultLine(page);
            Click(page, "btnSearch");
            search = ResultLine(page);
            Click(page, "btnService");
            service = ResultLine(page);
            Click(frame, "btnCancel");
        })
        .Then([&](QWidget& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Таблицы");
            owners << ownerOf(dialog);
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Поиск ККМ");
            owners << ownerOf(dialog);
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Управление ККМ");
            owners << ownerOf(dialog);
            Click(dialog, "btnClose");
        });
    EXPECT_EQ(Driver().Call("ShowProperties"), 0);
    EXPECT_EQ(tables, "(0) Ошибок нет");
    EXPECT_EQ(search, "");
    EXPECT_EQ(service, "(0) Ошибок нет");
    EXPECT_EQ(owners, QStringList({"Свойства", "Свойства", "Свойства"}));
    EXPECT_EQ(Driver().GetLong("ParentWnd"), 77);
}

TEST_F(PropertyPageTest, SetBaudRateAsksTheRegisterAndKeepsTheChosenSpeed) {
    Driver().PutBool("DeviceEnabled", false);
    WithPage([&](QWidget&, QWidget& page) {
        auto& speed = Child<QComboBox>(page, "cbBaudRate");
        speed.setFocus();
        QTest::keyClick(&speed, Qt::Key_Down);  // 4800 -> 9600
        Click(page, "btnSetBaudRate");
        EXPECT_EQ(ResultLine(page), "(0) Ошибок нет");
    });
    EXPECT_EQ(Driver().GetLong("BaudRate"), 4);
    EXPECT_FALSE(Driver().GetBool("DeviceEnabled"));
    EXPECT_EQ(line_->Model(2).ports[0].speedCode, 4);
}

// A register at 4800 baud alone, as a real one answers. Failures on the page stay in its result line and lose
// nothing: a search and an about box that cannot be shown, and a move to another speed that the register
// refuses, which leaves the driver and the page at 4800, so that the link test still reaches the register.
class PageFailureTest : public PropertyPageTest {
  protected:
    PageFailureTest() : PropertyPageTest(4800) {}
};

TEST_F(PageFailureTest, FailuresStayInTheResultLineAndTheLinkIsKept) {
    Driver().PutBool("DeviceEnabled", false);
    ForwardingDriver driver(early_);
    driver.FailMethod(TesselDispId::ShowSearchDlg, -199, "Нет дисплея для окон драйвера");
    driver.FailMethod(TesselDispId::AboutBox, -199, "Нет дисплея для окон драйвера");
    driver.FailMethod(TesselDispId::SetExchangeParam, 1, "Некорректные параметры команды");
    QStringList lines;
    QString speed;
    ModalScript script;
    script.Then([&](QWidget& frame) {
        QWidget& page = Child(frame, "TfmPage");
        auto& box = Child<QComboBox>(page, "cbBaudRate");
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_Down);  // 4800 -> 9600
        for (const char* button : {"btnSetBaudRate", "btnConnect", "btnSearch", "btnAbout"}) {
            Click(page, button);
            lines << ResultLine(page);
            if (speed.isEmpty()) speed = box.currentText();
        }
        Click(frame, "btnOK");
    });
    EXPECT_EQ(ModuleFrame(static_cast<ITesselDriver*>(&driver)), 1);
    EXPECT_EQ(lines,
              QStringList({"(1) Некорректные параметры команды", "Название ККМ: Эмулятор ККМ",
                           "(-199) Нет дисплея для окон драйвера", "(-199) Нет дисплея для окон драйвера"}));
    EXPECT_EQ(speed, "4800");
    EXPECT_EQ(Driver().GetLong("BaudRate"), 3);
}

struct CentreCase {
    bool client1C;
    bool centred;
};

void PrintTo(const CentreCase& c, std::ostream* os) {
    *os << (c.client1C ? "1C host" : "other host");
}

class CentreTest : public PropertyPageTest, public ::testing::WithParamInterface<CentreCase> {};

TEST_P(CentreTest, FrameIsCentredForA1CHostOnly) {
    tessel::ComPtr<IInitDone> init;
    HostSink host;
    if (GetParam().client1C) {
        ASSERT_EQ(object_->QueryInterface(IID_IInitDone, init.PutVoid()), S_OK);
        ASSERT_EQ(init->Init(static_cast<IDispatch*>(&host)), S_OK);
    }
    QPoint at, centred;
    WithPage([&](QWidget& frame, QWidget&) {
        at = frame.pos();
        centred = frame.screen()->availableGeometry().center() - frame.rect().center();
    });
    EXPECT_EQ(at, GetParam().centred ? centred : QPoint(16, 16));
    if (init) init->Done();
}

INSTANTIATE_TEST_SUITE_P(Cases, CentreTest,
                         ::testing::Values(CentreCase{false, false}, CentreCase{true, true}));

TEST_F(PropertyPageTest, PageClassIsServedByTheRegisteredServer) {
    tessel::ComPtr<IPropertyPage> page;
    constexpr CLSID kPageClass = {
        0xF9B8E223, 0x0785, 0x4F4E, {0x8C, 0x9F, 0xDD, 0x4E, 0x08, 0xD4, 0x2C, 0xD1}};
    ASSERT_EQ(CoCreateInstance(kPageClass, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, page.PutVoid()),
              S_OK);
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(QString::fromUtf16(info.pszTitle), "Драйвер ККМ");
    EXPECT_GT(info.size.cx, 0);
    CoTaskMemFree(info.pszTitle);
    IUnknown* objects[] = {object_.Get()};
    EXPECT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
}

}  // namespace
}  // namespace tessel_test
