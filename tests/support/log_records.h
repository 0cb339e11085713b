// Reads the variable log as a spreadsheet user would: lines, the exact shape of a record, its set
// number and whether it holds values that could not be read.
#pragma once

#include <string>
#include <vector>

namespace gelvar::testing {

// The text's lines without their CR LF ends; a last line without an end is kept as it is.
std::vector<std::string> FileLines(const std::string& text);

// The lines that start like a record (five digits and a semicolon).
std::vector<std::string> RecordLines(const std::string& text);

// True when the line has exactly the record's shape: "%05d; " set number, date MM/DD/YY, "; ", time
// HH:MM:SS, then the 32 values, each after a semicolon, right-aligned at its column's width with its
// column's number of decimals, written with a decimal comma; no semicolon at the end.
bool IsWellFormedRecord(const std::string& line);

// The set number at the start of a record.
int RecordSetNumber(const std::string& line);

// True when a column holds -1 (-1,0 or -1,00 where it has decimals): a value that could not be read.
// A temperature can be -1.0 too; tests that ask keep the unit's temperatures elsewhere.
bool HoldsUnreadValues(const std::string& line);

}  // namespace gelvar::testing
