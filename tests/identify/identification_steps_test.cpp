#include "identify/identification_steps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "identify/fake_device_library.h"

namespace {

using ::testing::ElementsAre;
using F = DeviceFamily;

constexpr std::int32_t kPort = 3;

class IdentificationTest : public ::testing::Test {
 protected:
  void MakeAvailable(std::initializer_list<F> families) {
    for (F f : families) SetFlag(state.available[FamilyIndex(f)]);
  }
  void MarkBootMatched(F f) { SetFlag(state.bootMatched[FamilyIndex(f)]); }

  std::vector<F> BootMatched() const {
    std::vector<F> result;
    for (F f : kExaminationOrder)
      if (state.IsBootMatched(f)) result.push_back(f);
    return result;
  }
  std::vector<F> Selected() const {
    std::vector<F> result;
    for (F f : kExaminationOrder)
      if (state.IsSelected(f)) result.push_back(f);
    return result;
  }
  std::vector<F> Queried(Query q) const {
    std::vector<F> result;
    for (const QueryCall& call : library.Calls())
      if (call.query == q) result.push_back(call.family);
    return result;
  }
  bool Product(std::string_view bootId) {
    return QueryProductInformation(state, library, kPort, bootId);
  }

  UpdateRunState state;
  FakeDeviceLibrary library;
};

// Boot step.

TEST_F(IdentificationTest, FirstPassingFamilyWinsAndLaterOnesAreNotAsked) {
  MakeAvailable({F::HLX700, F::TQ640});
  library.Answer(F::HLX700, Query::kBoot, 1, "BL OEM 35243");
  library.Answer(F::TQ640, Query::kBoot, 1, "BL OEM 35243");
  std::string bootId;
  EXPECT_TRUE(QueryBootInformation(state, library, kPort, bootId));
  EXPECT_EQ(bootId, "35243");
  EXPECT_THAT(BootMatched(), ElementsAre(F::HLX700));
  EXPECT_THAT(library.Calls(), ElementsAre(QueryCall{F::HLX700, Query::kBoot, -1, kPort}));
}

TEST_F(IdentificationTest, UnavailableFamiliesAreNotAskedAndOtherAnswersThanOneFail) {
  MakeAvailable({F::HLX700, F::MV5100, F::KII});
  library.Answer(F::HLX700, Query::kBoot, 2, "OEM 35243");     // 2 is no answer
  library.Answer(F::MV5100, Query::kBoot, 1, "OEM 35243");     // not MV5100's own ID
  library.Answer(F::TQ640, Query::kBoot, 1, "OEM 35243");      // not available
  library.FillWholeBuffer(F::KII, Query::kBoot, "OEM      ");  // no NUL anywhere
  std::string bootId = "keep";
  EXPECT_TRUE(QueryBootInformation(state, library, kPort, bootId));
  EXPECT_EQ(bootId, "     ");
  EXPECT_THAT(Queried(Query::kBoot), ElementsAre(F::HLX700, F::MV5100, F::KII));
  EXPECT_THAT(BootMatched(), ElementsAre(F::KII));
  EXPECT_FALSE(library.sawDirtyBuffer) << "buffer must be zero-filled before every query";
}

TEST_F(IdentificationTest, NoMatchChangesNothing) {
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640, F::KII});
  library.Answer(F::HLX700, Query::kBoot, 1, "OEM 45323");
  library.Answer(F::MV5100, Query::kBoot, 0, "OEM 45323");
  std::string bootId = "keep";
  EXPECT_FALSE(QueryBootInformation(state, library, kPort, bootId));
  EXPECT_EQ(bootId, "keep");
  EXPECT_TRUE(BootMatched().empty());
  EXPECT_EQ(library.Calls().size(), 4u);
}

// Product step: the decision table and its chain.

TEST_F(IdentificationTest, Hlx700ProductHitGivesCodeZero) {
  MakeAvailable({F::HLX700, F::TQ640});
  MarkBootMatched(F::HLX700);
  library.Answer(F::HLX700, Query::kProduct, 1, "Vantrel HLX700 rev B");
  EXPECT_TRUE(Product("35243"));
  EXPECT_EQ(state.GetDeviceCode(), 0);
  EXPECT_THAT(BootMatched(), ElementsAre(F::HLX700));
  EXPECT_THAT(Queried(Query::kProduct), ElementsAre(F::HLX700));
}

TEST_F(IdentificationTest, Hlx700MissHandsOnToAvailableTq640) {
  MakeAvailable({F::HLX700, F::TQ640});
  MarkBootMatched(F::HLX700);
  library.Answer(F::HLX700, Query::kProduct, 1, "Vantrel TQ640");
  library.Answer(F::TQ640, Query::kProduct, 1, "Vantrel TQ640");
  EXPECT_TRUE(Product("35243"));
  EXPECT_EQ(state.GetDeviceCode(), 1);
  EXPECT_THAT(BootMatched(), ElementsAre(F::TQ640));
}

TEST_F(IdentificationTest, Hlx700MissWithTq640UnavailableStopsAtTq640) {
  MakeAvailable({F::HLX700, F::KII});
  MarkBootMatched(F::HLX700);
  library.Answer(F::HLX700, Query::kProduct, 1, "Vantrel TQ640");
  EXPECT_FALSE(Product("35243"));
  EXPECT_EQ(state.GetDeviceCode(), kNoDeviceCode);
  EXPECT_THAT(BootMatched(), ElementsAre(F::TQ640));
  EXPECT_THAT(Queried(Query::kProduct), ElementsAre(F::HLX700));
}

TEST_F(IdentificationTest, Tq640MissTriesKiiEvenWithoutKiiFirmware) {
  MakeAvailable({F::TQ640});
  MarkBootMatched(F::TQ640);
  library.Answer(F::TQ640, Query::kProduct, 1, "tq640 KII");  // lower case is no hit
  library.Answer(F::KII, Query::kProduct, 1, "tq640 KII");
  EXPECT_TRUE(Product("35243"));
  EXPECT_EQ(state.GetDeviceCode(), 3);
  EXPECT_THAT(BootMatched(), ElementsAre(F::KII));
  EXPECT_THAT(Queried(Query::kProduct), ElementsAre(F::TQ640, F::KII));
}

TEST_F(IdentificationTest, MissAlongTheWholeChainLeavesNothingMatched) {
  MakeAvailable({F::HLX700, F::TQ640, F::KII});
  MarkBootMatched(F::HLX700);
  for (F f : {F::HLX700, F::TQ640, F::KII}) library.Answer(f, Query::kProduct, 1, "unknown");
  EXPECT_FALSE(Product("35243"));
  EXPECT_TRUE(BootMatched().empty());
  EXPECT_EQ(state.GetDeviceCode(), kNoDeviceCode);
  EXPECT_THAT(Queried(Query::kProduct), ElementsAre(F::HLX700, F::TQ640, F::KII));
}

TEST_F(IdentificationTest, FailedProductQueryEndsTheChainWithFlagKept) {
  MakeAvailable({F::HLX700, F::TQ640});
  MarkBootMatched(F::HLX700);
  library.Answer(F::HLX700, Query::kProduct, 2, "HLX700");
  EXPECT_FALSE(Product("35243"));
  EXPECT_THAT(BootMatched(), ElementsAre(F::HLX700));
  EXPECT_THAT(Queried(Query::kProduct), ElementsAre(F::HLX700));
}

TEST_F(IdentificationTest, Mv5100AndKiiAreCheckedByTheirOwnKeys) {
  MarkBootMatched(F::MV5100);  // not available: MV5100 is checked anyway
  library.Answer(F::MV5100, Query::kProduct, 1, "Dorlund MV5100A");
  EXPECT_TRUE(Product("45323"));
  EXPECT_EQ(state.GetDeviceCode(), 2);

  state.ResetRunState();
  MarkBootMatched(F::MV5100);
  library.Answer(F::MV5100, Query::kProduct, 1, "Dorlund mv5100");
  EXPECT_FALSE(Product("45323"));
  EXPECT_TRUE(BootMatched().empty());

  state.ResetRunState();
  MarkBootMatched(F::KII);
  library.Answer(F::KII, Query::kProduct, 1, "Kestra KII");
  EXPECT_TRUE(Product("     "));
  EXPECT_EQ(state.GetDeviceCode(), 3);
  EXPECT_FALSE(library.sawDirtyBuffer);
}

// Application step.

TEST_F(IdentificationTest, ApplicationTextGivesTheVersionAndSelects) {
  MarkBootMatched(F::HLX700);
  library.Answer(F::HLX700, Query::kApplication, 1, "APPV:2.1.3 \r\n");
  EXPECT_EQ(QueryApplicationInformation(state, library, kPort), "2.1.3");
  EXPECT_THAT(Selected(), ElementsAre(F::HLX700));
  EXPECT_THAT(library.Calls(), ElementsAre(QueryCall{F::HLX700, Query::kApplication, -1, kPort}));
}

TEST_F(IdentificationTest, LastBootMatchedFamilyDecidesTheText) {
  MarkBootMatched(F::HLX700);
  MarkBootMatched(F::KII);
  library.Answer(F::HLX700, Query::kApplication, 1, "APPV:1.0");
  library.Answer(F::KII, Query::kApplication, 0, "APPV:9.9");
  EXPECT_EQ(QueryApplicationInformation(state, library, kPort), std::nullopt);
  EXPECT_THAT(Selected(), ElementsAre(F::HLX700));
}

TEST_F(IdentificationTest, NoBootMatchedFamilyAsksNothing) {
  MakeAvailable({F::HLX700, F::MV5100, F::TQ640, F::KII});
  EXPECT_EQ(QueryApplicationInformation(state, library, kPort), "");
  EXPECT_TRUE(library.Calls().empty());
  EXPECT_TRUE(Selected().empty());
}

}  // namespace
