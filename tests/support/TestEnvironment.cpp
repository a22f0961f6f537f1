// Linked into every test executable. Runs before main, so the application object created by the
// test sees it: no display is needed, and nothing is read from or written to the real user's
// folders.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string privateRoot;

void removePrivateRoot()
{
    std::error_code ignored;
    std::filesystem::remove_all(privateRoot, ignored);
}

std::string makePrivateDir(const char* pattern)
{
    std::string path = std::string(P_tmpdir) + "/" + pattern;
    if (!mkdtemp(path.data()))
        std::abort();
    return path;
}

const bool environmentPrepared = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string root = makePrivateDir("tessavo-test-XXXXXX"); // mode 0700
    privateRoot = root;
    std::atexit(removePrivateRoot);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    return true;
}();

} // namespace
