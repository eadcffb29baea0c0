#!/usr/bin/env node
// Regenerates the scrolling-capture series under tests/data/rig from the pages in tests/pages.
// Usage: node capture.js [series-name ...]   (no name: every series)
// Needs Debian's chromium, and for the windowed series Xvfb, ImageMagick's import and xdotool.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const http = require('http');
const { spawn, execFileSync } = require('child_process');
const { chromium } = require('playwright-core');
const { PNG } = require('pngjs');

const repoRoot = path.resolve(__dirname, '..', '..');
const pagesDir = path.join(repoRoot, 'tests', 'pages');
const outRoot = path.join(repoRoot, 'tests', 'data', 'rig');
const chromiumPath = '/usr/bin/chromium';
const preferredPort = 8087;
const chromiumFlags = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const convention = 'translation (rows, cols): content at row y / col x of capture k is at row y+rows / col x+cols ' +
  'of capture k+1; rows = -(scrollY[k+1]-scrollY[k]), cols = -(scrollX[k+1]-scrollX[k])';

// Steps are added to the offset read back after the previous scroll; the last one must overshoot
// the page end, so the browser clamps it.
const series = [
  {
    name: 'handbook-sticky-800x600', page: 'sticky-handbook.html', windowed: false,
    viewport: { width: 800, height: 600 }, axis: 'y',
    steps: [60, 240, 0, 25, 180, 240, 130, 210, 90, 240, 200, 240],
    kind: 'vertical, page viewport only (headless, no scrollbar)',
  },
  {
    name: 'timeline-sticky-horizontal-640x480', page: 'wide-timeline.html', windowed: false,
    viewport: { width: 640, height: 480 }, axis: 'x',
    steps: [60, 240, 0, 190, 35, 235, 256],
    kind: 'horizontal, page viewport only (headless, no scrollbar)',
  },
  {
    name: 'handbook-sticky-windowed-1024x768', page: 'sticky-handbook.html', windowed: true,
    window: { width: 1024, height: 768 }, axis: 'y',
    steps: [40, 250, 0, 120, 200, 30, 250, 180, 240, 250],
    kind: 'vertical, whole headful browser window (tab strip, toolbar, page, classic scrollbar) grabbed from Xvfb',
  },
];

function sleep(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

function freshProfileDir() { return fs.mkdtempSync(path.join(os.tmpdir(), 'zolt-rig-profile-')); }

// A headless browser with a profile of its own, removed when done.
async function withHeadless(viewport, body) {
  const profile = freshProfileDir();
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath, headless: true, args: chromiumFlags, viewport, deviceScaleFactor: 1,
  });
  try {
    return await body(context.pages()[0] || await context.newPage());
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

function chromiumVersion() {
  const text = execFileSync(chromiumPath, ['--version'], { stdio: ['ignore', 'pipe', 'ignore'] }).toString();
  return (text.match(/\d+(\.\d+)+/) || ['unknown'])[0];
}

// Serves tests/pages on 127.0.0.1 at a free port; nothing else is reachable from the pages.
function startServer() {
  const server = http.createServer((req, res) => {
    const name = path.basename(decodeURIComponent(new URL(req.url, 'http://x').pathname));
    const file = path.join(pagesDir, name);
    if (!name.endsWith('.html') || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
    res.end(fs.readFileSync(file));
  });
  // A fixed port keeps the address bar of the windowed series the same from one run to the next.
  return new Promise((resolve, reject) => {
    server.once('error', (error) => {
      if (error.code !== 'EADDRINUSE') { reject(error); return; }
      server.listen(0, '127.0.0.1', () => resolve(server));
    });
    server.listen(preferredPort, '127.0.0.1', () => resolve(server));
  });
}

// Two animation frames after a scroll, the new offset has been painted.
async function settle(page) {
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
}

async function pageMetrics(page) {
  return page.evaluate(() => {
    const e = document.documentElement;
    return {
      pageWidth: e.scrollWidth, pageHeight: e.scrollHeight, clientWidth: e.clientWidth, clientHeight: e.clientHeight,
      innerWidth: window.innerWidth, innerHeight: window.innerHeight,
      outerWidth: window.outerWidth, outerHeight: window.outerHeight,
    };
  });
}

async function scrollTo(page, offset) {
  await page.evaluate(({ x, y }) => window.scrollTo({ left: x, top: y, behavior: 'instant' }), offset);
  await settle(page);
  return page.evaluate(() => ({ x: window.scrollX, y: window.scrollY }));
}

function decodePng(buffer) { return PNG.sync.read(buffer); }

// Every capture is stored as 8-bit RGBA with alpha 255, whatever the grabber produced.
function writeRgba(file, image) {
  const out = new PNG({ width: image.width, height: image.height });
  image.data.copy(out.data);
  for (let i = 3; i < out.data.length; i += 4) out.data[i] = 255;
  // Unfiltered rows with the default deflate strategy make these text-heavy shots about half as large.
  fs.writeFileSync(file, PNG.sync.write(out, {
    colorType: 6, inputColorType: 6, bitDepth: 8, deflateLevel: 9, deflateStrategy: 0, filterType: 0,
  }));
}

function crop(image, x0, y0, width, height) {
  const out = { width, height, data: Buffer.alloc(width * height * 4) };
  for (let y = 0; y < height; ++y) {
    const from = ((y0 + y) * image.width + x0) * 4;
    image.data.copy(out.data, y * width * 4, from, from + width * 4);
  }
  return out;
}

// Share of the page-area pixels of a capture that equal the full-page render at the true offset.
function fractionIdentical(capture, rect, fullpage, fx, fy) {
  let same = 0;
  for (let y = 0; y < rect.height; ++y) {
    for (let x = 0; x < rect.width; ++x) {
      const c = ((rect.y + y) * capture.width + rect.x + x) * 4;
      const f = ((fy + y) * fullpage.width + fx + x) * 4;
      if (capture.data[c] === fullpage.data[f] && capture.data[c + 1] === fullpage.data[f + 1] &&
          capture.data[c + 2] === fullpage.data[f + 2]) ++same;
    }
  }
  return Number((same / (rect.width * rect.height)).toFixed(6));
}

// Scrolls through the schedule and grabs each offset; returns requested and read-back offsets.
async function runSchedule(page, plan, maxScroll, grab, dir) {
  const requested = [], actual = [];
  let at = await scrollTo(page, { x: 0, y: 0 });
  for (let k = 0; k <= plan.steps.length; ++k) {
    const want = k === 0 ? { x: 0, y: 0 }
      : { x: at.x + (plan.axis === 'x' ? plan.steps[k - 1] : 0), y: at.y + (plan.axis === 'y' ? plan.steps[k - 1] : 0) };
    at = await scrollTo(page, want);
    const last = k === plan.steps.length;
    const exact = at.x === want.x && at.y === want.y;
    if (last ? exact || at[plan.axis] !== maxScroll[plan.axis] : !exact) {
      throw new Error(`${plan.name}: offset ${k} asked ${JSON.stringify(want)}, got ${JSON.stringify(at)}, ` +
        `max ${JSON.stringify(maxScroll)}; the page height or the steps changed, adjust the steps`);
    }
    requested.push(plan.axis === 'x' ? { x: want.x, y: want.y } : { y: want.y });
    actual.push(at);
    writeRgba(path.join(dir, `${String(k).padStart(3, '0')}.png`), await grab());
  }
  return { requested, actual };
}

// The browser's own full-page render, headless, at the captures' layout size. The viewport is first
// enlarged to the whole page, so fixed elements land where the page ends (a plain full-page shot
// would leave them where they sit at scroll offset 0).
async function renderFullPage(url, layout) {
  return withHeadless(layout, async (page) => {
    await page.goto(url, { waitUntil: 'load' });
    await page.evaluate(() => document.fonts.ready);
    const before = await pageMetrics(page);
    await page.setViewportSize({ width: Math.max(layout.width, before.pageWidth), height: Math.max(layout.height, before.pageHeight) });
    await settle(page);
    const after = await pageMetrics(page);
    if (after.pageWidth !== before.pageWidth || after.pageHeight !== before.pageHeight) {
      throw new Error(`page size changed with the viewport: ${JSON.stringify(before)} -> ${JSON.stringify(after)}`);
    }
    return { image: decodePng(await page.screenshot({ fullPage: true, type: 'png' })), size: before };
  });
}

async function captureHeadless(plan, baseUrl, dir) {
  return withHeadless(plan.viewport, async (page) => {
    await page.goto(baseUrl + plan.page, { waitUntil: 'load' });
    await page.evaluate(() => document.fonts.ready);
    const m = await pageMetrics(page);
    const maxScroll = { x: m.pageWidth - m.clientWidth, y: m.pageHeight - m.clientHeight };
    const grab = async () => decodePng(await page.screenshot({ type: 'png' }));
    const run = await runSchedule(page, plan, maxScroll, grab, dir);
    return {
      ...run, metrics: m, maxScroll, captureSize: plan.viewport, frame: null,
      contentRect: { x: 0, y: 0, width: plan.viewport.width, height: plan.viewport.height },
    };
  });
}

function freeDisplay() {
  for (let d = 87; d < 200; ++d) {
    if (!fs.existsSync(`/tmp/.X${d}-lock`) && !fs.existsSync(`/tmp/.X11-unix/X${d}`)) return d;
  }
  throw new Error('no free X display between :87 and :199');
}

async function waitFor(test, what, ms = 15000) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(100)) if (test()) return;
  throw new Error(`timed out waiting for ${what}`);
}

function windowIdByTitle(env, title) {
  const ids = execFileSync('xdotool', ['search', '--onlyvisible', '--name', title], { env }).toString().trim().split('\n');
  return ids[ids.length - 1];
}

// Grabs the whole browser window until two grabs in a row agree, so nothing half-painted is kept.
async function grabStable(env, windowId) {
  let previous = null;
  for (let tries = 0; tries < 20; ++tries) {
    const buffer = execFileSync('import', ['-window', windowId, 'png:-'], { env, maxBuffer: 64 << 20 });
    if (previous && buffer.equals(previous)) return decodePng(buffer);
    previous = buffer;
    await sleep(150);
  }
  throw new Error('the window kept changing between grabs');
}

async function captureWindowed(plan, baseUrl, dir) {
  const display = freeDisplay();
  const env = { ...process.env, DISPLAY: `:${display}` };
  const screen = { width: plan.window.width + 256, height: plan.window.height + 256 };
  const xvfb = spawn('Xvfb', [`:${display}`, '-screen', '0', `${screen.width}x${screen.height}x24`, '-nolisten', 'tcp'],
    { stdio: 'ignore' });
  const profile = freshProfileDir();
  let browserProcess = null, browser = null;
  try {
    await waitFor(() => fs.existsSync(`/tmp/.X11-unix/X${display}`), 'Xvfb');
    // The page is given on the command line, so it opens focused (no caret in the address bar).
    browserProcess = spawn(chromiumPath, [...chromiumFlags, `--user-data-dir=${profile}`, '--remote-debugging-port=0',
      '--no-default-browser-check', '--test-type', '--disable-features=OverlayScrollbar', '--force-device-scale-factor=1',
      '--window-position=0,0', `--window-size=${plan.window.width},${plan.window.height}`, baseUrl + plan.page],
    { env, stdio: 'ignore' });
    const portFile = path.join(profile, 'DevToolsActivePort');
    await waitFor(() => fs.existsSync(portFile) && fs.readFileSync(portFile, 'utf8').includes('\n'), 'the DevTools port');
    const port = fs.readFileSync(portFile, 'utf8').split('\n')[0];
    browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
    await waitFor(() => browser.contexts()[0]?.pages().some((p) => p.url().endsWith(plan.page)), 'the page');
    const page = browser.contexts()[0].pages().find((p) => p.url().endsWith(plan.page));
    await page.waitForLoadState('load');
    await page.evaluate(() => document.fonts.ready);
    // The pointer waits outside the window, where it can hover nothing.
    execFileSync('xdotool', ['mousemove', String(screen.width - 1), String(screen.height - 1)], { env });
    const title = await page.title();
    const windowId = windowIdByTitle(env, title);
    const m = await pageMetrics(page);
    const top = m.outerHeight - m.innerHeight;
    const frame = {
      content_rect: { x: 0, y: top, width: m.clientWidth, height: m.clientHeight },
      scrollbar_rect: { x: m.clientWidth, y: top, width: m.innerWidth - m.clientWidth, height: m.clientHeight },
      browser_ui_rect: { x: 0, y: 0, width: m.outerWidth, height: top },
      note: 'only content_rect moves by the translation; browser UI is static; the scrollbar thumb moves by a different, scaled amount',
      predicted_from_window_metrics: { x: m.outerWidth - m.innerWidth, y: top },
    };
    const maxScroll = { x: m.pageWidth - m.clientWidth, y: m.pageHeight - m.clientHeight };
    const grab = () => grabStable(env, windowId);
    const run = await runSchedule(page, plan, maxScroll, grab, dir);
    const first = decodePng(fs.readFileSync(path.join(dir, '000.png')));
    if (first.width !== m.outerWidth || first.height !== m.outerHeight) {
      throw new Error(`grab is ${first.width}x${first.height}, window ${m.outerWidth}x${m.outerHeight}`);
    }
    return {
      ...run, metrics: m, maxScroll, captureSize: { width: first.width, height: first.height }, frame,
      contentRect: frame.content_rect,
    };
  } finally {
    if (browser) await browser.close().catch(() => {});
    if (browserProcess) { browserProcess.kill('SIGTERM'); await sleep(500); }
    xvfb.kill('SIGTERM');
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

function sameRegion(a, b, rect) {
  for (let y = rect.y; y < rect.y + rect.height; ++y) {
    const from = (y * a.width + rect.x) * 4;
    if (a.data.compare(b.data, from, from + rect.width * 4, from, from + rect.width * 4) !== 0) return false;
  }
  return true;
}

// The browser UI must look the same in every grab: a caret, spinner or hover would show up here.
function checkStaticUi(dir, files, rect) {
  const first = decodePng(fs.readFileSync(path.join(dir, files[0])));
  for (const f of files.slice(1)) {
    if (!sameRegion(first, decodePng(fs.readFileSync(path.join(dir, f))), rect)) {
      throw new Error(`the browser UI of ${f} differs from ${files[0]}`);
    }
  }
}

// One field per line: the truth stays readable in a diff without a line per number.
function compactJson(object) {
  const fields = Object.entries(object).map(([key, value]) => ` ${JSON.stringify(key)}: ${JSON.stringify(value)}`);
  return `{\n${fields.join(',\n')}\n}\n`;
}

function translations(actual) {
  return actual.slice(1).map((to, k) => ({ from: k, to: k + 1, rows: -(to.y - actual[k].y), cols: -(to.x - actual[k].x) }));
}

async function captureSeries(plan, baseUrl) {
  const dir = path.join(outRoot, plan.name);
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  const shot = plan.windowed ? await captureWindowed(plan, baseUrl, dir) : await captureHeadless(plan, baseUrl, dir);
  const rect = shot.contentRect;
  const layout = { width: rect.width, height: rect.height };
  const full = await renderFullPage(baseUrl + plan.page, layout);
  if (full.size.pageWidth !== shot.metrics.pageWidth || full.size.pageHeight !== shot.metrics.pageHeight) {
    throw new Error(`the headless render lays the page out as ${full.size.pageWidth}x${full.size.pageHeight}, ` +
      `the captures as ${shot.metrics.pageWidth}x${shot.metrics.pageHeight}`);
  }
  // The band the series scrolled through.
  const xs = shot.actual.map((a) => a.x), ys = shot.actual.map((a) => a.y);
  const x0 = Math.min(...xs), y0 = Math.min(...ys);
  const width = Math.max(...xs) + rect.width - x0, height = Math.max(...ys) + rect.height - y0;
  const band = crop(full.image, x0, y0, width, height);
  writeRgba(path.join(dir, 'fullpage.png'), band);
  const files = shot.actual.map((_, k) => `${String(k).padStart(3, '0')}.png`);
  if (shot.frame) checkStaticUi(dir, files, shot.frame.browser_ui_rect);
  const identical = files.map((f, k) => fractionIdentical(decodePng(fs.readFileSync(path.join(dir, f))), rect, band,
    shot.actual[k].x - x0, shot.actual[k].y - y0));
  const truth = {
    name: plan.name,
    source: { page: `tests/pages/${plan.page}`, renderer: `Debian chromium ${chromiumVersion()}`,
      driver: `playwright-core ${require('playwright-core/package.json').version}` },
    convention, count: files.length, files,
    requested_offsets: shot.requested,
    scrollX: xs, scrollY: ys,
    translations: translations(shot.actual),
    kind: plan.kind,
    capture_size: shot.captureSize,
    viewport: plan.windowed ? { width: rect.width, height: rect.height, note: 'page area without the scrollbar' } : layout,
    frame: shot.frame,
    page_size: { width: shot.metrics.pageWidth, height: shot.metrics.pageHeight },
    max_scroll: shot.maxScroll,
    fullpage: {
      file: 'fullpage.png', width, height, page_x0: x0, page_y0: y0,
      whole_page: x0 === 0 && y0 === 0 && width === shot.metrics.pageWidth && height === shot.metrics.pageHeight,
      note: 'headless render at the same layout width, with the viewport enlarged to the whole page first: fixed ' +
        'elements sit where a window as large as the page puts them (see README.md), sticky ones at their place in ' +
        'the page; pixel (x, y) is page pixel (x + page_x0, ' +
        'y + page_y0); the page area of capture k equals it at (scrollX[k]-page_x0, scrollY[k]-page_y0) except ' +
        'where fixed or sticky elements are off their place',
    },
    check_fraction_identical_to_fullpage: identical,
  };
  fs.writeFileSync(path.join(dir, 'truth.json'), compactJson(truth));
  const truthTxt = [`rect ${plan.windowed ? `${rect.x} ${rect.y} ${rect.width} ${rect.height}` : '0 0 0 0'}`,
    `origin ${x0} ${y0}`, ...shot.actual.map((a) => `scroll ${a.x} ${a.y}`)];
  fs.writeFileSync(path.join(dir, 'truth.txt'), truthTxt.join('\n') + '\n');
  console.log(`${plan.name}: ${files.length} captures, offsets ${plan.axis === 'x' ? xs : ys}, identical ${identical}`);
}

async function main() {
  const wanted = process.argv.slice(2);
  const unknown = wanted.filter((n) => !series.some((s) => s.name === n));
  if (unknown.length) throw new Error(`unknown series: ${unknown.join(', ')}`);
  const server = await startServer();
  try {
    const baseUrl = `http://127.0.0.1:${server.address().port}/`;
    for (const plan of series) if (!wanted.length || wanted.includes(plan.name)) await captureSeries(plan, baseUrl);
  } finally {
    server.close();
  }
}

main().catch((error) => { console.error(error.message || error); process.exit(1); });
