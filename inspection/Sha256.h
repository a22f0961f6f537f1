#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace Tessavo {

// SHA-256 of bytes handed over piece by piece (OpenSSL underneath), for files read once while
// they are copied, hashed or checked.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(QByteArrayView bytes);

    // The 64 lowercase hexadecimal digits of everything added; empty when the digest could not be
    // computed. Ends the hash: later calls return empty.
    [[nodiscard]] QByteArray hex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
    bool m_ok = false;
};

} // namespace Tessavo
