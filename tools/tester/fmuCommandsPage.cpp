#include "tools/tester/fmuCommandsPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "tools/tester/untAnswer.h"
#include "tools/testerlib/untEcrCmd.h"

namespace tessel::tst {

TfmCommandsPage::TfmCommandsPage(TPages& pages)
    : TAnsweringPage(pages, "Команды"), commands_(cmd::CreateEcrCommands(forms_)) {
    setObjectName("TfmCommandsPage");
    auto* btnClear = NewButton(this, "btnClear", "Очистить");
    memCommands_ = NewMemo(this, "memCommands", true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnClear);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addWidget(memCommands_, 1);
    all->addWidget(FailureLine());
    all->addLayout(buttons);
    Clear();

    connect(btnClear, &QPushButton::clicked, this, [this] { Clear(); });
}

void TfmCommandsPage::Clear() {
    memCommands_->setPlainText(kCommandsHeader);
    ClearFailure();
}

LONG TfmCommandsPage::Answer(TDriver& driver, const TReceivedCommand& command) {
    memCommands_->appendPlainText(QString::fromStdString(CommandLine(command)));
    return AnswerFromDescription(driver, command, commands_, forms_);
}

}  // namespace tessel::tst
