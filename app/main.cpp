#include "app/Startup.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

int main(int argc, char** argv)
{
    return Tessavo::App::run(argc, argv);
}
