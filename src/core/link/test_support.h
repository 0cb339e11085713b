// Test support only: the program never calls this. Puts every static piece of the link (link memory,
// frame number, converter globals, transaction state) back to its program-start value, so that each
// test case starts from the state the program starts from.
#pragma once

namespace gelvar {

void ResetLinkStateForTests();

}  // namespace gelvar
