#include "updater/PackageHash.h"

#include "updater/UpdateFailure.h"
#include "updater/UpdaterTiming.h"

#include <QCryptographicHash>
#include <QFile>

namespace updater {

QString sha256OfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw UpdateFailure(QStringLiteral("无法打开文件: ") + path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(int(kHashBlockBytes), Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(block.data(), block.size());
        if (read < 0)
            throw UpdateFailure(QStringLiteral("读取文件失败: ") + path);
        if (read == 0)
            break;
        hash.addData(QByteArrayView(block.constData(), read));
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString normalisedDigest(const QString& text) {
    return text.trimmed().toLower();
}

} // namespace updater
