#include "tags/tags.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include "core/settings.h"
#include "core/state.h"
#include "mainwindow/images.h"
#include "mainwindow/skin_button.h"
#include "platform/drive_type.h"
#include "platform/prompt.h"

namespace tags {

TFormTag* FormTag = nullptr;

namespace {

constexpr const char* kCdromText = "Could not save to the CDROM drive";

// Item painting of the genre list: the selected entry light with dark green
// text, the others in the skin's colours; the name at the item's corner.
class GenreDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& opt,
               const QModelIndex& index) const override {
        bool selected = opt.state & QStyle::State_Selected;
        p->fillRect(opt.rect, selected ? QColor(133, 147, 152) : mainwindow::SkinColor);
        p->setPen(selected ? QColor(0, 70, 0) : mainwindow::AccentColor);
        p->setFont(opt.font);
        p->drawText(opt.rect, Qt::AlignLeft | Qt::AlignTop, index.data().toString());
    }
    QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(opt, index).width(), 13);
    }
};

// The background picture: moving over it takes the hover pictures away.
class Background : public QLabel {
  public:
    std::function<void()> onMove;
    using QLabel::QLabel;

  protected:
    void mouseMoveEvent(QMouseEvent* e) override {
        if (onMove) onMove();
        e->accept();
    }
};

QFont FormFont() {
    QFont f("Liberation Sans");
    f.setPixelSize(11);
    return f;
}

void StyleField(QWidget* w) {
    QPalette pal = w->palette();
    for (auto role : {QPalette::Base, QPalette::Window, QPalette::Button})
        pal.setColor(role, mainwindow::SkinColor);
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        pal.setColor(role, mainwindow::AccentColor);
    pal.setColor(QPalette::Disabled, QPalette::Base, mainwindow::SkinColor);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

GenreBox::GenreBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new GenreDelegate(this));
    setFrame(false);
}

void GenreBox::hidePopup() {
    QComboBox::hidePopup();
    if (onPopupClosed) onPopupClosed();
}

std::string UpperExtension(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return QString::fromStdString(path.substr(dot)).toUpper().toStdString();
}

TFormTag::TFormTag(TagBytes& block, int32_t& stamp, TagEditorPeers& peers, QWidget* parent)
    : QWidget(parent), block_(block), stamp_(stamp), peers_(peers) {
    FormTag = this;
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(249, 299);
    setFont(FormFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, mainwindow::SkinColor);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* bg = new Background(this);
    bg->setPixmap(mainwindow::Form4().Picture("ImageFormTag"));
    bg->setGeometry(0, 0, 249, 299);
    bg->setMouseTracking(true);
    bg->onMove = [this] { RestoreButtons(); };
    ImageFormTag = bg;

    auto label = [this](const char* text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    auto edit = [this](int x, int y, int w) {
        auto* e = new QLineEdit(this);
        e->setGeometry(x, y, w, 18);
        e->setFrame(false);
        StyleField(e);
        connect(e, &QLineEdit::textChanged, this, [this] { FieldChanged(); });
        return e;
    };
    LabTitle = label("Title", 58, 10);
    EditTitle = edit(15, 30, 218);
    LabAlbum = label("Album", 55, 56);
    EditAlbum = edit(15, 77, 218);
    LabGenre = label("Genre", 53, 104);
    CmbBoxGenre = new GenreBox(this);
    CmbBoxGenre->setGeometry(15, 123, 218, 18);
    StyleField(CmbBoxGenre);
    CmbBoxGenre->view()->setPalette(CmbBoxGenre->palette());
    connect(CmbBoxGenre, &QComboBox::currentTextChanged, this, [this] { FieldChanged(); });
    LabArtist = label("Artist", 57, 152);
    EditArtist = edit(15, 172, 218);
    LabComment = label("Comment", 46, 200);
    EditComment = edit(15, 220, 218);
    LabYear = label("Year", 58, 248);
    EditYear = edit(15, 267, 116);
    CmbBoxGenre->onPopupClosed = [this] { EditArtist->setFocus(); };

    ImageClose = new mainwindow::SkinButton(this, "ImageClose1", "ImageClose2", QPoint(225, 5));
    ImageClose->resize(19, 19);
    ImageClose->setToolTip("Close");
    ImageClose->onClick = [this] { close(); };
    ImageSave = new mainwindow::SkinButton(this, "ImageSave1", "ImageSave2", QPoint(212, 265));
    ImageSave->resize(27, 27);
    ImageSave->setToolTip("Save");
    ImageSave->enabled = [this] { return saveEnabled_; };
    ImageSave->onClick = [this] { SaveTag(); };

    FillGenres();
}

TFormTag::~TFormTag() {
    // The children outlive this part of the object while the base class
    // destroys them; none of them may call back into it then.
    CmbBoxGenre->onPopupClosed = nullptr;
    for (QObject* child : children())
        child->disconnect(this);
    if (FormTag == this) FormTag = nullptr;
}

void TFormTag::RestoreButtons() {
    ImageClose->RestoreNormal();
    ImageSave->RestoreNormal();
}

void TFormTag::FillGenres() {
    // Alphabetical without regard to case, as a sorted list box keeps them
    // ("Alternative" before "AlternRock").
    QStringList names;
    for (const char* name : GenreNames)
        names << QString::fromUtf8(name);
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    CmbBoxGenre->addItems(names);
    CmbBoxGenre->setCurrentIndex(-1);
}

void TFormTag::SetFieldsEnabled(bool on, const QColor& labelColor) {
    for (QLabel* l : {LabTitle, LabAlbum, LabGenre, LabArtist, LabComment, LabYear}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, labelColor);
        l->setPalette(p);
    }
    for (QWidget* w : {static_cast<QWidget*>(EditTitle), static_cast<QWidget*>(EditAlbum),
                       static_cast<QWidget*>(EditArtist), static_cast<QWidget*>(EditComment),
                       static_cast<QWidget*>(EditYear), static_cast<QWidget*>(CmbBoxGenre)})
        w->setEnabled(on);
}

void TFormTag::EnableTags() {
    SetFieldsEnabled(true, Qt::black);
}

void TFormTag::DisableTags() {
    SetFieldsEnabled(false, QColor(128, 128, 128));
}

void TFormTag::ClearTags() {
    for (QLineEdit* e : {EditTitle, EditArtist, EditAlbum, EditYear, EditComment})
        e->clear();
    CmbBoxGenre->setCurrentIndex(-1);
    DisableTags();
    CmbBoxGenre->clear();
}

void TFormTag::ShowID3v1Tags() {
    CmbBoxGenre->clear();
    FillGenres();
    const TagBytes& b = block_;
    if (!HasTagMarker(b)) return;
    Id3v1Fields f = ParseTag(b);
    EditTitle->setText(QString::fromStdString(f.Title));
    EditArtist->setText(QString::fromStdString(f.Artist));
    EditComment->setText(QString::fromStdString(f.Comment));
    EditAlbum->setText(QString::fromStdString(f.Album));
    EditYear->setText(QString::fromStdString(f.Year));
    if (f.Genre >= 0 && f.Genre < static_cast<int>(kGenreCount))
        CmbBoxGenre->setCurrentIndex(
            CmbBoxGenre->findText(QString::fromUtf8(GenreNames[static_cast<size_t>(f.Genre)]),
                                  Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void TFormTag::FieldChanged() {
    if (UpperExtension(core::Session.SelectedFile) == ".MP3") saveEnabled_ = true;
}

void TFormTag::SaveTag() {
    if (UpperExtension(core::Session.SelectedFile) != ".MP3") return;
    if (platform::IsCdromFolder(core::Settings.FolderName)) {
        platform::CurrentPrompt().Show(platform::MsgKind::Error, kCdromText);
        return;
    }
    QCoreApplication::processEvents();
    WriteTag();
}

void TFormTag::WriteTag() {
    Id3v1Fields f;
    f.Title = EditTitle->text().toStdString();
    f.Artist = EditArtist->text().toStdString();
    f.Album = EditAlbum->text().toStdString();
    f.Year = EditYear->text().toStdString();
    f.Comment = EditComment->text().toStdString();
    f.Genre = GenreByte(CmbBoxGenre->currentText().toStdString());
    // The events let run before the write may have changed the selection.
    const std::string path = core::Session.SelectedFile;
    if (UpperExtension(path) != ".MP3") return;
    WriteResult r = WriteTagToFile(path, BuildTag(f), stamp_, &block_);
    if (!r.ok) platform::CurrentPrompt().Show(platform::MsgKind::Error, r.error);
}

void TFormTag::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    peers_.TagEditorClosed();
}

} // namespace tags
