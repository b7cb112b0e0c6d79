#pragma once
// The bench's part "delta": one update of a real firmware pair (two builds
// of one program) with and without the delta section, over the modelled line.

#include <filesystem>
#include <string>

#include "kestra2g/wire/signing.h"

namespace bench {

struct DeltaPartOptions {
  std::filesystem::path oldPayload, newPayload;  // the pair, as built
  int latencyMs = 16;
  int buffer = 4096;
  int runs = 1;
  std::string emulator;
};

// The remote runs the old build; the new one goes once as the whole image
// (compressed) and once as the delta section from the old, at 115200 only
// and offering up to 921600. Prints the table and checks the targets (the
// delta call at most 30 % of the whole at 115200, 35 % at 921600). True when met.
bool RunDeltaPart(const DeltaPartOptions& o, const wire::KeyPair& key,
                  const std::filesystem::path& work);

}  // namespace bench
