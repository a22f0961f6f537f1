#pragma once

#include <QUrl>

class QQmlApplicationEngine;

namespace Tessavo::App {

class WindowMemory;

enum ExitCode : int {
    ExitNormal = 0,
    ExitNoRootObject = 10,
    ExitRootNotAWindow = 11,
    ExitSmokeWindowUnfit = 12,
    ExitSmokeWarnings = 13,
};

inline const QUrl mainWindowUrl{QStringLiteral("qrc:/qt/qml/Tessavo/Main.qml")};

// Loads the window at url into the prepared engine and runs the event loop. Every QML warning is
// logged and counted; in smoke-test mode the window is checked 400 ms after the loop starts and
// the loop ends with 0, 12 or 13. Returns 10 or 11 without running the loop when loading fails.
// The window opens where the memory says, within the screen, and the memory keeps what it was
// at the end; without a memory it opens at its own size on the first screen.
int runMainWindow(QQmlApplicationEngine& engine, const QUrl& url, bool smokeTest,
                  WindowMemory* memory = nullptr);

} // namespace Tessavo::App
