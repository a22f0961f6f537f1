#pragma once

namespace Tessavo::App {

// The whole life of the application process: identity, logging, controller, window, event loop.
int run(int argc, char** argv);

} // namespace Tessavo::App
