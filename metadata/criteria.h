// Finding pictures by what they carry: the date a camera took them (EXIF), the camera's make and
// model, the picture's size in pixels, the file's size and its modification date. The search
// window and `orbisk-cli search` test each file of their walk with MatchCriteria.
#pragma once

#include <cstdint>
#include <string>

namespace orbisk {

struct TSearchCriteria {
  // Days as "YYYY-MM-DD", both ends included; "" leaves that end open.
  std::string TakenFrom, TakenTo;
  std::string Camera; // a part of "<make> <model>", any letter case; "" any camera
  int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0; // pixels; 0 open
  int64_t MinBytes = 0, MaxBytes = 0;                           // 0 open
  std::string ModifiedFrom, ModifiedTo;                         // local days, as Taken
  bool Empty() const;
};

// "YYYY-MM-DD" naming a real day.
bool ValidCriteriaDate(const std::string& Day);
// Refuses criteria that cannot match sensibly (a malformed day, a range whose start is after its
// end, negative sizes) with the reason to show.
bool CheckCriteria(const TSearchCriteria& C, std::string& Why);

struct TCriteriaMatch {
  bool Matched = false;
  // What the file showed for the criteria asked, as a column of the results: "taken 2024-05-01
  // 12:30:00", the camera, "4000 x 3000", the byte count, "modified 2024-05-02".
  std::string Value;
};

// Tests the file at Path. Only what the criteria ask for is read: the EXIF block for the date
// taken and the camera, the picture's header for its size. Empty criteria match every file;
// a file that cannot be read, or lacks what a criterion asks for, does not match. Never throws.
TCriteriaMatch MatchCriteria(const std::string& Path, const TSearchCriteria& C);

} // namespace orbisk
