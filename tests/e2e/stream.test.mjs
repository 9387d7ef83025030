// The live stream's player page in Chromium: the page fetches the stream from the viewer port
// that served it and plays it through Media Source Extensions, at the highest and the lowest bit
// rate. The real program serves them, headless, streaming its test pattern by itself at start-up.
//
//   node tests/e2e/stream.test.mjs
//
// KESTRELON_EXE names the program (default: build/default/kestrelon). Exits 77 (skipped) when
// playwright-core is not installed: npm ci --prefix tests/e2e.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromiumArgs, chromiumPath, loadChromium, repo } from './browser.mjs';

const chromium = await loadChromium();

const exe = process.env.KESTRELON_EXE || path.join(repo, 'build/default/kestrelon');
const START_MS = 15_000;
const PLAY_MS = 30_000;
const STOP_MS = 15_000;
const OVERALL_MS = 110_000;

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrelon-stream-e2e-'));
let context = null;
const programs = [];
const offLoopback = [];

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A port nobody listens on right now, for the viewer port (0 there means: nobody can connect).
function freePort() {
    return new Promise((resolve, reject) => {
        const probe = net.createServer();
        probe.once('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
}

// Starts the program streaming one profile row by itself and answers the address of its page.
async function startProgram(row) {
    const dir = fs.mkdtempSync(path.join(tmp, `row${row}-`));
    const port = await freePort();
    const ini = path.join(dir, 'kestrelon.ini');
    fs.writeFileSync(
        ini,
        `[WebServe]\nPort=0\nRevDNS=0\n[VidStream]\nStream=1\nLastDevice=0\nUsers=2\n` +
            `Port=${port}\nProfile=${row}\nClip=Spike clip\n`,
    );
    const child = spawn(exe, ['--headless', '--config', ini, '--listen', '127.0.0.1'], {
        env: {
            ...process.env,
            QT_QPA_PLATFORM: 'offscreen',
            // The test pattern is the only source, even on a machine with a camera.
            GST_PLUGIN_FEATURE_RANK: 'v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,libcameraprovider:NONE',
        },
        stdio: ['ignore', 'ignore', 'pipe'],
    });
    const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve(code ?? signal)));
    programs.push({ child, exited });
    let stderr = '';
    return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`no stream within ${START_MS} ms: ${stderr}`)), START_MS);
        child.stderr.on('data', (chunk) => {
            stderr += chunk;
            const m = /^video: Streaming .* on port (\d+) /m.exec(stderr);
            if (m) {
                clearTimeout(timer);
                resolve(`http://127.0.0.1:${m[1]}/`);
            }
        });
        exited.then((code) => {
            clearTimeout(timer);
            reject(new Error(`the program ended (${code}): ${stderr}`));
        });
    });
}

// The video element's state as the page sees it.
const videoState = (page) =>
    page.evaluate(() => {
        const v = document.querySelector('video');
        return {
            time: v.currentTime,
            frames: v.getVideoPlaybackQuality().totalVideoFrames,
            width: v.videoWidth,
            height: v.videoHeight,
            error: v.error ? v.error.message || String(v.error.code) : null,
            note: document.getElementById('note').textContent,
        };
    });

async function waitForState(page, probe, what) {
    const deadline = Date.now() + PLAY_MS;
    let state = null;
    for (;;) {
        state = await videoState(page);
        if (probe(state)) {
            return state;
        }
        if (Date.now() >= deadline) {
            throw new Error(`timed out after ${PLAY_MS} ms waiting for ${what}: ${JSON.stringify(state)}`);
        }
        await sleep(100);
    }
}

before(async () => {
    context = await chromium.launchPersistentContext(path.join(tmp, 'profile'), {
        executablePath: chromiumPath,
        headless: true,
        timeout: 30_000,
        // The page's video is muted, which lets it play without a click; this makes sure.
        args: [...chromiumArgs, '--autoplay-policy=no-user-gesture-required'],
    });
    await context.route('**/*', (route) => {
        const url = new URL(route.request().url());
        if (url.protocol === 'http:' && url.hostname.startsWith('127.')) {
            return route.continue();
        }
        offLoopback.push(url.href);
        return route.abort();
    });
});

after(async () => {
    await context?.close().catch(() => {});
    for (const { child, exited } of programs) {
        child.kill('SIGTERM');
        const code = await Promise.race([exited, sleep(STOP_MS).then(() => 'still running')]);
        if (code !== 0) {
            child.kill('SIGKILL');
            console.error(`# the program ended with ${code} on SIGTERM`);
            process.exitCode = 1;
        }
    }
    fs.rmSync(tmp, { recursive: true, force: true });
});

const overall = setTimeout(() => {
    console.error(`# the stream test took longer than ${OVERALL_MS} ms`);
    process.exit(1);
}, OVERALL_MS);
overall.unref();

for (const [row, name, width, height] of [
    [0, '256 Kbps', 320, 240],
    [6, '20 Kbps', 240, 176],
]) {
    test(`the player page plays the ${name} stream`, async () => {
        const address = await startProgram(row);
        const page = await context.newPage();
        try {
            await page.goto(address);
            assert.equal(await page.title(), 'Spike clip');
            const first = await waitForState(page, (s) => s.width > 0 && s.frames > 0, 'the first picture');
            // The stream's time stamps start where the viewer joined: measure the advance.
            const later = await waitForState(page, (s) => s.time >= first.time + 2, 'two seconds of playing');
            assert.ok(later.frames > first.frames, `decoded pictures keep rising: ${first.frames} -> ${later.frames}`);
            assert.equal(later.width, width);
            assert.equal(later.height, height);
            assert.equal(later.error, null);
        } finally {
            await page.close();
        }
    });
}

test('nothing left the loopback range', () => {
    assert.deepEqual(offLoopback, []);
});
