#include "identify/identification_steps.h"

#include "identify/identification_texts.h"
#include "identify/information_buffer.h"
#include "identify/library_results.h"

namespace {

RunFlag& BootMatched(UpdateRunState& state, DeviceFamily f) {
  return state.bootMatched[FamilyIndex(f)];
}

enum class ProductCheck { kHit, kMiss, kNoAnswer };

// Asks the family's product information. On an answer the family stays
// boot-matched exactly when its product key is in the text.
ProductCheck CheckProduct(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                          InformationBuffer& buffer, DeviceFamily family) {
  if (!QueryInformation(library, family, InformationKind::kProduct, buffer, port))
    return ProductCheck::kNoAnswer;
  if (ContainsKey(buffer.Text(), Family(family).productKey)) {
    SetFlag(BootMatched(state, family));
    return ProductCheck::kHit;
  }
  ClearFlag(BootMatched(state, family));
  return ProductCheck::kMiss;
}

}  // namespace

bool QueryBootInformation(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                          std::string& bootIdFound) {
  InformationBuffer buffer;
  for (DeviceFamily family : kExaminationOrder) {
    if (!state.IsAvailable(family)) continue;
    if (!QueryInformation(library, family, InformationKind::kBoot, buffer, port)) continue;
    const std::string_view bootId = Family(family).bootId;
    if (MatchesOemBootId(buffer.Text(), bootId)) {
      SetFlag(BootMatched(state, family));
      bootIdFound = std::string(bootId);
      return true;
    }
  }
  return false;
}

bool QueryProductInformation(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                             std::string_view bootIdFound) {
  InformationBuffer buffer;
  bool confirmed = false;
  const auto hit = [&](DeviceFamily family) {
    state.deviceCode.store(Family(family).deviceCode);
    confirmed = true;
  };

  if (bootIdFound == Family(kProductChain.front()).bootId) {
    // A miss hands the device on to the next family of the chain (the last,
    // KII, is tried below even without its firmware); no answer ends the
    // chain with the family still boot-matched.
    for (std::size_t i = 0; i + 1 < kProductChain.size(); ++i) {
      const DeviceFamily family = kProductChain[i];
      if (!state.IsBootMatched(family) || !state.IsAvailable(family)) continue;
      switch (CheckProduct(state, library, port, buffer, family)) {
        case ProductCheck::kHit:
          hit(family);
          break;
        case ProductCheck::kMiss:
          SetFlag(BootMatched(state, kProductChain[i + 1]));
          break;
        case ProductCheck::kNoAnswer:
          break;
      }
    }
  }
  // MV5100 and KII are checked whenever boot-matched, available or not.
  for (DeviceFamily family : {DeviceFamily::MV5100, DeviceFamily::KII}) {
    if (state.IsBootMatched(family) &&
        CheckProduct(state, library, port, buffer, family) == ProductCheck::kHit)
      hit(family);
  }
  return confirmed;
}

std::optional<std::string> QueryApplicationInformation(UpdateRunState& state,
                                                       DeviceLibrary& library, std::int32_t port) {
  InformationBuffer buffer;
  std::optional<std::string> installedVersion = "";
  for (DeviceFamily family : kExaminationOrder) {
    if (!state.IsBootMatched(family)) continue;
    if (QueryInformation(library, family, InformationKind::kApplication, buffer, port)) {
      installedVersion = VersionFromApplicationText(buffer.Text());
      SetFlag(state.selected[FamilyIndex(family)]);
    } else {
      installedVersion = std::nullopt;
    }
  }
  return installedVersion;
}
