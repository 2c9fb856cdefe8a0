// Starting `quillpack open` and a browser on it, for the tests.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {createRequire} from 'node:module';
import {pathToFileURL} from 'node:url';

const require = createRequire(import.meta.url);

export const config = {
  pack: process.env.QUILL_PACK,                    // quillpack
  unpack: process.env.QUILL_UNPACK,                // quillfane
  packExe: process.env.QUILL_PACK_EXE || '',       // quillpack.exe, run under Wine when given
  wine: process.env.QUILL_WINE || '/usr/lib/wine/wine64',
  winePrefix: process.env.QUILL_WINEPREFIX || '',
  chromium: process.env.QUILL_CHROMIUM || '/usr/bin/chromium',
  playwright: process.env.QUILL_PLAYWRIGHT,        // the directory holding node_modules/playwright-core
  screenshots: process.env.QUILL_SCREENSHOTS || '',
};

// The printed address: http://NAME.localhost:PORT/?token=KEY.
export const ADDRESS = /http:\/\/(quillpack-[0-9a-f]+\.localhost):(\d+)\/\?token=([0-9a-f]+)/;

// Starts the workbench on a list and waits for the address it prints:
// {url, name, port, host (the Host header it answers to), token}.
// dropped: the list's name as the only word, as dropping it onto quillpack.exe gives.
export function openWorkbench(list, extra = [], {windows = false, browser = false, dropped = false, env = process.env} = {}) {
  const args = dropped ? [path.basename(list)] : ['open', path.basename(list), ...(browser ? [] : ['--no-browser']), ...extra];
  const child = windows
    ? spawn(config.wine, [config.packExe, ...args], {cwd: path.dirname(list),
        env: {...env, WINEPREFIX: config.winePrefix, WINEDEBUG: '-all', LC_ALL: 'C.UTF-8'}})
    : spawn(config.pack, args, {cwd: path.dirname(list), env});
  let output = '';
  let errors = '';
  child.stderr.on('data', chunk => { errors += chunk; });
  const exited = new Promise(resolve => child.on('exit', code => resolve(code)));
  const address = new Promise((resolve, reject) => {
    child.stdout.on('data', chunk => {
      output += chunk;
      const found = output.match(ADDRESS);
      if (found) resolve({url: found[0], name: found[1], port: Number(found[2]), host: `${found[1]}:${found[2]}`, token: found[3]});
    });
    exited.then(code => reject(new Error(`quillpack open ended (${code}) before printing an address: ${output}${errors}`)));
  });
  return {
    child, address, exited,
    output: () => output,
    errors: () => errors,
    stop() { if (child.exitCode === null) child.kill(); return exited; },
  };
}

let browser = null;

export async function launchBrowser() {
  const {chromium} = require(path.join(config.playwright, 'node_modules', 'playwright-core'));
  // No sandbox: the tests may run as root, where Chromium's sandbox refuses to start.
  browser = await chromium.launch({executablePath: config.chromium,
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required']});
  return browser;
}

export async function closeBrowser() {
  if (browser) await browser.close();
  browser = null;
}

// A page in a fresh context, noting the page's errors in page.problems.
async function freshPage(storageState) {
  const context = await browser.newContext({viewport: {width: 1400, height: 900}, storageState});
  const page = await context.newPage();
  page.problems = [];
  page.on('pageerror', error => page.problems.push(error.message));
  page.on('console', message => { if (message.type() === 'error') page.problems.push(message.text()); });
  return page;
}

// The session cookie each printed address was exchanged for: its key opens
// the workbench once, so a later page on it is a page of the same browser.
const sessions = new Map();

// A fresh page on the printed address, once the archive shows: the first on
// an address exchanges its key; a later one starts with the first one's cookie
// (a second tab of the same browser).
export async function openPage(url) {
  const storageState = sessions.get(url);
  const page = await freshPage(storageState);
  await page.goto(storageState ? new URL('/', url).href : url);
  await page.waitForSelector('body[data-ready]');
  if (!storageState) sessions.set(url, await page.context().storageState());
  return page;
}

// A fresh page on a launcher file, as the desktop's opener would show it,
// once the workbench it sends the browser on to is ready.
export async function openLauncher(file) {
  const page = await freshPage(undefined);
  await page.goto(pathToFileURL(file).href);
  await page.waitForSelector('body[data-ready]');
  return page;
}

export async function screenshot(page, name) {
  if (!config.screenshots) return;
  fs.mkdirSync(config.screenshots, {recursive: true});
  await page.screenshot({path: path.join(config.screenshots, `${name}.png`), fullPage: true});
}

// Drops a file, given as bytes, onto an element, as a file dragged from the desktop arrives.
export async function dropFile(page, selector, name, bytes) {
  await page.evaluate(({selector, name, data}) => {
    const file = new File([Uint8Array.from(atob(data), c => c.charCodeAt(0))], name);
    const transfer = new DataTransfer();
    transfer.items.add(file);
    const target = document.querySelector(selector);
    target.dispatchEvent(new DragEvent('dragover', {dataTransfer: transfer, bubbles: true, cancelable: true}));
    target.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
  }, {selector, name, data: Buffer.from(bytes).toString('base64')});
}

// The audio element's duration once it has loaded, and whether it then plays.
export async function audioReport(page, selector) {
  return page.evaluate(async selector => {
    const audio = document.querySelector(selector);
    if (audio.readyState < 1) await new Promise((resolve, reject) => {
      audio.addEventListener('loadedmetadata', resolve, {once: true});
      audio.addEventListener('error', () => reject(new Error('audio error ' + audio.error?.code)), {once: true});
    });
    const played = await audio.play().then(() => true, error => error.message);
    await new Promise(resolve => { if (audio.currentTime > 0) resolve(); else audio.addEventListener('timeupdate', resolve, {once: true}); });
    audio.pause();
    return {duration: audio.duration, played, currentTime: audio.currentTime};
  }, selector);
}

// How many of the canvas's columns hold ink.
export async function inkedColumns(page, selector) {
  return page.evaluate(selector => {
    const canvas = document.querySelector(selector);
    const {width, height} = canvas;
    const pixels = canvas.getContext('2d').getImageData(0, 0, width, height).data;
    let inked = 0;
    for (let x = 0; x < width; x++) {
      for (let y = 0; y < height; y++) {
        if (pixels[(y * width + x) * 4 + 3] !== 0) { inked++; break; }
      }
    }
    return {inked, width};
  }, selector);
}

export async function saveAndWait(page) {
  await page.click('#save');
  await page.waitForFunction(() => {
    const text = document.getElementById('messages').textContent;
    return text && text !== 'Saving…';
  });
  return page.$eval('#messages', e => ({text: e.textContent, bad: e.classList.contains('bad')}));
}
