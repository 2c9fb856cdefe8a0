// The gate, from outside the page: every request that is not the page's own
// is refused, and nothing is written.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {archiveBytes, scratch, standardArchive} from './fixture.mjs';
import {openWorkbench} from './harness.mjs';

const UPLOAD_LIMIT = 128 * 1024 * 1024;

function request(port, {method = 'GET', target = '/', headers = {}, body = null}) {
  return new Promise((resolve, reject) => {
    const req = http.request({host: '127.0.0.1', port, method, path: target, headers, agent: false}, res => {
      const chunks = [];
      res.on('data', chunk => chunks.push(chunk));
      res.on('end', () => resolve({status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks).toString()}));
    });
    req.on('error', reject);
    if (body !== null) req.write(body);
    req.end();
  });
}

function multipart(fields) {
  const boundary = 'quillgateboundary';
  const parts = Object.entries(fields).map(([name, value]) =>
    `--${boundary}\r\nContent-Disposition: form-data; name="${name}"; filename="${name}"\r\n\r\n${value}\r\n`);
  return {body: parts.join('') + `--${boundary}--\r\n`, type: `multipart/form-data; boundary=${boundary}`};
}

describe('the gate', {timeout: 1_200_000}, () => {
  let dir, server, port, token, cookie, own, version, untouched, times;
  before(async () => {
    dir = scratch('gate');
    standardArchive(dir);
    server = openWorkbench(path.join(dir, 'GAME.RD'));
    ({port, token} = await server.address);
    own = `127.0.0.1:${port}`;
    cookie = `quillpack${port}=${token}`;
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

  test('the printed address gives a cookie only the page can use, and sends the browser on without the key', async () => {
    const granted = await request(port, {target: `/?token=${token}`, headers: {Host: own}});
    assert.equal(granted.status, 303);
    assert.equal(granted.headers.location, '/');
    const [setCookie] = granted.headers['set-cookie'];
    assert.match(setCookie, new RegExp(`^quillpack${port}=${token};`));
    assert.match(setCookie, /HttpOnly/);
    assert.match(setCookie, /SameSite=Strict/);
    assert.equal(token.length >= 32, true, 'at least 128 bits');
    const page = await request(port, {target: '/', headers: {Host: `localhost:${port}`, Cookie: cookie}});
    assert.equal(page.status, 200);
    assert.match(page.headers['content-security-policy'], /default-src 'none'/);
  });

  const refusals = [
    ['no key at all', () => ({target: '/', headers: {Host: own}})],
    ['no key, an API', () => ({target: '/api/archive', headers: {Host: own}})],
    ['a wrong key in the address', () => ({target: `/?token=${'0'.repeat(token.length)}`, headers: {Host: own}})],
    ['a wrong key in the cookie', () => ({target: '/api/archive', headers: {Host: own, Cookie: `quillpack${port}=${token.slice(1)}x`}})],
    ['the key under another port\'s cookie', () => ({target: '/api/archive', headers: {Host: own, Cookie: `quillpack${port + 1}=${token}`}})],
    ['a foreign Host', () => ({target: '/api/archive', headers: {Host: `attacker.example:${port}`, Cookie: cookie}})],
    ['a foreign Host with the key in the address', () => ({target: `/?token=${token}`, headers: {Host: `attacker.example:${port}`}})],
    ['the loopback name on another port', () => ({target: '/api/archive', headers: {Host: `127.0.0.1:${port + 1}`, Cookie: cookie}})],
    ['a cross-origin POST', () => ({method: 'POST', target: '/api/save', body: 'x',
      headers: {Host: own, Cookie: cookie, Origin: 'http://attacker.example', 'Content-Type': 'text/plain'}})],
    ['a POST without an Origin', () => ({method: 'POST', target: '/api/close', body: '',
      headers: {Host: own, Cookie: cookie}})],
    ['a cross-origin Close', () => ({method: 'POST', target: '/api/close', body: '',
      headers: {Host: own, Cookie: cookie, Origin: `http://localhost:${port + 1}`}})],
  ];
  for (const [what, make] of refusals) {
    test(`refused: ${what}`, async () => {
      const answer = await request(port, make());
      assert.equal(answer.status, 403, answer.body);
    });
  }

  test('refused: an upload past the limit', async () => {
    const answer = await new Promise((resolve, reject) => {
      const req = http.request({host: '127.0.0.1', port, method: 'POST', path: '/api/save', agent: false, headers: {
        Host: own, Cookie: cookie, Origin: `http://${own}`, 'Content-Type': 'multipart/form-data; boundary=x',
        'Content-Length': String(UPLOAD_LIMIT + 1)}}, res => { res.resume(); resolve(res.statusCode); });
      req.on('error', reject);
      req.write('--x\r\n');  // the rest never comes: the answer must not wait for it
    });
    assert.equal(answer, 413);
  });

  const badSaves = [
    ['a record out of range, removed', 'remove 6', /the list has 5 records/],
    ['a record out of range, renamed', `rename 0 ${Buffer.from('X.TXT').toString('hex')}`, /the list has 5 records/],
    ['a record out of range, replaced', 'replace 99 f0 raw', /the list has 5 records/],
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

test('without --no-browser, xdg-open is started on the printed address', {timeout: 600_000}, async () => {
  const dir = scratch('opener');
  standardArchive(dir);
  const bin = scratch('bin');
  const seen = path.join(bin, 'seen');
  // Stands in for the desktop's opener: notes what it was asked to open.
  fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh\nprintf '%s' "$1" > '${seen}.part' && mv '${seen}.part' '${seen}'\n`, {mode: 0o755});
  const server = openWorkbench(path.join(dir, 'GAME.RD'), [], {browser: true, env: {...process.env, PATH: `${bin}:${process.env.PATH}`}});
  try {
    const {url} = await server.address;
    while (!fs.existsSync(seen)) await new Promise(resolve => setTimeout(resolve, 20));
    assert.equal(fs.readFileSync(seen, 'utf8'), url);
  } finally {
    await server.stop();
  }
});

