#pragma once

#include <QStringList>

namespace Tessavo::Ui {
class AppController;
}

namespace Tessavo::App {

// "--import PATH" imports the path as if it had been dropped on the Import page; "--export
// FOLDER" exports there, once, as soon as the controller is idle with documents in its list.
void applyUnattendedOptions(const QStringList& arguments, Ui::AppController& controller);

} // namespace Tessavo::App
