#include "server/dashboard/report_sections.h"

#include "server/dashboard/history.h"
#include "server/dashboard/pages.h"
#include "server/web_text.h"

namespace vnscope::server {
namespace {

std::string CsrfField(const std::string& form_token) {
  return "<input type=\"hidden\" name=\"csrf\" value=\"" + HtmlEscape(form_token) + "\">";
}

std::string SourceText(const std::string& source) {
  if (source == kSourceDashboard) return "ダッシュボード";
  if (source == kSourceBrowser) return "レポートブラウザ";
  if (source == kSourceApi) return "API";
  return "?";
}

std::string PersonOrNobody(const std::string& name) { return name.empty() ? "なし" : HtmlEscape(name); }

}  // namespace

std::string RenderGameStateSection(const GameStateEntries& state) {
  if (!state.any()) return {};
  std::string html = "<section class=\"game-state\" id=\"game-state\"><h2>ゲーム状態</h2>";
  if (state.lines) {
    html += "<dl class=\"facts state-lines\">";
    for (const auto& [key, value] : *state.lines) {
      html += "<dt>" + HtmlEscape(key) + "</dt><dd data-key=\"" + HtmlEscape(key) + "\">";
      if (key == "label" && !value.empty()) {
        html += "<a class=\"label-filter\" href=\"/?label=" + UrlEncode(value) + "\" title=\"このラベルのレポート\">" +
                HtmlEscape(value) + "</a>";
      } else {
        html += HtmlEscape(value);
      }
      html += "</dd>";
    }
    html += "</dl>";
  }
  if (state.variables) {
    html += "<h3>変数 <span class=\"raw\" id=\"variable-count\">" + std::to_string(state.variables->size()) +
            "</span></h3><input type=\"search\" id=\"variable-filter\" class=\"variable-filter\" "
            "placeholder=\"変数名で絞り込み\" autocomplete=\"off\">";
    html += "<table id=\"variables\" class=\"variables\"><thead><tr><th>No</th><th>名前</th><th>値</th><th>レジスタ</th>"
            "</tr></thead><tbody>";
    for (const GameVariable& variable : *state.variables) {
      html += "<tr><td class=\"index\">" + std::to_string(variable.index) + "</td><td class=\"name\">" +
              HtmlEscape(variable.name) + "</td><td class=\"value\">" + std::to_string(variable.value) +
              "</td><td class=\"register\">" +
              (variable.register_number ? std::to_string(*variable.register_number) : std::string()) + "</td></tr>";
    }
    html += "</tbody></table>";
  } else if (state.variables_unreadable) {
    html += "<h3>変数</h3><p class=\"error\">variables.csv を読み取れません。</p>";
  }
  if (state.log) {
    html += "<h3>実行ログ</h3>";
    html += state.log->empty() ? "<p class=\"empty\">ログはありません。</p>"
                               : "<pre class=\"log\" id=\"execution-log\" tabindex=\"0\">" + HtmlEscape(*state.log) + "</pre>";
  }
  html += "</section>";
  return html;
}

std::string RenderTriageForms(const std::string& name, const std::string& form_token, const std::string& assignee,
                              const std::string& user_name) {
  const std::string action = "/reports/" + HtmlEscape(name);
  std::string html = "<section class=\"triage\"><form class=\"assignee\" method=\"post\" action=\"" + action +
                     "/assignee\">" + CsrfField(form_token) +
                     "<label>担当 <input name=\"assignee\" id=\"assignee-input\" value=\"" + HtmlEscape(assignee) +
                     "\" placeholder=\"名前\"></label><button name=\"action\" value=\"set\">設定</button>"
                     "<button name=\"action\" value=\"clear\">解除</button>";
  if (!user_name.empty()) html += "<button name=\"action\" value=\"me\">自分が担当</button>";
  html += "</form>";
  // Multipart: a comment may be long, and cpp-httplib takes URL-encoded forms
  // of 8 KiB at most.
  html += "<form class=\"comment\" method=\"post\" enctype=\"multipart/form-data\" action=\"" + action +
          "/comments\">" + CsrfField(form_token);
  if (user_name.empty()) {
    html += "<label>名前 <input name=\"by\" required placeholder=\"コメントに付く名前 (このブラウザで覚えます)\"></label>";
  } else {
    html += "<span class=\"meta\">" + HtmlEscape(user_name) + " としてコメント</span>";
  }
  html += "<textarea name=\"text\" id=\"comment-text\" required placeholder=\"コメント\"></textarea>"
          "<button>コメントする</button></form></section>";
  return html;
}

std::string RenderComments(const std::vector<ReportNote>& notes) {
  std::string html = "<section class=\"comments\"><h2>コメント</h2>";
  bool any = false;
  for (const ReportNote& note : notes) {
    if (note.kind != kNoteComment) continue;
    any = true;
    html += "<article class=\"comment\"><div class=\"meta\"><span class=\"by\">" + HtmlEscape(note.by) + "</span> " +
            TimeElement(note.at_ms) + " <span class=\"peer\">" + HtmlEscape(note.peer) +
            "</span></div><div class=\"comment-text\">" + HtmlEscape(note.text) + "</div></article>";
  }
  if (!any) html += "<p class=\"empty\">コメントはまだありません。</p>";
  return html + "</section>";
}

std::string RenderHistory(const ReportDetails& details) {
  std::string html = "<section class=\"history\"><h2>履歴</h2>";
  const std::vector<HistoryEntry> entries = MergedHistory(details);
  if (entries.empty()) return html + "<p class=\"empty\">まだ変更されていません。</p></section>";
  html += "<table><thead><tr><th>日時</th><th>変更</th><th>変更元</th><th>送信元</th><th>変更者</th></tr></thead><tbody>";
  for (const HistoryEntry& entry : entries) {
    std::string change;
    if (entry.kind == kHistoryState) {
      change = StateBadge(*entry.from_state) + " → " + StateBadge(*entry.to_state);
    } else if (entry.kind == kNoteAssignee) {
      change = "担当: " + PersonOrNobody(entry.from) + " → " + PersonOrNobody(entry.to);
    } else {
      change = "コメント";
    }
    html += "<tr data-kind=\"" + HtmlEscape(entry.kind) + "\"><td>" + TimeElement(entry.time_ms) + "</td><td>" + change +
            "</td><td class=\"source\">" + SourceText(entry.source) + "</td><td>" + HtmlEscape(entry.peer) +
            "</td><td class=\"by\">" + HtmlEscape(entry.by) + "</td></tr>";
  }
  return html + "</tbody></table></section>";
}

std::string RenderNameForm(const std::string& form_token, const std::string& user_name, std::string_view back) {
  return "<form class=\"name\" method=\"post\" action=\"/name\">" + CsrfField(form_token) +
         "<input type=\"hidden\" name=\"next\" value=\"" + HtmlEscape(back) +
         "\"><input name=\"name\" id=\"user-name\" value=\"" + HtmlEscape(user_name) +
         "\" placeholder=\"あなたの名前\" size=\"10\"><button>名前を保存</button></form>";
}

}  // namespace vnscope::server
