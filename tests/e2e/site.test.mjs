// The sample site in Chromium, served by the real program running headless on a temporary
// settings file: the home page, both hit counters, the port links and the feedback form.
//
//   node tests/e2e/site.test.mjs
//
// KESTRELON_EXE names the program (default: build/default/kestrelon). Exits 77 (skipped) when
// playwright-core is not installed: npm ci --prefix tests/e2e. KESTRELON_E2E_SCREENSHOT=FILE
// saves a picture of the home page.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromiumArgs, chromiumPath, loadChromium, repo } from './browser.mjs';

const chromium = await loadChromium();

const exe = process.env.KESTRELON_EXE || path.join(repo, 'build/default/kestrelon');

// Every wait is bounded; the whole run stays below the CTest time-out.
const START_MS = 15_000;
const STEP_MS = 10_000;
const FILE_MS = 5_000;
const STOP_MS = 15_000;
const TEST_MS = 30_000;
const OVERALL_MS = 110_000;

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrelon-e2e-'));
const root = path.join(tmp, 'www');
const iniFile = path.join(tmp, 'kestrelon.ini');
const portRecord = path.join(tmp, 'port.txt');
const feedbackFile = path.join(tmp, 'feedback.txt');
const profileDir = path.join(tmp, 'chromium-profile');

// Counter 1 starts from a total it must read; counter 2 from the file the program creates.
const COUNTER1_SEED = 41;

let program = null; // { child, stderr, lines, exit }
let context = null;
let page = null;
let home = '';
let failed = false;
const offLoopback = [];

// What the checks share: the totals before the visit, the result of the form submission.
let totalsBefore = null;
let formPost = null;

// ---- helpers ---------------------------------------------------------------------------

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The promise's value, or `fallback` once `ms` have passed; the timer never outlives the race.
function within(promise, ms, fallback = null) {
    let timer;
    const limit = new Promise((resolve) => {
        timer = setTimeout(() => resolve(fallback), ms);
    });
    return Promise.race([promise, limit]).finally(() => clearTimeout(timer));
}

// Polls until probe() returns a truthy value; fails with what it waited for.
async function waitFor(probe, timeoutMs, what) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
        const value = await probe();
        if (value) {
            return value;
        }
        if (Date.now() >= deadline) {
            throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
        }
        await sleep(50);
    }
}

function readText(file) {
    try {
        return fs.readFileSync(file, 'latin1');
    } catch {
        return null;
    }
}

function readLines(file) {
    const text = readText(file);
    if (text === null || text === '') {
        return [];
    }
    return text.replace(/\r?\n$/, '').split(/\r?\n/);
}

// A count file's first line, or null when there is no such file.
function firstLine(file) {
    const text = readText(file);
    return text === null ? null : text.split(/\r?\n/)[0];
}

// The total a count file's first line holds: at least six digits, zero-padded.
function total(file, line) {
    assert.ok(line !== null, `${path.basename(file)} exists`);
    assert.match(line, /^-?\d{6,}$/, `${path.basename(file)} starts with a zero-padded total`);
    return Number.parseInt(line, 10);
}

// Width and height from a BMP file's header (BITMAPINFOHEADER: width at 18, height at 22;
// a negative height marks a top-down image).
function bmpSize(file) {
    const data = fs.readFileSync(file);
    assert.ok(data.length >= 26, `${path.basename(file)} is too short for a BMP header (${data.length} bytes)`);
    assert.equal(data.toString('latin1', 0, 2), 'BM', `${path.basename(file)} starts with "BM"`);
    return { width: data.readInt32LE(18), height: Math.abs(data.readInt32LE(22)) };
}

function startProgram() {
    const child = spawn(exe, ['--headless', '--config', iniFile, '--listen', '127.0.0.1'], {
        env: { ...process.env, KESTRELON_PORT_RECORD: portRecord, QT_QPA_PLATFORM: 'offscreen' },
        stdio: ['ignore', 'pipe', 'pipe'],
    });
    const p = { child, stderr: '', stdout: '', lines: [], exit: null };
    let pending = '';
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', (chunk) => {
        p.stderr += chunk;
        pending += chunk;
        let nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            p.lines.push(pending.slice(0, nl));
            pending = pending.slice(nl + 1);
        }
    });
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', (chunk) => {
        p.stdout += chunk;
    });
    p.exited = new Promise((resolve) => {
        child.on('exit', (code, signal) => {
            p.exit = { code, signal };
            resolve(p.exit);
        });
        child.on('error', (error) => {
            p.exit = { code: null, signal: null, error };
            resolve(p.exit);
        });
    });
    return p;
}

function killProgram() {
    if (program && !program.exit) {
        program.child.kill('SIGKILL');
    }
}

// A check: a test of its own, so each one passes or fails on its own.
function check(name, fn) {
    test(name, { timeout: TEST_MS }, async () => {
        try {
            await fn();
        } catch (error) {
            failed = true;
            throw error;
        }
    });
}

async function openHome() {
    if (page.url() !== home) {
        const response = await page.goto(home, { waitUntil: 'load' });
        assert.equal(response?.status(), 200, 'the home page is served');
    }
}

// The program must not outlive this script, however it ends.
process.on('exit', killProgram);
for (const signal of ['SIGINT', 'SIGTERM']) {
    process.on(signal, () => {
        killProgram();
        process.exit(1);
    });
}
const watchdog = setTimeout(() => {
    console.error(`# the browser test took longer than ${OVERALL_MS} ms; stopping`);
    failed = true;
    printDiagnostics();
    killProgram();
    process.exit(1);
}, OVERALL_MS);
watchdog.unref();

function printDiagnostics() {
    const out = [`# program: ${exe}`, `# work folder (kept): ${tmp}`];
    if (program) {
        out.push(`# program exit: ${JSON.stringify(program.exit)}`);
        out.push('# ---- program stderr ----', program.stderr.trimEnd(), '# ---- end of stderr ----');
        if (program.stdout.trim()) {
            out.push('# ---- program stdout ----', program.stdout.trimEnd(), '# ---- end of stdout ----');
        }
    }
    for (const file of [portRecord, feedbackFile]) {
        const text = readText(file);
        out.push(`# ---- ${path.basename(file)} ----`, text === null ? '(missing)' : text.trimEnd());
    }
    console.error(out.join('\n'));
}

// ---- set-up and tear-down --------------------------------------------------------------

before(async () => {
    try {
        await setUp();
    } catch (error) {
        failed = true;
        throw error;
    }
});

async function setUp() {
    assert.ok(fs.existsSync(exe), `the program exists at ${exe} (set KESTRELON_EXE)`);
    assert.ok(fs.existsSync(chromiumPath), `Chromium exists at ${chromiumPath}`);

    // The site without counter files a demo run may have left in the source folder.
    fs.cpSync(path.join(repo, 'site'), root, {
        recursive: true,
        filter: (src) => !/^hitcounter2?\.(bmp|txt)$/.test(path.basename(src)),
    });
    fs.writeFileSync(path.join(root, 'hitcounter.txt'), `${String(COUNTER1_SEED).padStart(6, '0')}\r\n`);
    fs.writeFileSync(
        iniFile,
        [
            // The external address lookup of the server's start fails at once, without a request.
            '[Router]',
            'External=0',
            'UserDefined=1',
            '[WebServe]',
            'Port=0',
            `Root=${root}`,
            'RootFile=index.html',
            'AutoStart=1',
            'RevDNS=0',
            'IO=1',
            'Append=1',
            `AppendFile=${feedbackFile}`,
            'Log=1',
            '',
        ].join('\n'),
    );

    program = startProgram();
    const listening =
        /^server: \d\d\/\d\d\/\d{4} \d\d:\d\d:\d\d {3}Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.$/;
    const line = await waitFor(
        () => {
            if (program.exit) {
                throw new Error(`the program ended before listening: ${JSON.stringify(program.exit)}`);
            }
            return program.lines.find((l) => listening.test(l));
        },
        START_MS,
        'the "Listening for HTTP connections" line',
    );
    const port = Number(listening.exec(line)[1]);
    assert.ok(port > 0 && port < 65536, `a bound port, got ${port}`);
    home = `http://127.0.0.1:${port}/`;

    context = await chromium.launchPersistentContext(profileDir, {
        executablePath: chromiumPath,
        headless: true,
        timeout: 30_000,
        viewport: { width: 1000, height: 800 },
        args: chromiumArgs,
    });
    context.setDefaultTimeout(STEP_MS);
    context.setDefaultNavigationTimeout(STEP_MS);
    // Nothing leaves the loopback range: anything else is refused and noted.
    await context.route('**/*', (route) => {
        const url = new URL(route.request().url());
        if ((url.protocol === 'http:' && url.hostname.startsWith('127.')) || url.protocol === 'data:') {
            return route.continue();
        }
        offLoopback.push(url.href);
        return route.abort();
    });
    page = context.pages()[0] ?? (await context.newPage());
}

after(async () => {
    clearTimeout(watchdog);
    if (context) {
        await within(context.close().catch(() => {}), STOP_MS);
    }
    if (program && !program.exit) {
        killProgram();
        await within(program.exited, STOP_MS);
    }
    if (failed) {
        printDiagnostics();
    } else {
        fs.rmSync(tmp, { recursive: true, force: true });
    }
});

// ---- the checks ------------------------------------------------------------------------

check('the home page loads with its stylesheet, form and port links', async () => {
    // The totals before this visit: counter 1 was seeded, counter 2 is created at start-up.
    const counter2File = path.join(root, 'hitcounter2.txt');
    await waitFor(() => fs.existsSync(counter2File), FILE_MS, 'hitcounter2.txt to be created at start-up').catch(
        () => {},
    );
    totalsBefore = {
        counter1: firstLine(path.join(root, 'hitcounter.txt')),
        counter2: firstLine(counter2File),
    };

    const response = await page.goto(home, { waitUntil: 'load' });
    assert.equal(response?.status(), 200, 'the home page is served');
    assert.match(response.headers()['content-type'] ?? '', /^text\/html/);
    assert.equal(await page.title(), 'Kestrelon');
    assert.equal(
        await page.$eval('header', (e) => getComputedStyle(e).backgroundColor),
        'rgb(42, 93, 138)',
        'style.css is applied',
    );
    const form = await page.$eval('#feedback form', (f) => ({
        method: f.getAttribute('method'),
        action: f.getAttribute('action'),
    }));
    assert.deepEqual(form, { method: 'post', action: 'thanks.html' });
    const links = await page.$$eval('.port-links a', (as) => as.map((a) => a.getAttribute('href')));
    assert.deepEqual(links, ['/^1', '/^-2', '/^0']);

    if (process.env.KESTRELON_E2E_SCREENSHOT) {
        await page.screenshot({ path: process.env.KESTRELON_E2E_SCREENSHOT, fullPage: true });
    }
});

check('both counter images load, as large as the BMP files the server drew', async () => {
    await openHome();
    for (const [id, file] of [
        ['#counter1', 'hitcounter.bmp'],
        ['#counter2', 'hitcounter2.bmp'],
    ]) {
        const img = await page.$eval(id, (i) => ({
            src: i.getAttribute('src'),
            complete: i.complete,
            width: i.naturalWidth,
            height: i.naturalHeight,
        }));
        assert.equal(img.src, file);
        assert.ok(img.complete && img.width > 0, `${file} is shown by the browser (${JSON.stringify(img)})`);
        const onDisk = path.join(root, file);
        assert.ok(fs.existsSync(onDisk), `${file} exists in the web root`);
        const size = bmpSize(onDisk);
        assert.ok(size.width > 0 && size.height > 0, `${file} is not empty (${JSON.stringify(size)})`);
        assert.deepEqual({ width: img.width, height: img.height }, size, `${file}: browser size = BMP header size`);
    }
});

check('the visit counted one hit on each counter', async () => {
    assert.ok(totalsBefore, 'the home page was visited');
    const file1 = path.join(root, 'hitcounter.txt');
    const file2 = path.join(root, 'hitcounter2.txt');
    assert.equal(totalsBefore.counter1, String(COUNTER1_SEED).padStart(6, '0'), 'hitcounter.txt held the seeded total before the visit');
    assert.equal(totalsBefore.counter2, '000000', 'hitcounter2.txt was created at start-up holding 000000');
    assert.equal(total(file1, firstLine(file1)), COUNTER1_SEED + 1, 'hitcounter.txt went up by one');
    assert.equal(total(file2, firstLine(file2)), 1, 'hitcounter2.txt went up by one');
});

check('the port links write the port and leave the browser on the page', async () => {
    await openHome();
    // /^1 writes 1, /^-2 switches bit value 2 on beside it (3), /^0 writes 0.
    for (const [id, expected] of [
        ['#port-1', '0278 1'],
        ['#port-or-2', '0278 3'],
        ['#port-0', '0278 0'],
    ]) {
        const href = await page.$eval(id, (a) => a.href);
        const seen = readLines(portRecord).length;
        const [response] = await Promise.all([
            page.waitForResponse((r) => r.url() === href),
            page.click(id),
        ]);
        assert.equal(response.status(), 204, `${href} is answered 204 No Content`);
        const written = await waitFor(
            () => {
                const fresh = readLines(portRecord).slice(seen);
                return fresh.includes(expected) && fresh;
            },
            FILE_MS,
            `"${expected}" in the port record after ${id} (record now: ${JSON.stringify(readLines(portRecord))})`,
        );
        assert.equal(written.at(-1), expected);
        assert.equal(page.url(), home, `the browser stays on the home page after ${id}`);
        assert.equal(await page.title(), 'Kestrelon');
    }
});

check('the feedback form takes the browser to thanks.html', async () => {
    await openHome();
    await page.fill('#name', 'Ann Example');
    await page.fill('#email', 'ann@example.org');
    await page.fill('#comment', 'Hello & welcome = 100% sure');
    const [post] = await Promise.all([
        page.waitForResponse((r) => r.request().method() === 'POST'),
        page.click('#feedback button[type=submit]'),
    ]);
    formPost = { status: post.status(), location: post.headers()['location'] ?? null, url: post.url() };
    await page.waitForURL(/\/thanks\.html$/);
    await page.waitForLoadState('load');
    assert.equal(new URL(page.url()).pathname, '/thanks.html');
    assert.equal(await page.textContent('h1'), 'Thank you');
});

check('the form submission is answered 302 with Location naming thanks.html', async () => {
    assert.ok(formPost, 'the form was submitted');
    assert.equal(new URL(formPost.url).pathname, '/thanks.html', 'the form posts to thanks.html');
    assert.equal(formPost.status, 302, `status of the POST reply (${JSON.stringify(formPost)})`);
    assert.ok(formPost.location, 'the 302 reply has a Location header');
    assert.equal(new URL(formPost.location, home).pathname, '/thanks.html');
});

check('the submission is recorded in the feedback file', async () => {
    assert.ok(formPost, 'the form was submitted');
    const ipLine = "Sender's IP address was: 127.0.0.1";
    const fieldLines = ['name= Ann Example', 'email= ann@example.org', 'comment= Hello & welcome = 100% sure'];
    const lines = await waitFor(
        () => {
            const l = readLines(feedbackFile);
            return l.includes('-'.repeat(42)) && l;
        },
        FILE_MS,
        `a record in ${feedbackFile}`,
    );
    const at = lines.indexOf(ipLine);
    assert.ok(at >= 1, `the address line follows a time stamp line: ${JSON.stringify(lines)}`);
    assert.notEqual(lines[at - 1].trim(), '', 'the time stamp line is not empty');
    let last = at;
    for (const field of fieldLines) {
        const i = lines.indexOf(field, last + 1);
        assert.ok(i > last, `"${field}" follows in the order sent: ${JSON.stringify(lines)}`);
        last = i;
    }
    assert.equal(lines.indexOf('-'.repeat(42), last + 1) > last, true, 'the record ends with its rule');
});

check('no request of the pages left the loopback range', async () => {
    assert.deepEqual(offLoopback, []);
});

check('SIGTERM ends the program with status 0', async () => {
    assert.ok(program && !program.exit, `the program still runs (${JSON.stringify(program?.exit)})`);
    program.child.kill('SIGTERM');
    const exit = await within(program.exited, STOP_MS);
    assert.ok(exit, `the program ended within ${STOP_MS} ms of SIGTERM`);
    assert.deepEqual(exit, { code: 0, signal: null });
});
