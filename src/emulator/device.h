#pragma once
// The remote as its boot loader and application see the host: a state
// machine fed with decoded request frames. It knows nothing of ptys, time
// pacing or faults on the line; the caller supplies the time.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/device_family.h"
#include "emulator/delta_applier.h"
#include "emulator/inflater.h"
#include "kestra2g/wire/firmware_signature.h"
#include "kestra2g/wire/frame.h"
#include "kestra2g/wire/protocol.h"

namespace emulator {

using Clock = std::chrono::steady_clock;

enum class PowerState {
  Application,  // the firmware runs: identifies itself, refuses downloads
  BootLoader,   // accepts a download
  Silent,       // the firmware runs and says nothing
  Listening,    // just reset: the boot loader waits for a catch request
};

struct DeviceConfig {
  // An HLX700 unless told otherwise.
  std::uint8_t deviceCode = Family(DeviceFamily::HLX700).deviceCode;
  std::string familyName{Family(DeviceFamily::HLX700).productKey};
  std::string bootId{Family(DeviceFamily::HLX700).bootId};
  std::string productKey{Family(DeviceFamily::HLX700).productKey};
  PowerState initialState = PowerState::Application;
  std::optional<std::string> bootText, productText, appText;  // raw overrides
  bool answerBoot = true, answerProduct = true, answerApp = true;
  std::string appVersion = "1.0.0";
  std::uint32_t flashSize = 1024 * 1024;  // boot loader + application area
  std::uint32_t bootLoaderSize = 16 * 1024;
  std::uint16_t maxData = 2048;
  std::uint8_t window = 8;
  // Compressed images: offered in HELLO, inflated with a 2^bits byte window.
  bool offerDeflate = true;
  std::uint8_t inflateWindowBits = 12;
  // Line rates the boot loader runs (SET-RATE), listed in HELLO when there
  // is more than the base rate; empty: one from before them (HELLO lists none).
  std::vector<std::uint32_t> rates{115200, 230400, 460800, 921600};
  std::chrono::milliseconds catchWindow{500};
  std::chrono::microseconds flashWritePerKb{0};
  std::chrono::microseconds eraseTime{20000};
  // The image that runs at start: a firmware file's header and payload
  // (its delta sections left out); empty: a factory image.
  std::vector<std::uint8_t> initialImage;
  // The stored security counter (at least the running image's). A checking
  // boot loader refuses a manifest below it and raises it when it activates
  // an image with a higher one.
  std::uint32_t securityCounter = 0;
  // A boot loader that checks signatures erases nothing without a signed
  // manifest for its family, writes the new image beside the old one and
  // swaps only a whole, signed image in, keeping the one before in its spare
  // slot for REVERT; it takes delta sections too. Without it (an older boot loader)
  // the image is written in place, as before signed firmware.
  bool checkSignatures = true;
  std::vector<wire::KeySlot> keySlots{wire::BuiltInKeySlots().begin(),
                                      wire::BuiltInKeySlots().end()};
  // ACTIVATE may ask for a restart once its OK answer has left (offered in
  // HELLO); without it a flagged ACTIVATE is one of the wrong length.
  bool restartOnActivate = true;
  // Faults that live in the device itself.
  std::optional<std::uint8_t> reportedCode;  // wrong family: what HELLO/CATCH claim
  std::optional<int> writeErrorAtPercent;
  bool verifyError = false;  // one bit of the written image does not take
  bool eraseError = false;
};

struct Outgoing {
  std::vector<std::uint8_t> bytes;
  Clock::time_point notBefore;  // the device is busy (flash) until then
  std::uint8_t type = 0;
  // The line runs at this rate once these bytes have left, on trial for
  // this long (the host's proof must come within it).
  std::optional<std::uint32_t> rateAfter;
  std::chrono::milliseconds rateTrial{wire::kRateTrialMs};
  // The line loses these bytes (a fault); a switch after them still happens.
  bool lost = false;
};

class Device {
 public:
  explicit Device(DeviceConfig config);

  // Handles one request; appends the replies to `out`. Returns true when the
  // request was refused or ignored because the device is not in a state to
  // take it (used to time a simulated RESET press).
  bool Handle(const wire::Frame& request, Clock::time_point now, std::vector<Outgoing>& out);

  // RESET button: the device restarts.
  void PressReset(Clock::time_point now);
  // Power lost in the middle of things: what was written stays, the device
  // restarts and finds its image invalid.
  void PowerLoss(Clock::time_point now);
  // Time passes: a catch window may close.
  void Tick(Clock::time_point now);
  std::optional<Clock::time_point> NextDeadline() const;

  PowerState state() const { return state_; }
  bool imageValid() const { return imageValid_; }
  // Percent of the announced image received so far (0 before an erase).
  int DownloadPercent() const;
  // The image (header + payload) after a successful activation, once.
  std::optional<std::vector<std::uint8_t>> TakeActivatedImage();
  std::vector<std::uint8_t> CurrentImage() const;
  std::uint32_t securityCounter() const { return storedCounter_; }
  // What the device would tell the log of its own accord since the last
  // call: refusals of its newer checks, activations, reverts.
  std::vector<std::string> TakeNotes();

 private:
  void Reply(wire::Request r, std::uint8_t seq, std::vector<std::uint8_t> payload,
             Clock::time_point notBefore, std::vector<Outgoing>& out) const;
  void ReplyStatus(wire::Request r, std::uint8_t seq, wire::Status s, Clock::time_point notBefore,
                   std::vector<Outgoing>& out) const;
  std::string Text(wire::QueryKind kind, bool* available) const;
  void HandleQuery(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  void HandleManifest(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  void HandleErase(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  void HandleData(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  void HandleDataDeflated(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  void HandleDataDelta(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  void HandleRevert(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  // The image in the spare slot when it could run: whole, signed by a key
  // of the slots, of this family, not below the stored counter.
  std::optional<wire::FirmwareHeader> PreviousImage() const;
  // Readies the delta applier for the manifest's section whose base is the
  // running payload, if there is one and the erase made room for it.
  void PrepareDelta(std::uint32_t eraseLength);
  // The write-error fault: flash fails once the download has come this far.
  bool FlashFailsNow() const;
  // Writing `bytes` keeps the flash busy a while longer.
  void ChargeFlashWrite(Clock::time_point now, std::size_t bytes);
  void HandleVerify(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out);
  // ACTIVATE's status; a refusal changes nothing.
  wire::Status HandleActivate(const wire::Frame& f, Clock::time_point now);
  wire::Status HandleActivateSigned(const wire::Frame& f, Clock::time_point now);
  // RESTART, or ACTIVATE asking for it: once `answer` has left, the boot
  // loader starts the image if it is valid, at the base rate.
  void RestartOnceSent(Outgoing& answer);
  void CheckImage();
  // Forgets a download begun: its erase and its manifest.
  void AbandonDownload();
  // Where ERASE and DATA write: the second slot of a checking boot loader,
  // the running image's own place otherwise.
  std::vector<std::uint8_t>& writeArea() { return config_.checkSignatures ? staging_ : app_; }
  std::uint32_t appBase() const { return config_.bootLoaderSize; }
  std::uint32_t appSize() const { return config_.flashSize - config_.bootLoaderSize; }

  DeviceConfig config_;
  PowerState state_;
  PowerState restState_;  // what the firmware does after a reset window
  Clock::time_point listenUntil_{};
  std::vector<std::uint8_t> app_;  // the application area, 0xFF when erased
  // A checking boot loader's spare slot: the new image until activated,
  // then the one it replaced.
  std::vector<std::uint8_t> staging_;
  bool imageValid_ = false;
  std::string imageVersion_;
  wire::Sha256Digest runningSha256_{};  // of the running payload; zeros without one
  std::uint32_t storedCounter_ = 0;
  std::vector<std::string> notes_;
  // Download in progress.
  std::optional<std::vector<std::uint8_t>> manifest_;  // the accepted signed header
  wire::FirmwareHeader manifestHeader_;
  std::size_t headerSize_ = wire::kFirmwareHeaderSize;  // of the image being written
  bool erased_ = false;
  std::uint32_t eraseEnd_ = 0;
  std::uint32_t nextOffset_ = 0;
  std::map<std::uint32_t, std::uint32_t> aheadOfGap_;  // received beyond a gap: offset -> end
  std::unique_ptr<StreamInflater> inflater_;           // a compressed image being written
  std::unique_ptr<DeltaApplier> delta_;                // a delta section being applied
  bool deltaBase_ = false;  // the manifest has a section for the running payload
  bool deltaUsed_ = false;  // this download sent it
  Clock::time_point flashBusyUntil_{};
  bool badBitWritten_ = false;  // the verify-error fault struck
  std::optional<std::vector<std::uint8_t>> activated_;
};

std::string PowerStateName(PowerState s);

}  // namespace emulator
