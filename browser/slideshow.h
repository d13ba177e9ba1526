// The slide show: the seconds box (1 to 60), the show button and the timer that steps through
// the main window's list with "Next Image".
#pragma once

#include <QObject>
#include <QSpinBox>
#include <QString>
#include <QTimer>

#include <functional>

namespace orbisk {

// The longest interval the seconds box holds: the most seconds a timer interval can count.
constexpr int kMaxSlideSeconds = 2147483;

// The seconds a text stands for: a whole number from 1 to kMaxSlideSeconds (a stored value above
// the arrows' 60 is kept as it is), otherwise 4.
int SecondsFromText(const QString& Text);
// The arrows: one step up or down between 1 and 60, no wrap-around; a number above 60 (stored
// so) comes down to 60 with the down arrow and stays with the up arrow.
int StepSeconds(int Seconds, int Delta);

// The seconds box: shows any number of seconds it is given in 1..kMaxSlideSeconds; its arrows
// step between 1 and 60.
class TSecondsBox : public QSpinBox {
public:
  explicit TSecondsBox(QWidget* Parent = nullptr);
  void stepBy(int Steps) override;

protected:
  StepEnabled stepEnabled() const override;
};

// What the show needs from the main window. Unset callbacks do nothing (counts read as 0).
struct TSlideShowHost {
  std::function<int()> ItemCount;
  std::function<int()> SelectedCount;
  std::function<void()> SelectFirst;            // selects item 0; the selection change shows it
  std::function<void()> NextImage;              // "Next Image"
  std::function<QString()> SecondsText;         // the seconds box
  std::function<void(bool Down)> SetButtonDown; // the show button
  std::function<void(bool Enabled)> SetBookmarksEnabled;
  std::function<void(const QString& Text)> Message; // the prompt when unset
};

class TSlideShow : public QObject {
  Q_OBJECT
public:
  static constexpr const char* EmptyListMessage =
      "You must select a directory with files to run a Orbisk";

  explicit TSlideShow(TSlideShowHost Host, QObject* Parent = nullptr);
  // The show button was clicked and has toggled itself to Down.
  void ButtonClick(bool Down);
  // The arrows changed the seconds box: the interval follows at once.
  void SecondsChanged();
  // The window closes.
  void Stop();
  bool Running() const { return FTimer.isActive(); }
  int IntervalMs() const { return FTimer.interval(); }
  QTimer& Timer() { return FTimer; }

private:
  void ApplyInterval();
  TSlideShowHost FHost;
  QTimer FTimer;
};

} // namespace orbisk
