#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace Tessavo::Ui {
class AppController;
}

namespace Tessavo::App {

// "--import PATH" imports the path as if it had been dropped on the Import page; "--export
// FOLDER" exports there, once, as soon as the controller is idle with documents in its list.
// The paths are taken from rawArguments (rawArgumentsOf, index for index the same list) when
// given, so that a name that is not valid UTF-8 names that very file or folder.
void applyUnattendedOptions(const QStringList& arguments, Ui::AppController& controller,
                            const QList<QByteArray>& rawArguments = {});

} // namespace Tessavo::App
