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
  TAnswer YesNoCancel(QWidget* Owner, const QString& Text) override {
    const auto B = QMessageBox::question(Owner, QApplication::applicationName(), Text,
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                         QMessageBox::Yes);
    return B == QMessageBox::Yes ? paYes : B == QMessageBox::No ? paNo : paCancel;
  }
  void Warning(QWidget* Owner, const QString& Title, const QString& Text) override {
    QMessageBox::warning(Owner, Title, Text);
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

TPrompt::TAnswer AskYesNoCancel(const QString& Text, QWidget* Owner) {
  return Prompt().YesNoCancel(Owner, Text);
}

void ShowWarning(const QString& Title, const QString& Text, QWidget* Owner) {
  Prompt().Warning(Owner, Title, Text);
}

} // namespace orbisk
