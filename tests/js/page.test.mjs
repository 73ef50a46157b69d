// The demo page in headless Chromium against rfdock-sim: list the readers on the machine, log in, open
// a simulated reader, see a card placed through /sim arrive as a finder event, select it and read its
// sector 0 while the finder runs; read the pages of an NTAG placed on a VC reader.

import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import { tmpdir } from 'node:os';

import { startService } from './service.mjs';

const chromiumPath = process.env.CHROMIUM ?? '/usr/bin/chromium';
const haveChromium = existsSync(chromiumPath);

let service;
let browser;
before(async () => {
  if (!haveChromium) return;
  const { chromium } = await import('playwright-core');
  service = await startService('rfdock-sim');
  browser = await chromium.launch({ executablePath: chromiumPath, args: ['--no-sandbox'] });
});
after(async () => {
  await browser?.close();
  await service?.stop();
});

async function simReaderOfType(type) {
  const sim = await (await fetch(`${service.httpUrl}/sim`)).json();
  return sim.readers.find((r) => r.type === type);
}

async function logIn(page) {
  await page.goto(`${service.httpUrl}/`);
  await page.waitForSelector('#sim-panel:not([hidden])');
  await page.fill('input[name=pass]', service.pass);
  await page.click('#login-form button');
  await page.waitForSelector('body.logged-in');
}

test('the page offers the NTAG kinds and reads a tag\'s pages', { skip: !haveChromium && 'no chromium' }, async () => {
  const page = await browser.newPage();
  const reader = await simReaderOfType(5);
  await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, { method: 'DELETE' });
  const placed = await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ kind: 'ntag213', uid: '04A1B2C3D4E5F6' }),
  });
  assert.equal(placed.status, 201);

  await logIn(page);
  const kinds = await page.$$eval('#sim-kind option', (options) => options.map((o) => o.value));
  for (const kind of ['ntag213', 'ntag215', 'ntag216']) assert.ok(kinds.includes(kind), kind);

  await page.selectOption('#dev-type', '5');
  await page.click('button[data-action=create]');
  await page.click('button[data-action=open]');
  await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('open'));
  await page.click('button[data-action=tag-select]');
  await page.waitForFunction(() => document.querySelector('#tag-state').textContent.includes('UID 04A1B2C3D4E5F6'));
  await page.click('button[data-action=tag-read]');
  await page.waitForFunction(() => document.querySelector('#tag-dump').textContent.includes('  7 '));
  const dump = await page.textContent('#tag-dump');
  assert.match(dump, /^ {2}0 {2}04 A1 B2 /m);       // UID0-2 and BCC0
  assert.match(dump, /^ {2}3 {2}E1 10 12 00$/m);    // the NTAG213's capability container
  await page.close();
});

test('the page lists the simulated readers under "Readers on this machine"', { skip: !haveChromium && 'no chromium' }, async () => {
  const page = await browser.newPage();
  await page.goto(`${service.httpUrl}/`);
  await page.waitForFunction(() => document.querySelector('#devices tbody').childElementCount >= 6);
  const rows = await page.textContent('#devices tbody');
  for (const type of ['1 · VD HID', '3 · VC CH9326', '4 · VA HID', '6 · VB CH340', 'could be 2 · VB serial', 'could be 5 · VC serial']) {
    assert.ok(rows.includes(type), type);
  }
  assert.equal(await page.textContent('#device-advice'), '');  // every simulated reader may be opened
  await page.close();
});

test('the page finds a card placed on a simulated reader and reads its sector 0', { skip: !haveChromium && 'no chromium' },
  async (t) => {
    const page = await browser.newPage({ viewport: { width: 1100, height: 1500 } });
    const reader = await simReaderOfType(4);
    await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, { method: 'DELETE' });

    const loadStart = Date.now();
    await page.goto(`${service.httpUrl}/`);
    await page.waitForSelector('#sim-panel:not([hidden])');

    // A wrong password is reported, not swallowed.
    await page.fill('input[name=pass]', 'wrong');
    await page.click('#login-form button');
    await page.waitForFunction(() => document.querySelector('#log').textContent.includes('Login refused'));
    // In English with the service's own text, on the login's line, not in the connection badge.
    assert.match(await page.textContent('#login-state'), /^Login refused: .+ \(err 101: .+\)$/);
    assert.doesNotMatch(await page.textContent('#connection'), /refused/);

    await page.fill('input[name=pass]', service.pass);
    await page.click('#login-form button');
    await page.waitForSelector('body.logged-in');

    await page.selectOption('#dev-type', '4');
    await page.click('button[data-action=create]');
    await page.click('button[data-action=open]');
    await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('open'));
    await page.click('button[data-action=find-start]');
    await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('finding'));

    const placed = await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ kind: 'mifare1k', uid: 'CAFE0001' }),
    });
    assert.equal(placed.status, 201);
    const placedAt = Date.now();
    await page.waitForFunction(() => document.querySelector('#cards tbody').textContent.includes('CAFE0001'));
    const seenAt = Date.now();
    t.diagnostic(`page load to first finder event: ${seenAt - loadStart} ms (card placed to event: ${seenAt - placedAt} ms)`);

    // Select and read with the finder still running: the card stays the page's between the two.
    await page.click('button[data-action=mf-select]');
    await page.waitForFunction(() => document.querySelector('#mf-card').textContent.includes('UID CAFE0001'));
    await page.click('button[data-action=mf-read]');
    await page.waitForFunction(() => document.querySelector('#mf-dump').textContent.includes('access'));
    const dump = await page.textContent('#mf-dump');
    assert.match(dump, /^ {2}0 {2}CA FE 00 01 /m);  // the manufacturer block starts with the UID
    assert.match(dump, /000\|000\|000\|001/);         // transport access conditions

    // The state line follows the chosen slot.
    await page.selectOption('#rf-idx', '1');
    assert.equal(await page.textContent('#reader-state'), 'No reader created in this slot.');
    await page.selectOption('#rf-idx', '0');
    assert.match(await page.textContent('#reader-state'), /^Slot 0: finding cards/);

    // Stopping the finder clears its list.
    await page.click('button[data-action=find-stop]');
    await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('stopped'));
    assert.equal(await page.textContent('#cards tbody'), '');

    // A malformed card description is refused with a reason.
    const refused = await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ kind: 'mifare1k', uid: 'XYZ' }),
    });
    assert.equal(refused.status, 400);
    assert.match((await refused.json()).error, /hex/);

    const shot = process.env.RFDOCK_SCREENSHOT ?? join(tmpdir(), 'rfdock-demo-page.png');
    await page.screenshot({ path: shot, fullPage: true });

    // The service going away shows as a lost connection.
    await service.stop();
    await page.waitForFunction(() => document.querySelector('#connection').textContent !== 'connected');
    service = null;
  });
