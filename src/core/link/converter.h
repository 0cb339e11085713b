// Converter: request queue of two, three reply slots, the link state machine and its counters.
#pragma once

#include <cstdint>

namespace gelvar {

struct ObjectRequest {
  std::uint8_t channel;    // always 0
  std::uint8_t count;      // bits 0-3: number of data bytes
  std::uint32_t objectId;  // 14 bits used
  std::uint8_t mask;       // low-byte ID bits ignored when a reply is matched
  std::uint8_t data[4];
};

enum ConverterState : std::uint8_t {
  kConvStart = 0,
  kConvIdle = 1,
  kConvSending = 2,
  kConvReceiving = 3,
  kConvBackoff = 4,
  kConvRecover = 5,
};

// A link's last error; nothing in the program reads it but the diagnostics.
struct LinkError {
  std::uint8_t errorClass;
  std::uint8_t code;
};

struct Link;

void link_reset(Link& link);
std::uint8_t link_open(Link& link, std::uint8_t channel);  // 0 opened, 0xFE any channel but 0
bool link_is_open(const Link& link, std::uint8_t channel);
std::uint8_t link_post(Link& link, ObjectRequest* request);  // 0 queued, 0xFF queue full, 0xFE not open
int link_fetch(Link& link, ObjectRequest* request);          // -2 not open, 0 no reply, else the reply's object ID
void link_step(Link& link);
void link_build_frame(Link& link);
void link_check_slots(Link& link);
void link_timer(Link& link, std::uint32_t elapsedMs);
// queue overflows, dropped, slot overflows, bad frames, receive timeouts
void link_stats(const Link& link, std::uint8_t channel, std::uint8_t out[5]);
// state, timeout value, queue fill, slots in use
void link_status(const Link& link, std::uint8_t channel, std::uint8_t out[4]);
void link_error(Link& link, std::uint8_t errorClass, std::uint8_t code);
LinkError link_last_error(const Link& link);

}  // namespace gelvar
