// "スナップショットを開く": the snapshot fetched into a temporary "ss" file
// renamed to .png and handed to the image editor, played by a stand-in
// program that records what it was given.
#include <windows.h>

#include <fstream>
#include <sstream>

#include "browser/browser_worker.h"
#include "browser/report_browser.h"
#include "browser_driving.h"
#include "win32/unique_handle.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

std::wstring FolderOfTest() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  while (length > 0 && path[length - 1] != L'\\') --length;
  return std::wstring(path, length);
}

std::wstring Utf8ToWide(const std::string& text) {
  std::u16string wide;
  Utf8ToUtf16(text, &wide);
  return AsWide(wide);
}

// What the stand-in recorded: one line per start, "pid<TAB>command line".
struct EditorStart {
  DWORD pid = 0;
  std::wstring file;  // the command line without its quotes
};

std::vector<EditorStart> ReadStarts(const std::wstring& record) {
  std::vector<EditorStart> starts;
  std::ifstream file(Narrow(record), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    EditorStart start{static_cast<DWORD>(std::stoul(line.substr(0, tab))), Utf8ToWide(line.substr(tab + 1))};
    if (start.file.size() >= 2 && start.file.front() == L'"' && start.file.back() == L'"') {
      start.file = start.file.substr(1, start.file.size() - 2);
    }
    starts.push_back(start);
  }
  return starts;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

void EmptyFolder(const std::wstring& folder) {
  for (const auto& name : FilesIn(folder)) DeleteFileW((folder + L"\\" + name).c_str());
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768] = {};
  GetEnvironmentVariableW(name, value, 32768);
  return value;
}

class SnapshotTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    standin = FolderOfTest() + L"standin";
    record = standin + L"\\opened.txt";
    DeleteFileW(record.c_str());
    DeleteFileW((standin + L"\\busy").c_str());
    // A temporary folder of the test's own, so every file the browser leaves
    // there can be seen.
    temporary = FolderOfTest() + L"snapshot-temp";
    CreateDirectoryW(temporary.c_str(), nullptr);
    EmptyFolder(temporary);
    savedTmp = Environment(L"TMP");
    savedTemp = Environment(L"TEMP");
    savedPath = Environment(L"PATH");
    SetEnvironmentVariableW(L"TMP", temporary.c_str());
    SetEnvironmentVariableW(L"TEMP", temporary.c_str());
  }
  void TearDown() override {
    BrowserTest::TearDown();
    SetEnvironmentVariableW(L"TMP", savedTmp.c_str());
    SetEnvironmentVariableW(L"TEMP", savedTemp.c_str());
    SetEnvironmentVariableW(L"PATH", savedPath.c_str());
    DeleteFileW((standin + L"\\busy").c_str());
    EmptyFolder(temporary);
  }

  void PutEditorOnPath() { SetEnvironmentVariableW(L"PATH", (standin + L";" + savedPath).c_str()); }

  // Opens the browser on "SS付き全件" with the report selected.
  void OpenOn(const SeededReport& report, DWORD idleWaitMs = 30'000) {
    Open(relay->endpoint(), idleWaitMs);
    ASSERT_EQ(Settle(), L"");
    ClickTab(2);
    ASSERT_GE(RowOf(report.name), 0);
    SelectRows({RowOf(report.name)});
  }

  std::wstring standin;
  std::wstring record;
  std::wstring temporary;
  std::wstring savedTmp;
  std::wstring savedTemp;
  std::wstring savedPath;
};

TEST_F(SnapshotTest, PhotoshopOnThePathGetsThePngAsSent) {
  const auto seeded = SeedReports({{u"SSを開く", 3}, {u"SSをもう一つ", 3}});
  PutEditorOnPath();
  Open();
  ASSERT_EQ(Settle(), L"");
  ClickTab(2);
  SelectRows({RowOf(seeded[0].name), RowOf(seeded[1].name)});
  Command(kOpenSnapshots);
  EXPECT_EQ(Settle(), L"") << "success shows nothing";

  const auto starts = ReadStarts(record);
  ASSERT_EQ(starts.size(), 2u) << "one editor start per snapshot";
  // In list order, which is name order.
  const bool firstIsFirst = seeded[0].name < seeded[1].name;
  for (size_t i = 0; i < 2; ++i) {
    const SeededReport& report = seeded[firstIsFirst ? i : 1 - i];
    const std::wstring& file = starts[i].file;
    EXPECT_EQ(file.substr(0, temporary.size() + 3), temporary + L"\\ss") << Narrow(file);
    EXPECT_EQ(file.substr(file.size() - 4), L".png") << Narrow(file);
    EXPECT_EQ(ReadFileBytes(file), report.png) << "the file is the PNG the report was sent with";
  }
  EXPECT_EQ(FilesIn(temporary).size(), 2u) << "the files stay for the editor, nothing else is left";
}

TEST_F(SnapshotTest, WithoutPhotoshopTheEditVerbOpensIt) {
  const auto seeded = SeedReports({{u"editで開く", 3}});
  // Another program under another name, registered as the editor of PNG
  // files. Through HKEY_CLASSES_ROOT: Wine reads file classes only there (on
  // Windows a user's write lands in the user's own classes).
  const std::wstring editor = standin + L"\\edit\\pngedit.exe";
  CreateDirectoryW((standin + L"\\edit").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((standin + L"\\photoshop.exe").c_str(), editor.c_str(), FALSE));
  DeleteFileW((standin + L"\\edit\\opened.txt").c_str());
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"vnscope.test.png\\shell\\edit\\command", 0,
                            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring command = L"\"" + editor + L"\" \"%1\"";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  wchar_t previousClass[256] = {};
  LONG previousSize = sizeof previousClass;
  const bool hadClass = RegQueryValueW(HKEY_CLASSES_ROOT, L".png", previousClass, &previousSize) == ERROR_SUCCESS;
  RegSetValueW(HKEY_CLASSES_ROOT, L".png", REG_SZ, L"vnscope.test.png", 0);
  const ScopeExit restore([&] {
    if (hadClass) {
      RegSetValueW(HKEY_CLASSES_ROOT, L".png", REG_SZ, previousClass, 0);
    } else {
      RegDeleteKeyW(HKEY_CLASSES_ROOT, L".png");
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"vnscope.test.png");
  });

  OpenOn(seeded[0]);
  Command(kOpenSnapshots);
  EXPECT_EQ(Settle(), L"");

  const auto starts = ReadStarts(standin + L"\\edit\\opened.txt");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(ReadFileBytes(starts[0].file), seeded[0].png);
  EXPECT_TRUE(ReadStarts(record).empty()) << "no photoshop was on the path";
}

TEST_F(SnapshotTest, WithNoEditorTheTemporaryFileIsDeleted) {
  const auto seeded = SeedReports({{u"開けないSS", 3}});
  OpenOn(seeded[0]);
  Command(kOpenSnapshots);
  EXPECT_EQ(Settle(), L"") << "the snapshot itself arrived";
  EXPECT_TRUE(ReadStarts(record).empty());
  EXPECT_TRUE(FilesIn(temporary).empty()) << Narrow(FilesIn(temporary).empty() ? L"" : FilesIn(temporary)[0]);
}

TEST_F(SnapshotTest, NothingSelectedShowsTheFailure) {
  Open();
  ASSERT_EQ(Settle(), L"");
  SelectRows({});
  Command(kOpenSnapshots);
  EXPECT_EQ(Settle(), L"スナップショットの受信に失敗しましたorz");
  EXPECT_EQ(messageOwner, browser);
}

// The wait for the editor to become idle is bounded: an editor that never
// does keeps the browser busy for the bound only.
TEST_F(SnapshotTest, AnEditorThatNeverIdlesHoldsTheWorkerOnlyForTheBound) {
  const auto seeded = SeedReports({{u"忙しいエディタ", 3}});
  PutEditorOnPath();
  HANDLE busy = CreateFileW((standin + L"\\busy").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(busy);
  OpenOn(seeded[0], 300);
  const auto started = std::chrono::steady_clock::now();
  Command(kOpenSnapshots);
  EXPECT_EQ(Settle(), L"");
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(300)) << "the worker waited for the editor";
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_TRUE(BrowserWorkerIdle());
  // The editor was started but never idled: it may not have written its
  // record yet.
  PumpUntil([&] { return !ReadStarts(record).empty(); }, std::chrono::seconds(10));
  const auto starts = ReadStarts(record);
  ASSERT_EQ(starts.size(), 1u);
  if (HANDLE editor = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, starts[0].pid)) {
    EXPECT_EQ(WaitForSingleObject(editor, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the editor was still busy";
    TerminateProcess(editor, 0);
    WaitForSingleObject(editor, 5000);
    CloseHandle(editor);
  }
}

}  // namespace
}  // namespace vnscope::test
