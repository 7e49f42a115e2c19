#pragma once

#include "files/UploadRules.h"
#include "model/Node.h"

#include <QList>
#include <QWidget>

namespace shell {
class Shell;
}
class NodeFilterCombo;
class PercentTableWidget;
struct RecordTableShape;
class QTabWidget;

// Two tables, one row per video and per audio folder of every Node under the filter (or one error row
// for a Node whose list failed); the context menu deletes, empties, filters and opens the upload dialog.
class FilesPage : public QWidget {
public:
    explicit FilesPage(shell::Shell& shell, QWidget* parent = nullptr);

    // Quiet: under the busy text only; loud: behind the busy overlay.
    void load(bool loud);
    void deleteVideo(int row);
    void clearAudioFolder(int row);
    void deleteAudioFolder(int row);
    void openUploadDialog();
    void filterTo(const QString& nodeId);

    NodeFilterCombo* nodeFilter() const { return filter_; }
    QTabWidget* tabs() const { return tabs_; }
    PercentTableWidget* videoTable() const { return videoTable_; }
    PercentTableWidget* audioTable() const { return audioTable_; }
    const QList<files::FileRow>& videoRows() const { return videoRows_; }
    const QList<files::FileRow>& audioRows() const { return audioRows_; }

private:
    PercentTableWidget* buildTable(const RecordTableShape& shape);
    void showContextMenu(PercentTableWidget* table, const QPoint& position);
    void fillTables();
    // The row's Node as it is now (by id); nullptr when the row has no item or the Node is gone.
    const Node* rowNode(const files::FileRow& row) const;
    void runFolderAction(int row, bool removeFolder);

    shell::Shell& shell_;
    NodeFilterCombo* filter_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    PercentTableWidget* videoTable_ = nullptr;
    PercentTableWidget* audioTable_ = nullptr;
    QList<files::FileRow> videoRows_;
    QList<files::FileRow> audioRows_;
};
