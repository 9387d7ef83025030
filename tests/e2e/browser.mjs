// What the browser tests share: the driver, or a skip when it is not installed, and Debian's
// Chromium with the switches that keep it quiet and on this machine.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repo = path.resolve(here, '../..');
export const SKIPPED = 77;
export const chromiumPath = '/usr/bin/chromium';
export const chromiumArgs = [
    '--headless',
    '--no-sandbox',
    '--disable-gpu',
    '--disable-quic',
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-sync',
    '--no-first-run',
];

// playwright-core's chromium; ends the test with status 77 (skipped) when the driver is missing.
export async function loadChromium() {
    if (!fs.existsSync(path.join(here, 'node_modules', 'playwright-core', 'package.json'))) {
        console.log('# SKIP playwright-core is not installed; run: npm ci --prefix tests/e2e');
        process.exit(SKIPPED);
    }
    return (await import('playwright-core')).chromium;
}
