#pragma once

#include "model/Node.h"

#include <QDialog>
#include <QList>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace streaming {

struct RtmpRoom;

// What the room dialog hands back: the members of the create or save request, and for a new room the
// Node it goes to.
struct RtmpRoomInput {
    QString name;
    bool enabled = true;
    QString roomKey; // editing: the room's current key, sent back unchanged
    QString nodeId;  // creating: the chosen Node
};

// Create or edit one RTMP room: its name, its Node (fixed when editing) and whether it is enabled.
class RtmpRoomDialog : public QDialog {
public:
    // editing null: create mode, the Node named by filterNodeId preselected (the first Node otherwise).
    RtmpRoomDialog(const QList<Node>& nodes, const RtmpRoom* editing, const QString& filterNodeId,
                   QWidget* parent = nullptr);

    // Filled when Save was pressed with a name; empty after cancel. Without a name Save warns and the
    // dialog stays open.
    const std::optional<RtmpRoomInput>& result() const { return result_; }

private:
    void save();

    bool creating_ = true;
    QString roomKey_;
    QLineEdit* nameEdit_ = nullptr;
    QComboBox* nodeCombo_ = nullptr;
    QCheckBox* enabledBox_ = nullptr;
    std::optional<RtmpRoomInput> result_;
};

// Runs the dialog modally; empty when it was cancelled.
std::optional<RtmpRoomInput> askRtmpRoom(QWidget* parent, const QList<Node>& nodes, const RtmpRoom* editing,
                                         const QString& filterNodeId);

// The MediaMTX log of a Node (or why it could not be read) in a modal read-only view.
void showRtmpLog(QWidget* parent, const QString& text);

} // namespace streaming
