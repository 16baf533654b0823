// The library's conversions from the ANSI code page (932 in these tests, as
// on the testers' machines) and UTF-8, against the system's own conversion of
// the same bytes: plain ASCII takes a shorter way, and must arrive the same.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/harness.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

std::u16string SystemConversion(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return {};
  std::wstring wide(bytes.size(), L'\0');
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                                         static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length > 0 ? length : 0));
  return AsUtf16(wide);
}

TEST(TextConversion, AnsiAndUtf8TextArriveAsTheSystemConvertsThem) {
  std::string everyAsciiByte;
  for (int byte = 0; byte < 0x80; ++byte) everyAsciiByte.push_back(static_cast<char>(byte));
  const std::vector<std::string> texts = {
      "",
      everyAsciiByte,
      "20261207-120000-000123",
      "\x5c\x7e",                                   // yen sign and overline on Japanese screens
      "\x8b\x4e\x93\xae",                           // "起動" in code page 932
      "name-\x83\x65\x83\x58\x83\x67",              // ASCII then "テスト"
      "\xe8\xb5\xb7\xe5\x8b\x95 utf-8",             // "起動" in UTF-8
      std::string("a\0b", 3),                       // an embedded zero byte converts as itself
  };
  ASSERT_EQ(GetACP(), 932u) << "the tests run with the Japanese ANSI code page";
  for (const auto& text : texts) {
    EXPECT_EQ(AnsiToUtf16(text), SystemConversion(CP_ACP, text)) << text;
    std::u16string utf16;
    const bool converted = Utf8ToUtf16(text, &utf16);
    EXPECT_EQ(utf16, converted ? SystemConversion(CP_UTF8, text) : std::u16string()) << text;
  }
}

}  // namespace
}  // namespace vnscope::test
