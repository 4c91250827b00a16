// Server-level checks: the programs served by a real web server and driven
// by real clients (curl, and Chromium for one page load). WEBCFG_SERVER
// picks the server:
//   lighttpd  deploy/lighttpd.conf with its digest login, its var. lines
//             (and, without them, bind and port) pointed at a scratch
//             directory, and the reply streamed;
//   busybox   busybox httpd with deploy/busybox-httpd.conf, its Basic
//             login's hash replaced by one for the test password.
// Every reply is compared with the same request run directly, and the
// appliance files with the ones the direct run left. sync is a stub that
// takes about as long as a flash flush, so that a codec form lasts long
// enough for a client to leave in the middle of it.
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { after, before, test } from 'node:test';
import { chromium } from 'playwright-core';
import { freePort } from '../support/ports.mjs';

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run these checks through ctest (make test)`);
  return value;
}

const SOURCE = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const SERVER = required('WEBCFG_SERVER');
// Programs built with their root in their working directory: the servers
// run a program in the directory of its link, which sits in the root.
const CGI = fs.realpathSync(required('WEBCFG_CGI'));
const STATE_CGI = process.env.WEBCFG_STATE_CGI;
const HAS_STATE = Boolean(STATE_CGI && fs.existsSync(STATE_CGI));
const OUT = path.join(required('WEBCFG_SERVERS_OUT'), SERVER);
const CHROMIUM = process.env.WEBCFG_CHROMIUM || '/usr/bin/chromium';

const USER = 'admin';
const PASSWORD = 'server-check-secret';
// A flash flush on the appliance takes about this long.
const SYNC_SECONDS = '0.02';
// Moments, spread over one codec form, at which the client is killed.
const LEAVING_MOMENTS = 20;
const QUIET_MS = 200;
const WAIT_MS = 30000;

const BIN = path.join(OUT, 'bin');
const CALLS = path.join(OUT, 'calls.log');
// busybox httpd runs only what lies in cgi-bin/ under its home, and runs it
// there: that directory is the appliance root.
const ROOT = SERVER === 'busybox' ? path.join(OUT, 'home', 'cgi-bin') : path.join(OUT, 'root');
const PAGES = SERVER === 'busybox' ? path.join(OUT, 'home') : path.join(OUT, 'pages');
const PROGRAM_LINKS = ['webcfg.cgi', 'state.cgi'];

const URLENCODED = 'application/x-www-form-urlencoded';
const CODEC_FORM = 'codec_submit=Apply&ctrlts=female&selvs=male&ctrlau=female&ctrlax=female' +
  '&ctrlaz=amale&ifwifi=female&ctrldz=female&ctrlez=female&ctrlbz=amale&ctrlcz=female' +
  '&audioen=male&audioin=male';
const ADDRESS_FORM = 'ip=192.168.1.77&name1_submit=Set';

function multipart(fields, boundary) {
  let out = '';
  for (const [name, value] of fields) {
    out += `--${boundary}\r\nContent-Disposition: form-data; name="${name}"\r\n\r\n${value}\r\n`;
  }
  return `${out}--${boundary}--\r\n`;
}

// ---- The appliance root and the stub programs ----

function seed() {
  const r = spawnSync(path.join(SOURCE, 'scripts/demo-seed.sh'), [ROOT], { encoding: 'utf8' });
  if (r.status !== 0) throw new Error(`demo-seed.sh failed: ${r.stderr}`);
  fs.symlinkSync(CGI, path.join(ROOT, 'webcfg.cgi'));
  if (HAS_STATE) fs.symlinkSync(fs.realpathSync(STATE_CGI), path.join(ROOT, 'state.cgi'));
  fs.writeFileSync(CALLS, '');
}

function writeStubs() {
  fs.mkdirSync(BIN, { recursive: true });
  fs.writeFileSync(path.join(BIN, 'sync'),
    `#!/bin/sh\nsleep ${SYNC_SECONDS}\necho "sync\${*:+ $*}" >> '${CALLS}'\n`, { mode: 0o755 });
  fs.writeFileSync(path.join(BIN, 'reboot'),
    `#!/bin/sh\necho "reboot\${*:+ $*}" >> '${CALLS}'\n`, { mode: 0o755 });
}

// Every file of the root by its path; the program links and the seed's boot
// time (each seed has its own) left out.
function snapshot() {
  const files = {};
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const full = path.join(dir, entry.name);
      const rel = path.relative(ROOT, full);
      if (entry.isDirectory()) walk(full);
      else if (!PROGRAM_LINKS.includes(rel) && rel !== path.join('proc', 'stat')) {
        files[rel] = createHash('sha256').update(fs.readFileSync(full)).digest('hex');
      }
    }
  };
  walk(ROOT);
  return files;
}

function differingFiles(a, b) {
  return [...new Set([...Object.keys(a), ...Object.keys(b)])].filter((f) => a[f] !== b[f]).sort();
}

// ---- The servers ----

async function waitForPort(port, child) {
  const deadline = Date.now() + 10000;
  for (;;) {
    if (child.exitCode !== null) throw new Error(`${SERVER} exited with ${child.exitCode}`);
    const open = await new Promise((resolve) => {
      const s = net.connect(port, '127.0.0.1', () => { s.destroy(); resolve(true); });
      s.once('error', () => resolve(false));
    });
    if (open) return;
    if (Date.now() > deadline) throw new Error(`${SERVER} does not listen on ${port}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// deploy/lighttpd.conf with every var. line pointed into OUT. A var. line
// this check does not know could name a path on the host: it fails.
async function lighttpdConfig() {
  const etc = path.join(OUT, 'etc');
  fs.mkdirSync(etc, { recursive: true });
  const digest = createHash('md5').update(`${USER}:webcfg:${PASSWORD}`).digest('hex');
  fs.writeFileSync(path.join(etc, 'webcfg.htdigest'), `${USER}:webcfg:${digest}\n`);
  const certificateScript = path.join(SOURCE, 'deploy/make-certificate.sh');
  const port = await freePort();
  let httpPort = await freePort();
  while (httpPort === port) httpPort = await freePort();
  const quoted = (p) => `"${p}"`;
  const vars = {
    pages: quoted(PAGES),
    cgi: quoted(path.join(ROOT, 'webcfg.cgi')),
    state_cgi: quoted(path.join(ROOT, 'state.cgi')),
    userfile: quoted(path.join(etc, 'webcfg.htdigest')),
    rundir: quoted(OUT),
    cgi_path: quoted(`${BIN}:/usr/bin:/bin`),
    key: quoted(path.join(etc, 'key.pem')),
    certificate: quoted(path.join(etc, 'cert.pem')),
    make_certificate: quoted(certificateScript),
    guard: quoted(path.join(SOURCE, 'deploy/guard.lua')),
    boot_script: quoted(path.join(ROOT, 'mnt/autorun.sh')),
    bind: quoted('127.0.0.1'),
    http_port: String(httpPort),
    https_port: String(port),
  };
  const text = fs.readFileSync(path.join(SOURCE, 'deploy/lighttpd.conf'), 'utf8');
  const https = /^var\.https_port\s*=/m.test(text);
  const lines = text.split('\n').map((line) => {
    const v = /^var\.(\w+)\s*=/.exec(line);
    if (v) {
      if (!(v[1] in vars)) throw new Error(`deploy/lighttpd.conf: unknown var.${v[1]}`);
      return `var.${v[1]} = ${vars[v[1]]}`;
    }
    // The server's messages to server.log (its standard error), not to a
    // system log the test machine may not have.
    if (/^server\.errorlog-use-syslog\s*=/.test(line)) return 'server.errorlog-use-syslog = "disable"';
    if (!https && /^server\.bind\s*=/.test(line)) return 'server.bind = "127.0.0.1"';
    if (!https && /^server\.port\s*=/.test(line)) return `server.port = ${port}`;
    return line;
  });
  // Streaming the reply, lighttpd sends SIGTERM to the program every time
  // a client leaves (with its defaults only now and then): the harder case.
  lines.push('server.stream-response-body = 2');
  const conf = path.join(OUT, 'lighttpd.conf');
  fs.writeFileSync(conf, lines.join('\n'));
  const lighttpd = fs.existsSync('/usr/sbin/lighttpd') ? '/usr/sbin/lighttpd' : 'lighttpd';
  return {
    command: lighttpd, args: ['-D', '-f', conf], env: process.env, port,
    base: `${https ? 'https' : 'http'}://127.0.0.1:${port}/`,
    auth: ['--digest', '-u', `${USER}:${PASSWORD}`],
  };
}

// deploy/busybox-httpd.conf with the sample's hash replaced. busybox httpd
// passes its own environment to the programs: PATH names the stubs.
async function busyboxConfig() {
  const hash = spawnSync('busybox', ['httpd', '-m', PASSWORD], { encoding: 'utf8' }).stdout.trim();
  assert.match(hash, /^\$1\$/, 'busybox httpd -m gives an MD5 crypt hash');
  const sample = fs.readFileSync(path.join(SOURCE, 'deploy/busybox-httpd.conf'), 'utf8');
  assert.match(sample, /^\/:admin:\S+$/m, 'the sample protects everything with one login');
  const conf = path.join(OUT, 'httpd.conf');
  fs.writeFileSync(conf, sample.replace(/^\/:admin:\S+$/m, `/:${USER}:${hash}`));
  const port = await freePort();
  return {
    command: 'busybox',
    args: ['httpd', '-f', '-p', `127.0.0.1:${port}`, '-h', PAGES, '-c', conf, '-r', 'webcfg'],
    env: { PATH: `${BIN}:/usr/bin:/bin` }, port,
    base: `http://127.0.0.1:${port}/`,
    auth: ['--basic', '-u', `${USER}:${PASSWORD}`],
  };
}

let server;

before(async () => {
  fs.rmSync(OUT, { recursive: true, force: true });
  fs.mkdirSync(PAGES, { recursive: true });
  writeStubs();
  seed();
  for (const page of ['index.html', 'style.css', 'app.js']) {
    fs.copyFileSync(path.join(SOURCE, 'web', page), path.join(PAGES, page));
  }
  const config = SERVER === 'busybox' ? await busyboxConfig() : await lighttpdConfig();
  const log = fs.openSync(path.join(OUT, 'server.log'), 'w');
  const child = spawn(config.command, config.args, { env: config.env, stdio: ['ignore', log, log] });
  await waitForPort(config.port, child);
  server = { ...config, child };
});

after(async () => {
  const child = server?.child;
  if (!child || child.exitCode !== null || child.signalCode !== null) return;
  await new Promise((resolve) => {
    const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
    child.once('exit', () => { clearTimeout(timer); resolve(); });
    child.kill('SIGTERM');
  });
});

// ---- Clients ----

function collect(child, input) {
  return new Promise((resolve, reject) => {
    const out = [];
    const err = [];
    child.stdout.on('data', (d) => out.push(d));
    child.stderr.on('data', (d) => err.push(d));
    child.once('error', reject);
    child.once('close', (code, signal) => resolve({
      out: Buffer.concat(out), err: Buffer.concat(err).toString(), code, signal,
    }));
    // A program may answer without reading a body it refuses.
    child.stdin?.on('error', () => {});
    if (input !== undefined) child.stdin.end(input);
  });
}

// A request as a web server would hand it to the program, run directly.
async function runDirect({ program = 'webcfg.cgi', method = 'POST', query = '', type, body = '',
  length = String(Buffer.byteLength(body)) }) {
  const env = {
    PATH: `${BIN}:/usr/bin:/bin`, GATEWAY_INTERFACE: 'CGI/1.1', SERVER_PROTOCOL: 'HTTP/1.1',
    REQUEST_METHOD: method, QUERY_STRING: query,
  };
  if (type) env.CONTENT_TYPE = type;
  if (method === 'POST' && length !== null) env.CONTENT_LENGTH = length;
  const child = spawn(path.join(ROOT, program), [], { cwd: ROOT, env });
  const r = await collect(child, body);
  // Header lines up to the first empty line, then the body.
  const text = r.out.toString('latin1');
  const end = text.indexOf('\r\n\r\n');
  assert.ok(end >= 0, `the program printed a CGI header: ${JSON.stringify(text.slice(0, 200))}`);
  const headers = {};
  for (const line of text.slice(0, end).split('\r\n')) {
    const colon = line.indexOf(':');
    headers[line.slice(0, colon).toLowerCase()] = line.slice(colon + 1).trim();
  }
  return { status: Number((headers.status || '200').split(' ')[0]), headers, body: r.out.subarray(end + 4) };
}

let curlCount = 0;

// curl against the server; the status and headers of the last response.
function startCurl({ program = 'webcfg.cgi', query = '', type, body, extra = [] }) {
  const headerFile = path.join(OUT, `curl-headers-${curlCount++}`);
  const args = ['-s', '-S', '-k', '--max-time', '60', '-D', headerFile, ...server.auth, ...extra];
  if (type) args.push('-H', `Content-Type: ${type}`);
  // From a file: a digest login makes curl send the body a second time.
  const bodyFile = `${headerFile}.body`;
  if (body !== undefined) {
    fs.writeFileSync(bodyFile, body);
    args.push('--data-binary', `@${bodyFile}`);
  }
  args.push(`${server.base}cgi-bin/${program}${query ? `?${query}` : ''}`);
  const child = spawn('curl', args, { stdio: ['pipe', 'pipe', 'pipe'] });
  const done = collect(child, '').then((r) => {
    fs.rmSync(bodyFile, { force: true });
    let status = 0;
    const headers = {};
    if (fs.existsSync(headerFile)) {
      const blocks = fs.readFileSync(headerFile, 'latin1').split(/\r\n\r\n/).filter((b) => b.trim());
      const last = (blocks.at(-1) || '').split('\r\n');
      status = Number((last[0] || '').split(' ')[1] || 0);
      for (const line of last.slice(1)) {
        const colon = line.indexOf(':');
        if (colon > 0) headers[line.slice(0, colon).toLowerCase()] = line.slice(colon + 1).trim();
      }
      fs.rmSync(headerFile);
    }
    return { ...r, status, headers };
  });
  return { child, done };
}

const curl = (request) => startCurl(request).done;

// Waits until no copy of the program runs in this root (other suites run it
// elsewhere at the same time): a server may still be finishing a request
// whose client has gone.
async function programsFinished() {
  const deadline = Date.now() + WAIT_MS;
  const root = fs.realpathSync(ROOT);
  let quietSince = Date.now();
  for (;;) {
    let running = false;
    for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
      try {
        if (fs.readlinkSync(`/proc/${pid}/exe`) === CGI &&
            fs.readlinkSync(`/proc/${pid}/cwd`) === root) running = true;
      } catch { /* gone, or not ours to look at */ }
    }
    if (running) quietSince = Date.now();
    else if (Date.now() - quietSince >= QUIET_MS) return;
    if (Date.now() > deadline) throw new Error('a request is still running');
    await new Promise((r) => setTimeout(r, 20));
  }
}

// The server's reply and files against the same request run directly, both
// from a freshly seeded root; returns the seeded files and the server's.
async function compareWithDirect(request, direct = request) {
  seed();
  const seeded = snapshot();
  const expected = await runDirect(direct);
  const expectedFiles = snapshot();
  seed();
  const reply = await curl(request);
  await programsFinished();
  assert.equal(reply.code, 0, `curl failed: ${reply.err}`);
  assert.equal(reply.status, expected.status);
  assert.equal(reply.headers['content-type'], expected.headers['content-type']);
  assert.deepEqual(reply.out.toString('latin1'), expected.body.toString('latin1'));
  const files = snapshot();
  assert.deepEqual(differingFiles(files, expectedFiles), [], 'files as the direct run left them');
  return { seeded, files, reply };
}

// ---- The checks ----

const KINDS = [
  { name: 'a status query', body: 'name44_submit=Status', shows: 'ip=192.168.1.60\n' },
  { name: 'a boot-script change', body: ADDRESS_FORM, changes: ['mnt/autorun.sh'] },
  { name: 'an overlay change', body: 'mg_x=100&mg_y=50&mg_xy=Set', changes: ['mnt/m.ini'] },
  {
    name: 'a Chinese subtitle', type: 'multipart/form-data; boundary=webcfgServerCheck',
    body: multipart([['sub_text', '你好，世界'], ['sub_submit', 'Set']], 'webcfgServerCheck'),
    changes: ['mnt/zk.ini'],
  },
  {
    name: 'a codec form', body: CODEC_FORM,
    changes: ['mnt/autorun.sh', 'mnt/ha.ini', 'mnt/kovra_encQuality.ini', 'mnt/wifi/ifwifi'],
  },
];

for (const kind of KINDS) {
  test(`${kind.name} through ${SERVER} replies and changes as the program run directly`,
    async () => {
      const request = { type: URLENCODED, ...kind };
      const { seeded, files, reply } = await compareWithDirect(request);
      assert.equal(reply.status, 200);
      if (kind.shows) assert.ok(reply.out.toString().includes(kind.shows), reply.out.toString());
      for (const file of kind.changes || []) assert.notEqual(files[file], seeded[file], file);
    });
}

test(`the state document through ${SERVER} is the one the program gives directly`,
  { skip: !HAS_STATE && 'no sandboxed state program in this build' }, async () => {
    seed();
    const expected = await runDirect({ program: 'state.cgi', method: 'GET' });
    const reply = await curl({ program: 'state.cgi' });
    assert.equal(reply.status, 200);
    assert.match(reply.headers['content-type'], /^application\/json/);
    assert.deepEqual(JSON.parse(reply.out.toString()), JSON.parse(expected.body.toString()));
  });

test(`a client that leaves a codec form through ${SERVER} leaves every file changed or none`,
  async () => {
    seed();
    const seeded = snapshot();
    const started = Date.now();
    const whole = await curl({ type: URLENCODED, body: CODEC_FORM });
    const duration = Date.now() - started;
    assert.equal(whole.status, 200);
    await programsFinished();
    const applied = snapshot();
    assert.ok(differingFiles(seeded, applied).length > 5, 'the codec form changes many files');

    const outcomes = [];
    for (let i = 0; i < LEAVING_MOMENTS; i++) {
      seed();
      const at = Math.round((duration * (i + 0.5)) / LEAVING_MOMENTS);
      const { child, done } = startCurl({ type: URLENCODED, body: CODEC_FORM });
      const timer = setTimeout(() => child.kill('SIGKILL'), at);
      const r = await done;
      clearTimeout(timer);
      await programsFinished();
      const files = snapshot();
      const changed = differingFiles(seeded, files);
      const partial = differingFiles(applied, files);
      const left = r.signal === 'SIGKILL';
      outcomes.push(`${at} ms: ${left ? 'left' : 'stayed'}, ${changed.length ? 'applied' : 'not started'}`);
      assert.ok(changed.length === 0 || partial.length === 0,
        `client killed at ${at} ms of ${duration}: half applied; these files differ from the whole form's: ${partial.join(' ')}`);
    }
    // The check bites only if some clients left while their form was running.
    assert.ok(outcomes.some((o) => o.includes('left, applied')), outcomes.join('\n'));
  });

test(`a chunked post through ${SERVER} is ${SERVER === 'busybox' ? 'refused with 411' : 'read whole'}`,
  async () => {
    // lighttpd collects a chunked body and passes its length; busybox httpd
    // passes the body without one (and without decoding it).
    const request = { type: URLENCODED, body: ADDRESS_FORM, extra: ['-H', 'Transfer-Encoding: chunked'] };
    const direct = SERVER === 'busybox'
      ? { type: URLENCODED, body: `${ADDRESS_FORM.length.toString(16)}\r\n${ADDRESS_FORM}\r\n0\r\n\r\n`, length: null }
      : { type: URLENCODED, body: ADDRESS_FORM };
    const { seeded, files, reply } = await compareWithDirect(request, direct);
    if (SERVER === 'busybox') {
      assert.equal(reply.status, 411);
      assert.deepEqual(differingFiles(seeded, files), []);
    } else {
      assert.equal(reply.status, 200);
      assert.notEqual(files['mnt/autorun.sh'], seeded['mnt/autorun.sh']);
    }
  });

test(`oversize and malformed bodies through ${SERVER} get 413 and 400 and change nothing`,
  async () => {
    const oversize = `${ADDRESS_FORM}&pad=${'a'.repeat(1024 * 1024)}`;
    const malformed = '--b\r\nContent-Disposition: form-data; name="name1_submit"\r\n\r\nSet';
    const cases = [
      [{ type: URLENCODED, body: oversize }, 413],
      [{ type: 'multipart/form-data; boundary=b', body: malformed }, 400],
    ];
    for (const [request, status] of cases) {
      const { seeded, files, reply } = await compareWithDirect(request);
      assert.equal(reply.status, status);
      assert.deepEqual(differingFiles(seeded, files), []);
    }
  });

test(`the page loads through ${SERVER} in Chromium and fills in the status`, async () => {
  seed();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'webcfg-servers-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, ignoreHTTPSErrors: true,
    httpCredentials: { username: USER, password: PASSWORD },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = context.pages()[0] || await context.newPage();
    const failed = [];
    page.on('response', (r) => { if (r.status() >= 400 && r.status() !== 401) failed.push(`${r.status()} ${r.url()}`); });
    const response = await page.goto(server.base);
    assert.equal(response.status(), 200);
    await page.waitForFunction(() => document.getElementById('ip')?.value === '192.168.1.60',
      null, { timeout: 20000 });
    assert.deepEqual(failed, []);
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
});
