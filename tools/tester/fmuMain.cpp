#include "tools/tester/fmuMain.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "common/platform/TextFormat.h"
#include "common/qt/ProgramWindows.h"
#include "tools/tester/fmuCommandsPage.h"
#include "tools/tester/fmuDumpPage.h"
#include "tools/tester/fmuFlagsPage.h"
#include "tools/tester/fmuLinkPage.h"
#include "tools/tester/fmuMiscPage.h"
#include "tools/tester/fmuReceiptsPage.h"
#include "tools/tester/fmuRegistersPage.h"
#include "tools/tester/fmuRestPage.h"
#include "tools/tester/fmuStatusPage.h"

#ifndef TESSEL_TST_VERSION
#define TESSEL_TST_VERSION "1.0.0.0"
#endif

namespace tessel::tst {

const char* const TfmMain::kBusyText = "Перед настройкой необходимо остановить выполнение операций.";
const char* const TfmMain::kClosingText = "Окно закроется, когда закончится обращение к драйверу.";

QString TfmMain::Version() {
    return TESSEL_TST_VERSION;
}

QString TfmMain::Title() {
    return "Тест ККМ " + Version();
}

TfmMain::TfmMain(QWidget* parent, TDriverFactory createDriver) : QWidget(parent) {
    setObjectName("TfmMain");
    setWindowTitle(Title());

    lbPages_ = new QListWidget(this);
    lbPages_->setObjectName("lbPages");
    auto* panel = new QFrame(this);
    panel->setObjectName("pnlData");
    panel->setFrameShape(QFrame::StyledPanel);
    pages_ = std::make_unique<TPages>(*panel, std::move(createDriver));
    TPages& pages = *pages_;
    pages.Add(new TfmStatusPage(pages));
    pages.Add(new TfmMiscPage(pages));
    pages.Add(new TfmRegistersPage(pages));
    pages.Add(new TfmRestPage(pages));
    pages.Add(new TfmDumpPage(pages));
    pages.Add(new TfmFlagsPage(pages));
    pages.Add(new TfmLinkPage(pages));
    pages.Add(new TfmCommandsPage(pages));
    pages.Add(new TfmReceiptsPage(pages));
    for (int i = 0; i < pages.Count(); ++i)
        lbPages_->addItem(QString::fromStdString(
            tessel::FormatText("%d. %s", i + 1, pages.Items(i).Caption().toStdString().c_str())));
    int listWidth = 0;
    for (int i = 0; i < lbPages_->count(); ++i)
        listWidth = std::max(listWidth, fontMetrics().horizontalAdvance(lbPages_->item(i)->text()));
    lbPages_->setFixedWidth(listWidth + 32);

    lblBusy_ = new QLabel(this);
    lblBusy_->setObjectName("lblBusy");
    lblBusy_->setWordWrap(true);
    pages.OnStateChanged = [this] { ShowBusy(); };

    auto* btnSettings = NewButton(this, "btnSettings", "Настройка...");
    auto* btnAbout = NewButton(this, "btnAbout", "О программе...");
    auto* btnClose = NewButton(this, "btnClose", "Закрыть");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSettings);
    buttons->addWidget(btnAbout);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* top = new QHBoxLayout;
    top->addWidget(lbPages_);
    top->addWidget(panel, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top, 1);
    all->addWidget(lblBusy_);
    all->addLayout(buttons);

    connect(lbPages_, &QListWidget::currentRowChanged, this, [this](int row) { pages_->Show(row); });
    connect(btnSettings, &QPushButton::clicked, this, [this] { ShowSettings(); });
    connect(btnAbout, &QPushButton::clicked, this, [this] { ShowAbout(); });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    SelectPage(0);
    resize(860, 560);
}

TfmMain::~TfmMain() {
    // The list stops its pages as it goes; this window is no longer told.
    pages_->OnStateChanged = nullptr;
}

void TfmMain::ShowBusy() {
    QString text = pages_->BusyText();
    if (closing_) {
        if (!pages_->AnyWorkerRunning()) {
            // The last worker has ended: the close asked for earlier goes through now.
            closing_ = false;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        } else {
            text += QString(text.isEmpty() ? "" : " ") + kClosingText;
        }
    }
    lblBusy_->setText(text);
}

void TfmMain::SelectPage(int index) {
    if (index < 0 || index >= pages_->Count()) return;
    {
        const QSignalBlocker quiet(lbPages_);
        lbPages_->setCurrentRow(index);
    }
    pages_->Show(index);
}

void TfmMain::ShowSettings() {
    if (pages_->AnyBusy()) {
        tessel::qt::ShowErrorBox(this, Title(), kBusyText);
        return;
    }
    try {
        TDriver& driver = pages_->Driver();
        driver.PutLong("ParentWnd", static_cast<LONG>(winId()));
        driver.Check("ShowProperties");
    } catch (const std::exception& e) {
        tessel::qt::ShowErrorBox(this, Title(), QString::fromStdString(ErrorText(e)));
    }
}

void TfmMain::ShowAbout() {
    QString driverVersion;
    try {
        driverVersion = QString::fromStdString(pages_->DriverVersion());
    } catch (const std::exception& e) {
        tessel::qt::ShowErrorBox(this, Title(), QString::fromStdString(ErrorText(e)));
        return;
    }
    tessel::qt::ShowProgramAbout(this, "Тест ККМ", Version(), driverVersion);
}

void TfmMain::closeEvent(QCloseEvent* event) {
    pages_->StopAll();
    // A worker inside a driver call stops after it: the window stays, says why, and closes then.
    if (pages_->AnyWorkerRunning()) {
        closing_ = true;
        ShowBusy();
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace tessel::tst
