// Renders every window of the dialogs module to PNG, as a user sees it after a first action: the driver
// registered with its dialogs module, an emulated register on COM1, the offscreen platform. Each case is one
// window; scripts/screenshots runs them all with TESSEL_SCREENSHOTS naming the folder.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>
#include <cstdlib>

#include "driver/search/untSearchParams.h"

#include "support/DialogFixture.h"
#include "support/WindowShot.h"

namespace tessel_test {
namespace {

class Screenshot : public DialogTest {
  protected:
    // The register answers at the driver's default speed alone, as TesselEmu's does, so that a search
    // shows it once, as a user sees it.
    Screenshot() : DialogTest(4800) {}

    // Saves `window` as <name>.png in the folder TESSEL_SCREENSHOTS names, under a plain title bar with its
    // caption: the offscreen platform draws no window frames.
    static void Save(QWidget& window, const char* name) { SaveWindowShot(window, name); }
    void SetUp() override {
        DialogTest::SetUp();
        line_->UpdateModel(2, [](EmuRegisterModel& m) {
            m.clock = EmuDateTime{15, 3, 24, 9, 5, 7};
            m.eklzNumber = 1234567890;
        });
    }
};

TEST_F(Screenshot, PropertyPage) {
    ASSERT_EQ(Driver().Call("AddLD"), 0);
    Driver().PutString("LDName", "Касса у входа");
    Driver().PutLong("PortNumber", 1);
    Driver().PutBool("Fuel", true);
    ModalScript script;
    script.Then([&](QWidget& frame) {
        QWidget& page = Child(frame, "TfmPage");
        Click(page, "btnConnect");
        Save(frame, "page");
        Click(frame, "btnCancel");
    });
    Driver().Call("ShowProperties");
}

TEST_F(Screenshot, Devices) {
    for (const char* name : {"Касса 2", "Склад"}) {
        ASSERT_EQ(Driver().Call("AddLD"), 0);
        Driver().PutString("LDName", name);
    }
    ModalScript script;
    script
        .Then([&](QWidget& frame) {
            Click(Child(frame, "TfmPage"), "btnDevice");
            Click(frame, "btnCancel");
        })
        .Then([&](QWidget& dialog) {
            Save(dialog, "devices");
            Click(dialog, "btnClose");
        });
    Driver().Call("ShowProperties");
}

TEST_F(Screenshot, Status) {
    for (const char* button : {"btnECRStatus", "btnFMStatus"}) {
        ModalScript script;
        script.Then([&](QWidget& dialog) {
            Click(dialog, button);
            Save(dialog, std::string(button) == "btnECRStatus" ? "status" : "status-fm");
            Click(dialog, "btnOK");
        });
        Driver().Call("ShowStatusDlg");
    }
}

TEST_F(Screenshot, Service) {
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Click(dialog, "btnFromECR");
        Save(dialog, "service");
        Click(dialog, "btnClose");
    });
    Driver().Call("ShowServiceDlg");
}

TEST_F(Screenshot, Log) {
    Driver().PutString("LogFileName", "/var/log/tessel/TesselDrv.log");
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Save(dialog, "log");
        Click(dialog, "btnCancel");
    });
    Driver().Call("ShowLogDlg");
}

TEST_F(Screenshot, About) {
    ModalScript script;
    script.Then([&](QWidget& box) {
        Save(box, "about");
        Click(box, "btnOK");
    });
    Early()->AboutBox();
}

TEST_F(Screenshot, Error) {
    Driver().PutLong("RepCount", 1);
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            line_->DropAnswer(line_->AnswerCount() + 2);
            Click(dialog, "btnECRStatus");
            Click(dialog, "btnOK");
        })
        .Then([&](QWidget& box) {
            Save(box, "error");
            TakeMessage(box);
        });
    Driver().Call("ShowStatusDlg");
}

bool IsProgress(const QWidget& window) {
    return window.objectName() == "TfmProgress";
}

// Selects the row of table `number` in the tables dialog and opens it with Enter.
void OpenTable(QWidget& dialog, int number) {
    auto& list = Child<QTreeWidget>(dialog, "ListView");
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.topLevelItem(i)->text(0) == QString::number(number))
            list.setCurrentItem(list.topLevelItem(i));
    QTest::keyClick(&list, Qt::Key_Return);
}

TEST_F(Screenshot, Tables) {
    bool errorShown = false;
    ModalScript script;
    script.Skip(IsProgress)
        .Then([&](QWidget& dialog) {
            Save(dialog, "tables");
            Click(dialog, "btnSave");
            OpenTable(dialog, 2);
            OpenTable(dialog, 1);
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& choice) {
            Save(choice, "tables-choice");
            Click(choice, "btnCancel");
        })
        .Then([&](QWidget& grid) {
            Click(grid, "btnReadAll");
            auto& cells = Child<QTableWidget>(grid, "Grid");
            cells.setCurrentCell(3, 1);
            QTest::qWait(50);
            Save(grid, "table-grid");
            // A number with a letter in it, committed with Enter.
            cells.setCurrentCell(4, 0);
            QLineEdit* editor = nullptr;
            WaitFor([&] {
                for (QLineEdit* e : cells.viewport()->findChildren<QLineEdit*>())
                    if (e->isVisible()) editor = e;
                return editor != nullptr;
            });
            editor->selectAll();
            QTest::keyClicks(editor, "12a");
            QTest::keyClick(editor, Qt::Key_Return);
            WaitFor([&] { return errorShown; });
            Click(grid, "btnClose");
        })
        .Then([&](QWidget& box) {
            Save(box, "table-error");
            TakeMessage(box);
            errorShown = true;
        })
        .Then([&](QWidget& editor) {
            Click(editor, "btnReadAll");
            Child<QTableWidget>(editor, "Grid").setCurrentCell(2, 6);
            QTest::qWait(50);
            Save(editor, "table-row");
            Click(editor, "btnClose");
        });
    Driver().Call("ShowTablesDlg");
}

TEST_F(Screenshot, Progress) {
    {
        // The table list into the cache first, so that the only progress window is the one taken.
        ModalScript warm;
        warm.Skip(IsProgress).Then([](QWidget& dialog) { Click(dialog, "btnClose"); });
        Driver().Call("ShowTablesDlg");
    }
    ModalScript script;
    // Opening the table reads its field structure first, in a progress window of its own.
    script
        .Skip(
            [](const QWidget& w) { return IsProgress(w) && w.windowTitle() == "Чтение структуры полей..."; })
        .Then([&](QWidget& dialog) {
            line_->SetAnswerDelay(60);
            OpenTable(dialog, 2);
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& grid) {
            Click(grid, "btnReadAll");
            Click(grid, "btnClose");
        })
        .Then([&](QWidget& progress) {
            WaitFor([&] { return Child<QLabel>(progress, "lblInfo3").text().endsWith(": 7"); });
            Save(progress, "progress");
            Click(progress, "btnCancel");
        })
        .Then([&](QWidget& question) {
            Save(question, "progress-abort");
            auto& box = dynamic_cast<QMessageBox&>(question);
            QTest::mouseClick(box.button(QMessageBox::Yes), Qt::LeftButton);
        });
    Driver().Call("ShowTablesDlg");
}

TEST_F(Screenshot, Search) {
    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    params.SetChecked(TSearchList::Ports, 0, true);
    params.Save();
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnStart");
            WaitFor([&] { return Child<QLabel>(dialog, "lblBaudRate").text() == ": 2400"; }, 10000);
            Save(dialog, "search-running");
            WaitFor([&] { return Child<QLabel>(dialog, "lblInfo").text().startsWith("Поиск завершен"); },
                    20000);
            auto& found = Child<QTreeWidget>(dialog, "ListView");
            EXPECT_EQ(found.topLevelItemCount(), 1) << "one register, found at its own speed";
            found.setCurrentItem(found.topLevelItem(0));
            Save(dialog, "search");
            Click(dialog, "btnSetup");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& params) {
            Save(params, "search-params");
            Click(params, "btnCancel");
        });
    Driver().Call("ShowSearchDlg");
}

}  // namespace
}  // namespace tessel_test
