// Long-running load on rfdock-sim, to show that nothing grows and nothing is lost.
//
//   node bench/soak.mjs [--minutes N | --hour] [--bin DIR]
//       Mixed load: sessions selecting cards and reading Mifare sectors, card finders reporting
//       cards placed and removed through /sim, UDP datagrams relayed both ways, and every reader
//       unplugged and plugged back in now and then. Reports the service's resident memory after a
//       warm-up and at the end, its descriptors and threads, and every command that failed.
//   node bench/soak.mjs --replug-cycles N [--bin DIR]
//       N unplug/replug cycles across the six readers with their card finders running: each
//       command on an unplugged reader must fail quickly, each reader must be usable again after.
//
// Needs tests/js/node_modules (make test installs it). Exits 1 when a goal is missed.

import { createRequire } from 'node:module';
import { createSocket } from 'node:dgram';
import { readFileSync, readdirSync } from 'node:fs';

const require = createRequire(new URL('../tests/js/package.json', import.meta.url));
const WebSocket = require('ws');

const args = process.argv.slice(2);
const option = (name) => {
  const at = args.indexOf(name);
  return at < 0 ? undefined : args[at + 1] ?? '';
};
if (option('--bin')) process.env.RFDOCK_BIN_DIR = option('--bin');
const { startService } = await import('../tests/js/service.mjs');
const { RfDock } = await import('../web/rfdock.js');

const replugCycles = Number(option('--replug-cycles') ?? 0);
const minutes = args.includes('--hour') ? 60 : Number(option('--minutes') ?? 10);
const warmupMs = Math.min(60_000, (minutes * 60_000) / 10);

// Bounds a command must keep: an unplugged reader answers at once; an open may try the handshake.
const UNPLUGGED_REPLY_MS = 1500;
const REPLY_MS = 10_000;
// How long a card stays held after a client's last command on it. While held, the finder leaves the
// card alone, so it cannot see it taken off; and the card the client proved present is not
// reported again.
const CARD_HOLD_MS = 1500;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const stats = { commands: 0, slowestMs: 0, errors: [], placed: 0, reported: 0, udpIn: 0, udpInRelayed: 0 };
stats.udpOut = stats.udpOutArrived = stats.replugs = 0;
const errorKinds = new Map();
const fail = (what) => {
  stats.errors.push(what);
  errorKinds.set(what, (errorKinds.get(what) ?? 0) + 1);
  if (stats.errors.length <= 10) console.error(`error: ${what}`);
};

// One command, timed; failures of the call are counted, its reply returned as it came.
async function command(dock, code, fields = {}, boundMs = REPLY_MS) {
  const started = Date.now();
  try {
    const reply = await dock.send({ ...fields, code }, { timeoutMs: boundMs });
    const took = Date.now() - started;
    stats.commands += 1;
    stats.slowestMs = Math.max(stats.slowestMs, took);
    if (reply.err !== 0) fail(`command ${code}: err ${reply.err} ${reply.msg}`);
    return reply;
  } catch (error) {
    fail(`command ${code}: ${error.message}`);
    return { err: -1 };
  }
}

function footprint(pid) {
  const status = readFileSync(`/proc/${pid}/status`, 'utf8');
  const field = (name) => Number(new RegExp(`^${name}:\\s+(\\d+)`, 'm').exec(status)[1]);
  return { rssKiB: field('VmRSS'), threads: field('Threads'), descriptors: readdirSync(`/proc/${pid}/fd`).length };
}

const service = await startService('rfdock-sim');
const simUrl = `${service.httpUrl}/sim`;
const sim = await (await fetch(simUrl)).json();
const post = (path, body) => fetch(`${simUrl}${path}`, {
  method: 'POST', headers: { 'Content-Type': 'application/json' }, body: body && JSON.stringify(body) });

async function session() {
  const dock = new RfDock({ url: service.url, WebSocket, reconnect: false, timeoutMs: REPLY_MS });
  await dock.connect();
  await dock.login(service.user, service.pass);
  return dock;
}

// A session with slot 0 open on one simulated reader.
class ReaderUser {
  constructor(reader) {
    this.reader = reader;
    this.uid = reader.cards[0].uid;
    this.kind = reader.cards[0].kind;
    this.events = [];
  }

  async start() {
    this.dock = await session();
    this.dock.addEventListener('card', (e) => this.events.push(e.detail.retval.map((card) => card.uid)));
    await command(this.dock, 100, { rfIdx: 0, devType: this.reader.type });
    await this.open();
  }

  async open() {
    const now = await (await fetch(`${simUrl}/readers/${this.reader.id}`)).json();
    // A serial reader comes back on a new pseudo-terminal.
    if (now.port) await command(this.dock, 103, { rfIdx: 0, devType: this.reader.type, addr: now.port });
    const opened = await command(this.dock, 105, { rfIdx: 0, open: true });
    if (opened.retval !== 1) fail(`type ${this.reader.type}: open answered ${opened.retval}`);
  }

  async startFinder() {
    // A card hold from this client's last read has to run out first: a card taken off and put back
    // during it was never gone for the finder, and no arrival is due.
    await sleep(CARD_HOLD_MS + 200);
    await command(this.dock, 113, { rfIdx: 0, enable: true, limit: 0 });
    await command(this.dock, 117, { rfIdx: 0, ms: 20, evt: true, fixIdle: true });
  }

  async selectAndRead() {
    const selected = await command(this.dock, 205, { rfIdx: 0 });
    if (selected.retval !== true || selected.uid !== this.uid) return fail(`type ${this.reader.type}: select failed`);
    const read = { rfIdx: 0, reSelect: false, sector: 1, pwd: 'FFFFFFFFFFFF', pos: 0, num: 0, keyB: false, fill: false };
    const sector = await command(this.dock, 207, read);
    if (sector.retval !== 64) fail(`type ${this.reader.type}: sector read answered ${sector.retval}`);
  }

  // Unplugged: a command fails within its bound. Plugged back: the slot opens again and the card
  // is there.
  async replug(withFinder) {
    stats.replugs += 1;
    await post(`/readers/${this.reader.id}/unplug`);
    const started = Date.now();
    const beep = await command(this.dock, 111, { rfIdx: 0, ms: 10 }, UNPLUGGED_REPLY_MS + 1000);
    if (beep.retval !== false) fail(`type ${this.reader.type}: beep on an unplugged reader answered ${beep.retval}`);
    if (Date.now() - started > UNPLUGGED_REPLY_MS) fail(`type ${this.reader.type}: unplugged beep took ${Date.now() - started} ms`);
    await post(`/readers/${this.reader.id}/plug`);
    await this.open();
    await this.selectAndRead();
    if (withFinder) await this.startFinder();
  }

  // One card taken off the reader and put back: the finder reports it once.
  async placeAndAwait() {
    await fetch(`${simUrl}/readers/${this.reader.id}/cards/${this.uid}`, { method: 'DELETE' });
    // Off the reader for longer than a finder pass takes (a serial reader at 9600 baud, under load):
    // a card back before any pass saw it gone was never gone for the finder.
    await sleep(1000);
    const before = this.events.length;
    await post(`/readers/${this.reader.id}/cards`, { kind: this.kind, uid: this.uid });
    stats.placed += 1;
    const placedAt = Date.now();
    const seen = () => this.events.slice(before).some((uids) => uids.includes(this.uid));
    // An event within 3 s is on time; one within 10 s is late (and counted apart), none is lost.
    while (Date.now() < placedAt + 10_000 && !seen()) await sleep(20);
    const after = Date.now() - placedAt;
    if (seen() && after <= 3000) stats.reported += 1;
    else if (seen()) fail(`type ${this.reader.type}: card placed, event late`);
    else fail(`type ${this.reader.type}: card placed, no event`);
  }
}

// Load loops run until `stop`; `quiet` holds them between rounds so that the service can be
// measured at rest.
const control = { stop: false, quiet: false, idle: 0 };
async function loop(round) {
  while (!control.stop) {
    if (control.quiet) {
      control.idle += 1;
      while (control.quiet && !control.stop) await sleep(50);
      control.idle -= 1;
      continue;
    }
    await round();
  }
}
async function atRest(loops, pid) {
  control.quiet = true;
  while (control.idle < loops) await sleep(50);
  await sleep(1500);
  const measured = footprint(pid);
  control.quiet = false;
  return measured;
}

async function udpTraffic() {
  const dock = await session();
  const peer = createSocket('udp4');
  await new Promise((r) => peer.bind(0, '127.0.0.1', r));
  peer.on('message', () => (stats.udpOutArrived += 1));
  const probe = createSocket('udp4');
  await new Promise((r) => probe.bind(0, '127.0.0.1', r));
  const slotPort = probe.address().port;
  probe.close();
  dock.addEventListener('udp', () => (stats.udpInRelayed += 1));
  const opened = await command(dock, 700, { udpIdx: 0, broadcast: false, addr: '127.0.0.1', port: slotPort });
  if (opened.retval !== true) fail('udp slot did not open');
  const payload = Buffer.alloc(100, 0x5a);
  const round = async () => {
    for (let i = 0; i < 10; ++i) {
      peer.send(payload, slotPort, '127.0.0.1');
      stats.udpIn += 1;
      await sleep(10);
    }
    await command(dock, 702, { udpIdx: 0, addr: '127.0.0.1', port: peer.address().port, data: '00112233' });
    stats.udpOut += 1;
  };
  return { round, close: () => (peer.close(), dock.close()) };
}

function report(start, end) {
  const drift = ((end.rssKiB - start.rssKiB) / start.rssKiB) * 100;
  console.log(`commands: ${stats.commands} answered, ${stats.errors.length} errors, slowest reply ${stats.slowestMs} ms`);
  if (stats.placed) console.log(`card arrivals: ${stats.placed} placed, ${stats.reported} reported`);
  if (stats.udpIn) {
    console.log(`udp: ${stats.udpIn} datagrams in, ${stats.udpInRelayed} relayed as events; ` +
      `${stats.udpOut} sent by 702, ${stats.udpOutArrived} arrived`);
  }
  console.log(`replug cycles: ${stats.replugs}`);
  for (const [what, count] of errorKinds) console.log(`  ${count} x ${what}`);
  console.log(`service: resident ${start.rssKiB} KiB -> ${end.rssKiB} KiB (${drift >= 0 ? '+' : ''}${drift.toFixed(1)} %), ` +
    `descriptors ${start.descriptors} -> ${end.descriptors}, threads ${start.threads} -> ${end.threads}`);
  const missed = [];
  if (stats.errors.length) missed.push(`${stats.errors.length} errors`);
  if (!replugCycles && drift >= 5) missed.push('resident memory grew by 5 % or more');
  if (end.descriptors > start.descriptors) missed.push('descriptors grew');
  if (end.threads > start.threads) missed.push('threads grew');
  if (stats.udpIn && stats.udpInRelayed < stats.udpIn * 0.99) missed.push('datagrams lost');
  return missed;
}

const users = sim.readers.map((reader) => new ReaderUser(reader));
for (const user of users) await user.start();
let missed;
if (replugCycles > 0) {
  for (const user of users) await user.startFinder();
  const cycle = async (i) => users[i % users.length].replug(true);
  for (let i = 0; i < users.length; ++i) await cycle(i);  // the first round takes what the service keeps
  const start = await atRest(0, service.pid);
  const began = Date.now();
  for (let i = users.length; i < replugCycles; ++i) await cycle(i);
  await sleep(1500);
  console.log(`${replugCycles} unplug/replug cycles across ${users.length} readers in ${((Date.now() - began) / 1000).toFixed(0)} s`);
  missed = report(start, footprint(service.pid));
} else {
  // Half the readers serve card commands, the other half their finders; each is replugged every
  // 30 s or so.
  const REPLUG_EVERY_MS = 30_000;
  const udp = await udpTraffic();
  const rounds = users.map((user, i) => {
    const finder = i % 2 === 1;
    let nextReplug = Date.now() + REPLUG_EVERY_MS * ((i + 1) / users.length);
    const finderStarted = finder ? user.startFinder() : Promise.resolve();
    return async () => {
      await finderStarted;
      if (Date.now() >= nextReplug) {
        nextReplug = Date.now() + REPLUG_EVERY_MS;
        return user.replug(finder);
      }
      if (finder) return user.placeAndAwait();
      return user.selectAndRead();
    };
  });
  rounds.push(udp.round);
  const running = rounds.map((round) => loop(round));
  console.log(`soak: ${minutes} min on rfdock-sim (warm-up ${warmupMs / 1000} s), ${users.length} readers and a UDP slot`);
  await sleep(warmupMs);
  const start = await atRest(running.length, service.pid);
  await sleep(minutes * 60_000 - warmupMs);
  const end = await atRest(running.length, service.pid);
  control.stop = true;
  await Promise.all(running);
  udp.close();
  missed = report(start, end);
}
for (const user of users) user.dock.close();
await service.stop();
console.log(missed.length ? `goals missed: ${missed.join(', ')}` : 'all goals met');
process.exit(missed.length ? 1 : 0);
