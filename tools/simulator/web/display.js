// Draws the simulator's screen state and follows it live: the page carries
// the state it was served with, then asks /state?after=VERSION, which
// answers as soon as the screen changes. When the simulator cannot be
// reached the screen stays as it was, a small mark says so, and the page
// tries again, less often each time, until the simulator answers; then it
// asks for the whole state (the simulator may have restarted).
// With ?debug a strip shows the counts, the warnings, a toggle per fault
// (the delays editable) and the last frames. ?screen=800x480 (or the
// simulator's --screen) draws the page at a panel's size; ?pole (--pole)
// adds what a 2 x 20 character pole display would show.
(function () {
  'use strict';

  var ROLES = ['surface', 'onSurface', 'onSurfaceVariant', 'primary', 'onPrimary', 'primaryContainer',
    'onPrimaryContainer', 'secondary', 'onSecondary', 'outlineVariant'];
  var debug = /[?&]debug\b/.test(location.search);
  // ?once: draw nothing from the page itself, ask /state once and stop (a
  // check of the live path for tests).
  var once = /[?&]once\b/.test(location.search);
  var version = 0;
  var shownLineCount = -1;
  var WAIT_MS = 20000;
  var RETRY_FIRST_MS = 500;
  var RETRY_MAX_MS = 5000;
  var retryMs = 0;  // 0 while the simulator answers
  // The faults the ?debug strip switches; a delay is switched on with "on" ms.
  var FAULTS = [
    { name: 'refuse', label: 'refuse' },
    { name: 'noReply', label: 'no reply' },
    { name: 'replyDelay', label: 'reply delay', on: 2000 },
    { name: 'closeBeforeEtx', label: 'close before ETX' },
    { name: 'stopReading', label: 'stop reading' },
    { name: 'trickle', label: 'trickle', on: 200 }
  ];
  var param = function (name) {
    var match = new RegExp('[?&]' + name + '(?:=([^&]*))?(?:&|$)').exec(location.search);
    return match ? decodeURIComponent(match[1] || '') : null;
  };
  var screenParam = param('screen');
  var poleParam = param('pole') !== null;
  var panel = null;  // {width, height} of a preset panel, null: the window
  var POLE_WIDTH = 20;
  var framesVersion = -1;

  // The thousands separator of each Language (its decimal separator comes
  // with the amounts), and the usual symbol of a currency code.
  var GROUPS = { en: ',', de: '.', fr: '\u202f', es: '.', it: '.', nl: '.', pt: '.' };
  var SYMBOLS = { EUR: '\u20ac', GBP: '\u00a3', USD: '$', JPY: '\u00a5', CNY: '\u00a5', INR: '\u20b9',
    KRW: '\u20a9', ILS: '\u20aa', TRY: '\u20ba', RUB: '\u20bd', UAH: '\u20b4', PLN: 'z\u0142',
    VND: '\u20ab', NGN: '\u20a6', PHP: '\u20b1' };
  var language = 'en';

  function $(id) { return document.getElementById(id); }

  function setText(id, value) {
    var element = $(id);
    element.textContent = value || '';
    element.hidden = !value;
  }

  function setImage(id, ref) {
    var element = $(id);
    if (ref && ref.url) {
      if (element.getAttribute('src') !== ref.url) element.setAttribute('src', ref.url);
      element.hidden = false;
    } else {
      element.removeAttribute('src');
      element.hidden = true;
    }
  }

  // "1250000.00" -> "1,250,000.00" (en), "1.250.000,00" (de: the state
  // already writes the comma); any other text stays as it is.
  function money(text) {
    var match = /^(-?)(\d+)([.,]\d+)?$/.exec(text || '');
    if (!match) return text || '';
    var group = GROUPS[language] || ',';
    return match[1] + match[2].replace(/\B(?=(\d{3})+(?!\d))/g, group) + (match[3] || '');
  }

  function currencySymbol(code) {
    return SYMBOLS[(code || '').toUpperCase()] || code || '';
  }

  // A preset panel from "800x480", "portrait" or "landscape"; null for none.
  function parsePanel(spec) {
    if (!spec) return null;
    if (spec === 'portrait') return { width: 480, height: 800 };
    if (spec === 'landscape') return { width: 800, height: 480 };
    var match = /^(\d{3,4})x(\d{3,4})$/.exec(spec);
    return match ? { width: +match[1], height: +match[2] } : null;
  }

  function applyPanel(spec) {
    var next = parsePanel(spec);
    if (JSON.stringify(next) === JSON.stringify(panel)) return;
    panel = next;
    var root = document.documentElement;
    root.classList.toggle('panel', !!panel);
    ['--vw', '--vh', '--vmin'].forEach(function (name) { root.style.removeProperty(name); });
    if (panel) {
      root.style.setProperty('--vw', panel.width / 100 + 'px');
      root.style.setProperty('--vh', panel.height / 100 + 'px');
      root.style.setProperty('--vmin', Math.min(panel.width, panel.height) / 100 + 'px');
    }
    root.setAttribute('data-panel', panel ? panel.width + 'x' + panel.height : '');
    stack();
  }

  function screenWidth() { return panel ? panel.width : innerWidth; }
  function screenHeight() { return panel ? panel.height : innerHeight; }

  function kebab(role) { return '--' + role.replace(/[A-Z]/g, function (c) { return '-' + c.toLowerCase(); }); }

  function applySettings(state) {
    var settings = state.settings || {};
    var root = document.documentElement.style;
    var colors = settings.colors || {};
    // A role the state leaves empty (a restarted simulator before its first
    // Open) goes back to the page's default.
    ROLES.forEach(function (role) {
      if (colors[role]) root.setProperty(kebab(role), colors[role]); else root.removeProperty(kebab(role));
    });
    if (settings.fontName) root.setProperty('--font', '"' + settings.fontName.replace(/["\\<>]/g, '') + '"');
    else root.removeProperty('--font');
    var ratio = parseFloat(settings.contentRatio);
    if (ratio > 0 && ratio < 1) ratio *= 100;
    root.setProperty('--side', ratio >= 15 && ratio <= 85 ? ratio + '%' : '38%');
    language = (settings.language || 'en').slice(0, 2).toLowerCase();
    document.documentElement.lang = language;
    var display = $('display');
    display.setAttribute('data-layout', settings.layout === '1' ? '1' : '0');
    stack();
    display.setAttribute('data-mode', settings.mode || '');
  }

  // Layout 1 puts the totals under the lines; so does a portrait screen,
  // where a side column would leave the total too narrow to read.
  function stack() {
    var display = $('display');
    var stacked = display.getAttribute('data-layout') === '1' || screenHeight() > screenWidth();
    if (stacked) display.setAttribute('data-stacked', ''); else display.removeAttribute('data-stacked');
  }

  function renderIdle(state) {
    var settings = state.settings || {};
    var content = state.content || {};
    var video = $('idle-video');
    var videoUrl = settings.idleVideoUrl || '';
    if (videoUrl) {
      if (video.getAttribute('src') !== videoUrl) video.setAttribute('src', videoUrl);
      video.hidden = false;
    } else {
      video.removeAttribute('src');
      video.hidden = true;
    }
    $('view-idle').classList.toggle('has-video', !!videoUrl);
    $('display').classList.toggle('video-only', !!(videoUrl && settings.showOnlyVideo));
    setImage('idle-image', content.image);
    setImage('idle-logo', content.image ? null : state.logo);
    setText('idle-text1', content.text1);
    setText('idle-text2', content.text2);
  }

  function renderMessage(state) {
    var content = state.content || {};
    setImage('message-image', content.image);
    setText('message-text1', content.text1);
    setText('message-text2', content.text2);
  }

  function lineElement(line, newest) {
    var item = document.createElement('li');
    item.className = 'line kind-' + (line.kind || 'sale') + (newest ? ' newest' : '');
    var desc = document.createElement('div');
    desc.className = 'desc';
    var description = document.createElement('span');
    description.className = 'description';
    description.textContent = line.description || line.code || '';
    desc.appendChild(description);
    if (line.kind !== 'text' && line.quantity && line.quantity !== '1' && line.quantity !== '0') {
      var detail = document.createElement('span');
      detail.className = 'detail';
      detail.textContent = line.quantity + ' \u00d7 ' + money(line.price);
      desc.appendChild(detail);
    }
    item.appendChild(desc);
    if (line.kind !== 'text') {
      var amount = document.createElement('span');
      amount.className = 'amount';
      amount.textContent = money(line.amount);
      item.appendChild(amount);
    }
    return item;
  }

  // What holds an amount (or a value) on one line.
  var FITTED = '.total-value, .sum dd, .card-value, .line .amount, .payments .amount';

  // Shrinks the text of each such element on the screen until it fits its
  // box: an amount is made smaller, never cut.
  function fit(element) {
    element.style.fontSize = '';
    if (!element.getClientRects().length) return;  // not on the screen
    for (var i = 0; i < 8; ++i) {
      var room = element.clientWidth;
      var need = element.scrollWidth;
      if (need <= room || room <= 0) break;
      var size = parseFloat(getComputedStyle(element).fontSize);
      element.style.fontSize = Math.max(1, Math.floor(size * room / need * 10) / 10 - 0.2) + 'px';
    }
  }

  function fitAll() {
    Array.prototype.forEach.call(document.querySelectorAll(FITTED), fit);
  }

  // The newest line stays in view.
  function scrollToNewest(smooth) {
    var panel = $('lines-panel');
    if (!panel.getClientRects().length) return;
    panel.scrollTo({ top: panel.scrollHeight, behavior: smooth ? 'smooth' : 'auto' });
    if (smooth) return;
    // For tests: whether the list overflows, and whether its end is in view.
    var overflows = panel.scrollHeight > panel.clientHeight;
    var atEnd = panel.scrollTop + panel.clientHeight >= panel.scrollHeight - 1;
    panel.setAttribute('data-scroll', overflows ? (atEnd ? 'end' : 'elsewhere') : 'none');
  }

  function renderReceipt(state) {
    var receipt = state.receipt || { lines: [], payments: [] };
    var labels = state.labels || {};
    var list = $('lines');
    var lines = receipt.lines || [];
    var fragment = document.createDocumentFragment();
    var grew = lines.length > shownLineCount;
    lines.forEach(function (line, index) {
      fragment.appendChild(lineElement(line, grew && index === lines.length - 1));
    });
    list.replaceChildren(fragment);
    shownLineCount = lines.length;

    setImage('receipt-image', receipt.image || null);
    setText('receipt-text1', receipt.text1);
    setText('receipt-text2', receipt.text2);
    $('label-subtotal').textContent = labels.subtotal || 'Subtotal';
    $('label-taxes').textContent = labels.taxes || 'Taxes';
    $('label-total').textContent = labels.total || 'Total';
    $('label-payments').textContent = labels.payments || 'Payments';
    $('subtotal').textContent = money(receipt.subtotal);
    $('taxes').textContent = money(receipt.taxes);
    $('row-taxes').hidden = !receipt.showTaxes;
    $('total-currency').textContent = currencySymbol(receipt.currency);
    $('total-currency').title = receipt.currency || '';
    $('total').textContent = money(receipt.total);

    var payments = receipt.payments || [];
    var paymentList = $('payments');
    paymentList.replaceChildren();
    payments.forEach(function (payment) {
      var item = document.createElement('li');
      item.className = payment.kind === 'change' ? 'change' : 'payment';
      var name = document.createElement('span');
      name.textContent = payment.text1 || (payment.kind === 'change' ? labels.change : payment.type) || '';
      var amount = document.createElement('span');
      amount.className = 'amount';
      amount.textContent = money(payment.amount);
      item.appendChild(name);
      item.appendChild(amount);
      paymentList.appendChild(item);
    });
    $('payments-box').hidden = !(receipt.showPayments && payments.length);
  }

  function renderThankyou(state) {
    var content = state.content || {};
    var labels = state.labels || {};
    setImage('thankyou-image', content.image);
    setImage('thankyou-logo', content.image ? null : state.logo);
    $('thankyou-text1').textContent = content.text1 || (content.text2 ? '' : labels.thankyou || 'Thank you');
    setText('thankyou-text2', content.text2);
  }

  function renderClosed(state) {
    var content = state.content || {};
    var labels = state.labels || {};
    setImage('closed-image', content.image);
    $('closed-text1').textContent = content.text1 || (content.text2 ? '' : labels.closed || 'Closed');
    setText('closed-text2', content.text2);
  }

  function renderDebug(state) {
    if (!debug) return;
    $('debug').hidden = false;
    var status = $('debug-status');
    status.textContent = 'screen ' + state.screen + ' \u00b7 version ' + state.version + ' \u00b7 ' +
      state.messages + ' messages \u00b7 ' + state.errors + ' errors';
    if (state.lastError) {
      var error = document.createElement('span');
      error.className = 'error';
      error.textContent = ' \u00b7 last error: ' + state.lastError;
      status.appendChild(error);
    }
    if (state.faults) showFaults(state.faults);
    var warnings = $('debug-warnings');
    warnings.replaceChildren();
    (state.warnings || []).forEach(function (text) {
      var warning = document.createElement('span');
      warning.className = 'warning';
      warning.textContent = '\u26a0 ' + text;
      warnings.appendChild(warning);
    });
    if (state.version !== framesVersion) {
      framesVersion = state.version;
      fetch('/frames', { cache: 'no-store' })
        .then(function (response) { return response.json(); })
        .then(showFrames)
        .catch(function () {});
    }
  }

  // The frame inspector: newest first, each with its answer and warnings,
  // and the JSON as received.
  function showFrames(frames) {
    var list = $('frame-list');
    list.replaceChildren();
    frames.slice().reverse().forEach(function (frame) {
      var item = document.createElement('li');
      var failed = !/^OK/.test(frame.answer);
      item.className = 'frame' + (failed ? ' failed' : frame.warnings.length ? ' warned' : '');
      var head = document.createElement('div');
      head.className = 'frame-head';
      head.textContent = frame.time.slice(11, 23) + ' \u00b7 ' + frame.peer + ' \u00b7 answer ' + frame.answer +
        (frame.faults !== 'none' ? ' \u00b7 faults: ' + frame.faults : '');
      item.appendChild(head);
      frame.warnings.forEach(function (text) {
        var warning = document.createElement('div');
        warning.className = 'warning';
        warning.textContent = '\u26a0 ' + text;
        item.appendChild(warning);
      });
      var text = document.createElement('pre');
      text.className = 'frame-text';
      var shown = frame.text;
      try { shown = JSON.stringify(JSON.parse(frame.text), null, 1); } catch (e) { /* as received */ }
      text.textContent = shown;
      item.appendChild(text);
      list.appendChild(item);
    });
    $('frames').querySelector('summary').textContent = 'last frames (' + frames.length + ')';
  }

  function faultLabel(fault) { return fault.on ? fault.label + ' (ms)' : fault.label; }

  // The delay a delay fault is switched on with: what its field says.
  function faultMs(fault) {
    var field = document.querySelector('.toggle[data-fault="' + fault.name + '"] .fault-ms');
    var value = field ? parseInt(field.value, 10) : NaN;
    return value > 0 ? Math.min(value, 3600000) : fault.on;
  }

  function buildToggles() {
    var row = $('fault-toggles');
    FAULTS.forEach(function (fault) {
      var toggle = document.createElement('label');
      toggle.className = 'toggle';
      toggle.setAttribute('data-fault', fault.name);
      var box = document.createElement('input');
      box.type = 'checkbox';
      box.name = fault.name;
      var text = document.createElement('span');
      text.textContent = faultLabel(fault);
      toggle.appendChild(box);
      toggle.appendChild(text);
      box.addEventListener('change', function () { switchFault(fault, toggle, box.checked); });
      if (fault.on) {
        // The delay, editable: a change while the fault is on applies at once.
        var field = document.createElement('input');
        field.type = 'number';
        field.min = '1';
        field.max = '3600000';
        field.step = '50';
        field.className = 'fault-ms';
        field.name = fault.name + 'Ms';
        field.value = fault.on;
        field.addEventListener('change', function () { if (box.checked) switchFault(fault, toggle, true); });
        toggle.appendChild(field);
      }
      row.appendChild(toggle);
    });
  }

  function showFaults(faults) {
    FAULTS.forEach(function (fault) {
      var toggle = document.querySelector('.toggle[data-fault="' + fault.name + '"]');
      if (!toggle || toggle.classList.contains('pending')) return;
      var value = faults[fault.name];
      var on = fault.on ? value > 0 : !!value;
      toggle.querySelector('input').checked = on;
      toggle.classList.toggle('on', on);
      var field = toggle.querySelector('.fault-ms');
      if (field && on && document.activeElement !== field) field.value = value;
    });
  }

  function switchFault(fault, toggle, on) {
    var change = {};
    change[fault.name] = fault.on ? (on ? faultMs(fault) : 0) : on;
    toggle.classList.add('pending');
    fetch('/faults', {
      method: 'POST',
      cache: 'no-store',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(change)
    })
      .then(function (response) {
        return response.json().then(function (body) {
          if (!response.ok) throw new Error(body.error || 'HTTP ' + response.status);
          return body;
        });
      })
      .then(function (faults) {
        toggle.classList.remove('pending');
        showFaults(faults);
      })
      .catch(function (error) {
        toggle.classList.remove('pending');
        toggle.querySelector('input').checked = !on;
        $('debug-status').textContent = 'cannot switch ' + fault.label + ': ' + error.message;
      });
  }

  // The 2 x 20 pole display: each line cut to 20 characters and aligned as
  // a pole display shows it (text left, amounts right, greetings centred).
  function chars(text) { return Array.from((text || '').replace(/[\r\n\t]/g, ' ')); }
  function cut(text) { return chars(text).slice(0, POLE_WIDTH).join(''); }
  function left(text) { var c = chars(cut(text)); return c.join('') + ' '.repeat(POLE_WIDTH - c.length); }
  function right(text) { var c = chars(cut(text)); return ' '.repeat(POLE_WIDTH - c.length) + c.join(''); }
  function centre(text) {
    var c = chars(cut(text));
    var before = Math.floor((POLE_WIDTH - c.length) / 2);
    return ' '.repeat(before) + c.join('') + ' '.repeat(POLE_WIDTH - c.length - before);
  }
  // aLeft, then aRight at the end: aLeft is cut to leave room.
  function spread(textLeft, textRight) {
    var r = chars(cut(textRight));
    var room = Math.max(0, POLE_WIDTH - r.length - 1);
    var l = chars(textLeft).slice(0, room);
    return l.join('') + ' '.repeat(POLE_WIDTH - l.length - r.length) + r.join('');
  }

  function poleLines(state) {
    var content = state.content || {};
    var labels = state.labels || {};
    switch (state.screen) {
      case 'message': return [left(content.text1), right(content.text2)];
      case 'receipt': {
        var receipt = state.receipt || { lines: [] };
        var lines = receipt.lines || [];
        var newest = lines[lines.length - 1];
        var first = newest ? spread(newest.description || newest.code, newest.kind === 'text' ? '' : money(newest.amount))
          : left('');
        return [first, spread(labels.total || 'Total', currencySymbol(receipt.currency) + ' ' + money(receipt.total))];
      }
      case 'idle': return [centre(content.text1), centre(content.text2)];
      case 'thankyou': return [centre(content.text1 || (content.text2 ? '' : labels.thankyou || 'Thank you')),
        centre(content.text2)];
      case 'closed': return [centre(content.text1 || (content.text2 ? '' : labels.closed || 'Closed')),
        centre(content.text2)];
      default: return [left(''), left('')];
    }
  }

  function renderPole(state) {
    var page = state.page || {};
    var shown = poleParam || !!page.pole;
    $('pole').hidden = !shown;
    if (!shown) return;
    var lines = poleLines(state);
    $('pole-line1').textContent = lines[0];
    $('pole-line2').textContent = lines[1];
  }

  function render(state) {
    if (!state) return;
    version = state.version;
    applyPanel(screenParam || (state.page && state.page.screen) || '');
    applySettings(state);
    var screen = state.screen || 'waiting';
    $('display').setAttribute('data-screen', screen);
    setImage('logo', state.logo);
    $('waiting-text').textContent = (state.labels && state.labels.waiting) || '';
    if (screen === 'idle') renderIdle(state);
    if (screen === 'message') renderMessage(state);
    if (screen === 'receipt') renderReceipt(state); else shownLineCount = -1;
    if (screen === 'thankyou') renderThankyou(state);
    if (screen === 'closed') renderClosed(state);
    renderPole(state);
    fitAll();
    if (screen === 'receipt') scrollToNewest(document.documentElement.classList.contains('live'));
    renderDebug(state);
  }

  function tick() {
    var now = new Date();
    $('clock').textContent = ('0' + now.getHours()).slice(-2) + ':' + ('0' + now.getMinutes()).slice(-2);
  }

  // The simulator answers again, or does not: the mark and the next wait.
  function linkUp() {
    retryMs = 0;
    $('display').removeAttribute('data-link');
    $('link').hidden = true;
  }

  function linkDown() {
    retryMs = retryMs ? Math.min(retryMs * 2, RETRY_MAX_MS) : RETRY_FIRST_MS;
    $('display').setAttribute('data-link', 'reconnecting');
    $('link').hidden = false;
  }

  function follow() {
    // After a failure the state at once, whatever its version.
    var waits = !once && !retryMs;
    var url = waits ? '/state?after=' + version + '&wait=' + WAIT_MS : '/state';
    // A simulator that stopped without closing must not hold the page.
    var controller = new AbortController();
    var limit = setTimeout(function () { controller.abort(); }, (waits ? WAIT_MS : 0) + 10000);
    fetch(url, { cache: 'no-store', signal: controller.signal })
      .then(function (response) {
        if (!response.ok) throw new Error('HTTP ' + response.status);
        return response.json();
      })
      .then(function (state) {
        clearTimeout(limit);
        linkUp();
        document.documentElement.classList.add('live');
        render(state);
        if (!once) follow();
      })
      .catch(function () {
        clearTimeout(limit);
        linkDown();
        setTimeout(follow, retryMs);
      });
  }

  tick();
  setInterval(tick, 10000);
  if (debug) buildToggles();
  applyPanel(screenParam || '');
  if (!once) render(window.KORVANE_STATE);
  // Another size of the screen: the amounts fit again, the newest line stays.
  window.addEventListener('resize', function () {
    stack();
    fitAll();
    scrollToNewest(false);
  });
  window.addEventListener('load', function () {
    fitAll();  // again, now that pictures and fonts have their sizes
    scrollToNewest(false);
    setTimeout(follow, 0);
  });
})();
