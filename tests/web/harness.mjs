// Browser-test harness: a demo appliance root reseeded for every test, the
// demo server (lighttpd and the relocated CGI) on a free loopback port, and
// Debian's chromium driven by playwright-core with a fresh profile.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { freePort } from '../support/ports.mjs';

export const SOURCE = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run these tests through ctest (make test)`);
  return value;
}

// Set by tests/CMakeLists.txt: the CGI built with its appliance root at
// ROOT, and a folder for the server's state and the test artifacts.
export const CGI = required('WEBCFG_WEB_CGI');
export const ROOT = required('WEBCFG_WEB_ROOT');
export const OUT = required('WEBCFG_WEB_OUT');
export const STATE = path.join(OUT, 'server');
export const ARTIFACTS = path.join(OUT, 'artifacts');
const CHROMIUM = process.env.WEBCFG_CHROMIUM || '/usr/bin/chromium';

export const BROWSER_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

export function seed() {
  const r = spawnSync(path.join(SOURCE, 'scripts/demo-seed.sh'), [ROOT], { encoding: 'utf8' });
  if (r.status !== 0) throw new Error(`demo-seed.sh failed: ${r.stderr}`);
  fs.mkdirSync(STATE, { recursive: true });
  fs.writeFileSync(path.join(STATE, 'calls.log'), '');
}

// An appliance file of the demo root, as bytes or (with an encoding) text.
export function readRoot(appliancePath, encoding) {
  return fs.readFileSync(path.join(ROOT, appliancePath), encoding);
}

// The demo device starts as a device's start-up starts it: webcfg-boot,
// built beside the CGI, records what it starts with (the host's uptime is
// its clock, the demo server's stubs are first on its PATH).
export function startDevice() {
  const uptime = path.join(ROOT, 'proc/uptime');
  fs.rmSync(uptime, { force: true });
  fs.symlinkSync('/proc/uptime', uptime);
  const boot = path.join(path.dirname(CGI), path.basename(CGI, '.cgi').replace(/^webcfg/, 'webcfg-boot'));
  const r = spawnSync(boot, [], { encoding: 'utf8', env: { ...process.env, PATH: `${STATE}/bin:/usr/bin:/bin` } });
  if (r.status !== 0) throw new Error(`webcfg-boot failed: ${r.stderr}`);
}

// The sync and reboot calls the CGI made, one "name args" entry each.
export function calls() {
  const text = fs.readFileSync(path.join(STATE, 'calls.log'), 'utf8');
  return text.split('\n').filter(Boolean);
}

export async function waitForHttp(url, child, timeoutMs = 10000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    if (child.exitCode !== null) throw new Error(`the server exited with ${child.exitCode}`);
    try {
      const res = await fetch(url);
      await res.arrayBuffer();
      return res;
    } catch {
      if (Date.now() > deadline) throw new Error(`no answer from ${url}`);
      await new Promise((r) => setTimeout(r, 50));
    }
  }
}

export function stopProcess(child) {
  return new Promise((resolve) => {
    if (!child || child.exitCode !== null || child.signalCode !== null) return resolve();
    const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
    child.once('exit', () => { clearTimeout(timer); resolve(); });
    child.kill('SIGTERM');
  });
}

// The demo server of `make run`, on its own port, over ROOT.
export async function startDemoServer() {
  const port = await freePort();
  const log = fs.openSync(path.join(OUT, 'demo-server.log'), 'w');
  const child = spawn(
    path.join(SOURCE, 'scripts/demo-serve.sh'),
    [ROOT, CGI, path.join(SOURCE, 'web'), STATE, String(port)],
    { env: { ...process.env, WEBCFG_STRICT_PORT: '1' }, stdio: ['ignore', log, log] });
  const base = `http://127.0.0.1:${port}/`;
  await waitForHttp(base, child);
  return { base, child, stop: () => stopProcess(child) };
}

// What the pages' content policy blocked in any browser of the harness, as
// the page reported it and as chromium wrote it to the console (the only
// report a page without scripts gives). Read and emptied by policyViolations.
const violations = [];

export function policyViolations() {
  return violations.splice(0);
}

export async function launchBrowser(options = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'webcfg-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: BROWSER_ARGS,
    viewport: { width: 1280, height: 900 },
    ...options,
  });
  await context.exposeBinding('webcfgPolicyViolation', (source, text) => { violations.push(text); });
  await context.addInitScript(() => {
    document.addEventListener('securitypolicyviolation', (e) => window.webcfgPolicyViolation(
      `${e.effectiveDirective} blocked ${e.blockedURI || '(inline)'} at ${e.sourceFile || e.documentURI}:${e.lineNumber}`));
  });
  context.on('console', (m) => { if (/Content Security Policy/i.test(m.text())) violations.push(`console: ${m.text()}`); });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}
