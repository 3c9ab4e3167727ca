// What the browser tests share: their skip rule and a headless Chromium that reaches no network.
import fs from 'node:fs';
import path from 'node:path';

const chromiumPath = '/usr/bin/chromium';

// CI installs everything these tests need, so there a missing piece is a failure.
export function skip(reason) {
  console.log(`${process.env.CI ? 'FAILED' : 'SKIPPED'}: ${reason}`);
  process.exit(process.env.CI ? 1 : 77);
}

// Imports a package of tests/browser, or skips the test without it.
export async function load(name) {
  try {
    return await import(name);
  } catch {
    return skip(`${name} is not installed: run \`npm ci\` in tests/browser`);
  }
}

// Skips the test without Chromium or Playwright; else empties `scratch`, which then takes
// Playwright's and Chromium's temporary files, and returns what starts a headless Chromium with a
// fresh profile there (closing it leaves the profile to remove).
export async function prepare(scratch) {
  if (!fs.existsSync(chromiumPath)) skip(`${chromiumPath} is missing (apt-get install chromium)`);
  const { chromium } = await load('playwright-core');
  fs.rmSync(scratch, { recursive: true, force: true });
  fs.mkdirSync(path.join(scratch, 'home'), { recursive: true });
  process.env.TMPDIR = scratch;
  return (options = {}) => chromium.launchPersistentContext(path.join(scratch, 'profile'), {
    executablePath: chromiumPath,
    headless: true,
    env: { ...process.env, HOME: path.join(scratch, 'home') },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--host-resolver-rules=MAP * ~NOTFOUND'],
    ...options,
  });
}
