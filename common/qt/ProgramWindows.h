#pragma once
// What the two test programs' windows share: the error box and the about box.

#include <QString>

class QWidget;

namespace tessel::qt {

// A modal error box titled `title`. The Windows line breaks of the driver's composed messages break lines
// here too, and the first line (a property and its caption, or the question) is kept whole.
void ShowErrorBox(QWidget* parent, const QString& title, const QString& text);

// The programs' about box (object name "TfmAbout"): the program's name, "Версия теста: " with its version
// ("lblTestVersion") and "Версия драйвера: " with the driver's ("lblDriverVersion"), and "OK" ("btnOK").
void ShowProgramAbout(QWidget* parent, const QString& program, const QString& testVersion,
                      const QString& driverVersion);

}  // namespace tessel::qt
