// Frame codec: turns the prepared transmit buffer into bytes and received bytes into reply slots.
#pragma once

#include <cstdint>

namespace gelvar {

void drv_clear();
void drv_open(std::uint8_t channel);
std::uint8_t drv_start_tx(std::uint8_t channel);  // 0 started, 0xFF refused
void drv_tx_next(std::uint8_t channel);
void drv_rx_byte(std::uint8_t channel);
std::uint8_t drv_abort(std::uint8_t channel);  // 0 done, 0xFE channel is Off

// ID word on the wire: the 14-bit object ID shifted left by two, bit 1 the XOR of the ID's odd bits,
// bit 0 the XOR of its even bits.
std::uint16_t EncodeIdWord(std::uint32_t objectId);
bool IdWordParityOk(std::uint16_t word);

}  // namespace gelvar
