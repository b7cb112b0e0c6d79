#pragma once
// A scripted device library: per family and query, the result byte and the
// text written into the buffer; every information query is recorded.

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "identify/device_library.h"

enum class Query { kBoot, kProduct, kApplication };

struct QueryCall {
  DeviceFamily family;
  Query query;
  std::int32_t mode;
  std::int32_t port;
  bool operator==(const QueryCall&) const = default;
};

struct ScriptedAnswer {
  unsigned char result = 0;  // no answer unless scripted
  std::string text;
  // Fill all 255 bytes with text repeated, leaving no NUL.
  bool fillWholeBuffer = false;
};

class FakeDeviceLibrary : public DeviceLibrary {
 public:
  void Answer(DeviceFamily f, Query q, unsigned char result, std::string text = {}) {
    At(f, q) = ScriptedAnswer{result, std::move(text), false};
  }
  void FillWholeBuffer(DeviceFamily f, Query q, std::string pattern) {
    At(f, q) = ScriptedAnswer{1, std::move(pattern), true};
  }

  std::vector<QueryCall> calls;
  // Set when a query found bytes in its buffer left over from an earlier call.
  bool sawDirtyBuffer = false;

  unsigned char GetBootInformation(DeviceFamily f, std::int32_t mode, char* info,
                                   std::int32_t port) override {
    return Run(f, Query::kBoot, mode, info, port);
  }
  unsigned char GetProductInformation(DeviceFamily f, std::int32_t mode, char* info,
                                      std::int32_t port) override {
    return Run(f, Query::kProduct, mode, info, port);
  }
  unsigned char GetApplicationInformation(DeviceFamily f, std::int32_t mode, char* info,
                                          std::int32_t port) override {
    return Run(f, Query::kApplication, mode, info, port);
  }
  unsigned char GetJobName(DeviceFamily, char*) override { return 0; }
  std::int32_t GetProgress(DeviceFamily) override { return 0; }
  unsigned char InitCom(std::int32_t, std::int32_t) override { return 0; }
  unsigned char CatchBoot(std::int32_t, std::int32_t) override { return 0; }
  unsigned char DownloadMOTCF(const char*, std::int32_t, std::int32_t) override { return 0; }

 private:
  ScriptedAnswer& At(DeviceFamily f, Query q) {
    return answers_[FamilyIndex(f)][static_cast<int>(q)];
  }

  unsigned char Run(DeviceFamily f, Query q, std::int32_t mode, char* info, std::int32_t port) {
    calls.push_back({f, q, mode, port});
    for (int i = 0; i < kInformationBufferSize; ++i)
      if (info[i] != '\0') sawDirtyBuffer = true;
    const ScriptedAnswer& answer = At(f, q);
    if (answer.fillWholeBuffer) {
      for (int i = 0; i < kInformationBufferSize; ++i)
        info[i] = answer.text[static_cast<std::size_t>(i) % answer.text.size()];
    } else {
      // Answers that did not succeed still scribble, as a real library may.
      std::memcpy(info, answer.text.c_str(), answer.text.size() + 1);
    }
    return answer.result;
  }

  std::array<std::array<ScriptedAnswer, 3>, kFamilyCount> answers_{};
};
