#include "server/dashboard/pages.h"

#include <cstdio>

#include "report/protocol/report_states.h"
#include "report/protocol/utf8_text.h"
#include "server/dashboard/report_sections.h"
#include "server/web_text.h"
#include "server/package.h"

namespace vnscope::server {
namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// The class that gives a state its colour (rules in DashboardStylesheet).
std::string StateClass(uint32_t state) { return "state-badge state-" + Hex(state); }

std::string TabCaption(int filter) {
  for (const ReportTab& tab : kReportTabs) {
    if (tab.filter == filter) return EncodeUtf8(tab.caption);
  }
  return {};
}

std::string ReportLink(const std::string& name) { return "/reports/" + HtmlEscape(name); }

std::string ListLink(const ListPageModel& model, int filter, int64_t page) {
  return HtmlEscape("/?" + ListQuery(model, filter, page));
}

// The assignee filters: everyone, this browser's name, nobody, any name.
std::string AssigneeFilters(const ListPageModel& model) {
  ListPageModel everyone = model;
  everyone.assignee.clear();
  everyone.unassigned = false;
  auto link = [&](const ListPageModel& target, const char* id, std::string_view text, bool current) {
    return std::string("<a id=\"") + id + "\"" + (current ? " class=\"current\"" : "") + " href=\"" +
           ListLink(target, model.filter, 1) + "\">" + std::string(text) + "</a>";
  };
  const bool anyone = model.assignee.empty() && !model.unassigned;
  std::string html = "<nav class=\"filters\"><span>担当:</span>" + link(everyone, "assignee-all", "すべて", anyone);
  if (!model.user_name.empty()) {
    ListPageModel mine = everyone;
    mine.assignee = model.user_name;
    html += link(mine, "assignee-mine", "自分", !model.unassigned && model.assignee == model.user_name);
  }
  ListPageModel nobody = everyone;
  nobody.unassigned = true;
  html += link(nobody, "assignee-none", "未割り当て", model.unassigned);
  html += "<form class=\"filters\" method=\"get\" action=\"/\"><input type=\"hidden\" name=\"tab\" value=\"" +
          std::to_string(model.filter) + "\">";
  if (!model.search.empty()) html += "<input type=\"hidden\" name=\"q\" value=\"" + HtmlEscape(model.search) + "\">";
  if (!model.label.empty()) html += "<input type=\"hidden\" name=\"label\" value=\"" + HtmlEscape(model.label) + "\">";
  html += "<input name=\"assignee\" id=\"assignee-filter\" placeholder=\"担当者名\" size=\"10\" value=\"" +
          HtmlEscape(model.unassigned ? "" : model.assignee) + "\"><button>絞り込み</button></form>";
  if (!model.label.empty()) {
    ListPageModel any_label = model;
    any_label.label.clear();
    html += "<span class=\"label-filter\">ラベル: " + HtmlEscape(model.label) + " <a id=\"label-clear\" href=\"" +
            ListLink(any_label, model.filter, 1) + "\">×</a></span>";
  }
  html += "<a class=\"export\" id=\"csv-export\" href=\"" + HtmlEscape("/reports.csv?" + ListQuery(model, model.filter, 1)) +
          "\" download>CSV</a></nav>";
  return html;
}

// The page around a body. The revision lets the script see when the part
// marked live is out of date.
std::string Page(std::string_view title, const std::string& header_extra, const std::string& body,
                 std::optional<uint64_t> revision) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                     "<title>";
  page += HtmlEscape(title);
  page += " - vnscope</title><link rel=\"stylesheet\" href=\"/static/dashboard.css\">"
          "<script src=\"/static/dashboard.js\" defer></script></head>\n<body";
  if (revision) page += " data-revision=\"" + std::to_string(*revision) + "\"";
  page += "><header><a class=\"home\" href=\"/\">vnscope レポート</a>";
  page += header_extra;
  page += "</header>\n<main>";
  page += body;
  page += "</main></body></html>\n";
  return page;
}

std::string LogoutForm(const std::string& form_token, bool logged_in) {
  if (!logged_in) return {};
  return "<form class=\"logout\" method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"csrf\" value=\"" +
         HtmlEscape(form_token) + "\"><button>ログアウト</button></form>";
}

std::string ContentBadges(uint32_t flags) {
  std::string badges;
  if (flags & ReportFlags::HasText) badges += "<span class=\"badge text\" title=\"テキスト\">TXT</span>";
  if (flags & ReportFlags::HasSnapshot) badges += "<span class=\"badge snapshot\" title=\"スナップショット\">SS</span>";
  return badges;
}

// A report with an empty title shows its name, as in the report browser.
std::string ShownTitle(const ReportRow& row) { return row.title.empty() ? row.name : row.title; }

}  // namespace

std::string StateBadge(uint32_t state) {
  return "<span class=\"" + StateClass(state) + "\">" + HtmlEscape(StateLabel(state)) + "</span>";
}

std::string TimeElement(int64_t unix_ms) {
  return "<time datetime=\"" + IsoTime(unix_ms) + "\">" + UtcTimeText(unix_ms) + " UTC</time>";
}

// The list's label and assignee filters as query fields: links and the
// search form both carry them on.
std::vector<std::pair<std::string, std::string>> FilterFields(const ListPageModel& model) {
  std::vector<std::pair<std::string, std::string>> fields;
  if (!model.label.empty()) fields.emplace_back("label", model.label);
  if (model.unassigned) {
    fields.emplace_back("unassigned", "1");
  } else if (!model.assignee.empty()) {
    fields.emplace_back("assignee", model.assignee);
  }
  return fields;
}

std::string ListQuery(const ListPageModel& model, int filter, int64_t page) {
  std::string query = "tab=" + std::to_string(filter);
  if (!model.search.empty()) query += "&q=" + UrlEncode(model.search);
  for (const auto& [name, value] : FilterFields(model)) query += "&" + name + "=" + UrlEncode(value);
  if (page > 1) query += "&page=" + std::to_string(page);
  return query;
}

int64_t PageCount(int64_t count) { return count <= 0 ? 1 : (count + kReportsPerPage - 1) / kReportsPerPage; }

std::string RenderListPage(const ListPageModel& model) {
  const int64_t shown_count = model.filter >= 0 && model.filter < 4 ? model.data.tab_counts[model.filter] : 0;
  const int64_t pages = PageCount(shown_count);

  // A search keeps the tab and the filters it was made under.
  std::string search = "<form class=\"search\" method=\"get\" action=\"/\"><input type=\"hidden\" name=\"tab\" value=\"" +
                       std::to_string(model.filter) + "\">";
  for (const auto& [name, value] : FilterFields(model)) {
    search += "<input type=\"hidden\" name=\"" + name + "\" value=\"" + HtmlEscape(value) + "\">";
  }
  search += "<input type=\"search\" name=\"q\" placeholder=\"タイトル・報告者で検索\" value=\"" +
            HtmlEscape(model.search) + "\"><button>検索</button></form>";
  search += RenderNameForm(model.form_token, model.user_name, "/?" + ListQuery(model, model.filter, model.page));
  search += LogoutForm(model.form_token, model.logged_in);

  std::string body;
  for (const std::string& url : model.failing_webhooks)
    body += "<p class=\"status-line\">通知の送信に1時間以上失敗しています: " + HtmlEscape(url) + "</p>";
  body += AssigneeFilters(model);
  body += "<div id=\"live\"><nav class=\"tabs\">";
  for (int filter : kDashboardTabOrder) {
    body += "<a class=\"tab";
    if (filter == model.filter) body += " current";
    body += "\" data-tab=\"" + std::to_string(filter) + "\" href=\"" + ListLink(model, filter, 1) + "\">" +
            HtmlEscape(TabCaption(filter)) + " <span class=\"count\">" + std::to_string(model.data.tab_counts[filter]) +
            "</span></a>";
  }
  body += "</nav>";
  if (model.data.rows.empty()) {
    body += "<p class=\"empty\">該当するレポートはありません。</p>";
  } else {
    body += "<table class=\"reports\"><thead><tr><th>状態</th><th>タイトル</th><th>報告者</th><th>内容</th>"
            "<th>担当</th><th>受信日時</th></tr></thead><tbody>";
    for (const ReportRow& row : model.data.rows) {
      body += "<tr data-state=\"" + Hex(row.state) + "\" data-name=\"" + HtmlEscape(row.name) + "\"><td class=\"state\">" +
              StateBadge(row.state) + "</td><td class=\"title\"><a href=\"" + ReportLink(row.name) + "\">" +
              HtmlEscape(ShownTitle(row)) + "</a></td><td class=\"reporter\">" + HtmlEscape(row.reporter) +
              "</td><td class=\"contents\">" + ContentBadges(row.flags) + "</td><td class=\"assignee\">" +
              HtmlEscape(row.assignee) + "</td><td class=\"received\">" +
              TimeElement(row.received_ms) + "</td></tr>";
    }
    body += "</tbody></table>";
  }
  body += "<nav class=\"pager\">";
  if (model.page > 1)
    body += "<a rel=\"prev\" href=\"" + ListLink(model, model.filter, model.page - 1) + "\">‹ 前へ</a>";
  body += "<span class=\"position\">" + std::to_string(model.page) + " / " + std::to_string(pages) + " ページ</span>";
  if (model.page < pages)
    body += "<a rel=\"next\" href=\"" + ListLink(model, model.filter, model.page + 1) + "\">次へ ›</a>";
  body += "</nav></div>";
  return Page(TabCaption(model.filter), search, body, model.revision);
}

std::optional<ImageSize> PngSize(std::span<const uint8_t> png) {
  // The signature, then the IHDR chunk: length 13, type, width, height.
  static constexpr uint8_t kStart[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  if (png.size() < sizeof kStart + 8 || !std::equal(std::begin(kStart), std::end(kStart), png.begin()))
    return std::nullopt;
  auto big_endian = [&](size_t at) {
    return uint32_t{png[at]} << 24 | uint32_t{png[at + 1]} << 16 | uint32_t{png[at + 2]} << 8 | png[at + 3];
  };
  return ImageSize{big_endian(16), big_endian(20)};
}

std::vector<std::vector<std::string>> ParseObjectList(std::string_view text) {
  std::vector<std::vector<std::string>> rows;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::string_view rest = line;
    bool shaped = true;
    while (!rest.empty()) {
      // A cell ends at the first quote-comma that is followed by the next
      // cell's quote or by the end of the row.
      if (rest.front() != '"') {
        shaped = false;
        break;
      }
      size_t close = 1;
      for (;; ++close) {
        close = rest.find("\",", close);
        if (close == std::string_view::npos || close + 2 == rest.size() || rest[close + 2] == '"') break;
      }
      if (close == std::string_view::npos) {
        shaped = false;
        break;
      }
      cells.emplace_back(rest.substr(1, close - 1));
      rest.remove_prefix(close + 2);
    }
    if (!shaped) cells.assign(1, std::string(line));
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::string RenderReportPage(const ReportPageModel& model) {
  const ReportRow& row = model.details.row;
  const std::string link = ReportLink(row.name);
  std::string body = "<article class=\"report\"><h1>" + HtmlEscape(ShownTitle(row)) + "</h1><div id=\"live\">";

  std::string contents;
  if (row.flags & ReportFlags::HasText) contents += "テキスト";
  if (row.flags & ReportFlags::HasSnapshot) contents += contents.empty() ? "スナップショット" : "、スナップショット";
  if (contents.empty()) contents = "なし";
  body += "<dl class=\"facts\"><dt>報告者</dt><dd class=\"reporter\">" + HtmlEscape(row.reporter) +
          "</dd><dt>内容</dt><dd class=\"flags\">" + contents + " <span class=\"raw\">(flags 0x" + Hex(row.flags) +
          ")</span></dd><dt>状態</dt><dd class=\"state\">" + StateBadge(row.state) + "</dd><dt>受信日時</dt><dd class=\"received\">" +
          TimeElement(row.received_ms) + "</dd><dt>送信元</dt><dd class=\"peer\">" + HtmlEscape(model.details.peer) +
          "</dd><dt>名前</dt><dd class=\"name\">" + HtmlEscape(row.name) + "</dd><dt>担当</dt><dd class=\"assignee\">" +
          (row.assignee.empty() ? "<span class=\"raw\">未割り当て</span>" : HtmlEscape(row.assignee)) + "</dd></dl>";

  body += "<form class=\"states\" method=\"post\" action=\"" + link + "/state\"><input type=\"hidden\" name=\"csrf\" value=\"" +
          HtmlEscape(model.form_token) + "\">";
  for (const ReportStateLook& look : kReportStateLooks) {
    body += "<button name=\"state\" value=\"" + std::to_string(look.state) + "\" class=\"" + StateClass(look.state) +
            "\"";
    if (look.state == row.state) body += " disabled aria-pressed=\"true\"";
    body += '>';
    body += HtmlEscape(EncodeUtf8(look.label));
    body += "</button>";
  }
  body += "</form>";

  body += RenderComments(model.details.notes);
  body += RenderHistory(model.details);
  body += "</div>";
  body += RenderTriageForms(row.name, model.form_token, row.assignee, model.user_name);

  body += "<p class=\"download\"><a href=\"" + link + "/package.zip\" download>パッケージをダウンロード (" +
          HtmlEscape(row.name) + ".zip、" + std::to_string(model.details.package.size()) + " バイト)</a></p>";

  if (model.text) {
    body += "<section class=\"text\"><h2>レポート本文</h2><pre id=\"report-text\">" + HtmlEscape(*model.text) +
            "</pre></section>";
  }
  if (model.has_snapshot) {
    body += "<section class=\"snapshot\"><h2>スナップショット</h2><a href=\"" + link +
            "/snapshot.png\" title=\"原寸で開く\"><img id=\"snapshot\" src=\"" + link + "/snapshot.png\" alt=\"スナップショット\"";
    if (model.snapshot_size) {
      body += " width=\"" + std::to_string(model.snapshot_size->width) + "\" height=\"" +
              std::to_string(model.snapshot_size->height) + "\"";
    }
    body += "></a></section>";
  }
  if (model.objects) {
    static constexpr const char* kColumns[] = {"No", "名前", "タイプ", "状態", "X", "Y"};
    body += "<section class=\"objects\"><h2>オブジェクト一覧</h2>";
    if (model.objects->empty()) {
      body += "<p class=\"empty\">オブジェクトはありません。</p>";
    } else {
      size_t columns = std::size(kColumns);
      for (const auto& cells : *model.objects) columns = std::max(columns, cells.size());
      body += "<table><thead><tr>";
      for (size_t c = 0; c < columns; ++c) body += std::string("<th>") + (c < std::size(kColumns) ? kColumns[c] : "") + "</th>";
      body += "</tr></thead><tbody>";
      for (const auto& cells : *model.objects) {
        body += "<tr>";
        for (size_t c = 0; c < columns; ++c) body += "<td>" + (c < cells.size() ? HtmlEscape(cells[c]) : "") + "</td>";
        body += "</tr>";
      }
      body += "</tbody></table>";
    }
    body += "</section>";
  }
  body += RenderGameStateSection(model.game_state);
  body += "</article>";
  return Page(ShownTitle(row),
              RenderNameForm(model.form_token, model.user_name, "/reports/" + row.name) + LogoutForm(model.form_token, model.logged_in),
              body, model.revision);
}

std::string RenderLoginPage(std::string_view message, std::string_view next) {
  std::string body = "<form class=\"login\" method=\"post\" action=\"/login\"><h1>ログイン</h1>";
  if (!message.empty()) body += "<p class=\"error\">" + HtmlEscape(message) + "</p>";
  body += "<input type=\"hidden\" name=\"next\" value=\"" + HtmlEscape(next) +
          "\"><label>合言葉 <input type=\"password\" name=\"secret\" autocomplete=\"current-password\" autofocus "
          "required></label><button>ログイン</button></form>";
  return Page("ログイン", {}, body, std::nullopt);
}

std::string RenderMessagePage(std::string_view title, std::string_view message) {
  return Page(title, {}, "<h1>" + HtmlEscape(title) + "</h1><p>" + HtmlEscape(message) + "</p>", std::nullopt);
}

}  // namespace vnscope::server
