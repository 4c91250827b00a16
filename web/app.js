// Posts each form with fetch and shows the device's plain-text reply beside
// it; fills the fields from the device's reports. Without this script the
// forms post normally and the browser shows the reply page instead.
'use strict';

(function () {
  const root = document.documentElement;
  root.classList.remove('no-js');
  root.classList.add('js');

  // Texts of the device that mean a value was refused or something failed,
  // with what to tell the user. Matched anywhere: some have no line end.
  const PROBLEMS = [
    ['error len', 'the value is too long'],
    ['error char', 'the value holds a character that is not allowed'],
    ['error value', 'the device cannot use this value'],
    ['input empty', 'the value is empty'],
    ["Can't open file", 'a settings file could not be opened'],
    ['can not open file', 'a settings file could not be opened'],
    ['set failed', 'the value was not accepted'],
    ["mac's length is illegal", 'a MAC address has 17 characters'],
    ['The value is invalid or out of range.', 'the value is out of range'],
    ['Set out of range', 'the format is out of range'],
  ];
  const CONVERSION = /erro1?=-?\d+/;  // subtitle text not fully converted
  const PROBLEM_RE = new RegExp(
    PROBLEMS.map(([text]) => text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')).join('|') +
      '|' + CONVERSION.source,
    'g');

  function problemsIn(text) {
    const found = [];
    for (const [needle, meaning] of PROBLEMS)
      if (text.includes(needle) && !found.includes(meaning)) found.push(meaning);
    if (CONVERSION.test(text)) found.push('the subtitle text could not be fully converted');
    return found;
  }

  // The reply with every problem text wrapped in <mark>.
  function renderReply(pre, text) {
    pre.textContent = '';
    let at = 0;
    for (const m of text.matchAll(PROBLEM_RE)) {
      pre.append(text.slice(at, m.index));
      const mark = document.createElement('mark');
      mark.className = 'problem';
      mark.textContent = m[0];
      pre.append(mark);
      at = m.index + m[0].length;
    }
    pre.append(text.slice(at));
  }

  function panelOf(form) {
    return form.closest('.card').querySelector('.reply');
  }

  function showReply(panel, title, text, failure) {
    const head = panel.querySelector('.reply-head');
    const pre = panel.querySelector('.reply-text');
    const problems = failure ? [failure] : problemsIn(text);
    panel.dataset.state = problems.length ? 'problem' : 'ok';
    head.textContent = problems.length
      ? `${title}: problem: ${problems.join('; ')}`
      : `${title}: reply of the device`;
    if (failure) pre.textContent = '';
    else if (text === '') pre.textContent = '(empty reply: the device did nothing, for example because no choice was made)';
    else renderReply(pre, text);
  }

  function buttonTitle(button) {
    return button ? button.textContent.replace(/\s+/g, ' ').trim() : 'Request';
  }

  // The form's fields as a browser would post them, with the button used.
  function bodyOf(form, submitter) {
    const body = new URLSearchParams();
    for (const [name, value] of new FormData(form))
      if (typeof value === 'string') body.append(name, value);
    if (submitter && submitter.name) body.append(submitter.name, submitter.value);
    return body;
  }

  async function post(form, submitter) {
    const response = await fetch(form.action, {
      method: 'POST',
      body: bodyOf(form, submitter),
      credentials: 'same-origin',
      cache: 'no-store',
    });
    const text = await response.text();
    if (!response.ok) throw new Error(`HTTP status ${response.status}`);
    return text;
  }

  const FILLERS = {
    status: fillFromStatus,
    overlays: fillFromOverlays,
    subtitle: fillFromSubtitle,
  };

  // On a narrow screen the panel sits below the section's forms.
  function reveal(panel) {
    const r = panel.getBoundingClientRect();
    if (r.top < 0 || r.bottom > window.innerHeight) panel.scrollIntoView({ block: 'nearest' });
  }

  async function send(form, submitter, { quiet = false } = {}) {
    const panel = panelOf(form);
    const title = buttonTitle(submitter);
    const buttons = form.querySelectorAll('button');
    buttons.forEach((b) => { b.disabled = true; });
    panel.setAttribute('aria-busy', 'true');
    try {
      const text = await post(form, submitter);
      showReply(panel, title, text);
      if (!quiet) reveal(panel);
      const fill = FILLERS[form.dataset.fill];
      if (fill) fill(text);
      return text;
    } catch (err) {
      showReply(panel, title, '', `the request failed (${err.message})`);
      return null;
    } finally {
      panel.removeAttribute('aria-busy');
      buttons.forEach((b) => { b.disabled = false; });
    }
  }

  document.addEventListener('submit', (event) => {
    const form = event.target;
    if (!(form instanceof HTMLFormElement)) return;
    event.preventDefault();
    const submitter = event.submitter || form.querySelector('button[type=submit]');
    // A form of choices asks only when something was chosen.
    const chosen = !form.querySelector('input[type=radio]') || form.querySelector('input[type=radio]:checked');
    if (form.dataset.confirm && chosen && !window.confirm(form.dataset.confirm)) {
      showReply(panelOf(form), buttonTitle(submitter), '(cancelled: nothing was sent)');
      return;
    }
    send(form, submitter);
  });

  // ---- Filling fields from the device's reports ----

  function setField(id, value) {
    const el = document.getElementById(id);
    if (el && value !== undefined && value !== null) el.value = String(value);
  }

  function check(id) {
    const el = document.getElementById(id);
    if (el) el.checked = true;
  }

  function selectByText(id, text) {
    const select = document.getElementById(id);
    if (!select) return;
    for (const option of select.options)
      if (option.textContent.trim() === text.trim()) { select.value = option.value; return; }
  }

  function unquote(text) {
    return text.length >= 2 && text.startsWith('"') && text.endsWith('"') ? text.slice(1, -1) : text;
  }

  const INPUT_LINES = [
    [/^>>>>>>VGA input/, '0'],
    [/^>>>>>>DVI-D input/, '1'],
    [/^>>>>>>HDMI input/, '2'],
    [/^>>>>>>BNC input/, '3'],
    [/^>>>>>>YPbPr input/, '4'],
  ];

  const LEVELS = {
    '5.0': '50', '4.2': '42', '4.1': '41', '4.0': '40', '3.2': '32', '3.1': '31', '3.0': '30',
    '2.2': '22', '2.1': '21', '2.0': '20', '1.3': '13', '1.2': '12', '1.1': '11', '1.b': '9', '1.0': '10',
  };

  // Whole-line facts of the status report and what each one sets.
  const STATUS_FLAGS = {
    'wifi: enable': 'ifwifi-on',
    'wifi: disable': 'ifwifi-off',
    'Read: fix format capture': 'ctrlau-fixed',
    'Read: detect format': 'ctrlau-detect',
    'autodetect: auto reboot': 'ctrlax-reboot',
    'autodetect: sdk control': 'ctrlax-sdk',
    'H264 encode select: High Profile': 'ctrlbz-high',
    'H264 encode select: Main Profile': 'ctrlbz-main',
    'H264 encode select: Baseline Profile': 'ctrlbz-baseline',
    'H264 encode select: High Quality Mode': 'ctrlcz-quality',
    'H264 encode select: High Speed Mode': 'ctrlcz-speed',
    'ts output: disable': 'ctrlaz-off',
    'ts output: enable': 'ctrlaz-udp',
    'ts output: enable, mode: udp': 'ctrlaz-udp',
    'ts output: enable, mode: http': 'ctrlaz-http',
    'tcp stream tag output: enable': 'ctrldz-on',
    'tcp stream tag output: disable': 'ctrldz-off',
    'rtsp server and rtmp: disable': 'ctrlez-off',
    'rtsp server: enable': 'ctrlez-rtsp',
    'rtmp: enable': 'ctrlez-rtmp',
    'enable video sclaing': 'selvs-on',
    'disable video sclaing': 'selvs-off',
    'audio in: hdmi': 'audioin-digital',
    'audio in: sdi': 'audioin-digital',
    'audio in: 3.5': 'audioin-analog',
  };

  // Value lines of the status report: pattern, then what to do with the match.
  const STATUS_VALUES = [
    [/^ip=(.*)$/, (m) => setField('ip', m[1])],
    [/^netmask=(.*)$/, (m) => setField('netmask', m[1])],
    [/^gateway=(.*)$/, (m) => setField('gateway', m[1])],
    [/^ssid=(.*)$/, (m) => setField('ssid', unquote(m[1]))],
    [/^wifi ip=(.*)$/, (m) => setField('wifi_ip', m[1])],
    [/^ttl=(-?\d+)$/, (m) => setField('ttl', m[1])],
    [/^ts receive ip=(.*)$/, (m) => setField('tz', m[1])],
    [/^ts receive port=(-?\d+)$/, (m) => setField('tc', m[1])],
    [/^(?:Set format|Format): (.+)$/, (m) => selectByText('menu_set_vga_mode', m[1])],
    [/^bitrate=(-?\d+)$/, (m) => setField('bitrate', m[1])],
    [/^framerate=(-?\d+)$/, (m) => setField('framerate', m[1])],
    [/^I frame num=(-?\d+),IDR frame num=(-?\d+)$/, (m) => { setField('fi', m[1]); setField('idr', m[2]); }],
    [/^H264 Max Delay: (-?\d+)ms$/, (m) => { if (Number(m[1]) % 100 === 0) setField('cvbr', Number(m[1]) / 100); }],
    [/^H264 encode standard: Level (\S+)$/, (m) => { if (LEVELS[m[1]]) setField('menu_encst', LEVELS[m[1]]); }],
    [/^rtmp live url: (.*)$/, (m) => setField('rtmpurl', m[1])],
    [/^video sclaing width=(-?\d+)$/, (m) => setField('vs_width', m[1])],
    [/^video sclaing height=(-?\d+)$/, (m) => setField('vs_height', m[1])],
    [/^audio enable=(-?\d+)$/, (m) => {
      if (m[1] === '1') check('audioen-on');
      else if (m[1] === '2') check('audioen-off');
    }],
    [/^3\.5 audio volume\+:(-?\d+)$/, (m) => setField('volume', m[1])],
    [/^audio sample=(-?\d+)$/, (m) => setField('audiosample', m[1])],
    [/^audio bitrate=(-?\d+)$/, (m) => setField('audiobitrate', m[1])],
  ];

  function fillFromStatus(text) {
    for (const raw of text.split(/\r?\n/)) {
      const line = raw.replace(/\s+$/, '');
      if (STATUS_FLAGS[line]) check(STATUS_FLAGS[line]);
      if (line === 'audio in: sdi' || line === 'audio in: hdmi') {
        const label = document.getElementById('audioin-digital-text');
        if (label) label.textContent = `Embedded audio of the ${line.endsWith('sdi') ? 'SDI' : 'HDMI'} input`;
      }
      for (const [re, act] of INPUT_LINES) if (re.test(line)) setField('menu_set_signal_mode', act);
      for (const [re, act] of STATUS_VALUES) {
        const m = re.exec(line);
        if (m) act(m);
      }
    }
  }

  function fillFromOverlays(text) {
    for (const raw of text.split(/\r?\n/)) {
      const line = raw.trim();
      const flag = /^(mg|gx) (enable|disable)$/.exec(line);
      if (flag) check(`${flag[1]}_a-${flag[2] === 'enable' ? 'on' : 'off'}`);
      const value = /^(mg|gx) (x|y|width|height)=(-?\d+)$/.exec(line);
      if (value) setField(`${value[1]}_${value[2][0]}`, value[3]);
    }
  }

  function fillFromSubtitle(text) {
    const partial = CONVERSION.test(text);
    for (const raw of text.split(/\r?\n/)) {
      if (raw === 'subtitle:enable') check('sub_a-on');
      else if (raw === 'subtitle:disable') check('sub_a-off');
      else if (raw === 'font:big') check('sub_z-big');
      else if (raw === 'font:small') check('sub_z-small');
      let m;
      if ((m = /^x:(-?\d+)$/.exec(raw))) setField('s_x', m[1]);
      if ((m = /^y:(-?\d+)$/.exec(raw))) setField('s_y', m[1]);
      // A text that was cut by a conversion error is not put back in the field.
      if ((m = /^subtitle value:(.*)$/.exec(raw)) && !partial) setField('sub_text', m[1]);
    }
  }

  // For the tests and for anyone reading reports by hand.
  window.webcfg = { fillFromStatus, fillFromOverlays, fillFromSubtitle, problemsIn };

  // ---- Page start ----

  // The confirmation checkbox is for browsers without scripts; here the
  // reboot button asks instead.
  for (const box of document.querySelectorAll('.no-js-only input')) {
    box.required = false;
    box.disabled = true;
  }

  async function loadReports() {
    for (const kind of ['status', 'overlays', 'subtitle']) {
      const form = document.querySelector(`form[data-fill="${kind}"]`);
      if (form) await send(form, form.querySelector('button[type=submit]'), { quiet: true });
    }
    root.dataset.loaded = 'true';
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', loadReports);
  else loadReports();
})();
