// The standard streams on Windows. A closed stream's place holds no danger here: the programs open their
// files and the port through the system's handles, never through the C library's numbers.
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "core/common/standard_streams.h"

namespace gelvar {

void HoldClosedStandardStreams() {}

// A write to a pipe whose reader has gone fails with ERROR_NO_DATA; no signal ends the program.
void IgnoreVanishedReaders() {}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool CloseStandardOutputHandle() { return ::_close(_fileno(stdout)) == 0; }

}  // namespace gelvar
