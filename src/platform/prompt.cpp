#include "platform/prompt.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "platform/debug.h"

namespace platform {
namespace {

class BoxPrompt : public Prompt {
  public:
    void Show(MsgKind kind, const std::string& text) override {
        DebugPrint("message: %s", text.c_str()); // fault runs list what the user was told
        QString t = QString::fromStdString(text);
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        switch (kind) {
        case MsgKind::Info: QMessageBox::information(nullptr, "Kestrune", t); break;
        case MsgKind::Warning: QMessageBox::warning(nullptr, "Kestrune", t); break;
        case MsgKind::Error: QMessageBox::critical(nullptr, "Kestrune", t); break;
        }
    }
    void ShowCaptioned(MsgKind kind, const std::string& caption,
                       const std::string& text) override {
        DebugPrint("message: %s", text.c_str());
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        const QString c = QString::fromStdString(caption);
        const QString t = QString::fromStdString(text);
        switch (kind) {
        case MsgKind::Info: QMessageBox::information(nullptr, c, t); break;
        case MsgKind::Warning: QMessageBox::warning(nullptr, c, t); break;
        case MsgKind::Error: QMessageBox::critical(nullptr, c, t); break;
        }
    }
    bool AskYesNo(const std::string& text) override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
        return QMessageBox::question(nullptr, "Confirm", QString::fromStdString(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    std::optional<std::string> AskText(const std::string& caption, const std::string& label,
                                       const std::string& initial) override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return std::nullopt;
        bool ok = false;
        QString r = QInputDialog::getText(nullptr, QString::fromStdString(caption),
                                          QString::fromStdString(label), QLineEdit::Normal,
                                          QString::fromStdString(initial), &ok);
        if (!ok) return std::nullopt;
        return r.toStdString();
    }
};

BoxPrompt gBox;
Prompt* gCurrent = nullptr;

} // namespace

Prompt& CurrentPrompt() { return gCurrent ? *gCurrent : gBox; }
void SetPrompt(Prompt* prompt) { gCurrent = prompt; }

} // namespace platform
