// The live stream's player page in Chromium: the page fetches the stream from the port that
// served it and plays it through Media Source Extensions, at the highest and the lowest bit
// rate. A stand-in for the viewer port serves page and stream of the test pattern.
//
//   node tests/e2e/stream.test.mjs
//
// KESTRELON_STREAM_SERVER names the stand-in (default: build/default/tests/stream_test_server).
// Exits 77 (skipped) when playwright-core is not installed: npm ci --prefix tests/e2e.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromiumArgs, chromiumPath, loadChromium, repo } from './browser.mjs';

const chromium = await loadChromium();

const server = process.env.KESTRELON_STREAM_SERVER || path.join(repo, 'build/default/tests/stream_test_server');
const START_MS = 15_000;
const PLAY_MS = 30_000;
const OVERALL_MS = 110_000;

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrelon-stream-e2e-'));
let context = null;
const servers = [];
const offLoopback = [];

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Starts the stand-in for one profile row and answers the address of its page.
function startServer(row) {
    const child = spawn(server, [String(row), 'Spike clip'], { stdio: ['pipe', 'pipe', 'pipe'] });
    servers.push(child);
    let stderr = '';
    child.stderr.on('data', (chunk) => (stderr += chunk));
    return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`no port within ${START_MS} ms: ${stderr}`)), START_MS);
        let out = '';
        child.stdout.on('data', (chunk) => {
            out += chunk;
            const m = /PORT (\d+)/.exec(out);
            if (m) {
                clearTimeout(timer);
                resolve(`http://127.0.0.1:${m[1]}/`);
            }
        });
        child.on('exit', (code) => {
            clearTimeout(timer);
            reject(new Error(`the stand-in ended (${code}): ${stderr}`));
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
    for (const child of servers) {
        child.stdin.end();
        child.kill('SIGTERM');
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
        const address = await startServer(row);
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
