// The report protocol from the command line, for the dashboard's browser
// tests: sends packages, lists reports and changes states the way the DLL
// does, through the same test helpers as the server's own tests.
//   report_tool submit PORT FLAGS TITLE REPORTER [FILE...]   prints the new name
//       each FILE is ENTRY=PATH (an entry of the package, its bytes as they are)
//   report_tool list PORT                                    NAME STATE per line
//   report_tool set-state PORT NAME STATE                    exit 0 when StateChanged came
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"

namespace vnscope::test {
namespace {

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) code = code << 6 | (text[i + k] & 0x3F);
    i += extra + 1;
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

int Submit(uint16_t port, int argc, char** argv) {
  std::vector<std::pair<std::string, Bytes>> entries = {
      {"author", AuthorEntry(FromUtf8(argv[1]), FromUtf8(argv[2]), static_cast<uint32_t>(std::stoul(argv[0])))}};
  for (int i = 3; i < argc; ++i) {
    const std::string entry_argument = argv[i];
    const size_t equals = entry_argument.find('=');
    std::ifstream file(entry_argument.substr(equals + 1), std::ios::binary);
    if (equals == std::string::npos || !file) return 2;
    entries.emplace_back(entry_argument.substr(0, equals), Bytes(std::istreambuf_iterator<char>(file), {}));
  }
  const auto reply = SubmitPackage(port, StoredZip(entries)).reply;
  if (!reply || reply->code != 0) return 1;
  std::printf("%s\n", NameOf(*reply).c_str());
  return 0;
}

int List(uint16_t port) {
  const ReportList list = ListReports(port);
  if (!list.fault.empty()) {
    std::fprintf(stderr, "%s\n", list.fault.c_str());
    return 1;
  }
  for (const ListedReport& report : list.reports) std::printf("%s %u\n", report.name.c_str(), report.state);
  return 0;
}

int SetState(uint16_t port, const std::string& name, uint32_t state) {
  Connection connection(port);
  if (!connection.Send(4, StatePayload(state, name))) return 1;
  const auto frames = connection.ReceiveReplies();
  connection.End();
  return frames.size() == 2 && frames[0].code == 5 && frames[1].code == 0 ? 0 : 1;
}

}  // namespace
}  // namespace vnscope::test

int main(int argc, char** argv) {
  using namespace vnscope::test;
  if (argc < 3) return 2;
  const std::string command = argv[1];
  const auto port = static_cast<uint16_t>(std::atoi(argv[2]));
  if (command == "submit" && argc >= 6) return Submit(port, argc - 3, argv + 3);
  if (command == "list") return List(port);
  if (command == "set-state" && argc == 5) return SetState(port, argv[3], static_cast<uint32_t>(std::stoul(argv[4], nullptr, 0)));
  std::fprintf(stderr, "usage: see the top of report_tool.cpp\n");
  return 2;
}
