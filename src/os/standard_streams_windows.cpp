// The standard streams on Windows. A closed stream's place holds no danger here: the programs open their
// files and the port through the system's handles, never through the C library's numbers.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <initializer_list>

#include "core/common/standard_streams.h"

namespace gelvar {

// Called first thing, so the streams are also set up here: binary, so that a line ends in LF as on
// Linux and a redirected output holds the same bytes, and a console shown UTF-8, which is what the
// program prints.
void HoldClosedStandardStreams() {
  for (FILE* stream : {stdin, stdout, stderr}) ::_setmode(_fileno(stream), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);
}

// A write to a pipe whose reader has gone fails with ERROR_NO_DATA; no signal ends the program.
void IgnoreVanishedReaders() {}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool CloseStandardOutputHandle() { return ::_close(_fileno(stdout)) == 0; }

}  // namespace gelvar
