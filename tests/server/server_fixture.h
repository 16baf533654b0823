// Tests of the server binary: each starts servers over its own data
// directory and expects every one still running to stop cleanly.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace vnscope::test {

class ServerTest : public ::testing::Test {
 protected:
  // Starts the server over this test's data directory.
  ServerProcess& Start(std::vector<std::string> args = {}, std::vector<std::string> environment = {}) {
    auto& server = servers_.emplace_back(
        std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, data_, std::move(args), std::move(environment)));
    EXPECT_TRUE(server->started()) << server->Log();
    return *server;
  }
  // Every server still running must stop cleanly on SIGTERM, which under
  // the sanitizers also means without leaks.
  void TearDown() override {
    for (auto& server : servers_) {
      if (server->running()) {
        EXPECT_EQ(server->Stop(), 0) << server->Log();
      }
    }
  }

  TempDir dir_;
  std::filesystem::path data_ = dir_.path() / "data";
  std::vector<std::unique_ptr<ServerProcess>> servers_;
};

}  // namespace vnscope::test
