#include "driver/dialogs/fmuAbout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "driver/client/DriverCalls.h"

TfmAbout::TfmAbout(QWidget* parent, const QString& version) : TMyForm(parent) {
    setWindowTitle("О программе");
    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(side, side));
    auto* name = new QLabel(kDriverCaption, this);
    name->setObjectName("lblName");
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.5);
    name->setFont(bold);
    auto* line = new QLabel("Версия драйвера: " + version, this);
    line->setObjectName("lblVersion");
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(line);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(16, 16, 16, 12);
    all->addLayout(top);
    all->addSpacing(12);
    all->addLayout(buttons);
    FixSize();
}

LONG ShowAboutDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    // The box belongs to the active window of the calling thread, whatever ParentWnd says.
    const TOwner owner = TOwner::ActiveWindow();
    TfmAbout box(owner.Widget(), QString::fromStdString(driver.Get(&ITesselDriver::get_Version)));
    box.exec();
    return 1;
}
