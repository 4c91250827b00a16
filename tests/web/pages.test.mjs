// Browser tests of the configuration pages against the demo server: the
// real CGI over a freshly seeded demo root, in Debian's chromium.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, afterEach, before, beforeEach, test } from 'node:test';

import {
  ARTIFACTS, ROOT, SOURCE, calls, launchBrowser, policyViolations, readRoot, seed, startDemoServer, startDevice,
  stopProcess,
} from './harness.mjs';

// The command list the pages must cover: submit field, then its radio group
// with its number of choices, its text fields, or its menu with its values.
const VGA_MODES = [...Array(29).keys()].map((i) => String(i + 1))
  .concat([...Array(10).keys()].map((i) => String(i + 32)));
const COMMANDS = [
  ['name44_submit', {}],
  ['mg_gx', {}],
  ['mg_a_submit', { radio: 'mg_a', choices: 2 }],
  ['gx_a_submit', { radio: 'gx_a', choices: 2 }],
  ['mg_xy', { fields: ['mg_x', 'mg_y'] }],
  ['mg_wh', { fields: ['mg_w', 'mg_h'] }],
  ['gx_xy', { fields: ['gx_x', 'gx_y'] }],
  ['gx_wh', { fields: ['gx_w', 'gx_h'] }],
  ['vs_width_submit', { fields: ['vs_width'] }],
  ['vs_height_submit', { fields: ['vs_height'] }],
  ['codec_submit', { radio: 'ctrlts', choices: 2 }],
  ['codec_submit', { radio: 'selvs', choices: 2 }],
  ['codec_submit', { radio: 'ctrlau', choices: 2 }],
  ['codec_submit', { radio: 'ctrlax', choices: 2 }],
  ['codec_submit', { radio: 'ctrlaz', choices: 3 }],
  ['codec_submit', { radio: 'ifwifi', choices: 2 }],
  ['codec_submit', { radio: 'ctrldz', choices: 2 }],
  ['codec_submit', { radio: 'ctrlez', choices: 3 }],
  ['codec_submit', { radio: 'ctrlbz', choices: 3 }],
  ['codec_submit', { radio: 'ctrlcz', choices: 2 }],
  ['codec_submit', { radio: 'audioen', choices: 2 }],
  ['codec_submit', { radio: 'audioin', choices: 2 }],
  ['rtmpurl_submit', { fields: ['rtmpurl'] }],
  ['name1_submit', { fields: ['ip'] }],
  ['name2_submit', { fields: ['netmask'] }],
  ['name45_submit', { fields: ['gateway'] }],
  ['mac_submit', { fields: ['mac'] }],
  ['ssid_submit', { fields: ['ssid'] }],
  ['passkey_submit', { fields: ['passkey'] }],
  ['wifi_ip_submit', { fields: ['wifi_ip'] }],
  ['ttl_submit', { fields: ['ttl'] }],
  ['name3_submit', { fields: ['bitrate'] }],
  ['name_audio_submit', { menu: 'audiosample', values: ['32000', '44100', '48000'] }],
  ['name_volume_submit', { fields: ['volume'] }],
  ['name_audio2_submit', { fields: ['audiobitrate'] }],
  ['sub_a_submit', { radio: 'sub_a', choices: 2 }],
  ['sub_z_submit', { radio: 'sub_z', choices: 2 }],
  ['sub_submit', { fields: ['sub_text'] }],
  ['s_x_submit', { fields: ['s_x'] }],
  ['s_y_submit', { fields: ['s_y'] }],
  ['sub_v', {}],
  ['name4_submit', { fields: ['framerate'] }],
  ['namez_submit', { fields: ['tz'] }],
  ['namec_submit', { fields: ['tc'] }],
  ['namei_submit', { fields: ['fi'] }],
  ['nameidr_submit', { fields: ['idr'] }],
  ['namelr_submit', { fields: ['lr'] }],
  ['namelg_submit', { fields: ['lg'] }],
  ['namelb_submit', { fields: ['lb'] }],
  ['namebr_submit', { fields: ['br'] }],
  ['namebg_submit', { fields: ['bg'] }],
  ['namebb_submit', { fields: ['bb'] }],
  ['name29_submit', { menu: 'menu_set_vga_mode', values: VGA_MODES }],
  ['name129_submit', { menu: 'menu_set_signal_mode', values: ['0', '1', '2', '3', '4'] }],
  ['encst_submit', { menu: 'menu_encst',
    values: ['50', '42', '41', '40', '32', '31', '30', '22', '21', '20', '13', '12', '11', '9', '10'] }],
  ['cvbr_submit', { fields: ['cvbr'] }],
  ['name5_submit', {}],
];
const WORDS = ['male', 'female', 'amale'];
// The headers every answer of the device carries (deploy/, and the demo).
const SECURITY_HEADERS = {
  'content-security-policy': "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'",
  'x-content-type-options': 'nosniff',
  'referrer-policy': 'no-referrer',
};

let server;
let browser;

before(async () => {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  seed();
  server = await startDemoServer();
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.stop();
});

beforeEach(() => seed());

// The pages work under the device's content policy: nothing they do is blocked.
afterEach(() => assert.deepEqual(policyViolations(), [], 'content policy violations'));

// A page of the demo, loaded and done with its start-up reports. The CGI

const DESKTOP = { width: 1280, height: 900 };
const PHONE = { width: 360, height: 740 };
const WIDTHS = [['desktop', DESKTOP], ['phone', PHONE]];
const AXE = fs.readFileSync(path.join(SOURCE, 'node_modules/axe-core/axe.min.js'), 'utf8');

// A page of the demo, loaded and filled from the state document. Every
// request it makes is collected with its body.
async function openPage(context = browser.context, viewport = DESKTOP) {
  const page = await context.newPage();
  await page.setViewportSize(viewport);
  const requests = [];
  page.on('request', (r) => requests.push({
    url: r.url(), method: r.method(), body: r.postData() || '', ifMatch: r.headers()['if-match'] || null,
  }));
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  const response = await page.goto(server.base);
  await page.waitForSelector('html[data-loaded="true"]');
  return {
    page, response, requests, errors,
    posts: () => requests.filter((r) => r.url.endsWith('/cgi-bin/webcfg.cgi')).map((r) => r.body),
    sets: () => requests.filter((r) => r.url.endsWith('/cgi-bin/state.cgi') && r.method === 'POST'),
  };
}

// Presses a section's Save and waits until its results are in.
async function save(page, section) {
  await page.click(`#${section}-save`);
  await page.waitForFunction((id) => {
    const result = document.getElementById(`${id}-result`);
    return !document.getElementById(id).hasAttribute('aria-busy') && result.textContent !== '';
  }, section);
  return page.textContent(`#${section}-result`);
}

async function resultOf(page, name) {
  return page.$eval(`#${name}-result`, (el) => ({
    state: el.dataset.state,
    text: el.querySelector('.result-text').textContent,
    raw: el.querySelector('pre') ? el.querySelector('pre').textContent : null,
    open: el.querySelector('details') ? el.querySelector('details').open : null,
  }));
}

// The result sits right under its field and is named by it.
async function assertUnderField(page, name) {
  const geometry = await page.evaluate((n) => {
    const result = document.getElementById(`${n}-result`);
    const control = document.getElementsByName(n)[0];
    const box = (control.type === 'radio' ? control.closest('fieldset') : control).getBoundingClientRect();
    return {
      gap: result.getBoundingClientRect().top - box.bottom,
      describedBy: control.getAttribute('aria-describedby') || '',
      invalid: control.getAttribute('aria-invalid'),
    };
  }, name);
  assert.ok(geometry.gap >= -1 && geometry.gap < 60, `${name}: the result is ${geometry.gap}px below the field`);
  assert.ok(geometry.describedBy.split(' ').includes(`${name}-result`), `${name} is described by its result`);
  return geometry;
}

async function assertAxeClean(page, state) {
  // Evaluated by the browser's debugging protocol: the policy runs no inline script tag.
  if (!(await page.evaluate(() => Boolean(window.axe)))) await page.evaluate(AXE);
  const found = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] }))
    .violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
  assert.deepEqual(found, [], `axe-core, ${state}`);
}

async function shoot(page, name, fullPage = true) {
  await page.screenshot({ path: path.join(ARTIFACTS, `${name}.png`), fullPage });
}

// Answers of the demo's state program, read the way the page reads them.
async function stateDocument() {
  const res = await fetch(`${server.base}cgi-bin/state.cgi`, { cache: 'no-store' });
  return res.json();
}

test('the page fills every field and the summary from the state document, at both widths', async () => {
  const doc = await stateDocument();
  for (const [width, viewport] of WIDTHS) {
    const { page, response, requests, errors } = await openPage(browser.context, viewport);
    assert.deepEqual(errors, []);
    const headers = response.headers();
    for (const [name, value] of Object.entries(SECURITY_HEADERS)) assert.equal(headers[name], value, name);
    for (const r of requests) assert.ok(r.url.startsWith(server.base), `request outside the device: ${r.url}`);
    assert.deepEqual(requests.filter((r) => r.url.includes('/cgi-bin/webcfg.cgi')), [], 'opening the page changes nothing');
    const values = await page.$$eval('input[type=text], select', (all) => Object.fromEntries(all.map((el) => [el.id, el.value])));
    const s = doc.settings;
    const expected = {
      ip: s.network.ip, netmask: s.network.netmask, gateway: s.network.gateway, mac: s.network.mac,
      ssid: s.wifi.ssid, wifi_ip: s.wifi.address, tz: s.outputs.ts_address, tc: String(s.outputs.ts_port),
      rtmpurl: s.outputs.rtmp_url, bitrate: String(s.encoder.bitrate), framerate: String(s.encoder.framerate),
      fi: String(s.encoder.iframe_interval), idr: String(s.encoder.idr_interval), menu_encst: String(s.encoder.level),
      cvbr: String(s.encoder.max_delay), ttl: String(s.encoder.ttl), vs_width: String(s.encoder.width),
      vs_height: String(s.encoder.height), menu_set_vga_mode: String(s.capture.format), menu_set_signal_mode: '2',
      audiosample: String(s.audio.sample_rate), audiobitrate: String(s.audio.bitrate), volume: String(s.audio.volume),
      lr: String(s.picture.lr), bb: String(s.picture.bb), mg_x: '32', mg_y: '32', mg_w: '320', mg_h: '180',
      gx_x: '1568', gx_y: '32', gx_w: '320', gx_h: '180', sub_text: '欢迎观看', s_x: '100', s_y: '960',
    };
    for (const [id, value] of Object.entries(expected)) assert.equal(values[id], value, `${width}: ${id}`);
    assert.equal(values.ip, '192.168.1.60');
    const checked = await page.$$eval('input[type=radio]:checked', (all) => all.map((r) => r.id).sort());
    assert.deepEqual(checked.filter((id) => !id.startsWith('ctrlts')), ['audioen-on', 'audioin-digital', 'ctrlau-detect',
      'ctrlax-sdk', 'ctrlaz-udp', 'ctrlbz-high', 'ctrlcz-quality', 'ctrldz-off', 'ctrlez-rtsp', 'gx_a-off', 'ifwifi-on',
      'mg_a-on', 'selvs-on', 'sub_a-on', 'sub_z-big']);
    assert.equal(await page.inputValue('#passkey'), '');
    const summary = await page.textContent('#summary-list');
    for (const part of ['192.168.1.60', '192.168.1.20:5000', 'RTSP', '4 Mbit/s', '1920×1080', 'studio-wifi', '48000 Hz'])
      assert.ok(summary.includes(part), `${width}: the summary names ${part}: ${summary}`);
    assert.equal(await page.$$eval('.tag:not([hidden])', (all) => all.length), 0, 'nothing is marked changed');
    assert.deepEqual(await page.$$eval('[tabindex]', (all) => all.filter((el) => el.tabIndex > 0).map((el) => el.id)), [],
      'the focus order is the order of the page');
    await shoot(page, `page-en-${width}`);
    await assertAxeClean(page, `loaded page, ${width}`);
    await page.close();
  }
});

test('a changed field is marked until it matches the device again, and leaving with it asks first', async () => {
  const { page } = await openPage();
  await page.fill('#bitrate', '3000000');
  await page.check('#ctrlez-rtmp');
  assert.deepEqual(await page.$$eval('.changed', (all) => all.map((el) => el.querySelector('input').name)), ['ctrlez', 'bitrate']);
  assert.equal(await page.textContent('label[for=bitrate] .tag'), 'changed');
  // Saving one section leaves the unsent edits of another as typed.
  await save(page, 'outputs');
  assert.equal(await page.inputValue('#bitrate'), '3000000');
  assert.deepEqual(await page.$$eval('.changed', (all) => all.map((el) => el.querySelector('input').name)), ['bitrate']);
  await page.fill('#bitrate', '4000000');
  assert.equal(await page.isVisible('label[for=bitrate] .tag'), false);
  await page.fill('#bitrate', '5000000');
  let asked = '';
  page.once('dialog', (d) => { asked = d.type(); d.dismiss(); });
  await page.close({ runBeforeUnload: true });
  await new Promise((r) => setTimeout(r, 300));
  assert.equal(asked, 'beforeunload');
  assert.equal(page.isClosed(), false);
});

test('an invalid value is never posted and its reason shows under the field, at both widths', async () => {
  const cases = [
    ['network', 'ip', '999.1.1.1', /four numbers from 0 to 255/],
    ['network', 'ip', 'hello', /four numbers from 0 to 255/],
    ['encoder', 'bitrate', '-5', /whole number from \d+ to 999999999/],
    ['outputs', 'tc', '99999', /whole number from 1 to 65535/],
    ['audio', 'volume', '250', /whole number from 0 to 100/],
    ['wifi', 'passkey', 'short', /at least 8 characters/],
  ];
  for (const [width, viewport] of WIDTHS) {
    const { page, posts, sets } = await openPage(browser.context, viewport);
    for (const [section, name, value, reason] of cases) {
      await page.fill(`[name=${name}]`, value);
      const sentence = await save(page, section);
      assert.match(sentence, /Nothing was sent: 1 field/);
      const result = await resultOf(page, name);
      assert.equal(result.state, 'invalid');
      assert.match(result.text, reason, `${name}=${value}`);
      const { invalid } = await assertUnderField(page, name);
      assert.equal(invalid, 'true');
      assert.equal(await page.evaluate((id) => document.activeElement.id, `${section}-save`), `${section}-save`);
    }
    assert.deepEqual([...posts(), ...sets()], [], `${width}: nothing was posted`);
    await shoot(page, `invalid-${width}`);
    await assertAxeClean(page, `invalid values, ${width}`);
    await page.close();
  }
  assert.equal(readRoot('mnt/ttl.ini', 'latin1'), '64');
});

test('a section\'s Save is one change set of the revision it was filled from, reported in words, refilled from the answer', async () => {
  const { page, posts, sets } = await openPage();
  const filledFrom = (await fetch(`${server.base}cgi-bin/state.cgi`)).headers.get('etag');
  // The demo answers slowly here, so that "Sending…" can be seen.
  await page.route('**/cgi-bin/state.cgi', async (route) => {
    if (route.request().method() === 'POST') await new Promise((r) => setTimeout(r, 300));
    await route.continue();
  });
  await page.fill('#gateway', '192.168.1.254');
  await page.fill('#ip', '192.168.1.77');
  await page.focus('#network-save');
  await page.keyboard.press('Enter');
  assert.equal(await page.textContent('#network-result'), 'Sending…');
  assert.equal(await page.textContent('#ip-result .result-text'), 'Sending…');
  await page.waitForFunction(() => !document.getElementById('network').hasAttribute('aria-busy'));
  assert.deepEqual(posts(), []);
  assert.deepEqual(sets().map((r) => [JSON.parse(r.body), r.ifMatch]),
    [[{ settings: { network: { ip: '192.168.1.77', gateway: '192.168.1.254' } } }, filledFrom]]);
  const ip = await resultOf(page, 'ip');
  assert.equal(ip.state, 'ok');
  assert.equal(ip.text, 'IP address saved: 192.168.1.77. It is used after the device restarts.');
  assert.equal((await resultOf(page, 'gateway')).text, 'Gateway saved: 192.168.1.254. It is used after the device restarts.');
  assert.equal(await page.textContent('#network-result'),
    'IP address saved: 192.168.1.77. It is used after the device restarts. ' +
    'Gateway saved: 192.168.1.254. It is used after the device restarts.');
  await assertUnderField(page, 'ip');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'network-save', 'the button keeps the focus');
  // Only the one-sentence results are live regions.
  assert.deepEqual(await page.$$eval('[aria-live], [role=status], [role=alert]', (all) => all.map((el) => el.id).sort()),
    ['audio-result', 'backup-result', 'capture-result', 'encoder-result', 'network-result', 'offline', 'outputs-result', 'overlays-result',
      'picture-result', 'restart-wait', 'status-result', 'subtitle-result', 'wifi-result']);
  assert.equal(readRoot('mnt/autorun.sh', 'latin1').split('\n')[0], 'ip=192.168.1.77');
  assert.ok((await page.textContent('#summary-list')).includes('192.168.1.77'), 'the summary follows');
  assert.equal(await page.$$eval('.tag:not([hidden])', (all) => all.length), 0, 'nothing is left marked changed');
  assert.equal(await page.isVisible('#banner'), true);
  await shoot(page, 'saved-en-desktop');
  await assertAxeClean(page, 'saved results');
});

test('the pass phrase and the stream key never appear on the page, in the fields, the results or the device\'s replies', async () => {
  const { page } = await openPage();
  await page.fill('#passkey', 'brand-new-secret');
  await page.fill('#wifi_ip', '192.168.0.10');
  await save(page, 'wifi');
  assert.equal((await resultOf(page, 'passkey')).text, 'Wi-Fi password saved. It is used after the device restarts.');
  assert.match(readRoot('mnt/wifi/wpa.conf', 'latin1'), /psk="brand-new-secret"/);
  // A boot-script change reports the Wi-Fi files too.
  await page.fill('#framerate', '25');
  await save(page, 'encoder');
  const everything = await page.evaluate(() => {
    for (const d of document.querySelectorAll('details')) d.open = true;
    const values = [...document.querySelectorAll('input')].map((el) => el.value);
    return [document.body.innerText, document.body.textContent, ...values].join('\n');
  });
  for (const secret of ['brand-new-secret', 'demo-pass-2024']) assert.ok(!everything.includes(secret), `${secret} is shown`);
  // The stream key is typed apart from the address; a new address alone
  // keeps the key the device holds, unseen.
  const key = /^url=rtmp:\/\/[^/]+\/[^/]+\/(.*)$/m.exec(readRoot('mnt/autorun.sh', 'latin1'))[1];
  const doc = await stateDocument();
  assert.equal(await page.inputValue('#rtmpurl'), doc.settings.outputs.rtmp_url);
  await page.fill('#rtmpurl', 'rtmp://10.1.1.1/live');
  await save(page, 'outputs');
  assert.equal((await resultOf(page, 'rtmpurl')).state, 'ok');
  assert.match(readRoot('mnt/autorun.sh', 'latin1'), new RegExp(`^url=rtmp://10\\.1\\.1\\.1/live/${key}$`, 'm'));
  assert.equal(await page.inputValue('#rtmpkey'), '', 'the held key is not shown');
  assert.ok(!(await page.textContent('#outputs')).includes(`10.1.1.1/live/${key}`), 'nor joined to the address');
  await page.fill('#rtmpurl', 'rtmp://10.1.1.2/live');
  await page.fill('#rtmpkey', 'n3w-stream-key');
  await save(page, 'outputs');
  assert.equal((await resultOf(page, 'rtmpurl')).state, 'ok');
  assert.match(readRoot('mnt/autorun.sh', 'latin1'), /^url=rtmp:\/\/10\.1\.1\.2\/live\/n3w-stream-key$/m);
  assert.equal(await page.inputValue('#rtmpkey'), '');
  const after = await page.evaluate(() => {
    for (const d of document.querySelectorAll('details')) d.open = true;
    return [document.body.innerText, document.body.textContent, ...[...document.querySelectorAll('input')].map((el) => el.value)].join('\n');
  });
  assert.ok(!after.includes('n3w-stream-key'), 'the stream key is shown');
});

test('a save reports what the device holds: changed elsewhere, an answer lost, a subtitle with full-width marks', async () => {
  const { page, sets } = await openPage();
  // A gateway outside the subnet is said first; a second Save sends it.
  await page.fill('#gateway', '10.0.0.1');
  assert.equal(await save(page, 'network'), 'Nothing was sent yet: see the warning below the field.');
  assert.match((await resultOf(page, 'gateway')).text, /^The gateway 10\.0\.0\.1 is outside the subnet of 192\.168\.1\.60 with mask 255\.255\.255\.0/);
  assert.equal(sets().length, 0);
  await save(page, 'network');
  assert.equal((await resultOf(page, 'gateway')).state, 'ok');
  assert.match(readRoot('mnt/autorun.sh', 'latin1'), /^gateway=10\.0\.0\.1$/m);
  // Another client changes the device after this page was filled.
  const other = await fetch(`${server.base}cgi-bin/state.cgi`, {
    method: 'POST', headers: { 'content-type': 'application/json' },
    body: JSON.stringify({ settings: { encoder: { ttl: 33 } } }),
  });
  assert.equal(other.status, 200);
  await page.fill('#ttl', '40');
  await save(page, 'encoder');
  assert.match(await page.textContent('#encoder-result'), /changed elsewhere since this page read it/);
  assert.match((await resultOf(page, 'ttl')).text, /now holds 33\. Save sends your value again/);
  assert.equal(await page.inputValue('#ttl'), '40', 'what was typed stays');
  assert.equal(readRoot('mnt/ttl.ini', 'latin1'), '33', 'nothing overwritten');
  await save(page, 'encoder');
  assert.equal((await resultOf(page, 'ttl')).state, 'ok');
  assert.equal(readRoot('mnt/ttl.ini', 'latin1'), '40');

  // The device applies the set, but its answer never reaches the page.
  await page.route('**/cgi-bin/state.cgi', async (route) => {
    if (route.request().method() !== 'POST') return route.continue();
    await route.fetch();
    return route.abort();
  });
  await page.fill('#framerate', '50');
  await page.click('#encoder-save');
  await page.waitForFunction(() => /not known yet/.test(document.getElementById('encoder-result').textContent));
  await page.waitForFunction(() => document.getElementById('framerate-result').dataset.state === 'ok');
  assert.equal((await resultOf(page, 'framerate')).text, 'Frame rate (frames per second) saved: 50. It is used after the device restarts.');
  await page.unroute('**/cgi-bin/state.cgi');

  // The device stores full-width punctuation as it stores ASCII: the same text.
  await page.fill('#sub_text', '欢迎！Welcome，2024年');
  await save(page, 'subtitle');
  assert.equal((await resultOf(page, 'sub_text')).state, 'ok');
  assert.equal(await page.isVisible('label[for=sub_text] .tag'), false, 'not left marked changed');

  // A device that stops answering is said to, with when the page last read it.
  await page.route('**/cgi-bin/state.cgi', (route) => route.abort());
  await page.evaluate(() => window.webcfg.checkDevice());
  assert.match(await page.textContent('#offline'), /^The device does not answer \(since [0-9:]+\)\. What this page shows was read at [0-9:]+\.$/);
  await page.unroute('**/cgi-bin/state.cgi');
  await page.evaluate(() => window.webcfg.checkDevice());
  assert.equal(await page.isVisible('#offline'), false);
});

test('settings download with their secrets and restore as one change, leaving the device\'s own address unless ticked', async () => {
  const { page } = await openPage();
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.match(download.suggestedFilename(), /^encoder-192\.168\.1\.60-\d{4}-\d\d-\d\d\.json$/);
  const backup = JSON.parse(fs.readFileSync(await download.path(), 'utf8'));
  assert.equal(backup.settings.wifi.passphrase, 'demo-pass-2024');
  assert.equal(backup.codec_template, 'mp3');
  assert.equal(backup.settings.wifi.passphrase_set, undefined, 'only what a restore can set');
  assert.match(await page.textContent('#backup-result'), /holds the Wi-Fi pass phrase and the stream key/);

  const restore = async (data) => {
    await page.$eval('#backup-result', (el) => { el.textContent = ''; });
    await page.setInputFiles('#restore-file', { name: 'backup.json', mimeType: 'application/json', buffer: Buffer.from(JSON.stringify(data)) });
    await page.waitForFunction(() => document.getElementById('backup-result').textContent !== '');
    return page.textContent('#backup-result');
  };
  // A value the device does not take refuses the whole file.
  const before = readRoot('mnt/autorun.sh', 'latin1');
  const bad = structuredClone(backup);
  bad.settings.encoder.bitrate = 'fast';
  bad.settings.gadget = { knob: 1 };
  assert.match(await restore(bad), /^Nothing was sent: the file holds values this device does not take: .*gadget\.knob is no setting of this device/);
  assert.equal(await page.isVisible('#restore-plan'), false);

  const other = structuredClone(backup);
  other.settings.encoder.bitrate = 3000000;
  other.settings.network.ip = '10.0.0.9';
  other.settings.wifi.passphrase = 'another-phrase-1';
  assert.match(await restore(other), /changes 3 setting/);
  const plan = await page.textContent('#restore-list');
  assert.match(plan, /Video bit rate \(bit\/s\): 4000000 now, 3000000 from the file/);
  assert.match(plan, /Wi-Fi password: changes \(not shown\)/);
  assert.ok(!plan.includes('another-phrase-1'));
  assert.equal(await page.isChecked('[data-path="network.ip"]'), false, 'the device\'s own address is left unless ticked');
  await assertAxeClean(page, 'restore plan');
  await page.click('#restore-apply');
  await page.waitForFunction(() => /^Restored/.test(document.getElementById('backup-result').textContent));
  const after = readRoot('mnt/autorun.sh', 'latin1');
  assert.equal(after, before.replace(/^bitrate=.*$/m, 'bitrate=3000000'));
  assert.match(readRoot('mnt/wifi/wpa.conf', 'latin1'), /psk="another-phrase-1"/);
  assert.equal(await page.inputValue('#bitrate'), '3000000');
});

test('refusals of the device show under their field as failures', async () => {
  // A boot-script header line the device cannot write back as it stands.
  const script = readRoot('mnt/autorun.sh', 'latin1');
  fs.writeFileSync(path.join(ROOT, 'mnt/autorun.sh'), script.replace(/^tc=.*$/m, 'tc=5000   # receiver'), 'latin1');
  const { page } = await openPage();
  await page.fill('#bitrate', '3000000');
  await save(page, 'encoder');
  let result = await resultOf(page, 'bitrate');
  assert.equal(result.state, 'failed');
  assert.match(result.text, /not saved: the device reported an error/);
  assert.match(result.raw, /error: autorun\.sh: tc cannot be read, nothing changed/);
  assert.equal((await assertUnderField(page, 'bitrate')).invalid, 'true');
  assert.equal(await page.inputValue('#bitrate'), '3000000', 'the refused value stays in the field');
  // A settings file that cannot be opened (the page reads the device again
  // first: it changed since the page was filled).
  fs.rmSync(path.join(ROOT, 'mnt/m.ini'));
  await page.click('#refresh-form button');
  await page.waitForFunction(() => /Every field now shows/.test(document.getElementById('status-result').textContent));
  await page.fill('#mg_x', '640');
  await save(page, 'overlays');
  result = await resultOf(page, 'mg_x');
  assert.equal(result.state, 'failed');
  assert.match(result.text, /not saved: the device could not open its settings file/);
  await assertUnderField(page, 'mg_x');
});

test('a device busy with another change shows as a failure', async () => {
  const { page } = await openPage();
  const holder = spawn('flock', [path.join(ROOT, 'mnt'), '-c', 'echo locked; sleep 11'], { stdio: ['ignore', 'pipe', 'ignore'] });
  try {
    await new Promise((resolve) => holder.stdout.once('data', resolve));
    await page.fill('#ttl', '32');
    await save(page, 'encoder');
    const result = await resultOf(page, 'ttl');
    assert.equal(result.state, 'failed');
    assert.match(result.text, /^Packet lifetime \(router hops\) not saved: the device was busy/);
    await assertUnderField(page, 'ttl');
  } finally {
    await stopProcess(holder);
  }
  assert.equal(readRoot('mnt/ttl.ini', 'latin1'), '64');
});

test('a restart after a network change is a trial: the device asks to keep the settings, and goes back when told', async () => {
  startDevice();
  const { page } = await openPage();
  async function restartWith(field, value) {
    await page.fill(`#${field}`, value);
    await save(page, 'network');
    await page.click('#restart-now');
    await page.waitForSelector('#restart-ask:not([hidden])');
    await page.keyboard.press('Escape');
    await page.waitForSelector('#restart-overlay', { state: 'hidden' });
    assert.equal(await page.textContent('#status-result'), 'Restart cancelled: nothing was sent.');
    await page.click('#restart-now');
    await page.waitForSelector('#restart-ask:not([hidden])');
    assert.equal(await page.isChecked('#restart-trial'), true, 'a network change restarts with a trial by default');
    await page.click('#restart-go');
    await page.waitForSelector('#trial-choice:not([hidden])', { timeout: 20000 });
    assert.equal(await page.textContent('#restart-h'), 'Keep these settings?');
    assert.match(await page.textContent('#restart-text'), /goes back to its previous settings in \d+ s/);
  }
  await page.fill('#netmask', '255.255.0.0');
  await save(page, 'network');
  // What runs, and marked beside it what the restart brings.
  assert.match(await page.textContent('#summary-list'),
    /192\.168\.1\.60, subnet mask 255\.255\.255\.0, gateway 192\.168\.1\.1 After a restart: 192\.168\.1\.60, subnet mask 255\.255\.0\.0/);
  assert.equal(await page.textContent('#banner-list'), 'Waiting: Subnet mask.');
  await restartWith('netmask', '255.255.0.0');
  await shoot(page, 'trial-keep-desktop', false);
  await assertAxeClean(page, 'keep or go back');
  await page.click('#trial-keep');
  await page.waitForSelector('#restart-overlay', { state: 'hidden' });
  assert.match(await page.textContent('#status-result'), /keeps its new settings/);
  assert.equal(fs.existsSync(path.join(ROOT, 'mnt/.webcfg-trial')), false, 'the trial ended');
  const kept = readRoot('mnt/autorun.sh', 'latin1');
  assert.match(kept, /^netmask=255\.255\.0\.0$/m);

  await restartWith('gateway', '192.168.1.254');
  await page.click('#trial-back');
  await page.waitForFunction(() => /went back/.test(document.getElementById('restart-text').textContent), null, { timeout: 20000 });
  assert.match(await page.textContent('#restart-text'), /went back to its previous settings.*Put back: network\.gateway\./);
  assert.equal(readRoot('mnt/autorun.sh', 'latin1'), kept, 'the start-up file as the device ran it before the trial');
  assert.deepEqual(calls().filter((c) => c.startsWith('reboot')), ['reboot', 'reboot', 'reboot']);
});

test('the codec switch is the factory template: the page lists what returns to factory values and keeps the address and outputs unless told', async () => {
  const { page } = await openPage();
  const before = readRoot('mnt/autorun.sh', 'latin1');
  const line = (text, key) => new RegExp(`^${key}=.*$`, 'm').exec(text)[0];
  const ask = async () => {
    await page.click('#audio-save');
    await page.waitForSelector('#swap-overlay:not([hidden])');
  };
  await page.check('#ctrlts-aac');
  await ask();
  assert.equal(await page.textContent('#swap-h'), 'Switch to the factory template for AAC?');
  assert.equal(await page.isChecked('#swap-keep'), true, 'the address and outputs are kept by default');
  const listed = await page.textContent('#swap-list');
  assert.match(listed, /Video bit rate \(bit\/s\): 4000000 now, 2000000 after the switch/);
  assert.ok(!listed.includes('192.168.18.209'), `the kept address is not listed: ${listed}`);
  await page.uncheck('#swap-keep');
  assert.match(await page.textContent('#swap-list'), /IP address: 192\.168\.1\.60 now, 192\.168\.18\.209 after the switch/);
  await page.check('#swap-keep');
  await assertAxeClean(page, 'template dialog');
  await page.keyboard.press('Escape');
  assert.match((await resultOf(page, 'ctrlts')).text, /cancelled, nothing was sent/);
  assert.equal(readRoot('mnt/autorun.sh', 'latin1'), before);

  await ask();
  await page.click('#swap-go');
  await page.waitForFunction(() => !document.getElementById('audio').hasAttribute('aria-busy'));
  assert.equal((await resultOf(page, 'ctrlts')).state, 'ok');
  const kept = readRoot('mnt/autorun.sh', 'latin1');
  for (const key of ['ip', 'netmask', 'gateway', 'tz', 'tc', 'url']) assert.equal(line(kept, key), line(before, key), `${key} kept`);
  assert.equal(line(kept, 'bitrate'), 'bitrate=2000000', 'the rest is the template\'s');

  // Without keeping, the start-up file is the template's own.
  await page.check('#ctrlts-mp3');
  await ask();
  await page.uncheck('#swap-keep');
  await page.click('#swap-go');
  await page.waitForFunction(() => !document.getElementById('audio').hasAttribute('aria-busy'));
  assert.equal(readRoot('mnt/autorun.sh', 'latin1'), readRoot('mnt/autorun.sh.h264.mp3.org', 'latin1'));
  assert.equal(await page.inputValue('#ip'), '192.168.18.209', 'every field shows the factory values');
});

test('a pending change shows the restart banner; the restart names the address and waits for the device', async () => {
  // A change was made since this boot started.
  const boot = fs.readFileSync(path.join(ROOT, 'proc/sys/kernel/random/boot_id'), 'utf8');
  fs.writeFileSync(path.join(ROOT, 'mnt/.webcfg-changed'), boot);
  // The phone first: the restart at desktop width clears the banner.
  for (const [width, viewport] of [...WIDTHS].reverse()) {
    const { page } = await openPage(browser.context, viewport);
    assert.equal(await page.isVisible('#banner'), true);
    assert.match(await page.textContent('#banner'), /Changes wait for a restart/);
    await shoot(page, `banner-${width}`);
    await assertAxeClean(page, `restart banner, ${width}`);
    if (width === 'phone') { await page.close(); continue; }
    // The demo restarts at once; here it stays away until the overlay has
    // been looked at.
    let away = true;
    await page.route('**/cgi-bin/state.cgi', (route) => (away ? route.abort() : route.continue()));
    await page.click('#restart-now');
    await page.waitForSelector('#restart-overlay:not([hidden])');
    assert.match(await page.textContent('#restart-text'), /comes back at the address 192\.168\.1\.60/);
    assert.equal(await page.isVisible('#restart-trial'), false, 'without a record of the start there is no trial');
    await page.click('#restart-go');
    await page.waitForFunction(() => /Waiting/.test(document.getElementById('restart-wait').textContent));
    assert.match(await page.textContent('#restart-text'), /192\.168\.1\.60/);
    assert.equal(await page.isVisible('#restart-close'), true, 'the overlay can be closed while it waits');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'restart-h');
    await shoot(page, 'restart-overlay-desktop', false);
    await assertAxeClean(page, 'restart overlay');
    const reloaded = page.waitForEvent('load');
    away = false;
    await reloaded;
    await page.waitForSelector('html[data-loaded="true"]');
    assert.equal(await page.isVisible('#banner'), false, 'the reboot cleared the pending changes');
    assert.deepEqual(calls().filter((c) => c.startsWith('reboot')), ['reboot']);
    await page.close();
  }
});

test('the language follows the browser, the switch changes every label and keeps the choice', async () => {
  const zh = await launchBrowser({ locale: 'zh-CN' });
  try {
    for (const [width, viewport] of WIDTHS) {
      const { page } = await openPage(zh.context, viewport);
      assert.equal(await page.getAttribute('html', 'lang'), 'zh-CN');
      // A Chinese character draws as a glyph, not as the box of a missing one
      // (scripts/install-deps.sh web installs the font).
      const drawn = await page.evaluate(() => {
        const draw = (text) => {
          const canvas = document.createElement('canvas');
          canvas.width = 40; canvas.height = 40;
          const c = canvas.getContext('2d');
          c.font = `32px ${getComputedStyle(document.body).fontFamily}`;
          c.fillText(text, 2, 32);
          return canvas.toDataURL();
        };
        return draw('编') !== draw('\u{E000}');
      });
      assert.ok(drawn, 'Chinese text renders');
      assert.equal(await page.textContent('label[for=ip]'), 'IP 地址');
      // Results and checks speak Chinese too.
      await page.fill('#ip', '999.1.1.1');
      await save(page, 'network');
      await page.fill('#ttl', width === 'desktop' ? '65' : '66');
      await save(page, 'encoder');
      assert.match((await resultOf(page, 'ttl')).text, /已保存/);
      const english = await page.evaluate(() => {
        const found = [];
        const words = (text) => text.match(/[A-Za-z]*[a-z]{2}[A-Za-z]*/g) || [];
        const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
        for (let n = walker.nextNode(); n; n = walker.nextNode()) {
          const el = n.parentElement;
          if (el.closest('[translate=no], script, style') || !el.checkVisibility()) continue;
          for (const w of words(n.nodeValue)) found.push(`${w} in "${n.nodeValue.trim()}"`);
        }
        for (const el of document.querySelectorAll('option:not([translate=no])'))
          for (const w of words(el.textContent)) found.push(`${w} in option "${el.textContent}"`);
        for (const el of document.querySelectorAll('[aria-label], [title]'))
          for (const w of words(el.getAttribute('aria-label') || el.getAttribute('title'))) found.push(`${w} in a label`);
        for (const w of words(document.title)) found.push(`${w} in the title`);
        return found;
      });
      assert.deepEqual(english, [], `${width}: English left on the Chinese page`);
      await shoot(page, `page-zh-${width}`);
      await assertAxeClean(page, `Chinese page, ${width}`);
      await page.close();
    }
    const { page } = await openPage(zh.context);
    await page.selectOption('#lang', 'en');
    assert.equal(await page.getAttribute('html', 'lang'), 'en');
    assert.equal(await page.textContent('label[for=ip]'), 'IP address');
    assert.equal(await page.textContent('#network-h'), 'Network');
    assert.equal(await page.evaluate(() => localStorage.getItem('webcfg.lang')), 'en');
    await page.reload();
    await page.waitForSelector('html[data-loaded="true"]');
    assert.equal(await page.textContent('label[for=ip]'), 'IP address', 'the choice is kept');
  } finally {
    await zh.close();
  }
});

test('on a phone-width screen nothing overflows sideways and the section navigation shows where you are', async () => {
  const { page } = await openPage(browser.context, PHONE);
  const overflow = await page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const wide = [...document.querySelectorAll('main input, main select, main button, main label, .result, dd')]
      .filter((el) => el.getClientRects().length && !el.closest('.vh'))
      .filter((el) => { const r = el.getBoundingClientRect(); return r.left < 0 || r.right > width + 0.5; })
      .map((el) => el.id || el.name || el.className);
    return { scroll: document.documentElement.scrollWidth, width, wide };
  });
  assert.deepEqual(overflow.wide, []);
  assert.ok(overflow.scroll <= overflow.width, `page is ${overflow.scroll}px wide`);
  for (const [width, viewport] of WIDTHS) {
    await page.setViewportSize(viewport);
    await page.click('header nav a[href="#audio"]');
    await page.waitForFunction(() => document.querySelector('header nav a[aria-current]')?.getAttribute('href') === '#audio');
    const header = await page.$eval('header.top', (el) => el.getBoundingClientRect().bottom);
    const heading = await page.$eval('#audio-h', (el) => el.getBoundingClientRect().top);
    assert.ok(heading >= header - 1, `${width}: the section heading is not hidden under the navigation`);
  }
});

test('the page offers every command of the list with its exact field names, words and menu values', async () => {
  const { page } = await openPage();
  const forms = await page.$$eval('form', (all) => all.map((f) => ({
    action: f.getAttribute('action'),
    method: f.getAttribute('method'),
    submits: [...f.querySelectorAll('button[type=submit]')].map((b) => b.name),
    radios: [...f.querySelectorAll('input[type=radio]')].map((r) => ({ name: r.name, value: r.value })),
    texts: [...f.querySelectorAll('input[type=text], input[type=password]')].map((i) => i.name),
    menus: [...f.querySelectorAll('select')].map((s) => ({ name: s.name, values: [...s.options].map((o) => o.value) })),
  })));
  for (const f of forms) {
    assert.equal(f.action, 'cgi-bin/webcfg.cgi');
    assert.equal(f.method, 'post');
  }
  for (const [submit, wanted] of COMMANDS) {
    const label = `${submit} ${wanted.radio || wanted.menu || (wanted.fields || []).join('+')}`;
    const form = forms.find((f) => f.submits.includes(submit) &&
      (!wanted.radio || f.radios.some((r) => r.name === wanted.radio)) &&
      (!wanted.menu || f.menus.some((m) => m.name === wanted.menu)) &&
      (!wanted.fields || wanted.fields.every((n) => f.texts.includes(n))));
    assert.ok(form, `no form posts ${label}`);
    if (wanted.radio) {
      const values = form.radios.filter((r) => r.name === wanted.radio).map((r) => r.value).sort();
      assert.deepEqual(values, WORDS.slice(0, wanted.choices).sort(), `choices of ${wanted.radio}`);
    }
    if (wanted.menu) assert.deepEqual(form.menus.find((m) => m.name === wanted.menu).values, wanted.values);
  }
  // Every radio says what it does, never the word the device expects.
  const labels = await page.$$eval('input[type=radio]', (all) => all.map((r) => r.labels[0]?.textContent.trim() || ''));
  for (const text of labels) {
    assert.ok(text.length > 1, 'a radio without label text');
    assert.doesNotMatch(text, /\b(a?male|female)\b/i);
  }
  // A form with the codec button never mixes in other commands' buttons.
  for (const f of forms.filter((x) => x.submits.includes('codec_submit'))) assert.deepEqual(f.submits, ['codec_submit']);
});

test('without JavaScript a form posts normally and the reply opens as a page', async () => {
  const noJs = await launchBrowser({ javaScriptEnabled: false });
  try {
    const page = await noJs.context.newPage();
    await page.goto(server.base);
    // The reboot form asks for its confirmation by a required checkbox here.
    assert.ok(await page.isVisible('#reboot-confirm'));
    assert.equal(await page.$eval('#reboot-confirm', (el) => el.required), true);
    await page.selectOption('#menu_set_signal_mode', '3');
    await Promise.all([page.waitForNavigation(), page.click('button[name=name129_submit]')]);
    assert.ok(page.url().endsWith('/cgi-bin/webcfg.cgi'));
    const body = await page.textContent('body');
    assert.ok(body.startsWith('set signal format:3\n'), body);
    assert.equal(readRoot('mnt/mk120.ini', 'latin1'), '3');
  } finally {
    await noJs.close();
  }
});

function nthBraceOffset(text, n) {
  let at = -1;
  for (let i = 0; i < n; i++) {
    at = text.indexOf('{', at + 1);
    if (at < 0) return -1;
  }
  return at;
}

test('the demo root holds a complete appliance file set in the device formats', () => {
  const keys = ['ip', 'netmask', 'gateway', 'export GW', 'tz', 'tc', 'fi', 'ctrlencode', 'ctrlcodec', 'bitrate',
    'framerate', 'audiosample', 'audiobps', 'width', 'height', 'url'];
  for (const name of ['autorun.sh', 'autorun.sh.h264.mp3.org', 'autorun.sh.h264.aac.org']) {
    const script = readRoot(`mnt/${name}`, 'latin1');
    const lines = script.split('\n');
    assert.deepEqual(lines.slice(0, 16).map((l) => l.split('=')[0]), keys, name);
    assert.equal(lines[3], 'export GW=$gateway');
    const marker = script.indexOf('end');
    assert.equal(marker, lines.slice(0, 16).join('\n').length + 1, `${name}: the tail starts at the end marker`);
    assert.ok(marker < 300 && script.length >= 300 && script.length < 2000, name);
    assert.ok(fs.statSync(path.join(ROOT, 'mnt', name)).mode & 0o100, `${name} is executable`);
  }
  assert.ok(fs.readdirSync(path.join(ROOT, 'mnt/dfc')).length > 0);
  const mixer = readRoot('mnt/asound.state', 'latin1');
  const block = mixer.slice(nthBraceOffset(mixer, 27));
  assert.match(block, /^\{\n\t\tiface MIXER\n\t\tname 'Line In Capture Volume'\n\t\tvalue\.0 80\n\t\tvalue\.1 80\n/);
  assert.equal(mixer.split('{').length - 1, mixer.split('}').length - 1, 'balanced braces');
  assert.match(readRoot('mnt/m.ini', 'latin1'), /^-?\d+( -?\d+){9}$/);
  assert.match(readRoot('mnt/format.ini', 'latin1'), /^[01] \d{1,2}$/);
  assert.match(readRoot('tmp/format.ini', 'latin1'), /^\d+\s+\d+\n$/);
  assert.match(readRoot('mnt/kovra_rsc.ini', 'latin1'), /^-?\d+\s+-?\d+\n$/);
  assert.equal(readRoot('mnt/wifi/wpa.conf', 'latin1').split('\n').length, 9);
  assert.match(readRoot('mnt/wifi/wifi_ip.conf', 'latin1'), /^ifconfig wlan0 \S+\n$/);
  assert.match(readRoot('mnt/mac.sh', 'latin1'), /^ifconfig eth0 hw ether ([0-9a-f]{2}:){5}[0-9a-f]{2}\n$/);
  const zk = readRoot('mnt/zk.ini');
  const text = zk.subarray(zk.indexOf(' ', zk.indexOf(' ', zk.indexOf(' ') + 1) + 1) + 1);
  assert.ok(text.every((b) => b >= 0x80), 'the subtitle is stored as double-byte characters');
  assert.equal(new TextDecoder('gb2312').decode(text), '欢迎观看');
  for (const f of ['ts.ini', 'httpts.ini', 'tcp.ini', 'rtsp.ini', 'rtsporrtmp.ini', 'kovra_encProfileIdc.ini',
    'kovra_encQuality.ini', 'kovra_encLevel.ini', 'kovra_maxdelay.ini', 'ha.ini', 'wifi/ifwifi', 'qiehuan'])
    assert.match(readRoot(`mnt/${f}`, 'latin1'), /^\d+\n$/, f);
  for (const f of ['mk120.ini', 'zhiti.ini', 'ttl.ini', 'idr.ini']) assert.match(readRoot(`mnt/${f}`, 'latin1'), /^\d+$/, f);
  assert.match(readRoot('mnt/color.ini', 'latin1'), /^-?\d+( -?\d+){5}$/);
  assert.ok(!fs.existsSync(path.join(ROOT, 'mnt/mk250.ini')), 'the demo is the HDMI model');
});

