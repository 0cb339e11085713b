// Text between the program (UTF-8) and the Windows API (UTF-16), and the system's reason for an error.
#pragma once

#include <string>

namespace gelvar {

std::wstring WideText(const std::string& utf8);
std::string Utf8Text(const std::wstring& wide);
// The system's message for a GetLastError code, without its line end; "error <n>" where it has none.
std::string SystemErrorText(unsigned long error);

}  // namespace gelvar
