#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/prop/propquery.h>

namespace {

// A query that overrides nothing.
class NoQuery : public qcAcqPropertyQuery {};

// A driver's query: exposure and strobe are supported, within its set.
class DriverQuery : public qcAcqPropertyQuery {
public:
  explicit DriverQuery(qcAcqProps& props) : props_(&props) {}
  operator qcExposureProp*() const override { return props_; }
  operator qcExposureProp&() const override { return *props_; }
  operator qcStrobeProp*() const override { return props_; }
  operator qcStrobeProp&() const override { return *props_; }

private:
  qcAcqProps* props_;
};

// Checks every property of `q`: pointer conversions null and reference
// conversions throwing "bad cast", except for the classes in `supported`,
// whose conversions give the property within `props`.  Returns the number of
// classes checked.
int checkAll(const qcAcqPropertyQuery& q, const qcAcqProps* props, const std::string& supported) {
  int n = 0;
#define QC_CHECK_(P)                                                               \
  {                                                                                \
    SCOPED_TRACE(#P);                                                              \
    ++n;                                                                           \
    const P* expected = nullptr;                                                   \
    if (supported.find(" " #P " ") != std::string::npos) expected = props;         \
    EXPECT_EQ(static_cast<P*>(q), expected);                                       \
    if (expected) {                                                                \
      EXPECT_EQ(&static_cast<P&>(q), expected);                                    \
    } else {                                                                       \
      try {                                                                        \
        (void)static_cast<P&>(q);                                                  \
        ADD_FAILURE() << "no exception";                                           \
      } catch (const std::bad_cast& e) {                                           \
        EXPECT_STREQ(e.what(), "bad cast");                                        \
      }                                                                            \
    }                                                                              \
  }
  QC_PROPERTY_QUERY_CLASSES_(QC_CHECK_)
#undef QC_CHECK_
  return n;
}

TEST(PropertyQuery, TheBaseSupportsNothing) {
  NoQuery q;
  EXPECT_EQ(checkAll(q, nullptr, ""), 33);
  // A copy answers the same.
  NoQuery copy(q);
  EXPECT_EQ(checkAll(copy, nullptr, ""), 33);
}

TEST(PropertyQuery, ADriverAnswersForWhatItOverrides) {
  qcAnalogAcqProps props;
  DriverQuery q(props);
  checkAll(q, &props, " qcExposureProp qcStrobeProp ");
  // The application reaches the property of the set.
  if (qcExposureProp* e = q) e->exposure(0.003);
  EXPECT_EQ(static_cast<qcExposureProp&>(props).exposure(), 0.003);
}

}  // namespace
