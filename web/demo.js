// The demo page: every panel drives the service through rfdock.js, and every failure is shown.

import { RfDock, RfDockError } from './rfdock.js';

const $ = (selector) => document.querySelector(selector);
let dock = null;

// --- output

function log(text, kind = '') {
  const line = document.createElement('div');
  if (kind) line.className = kind;
  line.textContent = `${new Date().toLocaleTimeString()}  ${text}`;
  const box = $('#log');
  box.prepend(line);
  while (box.childElementCount > 200) box.lastElementChild.remove();
}

function describe(error) {
  if (!(error instanceof RfDockError)) return String(error && error.message ? error.message : error);
  switch (error.kind) {
    case 'closed': return `No connection to the service: ${error.message}`;
    case 'timeout': return `The service did not answer in time: ${error.message}`;
    case 'cancelled': return `Cancelled: ${error.message}.`;
    case 'login': return `Login refused: ${error.description} (err ${error.err}: ${error.reply.msg})`;
    case 'reply': return `${error.description} (err ${error.err}: ${error.reply.msg})`;
    default: return error.message;
  }
}

// The reader's state line belongs to the slot it was written for: choosing another slot shows that
// slot's last line.
const slotStates = new Map();
const NO_READER = 'No reader created in this slot.';

function show(target, text, isError = false) {
  const element = typeof target === 'string' ? $(target) : target;
  element.textContent = text;
  element.classList.toggle('error', isError);
  if (target === '#reader-state') slotStates.set(rfIdx(), { text, isError });
}

function showSlotState() {
  const state = slotStates.get(rfIdx()) ?? { text: NO_READER, isError: false };
  show('#reader-state', state.text, state.isError);
}

// Runs one step of a panel; errors land in the panel's state line and in the log.
async function step(stateLine, work) {
  try {
    return await work();
  } catch (error) {
    show(stateLine, describe(error), true);
    log(describe(error), 'err');
    return undefined;
  }
}

// --- commands in flight: the header lists them after a moment, with a Cancel that stops the page's
// wait (the service still finishes what it started; its late replies are dropped).

const inFlight = new Map();
let nextFlight = 0;
let waitController = new AbortController();
let busyTimer = null;

function showBusy() {
  clearTimeout(busyTimer);
  busyTimer = null;
  $('#busy').hidden = inFlight.size === 0;
  $('#busy-what').textContent = [...inFlight.values()].join(', ');
}

async function track(label, work) {
  const id = nextFlight++;
  inFlight.set(id, label);
  // Quick commands never flash the indicator.
  if (!busyTimer && $('#busy').hidden) busyTimer = setTimeout(showBusy, 300);
  try {
    return await work(waitController.signal);
  } finally {
    inFlight.delete(id);
    if (inFlight.size === 0 || !$('#busy').hidden) showBusy();
  }
}

function cancelWaits() {
  waitController.abort();
  waitController = new AbortController();
}

async function call(code, fields = {}, options = {}) {
  const reply = await track(`command ${code}`, (signal) => dock.call(code, fields, { ...options, signal }));
  log(`${code} → ${JSON.stringify(reply)}`);
  return reply;
}

const rfIdx = () => Number($('#rf-idx').value);

// --- service status and connection

async function refreshStatus() {
  try {
    const status = await (await fetch('/status', { cache: 'no-store' })).json();
    show('#service', `${status.version ?? 'rfdock'} · ${status.build ?? ''}`);
  } catch {
    show('#service', 'The service does not answer.', true);
  }
}

function showConnection(state, reason = '') {
  const badge = $('#connection');
  badge.className = `badge ${state}`;
  badge.textContent = { open: 'connected', connecting: 'connecting …', closed: 'not connected' }[state];
  badge.title = reason;
  if (state !== 'open') document.body.classList.remove('logged-in');
}

async function connectAndLogin(event) {
  event.preventDefault();
  const form = event.target;
  const user = form.user.value;
  const pass = form.pass.value;
  if (dock) dock.close();
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  dock = new RfDock({ url: `${scheme}://${location.host}/` });
  dock.addEventListener('state', (e) => {
    showConnection(e.detail.state, e.detail.reason);
    if (e.detail.state === 'closed' && e.detail.reason) log(`Connection: ${e.detail.reason}`, 'err');
  });
  dock.addEventListener('reconnected', () => {
    document.body.classList.add('logged-in');
    log('Reconnected and logged in again; readers have to be created and opened again.', 'err');
  });
  dock.addEventListener('card', (e) => showCards(e.detail.retval));
  dock.addEventListener('event', (e) => log(`event ${JSON.stringify(e.detail)}`, 'evt'));
  dock.addEventListener('error', (e) => log(describe(e.detail), 'err'));
  // The badge says whether the connection is up; what the login came to has its own line.
  await step('#login-state', async () => {
    await dock.connect();
    await dock.login(user, pass);
    sessionStorage.setItem('rfdock-user', user);
    sessionStorage.setItem('rfdock-pass', pass);
    document.body.classList.add('logged-in');
    show('#login-state', `Logged in as ${user}.`);
    log(`Logged in as ${user}.`);
  });
}

// --- reader

const TYPE_NAMES = ['none', 'VD HID', 'VB serial', 'VC CH9326', 'VA HID', 'VC serial', 'VB CH340'];

// One numbering for a reader: the slot it is open in. Beside it the reader's type, and on the
// simulator the name of the simulated reader of that type (the first one plugged in, as an open by
// type meets it).
const openTypes = new Map();  // slot → type
let simReaders = [];

const simReaderOfType = (type) => simReaders.find((r) => r.type === type && r.plugged)
  ?? simReaders.find((r) => r.type === type);

// A simulated reader's name, where it says more than its type does.
const nameOf = (reader) => (reader.name && reader.name !== TYPE_NAMES[reader.type] ? ` "${reader.name}"` : '');

function readerText(type) {
  const simulated = simReaderOfType(type);
  return `type ${type} · ${TYPE_NAMES[type] ?? '?'}${simulated ? ` · simulated${nameOf(simulated)}` : ''}`;
}

function slotsOfSimReader(reader) {
  if (simReaderOfType(reader.type) !== reader) return '';
  const slots = [...openTypes].filter(([, type]) => type === reader.type).map(([slot]) => slot);
  return slots.length ? ` · slot ${slots.join(', ')}` : '';
}

const readerActions = {
  async create() {
    await call(100, { rfIdx: rfIdx(), devType: Number($('#dev-type').value) });
    show('#reader-state', `Slot ${rfIdx()}: reader created, not opened.`);
  },
  async open() {
    const opened = await call(105, { rfIdx: rfIdx(), open: true });
    if (opened.retval === -1) throw new Error('That reader type is in use by another connection.');
    if (opened.retval !== 1) {
      step('#devices-state', refreshDevices);
      throw new Error('No reader of that type answered: see "Readers on this machine".');
    }
    const slot = rfIdx();
    const type = (await call(101, { rfIdx: slot })).retval;
    openTypes.set(slot, type);
    show('#reader-state', `Slot ${slot}: ${readerText(type)}, open.`);
    await refreshSim();
    // Cards placed next go on the reader this slot just opened.
    const simulated = simReaderOfType(type);
    if (simulated) chooseSimReader(simulated.id);
  },
  async close() {
    const slot = rfIdx();
    await call(106, { rfIdx: slot });
    openTypes.delete(slot);
    show('#reader-state', `Slot ${slot}: closed.`);
    await refreshSim();
  },
  async beep() {
    const reply = await call(111, { rfIdx: rfIdx(), ms: 100 });
    show('#reader-state', reply.retval ? 'Beeped.' : 'The reader did not beep.', !reply.retval);
  },
  async version() {
    const reply = await call(108, { rfIdx: rfIdx() });
    show('#reader-state', reply.retval ? `Version: ${reply.ver}` : 'No version read.', !reply.retval);
  },
};

// --- readers on this machine (GET /devices: no login needed, so a user sees why nothing opens)

const PERMISSION_ADVICE = (what, group) => `The service may not open ${what}. Install the readers' udev rules, `
  + 'or add the user the service runs as to the group owning it'
  + (group ? ` (sudo usermod -aG ${group} "$USER" for your own user, then log in again).` : '.');

const GRABBER_ADVICE = {
  ModemManager: 'Stop it (sudo systemctl stop ModemManager; disable it to keep it off), or keep it away from the '
    + 'reader with a udev rule that sets ENV{ID_MM_DEVICE_IGNORE}="1" for the reader\'s ids.',
  brltty: 'Without a braille display, remove it (sudo apt remove brltty); otherwise mask its udev service '
    + '(sudo systemctl mask brltty-udev.service) and plug the reader in again.',
};

const NOTHING_FOUND = 'No reader found. Check the cable and that the reader has power, then run lsusb and look for '
  + '10c4:0210, 1a86:e010, 0483:5751 or 1a86:7523 (a serial reader shows as a ttyUSB or ttyACM port).';

function deviceRow(cells, advice) {
  const row = document.createElement('tr');
  for (const text of [...cells, advice]) {
    const cell = document.createElement('td');
    cell.textContent = text;
    row.append(cell);
  }
  if (advice) row.classList.add('error');
  return row;
}

const typeText = (type) => `${type} · ${TYPE_NAMES[type] ?? '?'}`;

function showDevices(survey) {
  const rows = [];
  for (const d of survey.devices) {
    rows.push(deviceRow([`${d.ids} ${d.node}`, d.link, typeText(d.type), d.canOpen ? 'yes' : 'no'],
      d.canOpen ? '' : PERMISSION_ADVICE(d.node, d.group)));
  }
  for (const p of survey.ports) {
    const chip = p.hardwareId === 'n/a' ? p.description : `${p.description} · ${p.hardwareId}`;
    rows.push(deviceRow([`${p.port} (${chip.trim()})`, 'serial', `could be ${typeText(p.type)}`,
      p.canOpen ? 'yes' : 'no'], p.canOpen ? '' : PERMISSION_ADVICE(p.port, p.group)));
  }
  $('#devices tbody').replaceChildren(...rows);

  const advice = survey.portGrabbers.map((g) => `${g.program} runs (pid ${g.pid}): it ${g.effect}. `
    + (GRABBER_ADVICE[g.program] ?? ''));
  const usbSerial = survey.ports.some((p) => p.hardwareId.startsWith('USB'));
  if (survey.devices.length === 0 && !usbSerial) advice.push(NOTHING_FOUND);
  $('#device-advice').replaceChildren(...advice.map((text) => {
    const item = document.createElement('li');
    item.textContent = text;
    return item;
  }));
  const count = survey.devices.length + survey.ports.length;
  show('#devices-state', `${count} device${count === 1 ? '' : 's'} seen.`);
}

async function refreshDevices() {
  const response = await fetch('/devices', { cache: 'no-store' });
  if (!response.ok) throw new Error(`GET /devices: ${response.status}`);
  showDevices(await response.json());
}

const deviceActions = {
  async 'devices-refresh'() {
    await refreshDevices();
  },
};

// --- card finder

const KIND_NAMES = { 1: 'ISO 14443-A', 2: 'ISO 14443-B', 4: 'ISO 15693' };

function cardDetails(card) {
  if (card.rf_type === 1) return `ATQA ${card.atqa?.toString(16).padStart(4, '0')} SAK ${card.sak?.toString(16).padStart(2, '0')}`;
  if (card.rf_type === 2) return `app ${card.application} proto ${card.protocol}`;
  return `DSFID ${card.dsfid}`;
}

function showCards(cards) {
  const body = $('#cards tbody');
  for (const card of cards) {
    const row = document.createElement('tr');
    for (const text of [new Date().toLocaleTimeString(), KIND_NAMES[card.rf_type] ?? card.rf_type, card.uid,
      cardDetails(card)]) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.append(cell);
    }
    body.prepend(row);
  }
  while (body.childElementCount > 50) body.lastElementChild.remove();
}

const finderActions = {
  async 'find-start'() {
    const slot = rfIdx();
    await call(113, { rfIdx: slot, enable: $('#find-a').checked, limit: 0 });
    await call(114, { rfIdx: slot, enable: $('#find-b').checked, limit: 0, afi: 0, slotsNum: 0 });
    await call(115, { rfIdx: slot, enable: $('#find-v').checked, limit: 0, afi: 0, nb16Slots: false });
    await call(117, { rfIdx: slot, ms: Number($('#find-ms').value), evt: true, fixIdle: $('#find-fix').checked });
    show('#reader-state', `Slot ${slot}: finding cards.`);
  },
  async 'find-stop'() {
    await call(119, { rfIdx: rfIdx() });
    $('#cards tbody').replaceChildren();  // the list shows what this run of the finder saw
    show('#reader-state', `Slot ${rfIdx()}: finder stopped.`);
  },
};

// --- Mifare Classic

const hexBytes = (hex, from, count) => hex.slice(from * 2, (from + count) * 2);

async function describeTrailer(trailerHex) {
  const reply = await call(210, { rfIdx: rfIdx(), power: hexBytes(trailerHex, 6, 4) });
  return reply.retval ? `access ${reply.bitStr} (C1C2C3 per block 0|1|2|trailer)` : 'access bytes inconsistent';
}

const mifareActions = {
  async 'mf-select'() {
    const card = await call(205, { rfIdx: rfIdx() });
    if (!card.retval) throw new Error('No card answered.');
    const number = await call(206, { rfIdx: rfIdx() });
    show('#mf-card', `UID ${card.uid} · ATQA ${card.atqa} · SAK ${card.sak} · card number ${number.retval}`);
  },
  async 'mf-read'() {
    const sector = Number($('#mf-sector').value);
    const reply = await call(207, {
      rfIdx: rfIdx(), reSelect: true, sector, pwd: $('#mf-key').value.trim(), pos: 0, num: 0,
      keyB: $('#mf-keyb').checked, fill: true,
    });
    if (reply.retval < 0 || !reply.data) throw new Error(`Read failed (retval ${reply.retval}).`);
    const first = sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
    const blocks = reply.data.match(/.{1,32}/g);
    const lines = blocks.map((block, i) => `${String(first + i).padStart(3)}  ${block.match(/../g).join(' ')}`);
    const blockCount = sector < 32 ? 4 : 16;
    if (blocks.length === blockCount) lines.push(`     ${await describeTrailer(blocks[blockCount - 1])}`);
    $('#mf-dump').textContent = lines.join('\n');
  },
  async 'mf-write'() {
    if (!confirm('Write the data to the card in the field? The blocks it names are overwritten.')) return;
    await call(200, { rfIdx: rfIdx(), isWrite: $('#mf-trailer').checked, isCheck: true });
    const reply = await call(208, {
      rfIdx: rfIdx(), reSelect: true, sector: Number($('#mf-sector').value), pwd: $('#mf-key').value.trim(),
      data: $('#mf-data').value.trim(), pos: Number($('#mf-block').value), num: 1, keyB: $('#mf-keyb').checked,
    });
    const texts = { '-6': 'that block is the sector trailer: allow trailer writes first',
      '-7': 'the trailer image has inconsistent access bytes', '-5': 'authentication failed',
      '-4': 'the card was lost', '-3': 'no card selected' };
    if (reply.retval !== 16) throw new Error(`Write failed: ${texts[reply.retval] ?? `retval ${reply.retval}`}.`);
    show('#mf-card', 'Block written.');
  },
};

// --- page tags

const tagTexts = { '-1': 'pages beyond 255', '-2': 'too little data, or no such command on this reader',
  '-3': 'no tag selected', '-4': 'the tag was lost' };

const tagActions = {
  async 'tag-select'() {
    const tag = await call(1104, { rfIdx: rfIdx() });
    if (!tag.retval) throw new Error('No tag answered.');
    show('#tag-state', `UID ${tag.uid} · ATQA ${tag.atqa} · SAK ${tag.sak}`);
  },
  async 'tag-version'() {
    const version = await call(1110, { rfIdx: rfIdx() });
    if (!version.retval) throw new Error('No version: the reader has no GET_VERSION, or no tag is selected.');
    show('#tag-state', `Version ${version.data} · storage size byte ${version.size}`);
  },
  async 'tag-read'() {
    const first = Number($('#tag-page').value);
    const reply = await call(1106, { rfIdx: rfIdx(), reSelect: true, page: first, num: Number($('#tag-num').value) });
    if (reply.retval <= 0) throw new Error(`Read failed: ${tagTexts[reply.retval] ?? 'the tag refused the page'}.`);
    const lines = reply.data.match(/.{1,8}/g).map((page, i) => `${String(first + i).padStart(3)}  ${page.match(/../g).join(' ')}`);
    $('#tag-dump').textContent = lines.join('\n');
  },
  async 'tag-write'() {
    if (!confirm('Write the page to the tag in the field? The page is overwritten.')) return;
    const reply = await call(1107, {
      rfIdx: rfIdx(), reSelect: true, page: Number($('#tag-write-page').value), num: 1, data: $('#tag-data').value.trim(),
    });
    if (reply.retval !== 4) throw new Error(`Write failed: ${tagTexts[reply.retval] ?? 'the tag refused the page'}.`);
    show('#tag-state', 'Page written.');
  },
};

// --- simulator (only on rfdock-sim, which answers GET /sim)

async function simRequest(method, path, body) {
  const response = await fetch(path, {
    // The simulator takes POSTs only as JSON, so that no page can send it a plain form.
    method, headers: { 'Content-Type': 'application/json' }, body: body && JSON.stringify(body),
  });
  const text = await response.text();
  if (!response.ok) {
    let reason = text;
    try { reason = JSON.parse(text).error ?? text; } catch { /* plain text */ }
    throw new Error(`${method} ${path}: ${response.status} ${reason}`);
  }
  return text ? JSON.parse(text) : null;
}

// The simulated reader cards are placed on: the user's choice, or the reader a slot opened last. Kept
// here, not read back from the list, because the list is rebuilt every few seconds.
let chosenSimReader = null;

function chooseSimReader(id) {
  chosenSimReader = String(id);
  $('#sim-reader').value = chosenSimReader;
}

async function refreshSim() {
  let sim;
  try {
    const response = await fetch('/sim', { cache: 'no-store' });
    if (!response.ok) return;
    sim = await response.json();
  } catch {
    return;
  }
  $('#sim-panel').hidden = false;
  simReaders = sim.readers;
  const simReaderText = (r) => `type ${r.type} · ${TYPE_NAMES[r.type] ?? '?'}${nameOf(r)}${slotsOfSimReader(r)}`
    + (r.plugged ? '' : ' (unplugged)');
  $('#sim-reader').replaceChildren(...sim.readers.map((r) => new Option(simReaderText(r), r.id)));
  if (chosenSimReader !== null) $('#sim-reader').value = chosenSimReader;
  const kindSelect = $('#sim-kind');
  if (kindSelect.childElementCount === 0) kindSelect.replaceChildren(...sim.cardKinds.map((k) => new Option(k, k)));
  const list = $('#sim-cards');
  list.replaceChildren();
  for (const reader of sim.readers) {
    for (const card of reader.cards) {
      const item = document.createElement('li');
      item.textContent = `${simReaderText(reader)}: ${card.kind} ${card.uid} `;
      const remove = document.createElement('button');
      remove.textContent = 'Remove';
      remove.addEventListener('click', () => step('#mf-card', async () => {
        await simRequest('DELETE', `/sim/readers/${reader.id}/cards/${card.uid}`);
        await refreshSim();
      }));
      item.append(remove);
      list.append(item);
    }
  }
}

const simActions = {
  async 'sim-place'() {
    const uid = $('#sim-uid').value.trim();
    await simRequest('POST', `/sim/readers/${$('#sim-reader').value}/cards`,
      { kind: $('#sim-kind').value, ...(uid ? { uid } : {}) });
    await refreshSim();
  },
};

// --- console

const consoleActions = {
  async 'console-send'() {
    const request = JSON.parse($('#console-input').value);
    const reply = await track(`command ${request.code}`, (signal) => dock.send(request, { timeoutMs: 0, signal }));
    log(`→ ${JSON.stringify(request)}\n← ${JSON.stringify(reply, null, 2)}`, reply.err ? 'err' : '');
  },
  async 'console-clear'() {
    $('#log').replaceChildren();
  },
};

// --- wiring

const actions = {
  ...deviceActions, ...readerActions, ...finderActions, ...mifareActions, ...tagActions, ...simActions,
  ...consoleActions,
};
const stateLineOf = (button) => {
  const panel = button.closest('section').id;
  return { 'mifare-panel': '#mf-card', 'tag-panel': '#tag-state', 'sim-panel': '#mf-card', 'devices-panel': '#devices-state' }[panel]
    ?? '#reader-state';
};

document.addEventListener('click', (event) => {
  const button = event.target.closest('button[data-action]');
  if (!button) return;
  const action = actions[button.dataset.action];
  button.disabled = true;
  step(stateLineOf(button), action).finally(() => { button.disabled = false; });
});

for (let i = 0; i < 6; i += 1) $('#rf-idx').append(new Option(String(i), String(i)));
$('#rf-idx').addEventListener('change', showSlotState);
$('#sim-reader').addEventListener('change', (e) => chooseSimReader(e.target.value));
$('#login-form').addEventListener('submit', connectAndLogin);
$('#busy-cancel').addEventListener('click', cancelWaits);
$('#login-form').user.value = sessionStorage.getItem('rfdock-user') ?? 'public';
$('#login-form').pass.value = sessionStorage.getItem('rfdock-pass') ?? '';
refreshStatus();
refreshSim();
step('#devices-state', refreshDevices);
setInterval(refreshStatus, 5000);
setInterval(refreshSim, 3000);
