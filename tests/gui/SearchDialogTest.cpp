// The search dialogs, opened by the driver's ShowSearchDlg with an emulated register on COM1: the search
// started, watched, stopped and closed, a found register chosen, and the search parameters edited.
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>

#include "driver/search/untSearchParams.h"
#include "support/DialogFixture.h"

namespace tessel_test {
namespace {

// Search parameters as the test sets them: ports and speed codes counted from 1.
struct Params {
    std::vector<int> ports;
    std::vector<int> speeds;
    bool ordinary = true;
    bool fuel = false;

    TSearchParams Make() const {
        TSearchParams p;
        p.SetAll(TSearchList::Ports, false);
        p.SetAll(TSearchList::BaudRates, false);
        for (int port : ports) p.SetChecked(TSearchList::Ports, static_cast<std::size_t>(port - 1), true);
        for (int speed : speeds)
            p.SetChecked(TSearchList::BaudRates, static_cast<std::size_t>(speed - 1), true);
        p.SetChecked(TSearchList::ECRTypes, 0, ordinary);
        p.SetChecked(TSearchList::ECRTypes, 1, fuel);
        return p;
    }
};

// The check states of a list, as "1" and "0".
std::string Checks(const TSearchParams& p, TSearchList list) {
    std::string out;
    for (const TSearchItem& item : p.Items(list)) out += item.Checked ? '1' : '0';
    return out;
}

QString Info(const QWidget& dialog) {
    return Child<QLabel>(dialog, "lblInfo").text();
}

bool Finished(const QWidget& dialog) {
    return Info(dialog).startsWith("Поиск завершен");
}

QTreeWidget& List(const QWidget& dialog) {
    return Child<QTreeWidget>(dialog, "ListView");
}

class SearchDialogTest : public DialogTest {
  protected:
    // The search on COM1 at 9600 baud for ordinary registers, unless a test saves other parameters.
    void SetUp() override {
        DialogTest::SetUp();
        Params{{1}, {4}}.Make().Save();
    }
    // The driver's connection settings, to see whether a search left them.
    std::string Connection() {
        return std::to_string(Driver().GetLong("PortNumber")) + " " +
               std::to_string(Driver().GetLong("BaudRate")) + " " +
               std::to_string(Driver().GetLong("DstAddress")) + " " +
               (Driver().GetBool("Fuel") ? "fuel" : "ordinary");
    }
    void SetConnection(int port, int baud, int address, bool fuel) {
        Driver().PutLong("PortNumber", port);
        Driver().PutLong("BaudRate", baud);
        Driver().PutLong("DstAddress", address);
        Driver().PutBool("Fuel", fuel);
    }
};

TEST_F(SearchDialogTest, OkWithAnEmptyListReportsNothingChosen) {
    QString info;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Поиск ККМ");
        info = Info(dialog);
        Click(dialog, "btnOK");
    });
    EXPECT_EQ(ModuleDialog("Search", Early()), 0);
    EXPECT_EQ(info, "Для начала поиска нажмите кнопку \"Начать\"");
}

struct EmptyListCase {
    const char* list;
    const char* button;
    const char* message;
};

void PrintTo(const EmptyListCase& c, std::ostream* os) {
    *os << c.list;
}

class EmptyListTest : public SearchDialogTest, public ::testing::WithParamInterface<EmptyListCase> {};

// A list with nothing checked (here cleared in the parameters window, which saves it) stops the start.
TEST_P(EmptyListTest, NothingCheckedShowsItsMessageAndNothingStarts) {
    const std::uint64_t answers = line_->AnswerCount();
    QString message, caption, info;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnSetup");
            Click(dialog, "btnStart");
            caption = Child<QPushButton>(dialog, "btnStart").text();
            info = Info(dialog);
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& params) {
            EXPECT_EQ(params.windowTitle(), "Свойства поиска");
            Click(params, GetParam().button);
            Click(params, "btnOK");
        })
        .Then([&](QWidget& box) { message = TakeMessage(box); });
    Driver().Call("ShowSearchDlg");
    EXPECT_EQ(message, GetParam().message);
    EXPECT_EQ(caption, "Начать");
    EXPECT_EQ(info, "Для начала поиска нажмите кнопку \"Начать\"");
    EXPECT_EQ(line_->AnswerCount(), answers);
    TSearchParams saved;
    saved.Load();
    EXPECT_FALSE(saved.AnyChecked(GetParam().list == std::string("ports")    ? TSearchList::Ports
                                  : GetParam().list == std::string("speeds") ? TSearchList::BaudRates
                                                                             : TSearchList::ECRTypes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmptyListTest,
    ::testing::Values(EmptyListCase{"ports", "btnPortsNone", "Нет выбранных портов для поиска."},
                      EmptyListCase{"speeds", "btnBaudRatesNone", "Нет выбранных скоростей для поиска."},
                      EmptyListCase{"kinds", "btnECRTypesNone", "Нет выбранных типов ККМ для поиска."}));

// One port, one speed, one kind: the bar is as long as every speed and kind of the lists and takes one step;
// the register is listed with its description; cancelled, ShowSearchDlg leaves the connection as it was.
TEST_F(SearchDialogTest, OneCombinationFindsTheRegisterAndCancelLeavesTheConnection) {
    SetConnection(7, 1, 9, true);
    QString info, caption;
    QStringList row;
    int barMaximum = -1, barValue = -1;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Click(dialog, "btnStart");
        EXPECT_TRUE(WaitFor([&] { return Finished(dialog); }, 10000));
        info = Info(dialog);
        caption = Child<QPushButton>(dialog, "btnStart").text();
        const auto& bar = Child<QProgressBar>(dialog, "ProgressBar");
        barMaximum = bar.maximum();
        barValue = bar.value();
        if (const QTreeWidgetItem* first = List(dialog).topLevelItem(0))
            for (int c = 0; c < 5; ++c) row << first->text(c);
        Click(dialog, "btnClose");
    });
    EXPECT_EQ(Driver().Call("ShowSearchDlg"), 0);
    EXPECT_EQ(info, "Поиск завершен. Найдено ККМ: 1");
    EXPECT_EQ(caption, "Начать");
    EXPECT_EQ(barMaximum, 16);
    EXPECT_EQ(barValue, 1);
    EXPECT_EQ(row, QStringList({"COM1", "9600", "2", "обычная", "Эмулятор ККМ"}));
    EXPECT_EQ(Connection(), "7 1 9 fuel");
}

struct ChooseCase {
    const char* name;
    std::function<void(QTreeWidget& list, QWidget& dialog)> choose;
    LONG answer;
    std::string connection;
};

void PrintTo(const ChooseCase& c, std::ostream* os) {
    *os << c.name;
}

// A second register on COM3 at address 7: the search's last request and description are there, in the
// fuel kind.
class ChooseTest : public SearchDialogTest, public ::testing::WithParamInterface<ChooseCase> {
  protected:
    EmuPort line3_{3, {7}};
};

// The first of four registers found (COM1 and COM3, each kind; both ports at each kind) is chosen: the
// driver then talks to it. A window closed otherwise leaves the driver's device as it was: the search spoke
// to the registers on devices of its own.
TEST_P(ChooseTest, ChosenRegisterSetsTheConnection) {
    Params{{1, 3}, {4}, true, true}.Make().Save();
    QStringList ports;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Click(dialog, "btnStart");
        EXPECT_TRUE(WaitFor([&] { return Finished(dialog); }, 15000));
        QTreeWidget& list = List(dialog);
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            ports << list.topLevelItem(i)->text(0) + " " + list.topLevelItem(i)->text(3);
        GetParam().choose(list, dialog);
    });
    EXPECT_EQ(ModuleDialog("Search", Early()), GetParam().answer);
    EXPECT_EQ(ports, QStringList({"COM1 обычная", "COM3 обычная", "COM1 бензиновая", "COM3 бензиновая"}));
    EXPECT_EQ(Connection(), GetParam().connection);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChooseTest,
    ::testing::Values(ChooseCase{"Ok",
                                 [](QTreeWidget& list, QWidget& d) {
                                     list.setCurrentItem(list.topLevelItem(0));
                                     Click(d, "btnOK");
                                 },
                                 1, "1 4 2 ordinary"},
                      ChooseCase{"DoubleClick",
                                 [](QTreeWidget& list, QWidget&) {
                                     // The first click of a double click picks the row.
                                     const QPoint row = list.visualItemRect(list.topLevelItem(0)).center();
                                     QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row);
                                     QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, row);
                                 },
                                 1, "1 4 2 ordinary"},
                      // The module leaves the driver's connection as the test set it (ShowSearchDlg would
                      // put it back besides).
                      ChooseCase{"Cancel", [](QTreeWidget&, QWidget& d) { Click(d, "btnClose"); }, 0,
                                 "1 3 2 fuel"}),
    [](const ::testing::TestParamInfo<ChooseCase>& info) { return std::string(info.param.name); });

TEST_F(SearchDialogTest, AbortReportsTheRegistersFoundSoFar) {
    Params{{1}, {1, 2, 3, 4, 5, 6, 7, 8}}.Make().Save();
    QString info, caption;
    int rows = -1;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Click(dialog, "btnStart");
        WaitFor([&] { return List(dialog).topLevelItemCount() >= 1; }, 10000);
        EXPECT_EQ(Child<QPushButton>(dialog, "btnStart").text(), "Прервать");
        Click(dialog, "btnStart");
        EXPECT_TRUE(WaitFor([&] { return Finished(dialog); }));
        info = Info(dialog);
        caption = Child<QPushButton>(dialog, "btnStart").text();
        rows = List(dialog).topLevelItemCount();
        Click(dialog, "btnClose");
    });
    Driver().Call("ShowSearchDlg");
    EXPECT_GE(rows, 1);
    EXPECT_LT(rows, 8);
    EXPECT_EQ(info, QString("Поиск завершен. Найдено ККМ: %1").arg(rows));
    EXPECT_EQ(caption, "Начать");
}

struct CloseCase {
    const char* name;
    std::function<void(QWidget&)> close;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class SearchCloseTest : public SearchDialogTest, public ::testing::WithParamInterface<CloseCase> {};

// However the window closes during a search, the search ends with it, within one driver call.
TEST_P(SearchCloseTest, ClosingStopsARunningSearch) {
    Params{{1}, {1, 2, 3, 4, 5, 6, 7, 8}}.Make().Save();
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Click(dialog, "btnStart");
        WaitFor([&] { return Child<QLabel>(dialog, "lblPort").text() == ": COM1"; });
        GetParam().close(dialog);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Driver().Call("ShowSearchDlg"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Nothing goes on behind the closed window: the line stays quiet and the port is closed.
    const std::uint64_t answers = line_->AnswerCount();
    QTest::qWait(1000);
    EXPECT_EQ(line_->AnswerCount(), answers);
    EXPECT_FALSE(Driver().GetBool("DeviceEnabled"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchCloseTest,
    ::testing::Values(CloseCase{"Button", [](QWidget& d) { Click(d, "btnClose"); }},
                      CloseCase{"Escape", [](QWidget& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
                      CloseCase{"CloseEvent", [](QWidget& d) { d.close(); }}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

struct ParamsCase {
    const char* name;
    std::function<void(QWidget& params)> change;
    const char* close;
    Params saved;
};

void PrintTo(const ParamsCase& c, std::ostream* os) {
    *os << c.name;
}

class ParamsWindowTest : public SearchDialogTest, public ::testing::WithParamInterface<ParamsCase> {};

TEST_P(ParamsWindowTest, OkSavesTheChecksAndCancelNothing) {
    QStringList shownPorts;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnSetup");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& params) {
            const auto& ports = Child<QListWidget>(params, "lbPorts");
            for (int i = 0; i < ports.count(); ++i)
                if (ports.item(i)->checkState() == Qt::Checked) shownPorts << ports.item(i)->text();
            GetParam().change(params);
            Click(params, GetParam().close);
        });
    Driver().Call("ShowSearchDlg");
    EXPECT_EQ(shownPorts, QStringList({"COM1"}));
    TSearchParams saved;
    saved.Load();
    const TSearchParams expected = GetParam().saved.Make();
    for (TSearchList list : {TSearchList::Ports, TSearchList::BaudRates, TSearchList::ECRTypes})
        EXPECT_EQ(Checks(saved, list), Checks(expected, list));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsWindowTest,
    ::testing::Values(ParamsCase{"ChecksSaved",
                                 [](QWidget& w) {
                                     Click(w, "btnBaudRatesAll");
                                     Click(w, "btnECRTypesAll");
                                     auto& ports = Child<QListWidget>(w, "lbPorts");
                                     ports.item(0)->setCheckState(Qt::Unchecked);
                                     ports.item(1)->setCheckState(Qt::Checked);
                                 },
                                 "btnOK", Params{{2}, {1, 2, 3, 4, 5, 6, 7, 8}, true, true}},
                      ParamsCase{"Defaults", [](QWidget& w) { Click(w, "btnSetDefaults"); }, "btnOK",
                                 Params{{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                         17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32},
                                        {1, 2, 3, 4, 5, 6, 7, 8}}},
                      ParamsCase{"Cancelled", [](QWidget& w) { Click(w, "btnPortsAll"); }, "btnCancel",
                                 Params{{1}, {4}}}),
    [](const ::testing::TestParamInfo<ParamsCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel_test
