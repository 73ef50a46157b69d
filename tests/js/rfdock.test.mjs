// The JavaScript client against a running service: login, calls, errors, time-outs, events, the key
// provider and reconnects.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import WebSocket, { WebSocketServer } from 'ws';

import { RfDock, RfDockError } from '../../web/rfdock.js';
import { startService } from './service.mjs';

function rejectsWith(promise, kind) {
  return assert.rejects(promise, (error) => error instanceof RfDockError && error.kind === kind);
}

describe('against rfdock-sim', () => {
  let service;
  before(async () => {
    service = await startService('rfdock-sim');
  });
  after(async () => {
    await service.stop();
  });

  test('login, then a call resolves with the reply', async () => {
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    await dock.login(service.user, service.pass);
    const reply = await dock.call(1);
    assert.equal(reply.err, 0);
    assert.equal(reply.msg, '完成');
    assert.match(reply.version, /^rfdock Ver:/);
    dock.close();
  });

  test('a refused login and a call before login are errors with the service text', async () => {
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    const refused = await dock.login(service.user, 'wrong').catch((e) => e);
    assert.equal(refused.kind, 'login');
    assert.equal(refused.err, 101);
    const early = await dock.call(1).catch((e) => e);
    assert.equal(early.kind, 'reply');
    assert.equal(early.err, 100);
    assert.equal(early.reply.msg, '请登录插件服务后操作!');
    dock.close();
  });

  test('send() hands back error replies; unknown codes answer 103', async () => {
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    await dock.login(service.user, service.pass);
    const reply = await dock.send({ code: 199 });
    assert.equal(reply.err, 103);
    dock.close();
  });

  test('a request the service rejects closes the connection and fails the call as closed', async () => {
    const dock = new RfDock({ url: service.url, WebSocket, reconnect: false });
    await dock.connect();
    await dock.login(service.user, service.pass);
    // Code 400 needs an unsigned `sw`: the service drops the connection without a reply.
    await rejectsWith(dock.call(400, { sw: 'x' }), 'closed');
    assert.equal(dock.state, 'closed');
    await rejectsWith(dock.call(1), 'closed');
  });

  test('a dropped connection reconnects and logs in again', async () => {
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    await dock.login(service.user, service.pass);
    const reconnected = new Promise((r) => dock.addEventListener('reconnected', r, { once: true }));
    await dock.send({ code: 400, sw: -1 }).catch(() => {});
    await reconnected;
    assert.equal((await dock.call(1)).err, 0);
    dock.close();
  });

  test('a simulated reader opens and its card arrives as a card event', async () => {
    const dock = new RfDock({ url: service.url, WebSocket });
    await dock.connect();
    await dock.login(service.user, service.pass);
    const card = new Promise((r) => dock.addEventListener('card', (e) => r(e.detail), { once: true }));
    await dock.call(100, { rfIdx: 0, devType: 4 });
    assert.equal((await dock.call(105, { rfIdx: 0, open: true })).retval, 1);
    await dock.call(113, { rfIdx: 0, enable: true, limit: 0 });
    await dock.call(117, { rfIdx: 0, ms: 50, evt: true, fixIdle: true });
    const event = await card;
    assert.equal(event.evt, 117);
    assert.deepEqual(event.retval, [{ rf_type: 1, uid: '01020304', atqa: 4, sak: 8 }]);
    // Found cards are halted, so only a new card or a field reset makes them answer again. A finder
    // in acknowledgement mode answers the call itself, under its ack.
    assert.equal((await dock.call(112, { rfIdx: 0 })).retval, true);
    const found = await dock.call(117, { rfIdx: 0, ms: 50, evt: false });
    assert.equal(found.retval[0].uid, '01020304');
    dock.close();
  });

  test('connecting to a port nobody listens on fails as closed', async () => {
    const dock = new RfDock({ url: 'ws://127.0.0.1:1/', WebSocket, reconnect: false });
    await rejectsWith(dock.connect(), 'closed');
  });
});

// A scripted peer stands in for the service where the real one cannot be made to misbehave.
describe('against a scripted peer', () => {
  let server;
  let url;
  let onMessage = () => {};
  before(async () => {
    server = new WebSocketServer({ host: '127.0.0.1', port: 0 });
    await new Promise((r) => server.once('listening', r));
    url = `ws://127.0.0.1:${server.address().port}/`;
    server.on('connection', (socket) => socket.on('message', (data) => onMessage(socket, JSON.parse(data))));
  });
  after(() => new Promise((r) => server.close(r)));

  test('no reply within the time-out rejects with timeout, and a late reply is ignored', async () => {
    let late;
    onMessage = (socket, request) => {
      late = () => socket.send(JSON.stringify({ ack: request.ack, err: 0, msg: '完成' }));
    };
    const dock = new RfDock({ url, WebSocket, timeoutMs: 50 });
    await dock.connect();
    await rejectsWith(dock.call(1), 'timeout');
    late();
    assert.equal(dock.pending.size, 0);
    dock.close();
  });

  test('an aborted signal stops the wait, drops the late reply and leaves other calls alone', async () => {
    const held = [];
    onMessage = (socket, request) => held.push(() => socket.send(JSON.stringify({ ack: request.ack, err: 0, msg: '完成', code: request.code })));
    const dock = new RfDock({ url, WebSocket, timeoutMs: 0 });
    await dock.connect();
    const controller = new AbortController();
    const waiting = dock.call(117, { rfIdx: 0, evt: false }, { signal: controller.signal });
    const other = dock.call(1);
    while (held.length < 2) await new Promise((r) => setTimeout(r, 5));
    controller.abort();
    await rejectsWith(waiting, 'cancelled');
    held.forEach((answer) => answer());
    assert.equal((await other).code, 1);
    assert.equal(dock.pending.size, 0);
    // A signal that already fired sends nothing.
    await rejectsWith(dock.call(1, {}, { signal: controller.signal }), 'cancelled');
    assert.equal(held.length, 2);
    dock.close();
  });

  test('replies are matched by ack whatever their order; events go to their listeners', async () => {
    const held = [];
    onMessage = (socket, request) => {
      held.push({ socket, request });
      if (held.length < 2) return;
      socket.send(JSON.stringify({ evt: 117, retval: [{ rf_type: 1, uid: '01020304', atqa: 4, sak: 8 }] }));
      socket.send(JSON.stringify({ evt: 700, data: 'AABB', host: '127.0.0.1:9' }));
      for (const { request: r } of held.reverse()) {
        socket.send(JSON.stringify({ ack: r.ack, err: 0, msg: '完成', retval: r.code }));
      }
    };
    const dock = new RfDock({ url, WebSocket });
    const cards = [];
    const datagrams = [];
    dock.addEventListener('card', (e) => cards.push(e.detail));
    dock.addEventListener('udp', (e) => datagrams.push(e.detail));
    await dock.connect();
    const [first, second] = await Promise.all([dock.call(101, { rfIdx: 0 }), dock.call(109, { rfIdx: 0 })]);
    assert.equal(first.retval, 101);
    assert.equal(second.retval, 109);
    assert.equal(cards[0].retval[0].uid, '01020304');
    assert.equal(datagrams[0].host, '127.0.0.1:9');
    dock.close();
  });

  test('key-provider requests are answered by the callback, or at once without one', async () => {
    const answers = [];
    onMessage = (socket, message) => {
      if (message.imp === 0) answers.push(message);
    };
    const withProvider = new RfDock({
      url,
      WebSocket,
      keyProvider: async (request) => ({ retval: 144, data: request.data.split('').reverse().join('') }),
    });
    const without = new RfDock({ url, WebSocket });
    await withProvider.connect();
    await without.connect();
    const request = { imp: 0, ack: 7, type: 0, alg: 2, param: 'K', iv: '', data: '0123' };
    for (const socket of server.clients) socket.send(JSON.stringify(request));
    while (answers.length < 2) await new Promise((r) => setTimeout(r, 10));
    const byRetval = Object.fromEntries(answers.map((a) => [a.retval, a]));
    assert.deepEqual(byRetval[144], { imp: 0, ack: 7, retval: 144, data: '3210' });
    assert.equal(byRetval[0x6f].data, '');
    withProvider.close();
    without.close();
  });
});
