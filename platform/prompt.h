// Message boxes and Yes/No questions of every window go through one replaceable prompt,
// so that tests can answer them and read the exact texts.
#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace orbisk {

class TPrompt {
public:
  virtual ~TPrompt() = default;
  // A message with an OK button.
  virtual void Message(QWidget* Owner, const QString& Text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool YesNo(QWidget* Owner, const QString& Text) = 0;
  // A Yes/No/Cancel question. Prompts that cannot cancel answer it as the Yes/No question.
  enum TAnswer { paYes, paNo, paCancel };
  virtual TAnswer YesNoCancel(QWidget* Owner, const QString& Text) {
    return YesNo(Owner, Text) ? paYes : paNo;
  }
  // A warning in a box of its own title (an OK message where the prompt has no titles).
  virtual void Warning(QWidget* Owner, const QString& Title, const QString& Text) {
    (void)Title;
    Message(Owner, Text);
  }
};

// The prompt in use (message boxes unless replaced).
TPrompt& Prompt();
// Replaces the prompt; nullptr restores the message boxes. Returns the previous one.
std::unique_ptr<TPrompt> SetPrompt(std::unique_ptr<TPrompt> P);

// Shortcuts for the prompt in use.
void ShowMessage(const QString& Text, QWidget* Owner = nullptr);
bool AskYesNo(const QString& Text, QWidget* Owner = nullptr);
TPrompt::TAnswer AskYesNoCancel(const QString& Text, QWidget* Owner = nullptr);
void ShowWarning(const QString& Title, const QString& Text, QWidget* Owner = nullptr);

} // namespace orbisk
