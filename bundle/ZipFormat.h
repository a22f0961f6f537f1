#pragma once

#include <QtGlobal>

// The fixed parts of the ZIP format that both the writer and the verifier rely on.
namespace Tessavo::ZipFormat {

inline constexpr quint32 localHeaderSignature = 0x04034B50;
inline constexpr quint32 centralHeaderSignature = 0x02014B50;
inline constexpr quint32 endRecordSignature = 0x06054B50;
inline constexpr qint64 localHeaderBytes = 30;
inline constexpr qint64 centralHeaderBytes = 46;
inline constexpr qint64 endRecordBytes = 22;

} // namespace Tessavo::ZipFormat
