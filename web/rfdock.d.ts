// Types of rfdock.js, the client of the rfdock card-reader service.

export type RfDockErrorKind = 'closed' | 'timeout' | 'login' | 'reply' | 'protocol';

export class RfDockError extends Error {
  readonly kind: RfDockErrorKind;
  /** The service's reply, for kind 'reply' and 'login'. */
  readonly reply?: Reply;
  /** The result code of that reply. */
  readonly err?: number;
}

/** Every reply carries the request's ack, a result code and its text (Chinese, as the service words it). */
export interface Reply {
  ack: string;
  err: number;
  msg: string;
  [field: string]: unknown;
}

export interface FoundCard {
  /** 1 ISO 14443-A, 2 ISO 14443-B, 4 ISO 15693 */
  rf_type: 1 | 2 | 4;
  uid: string;
  atqa?: number;
  sak?: number;
  application?: string;
  protocol?: string;
  dsfid?: number;
}

export interface CardEvent {
  evt: 117;
  retval: FoundCard[];
}

export interface UdpEvent {
  evt: 700;
  /** The payload in hex (decrypted when the slot has a key; empty when it did not decrypt). */
  data: string;
  /** The sender, "address:port". */
  host: string;
}

/** A key-provider request: encrypt (type 0), decrypt (1), MAC (2) or TAC MAC (3) with a key the page holds. */
export interface ProviderRequest {
  imp: 0;
  ack: number;
  type: 0 | 1 | 2 | 3;
  alg: number;
  param: string;
  iv: string;
  data: string;
}

export interface ProviderAnswer {
  /** Status word, SW1 in the low byte (144 = 90 00). */
  retval: number;
  /** Result bytes as hex; never empty on success. */
  data: string;
}

export interface RfDockOptions {
  url: string;
  /** Default reply time-out of call() in ms; 0 waits for ever. Default 10000. */
  timeoutMs?: number;
  /** Reconnect and log in again after the connection dropped. Default true. */
  reconnect?: boolean;
  keyProvider?: (request: ProviderRequest) => ProviderAnswer | Promise<ProviderAnswer>;
  /** WebSocket constructor; defaults to the global one. */
  WebSocket?: new (url: string) => WebSocket;
}

export interface CallOptions {
  timeoutMs?: number;
}

export type ConnectionState = 'connecting' | 'open' | 'closed';

export interface RfDockEventMap {
  card: CustomEvent<CardEvent>;
  udp: CustomEvent<UdpEvent>;
  event: CustomEvent<{ evt: number; [field: string]: unknown }>;
  state: CustomEvent<{ state: ConnectionState; reason: string }>;
  reconnected: CustomEvent<void>;
  error: CustomEvent<unknown>;
}

export const EVENT_NAMES: Readonly<Record<number, string>>;

export class RfDock extends EventTarget {
  constructor(options: RfDockOptions);
  readonly url: string;
  readonly state: ConnectionState;
  readonly connected: boolean;
  connect(): Promise<void>;
  close(): void;
  login(user: string, pass: string): Promise<Reply>;
  /** Resolves with the reply when err is 0; rejects with RfDockError otherwise. */
  call(code: number, fields?: Record<string, unknown>, options?: CallOptions): Promise<Reply>;
  /** Sends any request and resolves with its reply whatever its err. */
  send(request: Record<string, unknown>, options?: CallOptions): Promise<Reply>;
  addEventListener<K extends keyof RfDockEventMap>(
    type: K,
    listener: (event: RfDockEventMap[K]) => void,
    options?: boolean | AddEventListenerOptions,
  ): void;
  addEventListener(type: string, listener: EventListenerOrEventListenerObject | null,
                   options?: boolean | AddEventListenerOptions): void;
}

export default RfDock;
