// One terminal tab: asks for a destination, runs ssh (or a local shell) through ssh-native-host in
// pseudo-console mode and connects it to an xterm.js terminal.

const HOST_NAME = 'com.sshnativehost.host';
const EXITED = 'SSH Process exited';

// Top-level, so DevTools (and the browser test) can read the screen: term.buffer.active.
const term = new Terminal({cursorBlink: true, scrollback: 5000});
const fitAddon = new FitAddon.FitAddon();
term.loadAddon(fitAddon);
term.open(document.getElementById('terminal'));
fitAddon.fit();

const form = document.getElementById('connect');
const destinationInput = document.getElementById('destination');
const statusText = document.getElementById('status');

let port = null;
// What the host offers beyond the base protocol, from getCapabilities; none from an older host.
let hostCapabilities = [];

function setStatus(text) {
  statusText.textContent = text;
}

// "user@host", "user@host:port" or "host" gives ssh's arguments; empty means a local shell.
function programFor(destination) {
  if (destination === '') {
    const windows = navigator.platform.startsWith('Win');
    return {fileName: windows ? 'cmd.exe' : '/bin/sh', arguments: [], label: 'local shell'};
  }
  const match = /^((?:[^@\s:]+@)?[^@\s:]+)(?::(\d{1,5}))?$/.exec(destination);
  if (!match) return null;
  const args = match[2] ? ['-p', match[2], match[1]] : [match[1]];
  return {fileName: 'ssh', arguments: args, label: destination};
}

function sendResize() {
  if (port && hostCapabilities.includes('resize')) port.postMessage({type: 'resize', consoleSize: {x: term.cols, y: term.rows}});
}

function endSession() {
  if (!port) return;
  port.disconnect();
  port = null;
  form.querySelector('button').disabled = false;
}

function onHostMessage(message, program) {
  switch (message.type) {
    case 'capabilities':
      // Asked first, so the answer comes before any output.
      hostCapabilities = message.capabilities;
      sendResize();
      break;
    case 'pseudo_console_output': {
      const output = message.pseudoConsoleOutput;
      if (output.rawContent) term.write(output.rawContent);
      if (output.windowTitle) document.title = output.windowTitle;
      break;
    }
    case 'error':
      if (message.error === EXITED) {
        const code = 'exitCode' in message ? ` with code ${message.exitCode}` : '';
        term.write(`\r\n[${program.label} exited${code}]\r\n`);
        setStatus(`Exited${code}`);
        port.postMessage({type: 'disconnect'});
        endSession();
      } else if (message.error === 'Unkown type') {
        // A host from before getCapabilities: the base protocol only, a fixed 50x30 console.
        hostCapabilities = [];
      } else {
        term.write(`\r\n\x1b[31m[host: ${message.error.trimEnd()}]\x1b[0m\r\n`);
        setStatus(`Error: ${message.error.trimEnd()}`);
      }
      break;
  }
}

function connect(program) {
  try {
    port = chrome.runtime.connectNative(HOST_NAME);
  } catch (e) {
    setStatus(`Cannot start the host: ${e.message}`);
    return;
  }
  form.querySelector('button').disabled = true;
  hostCapabilities = [];
  setStatus(`Connected: ${program.label}`);
  port.onMessage.addListener((message) => onHostMessage(message, program));
  port.onDisconnect.addListener(() => {
    const reason = chrome.runtime.lastError ? chrome.runtime.lastError.message : 'the host ended';
    if (port) setStatus(`Disconnected: ${reason}`);
    port = null;
    form.querySelector('button').disabled = false;
  });
  port.postMessage({type: 'getCapabilities'});
  port.postMessage({
    type: 'connect',
    connectParams: {fileName: program.fileName, arguments: program.arguments, mode: 'pseudo_console'},
  });
  term.focus();
}

form.addEventListener('submit', (event) => {
  event.preventDefault();
  if (port) return;
  const program = programFor(destinationInput.value.trim());
  if (!program) {
    setStatus('Destination must look like user@host or user@host:port');
    return;
  }
  term.reset();
  connect(program);
});

term.onData((data) => {
  if (port) port.postMessage({type: 'stdin', input: data});
});
term.onResize(sendResize);
window.addEventListener('resize', () => fitAddon.fit());
