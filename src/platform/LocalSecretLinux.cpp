#include "platform/LocalSecret.h"

#ifndef Q_OS_WIN

#include "crypto/CryptoPrimitives.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kKeyLength = 32;
constexpr int kNonceLength = 12;
constexpr int kTagLength = 16;
constexpr char kMagic[] = "ODP1";
constexpr int kMagicLength = 4;
// Plays the role of the description given to the system's protection call.
const QByteArray kAssociatedData = QByteArrayLiteral("Ondivo");

QByteArray readKeyFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return {};
    struct stat info {};
    QByteArray key;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        info.st_size == kKeyLength) {
        if ((info.st_mode & 077) != 0)
            ::fchmod(fd, S_IRUSR | S_IWUSR); // never leave the key readable by others
        key.resize(kKeyLength);
        if (::read(fd, key.data(), kKeyLength) != kKeyLength)
            crypto::wipe(key);
    }
    ::close(fd);
    return key;
}

// Writes a fresh key under a temporary name and links it into place, so two processes racing on
// the first use agree on one key (the loser reads the winner's).
bool createKeyFile(const QString& path) {
    QByteArray key = crypto::randomBytes(kKeyLength);
    if (key.size() != kKeyLength)
        return false;
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temp = target + ".tmp." + QByteArray::number(qint64(::getpid()));
    ::unlink(temp.constData());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        crypto::wipe(key);
        return false;
    }
    const bool written = ::write(fd, key.constData(), kKeyLength) == kKeyLength && ::fsync(fd) == 0;
    ::close(fd);
    crypto::wipe(key);
    bool placed = false;
    if (written) {
        if (::link(temp.constData(), target.constData()) == 0 || errno == EEXIST)
            placed = true;
    }
    ::unlink(temp.constData());
    return placed;
}

QByteArray loadMasterKey(bool createIfMissing) {
    const QString path = masterKeyPath();
    QByteArray key = readKeyFile(path);
    if (!key.isEmpty() || !createIfMissing)
        return key;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        // A damaged key file can open nothing any more; replace it so new secrets can be stored.
        QFile::remove(path);
    }
    if (!createKeyFile(path))
        return {};
    return readKeyFile(path);
}

} // namespace

QString masterKeyPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ondivo/local-secret.key");
}

QByteArray protectData(const QByteArray& plain) {
    QByteArray key = loadMasterKey(true);
    if (key.isEmpty())
        return {};
    const QByteArray nonce = crypto::randomBytes(kNonceLength);
    QByteArray cipher;
    QByteArray tag(kTagLength, '\0');
    const bool ok = nonce.size() == kNonceLength &&
                    crypto::aesGcmCrypt(true, key, nonce, plain, cipher, tag, kAssociatedData);
    crypto::wipe(key);
    if (!ok)
        return {};
    return QByteArray(kMagic, kMagicLength) + nonce + cipher + tag;
}

QByteArray unprotectData(const QByteArray& blob, bool* ok) {
    if (ok)
        *ok = false;
    if (blob.size() < kMagicLength + kNonceLength + kTagLength || !blob.startsWith(kMagic))
        return {};
    QByteArray key = loadMasterKey(false);
    if (key.isEmpty())
        return {};
    const QByteArray nonce = blob.mid(kMagicLength, kNonceLength);
    const QByteArray cipher =
        blob.mid(kMagicLength + kNonceLength, blob.size() - kMagicLength - kNonceLength - kTagLength);
    QByteArray tag = blob.right(kTagLength);
    QByteArray plain;
    const bool opened = crypto::aesGcmCrypt(false, key, nonce, cipher, plain, tag, kAssociatedData);
    crypto::wipe(key);
    if (!opened)
        return {};
    if (ok)
        *ok = true;
    return plain;
}

} // namespace platform

#endif
