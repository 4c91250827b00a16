// Browser tests of the configuration pages against the demo server: the
// real CGI over a freshly seeded demo root, in Debian's chromium.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, beforeEach, test } from 'node:test';

import {
  ARTIFACTS, ROOT, calls, launchBrowser, readRoot, seed, startDemoServer,
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
  ['name_audio_submit', { fields: ['audiosample'] }],
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

// A page of the demo, loaded and done with its start-up reports. The CGI
// requests it makes are collected with their bodies.
async function openPage(context = browser.context) {
  const page = await context.newPage();
  const requests = [];
  page.on('request', (r) => requests.push({ url: r.url(), body: r.postData() || '' }));
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(server.base);
  await page.waitForSelector('html[data-loaded="true"]');
  return { page, requests, errors };
}

// Clicks a button and waits for the CGI's answer to reach the reply panel.
async function press(page, selector) {
  const answered = page.waitForResponse((r) => r.url().endsWith('/cgi-bin/webcfg.cgi'));
  await page.click(selector);
  await answered;
  await page.waitForFunction((sel) => {
    const panel = document.querySelector(sel).closest('.card').querySelector('.reply');
    return !panel.hasAttribute('aria-busy');
  }, selector);
}

async function panel(page, section) {
  return page.$eval(`#${section} .reply`, (el) => ({
    state: el.dataset.state,
    head: el.querySelector('.reply-head').textContent,
    text: el.querySelector('.reply-text').textContent,
    marks: [...el.querySelectorAll('mark.problem')].map((m) => m.textContent),
  }));
}

test('the page offers every command of the list with its exact field names, words and menu values', async () => {
  const { page } = await openPage();
  const forms = await page.$$eval('form', (all) => all.map((f) => ({
    action: f.getAttribute('action'),
    method: f.getAttribute('method'),
    submits: [...f.querySelectorAll('button[type=submit]')].map((b) => b.name),
    radios: [...f.querySelectorAll('input[type=radio]')].map((r) => ({ name: r.name, value: r.value })),
    texts: [...f.querySelectorAll('input[type=text]')].map((i) => i.name),
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

test('the page loads from the device alone, asks for the status report and labels every control', async () => {
  const { page, requests, errors } = await openPage();
  await page.screenshot({ path: path.join(ARTIFACTS, 'page.png'), fullPage: true });
  assert.deepEqual(errors, []);
  for (const r of requests) assert.ok(r.url.startsWith(server.base), `request outside the device: ${r.url}`);
  const cgi = requests.filter((r) => r.url.endsWith('/cgi-bin/webcfg.cgi'));
  assert.equal(cgi[0].body, 'name44_submit=', 'the first request asks for the status report');
  // The reply (whatever this program says to it) is shown in the status panel.
  const status = await panel(page, 'status');
  assert.match(status.head, /Refresh status/);
  const unlabeled = await page.$$eval('input, select, button', (all) => all
    .filter((el) => !el.closest('.no-js-only'))
    .filter((el) => (el.tagName === 'BUTTON' ? !el.textContent.trim() : el.labels.length === 0))
    .map((el) => el.name || el.id));
  assert.deepEqual(unlabeled, []);
});

test('the status report fills the fields with the current settings', async () => {
  const { page } = await openPage();
  const status = await panel(page, 'status');
  assert.match(status.text, /^\nip=192\.168\.1\.60\nnetmask=255\.255\.255\.0\ngateway=192\.168\.1\.1\n/);
  const values = await page.$$eval('input[type=text], select', (all) =>
    Object.fromEntries(all.map((el) => [el.id, el.value])));
  const expected = {
    ip: '192.168.1.60', netmask: '255.255.255.0', gateway: '192.168.1.1', ssid: 'studio-wifi', wifi_ip: '192.168.0.9',
    ttl: '64', tz: '192.168.1.20', tc: '5000', bitrate: '4000000', framerate: '30', fi: '50', idr: '60', cvbr: '5',
    menu_encst: '41', menu_set_vga_mode: '23', menu_set_signal_mode: '2', vs_width: '1280', vs_height: '720',
    volume: '80', audiosample: '48000', audiobitrate: '128000',
  };
  for (const [id, value] of Object.entries(expected)) assert.equal(values[id], value, id);
  const checked = await page.$$eval('input[type=radio]:checked', (all) => all.map((r) => r.id).sort());
  assert.deepEqual(checked, ['audioen-on', 'audioin-digital', 'ctrlau-detect', 'ctrlax-sdk', 'ctrlaz-udp', 'ctrlbz-high',
    'ctrlcz-quality', 'ctrldz-off', 'ctrlez-rtsp', 'ifwifi-on', 'selvs-on', 'gx_a-off', 'mg_a-on',
    'sub_a-on', 'sub_z-big'].sort());
});

test('the overlay and subtitle reports fill their fields on load', async () => {
  const { page } = await openPage();
  const values = await page.$$eval('#overlays input[type=text], #subtitle input[type=text]', (all) =>
    Object.fromEntries(all.map((el) => [el.id, el.value])));
  assert.deepEqual(values, {
    mg_x: '32', mg_y: '32', mg_w: '320', mg_h: '180', gx_x: '1568', gx_y: '32', gx_w: '320', gx_h: '180',
    sub_text: '欢迎观看', s_x: '100', s_y: '960',
  });
  assert.ok(await page.isChecked('#mg_a-on'));
  assert.ok(await page.isChecked('#gx_a-off'));
  assert.ok(await page.isChecked('#sub_a-on'));
  assert.ok(await page.isChecked('#sub_z-big'));
});

test('a status report in the device\'s words fills every field it names', async () => {
  const { page } = await openPage();
  // A status query's report of a device set up unlike the demo root.
  const report = '\nip=10.1.2.3\nnetmask=255.255.0.0\ngateway=10.1.0.1\n' +
    'wifi: enable\nssid="cam net"\nwifi ip=10.9.9.9\n' +
    'ttl=32\n\nts receive ip=239.1.1.7\nts receive port=1234\n' +
    '\n>>>>>>BNC input\nRead: fix format capture\nSet format: SD,NTSC\n\n' +
    'bitrate=1500000\nframerate=25\nI frame num=100,IDR frame num=25\n' +
    'H264 Max Delay: 30000ms\nH264 encode select: Baseline Profile\nH264 encode select: High Speed Mode\n' +
    'H264 encode standard: Level 1.b\n\n' +
    'ts output: enable, mode: http \nts select:main stream\nrtsp/rtmp select:second stream\n' +
    'tcp stream tag output: enable\nrtmp: enable\nrtmp live url: rtmp://10.1.2.50/live/cam\n' +
    'disable video sclaing\n\naudio enable=2\naudio in: sdi\n3.5 audio volume+:100\n' +
    'audio sample=32000\naudio bitrate=64000\n\n';
  await page.evaluate((text) => window.webcfg.fillFromStatus(text), report);
  const values = await page.$$eval('input[type=text], select', (all) => Object.fromEntries(all.map((el) => [el.id, el.value])));
  const expected = {
    ip: '10.1.2.3', netmask: '255.255.0.0', gateway: '10.1.0.1', ssid: 'cam net', wifi_ip: '10.9.9.9', ttl: '32',
    tz: '239.1.1.7', tc: '1234', menu_set_signal_mode: '3', menu_set_vga_mode: '41', bitrate: '1500000',
    framerate: '25', fi: '100', idr: '25', cvbr: '300', menu_encst: '9', rtmpurl: 'rtmp://10.1.2.50/live/cam',
    volume: '100', audiosample: '32000', audiobitrate: '64000',
  };
  for (const [id, value] of Object.entries(expected)) assert.equal(values[id], value, id);
  const on = ['ifwifi-on', 'ctrlau-fixed', 'ctrlbz-baseline', 'ctrlcz-speed', 'ctrlaz-http', 'ctrldz-on',
    'ctrlez-rtmp', 'selvs-off', 'audioen-off', 'audioin-digital'];
  for (const id of on) assert.ok(await page.isChecked(`#${id}`), id);
  assert.equal(await page.textContent('#audioin-digital-text'), 'Embedded audio of the SDI input');
  // The other layouts of the same lines.
  await page.evaluate(() => window.webcfg.fillFromStatus(
    'wifi: disable\nRead: detect format\nautodetect: auto reboot\nFormat: XGA,1024x768,60HZ\n\n' +
    'ts output: disable\nrtsp server and rtmp: disable\nenable video sclaing\nvideo sclaing width=720\n' +
    'video sclaing height=576\n\naudio enable=1\naudio in: 3.5\n'));
  for (const id of ['ifwifi-off', 'ctrlau-detect', 'ctrlax-reboot', 'ctrlaz-off', 'ctrlez-off', 'selvs-on',
    'audioen-on', 'audioin-analog']) assert.ok(await page.isChecked(`#${id}`), id);
  assert.equal(await page.inputValue('#menu_set_vga_mode'), '9');
  assert.equal(await page.inputValue('#vs_width'), '720');
  assert.equal(await page.inputValue('#vs_height'), '576');
});

test('a codec form post with several groups shows their replies in list order', async () => {
  const { page } = await openPage();
  // Chosen in the reverse of the list order: the device's order wins.
  await page.check('#ctrlax-reboot');
  await page.check('#ctrlau-fixed');
  await press(page, '#capture button[name=codec_submit]');
  const reply = await panel(page, 'capture');
  assert.equal(reply.text,
    '\n>>>>>>HDMI input\nRead: detect format\nautodetect: sdk control\nFormat: 1920x1080,60HZ\n\n' +
    '\nSet: fix format capture\n' +
    '\n>>>>>>HDMI input\nRead: fix format capture\nSet format: 1920x1080,60HZ\n\n' +
    '\nSet: auto reboot\n');
  assert.equal(reply.state, 'ok');
  assert.equal(readRoot('mnt/format.ini', 'latin1'), '1 23');
  assert.equal(readRoot('mnt/qiehuan', 'latin1'), '1\n');
  assert.deepEqual(calls(), ['sync', 'sync', 'sync', 'sync']);
});

test('the capture menus post their values and the device writes them', async () => {
  const { page } = await openPage();
  await page.selectOption('#menu_set_vga_mode', '41');
  await press(page, 'button[name=name29_submit]');
  let reply = await panel(page, 'capture');
  assert.ok(reply.text.startsWith('41\n'), reply.text);
  assert.ok(reply.text.endsWith('Format: SD,NTSC\n\n'), reply.text);
  assert.equal(readRoot('mnt/format.ini', 'latin1'), '0 41');
  await page.selectOption('#menu_set_signal_mode', '3');
  await press(page, 'button[name=name129_submit]');
  reply = await panel(page, 'capture');
  assert.ok(reply.text.startsWith('set signal format:3\n'), reply.text);
  assert.ok(reply.text.endsWith('set_signal_mode=3\nset vga format=41 ok\n'), reply.text);
  assert.equal(readRoot('mnt/mk120.ini', 'latin1'), '3');
});

test('the outputs form applies its switches in list order', async () => {
  const { page } = await openPage();
  await page.check('#ctrlez-rtmp');
  await page.check('#ctrldz-on');
  await page.check('#ctrlaz-http');
  await press(page, '#outputs button[name=codec_submit]');
  const reply = await panel(page, 'outputs');
  assert.equal(reply.text, 'enable ts output, mode: http\nenable stream tag output\nenable rtmp\n');
  assert.equal(readRoot('mnt/ts.ini', 'latin1'), '0\n');
  assert.equal(readRoot('mnt/httpts.ini', 'latin1'), '1\n');
  assert.equal(readRoot('mnt/tcp.ini', 'latin1'), '1\n');
  assert.equal(readRoot('mnt/rtsp.ini', 'latin1'), '1\n');
  assert.equal(readRoot('mnt/rtsporrtmp.ini', 'latin1'), '1\n');
});

test('changing the address posts it and the boot script holds the new address', async () => {
  const { page } = await openPage();
  const before = readRoot('mnt/autorun.sh', 'latin1');
  await page.fill('#ip', '192.168.1.77');
  await press(page, 'button[name=name1_submit]');
  const reply = await panel(page, 'network');
  assert.ok(reply.text.startsWith('set ip:192.168.1.77\n'), reply.text);
  assert.ok(reply.text.endsWith('set ok\n'), reply.text);
  assert.equal(reply.state, 'ok');
  const after = readRoot('mnt/autorun.sh', 'latin1');
  assert.equal(after, before.replace(/^ip=.*\n/, 'ip=192.168.1.77\n'));
  assert.equal(readRoot('mnt/autorun.sh.swp', 'latin1'), before);
});

test('an over-long value shows "error len" and changes nothing', async () => {
  const { page } = await openPage();
  // The page's own limit is only a hint: a client without it reaches the
  // device, which refuses the value.
  await page.$eval('#ttl', (el) => el.removeAttribute('maxlength'));
  await page.fill('#ttl', '7'.repeat(1024));
  await press(page, 'button[name=ttl_submit]');
  let reply = await panel(page, 'encoder');
  assert.equal(reply.text, 'error len');
  assert.equal(reply.state, 'problem');
  assert.deepEqual(reply.marks, ['error len']);
  assert.match(reply.head, /too long/);
  assert.equal(readRoot('mnt/ttl.ini', 'latin1'), '64');
  // An empty value is refused too, and marked the same way.
  await page.fill('#ttl', '');
  await press(page, 'button[name=ttl_submit]');
  reply = await panel(page, 'encoder');
  assert.equal(reply.text, 'input empty');
  assert.deepEqual(reply.marks, ['input empty']);
  assert.match(reply.head, /empty/);
  assert.equal(readRoot('mnt/ttl.ini', 'latin1'), '64');
});

test('an address longer than the boot script holds shows "error len" and leaves the script', async () => {
  const { page } = await openPage();
  const before = readRoot('mnt/autorun.sh', 'latin1');
  await page.$eval('#ip', (el) => el.removeAttribute('maxlength'));
  await page.fill('#ip', '192.168.100.200.1234');  // 20 characters
  await press(page, 'button[name=name1_submit]');
  const reply = await panel(page, 'network');
  assert.equal(reply.text, 'error len');
  assert.equal(reply.state, 'problem');
  assert.equal(readRoot('mnt/autorun.sh', 'latin1'), before);
});

test('an address holding a shell character shows "error char" and leaves the script', async () => {
  const { page } = await openPage();
  const before = readRoot('mnt/autorun.sh', 'latin1');
  await page.fill('#ip', '1.2.3.4;reboot');
  await press(page, 'button[name=name1_submit]');
  const reply = await panel(page, 'network');
  assert.equal(reply.text, 'error char');
  assert.deepEqual(reply.marks, ['error char']);
  assert.match(reply.head, /not allowed/);
  assert.equal(readRoot('mnt/autorun.sh', 'latin1'), before);
  assert.deepEqual(calls(), []);
});

test('an invalid MAC shows the failure line and leaves mac.sh as it was', async () => {
  const { page } = await openPage();
  const before = readRoot('mnt/mac.sh', 'latin1');
  await page.fill('#mac', '02-1a-2b-3c-4d-5e');
  await press(page, 'button[name=mac_submit]');
  let reply = await panel(page, 'network');
  assert.equal(reply.text,
    'set mac=02-1a-2b-3c-4d-5e\nset failed, please check your typed mac address and try again!\n');
  assert.equal(reply.state, 'problem');
  assert.deepEqual(reply.marks, ['set failed']);
  assert.equal(readRoot('mnt/mac.sh', 'latin1'), before);
  await page.fill('#mac', '02:AB:cd:00:11:22');
  await press(page, 'button[name=mac_submit]');
  reply = await panel(page, 'network');
  assert.equal(reply.text, 'set mac=02:AB:cd:00:11:22\nmac check pass...\nset ok\n');
  assert.equal(reply.state, 'ok');
  assert.equal(readRoot('mnt/mac.sh', 'latin1'), 'ifconfig eth0 hw ether 02:AB:cd:00:11:22\n');
});

test('a Chinese subtitle is set and read back through sub_v', async () => {
  const { page } = await openPage();
  await page.fill('#sub_text', '你好世界');
  await press(page, 'button[name=sub_submit]');
  let reply = await panel(page, 'subtitle');
  assert.equal(reply.text, 'set sub:你好世界\nset ok\n');
  // Stored in GB2312, behind the unchanged switch and position.
  assert.deepEqual(readRoot('mnt/zk.ini'),
    Buffer.concat([Buffer.from('1 100 960 '), Buffer.from([0xc4, 0xe3, 0xba, 0xc3, 0xca, 0xc0, 0xbd, 0xe7])]));
  await page.fill('#sub_text', '');
  await press(page, 'button[name=sub_v]');
  reply = await panel(page, 'subtitle');
  assert.equal(reply.text, 'subtitle:enable\nfont:big\nx:100\ny:960\nsubtitle value:你好世界\n');
  assert.equal(await page.inputValue('#sub_text'), '你好世界');
});

test('moving an overlay window rewrites only its position', async () => {
  const { page } = await openPage();
  assert.equal(await page.inputValue('#mg_x'), '32');
  await page.fill('#mg_x', '640');
  await page.fill('#mg_y', '360');
  await press(page, 'button[name=mg_xy]');
  assert.equal((await panel(page, 'overlays')).text, 'set x=640,y=360\n');
  assert.equal(readRoot('mnt/m.ini', 'latin1'), '1 640 360 320 180 0 1568 32 320 180');
});

test('the 3.5 mm volume is written into both channel lines of the volume control', async () => {
  const { page } = await openPage();
  const before = readRoot('mnt/asound.state', 'latin1');
  await page.fill('#volume', '75');
  await press(page, 'button[name=name_volume_submit]');
  assert.equal((await panel(page, 'audio')).text, 'set volume:75\n');
  const block = nthBraceOffset(before, 27);
  const expected = before.slice(0, block) +
    before.slice(block).replace('value.0 80\n', 'value.0 75\n').replace('value.1 80\n', 'value.1 75\n');
  assert.equal(readRoot('mnt/asound.state', 'latin1'), expected);
});

test('Enter in a field posts that field\'s own command, and Tab moves on to its button', async () => {
  const { page } = await openPage();
  await page.focus('#idr');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.name), 'nameidr_submit');
  await page.keyboard.press('Shift+Tab');
  await page.keyboard.type('75');
  const answered = page.waitForResponse((r) => r.url().endsWith('/cgi-bin/webcfg.cgi'));
  await page.keyboard.press('Enter');
  const response = await answered;
  assert.equal(response.request().postData(), 'idr=75&nameidr_submit=');
  await page.waitForFunction(() => document.querySelector('#encoder .reply-text').textContent !== '');
  assert.equal((await panel(page, 'encoder')).text, 'set idr frame num:75\n');
  assert.equal(readRoot('mnt/idr.ini', 'latin1'), '75');
});

test('reboot and the codec template swap ask first, and cancelling sends nothing', async () => {
  const { page, requests } = await openPage();
  const sent = requests.length;
  let question = '';
  page.once('dialog', (d) => { question = d.message(); d.dismiss(); });
  await page.click('button[name=name5_submit]');
  await page.waitForFunction(() => /cancelled/.test(document.querySelector('#status .reply-text').textContent));
  assert.match(question, /Reboot the device now\?/);
  await page.check('#ctrlts-aac');
  page.once('dialog', (d) => { question = d.message(); d.dismiss(); });
  await page.click('#audio form[data-confirm] button[name=codec_submit]');
  await page.waitForFunction(() => /cancelled/.test(document.querySelector('#audio .reply-text').textContent));
  assert.match(question, /Replace the boot script/);
  assert.equal(requests.length, sent);
  assert.deepEqual(calls(), []);
});

test('switching the audio codec copies its template and the default files', async () => {
  const { page } = await openPage();
  await page.check('#ctrlts-mp3');
  page.once('dialog', (d) => d.accept());
  await press(page, '#audio form[data-confirm] button[name=codec_submit]');
  assert.equal((await panel(page, 'audio')).text, 'h264 and mp3)\n');
  assert.equal(readRoot('mnt/autorun.sh', 'latin1'), readRoot('mnt/autorun.sh.h264.mp3.org', 'latin1'));
  assert.equal(readRoot('mnt/rtsp.ini', 'latin1'), readRoot('mnt/dfc/rtsp.ini', 'latin1'));
  assert.equal(readRoot('mnt/kovra_encLevel.ini', 'latin1'), '40\n');
});

test('confirming the reboot runs the reboot program once', async () => {
  const { page } = await openPage();
  page.once('dialog', (d) => d.accept());
  await press(page, 'button[name=name5_submit]');
  assert.equal((await panel(page, 'status')).text, 'reboot now\n');
  assert.deepEqual(calls().filter((c) => c.startsWith('reboot')), ['reboot']);
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

test('on a phone-width screen nothing overflows sideways', async () => {
  const { page } = await openPage();
  await page.setViewportSize({ width: 360, height: 740 });
  const overflow = await page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const wide = [...document.querySelectorAll('input, select, button, label, .reply')]
      .filter((el) => el.getClientRects().length && !el.closest('.vh'))
      .filter((el) => { const r = el.getBoundingClientRect(); return r.left < 0 || r.right > width + 0.5; })
      .map((el) => el.id || el.name || el.className);
    return { scroll: document.documentElement.scrollWidth, width, wide };
  });
  assert.deepEqual(overflow.wide, []);
  assert.ok(overflow.scroll <= overflow.width, `page is ${overflow.scroll}px wide`);
  await page.screenshot({ path: path.join(ARTIFACTS, 'page-phone.png'), fullPage: true });
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

