#pragma once

#include <QByteArray>

// Thin wrappers over OpenSSL's EVP interface. Every failure is reported as an empty result or false.
namespace crypto {

// n bytes from the system's cryptographic generator; empty on failure.
QByteArray randomBytes(int n);

// PBKDF2 with HMAC-SHA256; empty on failure.
QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int keyLength);

// AES-256-GCM over the whole input in one call. Encrypting writes the ciphertext (same length as the
// input) and a tag of tag.size() bytes (16 when empty); decrypting verifies tag and writes the
// plaintext. aad may be empty.
bool aesGcmCrypt(bool encrypt, const QByteArray& key, const QByteArray& nonce, const QByteArray& input,
                 QByteArray& output, QByteArray& tag, const QByteArray& aad = QByteArray());

// SHA-256 of data, computed so that no copy of the input or the digest state is left behind.
QByteArray sha256(const QByteArray& data);

// Overwrites the buffer's bytes before it is released (key material).
void wipe(QByteArray& bytes);

} // namespace crypto
