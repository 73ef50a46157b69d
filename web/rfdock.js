// rfdock.js: a small client for the rfdock card-reader service, as an ES module without a build step.
//
//   import { RfDock } from './rfdock.js';
//   const dock = new RfDock({ url: 'ws://127.0.0.1:8080/' });
//   await dock.connect();
//   await dock.login('public', password);
//   const reply = await dock.call(100, { rfIdx: 0, devType: 0 });
//   dock.addEventListener('card', (e) => console.log(e.detail.retval));
//
// Every request carries an `ack` string chosen here; the reply with the same `ack` settles the
// promise that call() returned. Messages carrying `evt` are events: 117 (cards found) and 700 (UDP
// datagram) have their own event names, every event is also dispatched as 'event'. The commands,
// their fields and replies are in docs/commands.md; rfdock.d.ts types them.

const DEFAULT_TIMEOUT_MS = 10000;
const RECONNECT_MIN_MS = 500;
const RECONNECT_MAX_MS = 10000;

// The service's result codes in English; its own texts (Chinese) come in each reply's `msg`.
export const ERROR_DESCRIPTIONS = Object.freeze({
  100: 'log in first: a command other than login came before a successful login',
  101: 'login refused: wrong user or password',
  102: 'the reader slot (rfIdx) is empty: create it with command 100',
  103: 'unknown command code',
  104: 'a key is not valid (a Mifare key is 6 bytes of hex, a UDP key text 32 characters)',
  105: 'a hex or structured field does not decode to the required length or range',
  106: 'the reader is not open: open it with command 105 before starting the card finder',
  107: 'the number of encrypted sectors is zero (not sent by this service)',
  108: 'the service ran out of memory',
  109: 'rfIdx or udpIdx is 6 or more',
  110: 'the address is not a numeric IP address, or the port is above 65535',
  111: 'the UDP slot is not open: open it with command 700',
  112: 'a parameter is out of range, or a key calculation failed',
  113: 'cpuId is neither 0 (type A) nor 1 (type B)',
  114: 'the command could not be started (too many commands waiting for the key provider)',
});

// The negative retval of the Mifare Classic block commands 207 to 209.
export const MIFARE_STATUS = Object.freeze({
  [-1]: 'sector, pos or num out of range',
  [-2]: 'data shorter than 16 bytes per block',
  [-3]: 'no card selected',
  [-4]: 'the card was lost',
  [-5]: 'authentication failed (wrong key)',
  [-6]: 'the write reaches the sector trailer and trailer writes are off (200 isWrite)',
  [-7]: 'the trailer access bytes are inconsistent (200 isCheck)',
});

// What went wrong with a call: 'closed' (no connection, or it dropped before the reply), 'timeout'
// (no reply in time), 'cancelled' (the caller's AbortSignal fired), 'login' (credentials refused),
// 'reply' (the service answered with err != 0), 'protocol' (the service sent something this client
// cannot read). `msg` is the service's text as it sent it; `description` is the meaning of `err`
// in English, or the error's own message.
export class RfDockError extends Error {
  constructor(kind, message, reply = undefined) {
    super(message);
    this.name = 'RfDockError';
    this.kind = kind;
    this.reply = reply;
    this.err = reply && typeof reply.err === 'number' ? reply.err : undefined;
    this.msg = reply && typeof reply.msg === 'string' ? reply.msg : undefined;
    this.description = ERROR_DESCRIPTIONS[this.err] ?? message;
  }
}

// Event names by `evt` value.
export const EVENT_NAMES = Object.freeze({ 117: 'card', 700: 'udp' });

function mifareFailure(code, reply) {
  const why = MIFARE_STATUS[reply.retval] ?? `status ${reply.retval}`;
  return new RfDockError('reply', `command ${code} failed: ${why}`, reply);
}

function hasOwn(object, key) {
  return Object.prototype.hasOwnProperty.call(object, key);
}

export class RfDock extends EventTarget {
  // options.url          WebSocket URL of the service (ws:// or wss://)
  // options.timeoutMs    default reply time-out of call(); 0 waits for ever
  // options.reconnect    reconnect (and log in again) after the connection dropped; default true
  // options.keyProvider  async (request) => ({ retval, data }): answers the service's key-provider
  //                      requests (`imp` 0: encrypt, decrypt or MAC with a key the page holds)
  // options.WebSocket    WebSocket constructor (defaults to the global one; on Node without one, the
  //                      'ws' package's, loaded by connect())
  constructor(options = {}) {
    super();
    if (typeof options.url !== 'string') throw new TypeError('RfDock: options.url must be a string');
    this.url = options.url;
    this.timeoutMs = options.timeoutMs ?? DEFAULT_TIMEOUT_MS;
    this.reconnect = options.reconnect ?? true;
    this.keyProvider = options.keyProvider ?? null;
    this.WebSocketImpl = options.WebSocket ?? globalThis.WebSocket ?? null;
    if (this.WebSocketImpl !== null && typeof this.WebSocketImpl !== 'function') {
      throw new TypeError('RfDock: options.WebSocket must be a WebSocket constructor');
    }
    this.state = 'closed';
    this.socket = null;
    this.nextAck = 1;
    this.pending = new Map();
    this.credentials = null;
    this.wantOpen = false;
    this.reconnectDelay = RECONNECT_MIN_MS;
    this.reconnectTimer = null;
  }

  get connected() {
    return this.state === 'open';
  }

  // Opens the connection; resolves once it is open, rejects with kind 'closed' when it cannot be.
  connect() {
    this.wantOpen = true;
    clearTimeout(this.reconnectTimer);
    this.reconnectTimer = null;
    if (this.state === 'open') return Promise.resolve();
    return this.openSocket();
  }

  // Closes the connection for good: no reconnect, pending calls fail with kind 'closed'.
  close() {
    this.wantOpen = false;
    clearTimeout(this.reconnectTimer);
    this.reconnectTimer = null;
    if (this.socket) this.socket.close(1000);
    this.dropSocket('closed by the page');
  }

  // Logs in; the credentials are kept so that a reconnect logs in again.
  async login(user, pass) {
    const reply = await this.send({ code: 0, user, pass });
    if (reply.err !== 0) throw new RfDockError('login', `login refused: ${reply.msg} (${reply.err})`, reply);
    this.credentials = { user, pass };
    return reply;
  }

  // Sends command `code` with `fields`; resolves with the reply when its err is 0, rejects with
  // RfDockError otherwise. options.timeoutMs overrides the default (0 = wait for ever, for example
  // for a card finder started in acknowledgement mode); options.signal (an AbortSignal) stops the
  // wait: the call rejects with kind 'cancelled' and a late reply is dropped. The service is not
  // told: it finishes the command it started.
  async call(code, fields = {}, options = {}) {
    const reply = await this.send({ ...fields, code }, options);
    if (reply.err !== 0) {
      throw new RfDockError('reply', `command ${code} failed: ${reply.msg} (${reply.err})`, reply);
    }
    return reply;
  }

  // Sends any request object (an `ack` is added when missing) and resolves with its reply whatever
  // its err; for consoles and tools.
  send(request, options = {}) {
    if (this.state !== 'open') {
      return Promise.reject(new RfDockError('closed', 'not connected to the rfdock service'));
    }
    const ack = typeof request.ack === 'string' ? request.ack : `js-${this.nextAck++}`;
    if (this.pending.has(ack)) {
      return Promise.reject(new RfDockError('protocol', `a request with ack "${ack}" is already waiting`));
    }
    const timeoutMs = options.timeoutMs ?? this.timeoutMs;
    const { signal } = options;
    const cancelled = () => new RfDockError('cancelled',
      `stopped waiting for the reply to command ${request.code}; the service still finishes it`);
    if (signal?.aborted) return Promise.reject(cancelled());
    return new Promise((resolve, reject) => {
      const entry = { resolve, reject, timer: null, stopListening: null };
      if (timeoutMs > 0) {
        entry.timer = setTimeout(() => {
          this.settle(ack, null, new RfDockError('timeout', `no reply to command ${request.code} within ${timeoutMs} ms`));
        }, timeoutMs);
      }
      if (signal) {
        const onAbort = () => this.settle(ack, null, cancelled());
        signal.addEventListener('abort', onAbort, { once: true });
        entry.stopListening = () => signal.removeEventListener('abort', onAbort);
      }
      this.pending.set(ack, entry);
      try {
        this.socket.send(JSON.stringify({ ...request, ack }));
      } catch (error) {
        this.settle(ack, null, new RfDockError('closed', `sending failed: ${error.message}`));
      }
    });
  }

  // --- common flows, built on call()

  // Creates reader slot rfIdx (devType 0: detect the type) and opens the reader; rejects unless it
  // opened (retval 1).
  async openReader(rfIdx, devType = 0) {
    await this.call(100, { rfIdx, devType });
    const reply = await this.call(105, { rfIdx, open: true });
    if (reply.retval !== 1) {
      const why = reply.retval === -1 ? 'its type is open in another slot' : 'no reader answered';
      throw new RfDockError('reply', `reader slot ${rfIdx} did not open: ${why}`, reply);
    }
    return reply;
  }

  // Searches ISO 14443-A cards and starts the finder in event mode: cards come as 'card' events.
  async startFinder(rfIdx, { ms = 200, fixIdle = true, pause = false } = {}) {
    await this.call(113, { rfIdx, enable: true, limit: 0 });
    return this.call(117, { rfIdx, ms, evt: true, fixIdle, pause });
  }

  stopFinder(rfIdx) {
    return this.call(119, { rfIdx });
  }

  // Selects the card (by uid, else whichever answers) and reads a whole Mifare Classic sector with
  // its trailer, the key used filled in.
  async readSector(rfIdx, sector, key, { keyB = false, uid = undefined } = {}) {
    const selected = await this.selectMifare(rfIdx, uid);
    const reply = await this.call(207, { rfIdx, reSelect: true, sector, pwd: key, pos: 0, num: 0, keyB, fill: true });
    if (reply.retval < 0) throw mifareFailure(207, reply);
    return { uid: selected, blocks: reply.data.match(/.{32}/g) ?? [], data: reply.data };
  }

  // Selects the card and writes `data` (16 bytes a block) from block `pos` of a sector; resolves
  // with the bytes written.
  async writeBlocks(rfIdx, sector, key, data, { pos = 0, keyB = false, uid = undefined } = {}) {
    await this.selectMifare(rfIdx, uid);
    const num = Math.ceil(data.replace(/[^0-9a-fA-F]/g, '').length / 32);
    const reply = await this.call(208, { rfIdx, reSelect: true, sector, pwd: key, data, pos, num, keyB });
    if (reply.retval < 0) throw mifareFailure(208, reply);
    return reply.retval;
  }

  async selectMifare(rfIdx, uid) {
    const reply = uid === undefined ? await this.call(205, { rfIdx }) : await this.call(201, { rfIdx, uid });
    if (reply.retval !== true) throw new RfDockError('reply', `no card selected on reader slot ${rfIdx}`, reply);
    return uid ?? reply.uid;
  }

  // Sends an APDU to the CPU card of the slot, activating whichever card answers when none is
  // active; resolves with the status word (144 = 90 00) and the response data.
  async apdu(rfIdx, apdu) {
    if ((await this.call(302, { rfIdx })).retval !== 1 && (await this.call(304, { rfIdx })).retval !== 1) {
      throw new RfDockError('reply', `no CPU card answers on reader slot ${rfIdx}`);
    }
    const reply = await this.call(310, { rfIdx, apdu });
    if (reply.retval !== 1 || reply.data.length < 4) {
      throw new RfDockError('reply', `the APDU did not reach the card on reader slot ${rfIdx}`, reply);
    }
    const sw = reply.data.slice(-4);
    return { sw: parseInt(sw.slice(0, 2), 16) + 256 * parseInt(sw.slice(2), 16), data: reply.data.slice(0, -4) };
  }

  // --- connection handling

  // Node before 22 has no global WebSocket: the 'ws' package stands in, found from this file.
  async webSocketClass() {
    if (this.WebSocketImpl) return this.WebSocketImpl;
    const name = 'ws';  // not a literal, so that bundlers of pages leave it alone
    let module;
    try {
      module = await import(name);
    } catch {
      throw new RfDockError('closed', "no WebSocket here: install the 'ws' package (npm install ws) or pass options.WebSocket");
    }
    this.WebSocketImpl = module.WebSocket ?? module.default;
    return this.WebSocketImpl;
  }

  async openSocket() {
    this.setState('connecting');
    let WebSocketImpl;
    try {
      WebSocketImpl = await this.webSocketClass();
    } catch (error) {
      this.setState('closed', error.message);
      throw error;
    }
    return new Promise((resolve, reject) => {
      let socket;
      try {
        socket = new WebSocketImpl(this.url);
      } catch (error) {
        this.setState('closed');
        reject(new RfDockError('closed', `cannot connect to ${this.url}: ${error.message}`));
        return;
      }
      this.socket = socket;
      let opened = false;
      socket.onopen = () => {
        opened = true;
        this.reconnectDelay = RECONNECT_MIN_MS;
        this.setState('open');
        resolve();
      };
      socket.onmessage = (message) => this.receive(message.data);
      socket.onerror = () => {};  // onclose follows and says what happened
      socket.onclose = (event) => {
        if (this.socket !== socket) return;
        const why = event && event.code ? `connection closed (${event.code})` : 'connection closed';
        this.dropSocket(why);
        if (!opened) reject(new RfDockError('closed', `cannot connect to ${this.url}`));
        this.scheduleReconnect();
      };
    });
  }

  dropSocket(why) {
    const wasOpen = this.state === 'open';
    if (this.socket) {
      this.socket.onopen = this.socket.onmessage = this.socket.onclose = null;
      this.socket = null;
    }
    for (const ack of [...this.pending.keys()]) {
      this.settle(ack, null, new RfDockError('closed', `${why} before the reply arrived`));
    }
    this.setState('closed', why);
    if (wasOpen) this.dispatchEvent(new CustomEvent('close', { detail: { reason: why } }));
  }

  scheduleReconnect() {
    if (!this.wantOpen || !this.reconnect || this.reconnectTimer) return;
    const delay = this.reconnectDelay;
    this.reconnectDelay = Math.min(this.reconnectDelay * 2, RECONNECT_MAX_MS);
    this.reconnectTimer = setTimeout(async () => {
      this.reconnectTimer = null;
      try {
        await this.openSocket();
      } catch {
        this.scheduleReconnect();  // usually done already by the socket's close handler
        return;
      }
      try {
        if (this.credentials) await this.login(this.credentials.user, this.credentials.pass);
      } catch (error) {
        this.dispatchEvent(new CustomEvent('error', { detail: error }));
        return;
      }
      // The service keeps readers and finders per connection: the page has to set them up again.
      this.dispatchEvent(new CustomEvent('reconnected'));
    }, delay);
  }

  setState(state, reason = '') {
    if (this.state === state) return;
    this.state = state;
    this.dispatchEvent(new CustomEvent('state', { detail: { state, reason } }));
  }

  // --- incoming messages

  receive(text) {
    let message;
    try {
      message = JSON.parse(typeof text === 'string' ? text : String(text));
    } catch {
      this.dispatchEvent(new CustomEvent('error', { detail: new RfDockError('protocol', 'unreadable message') }));
      return;
    }
    if (message === null || typeof message !== 'object') return;
    if (message.imp === 0) {
      this.answerProvider(message);
      return;
    }
    if (hasOwn(message, 'evt')) {
      const name = EVENT_NAMES[message.evt];
      if (name) this.dispatchEvent(new CustomEvent(name, { detail: message }));
      this.dispatchEvent(new CustomEvent('event', { detail: message }));
      return;
    }
    if (typeof message.ack === 'string') this.settle(message.ack, message, null);
  }

  settle(ack, reply, error) {
    const entry = this.pending.get(ack);
    if (!entry) return;
    this.pending.delete(ack);
    clearTimeout(entry.timer);
    entry.stopListening?.();
    if (error) entry.reject(error);
    else entry.resolve(reply);
  }

  // A key-provider request: answered by options.keyProvider, or at once with an empty answer so the
  // service fails the card command now instead of after its 10 s wait.
  async answerProvider(request) {
    let answer = { retval: 0x006f, data: '' };  // SW 6F 00, SW1 in the low byte
    if (this.keyProvider) {
      try {
        const result = await this.keyProvider(request);
        if (result && typeof result.retval === 'number') {
          answer = { retval: result.retval, data: typeof result.data === 'string' ? result.data : '' };
        }
      } catch (error) {
        this.dispatchEvent(new CustomEvent('error', { detail: error }));
      }
    }
    if (this.state !== 'open') return;
    try {
      this.socket.send(JSON.stringify({ imp: 0, ack: request.ack, ...answer }));
    } catch {
      // The connection is going; the service times the request out.
    }
  }
}

export default RfDock;
