// A page's use of rfdock.js as TypeScript sees it: `tsc --strict --noEmit` over this file (the
// ctest test js_types) checks that rfdock.d.ts types each command's fields and reply, the events
// and the helpers. It is compiled, never run.

import { RfDock, RfDockError, type FoundCard, type ProviderRequest } from '../../web/rfdock.js';

const dock = new RfDock({
  url: 'ws://127.0.0.1:8080/',
  keyProvider: (request: ProviderRequest) => ({ retval: 144, data: request.data }),
});

dock.addEventListener('card', (event) => {
  const cards: FoundCard[] = event.detail.retval;
  for (const card of cards) console.log(card.rf_type, card.uid.toLowerCase());
});
dock.addEventListener('udp', (event) => console.log(event.detail.host, event.detail.data.length));
dock.addEventListener('reconnected', () => console.log('set the readers up again'));
dock.addEventListener('close', (event) => console.log(event.detail.reason));

export async function session(pass: string): Promise<void> {
  await dock.connect();
  await dock.login('public', pass);

  const version = await dock.call(1);
  const build: string = version.build;
  const ver: number = version.ver;
  console.log(build, ver);

  await dock.call(100, { rfIdx: 0, devType: 0 });
  const opened = await dock.call(105, { rfIdx: 0, open: true });
  if (opened.retval !== 1) return;
  await dock.call(113, { rfIdx: 0, enable: true, limit: 0 });
  const found = await dock.call(117, { rfIdx: 0, ms: 200, evt: false }, { timeoutMs: 0 });
  const first: string | undefined = found.retval?.[0]?.uid;
  console.log(first);

  const block = await dock.call(207, {
    rfIdx: 0,
    reSelect: true,
    sector: 1,
    pwd: 'FFFFFFFFFFFF',
    pos: 0,
    num: 0,
    keyB: false,
    fill: true,
  });
  const bytesRead: number = block.retval;
  const hex: string = block.data;
  console.log(bytesRead, hex);

  const config = await dock.call(1113, { rfIdx: 0, page: 41 });
  const flag: boolean = config.cfg.strgModOn;
  console.log(flag);

  const apdu = await dock.call(311, {
    rfIdx: 0,
    cla: 0,
    ins: 0x84,
    p1: 0,
    p2: 0,
    le: 4,
    lcData: '',
    incLe: true,
    safe: { enc: false, mac: true, key: { alg: 2, param: '', provider: true } },
  });
  const sw: number = apdu.retval;
  console.log(sw, apdu.data);

  const step1 = await dock.call(1008, {
    rfIdx: 0,
    cpuId: 0,
    type: 2,
    id: 1,
    key: { alg: 2, param: '909192939495969798999A9B9C9D9E9F' },
    orderData: { number: '112233445566', money: 500, times: 0 },
  });
  const step2 = await dock.call(1009, { rfIdx: 0, cpuId: 0, orderData: step1.orderData });
  const tac: number = step2.orderData.Commit.tac;
  console.log(tac === step1.orderData.REQ.tac);

  await dock.call(700, { udpIdx: 0, broadcast: false, addr: '127.0.0.1', port: 5000 });
  const sent: number = (await dock.call(702, { udpIdx: 0, addr: '127.0.0.1', port: 5000, data: '0102' })).retval;
  console.log(sent);

  // Codes without types of their own go through the untyped overload.
  const code: number = 9999;
  const other = await dock.call(code, { anything: true });
  console.log(other.err, other.msg);

  try {
    await dock.call(405, { uid: '01020304', type: 0, data: { key: 'FFFFFFFFFFFF' } });
  } catch (error) {
    if (error instanceof RfDockError) console.log(error.err, error.msg, error.description);
  }

  const sector = await dock.readSector(0, 1, 'FFFFFFFFFFFF');
  console.log(sector.uid, sector.blocks.length);
  const written: number = await dock.writeBlocks(0, 1, 'FFFFFFFFFFFF', '00112233445566778899AABBCCDDEEFF');
  console.log(written);
  const response = await dock.apdu(0, '0084000004');
  console.log(response.sw === 144, response.data);
  await dock.startFinder(0, { ms: 100 });
  await dock.stopFinder(0);
  dock.close();
}
