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

// ZIP64: a 16- or 32-bit field that holds its largest value says "see the ZIP64 record". Entries
// and archives that fit the classic fields never carry ZIP64 structures.
inline constexpr quint32 zip64Marker32 = 0xFFFFFFFF;
inline constexpr quint16 zip64Marker16 = 0xFFFF;
inline constexpr quint16 zip64ExtraId = 0x0001;
inline constexpr qint64 extraHeaderBytes = 4; // id and length of one extra field
// The local header's ZIP64 extra field: both sizes.
inline constexpr qint64 zip64LocalExtraBytes = extraHeaderBytes + 16;
inline constexpr quint32 zip64EndRecordSignature = 0x06064B50;
inline constexpr quint32 zip64LocatorSignature = 0x07064B50;
inline constexpr qint64 zip64EndRecordBytes = 56; // without extensible data
inline constexpr qint64 zip64LocatorBytes = 20;
inline constexpr quint16 classicVersion = 20; // version needed: 2.0
inline constexpr quint16 zip64Version = 45;   // version needed: 4.5, ZIP64

} // namespace Tessavo::ZipFormat
