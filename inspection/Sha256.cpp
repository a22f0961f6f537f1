#include "inspection/Sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace Tessavo {

struct Sha256::Context {
    EVP_MD_CTX* evp = EVP_MD_CTX_new();
    ~Context()
    {
        EVP_MD_CTX_free(evp);
        // OpenSSL keeps an error queue per thread that used it and frees it only when that
        // thread has ended. A pool thread reports itself finished before it has, so a process
        // that exits right after its last digest could still hold it: free it here instead.
        // The next digest on this thread sets it up again.
        OPENSSL_thread_stop();
    }
};

Sha256::Sha256()
    : m_context(std::make_unique<Context>())
{
    m_ok = m_context->evp && EVP_DigestInit_ex(m_context->evp, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

void Sha256::add(QByteArrayView bytes)
{
    m_ok = m_ok && EVP_DigestUpdate(m_context->evp, bytes.data(), size_t(bytes.size())) == 1;
}

QByteArray Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool done = m_ok && EVP_DigestFinal_ex(m_context->evp, digest, &length) == 1;
    m_ok = false;
    if (!done || length != 32)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

} // namespace Tessavo
