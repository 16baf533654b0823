#include "demo/variables_feed.h"

#include <cwchar>
#include <deque>
#include <initializer_list>
#include <vector>

namespace demo {
namespace {

struct Feed {
  std::vector<std::wstring> hashNames;  // table positions 0 .. H-1
  std::vector<std::wstring> atNames;    // table positions H onwards
  std::vector<int> values;              // by table position
  std::deque<DatabaseNode> nodes;       // the database tree, alive for the whole run
  std::deque<std::string> texts;
  DatabaseNode* root = nullptr;
  std::vector<DatabaseNode*> changing;  // number cells the game changes in place
};

Feed g_feed;

void Send(HWND monitor, ULONG_PTR command, const void* record, DWORD size) {
  COPYDATASTRUCT data{command, size, const_cast<void*>(record)};
  SendMessageW(monitor, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

void Group(std::vector<std::wstring>* names, const std::wstring& prefix, std::initializer_list<const wchar_t*> members) {
  for (const wchar_t* member : members) names->push_back(prefix + L"." + member);
}

void Numbered(std::vector<std::wstring>* names, const std::wstring& prefix, int count) {
  for (int i = 0; i < count; ++i) {
    wchar_t member[16];
    swprintf(member, 16, L"%03d", i);
    names->push_back(prefix + L"." + member);
  }
}

int Position(const std::wstring& name) {
  for (size_t i = 0; i < g_feed.hashNames.size(); ++i) {
    if (g_feed.hashNames[i] == name) return static_cast<int>(i);
  }
  for (size_t i = 0; i < g_feed.atNames.size(); ++i) {
    if (g_feed.atNames[i] == name) return static_cast<int>(g_feed.hashNames.size() + i);
  }
  return -1;
}

void SetValue(HWND list, int position, int value) {
  if (position < 0) return;
  g_feed.values[static_cast<size_t>(position)] = value;
  const std::wstring text = std::to_wstring(value);
  VariableMessage record{};
  record.position = position;
  record.text = text.c_str();
  Send(list, VN_SET_VARIABLE_VALUE, &record, sizeof(record));
}

// --- the database tree ----------------------------------------------------------

DatabaseNode* Node(int32_t type, const char* key, std::initializer_list<DatabaseNode*> children = {}) {
  DatabaseNode& node = g_feed.nodes.emplace_back();
  node.type = type;
  node.key = key ? g_feed.texts.emplace_back(key).c_str() : nullptr;
  DatabaseNode* previous = nullptr;
  for (DatabaseNode* child : children) {
    (previous ? previous->next : node.value.firstChild) = child;
    previous = child;
  }
  return &node;
}
DatabaseNode* Text(const char* key, const char* text) {
  DatabaseNode* node = Node(1, key);
  node->value.text = g_feed.texts.emplace_back(text).c_str();
  return node;
}
DatabaseNode* Number(double value) {
  DatabaseNode* node = Node(2, nullptr);
  node->value.number = value;
  return node;
}
DatabaseNode* Flag(bool value) {
  DatabaseNode* node = Node(3, nullptr);
  node->value.boolean = value;
  return node;
}
DatabaseNode* Texts(const char* key, std::initializer_list<const char*> texts) {
  DatabaseNode* array = Node(5, key);
  DatabaseNode* previous = nullptr;
  for (const char* text : texts) {
    DatabaseNode* node = Text(nullptr, text);
    (previous ? previous->next : array->value.firstChild) = node;
    previous = node;
  }
  return array;
}
DatabaseNode* Table(const char* key, const char* name, DatabaseNode* x, DatabaseNode* y,
                    std::initializer_list<DatabaseNode*> columns) {
  DatabaseNode* data = Node(5, "data", columns);
  return name ? Node(4, key, {Text("name", name), x, y, data}) : Node(4, key, {x, y, data});
}

void BuildDatabase() {
  DatabaseNode* stock = Number(3);
  DatabaseNode* price = Number(12.5);
  DatabaseNode* volume = Number(0.8);
  g_feed.changing = {stock, price, volume};
  DatabaseNode* items = Table(
      "items", "アイテム", Texts("x", {"所持数", "価格", "売却可"}), Texts("y", {"薬草", "ポーション", "古い鍵", "地図"}),
      {Node(5, nullptr, {stock, Number(1), Number(0), Number(2)}),
       Node(5, nullptr, {Number(8), price, Number(1500), Number(-0.5)}),
       Node(5, nullptr, {Flag(true), Flag(true), Flag(false), Flag(true)})});
  DatabaseNode* quests = Table(
      "quests", "依頼", Texts("x", {"依頼人", "達成"}), Texts("y", {"q01", "q02", "q03"}),
      {Node(5, nullptr, {Text(nullptr, "千早"), Text(nullptr, "宿の主人"), Text(nullptr, "猫")}),
       Node(5, nullptr, {Flag(true), Flag(false), Flag(false)})});
  DatabaseNode* config = Table("config", nullptr, Texts("x", {"値"}), Texts("y", {"bgm", "voice", "text_speed"}),
                               {Node(5, nullptr, {volume, Number(1), Number(10000000000.0)})});
  DatabaseNode* endings = Table("endings", "エンディング", Texts("x", {"到達", "回数"}),
                                Texts("y", {"true_end", "normal_end", "bad_end"}),
                                {Node(5, nullptr, {Flag(false), Flag(true), Flag(true)}),
                                 Node(5, nullptr, {Number(0), Number(2), Number(5)})});
  g_feed.root = Node(4, "gamedb", {Node(4, "private", {items, quests}), Node(4, "common", {config, endings})});
}

}  // namespace

void StartVariablesFeed(const MonitorSet& monitors) {
  std::vector<std::wstring>& hash = g_feed.hashNames;
  hash = {L"#chapter", L"#day", L"#money"};
  Group(&hash, L"#affection", {L"chihaya", L"mio", L"sora", L"innkeeper", L"cat"});
  Group(&hash, L"#flag", {L"met_chihaya", L"met_mio", L"bridge_open", L"key_found", L"map_read", L"rain"});
  Numbered(&hash, L"#scene.seen", 60);
  Numbered(&hash, L"#item.count", 40);
  hash.push_back(L"#ending_route");
  std::vector<std::wstring>& at = g_feed.atNames;
  at = {L"@play_count"};
  Group(&at, L"@system", {L"volume_bgm", L"volume_voice", L"text_speed", L"auto_wait", L"skip_read"});
  Numbered(&at, L"@cg.unlocked", 80);
  Numbered(&at, L"@clear.route", 12);
  g_feed.values.assign(hash.size() + at.size(), 0);

  for (const auto* names : {&hash, &at}) {
    for (const std::wstring& name : *names) {
      VariableMessage record{};
      record.text = name.c_str();
      Send(monitors.variableList, VN_ADD_VARIABLE_NAME, &record, sizeof(record));
    }
  }
  std::vector<RegisterMapEntry> map = {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}};
  for (uint16_t i = 0; i < 5; ++i) map.push_back({static_cast<uint16_t>(10 + i), 0, 3 + i});  // #affection.*
  for (uint16_t i = 0; i < 5; ++i) map.push_back({static_cast<uint16_t>(100 + i), 0x0102, 1 + i});  // @system.*
  Send(monitors.variableList, VN_COMMIT_VARIABLES, map.data(), static_cast<DWORD>(map.size() * sizeof(map[0])));

  const std::pair<const wchar_t*, int> start[] = {
      {L"#chapter", 2},          {L"#day", 14},       {L"#money", 3250},       {L"#affection.chihaya", 42},
      {L"#affection.mio", 17},   {L"#flag.met_chihaya", 1}, {L"#flag.rain", 1},  {L"@play_count", 3},
      {L"@system.volume_bgm", 80}, {L"@system.volume_voice", 100}, {L"@system.text_speed", 5}};
  for (const auto& [name, value] : start) SetValue(monitors.variableList, Position(name), value);

  if (monitors.size >= 24 && monitors.database) {
    BuildDatabase();
    Send(monitors.database, VN_LOAD_DATABASE, g_feed.root, 0);
  }
}

void TickVariablesFeed(const MonitorSet& monitors, int frame) {
  if (frame % 10 == 0) {
    SetValue(monitors.variableList, Position(L"#money"), 3250 + (frame * 7) % 900);
    SetValue(monitors.variableList, Position(L"#affection.chihaya"), 42 + (frame / 10) % 20);
    SetValue(monitors.variableList, static_cast<int>(g_feed.hashNames.size()) + 6 + (frame / 10) % 80, 1);
  }
  if (frame % 20 == 0 && !g_feed.changing.empty() && monitors.database) {
    g_feed.changing[0]->value.number = 3 + (frame / 20) % 5;
    g_feed.changing[1]->value.number = 12.5 + (frame / 20) % 4 * 0.25;
    g_feed.changing[2]->value.number = 0.5 + (frame / 20) % 6 * 0.1;
    Send(monitors.database, VN_REFRESH_DATABASE, nullptr, 0);
  }
}

std::wstring DescribeVariableEdited(const MonitorSet& monitors, HWND sender, const COPYDATASTRUCT& data) {
  if (data.dwData != VN_VARIABLE_EDITED || data.cbData != 512 || !data.lpData ||
      GetParent(sender) != monitors.variableList) {
    return {};
  }
  const auto* text = static_cast<const wchar_t*>(data.lpData);
  return L"VariableEdited: " + std::wstring(text + 128, wcsnlen(text + 128, 128)) + L" = \"" +
         std::wstring(text, wcsnlen(text, 128)) + L"\"";
}

}  // namespace demo
