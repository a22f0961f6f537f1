// libFuzzer harness for the bundle verifier over an archive (built only with clang; see
// tests/CMakeLists.txt). Each input is written as a ZIP file and verified alone; index.pdf is
// taken as opening, so that no PDF engine or worker process runs. Whatever the bytes, the
// verifier must return, with at most 101 problem lines and a failure unless the bytes hold a
// sound bundle.
#include "bundle/BundleVerifier.h"
#include "core/Failure.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Tessavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("bundle.zip"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    const BundleVerification result =
        verifyBundle(path, [](const QString&) { return Status::success(); });
    if (result.problems.size() > 101 || result.problemCount < result.problems.size()) {
        std::fprintf(stderr, "broken promise: %lld problems listed\n",
                     static_cast<long long>(result.problems.size()));
        std::abort();
    }
    if (size < 22 && result.ok())
        std::abort(); // nothing that short is a bundle
    return 0;
}
