// The peer that the relay benchmark measures the host against: the host an extension author would
// write in Node.js with node-pty, speaking the same protocol (4-byte little-endian length, then JSON,
// the same message shapes). Output is sent in messages of at most 1024 bytes, as the host sends it,
// so the two relays carry the same messages.
'use strict';

const childProcess = require('child_process');
const pty = require('node-pty');

const kChunk = 1024;
let client = null;

function send(message) {
  const body = Buffer.from(JSON.stringify(message), 'utf8');
  const frame = Buffer.allocUnsafe(4 + body.length);
  frame.writeUInt32LE(body.length, 0);
  body.copy(frame, 4);
  process.stdout.write(frame);
}

// Escape sequences removed for the plain-text rendering; the last OSC 0 or 2 gives the title.
const kEscape = /\x1b(?:\[[0-?]*[ -/]*[@-~]|\][0-9]*;[^\x07\x1b]*(?:\x07|\x1b\\)|[@-Z\\^_0-9])/g;
const kTitle = /\x1b\][02];([^\x07\x1b]*)(?:\x07|\x1b\\)/g;

function sendPseudoConsoleOutput(raw) {
  const output = { rawContent: raw, processedContent: raw.replace(kEscape, '') };
  let title;
  for (const match of raw.matchAll(kTitle)) title = match[1];
  if (title !== undefined) output.windowTitle = title;
  send({ type: 'pseudo_console_output', pseudoConsoleOutput: output });
}

function inChunks(data, each) {
  for (let at = 0; at < data.length; at += kChunk) each(data.subarray(at, at + kChunk).toString('utf8'));
}

function connect(params) {
  const exited = () => setTimeout(() => send({ type: 'error', error: 'SSH Process exited' }), 1000);
  if (params.mode === 'pseudo_console') {
    const terminal = pty.spawn(params.fileName, params.arguments, { cols: 50, rows: 30, encoding: null });
    terminal.onData((data) => inChunks(data, sendPseudoConsoleOutput));
    terminal.onExit(exited);
    client = { write: (text) => terminal.write(text), kill: () => terminal.kill() };
  } else {
    const child = childProcess.spawn(params.fileName, params.arguments, { stdio: ['pipe', 'pipe', 'pipe'] });
    child.stdout.on('data', (data) => inChunks(data, (text) => send({ type: 'stdout', outputLine: text })));
    child.stderr.on('data', (data) => inChunks(data, (text) => send({ type: 'stderr', outputLine: text })));
    child.on('exit', exited);
    child.on('error', (error) => send({ type: 'error', error: String(error) }));
    client = { write: (text) => child.stdin.write(text), kill: () => child.kill() };
  }
}

function handle(request) {
  switch (request.type) {
    case 'getVersion':
      return send({ type: 'version', version: '2.0.0.0' });
    case 'connect':
      if (!client) connect(request.connectParams);
      return;
    case 'stdin':
      return client ? client.write(request.input) : send({ type: 'error', error: 'Not connected' });
    case 'disconnect':
      if (client) client.kill();
      client = null;
      return;
    default:
      return send({ type: 'error', error: 'Unkown type' });
  }
}

let pending = Buffer.alloc(0);
process.stdin.on('data', (data) => {
  pending = Buffer.concat([pending, data]);
  while (pending.length >= 4 && pending.length >= 4 + pending.readUInt32LE(0)) {
    const length = pending.readUInt32LE(0);
    const text = pending.subarray(4, 4 + length).toString('utf8');
    pending = pending.subarray(4 + length);
    try {
      handle(JSON.parse(text));
    } catch (error) {
      send({ type: 'error', error: 'Invalid format' });
    }
  }
});
process.stdin.on('end', () => {
  if (client) client.kill();
  process.exit(0);
});
