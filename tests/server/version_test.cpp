// vnscope-server --version names the release and the revision it was built
// from, the same the DLL's version resource carries.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "vnscope_revision.h"
#include "vnscope_version.h"

namespace {

TEST(ServerVersion, PrintsReleaseAndRevisionAndExitsZero) {
  FILE* pipe = popen(VNSCOPE_SERVER_BINARY " --version", "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char chunk[256];
  while (size_t read = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, read);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(output, "vnscope-server " VNSCOPE_VERSION_TEXT " (revision " VNSCOPE_REVISION ")\n");
}

}  // namespace
