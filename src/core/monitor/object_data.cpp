#include "core/monitor/object_data.h"

namespace gelvar {

std::uint32_t InsertField(std::uint32_t value, std::uint32_t mask, std::uint32_t field) {
  if (mask == 0) return value;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  return (value & ~mask) | (mask & (field << shift));
}

int GetDataByte(const ObjectRequest& record, int index) { return record.data[index & 3]; }

int GetDataWord(const ObjectRequest& record, int index) {
  const int low = index & 2;
  return record.data[low] + 256 * record.data[low + 1];
}

void PutDataByte(ObjectRequest& record, int index, int value) {
  const int i = index & 3;
  record.data[i] = static_cast<std::uint8_t>(value);
  if (i & 1) {
    record.count = static_cast<std::uint8_t>(i + 1);
  } else {
    record.data[i + 1] = 0;
    record.count = static_cast<std::uint8_t>(i + 2);
  }
}

void PutDataWord(ObjectRequest& record, int index, int value) {
  const int low = index & 2;
  record.data[low] = static_cast<std::uint8_t>(value);
  record.data[low + 1] = static_cast<std::uint8_t>(value >> 8);
  record.count = static_cast<std::uint8_t>(low + 2);
}

void ClearData(ObjectRequest& record) { record.count = 0; }

int DataCount(const ObjectRequest& record) { return record.count & 0x0F; }

}  // namespace gelvar
