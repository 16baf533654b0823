// A vnscope.ini beside the DLL: any bytes a studio (or anyone who can write
// the folder) puts there. An accepted file yields a dotted IPv4 address in its
// one canonical form and a port 1 to 65535; a refused one keeps every part of
// the built-in endpoint and has a message for the tester.
#include <arpa/inet.h>

#include "fuzz/fuzz_support.h"
#include "report/protocol/server_settings.h"

namespace {

using namespace vnscope;
using vnscope::fuzz::Check;

const ServerEndpoint kDefaults{"10.1.2.3", 4321};

bool SameEndpoint(const ServerEndpoint& a, const ServerEndpoint& b) { return a.address == b.address && a.port == b.port; }

// The system's reading of the address, written back: equal only for four
// decimal parts 0 to 255 without leading zeros.
bool IsCanonicalIpv4(const std::string& address) {
  in_addr parsed;
  char written[INET_ADDRSTRLEN];
  return inet_pton(AF_INET, address.c_str(), &parsed) == 1 &&
         inet_ntop(AF_INET, &parsed, written, sizeof written) != nullptr && address == written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ServerSettings settings = ParseServerSettings({reinterpret_cast<const char*>(data), size}, kDefaults);
  const std::u16string message = DescribeSettingsProblem(settings.problem, settings.endpoint);
  if (settings.problem.kind != SettingsProblem::Kind::None) {
    Check(SameEndpoint(settings.endpoint, kDefaults), "refused file changed the endpoint");
    Check(!message.empty(), "refused file without a message");
    Check(settings.problem.line >= 0 && settings.problem.key.size() <= 64 && settings.problem.value.size() <= 64,
          "problem quotes too much of the file");
    return 0;
  }
  Check(message.empty(), "message for an accepted file");
  Check(IsCanonicalIpv4(settings.endpoint.address), "accepted address is not a canonical dotted IPv4");
  Check(settings.endpoint.port >= 1, "accepted port 0");
  // What was accepted reads the same once written out plainly.
  const std::string plain = "[server]\naddress = " + settings.endpoint.address +
                            "\nport = " + std::to_string(settings.endpoint.port) + "\n";
  const ServerSettings again = ParseServerSettings(plain, kDefaults);
  Check(again.problem.kind == SettingsProblem::Kind::None && SameEndpoint(again.endpoint, settings.endpoint),
        "accepted endpoint does not read back");
  return 0;
}
