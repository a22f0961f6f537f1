#pragma once

// What every libFuzzer harness shares: the input as bytes, without a copy, and a broken promise
// that stops the run with its name, so the finding says which promise broke.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Tessavo::Fuzz {

inline QByteArray inputBytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline void require(bool condition, const char* what, const QString& detail = {})
{
    if (condition)
        return;
    std::fprintf(stderr, "broken promise: %s %s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace Tessavo::Fuzz
