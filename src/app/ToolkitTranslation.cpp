#include "app/ToolkitTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {
namespace {

constexpr char kCatalogue[] = "qtbase_zh_CN";

} // namespace

QStringList toolkitTranslationFolders() {
    QStringList folders{QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    if (QCoreApplication::instance())
        folders << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    return folders;
}

QString installToolkitTranslation() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return {};
    for (const QString& folder : toolkitTranslationFolders()) {
        auto* translator = new QTranslator(application);
        if (translator->load(QString::fromLatin1(kCatalogue), folder) &&
            QCoreApplication::installTranslator(translator))
            return folder;
        delete translator;
    }
    return {};
}

} // namespace app
