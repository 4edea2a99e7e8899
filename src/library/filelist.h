#pragma once
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "library/file_ops.h"

namespace mainwindow {
class SkinButton;
}

namespace library {

class TForm2;

// State of the file list that the main window reads while docking.
struct FileListState {
    bool IsFileListCreated = false;
    bool IsTagEditorShown = false;
    int LastClickRow = 0; // grid row of the last mouse-up: 0 header, -1 outside
};
extern FileListState FileList;

// Draws one item of the grid's popup menu: draw index 0 separator, 1 Play,
// 2 Stop, 3 Rename, 4 Convert, 5 Move, 6 Delete.
void DrawMenuItem(QPainter& p, const QRect& r, int drawIndex, bool selected);

class FileGrid;

// The file list window.
class TForm2 : public QWidget, public ListAccess {
    Q_OBJECT
  public:
    explicit TForm2(FileListPeers& peers, QWidget* parent = nullptr);
    ~TForm2() override;

    // What the file operations see of the list.
    std::vector<std::string> SelectedRowPaths() const override;
    bool IsEmpty() const override;
    void Rescan() override;
    void SetGridEnabled(bool on) override;
    QWidget* MainWindow() override;

    void FindFiles();
    void ShowFiles();
    void SelectFile();
    void ShowFileCaption() override;
    void FileDelete();

    // Grid rows count as the list does: row 0 is the header, rows 1..n the
    // recordings. The widget shows RecordingList.Grid; this copies it over.
    void SyncGrid();
    std::string RowPath(int row) const;
    std::string CellText(int row, int col) const;
    int RowCount() const; // with the header row

    // Select-cell event of the grid for row r.
    void SGridFilesSelectCell(int row);
    // Mouse-up on the grid: row -1 outside, 0 header (with the header's x).
    void SGridFilesMouseUp(int row, int x);
    void SGridFilesDblClick();
    void SGridFilesKeyDown(int key);
    void PMenuPopup();

    FileGrid* SGridFiles;
    QLabel* ImageFileList;
    QLabel* ImageFileProp;
    QLabel* LabFile;
    QLabel* LabProp;
    mainwindow::SkinButton* ImageTag;
    QMenu* PMenu;
    QAction *pmPlay, *pmStop, *pmRename, *pmWav2MP3, *pmMove, *pmDelete;

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    void ImageTagClick();
    FileListPeers& peers_;
};

// The grid: the header row and the cells are drawn here, not by the style.
class FileGrid : public QTableWidget {
    Q_OBJECT
  public:
    explicit FileGrid(TForm2* owner);

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    TForm2* owner_;
};

class FileGridHeader : public QHeaderView {
    Q_OBJECT
  public:
    explicit FileGridHeader(TForm2* owner);

  protected:
    void paintSection(QPainter* p, const QRect& rect, int logicalIndex) const override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    TForm2* owner_;
};

} // namespace library
