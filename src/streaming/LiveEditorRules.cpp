#include "streaming/LiveEditorRules.h"

#include "streaming/LiveRoom.h"

namespace streaming {

QString chosenValue(const ComboChoice& combo) {
    const QString text = combo.text.trimmed();
    if (!combo.itemData.isEmpty() && text == combo.itemText)
        return combo.itemData;
    return text;
}

QString chosenVideoPath(const ComboChoice& combo, const QString& originalVideoPath) {
    const QString text = combo.text.trimmed();
    if (!combo.itemData.isEmpty() && text == combo.itemText)
        return combo.itemData;
    if (!originalVideoPath.isEmpty() && text == baseName(originalVideoPath))
        return originalVideoPath;
    return baseName(text);
}

ModeFields modeFields(const QString& streamMode) {
    const QString mode = effectiveMode(streamMode);
    const bool pull = mode == QLatin1String(kPullMode);
    const bool audio = mode == QLatin1String(kRandomAudioMode);
    return {!pull, pull, audio, audio, !pull};
}

QString editorRefusal(const EditorValues& values) {
    const bool pull = values.streamMode == QLatin1String(kPullMode);
    if (values.name.isEmpty())
        return QStringLiteral("请输入房间名。");
    if (pull && values.pullUrl.isEmpty())
        return QStringLiteral("请填写拉流地址。");
    if (!pull && values.videoPath.isEmpty())
        return QStringLiteral("请选择视频文件。");
    if (pull && !values.pushUrl.isEmpty() && values.pushUrl.compare(values.pullUrl, Qt::CaseInsensitive) == 0)
        return QStringLiteral("拉流地址和目标推流地址不能相同。");
    if (values.streamMode == QLatin1String(kRandomAudioMode) && values.audioFolder.isEmpty())
        return QStringLiteral("请选择音频目录。");
    return {};
}

QJsonObject editorBody(const EditorValues& values) {
    const bool pull = values.streamMode == QLatin1String(kPullMode);
    const bool audio = values.streamMode == QLatin1String(kRandomAudioMode);
    return {
        {QStringLiteral("name"), values.name},
        {QStringLiteral("videoPath"), pull ? QString() : values.videoPath},
        {QStringLiteral("sourceUrl"), pull ? values.pullUrl : QString()},
        {QStringLiteral("streamMode"), values.streamMode},
        {QStringLiteral("audioFolder"), audio ? values.audioFolder : QString()},
        {QStringLiteral("muteVideoAudio"), audio ? values.muteVideoAudio : true},
        {QStringLiteral("pushUrl"), values.pushUrl},
        {QStringLiteral("loopEnabled"), values.loopEnabled},
    };
}

} // namespace streaming
