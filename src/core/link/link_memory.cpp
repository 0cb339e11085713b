#include "core/link/link_memory.h"

namespace gelvar {

LinkMemory linkMemory;
std::int32_t frameNumber;

}  // namespace gelvar
