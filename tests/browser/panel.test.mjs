// The web panel in headless Chromium against the real program and the real device simulator.
//
// node panel.test.mjs --ravelin <program> --devsim <simulator> --web <web folder> --out <dir>
//
// Starts the simulator on a pseudo-terminal and ravelin (offscreen) in a fresh working folder,
// opens /<WEBPASS>.php and checks what an operator relies on: the reading arrives and follows the
// set value, a set value sent from the page reaches the device as "Q=" and four digits, a mode key
// lights, the regulator shows the set value, and a stopped program shows "no data" instead of a
// frozen figure. Screenshots go to --out.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');

const args = {};
for (let i = 2; i < process.argv.length; i += 2) args[process.argv[i].slice(2)] = process.argv[i + 1];
for (const k of ['ravelin', 'devsim', 'web', 'out']) {
  if (!args[k]) throw new Error(`missing --${k}`);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const children = [];
let failed = false;

function check(cond, what) {
  console.log(`${cond ? 'ok  ' : 'FAIL'} ${what}`);
  if (!cond) failed = true;
}

async function until(what, fn, limitMs = 15000) {
  const end = Date.now() + limitMs;
  let last;
  while (Date.now() < end) {
    last = await fn();
    if (last) return last;
    await sleep(100);
  }
  throw new Error(`timed out waiting for: ${what} (last: ${JSON.stringify(last)})`);
}

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
    s.on('error', reject);
  });
}

function start(cmd, argv, opts) {
  const child = spawn(cmd, argv, { stdio: ['ignore', 'pipe', 'inherit'], ...opts });
  children.push(child);
  child.output = '';
  child.stdout.on('data', (d) => { child.output += d.toString('latin1'); });
  return child;
}

function answers(port, target) {
  return new Promise((resolve) => {
    const sock = net.connect(port, '127.0.0.1', () => sock.end(`GET ${target} HTTP/1.1\r\n\r\n`));
    let got = '';
    sock.on('data', (d) => { got += d; });
    sock.on('close', () => resolve(got));
    sock.on('error', () => resolve(''));
  });
}

async function main() {
  fs.mkdirSync(args.out, { recursive: true });
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'ravelin-browser-'));
  const record = path.join(work, 'device-received.txt');
  const pathFile = path.join(work, 'device-path');

  start(args.devsim, ['--baud', '9600', '--record', record, '--path-file', pathFile, '--rate', '700']);
  const device = await until('simulator device path', () =>
    fs.existsSync(pathFile) && fs.readFileSync(pathFile, 'utf8').trim());

  const port = await freePort();
  const pass = 'k7Vq2Lm9';
  fs.writeFileSync(path.join(work, 'config.ini'),
    [`DEVICE|${device}`, 'BAUD|9600', `WEBPORT|${port}`, `WEBPASS|${pass}`, 'REPEAT|300', 'TIMEOUT|200', '']
      .join('\r\n'));
  fs.cpSync(args.web, path.join(work, 'web'), { recursive: true });
  const program = start(args.ravelin, [], {
    cwd: work,
    env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' },
  });
  await until('ravelin answers its test page', async () =>
    (await answers(port, '/mjnj8419.vum')).includes('Test Flughafen Tarp'));
  await until('start commands reached the device', () =>
    fs.existsSync(record) && fs.readFileSync(record, 'latin1').includes('Q=4000H=4000'));

  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--no-first-run', '--disable-sync'],
  });
  try {
    const page = await browser.newPage({ viewport: { width: 1100, height: 760 } });
    await page.goto(`http://127.0.0.1:${port}/${pass}.php`);
    check(await page.title() !== '', 'the entry page loads from /<WEBPASS>.php');

    const reading = async () => {
      const t = await page.textContent('#sw-value');
      return /^\d+\.\d{4}$/.test(t) ? parseFloat(t) : null;
    };
    const first = await until('a reading', reading);
    check(first !== null, `the reading shows (${first})`);
    // Set value 4000 is 97.6563 %; the simulator's reading climbs towards it.
    const near = await until('the reading reaches the set value', async () => {
      const v = await reading();
      return v !== null && Math.abs(v - 97.6563) < 0.01 ? v : null;
    });
    check(near > first, `the reading moves towards the set value (${first} -> ${near})`);
    check((await page.textContent('#sq-raw')).trim() === '4000', 'the set value shows raw');
    await page.screenshot({ path: path.join(args.out, 'panel-live.png') });

    // A new set value from the page: the device gets exactly "Q=" and four digits.
    await page.fill('#send-value', '2048');
    await page.click('#send-button');
    await until('Q=2048 at the device', () => fs.readFileSync(record, 'latin1').includes('Q=2048'));
    const received = fs.readFileSync(record, 'latin1');
    check(/Q=2048(?!\d)/.test(received), 'the set value reaches the device as Q=2048');
    check(page.url().endsWith(`/${pass}.php`), 'sending does not leave the page');
    const followed = await until('the reading follows the new set value', async () => {
      const v = await reading();
      return v !== null && Math.abs(v - 50) < 0.01 ? v : null;
    });
    check(followed === 50, `the reading follows to ${followed}`);
    await until('the set value shows 2048', async () =>
      (await page.textContent('#sq-raw')).trim() === '2048');
    await until('the regulator shows the set value', async () => {
      const frame = page.frame({ name: 'reg' }) ?? (await (await page.$('#reg-frame')).contentFrame());
      return frame && (await frame.textContent('body')).includes('2048');
    });
    check(true, 'the regulator page shows the set value');

    // Mode key 3, clicked where the operator clicks: in the transparent key frame.
    const keys = await (await page.$('#mkf-frame')).contentFrame();
    await keys.click('a[href$="va=3"]');
    await until('mode 3 shown', async () => (await page.textContent('#mode-now')).trim() === '3');
    const lit = await until('indicator of key 3', async () => {
      const f = await (await page.$('#mkf-frame')).contentFrame();
      const imgs = await f.$$eval('img[width="7"]', (els) => els.map((e) => e.getAttribute('src')));
      return imgs.length === 7 ? imgs : null;
    });
    check(lit[2] === 'modled_7x14.png' && lit.filter((s) => s === 'modled_7x14.png').length === 1,
      'key 3 alone is lit');
    // Mode 3 publishes no reading: "sw" is 0.
    await until('sw 0 in mode 3', async () => (await reading()) === 0);
    check(true, 'mode 3 shows the reading as 0');
    await page.screenshot({ path: path.join(args.out, 'panel-mode3.png') });

    // Stop the program: within a few reload intervals the page says so.
    program.kill('SIGTERM');
    await until('no data state', async () =>
      (await page.getAttribute('#panel', 'data-state')) === 'stale', 10000);
    check(await page.isVisible('#no-data'), 'a stopped program shows "no data"');
    await page.screenshot({ path: path.join(args.out, 'panel-no-data.png') });
  } finally {
    await browser.close();
  }
}

try {
  await main();
} catch (e) {
  console.error(`FAIL ${e.message}`);
  failed = true;
} finally {
  for (const c of children) if (c.exitCode === null) c.kill('SIGKILL');
}
process.exit(failed ? 1 : 0);
