// A package made by anki-apkg-export imported by glossdeck, and a Deck exported by glossdeck read
// by anki-reader: the same notes and media on both sides.
// Usage: node check_with_anki_peers.mjs GLOSSDECK PACKAGE_FOLDER TESTDATA
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [tool, packages, data] = process.argv.slice(2);
const require = createRequire(path.join(path.resolve(packages), 'package.json'));
const AnkiExport = require('anki-apkg-export').default;
const { readAnkiPackage } = await import(require.resolve('anki-reader'));

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'anki-peers-'));
const sound = fs.readFileSync(path.join(data, 'audio/tone.mp3'));
const picture = fs.readFileSync(path.join(data, 'pictures/alpha.png'));
const S = '\u00b6';

try {
  // In: a package of anki-apkg-export, with HTML, tags and media.
  const made = new AnkiExport('peer deck');
  made.addMedia('tone.mp3', sound);
  made.addMedia('pic.png', picture);
  made.addCard('<b>gato</b>', 'cat<br>the animal [sound:tone.mp3]', { tags: ['Frequency::5'] });
  made.addCard('perro', 'dog &amp; friend <img src="pic.png" />');
  made.addCard('', 'no word');
  fs.writeFileSync(path.join(work, 'made.apkg'), await made.save(), 'binary');
  const summary = execFileSync(tool, ['import', path.join(work, 'made.apkg'), path.join(work, 'in.gsd')], { encoding: 'utf8' });
  assert.match(summary, /^Items imported: 2\nItems skipped: 1 \(empty word: 1, duplicate word: 0\)\nMedia files copied: 2\n/);
  const deck = fs.readFileSync(path.join(work, 'in.gsd'), 'utf8');
  assert.equal(deck, '\ufeffgato' + S + '5' + S + 'cat; the animal' + S + S + 'in.media/tone.mp3' + S + '\r\n' +
                     'perro' + S + '0' + S + 'dog & friend' + S + 'in.media/pic.png' + S + S + '\r\n');
  assert.deepEqual(fs.readFileSync(path.join(work, 'in.media/tone.mp3')), sound);
  assert.deepEqual(fs.readFileSync(path.join(work, 'in.media/pic.png')), picture);

  // Out: the imported Deck as a package, read by anki-reader.
  execFileSync(tool, ['export', path.join(work, 'in.gsd'), path.join(work, 'out.apkg')], { encoding: 'utf8' });
  const read = await readAnkiPackage(new Blob([fs.readFileSync(path.join(work, 'out.apkg'))]));
  const notes = [];
  for (const deckRead of Object.values(read.collection.getDecks()))
    for (const card of Object.values(deckRead.getCards()))
      notes.push(card.getOrderedFields());
  notes.sort((a, b) => a[0].localeCompare(b[0]));
  assert.deepEqual(notes, [['gato', 'cat; the animal[sound:tone.mp3]'], ['perro', 'dog &amp; friend<br><img src="pic.png">']]);
  assert.deepEqual(Object.keys(read.media).sort(), ['pic.png', 'tone.mp3']);
  assert.deepEqual(Buffer.from(await read.media['tone.mp3'].arrayBuffer()), sound);
  assert.deepEqual(Buffer.from(await read.media['pic.png'].arrayBuffer()), picture);
  console.log('1 passed, 0 failed');
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}
