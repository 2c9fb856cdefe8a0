// Talking to the workbench below HTTP, as an attacker would: bytes on a socket
// of our own, and what the server process holds meanwhile.
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';

// One request through Node's client, on a connection of its own.
export function request(port, {method = 'GET', target = '/', headers = {}, body = null}) {
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

// Sends `head`, then `more()` chunks for as long as the server reads them (up
// to `most` bytes), and gives back all the server sent and whether it closed
// the connection. `more` returning null ends the sending.
export function flood(port, head, {more = () => null, most = 0} = {}) {
  return new Promise(resolve => {
    const socket = net.connect(port, '127.0.0.1');
    const received = [];
    let sent = 0, closed = false;
    const done = () => resolve({text: Buffer.concat(received).toString('latin1'), sent, closed});
    socket.on('data', chunk => received.push(chunk));
    socket.on('error', () => {});
    socket.on('end', () => { closed = true; });
    socket.on('close', () => { closed = true; done(); });
    const pump = () => {
      while (!socket.destroyed && sent < most) {
        const chunk = more(sent);
        if (chunk === null) break;
        sent += chunk.length;
        if (!socket.write(chunk)) { socket.once('drain', pump); return; }
      }
      // All sent: whatever the server does next, give it a moment, then stop.
      setTimeout(() => socket.destroy(), 5000).unref();
    };
    socket.on('connect', () => { socket.write(head); pump(); });
  });
}

// The HTTP answers in a stream of bytes, as status lines.
export const statusLines = text => text.match(/^HTTP\/1\.1 \d+/gm) || [];

// The process's resident memory, its high-water mark, and its threads.
export function memory(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  const field = name => Number(status.match(new RegExp(`^${name}:\\s+(\\d+)`, 'm'))[1]);
  return {rssKiB: field('VmRSS'), peakKiB: field('VmHWM'), threads: field('Threads')};
}

export const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
