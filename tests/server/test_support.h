// Client side of the report protocol for tests and benchmarks, written from the protocol's definition and
// independent of the server's own code: stored ZIP packages, frames over a
// socket, the submit and list exchanges, the server binary as a child
// process, and the tables of the first server's store.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vnscope::test {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(std::string_view text);
void PutU32(Bytes& out, uint32_t value);

// A ZIP archive with every entry stored, as the DLL's package writer makes it:
// local headers with CRC-32, central directory, end record.
Bytes StoredZip(const std::vector<std::pair<std::string, Bytes>>& entries);
uint32_t Crc32(std::span<const uint8_t> data);

// An "author" entry: title and reporter UTF-16LE, each with a 0 unit, flags.
Bytes AuthorEntry(std::u16string_view title, std::u16string_view reporter, uint32_t flags);

// A package with author, text (ending in its 0 byte) and, when `snapshot` is
// not empty, a snapshot; flags follow what is present. With `report_id` it
// ends with a "reportid" entry holding those bytes.
Bytes ReportPackage(std::u16string_view title, const std::string& text, const Bytes& snapshot = {},
                    const std::string& report_id = "");

struct Frame {
  uint8_t code = 0;
  Bytes payload;
};
// A frame as it goes over the wire: code, payload length, payload.
Bytes FrameBytes(uint8_t code, std::span<const uint8_t> payload = {});

// A name request payload: the name and one 0 byte.
Bytes NamePayload(const std::string& name);
// A state request payload: the state, the name and two 0 bytes.
Bytes StatePayload(uint32_t state, const std::string& name);
std::string NameOf(const Frame& frame);  // text before the payload's first 0

// One client connection to 127.0.0.1. A receive waits at most 60 s so that a
// broken server fails the test instead of hanging it.
class Connection {
 public:
  // To the server on 127.0.0.1; from `source_host` (an IPv4 loopback
  // address in host order) when not 0, as if from a machine of its own.
  explicit Connection(uint16_t port, uint32_t source_host = 0);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool connected() const { return fd_ >= 0; }
  bool SendRaw(std::span<const uint8_t> bytes);
  bool Send(uint8_t code, std::span<const uint8_t> payload = {});
  // The next frame, or nothing when the server closed or the read failed.
  std::optional<Frame> Receive();
  // Frames up to and including the first code 0; stops early when the server
  // closes, in which case the last frame is not code 0.
  std::vector<Frame> ReceiveReplies();
  // True when the server closes the connection before sending anything more.
  bool ServerCloses();
  // Every byte the server sends until it closes (an HTTP answer, say).
  std::string ReceiveUntilClosed();
  // Whether a reply (or the close) arrives within `timeout_ms`; reads nothing.
  bool AnswerWithin(int timeout_ms);
  // EndExchange, shut down our sending side, wait for the server's close.
  // True when the server sent nothing but the close.
  bool End();
  void ShutdownSending();

 private:
  bool ReadExact(uint8_t* data, size_t size);
  int fd_ = -1;
};

// The submit exchange as the DLL runs it: the package, its one reply, then
// EndExchange. `reply` is empty when none came (the server died, say);
// `closed` tells whether the server then closed without sending more.
struct Submission {
  std::optional<Frame> reply;
  bool closed = false;
};
// From `source_host` when not 0, as Connection takes it.
Submission SubmitPackage(uint16_t port, std::span<const uint8_t> package, uint32_t source_host = 0);

struct ListedReport {
  std::string name;
  Bytes summary;       // the author entry, then the state
  uint32_t state = 0;  // the summary's last four bytes
};
struct ReportList {
  std::vector<ListedReport> reports;  // in the order listed
  std::string fault;                  // how the reply broke the protocol; empty when it did not

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const ListedReport& report : reports) names.push_back(report.name);
    return names;
  }
};
// The list exchange: a name and a summary per report, code 0, then
// EndExchange answered by the server's close and nothing else.
ReportList ListReports(uint16_t port);

// The server binary (`binary`) on an ephemeral loopback port over a data
// directory, its dashboard off unless `extra_args` has --http; its log goes
// to a file next to the data. `extra_environment` ("NAME=value") is added to
// this process's environment. Stopped with SIGTERM when it goes away.
class ServerProcess {
 public:
  ServerProcess(const std::string& binary, const std::filesystem::path& data,
                std::vector<std::string> extra_args = {}, std::vector<std::string> extra_environment = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Listening; when not, Log() tells why.
  bool started() const { return port_ != 0; }
  uint16_t port() const { return port_; }
  // The dashboard's port, when it was asked for on 127.0.0.1; 0 otherwise.
  uint16_t http_port() const { return http_port_; }
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // SIGTERM and wait; the exit status, or -1 when it did not exit normally.
  int Stop();
  void Kill();  // SIGKILL and wait
  std::string Log() const;

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  uint16_t http_port_ = 0;
  std::filesystem::path log_;
};

// A program run to its end, as an administrator runs the server's commands
// (--backup-to, --purge): its exit status (-1 when it did not exit normally)
// and what it wrote on standard output and standard error.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};
ProgramRun RunProgram(const std::vector<std::string>& argv);

// The database as the first server (schema 1) left it, before any row and
// before its user_version is set: every package in a table of its own, no
// state history. Stores of that age must still open.
inline constexpr char kSchemaOneTables[] =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE reports(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE, "
    "received_ms INTEGER NOT NULL, peer TEXT NOT NULL, title TEXT NOT NULL, reporter TEXT NOT NULL, "
    "flags INTEGER NOT NULL, state INTEGER NOT NULL, author BLOB NOT NULL);"
    "CREATE TABLE packages(report_id INTEGER PRIMARY KEY REFERENCES reports(id), package BLOB NOT NULL);";

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace vnscope::test
