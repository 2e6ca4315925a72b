#pragma once
#include <string>
#include <string_view>

// libmsi imports a table file row by row and stops at the first row it refuses, leaving the rows
// before it in the table; some faults it does not refuse at all (an extra tab drops the fields
// after it, a line feed inside a value splits the row). So a table file is checked as a whole
// before the engine sees it.
namespace platform::wine {

struct TableFileFacts {
  std::string table;     // the table the file replaces (third line, first field)
  bool codepageOnly = false;  // a "_ForceCodepage" file: no rows, only the database code page
  int codepage = -1;     // its code page
  size_t rows = 0;
};

// True when every row has exactly one field per column, no required field is empty, integers are
// integers within their column's width, no key appears twice, the text is UTF-8 and lines end in
// CR LF or LF. Otherwise false with "line N: what" in `problem`.
bool CheckTableFile(std::string_view text, TableFileFacts& facts, std::string& problem);

}  // namespace platform::wine
