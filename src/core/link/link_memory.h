// The link's memory block: driver record, tx register, trace rings and converter record of channel 0.
// Zero when its link is made; fixed in size, nothing of it is ever allocated.
#pragma once

#include <cstdint>

namespace gelvar {

struct DriverRecord {
  std::uint8_t state;    // DriverState
  std::uint8_t control;  // bits 0-3 bytes left in the frame, FRAME_READY, SENDING
  std::int32_t checksum;
  std::uint8_t txIndex;
  std::uint8_t rxIndex;
  std::uint8_t txBuffer[7];
  std::uint8_t rxBuffer[9];
};

struct ConverterRecord {
  std::uint8_t state;  // ConverterState
  std::uint8_t timer;
  std::uint8_t timeoutValue;
  std::uint8_t queueOverflows;  // "Tf Overflow"
  std::uint8_t dropped;         // "Tx Error"
  std::uint8_t slotOverflows;   // "Rx Overflow"
  std::uint8_t badFrames;       // "Rf Error"
  std::uint8_t rxTimeouts;      // "Rx Error"
  std::uint8_t retry;           // bits 0-3 failed tries of the tail entry, bit 7 queue full
  std::uint8_t head;
  std::uint8_t tail;
  std::uint32_t queueId[2];
  std::uint8_t queueCount[2];
  std::uint8_t queueData[2][4];
  std::uint8_t slotStatus[3];
  std::uint8_t slotIdHigh[3];
  std::uint8_t slotIdLow[3];
  std::uint8_t slotData[3][4];
};

struct LinkMemory {
  std::uint8_t rxByte;
  std::uint8_t txTraceRead;
  std::uint8_t txTraceWrite;
  DriverRecord driver;
  std::int32_t txTrace[255];
  std::int32_t rxTrace[255];
  std::uint8_t rxTraceWrite;
  std::int32_t txRegister;  // -1 when empty
  std::uint8_t txByte;
  std::uint8_t rxTraceRead;
  ConverterRecord converter;
};

inline constexpr int kTraceSize = 255;
inline constexpr std::int32_t kTraceEndOfFrame = 0xFFFF;

enum DriverState : std::uint8_t { kDriverOff = 0, kDriverIdle = 1, kDriverSending = 2, kDriverReceiving = 3 };
inline constexpr std::uint8_t kFrameReady = 0x10;
inline constexpr std::uint8_t kSendingBit = 0x20;

// Status codes of the link functions.
inline constexpr std::uint8_t kLinkOk = 0;
inline constexpr std::uint8_t kLinkNotOpen = 0xFE;
inline constexpr std::uint8_t kLinkRefused = 0xFF;

}  // namespace gelvar
