#include "cli/line_page.h"

namespace halcyon::cli {

const char *LinePageHtml()
{
    return R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>halcyon line</title>
<style>
body { font-family: sans-serif; margin: 1em; }
table { border-collapse: collapse; }
th, td { padding: 0.2em 0.6em; text-align: left; border-bottom: 1px solid #ddd; }
tr.failed td { background: #fdd; }
tr.done td { color: #060; }
tr.stopped td { color: #888; }
#error { color: #b00; }
</style>
</head>
<body>
<h1>halcyon line</h1>
<p id="counts">waiting for the first answer</p>
<p id="error"></p>
<table>
<thead><tr><th>machine</th><th>run</th><th>state</th><th>stage</th><th>progress</th><th>updated</th><th>reason</th></tr></thead>
<tbody id="machines"></tbody>
</table>
<script src="/line.js"></script>
</body>
</html>
)";
}

const char *LinePageScript()
{
    return R"(// Text only: a record's values are never taken for markup.
function ago(now, then) {
  if (!then) return "-";
  var s = Math.max(0, now - then);
  return s < 120 ? s + "s ago" : s < 7200 ? Math.floor(s / 60) + "m ago" :
         s < 172800 ? Math.floor(s / 3600) + "h ago" : Math.floor(s / 86400) + "d ago";
}
function cell(row, text) {
  var td = document.createElement("td");
  td.textContent = text;
  row.appendChild(td);
}
function show(line) {
  document.getElementById("counts").textContent = line.counts;
  var body = document.getElementById("machines");
  while (body.firstChild) body.removeChild(body.firstChild);
  line.machines.forEach(function (m) {
    var row = document.createElement("tr");
    row.className = "machine " + m.state;
    cell(row, m.name);
    cell(row, m.command);
    cell(row, m.state);
    cell(row, m.stage);
    cell(row, (m.state === "running" && m.percent >= 0 ? m.percent + "% " : "") + m.progress);
    cell(row, ago(line.now, m.updated));
    cell(row, m.state === "failed" ? "code " + m.code + ": " + m.reason : "");
    body.appendChild(row);
  });
}
function poll() {
  fetch("/line.json", { cache: "no-store" })
    .then(function (r) { if (!r.ok) throw new Error("HTTP " + r.status); return r.json(); })
    .then(function (line) { document.getElementById("error").textContent = ""; show(line); })
    .catch(function (e) { document.getElementById("error").textContent = "no answer: " + e.message; })
    .finally(function () { setTimeout(poll, 2000); });
}
poll();
)";
}

} // namespace halcyon::cli
