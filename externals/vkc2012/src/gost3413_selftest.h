// Known-answer self-tests of the GOST R 34.13-2015 modes (the examples of
// the standard's Appendix A). Each returns 0, or -14 on a mismatch or a
// failing step.
#ifndef VKC_GOST3413_SELFTEST_H
#define VKC_GOST3413_SELFTEST_H

#include <stdint.h>

namespace vkc::modes {

enum class SelfTest {
  kKEcb,
  kKCbc,
  kKOfb,
  kKCfb,
  kKCtr,
  kKMac,
  kMEcb,
  kMCbc,
  kMOfb,
  kMCfb,
  kMCtr,
  kMMac,
  kNone,
};

int32_t SelfTestGostKEcb();
int32_t SelfTestGostKCbc();
int32_t SelfTestGostKOfb();
int32_t SelfTestGostKCfb();
int32_t SelfTestGostKCtr();
int32_t SelfTestGostKMac();
int32_t SelfTestGostMEcb();
int32_t SelfTestGostMCbc();
int32_t SelfTestGostMOfb();
int32_t SelfTestGostMCfb();
int32_t SelfTestGostMCtr();
int32_t SelfTestGostMMac();

namespace testing {
// Test seam: makes the named self-test report a mismatch until reset with
// SelfTest::kNone. Not exported; the test binaries link it statically.
void force_self_test_failure(SelfTest which);
}  // namespace testing

}  // namespace vkc::modes

#endif
