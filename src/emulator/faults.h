#pragma once
// Faults the emulator injects, as given by --fault SPEC (repeatable):
//   flip:RATE       flip one bit of a byte, per byte, both directions
//   drop:RATE       lose a byte, per byte, both directions
//   garbage:RATE    random bytes before a reply, per reply
//   lose-ack:RATE   drop a data acknowledgement, per acknowledgement
//   dup-ack:RATE    send a data acknowledgement twice
//   disconnect:PCT  close the line when PCT % of the image has arrived
//   disconnect:REQ  close the line when the first REQ request arrives, before
//                   answering it (hello, query, catch, erase, data, verify,
//                   activate, restart)
//   lose:REQ        the first REQ request is lost on the line: never heard
//   lose-answer:REQ the answer to the first REQ request is lost on the line:
//                   the device heard it and acted
//   stall:PCT[:MS]  say and take nothing for MS ms (default 2000) at PCT %
//   power-loss:PCT  lose power at PCT %: the device restarts, image invalid
//   write-error:PCT flash write fails from PCT % on
//   verify-error    the device's check sum of the written image is wrong
//   erase-error     the device refuses to erase (flash error)
//   wrong-family    the device claims to be of another family
//   rate-limit:BAUD a cable that garbles every byte at rates above BAUD
// RATE is a probability, "0.01" or "1%".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace emulator {

struct FaultPlan {
  double flip = 0, drop = 0, garbage = 0, loseAck = 0, dupAck = 0;
  std::optional<int> disconnectAt, powerLossAt, writeErrorAt, stallAt;
  std::optional<std::uint8_t> disconnectOn;    // a request type
  std::optional<std::uint8_t> loseOnce;        // a request type
  std::optional<std::uint8_t> loseAnswerOnce;  // a request type
  std::optional<int> rateLimit;                // baud
  int stallMs = 2000;
  bool verifyError = false, eraseError = false, wrongFamily = false;
};

// Adds one --fault SPEC to the plan; false with a message when malformed.
platform::Result<> AddFault(std::string_view spec, FaultPlan& plan);

}  // namespace emulator
