#pragma once
// TfmMain ("Тест ККМ"): the page list, the data panel in which the chosen page works, a line that says what
// work is in progress, and the buttons "Настройка..." (the driver's property frame, refused while a page is
// busy), "О программе..." and "Закрыть". The pages share one driver object, created by its ProgID on first
// use. The window never waits for a worker's driver call: closing it while a worker is inside one stops the
// work and closes the window once the call is over.

#include <QString>
#include <QWidget>
#include <memory>

#include "tools/tester/untPages.h"

class QCloseEvent;
class QLabel;
class QListWidget;

namespace tessel::tst {

class TfmMain : public QWidget {
  public:
    // `createDriver` makes the driver the pages share (empty: by the registered ProgID).
    explicit TfmMain(QWidget* parent = nullptr, TDriverFactory createDriver = {});
    ~TfmMain() override;

    TPages& Pages() { return *pages_; }
    // Shows page `index` (0-based) and selects it in the list.
    void SelectPage(int index);
    // "Настройка...", "О программе...".
    void ShowSettings();
    void ShowAbout();

    // The title: "Тест ККМ" and the program's version.
    static QString Title();
    static QString Version();
    // The text of the refusal of "Настройка..." while a page works.
    static const char* const kBusyText;

    // The text of the busy line while the window waits for a worker's call to close.
    static const char* const kClosingText;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ShowBusy();

    QListWidget* lbPages_ = nullptr;
    QLabel* lblBusy_ = nullptr;
    bool closing_ = false;  // closed while a worker was inside a call: closes when the worker has ended
    std::unique_ptr<TPages> pages_;
};

}  // namespace tessel::tst
