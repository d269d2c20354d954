// Refusals say what was refused and why: the detail travels in what() while
// the class, number and message stay those of the exception class.
#include <gmock/gmock.h>

#include <qrn/acq/hyper/prop/exposure.h>
#include <qrn/acq/hyper/trigmodel.h>

#include "sim_fixture.h"

namespace {

using ::testing::HasSubstr;

template <class E, class F>
std::string refusal(F&& f) {
  try {
    f();
  } catch (const E& e) {
    EXPECT_EQ(e.messageString(), e.className());
    EXPECT_FALSE(e.detail().empty());
    EXPECT_EQ(std::string(e.what()), e.messageString() + ": " + e.detail());
    return e.what();
  }
  ADD_FAILURE() << "nothing thrown";
  return {};
}

TEST(SimRefusals, NameWhatWasRefused) {
  static qcSimTestFormat fmt("SimTest 16x8 refusals", 16, 8);
  static qcSimTestFormat empty("SimTest 0x0 refusals", 0, 0);
  auto f = qfSimFifo<qcStdGreyAcqFifo>(fmt.fmt);

  EXPECT_THAT(refusal<qcAcqFifo::BadParams>([&] { qfSimSet(*f, "Bogus", "1"); }),
              HasSubstr("unknown custom item \"Bogus\""));
  EXPECT_THAT(refusal<qcAcqFifo::BadParams>([&] { qfSimSet(*f, qrn_sim::kFlatValue, "300"); }),
              HasSubstr("bad flat value 300"));
  EXPECT_THAT(refusal<qcExposureProp::BadParams>(
                  [&] { static_cast<qcExposureProp&>(f->properties()).exposure(-2.5); }),
              HasSubstr("exposure -2.5 s is below the minimum 0 s"));
  EXPECT_THAT(refusal<qcVideoFormat::NotSupported>(
                  [&] { delete empty.fmt.newAcqFifoEx(qfSimGrabber(), qeImageFormat_Grey8); }),
              HasSubstr("format \"SimTest 0x0 refusals\" is not supported by board \"sim\""));
  f->triggerModel(qfFreeRunTrigger());
  EXPECT_THAT(refusal<qcAcqFifo::StartNotAllowed>([&] { f->start(1); }),
              HasSubstr("trigger model \"FreeRun\" does not allow start()"));
}

}  // namespace
