// The generator across processes: a forked child never repeats its parent's
// stream, two processes draw different bytes, and a generator that cannot
// start ends the process.
#include <gtest/gtest.h>
#include <openssl/rand.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engines/rand/e_rand.h"
#include "engines/rand/e_rand_meth.h"
#include "engines/rand/vprng.h"
#include "objects/engine_loader.h"
#include "vprng_test_util.h"

using namespace vprng_test;

namespace {

// Runs draw() in a forked child and returns what it wrote.
template <typename Draw>
Bytes in_child(Draw draw) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Bytes b = draw();
    ssize_t w = write(fds[1], b.data(), b.size());
    _exit(w == static_cast<ssize_t>(b.size()) ? 0 : 1);
  }
  close(fds[1]);
  Bytes out(64);
  size_t got = 0;
  ssize_t n;
  while (got < out.size() && (n = read(fds[0], out.data() + got, out.size() - got)) > 0)
    got += static_cast<size_t>(n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  out.resize(got);
  return out;
}

Bytes rand64() {
  Bytes b(64);
  EXPECT_EQ(RAND_bytes(b.data(), 64), 1);
  return b;
}

}  // namespace

TEST(VprngFork, ParentAndChildDrawDifferentBytes) {
  ssf_load_builtin_engines();
  rand64();
  Bytes child = in_child(rand64);
  Bytes parent = rand64();
  ASSERT_EQ(child.size(), 64u);
  EXPECT_NE(child, parent);
  // Two children of the same parent state differ from each other too.
  EXPECT_NE(in_child(rand64), in_child(rand64));
}

TEST(VprngFork, ChildRekeysEvenWithKeyBudgetLeft) {
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0};
  ASSERT_EQ(VPRNG_init(&ctx, seed, nullptr), 0);
  Bytes warm(8);
  ASSERT_EQ(VPRNG_get_random_bytes(&ctx, warm.data(), 8), 0);
  ASSERT_GT(ctx.bytes_left, 64u);  // the parent would not rekey for 64 bytes
  auto draw = [&ctx] {
    Bytes b(64);
    EXPECT_EQ(VPRNG_get_random_bytes(&ctx, b.data(), 64), 0);
    return b;
  };
  Bytes child = in_child(draw);
  Bytes parent = draw();
  ASSERT_EQ(child.size(), 64u);
  EXPECT_NE(child, parent);
  EXPECT_EQ(ctx.pid, getpid());
}

// Two processes that start the generator on their own, from the same
// all-zero pool and within the same few milliseconds, as two host processes
// started together would.
TEST(VprngProcess, TwoProcessesDrawDifferentBytes) {
  auto start_and_draw = [] {
    ssf_load_builtin_engines();
    return rand64();
  };
  Bytes a = in_child(start_and_draw), b = in_child(start_and_draw);
  ASSERT_EQ(a.size(), 64u);
  ASSERT_EQ(b.size(), 64u);
  EXPECT_NE(a, b);
  EXPECT_NE(RAND_get_rand_method(), &rand_vprng_meth);  // this process never started it
  // Control: without system entropy both starts key from the same pool and
  // draw the same bytes, whatever the time of day.
  auto start_without_entropy = [&start_and_draw] {
    vprng_set_entropy_source(zero_entropy);
    return start_and_draw();
  };
  EXPECT_EQ(in_child(start_without_entropy), in_child(start_without_entropy));
}

TEST(VprngDeath, GeneratorThatCannotStartEndsTheProcess) {
  EXPECT_EXIT(
      {
        vprng_set_entropy_source(failing_entropy);
        ssf_load_builtin_engines();
      },
      testing::ExitedWithCode(255), "\n######## RNG_INIT = -13\n");
}

TEST(VprngDeath, LazyRestartThatFailsEndsTheProcess) {
  ssf_load_builtin_engines();
  EXPECT_EXIT(
      {
        vprng_rand_cleanup();
        vprng_set_entropy_source(failing_entropy);
        uint8_t b[8];
        RAND_bytes(b, 8);
      },
      testing::ExitedWithCode(255), "RNG_INIT = -13");
}

TEST(VprngDeath, SeedCommandThatCannotRestartEndsTheProcess) {
  ssf_load_builtin_engines();
  EXPECT_EXIT(
      {
        vprng_set_entropy_source(failing_entropy);
        ENGINE* e = ENGINE_by_id("rand");
        ENGINE_ctrl(e, kVprngCmdSeed, 0, nullptr, nullptr);
        ENGINE_free(e);
      },
      testing::ExitedWithCode(255), "RNG_INIT = -13");
}
