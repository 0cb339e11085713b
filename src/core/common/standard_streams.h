// What a console program needs of the system about its standard streams beyond what the C++ library
// offers.
#pragma once

namespace gelvar {

// A standard stream closed by the caller would hand its number to the next file opened, the serial
// port, and what is printed would go to the unit. Something that cannot be written holds each such
// place instead, so that a write to it fails as it should.
void HoldClosedStandardStreams();

// A reader of standard output that goes away makes the next write fail instead of ending the program.
void IgnoreVanishedReaders();

bool StandardErrorIsTerminal();

// Closes standard output's handle; false when that tells of a write that failed late.
bool CloseStandardOutputHandle();

}  // namespace gelvar
