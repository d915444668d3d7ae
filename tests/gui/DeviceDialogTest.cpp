// The logical-device dialog, opened from the property page's "..." button.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "support/DialogFixture.h"

namespace tessel_test {
namespace {

class DeviceDialogTest : public DialogTest {
  protected:
    // Opens the frame, then the device dialog from its page; runs `onDialog` there, which closes it. The
    // page's device list as it stands afterwards goes to `pageList`.
    void WithDevices(const std::function<void(QWidget& dialog)>& onDialog, QStringList* pageList = nullptr) {
        ModalScript script;
        script
            .Then([&](QWidget& frame) {
                QWidget& page = Child(frame, "TfmPage");
                Click(page, "btnDevice");
                if (pageList != nullptr) {
                    const auto& list = Child<QComboBox>(page, "cbDevice");
                    for (int i = 0; i < list.count(); ++i) *pageList << list.itemText(i);
                }
                Click(frame, "btnCancel");
            })
            .Then([&](QWidget& dialog) {
                EXPECT_EQ(dialog.windowTitle(), "Логические устройства");
                onDialog(dialog);
                if (dialog.isVisible()) Click(dialog, "btnClose");
            });
        EXPECT_EQ(Driver().Call("ShowProperties"), 0);
    }
    static QStringList Entries(QWidget& dialog) {
        QStringList entries;
        const auto& list = Child<QListWidget>(dialog, "lbDevice");
        for (int i = 0; i < list.count(); ++i) entries << list.item(i)->text();
        return entries;
    }
    void AddDevices(int count) {
        for (int i = 0; i < count; ++i) ASSERT_EQ(Driver().Call("AddLD"), 0);
    }
};

struct CountCase {
    int devices;
    bool addEnabled;
    bool deleteEnabled;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.devices << " devices";
}

class DeviceCountTest : public DeviceDialogTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(DeviceCountTest, AddAndDeleteFollowTheDeviceCount) {
    AddDevices(GetParam().devices - 1);
    WithDevices([&](QWidget& dialog) {
        EXPECT_EQ(Entries(dialog).size(), GetParam().devices);
        EXPECT_EQ(Child(dialog, "btnAdd").isEnabled(), GetParam().addEnabled);
        EXPECT_EQ(Child(dialog, "btnDelete").isEnabled(), GetParam().deleteEnabled);
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceCountTest,
                         ::testing::Values(CountCase{1, true, false}, CountCase{2, true, true},
                                           CountCase{99, false, true}));

TEST_F(DeviceDialogTest, NumbersFromTenHaveNoBlankAfterTheSign) {
    AddDevices(9);
    WithDevices([&](QWidget& dialog) {
        const QStringList entries = Entries(dialog);
        ASSERT_EQ(entries.size(), 10);
        EXPECT_TRUE(entries[8].startsWith("№ 9 ")) << entries[8].toStdString();
        EXPECT_TRUE(entries[9].startsWith("№10 ")) << entries[9].toStdString();
    });
}

TEST_F(DeviceDialogTest, AddingAndDeletingByKeysIsReportedToThePage) {
    QStringList pageList;
    WithDevices(
        [&](QWidget& dialog) {
            auto& list = Child<QListWidget>(dialog, "lbDevice");
            list.setFocus();
            QTest::keyClick(&list, Qt::Key_Insert);
            QTest::keyClick(&list, Qt::Key_Insert);
            EXPECT_EQ(Entries(dialog).size(), 3);
            EXPECT_EQ(list.currentRow(), 2);  // the new device is the current one
            QTest::keyClick(&list, Qt::Key_Delete);
            EXPECT_EQ(Entries(dialog).size(), 2);
        },
        &pageList);
    EXPECT_EQ(pageList.size(), 2);
    EXPECT_EQ(Driver().GetLong("LDCount"), 2);
}

TEST_F(DeviceDialogTest, TypingRenamesAtOnceWithinTwentyCharacters) {
    AddDevices(1);
    WithDevices([&](QWidget& dialog) {
        auto& list = Child<QListWidget>(dialog, "lbDevice");
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(0)).center());
        auto& name = Child<QLineEdit>(dialog, "edtDeviceName");
        name.setFocus();
        name.selectAll();
        TypeText(name, "Касса у входа, левая сторона");
        EXPECT_EQ(Driver().GetString("LDName"), "Касса у входа, левая");
        EXPECT_EQ(list.item(0)->text(), "№ 1 Касса у входа, левая");
        EXPECT_EQ(list.item(1)->text().left(4), "№ 2 ");
        QTest::keyClick(&name, Qt::Key_Escape);  // puts back the driver's name, does not close
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(name.text(), "Касса у входа, левая");
    });
    Driver().PutLong("LDIndex", 0);
    EXPECT_EQ(Driver().GetString("LDName"), "Касса у входа, левая");
}

struct CloseKeyCase {
    bool doubleClick;  // else Enter in the list
    bool accepted;
};

void PrintTo(const CloseKeyCase& c, std::ostream* os) {
    *os << (c.doubleClick ? "double click" : "Enter");
}

class DeviceCloseTest : public DeviceDialogTest, public ::testing::WithParamInterface<CloseKeyCase> {};

TEST_P(DeviceCloseTest, DoubleClickIsOkAndEnterInTheListIsCancel) {
    int result = -1;
    WithDevices([&](QWidget& dialog) {
        auto& list = Child<QListWidget>(dialog, "lbDevice");
        QObject::connect(static_cast<QDialog*>(&dialog), &QDialog::finished, [&](int r) { result = r; });
        list.setFocus();
        if (GetParam().doubleClick) {
            // A double click: a click, then the second press that the system reports as the double click.
            const QPoint at = list.visualItemRect(list.item(0)).center();
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        } else {
            QTest::keyClick(&list, Qt::Key_Return);
        }
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(result, GetParam().accepted ? QDialog::Accepted : QDialog::Rejected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceCloseTest,
                         ::testing::Values(CloseKeyCase{true, true}, CloseKeyCase{false, false}));

class DeviceChoiceTest : public DeviceDialogTest, public ::testing::WithParamInterface<bool> {};

// A row clicked in the dialog, which then closes by its button or by a double click on the row, makes that
// device the current one: the page shows it, and the link test writes the page's values to it unchanged.
TEST_P(DeviceChoiceTest, PageFollowsTheDeviceChosenInTheDialog) {
    AddDevices(1);  // device 2, now current
    Driver().PutLong("PortNumber", 7);
    Driver().PutLong("DstAddress", 9);
    Driver().PutLong("LDIndex", 0);
    QString port;
    int address = 0;
    ModalScript script;
    script
        .Then([&](QWidget& frame) {
            QWidget& page = Child(frame, "TfmPage");
            Click(page, "btnDevice");
            port = Child<QComboBox>(page, "cbPortNumber").currentText();
            address = Child<QSpinBox>(page, "edtDstAddress").value();
            Click(page, "btnConnect");
            Click(frame, "btnCancel");
        })
        .Then([&](QWidget& dialog) {
            auto& list = Child<QListWidget>(dialog, "lbDevice");
            const QPoint at = list.visualItemRect(list.item(1)).center();
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
            if (GetParam())
                QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
            else
                Click(dialog, "btnClose");
        });
    EXPECT_EQ(Driver().Call("ShowProperties"), 0);
    EXPECT_EQ(port, "COM 7");
    EXPECT_EQ(address, 9);
    EXPECT_EQ(Driver().GetLong("LDIndex"), 1);
    EXPECT_EQ(Driver().GetLong("PortNumber"), 7);
    EXPECT_EQ(Driver().GetLong("DstAddress"), 9);
}

INSTANTIATE_TEST_SUITE_P(Closed, DeviceChoiceTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ByDoubleClick" : "ByButton"; });

}  // namespace
}  // namespace tessel_test
