// A reader pulled out of rfdock-sim while a page uses it, and plugged back in: commands fail at
// once instead of hanging, the service goes on, and opening the slot again makes the reader usable
// without a restart.

import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import WebSocket from 'ws';

import { RfDock } from '../../web/rfdock.js';
import { startService } from './service.mjs';

let service;
before(async () => {
  service = await startService('rfdock-sim');
});
after(async () => {
  await service?.stop();
});

for (const type of [4, 2]) {
  test(`a type-${type} reader unplugged and plugged back in while the finder runs`, async (t) => {
    const sim = await (await fetch(`${service.httpUrl}/sim`)).json();
    const readerUrl = `${service.httpUrl}/sim/readers/${sim.readers.find((r) => r.type === type).id}`;
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    await dock.login(service.user, service.pass);
    t.after(() => dock.close());
    await dock.call(100, { rfIdx: 0, devType: type });
    assert.equal((await dock.call(105, { rfIdx: 0, open: true })).retval, 1);
    await dock.call(113, { rfIdx: 0, enable: true, limit: 0 });
    await dock.call(117, { rfIdx: 0, ms: 0, evt: true, fixIdle: true });

    assert.equal((await fetch(`${readerUrl}/unplug`, { method: 'POST', headers: { 'Content-Type': 'application/json' } })).status, 204);
    const started = Date.now();
    assert.equal((await dock.call(111, { rfIdx: 0, ms: 10 })).retval, false);
    assert.equal((await dock.call(205, { rfIdx: 0 })).retval, false);
    assert.ok(Date.now() - started < 1500, `commands on an unplugged reader took ${Date.now() - started} ms`);
    assert.equal((await dock.call(1)).err, 0, 'the service goes on');

    assert.equal((await fetch(`${readerUrl}/plug`, { method: 'POST', headers: { 'Content-Type': 'application/json' } })).status, 204);
    assert.equal((await dock.call(105, { rfIdx: 0, open: true })).retval, 1);
    const selected = await dock.call(205, { rfIdx: 0 });
    assert.equal(selected.retval, true);
    assert.equal(selected.uid, sim.readers.find((r) => r.type === type).cards[0].uid);
  });
}
