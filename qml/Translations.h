#pragma once

class QCoreApplication;

namespace Tessavo::Ui {

// Installs the interface's English catalogue, which gives counted texts their singular and
// plural forms ("1 page", "2 pages"). The catalogue is owned by the application. False when it
// could not be loaded; the texts then show as written in the source.
[[nodiscard]] bool installTranslations(QCoreApplication& application);

} // namespace Tessavo::Ui
