#include "platform/scansource.h"

#include <cmath>
#include <vector>

namespace orbisk {

int TScanSource::Count() const {
  SANE_Int N = 0;
  if (FApi.ControlOption(FHandle, 0, SANE_ACTION_GET_VALUE, &N, nullptr) != SANE_STATUS_GOOD)
    return 0;
  return N;
}

std::optional<TScanOption> TScanSource::Describe(int Index) const {
  const SANE_Option_Descriptor* D = FApi.GetOptionDescriptor(FHandle, Index);
  if (!D) return std::nullopt;
  TScanOption O;
  O.Index = Index;
  O.Name = D->name ? QByteArray(D->name) : QByteArray();
  O.Title = D->title ? QString::fromUtf8(D->title) : QString();
  O.Type = D->type;
  O.Unit = D->unit;
  O.Active = SANE_OPTION_IS_ACTIVE(D->cap);
  O.Settable = SANE_OPTION_IS_SETTABLE(D->cap) && O.Active;
  const bool Fixed = D->type == SANE_TYPE_FIXED;
  auto Number = [Fixed](SANE_Word W) { return Fixed ? SANE_UNFIX(W) : double(W); };
  if (D->constraint_type == SANE_CONSTRAINT_STRING_LIST && D->constraint.string_list) {
    for (const SANE_String_Const* S = D->constraint.string_list; *S; ++S)
      O.Strings << QString::fromUtf8(*S);
  } else if (D->constraint_type == SANE_CONSTRAINT_WORD_LIST && D->constraint.word_list) {
    const SANE_Word N = D->constraint.word_list[0];
    for (SANE_Word I = 1; I <= N && I <= 4096; ++I)
      O.Words.push_back(Number(D->constraint.word_list[I]));
  } else if (D->constraint_type == SANE_CONSTRAINT_RANGE && D->constraint.range) {
    O.HasRange = true;
    O.Min = Number(D->constraint.range->min);
    O.Max = Number(D->constraint.range->max);
    O.Quant = Number(D->constraint.range->quant);
  }
  return O;
}

std::optional<TScanOption> TScanSource::Option(const char* Name) const {
  const int N = Count();
  for (int I = 1; I < N; ++I) {
    const SANE_Option_Descriptor* D = FApi.GetOptionDescriptor(FHandle, I);
    if (D && D->name && qstrcmp(D->name, Name) == 0) return Describe(I);
  }
  return std::nullopt;
}

QString TScanSource::GetString(const char* Name) const {
  const auto O = Option(Name);
  if (!O || !O->Active || O->Type != SANE_TYPE_STRING) return QString();
  const SANE_Option_Descriptor* D = FApi.GetOptionDescriptor(FHandle, O->Index);
  if (!D || D->size <= 0) return QString();
  std::vector<char> Buffer(size_t(D->size) + 1, 0);
  if (FApi.ControlOption(FHandle, O->Index, SANE_ACTION_GET_VALUE, Buffer.data(), nullptr) !=
      SANE_STATUS_GOOD)
    return QString();
  return QString::fromUtf8(Buffer.data());
}

std::optional<double> TScanSource::GetNumber(const char* Name) const {
  const auto O = Option(Name);
  if (!O || !O->Active || (O->Type != SANE_TYPE_INT && O->Type != SANE_TYPE_FIXED))
    return std::nullopt;
  const SANE_Option_Descriptor* D = FApi.GetOptionDescriptor(FHandle, O->Index);
  if (!D || D->size < int(sizeof(SANE_Word))) return std::nullopt;
  std::vector<SANE_Word> Values(size_t(D->size) / sizeof(SANE_Word), 0);
  if (FApi.ControlOption(FHandle, O->Index, SANE_ACTION_GET_VALUE, Values.data(), nullptr) !=
      SANE_STATUS_GOOD)
    return std::nullopt;
  return O->Type == SANE_TYPE_FIXED ? SANE_UNFIX(Values[0]) : double(Values[0]);
}

bool TScanSource::SetString(const char* Name, const QString& Value, int* Status) {
  if (Status) *Status = SANE_STATUS_INVAL;
  const auto O = Option(Name);
  if (!O || !O->Settable || O->Type != SANE_TYPE_STRING) return false;
  if (!O->Strings.isEmpty() && !O->Strings.contains(Value)) return false;
  const SANE_Option_Descriptor* D = FApi.GetOptionDescriptor(FHandle, O->Index);
  QByteArray Bytes = Value.toUtf8();
  if (!D || Bytes.size() + 1 > D->size) return false;
  std::vector<char> Buffer(size_t(D->size), 0);
  std::copy(Bytes.begin(), Bytes.end(), Buffer.begin());
  const SANE_Status S =
      FApi.ControlOption(FHandle, O->Index, SANE_ACTION_SET_VALUE, Buffer.data(), nullptr);
  if (Status) *Status = S;
  return S == SANE_STATUS_GOOD;
}

bool TScanSource::SetNumber(const char* Name, double Value, int* Status) {
  if (Status) *Status = SANE_STATUS_INVAL;
  const auto O = Option(Name);
  if (!O || !O->Settable || (O->Type != SANE_TYPE_INT && O->Type != SANE_TYPE_FIXED)) return false;
  const SANE_Option_Descriptor* D = FApi.GetOptionDescriptor(FHandle, O->Index);
  if (!D || D->size < int(sizeof(SANE_Word))) return false;
  // An array option (a resolution per axis) gets the value in every element.
  const SANE_Word W = O->Type == SANE_TYPE_FIXED ? SANE_FIX(Value) : SANE_Word(std::lround(Value));
  std::vector<SANE_Word> Values(size_t(D->size) / sizeof(SANE_Word), W);
  const SANE_Status S =
      FApi.ControlOption(FHandle, O->Index, SANE_ACTION_SET_VALUE, Values.data(), nullptr);
  if (Status) *Status = S;
  return S == SANE_STATUS_GOOD;
}

bool TScanSource::SetBool(const char* Name, bool Value, int* Status) {
  if (Status) *Status = SANE_STATUS_INVAL;
  const auto O = Option(Name);
  if (!O || !O->Settable || O->Type != SANE_TYPE_BOOL) return false;
  SANE_Bool B = Value ? SANE_TRUE : SANE_FALSE;
  const SANE_Status S = FApi.ControlOption(FHandle, O->Index, SANE_ACTION_SET_VALUE, &B, nullptr);
  if (Status) *Status = S;
  return S == SANE_STATUS_GOOD;
}

} // namespace orbisk
