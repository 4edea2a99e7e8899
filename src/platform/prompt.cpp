#include "platform/prompt.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>

#include "platform/debug.h"

namespace platform {
namespace {

QPointer<QWidget> gOwner;

bool HaveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// A box over the recorder window (the screen's centre before it exists).
QMessageBox::StandardButton Box(QMessageBox::Icon icon, const std::string& caption,
                                const std::string& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons,
                    gOwner.data());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::Icon IconOf(MsgKind kind) {
    switch (kind) {
    case MsgKind::Info:
        return QMessageBox::Information;
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Error:
        break;
    }
    return QMessageBox::Critical;
}

class BoxPrompt : public Prompt {
  public:
    void Show(MsgKind kind, const std::string& text) override {
        ShowCaptioned(kind, "Kestrune", text);
    }
    void ShowCaptioned(MsgKind kind, const std::string& caption, const std::string& text) override {
        DebugPrint("message: %s", text.c_str()); // fault runs list what the user was told
        if (!HaveWidgets()) {
            fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        Box(IconOf(kind), caption, text, QMessageBox::Ok);
    }
    bool AskYesNo(const std::string& text) override {
        if (!HaveWidgets()) return true;
        return Box(QMessageBox::Question, "Confirm", text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    bool AskYesNoCaptioned(const std::string& caption, const std::string& text) override {
        if (!HaveWidgets()) return true;
        return Box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    std::optional<std::string> AskText(const std::string& caption, const std::string& label,
                                       const std::string& initial) override {
        if (!HaveWidgets()) return std::nullopt;
        bool ok = false;
        QString r = QInputDialog::getText(gOwner.data(), QString::fromStdString(caption),
                                          QString::fromStdString(label), QLineEdit::Normal,
                                          QString::fromStdString(initial), &ok);
        if (!ok) return std::nullopt;
        return r.toStdString();
    }
};

BoxPrompt gBox;
Prompt* gCurrent = nullptr;

} // namespace

Prompt& CurrentPrompt() {
    return gCurrent ? *gCurrent : gBox;
}
void SetPrompt(Prompt* prompt) {
    gCurrent = prompt;
}
void SetPromptOwner(QWidget* owner) {
    gOwner = owner;
}

} // namespace platform
