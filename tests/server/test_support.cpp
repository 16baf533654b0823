#include "test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace vnscope::test {

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

void PutU32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

static void PutU16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

uint32_t Crc32(std::span<const uint8_t> data) {
  // Reflected polynomial 0xEDB88320, computed bit by bit: slow and obviously right.
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

Bytes StoredZip(const std::vector<std::pair<std::string, Bytes>>& entries) {
  Bytes archive, directory;
  const uint16_t time = (12 << 11) | (30 << 5), date = ((2026 - 1980) << 9) | (12 << 5) | 7;
  for (const auto& [name, data] : entries) {
    const uint32_t offset = static_cast<uint32_t>(archive.size()), crc = Crc32(data);
    const uint32_t size = static_cast<uint32_t>(data.size());
    const uint16_t name_length = static_cast<uint16_t>(name.size());
    // Local header: signature, version 10, flags 0, method 0 (stored), time, date.
    PutU32(archive, 0x04034B50);
    for (uint16_t field : {uint16_t{10}, uint16_t{0}, uint16_t{0}, time, date}) PutU16(archive, field);
    for (uint32_t field : {crc, size, size}) PutU32(archive, field);
    PutU16(archive, name_length);
    PutU16(archive, 0);
    archive.insert(archive.end(), name.begin(), name.end());
    archive.insert(archive.end(), data.begin(), data.end());
    // Central header: signature, made by 10, needs 10, flags, method, time, date.
    PutU32(directory, 0x02014B50);
    for (uint16_t field : {uint16_t{10}, uint16_t{10}, uint16_t{0}, uint16_t{0}, time, date}) PutU16(directory, field);
    for (uint32_t field : {crc, size, size}) PutU32(directory, field);
    for (uint16_t field : {name_length, uint16_t{0}, uint16_t{0}, uint16_t{0}, uint16_t{0}}) PutU16(directory, field);
    PutU32(directory, 0);  // external attributes
    PutU32(directory, offset);
    directory.insert(directory.end(), name.begin(), name.end());
  }
  const uint32_t directory_offset = static_cast<uint32_t>(archive.size());
  archive.insert(archive.end(), directory.begin(), directory.end());
  const uint16_t count = static_cast<uint16_t>(entries.size());
  PutU32(archive, 0x06054B50);
  for (uint16_t field : {uint16_t{0}, uint16_t{0}, count, count}) PutU16(archive, field);
  PutU32(archive, static_cast<uint32_t>(directory.size()));
  PutU32(archive, directory_offset);
  PutU16(archive, 0);
  return archive;
}

Bytes AuthorEntry(std::u16string_view title, std::u16string_view reporter, uint32_t flags) {
  Bytes entry;
  for (std::u16string_view text : {title, reporter}) {
    for (char16_t unit : text) PutU16(entry, unit);
    PutU16(entry, 0);
  }
  PutU32(entry, flags);
  return entry;
}

Bytes ReportPackage(std::u16string_view title, const std::string& text, const Bytes& snapshot,
                    const std::string& report_id) {
  Bytes script = ToBytes(text);
  script.push_back(0);
  std::vector<std::pair<std::string, Bytes>> entries = {
      {"author", AuthorEntry(title, u"tester", snapshot.empty() ? 1 : 3)}, {"scriptinfo.txt", script}};
  if (!snapshot.empty()) {
    entries.emplace_back("snapshot.png", snapshot);
    Bytes objects = ToBytes("\"1\",\"bg\",\n");
    objects.push_back(0);
    entries.emplace_back("objectlist.csv", objects);
  }
  if (!report_id.empty()) entries.emplace_back("reportid", ToBytes(report_id));
  return StoredZip(entries);
}

Bytes NamePayload(const std::string& name) {
  Bytes payload = ToBytes(name);
  payload.push_back(0);
  return payload;
}

Bytes StatePayload(uint32_t state, const std::string& name) {
  Bytes payload;
  payload.reserve(4 + name.size() + 2);
  PutU32(payload, state);
  payload.insert(payload.end(), name.begin(), name.end());
  payload.push_back(0);
  payload.push_back(0);
  return payload;
}

std::string NameOf(const Frame& frame) {
  std::string name;
  for (uint8_t byte : frame.payload) {
    if (byte == 0) break;
    name.push_back(static_cast<char>(byte));
  }
  return name;
}

Connection::Connection(uint16_t port, uint32_t source_host) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (source_host != 0) {
    // The port is still picked by connect, among those free for this
    // address and the server's, not among every port bound on the host.
    const int on = 1;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = htonl(source_host);
    if (setsockopt(fd_, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on) != 0 ||
        bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  const timeval limit{60, 0};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

Connection::~Connection() {
  if (fd_ >= 0) close(fd_);
}

bool Connection::SendRaw(std::span<const uint8_t> bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

Bytes FrameBytes(uint8_t code, std::span<const uint8_t> payload) {
  Bytes frame{code};
  PutU32(frame, static_cast<uint32_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

bool Connection::Send(uint8_t code, std::span<const uint8_t> payload) { return SendRaw(FrameBytes(code, payload)); }

bool Connection::ReadExact(uint8_t* data, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = recv(fd_, data + got, size - got, 0);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

std::optional<Frame> Connection::Receive() {
  std::array<uint8_t, 5> header;
  if (!ReadExact(header.data(), header.size())) return std::nullopt;
  Frame frame;
  frame.code = header[0];
  const uint32_t length = header[1] | header[2] << 8 | header[3] << 16 | uint32_t{header[4]} << 24;
  if (length > (64u << 20)) return std::nullopt;
  frame.payload.resize(length);
  if (!ReadExact(frame.payload.data(), length)) return std::nullopt;
  return frame;
}

std::vector<Frame> Connection::ReceiveReplies() {
  std::vector<Frame> frames;
  while (auto frame = Receive()) {
    frames.push_back(std::move(*frame));
    if (frames.back().code == 0) break;
  }
  return frames;
}

bool Connection::ServerCloses() {
  uint8_t byte;
  return recv(fd_, &byte, 1, 0) == 0;
}

std::string Connection::ReceiveUntilClosed() {
  std::string received;
  char chunk[4096];
  ssize_t n;
  while ((n = recv(fd_, chunk, sizeof chunk, 0)) > 0) received.append(chunk, static_cast<size_t>(n));
  return received;
}

bool Connection::AnswerWithin(int timeout_ms) {
  pollfd ready = {fd_, POLLIN, 0};
  return poll(&ready, 1, timeout_ms) > 0;
}

void Connection::ShutdownSending() { shutdown(fd_, SHUT_WR); }

bool Connection::End() {
  Send(0);
  ShutdownSending();
  return ServerCloses();
}

Submission SubmitPackage(uint16_t port, std::span<const uint8_t> package, uint32_t source_host) {
  Connection connection(port, source_host);
  Submission submission;
  if (!connection.Send(1, package)) return submission;
  submission.reply = connection.Receive();
  submission.closed = connection.End();
  return submission;
}

ReportList ListReports(uint16_t port) {
  constexpr uint8_t kList = 2, kDone = 0, kName = 2, kSummary = 3;
  ReportList list;
  Connection connection(port);
  if (!connection.Send(kList)) {
    list.fault = "the list request could not be sent";
    return list;
  }
  std::vector<Frame> frames = connection.ReceiveReplies();
  if (frames.empty() || frames.back().code != kDone) list.fault = "the reply does not end in code 0";
  else if (frames.size() % 2 != 1) list.fault = "each report is not a name and a summary";
  for (size_t i = 0; list.fault.empty() && i + 1 < frames.size(); i += 2) {
    if (frames[i].code != kName || frames[i + 1].code != kSummary) {
      list.fault = "frame " + std::to_string(i) + " is not a name followed by a summary";
    } else if (frames[i + 1].payload.size() < 4) {
      list.fault = "the summary of " + NameOf(frames[i]) + " has no state";
    } else {
      ListedReport& report = list.reports.emplace_back();
      report.name = NameOf(frames[i]);
      report.summary = std::move(frames[i + 1].payload);
      const uint8_t* state = report.summary.data() + report.summary.size() - 4;
      report.state = state[0] | state[1] << 8 | state[2] << 16 | uint32_t{state[3]} << 24;
    }
  }
  if (!connection.End() && list.fault.empty()) list.fault = "the server sent more than the close after EndExchange";
  return list;
}

ServerProcess::ServerProcess(const std::string& binary, const std::filesystem::path& data,
                             std::vector<std::string> extra_args, std::vector<std::string> extra_environment) {
  static std::atomic<int> started = 0;
  log_ = data.parent_path() / ("server-" + std::to_string(++started) + ".log");
  std::vector<std::string> args = {binary, "--listen", "127.0.0.1:0", "--data", data.string()};
  // The dashboard's default port is fixed; tests running side by side would
  // fight over it. Tests of the dashboard ask for it themselves.
  if (std::find(extra_args.begin(), extra_args.end(), "--http") == extra_args.end()) {
    args.insert(args.end(), {"--http", "off"});
  }
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) environment.push_back(*variable);
  for (std::string& variable : extra_environment) environment.push_back(variable.data());
  environment.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environment.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    std::ofstream(log_, std::ios::app) << "cannot start " << binary << ": " << std::strerror(rc) << "\n";
    return;
  }
  // The server logs its bound address first; wait for it (or for its death).
  const std::string listening = "listening on 127.0.0.1:";
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < give_up) {
    const std::string text = Log();
    if (const size_t at = text.find(listening); at != std::string::npos) {
      port_ = static_cast<uint16_t>(std::stoi(text.substr(at + listening.size())));
      // The dashboard's address is logged before the report port's.
      const std::string dashboard = "dashboard on http://127.0.0.1:";
      if (const size_t http = text.find(dashboard); http != std::string::npos)
        http_port_ = static_cast<uint16_t>(std::stoi(text.substr(http + dashboard.size())));
      return;
    }
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Kill();
  std::ofstream(log_, std::ios::app) << "did not start listening\n";
}

ServerProcess::~ServerProcess() { Stop(); }

int ServerProcess::Stop() {
  if (!running()) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ServerProcess::Kill() {
  if (!running()) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string ServerProcess::Log() const {
  std::ifstream in(log_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ProgramRun RunProgram(const std::vector<std::string>& argv) {
  ProgramRun run;
  const TempDir outputs;
  const std::filesystem::path out = outputs.path() / "out", err = outputs.path() / "err";
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    run.err = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return run;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (auto [path, text] : {std::pair{&out, &run.out}, std::pair{&err, &run.err}}) {
    std::ifstream in(*path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    *text = contents.str();
  }
  return run;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vnscope-server-test-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace vnscope::test
