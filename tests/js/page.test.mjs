// The demo page in headless Chromium against rfdock-sim: list the readers on the machine; the README's
// tour (log in, open a simulated reader, find a card placed through the Simulator panel, select it,
// read and write its sector while the finder runs, cancel a long wait); read the pages of an NTAG
// placed on a VC reader.

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

// The README's tour, end to end, as a user clicks it.
test('the README tour: log in, open, find a placed card, select, read, write with confirmation', { skip: !haveChromium && 'no chromium' },
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

    // One numbering: the slot, with the reader's type and the simulated reader's name beside it.
    await page.selectOption('#dev-type', '4');
    await page.click('button[data-action=create]');
    await page.click('button[data-action=open]');
    await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('open'));
    assert.equal(await page.textContent('#reader-state'), 'Slot 0: type 4 · VA HID · simulated, open.');
    await page.waitForFunction(() => document.querySelector('#sim-reader').selectedOptions[0]?.textContent.includes('slot 0'));
    assert.equal(await page.$eval('#sim-reader', (s) => s.value), String(reader.id));

    await page.click('button[data-action=find-start]');
    await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('finding'));

    // Place the card through the Simulator panel, as the tour says.
    await page.selectOption('#sim-kind', 'mifare1k');
    await page.fill('#sim-uid', 'CAFE0001');
    const placedAt = Date.now();
    await page.click('button[data-action=sim-place]');
    await page.waitForFunction(() => document.querySelector('#cards tbody').textContent.includes('CAFE0001'));
    const seenAt = Date.now();
    t.diagnostic(`page load to first finder event: ${seenAt - loadStart} ms (card placed to event: ${seenAt - placedAt} ms)`);
    assert.match(await page.textContent('#sim-cards'), /type 4 · VA HID · slot 0: mifare1k CAFE0001/);

    // Select and read with the finder still running: the card stays the page's between the two.
    await page.click('button[data-action=mf-select]');
    await page.waitForFunction(() => document.querySelector('#mf-card').textContent.includes('UID CAFE0001'));
    await page.click('button[data-action=mf-read]');
    await page.waitForFunction(() => document.querySelector('#mf-dump').textContent.includes('access'));
    let dump = await page.textContent('#mf-dump');
    assert.match(dump, /^ {2}0 {2}CA FE 00 01 /m);  // the manufacturer block starts with the UID
    assert.match(dump, /000\|000\|000\|001/);       // transport access conditions

    // A write asks first: declined, nothing is sent; accepted, block 1 holds the data.
    const dialogs = [];
    const answerDialogs = (accept) => page.once('dialog', (dialog) => {
      dialogs.push(dialog.message());
      return accept ? dialog.accept() : dialog.dismiss();
    });
    answerDialogs(false);
    await page.click('button[data-action=mf-write]');
    await page.waitForFunction(() => !document.querySelector('button[data-action=mf-write]').disabled);
    assert.doesNotMatch(await page.textContent('#log'), /208 →/);
    answerDialogs(true);
    await page.click('button[data-action=mf-write]');
    await page.waitForFunction(() => document.querySelector('#mf-card').textContent === 'Block written.');
    assert.equal(dialogs.length, 2);
    assert.match(dialogs[0], /overwritten/);
    await page.click('button[data-action=mf-read]');
    await page.waitForFunction(() => document.querySelector('#mf-dump').textContent.includes('access'));
    dump = await page.textContent('#mf-dump');
    assert.match(dump, /^ {2}1 {2}00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF$/m);

    // The state line follows the chosen slot.
    await page.selectOption('#rf-idx', '1');
    assert.equal(await page.textContent('#reader-state'), 'No reader created in this slot.');
    await page.selectOption('#rf-idx', '0');
    assert.match(await page.textContent('#reader-state'), /^Slot 0: finding cards/);

    const shot = process.env.RFDOCK_SCREENSHOT ?? join(tmpdir(), 'rfdock-demo-page.png');
    await page.evaluate(() => window.scrollTo(0, 0));  // the sticky header back at the top
    await page.screenshot({ path: shot, fullPage: true });

    // Stopping the finder clears its list.
    await page.click('button[data-action=find-stop]');
    await page.waitForFunction(() => document.querySelector('#reader-state').textContent.includes('stopped'));
    assert.equal(await page.textContent('#cards tbody'), '');

    // A long wait shows in the header and can be cancelled: a finder in acknowledgement mode with no
    // card on the reader answers only when one comes.
    await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, { method: 'DELETE' });
    await page.fill('#console-input', '{ "code": 117, "rfIdx": 0, "ms": 100, "evt": false }');
    await page.click('button[data-action=console-send]');
    await page.waitForSelector('#busy:not([hidden])');
    assert.match(await page.textContent('#busy'), /command 117/);
    await page.click('#busy-cancel');
    await page.waitForSelector('#busy', { state: 'hidden' });
    assert.match(await page.textContent('#log'), /Cancelled: stopped waiting for the reply to command 117/);
    await page.fill('#console-input', '{ "code": 119, "rfIdx": 0 }');
    await page.click('button[data-action=console-send]');
    await page.waitForFunction(() => document.querySelector('#log').textContent.includes('→ {"code":119'));

    // A malformed card description is refused with a reason.
    const refused = await fetch(`${service.httpUrl}/sim/readers/${reader.id}/cards`, {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ kind: 'mifare1k', uid: 'XYZ' }),
    });
    assert.equal(refused.status, 400);
    assert.match((await refused.json()).error, /hex/);

    // The service going away shows as a lost connection.
    await service.stop();
    await page.waitForFunction(() => document.querySelector('#connection').textContent !== 'connected');
    service = null;
  });
