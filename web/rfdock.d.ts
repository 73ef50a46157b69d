// Types of rfdock.js, the client of the rfdock card-reader service. Every command, its fields and
// its reply are described in docs/commands.md; RfDockCommands below types them for call().

export type RfDockErrorKind = 'closed' | 'timeout' | 'cancelled' | 'login' | 'reply' | 'protocol';

export class RfDockError extends Error {
  readonly kind: RfDockErrorKind;
  /** The service's reply, for kind 'reply' and 'login'. */
  readonly reply?: Reply;
  /** The result code of that reply. */
  readonly err?: number;
  /** The service's own text of `err` (Chinese), exactly as it sent it. */
  readonly msg?: string;
  /** What went wrong, in English: the meaning of `err`, or the error's message when `err` says nothing. */
  readonly description: string;
}

/** English explanations of the service's result codes (`err`), by code. */
export const ERROR_DESCRIPTIONS: Readonly<Record<number, string>>;
/** English meanings of the negative `retval` of the Mifare Classic commands 207 to 209. */
export const MIFARE_STATUS: Readonly<Record<number, string>>;

/** Every reply carries the request's ack, a result code and its text (Chinese, as the service words it). */
export interface Reply {
  ack: string;
  err: number;
  msg: string;
  [field: string]: unknown;
}

/** The reply of a command that succeeded: call() resolves only with these. */
export type Ok<R> = { ack: string; err: 0; msg: string } & R;

// --- field types

/** Hex text of bytes: digit pairs, either case; replies use upper case without separators. */
export type Hex = string;
/** A card status word, SW1 + 256 × SW2: 90 00 is 144. */
export type StatusWord = number;

/** A card key: alg 1 PIN digits, 2 a DES key in hex (8 or 16 bytes), other: the text itself. */
export interface KeyObject {
  alg: number;
  param: string;
  /** The key stays on the page: the service asks the keyProvider for each operation. */
  provider?: boolean;
}

/** Secure messaging of one CPU-card command. */
export interface SecureMessaging {
  enc: boolean;
  mac: boolean;
  key: KeyObject;
}

/** A reader slot, 0 to 5. */
export interface Slot {
  rfIdx: number;
}
/** A CPU card of a reader slot: cpuId 0 the type A card activated by 300/304, 1 type B. */
export interface CpuSlot extends Slot {
  cpuId: number;
}
/** A UDP slot, 0 to 5. */
export interface UdpSlot {
  udpIdx: number;
}

export interface FoundCard {
  /** 1 ISO 14443-A, 2 ISO 14443-B, 4 ISO 15693 */
  rf_type: 1 | 2 | 4;
  uid: Hex;
  atqa?: number;
  sak?: number;
  application?: Hex;
  protocol?: Hex;
  dsfid?: number;
}

export interface TypeASelection {
  uid: Hex;
  atqa: number;
  sak: number;
}

export interface PageTagConfig {
  mirrorConf: number;
  mirrorByte: number;
  strgModOn: boolean;
  mirrorPage: number;
  auth0: number;
  safeRead: boolean;
  lock: boolean;
  nfcCntOn: boolean;
  cntPwdOn: boolean;
  authlim: number;
}

/** 1114 takes every member as a number: 0 or 1 for the flags. */
export type PageTagConfigNumbers = { [K in keyof PageTagConfig]: number };

/** What the page sends to 1008: the terminal number, the amount and the time (0: now). */
export interface OrderRequest {
  number: Hex;
  money: number;
  times: number;
}

/** Written by 1008 into orderData; send it back unchanged with 1009. */
export interface OrderREQ {
  type: number;
  oldBalance: number;
  newBalance: number;
  seq: number;
  keyVer: number;
  keyFlag: number;
  bcdTime: Hex;
  tmpAlg: number;
  tmpKey: Hex;
  limit: number;
  tac: number;
  mac: number;
}

export interface OrderData extends OrderRequest {
  REQ: OrderREQ;
}

export interface CommittedOrder extends OrderData {
  Commit: { tac: number; mac: number };
}

// --- commands: code -> request fields (besides ack and code) and reply fields (besides ack, err, msg)

interface Cmd<Request, ReplyFields> {
  request: Request;
  reply: ReplyFields;
}
/** No fields of its own. */
type Nothing = {};
type RetvalOf<T> = { retval: T };
type StatusReply = RetvalOf<StatusWord>;
type StatusData = { retval: StatusWord; data: Hex };
/** ISO 15693 and ICODE status: 0 success, 253 not supported by the reader, 254 hard failure. */
type TagStatus = RetvalOf<number>;

export interface RfDockCommands {
  // service
  0: Cmd<{ user: string; pass: string }, Nothing>;
  1: Cmd<Nothing, { ver: number; version: string; build: string }>;
  2: Cmd<Nothing, { sha256: string; md5: string }>;
  400: Cmd<{ sw: StatusWord }, RetvalOf<string>>;
  405: Cmd<{ uid: Hex; type: number; data: { key?: Hex; dealer?: Hex; sector?: number; code?: number } }, RetvalOf<Hex>>;
  406: Cmd<
    { uid: Hex; type: number; data: { dealerCode?: number; code?: number; dealerParam?: Hex; sysKey?: Hex } },
    RetvalOf<Record<string, string> | null>
  >;

  // readers
  100: Cmd<Slot & { devType: number }, Nothing>;
  101: Cmd<Slot, RetvalOf<number>>;
  102: Cmd<Slot & { devType: number }, RetvalOf<boolean>>;
  103: Cmd<Slot & { devType: number; addr: string }, RetvalOf<boolean>>;
  104: Cmd<Slot & { only: boolean }, Nothing>;
  /** retval 1 opened, 0 failed, -1 the type is open in another slot. */
  105: Cmd<Slot & { open: boolean }, RetvalOf<1 | 0 | -1>>;
  106: Cmd<Slot, Nothing>;
  107: Cmd<Slot & { Y: number; G: number }, RetvalOf<boolean>>;
  108: Cmd<Slot, { retval: boolean; ver: string }>;
  109: Cmd<Slot, RetvalOf<number>>;
  110: Cmd<Slot & { rfType: 1 | 2 | 4; forceSwitch: boolean }, RetvalOf<boolean>>;
  111: Cmd<Slot & { ms: number }, RetvalOf<boolean>>;
  112: Cmd<Slot, RetvalOf<boolean>>;
  113: Cmd<Slot & { enable: boolean; limit: number }, Nothing>;
  114: Cmd<Slot & { enable: boolean; limit: number; afi: number; slotsNum: number }, Nothing>;
  115: Cmd<Slot & { enable: boolean; limit: number; afi: number; nb16Slots: boolean }, Nothing>;
  116: Cmd<Slot, RetvalOf<FoundCard[]>>;
  /** With evt false the reply comes when cards are found (call with timeoutMs 0) and carries them. */
  117: Cmd<Slot & { ms: number; evt: boolean; pause?: boolean; fixIdle?: boolean }, { retval?: FoundCard[] }>;
  119: Cmd<Slot, Nothing>;
  120: Cmd<Slot, Nothing>;

  // Mifare Classic
  200: Cmd<Slot & { isWrite: boolean; isCheck: boolean }, Nothing>;
  201: Cmd<Slot & { uid: Hex }, RetvalOf<boolean>>;
  202: Cmd<Slot, Nothing>;
  203: Cmd<Slot, RetvalOf<boolean>>;
  204: Cmd<Slot, RetvalOf<Hex>>;
  205: Cmd<Slot, RetvalOf<boolean> & TypeASelection>;
  206: Cmd<Slot, RetvalOf<string>>;
  /** retval: bytes read, or a negative MIFARE_STATUS. */
  207: Cmd<
    Slot & { reSelect: boolean; sector: number; pwd: Hex; pos: number; num: number; keyB: boolean; fill: boolean },
    { retval: number; data: Hex }
  >;
  208: Cmd<
    Slot & { reSelect: boolean; sector: number; pwd: Hex; data: Hex; pos: number; num: number; keyB: boolean },
    RetvalOf<number>
  >;
  209: Cmd<Slot & { sector: number; keyA: Hex; keyB: Hex; ctl: Hex }, RetvalOf<number>>;
  210: Cmd<Slot & { power: Hex }, { retval: boolean; bitStr: string }>;
  211: Cmd<Slot & { bitStr: string }, { retval: boolean; power: Hex }>;

  // page tags
  1100: Cmd<Slot & { uid: Hex }, RetvalOf<boolean>>;
  1101: Cmd<Slot, Nothing>;
  1102: Cmd<Slot, RetvalOf<boolean>>;
  1103: Cmd<Slot, RetvalOf<Hex>>;
  1104: Cmd<Slot, RetvalOf<boolean> & TypeASelection>;
  1105: Cmd<Slot, RetvalOf<string>>;
  1106: Cmd<Slot & { reSelect: boolean; page: number; num: number }, { retval: number; data: Hex }>;
  1107: Cmd<Slot & { reSelect: boolean; page: number; num: number; data: Hex }, RetvalOf<number>>;
  1108: Cmd<Slot & { reSelect: boolean; page: number; num: number }, { retval: number; data: Hex }>;
  1109: Cmd<Slot & { pwd: Hex }, { retval: boolean; pack: number }>;
  1110: Cmd<
    Slot,
    {
      retval: boolean;
      data: Hex;
      fixed: number;
      vendor: number;
      type: number;
      subType: number;
      major: number;
      minor: number;
      size: number;
      protocol: number;
    }
  >;
  1111: Cmd<Slot, { retval: boolean; cnt: number }>;
  1112: Cmd<Slot, { retval: boolean; data: Hex }>;
  1113: Cmd<Slot & { page: number }, { retval: boolean; cfg: PageTagConfig }>;
  1114: Cmd<Slot & { page: number; cfg: PageTagConfigNumbers }, RetvalOf<boolean>>;

  // CPU cards, type A
  300: Cmd<Slot & { uid: Hex }, RetvalOf<1 | 0>>;
  301: Cmd<Slot, Nothing>;
  302: Cmd<Slot, RetvalOf<1 | 0>>;
  303: Cmd<Slot, RetvalOf<Hex>>;
  304: Cmd<Slot, RetvalOf<1 | 0> & TypeASelection>;
  305: Cmd<Slot, RetvalOf<string>>;
  306: Cmd<Slot, RetvalOf<number>>;
  307: Cmd<Slot, RetvalOf<number>>;
  308: Cmd<Slot, RetvalOf<Hex>>;
  309: Cmd<Slot, RetvalOf<string>>;
  /** data: the whole response with its status word. */
  310: Cmd<Slot & { apdu: Hex }, { retval: 1 | 0; data: Hex }>;
  311: Cmd<
    Slot & { cla: number; ins: number; p1: number; p2: number; le: number; lcData: Hex; incLe: boolean; safe?: SecureMessaging },
    StatusData
  >;

  // COS 7816
  800: Cmd<CpuSlot & { is32: boolean }, StatusData>;
  801: Cmd<
    CpuSlot & { fid: number; aid?: Hex; name?: string },
    { retval: StatusWord; df?: Hex; private?: Hex; sfi?: number; ver?: number; tmp?: Hex }
  >;
  802: Cmd<CpuSlot & { id: number; key: KeyObject }, StatusReply>;
  803: Cmd<CpuSlot & { id: number; pin: string }, StatusReply>;
  804: Cmd<CpuSlot & { id: number; type: number; data: Hex }, StatusData>;
  805: Cmd<CpuSlot & { sfid: number; pos: number; data: Hex; safe?: SecureMessaging }, StatusReply>;
  806: Cmd<CpuSlot & { sfid: number; id: number; mode: number; data: Hex; safe?: SecureMessaging }, StatusReply>;
  807: Cmd<CpuSlot & { sfid: number; data: Hex; safe?: SecureMessaging }, StatusReply>;
  808: Cmd<CpuSlot & { sfid: number; pos: number; size: number; safe?: SecureMessaging }, StatusData>;
  809: Cmd<CpuSlot & { sfid: number; id: number; mode: number; size: number; safe?: SecureMessaging }, StatusData>;

  // FM COS
  900: Cmd<CpuSlot, StatusReply>;
  901: Cmd<CpuSlot & { aid: Hex; fid: number; size: number; create: number; erase: number; sfi: number }, StatusReply>;
  902: Cmd<
    CpuSlot & {
      type: number;
      fid: number;
      size: number;
      read: number;
      write: number;
      attr?: { macr: boolean; macw: boolean; enc: boolean; idr: number; idw: number };
    },
    StatusReply
  >;
  903: Cmd<CpuSlot & { type: number; use: number; sfi: number }, StatusReply>;
  904: Cmd<
    CpuSlot & {
      oldType: number;
      id: number;
      type: number;
      use: number;
      ren: number;
      pow: number;
      err: number;
      attr: { enc: boolean; mac: boolean };
      key: KeyObject;
      safe?: SecureMessaging;
    },
    StatusReply
  >;

  // e-purse
  1000: Cmd<CpuSlot & { id: number; oldPin: string; newPin: string }, StatusReply>;
  1001: Cmd<CpuSlot & { id: number; key: KeyObject; pin: string }, StatusReply>;
  1002: Cmd<CpuSlot & { id: number; key: KeyObject; pin: string }, StatusReply>;
  1003: Cmd<CpuSlot & { key: KeyObject }, StatusReply>;
  1004: Cmd<CpuSlot & { key: KeyObject; die: boolean }, StatusReply>;
  1005: Cmd<CpuSlot & { key: KeyObject }, StatusReply>;
  1006: Cmd<CpuSlot & { type: number }, { retval: StatusWord; money: number }>;
  1007: Cmd<CpuSlot & { type: number; seq: number }, { retval: StatusWord; mac: number; tac: number }>;
  1008: Cmd<
    CpuSlot & { type: number; id: number; key: KeyObject; keyTac?: KeyObject; orderData: OrderRequest },
    { retval: StatusWord; orderData: OrderData }
  >;
  1009: Cmd<CpuSlot & { orderData: OrderData }, { retval: StatusWord; orderData: CommittedOrder }>;
  1010: Cmd<CpuSlot & { sfid: number; id: number; mode: number; data: Hex; safe?: SecureMessaging }, StatusReply>;

  // ISO 15693
  500: Cmd<Slot & { mode: number; uid: Hex; dataRate: boolean; subCarrier: boolean }, RetvalOf<boolean>>;
  501: Cmd<Slot & { uid: Hex }, TagStatus>;
  502: Cmd<Slot & { getState: boolean; blockAddr: number }, { retval: number; data: Hex }>;
  503: Cmd<Slot & { blockAddr: number; data: Hex }, TagStatus>;
  504: Cmd<Slot & { blockAddr: number }, TagStatus>;
  505: Cmd<Slot & { mode: number; getState: boolean; firstBlockAddr: number; blockNum: number }, { retval: number; data: Hex }>;
  506: Cmd<Slot & { mode: number; firstBlockAddr: number; blockNum: number; data: Hex }, TagStatus>;
  507: Cmd<Slot & { uid: Hex }, TagStatus>;
  508: Cmd<Slot, TagStatus>;
  509: Cmd<Slot & { afi: number }, TagStatus>;
  510: Cmd<Slot, TagStatus>;
  511: Cmd<Slot & { dsfid: number }, TagStatus>;
  512: Cmd<Slot, TagStatus>;
  513: Cmd<
    Slot,
    { retval: number; flags: number; uid: Hex; dsfid: number; afi: number; blockNum: number; byteSize: number; icRef: number }
  >;
  514: Cmd<Slot & { firstBlockAddr: number; blockNum: number }, { retval: number; data: Hex }>;

  // ICODE SLI
  600: Cmd<Slot, TagStatus>;
  601: Cmd<Slot, TagStatus>;
  602: Cmd<Slot, TagStatus>;
  603: Cmd<Slot, { retval: number; data: Hex }>;
  604: Cmd<Slot & { type: number }, TagStatus>;
  605: Cmd<Slot & { pwd: Hex; id: number }, TagStatus>;
  606: Cmd<Slot & { pwd: Hex; id: number }, TagStatus>;
  607: Cmd<Slot & { id: number }, TagStatus>;
  608: Cmd<Slot & { pwd: Hex }, TagStatus>;
  609: Cmd<Slot & { uid: Hex }, TagStatus>;
  610: Cmd<Slot & { blockAddr: number; data: Hex }, TagStatus>;
  611: Cmd<Slot, { retval: number; authStartAddr: number }>;
  612: Cmd<Slot & { authStartAddr: number }, TagStatus>;

  // UDP
  700: Cmd<UdpSlot & { broadcast: boolean; addr: string; port: number }, RetvalOf<boolean>>;
  701: Cmd<UdpSlot, Nothing>;
  /** retval: bytes sent, -1 on failure. */
  702: Cmd<UdpSlot & { addr: string; port: number; data: Hex }, RetvalOf<number>>;
  703: Cmd<UdpSlot & { keyStr: string }, RetvalOf<boolean>>;
}

export type CommandCode = keyof RfDockCommands;
export type RequestOf<C extends CommandCode> = RfDockCommands[C]['request'];
export type ReplyOf<C extends CommandCode> = Ok<RfDockCommands[C]['reply']>;
/** The arguments of call() after the code: fields may be left out when the command has none. */
export type CallArgs<C extends CommandCode> = {} extends RequestOf<C>
  ? [fields?: RequestOf<C>, options?: CallOptions]
  : [fields: RequestOf<C>, options?: CallOptions];

// --- events and the key provider

export interface CardEvent {
  evt: 117;
  retval: FoundCard[];
}

export interface UdpEvent {
  evt: 700;
  /** The payload in hex (decrypted when the slot has a key; empty when it did not decrypt). */
  data: Hex;
  /** The sender, "address:port". */
  host: string;
}

/** A key-provider request: encrypt (type 0), decrypt (1), MAC (2) or TAC MAC (3) with a key the page holds. */
export interface ProviderRequest {
  imp: 0;
  ack: number;
  type: 0 | 1 | 2 | 3;
  alg: number;
  /** The key object's param, as hex of its bytes. */
  param: Hex;
  /** 8 bytes, or "" for zeros. */
  iv: Hex;
  data: Hex;
}

export interface ProviderAnswer {
  /** Status word, SW1 in the low byte (144 = 90 00). */
  retval: StatusWord;
  /** Result bytes as hex; never empty on success. */
  data: Hex;
}

export interface RfDockOptions {
  url: string;
  /** Default reply time-out of call() in ms; 0 waits for ever. Default 10000. */
  timeoutMs?: number;
  /** Reconnect and log in again after the connection dropped. Default true. */
  reconnect?: boolean;
  keyProvider?: (request: ProviderRequest) => ProviderAnswer | Promise<ProviderAnswer>;
  /**
   * WebSocket constructor; defaults to the global one, and on Node without one to the `ws`
   * package's, loaded when connecting.
   */
  WebSocket?: new (url: string) => WebSocket;
}

export interface CallOptions {
  /** Reply time-out in ms for this call; 0 waits for ever. */
  timeoutMs?: number;
  /**
   * Stops waiting when it fires: the call rejects with kind 'cancelled' and a late reply is dropped.
   * The service is not told and finishes the command.
   */
  signal?: AbortSignal;
}

export type ConnectionState = 'connecting' | 'open' | 'closed';

export interface RfDockEventMap {
  card: CustomEvent<CardEvent>;
  udp: CustomEvent<UdpEvent>;
  /** Every event message, 117 and 700 included. */
  event: CustomEvent<{ evt: number; [field: string]: unknown }>;
  state: CustomEvent<{ state: ConnectionState; reason: string }>;
  /** An open connection went away (a reconnect follows unless it was closed by the page or reconnect is off). */
  close: CustomEvent<{ reason: string }>;
  /** Connected and logged in again after a drop: readers and finders have to be set up again. */
  reconnected: CustomEvent<void>;
  error: CustomEvent<unknown>;
}

export const EVENT_NAMES: Readonly<Record<number, string>>;

// --- helpers' results

export interface SectorRead {
  uid: Hex;
  /** The blocks read, 16 bytes each. */
  blocks: Hex[];
  data: Hex;
}

export interface ApduResult {
  /** The card's status word (144 = 90 00). */
  sw: StatusWord;
  /** The response data without the status word. */
  data: Hex;
}

export class RfDock extends EventTarget {
  constructor(options: RfDockOptions);
  readonly url: string;
  readonly state: ConnectionState;
  readonly connected: boolean;
  /** Opens the connection; rejects with kind 'closed' when it cannot be opened. */
  connect(): Promise<void>;
  close(): void;
  login(user: string, pass: string): Promise<Ok<{}>>;
  /** Resolves with the reply when err is 0; rejects with RfDockError otherwise. */
  call<C extends CommandCode>(code: C, ...args: CallArgs<C>): Promise<ReplyOf<C>>;
  /** Any other code, untyped. */
  call<N extends number>(
    code: N extends CommandCode ? never : N,
    fields?: Record<string, unknown>,
    options?: CallOptions,
  ): Promise<Reply>;
  /** Sends any request and resolves with its reply whatever its err. */
  send(request: Record<string, unknown>, options?: CallOptions): Promise<Reply>;

  /** Creates slot rfIdx (devType 0: detect) and opens it; rejects unless the reader opened. */
  openReader(rfIdx: number, devType?: number): Promise<ReplyOf<105>>;
  /** Enables the ISO 14443-A searcher and starts the finder in event mode ('card' events). */
  startFinder(rfIdx: number, options?: { ms?: number; fixIdle?: boolean; pause?: boolean }): Promise<ReplyOf<117>>;
  stopFinder(rfIdx: number): Promise<ReplyOf<119>>;
  /** Selects the card (by uid, else any) and reads a whole Mifare Classic sector; rejects on a negative status. */
  readSector(rfIdx: number, sector: number, key: Hex, options?: { keyB?: boolean; uid?: Hex }): Promise<SectorRead>;
  /** Selects the card and writes whole blocks from block pos of a sector; resolves with the bytes written. */
  writeBlocks(
    rfIdx: number,
    sector: number,
    key: Hex,
    data: Hex,
    options?: { pos?: number; keyB?: boolean; uid?: Hex },
  ): Promise<number>;
  /** Sends an APDU to the slot's CPU card, activating one first when none is active. */
  apdu(rfIdx: number, apdu: Hex): Promise<ApduResult>;

  addEventListener<K extends keyof RfDockEventMap>(
    type: K,
    listener: (event: RfDockEventMap[K]) => void,
    options?: boolean | AddEventListenerOptions,
  ): void;
  addEventListener(
    type: string,
    listener: EventListenerOrEventListenerObject | null,
    options?: boolean | AddEventListenerOptions,
  ): void;
  removeEventListener<K extends keyof RfDockEventMap>(
    type: K,
    listener: (event: RfDockEventMap[K]) => void,
    options?: boolean | EventListenerOptions,
  ): void;
  removeEventListener(
    type: string,
    listener: EventListenerOrEventListenerObject | null,
    options?: boolean | EventListenerOptions,
  ): void;
}

export default RfDock;
