// ravelin remote panel: shows what the status frame publishes in window.status, keeps the two
// frames alive and sends new set values. The page head has set window.ravelinPanel up.
(function () {
  'use strict';

  var panel = window.ravelinPanel;
  var base = panel.base;
  var DAT_URL = base + 'index.php?cl=dat';
  var MKF_URL = base + 'index.php?cl=mkf';
  var REG_URL = base + 'index.php?cl=reg&rn=sq';
  // Without a reading for this long (or three reload cycles, if they are slower) the figures
  // on screen are no longer the device's: say so instead of showing a frozen value.
  var STALE_MIN_MS = 2500;
  var RETRY_MS = 3000;

  var $ = function (id) { return document.getElementById(id); };
  var root = $('panel');
  var datFrame = $('dat-frame');
  var mkfFrame = $('mkf-frame');
  var regFrame = $('reg-frame');
  var loadedAt = Date.now();
  var lastRetry = 0;
  var state = '';
  var shownSq = null;

  // --- numbers --------------------------------------------------------------------------------

  // The program's text-to-number rule: leading blanks, a sign, digits with at most one point;
  // whatever follows is ignored; no number gives 0.
  function textToNumber(text) {
    var m = /^ *([+-]?)(\d+\.?\d*|\.\d+)/.exec(String(text));
    if (!m) return 0;
    var v = parseFloat(m[2]);
    return m[1] === '-' ? -v : v;
  }

  // Raw units to percent of full scale (x * 100 / 4096), four decimals, halves away from zero.
  // x * 15625 / 64 is the percent times 10^4 and exact for every whole raw value.
  function percentText(raw) {
    var x = textToNumber(raw);
    var scaled = Math.round(Math.abs(x) * 15625 / 64);
    if (!isFinite(scaled)) return '-';
    var s = String(scaled);
    while (s.length < 5) s = '0' + s;
    s = s.slice(0, -4) + '.' + s.slice(-4);
    return (x < 0 && scaled !== 0 ? '-' : '') + s;
  }

  // The four digits the device receives for a typed value, pinned to 0000..9999.
  function deviceDigits(text) {
    var v = textToNumber(text);
    var r = (v < 0 ? -1 : 1) * Math.round(Math.abs(v));
    r = Math.min(9999, Math.max(0, r));
    return ('000' + r).slice(-4);
  }

  function fixed4(v) {
    return typeof v === 'number' && isFinite(v) ? v.toFixed(4) : String(v);
  }

  // --- showing the published values ---------------------------------------------------------

  var MODE_NOTES = {
    '1': 'device reading',
    '2': 'set value, as sent',
  };

  function show() {
    var s = window.status;
    var has = Object.prototype.hasOwnProperty;
    if (has.call(s, 'sw')) {
      var sw = s.sw;
      $('sw-value').textContent = fixed4(sw);
      var pct = typeof sw === 'number' ? Math.max(0, Math.min(100, sw)) : 0;
      $('sw-bar').style.width = pct + '%';
    }
    var mode = has.call(s, 'mod') ? String(s.mod) : '';
    $('mode-now').textContent = mode === '' ? '-' : mode;
    $('sw-caption').textContent = mode === '2' ? 'Set value' : 'Reading';
    $('sw-note').textContent = MODE_NOTES[mode] ? 'mode ' + mode + ': ' + MODE_NOTES[mode]
                                                : 'mode ' + (mode || '?') + ': nothing published';
    lightKey(mode);

    if (has.call(s, 'sq')) {
      if (shownSq !== null && String(s.sq) !== shownSq) regFrame.src = REG_URL;  // changed elsewhere
      shownSq = String(s.sq);
      $('sq-raw').textContent = shownSq;
      var sqp = percentText(s.sq);
      $('sq-pct').textContent = sqp;
      var mark = $('sq-mark');
      var p = parseFloat(sqp);
      mark.style.display = isFinite(p) ? 'block' : 'none';
      mark.style.left = Math.max(0, Math.min(100, p)) + '%';
    }
  }

  function lightKey(mode) {
    var faces = document.querySelectorAll('.key-face, .key-labels li');
    for (var i = 0; i < faces.length; i++) {
      faces[i].classList.toggle('lit', faces[i].getAttribute('data-key') === mode);
    }
  }

  function median(list) {
    if (!list.length) return 0;
    var a = list.slice().sort(function (x, y) { return x - y; });
    return a[a.length >> 1];
  }

  function setState(next) {
    if (next === state) return;
    state = next;
    root.setAttribute('data-state', next);
    $('link-text').textContent = next === 'live' ? 'live' : next === 'stale' ? 'no data' : 'connecting\u2026';
    if (next === 'live') reviveKeys();
  }

  // Once a second, and whenever a value arrives: is the status frame still delivering?
  function watch() {
    var now = Date.now();
    var cycle = median(panel.intervals);
    var limit = Math.max(STALE_MIN_MS, 3 * cycle);
    var since = panel.last ? now - panel.last : now - loadedAt;
    if (panel.last && since <= limit) {
      setState('live');
    } else if (since > limit) {
      setState(panel.last ? 'stale' : 'waiting');
      if (since > limit && now - lastRetry > RETRY_MS) {
        // A failed reload leaves the frame on an error page that never reloads itself:
        // start it again so the panel recovers as soon as the program answers.
        lastRetry = now;
        datFrame.src = DAT_URL;
      }
    }
    $('last-update').textContent = panel.last
      ? 'last reading ' + (since / 1000).toFixed(1) + ' s ago'
      : 'no reading yet';
    $('cycle').textContent = cycle ? 'cycle ' + (cycle / 1000).toFixed(2) + ' s' : '';
  }

  panel.changed = function () {
    if (pending) return;
    pending = true;
    setTimeout(function () { pending = false; show(); watch(); }, 0);
  };
  var pending = false;

  // --- the mode key frame -------------------------------------------------------------------

  // The key frame shows the lit key itself; if it failed to load (the program was away when a
  // key was clicked) hide it, so no browser error page covers the keys, and load it again once
  // readings flow.
  function keysLoaded() {
    var ok = false;
    try {
      var doc = mkfFrame.contentDocument;
      ok = !!(doc && doc.querySelector('table'));
    } catch (e) {
      ok = false;
    }
    mkfFrame.classList.toggle('down', !ok);
    if (!ok) return;
    // The lit indicator tells the mode at once, a cycle before the status frame does.
    var leds = mkfFrame.contentDocument.querySelectorAll('img[width="7"]');
    for (var i = 0; i < leds.length; i++) {
      if (/modled/.test(leds[i].getAttribute('src'))) {
        $('mode-now').textContent = String(i + 1);
        lightKey(String(i + 1));
      }
    }
  }

  function reviveKeys() {
    if (mkfFrame.classList.contains('down')) mkfFrame.src = MKF_URL;
  }

  // --- sending a set value ------------------------------------------------------------------

  var form = $('send-form');
  var input = $('send-value');
  var note = $('send-note');

  function say(text, kind) {
    note.textContent = text;
    note.className = 'send-note' + (kind ? ' ' + kind : '');
  }

  input.addEventListener('input', function () {
    var t = input.value;
    if (t.trim() === '') { say('\u00a0'); return; }
    say('device receives Q=' + deviceDigits(t) + '  (' + percentText(t) + ' %)');
  });

  form.addEventListener('submit', function (ev) {
    ev.preventDefault();
    var t = input.value.trim();
    if (t === '' || !/^[+-]?(\d+\.?\d*|\.\d+)$/.test(t)) {
      say('enter a number, e.g. 2048', 'err');
      return;
    }
    var button = $('send-button');
    button.disabled = true;
    // The regulator page answers the request, so the command is confirmed by a real page; a
    // fetch (not a frame) so that no reload can ever repeat the command.
    var url = REG_URL + '&set=sq&va=' + encodeURIComponent(t);
    fetch(url, { cache: 'no-store' }).then(function (r) {
      if (!r.ok) throw new Error('HTTP ' + r.status);
      say('sent Q=' + deviceDigits(t), 'ok');
      regFrame.src = REG_URL;
    }).catch(function () {
      say('not sent: no answer from the program', 'err');
    }).then(function () {
      button.disabled = false;
    });
  });

  // --- start ----------------------------------------------------------------------------------

  mkfFrame.addEventListener('load', keysLoaded);
  mkfFrame.src = MKF_URL;
  regFrame.src = REG_URL;
  $('reg-link').href = REG_URL;
  datFrame.src = DAT_URL;
  lastRetry = Date.now();
  show();
  setInterval(watch, 250);
})();
