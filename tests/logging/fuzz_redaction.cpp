// libFuzzer harness for the log redaction (built only with clang; see tests/CMakeLists.txt).
// Each input is cleaned once as UTF-8 and once as raw UTF-16 (lone surrogates included); any
// broken promise aborts, and libFuzzer's -timeout catches a pattern that backtracks.
#include "RedactionInvariants.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void require(const QString& what, const QString& input)
{
    if (what.isEmpty())
        return;
    std::fprintf(stderr, "%s\ninput: %s\n", qPrintable(what), qPrintable(input));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString utf8 = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    require(RedactionInvariants::check(utf8), utf8);

    QString utf16(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, (size / 2) * 2);
    require(RedactionInvariants::check(utf16), utf16);
    return 0;
}
