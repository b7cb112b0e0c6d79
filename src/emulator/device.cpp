#include "emulator/device.h"

#include <algorithm>
#include <utility>

#include "kestra2g/wire/crc32.h"
#include "kestra2g/wire/firmware_file.h"

namespace emulator {

using wire::Request;
using wire::Status;

namespace {

std::vector<std::uint8_t> FactoryPayload(std::uint8_t code) {
  std::vector<std::uint8_t> payload(4096);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<std::uint8_t>((i * 31 + code * 7) & 0xFF);
  }
  return payload;
}

}  // namespace

std::string PowerStateName(PowerState s) {
  switch (s) {
    case PowerState::Application:
      return "application";
    case PowerState::BootLoader:
      return "bootloader";
    case PowerState::Silent:
      return "silent";
    case PowerState::Listening:
      return "listening";
  }
  return "?";
}

Device::Device(DeviceConfig config)
    : config_(std::move(config)),
      state_(config_.initialState),
      restState_(config_.initialState),
      inflater_(std::make_unique<StreamInflater>(config_.inflateWindowBits,
                                                 std::size_t{config_.window} * config_.maxData)),
      delta_(std::make_unique<DeltaApplier>(wire::DeltaWindowLog(appSize()),
                                            std::size_t{config_.window} * config_.maxData)) {
  if (restState_ == PowerState::BootLoader || restState_ == PowerState::Listening) {
    restState_ = PowerState::Application;
  }
  app_.assign(appSize(), 0xFF);
  if (config_.checkSignatures) staging_.assign(appSize(), 0xFF);
  std::vector<std::uint8_t> image = config_.initialImage;
  if (image.empty()) {
    image = wire::BuildFirmwareFile(config_.deviceCode, config_.familyName, config_.appVersion,
                                    FactoryPayload(config_.deviceCode));
  }
  std::copy_n(image.begin(), std::min(image.size(), app_.size()), app_.begin());
  CheckImage();
  wire::FirmwareHeader running;
  if (imageValid_ && wire::ParseFirmwareHeader(app_, &running) == wire::FirmwareCheck::Ok) {
    storedCounter_ = std::max(config_.securityCounter, running.securityCounter);
  } else {
    storedCounter_ = config_.securityCounter;
  }
  // A device without a valid image can only sit in its boot loader.
  if (!imageValid_) state_ = PowerState::BootLoader;
}

// At start-up the boot loader checks that the image is whole (its CRC-32 or
// SHA-256); the signature was checked when it was written.
void Device::CheckImage() {
  wire::FirmwareHeader h;
  imageValid_ = false;
  runningSha256_ = {};
  if (wire::ParseFirmwareHeader(app_, &h) != wire::FirmwareCheck::Ok) return;
  if (h.deviceCode != config_.deviceCode) return;
  if (h.size() + std::uint64_t{h.payloadSize} > app_.size()) return;
  if (wire::CheckFirmwareImage(std::span(app_).first(h.size() + h.payloadSize), nullptr) !=
      wire::FirmwareCheck::Ok) {
    return;
  }
  imageValid_ = true;
  imageVersion_ = h.version;
  runningSha256_ = wire::Sha256(wire::PayloadOf(app_, h));
}

std::vector<std::string> Device::TakeNotes() { return std::exchange(notes_, {}); }

std::vector<std::uint8_t> Device::CurrentImage() const {
  wire::FirmwareHeader h;
  if (!imageValid_ || wire::ParseFirmwareHeader(app_, &h) != wire::FirmwareCheck::Ok) return {};
  return {app_.begin(), app_.begin() + static_cast<std::ptrdiff_t>(h.size() + h.payloadSize)};
}

void Device::AbandonDownload() {
  erased_ = false;
  manifest_.reset();
  aheadOfGap_.clear();
  deltaBase_ = false;
  deltaUsed_ = false;
  delta_->Refuse();
}

std::optional<std::vector<std::uint8_t>> Device::TakeActivatedImage() {
  auto image = std::move(activated_);
  activated_.reset();
  return image;
}

int Device::DownloadPercent() const {
  const std::uint32_t start = appBase() + static_cast<std::uint32_t>(headerSize_);
  if (!erased_ || eraseEnd_ <= start) return 0;
  return static_cast<int>((std::uint64_t{nextOffset_ - start} * 100) / (eraseEnd_ - start));
}

bool Device::FlashFailsNow() const {
  return config_.writeErrorAtPercent && DownloadPercent() >= *config_.writeErrorAtPercent;
}

void Device::ChargeFlashWrite(Clock::time_point now, std::size_t bytes) {
  flashBusyUntil_ = std::max(flashBusyUntil_, now) +
                    std::chrono::duration_cast<std::chrono::microseconds>(
                        config_.flashWritePerKb * static_cast<std::int64_t>(bytes) / 1024);
}

void Device::PressReset(Clock::time_point now) {
  AbandonDownload();
  if (!imageValid_) {
    state_ = PowerState::BootLoader;
  } else if (state_ == PowerState::Silent || state_ == PowerState::Listening) {
    state_ = PowerState::Listening;
    listenUntil_ = now + config_.catchWindow;
  } else {
    // From the application (or the boot loader) RESET lands in the boot
    // loader, which then waits for the host.
    state_ = PowerState::BootLoader;
  }
}

void Device::PowerLoss(Clock::time_point now) {
  (void)now;
  AbandonDownload();
  CheckImage();
  state_ = imageValid_ ? restState_ : PowerState::BootLoader;
}

void Device::Tick(Clock::time_point now) {
  if (state_ == PowerState::Listening && now >= listenUntil_) state_ = restState_;
}

std::optional<Clock::time_point> Device::NextDeadline() const {
  if (state_ == PowerState::Listening) return listenUntil_;
  return std::nullopt;
}

void Device::Reply(Request r, std::uint8_t seq, std::vector<std::uint8_t> payload,
                   Clock::time_point notBefore, std::vector<Outgoing>& out) const {
  const std::uint8_t type = wire::ReplyType(r);
  out.push_back({wire::EncodeFrame(type, seq, payload), notBefore, type, std::nullopt});
}

void Device::ReplyStatus(Request r, std::uint8_t seq, Status s, Clock::time_point notBefore,
                         std::vector<Outgoing>& out) const {
  Reply(r, seq, wire::EncodeStatusAnswer(s), notBefore, out);
}

void Device::RestartOnceSent(Outgoing& answer) {
  // A restart begins at the base rate, as after power-up.
  answer.rateAfter = wire::kBaseRate;
  if (state_ == PowerState::BootLoader) {
    AbandonDownload();
    state_ = imageValid_ ? restState_ : PowerState::BootLoader;
  }
}

std::string Device::Text(wire::QueryKind kind, bool* available) const {
  *available = true;
  switch (kind) {
    case wire::QueryKind::Boot:
      *available = config_.answerBoot;
      return config_.bootText.value_or("BOOT V1.07 OEM " + config_.bootId + " VANTREL\r\n");
    case wire::QueryKind::Product:
      *available = config_.answerProduct;
      return config_.productText.value_or("PRODUCT " + config_.productKey + " REV B\r\n");
    case wire::QueryKind::Application:
      *available = config_.answerApp && (imageValid_ || config_.appText.has_value());
      return config_.appText.value_or("APP: " + imageVersion_ + "\r\n");
  }
  *available = false;
  return {};
}

bool Device::Handle(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out) {
  Tick(now);
  const auto request = static_cast<Request>(f.type);
  if (state_ == PowerState::Silent) return true;
  if (state_ == PowerState::Listening) {
    if (request != Request::Catch || !wire::DecodeEmpty(f.payload)) return true;
    state_ = PowerState::BootLoader;
  }
  const std::uint8_t code = config_.reportedCode.value_or(config_.deviceCode);
  switch (request) {
    case Request::Hello: {
      if (!wire::DecodeHelloRequest(f.payload)) {
        ReplyStatus(request, f.seq, Status::BadRequest, now, out);
        return false;
      }
      wire::HelloInfo h;
      h.deviceCode = code;
      h.state = state_ == PowerState::BootLoader ? wire::DeviceState::BootLoader
                                                 : wire::DeviceState::Application;
      h.imageValid = imageValid_;
      h.maxData = config_.maxData;
      h.window = config_.window;
      h.appBase = appBase();
      h.appSize = appSize();
      if (config_.offerDeflate) {
        h.features = wire::kFeatureDeflate;
        h.windowBits = config_.inflateWindowBits;
      }
      if (config_.restartOnActivate) h.features |= wire::kFeatureRestartOnActivate;
      if (config_.checkSignatures) {
        h.features |= wire::kFeatureSignatureCheck | wire::kFeatureRunningImage;
        h.runningSha256 = runningSha256_;
        h.securityCounter = storedCounter_;
      }
      if (!config_.rates.empty()) {
        h.features |= wire::kFeatureRates;
        h.rates = config_.rates;
      }
      Reply(request, f.seq, wire::EncodeHello(Status::Ok, h), now, out);
      return state_ != PowerState::BootLoader;
    }
    case Request::Query:
      HandleQuery(f, now, out);
      return false;
    case Request::Catch:
      if (state_ != PowerState::BootLoader) return true;  // the application ignores it
      if (!wire::DecodeEmpty(f.payload)) {
        ReplyStatus(request, f.seq, Status::BadRequest, now, out);
      } else {
        Reply(request, f.seq, wire::EncodeCatchAnswer({code}), now, out);
      }
      return false;
    case Request::SetRate: {
      // The boot loader and the application alike: the line is theirs.
      // Unknown to a device from before rates: left unanswered, and not a
      // refusal anyone would answer by pressing RESET (the library asks
      // ahead, before it knows).
      if (config_.rates.empty()) return false;
      const auto asked = wire::DecodeSetRate(f.payload);
      if (!asked) {
        ReplyStatus(request, f.seq, Status::BadRequest, now, out);
        return false;
      }
      const bool offered =
          asked->rate == wire::kBaseRate ||
          std::find(config_.rates.begin(), config_.rates.end(), asked->rate) != config_.rates.end();
      if (!offered) {
        ReplyStatus(request, f.seq, Status::OutOfRange, now, out);
        return false;
      }
      ReplyStatus(request, f.seq, Status::Ok, now, out);
      out.back().rateAfter = asked->rate;
      out.back().rateTrial = std::chrono::milliseconds(asked->trialMs);
      return false;
    }
    case Request::Restart:
      if (!wire::DecodeEmpty(f.payload)) {
        ReplyStatus(request, f.seq, Status::BadRequest, now, out);
        return false;
      }
      ReplyStatus(request, f.seq, Status::Ok, now, out);
      RestartOnceSent(out.back());
      return false;
    default:
      break;
  }
  const bool deflated = request == Request::DataDeflated && config_.offerDeflate;
  // Requests only a boot loader that reports its running image knows.
  const bool slots =
      config_.checkSignatures && (request == Request::DataDelta || request == Request::Revert);
  if (state_ != PowerState::BootLoader) {
    if (deflated || slots || request == Request::Manifest ||
        (f.type >= static_cast<std::uint8_t>(Request::Erase) &&
         f.type <= static_cast<std::uint8_t>(Request::Activate))) {
      ReplyStatus(request, f.seq, Status::WrongState, now, out);
    }
    return true;
  }
  switch (request) {
    case Request::Manifest:
      HandleManifest(f, now, out);
      break;
    case Request::Erase:
      HandleErase(f, now, out);
      break;
    case Request::Data:
      HandleData(f, now, out);
      break;
    case Request::DataDeflated:
      if (deflated) HandleDataDeflated(f, now, out);
      break;
    case Request::DataDelta:
      if (slots) HandleDataDelta(f, now, out);
      break;
    case Request::Revert:
      if (slots) HandleRevert(f, now, out);
      break;
    case Request::Verify:
      HandleVerify(f, now, out);
      break;
    case Request::Activate: {
      const auto asked = wire::DecodeActivate(f.payload);
      // A boot loader from before the flag takes the byte as part of the header.
      const Status s = !asked || (asked->restart && !config_.restartOnActivate) ? Status::BadImage
                       : config_.checkSignatures ? HandleActivateSigned(f, now)
                                                 : HandleActivate(f, now);
      ReplyStatus(request, f.seq, s, s == Status::Ok ? std::max(now, flashBusyUntil_) : now, out);
      if (s == Status::Ok && asked->restart) RestartOnceSent(out.back());
      break;
    }
    default:
      break;  // unknown requests get no answer
  }
  return false;
}

void Device::HandleQuery(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out) {
  const auto asked = wire::DecodeQuery(f.payload);
  if (!asked) {
    ReplyStatus(Request::Query, f.seq, Status::BadRequest, now, out);
    return;
  }
  bool available = false;
  std::string text = Text(asked->kind, &available);
  if (!available) {
    // A boot loader without that text says nothing, as a real one would.
    return;
  }
  if (text.size() > config_.maxData) text.resize(config_.maxData);
  Reply(Request::Query, f.seq, wire::EncodeQueryAnswer({asked->kind, std::move(text)}), now, out);
}

void Device::HandleManifest(const wire::Frame& f, Clock::time_point now,
                            std::vector<Outgoing>& out) {
  // Whatever came before is void: only this manifest, if accepted, counts.
  AbandonDownload();
  const auto manifest = wire::DecodeManifest(f.payload);
  wire::FirmwareHeader h;
  if (!manifest || wire::ParseFirmwareHeader(manifest->header, &h) != wire::FirmwareCheck::Ok ||
      !h.signedFormat()) {
    return ReplyStatus(Request::Manifest, f.seq, Status::BadImage, now, out);
  }
  if (h.deviceCode != config_.deviceCode) {
    return ReplyStatus(Request::Manifest, f.seq, Status::BadImage, now, out);
  }
  if (h.size() + std::uint64_t{h.payloadSize} > appSize()) {
    return ReplyStatus(Request::Manifest, f.seq, Status::OutOfRange, now, out);
  }
  if (config_.checkSignatures &&
      wire::CheckSignature(manifest->header, h, config_.keySlots) != wire::SignatureCheck::Ok) {
    return ReplyStatus(Request::Manifest, f.seq, Status::NotSigned, now, out);
  }
  // Before anything is erased: an older signed image may not come back.
  if (config_.checkSignatures && h.securityCounter < storedCounter_) {
    notes_.push_back("REFUSED MANIFEST " + h.version + ": security counter " +
                     std::to_string(h.securityCounter) + " below the device's " +
                     std::to_string(storedCounter_));
    return ReplyStatus(Request::Manifest, f.seq, wire::kCounterBelow, now, out);
  }
  manifest_.emplace(manifest->header.begin(), manifest->header.end());
  manifestHeader_ = std::move(h);
  ReplyStatus(Request::Manifest, f.seq, Status::Ok, now, out);
}

void Device::HandleErase(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out) {
  const auto range = wire::DecodeRange(f.payload);
  if (!range) return ReplyStatus(Request::Erase, f.seq, Status::BadRequest, now, out);
  const auto [offset, length] = *range;
  if (offset != appBase() || length == 0 || length > appSize()) {
    return ReplyStatus(Request::Erase, f.seq, Status::OutOfRange, now, out);
  }
  if (config_.checkSignatures && !manifest_) {
    return ReplyStatus(Request::Erase, f.seq, Status::NotSigned, now, out);
  }
  if (config_.eraseError) return ReplyStatus(Request::Erase, f.seq, Status::FlashError, now, out);
  std::vector<std::uint8_t>& area = writeArea();
  std::fill_n(area.begin(), length, 0xFF);
  if (&area == &app_) {
    imageValid_ = false;
    imageVersion_.clear();
  }
  erased_ = true;
  eraseEnd_ = offset + length;
  headerSize_ = manifest_ ? manifestHeader_.size() : wire::kFirmwareHeaderSize;
  nextOffset_ = appBase() + static_cast<std::uint32_t>(headerSize_);
  aheadOfGap_.clear();
  // A compressed image inflates into the payload part of the erased area.
  const std::size_t header = std::min<std::size_t>(length, headerSize_);
  inflater_->Restart(std::span(area).subspan(header, length - header));
  PrepareDelta(length);
  flashBusyUntil_ = std::max(flashBusyUntil_, now) + config_.eraseTime;
  ReplyStatus(Request::Erase, f.seq, Status::Ok, flashBusyUntil_, out);
}

void Device::HandleData(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out) {
  auto ack = [&](Status s, Clock::time_point when) {
    Reply(Request::Data, f.seq, wire::EncodeDataAnswer({s, nextOffset_}), when, out);
  };
  const auto data = wire::DecodeData(f.payload);
  if (!data || data->bytes.size() > config_.maxData) return ack(Status::BadRequest, now);
  const auto [offset, bytes] = *data;
  // The boot loader and the image header are never written by data frames.
  const std::uint64_t end = std::uint64_t{offset} + bytes.size();
  if (offset < appBase() + headerSize_ || end > std::uint64_t{config_.flashSize}) {
    return ack(Status::OutOfRange, now);
  }
  if (!erased_ || end > eraseEnd_) return ack(Status::NotErased, now);
  if (end <= nextOffset_) return ack(Status::Ok, std::max(now, flashBusyUntil_));  // resent
  if (FlashFailsNow()) return ack(Status::FlashError, now);
  // Absolute offsets: a frame beyond a gap is written where it belongs and
  // counted once the gap is filled.
  std::copy(bytes.begin(), bytes.end(), writeArea().begin() + (offset - appBase()));
  ChargeFlashWrite(now, bytes.size());
  if (offset > nextOffset_) {
    // Resent blocks may be cut differently: keep the furthest end per start.
    auto& furthest = aheadOfGap_[offset];
    furthest = std::max(furthest, static_cast<std::uint32_t>(end));
  } else {
    nextOffset_ = static_cast<std::uint32_t>(end);
    for (auto it = aheadOfGap_.begin(); it != aheadOfGap_.end() && it->first <= nextOffset_;
         it = aheadOfGap_.erase(it)) {
      nextOffset_ = std::max(nextOffset_, it->second);
    }
  }
  // Every frame is answered: with a gap still open the host learns at once
  // that something before this frame went astray.
  ack(aheadOfGap_.empty() ? Status::Ok : Status::Gap, flashBusyUntil_);
}

void Device::HandleDataDeflated(const wire::Frame& f, Clock::time_point now,
                                std::vector<Outgoing>& out) {
  auto ack = [&](Status s, Clock::time_point when) {
    Reply(Request::DataDeflated, f.seq,
          wire::EncodeDeflatedAnswer(
              {s, inflater_->next(), static_cast<std::uint32_t>(inflater_->written())}),
          when, out);
  };
  const auto data = wire::DecodeData(f.payload);
  if (!data || data->bytes.size() > config_.maxData) return ack(Status::BadRequest, now);
  const auto [offset, bytes] = *data;
  if (!erased_) return ack(Status::NotErased, now);
  if (FlashFailsNow()) return ack(Status::FlashError, now);
  const std::size_t before = inflater_->written();
  const auto result = inflater_->Take(offset, bytes);
  if (result == StreamInflater::Result::Dropped) return;  // no room: as if never received
  const std::size_t grown = inflater_->written() - before;
  nextOffset_ = appBase() + static_cast<std::uint32_t>(headerSize_ + inflater_->written());
  ChargeFlashWrite(now, grown);
  if (result == StreamInflater::Result::Failed) return ack(Status::BadImage, now);
  ack(result == StreamInflater::Result::Ok ? Status::Ok : Status::Gap, flashBusyUntil_);
}

void Device::HandleVerify(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out) {
  const auto range = wire::DecodeRange(f.payload);
  if (!range) return ReplyStatus(Request::Verify, f.seq, Status::BadRequest, now, out);
  const auto [offset, length] = *range;
  if (offset < appBase() || std::uint64_t{offset} + length > std::uint64_t{config_.flashSize}) {
    return ReplyStatus(Request::Verify, f.seq, Status::OutOfRange, now, out);
  }
  // The fault: a flash cell of the written image that did not take. It
  // stays wrong, for VERIFY and for ACTIVATE's own check alike.
  if (config_.verifyError && !badBitWritten_ && erased_ && length > 0) {
    writeArea()[offset - appBase() + length / 2] ^= 0x04;
    badBitWritten_ = true;
  }
  const std::uint32_t crc = wire::Crc32(std::span(writeArea()).subspan(offset - appBase(), length));
  Reply(Request::Verify, f.seq, wire::EncodeVerifyAnswer({crc}), std::max(now, flashBusyUntil_),
        out);
}

Status Device::HandleActivate(const wire::Frame& f, Clock::time_point now) {
  const auto activate = wire::DecodeActivate(f.payload);
  if (!activate) return Status::BadImage;
  const auto header = activate->header;
  wire::FirmwareHeader h;
  if (wire::ParseFirmwareHeader(header, &h) != wire::FirmwareCheck::Ok ||
      header.size() != h.size() || h.deviceCode != config_.deviceCode ||
      h.size() + std::uint64_t{h.payloadSize} > app_.size()) {
    return Status::BadImage;
  }
  if (imageValid_) {
    // Activated already (our answer was lost): the same header is fine.
    const bool same = std::equal(header.begin(), header.end(), app_.begin());
    return same ? Status::Ok : Status::WrongState;
  }
  // The data went in after the header the erase expected; only then does
  // this header describe what was written.
  if (!erased_ || h.size() != headerSize_) {
    return Status::BadImage;
  }
  std::vector<std::uint8_t> whole(header.begin(), header.end());
  whole.insert(whole.end(), app_.begin() + static_cast<std::ptrdiff_t>(h.size()),
               app_.begin() + static_cast<std::ptrdiff_t>(h.size() + h.payloadSize));
  if (wire::CheckFirmwareImage(whole, nullptr) != wire::FirmwareCheck::Ok) {
    return Status::BadImage;
  }
  std::copy(header.begin(), header.end(), app_.begin());
  CheckImage();
  if (!imageValid_) {
    // Back to the erased header: a refused ACTIVATE leaves what it found.
    std::fill_n(app_.begin(), header.size(), 0xFF);
    return Status::BadImage;
  }
  activated_ = CurrentImage();
  ChargeFlashWrite(now, header.size());
  return Status::Ok;
}

}  // namespace emulator

namespace emulator {

// A checking boot loader activates only the manifest it accepted, over a
// payload whose SHA-256 is the signed one, and only then replaces the image
// that runs: every refusal leaves the old image as it was.
Status Device::HandleActivateSigned(const wire::Frame& f, Clock::time_point now) {
  const auto activate = wire::DecodeActivate(f.payload);
  if (!activate) return Status::BadImage;
  const auto header = activate->header;
  const bool running = imageValid_ && header.size() <= app_.size() &&
                       std::equal(header.begin(), header.end(), app_.begin());
  if (!manifest_) {
    // Activated already (our answer was lost): the same header is fine.
    return running ? Status::Ok : Status::NotSigned;
  }
  const wire::FirmwareHeader h = manifestHeader_;
  if (!erased_ || !std::ranges::equal(header, *manifest_)) {
    return Status::BadImage;
  }
  // A delta that came must have matched its signed hashes, whatever the
  // payload holds now.
  // One still missing pieces (ACTIVATE goes right behind the last data
  // frame, before its answer) is only incomplete.
  if (deltaUsed_ && !delta_->settled()) return Status::BadImage;
  if (deltaUsed_ && !delta_->verified()) {
    notes_.push_back("REFUSED ACTIVATE " + h.version + ": " +
                     wire::StatusText(wire::kDeltaMismatch));
    return wire::kDeltaMismatch;
  }
  if (wire::Sha256(std::span(staging_).subspan(h.size(), h.payloadSize)) != h.payloadSha256) {
    return Status::BadImage;
  }
  // The header goes into the spare slot, which becomes the running one; the
  // image that ran stays in the other slot for REVERT.
  std::copy(manifest_->begin(), manifest_->end(), staging_.begin());
  std::swap(app_, staging_);
  CheckImage();
  if (!imageValid_) {
    // Back as it was: the old image runs, the download stays open.
    std::swap(app_, staging_);
    std::fill_n(staging_.begin(), manifest_->size(), 0xFF);
    CheckImage();
    return Status::BadImage;
  }
  AbandonDownload();
  if (h.securityCounter > storedCounter_) {
    storedCounter_ = h.securityCounter;
    notes_.push_back("COUNTER " + std::to_string(storedCounter_));
  }
  activated_ = CurrentImage();
  ChargeFlashWrite(now, header.size());
  return Status::Ok;
}

}  // namespace emulator

namespace emulator {

void Device::PrepareDelta(std::uint32_t eraseLength) {
  deltaUsed_ = false;
  const wire::FirmwareHeader& h = manifestHeader_;
  const wire::DeltaSection* section =
      manifest_ && imageValid_ && config_.checkSignatures ? h.DeltaFor(runningSha256_) : nullptr;
  deltaBase_ = section != nullptr && std::uint64_t{h.imageSize()} <= eraseLength;
  if (!deltaBase_) return delta_->Refuse();
  wire::FirmwareHeader running;
  if (wire::ParseFirmwareHeader(app_, &running) != wire::FirmwareCheck::Ok) {
    deltaBase_ = false;
    return delta_->Refuse();
  }
  delta_->Restart(wire::PayloadOf(app_, running),
                  std::span(staging_).subspan(h.size(), h.payloadSize),
                  {section->size, section->sha256, h.payloadSha256});
}

// A delta section, applied from the running payload into the spare slot as
// it comes; answered as DATA-DEFLATED is.
void Device::HandleDataDelta(const wire::Frame& f, Clock::time_point now,
                             std::vector<Outgoing>& out) {
  auto ack = [&](Status s, Clock::time_point when) {
    Reply(Request::DataDelta, f.seq,
          wire::EncodeDeflatedAnswer(
              {s, delta_->next(), static_cast<std::uint32_t>(delta_->written())}),
          when, out);
  };
  const auto data = wire::DecodeData(f.payload);
  if (!data || data->bytes.size() > config_.maxData) return ack(Status::BadRequest, now);
  const auto [offset, bytes] = *data;
  if (!erased_) return ack(Status::NotErased, now);
  if (!deltaBase_) {
    if (!deltaUsed_) {
      notes_.push_back("REFUSED DATA-DELTA: " +
                       std::string(wire::StatusText(wire::kNoDeltaForBase)));
    }
    deltaUsed_ = true;
    return ack(wire::kNoDeltaForBase, now);
  }
  if (FlashFailsNow()) return ack(Status::FlashError, now);
  deltaUsed_ = true;
  const std::size_t before = delta_->written();
  const auto result = delta_->Take(offset, bytes);
  if (result == DeltaApplier::Result::Dropped) return;  // no room: as if never received
  nextOffset_ = appBase() + static_cast<std::uint32_t>(headerSize_ + delta_->written());
  ChargeFlashWrite(now, delta_->written() - before);
  if (result == DeltaApplier::Result::Failed) return ack(wire::kDeltaMismatch, now);
  ack(result == DeltaApplier::Result::Ok ? Status::Ok : Status::Gap, flashBusyUntil_);
}

std::optional<wire::FirmwareHeader> Device::PreviousImage() const {
  wire::FirmwareHeader h;
  if (wire::ParseFirmwareHeader(staging_, &h) != wire::FirmwareCheck::Ok || !h.signedFormat() ||
      h.deviceCode != config_.deviceCode || h.imageSize() > staging_.size() ||
      wire::CheckFirmwareImage(std::span(staging_).first(h.imageSize()), nullptr) !=
          wire::FirmwareCheck::Ok ||
      wire::CheckSignature(staging_, h, config_.keySlots) != wire::SignatureCheck::Ok ||
      h.securityCounter < storedCounter_) {
    return std::nullopt;
  }
  return h;
}

void Device::HandleRevert(const wire::Frame& f, Clock::time_point now, std::vector<Outgoing>& out) {
  const auto asked = wire::DecodeRevert(f.payload);
  if (!asked) return ReplyStatus(Request::Revert, f.seq, Status::BadRequest, now, out);
  const auto previous = PreviousImage();
  if (!previous) {
    notes_.push_back("REFUSED REVERT: " + std::string(wire::StatusText(wire::kNothingToRevert)));
    return ReplyStatus(Request::Revert, f.seq, wire::kNothingToRevert, now, out);
  }
  wire::RevertAnswer answer{
      {staging_.begin(), staging_.begin() + static_cast<std::ptrdiff_t>(previous->size())}};
  if (asked->action == wire::RevertAction::Revert) {
    AbandonDownload();
    std::swap(app_, staging_);
    CheckImage();
    notes_.push_back("REVERT to " + previous->version);
    ChargeFlashWrite(now, previous->size());
  }
  Reply(Request::Revert, f.seq, wire::EncodeRevertAnswer(answer), std::max(now, flashBusyUntil_),
        out);
}

}  // namespace emulator
