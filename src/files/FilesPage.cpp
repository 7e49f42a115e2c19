#include "files/FilesPage.h"

#include "app/TextFormats.h"
#include "files/UploadDialog.h"
#include "fleet/ListRows.h"
#include "fleet/NodeBatch.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"
#include "shell/AgentCall.h"
#include "shell/BusyScope.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

#include <QHeaderView>
#include <QMenu>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <optional>

using files::FileRow;

namespace {

const QString kOk = QStringLiteral("正常");

QString folderNameOf(const FileRow& row) {
    return row.item.value(QLatin1String("name")).toString().trimmed();
}

QStringList videoCells(const FileRow& row) {
    if (!row.hasItem())
        return {row.nodeLabel, QStringLiteral("--"), QStringLiteral("--"), QStringLiteral("--"),
                row.stateText};
    return {row.nodeLabel, files::videoNameOf(row.item), files::sizeCellText(row.item),
            files::updatedCellText(row.item), row.stateText};
}

QStringList audioCells(const FileRow& row) {
    if (!row.hasItem())
        return {row.nodeLabel, QStringLiteral("--"), QStringLiteral("--"), QStringLiteral("--"),
                row.stateText};
    const QJsonValue count = row.item.value(QLatin1String("fileCount"));
    const QString name = row.item.value(QLatin1String("name")).toString();
    return {row.nodeLabel, name.isEmpty() ? QStringLiteral("--") : name,
            count.isUndefined() || count.isNull() ? QStringLiteral("--") : fmt::count(count.toDouble()),
            files::updatedCellText(row.item), row.stateText};
}

void fillTable(PercentTableWidget* table, const QList<FileRow>& rows,
               QStringList (*cellsOf)(const FileRow&)) {
    const TableFill fill(table);
    table->setRowCount(0);
    table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList cells = cellsOf(rows[r]);
        for (int c = 0; c < cells.size(); ++c)
            table->setCellText(r, c, cells[c]);
    }
}

// One Node's list: no more of it than a page shows (the Node's label goes to cut when the Agent listed
// more), or its error row. The reply may hold no more than such a list needs.
QList<FileRow> nodeRows(const fleet::NodeRef& target, const QString& path, const char* listKey,
                        QStringList& cut) {
    int status = 0;
    QJsonObject reply = net::agentListRequest(target.node, path, &status);
    const fleet::CappedList list = fleet::cappedList(reply, QLatin1String(listKey));
    if (list.isCut()) {
        reply.insert(QLatin1String(listKey), list.items);
        cut << nodeLabel(target.node);
    }
    return files::fileRowsOf(target.id, nodeLabel(target.node), reply, status, listKey);
}

} // namespace

FilesPage::FilesPage(shell::Shell& shell, QWidget* parent) : QWidget(parent), shell_(shell) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    filter_ = new NodeFilterCombo(this);
    filter_->hide();
    tabs_ = new QTabWidget;
    videoTable_ = buildTable({QStringLiteral("filesVideoTable"),
                              {QStringLiteral("节点"), QStringLiteral("视频文件"), QStringLiteral("大小"),
                               QStringLiteral("更新时间"), QStringLiteral("状态")},
                              120,
                              {38, 16, 22, 24},
                              QAbstractItemView::ExtendedSelection,
                              false});
    audioTable_ = buildTable({QStringLiteral("filesAudioTable"),
                              {QStringLiteral("节点"), QStringLiteral("音频目录"), QStringLiteral("文件数"),
                               QStringLiteral("更新时间"), QStringLiteral("状态")},
                              120,
                              {38, 12, 24, 26},
                              QAbstractItemView::ExtendedSelection,
                              false});
    tabs_->addTab(videoTable_, QStringLiteral("视频文件"));
    tabs_->addTab(audioTable_, QStringLiteral("音频目录"));
    layout->addWidget(tabs_);
    shell_.whenNodesLoaded(this, [this] { filter_->rebuild(shell_.nodes()); });
    filter_->rebuild(shell_.nodes());
}

PercentTableWidget* FilesPage::buildTable(const RecordTableShape& shape) {
    auto* table = new PercentTableWidget(shape);
    connect(table, &QWidget::customContextMenuRequested, this,
            [this, table](const QPoint& position) { showContextMenu(table, position); });
    return table;
}

void FilesPage::load(bool loud) {
    // A quiet load shows its progress in the status line only.
    std::optional<shell::BusyScope> busy;
    if (loud)
        busy.emplace(shell_, QStringLiteral("加载视频文件..."));
    else
        shell_.setBusyText(QStringLiteral("加载视频文件..."));
    const QList<fleet::NodeRef> targets = fleet::snapshotFiltered(shell_.nodes(), filter_->selectedNodeId());
    QList<FileRow> videos, audios;
    QStringList cut;
    for (const fleet::NodeRef& target : targets)
        videos << nodeRows(target, QStringLiteral("/files/videos"), "files", cut);
    shell_.setBusyText(QStringLiteral("加载音频文件..."));
    for (const fleet::NodeRef& target : targets)
        audios << nodeRows(target, QStringLiteral("/files/audio-folders"), "folders", cut);
    videoRows_ = videos;
    audioRows_ = audios;
    fillTables();
    // The quiet load wrote its progress into the status line too; it must not keep saying "loading".
    const QString done = fleet::withCutNotice(QStringLiteral("文件加载完成"), cut);
    if (busy)
        busy->finish(done);
    else
        shell_.setStatusText(done);
}

void FilesPage::fillTables() {
    fillTable(videoTable_, videoRows_, videoCells);
    fillTable(audioTable_, audioRows_, audioCells);
}

const Node* FilesPage::rowNode(const FileRow& row) const {
    return row.hasItem() ? shell_.nodeById(row.nodeId) : nullptr;
}

void FilesPage::showContextMenu(PercentTableWidget* table, const QPoint& position) {
    const QModelIndex index = table->indexAt(position);
    if (index.isValid())
        table->setCurrentCell(index.row(), 0);
    const int row = table->currentRow();
    const bool isVideo = table == videoTable_;
    const QList<FileRow>& rows = isVideo ? videoRows_ : audioRows_;
    const FileRow* current = row >= 0 && row < rows.size() ? &rows[row] : nullptr;
    const bool hasItem = current && rowNode(*current);

    QMenu menu(this);
    menu.addAction(QStringLiteral("刷新"), this, [this] { load(true); });
    menu.addAction(QStringLiteral("上传文件"), this, [this] { openUploadDialog(); });
    if (hasItem && isVideo) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("删除文件"), this, [this, row] { deleteVideo(row); });
    } else if (hasItem) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("清空文件"), this, [this, row] { clearAudioFolder(row); });
        menu.addAction(QStringLiteral("删除目录"), this, [this, row] { deleteAudioFolder(row); });
    }
    menu.addAction(QStringLiteral("显示全部"), this, [this] { filterTo(QString()); });
    if (current) {
        menu.addSeparator();
        const QString nodeId = current->nodeId;
        menu.addAction(QStringLiteral("只看本节点"), this, [this, nodeId] { filterTo(nodeId); });
    }
    menu.exec(table->viewport()->mapToGlobal(position));
}

void FilesPage::filterTo(const QString& nodeId) {
    const int index = nodeId.isEmpty() ? 0 : filter_->findData(nodeId);
    if (index >= 0)
        filter_->setCurrentIndex(index);
    load(true);
}

void FilesPage::deleteVideo(int row) {
    const FileRow target = row >= 0 && row < videoRows_.size() ? videoRows_[row] : FileRow();
    const Node* found = rowNode(target);
    const QString fileName = files::videoNameOf(target.item);
    if (!found || fileName.isEmpty())
        return ui::information(shell_.dialogParent(), QStringLiteral("当前行没有可删除的视频文件。"));
    const Node node = *found;
    if (!ui::question(shell_.dialogParent(),
                      QStringLiteral("确定删除节点 %1 的视频文件 %2 吗？").arg(target.nodeLabel, fileName)))
        return;
    // The path the list gave, so a same-named file in another subfolder is never the one removed.
    const QString path = files::videoPathOf(target.item);
    const net::RequestResult result = net::agentCall(node, QStringLiteral("DELETE"),
                                                     QStringLiteral("/files/videos?file=") +
                                                         QString::fromLatin1(QUrl::toPercentEncoding(path)),
                                                     {{QStringLiteral("file"), path}});
    if (shell::warnIfFailed(shell_.dialogParent(), QStringLiteral("删除视频文件失败: "), result))
        return;
    shell_.setStatusText(QStringLiteral("视频文件已删除：") + fileName);
    load(false);
}

void FilesPage::clearAudioFolder(int row) {
    runFolderAction(row, false);
}

void FilesPage::deleteAudioFolder(int row) {
    runFolderAction(row, true);
}

void FilesPage::runFolderAction(int row, bool removeFolder) {
    const FileRow target = row >= 0 && row < audioRows_.size() ? audioRows_[row] : FileRow();
    const Node* found = rowNode(target);
    const QString name = folderNameOf(target);
    if (!found || name.isEmpty())
        return ui::information(shell_.dialogParent(), removeFolder
                                                          ? QStringLiteral("当前行没有可删除的音频目录。")
                                                          : QStringLiteral("当前行没有可清空的音频目录。"));
    const Node node = *found;
    const QString question = removeFolder
                                 ? QStringLiteral("确定删除节点 %1 的音频目录 %2 及其全部音频文件吗？")
                                 : QStringLiteral("确定清空节点 %1 的音频目录 %2 吗？目录会保留。");
    if (!ui::question(shell_.dialogParent(), question.arg(target.nodeLabel, name)))
        return;
    const QJsonObject body{{QStringLiteral("folder"), name}};
    const net::RequestResult result =
        removeFolder ? net::agentCall(node, QStringLiteral("DELETE"),
                                      QStringLiteral("/files/audio-folders?folder=") +
                                          QString::fromLatin1(QUrl::toPercentEncoding(name)),
                                      body)
                     : net::agentCall(node, QStringLiteral("POST"),
                                      QStringLiteral("/files/audio-folders/clear"), body);
    if (shell::warnIfFailed(shell_.dialogParent(),
                            removeFolder ? QStringLiteral("删除音频目录失败: ")
                                         : QStringLiteral("清空音频目录失败: "),
                            result))
        return;
    shell_.setStatusText(
        (removeFolder ? QStringLiteral("音频目录已删除：") : QStringLiteral("音频目录已清空：")) + name);
    load(false);
}

void FilesPage::openUploadDialog() {
    if (shell_.nodes().isEmpty())
        return ui::information(shell_.dialogParent(), QStringLiteral("请先导入节点。"));
    UploadDialog dialog(shell_.nodes(), filter_->selectedNodeId(), shell_.dialogParent());
    ui::execDialog(dialog);
    load(true);
}
