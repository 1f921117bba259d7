// Random review histories (several Items, grades 1 to 4, reviews seconds to months apart, early
// and late) replayed through `glossdeck review --at` and through ts-fsrs; after every review the
// state and due time must be equal and stability and difficulty equal within 0.01 %.
// Usage: node compare_with_ts_fsrs.mjs GLOSSDECK PACKAGE_FOLDER
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [tool, packages] = process.argv.slice(2);
const require = createRequire(path.join(path.resolve(packages), 'package.json'));
const { fsrs, createEmptyCard, State } = require('ts-fsrs');
const version = JSON.parse(fs.readFileSync(path.join(path.resolve(packages), 'node_modules/ts-fsrs/package.json'), 'utf8')).version;

// A small seeded generator (mulberry32), so that a failure can be replayed.
function generator(seed) {
  return () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const Minute = 60e3, Day = 864e5;
// The next review after `last`: seconds, minutes, hours, days or months later, or early, on
// time or late against the due time.
function nextTime(random, last, due) {
  const pick = random();
  let gap;
  if (pick < 0.15) gap = 1e3 * (1 + Math.floor(random() * 59));
  else if (pick < 0.3) gap = Minute * (1 + Math.floor(random() * 59));
  else if (pick < 0.4) gap = 3600e3 * (1 + Math.floor(random() * 23));
  else if (pick < 0.55) gap = Day * (1 + Math.floor(random() * 30));
  else if (pick < 0.65) gap = Day * (30 + Math.floor(random() * 300));
  else gap = Math.max(1e3, (due - last) * (0.2 + random() * 2.3));   // early to late
  return last + Math.round(gap / 1e3) * 1e3 + Math.floor(random() * 60) * 1e3;
}

function run(args) {
  return execFileSync(tool, args, { encoding: 'utf8' });
}

const relative = (a, b) => Math.abs(a - b) / Math.max(Math.abs(b), 1e-12);
let passed = 0, failed = 0;
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'glossdeck-fsrs-'));
try {
  for (const fuzz of [false, true]) {
    const random = generator(fuzz ? 4242 : 2024);
    const deck = path.join(folder, fuzz ? 'fuzzed.gsd' : 'plain.gsd');
    const words = ['apple', 'Baum', 'chat noir', 'dé', 'eleven', 'fjord'];
    fs.writeFileSync(deck, Buffer.from(words.map(w => w + '\xB62\xB6\xB6\xB6\xB6\r\n').join(''), 'latin1'));
    if (fuzz) run(['settings', deck, 'fuzz=1']);
    const scheduler = fsrs({ enable_fuzz: fuzz });
    const start = Date.UTC(2024, 0, 15, 8, 30, 0);
    const items = words.map(word => ({ word, card: createEmptyCard(new Date(start)), time: start }));
    for (let round = 0; round < 30; ++round) {
      for (const item of items) {
        const grade = 1 + Math.floor(random() * 4);
        item.time = round === 0 ? start + Math.floor(random() * 3600) * 1e3 : nextTime(random, item.time, item.card.due.getTime());
        const at = new Date(item.time);
        item.card = scheduler.next(item.card, at, grade).card;
        const line = run(['review', deck, item.word, String(grade), '--at', at.toISOString().replace('.000Z', 'Z')]).trim();
        const [word, state, stability, difficulty, , due] = line.split('\t');
        const expected = State[item.card.state].toLowerCase();
        const problems = [];
        if (word !== item.word) problems.push(`word ${word}`);
        if (state !== expected) problems.push(`state ${state}, expected ${expected}`);
        if (Date.parse(due) !== item.card.due.getTime()) problems.push(`due ${due}, expected ${item.card.due.toISOString()}`);
        if (!(relative(Number(stability), item.card.stability) <= 1e-4))
          problems.push(`stability ${stability}, expected ${item.card.stability}`);
        if (!(relative(Number(difficulty), item.card.difficulty) <= 1e-4))
          problems.push(`difficulty ${difficulty}, expected ${item.card.difficulty}`);
        if (problems.length === 0) {
          ++passed;
        } else {
          ++failed;
          console.log(`${fuzz ? 'fuzz ' : ''}${item.word} review ${round + 1} at ${at.toISOString()} grade ${grade}: ${problems.join('; ')}`);
        }
      }
    }
  }
} finally {
  fs.rmSync(folder, { recursive: true, force: true });
}
console.log(`glossdeck against ts-fsrs ${version} (default parameters; interval fuzz off and on)`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
