// Starts a built rfdock (or rfdock-sim) on a free port with HOME in a temporary folder, for the
// tests of the JavaScript client and the page.

import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, mkdirSync, writeFileSync, chmodSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

export const binDir = process.env.RFDOCK_BIN_DIR ?? fileURLToPath(new URL('../../build/bin', import.meta.url));

export function freePort() {
  return new Promise((done, fail) => {
    const server = createServer();
    server.unref();
    server.on('error', fail);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => done(port));
    });
  });
}

async function waitForPing(port, limitMs) {
  const deadline = Date.now() + limitMs;
  while (Date.now() < deadline) {
    try {
      const response = await fetch(`http://127.0.0.1:${port}/ping`);
      if (response.ok) return;
    } catch {
      // not listening yet
    }
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`service on port ${port} did not answer /ping`);
}

export async function startService(program = 'rfdock', extraArgs = []) {
  const home = mkdtempSync(join(tmpdir(), 'rfdock-js-'));
  // A fake xdg-open keeps a start from opening a browser on the test machine.
  mkdirSync(join(home, 'bin'));
  writeFileSync(join(home, 'bin', 'xdg-open'), '#!/bin/sh\nexit 0\n');
  chmodSync(join(home, 'bin', 'xdg-open'), 0o755);
  const port = await freePort();
  const child = spawn(join(binDir, program), ['-p', String(port), ...extraArgs], {
    env: { HOME: home, RFDOCK_HOME: home, PATH: `${home}/bin:/usr/bin:/bin`, LANG: 'C.UTF-8' },
    stdio: ['ignore', 'ignore', 'inherit'],
  });
  const exited = new Promise((r) => child.once('exit', r));
  await waitForPing(port, 10000);
  const conf = readFileSync(join(home, '.tesmar', program, 'etc', `${program}.conf`), 'utf8');
  const pass = /^pass = (.*)$/m.exec(conf)[1];
  return {
    port,
    pid: child.pid,
    home,
    url: `ws://127.0.0.1:${port}/`,
    httpUrl: `http://127.0.0.1:${port}`,
    user: 'public',
    pass,
    async stop() {
      if (child.exitCode === null) child.kill('SIGTERM');
      await exited;
      rmSync(home, { recursive: true, force: true });
    },
  };
}
