#include "common/qt/ProgramWindows.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessel::qt {

void ShowErrorBox(QWidget* parent, const QString& title, const QString& text) {
    const QString shown = QString(text).replace("\r\n", "\n");
    QMessageBox box(QMessageBox::Critical, title, shown, QMessageBox::Ok, parent);
    box.setStyleSheet(QString("QLabel#qt_msgbox_label { min-width: %1px; }")
                          .arg(box.fontMetrics().horizontalAdvance(shown.section('\n', 0, 0)) + 8));
    box.exec();
}

void ShowProgramAbout(QWidget* parent, const QString& program, const QString& testVersion,
                      const QString& driverVersion) {
    QDialog box(parent,
                Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    box.setObjectName("TfmAbout");
    box.setWindowTitle("О программе");
    auto* name = new QLabel(program, &box);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.5);
    name->setFont(bold);
    auto* test = new QLabel("Версия теста: " + testVersion, &box);
    test->setObjectName("lblTestVersion");
    auto* driver = new QLabel("Версия драйвера: " + driverVersion, &box);
    driver->setObjectName("lblDriverVersion");
    for (QLabel* label : {test, driver}) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QPushButton("OK", &box);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* all = new QVBoxLayout(&box);
    all->setContentsMargins(16, 16, 16, 12);
    all->addWidget(name);
    all->addSpacing(8);
    all->addWidget(test);
    all->addWidget(driver);
    all->addSpacing(12);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);
    box.exec();
}

}  // namespace tessel::qt
