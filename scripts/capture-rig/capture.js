#!/usr/bin/env node
// Regenerates the scrolling-capture series under tests/data/rig from the pages in tests/pages, and
// those under tests/data/corpus from documentation that Debian packages ship (see corpus.json).
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
const rigOut = path.join(repoRoot, 'tests', 'data', 'rig');
const corpusOut = path.join(repoRoot, 'tests', 'data', 'corpus');
const docRoot = '/usr/share/doc';
const chromiumPath = '/usr/bin/chromium';
const preferredPort = 8087;
const chromiumFlags = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
// Documentation pages may ask for web fonts or scripts from elsewhere: no host but ours resolves, from
// the first request of a window opened with the page on, so they are simply absent.
const corpusFlags = ['--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'];
const convention = 'translation (rows, cols): content at row y / col x of capture k is at row y+rows / col x+cols ' +
  'of capture k+1; rows = -(scrollY[k+1]-scrollY[k]), cols = -(scrollX[k+1]-scrollX[k])';

// Steps are added to the offset read back after the previous scroll; the last one must overshoot
// the page end, so the browser clamps it.
const rigSeries = [
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
  {
    name: 'crane-banner-1024x768', page: 'crane-reference.html', windowed: false,
    viewport: { width: 1024, height: 768 }, axis: 'y',
    steps: [40, 300, 0, 576, 250, 30, 450, 500, 500, 450, 250, 100, 100, 200],
    kind: 'vertical, page viewport only (headless, no scrollbar)',
  },
  {
    name: 'crane-banner-up-800x600', page: 'crane-reference.html', windowed: false,
    viewport: { width: 800, height: 600 }, axis: 'y', direction: 'up', start: 'end',
    steps: [45, 300, 0, 450, 150, 20, 400, 450, 300, 450, 450, 400, 450, 450],
    kind: 'vertical upwards from the page end, page viewport only (headless, no scrollbar)',
  },
];

const axisSign = { down: 1, up: -1, right: 1, left: -1 };

// One shape for both tables. A corpus series shows `page` of the folder /usr/share/doc/<docDir>
// (the package's name unless it installs elsewhere), starts at `start` along its axis (a number or
// "end") and at `cross` on the other, and steps towards the end of the page (down, right) or its
// start (up, left); `clampLast` (default true) says the last step overshoots, so the browser clamps
// it at the page's edge.
function rigPlan(s) {
  return { start: 0, ...s, url: s.page, outDir: path.join(rigOut, s.name), sign: axisSign[s.direction || 'down'], cross: 0,
    clampLast: true, dpr: 1, colorScheme: null, flags: [], corpus: false };
}

function corpusPlan(s) {
  const expected = { y: ['down', 'up'], x: ['right', 'left'] }[s.axis];
  if (!expected || !expected.includes(s.direction)) throw new Error(`${s.name}: axis ${s.axis}, direction ${s.direction}`);
  const size = { width: s.size[0], height: s.size[1] };
  return {
    ...s, docDir: s.docDir || s.package, url: `doc/${s.docDir || s.package}/${s.page}`, outDir: path.join(corpusOut, s.name), sign: axisSign[s.direction],
    windowed: s.window, viewport: size, window: size, dpr: s.dpr || 1, colorScheme: s.colorScheme || null,
    flags: corpusFlags, corpus: true, clampLast: s.clampLast !== false,
  };
}

function allPlans() {
  const corpus = JSON.parse(fs.readFileSync(path.join(__dirname, 'corpus.json'), 'utf8'));
  return [...rigSeries.map(rigPlan), ...corpus.series.map(corpusPlan)];
}

function sleep(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

function freshProfileDir() { return fs.mkdtempSync(path.join(os.tmpdir(), 'zolt-rig-profile-')); }

// Only our own server answers: every request to another host fails at once.
async function blockOtherHosts(context) {
  await context.route('**/*', (route) => (new URL(route.request().url()).hostname === '127.0.0.1'
    ? route.continue() : route.abort('blockedbyclient')));
}

// A headless browser with a profile of its own, removed when done.
async function withHeadless(viewport, plan, body) {
  const profile = freshProfileDir();
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath, headless: true, args: [...chromiumFlags, ...plan.flags], viewport,
    deviceScaleFactor: plan.dpr, ...(plan.colorScheme ? { colorScheme: plan.colorScheme } : {}),
  });
  try {
    if (plan.corpus) await blockOtherHosts(context);
    return await body(context.pages()[0] || await context.newPage());
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

function packageVersion(name) {
  return execFileSync('dpkg-query', ['-W', '-f=${Version}', name]).toString();
}

function chromiumVersion() {
  const text = execFileSync(chromiumPath, ['--version'], { stdio: ['ignore', 'pipe', 'ignore'] }).toString();
  return (text.match(/\d+(\.\d+)+/) || ['unknown'])[0];
}

const contentTypes = {
  '.html': 'text/html; charset=utf-8', '.htm': 'text/html; charset=utf-8', '.css': 'text/css', '.js': 'text/javascript',
  '.json': 'application/json', '.svg': 'image/svg+xml', '.png': 'image/png', '.jpg': 'image/jpeg', '.gif': 'image/gif',
  '.ico': 'image/x-icon', '.woff': 'font/woff', '.woff2': 'font/woff2', '.ttf': 'font/ttf', '.otf': 'font/otf',
};

// A file of an installed documentation package, for /doc/<package>/<path>; null outside the doc tree.
function docFile(pathname) {
  const file = path.normalize(path.join(docRoot, pathname.slice('/doc/'.length)));
  if (!file.startsWith(docRoot + path.sep)) return null;
  try {
    return fs.statSync(file).isDirectory() ? path.join(file, 'index.html') : file;
  } catch {
    return null;
  }
}

function serveDoc(pathname, res) {
  const file = docFile(pathname);
  if (!file || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
  const type = contentTypes[path.extname(file).toLowerCase()] || 'application/octet-stream';
  res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-store' });
  res.end(fs.readFileSync(file));
}

// Serves tests/pages, and the documentation folders under /doc/, on 127.0.0.1 at a free port;
// nothing else is reachable from the pages.
function startServer() {
  const server = http.createServer((req, res) => {
    const pathname = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    if (pathname.startsWith('/doc/')) { serveDoc(pathname, res); return; }
    const name = path.basename(pathname);
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
    // In quirks mode the body stands for the viewport (a page without a doctype).
    const e = document.scrollingElement || document.documentElement;
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

// Scroll-triggered scripts and transitions (a header's shadow, a fading button) keep repainting for a
// while: a shot counts once the next one agrees with it.
async function settledScreenshot(page) {
  let previous = await page.screenshot({ type: 'png' });
  for (let tries = 0; tries < 40; ++tries) {
    await sleep(100);
    const next = await page.screenshot({ type: 'png' });
    if (next.equals(previous)) return next;
    previous = next;
  }
  throw new Error('the page kept changing between screenshots');
}

function startOffset(plan, maxScroll) {
  const other = plan.axis === 'x' ? 'y' : 'x';
  return { [plan.axis]: plan.start === 'end' ? maxScroll[plan.axis] : plan.start, [other]: plan.cross };
}

// Scrolls through the schedule and grabs each offset; returns requested and read-back offsets.
async function runSchedule(page, plan, maxScroll, grab, dir) {
  const requested = [], actual = [];
  const start = startOffset(plan, maxScroll);
  const edge = plan.sign > 0 ? maxScroll[plan.axis] : 0;
  let at = await scrollTo(page, { x: start.x, y: start.y });
  for (let k = 0; k <= plan.steps.length; ++k) {
    const step = k === 0 ? 0 : plan.sign * plan.steps[k - 1];
    const want = k === 0 ? { x: start.x, y: start.y }
      : { x: at.x + (plan.axis === 'x' ? step : 0), y: at.y + (plan.axis === 'y' ? step : 0) };
    at = await scrollTo(page, want);
    const clamped = k === plan.steps.length && plan.clampLast;
    const exact = at.x === want.x && at.y === want.y;
    if (clamped ? exact || at[plan.axis] !== edge : !exact) {
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
async function renderFullPage(url, layout, plan) {
  return withHeadless(layout, plan, async (page) => {
    await page.goto(url, { waitUntil: 'load' });
    await page.evaluate(() => document.fonts.ready);
    const before = await pageMetrics(page);
    // A layout whose width follows the window's (a wrapping menu bar) is rendered at the captures'
    // width; the shot still spans the whole page width.
    const width = plan.enlargeWidth === false ? layout.width : Math.max(layout.width, before.pageWidth);
    let height = Math.max(layout.height, before.pageHeight);
    // An element as tall as the window below an offset (a sticky sidebar of 100vh) makes a page as
    // tall as the window grow: the window is then lowered by the growth, as far as the layout allows.
    for (let tries = 0; ; ++tries) {
      await page.setViewportSize({ width, height });
      await settle(page);
      const after = await pageMetrics(page);
      if (after.pageWidth === before.pageWidth && after.pageHeight === before.pageHeight) break;
      const growth = after.pageHeight - before.pageHeight;
      if (tries === 3 || after.pageWidth !== before.pageWidth || growth <= 0 || height - growth < layout.height) {
        throw new Error(`page size changed with the viewport: ${JSON.stringify(before)} -> ${JSON.stringify(after)}`);
      }
      height -= growth;
    }
    // Like the captures, the render counts once the next one agrees with it.
    let shot = await page.screenshot({ fullPage: true, type: 'png' });
    for (let tries = 0; ; ++tries) {
      if (tries === 10) throw new Error('the full-page render kept changing');
      await sleep(100);
      const next = await page.screenshot({ fullPage: true, type: 'png' });
      if (next.equals(shot)) break;
      shot = next;
    }
    return { image: decodePng(shot), size: before };
  });
}

async function captureHeadless(plan, baseUrl, dir) {
  return withHeadless(plan.viewport, plan, async (page) => {
    await page.goto(baseUrl + plan.url, { waitUntil: 'load' });
    await page.evaluate(() => document.fonts.ready);
    const m = await pageMetrics(page);
    const maxScroll = { x: m.pageWidth - m.clientWidth, y: m.pageHeight - m.clientHeight };
    const grab = async () => decodePng(await settledScreenshot(page));
    const run = await runSchedule(page, plan, maxScroll, grab, dir);
    const size = { width: plan.viewport.width * plan.dpr, height: plan.viewport.height * plan.dpr };
    return {
      ...run, metrics: m, maxScroll, captureSize: plan.dpr === 1 ? plan.viewport : size, frame: null,
      contentRect: { x: 0, y: 0, ...size },
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
  // xdotool takes the title as a regular expression.
  const pattern = title.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  const ids = execFileSync('xdotool', ['search', '--onlyvisible', '--name', pattern], { env }).toString().trim().split('\n');
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
  if (plan.dpr !== 1 || plan.colorScheme) throw new Error(`${plan.name}: windowed series are captured at scale 1, light`);
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
    browserProcess = spawn(chromiumPath, [...chromiumFlags, ...plan.flags, `--user-data-dir=${profile}`, '--remote-debugging-port=0',
      '--no-default-browser-check', '--test-type', '--disable-features=OverlayScrollbar', '--force-device-scale-factor=1',
      '--window-position=0,0', `--window-size=${plan.window.width},${plan.window.height}`, baseUrl + plan.url],
    { env, stdio: 'ignore' });
    const portFile = path.join(profile, 'DevToolsActivePort');
    await waitFor(() => fs.existsSync(portFile) && fs.readFileSync(portFile, 'utf8').includes('\n'), 'the DevTools port');
    const port = fs.readFileSync(portFile, 'utf8').split('\n')[0];
    browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
    await waitFor(() => browser.contexts()[0]?.pages().some((p) => p.url().endsWith(plan.url)), 'the page');
    const page = browser.contexts()[0].pages().find((p) => p.url().endsWith(plan.url));
    if (plan.corpus) await blockOtherHosts(browser.contexts()[0]);
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

function scaled(offset, dpr) {
  const out = {};
  for (const [key, value] of Object.entries(offset)) {
    if (!Number.isInteger(value)) throw new Error(`offset ${JSON.stringify(offset)} is not whole`);
    out[key] = value * dpr;
  }
  return out;
}

function sourceOf(plan) {
  const browser = { renderer: `Debian chromium ${chromiumVersion()}`,
    driver: `playwright-core ${require('playwright-core/package.json').version}` };
  if (!plan.corpus) return { page: `tests/pages/${plan.page}`, ...browser };
  return { package: plan.package, version: packageVersion(plan.package), path: `${docRoot}/${plan.docDir}/${plan.page}`,
    generator: plan.generator, ...browser };
}

async function captureSeries(plan, baseUrl) {
  const dir = plan.outDir;
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  const shot = plan.windowed ? await captureWindowed(plan, baseUrl, dir) : await captureHeadless(plan, baseUrl, dir);
  const rect = shot.contentRect;
  const layout = { width: rect.width / plan.dpr, height: rect.height / plan.dpr };
  const full = await renderFullPage(baseUrl + plan.url, layout, plan);
  if (full.size.pageWidth !== shot.metrics.pageWidth || full.size.pageHeight !== shot.metrics.pageHeight) {
    throw new Error(`the headless render lays the page out as ${full.size.pageWidth}x${full.size.pageHeight}, ` +
      `the captures as ${shot.metrics.pageWidth}x${shot.metrics.pageHeight}`);
  }
  // Everything from here on is in capture pixels (device pixels at a scale factor above 1).
  const actual = shot.actual.map((a) => scaled(a, plan.dpr));
  const pageSize = scaled({ width: shot.metrics.pageWidth, height: shot.metrics.pageHeight }, plan.dpr);
  // The band the series scrolled through.
  const xs = actual.map((a) => a.x), ys = actual.map((a) => a.y);
  const x0 = Math.min(...xs), y0 = Math.min(...ys);
  const width = Math.max(...xs) + rect.width - x0, height = Math.max(...ys) + rect.height - y0;
  const band = crop(full.image, x0, y0, width, height);
  writeRgba(path.join(dir, 'fullpage.png'), band);
  const files = actual.map((_, k) => `${String(k).padStart(3, '0')}.png`);
  if (shot.frame) checkStaticUi(dir, files, shot.frame.browser_ui_rect);
  const identical = files.map((f, k) => fractionIdentical(decodePng(fs.readFileSync(path.join(dir, f))), rect, band,
    actual[k].x - x0, actual[k].y - y0));
  const truth = {
    name: plan.name,
    source: sourceOf(plan),
    convention, count: files.length, files,
    requested_offsets: shot.requested.map((r) => scaled(r, plan.dpr)),
    scrollX: xs, scrollY: ys,
    translations: translations(actual),
    kind: plan.kind,
    ...(!plan.corpus && plan.direction ? { direction: plan.direction } : {}),
    ...(plan.corpus ? {
      direction: plan.direction, device_scale_factor: plan.dpr, color_scheme: plan.colorScheme || 'light',
      ...(plan.dpr !== 1 ? { pixels: `device pixels (CSS pixels x ${plan.dpr}) throughout: offsets, sizes, translations` } : {}),
    } : {}),
    capture_size: shot.captureSize,
    viewport: plan.windowed ? { width: rect.width, height: rect.height, note: 'page area without the scrollbar' }
      : { width: rect.width, height: rect.height },
    frame: shot.frame,
    page_size: pageSize,
    max_scroll: scaled(shot.maxScroll, plan.dpr),
    fullpage: {
      file: 'fullpage.png', width, height, page_x0: x0, page_y0: y0,
      whole_page: x0 === 0 && y0 === 0 && width === pageSize.width && height === pageSize.height,
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
    `origin ${x0} ${y0}`, ...actual.map((a) => `scroll ${a.x} ${a.y}`)];
  fs.writeFileSync(path.join(dir, 'truth.txt'), truthTxt.join('\n') + '\n');
  console.log(`${plan.name}: ${files.length} captures, offsets ${plan.axis === 'x' ? xs : ys}, identical ${identical}`);
}

async function main() {
  const wanted = process.argv.slice(2);
  const plans = allPlans();
  const unknown = wanted.filter((n) => !plans.some((s) => s.name === n));
  if (unknown.length) throw new Error(`unknown series: ${unknown.join(', ')}`);
  const server = await startServer();
  try {
    const baseUrl = `http://127.0.0.1:${server.address().port}/`;
    for (const plan of plans) if (!wanted.length || wanted.includes(plan.name)) await captureSeries(plan, baseUrl);
  } finally {
    server.close();
  }
}

main().catch((error) => { console.error(error.message || error); process.exit(1); });
