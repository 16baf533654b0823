// The dashboard's style sheet and script, served from the binary.
#include <cstdio>

#include "report/protocol/report_states.h"
#include "server/dashboard/pages.h"

namespace vnscope::server {

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
form.name, form.filters, form.assignee { display: flex; gap: 4px; align-items: center; margin: 0; }
form.filters { margin: 8px 0; flex-wrap: wrap; }
nav.filters { display: flex; gap: 10px; align-items: center; margin: 8px 0; flex-wrap: wrap; }
nav.filters a.current { font-weight: bold; color: #222; text-decoration: none; }
p.status-line { margin: 0 0 8px; padding: 6px 10px; background: #fff3cd; border: 1px solid #e0c060; }
section.game-state pre.log { max-height: 24em; overflow: auto; white-space: pre; }
section.game-state input.variable-filter { width: 260px; padding: 4px 6px; }
table.variables td.value, table.variables td.register, table.variables td.index { text-align: right; font-variant-numeric: tabular-nums; }
section.comments article.comment { border-left: 3px solid #2d3e50; padding: 2px 10px; margin: 8px 0; }
section.comments .comment-text { white-space: pre-wrap; overflow-wrap: anywhere; margin: 4px 0; }
section.comments .meta { color: #555; font-size: 12px; }
form.comment { display: flex; flex-direction: column; gap: 6px; max-width: 720px; }
form.comment textarea { min-height: 5em; padding: 6px; font: inherit; }
form.comment button { align-self: flex-start; }
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
  // The variable table's filter: rows whose name holds the typed text, as
  // it is typed; ASCII letters without regard to case.
  const filter = document.getElementById('variable-filter');
  const table = document.getElementById('variables');
  if (filter && table) {
    const count = document.getElementById('variable-count');
    const apply = function () {
      const wanted = filter.value.toLowerCase();
      let shown = 0;
      for (const row of table.tBodies[0].rows) {
        const hit = row.cells[1].textContent.toLowerCase().includes(wanted);
        row.hidden = !hit;
        if (hit) ++shown;
      }
      if (count) count.textContent = shown + ' / ' + table.tBodies[0].rows.length;
    };
    filter.addEventListener('input', apply);
    apply();
  }
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
