// Access to the data bytes of an ObjectRequest: bytes, little-endian words, and the sensor field of
// an object ID.
#pragma once

#include <cstdint>

#include "core/link/converter.h"

namespace gelvar {

std::uint32_t InsertField(std::uint32_t value, std::uint32_t mask, std::uint32_t field);
int GetDataByte(const ObjectRequest& record, int index);
int GetDataWord(const ObjectRequest& record, int index);
void PutDataByte(ObjectRequest& record, int index, int value);
void PutDataWord(ObjectRequest& record, int index, int value);
void ClearData(ObjectRequest& record);
int DataCount(const ObjectRequest& record);

}  // namespace gelvar
