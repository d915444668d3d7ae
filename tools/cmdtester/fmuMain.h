#pragma once
// TfmMain ("Тест команд"): one protocol command at a time through the driver's generic command path, and
// the register's side answered from the parameter grid.
//
// The list shows every command; the grid the selected command's inputs ("[ in] ") and outputs ("[out] ")
// with their current texts. "Выполнить" sends the selected command as a request; a command the driver
// receives from the line (IDriverEvents.Command, delivered on this thread through the message-queue
// bridge) is shown, and a request is answered from the grid when the settings say so. The texts of every
// parameter and the settings persist in the ini file.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/testerlib/QtDateForms.h"
#include "tools/testerlib/untCmdDriver.h"
#include "tools/testerlib/untCommand.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class TEventDriver;
class TParamDelegate;

class TfmMain : public QWidget {
  public:
    // Takes the driver object (created by its ProgID) and subscribes to its IDriverEvents; loads the ini
    // file `iniFileName` when it exists. Throws ECmdDriverError when the driver refuses the subscription.
    TfmMain(tessel::cmd::TCmdDriver driver, std::string iniFileName, QWidget* parent = nullptr);
    ~TfmMain() override;

    // "Выполнить": sends the selected command with the grid's values as a request.
    void Execute();
    // Handles a command the driver received, numbered `commandID`.
    void CommandReceived(std::int32_t commandID);
    // Selects the command at `index` of the list, keeping the grid's values of the one shown before.
    void SelectCommand(int index);
    // Copies the grid into the selected command and writes the ini file. Throws EIniFileError.
    void SaveSettings();

    // "Параметры", "Драйвер...", "О программе", "Сбросить".
    void EditParams();
    void ShowDriverProperties();
    void ShowAbout();
    void ResetCounters();

    const tessel::cmd::TCommands& Commands() const { return commands_; }
    const tessel::cmd::TAppParams& AppParams() const { return params_; }
    int CurrentIndex() const { return current_; }
    int SentCount() const { return sent_; }
    int ReceivedCount() const { return received_; }
    const std::string& IniFileName() const { return iniFileName_; }

    // The title: "Тест команд" and the program's version.
    static QString Title();
    static QString Version();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    tessel::cmd::TCommand& Current();
    // The grid's value column into the parameters of the command shown, a value being typed included.
    void SaveGrid();
    void ShowCommand();
    void ShowResult();
    void ShowCounters();
    void ShowError(const QString& text);
    void EnableButtons(bool on);

    tessel::cmd::TCmdDriver driver_;
    std::unique_ptr<TEventDriver> events_;  // after the driver: disconnected before it goes
    std::string iniFileName_;
    TQtDateForms forms_;
    tessel::cmd::TCommands commands_;
    tessel::cmd::TAppParams params_;
    int current_ = -1;
    int sent_ = 0;
    int received_ = 0;

    QListWidget* lbCommands_ = nullptr;
    QTableWidget* sgParams_ = nullptr;
    TParamDelegate* paramDelegate_ = nullptr;  // the value column's, owned by the grid
    QLineEdit* edResult_ = nullptr;
    QLineEdit* edReceived_ = nullptr;
    QLineEdit* edSent_ = nullptr;
    QLabel* lblSentCount_ = nullptr;
    QLabel* lblReceivedCount_ = nullptr;
    QPushButton* btnExecute_ = nullptr;
    QPushButton* btnDriver_ = nullptr;
    QPushButton* btnParams_ = nullptr;
    QPushButton* btnClose_ = nullptr;
};
