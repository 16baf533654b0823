#include "server/dashboard/pages.h"

#include <cstdio>

#include "report/protocol/report_states.h"
#include "server/dashboard/web_text.h"
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

// A state's label on its colour, wherever a state is shown.
std::string StateBadge(uint32_t state) {
  return "<span class=\"" + StateClass(state) + "\">" + HtmlEscape(StateLabel(state)) + "</span>";
}

std::string TabCaption(int filter) {
  for (const ReportTab& tab : kReportTabs) {
    if (tab.filter == filter) return Utf16ToUtf8(tab.caption);
  }
  return {};
}

std::string TimeElement(int64_t unix_ms) {
  return "<time datetime=\"" + IsoTime(unix_ms) + "\">" + UtcTimeText(unix_ms) + " UTC</time>";
}

std::string ReportLink(const std::string& name) { return "/reports/" + HtmlEscape(name); }

std::string ListLink(int filter, const std::string& search, int64_t page) {
  std::string link = "/?tab=" + std::to_string(filter);
  if (!search.empty()) link += "&amp;q=" + UrlEncode(search);
  if (page > 1) link += "&amp;page=" + std::to_string(page);
  return link;
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

std::string StateLabel(uint32_t state) {
  const std::u16string_view label = ReportStateLabel(state);
  return label.empty() ? "0x" + Hex(state) : Utf16ToUtf8(label);
}

int64_t PageCount(int64_t count) { return count <= 0 ? 1 : (count + kReportsPerPage - 1) / kReportsPerPage; }

std::string RenderListPage(const ListPageModel& model) {
  const int64_t shown_count = model.filter >= 0 && model.filter < 4 ? model.data.tab_counts[model.filter] : 0;
  const int64_t pages = PageCount(shown_count);

  std::string search = "<form class=\"search\" method=\"get\" action=\"/\"><input type=\"hidden\" name=\"tab\" value=\"" +
                       std::to_string(model.filter) +
                       "\"><input type=\"search\" name=\"q\" placeholder=\"タイトル・報告者で検索\" value=\"" +
                       HtmlEscape(model.search) + "\"><button>検索</button></form>";
  search += LogoutForm(model.form_token, model.logged_in);

  std::string body = "<div id=\"live\"><nav class=\"tabs\">";
  for (int filter : kDashboardTabOrder) {
    body += "<a class=\"tab";
    if (filter == model.filter) body += " current";
    body += "\" data-tab=\"" + std::to_string(filter) + "\" href=\"" + ListLink(filter, model.search, 1) + "\">" +
            HtmlEscape(TabCaption(filter)) + " <span class=\"count\">" + std::to_string(model.data.tab_counts[filter]) +
            "</span></a>";
  }
  body += "</nav>";
  if (model.data.rows.empty()) {
    body += "<p class=\"empty\">該当するレポートはありません。</p>";
  } else {
    body += "<table class=\"reports\"><thead><tr><th>状態</th><th>タイトル</th><th>報告者</th><th>内容</th>"
            "<th>受信日時</th></tr></thead><tbody>";
    for (const ReportRow& row : model.data.rows) {
      body += "<tr data-state=\"" + Hex(row.state) + "\" data-name=\"" + HtmlEscape(row.name) + "\"><td class=\"state\">" +
              StateBadge(row.state) + "</td><td class=\"title\"><a href=\"" + ReportLink(row.name) + "\">" +
              HtmlEscape(ShownTitle(row)) + "</a></td><td class=\"reporter\">" + HtmlEscape(row.reporter) +
              "</td><td class=\"contents\">" + ContentBadges(row.flags) + "</td><td class=\"received\">" +
              TimeElement(row.received_ms) + "</td></tr>";
    }
    body += "</tbody></table>";
  }
  body += "<nav class=\"pager\">";
  if (model.page > 1)
    body += "<a rel=\"prev\" href=\"" + ListLink(model.filter, model.search, model.page - 1) + "\">‹ 前へ</a>";
  body += "<span class=\"position\">" + std::to_string(model.page) + " / " + std::to_string(pages) + " ページ</span>";
  if (model.page < pages)
    body += "<a rel=\"next\" href=\"" + ListLink(model.filter, model.search, model.page + 1) + "\">次へ ›</a>";
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
          "</dd><dt>名前</dt><dd class=\"name\">" + HtmlEscape(row.name) + "</dd></dl>";

  body += "<form class=\"states\" method=\"post\" action=\"" + link + "/state\"><input type=\"hidden\" name=\"csrf\" value=\"" +
          HtmlEscape(model.form_token) + "\">";
  for (const ReportStateLook& look : kReportStateLooks) {
    body += "<button name=\"state\" value=\"" + std::to_string(look.state) + "\" class=\"" + StateClass(look.state) +
            "\"";
    if (look.state == row.state) body += " disabled aria-pressed=\"true\"";
    body += '>';
    body += HtmlEscape(Utf16ToUtf8(look.label));
    body += "</button>";
  }
  body += "</form>";

  body += "<section class=\"history\"><h2>状態の履歴</h2>";
  if (model.details.history.empty()) {
    body += "<p class=\"empty\">まだ変更されていません。</p>";
  } else {
    body += "<table><thead><tr><th>日時</th><th>変更</th><th>変更元</th><th>送信元</th></tr></thead><tbody>";
    for (const StateChange& change : model.details.history) {
      const char* source = change.source == kSourceDashboard ? "ダッシュボード"
                           : change.source == kSourceBrowser ? "レポートブラウザ"
                                                             : "?";
      body += "<tr><td>" + TimeElement(change.changed_ms) + "</td><td>" + StateBadge(change.previous) + " → " +
              StateBadge(change.state) + "</td><td class=\"source\">" +
              source + "</td><td>" + HtmlEscape(change.peer) + "</td></tr>";
    }
    body += "</tbody></table>";
  }
  body += "</section></div>";

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
  body += "</article>";
  return Page(ShownTitle(row), LogoutForm(model.form_token, model.logged_in), body, model.revision);
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

std::string DashboardStylesheet() {
  std::string css = R"css(
* { box-sizing: border-box; }
body { margin: 0; font-family: "VL PGothic", "Hiragino Kaku Gothic ProN", "Meiryo", sans-serif; font-size: 14px; color: #222; background: #fff; }
header { display: flex; align-items: center; gap: 16px; padding: 8px 16px; background: #2d3e50; color: #fff; }
header a.home { color: #fff; font-weight: bold; font-size: 16px; text-decoration: none; margin-right: auto; }
header form { display: flex; gap: 4px; margin: 0; }
header input[type=search] { width: 260px; padding: 4px 6px; }
main { padding: 12px 16px; }
nav.tabs { display: flex; gap: 2px; border-bottom: 2px solid #2d3e50; }
nav.tabs a { padding: 6px 14px; background: #e8ecf0; color: #222; text-decoration: none; border-radius: 4px 4px 0 0; }
nav.tabs a.current { background: #2d3e50; color: #fff; }
nav.tabs .count { display: inline-block; min-width: 2em; padding: 0 6px; margin-left: 4px; border-radius: 9px; background: rgba(0,0,0,.12); text-align: center; font-size: 12px; }
table { border-collapse: collapse; margin: 8px 0; }
table.reports { width: 100%; }
th, td { border-bottom: 1px solid #ddd; padding: 5px 8px; text-align: left; vertical-align: top; }
th { background: #f4f6f8; font-weight: normal; color: #555; white-space: nowrap; }
tr[data-name] a { color: inherit; }
td.received, td.state, td.contents { white-space: nowrap; }
.badge { display: inline-block; padding: 0 5px; margin-right: 3px; border: 1px solid currentColor; border-radius: 3px; font-size: 11px; }
nav.pager { display: flex; gap: 12px; align-items: center; margin-top: 8px; }
p.empty { color: #777; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: 4px 16px; margin: 8px 0; }
dl.facts dt { color: #555; }
dl.facts dd { margin: 0; }
.raw { color: #999; font-size: 12px; }
form.states { display: flex; gap: 6px; margin: 12px 0; }
.state-badge { display: inline-block; padding: 1px 8px; border: 1px solid #777; border-radius: 10px; color: #000; background: #fff; font-size: 12px; white-space: nowrap; }
form.states button.state-badge { padding: 6px 14px; font-size: 14px; border-radius: 4px; cursor: pointer; }
form.states button[disabled] { outline: 3px solid #2d3e50; outline-offset: 1px; font-weight: bold; cursor: default; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; background: #f8f8f4; border: 1px solid #ddd; padding: 10px; font-family: "VL Gothic", monospace; }
.snapshot img { max-width: 100%; height: auto; border: 1px solid #ccc; }
form.login { max-width: 360px; margin: 60px auto; display: flex; flex-direction: column; gap: 12px; }
form.login input { width: 100%; padding: 6px; }
.error { color: #c00; }
h1 { font-size: 20px; margin: 4px 0 8px; }
h2 { font-size: 16px; margin: 16px 0 6px; }
)css";
  // One rule per named state, with the colour of the report browser's table.
  // The browser paints its rows' text in it, but on a white page the red and
  // the greys are too faint to read as text: here the colour is the badge's
  // background, under black text that stands out on every one of them.
  for (const ReportStateLook& look : kReportStateLooks) {
    if (!look.colour) continue;
    char rule[96];
    std::snprintf(rule, sizeof rule, ".state-badge.state-%08X { background: rgb(%d, %d, %d); }\n", look.state,
                  look.colour->red, look.colour->green, look.colour->blue);
    css += rule;
  }
  return css;
}

std::string_view DashboardScript() {
  return R"js('use strict';
// Shows times in the reader's time zone and keeps the part of the page marked
// "live" up to date: the server's revision changes with every new report and
// state change, and the page is fetched again when it does.
(function () {
  function localTimes(root) {
    for (const element of root.querySelectorAll('time[datetime]')) {
      const time = new Date(element.getAttribute('datetime'));
      if (!isNaN(time)) element.textContent = time.toLocaleString('ja-JP', {hour12: false});
    }
  }
  localTimes(document);
  const live = document.getElementById('live');
  let revision = document.body.dataset.revision;
  if (!live || revision === undefined) return;
  let busy = false;
  async function refresh() {
    if (busy) return;
    busy = true;
    try {
      const answer = await fetch('/api/revision', {cache: 'no-store', credentials: 'same-origin'});
      if (!answer.ok) return;
      const now = (await answer.text()).trim();
      if (now === revision) return;
      const page = await fetch(location.href, {cache: 'no-store', credentials: 'same-origin'});
      if (!page.ok || page.redirected) return;
      const fresh = new DOMParser().parseFromString(await page.text(), 'text/html');
      const part = fresh.getElementById('live');
      if (!part) return;
      live.replaceChildren(...Array.from(part.childNodes, (node) => document.importNode(node, true)));
      localTimes(live);
      revision = fresh.body.dataset.revision || now;
    } catch (error) {
      // The server may be restarting; the next round tries again.
    } finally {
      busy = false;
    }
  }
  setInterval(refresh, 1000);
})();
)js";
}

}  // namespace vnscope::server
