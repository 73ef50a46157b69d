// The client's conveniences against rfdock-sim: English descriptions on errors, the 'close' event,
// the helpers for common flows, and the 'ws' package taken on Node when there is no global
// WebSocket.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { copyFileSync, mkdirSync, mkdtempSync, rmSync, symlinkSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import WebSocket from 'ws';

import { RfDock, RfDockError } from '../../web/rfdock.js';
import { startService } from './service.mjs';

const CPU_UID = '04112233445566';

describe('client flows on rfdock-sim', () => {
  let service;
  before(async () => {
    service = await startService('rfdock-sim');
    // A CPU card alone on the type-1 reader, for apdu().
    const sim = await (await fetch(`${service.httpUrl}/sim`)).json();
    const cards = `${service.httpUrl}/sim/readers/${sim.readers.find((r) => r.type === 1).id}/cards`;
    await fetch(cards, { method: 'DELETE' });
    const placed = await fetch(cards, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ kind: 'cpu', uid: CPU_UID }),
    });
    assert.equal(placed.status, 201);
  });
  after(async () => {
    await service?.stop();
  });

  async function loggedIn(options = {}) {
    const dock = new RfDock({ url: service.url, WebSocket, ...options });
    await dock.connect();
    await dock.login(service.user, service.pass);
    return dock;
  }

  test('a failed call keeps the service text and explains it in English', async () => {
    const dock = await loggedIn();
    const error = await dock.call(101, { rfIdx: 0 }).catch((e) => e);
    assert.ok(error instanceof RfDockError);
    assert.equal(error.err, 102);
    assert.equal(error.msg, 'RfReader未初始化!');
    assert.match(error.description, /slot.*empty/);
    dock.close();
    // Without a reply the description is the error's own message.
    const closed = await dock.call(1).catch((e) => e);
    assert.equal(closed.kind, 'closed');
    assert.equal(closed.description, closed.message);
  });

  test('a reader opens, a sector is written and read back, and a wrong key is explained', async () => {
    const dock = await loggedIn();
    assert.equal((await dock.openReader(0, 4)).retval, 1);
    const block = '00112233445566778899AABBCCDDEEFF';
    assert.equal(await dock.writeBlocks(0, 1, 'FFFFFFFFFFFF', block, { pos: 1 }), 16);
    const sector = await dock.readSector(0, 1, 'FFFFFFFFFFFF');
    assert.equal(sector.uid, '01020304');
    assert.equal(sector.blocks.length, 4);
    assert.equal(sector.blocks[1], block);
    assert.match(sector.blocks[3], /^FFFFFFFFFFFF/);  // the key used, filled into the trailer image
    const refused = await dock.readSector(0, 1, 'A0A1A2A3A4A5').catch((e) => e);
    assert.equal(refused.kind, 'reply');
    assert.equal(refused.reply.retval, -5);
    assert.match(refused.description, /authentication failed/);
    dock.close();
  });

  test('a slot whose reader type is taken does not open', async () => {
    const dock = await loggedIn();
    await dock.openReader(0, 4);
    const taken = await dock.openReader(1, 4).catch((e) => e);
    assert.equal(taken.reply.retval, -1);
    assert.match(taken.message, /another slot/);
    dock.close();
  });

  test('the finder helper reports the card as a card event and stops', async () => {
    const dock = await loggedIn();
    await dock.openReader(0, 4);
    const card = new Promise((r) => dock.addEventListener('card', (e) => r(e.detail), { once: true }));
    await dock.startFinder(0, { ms: 50 });
    assert.equal((await card).retval[0].uid, '01020304');
    assert.equal((await dock.stopFinder(0)).err, 0);
    dock.close();
  });

  test('apdu() activates the CPU card and splits off the status word', async () => {
    const dock = await loggedIn();
    await dock.openReader(0, 1);
    const challenge = await dock.apdu(0, '0084000004');
    assert.equal(challenge.sw, 144);
    assert.match(challenge.data, /^[0-9A-F]{8}$/);
    const unknown = await dock.apdu(0, '00A4000002ABCD');
    assert.equal(unknown.sw, 0x826a);  // 6A 82: file not found
    assert.equal(unknown.data, '');
    dock.close();
  });

  test('an open connection that drops fires close', async () => {
    const dock = await loggedIn({ reconnect: false });
    const closed = new Promise((r) => dock.addEventListener('close', (e) => r(e.detail), { once: true }));
    await dock.send({ code: 400, sw: -1 }).catch(() => {});  // malformed: the service closes
    assert.match((await closed).reason, /connection closed/);
  });
});

// Without a global WebSocket (Node before 22), connect() loads the 'ws' package as the module's own
// folder resolves it; a copy of the module in a folder without it names the package instead.
describe('the WebSocket on Node', () => {
  let service;
  let folder;
  let saved;
  before(async () => {
    service = await startService('rfdock-sim');
    folder = mkdtempSync(join(tmpdir(), 'rfdock-client-'));
    saved = Object.getOwnPropertyDescriptor(globalThis, 'WebSocket');
    if (saved) delete globalThis.WebSocket;
  });
  after(async () => {
    if (saved) Object.defineProperty(globalThis, 'WebSocket', saved);
    rmSync(folder, { recursive: true, force: true });
    await service?.stop();
  });

  async function moduleIn(name, withWs) {
    const dir = join(folder, name);
    mkdirSync(dir);
    copyFileSync(fileURLToPath(new URL('../../web/rfdock.js', import.meta.url)), join(dir, 'rfdock.js'));
    if (withWs) {
      mkdirSync(join(dir, 'node_modules'));
      symlinkSync(fileURLToPath(new URL('./node_modules/ws', import.meta.url)), join(dir, 'node_modules', 'ws'));
    }
    return import(pathToFileURL(join(dir, 'rfdock.js')).href);
  }

  test('the ws package is taken when it can be found', async () => {
    const { RfDock: Client } = await moduleIn('with-ws', true);
    const dock = new Client({ url: service.url });
    await dock.connect();
    await dock.login(service.user, service.pass);
    assert.equal((await dock.call(1)).err, 0);
    dock.close();
  });

  test('without it, connect() fails naming the package', async () => {
    const { RfDock: Client } = await moduleIn('without-ws', false);
    const dock = new Client({ url: service.url, reconnect: false });
    const error = await dock.connect().catch((e) => e);
    assert.equal(error.kind, 'closed');
    assert.match(error.message, /'ws' package/);
    assert.equal(dock.state, 'closed');
  });
});
