#include "library/filelist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QWindow>

#include "core/settings.h"
#include "core/state.h"
#include "library/convert.h"
#include "library/file_ops.h"
#include "library/scan.h"
#include "mainwindow/images.h"
#include "mainwindow/skin_button.h"

namespace library {

FileListState FileList;

namespace {

const QColor kHeaderFill(101, 115, 120);
const QColor kHeaderBorder(80, 80, 80);
const QColor kHeaderText(224, 224, 232);
const QColor kSelectedFill(133, 147, 152);
const QColor kSelectedText(0, 70, 0);
constexpr int kCaptionWidth = 300;

// Grid icon of a file by its extension; empty for other files.
QString GridIconName(const std::string& ext) {
    if (ext == ".WAV") return "ImageWav_24";
    if (ext == ".MP3") return "ImageMP3_24";
    if (ext == ".WMA") return "ImageWMA_24";
    if (ext == ".OGG") return "ImageOgg_24";
    if (ext == ".FLAC") return "ImageFlac_24";
    return {};
}

QString CaptionIconName(const std::string& ext) {
    if (ext == ".MP3") return "ImageMP3";
    if (ext == ".WAV") return "ImageWav";
    if (ext == ".OGG") return "ImageOgg";
    if (ext == ".WMA") return "ImageWMA";
    if (ext == ".FLAC") return "ImageFlac";
    return {};
}

class CellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& opt,
               const QModelIndex& index) const override {
        const QRect r = opt.rect;
        const bool selected = opt.state & QStyle::State_Selected;
        p->save();
        p->fillRect(r, selected ? kSelectedFill : mainwindow::SkinColor);
        p->setPen(selected ? kSelectedText : mainwindow::AccentColor);
        p->setClipRect(r);
        const QString text = index.data().toString();
        p->drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        if (index.column() == 0) {
            const QString icon = GridIconName(UpperExtension(text.toStdString()));
            // The eight leading blanks of the name leave room for the icon.
            if (!icon.isEmpty())
                p->drawPixmap(r.left() + 1, r.top() - 3,
                              mainwindow::Form4().Picture(icon).scaled(24, 24, Qt::KeepAspectRatio,
                                                                       Qt::SmoothTransformation));
        }
        p->restore();
    }
};

// The popup menu draws its own items.
class FileMenu : public QMenu {
  public:
    using QMenu::QMenu;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (QAction* a : actions()) {
            if (!a->isVisible()) continue;
            const int index = a->isSeparator() ? 0 : a->data().toInt();
            DrawMenuItem(p, actionGeometry(a), index, a == activeAction() && a->isEnabled());
        }
    }
};

} // namespace

void DrawMenuItem(QPainter& p, const QRect& rect, int drawIndex, bool selected) {
    // The raster rules: right and bottom are one past the item.
    const int left = rect.left(), top = rect.top();
    const int right = rect.left() + rect.width(), bottom = rect.top() + rect.height();
    const int height = rect.height();
    p.save();
    if (selected) {
        p.setPen(QColor(130, 150, 135));
        p.setBrush(QColor(245, 255, 240));
        p.drawRect(left, top, rect.width() - 1, height - 1);
        for (int b = 0; b <= height - 3; ++b) {
            p.setPen(QColor(std::max(0, 245 - 2 * b), std::max(0, 255 - 2 * b),
                            std::max(0, 240 - 2 * b)));
            p.drawLine(left + 1, top + 1 + b, right - 2, top + 1 + b);
        }
    } else {
        p.fillRect(rect, QColor(235, 235, 230));
        for (int x = 20; x >= 0; --x) {
            p.setPen(QColor(255 - 3 * x, 255 - 3 * x, 255 - 3 * x));
            p.drawLine(x, top, x, bottom - 1);
        }
        if (drawIndex == 0) {
            p.setPen(QColor(150, 150, 150));
            // Styles that make separators thinner than that get it in their middle.
            const int y = top + std::min(3, height / 2);
            p.drawLine(2, y, right - 1, y);
        }
    }
    if (drawIndex > 0) {
        const auto& s = core::Session;
        QColor text = selected ? QColor(0, 0, 60) : QColor(0, 0, 0);
        if (s.IsRecording || s.SelectedFile.empty()) {
            text = QColor(192, 192, 192);
        } else {
            p.drawPixmap(
                1, top + 1,
                mainwindow::Form4().Picture(QString("ImageListMenu_%1").arg(drawIndex - 1)));
        }
        p.setPen(text);
        p.drawText(QRect(25, top + 1, right - 25, height - 1), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(MenuItemText(drawIndex)));
    }
    p.restore();
}

// ---- grid ----

FileGrid::FileGrid(TForm2* owner) : QTableWidget(owner), owner_(owner) {
    setColumnCount(3);
    setHorizontalHeader(new FileGridHeader(owner));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(17);
    horizontalHeader()->setFixedHeight(17);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setItemDelegate(new CellDelegate(this));
    setWordWrap(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, mainwindow::SkinColor);
    pal.setColor(QPalette::Window, mainwindow::SkinColor);
    pal.setColor(QPalette::Text, QColor(208, 208, 216));
    setPalette(pal);
    setColumnWidth(0, 160);
    setColumnWidth(1, 60);
    setColumnWidth(2, 135);
}

void FileGrid::mouseReleaseEvent(QMouseEvent* e) {
    QTableWidget::mouseReleaseEvent(e);
    const int row = rowAt(e->position().toPoint().y());
    owner_->SGridFilesMouseUp(row < 0 ? -1 : row + 1, e->position().toPoint().x());
}

void FileGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    QTableWidget::mouseDoubleClickEvent(e);
    owner_->SGridFilesDblClick();
}

void FileGrid::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Delete:
        owner_->SGridFilesKeyDown(e->key());
        return;
    default:
        QTableWidget::keyPressEvent(e);
    }
}

FileGridHeader::FileGridHeader(TForm2* owner) : QHeaderView(Qt::Horizontal, owner), owner_(owner) {
    setSectionsClickable(false);
    setHighlightSections(false);
}

void FileGridHeader::paintSection(QPainter* p, const QRect& rect, int col) const {
    p->save();
    const QRect box(rect.left(), rect.top() - 1, rect.width(), rect.height() + 1);
    p->setPen(kHeaderBorder);
    p->setBrush(kHeaderFill);
    p->drawRect(box.adjusted(0, 0, -1, -1));
    p->setPen(kHeaderText);
    static const char* const texts[] = {" Name", "Duration", "Date          Time"};
    static const int textX[] = {36, 16, 20};
    if (col < 0 || col > 2) {
        p->restore();
        return;
    }
    p->drawText(QRect(rect.left() + textX[col], rect.top(), rect.width(), rect.height()),
                Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, texts[col]);
    const int sort = core::Settings.Sort;
    if (sort >= 1 && sort <= 6 && (sort - 1) / 2 == col) {
        const bool ascending = sort % 2 == 1;
        const int x = rect.left() + (col == 0 ? 20 : 2);
        p->drawPixmap(x, rect.top() + 2, 16, 16,
                      mainwindow::Form4().Picture(ascending ? "ImageUp" : "ImageDown"));
    }
    p->restore();
}

void FileGridHeader::mousePressEvent(QMouseEvent* e) {
    e->accept();
}

void FileGridHeader::mouseReleaseEvent(QMouseEvent* e) {
    owner_->SGridFilesMouseUp(0, e->position().toPoint().x());
}

// ---- window ----

TForm2::TForm2(FileListPeers& peers, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), peers_(peers) {
    setWindowTitle("Kestrune");
    setFixedSize(399, 299);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, mainwindow::SkinColor);
    setPalette(pal);
    QFont f("Liberation Sans");
    f.setPixelSize(11);
    setFont(f);

    auto& store = mainwindow::Form4();
    ImageFileList = new QLabel(this);
    ImageFileList->setGeometry(0, 0, 399, 299);
    ImageFileList->setPixmap(store.Picture("ImageFileList"));
    ImageFileList->setMouseTracking(true);
    ImageFileList->installEventFilter(this);

    SGridFiles = new FileGrid(this);
    SGridFiles->setGeometry(16, 18, 368, 239);
    SGridFiles->setContextMenuPolicy(Qt::CustomContextMenu);

    ImageTag = new mainwindow::SkinButton(this, "ImageTag1", "ImageTag2", QPoint(364, 268));
    ImageTag->setToolTip("TAG Editor");
    ImageTag->onClick = [this] { ImageTagClick(); };

    ImageFileProp = new QLabel(this);
    ImageFileProp->setGeometry(18, 273, 16, 16);
    ImageFileProp->setToolTip("File Properties");
    ImageFileProp->setPixmap(store.Picture("ImageProp"));
    LabFile = new QLabel(this);
    LabFile->move(35, 274);
    LabFile->setToolTip("File Properties");
    LabProp = new QLabel(this);
    LabProp->move(35, 274);
    LabProp->setToolTip("File Properties");
    QPalette lp = LabFile->palette();
    lp.setColor(QPalette::WindowText, QColor(0, 90, 0));
    LabFile->setPalette(lp);
    lp.setColor(QPalette::WindowText, QColor(0, 70, 0));
    LabProp->setPalette(lp);

    PMenu = new FileMenu(this);
    auto add = [this](const char* caption, int drawIndex, auto slot) {
        QAction* a = PMenu->addAction(caption);
        a->setData(drawIndex);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    pmPlay = add("Play", 1, [this] {
        peers_.ShowPlayer();
        peers_.PlayFile();
    });
    pmStop = add("Stop", 2, [this] { peers_.StopPlaying(); });
    PMenu->addSeparator();
    pmRename = add("Rename File...", 3, [this] {
        peers_.ClosePlayer();
        RenameRecording(*this);
    });
    pmWav2MP3 = add("Convert  to MP3 (320 kbps)", 4, [this] {
        peers_.ClosePlayer();
        ConvertCurrentToMp3(*this);
    });
    PMenu->addSeparator();
    pmMove = add("Move File...", 5, [this] {
        peers_.ClosePlayer();
        MoveRecordings(*this);
    });
    pmDelete = add("Delete File...", 6, [this] {
        peers_.ClosePlayer();
        FileDelete();
    });
    connect(PMenu, &QMenu::aboutToShow, this, [this] { PMenuPopup(); });
    connect(SGridFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PMenu->popup(SGridFiles->viewport()->mapToGlobal(at)); });
    // Keys move the current cell; a click selects its row even when that
    // row is already current (after a delete the next file moves up into it).
    connect(SGridFiles, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (row >= 0) SGridFilesSelectCell(row + 1);
    });
    connect(SGridFiles, &QTableWidget::cellPressed, this, [this](int row, int) {
        if (row >= 0) SGridFilesSelectCell(row + 1);
    });

    FindFiles();
    ShowFiles();
    FileList.IsFileListCreated = true;
}

TForm2::~TForm2() {
    FileList.IsFileListCreated = false;
}

bool TForm2::IsEmpty() const {
    return RecordingList.Count == 0;
}

void TForm2::Rescan() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FindFiles();
    QApplication::restoreOverrideCursor();
    ShowFiles();
}

void TForm2::SetGridEnabled(bool on) {
    SGridFiles->setEnabled(on);
}

QWidget* TForm2::MainWindow() {
    return peers_.MainWindow();
}

void TForm2::FindFiles() {
    library::FindFiles();
    SGridFiles->clearSelection();
    SyncGrid();
}

void TForm2::ShowFiles() {
    library::ShowFiles();
    SyncGrid();
}

void TForm2::FileDelete() {
    library::FileDelete(*this);
}

void TForm2::SyncGrid() {
    const GridTable& g = RecordingList.Grid;
    const int rows = std::max(g.RowCount, 2) - 1;
    // Programmatic changes are no user selection.
    SGridFiles->blockSignals(true);
    if (SGridFiles->rowCount() != rows) SGridFiles->setRowCount(rows);
    for (int r = 1; r <= rows; ++r)
        for (int c = 0; c < 3; ++c) {
            const QString text = static_cast<size_t>(r) < g.Cells.size()
                                     ? QString::fromStdString(g.Cells[static_cast<size_t>(r)][c])
                                     : QString();
            QTableWidgetItem* it = SGridFiles->item(r - 1, c);
            if (!it)
                SGridFiles->setItem(r - 1, c, new QTableWidgetItem(text));
            else if (it->text() != text)
                it->setText(text);
        }
    if (g.SelectedRow >= 1 && g.SelectedRow <= rows) {
        SGridFiles->setCurrentCell(g.SelectedRow - 1, 0);
        SGridFiles->clearSelection();
        SGridFiles->selectRow(g.SelectedRow - 1);
    }
    SGridFiles->blockSignals(false);
    SGridFiles->viewport()->update();
}

std::string TForm2::RowPath(int row) const {
    const auto& paths = RecordingList.RowPaths;
    if (row < 1 || static_cast<size_t>(row) >= paths.size()) return "";
    return paths[static_cast<size_t>(row)];
}

std::string TForm2::CellText(int row, int col) const {
    const QTableWidgetItem* it = SGridFiles->item(row - 1, col);
    return it ? it->text().toStdString() : "";
}

int TForm2::RowCount() const {
    return SGridFiles->rowCount() + 1;
}

std::vector<std::string> TForm2::SelectedRowPaths() const {
    std::vector<std::string> out;
    const auto ranges = SGridFiles->selectedRanges();
    if (ranges.isEmpty()) return out;
    int top = ranges.front().topRow(), bottom = ranges.front().bottomRow();
    for (const auto& r : ranges) {
        top = std::min(top, r.topRow());
        bottom = std::max(bottom, r.bottomRow());
    }
    for (int r = top; r <= bottom; ++r)
        out.push_back(RowPath(r + 1));
    return out;
}

void TForm2::SGridFilesSelectCell(int row) {
    const auto& s = core::Session;
    const std::string path = RowPath(row);
    if (row > 0) RecordingList.Grid.SelectedRow = row;
    if (RecordingList.Count == 0 || s.IsRecording || s.IsPaused || row == 0 ||
        path == s.SelectedFile || path.empty())
        return;
    peers_.FreePlayStream();
    core::Session.SelectedFile = path;
    SelectFile();
}

void TForm2::SelectFile() {
    core::Session.SelectedFileInfo.clear();
    peers_.ClearTags();
    peers_.InspectFile();
    if (UpperExtension(core::Session.SelectedFile) == ".MP3") {
        peers_.EnableTags();
        peers_.ShowID3v1Tags();
    }
    ShowFileCaption();
}

void TForm2::ShowFileCaption() {
    LabFile->clear();
    LabProp->clear();
    const std::string& file = core::Session.SelectedFile;
    auto& store = mainwindow::Form4();
    if (file.empty()) {
        ImageFileProp->setPixmap(store.Picture("ImageProp"));
        return;
    }
    const QFontMetrics fm(font());
    QString name = QString::fromStdString(FileNameOf(file));
    QString props = QString::fromStdString("  [" + core::Session.SelectedFileInfo + "]");
    if (fm.horizontalAdvance(name) > kCaptionWidth) {
        while (!name.isEmpty() && fm.horizontalAdvance(name) > kCaptionWidth)
            name.chop(1);
    } else {
        const int room = kCaptionWidth - fm.horizontalAdvance(name);
        while (!props.isEmpty() && fm.horizontalAdvance(props) > room)
            props.chop(1);
        LabProp->setText(props);
    }
    LabFile->setText(name);
    LabFile->adjustSize();
    LabProp->adjustSize();
    LabProp->move(LabFile->x() + fm.horizontalAdvance(name), LabProp->y());
    const QString icon = CaptionIconName(UpperExtension(file));
    if (!icon.isEmpty()) ImageFileProp->setPixmap(store.Picture(icon));
}

void TForm2::SGridFilesMouseUp(int row, int x) {
    FileList.LastClickRow = row;
    if (row != 0) return;
    QHeaderView* h = SGridFiles->horizontalHeader();
    const int col = h->logicalIndexAt(x);
    // Clicks within 5 pixels of a column border do nothing.
    if (col < 0 || h->logicalIndexAt(x - 5) != col || h->logicalIndexAt(x + 5) != col) return;
    int& sort = core::Settings.Sort;
    switch (col) {
    case 0:
        sort = sort == 1 ? 2 : 1;
        break;
    case 1:
        sort = sort == 3 ? 4 : 3;
        break;
    default:
        sort = sort == 5 ? 6 : 5;
        break;
    }
    h->viewport()->update();
    ShowFiles();
    peers_.StoreSettings();
}

void TForm2::SGridFilesDblClick() {
    const auto& s = core::Session;
    if (s.IsPaused || s.IsRecording || RecordingList.Count == 0 || FileList.LastClickRow == 0)
        return;
    if (!s.IsPlayerShown) peers_.ShowPlayer();
    peers_.PlayFile();
}

void TForm2::SGridFilesKeyDown(int key) {
    if (core::Session.IsRecording) return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        peers_.ShowPlayer();
        peers_.PlayFile();
        break;
    case Qt::Key_Escape:
        peers_.ClosePlayer();
        peers_.StopPlaying();
        break;
    case Qt::Key_Delete:
        peers_.ClosePlayer();
        FileDelete();
        break;
    default:
        break;
    }
}

void TForm2::PMenuPopup() {
    for (QAction* a : {pmPlay, pmStop, pmRename, pmWav2MP3, pmMove, pmDelete})
        a->setEnabled(false);
    pmWav2MP3->setVisible(false);
    // The format comes from the WAV's own header: the same values the
    // inspection shows for it.
    WavPcm wav;
    const std::string& file = core::Session.SelectedFile;
    const bool isWav = UpperExtension(file) == ".WAV" && ReadWavPcm(file, &wav);
    const MenuState m = MenuStateFor(isWav ? wav.bitsPerSample : 0, isWav ? wav.sampleRate : 0);
    for (QAction* a : {pmPlay, pmStop, pmRename, pmDelete, pmMove})
        a->setEnabled(m.commandsEnabled);
    pmWav2MP3->setVisible(m.convertShown);
    pmWav2MP3->setEnabled(m.convertShown);
    // The shown texts are longer than the stored captions the menu is sized by.
    pmWav2MP3->setText(QString::fromStdString(MenuItemText(4)) + "  ");
}

void TForm2::ImageTagClick() {
    FileList.IsTagEditorShown = !FileList.IsTagEditorShown;
    peers_.PlaceTagEditor(x() + width(), y(), FileList.IsTagEditorShown);
}

void TForm2::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (CellText(1, 0).empty()) ShowFiles();
}

void TForm2::closeEvent(QCloseEvent* e) {
    FileList.IsTagEditorShown = false;
    QWidget::closeEvent(e);
}

void TForm2::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::RightButton && windowHandle()) windowHandle()->startSystemMove();
}

bool TForm2::eventFilter(QObject* o, QEvent* e) {
    if (o == ImageFileList) {
        if (e->type() == QEvent::MouseMove) ImageTag->RestoreNormal();
        if (e->type() == QEvent::MouseButtonPress) {
            mousePressEvent(static_cast<QMouseEvent*>(e));
            return true;
        }
    }
    return QWidget::eventFilter(o, e);
}

} // namespace library
