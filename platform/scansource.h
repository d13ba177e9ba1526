// An open scanner (a SANE device handle) and its options, as the options window and the command
// line read and set them.
#pragma once

#include "platform/sanelib.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace orbisk {

struct TScanOption {
  int Index = 0;
  QByteArray Name;
  QString Title;
  int Type = SANE_TYPE_INT; // SANE_Value_Type
  int Unit = SANE_UNIT_NONE;
  bool Active = false;
  bool Settable = false;
  QStringList Strings;       // a string list constraint
  std::vector<double> Words; // a word list constraint (numbers)
  bool HasRange = false;
  double Min = 0, Max = 0, Quant = 0;
};

class TScanSource {
public:
  TScanSource(const TSaneApi& Api, SANE_Handle Handle, QByteArray DeviceName)
      : FApi(Api), FHandle(Handle), FName(std::move(DeviceName)) {}

  SANE_Handle Handle() const { return FHandle; }
  const QByteArray& DeviceName() const { return FName; }
  const TSaneApi& Api() const { return FApi; }

  // The option called Name as the device describes it now (options change with others).
  std::optional<TScanOption> Option(const char* Name) const;
  // A string option's value ("" when there is none or it is inactive).
  QString GetString(const char* Name) const;
  // An integer or fixed-point option's value (the first of an array).
  std::optional<double> GetNumber(const char* Name) const;
  // Sets an option; false with the device's status (and the value left) when refused. A string
  // option's value must be one of its list when it has one.
  bool SetString(const char* Name, const QString& Value, int* Status = nullptr);
  bool SetNumber(const char* Name, double Value, int* Status = nullptr);
  bool SetBool(const char* Name, bool Value, int* Status = nullptr);

private:
  std::optional<TScanOption> Describe(int Index) const;
  int Count() const;

  const TSaneApi& FApi;
  SANE_Handle FHandle;
  QByteArray FName;
};

} // namespace orbisk
