// Where a runner line's time goes: records Chromium's own trace of a
// `tolvane-fill --run` while it runs and sums the renderer main thread's work
// by kind. Maintainer tool, not part of the product:
//
//   node --experimental-websocket bench/fillscript/trace_lines.mjs \
//        build/bin/tolvane-fill SCRIPT URL [frame interval note]
//
// The program is started with the engine's remote debugging on a free
// loopback port (only for this measurement); after 2 s the trace records
// 1.5 s of the run.
import { spawn } from "node:child_process";
import { createServer } from "node:net";

const [program, script, url] = process.argv.slice(2);
const port = await new Promise((resolve) => {
  const s = createServer().listen(0, "127.0.0.1", () => { const p = s.address().port; s.close(() => resolve(p)); });
});
const child = spawn(program, ["--run", script, url], {
  env: { ...process.env, QTWEBENGINE_REMOTE_DEBUGGING: `127.0.0.1:${port}` },
  stdio: ["ignore", "ignore", "ignore"],
});
await new Promise((r) => setTimeout(r, 2000));
const version = await (await fetch(`http://127.0.0.1:${port}/json/version`)).json();
const ws = new WebSocket(version.webSocketDebuggerUrl);
const pending = new Map();
const events = [];
let id = 0, finished;
const complete = new Promise((r) => (finished = r));
ws.onmessage = (m) => {
  const d = JSON.parse(m.data);
  if (d.id && pending.has(d.id)) { pending.get(d.id)(d); pending.delete(d.id); }
  else if (d.method === "Tracing.dataCollected") events.push(...d.params.value);
  else if (d.method === "Tracing.tracingComplete") finished();
};
const send = (method, params = {}) => new Promise((r) => { const i = ++id; pending.set(i, r); ws.send(JSON.stringify({ id: i, method, params })); });
await new Promise((r) => (ws.onopen = r));
await send("Tracing.start", { categories: "toplevel,blink,cc,v8,devtools.timeline", transferMode: "ReportEvents" });
await new Promise((r) => setTimeout(r, 1500));
await send("Tracing.end");
await complete;
child.kill("SIGTERM");

const names = new Map();
for (const e of events)
  if (e.ph === "M" && e.name === "thread_name") names.set(`${e.pid}/${e.tid}`, e.args.name);
const main = events.filter((e) => e.ph === "X" && names.get(`${e.pid}/${e.tid}`) === "CrRendererMain");
const start = Math.min(...main.map((e) => e.ts)), end = Math.max(...main.map((e) => e.ts + (e.dur || 0)));
const sum = (name) => main.filter((e) => e.name === name).reduce((t, e) => t + (e.dur || 0), 0) / 1000;
const count = (name) => main.filter((e) => e.name === name).length;
const lines = count("EvaluateScript");
const span = (end - start) / 1000;
const rows = [
  ["lines run (scripts evaluated)", lines, sum("EvaluateScript")],
  ["  of which compiling", count("v8.compile"), sum("v8.compile")],
  ["frames made (BeginMainFrame)", count("ThreadProxy::BeginMainFrame"), sum("ThreadProxy::BeginMainFrame")],
  ["  layout", count("Layout"), sum("Layout")],
  ["  pre-paint and paint", count("Paint"), sum("PrePaint") + sum("Paint")],
  ["  commit to the compositor", count("ProxyMain::BeginMainFrame::commit"), sum("ProxyMain::BeginMainFrame::commit")],
];
console.log(`renderer main thread over ${span.toFixed(0)} ms: ${lines} lines, ${(span / Math.max(1, lines)).toFixed(2)} ms a line`);
for (const [what, n, ms] of rows)
  console.log(`${what.padEnd(36)} ${String(n).padStart(5)}  ${ms.toFixed(1).padStart(8)} ms  ${(ms / Math.max(1, lines)).toFixed(2)} ms a line`);
const busy = main.filter((e) => e.name === "ThreadControllerImpl::RunTask").reduce((t, e) => t + (e.dur || 0), 0) / 1000;
console.log(`${"idle (waiting for the next line)".padEnd(36)}        ${(span - busy).toFixed(1).padStart(8)} ms  ${((span - busy) / Math.max(1, lines)).toFixed(2)} ms a line`);
process.exit(0);
