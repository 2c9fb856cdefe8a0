// The gate, from outside the page: every request that is not the page's own
// is refused, on a connection that then ends, and nothing is written; the
// key opens once and never travels in a program's arguments; nothing a client
// without a key sends costs the server more than a bounded amount of memory,
// nor stops it answering the page.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {archiveBytes, scratch, standardArchive} from './fixture.mjs';
import {closeBrowser, launchBrowser, openLauncher, openWorkbench} from './harness.mjs';
import {flood, memory, request, sleep, statusLines} from './wire.mjs';

const UPLOAD_LIMIT = 128 * 1024 * 1024;
const MiB = 1024 * 1024;

function multipart(fields) {
  const boundary = 'quillgateboundary';
  const parts = Object.entries(fields).map(([name, value]) =>
    `--${boundary}\r\nContent-Disposition: form-data; name="${name}"; filename="${name}"\r\n\r\n${value}\r\n`);
  return {body: parts.join('') + `--${boundary}--\r\n`, type: `multipart/form-data; boundary=${boundary}`};
}

// A workbench on the standard archive, its key exchanged for a cookie as the
// browser would; `granted` is that exchange's answer.
async function openExchanged(name, extra = []) {
  const dir = scratch(name);
  standardArchive(dir);
  const server = openWorkbench(path.join(dir, 'GAME.RD'), extra);
  const address = await server.address;
  const granted = await request(address.port, {target: `/?token=${address.token}`, headers: {Host: address.host}});
  const session = (granted.headers['set-cookie'] || [''])[0].split(';')[0];
  return {dir, server, ...address, own: address.host, cookie: session, granted};
}

describe('the gate', {timeout: 600_000}, () => {
  let dir, server, port, token, cookie, own, name, granted, version, untouched, times;
  before(async () => {
    ({dir, server, port, token, cookie, own, name, granted} = await openExchanged('gate'));
    const archive = await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}});
    version = JSON.parse(archive.body).version;
    untouched = archiveBytes(dir);
    times = ['GAME.RD', 'GAME.RES'].map(f => fs.statSync(path.join(dir, f)).mtimeMs);
  });
  after(async () => {
    // Nothing any refused request did reached the archive.
    assert.ok(archiveBytes(dir).equals(untouched));
    assert.deepEqual(['GAME.RD', 'GAME.RES'].map(f => fs.statSync(path.join(dir, f)).mtimeMs), times);
    await server.stop();
  });

  test('the printed address is on a name of its own and gives a cookie of another secret, scoped to that name', async () => {
    assert.match(name, /^quillpack-[0-9a-f]{16}\.localhost$/);
    // The page itself goes on to "/", so the navigation there is its own and carries the cookie.
    assert.equal(granted.status, 200);
    assert.match(granted.body, /<meta http-equiv="refresh" content="0;url=\/">/);
    const [setCookie] = granted.headers['set-cookie'];
    const [, secret] = setCookie.match(/^quillpack=([0-9a-f]{64}); Path=\/; HttpOnly; SameSite=Strict$/);
    assert.notEqual(secret, token, 'the cookie is not the key');
    assert.equal(token.length >= 32, true, 'at least 128 bits');
    const page = await request(port, {target: '/', headers: {Host: own, Cookie: cookie}});
    assert.equal(page.status, 200);
    assert.match(page.headers['content-security-policy'], /default-src 'none'/);
    assert.equal(page.headers['x-content-type-options'], 'nosniff');
    assert.equal(page.headers['cross-origin-resource-policy'], 'same-origin');
  });

  test('the key opens once: the address used again is refused, saying so', async () => {
    for (const headers of [{Host: own}, {Host: own, Cookie: 'quillpack=0'}]) {
      const again = await request(port, {target: `/?token=${token}`, headers});
      assert.equal(again.status, 403);
      assert.match(again.body, /already used/);
      assert.match(again.body, /quillpack open/);
      assert.equal(again.headers['set-cookie'], undefined);
    }
    // The page that holds the cookie goes on working.
    assert.equal((await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}})).status, 200);
  });

  test('127.0.0.1 and localhost are sent to the printed address, which the answer does not give away', async () => {
    for (const loopback of [`127.0.0.1:${port}`, `localhost:${port}`]) {
      const answer = await request(port, {target: '/api/archive', headers: {Host: loopback, Cookie: cookie}});
      assert.equal(answer.status, 403);
      assert.match(answer.body, /only at the address quillpack printed/);
      assert.doesNotMatch(answer.body, new RegExp(name));
    }
  });

  const refusals = [
    ['no key at all', () => ({target: '/', headers: {Host: own}})],
    ['no key, an API', () => ({target: '/api/archive', headers: {Host: own}})],
    ['a wrong key in the address', () => ({target: `/?token=${'0'.repeat(token.length)}`, headers: {Host: own}})],
    ['a wrong key in the cookie', () => ({target: '/api/archive', headers: {Host: own, Cookie: `${cookie.slice(0, -1)}x`}})],
    ['the key as the cookie', () => ({target: '/api/archive', headers: {Host: own, Cookie: `quillpack=${token}`}})],
    ['the secret under another cookie name', () => ({target: '/api/archive', headers: {Host: own, Cookie: `x${cookie}`}})],
    ['a foreign Host', () => ({target: '/api/archive', headers: {Host: `attacker.example:${port}`, Cookie: cookie}})],
    ['a foreign Host with the key in the address', () => ({target: `/?token=${token}`, headers: {Host: `attacker.example:${port}`}})],
    ['another name under localhost', () => ({target: '/api/archive', headers: {Host: `quillpack-0000000000000000.localhost:${port}`, Cookie: cookie}})],
    ['our name on another port', () => ({target: '/api/archive', headers: {Host: `${name}:${port + 1}`, Cookie: cookie}})],
    ['a cross-origin POST', () => ({method: 'POST', target: '/api/save', body: 'x',
      headers: {Host: own, Cookie: cookie, Origin: 'http://attacker.example', 'Content-Type': 'text/plain'}})],
    ['a POST without an Origin', () => ({method: 'POST', target: '/api/close', body: '',
      headers: {Host: own, Cookie: cookie}})],
    ['a cross-origin Close', () => ({method: 'POST', target: '/api/close', body: '',
      headers: {Host: own, Cookie: cookie, Origin: `http://${name}:${port + 1}`}})],
  ];
  for (const [what, make] of refusals) {
    test(`refused, the connection closed: ${what}`, async () => {
      const answer = await request(port, make());
      assert.equal(answer.status, 403, answer.body);
      assert.equal(answer.headers.connection, 'close');
    });
  }

  test('refused: an upload past the limit, answered before its body', async () => {
    const answer = await flood(port, [`POST /api/save HTTP/1.1`, `Host: ${own}`, `Cookie: ${cookie}`, `Origin: http://${own}`,
      'Content-Type: multipart/form-data; boundary=x', `Content-Length: ${UPLOAD_LIMIT + 1}`, '', '--x\r\n'].join('\r\n'));
    // The rest never comes: the answer must not wait for it.
    assert.deepEqual(statusLines(answer.text), ['HTTP/1.1 413']);
    assert.equal(answer.closed, true);
  });

  // A refused request carrying another in its body, as a form posted from
  // another page can: the server must never read the body as a request.
  const smuggled = () => [`POST /api/close HTTP/1.1`, `Host: ${own}`, `Origin: http://${own}`, `Cookie: ${cookie}`,
    'Content-Length: 0', '', ''].join('\r\n');
  const carriers = [
    ['no cookie', 403, () => ['POST /api/save HTTP/1.1', `Host: ${own}`, `Origin: http://${own}`]],
    ['a foreign Origin', 403, () => ['POST /api/save HTTP/1.1', `Host: ${own}`, `Cookie: ${cookie}`, 'Origin: http://attacker.example']],
    ['127.0.0.1', 403, () => ['POST /api/save HTTP/1.1', `Host: 127.0.0.1:${port}`, `Cookie: ${cookie}`, `Origin: http://127.0.0.1:${port}`]],
    ['a GET with a body and no key', 403, () => ['GET /api/archive HTTP/1.1', `Host: ${own}`]],
    ['a declared length past the limit', 413, () => ['POST /api/save HTTP/1.1', `Host: ${own}`, `Cookie: ${cookie}`, `Origin: http://${own}`]],
  ];
  for (const [what, status, lines] of carriers) {
    test(`a request smuggled in a refused one's body is never run: ${what}`, async () => {
      const body = smuggled();
      const declared = status === 413 ? UPLOAD_LIMIT + 1 : body.length;
      const head = [...lines(), 'Content-Type: text/plain', `Content-Length: ${declared}`, '', ''].join('\r\n');
      const answer = await flood(port, head + body);
      assert.deepEqual(statusLines(answer.text), [`HTTP/1.1 ${status}`], answer.text);
      assert.equal(answer.closed, true, 'the server ended the connection');
      await sleep(200);
      assert.equal(server.child.exitCode, null, 'still running');
      assert.equal((await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}})).status, 200);
    });
  }

  test('a chunked upload is cut off at the limit as it arrives, and refused', async () => {
    const before = memory(server.child.pid);
    const chunk = Buffer.concat([Buffer.from(`100000\r\n`), Buffer.alloc(MiB, 0x61), Buffer.from('\r\n')]);
    const answer = await flood(port, [`POST /api/save HTTP/1.1`, `Host: ${own}`, `Cookie: ${cookie}`, `Origin: http://${own}`,
      'Content-Type: multipart/form-data; boundary=x', 'Transfer-Encoding: chunked', '', ''].join('\r\n'),
      {more: () => chunk, most: UPLOAD_LIMIT + 64 * MiB});
    // Never ended with its last chunk: a server that took it all would still be waiting.
    assert.deepEqual(statusLines(answer.text), ['HTTP/1.1 413'], answer.text.slice(0, 200));
    assert.equal(answer.closed, true);
    const after = memory(server.child.pid);
    assert.ok(after.peakKiB - before.rssKiB < (UPLOAD_LIMIT + 64 * MiB) / 1024,
      `peak ${after.peakKiB} KiB from ${before.rssKiB} KiB`);
    assert.equal((await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}})).status, 200);
  });

  const badSaves = [
    ['a record out of range, removed', 'remove 6', /has 5 records/],
    ['a record out of range, renamed', `rename 0 ${Buffer.from('X.TXT').toString('hex')}`, /has 5 records/],
    ['a record out of range, replaced', 'replace 99 f0 raw', /has 5 records/],
    ['a .WAV of the wrong format for a sound', 'replace 2 f0 wav', /RIFF|WAV/i],
    ['a .WAV for a record that is no sound', 'replace 1 f0 wav', /a \.WAV goes into a sound/],
    ['a name the list cannot hold', `add f0 raw ${Buffer.from('NAME.IS.FAR.TOO.LONG').toString('hex')}`, /12 bytes/],
    ['every record removed', 'remove 1\nremove 2\nremove 3\nremove 4\nremove 5', /every record would be gone/],
  ];
  for (const [what, changes, message] of badSaves) {
    test(`Save refused, nothing written: ${what}`, async () => {
      const {body, type} = multipart({version, changes, f0: 'not a wav'});
      const answer = await request(port, {method: 'POST', target: '/api/save', body,
        headers: {Host: own, Cookie: cookie, Origin: `http://${own}`, 'Content-Type': type}});
      assert.equal(answer.status, 200);
      const result = JSON.parse(answer.body);
      assert.equal(result.ok, false);
      assert.match(result.messages.join('\n'), message);
      assert.match(result.messages.join('\n'), /nothing written/);
    });
  }

  const badReads = [
    ['record 0', '/api/records/0/raw', 404],
    ['a record past the last', '/api/records/6/raw', 404],
    ['a record number too long to be one', '/api/records/99999999999/raw', 404],
    ['a path instead of a number', '/api/records/..%2FGAME.RD/raw', 404],
    ['a file beside the archive', '/GAME.RD', 404],
    ['a text record as a sound', '/api/records/1/wav', 404],
  ];
  for (const [what, target, status] of badReads) {
    test(`refused: ${what}`, async () => {
      const answer = await request(port, {target: `${target}?v=${version}`, headers: {Host: own, Cookie: cookie}});
      assert.equal(answer.status, status, answer.body);
    });
  }

  test('a record read with a version the server no longer holds is refused', async () => {
    const answer = await request(port, {target: '/api/records/2/wav?v=stale', headers: {Host: own, Cookie: cookie}});
    assert.equal(answer.status, 409);
  });
});


describe('a client without a key', {timeout: 600_000}, () => {
  let server, port, own, cookie;
  before(async () => {
    ({server, port, own, cookie} = await openExchanged('costs'));
  });
  after(() => server.stop());

  // Each sends as long as the server reads, up to 512 MiB.
  const attacks = [
    ['an endless request line', 'GET /', () => Buffer.alloc(MiB, 0x61)],
    ['an endless header line', 'GET / HTTP/1.1\r\nX-Long: ', () => Buffer.alloc(MiB, 0x61)],
    ['endless short headers', 'GET / HTTP/1.1\r\n', () => Buffer.from('X-Many: a\r\n'.repeat(MiB / 16))],
    ['a huge body, declared', 'POST /api/save HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 1073741824\r\n\r\n',
      () => Buffer.alloc(MiB, 0x61)],
    ['a huge body, chunked', 'POST /api/save HTTP/1.1\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n',
      () => Buffer.concat([Buffer.from('100000\r\n'), Buffer.alloc(MiB, 0x61), Buffer.from('\r\n')])],
  ];
  test('what it sends costs the server at most 64 MiB over its idle size, two at once of each kind', async () => {
    const idle = memory(server.child.pid);
    const results = await Promise.all(attacks.flatMap(([what, head, more]) => [0, 1].map(async () => {
      const withHost = head.replace('\r\n', `\r\nHost: ${own}\r\n`);
      return {what, ...(await flood(port, head.includes('\r\n') ? withHost : head, {more, most: 512 * MiB}))};
    })));
    const after = memory(server.child.pid);
    for (const {what, sent, closed} of results) {
      assert.ok(closed, `${what}: the server ended the connection`);
      assert.ok(sent < 512 * MiB, `${what}: the server stopped reading before all of it (${sent} bytes sent)`);
    }
    assert.ok(after.peakKiB - idle.rssKiB < 64 * 1024, `peak ${after.peakKiB} KiB, idle ${idle.rssKiB} KiB`);
    assert.equal((await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}})).status, 200);
  });

  test('16 slow clients (a header byte every 3 s) are dropped, and the page is answered within 2 s meanwhile', async () => {
    const started = Date.now();
    const timers = [];
    const dropped = Array.from({length: 16}, () => new Promise(resolve => {
      const socket = net.connect(port, '127.0.0.1', () => {
        socket.write(`GET / HTTP/1.1\r\nHost: ${own}\r\nX-Slow: `);
        timers.push(setInterval(() => { if (!socket.destroyed) socket.write('a'); }, 3000));
      });
      socket.resume();
      socket.on('error', () => {});
      socket.on('end', () => resolve(Date.now() - started));
    }));
    const waits = [];
    while (Date.now() - started < 18_000) {
      const asked = Date.now();
      const answer = await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}});
      assert.equal(answer.status, 200);
      waits.push(Date.now() - asked);
      await sleep(500);
    }
    const times = await Promise.all(dropped);
    timers.forEach(clearInterval);
    assert.ok(Math.max(...waits) < 2000, `the page waited ${Math.max(...waits)} ms`);
    // The whole head within 10 s, each read within 5 s: dropped by 15 s, however slow.
    assert.ok(Math.max(...times) < 16_000, `slow clients dropped after ${times.join(', ')} ms`);
  });

  test('a second workbench on the same --port is refused, with a message and a non-zero status', async () => {
    const dir = scratch('second');
    standardArchive(dir);
    const second = openWorkbench(path.join(dir, 'GAME.RD'), ['--port', String(port)]);
    second.address.catch(() => {});  // it prints none
    const status = await second.exited;
    assert.notEqual(status, 0);
    assert.match(second.errors(), new RegExp(`127\\.0\\.0\\.1:${port} cannot be listened on: another workbench or program has that port`));
    assert.equal((await request(port, {target: '/api/archive', headers: {Host: own, Cookie: cookie}})).status, 200);
  });

  // Browsers try ::1 first for NAME.localhost: whoever listens there gets the key.
  test('[::1] on the port is held: nobody else can listen there, and the browser is refused there', async (t) => {
    const listenOn6 = (p) => new Promise((resolve) => {
      const spy = net.createServer(() => {});
      spy.once('error', (error) => resolve({error}));
      spy.listen({host: '::1', port: p, ipv6Only: true}, () => resolve({spy}));
    });
    const probe = await listenOn6(0);
    if (probe.error) return t.skip(`no IPv6 loopback here (${probe.error.code})`);
    const spyPort = probe.spy.address().port;
    // Taken before the workbench starts: it refuses to start on that port.
    const dir = scratch('ipv6');
    standardArchive(dir);
    const refused = openWorkbench(path.join(dir, 'GAME.RD'), ['--port', String(spyPort)]);
    refused.address.catch(() => {});
    assert.notEqual(await refused.exited, 0);
    assert.match(refused.errors(), new RegExp(`\\[::1\\]:${spyPort} is taken by another program`));
    await new Promise((resolve) => probe.spy.close(resolve));
    // While the workbench runs: its port on ::1 cannot be listened on, and a connection there is refused.
    const taken = await listenOn6(port);
    if (taken.spy) await new Promise((resolve) => taken.spy.close(resolve));
    assert.equal(taken.error?.code, 'EADDRINUSE');
    const connected = await new Promise((resolve) => {
      const socket = net.connect({host: '::1', port}, () => { socket.destroy(); resolve('connected'); });
      socket.once('error', (error) => resolve(error.code));
    });
    assert.equal(connected, 'ECONNREFUSED');
  });
});

describe('the browser is started on a private file, never on the key', {timeout: 600_000}, () => {
  before(launchBrowser);
  after(closeBrowser);

  // Stands in for the desktop's opener: notes its arguments, one a line, and
  // the modes of the file it was given and of its directory.
  function recordingOpener() {
    const bin = scratch('bin');
    const seen = path.join(bin, 'seen');
    fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh
for a in "$0" "$@"; do printf '%s\\n' "$a"; done > '${seen}.args'
stat -c '%a' "$1" "$(dirname "$1")" > '${seen}.modes'
mv '${seen}.args' '${seen}'
`, {mode: 0o755});
    const env = {...process.env, PATH: `${bin}:${process.env.PATH}`};
    return {env, seen: async () => {
      while (!fs.existsSync(seen)) await sleep(20);
      return {args: fs.readFileSync(seen, 'utf8').trim().split('\n'), modes: fs.readFileSync(`${seen}.modes`, 'utf8').trim().split('\n')};
    }};
  }

  test('the opener gets a 0600 file in a 0700 directory that sends the browser on; it goes once the key is exchanged', async () => {
    const dir = scratch('launch');
    standardArchive(dir);
    const opener = recordingOpener();
    const server = openWorkbench(path.join(dir, 'GAME.RD'), [], {browser: true, env: opener.env});
    try {
      const {url, token} = await server.address;
      const {args, modes} = await opener.seen();
      assert.equal(args.length, 2, args.join(' '));
      const file = args[1];
      for (const arg of args) assert.ok(!arg.includes(token), `the key in the opener's arguments: ${arg}`);
      assert.deepEqual(modes, ['600', '700']);
      assert.ok(path.isAbsolute(file) && fs.existsSync(file));
      assert.ok(fs.readFileSync(file, 'utf8').includes(`<meta http-equiv="refresh" content="0;url=${url}">`));
      // The file, opened as the browser would, lands on the workbench.
      const page = await openLauncher(file);
      assert.equal(await page.locator('#records tbody tr').count(), 5);
      assert.ok(!fs.existsSync(file) && !fs.existsSync(path.dirname(file)), 'removed once the key was exchanged');
      await page.context().close();
    } finally {
      await server.stop();
    }
  });

  test('a file never opened is removed when the workbench ends', async () => {
    const dir = scratch('launch-unused');
    standardArchive(dir);
    const opener = recordingOpener();
    const server = openWorkbench(path.join(dir, 'GAME.RD'), [], {browser: true, env: opener.env});
    await server.address;
    const {args} = await opener.seen();
    assert.ok(fs.existsSync(args[1]));
    await server.stop();
    assert.ok(!fs.existsSync(args[1]) && !fs.existsSync(path.dirname(args[1])));
  });
});
