#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

enum class MsgKind { Info, Warning, Error };

// Every message box and input box goes through here, so tests can answer them.
class Prompt {
  public:
    virtual ~Prompt() = default;
    virtual void Show(MsgKind kind, const std::string& text) = 0;
    // The same with the box's own caption; scripted prompts record only the text.
    virtual void ShowCaptioned(MsgKind kind, const std::string& caption, const std::string& text) {
        (void)caption;
        Show(kind, text);
    }
    // A Yes/No confirmation; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // The same with the box's own caption and no icon; scripted prompts
    // record the caption as a message of its own.
    virtual bool AskYesNoCaptioned(const std::string& caption, const std::string& text) {
        (void)caption;
        return AskYesNo(text);
    }
    // An input box; nothing when cancelled.
    virtual std::optional<std::string> AskText(const std::string& caption, const std::string& label,
                                               const std::string& initial) = 0;
};

Prompt& CurrentPrompt();
// nullptr restores the message-box prompt. The caller keeps ownership.
void SetPrompt(Prompt* prompt);
// The window message boxes open over (they are centred on it).
void SetPromptOwner(QWidget* owner);

// Records every message and answers from queues (Yes / the initial text by default).
class ScriptedPrompt : public Prompt {
  public:
    std::vector<std::string> messages;
    std::vector<std::string> captions; // of the captioned questions
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> textAnswers;

    void Show(MsgKind, const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        if (yesNoAnswers.empty()) return true;
        bool a = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return a;
    }
    bool AskYesNoCaptioned(const std::string& caption, const std::string& text) override {
        captions.push_back(caption);
        return AskYesNo(text);
    }
    std::optional<std::string> AskText(const std::string&, const std::string& label,
                                       const std::string& initial) override {
        messages.push_back(label);
        if (textAnswers.empty()) return initial;
        auto a = textAnswers.front();
        textAnswers.pop_front();
        return a;
    }
};

} // namespace platform
