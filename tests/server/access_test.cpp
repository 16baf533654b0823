// Who the server serves: the networks allowed on the report port, the cap on
// one address's connections, and the dashboard's login throttled per client.
// Clients on 127.0.0.2 stand for a second machine.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <fstream>
#include <future>
#include <memory>
#include <thread>

#include "server/dashboard/access.h"
#include "server/peer_access.h"
#include "test_support.h"

namespace vnscope::test {
namespace {

using server::AllowList;
using server::PeerAddress;

constexpr uint8_t kList = 2;
constexpr uint32_t kSecondMachine = 0x7F000002;  // 127.0.0.2

PeerAddress Address(const char* text) {
  const auto address = PeerAddress::FromText(text);
  EXPECT_TRUE(address) << text;
  return address.value_or(PeerAddress{});
}

TEST(AllowList, NetworksMatchTheirAddressesOnly) {
  struct Case {
    const char* list;
    const char* client;
    bool allowed;
  };
  const Case cases[] = {
      {"10.0.0.0/8", "10.255.1.2", true},
      {"10.0.0.0/8", "11.0.0.1", false},
      {"10.0.0.0/8", "127.0.0.1", false},
      {"127.0.0.1/32", "127.0.0.1", true},
      {"127.0.0.1/32", "127.0.0.2", false},
      {"127.0.0.1", "127.0.0.1", true},  // a bare address is its own network
      {"192.168.4.0/22", "192.168.7.255", true},
      {"192.168.4.0/22", "192.168.8.0", false},
      {"0.0.0.0/0", "203.0.113.9", true},
      {"10.0.0.0/8, 192.168.1.0/24", "192.168.1.77", true},
      // An IPv4 client of a socket listening on [::] arrives as ::ffff:a.b.c.d.
      {"127.0.0.0/8", "::ffff:127.0.0.1", true},
      {"::ffff:10.0.0.0/104", "10.1.2.3", true},
      {"fd00::/8", "fd12:3456::1", true},
      {"fd00::/8", "fe80::1", false},
      {"::1/128", "::1", true},
      {"::1/128", "127.0.0.1", false},
      {"::/0", "10.0.0.1", false},  // IPv6 networks hold no IPv4 client
  };
  for (const Case& c : cases) {
    std::string error;
    const auto list = AllowList::Parse(c.list, &error);
    ASSERT_TRUE(list) << c.list << ": " << error;
    EXPECT_EQ(list->Allows(Address(c.client)), c.allowed) << c.list << " / " << c.client;
  }
  EXPECT_TRUE(AllowList().Allows(Address("198.51.100.1"))) << "no list: everyone, as without --allow";
}

TEST(AllowList, WhatIsNotANetworkIsRefused) {
  struct Case {
    const char* list;
    const char* why;
  };
  const Case cases[] = {
      {"", "nothing at all"},
      {"10.0.0.0/33", "prefix longer than the address"},
      {"fd00::/129", "prefix longer than the address"},
      {"10.0.0.0/", "no prefix after the slash"},
      {"10.0.0.0/-1", "negative prefix"},
      {"10.0.0.0/8x", "junk after the prefix"},
      {"10.1.0.0/8", "address bits beyond the prefix"},
      {"192.168.1.10/24", "a host, not its network"},
      {"example.com/8", "a name, not an address"},
      {"10.0.0.0/8,", "an empty part"},
      {"10.0.0/8", "three parts of an IPv4 address"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(AllowList::Parse(c.list, &error)) << c.list << ": " << c.why;
    EXPECT_NE(error.find('"'), std::string::npos) << "the message quotes the part: " << error;
  }
}

TEST(SecretFile, TheFirstLineIsTheSecret) {
  struct Case {
    std::string contents;
    std::string secret;  // empty: refused
  };
  const Case cases[] = {
      {"s3cret\n", "s3cret"},
      {"s3cret", "s3cret"},
      {"s3cret\r\n", "s3cret"},  // written on Windows
      {"s3cret\nsecond line\n", "s3cret"},
      {"with spaces  \n", "with spaces  "},
      {"\ns3cret\n", ""},
      {"\n", ""},
      {"", ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const auto path = dir.path() / "secret";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.contents;
    EXPECT_EQ(server::ReadSecretFile(path.string()), c.secret) << c.contents;
  }
  EXPECT_EQ(server::ReadSecretFile((dir.path() / "missing").string()), "");
}

class AccessTest : public ::testing::Test {
 protected:
  std::unique_ptr<ServerProcess> Start(std::vector<std::string> args) {
    auto server = std::make_unique<ServerProcess>(VNSCOPE_SERVER_BINARY, data_, std::move(args));
    EXPECT_TRUE(server->started()) << server->Log();
    return server;
  }

  TempDir dir_;
  std::filesystem::path data_ = dir_.path() / "data";
};

// Whether a list request on `connection` gets the empty store's answer.
bool ListedEmpty(Connection& connection) {
  if (!connection.Send(kList)) return false;
  const std::vector<Frame> replies = connection.ReceiveReplies();
  return replies.size() == 1 && replies[0].code == 0;
}

TEST_F(AccessTest, ClientsOutsideTheAllowedNetworksAreClosedBeforeAnyExchange) {
  struct Case {
    const char* allow;
    uint32_t client;  // source address, 0: 127.0.0.1
    bool served;
  };
  const Case cases[] = {
      {"10.0.0.0/8", 0, false},
      {"127.0.0.1/32", 0, true},
      {"127.0.0.1/32", kSecondMachine, false},
      {"10.0.0.0/8,127.0.0.2", kSecondMachine, true},
      {"::1", 0, false},
  };
  for (const Case& c : cases) {
    auto server = Start({"--allow", c.allow});
    ASSERT_TRUE(server->started());
    Connection connection(server->port(), c.client);
    ASSERT_TRUE(connection.connected());
    if (c.served) {
      EXPECT_TRUE(ListedEmpty(connection)) << c.allow;
      EXPECT_TRUE(connection.End());
    } else {
      // Nothing sent: the server closes without reading or answering.
      EXPECT_TRUE(connection.AnswerWithin(10'000)) << c.allow;
      EXPECT_TRUE(connection.ServerCloses()) << c.allow;
    }
    EXPECT_EQ(server->Stop(), 0);
    EXPECT_EQ(server->Log().find("refused: address not allowed") != std::string::npos, !c.served)
        << c.allow << "\n" << server->Log();
  }
}

TEST_F(AccessTest, AllowThatIsNotANetworkStopsTheStart) {
  for (const char* allow : {"", "10.1.0.0/8", "lan"}) {
    ServerProcess server(VNSCOPE_SERVER_BINARY, data_, {"--allow", allow});
    EXPECT_FALSE(server.started()) << allow;
    EXPECT_NE(server.Log().find("--allow: "), std::string::npos) << server.Log();
  }
}

// Fewer serving threads than one machine opens connections: without the cap
// per address its idle connections would hold them all, and the other
// machine would wait for the idle time-out.
TEST_F(AccessTest, OneMachinesIdleConnectionsLeaveOthersServed) {
  auto server = Start({"--max-connections", "32", "--idle-timeout-ms", "60000"});
  ASSERT_TRUE(server->started());
  std::vector<std::unique_ptr<Connection>> idle;
  for (int i = 0; i < 64; ++i) {
    idle.push_back(std::make_unique<Connection>(server->port()));
    ASSERT_TRUE(idle.back()->connected());
  }
  Connection other(server->port(), kSecondMachine);
  ASSERT_TRUE(other.Send(kList));
  ASSERT_TRUE(other.AnswerWithin(10'000)) << "the second machine waited behind the first one's idle connections";
  const std::vector<Frame> replies = other.ReceiveReplies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].code, 0);
  EXPECT_TRUE(other.End());

  // The default cap of 16 served, 16 more waiting their turn; the first
  // machine's other connections were closed.
  std::vector<std::future<bool>> closed;
  for (auto& connection : idle) {
    closed.push_back(std::async(std::launch::async, [&connection] {
      return connection->AnswerWithin(3'000) && connection->ServerCloses();
    }));
  }
  int closed_count = 0;
  for (auto& result : closed) closed_count += result.get();
  EXPECT_EQ(closed_count, 64 - 2 * 16);
  EXPECT_NE(server->Log().find("refused: 16 connections from this address already served"), std::string::npos);
  EXPECT_EQ(server->Stop(), 0) << server->Log();
}

// Beyond the cap a client's connection waits, holding no thread, and is
// served as soon as one of its client's connections ends.
TEST_F(AccessTest, AConnectionOverTheCapWaitsForItsClientsTurn) {
  auto server = Start({"--max-connections-per-address", "1"});
  ASSERT_TRUE(server->started());
  Connection first(server->port());
  ASSERT_TRUE(ListedEmpty(first));
  Connection second(server->port());
  ASSERT_TRUE(second.Send(kList));
  EXPECT_FALSE(second.AnswerWithin(500)) << "served beside the first connection, beyond the cap of 1";
  Connection other(server->port(), kSecondMachine);
  EXPECT_TRUE(ListedEmpty(other)) << "another machine is served meanwhile";
  EXPECT_TRUE(other.End());
  EXPECT_TRUE(first.End());
  ASSERT_TRUE(second.AnswerWithin(10'000)) << "still waiting after the first connection ended";
  const std::vector<Frame> replies = second.ReceiveReplies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].code, 0);
  EXPECT_TRUE(second.End());
  EXPECT_EQ(server->Stop(), 0) << server->Log();
}

// A client of the dashboard: where it connects from, and what a reverse
// proxy on the server's host says of it.
struct WebClient {
  uint32_t source = 0;    // 0: 127.0.0.1
  std::string forwarded;  // X-Forwarded-For, when a proxy passed the request on
};

// A request as a browser sends it to the dashboard on `port`.
std::string HttpRequest(uint16_t port, const WebClient& client, const std::string& method, const std::string& path,
                        const std::string& body = {}) {
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
  if (!client.forwarded.empty()) request += "X-Forwarded-For: " + client.forwarded + "\r\n";
  if (method == "POST") {
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n";
  }
  return request + "Connection: close\r\n\r\n" + body;
}

std::string LoginRequest(uint16_t port, const WebClient& client, const std::string& secret) {
  return HttpRequest(port, client, "POST", "/login", "next=%2F&secret=" + secret);
}

// The status line and headers of an answer.
std::string AnswerHead(Connection& connection) {
  const std::string answer = connection.ReceiveUntilClosed();
  return answer.substr(0, answer.find("\r\n\r\n"));
}

std::string Exchange(uint16_t port, const WebClient& client, const std::string& request) {
  Connection connection(port, client.source);
  if (!connection.SendRaw(ToBytes(request))) return {};
  return AnswerHead(connection);
}

bool StatusIs(const std::string& answer, int status) {
  return answer.rfind("HTTP/1.1 " + std::to_string(status) + " ", 0) == 0;
}

// Without a secret the dashboard serves the local user only: a proxy on the
// same host would serve it to everyone who reaches the proxy.
TEST_F(AccessTest, ADashboardWithoutASecretRefusesWhatAProxyPassesOn) {
  auto server = Start({"--http", "127.0.0.1:0"});
  ASSERT_NE(server->http_port(), 0);
  const uint16_t port = server->http_port();
  EXPECT_TRUE(StatusIs(Exchange(port, {}, HttpRequest(port, {}, "GET", "/")), 200));
  const WebClient proxied{0, "203.0.113.5"};
  EXPECT_TRUE(StatusIs(Exchange(port, proxied, HttpRequest(port, proxied, "GET", "/")), 403));
  EXPECT_NE(server->Log().find("no --http-secret-file"), std::string::npos) << server->Log();
  EXPECT_EQ(server->Stop(), 0);
}

TEST_F(AccessTest, OneAddressGuessingNeverLocksOutAnother) {
  const auto secret_file = dir_.path() / "secret";
  std::ofstream(secret_file) << "the-right-secret\n";
  struct Case {
    const char* how;
    WebClient guesser;
    WebClient other;
  };
  const Case cases[] = {
      {"machines of their own", {0, ""}, {kSecondMachine, ""}},
      // Behind a proxy on this host every request comes from loopback; the
      // proxy's last X-Forwarded-For entry tells the clients apart.
      {"behind a proxy", {0, "203.0.113.5"}, {0, "203.0.113.5, 198.51.100.7"}},
  };
  for (const Case& c : cases) {
    auto server = Start({"--http", "127.0.0.1:0", "--http-secret-file", secret_file.string()});
    ASSERT_NE(server->http_port(), 0);
    const uint16_t port = server->http_port();

    // Nine wrong secrets from one client at once (each request's last byte
    // goes out only when all the rest have): each waits for its answer, one
    // second after the one before, and eight may wait at most.
    std::vector<std::unique_ptr<Connection>> guessing;
    const Bytes guess = ToBytes(LoginRequest(port, c.guesser, "wrong"));
    for (int i = 0; i < 9; ++i) {
      guessing.push_back(std::make_unique<Connection>(port, c.guesser.source));
      ASSERT_TRUE(guessing.back()->SendRaw(std::span(guess).first(guess.size() - 1)));
    }
    for (auto& connection : guessing) ASSERT_TRUE(connection->SendRaw(std::span(guess).last(1)));
    std::vector<std::future<std::string>> answers;
    for (auto& connection : guessing) {
      answers.push_back(std::async(std::launch::async, [&connection] { return AnswerHead(*connection); }));
    }
    // Once eight wait, even the right secret from the same client is turned
    // away without being compared.
    std::string same_client;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
      same_client = Exchange(port, c.guesser, LoginRequest(port, c.guesser, "the-right-secret"));
    } while (!StatusIs(same_client, 429) && std::chrono::steady_clock::now() < give_up);
    ASSERT_TRUE(StatusIs(same_client, 429)) << c.how << "\n" << same_client << server->Log();

    const std::string other_client = Exchange(port, c.other, LoginRequest(port, c.other, "the-right-secret"));
    EXPECT_TRUE(StatusIs(other_client, 303)) << c.how << "\n" << other_client;
    EXPECT_NE(other_client.find("Set-Cookie: vnscope_session="), std::string::npos) << other_client;

    // The guesses' answers are not waited for: they take eight seconds.
    server->Kill();
    for (auto& answer : answers) answer.get();
  }
}

}  // namespace
}  // namespace vnscope::test
