#pragma once
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

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

// The scan and the sort of the recordings fill the grid through TForm2's
// grid calls (ResetGrid, SetRow, SelectRow); they are reached through here.
struct ScanHooks {
    std::function<void(TForm2&)> FindFiles;
    std::function<void(TForm2&)> ShowFiles;
};
ScanHooks& Scan();

// Draws one item of the grid's popup menu: draw index 0 separator, 1 Play,
// 2 Stop, 3 Rename, 4 Convert, 5 Move, 6 Delete.
void DrawMenuItem(QPainter& p, const QRect& r, int drawIndex, bool selected);

class FileGrid;

// The file list window.
class TForm2 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    void FindFiles();
    void ShowFiles();
    void SelectFile();
    void ShowFileCaption();
    void FileDelete();

    // Grid rows as the spec of the list counts them: row 0 is the header,
    // rows 1..n the recordings.
    // Clears the selection and the rows; then `count` rows (at least one, empty).
    void ResetGrid(int count);
    void SetRow(int row, const std::string& path, const std::string& name,
                const std::string& duration, const std::string& dateTime);
    void SelectRow(int row);
    std::string RowPath(int row) const;
    std::string CellText(int row, int col) const;
    // RowPaths of the selected rows, top to bottom.
    std::vector<std::string> SelectedRowPaths() const;
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
    std::vector<std::string> rowPaths_; // index 0 unused
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
