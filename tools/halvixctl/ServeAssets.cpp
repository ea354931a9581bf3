// The page of `halvixctl serve`, kept here as text so that the binary carries it.
#include "tools/halvixctl/ServeAssets.h"

namespace halvixctl::serve {

namespace {

const char* const kPage = R"asset(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Halvix bricks</title>
<link rel="stylesheet" href="/serve.css">
</head>
<body>
<header class="top">
  <h1>Halvix bricks</h1>
  <form id="filters" class="filters">
    <label>Kind
      <select name="kind">
        <option value="">all</option><option>ASI</option><option>IP</option><option>RF</option>
        <option>SDI</option><option>4K</option>
      </select>
    </label>
    <label>Family
      <select name="family">
        <option value="">all</option><option>VDA</option><option>VDU</option><option>VDE</option><option>NIC</option>
      </select>
    </label>
    <label>Ports
      <select name="free">
        <option value="">free and busy</option><option value="free">free only</option><option value="busy">busy only</option>
      </select>
    </label>
  </form>
  <p id="summary" class="summary">loading…</p>
</header>
<main id="bricks"></main>
<script src="/serve.js"></script>
</body>
</html>
)asset";

const char* const kStyle = R"asset(body { font: 14px/1.4 system-ui, sans-serif; margin: 0; color: #1d2330; background: #f3f5f8; }
header.top { background: #1d2b45; color: #fff; padding: 12px 20px; display: flex; flex-wrap: wrap; align-items: center; gap: 12px 28px; }
header.top h1 { font-size: 20px; margin: 0; }
.filters { display: flex; gap: 16px; }
.filters select { margin-left: 4px; }
.summary { margin: 0; opacity: 0.85; }
.summary.error { color: #ffb4a8; opacity: 1; }
main { padding: 16px 20px; display: grid; gap: 16px; }
section.brick { background: #fff; border: 1px solid #d5dae3; border-radius: 6px; padding: 12px 16px; }
section.brick > header { display: flex; align-items: baseline; gap: 12px; }
section.brick h2 { font-size: 16px; margin: 0; }
.state { font-size: 12px; padding: 1px 8px; border-radius: 10px; background: #d9e7d3; }
.state-scanning, .state-quitting { background: #ffe2a8; }
.state-connecting { background: #dde3ee; }
dl.facts { display: grid; grid-template-columns: max-content 1fr max-content 1fr; gap: 2px 12px; margin: 8px 0; }
dl.facts dt { color: #5c6678; }
dl.facts dd { margin: 0; overflow-wrap: anywhere; }
.scan { display: flex; align-items: center; gap: 12px; margin: 8px 0; }
.scan progress { width: 120px; }
.scan-status.error, .facts .error { color: #b3261e; }
table.inventory { border-collapse: collapse; width: 100%; font-size: 13px; }
table.inventory th, table.inventory td { text-align: left; padding: 3px 8px; border-bottom: 1px solid #e7eaf0; }
table.inventory thead th { background: #eef1f6; }
tr.device th { background: #f7f8fb; font-weight: 600; padding-top: 8px; }
td.free-yes { color: #1b6e20; }
td.free-no { color: #b3261e; font-weight: 600; }
.shown { color: #5c6678; margin: 4px 0 0; }
)asset";

const char* const kScript = R"asset(// The page of halvixctl serve: polls the API, shows every brick with its inventory.
"use strict";

const filterNames = ["kind", "family", "free"];
const filters = {};
const inventories = new Map(); // brick id -> {lastScan, report}
const scansStartedHere = new Set(); // brick ids with a "Scan now" request in flight
let bricks = [];
let refreshing = false;

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes || {})) {
    if (key === "class") node.className = value;
    else if (key === "text") node.textContent = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

async function getJson(url, options) {
  const response = await fetch(url, Object.assign({cache: "no-store"}, options));
  const body = await response.json().catch(() => null);
  if (!response.ok) throw new Error(body && body.error ? body.error : "HTTP " + response.status);
  return body;
}

function when(iso) {
  return iso ? new Date(iso).toLocaleString() : "never";
}

function direction(entry) {
  if (entry.input && entry.output) return "in/out";
  return entry.input ? "in" : entry.output ? "out" : "-";
}

function speed(value) {
  let bps = typeof value === "string" ? Number(value) : value;
  if (!bps) return "";
  const units = ["bit/s", "kbit/s", "Mbit/s", "Gbit/s", "Tbit/s"];
  let unit = 0;
  while (bps >= 1000 && bps % 1000 === 0 && unit + 1 < units.length) { bps /= 1000; unit++; }
  return bps + " " + units[unit];
}

function details(entry) {
  const parts = [];
  if (entry.type === "IP") {
    parts.push("ip " + entry.ipAddress, "mac " + entry.macAddress);
    const tx = speed(entry.transmissionSpeed), rx = speed(entry.receiveSpeed);
    if (tx || rx) parts.push("tx " + (tx || "-") + " rx " + (rx || "-"));
    if (entry.redundantTxCapability) parts.push("redundant tx");
  }
  if (Array.isArray(entry.modulations))
    parts.push(entry.modulations.length ? entry.modulations.join(",") : "no modulations");
  if (entry.apskCapability) parts.push("apsk");
  if (entry.matrixCapability) parts.push("matrix");
  if (entry.numPorts !== undefined) parts.push(entry.numPorts + " ports");
  return parts.join("; ");
}

function matches(entry) {
  if (filters.kind && entry.type !== filters.kind) return false;
  if (filters.family && entry.category !== filters.family) return false;
  if (filters.free === "free" && entry.isAvailable !== true) return false;
  if (filters.free === "busy" && entry.isAvailable !== false) return false;
  return true;
}

/// The report as a table grouped by device (family, type number and serial), filtered.
function inventoryTable(report) {
  const groups = new Map();
  for (const entry of report) {
    if (!entry || typeof entry !== "object") continue;
    const key = entry.category + "-" + entry.typeNumber + " " + entry.serial;
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).push(entry);
  }
  const body = el("tbody");
  let shown = 0;
  for (const [key, entries] of groups) {
    const kept = entries.filter(matches);
    if (!kept.length) continue;
    const free = entries.filter(e => e.isAvailable === true).length;
    const first = entries[0];
    body.append(el("tr", {class: "device"},
      el("th", {colspan: "6", text: (first.category || "?") + "-" + first.typeNumber + "  ·  serial " + first.serial +
        "  ·  " + entries.length + (entries.length === 1 ? " entry, " : " entries, ") + free + " free"})));
    for (const entry of kept) {
      shown++;
      const isFree = entry.isAvailable === true ? "yes" : entry.isAvailable === false ? "no" : "?";
      body.append(el("tr", {class: "entry", "data-kind": String(entry.type), "data-free": isFree},
        el("td", {text: String(entry.deviceName)}), el("td", {text: String(entry.type)}),
        el("td", {text: direction(entry)}), el("td", {class: "free-" + isFree, text: isFree}),
        el("td", {text: String(entry.serial)}), el("td", {text: details(entry)})));
    }
  }
  const table = el("table", {class: "inventory"},
    el("thead", {}, el("tr", {}, ...["Device", "Kind", "In/out", "Free", "Serial", "Details"].map(t => el("th", {text: t})))),
    body);
  const note = el("p", {class: "shown", text: shown + " of " + report.length + " entries shown"});
  return [table, note];
}

function brickSection(brick) {
  let section = document.getElementById("brick-" + brick.id);
  if (section) return section;
  section = el("section", {class: "brick", id: "brick-" + brick.id, "data-brick-id": String(brick.id)},
    el("header", {}, el("h2"), el("span", {class: "state"})),
    el("dl", {class: "facts"}),
    el("div", {class: "scan"},
      el("label", {}, el("input", {type: "checkbox", class: "nic"}), " network adapters"),
      el("label", {}, el("input", {type: "checkbox", class: "dte"}), " Ethernet devices"),
      el("button", {type: "button", class: "scan-now", text: "Scan now"}),
      el("progress", {hidden: ""}),
      el("span", {class: "scan-status"})),
    el("div", {class: "inventory-box"}));
  section.querySelector(".scan-now").addEventListener("click", () => scanNow(brick.id, section));
  return section;
}

async function scanNow(id, section) {
  const status = section.querySelector(".scan-status");
  scansStartedHere.add(id);
  status.className = "scan-status";
  status.textContent = "";
  render();
  try {
    await getJson("/api/bricks/" + id + "/scan", {
      method: "POST", headers: {"Content-Type": "application/json"},
      body: JSON.stringify({nic: section.querySelector(".nic").checked, dte: section.querySelector(".dte").checked})});
  } catch (error) {
    status.className = "scan-status error";
    status.textContent = error.message;
  }
  scansStartedHere.delete(id);
  refresh();
}

function fact(list, name, value, isError) {
  list.append(el("dt", {text: name}), el("dd", {class: isError ? "error" : "", text: value}));
}

function renderBrick(brick) {
  const section = brickSection(brick);
  section.dataset.state = brick.state;
  const scanning = brick.state === "scanning" || scansStartedHere.has(brick.id);
  section.querySelector("h2").textContent = (brick.appId ? brick.appId : "brick " + brick.id) +
    (brick.pid !== null ? "  ·  pid " + brick.pid : "") + "  ·  " + brick.address;
  const state = section.querySelector(".state");
  state.className = "state state-" + brick.state;
  state.textContent = brick.state;
  const facts = section.querySelector(".facts");
  facts.replaceChildren();
  fact(facts, "application", brick.appType || "(not announced yet)");
  fact(facts, "connected since", when(brick.connectedSince));
  fact(facts, "executable", brick.exePath || "-");
  fact(facts, "last scan", brick.lastScan ? when(brick.lastScan) + " (" + brick.lastScanMs + " ms, " +
    brick.lastScanSource + ")" : "never");
  if (brick.nextScheduledScan) fact(facts, "next scan", when(brick.nextScheduledScan));
  if (brick.lastScanError) fact(facts, "last error", brick.lastScanError, true);
  const button = section.querySelector(".scan-now");
  button.disabled = scanning || brick.state === "quitting";
  section.querySelector("progress").hidden = !scanning;
  const status = section.querySelector(".scan-status");
  if (scanning) {
    const started = brick.scanStartedAt ? Date.parse(brick.scanStartedAt) : Date.now();
    status.className = "scan-status";
    status.textContent = "scanning… " + Math.max(0, Math.round((Date.now() - started) / 1000)) + " s";
  } else if (!status.classList.contains("error")) {
    status.textContent = "";
  }
  const box = section.querySelector(".inventory-box");
  const known = inventories.get(brick.id);
  const key = (known ? known.lastScan : "none") + "|" + filterNames.map(n => filters[n] || "").join("|");
  if (box.dataset.key !== key) {
    box.dataset.key = key;
    box.replaceChildren(...(known ? inventoryTable(known.report) : [el("p", {class: "shown", text: "not scanned yet"})]));
  }
  return section;
}

function render() {
  const main = document.getElementById("bricks");
  const sections = bricks.map(renderBrick);
  // Moved only when the set or order changed, so a control in use keeps its focus.
  const same = sections.length === main.children.length && sections.every((s, i) => main.children[i] === s);
  if (!same) main.replaceChildren(...sections);
  const summary = document.getElementById("summary");
  summary.dataset.bricks = String(bricks.length);
  if (!summary.classList.contains("error"))
    summary.textContent = bricks.length + (bricks.length === 1 ? " brick" : " bricks") + " connected  ·  updated " +
      new Date().toLocaleTimeString();
}

async function refresh() {
  if (refreshing) return;
  refreshing = true;
  const summary = document.getElementById("summary");
  try {
    bricks = await getJson("/api/bricks");
    for (const brick of bricks) {
      const known = inventories.get(brick.id);
      if (brick.lastScan && (!known || known.lastScan !== brick.lastScan)) {
        const report = await getJson("/api/bricks/" + brick.id + "/inventory");
        inventories.set(brick.id, {lastScan: brick.lastScan, report: Array.isArray(report) ? report : []});
      }
    }
    for (const id of [...inventories.keys()])
      if (!bricks.some(b => b.id === id)) inventories.delete(id);
    summary.classList.remove("error");
  } catch (error) {
    summary.classList.add("error");
    summary.textContent = "cannot reach halvixctl serve: " + error.message;
  }
  refreshing = false;
  render();
  document.body.dataset.loaded = "true";
}

function readFilters() {
  const query = new URLSearchParams(location.search);
  const form = document.getElementById("filters");
  for (const name of filterNames) {
    form.elements[name].value = query.get(name) || "";
    filters[name] = form.elements[name].value; // an unknown value falls back to "all"
  }
  form.addEventListener("change", () => {
    const kept = new URLSearchParams();
    for (const name of filterNames) {
      filters[name] = form.elements[name].value;
      if (filters[name]) kept.set(name, filters[name]);
    }
    history.replaceState(null, "", kept.toString() ? "?" + kept : location.pathname);
    render();
  });
}

readFilters();
refresh();
setInterval(refresh, 2000);
)asset";

} // namespace

const std::vector<Asset>& assets()
{
    static const std::vector<Asset> all = {
        {"/", "text/html; charset=utf-8", kPage},
        {"/index.html", "text/html; charset=utf-8", kPage},
        {"/serve.css", "text/css; charset=utf-8", kStyle},
        {"/serve.js", "text/javascript; charset=utf-8", kScript},
    };
    return all;
}

} // namespace halvixctl::serve
