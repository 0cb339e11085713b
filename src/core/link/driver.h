// Frame codec: turns the prepared transmit buffer into bytes and received bytes into reply slots.
#pragma once

#include <cstdint>

namespace gelvar {

struct Link;

void drv_clear(Link& link);
void drv_open(Link& link, std::uint8_t channel);
std::uint8_t drv_start_tx(Link& link, std::uint8_t channel);  // 0 started, 0xFF refused
// Puts the frame's next byte into the tx register; called again once the byte is on its way.
void drv_tx_next(Link& link, std::uint8_t channel);
// One byte as it came off the line.
void drv_rx_byte(Link& link, std::uint8_t channel, std::uint8_t byte);
std::uint8_t drv_abort(Link& link, std::uint8_t channel);  // 0 done, 0xFE channel is Off

// ID word on the wire: the 14-bit object ID shifted left by two, bit 1 the XOR of the ID's odd bits,
// bit 0 the XOR of its even bits.
std::uint16_t EncodeIdWord(std::uint32_t objectId);
bool IdWordParityOk(std::uint16_t word);

}  // namespace gelvar
