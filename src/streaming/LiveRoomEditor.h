#pragma once

#include "model/Node.h"
#include "streaming/LiveEditorRules.h"
#include "streaming/LiveRoom.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace shell {
class Shell;
}

// "创建房间": a name and the Node the room is created on.
class LiveCreateDialog : public QDialog {
public:
    LiveCreateDialog(const QList<Node>& nodes, const QString& preselectedNodeId, QWidget* parent = nullptr);

    QString roomName() const;
    QString nodeId() const;
    QLineEdit* nameEdit() const { return nameEdit_; }
    QComboBox* nodeCombo() const { return nodeCombo_; }

private:
    QLineEdit* nameEdit_ = nullptr;
    QComboBox* nodeCombo_ = nullptr;
};

// "编辑直播房间": a room's name, mode, media source, audio folder and push target, on a copy of the
// room. The fields a mode does not use are disabled; Save refuses incomplete settings and stays open.
class LiveRoomEditor : public QDialog {
public:
    LiveRoomEditor(shell::Shell& shell, const streaming::LiveRoom& room, QWidget* parent = nullptr);

    // The lists the room's Node offers: videos and audio folders when the room has a Node, and the
    // pull addresses of every Node's ingest rooms.
    void loadInitialLists();
    void reloadVideos();
    void reloadAudioFolders();
    void reloadPullSources();

    streaming::EditorValues values() const;
    QString chosenNodeId() const;

    QLineEdit* nameEdit() const { return nameEdit_; }
    QComboBox* modeCombo() const { return modeCombo_; }
    QComboBox* videoCombo() const { return videoCombo_; }
    QComboBox* pullCombo() const { return pullCombo_; }
    QComboBox* audioCombo() const { return audioCombo_; }
    QLineEdit* pushEdit() const { return pushEdit_; }
    QCheckBox* muteCheck() const { return muteCheck_; }
    QCheckBox* loopCheck() const { return loopCheck_; }
    QPushButton* saveButton() const { return saveButton_; }

private:
    QWidget* buildBasicGroup();
    QWidget* buildMediaGroup();
    QWidget* buildPushGroup();
    QPushButton* refreshButton(void (LiveRoomEditor::*reload)());
    void applyMode();
    void trySave();
    // The Node chosen in the Node combo, or nullptr with the notice shown.
    const Node* chosenNodeOrNotice();

    shell::Shell& shell_;
    streaming::LiveRoom room_;
    QLineEdit* nameEdit_ = nullptr;
    QComboBox* nodeCombo_ = nullptr;
    QComboBox* modeCombo_ = nullptr;
    QCheckBox* muteCheck_ = nullptr;
    QComboBox* videoCombo_ = nullptr;
    QPushButton* videoRefresh_ = nullptr;
    QComboBox* pullCombo_ = nullptr;
    QPushButton* pullRefresh_ = nullptr;
    QComboBox* audioCombo_ = nullptr;
    QPushButton* audioRefresh_ = nullptr;
    QLineEdit* pushEdit_ = nullptr;
    QCheckBox* loopCheck_ = nullptr;
    QPushButton* saveButton_ = nullptr;
};
