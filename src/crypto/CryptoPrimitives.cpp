#include "crypto/CryptoPrimitives.h"

#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace crypto {
namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

const unsigned char* bytesOf(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

unsigned char* bytesOf(QByteArray& data) {
    return reinterpret_cast<unsigned char*>(data.data());
}

bool prepareGcm(EVP_CIPHER_CTX* ctx, bool encrypt, const QByteArray& key, const QByteArray& nonce) {
    if (EVP_CipherInit_ex(ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr, encrypt ? 1 : 0) != 1)
        return false;
    if (EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_IVLEN, int(nonce.size()), nullptr) != 1)
        return false;
    return EVP_CipherInit_ex(ctx, nullptr, nullptr, bytesOf(key), bytesOf(nonce), -1) == 1;
}

} // namespace

QByteArray randomBytes(int n) {
    if (n <= 0)
        return {};
    QByteArray out(n, Qt::Uninitialized);
    if (RAND_bytes(bytesOf(out), n) != 1)
        return {};
    return out;
}

QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int keyLength) {
    if (keyLength <= 0 || iterations <= 0)
        return {};
    QByteArray key(keyLength, Qt::Uninitialized);
    const int ok = PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), bytesOf(salt),
                                     int(salt.size()), iterations, EVP_sha256(), keyLength, bytesOf(key));
    if (ok != 1) {
        wipe(key);
        return {};
    }
    return key;
}

bool aesGcmCrypt(bool encrypt, const QByteArray& key, const QByteArray& nonce, const QByteArray& input,
                 QByteArray& output, QByteArray& tag, const QByteArray& aad) {
    if (key.size() != 32 || nonce.isEmpty())
        return false;
    if (tag.isEmpty())
        tag = QByteArray(16, '\0');
    if (tag.size() < 4 || tag.size() > 16)
        return false;
    CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx || !prepareGcm(ctx.get(), encrypt, key, nonce))
        return false;

    int length = 0;
    if (!aad.isEmpty() && EVP_CipherUpdate(ctx.get(), nullptr, &length, bytesOf(aad), int(aad.size())) != 1)
        return false;

    QByteArray result(input.size() + 16, Qt::Uninitialized);
    int written = 0;
    if (!input.isEmpty()) {
        if (EVP_CipherUpdate(ctx.get(), bytesOf(result), &length, bytesOf(input), int(input.size())) != 1)
            return false;
        written = length;
    }
    if (!encrypt && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, int(tag.size()), tag.data()) != 1)
        return false;
    if (EVP_CipherFinal_ex(ctx.get(), bytesOf(result) + written, &length) != 1) {
        wipe(result); // authentication failed: never hand out unverified plaintext
        return false;
    }
    written += length;
    if (encrypt && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, int(tag.size()), tag.data()) != 1)
        return false;
    result.truncate(written);
    output = result;
    return true;
}

QByteArray sha256(const QByteArray& data) {
    QByteArray digest(32, Qt::Uninitialized);
    unsigned int length = 0;
    // EVP_Digest cleanses its context before returning.
    if (EVP_Digest(data.constData(), size_t(data.size()), bytesOf(digest), &length, EVP_sha256(), nullptr) !=
            1 ||
        length != 32) {
        wipe(digest);
        return {};
    }
    return digest;
}

void wipe(QByteArray& bytes) {
    if (!bytes.isEmpty())
        OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

} // namespace crypto
