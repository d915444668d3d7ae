#pragma once
// TfmMain ("Тест ККМ"): the page list, the data panel in which the chosen page works, and the buttons
// "Настройка..." (the driver's property frame, refused while a page is busy), "О программе..." and
// "Закрыть". The pages share one driver object, created by its ProgID on first use.

#include <QString>
#include <QWidget>
#include <memory>

#include "tools/tester/untPages.h"

class QListWidget;
class QCloseEvent;

namespace tessel::tst {

class TfmMain : public QWidget {
  public:
    explicit TfmMain(QWidget* parent = nullptr);
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

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QListWidget* lbPages_ = nullptr;
    std::unique_ptr<TPages> pages_;
};

}  // namespace tessel::tst
