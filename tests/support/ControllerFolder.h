#pragma once

#include "ui/AppController.h"

#include <QTemporaryDir>

namespace ControllerFolder {

// A folder of this test process where its controllers keep rules and settings.
inline QString path()
{
    static QTemporaryDir folder;
    return folder.path();
}

// Rules and settings kept in that folder; no stored document list.
inline Tessavo::Ui::ControllerSetup rulesAndSettings()
{
    Tessavo::Ui::ControllerSetup setup = Tessavo::Ui::ControllerSetup::inFolder(path());
    setup.sessionPath.clear();
    return setup;
}

} // namespace ControllerFolder
