// Card commands and a running card finder on one reader of rfdock-sim: a client that selects and
// reads a card again and again gets every read, and the finder reports the card once, not each
// time a command woke it; taken off and put back, it is reported once more.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import WebSocket from 'ws';

import { RfDock } from '../../web/rfdock.js';
import { startService } from './service.mjs';

const UID = 'C0DE0001';
const ROUNDS = 30;
// Longer than the card hold (1.5 s) and many finder intervals after it.
const SETTLE_MS = 2500;
// A client's pause between select and read: several finder intervals.
const THINK_MS = 60;

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

describe('card hold on rfdock-sim', () => {
  let service;
  let cardsUrl;
  before(async () => {
    service = await startService('rfdock-sim');
    const sim = await (await fetch(`${service.httpUrl}/sim`)).json();
    cardsUrl = `${service.httpUrl}/sim/readers/${sim.readers.find((r) => r.type === 4).id}/cards`;
  });
  after(async () => {
    await service?.stop();
  });

  async function placeCard() {
    const placed = await fetch(cardsUrl, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ kind: 'mifare1k', uid: UID }) });
    assert.equal(placed.status, 201);
  }
  async function removeCard() {
    assert.equal((await fetch(`${cardsUrl}/${UID}`, { method: 'DELETE' })).status, 204);
  }

  // Opens slot 0 on the type-4 reader with one card on it and starts the finder; `answer` acks
  // each event when the finder pauses after it.
  async function finderSession(pause) {
    await fetch(cardsUrl, { method: 'DELETE' });
    await placeCard();
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    await dock.login(service.user, service.pass);
    const events = [];
    let wake = () => {};
    dock.addEventListener('card', (e) => {
      events.push(e.detail.retval.map((card) => card.uid));
      if (pause) dock.call(120, { rfIdx: 0 });
      wake();
    });
    const nextEvent = async (count) => {
      const deadline = Date.now() + 5000;
      while (events.length < count && Date.now() < deadline) {
        await new Promise((r) => {
          wake = r;
          setTimeout(r, 50);
        });
      }
      assert.equal(events.length, count, `event ${count} did not come`);
    };
    await dock.call(100, { rfIdx: 0, devType: 4 });
    assert.equal((await dock.call(105, { rfIdx: 0, open: true })).retval, 1);
    await dock.call(113, { rfIdx: 0, enable: true, limit: 0 });
    await dock.call(117, { rfIdx: 0, ms: 20, evt: true, fixIdle: true, pause });
    return { dock, events, nextEvent };
  }

  for (const [mode, pause] of [['event mode', false], ['paused after each event, answered with 120', true]]) {
    test(`select and read ${ROUNDS} times while the finder runs (${mode})`, async (t) => {
      const { dock, events, nextEvent } = await finderSession(pause);
      t.after(() => dock.close());
      await nextEvent(1);
      assert.deepEqual(events[0], [UID]);

      // No reselection: a finder pass between select and read would leave the read without its card.
      const read = { rfIdx: 0, reSelect: false, sector: 1, pwd: 'FFFFFFFFFFFF', pos: 0, num: 0, keyB: false, fill: false };
      for (let round = 0; round < ROUNDS; ++round) {
        const selected = await dock.call(205, { rfIdx: 0 });
        assert.equal(selected.retval, true, `select, round ${round}`);
        assert.equal(selected.uid, UID);
        await sleep(THINK_MS);
        const sector = await dock.call(207, read);
        assert.equal(sector.retval, 64, `read, round ${round}`);
        // The trailer: key A reads as zeros, then the transport access bytes and key B.
        assert.equal(sector.data.slice(96), '000000000000FF078069FFFFFFFFFFFF');
      }
      await sleep(SETTLE_MS);
      assert.equal(events.length, 1, 'the card that never left was reported again');

      await removeCard();
      await sleep(200);
      await placeCard();
      await nextEvent(2);
      assert.deepEqual(events[1], [UID]);
      await sleep(500);
      assert.equal(events.length, 2);
    });
  }
});
