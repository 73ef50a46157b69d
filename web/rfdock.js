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
// datagram) have their own event names, every event is also dispatched as 'event'.

const DEFAULT_TIMEOUT_MS = 10000;
const RECONNECT_MIN_MS = 500;
const RECONNECT_MAX_MS = 10000;

// What went wrong with a call: 'closed' (no connection, or it dropped before the reply), 'timeout'
// (no reply in time), 'login' (credentials refused), 'reply' (the service answered with err != 0),
// 'protocol' (the service sent something this client cannot read).
export class RfDockError extends Error {
  constructor(kind, message, reply = undefined) {
    super(message);
    this.name = 'RfDockError';
    this.kind = kind;
    this.reply = reply;
    this.err = reply && typeof reply.err === 'number' ? reply.err : undefined;
  }
}

// Event names by `evt` value.
export const EVENT_NAMES = Object.freeze({ 117: 'card', 700: 'udp' });

function hasOwn(object, key) {
  return Object.prototype.hasOwnProperty.call(object, key);
}

export class RfDock extends EventTarget {
  // options.url          WebSocket URL of the service (ws:// or wss://)
  // options.timeoutMs    default reply time-out of call(); 0 waits for ever
  // options.reconnect    reconnect (and log in again) after the connection dropped; default true
  // options.keyProvider  async (request) => ({ retval, data }): answers the service's key-provider
  //                      requests (`imp` 0: encrypt, decrypt or MAC with a key the page holds)
  // options.WebSocket    WebSocket constructor (defaults to the global one; node tests pass 'ws')
  constructor(options = {}) {
    super();
    if (typeof options.url !== 'string') throw new TypeError('RfDock: options.url must be a string');
    this.url = options.url;
    this.timeoutMs = options.timeoutMs ?? DEFAULT_TIMEOUT_MS;
    this.reconnect = options.reconnect ?? true;
    this.keyProvider = options.keyProvider ?? null;
    this.WebSocketImpl = options.WebSocket ?? globalThis.WebSocket;
    if (typeof this.WebSocketImpl !== 'function') throw new TypeError('RfDock: no WebSocket implementation');
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
  // for a card finder started in acknowledgement mode).
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
    return new Promise((resolve, reject) => {
      const entry = { resolve, reject, timer: null };
      if (timeoutMs > 0) {
        entry.timer = setTimeout(() => {
          this.pending.delete(ack);
          reject(new RfDockError('timeout', `no reply to command ${request.code} within ${timeoutMs} ms`));
        }, timeoutMs);
      }
      this.pending.set(ack, entry);
      try {
        this.socket.send(JSON.stringify({ ...request, ack }));
      } catch (error) {
        this.settle(ack, null, new RfDockError('closed', `sending failed: ${error.message}`));
      }
    });
  }

  // --- connection handling

  openSocket() {
    this.setState('connecting');
    return new Promise((resolve, reject) => {
      let socket;
      try {
        socket = new this.WebSocketImpl(this.url);
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
    if (this.socket) {
      this.socket.onopen = this.socket.onmessage = this.socket.onclose = null;
      this.socket = null;
    }
    for (const ack of [...this.pending.keys()]) {
      this.settle(ack, null, new RfDockError('closed', `${why} before the reply arrived`));
    }
    this.setState('closed', why);
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
