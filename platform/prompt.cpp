#include "platform/prompt.h"

#include <QApplication>
#include <QMessageBox>

namespace orbisk {

namespace {

class TMessageBoxPrompt : public TPrompt {
public:
  void Message(QWidget* Owner, const QString& Text) override {
    QMessageBox::information(Owner, QApplication::applicationName(), Text);
  }
  bool YesNo(QWidget* Owner, const QString& Text) override {
    return QMessageBox::question(Owner, QApplication::applicationName(), Text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
};

std::unique_ptr<TPrompt>& Current() {
  static std::unique_ptr<TPrompt> P = std::make_unique<TMessageBoxPrompt>();
  return P;
}

} // namespace

TPrompt& Prompt() {
  return *Current();
}

std::unique_ptr<TPrompt> SetPrompt(std::unique_ptr<TPrompt> P) {
  std::unique_ptr<TPrompt> Old = std::move(Current());
  Current() = P ? std::move(P) : std::make_unique<TMessageBoxPrompt>();
  return Old;
}

void ShowMessage(const QString& Text, QWidget* Owner) {
  Prompt().Message(Owner, Text);
}

bool AskYesNo(const QString& Text, QWidget* Owner) {
  return Prompt().YesNo(Owner, Text);
}

} // namespace orbisk
