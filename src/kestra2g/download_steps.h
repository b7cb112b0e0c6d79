#pragma once
// The steps of writing a firmware file into the device, in the order the
// download takes them. Each is one exchange (or one stream) with the
// device and ends with what the next step needs, or why not.

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "kestra2g/failure.h"
#include "kestra2g/firmware_check.h"
#include "kestra2g/line_rate.h"
#include "kestra2g/link.h"
#include "kestra2g/transfer.h"
#include "kestra2g/wire/answers.h"
#include "kestra2g/wire/firmware_file.h"

namespace kestra2g::download {

// What goes on the line for the image: the payload as it is, compressed
// for a device that inflates, or the delta section whose base the device
// runs. Progress counts image bytes whichever it is.
struct Stream {
  wire::Request request = wire::Request::Data;
  std::span<const std::uint8_t> bytes;
  std::uint32_t firstOffset = 0;  // device offset of bytes[0]; stream offset 0 otherwise
  bool countsWritten = false;     // the device reports the image bytes written
  // The compressed stream, when it is one: held apart so that `bytes` stays
  // valid wherever the stream is moved (and it cannot be copied).
  std::unique_ptr<const std::vector<std::uint8_t>> owned;
};

// Why a file is refused to a device whose security counter is above its
// own; nothing when it is not.
[[nodiscard]] std::optional<Unexpected> AtLeastCounter(const wire::FirmwareHeader& header,
                                                       std::uint32_t deviceCounter);

// HELLO, with the switch to the likely rate asked right behind it: the
// boot loader of `code`'s family, of our protocol, with room for the image,
// and not holding a higher security counter than the file's.
[[nodiscard]] Result<wire::HelloInfo> Reach(Link& link, std::int32_t code,
                                            const wire::FirmwareHeader& header,
                                            std::optional<SwitchAskedAhead>& ahead);

// Compressing takes a while: it starts here and runs while the rate and the
// manifest are settled with the device. Nothing to wait for when the device
// runs the base of one of the file's delta sections or does not inflate.
[[nodiscard]] std::future<std::optional<std::vector<std::uint8_t>>> StartCompressing(
    const wire::HelloInfo& device, const CheckedFirmware& file);

// The signed manifest, before anything is erased, at the fastest rate that
// holds: its answer proves that rate for the rest of the call. A device
// that checks signatures refuses a file it cannot trust and keeps its image.
[[nodiscard]] Result<> RaiseRateWithManifest(Link& link, const wire::HelloInfo& device,
                                             std::optional<SwitchAskedAhead>& ahead,
                                             std::span<const std::uint8_t> head);

// The delta section for the payload the device runs, else the compressed
// image (waited for here) when it is smaller, else the payload.
[[nodiscard]] Stream ChooseStream(const wire::HelloInfo& device, const CheckedFirmware& file,
                                  std::future<std::optional<std::vector<std::uint8_t>>> deflating);

// ERASE, and the stream right behind it (the device takes it in order, once
// erased); the transfer's closing, VERIFY and ACTIVATE, right behind the last
// data frame. Should the device not have heard the erase, it is asked again
// and the stream waits for its answer. The transfer that wrote the image, for
// the closing's answers.
[[nodiscard]] Result<Transfer> EraseAndWrite(Link& link, const wire::HelloInfo& device,
                                             const CheckedFirmware& file, const Stream& stream);

// The end of the download from the closing's answers: the device's check sum
// against the file's, the activation (the device checks the image itself
// before it writes the header) and the restart, folded into ACTIVATE for a
// device that offers it. What is asked again, and what counts as confirmed,
// is decided here and only here (docs/protocol.md, "The download's end").
[[nodiscard]] Result<> Finish(Link& link, const wire::HelloInfo& device, Transfer& written,
                              const CheckedFirmware& file);

}  // namespace kestra2g::download
