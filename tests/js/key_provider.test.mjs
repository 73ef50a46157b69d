// A page that holds the secure-messaging key itself: web/rfdock.js answers the service's key
// requests through options.keyProvider, here with node's own DES, while the page writes and reads
// an enciphered, MAC-protected file of a CPU card on a simulated type-5 reader.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { createCipheriv, createDecipheriv } from 'node:crypto';
import WebSocket from 'ws';

import { RfDock } from '../../web/rfdock.js';
import { startService } from './service.mjs';

const UID = '04112233445566';
const SM_KEY = Buffer.from('606162636465666768696A6B6C6D6E6F', 'hex');
const SELECT_APP = '00A4040008F05246444F434B01';
const ENCIPHERED_SFI = 0x84; // P1 of READ/UPDATE BINARY by short EF identifier 4

// Two-key triple DES as three-key with K1 again; single DES as triple DES with one key three times.
const ede3 = (key) => (key.length === 16 ? Buffer.concat([key, key.subarray(0, 8)]) : key);
const single = (key) => Buffer.concat([key.subarray(0, 8), key.subarray(0, 8), key.subarray(0, 8)]);

function ecb(key, data, encrypt) {
  const make = encrypt ? createCipheriv : createDecipheriv;
  const cipher = make('des-ede3-ecb', ede3(key), null).setAutoPadding(false);
  return Buffer.concat([cipher.update(data), cipher.final()]);
}

// ISO/IEC 9797-1 MAC algorithm 3 with padding method 2: single DES CBC with the key's first half,
// the last block under the whole key.
function retailMac(key, iv, data) {
  const padded = Buffer.concat([data, Buffer.from([0x80]), Buffer.alloc(7 - (data.length % 8))]);
  let chain = iv.length === 8 ? iv : Buffer.alloc(8);
  const head = padded.subarray(0, padded.length - 8);
  if (head.length > 0) {
    const cbc = createCipheriv('des-ede3-cbc', single(key), chain).setAutoPadding(false);
    const out = Buffer.concat([cbc.update(head), cbc.final()]);
    chain = out.subarray(out.length - 8);
  }
  const last = Buffer.from(padded.subarray(padded.length - 8).map((b, i) => b ^ chain[i]));
  return ecb(key, last, true);
}

function pageKeyOperation(request) {
  const data = Buffer.from(request.data, 'hex');
  const iv = Buffer.from(request.iv, 'hex');
  const out = request.type === 2 ? retailMac(SM_KEY, iv, data) : ecb(SM_KEY, data, request.type === 0);
  return { retval: 0x0090, data: out.toString('hex').toUpperCase() };
}

const providerKey = { enc: true, mac: true, key: { alg: 2, param: '', provider: true } };
const binary = (ins, lcData, le) => ({
  rfIdx: 0, cla: 0, ins, p1: ENCIPHERED_SFI, p2: 0, lcData, le, incLe: le > 0, safe: providerKey,
});

describe('key provider through web/rfdock.js', () => {
  let service;
  before(async () => {
    service = await startService('rfdock-sim');
    const sim = await (await fetch(`${service.httpUrl}/sim`)).json();
    const reader = sim.readers.find((r) => r.type === 5);
    const cards = `${service.httpUrl}/sim/readers/${reader.id}/cards`;
    await fetch(cards, { method: 'DELETE' });
    const placed = await fetch(cards, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ kind: 'cpu', uid: UID }) });
    assert.equal(placed.status, 201);
  });
  after(async () => {
    await service?.stop();
  });

  async function openCard(keyProvider) {
    const dock = new RfDock({ url: service.url, WebSocket, keyProvider });
    await dock.connect();
    await dock.login(service.user, service.pass);
    await dock.call(100, { rfIdx: 0, devType: 5 });
    assert.equal((await dock.call(105, { rfIdx: 0, open: true })).retval, 1);
    assert.equal((await dock.call(300, { rfIdx: 0, uid: UID })).retval, 1);
    assert.equal((await dock.call(310, { rfIdx: 0, apdu: SELECT_APP })).retval, 1);
    return dock;
  }

  test('the page enciphers, deciphers and MACs for a secured write and read', async (t) => {
    const requests = [];
    const dock = await openCard(async (request) => {
      requests.push(request);
      return pageKeyOperation(request);
    });
    t.after(() => dock.close());

    const written = 'F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF';
    assert.equal((await dock.call(311, binary(0xd6, written, 0))).retval, 0x0090);
    const encryption = requests.find((r) => r.type === 0);
    assert.ok(encryption, 'the command data went to the page to be enciphered');
    assert.equal(encryption.iv, '');
    const mac = requests.find((r) => r.type === 2);
    assert.ok(mac, 'the command MAC went to the page');
    assert.match(mac.iv, /^[0-9A-F]{16}$/);

    requests.length = 0;
    const read = await dock.call(311, binary(0xb0, '', 16));
    assert.equal(read.retval, 0x0090);
    assert.equal(read.data, written);
    assert.deepEqual(requests.map((r) => r.type), [2, 2, 1]); // command MAC, response MAC, decryption
  });

  test('a provider that fails ends the command at once, not after the wait', async (t) => {
    const dock = await openCard(async () => {
      throw new Error('no key on this page');
    });
    t.after(() => dock.close());
    dock.addEventListener('error', () => {});
    const start = Date.now();
    const read = await dock.call(311, binary(0xb0, '', 16));
    assert.notEqual(read.retval, 0x0090);
    assert.ok(Date.now() - start < 5000, `took ${Date.now() - start} ms`);
  });
});
