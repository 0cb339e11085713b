// printf-style formatting that always writes numbers as the C locale does. The files and texts of this
// program are read by spreadsheets and colleagues' tools that expect exactly these bytes, whatever
// locale the user's desktop runs in.
#pragma once

#include <string>

namespace gelvar {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
CFormat(const char* format, ...);

}  // namespace gelvar
