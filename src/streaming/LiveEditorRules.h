#pragma once

#include <QJsonObject>
#include <QString>

// How the live room editor turns what its fields show into the values it saves.
namespace streaming {

// An editable combo as the editor reads it on save.
struct ComboChoice {
    QString text;     // the combo's current text
    QString itemText; // the current item's text ("" when no item is current)
    QString itemData; // the current item's data
};

// The item's data when the text still shows that item, else the trimmed text.
QString chosenValue(const ComboChoice& combo);
// The video path to save. A typed text counts by its base name (the Agent resolves names within its
// video folder); when the text still shows the base name of the room's original path, that path
// is kept, so saving other fields never moves "sub/x.mp4" to "x.mp4".
QString chosenVideoPath(const ComboChoice& combo, const QString& originalVideoPath);

// Which editor fields the mode allows.
struct ModeFields {
    bool video = true;
    bool pull = false;
    bool audio = false;
    bool mute = false; // shown and enabled
    bool loop = true;
};
ModeFields modeFields(const QString& streamMode);

struct EditorValues {
    QString name;
    QString streamMode;
    QString videoPath;
    QString pullUrl;
    QString audioFolder;
    QString pushUrl;
    bool muteVideoAudio = true;
    bool loopEnabled = true;
};

// The first refusal of a save, or empty when it may go.
QString editorRefusal(const EditorValues& values);
// The eight-member body of a save: fields the mode does not use are sent empty (mute: true).
QJsonObject editorBody(const EditorValues& values);

} // namespace streaming
